// The medium's flags, installed software, an earlier Glue run and the OS patches, seen from a
// program that sits where the PDI sits on the medium.
#include <gtest/gtest.h>

#include <string>

#include "pdi_medium.h"
#include "support/log_capture.h"
#include "support/medium.h"
#include "vxzglue/vxzglue_utils.h"

namespace
{

const char kModels[] =
    "[Models]\r\nModel A=SectionA\r\nModel B=SectionB\r\n"
    "[SectionA]\r\nDriverName=Model A\r\n[SectionB]\r\nDriverName=Model B\r\n";

std::string Autorun(const std::string& sVersionExtra, const std::string& sSections = "")
{
    return "[Version]\r\nInfrastructureDatabaseList=models.dat\r\nLanguagesInthisCD=ENU,ESN\r\n"
           "DefaultLanguageInThisRelease=ENU\r\nCDGuid={11111111-2222-3333-4444-555555555555}\r\n" +
           sVersionExtra + "[LanguageMap]\r\n0x0409=ENU\r\n0x0C0A=ESN\r\n" + sSections;
}

// The parent half of each case: lay out the medium, then run the child half inside it.
void ExpectChildPasses(const vxtest::ScratchMedium& medium, const char* pszChild,
                       const std::map<std::string, std::string>& environment = {})
{
    const vxtest::ProcessResult result = medium.RunSelfInMedium(pszChild, environment);
    ASSERT_TRUE(result.fFinished) << pszChild;
    EXPECT_EQ(0u, result.dwExitCode) << pszChild;
}

#define CHILD_ONLY() \
    if (!vxtest::InMedium()) GTEST_SKIP() << "runs inside a scratch medium only"

}  // namespace

TEST(InMedium, SilentInstallIs)
{
    CHILD_ONLY();
    EXPECT_EQ(vxtest::Env("VX_EXPECT") == "1", IsSilentInstall("\\..\\..\\"));
}

TEST(PdiMedium, SilentInstallOnlyForYes)
{
    static const struct
    {
        const char* pszValue;
        const char* pszExpected;
    } kCases[] = {{"Yes", "1"}, {"yes", "1"}, {"YES", "1"}, {"1", "0"}, {"true", "0"}, {"", "0"}};
    for (const auto& c : kCases)
    {
        vxtest::ScratchMedium medium(Autorun(std::string("SilentInstall=") + c.pszValue + "\r\n"), kModels);
        ExpectChildPasses(medium, "InMedium.SilentInstallIs", {{"VX_EXPECT", c.pszExpected}});
    }
}

TEST(PdiMedium, NoInformationFileMeansNotSilent)
{
    vxtest::ScratchMedium medium(Autorun("SilentInstall=Yes\r\n"), kModels);
    DeleteFileA((medium.Root() + "\\autorun.inf").c_str());
    ExpectChildPasses(medium, "InMedium.SilentInstallIs", {{"VX_EXPECT", "0"}});
}

TEST(InMedium, SoftwareInstalledIs)
{
    CHILD_ONLY();
    vxtest::HklmRedirect hklm;
    const std::string sGuid = vxtest::Env("VX_GUID");
    if (!sGuid.empty())
    {
        ASSERT_TRUE(vxtest::WriteRegistryString("SOFTWARE\\Quorvane\\Installed Products", sGuid.c_str(), "1"));
    }
    EXPECT_EQ(vxtest::Env("VX_EXPECT") == "1", IsSoftwareInstalled("\\..\\..\\"));
}

TEST(PdiMedium, SoftwareInstalledWhenTheMediumsGuidIsRegistered)
{
    vxtest::ScratchMedium medium(Autorun(""), kModels);
    ExpectChildPasses(medium, "InMedium.SoftwareInstalledIs",
                      {{"VX_GUID", "{11111111-2222-3333-4444-555555555555}"}, {"VX_EXPECT", "1"}});
    ExpectChildPasses(medium, "InMedium.SoftwareInstalledIs",
                      {{"VX_GUID", "{99999999-2222-3333-4444-555555555555}"}, {"VX_EXPECT", "0"}});
    ExpectChildPasses(medium, "InMedium.SoftwareInstalledIs", {{"VX_EXPECT", "0"}});
}

