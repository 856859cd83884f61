// Registry values and keys by path: every condition text and summary line, odd stored data,
// long paths, the retrying read and its report, key deletes. HKLM is redirected into a scratch
// key for all but the machine-wide test, where another process writes the real key.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/import_patch.h"
#include "support/log_capture.h"
#include "support/test_support.h"
#include "vxzglue/vxzglue_registry.h"
#include "vxzglue/vxzglue_utils.h"

namespace
{

const char kKey[] = "SOFTWARE\\VxRegTest";
// A handle no registry call accepts: the calls fail with their own code, not a precondition.
const HKEY kBogusRoot = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7654320));

// Lines of the install log that are not condition lines.
std::vector<std::string> Summaries(const vxtest::InstallLogCapture& log)
{
    std::vector<std::string> summaries;
    for (const std::string& sLine : log.Lines())
    {
        if (sLine.find("]: Error --> ") == std::string::npos) summaries.push_back(sLine);
    }
    return summaries;
}

// The type and size stored, or a negative size when the value is missing.
struct Stored
{
    DWORD dwType;
    long cb;
    std::string sData;
};

Stored QueryRaw(const std::string& sPath, const char* pszName)
{
    Stored t = {0, -1, ""};
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return t;
    char buffer[8192];
    DWORD cb = sizeof(buffer);
    if (RegQueryValueExA(hKey, pszName, NULL, &t.dwType, reinterpret_cast<BYTE*>(buffer), &cb) == ERROR_SUCCESS)
    {
        t.cb = static_cast<long>(cb);
        t.sData.assign(buffer, cb);
    }
    RegCloseKey(hKey);
    return t;
}

bool KeyExists(const std::string& sPath)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
    RegCloseKey(hKey);
    return true;
}

bool MakeKey(const std::string& sPath)
{
    HKEY hKey = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

class Registry : public ::testing::Test
{
protected:
    Registry() { MakeKey(kKey); }
    std::vector<std::string> Conditions() const { return m_log.Conditions(); }
    std::vector<std::string> Summary() const { return Summaries(m_log); }
    void Clear() { m_log.Clear(); }

    vxtest::HklmRedirect m_hklm;
    vxtest::InstallLogCapture m_log;
};

typedef std::vector<std::string> Lines;

}  // namespace

// ---- String values -----------------------------------------------------------------------

TEST_F(Registry, ConditionLinesNameTheUnitAndLine)
{
    CVxCiString s;
    EXPECT_FALSE(RegGetStringValue("", "v", &s));
    const Lines lines = m_log.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("^\\[vxzglue_registry\\.cpp, Line [0-9]+\\]: Error --> "
                                                      "sPath\\.empty\\(\\)$")))
        << lines[0];
}

