// vxlogview, the log viewer shipped beside the PDI: its table knows every line the PDI's
// sources write, it refuses what is not a PDI log, and for real runs of the PDI it names the
// cause the run was given. The reports of one successful and one failed run are kept in the
// build tree for the browser check (tests/logview_browser.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "explanations.h"
#include "run_steps.h"
#include "support/flow_medium.h"
#include "support/pdi_process.h"
#include "support/source_texts.h"
#include "support/test_support.h"

namespace
{

std::string LogViewExe() { return vxtest::WinPathFromUnix(vxtest::Env("VX_LOGVIEW_EXE")); }

vxtest::ConsoleResult RunLogView(const std::string& sArguments)
{
    return vxtest::RunConsole("\"" + LogViewExe() + "\" " + sArguments, 60000);
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The report's lines.
std::vector<std::string> Lines(const std::string& sText)
{
    std::vector<std::string> lines;
    size_t iStart = 0;
    for (size_t i = sText.find('\n'); i != std::string::npos; i = sText.find('\n', iStart = i + 1))
        lines.push_back(sText.substr(iStart, i - iStart));
    if (iStart < sText.size()) lines.push_back(sText.substr(iStart));
    for (std::string& s : lines)
    {
        if (!s.empty() && s.back() == '\r') s.pop_back();
    }
    return lines;
}

// The line that follows sTitle and begins with sField, without sField; "" when there is none.
std::string Field(const std::vector<std::string>& lines, const std::string& sTitle, const std::string& sField)
{
    size_t i = 0;
    while (i < lines.size() && lines[i] != sTitle) ++i;
    for (++i; i < lines.size() && lines[i].compare(0, 2, "  ") == 0; ++i)
    {
        if (lines[i].compare(0, sField.size(), sField) == 0) return lines[i].substr(sField.size());
    }
    return std::string();
}

std::string LineStartingWith(const std::vector<std::string>& lines, const std::string& sStart)
{
    for (const std::string& s : lines)
    {
        if (s.compare(0, sStart.size(), sStart) == 0) return s;
    }
    return std::string();
}

bool EndsWith(const std::string& s, const std::string& sEnd)
{
    return s.size() >= sEnd.size() && s.compare(s.size() - sEnd.size(), sEnd.size(), sEnd) == 0;
}

}  // namespace

// Every condition text, message format and trace format in the sources that the PDI is built
// from has an explanation, and every explanation is of a line the sources write.
TEST(LogViewTable, KnowsEveryLineThePdiWrites)
{
    std::vector<vxtest::SourceText> texts;
    // diag/ writes no line of its own today; the condition-line format is in its header.
    for (const char* pszFolder : {"pdi", "vxzglue", "include\\diag", "diag"})
    {
        const std::vector<vxtest::SourceText> folder = vxtest::LoggedTexts(vxtest::SourceDir() + "\\" + pszFolder);
        texts.insert(texts.end(), folder.begin(), folder.end());
    }
    ASSERT_GT(texts.size(), 100u);

    size_t cEntries = 0;
    const logview::Explanation* pTable = logview::ExplanationTable(&cEntries);
    std::vector<bool> used(cEntries, false);
    for (const vxtest::SourceText& text : texts)
    {
        const logview::Explanation* pEntry = nullptr;
        switch (text.eKind)
        {
        case vxtest::eTextCondition: pEntry = logview::FindEntryByText(logview::eOriginCondition, text.sText, text.sFile.c_str()); break;
        case vxtest::eTextLogFormat: pEntry = logview::FindEntryByText(logview::eOriginInstallLog, text.sText, nullptr); break;
        case vxtest::eTextTraceFormat: pEntry = logview::FindEntryByText(logview::eOriginTrace, text.sText, nullptr); break;
        }
        EXPECT_TRUE(pEntry != nullptr) << "no explanation for \"" << text.sText << "\" written by " << text.sFile;
        if (!pEntry) continue;
        EXPECT_GT(std::strlen(pEntry->pszMeaning), 10u) << text.sText;
        used[static_cast<size_t>(pEntry - pTable)] = true;
    }
    for (size_t i = 0; i < cEntries; ++i)
        EXPECT_TRUE(used[i]) << "\"" << pTable[i].pszText << "\" is explained but no source writes it";
}

// The walker reads literals as the compiler joins them.
TEST(LogViewTable, SourceLiteralsAreDecodedAndJoined)
{
    const std::vector<std::string> expected = {"*lpszCmdLine == '\\0'", "printerName == \"\"", "ab\n", "yes", "no"};
    EXPECT_EQ(expected, vxtest::StringLiterals("\"*lpszCmdLine == '\\\\0'\" x \"printerName == \\\"\\\"\" (\"a\"\n  \"b\\n\") "
                                               "f ? \"yes\" : \"no\""));
}

// Traces of PDIs already shipped are read by these marks: they stay as the PDI writes them.
TEST(LogViewTable, StepMarksAreThoseOfShippedTraces)
{
    const std::vector<std::string> expected = {"",           "handshake",      "installation mutex", "registry values",
                                               "status retries", "Glue folder", "default printer question", "install type",
                                               "patches",    "installer start", "product signal",    "clean-up"};
    std::vector<std::string> marks;
    for (int i = 0; i < eStepCount; ++i)
        marks.push_back(PdiStepMark(static_cast<EPdiStep>(i)) ? PdiStepMark(static_cast<EPdiStep>(i)) : "");
    EXPECT_EQ(expected, marks);
    EXPECT_STREQ("end", kPdiStepEndMark);
}

// A format's %s takes any text, its numbers an optional sign and every digit that follows.
TEST(LogViewTable, FormatsMatchWhatPrintfWrites)
{
    const struct
    {
        const char* pszFormat;
        const char* pszText;
        bool fMatches;
    } cases[] = {
        {"RegRetryGetDwordValue (%s, %s) Failed After %d Retries and %d Milliseconds",
         "RegRetryGetDwordValue (a, b, c) Failed After 3 Retries and -10 Milliseconds", true},
        {"RegRetryGetDwordValue (%s, %s) Failed After %d Retries and %d Milliseconds", "RegRetryGetDwordValue (, , , , , )", false},
        {"%s failed", " failed", true},
        {"%s failed", "a failed b failed", true},
        {"%s failed", "a failed b", false},
        {"Process %s returns %d", "Process x returns 12 returns 3", true},
        {"Process %s returns %d", "Process x returns 3x", false},
        {"%d1", "121", false},  // a number takes every digit
        {"%x:%s", "0aF:", true},
        {"%x:%s", "g:", false},
        {"%lu%%", "42%", true},
        {"%2.2d-%s-%s-", "07---", true},
        {"%s%s", "", true},
        {"abc", "abcd", false},
        {"ab%", "ab", false},  // a format cut inside a conversion matches nothing
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].fMatches, logview::MatchesFormat(cases[i].pszFormat, cases[i].pszText))
            << "case " << i << ": \"" << cases[i].pszFormat << "\" on \"" << cases[i].pszText << "\"";
}

