#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/os_version.h"
#include "infrastructure/profile_reader.h"
#include "support/allocation_failure.h"
#include "support/hostile_text.h"
#include "support/prefix_drive.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

namespace
{

const char kSentinel = static_cast<char>(0xcc);
const DWORD kBig = 1 << 20;

// The cache's order of names: bytes compared after the C library's upper-case conversion.
bool CiLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) < std::toupper(static_cast<unsigned char>(y));
    });
}

bool Is9xRun()
{
    const std::string sRelease = vxtest::WineRelease();
    return sRelease == "win95" || sRelease == "win98" || sRelease == "winme";
}

FILETIME TimeFromSeconds(ULONGLONG ullSeconds)
{
    // Seconds after 2001-01-01, well after any time a scratch file is created with.
    const ULONGLONG ull = (12622780800ULL + ullSeconds) * 10000000ULL;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ull);
    ft.dwHighDateTime = static_cast<DWORD>(ull >> 32);
    return ft;
}

// Writes the bytes (truncating, or in place over the same size) and sets the last-write time.
bool WriteWithTime(const std::string& sPath, const std::string& sBytes, const FILETIME* pftWrite,
                   bool fInPlace = false)
{
    HANDLE h = CreateFileA(sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           fInPlace ? OPEN_ALWAYS : CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD dwWritten = 0;
    bool fOk = sBytes.empty() || (WriteFile(h, sBytes.data(), static_cast<DWORD>(sBytes.size()), &dwWritten, NULL) &&
                                  dwWritten == sBytes.size());
    if (fOk && pftWrite) fOk = SetFileTime(h, NULL, NULL, pftWrite) != FALSE;
    CloseHandle(h);
    return fOk;
}

bool Write(const std::string& sPath, const std::string& sBytes) { return WriteWithTime(sPath, sBytes, NULL); }

// Comment lines after the content until the file is at least cbSize bytes.
std::string Padded(std::string sContent, size_t cbSize)
{
    if (!sContent.empty() && sContent[sContent.size() - 1] != '\n') sContent += "\n";
    const std::string sPad = ";" + std::string(98, '-') + "\n";
    while (sContent.size() < cbSize) sContent += sPad;
    return sContent;
}

std::string Read(const std::string& sFile, const char* pszSection, const char* pszKey, const char* pszDefault = "dflt")
{
    std::vector<char> buffer(4096, kSentinel);
    const DWORD cch = ReadProfileString(pszSection, pszKey, pszDefault, buffer.data(), 4000, sFile.c_str());
    return std::string(buffer.data(), cch);
}

// The strings of a NUL-separated list of cch bytes.
std::vector<std::string> SplitList(const char* p, DWORD cch)
{
    std::vector<std::string> items;
    DWORD i = 0;
    while (i < cch)
    {
        const size_t cchItem = std::strlen(p + i);
        items.push_back(std::string(p + i, cchItem));
        i += static_cast<DWORD>(cchItem) + 1;
    }
    return items;
}

std::string Serialize(const std::vector<std::string>& items)
{
    std::string s;
    for (const std::string& sItem : items) s += sItem + '\0';
    return s;
}

std::vector<std::string> ReadList(const std::string& sFile, const char* pszSection, const char* pszKeyOrListKeys,
                                  bool fSection = false)
{
    // One unfilled buffer per thread: the fuzz test reads lists tens of thousands of times.
    const DWORD kSize = 256 * 1024;
    thread_local std::unique_ptr<char[]> buffer(new char[kSize]);
    buffer[0] = '\0';
    const DWORD cch = fSection ? ReadProfileSection(pszSection, buffer.get(), kSize, sFile.c_str())
                               : ReadProfileString(pszSection, pszKeyOrListKeys, "", buffer.get(), kSize, sFile.c_str());
    EXPECT_LT(cch, kSize - 2) << "list cut: the test's buffer is too small";
    return SplitList(buffer.get(), cch);
}

std::vector<std::string> SectionNames(const std::string& sFile) { return ReadList(sFile, NULL, NULL); }
std::vector<std::string> KeyNames(const std::string& sFile, const char* pszSection)
{
    return ReadList(sFile, pszSection, NULL);
}
std::vector<std::string> SectionLines(const std::string& sFile, const char* pszSection)
{
    return ReadList(sFile, pszSection, NULL, true);
}

// The list format of a read into nSize bytes of a buffer of nSize + 16 (sentinel-filled),
// against the full list: a list that fits comes whole with its final NUL; one that does not
// gives nSize - 2 (0 for a 1-byte buffer) with the last two bytes NUL; never a byte past nSize.
void ExpectListFormat(const std::vector<char>& buffer, DWORD nSize, DWORD cch, const std::vector<std::string>& full,
                      const std::string& sWhere)
{
    for (size_t i = nSize; i < buffer.size(); ++i)
    {
        ASSERT_EQ(kSentinel, buffer[i]) << sWhere << ": byte " << i << " past nSize " << nSize;
    }
    const std::string sFull = Serialize(full);
    if (full.empty())
    {
        EXPECT_EQ(0u, cch) << sWhere;
        return;
    }
    if (sFull.size() + 1 <= nSize)
    {
        ASSERT_EQ(sFull.size(), cch) << sWhere;
        EXPECT_EQ(0, std::memcmp(buffer.data(), sFull.data(), cch)) << sWhere;
        EXPECT_EQ('\0', buffer[cch]) << sWhere;
        return;
    }
    ASSERT_EQ(nSize >= 2 ? nSize - 2 : 0u, cch) << sWhere << " size " << nSize;
    EXPECT_EQ('\0', buffer[nSize - 1]) << sWhere;
    if (nSize >= 2)
    {
        EXPECT_EQ('\0', buffer[nSize - 2]) << sWhere;
    }
    EXPECT_EQ(0, std::memcmp(buffer.data(), sFull.data(), cch)) << sWhere;
}

struct SyntaxCase
{
    const char* pszContent;
    const char* pszSection;
    const char* pszKey;
    const char* pszExpected;  // null: the default
};

const SyntaxCase kSyntaxCases[] = {
    {"[s]\nk=v\n", "s", "k", "v"},
    {"  [ s ]  \n  k  =  v w  \n", "s", "k", "v w"},
    {"[s]\nk=\"  quoted  \"\n", "s", "k", "  quoted  "},
    {"[s]\nk= \" a \" \n", "s", "k", " a "},
    {"[s]\nk=\"\n", "s", "k", ""},
    {"[s]\nk=\"a\" b\"\n", "s", "k", "a\" b"},
    {"[s]\nk=\"a\n", "s", "k", "\"a"},
    {"[s]\nk=a=b=c\n", "s", "k", "a=b=c"},
    {"[s]\nk=v ; note\n", "s", "k", "v ; note"},
    {"[s]\n;k=v\n", "s", "k", NULL},
    {"[s]\n  ;k=v\n", "s", "k", NULL},
    {"[s]\n#k=v\n", "s", "#k", "v"},
    {"k=v\n[s]\n", "s", "k", NULL},
    {"[s]\nk\n", "s", "k", NULL},
    {"[s]\nk=\n", "s", "k", ""},
    {"[s]\nk   =   \n", "s", "k", ""},
    {"[S]\na=1\n[ s ]\nb=2\n", "s", "a", "1"},
    {"[S]\na=1\n[ s ]\nb=2\n", "s", "b", "2"},
    {"[s]\n[]\nk=v\n", "s", "k", NULL},
    {"[s]\n[   ]\nk=v\n[t]\nm=1", "t", "m", "1"},
    {"[s] trailing text\nk=v\n", "s", "k", "v"},
    {"[s]x]\nk=v\n", "s", "k", "v"},
    {"[s\nk=v\n", "s", "k", NULL},
    {"[a]\n[s\nk=v\n", "a", "k", "v"},
    {"[a]\n[s=1\n", "a", "[s", "1"},
    {"\r\r\n\n[s]\r\nk=v\r\n", "s", "k", "v"},
    {"[s]\rk=v\r", "s", "k", NULL},  // a lone CR ends the line's text: the rest is lost
    {"[s]\nk=1\nk=2\n", "s", "k", "2"},
    {"[s]\nK=v\n", "s", "k", "v"},
    {"[s]\n=v\n", "s", "", NULL},  // no key: the line is ignored
    {"[s]\n\tk\t=\tv\t\n", "s", "k", "v"},
    {"[s]\nk=\v\fv\f\v\n", "s", "k", "v"},
    {"[s]\nk=v\n\x1a\nm=w\n", "s", "m", NULL},  // text mode: Ctrl-Z ends the file
    {"[s]\nk=v\n\x1a\nm=w\n", "s", "k", "v"},
};

}  // namespace

