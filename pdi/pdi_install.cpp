#include "pdi_install.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "diag/install_log.h"
#include "diag/trace_log.h"
#include "infrastructure/ipc_objects.h"
#include "infrastructure/media_checks.h"
#include "infrastructure/os_version.h"
#include "infrastructure/qualified_values.h"
#include "pdi_default_printer.h"
#include "pdi_glue_view.h"
#include "pdi_medium.h"
#include "pdi_steps.h"
#include "pdi_utils.h"
#include "vxzglue/vxzglue_registry.h"
#include "vxzglue/vxzglue_utils.h"
#include "vx_owners.h"

namespace
{

const DWORD kMutexWaitMs = 180000;  // the Glue and the installer may hold it this long

// Marks the start of a step of the flow in the trace, so that a trace tells how long each step
// took (the log viewer draws its timeline from these lines).
void TraceStep(EPdiStep eStep) { g_TraceLog.Trace(TRACE_GENERAL, "Step: %s\n", PdiStepMark(eStep)); }
void TraceStepsEnd() { g_TraceLog.Trace(TRACE_GENERAL, "Step: %s\n", kPdiStepEndMark); }

// The flow's named objects; the clean-up order and what each step does to an object is the
// handshake the Glue and the product installer rely on.
class HandshakeObjects
{
public:
    HandshakeObjects() : fCleanUpTraced(false) {}
    // The run's clean-up, in its order: "VXZ_Glue_Finished" is signalled whether the run got
    // that far or failed, and the installation mutex is handed on last.
    ~HandshakeObjects()
    {
        if (!fCleanUpTraced) TraceStep(eStepCleanUp);
        hEventGlueRan.Reset();
        hEventGlueInstalledDriver.Reset();
        if (hEventGlueFinished.IsValid()) SetEvent(hEventGlueFinished.Get());
        hEventGlueFinished.Reset();
        if (hMutexInstallerInitializing.IsValid())
            ReleaseMutex(hMutexInstallerInitializing.Get());  // fails quietly when not owned
        hMutexInstallerInitializing.Reset();
        TraceStepsEnd();
    }
    HandshakeObjects(const HandshakeObjects&) = delete;
    HandshakeObjects& operator=(const HandshakeObjects&) = delete;

