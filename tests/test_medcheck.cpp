// The medium checker: each damaged medium yields exactly its finding at its place, and the
// patches it predicts are the ones the real PDI runs on the same medium (its checks called
// in-process); the program as it ships gives its exit codes and output.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "checker.h"
#include "support/flow_medium.h"
#include "support/test_support.h"

namespace
{

const char kAutorun[] =
    "[Version]\r\n"                                       // 1
    "Manufacturer=Quorvane\r\n"                           // 2
    "CDGuid={0F0E0D0C-1111-2222-3333-444455556666}\r\n"   // 3
    "DIVISION=ABC\r\n"                                    // 4
    "LAST_IO_REVISION=7\r\n"                              // 5
    "SilentInstall=No\r\n"                                // 6
    "InfrastructureDatabaseList=models.dat\r\n"           // 7
    "LanguagesInthisCD=ENU,ESN\r\n"                       // 8
    "DefaultLanguageInThisRelease=ENU\r\n"                // 9
    "[LanguageMap]\r\n"                                   // 10
    "0x0409=ENU\r\n"                                      // 11
    "0x0C0A=ESN\r\n"                                      // 12
    "[OSPatches]\r\n"                                     // 13
    "1=patches\\fix1.exe /q\r\n";                         // 14

const char kModels[] =
    "[Models]\r\n"                                        // 1
    "Quorvane Flow Model=Flow1234\r\n"                    // 2
    "[Flow1234]\r\n"                                      // 3
    "DriverName=Quorvane Flow Model\r\n"                  // 4
    "asktomakedefaultprinter=Yes\r\n"                     // 5
    "[INFList.1]\r\nflow9x.inf=\r\n"                      // 6, 7
    "[INFList.2]\r\nflownt.inf=\r\n";                     // 8, 9

std::string MedCheckExe() { return vxtest::WinPathFromUnix(vxtest::Env("VX_MEDCHECK_EXE")); }

vxtest::ConsoleResult RunMedCheck(const std::string& sFolder, const std::string& sOptions)
{
    return vxtest::RunConsole("\"" + MedCheckExe() + "\" \"" + sFolder + "\" " + sOptions);
}

// The checker's findings on a medium, as the program gets them.
medcheck::FindingList Check(const std::string& sFolder, const std::string& sRelease, const std::string& sLanguage)
{
    medcheck::FindingList findings;
    medcheck::Medium medium;
    std::string sProblem;
    EXPECT_TRUE(medcheck::CheckMediumFolder(sFolder, sRelease, sLanguage, medium, findings, &sProblem)) << sProblem;
    return findings;
}

// "file:line: severity [code]" of every warning and error.
std::vector<std::string> Faults(const medcheck::FindingList& findings)
{
    std::vector<std::string> faults;
    for (const medcheck::Finding& finding : findings.All())
    {
        if (finding.eSeverity == medcheck::eNote) continue;
        faults.push_back(medcheck::Place(finding) + ": " + medcheck::SeverityName(finding.eSeverity) + " [" +
                         finding.sCode + "]");
    }
    return faults;
}

// The commands a release and language run, as the checker predicts them, in order.
std::vector<std::string> PredictedPatches(const medcheck::FindingList& findings)
{
    std::vector<std::string> patches;
    for (const medcheck::Finding& finding : findings.All())
    {
        const size_t iOpen = finding.sText.find(" runs \"");
        if (finding.sCode != "patch-command" || iOpen == std::string::npos) continue;
        patches.push_back(finding.sText.substr(iOpen + 7, finding.sText.size() - iOpen - 8));
    }
    return patches;
}

std::string Replaced(std::string sText, const std::string& sFind, const std::string& sReplacement)
{
    const size_t i = sText.find(sFind);
    if (i != std::string::npos) sText.replace(i, sFind.size(), sReplacement);
    return sText;
}

}  // namespace