TEST(ProfileSyntax, Table)
{
    vxtest::ScratchDir dir("prsyn");
    for (size_t i = 0; i < sizeof(kSyntaxCases) / sizeof(kSyntaxCases[0]); ++i)
    {
        const SyntaxCase& c = kSyntaxCases[i];
        const std::string sFile = dir.File("case" + std::to_string(i) + ".ini");
        ASSERT_TRUE(Write(sFile, c.pszContent)) << i;
        EXPECT_EQ(std::string(c.pszExpected ? c.pszExpected : "dflt"), Read(sFile, c.pszSection, c.pszKey)) << i;
    }
}

TEST(ProfileSyntax, PhysicalLinesAreReadIn999ByteLines)
{
    vxtest::ScratchDir dir("prlong");
    const std::string sFile = dir.File("long.ini");
    // 1500 bytes: "a=" and 997 x (999 bytes), then "b=" and 499 y (501 bytes).
    const std::string sLine = "a=" + std::string(997, 'x') + "b=" + std::string(499, 'y');
    ASSERT_EQ(1500u, sLine.size());
    ASSERT_TRUE(Write(sFile, "[s]\n" + sLine + "\n[t]\nc=" + std::string(997, 'z') + "\nd=" + std::string(998, 'w') +
                                 "\ne=1\n"));
    EXPECT_EQ(std::string(997, 'x'), Read(sFile, "s", "a"));
    EXPECT_EQ(std::string(499, 'y'), Read(sFile, "s", "b"));
    EXPECT_EQ(std::string(997, 'z'), Read(sFile, "t", "c"));  // 999 bytes: the LF comes alone next
    EXPECT_EQ(std::string(997, 'w'), Read(sFile, "t", "d"));  // 1000 bytes: the last w has no '='
    EXPECT_EQ("1", Read(sFile, "t", "e"));
}

TEST(ProfileSyntax, SectionNamesKeep249Bytes)
{
    vxtest::ScratchDir dir("prname");
    const std::string sFile = dir.File("name.ini");
    const std::string sName(300, 'n');
    ASSERT_TRUE(Write(sFile, "[" + sName + "]\nk=v\n"));
    EXPECT_EQ("v", Read(sFile, sName.substr(0, 249).c_str(), "k"));
    EXPECT_EQ("dflt", Read(sFile, sName.c_str(), "k"));
    EXPECT_EQ(std::vector<std::string>(1, sName.substr(0, 249)), SectionNames(sFile));
}

TEST(ProfileLists, SectionNamesAreSortedIgnoringCase)
{
    vxtest::ScratchDir dir("prlist");
    const std::string sFile = dir.File("sorted.ini");
    ASSERT_TRUE(Write(sFile, "[b]\n[C]\n[a]\n[B]\nk=1\n"));
    std::vector<char> buffer(64, kSentinel);
    EXPECT_EQ(6u, ReadProfileString(NULL, NULL, "", buffer.data(), 60, sFile.c_str()));
    EXPECT_EQ(0, std::memcmp(buffer.data(), "a\0b\0C\0\0", 7));
    EXPECT_EQ(kSentinel, buffer[7]);
}

TEST(ProfileLists, RepeatedKeyIsListedEachTimeWithItsLastValue)
{
    vxtest::ScratchDir dir("prlist");
    const std::string sFile = dir.File("repeat.ini");
    ASSERT_TRUE(Write(sFile, "[s]\nk=1\nj=x\nk=2\n"));
    EXPECT_EQ("2", Read(sFile, "s", "k"));
    const char* kKeys[] = {"k", "j", "k"};
    EXPECT_EQ(std::vector<std::string>(kKeys, kKeys + 3), KeyNames(sFile, "s"));
    const char* kLines[] = {"k=2", "j=x", "k=2"};
    EXPECT_EQ(std::vector<std::string>(kLines, kLines + 3), SectionLines(sFile, "s"));
}

