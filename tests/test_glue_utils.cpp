#include <gtest/gtest.h>

#include <string>

#include "support/log_capture.h"
#include "vxzglue/vxzglue_utils.h"

namespace
{

struct CmdLineCase
{
    const char* pszLine;
    const char* pszKey;
    bool fFound;
    const char* pszValue;      // when found
    const char* pszCondition;  // the one condition text logged, or null for none
};

const CmdLineCase kCmdLineCases[] = {
    {"-printerdriver=Model 1234 Series -product=Model -port=USB001", "printerdriver", true, "Model 1234 Series", NULL},
    {"-printerdriver=Model 1234 Series -product=Model -port=USB001", "product", true, "Model", NULL},
    {"-printerdriver=Model 1234 Series -product=Model -port=USB001", "port", true, "USB001", NULL},
    {"-port=LPT1:", "port", true, "LPT1:", NULL},
    {"-xport=1 -port=LPT1:", "port", true, "1", NULL},  // the key may end a longer word
    {"-a=1", "b", false, NULL, NULL},                   // absent: no log line
    {"-product=", "product", false, NULL, "isCmdLine >= sCmdLine.length()"},
    {"-product=   ", "product", false, NULL, "isCmdLine == CVxCiString::npos"},
    {"a=1 b=2", "a", false, NULL, "isValue == CVxCiString::npos"},
    {"-a= -b=1", "a", true, "", NULL},
    {"PRINTERDRIVER=X y", "printerdriver", true, "X y", NULL},
    {"-port=LPT1:   ", "port", true, "LPT1:   ", NULL},           // the last value keeps its blanks
    {"-port=LPT1:   -a=1", "port", true, "LPT1:", NULL},          // others lose them
    {"-p=C:\\Program Files\\x-y -q=2", "p", true, "C:\\Program Files\\x-y", NULL},  // only the last dash ends it
    {"-p=  lead", "p", true, "lead", NULL},
    {"", "p", false, NULL, "sCmdLine.empty()"},
    {"-p=1", "", false, NULL, "sKey.empty()"},
};

}  // namespace

TEST(FindCmdLineVar, Grammar)
{
    vxtest::InstallLogCapture capture;
    for (size_t i = 0; i < sizeof(kCmdLineCases) / sizeof(kCmdLineCases[0]); ++i)
    {
        const CmdLineCase& c = kCmdLineCases[i];
        capture.Clear();
        CVxCiString sValue = "sentinel";
        EXPECT_EQ(c.fFound, FindCmdLineVar(c.pszLine, c.pszKey, &sValue)) << i;
        if (c.fFound)
            EXPECT_EQ(std::string(c.pszValue), ToStd(sValue)) << i;
        else
            EXPECT_EQ(CVxCiString("sentinel"), sValue) << i;  // untouched on failure
        std::vector<std::string> conditions = capture.Conditions();
        if (c.pszCondition)
        {
            ASSERT_EQ(1u, conditions.size()) << i;
            EXPECT_EQ(c.pszCondition, conditions[0]) << i;
        }
        else
        {
            EXPECT_TRUE(conditions.empty()) << i << ": " << (conditions.empty() ? "" : conditions[0]);
        }
    }
}

TEST(FindCmdLineVar, ValueKeepsTheCaseItWasWrittenIn)
{
    CVxCiString sValue;
    ASSERT_TRUE(FindCmdLineVar("PRINTERDRIVER=MiXeD", "printerdriver", &sValue));
    EXPECT_EQ(std::string("MiXeD"), ToStd(sValue));
}

TEST(FindCmdLineVar, NullOutputIsReported)
{
    vxtest::InstallLogCapture capture;
    EXPECT_FALSE(FindCmdLineVar("-a=1", "a", NULL));
    ASSERT_EQ(1u, capture.Conditions().size());
    EXPECT_EQ("psValue == 0", capture.Conditions()[0]);
}