    CUniqueHandle hEventGlueRan;
    CUniqueHandle hEventGlueInstalledDriver;
    CUniqueHandle hEventGlueFinished;
    CUniqueHandle hMutexInstallerInitializing;
    bool fCleanUpTraced;  // a flow that got through traced it before deleting the uninstall entry
};

HANDLE CreateManualResetEvent(const CVxCiString& sName)
{
    return CreateEventA(NULL, TRUE, FALSE, sName.c_str());
}

bool TakeInstallationMutex(HandshakeObjects* pObjects)
{
    TraceStep(eStepMutex);
    pObjects->hMutexInstallerInitializing.Reset(CreateMutexA(NULL, TRUE, g_sMutexInstallationInitializing.c_str()));
    const bool fCreatedOwned = GetLastError() != ERROR_ALREADY_EXISTS;
    if (!pObjects->hMutexInstallerInitializing.IsValid()) return LOG_CONDITION_FAILED("hMutexInstallerInitializing == 0");
    const DWORD dwWaitResult = WaitForSingleObject(pObjects->hMutexInstallerInitializing.Get(), kMutexWaitMs);
    // A new mutex is owned twice now, by its creation and by the wait. One release must hand it
    // on after the registry work, so the creation's ownership is given back at once.
    if (fCreatedOwned && dwWaitResult == WAIT_OBJECT_0) ReleaseMutex(pObjects->hMutexInstallerInitializing.Get());
    if (dwWaitResult == WAIT_FAILED) return LOG_CONDITION_FAILED("dwWaitResult == WAIT_FAILED");
    if (dwWaitResult == WAIT_ABANDONED) return LOG_CONDITION_FAILED("dwWaitResult == WAIT_ABANDONED");
    if (dwWaitResult == WAIT_TIMEOUT) return LOG_CONDITION_FAILED("dwWaitResult == WAIT_TIMEOUT");
    if (dwWaitResult != WAIT_OBJECT_0) return LOG_CONDITION_FAILED("dwWaitResult != WAIT_OBJECT_0");
    return true;
}

bool ReadSwitches(const CVxCiString& sCmdLine, CVxCiString* psDriverName)
{
    if (sCmdLine.empty()) return LOG_CONDITION_FAILED("sCmdLine.empty()");
    CVxCiString sDriverName, sProduct, sPort;
    if (FindCmdLineVar(sCmdLine, g_sSwitchPrinterDriver, &sDriverName) == false)
        return LOG_CONDITION_FAILED("FindCmdLineVar( sCmdLine, g_sSwitchPrinterDriver, &sDriverName ) == false");
    if (sDriverName.empty()) return LOG_CONDITION_FAILED("sDriverName.empty()");
    if (FindCmdLineVar(sCmdLine, g_sSwitchProduct, &sProduct) == false)
        return LOG_CONDITION_FAILED("FindCmdLineVar( sCmdLine, g_sSwitchProduct, &sProduct ) == false");
    if (sProduct.empty()) return LOG_CONDITION_FAILED("sProduct.empty()");
    if (FindCmdLineVar(sCmdLine, g_sSwitchPort, &sPort) == false)
        return LOG_CONDITION_FAILED("FindCmdLineVar( sCmdLine, g_sSwitchPort, &sPort ) == false");
    if (sPort.empty()) return LOG_CONDITION_FAILED("sPort.empty()");
    *psDriverName = sDriverName;
    return true;
}

// A language the Glue was told to override once is consumed when the driver used it.
void ConsumeLanguageOverride(const CVxCiString& sRegKeyGlueDriver)
{
    const REGSAM samGlue = GlueRegistryView();
    CVxCiString sOverrideLanguage, sLanguageDir;
    if (!RegGetStringValue(g_sRegKeyGlue, g_sRegVnOverrideLanguage, &sOverrideLanguage, false, HKEY_LOCAL_MACHINE,
                           samGlue))
        return;
    if (!RegGetStringValue(sRegKeyGlueDriver, g_sSwitchLanguageDir, &sLanguageDir, false, HKEY_LOCAL_MACHINE, samGlue))
        return;
    if (sOverrideLanguage != sLanguageDir) return;
    RegDeleteValue(g_sRegKeyGlue, g_sRegVnOverrideLanguage, true, HKEY_LOCAL_MACHINE, samGlue);
    RegDeleteValue(sRegKeyGlueDriver, g_sSwitchLanguageDir, true, HKEY_LOCAL_MACHINE, samGlue);
}

void HandOnStatus(const CVxCiString& sRegKeyGlueDriver)
{
    const REGSAM samGlue = GlueRegistryView();
    DWORD dwStatus = 0;
    if (RegRetryGetDwordValue(sRegKeyGlueDriver, g_sSwitchStatusCode, &dwStatus, 100, 4000, HKEY_LOCAL_MACHINE,
                              samGlue))
        RegSetDwordValue(sRegKeyGlueDriver, g_sRegVnGlueResult, dwStatus, true, HKEY_LOCAL_MACHINE, samGlue);
    if (RegGetDwordValue(g_sRegKeyGlue, g_sSwitchStatusCode, &dwStatus, false, HKEY_LOCAL_MACHINE, samGlue))
        RegSetDwordValue(g_sRegKeyGlue, g_sRegVnGlueResult, dwStatus, true, HKEY_LOCAL_MACHINE, samGlue);
}

bool ReadGluePath(const CVxCiString& sRegKeyGlueDriver, CVxCiString* psGluePath)
{
    CVxCiString sGluePath;
    if (!RegGetStringValue(sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath, true, HKEY_LOCAL_MACHINE,
                           GlueRegistryView()))
        return LOG_CONDITION_FAILED("RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false");
    if (IsFilePresent(sGluePath) == false) return LOG_CONDITION_FAILED("IsFilePresent( sGluePath ) == false");
    *psGluePath = sGluePath;
    return true;
}

// Windows 2000, and 32-bit XP unless the medium asks for a silent install.
bool OffersDefaultPrinter() { return IsW2K() || (IsXP() && !IsSilentInstall("\\..\\..\\")); }

bool OfferDefaultPrinter(const CVxCiString& sRegKeyGlueDriver)
{
    if (!OffersDefaultPrinter())
    {
        g_TraceLog.TraceAuto("Not doing default printer check in 98/Me\n");
        return true;
    }
    RegSetStringValue(sRegKeyGlueDriver, g_sSwitchCoRunPdi, "true", true, HKEY_LOCAL_MACHINE, GlueRegistryView());
    g_TraceLog.TraceAuto("Get the friendly name of the printer being installed\n");
    CVxCiString printerName;
    RegGetStringValue(sRegKeyGlueDriver, g_sRegVnPrinterFriendlyName, &printerName, false, HKEY_LOCAL_MACHINE,
                      GlueRegistryView());
    if (printerName == "") return LOG_CONDITION_FAILED("printerName == \"\"");
    g_TraceLog.TraceAuto("Friendly name = %s\n", printerName.c_str());
    DefaultPrinter(printerName);
    return true;
}

bool RunHandshake(const CVxCiString& sCmdLine, HandshakeObjects* pObjects)
{
    if (SetEvent(pObjects->hEventGlueRan.Get()) == FALSE) return LOG_CONDITION_FAILED("SetEvent( hEventGlueRan ) == FALSE");

    pObjects->hEventGlueInstalledDriver.Reset(CreateManualResetEvent(g_sEventGlueInstalledDriver));
    if (!pObjects->hEventGlueInstalledDriver.IsValid()) return LOG_CONDITION_FAILED("hEventGlueInstalledDriver == 0");
    if (ResetEvent(pObjects->hEventGlueInstalledDriver.Get()) == FALSE)
        return LOG_CONDITION_FAILED("ResetEvent( hEventGlueInstalledDriver ) == FALSE");

    pObjects->hEventGlueFinished.Reset(CreateManualResetEvent(g_sEventGlueFinished));
    if (!pObjects->hEventGlueFinished.IsValid()) return LOG_CONDITION_FAILED("hEventGlueFinished == 0");
    if (ResetEvent(pObjects->hEventGlueFinished.Get()) == FALSE)
        return LOG_CONDITION_FAILED("ResetEvent( hEventGlueFinished ) == FALSE");

    if (!TakeInstallationMutex(pObjects)) return false;

    TraceStep(eStepRegistryValues);
    CVxCiString sDriverName;
    if (!ReadSwitches(sCmdLine, &sDriverName)) return false;
    const CVxCiString sRegKeyGlueDriver = g_sRegKeyGlue + "\\" + sDriverName;
    FindGlueRegistryView(sRegKeyGlueDriver);
    ConsumeLanguageOverride(sRegKeyGlueDriver);
    TraceStep(eStepStatusRetries);
    HandOnStatus(sRegKeyGlueDriver);

    TraceStep(eStepGlueFolder);
    CVxCiString sGluePath;
    if (!ReadGluePath(sRegKeyGlueDriver, &sGluePath)) return false;
    TraceStep(eStepDefaultPrinter);
    if (!OfferDefaultPrinter(sRegKeyGlueDriver)) return false;

    TraceStep(eStepInstallType);
    if (ReleaseMutex(pObjects->hMutexInstallerInitializing.Get()) == FALSE)
        return LOG_CONDITION_FAILED("ReleaseMutex( hMutexInstallerInitializing ) == FALSE");
    if (SetEvent(pObjects->hEventGlueInstalledDriver.Get()) == FALSE)
        return LOG_CONDITION_FAILED("SetEvent( hEventGlueInstalledDriver ) == FALSE");

    InstallType eInstallType = eInstallTypeUnknown;
    if (GetInstallType(sGluePath, &eInstallType) == false)
        return LOG_CONDITION_FAILED("GetInstallType( sGluePath, &eInstallType ) == false");
    if (DedOVA(eInstallType, sGluePath) == false) return LOG_CONDITION_FAILED("DedOVA(eInstallType, sGluePath ) == false");

    TraceStep(eStepCleanUp);
    pObjects->fCleanUpTraced = true;
    // The Glue wrote the entry, so it is in the Glue's view.
    RegDeleteKey(g_sRegKeyUninstall + "\\" + sDriverName + "_Driver", true, HKEY_LOCAL_MACHINE,
                 GlueRegistryView());
    return true;
}

void StartProductInstaller()
{
    char szFolder[260] = "";
    if (!GetModuleDirectory(NULL, szFolder, sizeof(szFolder)))
    {
        LOG_CONDITION_FAILED("GetModuleDirectory( 0, szModuleDir, _MAX_PATH ) == FALSE");
        return;
    }
    const CVxCiString sCommand = CVxCiString(szFolder) + "\\..\\..\\vxzsetup.exe";
    g_InstallLog.LogMessage(0, "DedOVA launching \"%s\"", sCommand.c_str());
    const UINT WinExecResult = WinExec(sCommand.c_str(), SW_SHOW);
    if (WinExecResult == 0) LOG_CONDITION_FAILED("WinExecResult == 0");
    else if (WinExecResult == ERROR_BAD_FORMAT) LOG_CONDITION_FAILED("WinExecResult == ERROR_BAD_FORMAT");
    else if (WinExecResult == ERROR_FILE_NOT_FOUND) LOG_CONDITION_FAILED("WinExecResult == ERROR_FILE_NOT_FOUND");
    else if (WinExecResult == ERROR_PATH_NOT_FOUND) LOG_CONDITION_FAILED("WinExecResult == ERROR_PATH_NOT_FOUND");
}

// Tells the product that the Plug-and-Play install has finished: a registry value and a named
// event, both named after the medium's division and last I/O revision.
void SignalProduct(const CVxCiString& sInfPath, const CVxCiString& sGluePath)
{
    char szDivision[5] = "";
    char szRevision[5] = "";
    const BOOL fDivision = GetValueByLang(sInfPath.c_str(), "Version", "DIVISION", szDivision, sizeof(szDivision), 0x800);
    const BOOL fRevision =
        GetValueByLang(sInfPath.c_str(), "Version", "LAST_IO_REVISION", szRevision, sizeof(szRevision), 0x800);
    if (!fDivision) szDivision[0] = '\0';
    if (!fRevision) szRevision[0] = '\0';
    if (!fDivision && !fRevision)
    {
        // A medium that names no product has nobody to signal: an event named "_PNPFinishedEvent_00"
        // would only mislead other products.
        LOG_CONDITION_FAILED("result == FALSE");
        return;
    }
    char szSignal[64];
    std::snprintf(szSignal, sizeof(szSignal), "%s_%s_%2.2d", szDivision, "PNPFinishedEvent",
                  static_cast<int>(std::strtol(szRevision, NULL, 10)));
    g_TraceLog.TraceAuto("About to signal %s\n", szSignal);

    const CVxCiString sKey = g_sRegKeyVendor + "\\" + szDivision + "\\" + "C32";
    RegSetStringValue(sKey, szSignal, "1", true, HKEY_LOCAL_MACHINE);
    RegSetStringValue(sKey, "SetupGlue", sGluePath, true, HKEY_LOCAL_MACHINE);

    CIPCEvent event;
    event.CreateOpen(szSignal, NULL, NULL, 0, 0, 1);
    event.Set(1);
    Sleep(1000);  // the product may look for the event only now; it keeps it if it opened it
}

}  // namespace