TEST(ProfileLists, ListTooLongForTheBufferIsCut)
{
    vxtest::ScratchDir dir("prcut");
    const std::string sFile = dir.File("cut.ini");
    // Key list "aaaaaa\0bbbbbb\0cccccc\0ddddddd\0\0": 30 bytes.
    ASSERT_TRUE(Write(sFile, "[s]\naaaaaa=1\nbbbbbb=2\ncccccc=3\nddddddd=4\n"));
    std::vector<char> buffer(36, kSentinel);
    EXPECT_EQ(18u, ReadProfileString("s", NULL, "", buffer.data(), 20, sFile.c_str()));
    EXPECT_EQ(0, std::memcmp(buffer.data(), "aaaaaa\0bbbbbb\0cccc\0\0", 20));
    EXPECT_EQ(kSentinel, buffer[20]);

    // Section lines "aaaaaa=1\0bbbbbb=2\0..." cut the same way.
    std::fill(buffer.begin(), buffer.end(), kSentinel);
    EXPECT_EQ(18u, ReadProfileSection("s", buffer.data(), 20, sFile.c_str()));
    EXPECT_EQ(0, std::memcmp(buffer.data(), "aaaaaa=1\0bbbbbb=2\0\0", 20));
    EXPECT_EQ(kSentinel, buffer[20]);

    // Exactly enough room: the whole list with its final NUL.
    std::fill(buffer.begin(), buffer.end(), kSentinel);
    EXPECT_EQ(29u, ReadProfileString("s", NULL, "", buffer.data(), 30, sFile.c_str()));
    EXPECT_EQ('\0', buffer[29]);
    EXPECT_EQ(kSentinel, buffer[30]);
    // One byte less: cut.
    std::fill(buffer.begin(), buffer.end(), kSentinel);
    EXPECT_EQ(27u, ReadProfileString("s", NULL, "", buffer.data(), 29, sFile.c_str()));
    EXPECT_EQ(kSentinel, buffer[29]);
}

TEST(ProfileLists, BuffersOfOneAndTwoBytes)
{
    vxtest::ScratchDir dir("prtiny");
    const std::string sFile = dir.File("tiny.ini");
    ASSERT_TRUE(Write(sFile, "[s]\nkey=value\n[t]\n"));
    struct TinyCase
    {
        const char* pszSection;
        const char* pszKey;
        bool fSectionRead;
        DWORD nSize;
        DWORD cchExpected;
        const char* pszExpected;  // the nSize bytes expected
    };
    const TinyCase kCases[] = {
        {"s", "key", false, 1, 0, ""},        {"s", "key", false, 2, 1, "v"},
        {NULL, NULL, false, 1, 0, ""},        {NULL, NULL, false, 2, 0, "\0"},
        {"s", NULL, false, 1, 0, ""},         {"s", NULL, false, 2, 0, "\0"},
        {"s", NULL, true, 2, 0, "\0"},        {"s", "none", false, 1, 0, ""},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const TinyCase& c = kCases[i];
        std::vector<char> buffer(8, kSentinel);
        const DWORD cch = c.fSectionRead ? ReadProfileSection(c.pszSection, buffer.data(), c.nSize, sFile.c_str())
                                         : ReadProfileString(c.pszSection, c.pszKey, "", buffer.data(), c.nSize,
                                                             sFile.c_str());
        EXPECT_EQ(c.cchExpected, cch) << i;
        EXPECT_EQ(0, std::memcmp(buffer.data(), c.pszExpected, c.nSize)) << i;
        for (size_t j = c.nSize; j < buffer.size(); ++j) EXPECT_EQ(kSentinel, buffer[j]) << i << " byte " << j;
    }
}

TEST(ProfileLists, ValueLongerThanTheBufferIsCut)
{
    vxtest::ScratchDir dir("prval");
    const std::string sFile = dir.File("val.ini");
    ASSERT_TRUE(Write(sFile, "[s]\nk=0123456789\n"));
    std::vector<char> buffer(16, kSentinel);
    EXPECT_EQ(4u, ReadProfileString("s", "k", "", buffer.data(), 5, sFile.c_str()));
    EXPECT_EQ(0, std::memcmp(buffer.data(), "0123\0", 5));
    EXPECT_EQ(kSentinel, buffer[5]);
}

TEST(ProfileLists, EmptyListsLeaveTheDefault)
{
    vxtest::ScratchDir dir("prempty");
    const std::string sNoSections = dir.File("nosections.ini");
    const std::string sNoKeys = dir.File("nokeys.ini");
    ASSERT_TRUE(Write(sNoSections, "k=v\n; nothing\n"));
    ASSERT_TRUE(Write(sNoKeys, "[s]\n[t]\nk=v\n"));
    std::vector<char> buffer(16, kSentinel);
    EXPECT_EQ(0u, ReadProfileString(NULL, NULL, "dd", buffer.data(), 10, sNoSections.c_str()));
    EXPECT_STREQ("dd", buffer.data());
    EXPECT_EQ(0u, ReadProfileString("s", NULL, "dd", buffer.data(), 10, sNoKeys.c_str()));
    EXPECT_STREQ("dd", buffer.data());
    std::fill(buffer.begin(), buffer.end(), kSentinel);
    EXPECT_EQ(0u, ReadProfileSection("s", buffer.data(), 10, sNoKeys.c_str()));
    EXPECT_EQ(kSentinel, buffer[0]);  // nothing written
    EXPECT_EQ(2u, ReadProfileString("none", NULL, "dd", buffer.data(), 10, sNoKeys.c_str()));
}

TEST(ProfileArguments, DefaultLosesTrailingBlanks)
{
    vxtest::ScratchDir dir("prdef");
    const std::string sFile = dir.File("def.ini");
    ASSERT_TRUE(Write(sFile, "[s]\nk=v\n"));
    vxtest::TraceCapture trace;
    std::vector<char> buffer(16, kSentinel);
    EXPECT_EQ(4u, ReadProfileString("s", "none", "dflt   ", buffer.data(), 10, sFile.c_str()));
    EXPECT_STREQ("dflt", buffer.data());
    EXPECT_EQ(1u, trace.Count(TRACE_GENERAL, "GetPrivateProfileStringA() built the default value: \"dflt\""));
    // Only blanks go: a tab stays.
    EXPECT_EQ(5u, ReadProfileString("s", "none", "dflt\t ", buffer.data(), 10, sFile.c_str()));
}