TEST(FindCmdLineVar, VeryLongValuesAndHighBytes)
{
    const std::string sLong(70000, 'v');
    CVxCiString sValue;
    ASSERT_TRUE(FindCmdLineVar(("-a=" + sLong + " -b=1").c_str(), "a", &sValue));
    EXPECT_EQ(sLong.size(), sValue.size());
    ASSERT_TRUE(FindCmdLineVar("-a=\xe3\x83\x86\x83\x58\x83\x67 -b=1", "a", &sValue));
    EXPECT_EQ(std::string("\xe3\x83\x86\x83\x58\x83\x67"), ToStd(sValue));
}

TEST(GetParameterValue, CommandLineFirstAndItsChecks)
{
    vxtest::InstallLogCapture capture;
    CVxCiString sValue;
    EXPECT_TRUE(GetParameterValue("-port=USB001", "", "port", &sValue));
    EXPECT_EQ(CVxCiString("USB001"), sValue);
    EXPECT_TRUE(IsParameterPresent("-port=USB001", "", "port"));
    EXPECT_TRUE(capture.Conditions().empty());

    static const struct
    {
        const char* pszLine;
        const char* pszName;
        bool fNullOut;
        const char* pszCondition;
    } kCases[] = {
        {"-port=USB001", "", false, "sParameterName.empty()"},
        {"-port=USB001", "port", true, "psParameterValue == 0"},
        {"-port=USB001", "statuscode", false, "sDriverName.empty()"},
        {"-a= -port=1", "a", false, "sParameterValue.empty()"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        capture.Clear();
        EXPECT_FALSE(GetParameterValue(kCases[i].pszLine, "", kCases[i].pszName, kCases[i].fNullOut ? NULL : &sValue))
            << i;
        std::vector<std::string> conditions = capture.Conditions();
        ASSERT_EQ(1u, conditions.size()) << i;
        EXPECT_EQ(kCases[i].pszCondition, conditions[0]) << i;
    }
}

TEST(IsFilePresent, FilesAndFolders)
{
    vxtest::ScratchDir dir("present");
    EXPECT_FALSE(IsFilePresent(""));
    EXPECT_FALSE(IsFilePresent((dir.Path() + "\\missing.txt").c_str()));
    EXPECT_FALSE(IsFilePresent((dir.Path() + "\\missing\\").c_str()));
    // An empty folder still matches "*": its "." entry.
    EXPECT_TRUE(IsFilePresent((dir.Path() + "\\").c_str()));
    EXPECT_TRUE(IsFilePresent(dir.Path().c_str()));
    ASSERT_TRUE(vxtest::WriteFileBytes(dir.File("x.txt"), "x"));
    EXPECT_TRUE(IsFilePresent(dir.File("x.txt").c_str()));
    EXPECT_TRUE(IsFilePresent(dir.File("X.TXT").c_str()));
}

TEST(GetOsType, MatchesTheRelease)
{
    // Wine reports the configured release to this program; "" is the prefix default, XP.
    static const struct
    {
        const char* pszRelease;
        OsType eExpected;
    } kReleases[] = {{"", eOsWinXP},       {"win95", eOsWin95},   {"win98", eOsWin98},
                     {"winme", eOsWinMe},  {"nt40", eOsWinNT4},   {"win2k", eOsWin2000},
                     {"winxp", eOsWinXP},  {"win2003", eOsWinXP}, {"vista", eOsWin2000}};
    const std::string sRelease = vxtest::WineRelease();
    for (const auto& r : kReleases)
    {
        if (sRelease != r.pszRelease) continue;
        vxtest::InstallLogCapture capture;
        EXPECT_EQ(r.eExpected, GetOsType()) << sRelease;
        EXPECT_TRUE(capture.Conditions().empty());
        return;
    }
    FAIL() << "no expectation for release " << sRelease;
}

TEST(Vocabulary, CompositeKeysAndFileNames)
{
    EXPECT_EQ(std::string("SOFTWARE\\Quorvane\\VXZ\\Glue"), ToStd(g_sRegKeyGlue));
    EXPECT_EQ(std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"), ToStd(g_sRegKeyUninstall));
    EXPECT_EQ(std::string("vxfpdi14.exe"), ToStd(g_sFilePdiExe));
    EXPECT_EQ(g_sFileGlueExe, g_sFileGlueExeCopy);
    EXPECT_EQ(std::string("VXZ_Installation_Initializing"), ToStd(g_sMutexInstallationInitializing));
    EXPECT_EQ(std::string("statuscode"), ToStd(g_sSwitchStatusCode));
}

TEST(Vocabulary, EveryConstantHasItsExactValue)
{
    static const struct
    {
        const CVxCiString* psConstant;
        const char* pszValue;
    } kVocabulary[] = {
    {&g_sRegKeySoftware, "SOFTWARE"},
    {&g_sRegKeyVendor, "SOFTWARE\\Quorvane"},
    {&g_sRegKeyVxz, "SOFTWARE\\Quorvane\\VXZ"},
    {&g_sRegKeyGlue, "SOFTWARE\\Quorvane\\VXZ\\Glue"},
    {&g_sRegKeyCoInstaller, "SOFTWARE\\Quorvane\\VXZ\\Glue\\CoInstaller"},
    {&g_sRegKeyCurrentVersion, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"},
    {&g_sRegKeyGlueLegacy, "SOFTWARE\\Quorvane\\VXZ\\Glue\\Legacy"},
    {&g_sRegKeyUninstall, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {&g_sRegKeyOle, "SOFTWARE\\Microsoft\\OLE"},
    {&g_sRegKeyRun, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {&g_sRegKeyRunServices, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {&g_sRegKeyNetworkRegistryAgent, "SOFTWARE\\Quorvane\\VX Network Registry Agent"},
    {&g_sRegKeyBidiPortResolver, "SOFTWARE\\Quorvane\\VXB Bidi Port Resolver"},
    {&g_sRegKeyRunOnce, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {&g_sRegVnStatusCode, "StatusCode"},
    {&g_sRegVnCmdLine, "CmdLine"},
    {&g_sRegVnGluePath, "GluePath"},
    {&g_sRegVnGlueName, "GlueName"},
    {&g_sRegVnProduct, "Product"},
    {&g_sRegVnPort, "Port"},
    {&g_sRegVnPrinterFriendlyName, "PrinterFriendlyName"},
    {&g_sRegVnInfId, "InfID"},
    {&g_sRegVnFactoryPreloaded, "FactoryPreloaded"},
    {&g_sRegVnPreloadPath, "PreloadPath"},
    {&g_sRegVnPreloadModels, "PreloadModels"},
    {&g_sRegVnEregPathname, "EregPathname"},
    {&g_sRegVnEregedModels, "EregedModels"},
    {&g_sRegVnRunPreloadInstaller, "RunPreloadInstaller"},
    {&g_sRegVnPreloadInstallerSwitches, "PreloadInstallerSwitches"},
    {&g_sRegVnOverrideLanguage, "OverrideLanguage"},
    {&g_sRegVnDefaultPrinter, "DefaultPrinter"},
    {&g_sRegVnGlueResult, "GlueResult"},
    {&g_sRegVnDisplayName, "DisplayName"},
    {&g_sRegVnUninstallString, "UninstallString"},
    {&g_sRegVnEnableDcom, "EnableDCOM"},
    {&g_sRegVnEnableRemoteConnect, "EnableRemoteConnect"},
    {&g_sRegVnAutoUpdateFrequencyMinutes, "AutoUpdateFrequencyMinutes"},
    {&g_sRegVnTimeout, "Timeout"},
    {&g_sRegVnUpdateTimeout, "UpdateTimeout"},
    {&g_sSwitchPinTimeout, "pintimeout"},
    {&g_sSwitchGhoulTimeout, "ghoultimeout"},
    {&g_sSwitchPrinterDriver, "printerdriver"},
    {&g_sSwitchProduct, "product"},
    {&g_sSwitchPort, "port"},
    {&g_sSwitchPinPathname, "pinpathname"},
    {&g_sSwitchGhoulPathname, "ghoulpathname"},
    {&g_sSwitchPdiPathname, "pdipathname"},
    {&g_sSwitchRunPin, "runpin"},
    {&g_sSwitchRunGhoul, "runghoul"},
    {&g_sSwitchRunPdi, "runpdi"},
    {&g_sSwitchLanguagePath, "languagepath"},
    {&g_sSwitchLanguageDir, "languagedir"},
    {&g_sSwitchDriversDir, "driversdir"},
    {&g_sSwitchOsPath, "ospath"},
    {&g_sSwitchOsDir, "osdir"},
    {&g_sSwitchInfPath, "infpath"},
    {&g_sSwitchInfPathname, "infpathname"},
    {&g_sSwitchCoRunPin, "corunpin"},
    {&g_sSwitchCoRunPdi, "corunpdi"},
    {&g_sSwitchUninstall, "uninstall"},
    {&g_sSwitchPduPathname, "pdupathname"},
    {&g_sSwitchRunPdu, "runpdu"},
    {&g_sSwitchInfCleanup, "infcleanup"},
    {&g_sSwitchRegistryCleanup, "registrycleanup"},
    {&g_sSwitchDriverFilesCleanup, "driverfilescleanup"},
    {&g_sSwitchScrubberPathname, "scrubberpathname"},
    {&g_sSwitchServiceRunning, "servicerunning"},
    {&g_sSwitchVxRegistry, "vxregistry"},
    {&g_sSwitchStatusCode, "statuscode"},
    {&g_sFileVersion, "14"},
    {&g_sFilePnpDll, "vxzpnp14.dll"},
    {&g_sFileGlueExe, "vxzglu14.exe"},
    {&g_sFileGlueExeCopy, "vxzglu14.exe"},
    {&g_sFilePinExe, "vxzpin14.exe"},
    {&g_sFileGhoulExe, "vxzghl14.exe"},
    {&g_sFilePdiExe, "vxfpdi14.exe"},
    {&g_sFileConDll, "vxzcon14.dll"},
    {&g_sFileConDllCopy, "vxzcon14.dll"},
    {&g_sFileFacDll, "vxzfac14.dll"},
    {&g_sFileScrDll, "vxzscr14.dll"},
    {&g_sFileTsbExe, "vxztsb14.exe"},
    {&g_sFileTbuExe, "vxztbu14.exe"},
    {&g_sFileTbiDll, "vxztbi14.dll"},
    {&g_sDirUtil, "util"},
    {&g_sDirCommon, "common"},
    {&g_sDirDrivers, "drivers"},
    {&g_sDirWin9xMe, "Win9x_ME"},
    {&g_sDirWinNt, "Win_NT"},
    {&g_sDirWin2kXp, "Win2K_XP"},
    {&g_sSetupExe, "setup.exe"},
    {&g_sEventGlueRan, "VXZ_Glue_Ran"},
    {&g_sEventGlueInstalledDriver, "VXZ_Glue_Installed_Driver"},
    {&g_sEventGlueFinished, "VXZ_Glue_Finished"},
    {&g_sEventInstallerRunning, "VXZ_Installer_Running"},
    {&g_sMutexInstallationInitializing, "VXZ_Installation_Initializing"},
    {&g_sServiceNetworkRegistryAgent, "VX Network Registry Agent"},
    {&g_sServicePortResolver, "VX Port Resolver"},
    {&g_sServiceStatusServer, "VX Status Server"},
    };
    for (size_t i = 0; i < sizeof(kVocabulary) / sizeof(kVocabulary[0]); ++i)
    {
        // Byte for byte, letter case included: peers compare some of these case-sensitively.
        EXPECT_EQ(std::string(kVocabulary[i].pszValue), ToStd(*kVocabulary[i].psConstant)) << i;
    }
}
