#include "pdi_medium.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "diag/install_log.h"
#include "diag/trace_log.h"
#include "infrastructure/factory.h"
#include "infrastructure/media_checks.h"
#include "infrastructure/os_patches.h"
#include "infrastructure/qualified_values.h"
#include "pdi_glue_view.h"
#include "vxzglue/vxzglue_registry.h"
#include "vxzglue/vxzglue_utils.h"
#include "vx_owners.h"

namespace
{

const char kMediumRoot[] = "\\..\\..\\";
const DWORD kPatchTimeoutMs = 600000;  // a hung patch is given up after ten minutes
const WORD kSystemDefaultLanguage = 0x800;

WORD SystemLanguageWithSublanguage() { return static_cast<WORD>(GetSystemDefaultLangID() | 0x0400); }

bool FindInformationFile(const char* pszRelativeFolder, CVxCiString* psPath)
{
    if (!GetAutorunInfPath(*psPath, pszRelativeFolder))
    {
        g_TraceLog.TraceFailure("%s failed\n", "Cannot get autorun.inf");
        return false;
    }
    return true;
}

// The running system's qualifiers, through the rule the medium checker applies to other releases.
void BuildPatchQualifiers(const CVxCiString& sInfPath, COSPatchQualifiers* pQualifiers)
{
    CReleaseFacts facts;
    GetRunningReleaseFacts(&facts);
    CFactory factory(sInfPath.c_str(), FACTORY_LOAD_MODELS);
    BuildOSPatchQualifiers(facts, factory, pQualifiers);
    if (pQualifiers->szLanguageName[0])
        g_InstallLog.LogMessage(0, "strLanguage.c_str()=%s", pQualifiers->szLanguageName);
    g_InstallLog.LogMessage(0, "langQualifier=%s", pQualifiers->szLanguage);
    g_InstallLog.LogMessage(0, "qualifierWithLangAppended=%s", pQualifiers->szWithLanguage);
    g_InstallLog.LogMessage(0, "qualifier=%s", pQualifiers->szSystem);
}

void RunPatch(const CVxCiString& sCommand)
{
    g_TraceLog.TraceAuto("Launching %s ..\n", sCommand.c_str());
    g_InstallLog.LogMessage(0, "command.c_str()=%s", sCommand.c_str());

    std::vector<char> commandLine(sCommand.begin(), sCommand.end());
    commandLine.push_back('\0');
    STARTUPINFOA tStartup = {};
    tStartup.cb = sizeof(tStartup);
    tStartup.lpDesktop = const_cast<char*>("winsta0\\default");
    tStartup.dwFlags = STARTF_USESHOWWINDOW;
    tStartup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION tProcess = {};
    const BOOL fStarted = CreateProcessA(NULL, commandLine.data(), NULL, NULL, FALSE, CREATE_NEW_PROCESS_GROUP, NULL,
                                         NULL, &tStartup, &tProcess);
    g_TraceLog.TraceAuto("CreateProcess returns %d\n", fStarted);
    if (!fStarted) return;

    CUniqueHandle hProcess(tProcess.hProcess);
    CUniqueHandle hThread(tProcess.hThread);
    WaitForSingleObject(hProcess.Get(), kPatchTimeoutMs);
    DWORD dwExitCode = 0;
    if (!GetExitCodeProcess(hProcess.Get(), &dwExitCode)) dwExitCode = 0;
    g_TraceLog.TraceAuto("Process %s returns %d\n", sCommand.c_str(), static_cast<int>(dwExitCode));
}

}  // namespace

bool IsSilentInstall(const char* pszRelativeFolder)
{
    g_TraceLog.TraceAuto("IsSilentInstall(%s)\n", pszRelativeFolder);
    CVxCiString sInfPath;
    if (!FindInformationFile(pszRelativeFolder, &sInfPath)) return false;
    char szValue[260] = "";
    const bool fSilent = GetValueByLang(sInfPath.c_str(), "Version", "SilentInstall", szValue, sizeof(szValue),
                                        SystemLanguageWithSublanguage()) &&
                         CVxCiString(szValue) == "Yes";
    g_TraceLog.TraceAuto("IsSilentInstall(%s) return %d\n", pszRelativeFolder, fSilent ? 1 : 0);
    return fSilent;
}

bool IsSoftwareInstalled(const char* pszRelativeFolder)
{
    g_TraceLog.TraceAuto("IsSoftwareInstalled(%s)\n", pszRelativeFolder);
    CVxCiString sInfPath;
    if (!FindInformationFile(pszRelativeFolder, &sInfPath)) return false;
    char szGuid[260] = "";
    if (!GetValueByLang(sInfPath.c_str(), "Version", "CDGuid", szGuid, sizeof(szGuid), kSystemDefaultLanguage))
        szGuid[0] = '\0';
    const bool fInstalled = IsDriverSetAlreadyInstalled(sInfPath, SystemLanguageWithSublanguage(), szGuid) == 1;
    g_TraceLog.TraceAuto("IsSoftwareInstalled(%s) return %d\n", pszRelativeFolder, fInstalled ? 1 : 0);
    return fInstalled;
}

bool HasGlueRunBefore()
{
    CVxCiString sInfPath;
    if (!FindInformationFile(kMediumRoot, &sInfPath)) return false;
    g_TraceLog.TraceAuto("HasGlueRunBefore: Factory(%s)\n", sInfPath.c_str());

    bool fRan = false;
    {
        CFactory factory(sInfPath.c_str(), FACTORY_LOAD_MODELS);
        const CVxCiStringList& models = factory.GetModelList();
        for (CVxCiStringList::const_iterator it = models.begin(); it != models.end() && !fRan; ++it)
        {
            g_TraceLog.TraceAuto("HasGlueRunBefore: Model=%s\n", it->c_str());
            CVxCiString sStatus;
            // Only a string counts: the read refuses a 32-bit value of the same name.
            if (RegGetStringValue(g_sRegKeyGlue + "\\" + *it, g_sSwitchStatusCode, &sStatus, true, HKEY_LOCAL_MACHINE,
                                  GlueRegistryView()))
                fRan = std::strtol(sStatus.c_str(), NULL, 10) == 0;
        }
    }
    g_TraceLog.TraceAuto("HasGlueRunBefore: Factory(%s) returns %d\n", sInfPath.c_str(), fRan ? 1 : 0);
    return fRan;
}

bool InstallDriverRelatedPatches()
{
    CVxCiString sInfPath;
    if (!FindInformationFile(kMediumRoot, &sInfPath)) return false;

    COSPatchQualifiers qualifiers;
    BuildPatchQualifiers(sInfPath, &qualifiers);
    CVxCiStringList patches;
    LoadOSPatchList(sInfPath.c_str(), qualifiers, patches);
    for (const CVxCiString& sEntry : patches)
    {
        char szModule[260] = "";
        const DWORD cchModule = GetModuleFileNameA(NULL, szModule, sizeof(szModule));
        if (cchModule == 0 || cchModule >= sizeof(szModule))
        {
            g_TraceLog.TraceFailure("%s failed\n", "GetModuleFileName");
            return false;
        }
        char szFolder[260] = "";
        if (!GetDirectoryNameFromPath(szModule, szFolder, sizeof(szFolder)))
        {
            g_TraceLog.TraceFailure("%s failed\n", "GetDirectoryNameFromPath");
            return false;
        }
        RunPatch(CVxCiString(szFolder) + kMediumRoot + sEntry);
    }
    return true;
}
