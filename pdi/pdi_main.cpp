#include <windows.h>

#include "diag/install_log.h"
#include "pdi_install.h"
#include "vxzglue/vxzglue_utils.h"

namespace
{

bool CheckCommandLine(const char* lpszCmdLine)
{
    if (lpszCmdLine == 0) return LOG_CONDITION_FAILED("lpszCmdLine == 0");
    if (*lpszCmdLine == '\0') return LOG_CONDITION_FAILED("*lpszCmdLine == '\\0'");
    return true;
}

bool RunInstall(const CVxCiString& sCmdLine)
{
    if (sCmdLine.empty()) return LOG_CONDITION_FAILED("sCmdLine.empty()");

    if (IsParameterPresent(sCmdLine, CVxCiString(), g_sSwitchStatusCode))
    {
        g_InstallLog.LogMessage(0, "Glue passed a status code to the PDI");
        g_InstallLog.LogMessage(0, "No recovery implemented -- exiting");
    }

    // All three are probed, so that the log names every switch that is missing.
    bool fInstall = IsParameterPresent(sCmdLine, CVxCiString(), g_sSwitchPrinterDriver);
    fInstall = IsParameterPresent(sCmdLine, CVxCiString(), g_sSwitchProduct) && fInstall;
    fInstall = IsParameterPresent(sCmdLine, CVxCiString(), g_sSwitchPort) && fInstall;
    if (fInstall == false) return LOG_CONDITION_FAILED("fInstall == false");

    if (MimicLegacyGlue(sCmdLine) == false) return LOG_CONDITION_FAILED("MimicLegacyGlue( sCmdLine ) == false");
    return true;
}

}  // namespace

// Only the command line is used; the exit code is always 0 and the log's last line tells the
// outcome.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nShowCmd)
{
    (void)hInstance;
    (void)hPrevInstance;
    (void)nShowCmd;
    g_InstallLog.Open("vxvxdi.log", 0, LOG_NUMBERED);

    CVxCiString sCmdLine;
    bool fSucceeded = false;
    if (CheckCommandLine(lpszCmdLine))
    {
        sCmdLine = lpszCmdLine;
        fSucceeded = RunInstall(sCmdLine);
    }

    const char* pszProgramPath = (__argc > 0 && __argv && __argv[0]) ? __argv[0] : "";
    g_InstallLog.LogMessage(0, "PDI Pathname = %s", pszProgramPath);
    g_InstallLog.LogMessage(0, "Command Line = %s", sCmdLine.empty() ? "NULL" : sCmdLine.c_str());
    g_InstallLog.LogMessage(0, fSucceeded ? "The PDI Succeeded" : "The PDI Failed");
    return 0;
}