TEST_F(Registry, GetStringPreconditionsInOrder)
{
    CVxCiString s = "sentinel";
    const struct
    {
        const char* pszPath;
        const char* pszName;
        bool fOut;
        HKEY hRoot;
        const char* pszCondition;
    } kCases[] = {
        {"", "v", true, HKEY_LOCAL_MACHINE, "sPath.empty()"},
        {"", "", false, NULL, "sPath.empty()"},
        {kKey, "", false, NULL, "sValueName.empty()"},
        {kKey, "v", false, NULL, "psValueData == 0"},
        {kKey, "v", true, NULL, "hkRoot == 0"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        Clear();
        EXPECT_FALSE(RegGetStringValue(kCases[i].pszPath, kCases[i].pszName, kCases[i].fOut ? &s : NULL, true,
                                       kCases[i].hRoot))
            << i;
        EXPECT_EQ(Lines(1, kCases[i].pszCondition), Conditions()) << i;
        EXPECT_TRUE(Summary().empty()) << i;  // a precondition has no summary line
    }
    EXPECT_EQ(CVxCiString("sentinel"), s);
}

TEST_F(Registry, GetStringOfMissingKeyAndMissingValue)
{
    CVxCiString s = "sentinel";
    const std::string sMissingKey = std::string(kKey) + "\\Missing";
    EXPECT_FALSE(RegGetStringValue(sMissingKey.c_str(), "v", &s));
    EXPECT_EQ(Lines(1, "lResult != ERROR_SUCCESS"), Conditions());
    EXPECT_EQ(Lines(1, "RegGetStringValue (" + sMissingKey + ", v) Failed, lResult = 2"), Summary());

    Clear();
    EXPECT_FALSE(RegGetStringValue(sMissingKey.c_str(), "v", &s, false));
    EXPECT_EQ(Lines(1, "lResult != ERROR_SUCCESS"), Conditions());
    EXPECT_TRUE(Summary().empty());

    // A missing value is an ordinary answer: the summary line only.
    Clear();
    EXPECT_FALSE(RegGetStringValue(kKey, "Nothing", &s));
    EXPECT_TRUE(Conditions().empty());
    EXPECT_EQ(Lines(1, std::string("RegGetStringValue (") + kKey + ", Nothing) Failed, lResult = 2"), Summary());

    Clear();
    EXPECT_FALSE(RegGetStringValue(kKey, "Nothing", &s, false));
    EXPECT_TRUE(m_log.Lines().empty());
    EXPECT_EQ(CVxCiString("sentinel"), s);
}

TEST_F(Registry, GetStringOfStoredData)
{
    const std::string sLong(5000, 'L');
    const struct
    {
        const char* pszWhat;
        DWORD dwType;
        std::string sBytes;
        bool fResult;
        const char* pszValue;       // when read
        const char* pszCondition;   // when refused
    } kCases[] = {
        {"text", REG_SZ, std::string("Model 1234\0", 11), true, "Model 1234", NULL},
        {"embedded zero", REG_SZ, std::string("abc\0def\0", 8), true, "abc", NULL},
        {"no terminator", REG_SZ, std::string("abc", 3), true, "abc", NULL},
        {"empty text", REG_SZ, std::string("\0", 1), true, "", NULL},
        {"zero length", REG_SZ, std::string(), false, NULL, "cbData == 0"},
        {"expandable", REG_EXPAND_SZ, std::string("%TEMP%\0", 7), false, NULL, "dwType != REG_SZ"},
        {"multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), false, NULL, "dwType != REG_SZ"},
        {"number", REG_DWORD, std::string("\1\0\0\0", 4), false, NULL, "dwType != REG_SZ"},
        {"binary", REG_BINARY, std::string("abc\0", 4), false, NULL, "dwType != REG_SZ"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const std::string sName = "v" + std::to_string(i);
        ASSERT_TRUE(vxtest::WriteRegistryValue(kKey, sName.c_str(), kCases[i].dwType, kCases[i].sBytes.data(),
                                        static_cast<DWORD>(kCases[i].sBytes.size())))
            << i;
        Clear();
        CVxCiString s = "sentinel";
        EXPECT_EQ(kCases[i].fResult, RegGetStringValue(kKey, sName.c_str(), &s)) << i << " " << kCases[i].pszWhat;
        if (kCases[i].fResult)
        {
            EXPECT_EQ(std::string(kCases[i].pszValue), ToStd(s)) << i;
            EXPECT_TRUE(m_log.Lines().empty()) << i;
        }
        else
        {
            EXPECT_EQ(CVxCiString("sentinel"), s) << i;
            EXPECT_EQ(Lines(1, kCases[i].pszCondition), Conditions()) << i;
            EXPECT_TRUE(Summary().empty()) << i;  // the registry calls themselves succeeded
        }
    }
}

TEST_F(Registry, LongValuesAndPathsUpToMaxPath)
{
    std::string sPath = kKey;
    while (sPath.size() + 31 < MAX_PATH) sPath += "\\" + std::string(30, static_cast<char>('a' + sPath.size() % 26));
    ASSERT_GT(sPath.size(), static_cast<size_t>(MAX_PATH - 32));
    const std::string sValue(10000, 'v');
    ASSERT_TRUE(RegSetStringValue(sPath.c_str(), "Long", sValue.c_str()));
    CVxCiString s;
    ASSERT_TRUE(RegGetStringValue(sPath.c_str(), "Long", &s));
    EXPECT_EQ(sValue, ToStd(s));
    ASSERT_TRUE(RegSetDwordValue(sPath.c_str(), "N", 7));
    DWORD dw = 0;
    ASSERT_TRUE(RegGetDwordValue(sPath.c_str(), "N", &dw));
    EXPECT_EQ(7u, dw);
    EXPECT_TRUE(m_log.Lines().empty());

    // The summary carries the whole path and value name.
    const std::string sName(300, 'n');
    EXPECT_FALSE(RegGetStringValue(sPath.c_str(), sName.c_str(), &s));
    EXPECT_EQ(Lines(1, "RegGetStringValue (" + sPath + ", " + sName + ") Failed, lResult = 2"), Summary());

    // A failed write of a long value writes the whole value into its summary.
    Clear();
    EXPECT_FALSE(RegSetStringValue(sPath.c_str(), "Long", sValue.c_str(), true, kBogusRoot));
    const Lines summary = Summary();
    ASSERT_EQ(1u, summary.size());
    EXPECT_EQ(0u, summary[0].find("RegSetStringValue (" + sPath + ", Long, " + sValue + ") Failed, lResult = "));
}

// Wine's ANSI registry calls take at most MAX_PATH - 1 characters of path below the given key
// and answer ERROR_MORE_DATA (234) beyond; every function reports that with the whole path.
TEST_F(Registry, PathsBeyondMaxPathAreReportedWhole)
{
    std::string sPath = kKey;
    while (sPath.size() < 2 * MAX_PATH) sPath += "\\" + std::string(40, 'p');
    CVxCiString s = "sentinel";
    DWORD dw = 0xcccccccc;
    EXPECT_FALSE(RegSetStringValue(sPath.c_str(), "v", "x"));
    EXPECT_FALSE(RegSetDwordValue(sPath.c_str(), "v", 1));
    EXPECT_FALSE(RegGetStringValue(sPath.c_str(), "v", &s));
    EXPECT_FALSE(RegGetDwordValue(sPath.c_str(), "v", &dw));
    EXPECT_FALSE(RegDeleteValue(sPath.c_str(), "v"));
    EXPECT_FALSE(RegDeleteKey(sPath.c_str(), true));
    EXPECT_EQ(CVxCiString("sentinel"), s);
    EXPECT_EQ(0xccccccccu, dw);
    EXPECT_EQ(Lines(6, "lResult != ERROR_SUCCESS"), Conditions());
    const std::string sParent = sPath.substr(0, sPath.rfind('\\'));
    const Lines kExpected = {
        "RegSetStringValue (" + sPath + ", v, x) Failed, lResult = 234",
        "RegSetDwordValue (" + sPath + ", v, 0x00000001) Failed, lResult = 234",
        "RegGetStringValue (" + sPath + ", v) Failed, lResult = 234",
        "RegGetDwordValue (" + sPath + ", v) Failed, lResult = 234",
        "RegDeleteValue (" + sPath + ", v) Failed, lResult = 234",
        "RegDeleteKey (" + sPath + ") Failed, lResult = 0x000000ea",
    };
    EXPECT_EQ(kExpected, Summary());
}

TEST_F(Registry, SetStringWritesTextWithItsTerminator)
{
    const std::string sPath = std::string(kKey) + "\\New\\Deeper";
    ASSERT_TRUE(RegSetStringValue(sPath.c_str(), "Port", "USB001"));
    const Stored t = QueryRaw(sPath, "Port");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), t.dwType);
    EXPECT_EQ(7, t.cb);
    EXPECT_EQ(std::string("USB001\0", 7), t.sData);
    ASSERT_TRUE(RegSetStringValue(sPath.c_str(), "Port", "LPT1:"));  // replaces
    EXPECT_EQ(std::string("LPT1:\0", 6), QueryRaw(sPath, "Port").sData);
    EXPECT_TRUE(m_log.Lines().empty());
}

TEST_F(Registry, SetStringPreconditionsLeaveTheRegistryAlone)
{
    const std::string sPath = std::string(kKey) + "\\Untouched";
    const struct
    {
        const char* pszPath;
        const char* pszName;
        const char* pszData;
        HKEY hRoot;
        const char* pszCondition;
    } kCases[] = {
        {"", "v", "d", HKEY_LOCAL_MACHINE, "sPath.empty()"},
        {sPath.c_str(), "", "d", HKEY_LOCAL_MACHINE, "sValueName.empty()"},
        {sPath.c_str(), "v", "", HKEY_LOCAL_MACHINE, "sValueData.empty()"},
        {sPath.c_str(), "v", "d", NULL, "hkRoot == 0"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        Clear();
        EXPECT_FALSE(RegSetStringValue(kCases[i].pszPath, kCases[i].pszName, kCases[i].pszData, true, kCases[i].hRoot))
            << i;
        EXPECT_EQ(Lines(1, kCases[i].pszCondition), Conditions()) << i;
        EXPECT_TRUE(Summary().empty()) << i;
        EXPECT_FALSE(KeyExists(sPath)) << i;
    }
    // An empty text does not replace what is there.
    ASSERT_TRUE(RegSetStringValue(kKey, "Keep", "old"));
    EXPECT_FALSE(RegSetStringValue(kKey, "Keep", ""));
    EXPECT_EQ(std::string("old\0", 4), QueryRaw(kKey, "Keep").sData);
}

TEST_F(Registry, FailedCallsWriteTheirSummaryLines)
{
    const struct
    {
        const char* pszWhat;
        const char* pszSummaryStart;  // the code follows
        bool fLogs;
    } kCases[] = {
        {"set string", "RegSetStringValue (K, V, data) Failed, lResult = ", true},
        {"set string quiet", NULL, false},
        {"set dword", "RegSetDwordValue (K, V, 0x0000002a) Failed, lResult = ", true},
        {"set dword quiet", NULL, false},
        {"get dword", "RegGetDwordValue (K, V) Failed, lResult = ", true},
        {"get dword quiet", NULL, false},
        {"delete value", "RegDeleteValue (K, V) Failed, lResult = ", true},
        {"delete value quiet", NULL, false},
        {"get string", "RegGetStringValue (K, V) Failed, lResult = ", true},
        {"get string quiet", NULL, false},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        Clear();
        const bool fLog = kCases[i].fLogs;
        DWORD dw = 0;
        CVxCiString s;
        bool fResult = true;
        switch (i / 2)
        {
        case 0: fResult = RegSetStringValue("K", "V", "data", fLog, kBogusRoot); break;
        case 1: fResult = RegSetDwordValue("K", "V", 42, fLog, kBogusRoot); break;
        case 2: fResult = RegGetDwordValue("K", "V", &dw, fLog, kBogusRoot); break;
        case 3: fResult = RegDeleteValue("K", "V", fLog, kBogusRoot); break;
        case 4: fResult = RegGetStringValue("K", "V", &s, fLog, kBogusRoot); break;
        }
        EXPECT_FALSE(fResult) << i;
        EXPECT_EQ(Lines(1, "lResult != ERROR_SUCCESS"), Conditions()) << i << " " << kCases[i].pszWhat;
        const Lines summary = Summary();
        if (!fLog)
        {
            EXPECT_TRUE(summary.empty()) << i;
            continue;
        }
        ASSERT_EQ(1u, summary.size()) << i;
        const std::string sStart = kCases[i].pszSummaryStart;
        ASSERT_EQ(sStart, summary[0].substr(0, sStart.size())) << i;
        const long lCode = std::stol(summary[0].substr(sStart.size()));
        EXPECT_NE(0, lCode) << i;
    }
}

// ---- Numbers -----------------------------------------------------------------------------

TEST_F(Registry, GetDwordPreconditionsAndStoredData)
{
    DWORD dw = 0xcccccccc;
    const struct
    {
        const char* pszPath;
        const char* pszName;
        bool fOut;
        HKEY hRoot;
        const char* pszCondition;
    } kPre[] = {
        {"", "v", true, HKEY_LOCAL_MACHINE, "sPath.empty()"},
        {kKey, "", true, HKEY_LOCAL_MACHINE, "sValueName.empty()"},
        {kKey, "v", false, HKEY_LOCAL_MACHINE, "pdwValueData == 0"},
        {kKey, "v", true, NULL, "hkRoot == 0"},
    };
    for (size_t i = 0; i < sizeof(kPre) / sizeof(kPre[0]); ++i)
    {
        Clear();
        EXPECT_FALSE(RegGetDwordValue(kPre[i].pszPath, kPre[i].pszName, kPre[i].fOut ? &dw : NULL, true, kPre[i].hRoot))
            << i;
        EXPECT_EQ(Lines(1, kPre[i].pszCondition), Conditions()) << i;
        EXPECT_TRUE(Summary().empty()) << i;
    }

    const struct
    {
        const char* pszWhat;
        DWORD dwType;
        std::string sBytes;
        const char* pszCondition;  // null: read
    } kData[] = {
        {"number", REG_DWORD, std::string("\xef\xbe\xad\xde", 4), NULL},
        {"binary of 4 bytes", REG_BINARY, std::string("\1\0\0\0", 4), "dwType != REG_DWORD"},
        {"text", REG_SZ, std::string("1\0", 2), "dwType != REG_DWORD"},
        {"big-endian number", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\1", 4), "dwType != REG_DWORD"},
        {"8-byte number", REG_DWORD, std::string("\1\0\0\0\0\0\0\0", 8), "(cbData == 0) || (cbData != sizeof(DWORD))"},
        {"2-byte number", REG_DWORD, std::string("\1\0", 2), "(cbData == 0) || (cbData != sizeof(DWORD))"},
        {"empty number", REG_DWORD, std::string(), "(cbData == 0) || (cbData != sizeof(DWORD))"},
    };
    for (size_t i = 0; i < sizeof(kData) / sizeof(kData[0]); ++i)
    {
        const std::string sName = "n" + std::to_string(i);
        ASSERT_TRUE(vxtest::WriteRegistryValue(kKey, sName.c_str(), kData[i].dwType, kData[i].sBytes.data(),
                                        static_cast<DWORD>(kData[i].sBytes.size())))
            << i;
        Clear();
        dw = 0xcccccccc;
        const bool fRead = RegGetDwordValue(kKey, sName.c_str(), &dw);
        if (!kData[i].pszCondition)
        {
            EXPECT_TRUE(fRead) << i;
            EXPECT_EQ(0xdeadbeefu, dw) << i;
            EXPECT_TRUE(m_log.Lines().empty()) << i;
            continue;
        }
        EXPECT_FALSE(fRead) << i << " " << kData[i].pszWhat;
        EXPECT_EQ(0xccccccccu, dw) << i;
        EXPECT_EQ(Lines(1, kData[i].pszCondition), Conditions()) << i;
        EXPECT_TRUE(Summary().empty()) << i;
    }
}

TEST_F(Registry, GetDwordOfMissingValueWritesBothLines)
{
    DWORD dw = 0xcccccccc;
    EXPECT_FALSE(RegGetDwordValue(kKey, "Nothing", &dw));
    EXPECT_EQ(Lines(1, "lResult != ERROR_SUCCESS"), Conditions());
    EXPECT_EQ(Lines(1, std::string("RegGetDwordValue (") + kKey + ", Nothing) Failed, lResult = 2"), Summary());
    Clear();
    EXPECT_FALSE(RegGetDwordValue(kKey, "Nothing", &dw, false));
    EXPECT_EQ(Lines(1, "lResult != ERROR_SUCCESS"), Conditions());
    EXPECT_TRUE(Summary().empty());
    EXPECT_EQ(0xccccccccu, dw);
}

TEST_F(Registry, SetDwordWritesFourBytes)
{
    const struct
    {
        const char* pszPath;
        const char* pszName;
        HKEY hRoot;
        const char* pszCondition;
    } kPre[] = {
        {"", "v", HKEY_LOCAL_MACHINE, "sPath.empty()"},
        {kKey, "", HKEY_LOCAL_MACHINE, "sValueName.empty()"},
        {kKey, "v", NULL, "hkRoot == 0"},
    };
    for (size_t i = 0; i < sizeof(kPre) / sizeof(kPre[0]); ++i)
    {
        Clear();
        EXPECT_FALSE(RegSetDwordValue(kPre[i].pszPath, kPre[i].pszName, 1, true, kPre[i].hRoot)) << i;
        EXPECT_EQ(Lines(1, kPre[i].pszCondition), Conditions()) << i;
        EXPECT_TRUE(Summary().empty()) << i;
    }
    EXPECT_LT(QueryRaw(kKey, "v").cb, 0);

    const std::string sPath = std::string(kKey) + "\\Made";
    ASSERT_TRUE(RegSetDwordValue(sPath.c_str(), "StatusCode", 0x80000001u));
    const Stored t = QueryRaw(sPath, "StatusCode");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), t.dwType);
    EXPECT_EQ(std::string("\x01\0\0\x80", 4), t.sData);
    ASSERT_TRUE(RegSetDwordValue(sPath.c_str(), "StatusCode", 0));  // 0 is a value like any other
    EXPECT_EQ(std::string("\0\0\0\0", 4), QueryRaw(sPath, "StatusCode").sData);
}

// ---- Value deletes -----------------------------------------------------------------------

TEST_F(Registry, DeleteValue)
{
    const struct
    {
        const char* pszPath;
        const char* pszName;
        HKEY hRoot;
        const char* pszCondition;
    } kPre[] = {
        {"", "v", HKEY_LOCAL_MACHINE, "sPath.empty()"},
        {kKey, "", HKEY_LOCAL_MACHINE, "sValueName.empty()"},
        {kKey, "v", NULL, "hkRoot == 0"},
    };
    for (size_t i = 0; i < sizeof(kPre) / sizeof(kPre[0]); ++i)
    {
        Clear();
        EXPECT_FALSE(RegDeleteValue(kPre[i].pszPath, kPre[i].pszName, true, kPre[i].hRoot)) << i;
        EXPECT_EQ(Lines(1, kPre[i].pszCondition), Conditions()) << i;
        EXPECT_TRUE(Summary().empty()) << i;
    }

    ASSERT_TRUE(RegSetStringValue(kKey, "Gone", "x"));
    ASSERT_TRUE(RegSetStringValue(kKey, "Stays", "y"));
    Clear();
    EXPECT_TRUE(RegDeleteValue(kKey, "Gone"));
    EXPECT_LT(QueryRaw(kKey, "Gone").cb, 0);
    EXPECT_EQ(2, QueryRaw(kKey, "Stays").cb);
    EXPECT_TRUE(m_log.Lines().empty());

    EXPECT_FALSE(RegDeleteValue(kKey, "Gone"));
    EXPECT_EQ(Lines(1, "lResult != ERROR_SUCCESS"), Conditions());
    EXPECT_EQ(Lines(1, std::string("RegDeleteValue (") + kKey + ", Gone) Failed, lResult = 2"), Summary());

    Clear();
    const std::string sMissing = std::string(kKey) + "\\NoKey";
    EXPECT_FALSE(RegDeleteValue(sMissing.c_str(), "v", false));
    EXPECT_EQ(Lines(1, "lResult != ERROR_SUCCESS"), Conditions());
    EXPECT_TRUE(Summary().empty());
}

// ---- The retrying read --------------------------------------------------------------------

namespace
{

double MillisecondsSince(const LARGE_INTEGER& liStart)
{
    LARGE_INTEGER liNow, liFrequency;
    QueryPerformanceCounter(&liNow);
    QueryPerformanceFrequency(&liFrequency);
    return 1000.0 * static_cast<double>(liNow.QuadPart - liStart.QuadPart) / static_cast<double>(liFrequency.QuadPart);
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER li;
    QueryPerformanceCounter(&li);
    return li;
}

}  // namespace

TEST_F(Registry, RetryPreconditionsReportZeroRetries)
{
    DWORD dw = 0;
    const struct
    {
        const char* pszPath;
        const char* pszName;
        bool fOut;
        HKEY hRoot;
        const char* pszCondition;
        const char* pszSummary;
    } kCases[] = {
        {"", "v", true, HKEY_LOCAL_MACHINE, "sPath.empty()",
         "RegRetryGetDwordValue (NULL, v) Failed After 0 Retries and 0 Milliseconds"},
        {"", "", true, HKEY_LOCAL_MACHINE, "sPath.empty()",
         "RegRetryGetDwordValue (NULL, NULL) Failed After 0 Retries and 0 Milliseconds"},
        {"K", "", true, HKEY_LOCAL_MACHINE, "sValueName.empty()",
         "RegRetryGetDwordValue (K, NULL) Failed After 0 Retries and 0 Milliseconds"},
        {"K", "v", false, HKEY_LOCAL_MACHINE, "pdwValueData == 0",
         "RegRetryGetDwordValue (K, v) Failed After 0 Retries and 0 Milliseconds"},
        {"K", "v", true, NULL, "hkRoot == 0", "RegRetryGetDwordValue (K, v) Failed After 0 Retries and 0 Milliseconds"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        Clear();
        EXPECT_FALSE(RegRetryGetDwordValue(kCases[i].pszPath, kCases[i].pszName, kCases[i].fOut ? &dw : NULL, 100,
                                           4000, kCases[i].hRoot))
            << i;
        EXPECT_EQ(Lines(1, kCases[i].pszCondition), Conditions()) << i;
        EXPECT_EQ(Lines(1, kCases[i].pszSummary), Summary()) << i;
    }
}

TEST_F(Registry, RetryOfPresentValueReadsAtOnce)
{
    ASSERT_TRUE(RegSetDwordValue(kKey, "Ready", 3));
    Clear();
    DWORD dw = 0;
    const LARGE_INTEGER liStart = Now();
    EXPECT_TRUE(RegRetryGetDwordValue(kKey, "Ready", &dw, 100, 4000));
    EXPECT_LT(MillisecondsSince(liStart), 100.0);  // no pause taken
    EXPECT_EQ(3u, dw);
    EXPECT_TRUE(m_log.Lines().empty());
}

TEST_F(Registry, RetryBudgets)
{
    const std::string sKeyText = kKey;
    const struct
    {
        unsigned nMaxRetries, MaxSleepTime;
        size_t nAttempts;
        const char* pszStop;
        unsigned nReportedRetries, nSlept;
    } kCases[] = {
        {0, 4000, 1, "(iRetry + 1) > nMaxRetries", 0, 0},  // one attempt, no pause
        {3, 4000, 4, "(iRetry + 1) > nMaxRetries", 3, 600},
        {100, 250, 2, "(TotalSleepTime + (iRetry * 100)) > MaxSleepTime", 2, 100},  // the refused retry counts
        {100, 0, 1, "(TotalSleepTime + (iRetry * 100)) > MaxSleepTime", 1, 0},
        {2, 300, 3, "(iRetry + 1) > nMaxRetries", 2, 300},  // exactly at the budget is allowed
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        Clear();
        DWORD dw = 0xcccccccc;
        const LARGE_INTEGER liStart = Now();
        EXPECT_FALSE(RegRetryGetDwordValue(kKey, "Never", &dw, kCases[i].nMaxRetries, kCases[i].MaxSleepTime)) << i;
        EXPECT_GE(MillisecondsSince(liStart), kCases[i].nSlept * 0.95) << i;
        EXPECT_EQ(0xccccccccu, dw) << i;

        Lines conditions(kCases[i].nAttempts, "lResult != ERROR_SUCCESS");
        conditions.push_back(kCases[i].pszStop);
        EXPECT_EQ(conditions, Conditions()) << i;
        Lines summary(kCases[i].nAttempts, "RegGetDwordValue (" + sKeyText + ", Never) Failed, lResult = 2");
        summary.push_back("RegRetryGetDwordValue (" + sKeyText + ", Never) Failed After " +
                          std::to_string(kCases[i].nReportedRetries) + " Retries and " +
                          std::to_string(kCases[i].nSlept) + " Milliseconds");
        EXPECT_EQ(summary, Summary()) << i;
    }
}

// The install flow's budget: the time ends it first, after 9 attempts and 8 pauses.
TEST_F(Registry, RetryWithTheInstallFlowsBudget)
{
    DWORD dw = 0xcccccccc;
    const LARGE_INTEGER liStart = Now();
    EXPECT_FALSE(RegRetryGetDwordValue(kKey, "Never", &dw, 100, 4000));
    const double dElapsed = MillisecondsSince(liStart);
    EXPECT_GE(dElapsed, 3500.0);
    std::printf("RegRetryGetDwordValue (100, 4000) gave up after %.0f ms\n", dElapsed);

    const Lines conditions = Conditions();
    ASSERT_EQ(10u, conditions.size());
    EXPECT_EQ(Lines(9, "lResult != ERROR_SUCCESS"), Lines(conditions.begin(), conditions.begin() + 9));
    EXPECT_EQ("(TotalSleepTime + (iRetry * 100)) > MaxSleepTime", conditions[9]);
    const Lines summary = Summary();
    ASSERT_EQ(10u, summary.size());
    EXPECT_EQ(std::string("RegRetryGetDwordValue (") + kKey + ", Never) Failed After 9 Retries and 3600 Milliseconds",
              summary[9]);
}

TEST_F(Registry, RetryFindsAValueWrittenMeanwhile)
{
    std::thread writer([]() {
        Sleep(250);
        // The redirection is per process, and this thread is of the same process.
        RegSetDwordValue(kKey, "Late", 11);
    });
    DWORD dw = 0;
    EXPECT_TRUE(RegRetryGetDwordValue(kKey, "Late", &dw, 100, 4000));
    writer.join();
    EXPECT_EQ(11u, dw);
    const Lines summary = Summary();
    ASSERT_GE(summary.size(), 2u);  // at least the first attempt and one retry failed
    for (const std::string& sLine : summary) EXPECT_EQ(std::string::npos, sLine.find("RegRetryGetDwordValue")) << sLine;
}

// ---- Key deletes -------------------------------------------------------------------------

TEST_F(Registry, DeleteKeyPathEdgeCases)
{
    const struct
    {
        const char* pszPath;
        HKEY hRoot;
        const char* pszCondition;
        const char* pszSummary;  // null: none
    } kCases[] = {
        {"", HKEY_LOCAL_MACHINE, "sPath.empty()", NULL},
        {"Top", NULL, "hkRoot == 0", NULL},
        {"Top", HKEY_LOCAL_MACHINE, "isRegKey == CVxCiString::npos", "RegDeleteKey (Top) Failed, lResult = 0xffffffff"},
        {"Top\\", HKEY_LOCAL_MACHINE, "isRegKey == CVxCiString::npos", "RegDeleteKey (Top\\) Failed, lResult = 0xffffffff"},
        {"\\B", HKEY_LOCAL_MACHINE, "sRegKey.empty()", "RegDeleteKey (\\B) Failed, lResult = 0xffffffff"},
        {"\\B\\", HKEY_LOCAL_MACHINE, "sRegKey.empty()", "RegDeleteKey (\\B\\) Failed, lResult = 0xffffffff"},
        {"A\\\\", HKEY_LOCAL_MACHINE, "sSubkey.empty()", "RegDeleteKey (A\\\\) Failed, lResult = 0xffffffff"},
        {"\\", HKEY_LOCAL_MACHINE, "isRegKey == CVxCiString::npos", "RegDeleteKey (\\) Failed, lResult = 0xffffffff"},
        {"SOFTWARE\\VxRegTest\\NoParent\\B", HKEY_LOCAL_MACHINE, "lResult != ERROR_SUCCESS",
         "RegDeleteKey (SOFTWARE\\VxRegTest\\NoParent\\B) Failed, lResult = 0x00000002"},
        {"SOFTWARE\\VxRegTest\\NoKey", HKEY_LOCAL_MACHINE, "lResult != ERROR_SUCCESS",
         "RegDeleteKey (SOFTWARE\\VxRegTest\\NoKey) Failed, lResult = 0x00000002"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        Clear();
        EXPECT_FALSE(RegDeleteKey(kCases[i].pszPath, false, kCases[i].hRoot)) << i;
        EXPECT_EQ(Lines(1, kCases[i].pszCondition), Conditions()) << i << " " << kCases[i].pszPath;
        EXPECT_EQ(kCases[i].pszSummary ? Lines(1, kCases[i].pszSummary) : Lines(), Summary()) << i;
    }
    EXPECT_TRUE(KeyExists(kKey));
}

TEST_F(Registry, DeleteKeyWithTrailingBackslashDeletesTheLastComponent)
{
    const std::string sA = std::string(kKey) + "\\A";
    ASSERT_TRUE(MakeKey(sA + "\\B"));
    ASSERT_TRUE(MakeKey(sA + "\\Sibling"));
    EXPECT_TRUE(RegDeleteKey((sA + "\\B\\").c_str(), false));
    EXPECT_FALSE(KeyExists(sA + "\\B"));
    EXPECT_TRUE(KeyExists(sA + "\\Sibling"));
    EXPECT_TRUE(RegDeleteKey((sA + "\\Sibling").c_str(), true));
    EXPECT_FALSE(KeyExists(sA + "\\Sibling"));
    EXPECT_TRUE(KeyExists(sA));
    EXPECT_TRUE(m_log.Lines().empty());
}

// On the NT family a key with subkeys cannot be deleted by itself.
TEST_F(Registry, PlainDeleteOfAKeyWithSubkeysFails)
{
    const std::string sTop = std::string(kKey) + "\\Parent";
    ASSERT_TRUE(MakeKey(sTop + "\\Child"));
    EXPECT_FALSE(RegDeleteKey(sTop.c_str(), false));
    EXPECT_EQ(Lines(1, "lResult != ERROR_SUCCESS"), Conditions());
    EXPECT_EQ(Lines(1, "RegDeleteKey (" + sTop + ") Failed, lResult = 0x00000005"), Summary());
    EXPECT_TRUE(KeyExists(sTop + "\\Child"));
}

// Three levels with several children each: since a key with subkeys cannot be deleted on NT,
// success shows the deepest keys went first, and enumerating from the highest index down
// reaches every sibling although the indexes shift as they go.
TEST_F(Registry, RecursiveDeleteRemovesTheWholeSubtree)
{
    const std::string sTop = std::string(kKey) + "\\Tree";
    std::vector<std::string> keys;
    for (int b = 0; b < 3; ++b)
    {
        for (int c = 0; c < 4; ++c)
        {
            const std::string sLeaf = sTop + "\\B" + std::to_string(b) + "\\C" + std::to_string(c);
            ASSERT_TRUE(MakeKey(sLeaf));
            ASSERT_TRUE(vxtest::WriteRegistryValue(sLeaf, "v", REG_SZ, "x", 2));
            keys.push_back(sLeaf);
        }
    }
    // The longest name a key can have, made below its parent (a whole path that long is too
    // long for the ANSI calls), with a child of its own.
    HKEY hB0 = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, (sTop + "\\B0").c_str(), 0, KEY_ALL_ACCESS, &hB0));
    const std::string sLongName(255, 'z');
    HKEY hLong = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(hB0, sLongName.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hLong, NULL));
    HKEY hD = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(hLong, "D", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hD, NULL));
    RegCloseKey(hD);
    RegCloseKey(hLong);
    RegCloseKey(hB0);
    ASSERT_TRUE(MakeKey(std::string(kKey) + "\\TreeNeighbour"));

    EXPECT_TRUE(RegDeleteKey(sTop.c_str(), true));
    EXPECT_TRUE(m_log.Lines().empty());
    EXPECT_FALSE(KeyExists(sTop));
    for (const std::string& sKey : keys) EXPECT_FALSE(KeyExists(sKey)) << sKey;
    EXPECT_TRUE(KeyExists(std::string(kKey) + "\\TreeNeighbour"));
    EXPECT_TRUE(KeyExists(kKey));
}