// By default the errors and warnings come first, then the table of what the PDI does per
// release and language, then the counts: the sample's output fits on one screen. --verbose
// adds the notes.
TEST(MedCheck, DefaultOutputIsFindingsTableAndCounts)
{
    const std::string sSample = vxtest::WinPathFromUnix(vxtest::Env("VX_BINARY_DIR")) + "\\sample\\medium";
    const vxtest::ConsoleResult result = RunMedCheck(sSample, "");
    EXPECT_EQ(0u, result.dwExitCode) << result.sOutput;
    const std::vector<std::string> lines = result.Lines();
    ASSERT_GE(lines.size(), 3u) << result.sOutput;
    EXPECT_LE(lines.size(), 25u) << result.sOutput;
    for (const std::string& sLine : lines) EXPECT_LE(sLine.size(), 80u) << sLine;
    EXPECT_EQ("Patches and the default-printer question per release and language:", lines[0]);
    EXPECT_EQ("           0x0409 0x0809 0x0C0A 0x040A 0x0411", lines[1]);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  winxp    [OSPatches] 2, asks 1/2"), lines.end())
        << result.sOutput;
    EXPECT_EQ(0u, lines.back().find("0 error(s), 0 warning(s), ")) << lines.back();
    EXPECT_NE(std::string::npos, lines.back().find(" note(s) (--verbose shows them)")) << lines.back();

    const vxtest::ConsoleResult verbose = RunMedCheck(sSample, "--verbose");
    EXPECT_NE(std::string::npos, verbose.sOutput.find(": note [patch-command] winxp 0x0C0A: patch 1 runs")) << verbose.sOutput;
    EXPECT_EQ(lines.back().substr(0, lines.back().find(" (")), verbose.Lines().back());

    // Every release reads the plain list; the question is asked on Windows 2000 and XP only.
    EXPECT_EQ(std::vector<std::string>({"patches\\fix1.exe /quiet", "patches\\fix2.exe /norestart"}),
              PredictedPatches(Check(sSample, "winxp", "0x0C0A")));

    vxtest::ScratchMedium damaged(Replaced(kAutorun, "SilentInstall=No\r\n", "SilentInstall=No\r\nSilentInstall=No\r\n"), kModels);
    ASSERT_TRUE(damaged.AddRecorder("patches\\fix1.exe"));
    ASSERT_TRUE(damaged.AddRecorder("vxzsetup.exe"));
    const vxtest::ConsoleResult warned = RunMedCheck(damaged.Root(), "--release winxp");
    EXPECT_EQ(1u, warned.dwExitCode);
    ASSERT_GE(warned.Lines().size(), 2u);
    EXPECT_EQ(0u, warned.Lines()[0].find("autorun.inf:7: warning [key-repeated] ")) << warned.sOutput;
    EXPECT_EQ("Patches and the default-printer question per release and language:", warned.Lines()[1]);
}

TEST(MedCheck, CleanScratchMediumAndJson)
{
    vxtest::ScratchMedium medium(kAutorun, kModels);
    ASSERT_TRUE(medium.AddRecorder("patches\\fix1.exe"));
    ASSERT_TRUE(medium.AddRecorder("vxzsetup.exe"));
    const vxtest::ConsoleResult result = RunMedCheck(medium.Root(), "--release win2k --language 0x0409 --json");
    ASSERT_TRUE(result.fFinished);
    EXPECT_EQ(0u, result.dwExitCode) << result.sOutput;
    EXPECT_NE(std::string::npos, result.sOutput.find("\"errors\": 0, \"warnings\": 0"));
    EXPECT_NE(std::string::npos,
              result.sOutput.find("{\"file\": \"models.dat\", \"line\": 3, \"severity\": \"note\", \"code\": "
                                  "\"question-text\", \"release\": \"win2k\", \"language\": \"0x0409\", \"text\": "
                                  "\"the question reads \\\"Do you want to set the Quorvane Flow Model as your "
                                  "default printer?\\\"\"}"))
        << result.sOutput;
}