bool DedOVA(InstallType eInstallType, CVxCiString sGluePath)
{
    (void)eInstallType;  // every install type takes the same steps
    CVxCiString sInfPath;
    if (!GetAutorunInfPath(sInfPath, "\\..\\..\\"))
    {
        g_TraceLog.TraceFailure("%s failed\n", "Cannot get autorun.inf");
        return false;
    }
    TraceStep(eStepPatches);
    const bool fRan = HasGlueRunBefore();
    bool fPatched = true;
    if (!fRan && !InstallDriverRelatedPatches())
    {
        LOG_CONDITION_FAILED("InstallDriverRelatedPatches()==FALSE");
        fPatched = false;
    }
    TraceStep(eStepInstaller);
    if ((fRan || fPatched) && !IsSoftwareInstalled("\\..\\..\\")) StartProductInstaller();
    TraceStep(eStepProductSignal);
    SignalProduct(sInfPath, sGluePath);
    return true;
}

bool MimicLegacyGlue(const CVxCiString& sCmdLine)
{
    TraceStep(eStepHandshake);
    HandshakeObjects objects;
    objects.hEventGlueRan.Reset(CreateManualResetEvent(g_sEventGlueRan));
    if (!objects.hEventGlueRan.IsValid()) return LOG_CONDITION_FAILED("hEventGlueRan == 0");
    return RunHandshake(sCmdLine, &objects);
}