namespace
{

struct BadInputCase
{
    const char* pszName;
    std::string sInstallLog;  // the file's bytes; "-" for no file
    std::string sTrace;       // "" for no trace argument
    const char* pszMessage;   // after "vxlogview: <path>: "
};

const char kHeader[] = "\r\n**** Tue Jan  2 10:00:00 2024 - Logging Enabled ****\r\n\r\n";

}  // namespace

TEST(LogViewInput, BadInputGetsAMessageAndExitCode2)
{
    const std::string sGoodLog = std::string(kHeader) + "PDI Pathname = C:\\a\\vxfpdi14.exe\r\nThe PDI Succeeded\r\n";
    const BadInputCase cases[] = {
        {"empty", "", "", "the file is empty (a run ended before it wrote its first line leaves such a file)"},
        {"binary", std::string("MZ\x90\0\x03\0\0\0\x04\0\0\0\xff\xff", 16) + std::string(500, '\0'), "",
         "the file holds binary data, not the text lines of a log"},
        {"long line", std::string(kHeader) + std::string(100000, 'x') + "\r\n", "",
         "line 4 is 100000 characters long; the PDI writes no line longer than 65536 characters"},
        {"another program", "[Setup]\r\nAppName=Something\r\nVersion=1.0\r\n", "",
         "not an install log of the PDI (its first line is not the \"Logging Enabled\" header); the install log is "
         "vxvxdiNN.log, the trace vxfpdiNNN.log"},
        {"missing", "-", "", "the file cannot be opened (missing, or no right to read it)"},
        {"install log as trace", sGoodLog, sGoodLog, "not a trace file (its first line has no trace time stamp and category)"},
        {"empty trace", sGoodLog, "", "the file is empty (a run ended before it wrote its first line leaves such a file)"},
    };
    vxtest::ScratchDir dir("lvbad");
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        const BadInputCase& c = cases[i];
        const std::string sLog = dir.File("case" + std::to_string(i) + ".log");
        if (c.sInstallLog != "-")
        {
            ASSERT_TRUE(vxtest::WriteFileBytes(sLog, c.sInstallLog));
        }
        std::string sArguments = Quoted(sLog);
        std::string sBadPath = sLog;
        if (std::string(c.pszName).find("trace") != std::string::npos)
        {
            sBadPath = dir.File("case" + std::to_string(i) + ".trace");
            ASSERT_TRUE(vxtest::WriteFileBytes(sBadPath, c.sTrace));
            sArguments += " " + Quoted(sBadPath);
        }
        const vxtest::ConsoleResult result = RunLogView(sArguments + " --html " + Quoted(dir.File("report.html")));
        ASSERT_TRUE(result.fFinished) << c.pszName;
        EXPECT_EQ(2u, result.dwExitCode) << c.pszName;
        // A console program's text output: CR LF line ends.
        EXPECT_EQ("vxlogview: " + sBadPath + ": " + c.pszMessage + "\r\n", result.sOutput) << c.pszName;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dir.File("report.html").c_str())) << c.pszName;
    }
    const vxtest::ConsoleResult noArguments = RunLogView("");
    EXPECT_EQ(2u, noArguments.dwExitCode);
    EXPECT_EQ(0u, noArguments.sOutput.find("vxlogview: no install log given\r\nusage: vxlogview <install log>"))
        << noArguments.sOutput;
}

