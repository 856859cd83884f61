#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "infrastructure/os_version.h"
#include "infrastructure/qualified_values.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

namespace
{

using vxtest::CurrentDirectory;
using vxtest::DirectoryOf;
using vxtest::ModulePath;
using vxtest::WindowsDirectory;

const char kSentinel = static_cast<char>(0xcc);

// The program's resource library is "<program>.dll" beside it, loaded once: put the test's
// library there before any test runs. A child copied elsewhere finds none.
bool PlaceResourceLibrary()
{
    const std::string sExe = ModulePath(NULL);
    const std::string sSource = DirectoryOf(sExe) + "\\vxtest_strings_library.dll";
    const std::string sTarget = sExe.substr(0, sExe.size() - 4) + ".dll";
    return CopyFileA(sSource.c_str(), sTarget.c_str(), FALSE) != FALSE;
}
const bool g_fResourceLibraryPlaced = PlaceResourceLibrary();

// Files written for one test, removed when it ends.
class FileSet
{
public:
    ~FileSet()
    {
        for (const std::string& sPath : m_paths) DeleteFileA(sPath.c_str());
    }
    bool Write(const std::string& sPath, const std::string& sContent)
    {
        m_paths.push_back(sPath);
        return vxtest::WriteFileBytes(sPath, sContent);
    }

private:
    std::vector<std::string> m_paths;
};

// A name no other test program or run uses.
std::string UniqueName(const char* pszTag)
{
    static int s_n = 0;
    char sz[96];
    std::snprintf(sz, sizeof(sz), "vxqv_%s_%lu_%d_%s.dat", pszTag, GetCurrentProcessId(), ++s_n,
                  vxtest::WineRelease().c_str());
    return sz;
}

std::string ByQualifier(const std::string& sFile, const char* pszSection, const char* pszQualifier,
                        const char* pszKey)
{
    char buffer[260];
    if (!GetValueByQualifier(sFile.c_str(), pszSection, pszQualifier, pszKey, buffer, sizeof(buffer)))
        return "<none>";
    return buffer;
}

std::string ByLang(const std::string& sFile, const char* pszSection, const char* pszKey, WORD wLangId)
{
    char buffer[260];
    if (!GetValueByLang(sFile.c_str(), pszSection, pszKey, buffer, sizeof(buffer), wLangId)) return "<none>";
    return buffer;
}

std::string ByOS(const std::string& sFile, const char* pszSection, const char* pszKey)
{
    char buffer[260];
    if (!GetValueByOS(sFile.c_str(), pszSection, pszKey, buffer, sizeof(buffer))) return "<none>";
    return buffer;
}

std::string Hex(unsigned u)
{
    char sz[16];
    std::snprintf(sz, sizeof(sz), "%X", u);
    return sz;
}

}  // namespace