namespace
{

struct DamageCase
{
    std::string sName;
    std::string sFile;  // autorun.inf or models.dat: sFind in it becomes sReplacement
    std::string sFind;
    std::string sReplacement;
    std::string sRemove;  // a file of the clean medium left out
    std::string sFault;   // the one finding expected
    int nExitCode;
};

std::vector<DamageCase> DamageCases()
{
    const std::string sLong = "Note=" + std::string(1195, 'x');  // 1200 bytes: 999 and 201
    const std::string sBinary = std::string("; a stray block ") + '\0' + "\x01\x02 of bytes\r\n[Models]";
    return {
        {"section of a service pack XP never had", "autorun.inf", "[OSPatches]",
         "[OSPatches.501.4]\r\n1=patches\\fix1.exe\r\n[OSPatches]", "", "autorun.inf:13: error [patch-section-unused]", 2},
        {"key given twice", "autorun.inf", "SilentInstall=No\r\n", "SilentInstall=No\r\nSilentInstall=Yes\r\n", "",
         "autorun.inf:7: warning [key-repeated]", 1},
        {"line split at 999 bytes", "autorun.inf", "Manufacturer=Quorvane\r\n", "Manufacturer=Quorvane\r\n" + sLong + "\r\n",
         "", "autorun.inf:3: warning [line-split]", 1},
        {"patch program not on the medium", "autorun.inf", "1=patches\\fix1.exe /q", "1=patches\\fix9.exe /q", "",
         "autorun.inf:14: error [patch-program-missing]", 2},
        {"map names a language the medium lacks", "autorun.inf", "0x0C0A=ESN\r\n", "0x0C0A=ESN\r\n0x040C=FRA\r\n", "",
         "autorun.inf:13: warning [language-absent]", 1},
        {"medium language without a map entry", "autorun.inf", "LanguagesInthisCD=ENU,ESN", "LanguagesInthisCD=ENU,ESN,JPN",
         "", "autorun.inf:8: warning [language-unmapped]", 1},
        {"yes with a trailing blank", "models.dat", "asktomakedefaultprinter=Yes", "asktomakedefaultprinter=\"yes \"", "",
         "models.dat:5: warning [ask-unclear]", 1},
        {"header with an empty name", "autorun.inf", "[OSPatches]", "[ ]\r\nLost=1\r\n[OSPatches]", "",
         "autorun.inf:13: warning [header-empty]", 1},
        {"line without =", "autorun.inf", "DIVISION=ABC", "DIVISION ABC\r\nDIVISION=ABC", "",
         "autorun.inf:4: warning [line-ignored]", 1},
        {"line before the first header", "autorun.inf", "[Version]", "Manufacturer=Nobody\r\n[Version]", "",
         "autorun.inf:1: warning [line-ignored]", 1},
        {"section given twice", "models.dat", "[INFList.1]", "[flow1234]\r\nUSB=1\r\n[INFList.1]", "",
         "models.dat:6: warning [section-repeated]", 1},
        {"lone double quote", "autorun.inf", "Manufacturer=Quorvane", "Manufacturer=\"Quorvane", "",
         "autorun.inf:2: warning [quote-unpaired]", 1},
        {"model file named but missing", "autorun.inf", "=models.dat", "=models.dat,extra.dat", "",
         "autorun.inf:7: error [model-file-missing]", 2},
        {"information file missing", "autorun.inf", "", "", "autorun.inf", "autorun.inf: error [file-missing]", 2},
        {"installer missing", "autorun.inf", "", "", "vxzsetup.exe", "medium: error [installer-missing]", 2},
        {"no product signal", "autorun.inf", "DIVISION=ABC\r\nLAST_IO_REVISION=7\r\n", "", "",
         "autorun.inf:1: error [signal-missing]", 2},
        {"model without drivername", "models.dat", "DriverName=Quorvane Flow Model\r\n", "DeviceModel=Quorvane Flow Model\r\n",
         "", "models.dat:3: warning [model-no-driver]", 1},
        {"model defined twice", "models.dat", "[Flow1234]",
         "Again=Flow5678\r\n[Flow5678]\r\nDriverName=Quorvane Flow Model\r\n[Flow1234]", "",
         "models.dat:3: warning [model-repeated]", 1},
        {"binary bytes", "models.dat", "[Models]", sBinary, "", "models.dat:1: warning [file-binary]", 1},
    };
}

}  // namespace

