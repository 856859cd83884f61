// The vocabulary the Glue family shares (registry keys and values, switches, package files,
// named kernel objects) and the command-line variable lookups that use it.
#ifndef VXZGLUE_VXZGLUE_UTILS_H
#define VXZGLUE_VXZGLUE_UTILS_H

#include "infrastructure/ci_string.h"

// Registry key paths, relative to HKEY_LOCAL_MACHINE.
extern const CVxCiString g_sRegKeySoftware;
extern const CVxCiString g_sRegKeyVendor;
extern const CVxCiString g_sRegKeyVxz;
extern const CVxCiString g_sRegKeyGlue;
extern const CVxCiString g_sRegKeyCoInstaller;
extern const CVxCiString g_sRegKeyCurrentVersion;
extern const CVxCiString g_sRegKeyGlueLegacy;
extern const CVxCiString g_sRegKeyUninstall;
extern const CVxCiString g_sRegKeyOle;
extern const CVxCiString g_sRegKeyRun;
extern const CVxCiString g_sRegKeyRunServices;
extern const CVxCiString g_sRegKeyNetworkRegistryAgent;
extern const CVxCiString g_sRegKeyBidiPortResolver;
extern const CVxCiString g_sRegKeyRunOnce;

// Registry value names.
extern const CVxCiString g_sRegVnStatusCode;
extern const CVxCiString g_sRegVnCmdLine;
extern const CVxCiString g_sRegVnGluePath;
extern const CVxCiString g_sRegVnGlueName;
extern const CVxCiString g_sRegVnProduct;
extern const CVxCiString g_sRegVnPort;
extern const CVxCiString g_sRegVnPrinterFriendlyName;
extern const CVxCiString g_sRegVnInfId;
extern const CVxCiString g_sRegVnFactoryPreloaded;
extern const CVxCiString g_sRegVnPreloadPath;
extern const CVxCiString g_sRegVnPreloadModels;
extern const CVxCiString g_sRegVnEregPathname;
extern const CVxCiString g_sRegVnEregedModels;
extern const CVxCiString g_sRegVnRunPreloadInstaller;
extern const CVxCiString g_sRegVnPreloadInstallerSwitches;
extern const CVxCiString g_sRegVnOverrideLanguage;
extern const CVxCiString g_sRegVnDefaultPrinter;
extern const CVxCiString g_sRegVnGlueResult;
extern const CVxCiString g_sRegVnDisplayName;
extern const CVxCiString g_sRegVnUninstallString;
extern const CVxCiString g_sRegVnEnableDcom;
extern const CVxCiString g_sRegVnEnableRemoteConnect;
extern const CVxCiString g_sRegVnAutoUpdateFrequencyMinutes;
extern const CVxCiString g_sRegVnTimeout;
extern const CVxCiString g_sRegVnUpdateTimeout;

// Command-line switch names (name=value).
extern const CVxCiString g_sSwitchPinTimeout;
extern const CVxCiString g_sSwitchGhoulTimeout;
extern const CVxCiString g_sSwitchPrinterDriver;
extern const CVxCiString g_sSwitchProduct;
extern const CVxCiString g_sSwitchPort;
extern const CVxCiString g_sSwitchPinPathname;
extern const CVxCiString g_sSwitchGhoulPathname;
extern const CVxCiString g_sSwitchPdiPathname;
extern const CVxCiString g_sSwitchRunPin;
extern const CVxCiString g_sSwitchRunGhoul;
extern const CVxCiString g_sSwitchRunPdi;
extern const CVxCiString g_sSwitchLanguagePath;
extern const CVxCiString g_sSwitchLanguageDir;
extern const CVxCiString g_sSwitchDriversDir;
extern const CVxCiString g_sSwitchOsPath;
extern const CVxCiString g_sSwitchOsDir;
extern const CVxCiString g_sSwitchInfPath;
extern const CVxCiString g_sSwitchInfPathname;
extern const CVxCiString g_sSwitchCoRunPin;
extern const CVxCiString g_sSwitchCoRunPdi;
extern const CVxCiString g_sSwitchUninstall;
extern const CVxCiString g_sSwitchPduPathname;
extern const CVxCiString g_sSwitchRunPdu;
extern const CVxCiString g_sSwitchInfCleanup;
extern const CVxCiString g_sSwitchRegistryCleanup;
extern const CVxCiString g_sSwitchDriverFilesCleanup;
extern const CVxCiString g_sSwitchScrubberPathname;
extern const CVxCiString g_sSwitchServiceRunning;
extern const CVxCiString g_sSwitchVxRegistry;
extern const CVxCiString g_sSwitchStatusCode;

// Package file names: base name, component version, extension.
extern const CVxCiString g_sFileVersion;
extern const CVxCiString g_sFilePnpDll;
extern const CVxCiString g_sFileGlueExe;
extern const CVxCiString g_sFileGlueExeCopy;
extern const CVxCiString g_sFilePinExe;
extern const CVxCiString g_sFileGhoulExe;
extern const CVxCiString g_sFilePdiExe;
extern const CVxCiString g_sFileConDll;
extern const CVxCiString g_sFileConDllCopy;
extern const CVxCiString g_sFileFacDll;
extern const CVxCiString g_sFileScrDll;
extern const CVxCiString g_sFileTsbExe;
extern const CVxCiString g_sFileTbuExe;
extern const CVxCiString g_sFileTbiDll;

// Package directory names.
extern const CVxCiString g_sDirUtil;
extern const CVxCiString g_sDirCommon;
extern const CVxCiString g_sDirDrivers;
extern const CVxCiString g_sDirWin9xMe;
extern const CVxCiString g_sDirWinNt;
extern const CVxCiString g_sDirWin2kXp;

// Setup program.
extern const CVxCiString g_sSetupExe;

// Named kernel objects shared with the Glue and the product installer.
extern const CVxCiString g_sEventGlueRan;
extern const CVxCiString g_sEventGlueInstalledDriver;
extern const CVxCiString g_sEventGlueFinished;
extern const CVxCiString g_sEventInstallerRunning;
extern const CVxCiString g_sMutexInstallationInitializing;

// Service display names.
extern const CVxCiString g_sServiceNetworkRegistryAgent;
extern const CVxCiString g_sServicePortResolver;
extern const CVxCiString g_sServiceStatusServer;

// Numeric values are fixed: callers read "at most eOsWinMe" as the Windows 9x family.
enum OsType
{
    eOsWin95 = 0,
    eOsWin98 = 1,
    eOsWinMe = 2,
    eOsWinNT4 = 3,
    eOsWin2000 = 4,
    eOsWinXP = 5,
    eOsUnknown = 6
};

// True and *psValue set when sKey has a value on sCmdLine ("key=value ... -next=").
bool FindCmdLineVar(const CVxCiString& sCmdLine, const CVxCiString& sKey, CVxCiString* psValue);
// The value from the command line, else from the driver's Glue key.
bool GetParameterValue(const CVxCiString& sCmdLine, const CVxCiString& sDriverName,
                       const CVxCiString& sParameterName, CVxCiString* psParameterValue);
bool IsParameterPresent(const CVxCiString& sCmdLine, const CVxCiString& sDriverName,
                        const CVxCiString& sParameterName);
// A path ending in a backslash is present when anything matches inside that folder.
bool IsFilePresent(const CVxCiString& sPath);
OsType GetOsType();

#endif