TEST(ProfileArguments, ErrorsReturnZeroAndWriteNothing)
{
    vxtest::ScratchDir dir("prarg");
    const std::string sFile = dir.File("arg.ini");
    ASSERT_TRUE(Write(sFile, "[s]\nk=v\n"));
    char buffer[16];
    struct ArgCase
    {
        const char* pszDefault;
        char* pszBuffer;
        DWORD nSize;
        const char* pszFile;
        const char* pszTrace;
    };
    const ArgCase kCases[] = {
        {NULL, buffer, 10, sFile.c_str(), "GetPrivateProfileStringA(,,lpDefault==NULL,,,) failed"},
        {"", NULL, 10, sFile.c_str(), "GetPrivateProfileStringA(,,,lpReturnedString==NULL,,) failed"},
        {"", buffer, 0, sFile.c_str(), "GetPrivateProfileStringA(,,,,nSize==0,) failed"},
        {"", buffer, 10, NULL, "GetPrivateProfileStringA(,,,,,pFileName==NULL) failed"},
        {"0123", buffer, 4, sFile.c_str(), "GetPrivateProfileStringA() checking strlen(lpDefault) < nSize failed"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const ArgCase& c = kCases[i];
        vxtest::TraceCapture trace;
        std::memset(buffer, kSentinel, sizeof(buffer));
        EXPECT_EQ(0u, ReadProfileString("s", "k", c.pszDefault, c.pszBuffer, c.nSize, c.pszFile)) << i;
        EXPECT_EQ(kSentinel, buffer[0]) << i;
        EXPECT_EQ(1u, trace.Count(TRACE_FAILURE, c.pszTrace)) << i;
    }

    const struct
    {
        const char* pszSection;
        char* pszBuffer;
        DWORD nSize;
        const char* pszFile;
        const char* pszTrace;
    } kSectionCases[] = {
        {"s", NULL, 10, sFile.c_str(), "GetPrivateProfileSection(,,,lpReturnedString==NULL,,) failed"},
        {"s", buffer, 0, sFile.c_str(), "GetPrivateProfileSection(,,,,nSize==0,) failed"},
        {"s", buffer, 10, NULL, "GetPrivateProfileSection(,,,,,pFileName==NULL) failed"},
        {NULL, buffer, 10, sFile.c_str(), "GetPrivateProfileSection(,,,,,lpAppName==NULL) failed"},
        {"s", buffer, 1, sFile.c_str(), "GetPrivateProfileSection() checking size of default < nSize failed"},
    };
    for (size_t i = 0; i < sizeof(kSectionCases) / sizeof(kSectionCases[0]); ++i)
    {
        vxtest::TraceCapture trace;
        std::memset(buffer, kSentinel, sizeof(buffer));
        EXPECT_EQ(0u, ReadProfileSection(kSectionCases[i].pszSection, kSectionCases[i].pszBuffer,
                                         kSectionCases[i].nSize, kSectionCases[i].pszFile))
            << i;
        EXPECT_EQ(kSentinel, buffer[0]) << i;
        EXPECT_EQ(1u, trace.Count(kSectionCases[i].pszTrace)) << i;
    }
}

TEST(ProfileArguments, MissingFileGivesTheDefaultOrTheHeldString)
{
    vxtest::ScratchDir dir("prmiss");
    const std::string sFile = dir.File("missing.ini");
    vxtest::TraceCapture trace;
    EXPECT_EQ("dflt", Read(sFile, "s", "k"));
    EXPECT_EQ(1u, trace.Count(TRACE_FAILURE, "CreateFile(" + sFile + ") fails with 2"));
    EXPECT_FALSE(GetProfileCacheEntryInfo(sFile.c_str(), NULL));
    ProfileCacheEntryInfo info;
    EXPECT_FALSE(GetProfileCacheEntryInfo(sFile.c_str(), &info));  // no entry for a name never opened

    char buffer[8] = "abc";
    EXPECT_EQ(3u, ReadProfileSection("s", buffer, sizeof(buffer), sFile.c_str()));
    EXPECT_STREQ("abc", buffer);
    // A buffer holding no string within nSize is not read past its end.
    std::memset(buffer, kSentinel, sizeof(buffer));
    EXPECT_EQ(0u, ReadProfileSection("s", buffer, 4, sFile.c_str()));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(kSentinel, buffer[4]);

    // The next read tries again: a file that appears is read.
    ASSERT_TRUE(Write(sFile, "[s]\nk=now\n"));
    EXPECT_EQ("now", Read(sFile, "s", "k"));
}

TEST(ProfileArguments, TrimSpaces)
{
    const struct
    {
        const char* pszIn;
        const char* pszOut;
    } kCases[] = {
        {"", ""}, {"   ", ""}, {" \t\r\n\v\fa b\t\r\n\v\f ", "a b"}, {"a", "a"}, {"a  ", "a"}, {"  a", "a"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        char buffer[32];
        std::memset(buffer, kSentinel, sizeof(buffer));
        lstrcpynA(buffer, kCases[i].pszIn, sizeof(buffer));
        const size_t cchIn = std::strlen(buffer);
        char* psz = TrimSpaces(buffer);
        EXPECT_STREQ(kCases[i].pszOut, psz) << i;
        EXPECT_GE(psz, buffer) << i;
        for (size_t j = (psz - buffer) + std::strlen(psz); j < cchIn; ++j) EXPECT_EQ('\0', buffer[j]) << i;
        EXPECT_EQ(kSentinel, buffer[cchIn + 1]) << i;
    }
    EXPECT_EQ(NULL, TrimSpaces(NULL));
}

TEST(ProfileFreshness, RewritesAreSeenByTimeOrSize)
{
    vxtest::ScratchDir dir("prfresh");
    const std::string sFile = dir.File("fresh.ini");
    // Large enough that Windows 9x reads it through the cache too.
    const size_t cbPad = PROFILE_NATIVE_SIZE_LIMIT + 100;
    const FILETIME ft1 = TimeFromSeconds(1000);
    const FILETIME ft2 = TimeFromSeconds(2000);
    ASSERT_TRUE(WriteWithTime(sFile, Padded("[s]\nk=one\n", cbPad), &ft1));
    EXPECT_EQ("one", Read(sFile, "s", "k"));

    ASSERT_TRUE(WriteWithTime(sFile, Padded("[s]\nk=two\n", cbPad), &ft2));  // same size, newer
    EXPECT_EQ("two", Read(sFile, "s", "k"));

    ASSERT_TRUE(WriteWithTime(sFile, Padded("[s]\nk=six\n", cbPad), &ft1));  // same size, older
    EXPECT_EQ("two", Read(sFile, "s", "k"));

    ASSERT_TRUE(WriteWithTime(sFile, Padded("[s]\nk=three\n", cbPad) + "\n", &ft1));  // other size, older
    EXPECT_EQ("three", Read(sFile, "s", "k"));

    ProfileCacheEntryInfo info;
    ASSERT_TRUE(GetProfileCacheEntryInfo(sFile.c_str(), &info));
    EXPECT_EQ(Padded("[s]\nk=three\n", cbPad).size() + 1, info.dwSize);
    EXPECT_EQ(0, CompareFileTime(&ft1, &info.ftLastWrite));
    EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), info.uDriveType);
    EXPECT_EQ(1u, info.cSections);
}

