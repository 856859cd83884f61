// The language map of a factory: identifiers to three-letter names and back, the medium's
// languages and default, its bad forms, and localized strings by language name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/factory.h"
#include "infrastructure/os_version.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

namespace
{

// A data file of its own with a "Version" section and the given further text.
class MapFile
{
public:
    MapFile(const std::string& sVersionKeys, const std::string& sMore) : m_dir("lm"), m_sPath(m_dir.File("vxlins01.dat"))
    {
        EXPECT_TRUE(vxtest::WriteFileBytes(m_sPath, "[Version]\r\n" + sVersionKeys + sMore));
    }
    const char* Path() const { return m_sPath.c_str(); }
    const std::string& Directory() const { return m_dir.Path(); }

private:
    vxtest::ScratchDir m_dir;
    std::string m_sPath;
};

std::string Languages(const char* pszList, const char* pszDefault)
{
    return std::string("LanguagesInthisCD=") + pszList + "\r\nDefaultLanguageInThisRelease=" + pszDefault + "\r\n";
}

const char kEnuFraMap[] = "[LanguageMap]\r\n0x0409=ENU\r\n0x040C=FRA\r\n0x0407=DEU\r\n";

}  // namespace

TEST(LanguageMap, IdentifiersAndNamesBothWays)
{
    MapFile file(Languages("ENU,FRA", "ENU"), kEnuFraMap);
    const CFactory factory(file.Path(), 0);
    EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x0407));  // not on the medium
    EXPECT_STREQ("FRA", factory.Get3LetterLanguage(0x040C));
    EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x0409));
    EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x0411));  // not in the map
    EXPECT_EQ(GetUserDefaultLangID(), factory.GetLanguageId("DEU"));
    EXPECT_EQ(0x0409, factory.GetLanguageId("ENU"));
    EXPECT_EQ(0x040C, factory.GetLanguageId("fra"));
    EXPECT_EQ(GetUserDefaultLangID(), factory.GetLanguageId(NULL));
    EXPECT_EQ(GetUserDefaultLangID(), factory.GetLanguageId("XYZ"));
}

TEST(LanguageMap, BuildIsTracedOnceWithEveryIdentifier)
{
    MapFile file(Languages("ENU,FRA", "ENU"), kEnuFraMap);
    const CFactory factory(file.Path(), 0);
    vxtest::TraceCapture trace;
    EXPECT_EQ(1u, factory.InitLanguageMap());
    EXPECT_EQ(1u, factory.InitLanguageMap());  // built: nothing more
    factory.Get3LetterLanguage(0x0409);
    factory.GetLanguageId("ENU");
    // The map's own lines, without those of the profile lookups beneath it.
    std::vector<vxtest::TraceLine> lines;
    for (const vxtest::TraceLine& line : trace.Lines())
    {
        if (line.sText.find(" languages ") != std::string::npos || line.sText.find("mapped to") != std::string::npos)
        {
            lines.push_back(line);
        }
    }
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(static_cast<DWORD>(TRACE_ENTRY), lines[0].dwFlags);
    EXPECT_EQ(0u, lines[0].sText.find("Start languages ")) << lines[0].sText;
    // Handled last key first.
    EXPECT_EQ("0x0407\t(7,1)\t\tmapped to ENU code page=-1", lines[1].sText);
    EXPECT_EQ("0x040C\t(12,1)\t\tmapped to FRA code page=-1", lines[2].sText);
    EXPECT_EQ("0x0409\t(9,1)\t\tmapped to ENU code page=-1", lines[3].sText);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(static_cast<DWORD>(TRACE_GENERAL), lines[i].dwFlags) << i;
    EXPECT_EQ(static_cast<DWORD>(TRACE_EXIT), lines[4].dwFlags);
    EXPECT_EQ(0u, lines[4].sText.find("Finish languages ")) << lines[4].sText;
}