TEST(InMedium, GlueRanBeforeIs)
{
    CHILD_ONLY();
    vxtest::HklmRedirect hklm;
    vxtest::InstallLogCapture capture;
    const std::string sStatus = vxtest::Env("VX_STATUS_B");
    const std::string sKey = ToStd(g_sRegKeyGlue) + "\\Model B";
    ASSERT_TRUE(vxtest::Env("VX_STATUS_TYPE") == "dword" ? vxtest::WriteRegistryDword(sKey, "statuscode", 0)
                                                         : vxtest::WriteRegistryString(sKey, "statuscode", sStatus));
    EXPECT_EQ(vxtest::Env("VX_EXPECT") == "1", HasGlueRunBefore());
    // Model A has no key: its failed read is in the log; Model B's value decides.
    bool fSawModelA = false;
    for (const std::string& sLine : capture.Lines())
    {
        if (sLine.find("RegGetStringValue (SOFTWARE\\Quorvane\\VXZ\\Glue\\Model A, statuscode) Failed") == 0)
            fSawModelA = true;
    }
    EXPECT_TRUE(fSawModelA);
}

TEST(PdiMedium, GlueRanBeforeWhenAModelsStatusIsZero)
{
    vxtest::ScratchMedium medium(Autorun(""), kModels);
    ExpectChildPasses(medium, "InMedium.GlueRanBeforeIs", {{"VX_STATUS_B", "0"}, {"VX_EXPECT", "1"}});
    ExpectChildPasses(medium, "InMedium.GlueRanBeforeIs", {{"VX_STATUS_B", "2"}, {"VX_EXPECT", "0"}});
    ExpectChildPasses(medium, "InMedium.GlueRanBeforeIs", {{"VX_STATUS_B", "zero"}, {"VX_EXPECT", "1"}});
    ExpectChildPasses(medium, "InMedium.GlueRanBeforeIs", {{"VX_STATUS_TYPE", "dword"}, {"VX_EXPECT", "0"}});
}

TEST(InMedium, InstallPatches)
{
    CHILD_ONLY();
    vxtest::InstallLogCapture capture;
    EXPECT_TRUE(InstallDriverRelatedPatches());
    const std::vector<std::string> lines = capture.Lines();
    const std::string sExpected = vxtest::Env("VX_EXPECT_QUALIFIER");
    bool fSawQualifier = false;
    for (const std::string& sLine : lines)
    {
        if (sLine == "qualifierWithLangAppended=" + sExpected) fSawQualifier = true;
    }
    EXPECT_TRUE(fSawQualifier) << sExpected;
}

TEST(PdiMedium, PatchesFromTheLanguageQualifiedListInOrder)
{
    // This runs as Windows XP with its service pack 3 (Wine's winxp) on an English system.
    if (GetSystemDefaultLangID() != 0x0409) GTEST_SKIP() << "expects an English system";
    vxtest::ScratchMedium medium(Autorun("", "[OSPatches.501.3.0x409]\r\n1=Patches\\FIX1.exe /Q\r\n2=patches\\fix2.exe\r\n"
                                             "[OSPatches.501.3]\r\n1=patches\\other.exe\r\n"
                                             "[OSPatches]\r\n1=patches\\plain.exe\r\n"),
                                 kModels);
    ASSERT_TRUE(medium.AddRecorder("patches\\fix1.exe"));
    ASSERT_TRUE(medium.AddRecorder("patches\\fix2.exe"));
    ASSERT_TRUE(medium.AddRecorder("patches\\other.exe"));
    ExpectChildPasses(medium, "InMedium.InstallPatches",
                      {{"VX_RECORD_FILE", medium.RecordFile()}, {"VX_EXPECT_QUALIFIER", ".501.3.0x409"}});
    const std::vector<std::string> runs = medium.RecordedRuns();
    ASSERT_EQ(2u, runs.size());
    // The entry is started in lower case, below the program's folder.
    EXPECT_EQ("ran fix1.exe | " + medium.PdiFolder() + "\\..\\..\\patches\\fix1.exe /q", runs[0]);
    EXPECT_EQ("ran fix2.exe | " + medium.PdiFolder() + "\\..\\..\\patches\\fix2.exe", runs[1]);
}