// A parse that runs out of memory answers empty and leaves the file for the next call to read
// again, rather than a cleared cache that is then taken for the new content.
TEST(ProfileFreshness, ParseOutOfMemoryIsTriedAgain)
{
    vxtest::ScratchDir dir("proom");
    const std::string sFile = dir.File("oom.ini");
    const size_t cbPad = PROFILE_NATIVE_SIZE_LIMIT + 100;  // read through the cache on Windows 9x too
    bool fFired = true;
    for (long n = 1; fFired && n < 200; ++n)
    {
        // Each round another size, so that the armed read parses.
        const std::string sValue = "v" + std::to_string(n);
        ASSERT_TRUE(Write(sFile, Padded("[s]\nk=" + sValue + "\n", cbPad) + std::string(static_cast<size_t>(n), '\n')));
        char szDuring[32] = "";
        vxtest::ArmAllocationFailure(n);
        ReadProfileString("s", "k", "dflt", szDuring, sizeof(szDuring), sFile.c_str());
        fFired = vxtest::DisarmAllocationFailure();
        if (!fFired)
        {
            EXPECT_EQ(sValue, szDuring);
        }
        EXPECT_EQ(sValue, Read(sFile, "s", "k")) << "allocation " << n;
    }
    EXPECT_FALSE(fFired) << "every allocation of a read was made to fail";
}

TEST(ProfilePlatform, KeepOpenFlagFollowsTheFamily)
{
    EXPECT_EQ(Is9xRun(), Is9X() != 0);
    EXPECT_EQ(!Is9xRun(), ProfileKeepsFilesOpen());
    vxtest::ScratchDir dir("prkeep");
    const std::string sFile = dir.File("keep.ini");
    ASSERT_TRUE(Write(sFile, "[s]\nk=v\n"));
    EXPECT_EQ("v", Read(sFile, "s", "k"));
    ProfileCacheEntryInfo info;
    ASSERT_TRUE(GetProfileCacheEntryInfo(sFile.c_str(), &info));
    EXPECT_EQ(!Is9xRun(), info.fHandleHeld);
    // Kept or not, the handle does not stop others from replacing or deleting the file.
    ASSERT_TRUE(Write(sFile, "[s]\nk=w2\n"));
    EXPECT_EQ("w2", Read(sFile, "s", "k"));
}

TEST(ProfilePlatform, SmallFilesGoToTheSystemOnWindows9x)
{
    vxtest::ScratchDir dir("prnat");
    // A 1500-byte line: the cache reads it as 999 + 501 bytes, the system's function whole.
    const std::string sContent = "[s]\na=" + std::string(1498, 'x') + "\n";
    const std::string sSmall = dir.File("small.ini");
    const std::string sLarge = dir.File("large.ini");
    ASSERT_TRUE(Write(sSmall, Padded(sContent, 10000)));
    ASSERT_TRUE(Write(sLarge, Padded(sContent, PROFILE_NATIVE_SIZE_LIMIT)));
    vxtest::TraceCapture trace;
    EXPECT_EQ(Is9xRun() ? 1498u : 997u, Read(sSmall, "s", "a").size());
    EXPECT_EQ(Is9xRun() ? 1u : 0u, trace.Count(TRACE_DETAIL, "GetPrivateProfileString redirected to native"));
    trace.Clear();
    EXPECT_EQ(997u, Read(sLarge, "s", "a").size());
    EXPECT_EQ(0u, trace.Count("redirected to native"));

    trace.Clear();
    std::vector<char> buffer(4096, kSentinel);
    EXPECT_EQ(Is9xRun() ? 1501u : 1000u, ReadProfileSection("s", buffer.data(), 4000, sSmall.c_str()));
    EXPECT_EQ(Is9xRun() ? 1u : 0u, trace.Count("GetPrivateProfileSection() redirected to native"));
}

TEST(ProfilePlatform, BareNameIsTheCurrentDirectorysFileOnEveryFamily)
{
    vxtest::ScratchDir dir("prbare");
    char szOld[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(sizeof(szOld), szOld));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.Path().c_str()));
    const std::string sName = "vxbare" + std::to_string(GetCurrentProcessId()) + ".ini";
    const bool fWritten = Write(dir.File(sName), "[s]\nk=here\n");
    const std::string sValue = Read(sName, "s", "k");
    SetCurrentDirectoryA(szOld);
    ASSERT_TRUE(fWritten);
    EXPECT_EQ("here", sValue);
}

TEST(ProfilePlatform, WindowsDirectoryFilesAreNotCheckedAgainOutside9x)
{
    char szWindows[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryA(szWindows, sizeof(szWindows)));
    const std::string sFile = std::string(szWindows) + "\\vxprwin" + std::to_string(GetCurrentProcessId()) + "_" +
                              vxtest::WineRelease() + ".ini";
    const size_t cbPad = PROFILE_NATIVE_SIZE_LIMIT + 100;
    const FILETIME ft1 = TimeFromSeconds(1000);
    const FILETIME ft2 = TimeFromSeconds(2000);
    ASSERT_TRUE(WriteWithTime(sFile, Padded("[s]\nk=one\n", cbPad), &ft1));
    const std::string sFirst = Read(sFile, "s", "k");
    const bool fRewritten = WriteWithTime(sFile, Padded("[s]\nk=two\n", cbPad), &ft2);
    const std::string sSecond = Read(sFile, "s", "k");
    DeleteFileA(sFile.c_str());
    ASSERT_TRUE(fRewritten);
    EXPECT_EQ("one", sFirst);
    EXPECT_EQ(Is9xRun() ? "two" : "one", sSecond);
}

// A file on a CD-ROM drive is not checked again after its first parse, and its handle stays
// once it has been opened for a later read, on Windows 9x too: after that nothing opens it again,
// so a read after the disc has gone still answers without a failure line. (On Windows 9x the
// first read closes its handle with the check, as for every file there.) Defines a drive.
TEST(ProfileCdRom, HandleIsKeptAndTheDiscMayGo)
{
    // Process ids count per Wine prefix, so another build tree's run may hold the same one: a
    // folder already there is passed over.
    std::string sUnixFolder, sFolder;
    for (unsigned n = 0; n < 1000 && sFolder.empty(); ++n)
    {
        sUnixFolder = "/tmp/vxprcd" + std::to_string(GetCurrentProcessId()) + vxtest::WineRelease() + "_" +
                      std::to_string(n);
        std::string sCandidate = "Z:" + sUnixFolder;
        std::replace(sCandidate.begin(), sCandidate.end(), '/', '\\');
        if (CreateDirectoryA(sCandidate.c_str(), NULL)) sFolder = sCandidate;
    }
    ASSERT_FALSE(sFolder.empty());
    // Large enough that Windows 9x reads it through the cache too.
    const bool fWritten = Write(sFolder + "\\disc.ini", Padded("[s]\nk=v\n", PROFILE_NATIVE_SIZE_LIMIT + 100));
    {
        vxtest::PrefixDrive drive(DRIVE_CDROM, sUnixFolder);
        ASSERT_TRUE(fWritten);
        ASSERT_NE(0, drive.Letter()) << "no CD-ROM drive could be defined";
        ASSERT_EQ(static_cast<UINT>(DRIVE_CDROM), GetDriveTypeA(drive.Root().c_str()));
        const std::string sFile = drive.Root() + "disc.ini";
        EXPECT_EQ("v", Read(sFile, "s", "k"));
        ProfileCacheEntryInfo info;
        ASSERT_TRUE(GetProfileCacheEntryInfo(sFile.c_str(), &info));
        EXPECT_EQ(static_cast<UINT>(DRIVE_CDROM), info.uDriveType);
        EXPECT_EQ(!Is9xRun(), info.fHandleHeld);
        EXPECT_EQ("v", Read(sFile, "s", "k"));
        ASSERT_TRUE(GetProfileCacheEntryInfo(sFile.c_str(), &info));
        EXPECT_TRUE(info.fHandleHeld);

        ASSERT_TRUE(drive.Remove());
        ASSERT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), GetDriveTypeA(drive.Root().c_str()));
        vxtest::TraceCapture trace;
        EXPECT_EQ("v", Read(sFile, "s", "k"));
        EXPECT_EQ(0u, trace.Count("CreateFile(")) << "the file was opened again";
    }
    DeleteFileA((sFolder + "\\disc.ini").c_str());
    RemoveDirectoryA(sFolder.c_str());
}

