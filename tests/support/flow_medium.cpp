#include "support/flow_medium.h"

#include "support/test_support.h"
#include "vxzglue/vxzglue_utils.h"

namespace vxtest
{

const char kFlowDriver[] = "Quorvane Flow 1234 Series";
const char kFlowPrinter[] = "Quorvane Flow 1234";
const char kFlowModels[] =
    "[Models]\r\nQuorvane Flow Model=Flow1234\r\n[Flow1234]\r\nDriverName=Quorvane Flow Model\r\n"
    "asktomakedefaultprinter=No\r\n";
const char kFlowModelKey[] = "SOFTWARE\\Quorvane\\VXZ\\Glue\\Quorvane Flow Model";

std::string FlowAutorun(const std::string& sExtra)
{
    return "[Version]\r\nInfrastructureDatabaseList=models.dat\r\nLanguagesInthisCD=ENU\r\n"
           "DefaultLanguageInThisRelease=ENU\r\nCDGuid={0F0E0D0C-1111-2222-3333-444455556666}\r\n"
           "DIVISION=ABC\r\nLAST_IO_REVISION=7\r\n" +
           sExtra + "[LanguageMap]\r\n0x0409=ENU\r\n[OSPatches]\r\n1=patches\\fix1.exe /q\r\n";
}

void CleanFlowMachineState()
{
    BOOL fWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &fWow64);
    const REGSAM views[] = {0, KEY_WOW64_64KEY};
    for (REGSAM samView : views)
    {
        if (samView && !fWow64) break;
        DeleteKeyTree(HKEY_LOCAL_MACHINE, ToStd(g_sRegKeyGlue), samView);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kFlowModelKey, samView);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\ABC", samView);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\C32", samView);  // a medium without a division
        DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\Installed Products", samView);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, ToStd(g_sRegKeyUninstall) + "\\" + kFlowDriver + "_Driver", samView);
    }
}

namespace
{

std::string DriverKey() { return ToStd(g_sRegKeyGlue) + "\\" + kFlowDriver; }

}  // namespace

FlowMedium::FlowMedium(const std::string& sAutorunExtra) : m_medium(FlowAutorun(sAutorunExtra), kFlowModels)
{
    CleanFlowMachineState();
    m_medium.AddRecorder("patches\\fix1.exe");
    m_medium.AddRecorder("vxzsetup.exe");
    // Set and reset here too: the events may outlive an earlier test in another process.
    m_ran.Reset(CreateEventA(NULL, TRUE, FALSE, "VXZ_Glue_Ran"));
    m_installed.Reset(CreateEventA(NULL, TRUE, TRUE, "VXZ_Glue_Installed_Driver"));  // the PDI resets it
    m_finished.Reset(CreateEventA(NULL, TRUE, TRUE, "VXZ_Glue_Finished"));
    ResetEvent(m_ran.Get());
    SetEvent(m_installed.Get());
    SetEvent(m_finished.Get());
}

FlowMedium::~FlowMedium()
{
    CleanFlowMachineState();
    SetWineVersionFor("vxfpdi14.exe", "");
}

bool FlowMedium::RecordGlueInstall(bool fStatusCode, REGSAM samView)
{
    const HKEY hLm = HKEY_LOCAL_MACHINE;
    return WriteRegistryString(DriverKey(), "GluePath", m_medium.PdiFolder() + "\\", hLm, samView) &&
           WriteRegistryString(DriverKey(), "PrinterFriendlyName", kFlowPrinter, hLm, samView) &&
           (!fStatusCode || WriteRegistryDword(DriverKey(), "statuscode", 0, hLm, samView)) &&
           WriteRegistryString(ToStd(g_sRegKeyUninstall) + "\\" + kFlowDriver + "_Driver\\Files", "DisplayName",
                               kFlowDriver, hLm, samView);
}

bool FlowMedium::SetGluePath(const std::string& sPath) { return WriteRegistryString(DriverKey(), "GluePath", sPath); }

std::string FlowMedium::Command(const std::string& sOptions) const
{
    return PdiCommandLine(m_medium.PdiPath(), sOptions, kFlowDriver, kFlowPrinter);
}

std::map<std::string, std::string> FlowMedium::Environment(const std::map<std::string, std::string>& extra) const
{
    std::map<std::string, std::string> environment = {
        {"TEMP", m_medium.TempFolder()}, {"TMP", m_medium.TempFolder()}, {"VX_RECORD_FILE", m_medium.RecordFile()}};
    for (const auto& variable : extra) environment[variable.first] = variable.second;
    return environment;
}

ProcessResult FlowMedium::Run(const std::map<std::string, std::string>& extra, DWORD dwTimeoutMs,
                              const std::string& sRelease)
{
    return RunAs(sRelease, "-log 0xaf ", extra, dwTimeoutMs);
}

ProcessResult FlowMedium::RunAs(const std::string& sRelease, const std::string& sOptions,
                                const std::map<std::string, std::string>& extra, DWORD dwTimeoutMs)
{
    SetWineVersionFor("vxfpdi14.exe", sRelease);
    return RunProcess(Command(sOptions), Environment(extra), dwTimeoutMs);
}

bool WaitForText(const std::string& sPath, const std::string& sText, DWORD dwTimeoutMs)
{
    const DWORD dwStart = GetTickCount();
    for (;;)
    {
        std::string sBytes;
        if (ReadFileBytes(sPath, &sBytes) && sBytes.find(sText) != std::string::npos) return true;
        if (GetTickCount() - dwStart > dwTimeoutMs) return false;
        Sleep(50);
    }
}

}  // namespace vxtest