TEST(GetValueByLang, FallsBackToPrimaryLanguageThenPlainSection)
{
    vxtest::ScratchDir dir("qvlang");
    struct LangCase
    {
        const char* pszContent;
        WORD wLangId;
        const char* pszExpected;
    };
    const LangCase kCases[] = {
        {"[Strings.0x409]\nk=exact\n[Strings.0x9]\nk=primary\n[Strings]\nk=plain\n", 0x409, "exact"},
        {"[Strings.0x9]\nk=primary\n[Strings]\nk=plain\n", 0x409, "primary"},
        {"[Strings]\nk=plain\n", 0x409, "plain"},
        {"[Strings.0x409]\nk=\n[Strings.0x9]\nk=primary\n", 0x409, "primary"},  // empty does not stop it
        {"[Strings.0x409]\nk=\n[Strings]\nk=plain\n", 0x409, "plain"},
        {"[Strings.0xC0C]\nk=canada\n[Strings.0xC]\nk=french\n", 0xC0C, "canada"},
        {"[Strings.0xC]\nk=french\n", 0xC0C, "french"},
        {"[Strings.0x407]\nk=german\n", 0x409, "<none>"},
        {"[Strings.0x409]\nj=other\n", 0x409, "<none>"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const std::string sFile = dir.File("lang" + std::to_string(i) + ".dat");
        ASSERT_TRUE(vxtest::WriteFileBytes(sFile, kCases[i].pszContent)) << i;
        EXPECT_EQ(kCases[i].pszExpected, ByLang(sFile, "Strings", "k", kCases[i].wLangId)) << i;
    }
}

TEST(GetValueByLang, SystemDefaultLanguage)
{
    vxtest::ScratchDir dir("qvlang");
    const std::string sFile = dir.File("sysdef.dat");
    const std::string sQualified = "[Strings.0x" + Hex(GetSystemDefaultLangID()) + "]\nk=system\n";
    ASSERT_TRUE(vxtest::WriteFileBytes(sFile, sQualified + "[Strings.0x800]\nk=literal\n"));
    EXPECT_EQ("system", ByLang(sFile, "Strings", "k", 0x800));
}

TEST(GetValueByLang, NullArgumentsAndNotFound)
{
    vxtest::ScratchDir dir("qvlang");
    const std::string sFile = dir.File("empty.dat");
    ASSERT_TRUE(vxtest::WriteFileBytes(sFile, "[Strings]\nother=1\n"));
    char buffer[8];
    EXPECT_FALSE(GetValueByLang(NULL, "Strings", "k", buffer, sizeof(buffer), 0x409));
    EXPECT_FALSE(GetValueByLang(sFile.c_str(), "Strings", "k", NULL, sizeof(buffer), 0x409));
    EXPECT_FALSE(GetValueByOS(NULL, "Strings", "k", buffer, sizeof(buffer)));
    EXPECT_FALSE(GetValueByOS(sFile.c_str(), "Strings", "k", NULL, sizeof(buffer)));
    EXPECT_FALSE(GetValueByQualifier(NULL, "Strings", "q", "k", buffer, sizeof(buffer)));
    EXPECT_FALSE(GetValueByQualifier(sFile.c_str(), "Strings", "q", "k", NULL, sizeof(buffer)));
    std::memset(buffer, kSentinel, sizeof(buffer));
    EXPECT_FALSE(GetValueByLang(sFile.c_str(), "Strings", "k", buffer, sizeof(buffer), 0x409));
    EXPECT_EQ('\0', buffer[0]);  // an existing file that lacks the key leaves an empty string
}

TEST(GetValueByQualifier, PathThatDoesNotExistIsNotLookedForElsewhere)
{
    vxtest::ScratchDir dir("qvpath");
    const std::string sMissing = dir.File("missing.dat");
    vxtest::TraceCapture trace;
    char buffer[16];
    std::memset(buffer, kSentinel, sizeof(buffer));
    EXPECT_FALSE(GetValueByQualifier(sMissing.c_str(), "S", "q", "k", buffer, sizeof(buffer)));
    EXPECT_EQ(kSentinel, buffer[0]);
    EXPECT_EQ(0u, trace.Count("GetValueByQualifier("));
}

TEST(GetValueByQualifier, QualifiedSectionOfEveryCandidateComesFirst)
{
    vxtest::ScratchDir dir("qvcand");
    CurrentDirectory cwd(dir.Path());
    ASSERT_TRUE(cwd.Changed());
    const std::string sModuleDir = DirectoryOf(ModulePath(NULL));
    FileSet files;
    struct CandidateCase
    {
        const char* pszCurrent;  // null: no copy there
        const char* pszModule;
        const char* pszWindows;
        const char* pszExpected;
    };
    const CandidateCase kCases[] = {
        {"[S]\nk=current\n", "[S]\nk=module\n", NULL, "current"},
        {NULL, "[S]\nk=module\n", NULL, "module"},
        {"[S]\nk=current\n", "[S.q]\nk=module-q\n", NULL, "module-q"},
        {"[S]\nk=current\n", "[S]\nk=module\n", "[S]\nk=windows\n", "windows"},
        {NULL, NULL, "[S]\nk=windows\n", "windows"},  // named by its full path, so it is read
        {"[S]\nk=current\n", NULL, "[S]\nj=other\n", "current"},
        {"[S.q]\nk=\n[S]\nk=current\n", "[S.q]\nk=\n", NULL, "current"},
        {NULL, NULL, NULL, "<none>"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const CandidateCase& c = kCases[i];
        const std::string sName = UniqueName("cand");
        if (c.pszCurrent)
        {
            ASSERT_TRUE(files.Write(dir.File(sName), c.pszCurrent)) << i;
        }
        if (c.pszModule)
        {
            ASSERT_TRUE(files.Write(sModuleDir + "\\" + sName, c.pszModule)) << i;
        }
        if (c.pszWindows)
        {
            ASSERT_TRUE(files.Write(WindowsDirectory() + "\\" + sName, c.pszWindows)) << i;
        }
        EXPECT_EQ(c.pszExpected, ByQualifier(sName, "S", "q", "k")) << i;
    }
}

TEST(GetValueByQualifier, TracesEachAttempt)
{
    vxtest::ScratchDir dir("qvtrace");
    const std::string sFile = dir.File("trace.dat");
    ASSERT_TRUE(vxtest::WriteFileBytes(sFile, "[S]\nk=v\n"));
    vxtest::TraceCapture trace;
    EXPECT_EQ("v", ByQualifier(sFile, "S", "q", "k"));
    EXPECT_EQ(1u, trace.Count("GetValueByQualifier(S.q, k, " + sFile + ", 260)"));
    EXPECT_EQ(1u, trace.Count("GetValueByQualifier(S, k, " + sFile + ", 260)"));
    trace.Clear();
    EXPECT_EQ("v", ByQualifier(sFile, "S", "", "k"));
    EXPECT_EQ(1u, trace.Count("GetValueByQualifier("));
}

TEST(Qualifiers, Builders)
{
    const struct
    {
        WORD wLangId;
        const char* pszExpected;
    } kCases[] = {{0x409, ".0x409"}, {0xC0C, ".0xC0C"}, {0x9, ".0x9"}, {0, ".0x0"}, {0xFFFF, ".0xFFFF"}};
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        char buffer[QUALIFIER_BUFFER_SIZE + 8];
        std::memset(buffer, kSentinel, sizeof(buffer));
        BuildLanguageQualifier(buffer, kCases[i].wLangId);
        EXPECT_STREQ(kCases[i].pszExpected, buffer) << i;
        EXPECT_EQ(kSentinel, buffer[QUALIFIER_BUFFER_SIZE]) << i;
    }
    char buffer[QUALIFIER_BUFFER_SIZE];
    BuildLanguageQualifier(buffer, 0x800);
    EXPECT_EQ(".0x" + Hex(GetSystemDefaultLangID()), std::string(buffer));

    BuildOSQualifier(buffer);
    EXPECT_EQ("." + ToStd(GetOSVersion()), std::string(buffer));
    // A null buffer is ignored by every builder.
    BuildLanguageQualifier(NULL, 0x409);
    BuildOSQualifier(NULL);
    BuildServicePackQualifier(NULL);
    BuildBuildQualifier(NULL);
}

namespace
{

struct ReleaseFacts
{
    const char* pszRelease;
    const char* pszOS;
    const char* pszFiner;  // the service-pack qualifier on NT, the build qualifier on 9x
    bool fNT;
};

const ReleaseFacts kReleases[] = {
    {"", "501", ".3", true},          {"winxp", "501", ".3", true}, {"win2k", "500", ".4", true},
    {"nt40", "400", ".6", true},      {"win98", "410", ".2222", false},
};

const ReleaseFacts* ThisRelease()
{
    for (const ReleaseFacts& facts : kReleases)
    {
        if (vxtest::WineRelease() == facts.pszRelease) return &facts;
    }
    return NULL;
}

}  // namespace

TEST(Qualifiers, PlatformDependentQualifiers)
{
    const ReleaseFacts* pFacts = ThisRelease();
    if (!pFacts) GTEST_SKIP() << "no facts for release " << vxtest::WineRelease();
    char buffer[QUALIFIER_BUFFER_SIZE];
    BuildOSQualifier(buffer);
    EXPECT_EQ(std::string(".") + pFacts->pszOS, buffer);
    BuildServicePackQualifier(buffer);
    EXPECT_EQ(pFacts->fNT ? std::string(pFacts->pszFiner) : std::string(), buffer);
    vxtest::TraceCapture trace;
    BuildBuildQualifier(buffer);
    if (!pFacts->fNT)
    {
        EXPECT_EQ(std::string(pFacts->pszFiner), buffer);
    }
    EXPECT_EQ(1u, trace.Count(std::string("build=") + buffer));
}

TEST(GetValueByOS, MostSpecificSectionFirst)
{
    const ReleaseFacts* pFacts = ThisRelease();
    if (!pFacts) GTEST_SKIP() << "no facts for release " << vxtest::WineRelease();
    vxtest::ScratchDir dir("qvos");
    const std::string sFile = dir.File("os.dat");
    const std::string sOS = std::string("Version.") + pFacts->pszOS;
    ASSERT_TRUE(vxtest::WriteFileBytes(sFile, "[" + sOS + pFacts->pszFiner + "]\nk1=finer\nk4=\n" +
                                                  "[" + sOS + "]\nk1=os\nk2=os\n" +
                                                  "[Version]\nk1=plain\nk2=plain\nk3=plain\nk4=plain\n" +
                                                  "[Version.999]\nk3=other-os\n"));
    EXPECT_EQ("finer", ByOS(sFile, "Version", "k1"));
    EXPECT_EQ("os", ByOS(sFile, "Version", "k2"));
    EXPECT_EQ("plain", ByOS(sFile, "Version", "k4"));
    vxtest::TraceCapture trace;
    EXPECT_EQ("plain", ByOS(sFile, "Version", "k3"));
    // Windows 9x looks at the OS section a second time before the plain one.
    EXPECT_EQ(pFacts->fNT ? 1u : 2u, trace.Count("GetValueByQualifier(" + sOS + ", k3, "));
    EXPECT_EQ("<none>", ByOS(sFile, "Version", "k5"));
}

TEST(LoadStringList, NumberedKeysUntilTheFirstGap)
{
    vxtest::ScratchDir dir("qvlist");
    const std::string sFile = dir.File("list.dat");
    ASSERT_TRUE(vxtest::WriteFileBytes(sFile, "[List]\n1=Alpha\n2=BETA\n4=Delta\n[List.q]\n1=Qualified\n"
                                              "[List.0x407]\n1=Deutsch\n[Empty]\n2=two\n[Gap]\n1=one\n2=\n3=three\n"));
    struct ListCase
    {
        const char* pszSection;
        const char* pszQualifier;
        WORD wLangId;
        BOOL fLowerCase;
        std::vector<std::string> expected;
    };
    const ListCase kCases[] = {
        {"List", NULL, 0, FALSE, {"Alpha", "BETA"}},
        {"List", NULL, 0, TRUE, {"alpha", "beta"}},
        {"List", "q", 0, FALSE, {"Qualified", "BETA"}},
        {"List", NULL, 0x407, FALSE, {"Deutsch", "BETA"}},
        {"Empty", NULL, 0, FALSE, {}},
        {"Gap", NULL, 0x409, FALSE, {"one"}},
        {"None", NULL, 0, FALSE, {}},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const ListCase& c = kCases[i];
        CVxCiStringList list(1, CVxCiString("kept"));
        LoadStringList(sFile.c_str(), c.pszSection, c.pszQualifier, list, c.wLangId, c.fLowerCase);
        ASSERT_EQ(c.expected.size() + 1, list.size()) << i;
        EXPECT_EQ(std::string("kept"), ToStd(list[0])) << i;
        for (size_t j = 0; j < c.expected.size(); ++j) EXPECT_EQ(c.expected[j], ToStd(list[j + 1])) << i << "," << j;
    }
    CVxCiStringList list;
    LoadStringList(NULL, "List", NULL, list, 0, FALSE);
    LoadStringList(sFile.c_str(), NULL, NULL, list, 0, FALSE);
    EXPECT_TRUE(list.empty());
}

TEST(ReplaceSubString, Table)
{
    const struct
    {
        const char* pszText;
        const char* pszFind;
        const char* pszReplacement;
        BOOL fExpected;
        const char* pszExpected;
    } kCases[] = {
        {"a\\nb", "\\n", "\n", TRUE, "a\nb"},
        {"a\\Nb\\n", "\\n", "\n", TRUE, "a\nb\n"},
        {"abc", "x", "y", FALSE, "abc"},
        {"aab", "ab", "b", TRUE, "b"},  // every search starts again at the beginning
        {"xx", "x", "xX", TRUE, "xXxX"},  // a replacement holding the find text still ends
        {"abc", "", "z", FALSE, "abc"},
        {"abc", NULL, "z", FALSE, "abc"},
        {"abcb", "b", "", TRUE, "ac"},
        {"", "a", "b", FALSE, ""},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        CVxCiString s(kCases[i].pszText);
        EXPECT_EQ(kCases[i].fExpected, ReplaceSubString(s, kCases[i].pszFind, kCases[i].pszReplacement)) << i;
        EXPECT_EQ(std::string(kCases[i].pszExpected), ToStd(s)) << i;
    }
    vxtest::TraceCapture trace;
    CVxCiString s("1\\t2\\t3");
    ReplaceSubString(s, "\\t", "\t");
    EXPECT_EQ(2u, trace.Count("ReplaceSubString \\t -> \t) "));
}

TEST(PathHelpers, GetDirectoryNameFromPath)
{
    const struct
    {
        const char* pszPath;
        DWORD cbOut;
        BOOL fExpected;
        const char* pszExpected;
    } kCases[] = {
        {"C:\\file", 260, TRUE, "C:"},     {"file", 260, FALSE, NULL},     {"", 260, FALSE, NULL},
        {NULL, 260, FALSE, NULL},          {"a/b\\c", 260, TRUE, "a/b"},   {"a\\b/c", 260, TRUE, "a\\b"},
        {"\\x", 260, TRUE, ""},            {"dir\\", 260, TRUE, "dir"},    {"abc\\d", 3, FALSE, NULL},
        {"abc\\d", 4, TRUE, "abc"},        {"C:\\a\\b\\c.txt", 260, TRUE, "C:\\a\\b"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        char buffer[270];
        std::memset(buffer, kSentinel, sizeof(buffer));
        EXPECT_EQ(kCases[i].fExpected, GetDirectoryNameFromPath(kCases[i].pszPath, buffer, kCases[i].cbOut)) << i;
        if (kCases[i].pszExpected)
            EXPECT_STREQ(kCases[i].pszExpected, buffer) << i;
        else
            EXPECT_EQ(kSentinel, buffer[0]) << i;
        EXPECT_EQ(kSentinel, buffer[kCases[i].cbOut]) << i;
    }
    vxtest::TraceCapture trace;
    char buffer[3];
    EXPECT_FALSE(GetDirectoryNameFromPath("abc\\d", buffer, sizeof(buffer)));
    EXPECT_EQ(1u, trace.Count("Output buffer is too small"));
}

TEST(PathHelpers, ModuleDirectoryAndFileExists)
{
    const std::string sExe = ModulePath(NULL);
    char buffer[MAX_PATH];
    ASSERT_TRUE(GetModuleDirectory(NULL, buffer, sizeof(buffer)));
    EXPECT_EQ(DirectoryOf(sExe), buffer);
    EXPECT_FALSE(GetModuleDirectory(NULL, buffer, 3));

    vxtest::ScratchDir dir("qvexist");
    const std::string sFile = dir.File("exists.dat");
    ASSERT_TRUE(vxtest::WriteFileBytes(sFile, "x"));
    EXPECT_TRUE(FileExists(sFile.c_str()));
    EXPECT_TRUE(FileExists(dir.Path().c_str()));  // a directory counts
    EXPECT_FALSE(FileExists(dir.File("missing.dat").c_str()));
    EXPECT_FALSE(FileExists(NULL));
    EXPECT_FALSE(FileExists((dir.Path() + "\\" + std::string(300, 'n')).c_str()));

    char szWindows[MAX_PATH];
    ASSERT_TRUE(GetWindowsFolder(szWindows, sizeof(szWindows)));
    EXPECT_EQ(WindowsDirectory(), szWindows);
    EXPECT_FALSE(GetWindowsFolder(szWindows, 3));
    EXPECT_EQ('\0', szWindows[0]);
}

namespace
{

// The module whose string table and ".dat" the tests read, copied to a folder of its own.
class StringModule
{
public:
    explicit StringModule(const vxtest::ScratchDir& dir) : m_sPath(dir.File("strmod.dll")), m_hModule(NULL)
    {
        const std::string sSource = DirectoryOf(ModulePath(NULL)) + "\\vxtest_strings_module.dll";
        if (CopyFileA(sSource.c_str(), m_sPath.c_str(), FALSE)) m_hModule = LoadLibraryA(m_sPath.c_str());
    }
    ~StringModule()
    {
        if (m_hModule) FreeLibrary(m_hModule);
    }
    HMODULE Get() const { return m_hModule; }
    std::string DataFile() const { return m_sPath + ".dat"; }

private:
    std::string m_sPath;
    HMODULE m_hModule;
};

std::string Localized(HMODULE hModule, UINT uId, WORD wLangId)
{
    CVxCiString s("untouched");
    if (!s.LoadLocalizedString(hModule, uId, wLangId)) return "<none:" + ToStd(s) + ">";
    return ToStd(s);
}

}  // namespace

TEST(LoadLocalizedString, DataFileThenLibraryThenModule)
{
    ASSERT_TRUE(g_fResourceLibraryPlaced);
    vxtest::ScratchDir dir("qvloc");
    StringModule module(dir);
    ASSERT_TRUE(module.Get() != NULL);
    ASSERT_TRUE(vxtest::WriteFileBytes(module.DataFile(), "[Strings]\n5=Line\\none\\Ntwo\\ttab\\rcr\n"
                                                          "[Strings.0x407]\n5=Deutsch\n"));
    struct LocalizedCase
    {
        UINT uId;
        WORD wLangId;
        const char* pszExpected;
    };
    const LocalizedCase kCases[] = {
        {5, 0x409, "Line\none\ntwo\ttab\rcr"},  // from the ".dat", escapes replaced
        {5, 0x407, "Deutsch"},
        {1, 0x409, "Library one"},      // not in the ".dat": the resource library first
        {17, 0x409, "Library seventeen"},
        {1, 0x407, "Bibliothek eins"},
        {50, 0x409, "Module fifty"},    // not in the library: the module
        {3, 0x409, "Module three"},     // an empty entry of the library's block is missing
        {99, 0x409, "<none:untouched>"},
        {50, 0x407, "<none:untouched>"},  // the module has no German table
        {0x10000, 0x409, "<none:untouched>"},
        {0xFFFFFFFFu, 0x409, "<none:untouched>"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        EXPECT_EQ(kCases[i].pszExpected, Localized(module.Get(), kCases[i].uId, kCases[i].wLangId)) << i;
    }
}

TEST(LoadLocalizedString, WithoutResourceLibraryInAChild)
{
    vxtest::ScratchDir dir("qvchild");
    const std::string sChild = dir.File("vxnolib.exe");
    ASSERT_TRUE(CopyFileA(ModulePath(NULL).c_str(), sChild.c_str(), FALSE));
    ASSERT_TRUE(vxtest::WriteFileBytes(sChild + ".dat", "[Strings]\n7=Data\\nline\n"));
    ASSERT_TRUE(CopyFileA((DirectoryOf(ModulePath(NULL)) + "\\vxtest_strings_module.dll").c_str(),
                          dir.File("strmod.dll").c_str(), FALSE));
    std::map<std::string, std::string> environment;
    environment["VX_QV_CHILD_MODULE"] = dir.File("strmod.dll");
    environment["VX_QV_CHILD_MARKER"] = dir.File("marker.txt");
    const vxtest::ProcessResult result =
        vxtest::RunProcess("\"" + sChild + "\" --gtest_filter=LocalizedChild.*", environment, 60000);
    ASSERT_TRUE(result.fStarted);
    ASSERT_TRUE(result.fFinished);
    EXPECT_EQ(0u, result.dwExitCode);
    std::string sMarker;
    ASSERT_TRUE(vxtest::ReadFileBytes(dir.File("marker.txt"), &sMarker));
    EXPECT_EQ("Module one|Data\nline|<none:untouched>", sMarker);
}

// Runs only as the child above: a program without "<program>.dll" beside it.
TEST(LocalizedChild, ModuleAndDataFileWithoutLibrary)
{
    const std::string sModule = vxtest::Env("VX_QV_CHILD_MODULE");
    if (sModule.empty()) GTEST_SKIP() << "runs as a child of WithoutResourceLibraryInAChild";
    HMODULE hModule = LoadLibraryA(sModule.c_str());
    ASSERT_TRUE(hModule != NULL);
    const std::string sResult =
        Localized(hModule, 1, 0x409) + "|" + Localized(NULL, 7, 0x409) + "|" + Localized(NULL, 1, 0x409);
    vxtest::WriteFileBytes(vxtest::Env("VX_QV_CHILD_MARKER"), sResult);
    FreeLibrary(hModule);
}

TEST(QualifiedCodePage932, DoubleByteCharactersStayWhole)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932, has " << GetACP();
    // "\x95\x5C" ends in '\\' and "\x83\x41" in 'A', yet each is one character.
    char buffer[64];
    ASSERT_TRUE(GetDirectoryNameFromPath("C:\\\x95\x5C", buffer, sizeof(buffer)));
    EXPECT_STREQ("C:", buffer);
    ASSERT_TRUE(GetDirectoryNameFromPath("C:\\\x95\x5C\\x", buffer, sizeof(buffer)));
    EXPECT_STREQ("C:\\\x95\x5C", buffer);
    EXPECT_FALSE(GetDirectoryNameFromPath("\x95\x5C", buffer, sizeof(buffer)));

    vxtest::ScratchDir dir("qvdbcs");
    const std::string sFile = dir.File("dbcs.dat");
    ASSERT_TRUE(vxtest::WriteFileBytes(sFile, "[List]\n1=AB\x83\x41\n"));
    CVxCiStringList list;
    LoadStringList(sFile.c_str(), "List", NULL, list, 0, TRUE);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(std::string("ab\x83\x41"), ToStd(list[0]));

    ASSERT_TRUE(g_fResourceLibraryPlaced);
    StringModule module(dir);
    ASSERT_TRUE(module.Get() != NULL);
    EXPECT_EQ("\x93\xfa\x96\x7b\x8c\xea", Localized(module.Get(), 1, 0x411));  // in code page 932
}