// Hostile files: nothing may crash, overrun or hang, and what can be said is checked.
TEST(ProfileHostile, LinesOfAnyLength)
{
    vxtest::ScratchDir dir("prhost");
    const std::string sFile = dir.File("lines.ini");
    std::string sContent = "[s]\nk=" + std::string(kBig, 'x') + "\n";
    for (size_t cch = 995; cch <= 1005; ++cch) sContent += "l" + std::to_string(cch) + "=" + std::string(cch, 'y') + "\n";
    sContent += std::string(3 * kBig, ' ') + "\nz=1\n" + std::string(kBig, '[') + "\nq=2\n";
    ASSERT_TRUE(Write(sFile, sContent));
    EXPECT_EQ(std::string(997, 'x'), Read(sFile, "s", "k"));
    EXPECT_EQ("1", Read(sFile, "s", "z"));
    EXPECT_EQ("2", Read(sFile, "s", "q"));
    for (size_t cch = 995; cch <= 1005; ++cch)
    {
        // Of "l<cch>=" and cch bytes only the first 999 bytes form the key line.
        const std::string sKey = "l" + std::to_string(cch);
        EXPECT_EQ(std::min(cch, 999 - sKey.size() - 1), Read(sFile, "s", sKey.c_str()).size()) << cch;
    }
    for (const std::string& sLine : SectionLines(sFile, "s")) EXPECT_LE(sLine.size(), 999u) << sLine.substr(0, 20);
}

TEST(ProfileHostile, NulBytesOnly)
{
    vxtest::ScratchDir dir("prhost");
    const std::string sFile = dir.File("zeros.ini");
    ASSERT_TRUE(Write(sFile, std::string(kBig, '\0')));
    EXPECT_EQ("dflt", Read(sFile, "s", "k"));
    char buffer[16];
    EXPECT_EQ(0u, ReadProfileString(NULL, NULL, "dflt", buffer, sizeof(buffer), sFile.c_str()));
    EXPECT_STREQ("dflt", buffer);
    ProfileCacheEntryInfo info;
    ASSERT_TRUE(GetProfileCacheEntryInfo(sFile.c_str(), &info));
    EXPECT_EQ(kBig, info.dwSize);
    EXPECT_EQ(0u, info.cSections);

    // A NUL ends a line's text; the next line is read as usual.
    const std::string sEmbedded = dir.File("embedded.ini");
    const char kEmbedded[] = "[s]\nk=v\0w=1\nm=x\n";
    ASSERT_TRUE(Write(sEmbedded, std::string(kEmbedded, sizeof(kEmbedded) - 1)));
    EXPECT_EQ("v", Read(sEmbedded, "s", "k"));
    EXPECT_EQ("dflt", Read(sEmbedded, "s", "w"));
    EXPECT_EQ("x", Read(sEmbedded, "s", "m"));
}

TEST(ProfileHostile, BinaryData)
{
    vxtest::ScratchDir dir("prhost");
    std::mt19937 random(12345);
    for (int nFile = 0; nFile < 4; ++nFile)
    {
        const std::string sFile = dir.File("bin" + std::to_string(nFile) + ".ini");
        std::string sContent(kBig / 4, '\0');
        for (char& c : sContent) c = static_cast<char>(random() & 0xFF);
        if (nFile % 2) sContent.erase(std::remove(sContent.begin(), sContent.end(), '\x1a'), sContent.end());
        ASSERT_TRUE(Write(sFile, sContent));
        const std::vector<std::string> sections = SectionNames(sFile);
        for (size_t i = 0; i < sections.size(); ++i)
        {
            EXPECT_FALSE(sections[i].empty()) << nFile;
            EXPECT_LE(sections[i].size(), 249u) << nFile;
            if (i > 0)
            {
                EXPECT_TRUE(CiLess(sections[i - 1], sections[i])) << nFile;
            }
            for (const std::string& sLine : SectionLines(sFile, sections[i].c_str())) EXPECT_LE(sLine.size(), 999u);
        }
        for (DWORD nSize = 1; nSize < 40; nSize += 7)
        {
            std::vector<char> buffer(nSize + 16, kSentinel);
            const DWORD cch = ReadProfileString(NULL, NULL, "", buffer.data(), nSize, sFile.c_str());
            ExpectListFormat(buffer, nSize, cch, sections, "binary " + std::to_string(nFile));
        }
    }
}

TEST(ProfileHostile, TenMegabytes)
{
    vxtest::ScratchDir dir("prhost");
    const std::string sFile = dir.File("ten.ini");
    std::string sContent;
    sContent.reserve(10 * kBig + 100);
    for (int n = 0; sContent.size() < 10 * kBig; ++n)
        sContent += "[s" + std::to_string(n % 5000) + "]\nkey" + std::to_string(n) + "=value" + std::to_string(n) + "\n";
    sContent += "[last]\nk=end\n";
    ASSERT_TRUE(Write(sFile, sContent));
    EXPECT_EQ("end", Read(sFile, "last", "k"));
    EXPECT_EQ("value7", Read(sFile, "s7", "key7"));
    EXPECT_EQ("value5007", Read(sFile, "s7", "key5007"));
    EXPECT_EQ(5001u, SectionNames(sFile).size());
}

