#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/command_line.h"
#include "infrastructure/qualified_values.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

namespace
{

using vxtest::CurrentDirectory;
using vxtest::DirectoryOf;
using vxtest::ModulePath;
using vxtest::WindowsDirectory;

std::vector<std::string> Split(const char* pszLine)
{
    std::vector<std::string> tokens;
    for (const CVxCiString& s : SplitCommandLine(pszLine)) tokens.push_back(ToStd(s));
    return tokens;
}

std::string Option(const char* pszLine, const char* pszName)
{
    CGenericCommandLine commandLine(pszLine);
    CVxCiString sValue("untouched");
    if (!commandLine.GetOption(pszName, sValue)) return "<none:" + ToStd(sValue) + ">";
    return ToStd(sValue);
}

std::string Hex(unsigned u)
{
    char sz[16];
    std::snprintf(sz, sizeof(sz), "%X", u);
    return sz;
}

// The debug settings' ini is looked for in these places too; a stray copy would add its mask.
bool StrayDebugIniExists()
{
    return FileExists((DirectoryOf(ModulePath()) + "\\vxzdbginfs.ini").c_str()) ||
           FileExists((WindowsDirectory() + "\\vxzdbginfs.ini").c_str());
}

}  // namespace

TEST(SplitCommandLine, WindowsRules)
{
    const struct
    {
        const char* pszLine;
        std::vector<std::string> expected;
    } kCases[] = {
        {"prog", {"prog"}},
        {"\"C:\\Program Files\\x.exe\" a", {"C:\\Program Files\\x.exe", "a"}},
        {"\"C:\\dir\\\\\" a", {"C:\\dir\\\\", "a"}},  // no escapes in the program's name
        {"C:\\dir\\x.exe a", {"C:\\dir\\x.exe", "a"}},
        {"prog a b\tc", {"prog", "a", "b", "c"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},    // 2n backslashes: n, and the quote quotes
        {"prog a\\\"b", {"prog", "a\"b"}},            // 2n+1: n and a literal quote
        {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
        {"prog a\\b\\\\c", {"prog", "a\\b\\\\c"}},    // not before a quote: copied
        {"prog \"a\"\"b\" c", {"prog", "a\"b c"}},    // "" inside quotes: a quote, quoting ends
        {"prog \"\"", {"prog", ""}},
        {"prog   ", {"prog"}},
        {"", {""}},
        {" a", {"", "a"}},
        {"prog \"open arg", {"prog", "open arg"}},
        {"prog a\"b c\"d e", {"prog", "ab cd", "e"}},
        {"\"prog\"a", {"prog", "a"}},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        EXPECT_EQ(kCases[i].expected, Split(kCases[i].pszLine)) << i << ": " << kCases[i].pszLine;
    }
    EXPECT_TRUE(SplitCommandLine(NULL).empty());
}

TEST(CGenericCommandLine, OptionsAndValues)
{
    const struct
    {
        const char* pszLine;
        const char* pszName;
        const char* pszExpected;
    } kCases[] = {
        {"prog /f model.dat /log 0x2F -x", "f", "model.dat"},
        {"prog /f model.dat /log 0x2F -x", "log", "0x2F"},
        {"prog /f model.dat /log 0x2F -x", "x", ""},
        {"prog lone /f a", "lone", "<none:untouched>"},
        {"prog lone /f a", "f", "a"},
        {"prog /a 1 /a 2", "a", "2"},
        {"prog /a 1 /a", "a", ""},
        {"prog /a 1 2", "a", "1"},
        {"prog /log 5", "LOG", "5"},
        {"prog /LOG 5", "log", "5"},
        {"prog /log=15", "log", "<none:untouched>"},
        {"prog /log=15", "log=15", ""},
        {"prog \x96x 3", "x", "3"},
        {"prog - v", "", "v"},
        {"prog -a \"-b\"", "b", ""},
        {"prog /a \"\"", "a", ""},
        {"/f x", "f", "<none:untouched>"},  // the program's name is no option
        {"prog", "f", "<none:untouched>"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        EXPECT_EQ(kCases[i].pszExpected, Option(kCases[i].pszLine, kCases[i].pszName)) << i << ": " << kCases[i].pszLine;
    }
    CGenericCommandLine commandLine("prog /f");
    CVxCiString sValue("untouched");
    EXPECT_EQ(0u, commandLine.GetOption(NULL, sValue));
    EXPECT_EQ(std::string("untouched"), ToStd(sValue));
}

TEST(CGenericCommandLine, ParsedLineAndTraces)
{
    vxtest::TraceCapture trace;
    CGenericCommandLine commandLine("prog /f \"a b\"  c");
    EXPECT_EQ(std::string("\"prog\" \"/f\" \"a b\" \"c\""), ToStd(commandLine.GetParsedCommandLine()));
    EXPECT_EQ(1u, trace.Count(TRACE_ENTRY, "CGenericCommandLine::Init () entered.  Initializing command line"));
    EXPECT_EQ(1u, trace.Count(TRACE_DETAIL, "Parsed command line: \"prog\" \"/f\" \"a b\" \"c\""));
    trace.Clear();
    CVxCiString sValue("before");
    commandLine.GetOption("F", sValue);
    commandLine.GetOption("g", sValue);
    EXPECT_EQ(1u, trace.Count(TRACE_ENTRY, "CGenericCommandLine::GetOption () entered.  Looking for F"));
    EXPECT_EQ(1u, trace.Count(TRACE_EXIT, "CGenericCommandLine::GetOption () exiting.  F given on command line.  val = a b"));
    EXPECT_EQ(1u, trace.Count(TRACE_EXIT, "CGenericCommandLine::GetOption () exiting.  g NOT given on command line.  val = a b"));
}

TEST(CGenericCommandLine, ProcessCommandLineIsTracedOncePerProcess)
{
    vxtest::TraceCapture trace;
    const std::string sParsed = "Parsed command line: ";
    CGenericCommandLine given1("x /a 1");  // a given text clears the flag
    EXPECT_EQ(1u, trace.Count(sParsed));
    CGenericCommandLine process1;
    EXPECT_EQ(2u, trace.Count(sParsed));
    EXPECT_EQ(1u, trace.Count(TRACE_KEY, sParsed));
    CGenericCommandLine process2;
    EXPECT_EQ(2u, trace.Count(sParsed));
    CGenericCommandLine given2("y");
    CGenericCommandLine process3;
    EXPECT_EQ(4u, trace.Count(sParsed));
    // The process's own tokens, starting with the program.
    EXPECT_EQ(0u, ToStd(process3.GetParsedCommandLine()).find("\"" + std::string(__argv[0]) + "\""));
}

TEST(ParseNumber, Table)
{
    const struct
    {
        const char* pszText;
        DWORD dwExpected;
    } kCases[] = {
        {"0x1G2", 0x12},   {"0x", 0},         {"1033", 1033},     {"-1", 0xFFFFFFFF}, {"0X1F", 0},
        {"  42abc", 42},   {"+7", 7},         {"", 0},            {"abc", 0},         {"0xffFF", 0xFFFF},
        {"0x1_2", 0x12},   {"0x123456789", 0x23456789}, {"0x-1", 1}, {"0x0", 0},      {"0x2F", 0x2F},
        {"017", 17},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        EXPECT_EQ(kCases[i].dwExpected, ParseNumber(kCases[i].pszText)) << i << ": " << kCases[i].pszText;
    }
    EXPECT_EQ(0u, ParseNumber(NULL));
}

TEST(CDebugSettings, TraceMaskFromThreeSources)
{
    if (StrayDebugIniExists()) GTEST_SKIP() << "a vxzdbginfs.ini lies in the program's or the Windows directory";
    vxtest::ScratchDir dir("clmask");
    CurrentDirectory cwd(dir.Path());
    ASSERT_TRUE(cwd.Changed());
    const std::string sData = dir.File("data.dat");
    const std::string sLanguage = Hex(GetSystemDefaultLangID());
    ASSERT_TRUE(vxtest::WriteFileBytes(sData, "[Version]\nLog=0x100\n[Version.0x" + sLanguage + "]\nLog=0x200\n"));
    const std::string sPlain = dir.File("plain.dat");
    ASSERT_TRUE(vxtest::WriteFileBytes(sPlain, "[Version]\nLog=0x100\n"));
    const std::string sMissing = dir.File("missing.dat");

    EXPECT_EQ(0x21u, CDebugSettings("prog /log 0x21").GetTraceMask(sMissing.c_str()));
    EXPECT_EQ(0u, CDebugSettings("prog /log abc").GetTraceMask(sMissing.c_str()));
    EXPECT_EQ(0x200u, CDebugSettings("prog").GetTraceMask(sData.c_str()));  // the language's section wins
    EXPECT_EQ(0x101u, CDebugSettings("prog /log 1").GetTraceMask(sPlain.c_str()));
    EXPECT_EQ(0u, CDebugSettings("prog").GetTraceMask(sMissing.c_str()));

    ASSERT_TRUE(vxtest::WriteFileBytes(dir.File("vxzdbginfs.ini"), "[debugger]\nLog=4\n"));
    EXPECT_EQ(0x225u, CDebugSettings("prog /log 0x21").GetTraceMask(sData.c_str()));
    // Without a path the data file comes from the "f" option.
    EXPECT_EQ(0x305u, CDebugSettings(("prog /log 0x101 /f " + sData).c_str()).GetTraceMask());
}

TEST(CDebugSettings, NothingConfiguredGivesZero)
{
    if (StrayDebugIniExists()) GTEST_SKIP() << "a vxzdbginfs.ini lies in the program's or the Windows directory";
    vxtest::ScratchDir dir("clnone");
    CurrentDirectory cwd(dir.Path());
    ASSERT_TRUE(cwd.Changed());
    const std::string sAutorun = DirectoryOf(DirectoryOf(ModulePath())) + "\\autorun.inf";
    if (FileExists(sAutorun.c_str())) GTEST_SKIP() << sAutorun << " exists";
    EXPECT_EQ(0u, CDebugSettings("prog").GetTraceMask());
}

TEST(CDebugSettings, DataFilePath)
{
    vxtest::ScratchDir dir("clpath");
    const std::string sTag = std::to_string(GetCurrentProcessId()) + vxtest::WineRelease();
    const std::string sBare = "vxcl" + sTag + ".dat";
    const std::string sWindowsFile = WindowsDirectory() + "\\" + sBare;
    const std::string sSubdir = "vxcl" + sTag;
    const std::string sExeDir = DirectoryOf(ModulePath());
    const std::string sRelativeFile = sExeDir + "\\" + sSubdir + "\\x.dat";
    const std::string sFull = dir.File("full.dat");
    ASSERT_TRUE(vxtest::WriteFileBytes(sWindowsFile, "[Version]\n"));
    ASSERT_TRUE(CreateDirectoryA((sExeDir + "\\" + sSubdir).c_str(), NULL));
    ASSERT_TRUE(vxtest::WriteFileBytes(sRelativeFile, "[Version]\n"));
    ASSERT_TRUE(vxtest::WriteFileBytes(sFull, "[Version]\n"));
    // In the current directory only: a bare name is not looked for there.
    ASSERT_TRUE(vxtest::WriteFileBytes(dir.File("cwdonly.dat"), "[Version]\n"));
    CurrentDirectory cwd(dir.Path());

    const struct
    {
        std::string sCommandLine;
        BOOL fResolve;
        BOOL fExpected;
        std::string sExpected;
    } kCases[] = {
        {"prog /f " + sBare, TRUE, TRUE, sWindowsFile},
        {"prog /f " + sSubdir + "\\x.dat", TRUE, TRUE, sRelativeFile},
        {"prog /f " + sFull, TRUE, TRUE, sFull},
        {"prog /f \"" + dir.Path() + "\\.\\full.dat\"", TRUE, TRUE, sFull},
        {"prog /f cwdonly.dat", TRUE, FALSE, ""},
        {"prog /f " + dir.File("missing.dat"), TRUE, FALSE, ""},
        {"prog /f \\\\nosuchserver\\share\\x.dat", TRUE, FALSE, ""},
        {"prog /f", TRUE, FALSE, ""},
        {"prog /f whatever.dat", FALSE, TRUE, "whatever.dat"},
        {"prog", FALSE, TRUE, DirectoryOf(sExeDir) + "\\autorun.inf"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        CDebugSettings settings(kCases[i].sCommandLine.c_str());
        CVxCiString sPath("before");
        EXPECT_EQ(kCases[i].fExpected, settings.GetDataFilePath(sPath, kCases[i].fResolve, "\\..\\")) << i;
        EXPECT_EQ(kCases[i].sExpected, ToStd(sPath)) << i << ": " << kCases[i].sCommandLine;
    }
    DeleteFileA(sWindowsFile.c_str());
    DeleteFileA(sRelativeFile.c_str());
    RemoveDirectoryA((sExeDir + "\\" + sSubdir).c_str());
}

TEST(CommandLineCodePage932, DoubleByteCharactersStayWhole)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932, has " << GetACP();
    // "\x95\x5C" ends in the byte of '\\': before a quote it escapes nothing.
    const std::vector<std::string> kQuoted = {"prog", "C:\\\x95\x5C", "next"};
    EXPECT_EQ(kQuoted, Split("prog \"C:\\\x95\x5C\" next"));
    const std::vector<std::string> kJoined = {"prog", "\x95\x5C" "a b"};
    EXPECT_EQ(kJoined, Split("prog \x95\x5C\"a b\""));
    const std::vector<std::string> kProgram = {"C:\\\x95\x5C\\p.exe", "a"};
    EXPECT_EQ(kProgram, Split("\"C:\\\x95\x5C\\p.exe\" a"));
    // 0x96 leads a double-byte character here: a value, not an option.
    EXPECT_EQ("\x96\xBC", Option("prog /a \x96\xBC", "a"));
}