namespace
{

// A log placed for --find, last written the given seconds after a fixed time in the future, so
// that it is newer than any a test run leaves.
struct PlacedLog
{
    std::string sPath;
    std::string sBytes;
    int nSeconds;
    const char* pszSummary;  // what the listing says of it
};

FILETIME PlacedTime(int nSeconds)
{
    const SYSTEMTIME st = {2037, 6, 0, 1, 12, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += static_cast<ULONGLONG>(nSeconds) * 10000000ULL;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    return ft;
}

::testing::AssertionResult Place(const PlacedLog& log)
{
    if (!vxtest::WriteFileBytes(log.sPath, log.sBytes)) return ::testing::AssertionFailure() << "cannot write " << log.sPath;
    HANDLE hFile = CreateFileA(log.sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    const FILETIME ft = PlacedTime(log.nSeconds);
    const bool fSet = hFile != INVALID_HANDLE_VALUE && SetFileTime(hFile, NULL, NULL, &ft);
    if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
    return fSet ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "cannot date " << log.sPath;
}

// The listing's line of a placed log: local time, size, path and summary.
std::string ListingLine(const PlacedLog& log)
{
    FILETIME ftUtc = PlacedTime(log.nSeconds), ftLocal;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&ftUtc, &ftLocal);
    FileTimeToSystemTime(&ftLocal, &st);
    char sz[64];
    std::snprintf(sz, sizeof(sz), "  %04u-%02u-%02u %02u:%02u:%02u  %10u bytes  ", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond, static_cast<unsigned>(log.sBytes.size()));
    return sz + log.sPath + ": " + log.pszSummary;
}

// The first name of the pattern's form ("vxvxdi%02u.log") that the folder does not hold.
std::string FreeName(const std::string& sFolder, const char* pszPattern)
{
    for (unsigned n = 0; n < 100; ++n)
    {
        char szName[32];
        std::snprintf(szName, sizeof(szName), pszPattern, n);
        if (GetFileAttributesA((sFolder + "\\" + szName).c_str()) == INVALID_FILE_ATTRIBUTES) return sFolder + "\\" + szName;
    }
    return std::string();
}

// Makes the folder and any missing parents; the ones it made, deepest first, to remove again.
std::vector<std::string> MakeFolders(const std::string& sFolder)
{
    std::vector<std::string> made;
    if (GetFileAttributesA(sFolder.c_str()) != INVALID_FILE_ATTRIBUTES) return made;
    made = MakeFolders(vxtest::DirectoryOf(sFolder));
    if (CreateDirectoryA(sFolder.c_str(), NULL)) made.insert(made.begin(), sFolder);
    return made;
}

}  // namespace

// The PDI's logs in the three places a run may leave them (this user's temporary folder, the
// Windows folder's TEMP and the system account's profile), newest first; --open explains the
// newest install log with the trace of its run.
TEST(LogViewFind, ListsTheLogsOfEveryTemporaryFolderNewestFirst)
{
    vxtest::ScratchDir userTemp("lvfind");
    char szSystem[MAX_PATH];
    GetSystemDirectoryA(szSystem, sizeof(szSystem));
    const std::string sWindowsTemp = vxtest::WindowsDirectory() + "\\TEMP";
    const std::string sProfileTemp = std::string(szSystem) + "\\config\\systemprofile\\Local Settings\\Temp";
    const std::vector<std::string> madeWindows = MakeFolders(sWindowsTemp), madeProfile = MakeFolders(sProfileTemp);
    const std::string sHeader = kHeader;
    const std::string sTraceLine = "20370601120031:0001234:0080(0000-0000)(vxfpdi14.exe)Step: ";
    const PlacedLog logs[] = {
        {FreeName(sProfileTemp, "vxfpdi9%02u.log"), sTraceLine + "handshake\r\n" + sTraceLine + "end\r\n", 31,
         "trace; last line \"Step: end\""},
        {FreeName(sProfileTemp, "vxvxdi%02u.log"),
         sHeader + "[pdi_install.cpp, Line 130]: Error --> IsFilePresent( sGluePath ) == false\r\nThe PDI Failed\r\n", 30,
         "The PDI Failed"},
        {FreeName(sWindowsTemp, "vxvxdi%02u.log"), sHeader + "The PDI Succeeded\r\n", 20, "The PDI Succeeded"},
        {userTemp.File("vxvxdi00.log"), sHeader + "PDI Pathname = C:\\a\\vxfpdi14.exe\r\n", 10,
         "no outcome line: the run was ended before it finished (or is still running)"},
    };
    for (const PlacedLog& log : logs) ASSERT_TRUE(Place(log));
    ASSERT_TRUE(Place({userTemp.File("vxvxdi7.log"), sHeader, 40, ""}));  // not a name the PDI gives its logs

    vxtest::ConsoleOptions options;
    options.environment = {{"TEMP", userTemp.Path()}, {"TMP", userTemp.Path()}};
    const vxtest::ConsoleResult list = vxtest::RunConsole(Quoted(LogViewExe()) + " --find", options);
    const vxtest::ConsoleResult open = vxtest::RunConsole(Quoted(LogViewExe()) + " --find --open", options);
    for (const PlacedLog& log : logs) DeleteFileA(log.sPath.c_str());
    for (const std::string& sMade : madeProfile) RemoveDirectoryA(sMade.c_str());
    for (const std::string& sMade : madeWindows) RemoveDirectoryA(sMade.c_str());

    EXPECT_EQ(0u, list.dwExitCode) << list.sOutput;
    std::vector<std::string> expected = {"Install logs and traces of the PDI, newest first:"};
    for (const PlacedLog& log : logs) expected.push_back(ListingLine(log));
    const std::vector<std::string> lines = Lines(list.sOutput);
    ASSERT_GE(lines.size(), expected.size()) << list.sOutput;
    EXPECT_EQ(expected, std::vector<std::string>(lines.begin(), lines.begin() + expected.size())) << list.sOutput;
    EXPECT_EQ(std::string::npos, list.sOutput.find("vxvxdi7.log")) << list.sOutput;
    for (const std::string& sFolder : {userTemp.Path(), sWindowsTemp, sProfileTemp})
        EXPECT_NE(std::string::npos, list.sOutput.find("\n  " + sFolder + "\\\r\n")) << sFolder << "\n" << list.sOutput;

    EXPECT_EQ(1u, open.dwExitCode) << open.sOutput;
    const std::vector<std::string> report = Lines(open.sOutput);
    EXPECT_EQ("Install log: " + logs[1].sPath, LineStartingWith(report, "Install log:")) << open.sOutput;
    EXPECT_EQ("Trace:       " + logs[0].sPath, LineStartingWith(report, "Trace:")) << open.sOutput;
    EXPECT_EQ("Outcome:     The PDI Failed", LineStartingWith(report, "Outcome:")) << open.sOutput;
}

// A log from another machine: LF or CR LF line ends, its own code page, cut off by a kill.
TEST(LogViewInput, LineEndsCodePagesAndCutLogs)
{
    // "-product=" in Japanese (code page 932: the second byte of the second character is "{").
    const std::string sJapanese = "\x93\xfa\x96\x7b";
    const std::string sBody = std::string("[vxzglue_utils.cpp, Line 80]: Error --> sDriverName.empty()\n") +
                              "[pdi_install.cpp, Line 130]: Error --> IsFilePresent( sGluePath ) == false\n" +
                              "[pdi_main.cpp, Line 35]: Error --> MimicLegacyGlue( sCmdLine ) == false\n" +
                              "PDI Pathname = C:\\m\\drivers\\Win2K_XP\\vxfpdi14.exe\n" +
                              "Command Line = -printerdriver=A -product=" + sJapanese + " -port=LPT1:\nThe PDI Failed\n";
    std::string sCrLf;
    for (char c : std::string("\n**** Tue Jan  2 10:00:00 2024 - Logging Enabled ****\n\n") + sBody)
        sCrLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    vxtest::ScratchDir dir("lvends");
    ASSERT_TRUE(vxtest::WriteFileBytes(dir.File("crlf.log"), sCrLf));
    ASSERT_TRUE(vxtest::WriteFileBytes(dir.File("lf.log"), "\n**** Tue Jan  2 10:00:00 2024 - Logging Enabled ****\n\n" + sBody));
    const vxtest::ConsoleResult crlf = RunLogView(Quoted(dir.File("crlf.log")) + " --codepage 932 --html " + Quoted(dir.File("r.html")));
    const vxtest::ConsoleResult lf = RunLogView(Quoted(dir.File("lf.log")));
    EXPECT_EQ(1u, crlf.dwExitCode);
    EXPECT_EQ(1u, lf.dwExitCode);
    const std::vector<std::string> crlfLines = Lines(crlf.sOutput), lfLines = Lines(lf.sOutput);
    EXPECT_EQ("[pdi_install.cpp, Line 130]: Error --> IsFilePresent( sGluePath ) == false",
              Field(lfLines, "First failure:", "  line:    install log line 5: "));
    EXPECT_EQ(std::vector<std::string>(crlfLines.begin() + 1, crlfLines.end()), std::vector<std::string>(lfLines.begin() + 1, lfLines.end()));
    EXPECT_EQ("Command:     -printerdriver=A -product=" + sJapanese + " -port=LPT1:", LineStartingWith(lfLines, "Command:"));
    std::string sHtml;
    ASSERT_TRUE(vxtest::ReadFileBytes(dir.File("r.html"), &sHtml));
    EXPECT_NE(std::string::npos, sHtml.find("-product=&#26085;&#26412; -port=LPT1:"));
    for (unsigned char c : sHtml) ASSERT_LT(c, 0x80u) << "the page is plain ASCII";

    // Cut inside the installer's line, as a killed run leaves it.
    const std::string sCut = sCrLf.substr(0, sCrLf.find("PDI Pathname") + 7);
    ASSERT_TRUE(vxtest::WriteFileBytes(dir.File("cut.log"), sCut));
    const vxtest::ConsoleResult cut = RunLogView(Quoted(dir.File("cut.log")));
    EXPECT_EQ(1u, cut.dwExitCode);
    EXPECT_EQ("Outcome:     no outcome line: the run was ended before it finished; last step reached: Glue folder",
              LineStartingWith(Lines(cut.sOutput), "Outcome:"));
}

namespace
{

// What the viewer must say about a run whose cause the test made.
struct RunCause
{
    const char* pszName;
    DWORD dwExitCode;            // 0 succeeded, 1 failed or ended
    const char* pszOutcome;      // the "Outcome:" line after its label
    const char* pszFailure;      // the first failure's line ends with this; "" for none
    const char* pszFailureStep;  // its step
    const char* pszReport;       // the HTML report kept for the browser check, or null
};

class LogViewFlowTest : public ::testing::Test
{
protected:
    // Runs the viewer on the run's log and trace; the HTML report goes to the build tree.
    vxtest::ConsoleResult Explain(const RunCause& cause)
    {
        std::string sArguments = Quoted(m_flow.InstallLogPath()) + " " + Quoted(m_flow.TracePath());
        if (cause.pszReport)
        {
            const std::string sFolder = vxtest::WinPathFromUnix(vxtest::Env("VX_BINARY_DIR")) + "\\logview";
            CreateDirectoryA(sFolder.c_str(), NULL);
            sArguments += " --html " + Quoted(sFolder + "\\" + cause.pszReport + ".html");
        }
        return RunLogView(sArguments);
    }

