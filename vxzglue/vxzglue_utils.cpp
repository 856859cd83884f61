#include "vxzglue/vxzglue_utils.h"

#include <windows.h>

#include "diag/install_log.h"
#include "file_presence.h"
#include "infrastructure/os_version.h"
#include "vxzglue/vxzglue_registry.h"

// Composite values are built from the constants before them, so they are defined in this
// order in this one unit.

const CVxCiString g_sRegKeySoftware = CVxCiString("SOFTWARE");
const CVxCiString g_sRegKeyVendor = g_sRegKeySoftware + "\\Quorvane";
const CVxCiString g_sRegKeyVxz = g_sRegKeyVendor + "\\VXZ";
const CVxCiString g_sRegKeyGlue = g_sRegKeyVxz + "\\Glue";
const CVxCiString g_sRegKeyCoInstaller = g_sRegKeyGlue + "\\CoInstaller";
const CVxCiString g_sRegKeyCurrentVersion = g_sRegKeySoftware + "\\Microsoft\\Windows\\CurrentVersion";
const CVxCiString g_sRegKeyGlueLegacy = g_sRegKeyGlue + "\\Legacy";
const CVxCiString g_sRegKeyUninstall = g_sRegKeyCurrentVersion + "\\Uninstall";
const CVxCiString g_sRegKeyOle = g_sRegKeySoftware + "\\Microsoft\\OLE";
const CVxCiString g_sRegKeyRun = g_sRegKeyCurrentVersion + "\\Run";
const CVxCiString g_sRegKeyRunServices = g_sRegKeyCurrentVersion + "\\RunServices";
const CVxCiString g_sRegKeyNetworkRegistryAgent = g_sRegKeyVendor + "\\VX Network Registry Agent";
const CVxCiString g_sRegKeyBidiPortResolver = g_sRegKeyVendor + "\\VXB Bidi Port Resolver";
const CVxCiString g_sRegKeyRunOnce = g_sRegKeyCurrentVersion + "\\RunOnce";

const CVxCiString g_sRegVnStatusCode = CVxCiString("StatusCode");
const CVxCiString g_sRegVnCmdLine = CVxCiString("CmdLine");
const CVxCiString g_sRegVnGluePath = CVxCiString("GluePath");
const CVxCiString g_sRegVnGlueName = CVxCiString("GlueName");
const CVxCiString g_sRegVnProduct = CVxCiString("Product");
const CVxCiString g_sRegVnPort = CVxCiString("Port");
const CVxCiString g_sRegVnPrinterFriendlyName = CVxCiString("PrinterFriendlyName");
const CVxCiString g_sRegVnInfId = CVxCiString("InfID");
const CVxCiString g_sRegVnFactoryPreloaded = CVxCiString("FactoryPreloaded");
const CVxCiString g_sRegVnPreloadPath = CVxCiString("PreloadPath");
const CVxCiString g_sRegVnPreloadModels = CVxCiString("PreloadModels");
const CVxCiString g_sRegVnEregPathname = CVxCiString("EregPathname");
const CVxCiString g_sRegVnEregedModels = CVxCiString("EregedModels");
const CVxCiString g_sRegVnRunPreloadInstaller = CVxCiString("RunPreloadInstaller");
const CVxCiString g_sRegVnPreloadInstallerSwitches = CVxCiString("PreloadInstallerSwitches");
const CVxCiString g_sRegVnOverrideLanguage = CVxCiString("OverrideLanguage");
const CVxCiString g_sRegVnDefaultPrinter = CVxCiString("DefaultPrinter");
const CVxCiString g_sRegVnGlueResult = CVxCiString("GlueResult");
const CVxCiString g_sRegVnDisplayName = CVxCiString("DisplayName");
const CVxCiString g_sRegVnUninstallString = CVxCiString("UninstallString");
const CVxCiString g_sRegVnEnableDcom = CVxCiString("EnableDCOM");
const CVxCiString g_sRegVnEnableRemoteConnect = CVxCiString("EnableRemoteConnect");
const CVxCiString g_sRegVnAutoUpdateFrequencyMinutes = CVxCiString("AutoUpdateFrequencyMinutes");
const CVxCiString g_sRegVnTimeout = CVxCiString("Timeout");
const CVxCiString g_sRegVnUpdateTimeout = CVxCiString("UpdateTimeout");