// Identifiers on the medium come first in file order; those sent to the default follow in
// reverse file order.
TEST(LanguageMap, OrderOfTheMap)
{
    {
        MapFile file(Languages("ENU", "ENU"), "[LanguageMap]\r\n0x0809=ENU\r\n0x0409=ENU\r\n");
        EXPECT_EQ(0x0809, CFactory(file.Path(), 0).GetLanguageId("ENU"));
    }
    {
        MapFile file(Languages("FRA", "ENU"), "[LanguageMap]\r\n0x0409=ENU\r\n0x0809=ENU\r\n0x040C=FRA\r\n");
        const CFactory factory(file.Path(), 0);
        EXPECT_EQ(0x0809, factory.GetLanguageId("ENU"));  // the last one sent to the default
        EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x0409));
        EXPECT_EQ(0x040C, factory.GetLanguageId("FRA"));
    }
}

TEST(LanguageMap, NamesAreUpperCasedCutAndFoundAsSubstrings)
{
    struct Case
    {
        const char* pszList;
        const char* pszDefault;
        const char* pszValue;     // of 0x0409
        const char* pszExpected;  // Get3LetterLanguage(0x0409)
        const char* pszDefaultAfter;
    } const cases[] = {
        {"ENU,FRA", "FRA", "enu", "ENU", "FRA"},
        {"enu", "fra", "ENU", "ENU", "FRA"},
        {"ENG", "FRA", "ENGL", "ENG", "FRA"},      // cut to three letters before the test
        {"ENU", "ENGLISH", "DEU", "ENG", "ENG"},   // the default too
        {"PTBR;FRA", "FRA", "PTB", "PTB", "FRA"},  // part of a longer name counts
        {"XXX", "FRA", "xxx", "FRA", "FRA"},       // the placeholder is never on the medium
        {"ENU", "FRA", "", "FRA", "FRA"},          // an empty value neither
        {"E N U", "FRA", "ENU", "FRA", "FRA"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        MapFile file(Languages(cases[i].pszList, cases[i].pszDefault),
                     std::string("[LanguageMap]\r\n0x0409=") + cases[i].pszValue + "\r\n");
        const CFactory factory(file.Path(), 0);
        EXPECT_STREQ(cases[i].pszExpected, factory.Get3LetterLanguage(0x0409)) << i;
        EXPECT_STREQ(cases[i].pszDefaultAfter, factory.Get3LetterLanguage(0x0C0A)) << i;
    }
}

// Keys of the wrong form stay in the map as written: Get3LetterLanguage looks for "0x%4.4X"
// only, GetLanguageId reads whatever hexadecimal digits lead the key.
TEST(LanguageMap, KeysInTheWrongForm)
{
    MapFile file(Languages("ENU,FRA,DEU,ITA,ESN", "ESN"),
                 "[LanguageMap]\r\n0x409=ENU\r\n040C=FRA\r\nDEU=0x0407\r\n0x0410 =ITA\r\n0x0C0A=ESN\r\n");
    const CFactory factory(file.Path(), 0);
    EXPECT_STREQ("ESN", factory.Get3LetterLanguage(0x0409));
    EXPECT_STREQ("ESN", factory.Get3LetterLanguage(0x040C));
    EXPECT_STREQ("ESN", factory.Get3LetterLanguage(0x0407));
    EXPECT_STREQ("ITA", factory.Get3LetterLanguage(0x0410));  // blanks around the key are trimmed
    EXPECT_STREQ("ESN", factory.Get3LetterLanguage(0x0C0A));
    EXPECT_EQ(0x0409, factory.GetLanguageId("ENU"));
    EXPECT_EQ(0x040C, factory.GetLanguageId("FRA"));
    EXPECT_EQ(GetUserDefaultLangID(), factory.GetLanguageId("DEU"));  // DEU is a key, not a value
    EXPECT_EQ(0x0C0A, factory.GetLanguageId("ESN"));  // the on-medium entry comes before "DEU"
}

TEST(LanguageMap, MissingKeysFailTheBuildEveryTime)
{
    struct Case
    {
        const char* pszVersion;
        const char* pszTrace;
    } const cases[] = {
        {"DefaultLanguageInThisRelease=FRA\r\n",
         "GetValueByQualifier(\tf->c_str(), _T(Version), _T(LanguagesInthisCD) failed"},
        {"LanguagesInthisCD=\r\nDefaultLanguageInThisRelease=FRA\r\n",
         "GetValueByQualifier(\tf->c_str(), _T(Version), _T(LanguagesInthisCD) failed"},
        {"LanguagesInthisCD=FRA\r\n",
         "GetValueByQualifier(\tf->c_str(), _T(Version), _T(DefaultLanguageInThisRelease) failed"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        MapFile file(cases[i].pszVersion, "[LanguageMap]\r\n0x040C=FRA\r\n");
        const CFactory factory(file.Path(), 0);
        vxtest::TraceCapture trace;
        EXPECT_EQ(0u, factory.InitLanguageMap()) << i;
        EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x040C)) << i;
        EXPECT_EQ(GetUserDefaultLangID(), factory.GetLanguageId("FRA")) << i;
        EXPECT_EQ(std::vector<std::string>(3, cases[i].pszTrace), trace.Texts(TRACE_FAILURE)) << i;
    }
}