// A key nobody may open stops the delete where it stands: the children after it in index order
// are gone (the walk runs from the highest index down), it and those before it stay.
TEST_F(Registry, RecursiveDeleteStopsAtAChildItCannotOpen)
{
    const std::string sTop = std::string(kKey) + "\\Locked";
    for (const char* pszChild : {"A", "B\\Deep", "C", "D"}) ASSERT_TRUE(MakeKey(sTop + "\\" + pszChild));
    HKEY hB = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, (sTop + "\\B").c_str(), 0, KEY_ALL_ACCESS, &hB));
    SECURITY_DESCRIPTOR tDenyAll;
    ASSERT_TRUE(InitializeSecurityDescriptor(&tDenyAll, SECURITY_DESCRIPTOR_REVISION));
    ACL tEmptyAcl;
    ASSERT_TRUE(InitializeAcl(&tEmptyAcl, sizeof(tEmptyAcl), ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&tDenyAll, TRUE, &tEmptyAcl, FALSE));  // an empty DACL grants nothing
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(hB, DACL_SECURITY_INFORMATION, &tDenyAll));
    RegCloseKey(hB);
    HKEY hProbe = NULL;
    const LONG lProbe = RegOpenKeyExA(HKEY_LOCAL_MACHINE, (sTop + "\\B").c_str(), 0, KEY_ALL_ACCESS, &hProbe);
    if (lProbe == ERROR_SUCCESS) RegCloseKey(hProbe);
    ASSERT_EQ(ERROR_ACCESS_DENIED, lProbe) << "the key's security is not enforced here";

    Clear();
    EXPECT_FALSE(RegDeleteKey(sTop.c_str(), true));
    EXPECT_EQ((Lines{"(lResult = RegOpenKeyEx( hRegKey, sSubkey.c_str(), 0, KEY_ALL_ACCESS, &hRegSubkey )) != "
                     "ERROR_SUCCESS",
                     "RegRecursiveDeleteKey( hRegSubkey, pszSubkeyName ) == false",
                     "RegRecursiveDeleteKey( hRegKey, sSubkey ) == false"}),
              Conditions());
    EXPECT_EQ(Lines(1, "RegDeleteKey (" + sTop + ") Failed, lResult = 0xffffffff"), Summary());
    EXPECT_FALSE(KeyExists(sTop + "\\D"));
    EXPECT_FALSE(KeyExists(sTop + "\\C"));
    EXPECT_TRUE(KeyExists(sTop + "\\A"));
    EXPECT_TRUE(KeyExists(sTop));

    // Let the scratch tree go again.
    SECURITY_DESCRIPTOR tOpen;
    InitializeSecurityDescriptor(&tOpen, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&tOpen, TRUE, NULL, FALSE);
    HKEY hTop = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, sTop.c_str(), 0, KEY_ALL_ACCESS, &hTop));
    HKEY hLocked = NULL;
    if (RegOpenKeyExA(hTop, "B", 0, WRITE_DAC, &hLocked) == ERROR_SUCCESS)
    {
        RegSetKeySecurity(hLocked, DACL_SECURITY_INFORMATION, &tOpen);
        RegCloseKey(hLocked);
    }
    RegCloseKey(hTop);
}