TEST(ProfileHostile, HeadersWithoutClosingBracket)
{
    vxtest::ScratchDir dir("prhost");
    const std::string sFile = dir.File("open.ini");
    std::string sContent = "[first]\n";
    for (int n = 0; n < 10000; ++n) sContent += "[open" + std::to_string(n) + "\nk" + std::to_string(n) + "=v\n";
    sContent += "[";
    ASSERT_TRUE(Write(sFile, sContent));
    EXPECT_EQ(std::vector<std::string>(1, "first"), SectionNames(sFile));
    EXPECT_EQ(10000u, KeyNames(sFile, "first").size());
    EXPECT_EQ("v", Read(sFile, "first", "k9999"));
}

TEST(ProfileHostile, TenThousandSections)
{
    vxtest::ScratchDir dir("prhost");
    const std::string sFile = dir.File("many.ini");
    std::string sContent;
    for (int n = 9999; n >= 0; --n) sContent += "[Sec" + std::to_string(n) + "]\nk=" + std::to_string(n) + "\n";
    ASSERT_TRUE(Write(sFile, sContent));
    const std::vector<std::string> sections = SectionNames(sFile);
    ASSERT_EQ(10000u, sections.size());
    for (size_t i = 1; i < sections.size(); ++i) ASSERT_TRUE(CiLess(sections[i - 1], sections[i])) << i;
    EXPECT_EQ("1234", Read(sFile, "SEC1234", "K"));
    const DWORD kSizes[] = {1, 2, 3, 7, 1000, 65535};
    for (DWORD nSize : kSizes)
    {
        std::vector<char> buffer(nSize + 16, kSentinel);
        const DWORD cch = ReadProfileString(NULL, NULL, "", buffer.data(), nSize, sFile.c_str());
        ExpectListFormat(buffer, nSize, cch, sections, "sections");
    }
}

TEST(ProfileHostile, KeysWithoutValues)
{
    vxtest::ScratchDir dir("prhost");
    const std::string sFile = dir.File("novalue.ini");
    ASSERT_TRUE(Write(sFile, "[s]\na=\nb   =   \nc\n=\n==\nd=\"\"\n"));
    EXPECT_EQ("", Read(sFile, "s", "a"));
    EXPECT_EQ("", Read(sFile, "s", "b"));
    EXPECT_EQ("dflt", Read(sFile, "s", "c"));
    EXPECT_EQ("", Read(sFile, "s", "d"));
    const char* kKeys[] = {"a", "b", "d"};
    EXPECT_EQ(std::vector<std::string>(kKeys, kKeys + 3), KeyNames(sFile, "s"));
    const char* kLines[] = {"a=", "b=", "d="};
    EXPECT_EQ(std::vector<std::string>(kLines, kLines + 3), SectionLines(sFile, "s"));
}

namespace
{

void CheckFuzzFile(const std::string& sFile, const std::vector<int>& planted, std::mt19937& random, int nFile)
{
    const std::string sWhere = "file " + std::to_string(nFile);
    const std::vector<std::string> sections = SectionNames(sFile);
    for (size_t i = 0; i < sections.size(); ++i)
    {
        ASSERT_FALSE(sections[i].empty()) << sWhere;
        ASSERT_LE(sections[i].size(), 249u) << sWhere;
        ASSERT_TRUE(sections[i].find_first_of(" \t\r\n") != 0 &&
                    sections[i].find_last_of(" \t\r\n") != sections[i].size() - 1)
            << sWhere;
        if (i > 0)
        {
            ASSERT_TRUE(CiLess(sections[i - 1], sections[i])) << sWhere;
        }
    }
    const DWORD cbSections = static_cast<DWORD>(Serialize(sections).size()) + 3;
    const DWORD nSize = 1 + static_cast<DWORD>(random() % cbSections);
    std::vector<char> buffer(nSize + 16, kSentinel);
    ExpectListFormat(buffer, nSize, ReadProfileString(NULL, NULL, "", buffer.data(), nSize, sFile.c_str()), sections,
                     sWhere + " sections");

    for (size_t iSection = 0; iSection < sections.size() && iSection < 2; ++iSection)
    {
        const char* pszSection = sections[iSection].c_str();
        const std::vector<std::string> keys = KeyNames(sFile, pszSection);
        const std::vector<std::string> lines = SectionLines(sFile, pszSection);
        ASSERT_EQ(keys.size(), lines.size()) << sWhere;
        for (size_t i = 0; i < keys.size(); ++i)
        {
            ASSERT_FALSE(keys[i].empty()) << sWhere;
            ASSERT_EQ(std::string::npos, keys[i].find('=')) << sWhere;
            ASSERT_LE(lines[i].size(), 999u) << sWhere;
            ASSERT_EQ(keys[i] + "=", lines[i].substr(0, keys[i].size() + 1)) << sWhere;
            if (i < 4)
            {
                ASSERT_EQ(lines[i].substr(keys[i].size() + 1), Read(sFile, pszSection, keys[i].c_str())) << sWhere;
            }
        }
        const DWORD nKeySize = 1 + static_cast<DWORD>(random() % (Serialize(keys).size() + 3));
        std::vector<char> keyBuffer(nKeySize + 16, kSentinel);
        ExpectListFormat(keyBuffer, nKeySize,
                         ReadProfileString(pszSection, NULL, "", keyBuffer.data(), nKeySize, sFile.c_str()), keys,
                         sWhere + " keys");
        const DWORD nLineSize = 2 + static_cast<DWORD>(random() % (Serialize(lines).size() + 3));
        std::vector<char> lineBuffer(nLineSize + 16, kSentinel);
        ExpectListFormat(lineBuffer, nLineSize,
                         ReadProfileSection(pszSection, lineBuffer.data(), nLineSize, sFile.c_str()), lines,
                         sWhere + " lines");
    }
    for (int n : planted)
    {
        const std::string sNumber = std::to_string(n);
        ASSERT_EQ("pv" + sNumber, Read(sFile, ("p" + sNumber).c_str(), ("pk" + sNumber).c_str())) << sWhere;
    }
}

}  // namespace

