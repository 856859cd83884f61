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

const char* const kDriver = kFlowDriver;
const char* const kPrinter = kFlowPrinter;

std::string DriverKey() { return ToStd(g_sRegKeyGlue) + "\\" + kDriver; }

void WriteValue(const std::string& sKey, const char* pszValue, DWORD dwType, const void* pData, DWORD cbData,
                REGSAM samView = 0)
{
    HKEY hKey = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, NULL, 0, KEY_WRITE | samView, NULL, &hKey, NULL) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(hKey, pszValue, 0, dwType, static_cast<const BYTE*>(pData), cbData);
    RegCloseKey(hKey);
}

void WriteString(const std::string& sKey, const char* pszValue, const std::string& sData, REGSAM samView = 0)
{
    WriteValue(sKey, pszValue, REG_SZ, sData.c_str(), static_cast<DWORD>(sData.size() + 1), samView);
}

}  // namespace

FlowMedium::FlowMedium() : m_medium(FlowAutorun("SilentInstall=Yes\r\n"), kFlowModels)
{
    CleanFlowMachineState();
    m_medium.AddRecorder("patches\\fix1.exe");
    m_medium.AddRecorder("vxzsetup.exe");
    m_hRan = CreateEventA(NULL, TRUE, FALSE, "VXZ_Glue_Ran");
    m_hInstalled = CreateEventA(NULL, TRUE, TRUE, "VXZ_Glue_Installed_Driver");
    m_hFinished = CreateEventA(NULL, TRUE, TRUE, "VXZ_Glue_Finished");
}

FlowMedium::~FlowMedium()
{
    CloseHandle(m_hRan);
    CloseHandle(m_hInstalled);
    CloseHandle(m_hFinished);
    CleanFlowMachineState();
    SetWineVersionFor("vxfpdi14.exe", "");
}

void FlowMedium::RecordGlueInstall(bool fStatusCode, REGSAM samView)
{
    WriteString(DriverKey(), "GluePath", m_medium.PdiFolder() + "\\", samView);
    WriteString(DriverKey(), "PrinterFriendlyName", kPrinter, samView);
    const DWORD dwStatus = 0;
    if (fStatusCode) WriteValue(DriverKey(), "statuscode", REG_DWORD, &dwStatus, sizeof(dwStatus), samView);
    WriteString(ToStd(g_sRegKeyUninstall) + "\\" + kDriver + "_Driver\\Files", "DisplayName", kDriver, samView);
}

void FlowMedium::SetGluePath(const std::string& sPath) { WriteString(DriverKey(), "GluePath", sPath); }

std::string FlowMedium::Command() const
{
    return "\"" + m_medium.PdiPath() + "\" -log 0xaf -printerdriver=" + kDriver + " -product=" + kPrinter + " -port=LPT1:";
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
    SetWineVersionFor("vxfpdi14.exe", sRelease);
    return RunProcess(Command(), Environment(extra), dwTimeoutMs);
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