TEST_F(Registry, RecursiveDeleteFailures)
{
    Clear();
    const std::string sMissing = std::string(kKey) + "\\NotThere";
    EXPECT_FALSE(RegDeleteKey(sMissing.c_str(), true));
    EXPECT_EQ((Lines{"(lResult = RegOpenKeyEx( hRegKey, sSubkey.c_str(), 0, KEY_ALL_ACCESS, &hRegSubkey )) != "
                     "ERROR_SUCCESS",
                     "RegRecursiveDeleteKey( hRegKey, sSubkey ) == false"}),
              Conditions());
    EXPECT_EQ(Lines(1, "RegDeleteKey (" + sMissing + ") Failed, lResult = 0xffffffff"), Summary());

    Clear();
    EXPECT_FALSE(RegRecursiveDeleteKey(NULL, "x"));
    EXPECT_EQ(Lines(1, "hRegKey == 0"), Conditions());
    Clear();
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &hKey));
    EXPECT_FALSE(RegRecursiveDeleteKey(hKey, ""));
    EXPECT_EQ(Lines(1, "sSubkey.empty()"), Conditions());
    EXPECT_TRUE(Summary().empty());

    // A subkey of the open key, by name, and with a child of its own.
    Clear();
    ASSERT_TRUE(MakeKey(std::string(kKey) + "\\Direct\\Child"));
    EXPECT_TRUE(RegRecursiveDeleteKey(hKey, "Direct"));
    EXPECT_FALSE(KeyExists(std::string(kKey) + "\\Direct"));
    EXPECT_TRUE(m_log.Lines().empty());
    RegCloseKey(hKey);
}