TEST(MedCheck, EachDamagedMediumYieldsItsFinding)
{
    for (const DamageCase& damage : DamageCases())
    {
        SCOPED_TRACE(damage.sName);
        const std::string sAutorun =
            damage.sFile == "autorun.inf" ? Replaced(kAutorun, damage.sFind, damage.sReplacement) : kAutorun;
        const std::string sModels =
            damage.sFile == "models.dat" ? Replaced(kModels, damage.sFind, damage.sReplacement) : kModels;
        ASSERT_TRUE(damage.sFind.empty() || sAutorun != kAutorun || sModels != kModels) << "the damage was not applied";
        vxtest::ScratchMedium medium(sAutorun, sModels);
        ASSERT_TRUE(medium.AddRecorder("patches\\fix1.exe"));
        ASSERT_TRUE(medium.AddRecorder("vxzsetup.exe"));
        if (!damage.sRemove.empty())
        {
            ASSERT_TRUE(DeleteFileA((medium.Root() + "\\" + damage.sRemove).c_str()));
        }
        const medcheck::FindingList findings = Check(medium.Root(), "winxp", "0x0409");
        EXPECT_EQ(std::vector<std::string>({damage.sFault}), Faults(findings));
        EXPECT_EQ(damage.nExitCode, findings.ExitCode());
    }
}

namespace
{

// The ANSI text as an editor saves it in UTF-16, each character a pair of bytes.
std::string Utf16(const std::string& sText, bool fLittleEndian, bool fMark)
{
    std::string sBytes = fMark ? (fLittleEndian ? "\xFF\xFE" : "\xFE\xFF") : "";
    for (char c : sText) sBytes += fLittleEndian ? std::string(1, c) + '\0' : std::string(1, '\0') + c;
    return sBytes;
}

struct EncodingCase
{
    const char* pszName;
    bool fModels;           // the model file is saved so, else autorun.inf
    std::string (*pfnSave)(const std::string& sText);
    std::string sFault;     // the one finding expected, "" for none
    const char* pszSays;    // what its text names
    int nExitCode;
};

}  // namespace