TEST(LanguageMap, LanguageOverrideReplacesTheMediumsList)
{
    MapFile file(Languages("ENU,FRA", "DEU"), "[LanguageMap]\r\n0x0409=ENU\r\n0x040C=FRA\r\n0x0407=DEU\r\n");
    const CFactory factory(file.Path(), 0);
    factory.Init(file.Path(), 0, "fra");
    EXPECT_STREQ("DEU", factory.Get3LetterLanguage(0x0409));
    EXPECT_STREQ("FRA", factory.Get3LetterLanguage(0x040C));
    EXPECT_EQ(0x040C, factory.GetLanguageId("FRA"));

    MapFile noDefault("LanguagesInthisCD=ENU\r\n", kEnuFraMap);
    vxtest::TraceCapture trace;
    factory.Init(noDefault.Path(), 0, "ENU");
    EXPECT_EQ(0u, factory.InitLanguageMap());
    EXPECT_EQ(std::vector<std::string>({"GetValueByLang(\t_insFileList.begin()->c_str(), _T(Version), "
                                        "_T(DefaultLanguageInThisRelease) failed"}),
              trace.Texts(TRACE_FAILURE));
}

TEST(LanguageMap, FactoryWithoutDataFilesHasAnEmptyMap)
{
    const CFactory factory("vxnosuchdatafile.dat", 0);
    ASSERT_TRUE(factory.GetInstallerFileList().empty());
    EXPECT_EQ(1u, factory.InitLanguageMap());
    EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x0409));
    EXPECT_EQ(GetUserDefaultLangID(), factory.GetLanguageId("ENU"));
    factory.Init("vxnosuchdatafile.dat", 0, "FRA");  // an override without a data file
    EXPECT_EQ(1u, factory.InitLanguageMap());
    EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x040C));
}

// A data file without a language map maps everything to its default; the one identifier it
// contributes is empty and reads as 0.
TEST(LanguageMap, NoLanguageMapSection)
{
    MapFile file(Languages("ENU,FRA", "FRA"), "");
    const CFactory factory(file.Path(), 0);
    EXPECT_EQ(1u, factory.InitLanguageMap());
    EXPECT_STREQ("FRA", factory.Get3LetterLanguage(0x0409));
    EXPECT_EQ(0, factory.GetLanguageId("FRA"));
    EXPECT_EQ(GetUserDefaultLangID(), factory.GetLanguageId("ENU"));
}