const CVxCiString g_sSwitchPinTimeout = CVxCiString("pintimeout");
const CVxCiString g_sSwitchGhoulTimeout = CVxCiString("ghoultimeout");
const CVxCiString g_sSwitchPrinterDriver = CVxCiString("printerdriver");
const CVxCiString g_sSwitchProduct = CVxCiString("product");
const CVxCiString g_sSwitchPort = CVxCiString("port");
const CVxCiString g_sSwitchPinPathname = CVxCiString("pinpathname");
const CVxCiString g_sSwitchGhoulPathname = CVxCiString("ghoulpathname");
const CVxCiString g_sSwitchPdiPathname = CVxCiString("pdipathname");
const CVxCiString g_sSwitchRunPin = CVxCiString("runpin");
const CVxCiString g_sSwitchRunGhoul = CVxCiString("runghoul");
const CVxCiString g_sSwitchRunPdi = CVxCiString("runpdi");
const CVxCiString g_sSwitchLanguagePath = CVxCiString("languagepath");
const CVxCiString g_sSwitchLanguageDir = CVxCiString("languagedir");
const CVxCiString g_sSwitchDriversDir = CVxCiString("driversdir");
const CVxCiString g_sSwitchOsPath = CVxCiString("ospath");
const CVxCiString g_sSwitchOsDir = CVxCiString("osdir");
const CVxCiString g_sSwitchInfPath = CVxCiString("infpath");
const CVxCiString g_sSwitchInfPathname = CVxCiString("infpathname");
const CVxCiString g_sSwitchCoRunPin = CVxCiString("corunpin");
const CVxCiString g_sSwitchCoRunPdi = CVxCiString("corunpdi");
const CVxCiString g_sSwitchUninstall = CVxCiString("uninstall");
const CVxCiString g_sSwitchPduPathname = CVxCiString("pdupathname");
const CVxCiString g_sSwitchRunPdu = CVxCiString("runpdu");
const CVxCiString g_sSwitchInfCleanup = CVxCiString("infcleanup");
const CVxCiString g_sSwitchRegistryCleanup = CVxCiString("registrycleanup");
const CVxCiString g_sSwitchDriverFilesCleanup = CVxCiString("driverfilescleanup");
const CVxCiString g_sSwitchScrubberPathname = CVxCiString("scrubberpathname");
const CVxCiString g_sSwitchServiceRunning = CVxCiString("servicerunning");
const CVxCiString g_sSwitchVxRegistry = CVxCiString("vxregistry");
const CVxCiString g_sSwitchStatusCode = CVxCiString("statuscode");

const CVxCiString g_sFileVersion = CVxCiString("14");
const CVxCiString g_sFilePnpDll = CVxCiString("vxzpnp") + g_sFileVersion + ".dll";
const CVxCiString g_sFileGlueExe = CVxCiString("vxzglu") + g_sFileVersion + ".exe";
const CVxCiString g_sFileGlueExeCopy = CVxCiString("vxzglu") + g_sFileVersion + ".exe";
const CVxCiString g_sFilePinExe = CVxCiString("vxzpin") + g_sFileVersion + ".exe";
const CVxCiString g_sFileGhoulExe = CVxCiString("vxzghl") + g_sFileVersion + ".exe";
const CVxCiString g_sFilePdiExe = CVxCiString("vxfpdi") + g_sFileVersion + ".exe";
const CVxCiString g_sFileConDll = CVxCiString("vxzcon") + g_sFileVersion + ".dll";
const CVxCiString g_sFileConDllCopy = CVxCiString("vxzcon") + g_sFileVersion + ".dll";
const CVxCiString g_sFileFacDll = CVxCiString("vxzfac") + g_sFileVersion + ".dll";
const CVxCiString g_sFileScrDll = CVxCiString("vxzscr") + g_sFileVersion + ".dll";
const CVxCiString g_sFileTsbExe = CVxCiString("vxztsb") + g_sFileVersion + ".exe";
const CVxCiString g_sFileTbuExe = CVxCiString("vxztbu") + g_sFileVersion + ".exe";
const CVxCiString g_sFileTbiDll = CVxCiString("vxztbi") + g_sFileVersion + ".dll";

const CVxCiString g_sDirUtil = CVxCiString("util");
const CVxCiString g_sDirCommon = CVxCiString("common");
const CVxCiString g_sDirDrivers = CVxCiString("drivers");
const CVxCiString g_sDirWin9xMe = CVxCiString("Win9x_ME");
const CVxCiString g_sDirWinNt = CVxCiString("Win_NT");
const CVxCiString g_sDirWin2kXp = CVxCiString("Win2K_XP");

const CVxCiString g_sSetupExe = CVxCiString("setup.exe");

const CVxCiString g_sEventGlueRan = CVxCiString("VXZ_Glue_Ran");
const CVxCiString g_sEventGlueInstalledDriver = CVxCiString("VXZ_Glue_Installed_Driver");
const CVxCiString g_sEventGlueFinished = CVxCiString("VXZ_Glue_Finished");
const CVxCiString g_sEventInstallerRunning = CVxCiString("VXZ_Installer_Running");
const CVxCiString g_sMutexInstallationInitializing = CVxCiString("VXZ_Installation_Initializing");