// A file in an encoding the reader does not read gets one finding on its first line that names
// the encoding and says how to mend it, and nothing of what follows from it.
TEST(MedCheck, EachEncodingIsNamedInOneFinding)
{
    const EncodingCase cases[] = {
        {"UTF-16 little-endian", false, [](const std::string& s) { return Utf16(s, true, true); },
         "autorun.inf:1: error [file-encoding]", "UTF-16 (little-endian, with a byte-order mark)", 2},
        {"UTF-16 little-endian without a mark", false, [](const std::string& s) { return Utf16(s, true, false); },
         "autorun.inf:1: error [file-encoding]", "UTF-16 (little-endian, without a byte-order mark)", 2},
        {"UTF-16 big-endian", false, [](const std::string& s) { return Utf16(s, false, true); },
         "autorun.inf:1: error [file-encoding]", "UTF-16 (big-endian, with a byte-order mark)", 2},
        {"UTF-16 big-endian without a mark", false, [](const std::string& s) { return Utf16(s, false, false); },
         "autorun.inf:1: error [file-encoding]", "UTF-16 (big-endian, without a byte-order mark)", 2},
        {"UTF-8 mark before a header", false, [](const std::string& s) { return "\xEF\xBB\xBF" + s; },
         "autorun.inf:1: error [file-encoding]", "UTF-8 byte-order mark (bytes EF BB BF): the reader takes them for text "
                                                 "of line 1, so [Version] is no section header", 2},
        {"UTF-8 mark before a comment", false, [](const std::string& s) { return "\xEF\xBB\xBF; saved by an editor\r\n" + s; },
         "autorun.inf:1: warning [file-encoding]", "which it ignores anyway; save the file as ANSI", 1},
        {"UTF-8 characters in a value", false,
         [](const std::string& s) { return Replaced(s, "=Quorvane", "=Quorvane Soci\xC3\xA9t\xC3\xA9"); },
         "autorun.inf:1: warning [file-encoding]", "line 2 reads \"Manufacturer=Quorvane Soci\xC3\xA9t\xC3\xA9\"", 1},
        {"UTF-8 characters in a comment only", false,
         [](const std::string& s) { return "; Soci\xC3\xA9t\xC3\xA9 Quorvane\r\n" + s; }, "", "", 0},
        {"model file in UTF-16", true, [](const std::string& s) { return Utf16(s, true, true); },
         "models.dat:1: error [file-encoding]", "UTF-16", 2},
        {"model file with a UTF-8 mark", true, [](const std::string& s) { return "\xEF\xBB\xBF" + s; },
         "models.dat:1: error [file-encoding]", "[Models] is no section header", 2},
    };
    for (const EncodingCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        vxtest::ScratchMedium medium(c.fModels ? kAutorun : c.pfnSave(kAutorun), c.fModels ? c.pfnSave(kModels) : kModels);
        ASSERT_TRUE(medium.AddRecorder("patches\\fix1.exe"));
        ASSERT_TRUE(medium.AddRecorder("vxzsetup.exe"));
        const medcheck::FindingList findings = Check(medium.Root(), "winxp", "0x0409");
        EXPECT_EQ(c.sFault.empty() ? std::vector<std::string>() : std::vector<std::string>({c.sFault}), Faults(findings));
        EXPECT_EQ(c.nExitCode, findings.ExitCode());
        for (const medcheck::Finding& finding : findings.All())
        {
            if (finding.sCode != "file-encoding") continue;
            EXPECT_NE(std::string::npos, finding.sText.find(c.pszSays)) << finding.sText;
            EXPECT_NE(std::string::npos, finding.sText.find("save the file as ANSI, without a byte-order mark")) << finding.sText;
        }
    }
}

TEST(MedCheck, MissingFolderIsAFinding)
{
    const vxtest::ConsoleResult result = RunMedCheck("C:\\no\\such\\medium", "--json");
    ASSERT_TRUE(result.fFinished);
    EXPECT_EQ(2u, result.dwExitCode);
    EXPECT_NE(std::string::npos, result.sOutput.find("\"code\": \"medium-missing\"")) << result.sOutput;
}