namespace
{

LONG g_lFlushes = 0;

LONG WINAPI RefusedFlush(HKEY)
{
    InterlockedIncrement(&g_lFlushes);
    return ERROR_ACCESS_DENIED;
}

}  // namespace

// A value that was set is there for every reader even when the flush fails: the write counts
// as done, with no lines.
TEST_F(Registry, FailedFlushLeavesTheWriteDone)
{
    vxtest::ImportPatch flush(GetModuleHandleA(NULL), "advapi32.dll", "RegFlushKey",
                              reinterpret_cast<const void*>(&RefusedFlush));
    ASSERT_TRUE(flush.Applied());
    g_lFlushes = 0;
    Clear();
    EXPECT_TRUE(RegSetStringValue(kKey, "Flushed", "text", true));
    EXPECT_TRUE(RegSetDwordValue(kKey, "FlushedNumber", 7, true));
    EXPECT_EQ(2, g_lFlushes);
    EXPECT_TRUE(m_log.Lines().empty());
    EXPECT_EQ(std::string("text", 5), QueryRaw(kKey, "Flushed").sData);
    const DWORD dwSeven = 7;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&dwSeven), 4), QueryRaw(kKey, "FlushedNumber").sData);
}

// ---- The Glue's parameters from the registry --------------------------------------------