    // The first failure and outcome as the cause says; the report's expectations for the browser.
    void Check(const RunCause& cause)
    {
        SCOPED_TRACE(cause.pszName);
        const vxtest::ConsoleResult result = Explain(cause);
        ASSERT_TRUE(result.fFinished);
        EXPECT_EQ(cause.dwExitCode, result.dwExitCode) << result.sOutput;
        m_lines = Lines(result.sOutput);
        EXPECT_EQ(std::string("Outcome:     ") + cause.pszOutcome, LineStartingWith(m_lines, "Outcome:")) << result.sOutput;
        if (*cause.pszFailure)
        {
            const std::string sLine = Field(m_lines, "First failure:", "  line:    ");
            EXPECT_TRUE(EndsWith(sLine, cause.pszFailure)) << sLine << "\n" << result.sOutput;
            EXPECT_EQ(cause.pszFailureStep, Field(m_lines, "First failure:", "  step:    ")) << result.sOutput;
            EXPECT_NE("", Field(m_lines, "First failure:", "  meaning: "));
        }
        else
        {
            EXPECT_NE("", LineStartingWith(m_lines, "First failure: none")) << result.sOutput;
        }
        if (cause.pszReport) WriteExpectations(cause);
    }

    // For the browser check: what the rendered page must show.
    void WriteExpectations(const RunCause& cause)
    {
        const std::string sPath = vxtest::WinPathFromUnix(vxtest::Env("VX_BINARY_DIR")) + "\\logview\\" + cause.pszReport + ".expect";
        const std::string sText = std::string("outcome=") + cause.pszOutcome + "\nfailure=" +
                                  (*cause.pszFailure ? cause.pszFailure : "none") + "\nstep=" + cause.pszFailureStep + "\nsteps=" + std::to_string(eStepCount) + "\n";
        ASSERT_TRUE(vxtest::WriteFileBytes(sPath, sText));
    }

