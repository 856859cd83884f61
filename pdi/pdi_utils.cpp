#include "pdi_utils.h"

#include <windows.h>

#include "diag/install_log.h"
#include "pdi_glue_view.h"
#include "vxzglue/vxzglue_registry.h"
#include "vxzglue/vxzglue_utils.h"
#include "vx_owners.h"

namespace
{

void AppendBackslash(CVxCiString* ps)
{
    if (ps->empty() || (*ps)[ps->size() - 1] != '\\') *ps += '\\';
}

// The 8.3 form of a path; empty when the system cannot give it.
CVxCiString ShortPath(const CVxCiString& sPath)
{
    char szShortPath[_MAX_PATH] = "";
    const DWORD cch = GetShortPathNameA(sPath.c_str(), szShortPath, _MAX_PATH);
    if (cch == 0 || cch >= _MAX_PATH) return CVxCiString();
    return CVxCiString(szShortPath, cch);
}

}  // namespace

bool GetInstallType(const CVxCiString& sGluePath, InstallType* peType)
{
    if (sGluePath.empty()) return LOG_CONDITION_FAILED("sGluePath.empty()");
    if (peType == 0) return LOG_CONDITION_FAILED("peType == 0");

    CVxCiString sFixedGluePath = sGluePath;
    if (sFixedGluePath.length() < 2) return LOG_CONDITION_FAILED("sFixedGluePath.length() < 2");
    if (sFixedGluePath.compare(sFixedGluePath.size() - 2, 2, "\\\\") == 0) sFixedGluePath.erase(sFixedGluePath.size() - 1);

    CVxCiString sPreloadPath;
    const bool fRegOk = RegGetStringValue(g_sRegKeyGlue, g_sRegVnPreloadPath, &sPreloadPath, true, HKEY_LOCAL_MACHINE,
                                         GlueRegistryView());
    if (fRegOk && !sPreloadPath.empty()) AppendBackslash(&sPreloadPath);

    if (GetOsType() <= eOsWinMe)
    {
        // Windows 9x may hand the Glue either spelling of one folder; the short forms agree.
        const CVxCiString sShortGluePath = ShortPath(sFixedGluePath);
        if (sShortGluePath.empty())
            return LOG_CONDITION_FAILED("GetShortPathName( sFixedGluePath.c_str(), szShortPath, _MAX_PATH ) == 0");
        sFixedGluePath = sShortGluePath;
        AppendBackslash(&sFixedGluePath);
        if (!sPreloadPath.empty())
        {
            const CVxCiString sShortPreloadPath = ShortPath(sPreloadPath);
            if (!sShortPreloadPath.empty())
            {
                sPreloadPath = sShortPreloadPath;
                AppendBackslash(&sPreloadPath);
            }
        }
    }

    CUniqueHandle hInstallerRunning(OpenEventA(EVENT_ALL_ACCESS, FALSE, g_sEventInstallerRunning.c_str()));
    if (hInstallerRunning.Get())
    {
        if (WaitForSingleObject(hInstallerRunning.Get(), 0) != WAIT_OBJECT_0)
        {
            *peType = eInstallTypeStandard;
            return true;
        }
        if (fRegOk == false) return LOG_CONDITION_FAILED("fRegOk == false");
        if (sPreloadPath != sFixedGluePath) return LOG_CONDITION_FAILED("sPreloadPath != sFixedGluePath");
        *peType = eInstallTypeInstallerPreload;
        return true;
    }

    if (!sPreloadPath.empty() && sPreloadPath == sFixedGluePath)
    {
        CVxCiString sRunPreloadInstaller;
        const bool fRead =
            RegGetStringValue(g_sRegKeyGlue, g_sRegVnRunPreloadInstaller, &sRunPreloadInstaller, false,
                              HKEY_LOCAL_MACHINE, GlueRegistryView());
        *peType = (fRead && sRunPreloadInstaller == "true") ? eInstallTypePreloadInstaller : eInstallTypePreload;
        return true;
    }
    *peType = eInstallTypeStandard;
    return true;
}