TEST_F(Registry, ParameterFallsBackToTheDriversGlueKey)
{
    const std::string sDriverKey = ToStd(g_sRegKeyGlue) + "\\Model 1234 Series";
    ASSERT_TRUE(vxtest::WriteRegistryValue(sDriverKey, "port", REG_SZ, "USB001", 7));
    ASSERT_TRUE(vxtest::WriteRegistryValue(sDriverKey, "product", REG_SZ, "", 1));
    ASSERT_TRUE(vxtest::WriteRegistryValue(sDriverKey, "path", REG_EXPAND_SZ, "%TEMP%", 7));
    Clear();

    CVxCiString s = "sentinel";
    EXPECT_TRUE(GetParameterValue("-printerdriver=Model 1234 Series", "Model 1234 Series", "port", &s));
    EXPECT_EQ("USB001", ToStd(s));
    EXPECT_TRUE(m_log.Lines().empty());

    EXPECT_TRUE(GetParameterValue("-port=LPT1:", "Model 1234 Series", "port", &s));  // the line wins
    EXPECT_EQ("LPT1:", ToStd(s));

    const struct
    {
        const char* pszDriver;
        const char* pszName;
        Lines conditions;
    } kFailures[] = {
        {"Model 1234 Series", "product", Lines{"sParameterValue.empty()"}},
        {"Model 1234 Series", "missing", Lines()},  // an absent value: no line, the summary is off
        {"Model 1234 Series", "path", Lines{"dwType != REG_SZ"}},
        {"Other Driver", "port", Lines{"lResult != ERROR_SUCCESS"}},
        {"", "port", Lines{"sDriverName.empty()"}},
    };
    for (size_t i = 0; i < sizeof(kFailures) / sizeof(kFailures[0]); ++i)
    {
        Clear();
        s = "sentinel";
        EXPECT_FALSE(GetParameterValue("-a=1", kFailures[i].pszDriver, kFailures[i].pszName, &s)) << i;
        EXPECT_EQ(CVxCiString("sentinel"), s) << i;
        EXPECT_EQ(kFailures[i].conditions, Conditions()) << i;
        EXPECT_TRUE(Summary().empty()) << i;
    }
}