TEST(LanguageMap, OsQualifiedMapReplacesThePlainOne)
{
    const std::string sOs = GetOSVersion().c_str();
    MapFile file(Languages("ENU,FRA,ESN", "ESN"),
                 "[LanguageMap]\r\n0x0409=ENU\r\n[LanguageMap." + sOs + "]\r\n0x040C=FRA\r\n");
    const CFactory factory(file.Path(), 0);
    EXPECT_STREQ("FRA", factory.Get3LetterLanguage(0x040C));
    EXPECT_STREQ("ESN", factory.Get3LetterLanguage(0x0409));

    MapFile empty(Languages("ENU,FRA", "FRA"), "[LanguageMap]\r\n0x0409=ENU\r\n[LanguageMap." + sOs + "]\r\n");
    EXPECT_STREQ("ENU", CFactory(empty.Path(), 0).Get3LetterLanguage(0x0409));  // no keys: the plain one
}

TEST(LanguageMap, EveryInitStartsTheMapAgain)
{
    MapFile first(Languages("FRA", "FRA"), "[LanguageMap]\r\n0x040C=FRA\r\n");
    MapFile second(Languages("DEU", "DEU"), "[LanguageMap]\r\n0x0407=DEU\r\n");
    MapFile broken("DefaultLanguageInThisRelease=ITA\r\n", "[LanguageMap]\r\n0x0410=ITA\r\n");
    const CFactory factory(first.Path(), 0);
    const char* pszName = factory.Get3LetterLanguage(0x040C);
    EXPECT_STREQ("FRA", pszName);
    EXPECT_EQ(pszName, factory.Get3LetterLanguage(0x040C));  // the factory's own text
    EXPECT_STREQ("FRA", factory.Get3LetterLanguage(0x0409));

    factory.Init(second.Path(), 0);
    EXPECT_STREQ("DEU", factory.Get3LetterLanguage(0x040C));
    EXPECT_EQ(0x0407, factory.GetLanguageId("DEU"));

    // A failed build after another medium's map answers with "ENU", not the old default.
    factory.Init(broken.Path(), 0);
    EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x0410));
}

// Two data files (only the Windows directory's search gives more than one): the later one's
// default wins and its on-medium identifiers come first.
TEST(LanguageMapMachine, TwoDataFilesOfTheWindowsDirectory)
{
    char szWindows[MAX_PATH] = "";
    GetWindowsDirectoryA(szWindows, sizeof(szWindows));
    const std::string sA = std::string(szWindows) + "\\vxlins81.dat";
    const std::string sB = std::string(szWindows) + "\\vxlins82.dat";
    ASSERT_TRUE(vxtest::WriteFileBytes(sA, "[Version]\r\n" + Languages("ENU", "ENU") + "[LanguageMap]\r\n0x0409=ENU\r\n0x040C=FRA\r\n"));
    ASSERT_TRUE(vxtest::WriteFileBytes(sB, "[Version]\r\n" + Languages("FRA", "FRA") + "[LanguageMap]\r\n0x0809=ENU\r\n0x040C=FRA\r\n"));
    {
        const CFactory factory(NULL, 0);
        factory.Init(NULL, 0);
        std::vector<std::string> mine;
        for (const CVxCiString& sFile : factory.GetInstallerFileList())
        {
            if (sFile == sA.c_str() || sFile == sB.c_str()) mine.push_back(sFile.c_str());
        }
        ASSERT_EQ(2u, mine.size());
        const bool fBLast = mine[1] == sB;
        EXPECT_STREQ(fBLast ? "FRA" : "ENU", factory.Get3LetterLanguage(0x0411));
        // Both lists are gathered, so ENU and FRA count as on the medium in either file.
        EXPECT_STREQ("FRA", factory.Get3LetterLanguage(0x040C));
        EXPECT_EQ(fBLast ? 0x0809 : 0x0409, factory.GetLanguageId("ENU"));
    }
    DeleteFileA(sA.c_str());
    DeleteFileA(sB.c_str());
}