// Keeps a file open for writing and replaces its content in place. A content as long as the
// one before gets one more (empty) line, so that the size tells the reader of the change even
// within one tick of the file clock.
class FileRewriter
{
public:
    explicit FileRewriter(const std::string& sPath)
        : m_h(CreateFileA(sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                          CREATE_ALWAYS, 0, NULL)),
          m_cbLast(0)
    {
    }
    ~FileRewriter()
    {
        if (m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
    }
    bool Rewrite(std::string sBytes)
    {
        if (sBytes.size() == m_cbLast) sBytes += "\n";
        m_cbLast = sBytes.size();
        OVERLAPPED tAt = {};  // offset 0; the file pointer ends after the bytes written
        DWORD dwWritten = 0;
        return m_h != INVALID_HANDLE_VALUE &&
               WriteFile(m_h, sBytes.data(), static_cast<DWORD>(sBytes.size()), &dwWritten, &tAt) &&
               dwWritten == sBytes.size() && SetEndOfFile(m_h);
    }

private:
    FileRewriter(const FileRewriter&);
    FileRewriter& operator=(const FileRewriter&);
    HANDLE m_h;
    size_t m_cbLast;
};

TEST(ProfileFuzz, TenThousandGeneratedFiles)
{
    vxtest::ScratchDir dir("prfuzz");
    std::mt19937 random(20240501);
    const int kNames = 8;
    std::vector<std::unique_ptr<FileRewriter>> writers;
    for (int n = 0; n < kNames; ++n)
        writers.emplace_back(new FileRewriter(dir.File("fuzz" + std::to_string(n) + ".ini")));
    for (int nFile = 0; nFile < 10000; ++nFile)
    {
        // Few names, rewritten in place, so the cache's freshness check is exercised too.
        const std::string sFile = dir.File("fuzz" + std::to_string(nFile % kNames) + ".ini");
        std::vector<int> planted;
        const std::string sContent = vxtest::FuzzProfileText(random, &planted);
        ASSERT_TRUE(writers[nFile % kNames]->Rewrite(sContent)) << nFile;
        CheckFuzzFile(sFile, planted, random, nFile);
        if (HasFatalFailure()) return;
    }
}

namespace
{

struct SharedFiles
{
    std::vector<std::string> paths;
    std::vector<std::string> contents[2];  // the two versions: they differ in one byte only
    volatile LONG lMismatches;
    volatile LONG lReads;
};

std::string ThreadFileContent(int nFile, char cFlip)
{
    std::string s;
    for (int n = 0; n < 20; ++n)
    {
        s += "[sec" + std::to_string(n) + "]\n";
        s += "name=file" + std::to_string(nFile) + "sec" + std::to_string(n) + "\n";
        s += "flip=alpha";
        s += cFlip;
        s += "\n";
    }
    return s;
}

DWORD WINAPI ReaderWriter(void* pParameter)
{
    SharedFiles* pShared = static_cast<SharedFiles*>(pParameter);
    const DWORD dwThread = GetCurrentThreadId();
    for (int nRound = 0; nRound < 120; ++nRound)
    {
        const int nFile = static_cast<int>((dwThread + nRound) % pShared->paths.size());
        const std::string& sFile = pShared->paths[nFile];
        const int nSection = nRound % 20;
        const std::string sSection = "sec" + std::to_string(nSection);
        bool fOk = Read(sFile, sSection.c_str(), "name") ==
                   "file" + std::to_string(nFile) + "sec" + std::to_string(nSection);
        const std::string sFlip = Read(sFile, sSection.c_str(), "flip");
        fOk = fOk && (sFlip == "alpha1" || sFlip == "alpha2");
        fOk = fOk && SectionNames(sFile).size() == 20;
        const std::vector<std::string> lines = SectionLines(sFile, sSection.c_str());
        fOk = fOk && lines.size() == 2 && lines[0] == "name=file" + std::to_string(nFile) + "sec" +
                                                          std::to_string(nSection);
        g_TraceLog.TraceAuto("reader %lu round %d\n", dwThread, nRound);
        if (!fOk) InterlockedIncrement(&pShared->lMismatches);
        InterlockedIncrement(&pShared->lReads);
        if (nRound % 10 == 0)
        {
            // Rewritten in place: every byte is always one version's or the other's.
            WriteWithTime(sFile, pShared->contents[nRound % 20 == 0][nFile], NULL, true);
        }
    }
    return 0;
}

}  // namespace

TEST(ProfileThreads, EightThreadsReadAndRewriteWithTracing)
{
    vxtest::ScratchDir dir("prthr");
    SharedFiles shared;
    shared.lMismatches = 0;
    shared.lReads = 0;
    for (int nFile = 0; nFile < 3; ++nFile)
    {
        shared.paths.push_back(dir.File("shared" + std::to_string(nFile) + ".ini"));
        shared.contents[0].push_back(ThreadFileContent(nFile, '1'));
        shared.contents[1].push_back(ThreadFileContent(nFile, '2'));
        ASSERT_TRUE(Write(shared.paths.back(), shared.contents[0].back()));
    }
    vxtest::TraceCapture trace(0xFF);  // every category, but not the debugger output
    HANDLE threads[8];
    for (HANDLE& h : threads)
    {
        h = CreateThread(NULL, 0, ReaderWriter, &shared, 0, NULL);
        ASSERT_TRUE(h != NULL);
    }
    const DWORD dwWait = WaitForMultipleObjects(8, threads, TRUE, 120000);
    for (HANDLE h : threads) CloseHandle(h);
    ASSERT_EQ(WAIT_OBJECT_0, dwWait) << "threads did not finish: deadlock";
    EXPECT_EQ(0, shared.lMismatches);
    EXPECT_EQ(8 * 120, shared.lReads);
    EXPECT_GT(trace.Count("GetPrivateProfileStringA() built the default value"), 8u * 120);

    // After the storm a rewrite with a newer time is seen.
    FILETIME ftLater;
    GetSystemTimeAsFileTime(&ftLater);
    ftLater.dwHighDateTime += 100;  // days ahead of every write of the storm
    ASSERT_TRUE(WriteWithTime(shared.paths[0], shared.contents[1][0], &ftLater, true));
    EXPECT_EQ("alpha2", Read(shared.paths[0], "sec3", "flip"));
}

TEST(ProfileCodePage932, DoubleByteCharactersStayWhole)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932, has " << GetACP();
    vxtest::ScratchDir dir("prdbcs");
    const std::string sFile = dir.File("dbcs.ini");
    // "\x83\x5D" ends in ']' and "\x95\x5C" in '\\': both are one character each.
    ASSERT_TRUE(Write(sFile, "[\x83\x5D]\nk=\x95\x5C\n[a\x83\x5D" "b]\nk=v\x81\x40\n"));
    const char* kSections[] = {"a\x83\x5D" "b", "\x83\x5D"};
    EXPECT_EQ(std::vector<std::string>(kSections, kSections + 2), SectionNames(sFile));
    EXPECT_EQ("\x95\x5C", Read(sFile, "\x83\x5D", "k"));
    EXPECT_EQ("v\x81\x40", Read(sFile, "a\x83\x5D" "b", "k"));  // an ideographic space is no blank here

    char szTrail[] = "  \x83\x40 ";
    EXPECT_STREQ("\x83\x40", TrimSpaces(szTrail));
}