// ---- Another process writes the real key --------------------------------------------------

TEST(RegistryMachineWide, RetryFindsAValueAnotherProcessWrites)
{
    char szKey[128];
    std::snprintf(szKey, sizeof(szKey), "SOFTWARE\\VxTests\\retry_%lu_%lu", GetCurrentProcessId(), GetTickCount());
    const std::string sKey = szKey;
    vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, sKey);
    vxtest::InstallLogCapture log;

    vxtest::ProcessResult tWriter;
    std::thread writer([&]() {
        Sleep(1000);
        tWriter = vxtest::RunProcess("reg.exe add \"HKLM\\" + sKey + "\" /v Ready /t REG_DWORD /d 7 /f",
                                     std::map<std::string, std::string>(), 20000);
    });
    DWORD dw = 0;
    const LARGE_INTEGER liStart = Now();
    const bool fRead = RegRetryGetDwordValue(sKey.c_str(), "Ready", &dw, 100, 4000);
    const double dElapsed = MillisecondsSince(liStart);
    writer.join();
    vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, sKey);

    ASSERT_TRUE(tWriter.fStarted && tWriter.fFinished);
    EXPECT_EQ(0u, tWriter.dwExitCode);
    EXPECT_TRUE(fRead);
    EXPECT_EQ(7u, dw);
    EXPECT_GE(dElapsed, 1000.0);  // not before the writer ran
    std::printf("read after %.0f ms\n", dElapsed);
    const Lines summary = Summaries(log);
    ASSERT_GE(summary.size(), 4u);  // 100 + 200 + 300 + 400 ms pass before the writer starts
    for (const std::string& sLine : summary)
        EXPECT_EQ("RegGetDwordValue (" + sKey + ", Ready) Failed, lResult = 2", sLine);
}