namespace
{

// The sections differ per release, service pack and language, with Spanish under the map's
// own identifier for it.
const char kQualifiedPatches[] =
    "[OSPatches.410]\r\n1=patches\\p98.exe /q\r\n"
    "[OSPatches.500.4]\r\n1=patches\\p2k.exe\r\n"
    "[OSPatches.500.4.0xc0a]\r\n1=patches\\p2kes.exe\r\n2=patches\\common.exe /Q\r\n"
    "[OSPatches.501.3]\r\n1=patches\\pxp.exe\r\n"
    "[OSPatches.501.3.0x409]\r\n1=patches\\pxpen.exe\r\n"
    "[OSPatches.501.3.0xc0a]\r\n1=patches\\PXPes.exe /S\r\n";

// The patches the medium's PDI started as the given release, in this test's locale, as entries relative
// to the medium's root (the recorder logs "ran <name> | <command line>").
std::vector<std::string> PatchesThePdiRuns(vxtest::FlowMedium& flow, const char* pszRelease)
{
    const vxtest::ScratchMedium& medium = flow.Medium();
    DeleteFileA(medium.RecordFile().c_str());
    EXPECT_TRUE(flow.RunAs(pszRelease, "", {}, 120000).fFinished);
    const std::string sPrefix = medium.PdiFolder() + "\\..\\..\\";
    std::vector<std::string> patches;
    for (const std::string& sRun : medium.RecordedRuns())
    {
        const size_t iCommand = sRun.find(" | ");
        if (iCommand == std::string::npos || sRun.find("ran vxzsetup.exe") == 0) continue;
        const std::string sCommandLine = sRun.substr(iCommand + 3);
        patches.push_back(sCommandLine.compare(0, sPrefix.size(), sPrefix) == 0 ? sCommandLine.substr(sPrefix.size())
                                                                               : sCommandLine);
    }
    return patches;
}

}  // namespace

// Registered once per locale: the PDI takes the system language from the locale Wine starts
// it in, which is this test's.
TEST(MedCheckAgreement, PredictsThePatchesThePdiRuns)
{
    const WORD wSystem = GetSystemDefaultLangID();
    if (wSystem != 0x0409 && wSystem != 0x0C0A) GTEST_SKIP() << "needs an English or a Spanish system";
    std::string sAutorun = Replaced(kAutorun, "SilentInstall=No", "SilentInstall=Yes");
    sAutorun = Replaced(sAutorun, "[OSPatches]\r\n1=patches\\fix1.exe /q\r\n", kQualifiedPatches);
    vxtest::FlowMedium flow;  // the Glue's keys and events, for the PDI's runs
    vxtest::ScratchMedium& medium = flow.Medium();
    ASSERT_TRUE(medium.WriteFile("autorun.inf", sAutorun));
    ASSERT_TRUE(medium.WriteFile("models.dat", Replaced(kModels, "printer=Yes", "printer=No")));
    for (const char* pszPatch : {"p98", "p2k", "p2kes", "common", "pxp", "pxpen", "pxpes", "vxzsetup"})
    {
        const std::string sPath = std::string(pszPatch) == "vxzsetup" ? "vxzsetup.exe"
                                                                      : std::string("patches\\") + pszPatch + ".exe";
        ASSERT_TRUE(medium.AddRecorder(sPath));
    }
    ASSERT_TRUE(flow.RecordGlueInstall());

    struct Case
    {
        const char* pszRelease;
        WORD wLanguage;
        const char* pszLanguage;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"win98", 0x0409, "0x0409", {"patches\\p98.exe /q"}},
        {"win98", 0x0C0A, "0x0C0A", {"patches\\p98.exe /q"}},
        {"win2k", 0x0409, "0x0409", {"patches\\p2k.exe"}},
        {"win2k", 0x0C0A, "0x0C0A", {"patches\\p2kes.exe", "patches\\common.exe /q"}},
        {"winxp", 0x0409, "0x0409", {"patches\\pxpen.exe"}},
        {"winxp", 0x0C0A, "0x0C0A", {"patches\\pxpes.exe /s"}},
    };
    unsigned nCompared = 0;
    for (const Case& c : cases)
    {
        if (c.wLanguage != wSystem) continue;
        ++nCompared;
        SCOPED_TRACE(std::string(c.pszRelease) + " " + c.pszLanguage);
        const std::vector<std::string> predicted = PredictedPatches(Check(medium.Root(), c.pszRelease, c.pszLanguage));
        const std::vector<std::string> ran = PatchesThePdiRuns(flow, c.pszRelease);
        EXPECT_EQ(ran, predicted);
        // Pinned as well, so that a checker and a PDI that both ran nothing would not agree.
        EXPECT_EQ(c.expected, predicted);
    }
    EXPECT_EQ(3u, nCompared);
}