TEST(PdiMedium, PatchesFromTheSystemListWhenNoLanguageListExists)
{
    if (GetSystemDefaultLangID() != 0x0409) GTEST_SKIP() << "expects an English system";
    vxtest::ScratchMedium medium(Autorun("", "[OSPatches.501.3]\r\n1=patches\\other.exe\r\n2=patches\\missing.exe\r\n"
                                             "3=patches\\fix1.exe\r\n"),
                                 kModels);
    ASSERT_TRUE(medium.AddRecorder("patches\\other.exe"));
    ASSERT_TRUE(medium.AddRecorder("patches\\fix1.exe"));
    // A patch that cannot be started does not stop the loop.
    ExpectChildPasses(medium, "InMedium.InstallPatches",
                      {{"VX_RECORD_FILE", medium.RecordFile()}, {"VX_EXPECT_QUALIFIER", ".501.3.0x409"}});
    const std::vector<std::string> runs = medium.RecordedRuns();
    ASSERT_EQ(2u, runs.size());
    EXPECT_EQ(0u, runs[0].find("ran other.exe | "));
    EXPECT_EQ(0u, runs[1].find("ran fix1.exe | "));
}

TEST(PdiMedium, SpanishSystemUsesTheMapsLanguage)
{
    if (GetSystemDefaultLangID() != 0x0C0A) GTEST_SKIP() << "needs a Spanish system";
    // The medium's map names the system's 0x0C0A Spanish but gives Spanish the id 0x040A (its
    // first entry): the patches are looked up under the map's id.
    std::string sAutorun = Autorun("", "[OSPatches.501.3.0x40a]\r\n1=patches\\fix1.exe\r\n"
                                       "[OSPatches.501.3.0xc0a]\r\n1=patches\\other.exe\r\n");
    const std::string sSystemEntry = "0x0C0A=ESN";
    sAutorun.replace(sAutorun.find(sSystemEntry), sSystemEntry.size(), "0x040A=ESN\r\n0x0C0A=ESN");
    vxtest::ScratchMedium medium(sAutorun, kModels);
    ASSERT_TRUE(medium.AddRecorder("patches\\fix1.exe"));
    ASSERT_TRUE(medium.AddRecorder("patches\\other.exe"));
    ExpectChildPasses(medium, "InMedium.InstallPatches",
                      {{"VX_RECORD_FILE", medium.RecordFile()}, {"VX_EXPECT_QUALIFIER", ".501.3.0x40a"}});
    ASSERT_EQ(1u, medium.RecordedRuns().size());
    EXPECT_EQ(0u, medium.RecordedRuns()[0].find("ran fix1.exe | "));
}

TEST(PdiMedium, Windows98HasNoServicePackQualifier)
{
    if (vxtest::WineRelease() != "win98") GTEST_SKIP() << "runs as Windows 98";
    vxtest::ScratchMedium medium(Autorun("", "[OSPatches.410.0x409]\r\n1=patches\\fix1.exe\r\n"), kModels);
    ASSERT_TRUE(medium.AddRecorder("patches\\fix1.exe"));
    ExpectChildPasses(medium, "InMedium.InstallPatches",
                      {{"VX_RECORD_FILE", medium.RecordFile()}, {"VX_EXPECT_QUALIFIER", ".410.0x409"}});
    EXPECT_EQ(1u, medium.RecordedRuns().size());
}