    // The "Steps:" line of a step, from its state on.
    std::string StepState(const char* pszTitle) const
    {
        for (const std::string& s : m_lines)
        {
            if (s.size() > 40 && s.compare(6, std::strlen(pszTitle), pszTitle) == 0 && s[6 + std::strlen(pszTitle)] == ' ')
                return s.substr(66);
        }
        return std::string();
    }

    vxtest::FlowMedium m_flow;
    std::vector<std::string> m_lines;
};

}  // namespace

TEST_F(LogViewFlowTest, SuccessfulRun)
{
    m_flow.RecordGlueInstall();
    ASSERT_TRUE(m_flow.Run().fFinished);
    Check({"successful run", 0, "The PDI Succeeded", "", "", "succeeded"});
    EXPECT_EQ("done", StepState("wait for the installation mutex"));
    EXPECT_EQ("done (not asked: not offered on this system or for a silent install)", StepState("default-printer question"));
    EXPECT_EQ("done", StepState("installer start"));
    EXPECT_EQ("done", StepState("clean-up"));
    EXPECT_NE(std::string::npos, LineStartingWith(m_lines, "        patch ").find("fix1.exe /q: exit code 0, "))
        << LineStartingWith(m_lines, "        patch ");
}

TEST_F(LogViewFlowTest, MissingGlueFolder)
{
    m_flow.RecordGlueInstall();
    m_flow.SetGluePath(m_flow.Medium().Root() + "\\no such folder\\");
    ASSERT_TRUE(m_flow.Run().fFinished);
    Check({"missing Glue folder", 1, "The PDI Failed", "Error --> IsFilePresent( sGluePath ) == false", "Glue folder", "failed"});
    EXPECT_EQ("failed", StepState("Glue folder").substr(0, 6));
    EXPECT_EQ("not reached (the run failed before it)", StepState("patches"));
    EXPECT_EQ("done", StepState("clean-up"));
}

TEST_F(LogViewFlowTest, MissingStatusCodeIsRetried)
{
    m_flow.RecordGlueInstall(false);
    ASSERT_TRUE(m_flow.Run().fFinished);
    Check({"missing status code", 0, "The PDI Succeeded", "Error --> (TotalSleepTime + (iRetry * 100)) > MaxSleepTime",
           "retries for the Glue's status", nullptr});
    EXPECT_EQ("done, with a failure", StepState("retries for the Glue's status"));
}

TEST_F(LogViewFlowTest, MutexLeftByAnOwnerThatEnded)
{
    m_flow.RecordGlueInstall();
    HANDLE hMutex = NULL;
    std::thread owner([&hMutex] { hMutex = CreateMutexA(NULL, TRUE, "VXZ_Installation_Initializing"); });
    owner.join();  // ends without releasing it: abandoned
    ASSERT_TRUE(hMutex != NULL);
    ASSERT_TRUE(m_flow.Run().fFinished);
    WaitForSingleObject(hMutex, 0);
    ReleaseMutex(hMutex);
    CloseHandle(hMutex);
    Check({"abandoned mutex", 1, "The PDI Failed", "Error --> dwWaitResult == WAIT_ABANDONED", "wait for the installation mutex", nullptr});
}

TEST_F(LogViewFlowTest, PatchThatFails)
{
    m_flow.RecordGlueInstall();
    ASSERT_TRUE(m_flow.Run({{"VX_RECORD_EXIT_CODE", "3"}}).fFinished);
    Check({"failing patch", 0, "The PDI Succeeded", "returns 3", "patches", nullptr});
    EXPECT_NE(std::string::npos, Field(m_lines, "First failure:", "  line:    ").find("fix1.exe /q returns 3"));
    EXPECT_NE(std::string::npos, LineStartingWith(m_lines, "        patch ").find("fix1.exe /q: exit code 3, "));
}

// Ended while it waits for a mutex the Glue holds: the log has no outcome line.
TEST_F(LogViewFlowTest, KilledRun)
{
    m_flow.RecordGlueInstall();
    HANDLE hMutex = CreateMutexA(NULL, TRUE, "VXZ_Installation_Initializing");
    ASSERT_TRUE(hMutex != NULL);
    {
        vxtest::ChildProcess pdi;
        vxtest::SetWineVersionFor("vxfpdi14.exe", "winxp");
        ASSERT_TRUE(pdi.Start(m_flow.Command(), m_flow.Environment()));
        ASSERT_TRUE(vxtest::WaitForText(m_flow.TracePath(), "Step: installation mutex", 60000));
        pdi.Kill();
    }
    ReleaseMutex(hMutex);
    CloseHandle(hMutex);
    Check({"killed run", 1, "no outcome line: the run was ended before it finished; last step reached: wait for the installation mutex",
           "", "", nullptr});
    EXPECT_NE(std::string::npos, StepState("wait for the installation mutex").find("ended during it"))
        << StepState("wait for the installation mutex");
    EXPECT_EQ("not reached (the run was ended before it)", StepState("clean-up"));
}

// Three minutes: the ctest entry log_analyzer_long runs it.
TEST_F(LogViewFlowTest, MutexHeldTooLong)
{
    if (vxtest::Env("VX_LONG_TESTS").empty()) GTEST_SKIP() << "set VX_LONG_TESTS=1 (the ctest run log_analyzer_long does)";
    m_flow.RecordGlueInstall();
    HANDLE hMutex = CreateMutexA(NULL, TRUE, "VXZ_Installation_Initializing");
    ASSERT_TRUE(hMutex != NULL);
    ASSERT_TRUE(m_flow.Run({}, 300000).fFinished);
    ReleaseMutex(hMutex);
    CloseHandle(hMutex);
    Check({"held mutex", 1, "The PDI Failed", "Error --> dwWaitResult == WAIT_TIMEOUT", "wait for the installation mutex", nullptr});
    // The step lasted the PDI's whole three-minute wait.
    const std::string sState = LineStartingWith(m_lines, "  3.  wait for the installation mutex");
    const double dSeconds = std::atof(sState.substr(54, 12).c_str());
    EXPECT_GE(dSeconds, 179.9) << sState;
    EXPECT_LT(dSeconds, 200.0) << sState;
}