// A child that is a link to a key elsewhere: deleting the child deletes the link's target and
// leaves the link, so the key above it cannot go. The recursive delete says false, with its lines.
TEST(RegistryMachineWide, RecursiveDeleteOfAKeyThatStaysIsAFailure)
{
    char szBase[96];
    std::snprintf(szBase, sizeof(szBase), "SOFTWARE\\VxTests\\link_%lu_%lu", GetCurrentProcessId(), GetTickCount());
    const std::string sBase = szBase, sTop = sBase + "\\Top", sTarget = sBase + "\\Target";
    ASSERT_TRUE(MakeKey(sTarget));
    ASSERT_TRUE(MakeKey(sTop));
    HKEY hTop = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, sTop.c_str(), 0, KEY_ALL_ACCESS, &hTop));
    HKEY hLink = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(hTop, "Link", 0, NULL, REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                                             KEY_ALL_ACCESS | KEY_CREATE_LINK, NULL, &hLink, NULL));
    std::wstring sLinkTarget = L"\\Registry\\Machine\\";
    for (char c : sTarget) sLinkTarget += static_cast<wchar_t>(c);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hLink, L"SymbolicLinkValue", 0, REG_LINK,
                                            reinterpret_cast<const BYTE*>(sLinkTarget.c_str()),
                                            static_cast<DWORD>(sLinkTarget.size() * sizeof(wchar_t))));
    RegCloseKey(hLink);

    vxtest::InstallLogCapture log;
    EXPECT_FALSE(RegDeleteKey(sTop.c_str(), true));
    const bool fTopStays = KeyExists(sTop), fTargetGone = !KeyExists(sTarget);

    // The link itself goes only when opened as a link.
    typedef LONG(WINAPI * NtDeleteKeyFn)(HANDLE);
    const NtDeleteKeyFn pfnNtDeleteKey =
        reinterpret_cast<NtDeleteKeyFn>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey"));
    if (pfnNtDeleteKey && RegOpenKeyExA(hTop, "Link", REG_OPTION_OPEN_LINK, DELETE, &hLink) == ERROR_SUCCESS)
    {
        pfnNtDeleteKey(hLink);
        RegCloseKey(hLink);
    }
    RegCloseKey(hTop);
    vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, sBase);
    EXPECT_FALSE(KeyExists(sBase));

    EXPECT_TRUE(fTopStays);
    EXPECT_TRUE(fTargetGone);
    EXPECT_EQ((Lines{"lResult != ERROR_SUCCESS", "RegRecursiveDeleteKey( hRegKey, sSubkey ) == false"}), log.Conditions());
    EXPECT_EQ(Lines(1, "RegDeleteKey (" + sTop + ") Failed, lResult = 0xffffffff"), Summaries(log));
}
