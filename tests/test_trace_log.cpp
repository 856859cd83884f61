// The trace log: naming, classification, counters and the line format as pure rules; then real
// trace objects writing files, from several threads, with overlong messages, and the
// process-wide object seen from a helper program run under chosen names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "../diag/trace_log_internal.h"
#include "diag/trace_log.h"
#include "support/test_support.h"

namespace
{

std::string Std(const CVxCiString& s) { return std::string(s.c_str(), s.size()); }

std::string ModuleName()
{
    char szPath[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, szPath, MAX_PATH);
    const char* pszSlash = std::strrchr(szPath, '\\');
    return pszSlash ? pszSlash + 1 : szPath;
}

bool FileExists(const std::string& sPath) { return GetFileAttributesA(sPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Trace files end every line in "\r\n"; messages here carry no line ends of their own.
std::vector<std::string> TraceFileLines(const std::string& sPath)
{
    std::string sBytes;
    std::vector<std::string> lines;
    if (!vxtest::ReadFileBytes(sPath, &sBytes)) return lines;
    size_t iStart = 0;
    for (size_t iEnd; (iEnd = sBytes.find("\r\n", iStart)) != std::string::npos; iStart = iEnd + 2)
        lines.push_back(sBytes.substr(iStart, iEnd - iStart));
    if (iStart < sBytes.size()) lines.push_back(sBytes.substr(iStart));  // an unterminated tail
    return lines;
}

struct ParsedLine
{
    std::string sTime, sMicro, sFlags, sSinceFirst, sSincePrevious, sModule, sRest;
};

// "<14 digits>:<7+ hex>:<4 hex>(<4 digits>-<4 digits>)(<module>)<rest>"; the pattern sees only
// the head, as the library's regex recurses per character and long messages would exhaust the stack.
bool ParseLine(const std::string& sLine, ParsedLine* p)
{
    static const std::regex kHead("^([0-9]{14}):([0-9A-F]{7,}):([0-9A-F]{4})\\(([0-9]{4})-([0-9]{4})\\)\\(([^)]*)\\)$");
    const size_t iOpen = sLine.find(")(");
    if (iOpen == std::string::npos) return false;
    const size_t iClose = sLine.find(')', iOpen + 2);
    if (iClose == std::string::npos) return false;
    const std::string sHead = sLine.substr(0, iClose + 1);
    std::smatch m;
    if (!std::regex_match(sHead, m, kHead)) return false;
    p->sTime = m[1];
    p->sMicro = m[2];
    p->sFlags = m[3];
    p->sSinceFirst = m[4];
    p->sSincePrevious = m[5];
    p->sModule = m[6];
    p->sRest = sLine.substr(iClose + 1);
    return true;
}

std::string LocalTimeText()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%04u%02u%02u%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return sz;
}

}  // namespace

// ---- Pure rules ---------------------------------------------------------------------------

TEST(TraceNaming, FileNamePart)
{
    const struct
    {
        const char* pszPath;
        const char* pszName;
    } kCases[] = {
        {"C:\\Program Files\\Vx\\vxfpdi14.exe", "vxfpdi14.exe"},
        {"Z:/tmp/build/test.exe", "test.exe"},
        {"C:name.exe", "name.exe"},
        {"a\\b/c:d", "d"},
        {"plain.exe", "plain.exe"},
        {"folder\\", ""},
        {"", ""},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
        EXPECT_EQ(std::string(kCases[i].pszName), Std(trace_internal::FileNamePart(kCases[i].pszPath))) << i;
    EXPECT_EQ("", Std(trace_internal::FileNamePart(NULL)));
}

// Code page 932: the trail byte 0x5C of a double-byte character is not a backslash.
TEST(TraceNaming, FileNamePartCodePage932)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page";
    EXPECT_EQ("\x83\x5C.exe", Std(trace_internal::FileNamePart("C:\\dir\\\x83\x5C.exe")));
    EXPECT_EQ("b\x83\x5C", Std(trace_internal::FileNamePart("a\\\x83\x5C\\b\x83\x5C")));
}

TEST(TraceNaming, SetupNamesGetThePrefix)
{
    const struct
    {
        const char* pszModule;
        const char* pszBase;
    } kCases[] = {
        {"C:\\x\\SetupTest.exe", "VXZSetupTest.exe"},
        {"C:\\x\\setup.exe", "VXZsetup.exe"},
        {"SETUP", "VXZSETUP"},
        {"sEtUpX.EXE", "VXZsEtUpX.EXE"},
        {"C:\\x\\MySetup.exe", "MySetup.exe"},
        {"C:\\x\\Setu.exe", "Setu.exe"},
        {"C:\\setup\\vxfpdi14.exe", "vxfpdi14.exe"},  // only the file name counts
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
        EXPECT_EQ(std::string(kCases[i].pszBase), Std(trace_internal::BaseNameForModule(kCases[i].pszModule))) << i;
}

TEST(TraceNaming, NumberedNameIsSixPaddedCharactersAndThreeDigits)
{
    const struct
    {
        const char* pszBase;
        unsigned long n;
        const char* pszName;
    } kCases[] = {
        {"vxfpdi14.exe", 0, "vxfpdi000"},
        {"VXZSetupTest.exe", 1, "VXZSet001"},
        {"abcdef", 42, "abcdef042"},
        {"abcdef", 1234, "abcdef1234"},  // at least three digits
        {"abc", 7, "   abc007"},         // "%6.6s" pads a short name on the left
        {"", 0, "      000"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
        EXPECT_EQ(std::string(kCases[i].pszName), Std(trace_internal::NumberedName(kCases[i].pszBase, kCases[i].n)))
            << i;
}

TEST(TraceClassify, FormatTable)
{
    const struct
    {
        const char* pszFormat;
        DWORD dwCategory;
        size_t cchMarker;
    } kCases[] = {
        {"CGenericCommandLine::GetOption () entered.  Looking for %s\n", TRACE_ENTRY, 0},
        {"IsSilentInstall(%s) return %d\n", TRACE_EXIT, 0},
        {"Entering DefaultPrinter(%s)\n", TRACE_GENERAL, 0},  // capital E: no match
        {"ENTERING=Foo(%d)", TRACE_ENTRY, 9},
        {"EXITING=Foo %d", TRACE_EXIT, 8},
        {"EXITING=Foo, enter", TRACE_ENTRY, 8},      // "enter" wins over the exit marker
        {"EXITING= ENTERING=", TRACE_ENTRY, 9},      // the entry marker wins
        {"ENTERING=x returned", TRACE_EXIT, 9},      // "return" still turns it into an exit
        {"ENTERING=x exit", TRACE_ENTRY, 9},         // "exit" only counts for a general line
        {"EXITING=x entry", TRACE_EXIT, 8},          // "entry" only counts for a general line
        {"log entry %d", TRACE_ENTRY, 0},
        {"on exit %d", TRACE_EXIT, 0},
        {"entry and exit", TRACE_ENTRY, 0},
        {"return and enter", TRACE_ENTRY, 0},
        {"RETURN EXIT ENTER", TRACE_GENERAL, 0},     // case-sensitive
        {"exiting=", TRACE_EXIT, 0},                 // lower case: only "exit"
        {"", TRACE_GENERAL, 0},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        size_t cchMarker = 12345;
        EXPECT_EQ(kCases[i].dwCategory, trace_internal::ClassifyFormat(kCases[i].pszFormat, &cchMarker)) << i;
        EXPECT_EQ(kCases[i].cchMarker, cchMarker) << i;
    }
}

TEST(TraceCounters, SecondsSinceFirstAndPreviousLine)
{
    trace_internal::TraceClock tClock = {0, 0, false};
    const DWORD kStart = 5000000;
    const struct
    {
        DWORD dwNow;
        DWORD dwSinceFirst;
        DWORD dwSincePrevious;
    } kLines[] = {
        {kStart, 0, 0},                     // the first line: 0000-0000
        {kStart + 999, 0, 0},
        {kStart + 12999, 12, 12},           // 12 s after the previous line
        {kStart + 13500, 13, 0},
        {kStart + 10013500, 10013, 10000},  // printed modulo 10000 by the prefix
    };
    for (size_t i = 0; i < sizeof(kLines) / sizeof(kLines[0]); ++i)
    {
        DWORD dwFirst = 0xdeadbeef, dwPrevious = 0xdeadbeef;
        trace_internal::AdvanceClock(&tClock, kLines[i].dwNow, &dwFirst, &dwPrevious);
        EXPECT_EQ(kLines[i].dwSinceFirst, dwFirst) << i;
        EXPECT_EQ(kLines[i].dwSincePrevious, dwPrevious) << i;
    }
}

TEST(TraceCounters, TickWrapIsUnsigned)
{
    trace_internal::TraceClock tClock = {0, 0, false};
    DWORD dwFirst = 0, dwPrevious = 0;
    trace_internal::AdvanceClock(&tClock, 0xFFFFF000u, &dwFirst, &dwPrevious);
    trace_internal::AdvanceClock(&tClock, 0x00001000u, &dwFirst, &dwPrevious);  // 8192 ms later
    EXPECT_EQ(8u, dwFirst);
    EXPECT_EQ(8u, dwPrevious);
    // A first line at tick 0 is still a first line: the next one measures from it.
    trace_internal::TraceClock tZero = {0, 0, false};
    trace_internal::AdvanceClock(&tZero, 0, &dwFirst, &dwPrevious);
    trace_internal::AdvanceClock(&tZero, 3000, &dwFirst, &dwPrevious);
    EXPECT_EQ(3u, dwFirst);
    EXPECT_EQ(3u, dwPrevious);
}

TEST(TraceCounters, Microseconds)
{
    const struct
    {
        LONGLONG llCounter;
        LONGLONG llFrequency;
        DWORD dwMicroseconds;
    } kCases[] = {
        {123456789, 10000000, 2345678},          // 10 ticks a microsecond
        {9999999, 1000000, 9999999},
        {10000000, 1000000, 0},                  // runs through ten seconds and starts again
        {3579545 * 3LL, 3579545, 3579545},       // integer ticks per microsecond (3)
        {2500, 1000, 2500000},                   // slower than 1 MHz: scaled exactly
        {1000000000000000LL, 1000, 0},           // no overflow on a large slow counter
        {1000000000000001LL, 1000, 1000},
        {12345, 0, 0},                           // no frequency
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
        EXPECT_EQ(kCases[i].dwMicroseconds, trace_internal::MicrosecondsModTen(kCases[i].llCounter, kCases[i].llFrequency))
            << i;
}

TEST(TracePrefix, Format)
{
    const struct
    {
        const char* pszTime;
        DWORD dwMicro, dwFlags, dwFirst, dwPrevious;
        const char* pszPrefix;
    } kCases[] = {
        {"20240102030405", 0x42, TRACE_FAILURE, 12, 3, "20240102030405:0000042:0008(0012-0003)("},
        {"20240102030405", 9999999, TRACE_ENTRY | TRACE_DEBUGGER, 10012, 99999, "20240102030405:098967F:0102(0012-9999)("},
        {"", 0, TRACE_KEY, 0, 0, ":0000000:0001(0000-0000)("},  // no local time: empty text
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        char szPrefix[128];
        const size_t cch = trace_internal::FormatPrefix(szPrefix, sizeof(szPrefix), kCases[i].pszTime, kCases[i].dwMicro,
                                                        kCases[i].dwFlags, kCases[i].dwFirst, kCases[i].dwPrevious);
        EXPECT_EQ(std::string(kCases[i].pszPrefix), szPrefix) << i;
        EXPECT_EQ(std::strlen(kCases[i].pszPrefix), cch) << i;
    }
}

TEST(TracePrefix, SmallBufferIsNotOverrun)
{
    char szBuffer[32];
    std::memset(szBuffer, 0xcc, sizeof(szBuffer));
    const size_t cch = trace_internal::FormatPrefix(szBuffer, 10, "20240102030405", 1, 1, 1, 1);
    EXPECT_EQ(9u, cch);
    EXPECT_EQ(std::string("202401020"), szBuffer);
    for (size_t i = 10; i < sizeof(szBuffer); ++i) EXPECT_EQ(static_cast<char>(0xcc), szBuffer[i]) << i;
}

// ---- Trace objects writing files ----------------------------------------------------------

namespace
{

class TraceFile : public ::testing::Test
{
protected:
    TraceFile() : m_dir("trc") {}
    std::unique_ptr<CTraceLog> Make(const std::string& sName, DWORD dwMask = 0x1FF)
    {
        return std::unique_ptr<CTraceLog>(new CTraceLog(m_dir.File(sName).c_str(), dwMask));
    }
    vxtest::ScratchDir m_dir;
};

// Points GetTempPathA at a folder for the object's life.
class TempFolderOverride
{
public:
    explicit TempFolderOverride(const std::string& sFolder)
        : m_sOldTmp(vxtest::Env("TMP")), m_sOldTemp(vxtest::Env("TEMP"))
    {
        SetEnvironmentVariableA("TMP", sFolder.c_str());
        SetEnvironmentVariableA("TEMP", sFolder.c_str());
    }
    ~TempFolderOverride()
    {
        SetEnvironmentVariableA("TMP", m_sOldTmp.empty() ? NULL : m_sOldTmp.c_str());
        SetEnvironmentVariableA("TEMP", m_sOldTemp.empty() ? NULL : m_sOldTemp.c_str());
    }

private:
    std::string m_sOldTmp, m_sOldTemp;
};

}  // namespace

TEST_F(TraceFile, LineIsPrefixModuleMessageAndCrLf)
{
    std::unique_ptr<CTraceLog> pLog = Make("line.log");
    const std::string sBefore = LocalTimeText();
    pLog->Trace(TRACE_KEY, "hello %d %s", 5, "world");
    const std::string sAfter = LocalTimeText();

    std::string sBytes;
    ASSERT_TRUE(vxtest::ReadFileBytes(m_dir.File("line.log"), &sBytes));  // readable while open
    ASSERT_GE(sBytes.size(), 2u);
    EXPECT_EQ("\r\n", sBytes.substr(sBytes.size() - 2));
    const std::vector<std::string> lines = TraceFileLines(m_dir.File("line.log"));
    ASSERT_EQ(1u, lines.size());
    ParsedLine t;
    ASSERT_TRUE(ParseLine(lines[0], &t)) << lines[0];
    EXPECT_LE(sBefore, t.sTime);
    EXPECT_GE(sAfter, t.sTime);
    EXPECT_EQ(7u, t.sMicro.size());  // below 10 000 000 = 0x989680: always padded to seven
    EXPECT_EQ("0001", t.sFlags);
    EXPECT_EQ(ModuleName(), t.sModule);
    EXPECT_EQ("hello 5 world", t.sRest);
}

TEST_F(TraceFile, MarkersAndFlags)
{
    const struct
    {
        DWORD dwFlags;
        const char* pszFlags;
        const char* pszMarker;
    } kCases[] = {
        {TRACE_KEY, "0001", ""},
        {TRACE_ENTRY, "0002", "-> "},
        {TRACE_EXIT, "0004", "<- "},
        {TRACE_FAILURE, "0008", "## "},
        {TRACE_VALUE, "0010", "= "},
        {TRACE_DETAIL, "0020", ""},
        {TRACE_GENERAL, "0080", ""},
        {TRACE_FAILURE | TRACE_DEBUGGER, "0108", "## "},
        {TRACE_VALUE | TRACE_FAILURE | TRACE_EXIT | TRACE_ENTRY, "001E", "-> <- ## = "},  // in that order
    };
    std::unique_ptr<CTraceLog> pLog = Make("markers.log");
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i) pLog->Trace(kCases[i].dwFlags, "case %u", unsigned(i));
    const std::vector<std::string> lines = TraceFileLines(m_dir.File("markers.log"));
    ASSERT_EQ(sizeof(kCases) / sizeof(kCases[0]), lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
    {
        ParsedLine t;
        ASSERT_TRUE(ParseLine(lines[i], &t)) << i << ": " << lines[i];
        EXPECT_EQ(kCases[i].pszFlags, t.sFlags) << i;
        EXPECT_EQ(std::string(kCases[i].pszMarker) + "case " + std::to_string(i), t.sRest) << i;
    }
}

TEST_F(TraceFile, TraceAutoCutsTheMarkerWord)
{
    std::unique_ptr<CTraceLog> pLog = Make("auto.log");
    pLog->TraceAuto("ENTERING=Foo(%d)", 1);
    pLog->TraceAuto("EXITING=Foo returns %d", 2);
    pLog->TraceAuto("plain %s", "text");
    pLog->TraceAuto("ENTERING=");  // nothing left after the marker
    pLog->TraceFailure("failed %d", 3);
    const std::vector<std::string> lines = TraceFileLines(m_dir.File("auto.log"));
    const char* const kExpected[][2] = {
        {"0002", "-> Foo(1)"}, {"0004", "<- Foo returns 2"}, {"0080", "plain text"}, {"0002", "-> "}, {"0008", "## failed 3"}};
    ASSERT_EQ(5u, lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
    {
        ParsedLine t;
        ASSERT_TRUE(ParseLine(lines[i], &t)) << i << ": " << lines[i];
        EXPECT_EQ(kExpected[i][0], t.sFlags) << i;
        EXPECT_EQ(kExpected[i][1], t.sRest) << i;
    }
}

TEST_F(TraceFile, DefaultMaskWritesKeyAndFailureLinesOnly)
{
    std::unique_ptr<CTraceLog> pLog = Make("default.log", TRACE_DEFAULT_MASK);
    EXPECT_EQ(0x409u, pLog->GetMask());
    pLog->TraceAuto("Foo () entered");
    pLog->TraceAuto("Foo () return %d", 0);
    pLog->TraceAuto("general");
    pLog->Trace(TRACE_DETAIL, "detail");
    pLog->Trace(TRACE_KEY, "key");
    pLog->TraceFailure("failure");
    pLog->Trace(0x400, "the bit no category uses");
    const std::vector<std::string> lines = TraceFileLines(m_dir.File("default.log"));
    ASSERT_EQ(3u, lines.size());
    ParsedLine t;
    ASSERT_TRUE(ParseLine(lines[0], &t));
    EXPECT_EQ("key", t.sRest);
    ASSERT_TRUE(ParseLine(lines[1], &t));
    EXPECT_EQ("## failure", t.sRest);
    ASSERT_TRUE(ParseLine(lines[2], &t));
    EXPECT_EQ("0400", t.sFlags);

    pLog->SetMask(0);
    pLog->TraceFailure("after mask 0");
    pLog->Trace(0xFFFFFFFF, "after mask 0");
    EXPECT_EQ(3u, TraceFileLines(m_dir.File("default.log")).size());
}

TEST_F(TraceFile, NoFileUntilALinePassesTheMask)
{
    std::unique_ptr<CTraceLog> pLog = Make("masked.log", TRACE_DEFAULT_MASK);
    pLog->SetMask(0);
    pLog->TraceFailure("x");
    pLog->Trace(TRACE_KEY, "x");
    pLog->TraceAuto("x entered");
    pLog->Trace(TRACE_KEY, NULL);
    EXPECT_FALSE(FileExists(m_dir.File("masked.log")));
    pLog.reset();
    EXPECT_FALSE(FileExists(m_dir.File("masked.log")));  // not at destruction either

    pLog = Make("late.log", 0);
    pLog->Trace(TRACE_KEY, "dropped");
    pLog->SetMask(TRACE_KEY);
    pLog->Trace(TRACE_KEY, "kept");
    const std::vector<std::string> lines = TraceFileLines(m_dir.File("late.log"));
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find(")kept"));
}

// A line the mask rejects costs no formatting: its arguments are never read. Here reading one
// would fault, and the test program with it.
TEST_F(TraceFile, RejectedLinesReadNoArgument)
{
    char* pUnreadable = static_cast<char*>(VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_TRUE(pUnreadable != NULL);
    std::unique_ptr<CTraceLog> pLog = Make("rejected.log", TRACE_KEY);
    pLog->Trace(TRACE_DETAIL, "%s", pUnreadable);
    pLog->TraceAuto("%s entered", pUnreadable);
    pLog->TraceAuto("general %s", pUnreadable);
    pLog->SetMask(TRACE_GENERAL);
    pLog->TraceAuto("%s return", pUnreadable);
    pLog->TraceFailure("%s", pUnreadable);
    pLog->SetMask(0);
    pLog->TraceAuto("general %s", pUnreadable);
    VirtualFree(pUnreadable, 0, MEM_RELEASE);
    EXPECT_FALSE(FileExists(m_dir.File("rejected.log")));
}

TEST_F(TraceFile, NullFormatWritesNothing)
{
    std::unique_ptr<CTraceLog> pLog = Make("null.log");
    pLog->Trace(TRACE_KEY, NULL);
    pLog->TraceAuto(NULL);
    pLog->TraceFailure(NULL);
    EXPECT_FALSE(FileExists(m_dir.File("null.log")));
}

TEST_F(TraceFile, PathWithColonOrBackslashIsUsedUnchanged)
{
    const char* const kNames[] = {"C:\\no such folder\\x", "relative\\name", "x:y", "Z:plain"};
    for (size_t i = 0; i < sizeof(kNames) / sizeof(kNames[0]); ++i)
    {
        CTraceLog log(kNames[i], TRACE_DEFAULT_MASK);
        EXPECT_EQ(std::string(kNames[i]), Std(log.GetPath())) << i;
    }
    // No number and no ".log" added; the file is created there on the first line.
    std::unique_ptr<CTraceLog> pLog = Make("plain");
    EXPECT_EQ(m_dir.File("plain"), Std(pLog->GetPath()));
    pLog->Trace(TRACE_KEY, "x");
    EXPECT_TRUE(FileExists(m_dir.File("plain")));
    EXPECT_EQ(1u, vxtest::ListFiles(m_dir.File("*")).size());
}

TEST_F(TraceFile, BareNameIsNumberedIntoTheTemporaryFolder)
{
    TempFolderOverride temp(m_dir.Path() + "\\");
    ASSERT_TRUE(vxtest::WriteFileBytes(m_dir.File("abcdef000.log"), ""));
    ASSERT_TRUE(vxtest::WriteFileBytes(m_dir.File("abcdef001.log"), ""));
    {
        CTraceLog log("abcdefgh", TRACE_DEFAULT_MASK);
        EXPECT_EQ(m_dir.File("abcdef002.log"), Std(log.GetPath()));
        EXPECT_FALSE(FileExists(m_dir.File("abcdef002.log")));  // chosen, not created
    }
    {
        CTraceLog log("abc", TRACE_DEFAULT_MASK);
        EXPECT_EQ(m_dir.File("   abc000.log"), Std(log.GetPath()));
        log.Trace(TRACE_KEY, "x");
        EXPECT_TRUE(FileExists(m_dir.File("   abc000.log")));
    }
    {
        CTraceLog log("SetupName", TRACE_DEFAULT_MASK);  // a given name gets no "VXZ"
        EXPECT_EQ(m_dir.File("SetupN000.log"), Std(log.GetPath()));
    }
}

// A full path that merely looks like a numbered name is the caller's file: it is truncated,
// not moved on to the next number.
TEST_F(TraceFile, CallerNamedFileShapedLikeANumberedNameIsTruncated)
{
    TempFolderOverride temp(m_dir.Path() + "\\");
    const std::string sPath = m_dir.File("mytool001.log");
    ASSERT_TRUE(vxtest::WriteFileBytes(sPath, "earlier run\r\n"));
    {
        CTraceLog log(sPath.c_str(), TRACE_DEFAULT_MASK);
        log.Trace(TRACE_KEY, "this run");
        EXPECT_EQ(sPath, Std(log.GetPath()));
    }
    std::string sText;
    ASSERT_TRUE(vxtest::ReadFileBytes(sPath, &sText));
    EXPECT_EQ(std::string::npos, sText.find("earlier run")) << sText;
    EXPECT_NE(std::string::npos, sText.find("this run")) << sText;
    EXPECT_EQ(std::vector<std::string>{"mytool001.log"}, vxtest::ListFiles(m_dir.File("*")));
}

TEST_F(TraceFile, ThePathWhoseFolderIsMissingLosesTheLinesQuietly)
{
    std::unique_ptr<CTraceLog> pLog = Make("missing\\t.log");
    for (int i = 0; i < 3; ++i)
    {
        SetLastError(0xdeadbeef);
        pLog->Trace(TRACE_KEY, "lost %d", i);
        EXPECT_EQ(0xdeadbeefu, GetLastError()) << i;
    }
    EXPECT_FALSE(FileExists(m_dir.File("missing\\t.log")));
    ASSERT_TRUE(CreateDirectoryA(m_dir.File("missing").c_str(), NULL));
    pLog->Trace(TRACE_KEY, "still lost");  // no second attempt to create the file
    EXPECT_FALSE(FileExists(m_dir.File("missing\\t.log")));
}

TEST_F(TraceFile, TraceCallsKeepTheLastError)
{
    std::unique_ptr<CTraceLog> pLog = Make("lasterror.log", TRACE_KEY | TRACE_FAILURE | TRACE_GENERAL);
    ASSERT_TRUE(vxtest::WriteFileBytes(m_dir.File("lasterror.log"), "old"));  // CREATE_ALWAYS then reports 183
    SetLastError(0xdeadbeef);
    pLog->Trace(TRACE_KEY, "creates the file");
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    SetLastError(ERROR_FILE_NOT_FOUND);
    pLog->TraceAuto("general %d", 1);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(0xdeadbeef);
    pLog->TraceFailure("failure");
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    SetLastError(0xdeadbeef);
    pLog->Trace(TRACE_DETAIL, "masked out");
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    EXPECT_EQ(3u, TraceFileLines(m_dir.File("lasterror.log")).size());
}

TEST_F(TraceFile, OverlongMessageIsCutToTheBuffer)
{
    std::unique_ptr<CTraceLog> pLog = Make("long.log");
    const std::string sLong(100000, 'x');
    pLog->Trace(TRACE_KEY, "%s", sLong.c_str());
    pLog->Trace(TRACE_KEY, "%s%s%d", sLong.c_str(), sLong.c_str(), 7);
    pLog->TraceAuto("ENTERING=%s", sLong.c_str());
    pLog->Trace(TRACE_KEY, "short after");
    const std::vector<std::string> lines = TraceFileLines(m_dir.File("long.log"));
    ASSERT_EQ(4u, lines.size());
    ParsedLine t;
    ASSERT_TRUE(ParseLine(lines[0], &t));
    EXPECT_EQ(CTraceLog::kMaxMessageLength, t.sRest.size());
    EXPECT_EQ(std::string(63999, 'x'), t.sRest);
    ASSERT_TRUE(ParseLine(lines[1], &t));
    EXPECT_EQ(std::string(63999, 'x'), t.sRest);
    ASSERT_TRUE(ParseLine(lines[2], &t));
    EXPECT_EQ("-> " + std::string(63999 - 9, 'x'), t.sRest);  // marker word cut from the cut text
    // The buffers after the message buffer are intact.
    ASSERT_TRUE(ParseLine(lines[3], &t)) << lines[3].substr(0, 200);
    EXPECT_EQ(ModuleName(), t.sModule);
    EXPECT_EQ("short after", t.sRest);
}

TEST_F(TraceFile, EightThreadsWriteWholeLines)
{
    std::unique_ptr<CTraceLog> pLog = Make("threads.log");
    const int kThreads = 8, kLines = 1000;
    HANDLE hGo = CreateEventA(NULL, TRUE, FALSE, NULL);
    ASSERT_TRUE(hGo != NULL);
    std::vector<std::thread> threads;
    for (int iThread = 0; iThread < kThreads; ++iThread)
    {
        threads.emplace_back([&, iThread]() {
            WaitForSingleObject(hGo, INFINITE);
            for (int iLine = 0; iLine < kLines; ++iLine)
                pLog->Trace(iThread % 2 ? TRACE_FAILURE : TRACE_KEY, "thread %d line %04d %s", iThread, iLine,
                            "payload-payload-payload-payload");
        });
    }
    SetEvent(hGo);
    for (std::thread& thread : threads) thread.join();
    CloseHandle(hGo);
    pLog.reset();

    const std::vector<std::string> lines = TraceFileLines(m_dir.File("threads.log"));
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
    std::vector<int> next(kThreads, 0);
    const std::regex kMessage("^(## )?thread ([0-9]) line ([0-9]{4}) payload-payload-payload-payload$");
    size_t nBad = 0;
    for (size_t i = 0; i < lines.size() && nBad < 5; ++i)
    {
        ParsedLine t;
        std::smatch m;
        if (!ParseLine(lines[i], &t) || !std::regex_match(t.sRest, m, kMessage))
        {
            ADD_FAILURE() << "line " << i << ": " << lines[i];
            ++nBad;
            continue;
        }
        const int iThread = std::stoi(m[2]);
        ASSERT_LT(iThread, kThreads);
        EXPECT_EQ(next[iThread], std::stoi(m[3])) << "line " << i;  // each thread's lines in order
        EXPECT_EQ(iThread % 2 ? "0008" : "0001", t.sFlags) << "line " << i;
        next[iThread] = std::stoi(m[3]) + 1;
    }
    for (int iThread = 0; iThread < kThreads; ++iThread) EXPECT_EQ(kLines, next[iThread]) << iThread;
}

// ---- The process-wide object, seen from a helper program ----------------------------------

namespace
{

std::string HelperPath()
{
    char szPath[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, szPath, MAX_PATH);
    std::string s = szPath;
    return s.substr(0, s.rfind('\\') + 1) + "vx_trace_helper.exe";
}

class TraceHelper : public ::testing::Test
{
protected:
    TraceHelper() : m_dir("trh")
    {
        m_sTemp = m_dir.File("tmp");
        CreateDirectoryA(m_sTemp.c_str(), NULL);
    }

    // Runs the helper copied to sExeName with the temporary folder pointed at m_sTemp; returns
    // the path of its process-wide trace object.
    std::string Run(const std::string& sExeName, const std::string& sArgs)
    {
        const std::string sExe = m_dir.File(sExeName);
        if (!FileExists(sExe) && !CopyFileA(HelperPath().c_str(), sExe.c_str(), TRUE)) return "copy failed";
        const std::string sResult = m_dir.File("result.txt");
        DeleteFileA(sResult.c_str());
        std::map<std::string, std::string> env;
        env["TMP"] = m_sTemp;
        env["TEMP"] = m_sTemp;
        const vxtest::ProcessResult r = vxtest::RunProcess("\"" + sExe + "\" \"" + sResult + "\" " + sArgs, env, 30000);
        if (!r.fStarted || !r.fFinished || r.dwExitCode != 0) return "run failed";
        std::string sPath;
        vxtest::ReadFileBytes(sResult, &sPath);
        return sPath;
    }

    vxtest::ScratchDir m_dir;
    std::string m_sTemp;
};

}  // namespace

TEST_F(TraceHelper, SetupNamesTraceToVxzFilesNumberedFromZero)
{
    const struct
    {
        const char* pszExe;
        const char* pszFirst;
        const char* pszSecond;
    } kCases[] = {
        {"SetupTest.exe", "VXZSet000.log", "VXZSet001.log"},
        {"setuplc.exe", "VXZset000.log", "VXZset001.log"},
        {"MySetup.exe", "MySetu000.log", "MySetu001.log"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        // File names ignore letter case: each case gets a folder of its own.
        m_sTemp = m_dir.File("tmp" + std::to_string(i));
        ASSERT_TRUE(CreateDirectoryA(m_sTemp.c_str(), NULL)) << i;
        EXPECT_EQ(m_sTemp + "\\" + kCases[i].pszFirst, Run(kCases[i].pszExe, "lines")) << i;
        EXPECT_TRUE(FileExists(m_sTemp + "\\" + kCases[i].pszFirst)) << i;
        EXPECT_EQ(m_sTemp + "\\" + kCases[i].pszSecond, Run(kCases[i].pszExe, "lines")) << i;
        const std::vector<std::string> lines = TraceFileLines(m_sTemp + "\\" + kCases[i].pszFirst);
        ASSERT_FALSE(lines.empty()) << i;
        ParsedLine t;
        ASSERT_TRUE(ParseLine(lines.back(), &t)) << i << ": " << lines.back();
        EXPECT_EQ(kCases[i].pszExe, t.sModule) << i;  // the module keeps its own name
        EXPECT_EQ("## helper line 2", t.sRest) << i;
    }
}

TEST_F(TraceHelper, FirstLineOfAProcessShowsZeroCountersAndAGapIsCounted)
{
    ASSERT_EQ(m_sTemp + "\\vx_tra000.log", Run("vx_trace_helper.exe", "lines 2100"));
    const std::vector<std::string> lines = TraceFileLines(m_sTemp + "\\vx_tra000.log");
    ASSERT_GE(lines.size(), 2u);
    ParsedLine tFirst, tLast;
    ASSERT_TRUE(ParseLine(lines.front(), &tFirst)) << lines.front();
    EXPECT_EQ("0000", tFirst.sSinceFirst);
    EXPECT_EQ("0000", tFirst.sSincePrevious);
    ASSERT_TRUE(ParseLine(lines.back(), &tLast)) << lines.back();
    EXPECT_EQ("## helper line 2", tLast.sRest);
    EXPECT_EQ("0002", tLast.sSincePrevious);  // 2.1 s after the line before it
    EXPECT_EQ("0002", tLast.sSinceFirst);
}

// With no debug settings the process-wide object keeps only what was written before the device
// model factory replaced the mask: the parsed command line.
TEST_F(TraceHelper, RunWithoutDebugSettingsLeavesTheParsedCommandLine)
{
    const std::string sPath = Run("quiet.exe", "");
    ASSERT_EQ(m_sTemp + "\\quiet.000.log", sPath);
    const std::vector<std::string> lines = TraceFileLines(sPath);
    ASSERT_EQ(1u, lines.size());
    ParsedLine t;
    ASSERT_TRUE(ParseLine(lines[0], &t)) << lines[0];
    EXPECT_EQ("0001", t.sFlags);
    EXPECT_EQ(0u, t.sRest.find("Parsed command line: ")) << t.sRest;
}