namespace
{

// The PDI's string table, loaded as data.
class PdiResources
{
public:
    PdiResources() : m_h(LoadLibraryExA(vxtest::PdiExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~PdiResources()
    {
        if (m_h) FreeLibrary(m_h);
    }
    HMODULE Get() const { return m_h; }

private:
    PdiResources(const PdiResources&);
    PdiResources& operator=(const PdiResources&);
    HMODULE m_h;
};

std::string AnsiFromUtf8(const char* pszUtf8)
{
    wchar_t wsz[512];
    const int cwch = MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, wsz, 512);
    char sz[1024];
    const int cb = WideCharToMultiByte(CP_ACP, 0, wsz, cwch, sz, sizeof(sz), NULL, NULL);
    return cb > 0 ? std::string(sz) : std::string();
}

// The process-wide factory pointed at the sample medium for one test.
class SampleMediumFactory
{
public:
    SampleMediumFactory() { g_Factory.Init((vxtest::SourceDir() + "\\sample\\medium\\autorun.inf").c_str(), 1); }
    ~SampleMediumFactory() { g_Factory.Init("vxnosuchdatafile.dat", 0); }
};

}  // namespace

TEST(LanguageMap, LoadLocalizedStringByNameUsesTheProcessWideMap)
{
    PdiResources pdi;
    ASSERT_NE(nullptr, pdi.Get());
    SampleMediumFactory medium;
    CVxCiString s("sentinel");
    ASSERT_TRUE(s.LoadLocalizedString(pdi.Get(), 2, "ENU"));
    EXPECT_EQ("Set Default Printer", s);
    ASSERT_TRUE(s.LoadLocalizedString(pdi.Get(), 1, "esn"));
    EXPECT_EQ(AnsiFromUtf8(u8"¿Desea establecer %1 como impresora predeterminada?"), s.c_str());
    s = "sentinel";
    EXPECT_FALSE(s.LoadLocalizedString(pdi.Get(), 7, "ENU"));  // no such string
    EXPECT_EQ("sentinel", s);
}

namespace
{

// A copy of the PDI whose "<file>.dat" holds the strings: which section answers shows the
// language identifier the loader was given.
class StringsBesideModule
{
public:
    StringsBesideModule() : m_dir("lmdat"), m_h(NULL)
    {
        const std::string sExe = m_dir.File("vxlmcopy.exe");
        EXPECT_TRUE(CopyFileA(vxtest::PdiExePath().c_str(), sExe.c_str(), FALSE));
        EXPECT_TRUE(vxtest::WriteFileBytes(sExe + ".dat",
                                           "[Strings.0x809]\r\n1=British\r\n[Strings.0xC0A]\r\n1=Castellano\r\n"
                                           "[Strings.0x411]\r\n1=Nihongo\r\n[Strings]\r\n1=Plain\r\n"));
        m_h = LoadLibraryExA(sExe.c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
    }
    ~StringsBesideModule()
    {
        if (m_h) FreeLibrary(m_h);
    }
    HMODULE Get() const { return m_h; }

private:
    StringsBesideModule(const StringsBesideModule&);
    StringsBesideModule& operator=(const StringsBesideModule&);
    vxtest::ScratchDir m_dir;
    HMODULE m_h;
};

}  // namespace

// With no name the user's primary language is combined with the sublanguage the medium's map
// gives the user's language: the sample maps ENU first to 0x0409, so take a map of 0x0809.
TEST(LanguageMap, NoNameTakesTheMapsSublanguage)
{
    StringsBesideModule strings;
    ASSERT_NE(nullptr, strings.Get());
    MapFile file(Languages("ENU,ESN,JPN", "ENU"), "[LanguageMap]\r\n0x0809=ENU\r\n0x0C0A=ESN\r\n0x0411=JPN\r\n");
    g_Factory.Init(file.Path(), 1);
    struct Case
    {
        WORD wUser;
        const char* pszText;
    } const cases[] = {{0x0409, "British"}, {0x0C0A, "Castellano"}, {0x0411, "Nihongo"}};
    const Case* pCase = NULL;
    for (const Case& c : cases)
    {
        if (c.wUser == GetUserDefaultLangID()) pCase = &c;
    }
    CVxCiString s;
    ASSERT_TRUE(s.LoadLocalizedString(strings.Get(), 1, "ESN"));
    EXPECT_EQ("Castellano", s);
    ASSERT_TRUE(s.LoadLocalizedString(strings.Get(), 1, "XYZ"));  // unknown: the user's language
    if (pCase)
    {
        EXPECT_EQ(pCase->wUser == 0x0409 ? "Plain" : pCase->pszText, s);
        ASSERT_TRUE(s.LoadLocalizedString(strings.Get(), 1, static_cast<const char*>(NULL)));
        EXPECT_EQ(pCase->pszText, s) << std::hex << GetUserDefaultLangID();
    }
    g_Factory.Init("vxnosuchdatafile.dat", 0);
    if (!pCase) GTEST_SKIP() << "no case for user language " << std::hex << GetUserDefaultLangID();
}

// The two foreign systems the medium serves: the user's language finds its name and string.
TEST(LanguageMap, SpanishSystem)
{
    if (GetUserDefaultLangID() != 0x0C0A) GTEST_SKIP() << "needs LOCALE es_ES.UTF-8";
    EXPECT_EQ(1252u, GetACP());
    PdiResources pdi;
    ASSERT_NE(nullptr, pdi.Get());
    SampleMediumFactory medium;
    EXPECT_STREQ("ESN", g_Factory.Get3LetterLanguage(GetUserDefaultLangID()));
    EXPECT_EQ(0x0C0A, g_Factory.GetLanguageId("ESN"));
    CVxCiString s;
    ASSERT_TRUE(s.LoadLocalizedString(pdi.Get(), 1, static_cast<const char*>(NULL)));
    EXPECT_EQ(std::string("\xBF") + "Desea establecer %1 como impresora predeterminada?", s.c_str());
    ASSERT_TRUE(s.LoadLocalizedString(pdi.Get(), 2, static_cast<const char*>(NULL)));
    EXPECT_EQ("Establecer impresora predeterminada", s);
}

TEST(LanguageMap, JapaneseSystemCodePage932)
{
    if (GetUserDefaultLangID() != 0x0411) GTEST_SKIP() << "needs LOCALE ja_JP.UTF-8";
    EXPECT_EQ(932u, GetACP());
    PdiResources pdi;
    ASSERT_NE(nullptr, pdi.Get());
    SampleMediumFactory medium;
    EXPECT_STREQ("JPN", g_Factory.Get3LetterLanguage(GetUserDefaultLangID()));
    CVxCiString s;
    ASSERT_TRUE(s.LoadLocalizedString(pdi.Get(), 2, static_cast<const char*>(NULL)));
    EXPECT_EQ(AnsiFromUtf8(u8"通常使うプリンタの設定"), s.c_str());
    EXPECT_EQ(std::string("\x92\xca\x8f\xed\x8e\x67\x82\xa4\x83\x76\x83\x8a\x83\x93\x83\x5e\x82\xcc\x90\xdd\x92\xe8"),
              s.c_str());  // the code page's own bytes

    // Names with double-byte characters: a trail byte that looks like a letter stays as it is.
    const std::string sKana = "\x83\x61";  // trail byte 'a'
    MapFile file(Languages((sKana + "x,JPN").c_str(), "JPN"), "[LanguageMap]\r\n0x0411=" + sKana + "x\r\n");
    const CFactory factory(file.Path(), 0);
    EXPECT_EQ(sKana + "X", factory.Get3LetterLanguage(0x0411));
}