const CVxCiString g_sServiceNetworkRegistryAgent = CVxCiString("VX Network Registry Agent");
const CVxCiString g_sServicePortResolver = CVxCiString("VX Port Resolver");
const CVxCiString g_sServiceStatusServer = CVxCiString("VX Status Server");

bool FindCmdLineVar(const CVxCiString& sCmdLine, const CVxCiString& sKey, CVxCiString* psValue)
{
    if (sCmdLine.empty()) return LOG_CONDITION_FAILED("sCmdLine.empty()");
    if (sKey.empty()) return LOG_CONDITION_FAILED("sKey.empty()");
    if (psValue == 0) return LOG_CONDITION_FAILED("psValue == 0");

    const size_t iKey = sCmdLine.find(sKey + "=");
    if (iKey == CVxCiString::npos) return false;

    const size_t isCmdLine = iKey + sKey.size() + 1;
    if (isCmdLine >= sCmdLine.length()) return LOG_CONDITION_FAILED("isCmdLine >= sCmdLine.length()");

    const size_t iValue = sCmdLine.find_first_not_of(' ', isCmdLine);
    if (iValue == CVxCiString::npos) return LOG_CONDITION_FAILED("isCmdLine == CVxCiString::npos");

    CVxCiString sValue = sCmdLine.substr(iValue);
    if (sValue.empty()) return LOG_CONDITION_FAILED("sValue.empty()");

    const size_t iNextSwitch = sValue.find('=');
    if (iNextSwitch != CVxCiString::npos)
    {
        sValue.erase(iNextSwitch);
        const size_t isValue = sValue.rfind('-');
        if (isValue == CVxCiString::npos) return LOG_CONDITION_FAILED("isValue == CVxCiString::npos");
        sValue.erase(isValue);
        const size_t iLast = sValue.find_last_not_of(' ');
        sValue.erase(iLast == CVxCiString::npos ? 0 : iLast + 1);
    }
    *psValue = sValue;
    return true;
}

bool GetParameterValue(const CVxCiString& sCmdLine, const CVxCiString& sDriverName,
                       const CVxCiString& sParameterName, CVxCiString* psParameterValue)
{
    if (sParameterName.empty()) return LOG_CONDITION_FAILED("sParameterName.empty()");
    if (psParameterValue == 0) return LOG_CONDITION_FAILED("psParameterValue == 0");

    CVxCiString sParameterValue;
    if (!FindCmdLineVar(sCmdLine, sParameterName, &sParameterValue))
    {
        if (sDriverName.empty()) return LOG_CONDITION_FAILED("sDriverName.empty()");
        if (!RegGetStringValue(g_sRegKeyGlue + "\\" + sDriverName, sParameterName, &sParameterValue, false,
                               HKEY_LOCAL_MACHINE))
            return false;
    }
    if (sParameterValue.empty()) return LOG_CONDITION_FAILED("sParameterValue.empty()");
    *psParameterValue = sParameterValue;
    return true;
}

bool IsParameterPresent(const CVxCiString& sCmdLine, const CVxCiString& sDriverName,
                        const CVxCiString& sParameterName)
{
    CVxCiString sScratch;
    return GetParameterValue(sCmdLine, sDriverName, sParameterName, &sScratch);
}

bool IsFilePresent(const CVxCiString& sPath) { return IsPathPresent(sPath.c_str()); }

OsType GetOsType()
{
    const OSVERSIONINFOEXA& tOsVersion = GetOSVersionRecord();
    if (tOsVersion.dwMajorVersion == 0)  // the system filled no record
    {
        LOG_CONDITION_FAILED("GetVersionEx( &tOsVersion ) == 0");
        return eOsUnknown;
    }
    if (Is95()) return eOsWin95;
    if (Is98()) return eOsWin98;
    if (IsMe()) return eOsWinMe;
    if (IsNT4()) return eOsWinNT4;
    // Any later release with minor version 0 reads as Windows 2000, as the Glue has always read it.
    if (IsNT()) return tOsVersion.dwMinorVersion == 0 ? eOsWin2000 : eOsWinXP;
    if (tOsVersion.dwPlatformId == VER_PLATFORM_WIN32_NT)
    {
        LOG_CONDITION_FAILED("tOsVersion.dwMajorVersion < 4");
        return eOsUnknown;
    }
    LOG_CONDITION_FAILED("(tOsVersion.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) && "
               "(tOsVersion.dwPlatformId != VER_PLATFORM_WIN32_NT)");
    return eOsUnknown;
}
