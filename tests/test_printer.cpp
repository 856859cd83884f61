// CPrinter against printers installed into the spooler for this program, and its device
// models from a data file of its own.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/error_codes.h"
#include "infrastructure/factory.h"
#include "infrastructure/ipc_objects.h"
#include "infrastructure/os_version.h"
#include "infrastructure/port.h"
#include "infrastructure/printer.h"
#include "support/box_answerer.h"
#include "support/import_patch.h"
#include "support/spooler_printers.h"
#include "support/test_support.h"

namespace
{

const char kLptPrinter[] = "Vxt Office LPT";
const char kUsbPrinter[] = "Vxt Office USB";
const char kDirectPrinter[] = "Vxt Office Direct";
const char kOtherPrinter[] = "Vxt Other";  // driver the factory does not know
const char kNodotPrinter[] = "Vxt Nodot";  // driver file without an extension, model with a card
const char kOfficeDriver[] = "Vxt Office 14";
const char kOtherDriver[] = "Vxt Other AB7";
const char kNodotDriver[] = "Vxt Nodot";
const char kLocalPrinters[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\";
const char kServers[] = "System\\CurrentControlSet\\Control\\Print\\Providers\\LanMan Print Services\\Servers";

const char kDataFile[] =
    "[Version]\r\n"
    "InfrastructureDatabaseList=models.dat\r\n";
const char kModelFile[] =
    "[Models]\r\n"
    "1=OFFICE14\r\n"
    "2=NODOT\r\n"
    "[OFFICE14]\r\n"
    "drivername=Vxt Office 14\r\n"
    "modelname=Vxt Office\r\n"
    "firmwarename=VXTFW\r\n"
    "helpfile=vxt.hlp\r\n"
    "usb=2\r\n"
    "pml=1\r\n"
    "lpt=1\r\n"
    "ir=0\r\n"
    "vip=1\r\n"
    "dot4support=1\r\n"
    "saveutility=2\r\n"
    "[NODOT]\r\n"
    "drivername=Vxt Nodot\r\n"
    "card=1\r\n"
    "mscl=3\r\n"
    "1394=1\r\n";

// The drivers, printers and data files of the whole program.
class PrinterEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_pData.reset(new vxtest::ScratchDir("printer"));
        ASSERT_TRUE(vxtest::WriteFileBytes(m_pData->File("vxtins14.dat"), kDataFile));
        ASSERT_TRUE(vxtest::WriteFileBytes(m_pData->File("models.dat"), kModelFile));
        g_Factory.Init(m_pData->File("vxtins14.dat").c_str(), FACTORY_LOAD_MODELS);
        ASSERT_EQ(2u, g_Factory.GetModelList().size());

        m_pSpooler.reset(new vxtest::SpoolerPrinters);
        ASSERT_TRUE(m_pSpooler->InstallDriver(kOfficeDriver, "vxtdrv14.dll")) << GetLastError();
        ASSERT_TRUE(m_pSpooler->InstallDriver(kOtherDriver, "vxtab7.dll")) << GetLastError();
        ASSERT_TRUE(m_pSpooler->InstallDriver(kNodotDriver, "vxtnodot")) << GetLastError();
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kLptPrinter, "LPT1:", kOfficeDriver)) << GetLastError();
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kUsbPrinter, "USB001", kOfficeDriver)) << GetLastError();
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kDirectPrinter, "LPT2:", kOfficeDriver, PRINTER_ATTRIBUTE_DIRECT))
            << GetLastError();
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kOtherPrinter, "USB002", kOtherDriver)) << GetLastError();
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kNodotPrinter, "DOT4_001", kNodotDriver)) << GetLastError();
    }
    void TearDown() override
    {
        m_pSpooler.reset();
        g_Factory.Init(NULL, 0);
        m_pData.reset();
    }

private:
    std::unique_ptr<vxtest::ScratchDir> m_pData;
    std::unique_ptr<vxtest::SpoolerPrinters> m_pSpooler;
};

[[maybe_unused]] const ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new PrinterEnvironment);

CPrinter* NewPrinter(const char* pszName, unsigned uMinimum = 99)
{
    CPrinter* pPrinter = new CPrinter;
    EXPECT_EQ(1u, pPrinter->Init(pszName, uMinimum)) << pszName << " " << GetLastError();
    return pPrinter;
}

// The trace lines written from construction on, with every category switched on.
class TraceTail
{
public:
    TraceTail() : m_dwOldMask(g_TraceLog.GetMask())
    {
        g_TraceLog.SetMask(0x1FF);
        std::string sBytes;
        vxtest::ReadFileBytes(g_TraceLog.GetPath().c_str(), &sBytes);
        m_cbSkip = sBytes.size();
    }
    ~TraceTail() { g_TraceLog.SetMask(m_dwOldMask); }
    std::string Text() const
    {
        std::string sBytes;
        vxtest::ReadFileBytes(g_TraceLog.GetPath().c_str(), &sBytes);
        return sBytes.size() > m_cbSkip ? sBytes.substr(m_cbSkip) : std::string();
    }

private:
    DWORD m_dwOldMask;
    size_t m_cbSkip;
};

bool SetStatusValue(const char* pszPrinter, DWORD dwStatus)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, vxtest::PrinterKeyPath(pszPrinter).c_str(), 0, KEY_SET_VALUE, &hKey) !=
        ERROR_SUCCESS)
        return false;
    const LONG lResult =
        RegSetValueExA(hKey, "Status", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwStatus), sizeof(dwStatus));
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

// A registry key whose access list refuses everyone for the object's life; the original list
// comes back at the end.
class DeniedKey
{
public:
    explicit DeniedKey(const std::string& sPath) : m_sPath(sPath), m_fDenied(false)
    {
        HKEY hKey = NULL;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, READ_CONTROL | WRITE_DAC, &hKey) != ERROR_SUCCESS)
            return;
        DWORD cb = 0;
        RegGetKeySecurity(hKey, DACL_SECURITY_INFORMATION, NULL, &cb);
        m_original.resize(cb ? cb : 1);
        if (cb && RegGetKeySecurity(hKey, DACL_SECURITY_INFORMATION, m_original.data(), &cb) == ERROR_SUCCESS)
        {
            SECURITY_DESCRIPTOR sd;
            InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
            ACL acl;
            InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
            SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE);
            m_fDenied = RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
        }
        RegCloseKey(hKey);
    }
    ~DeniedKey()
    {
        if (!m_fDenied) return;
        HKEY hKey = NULL;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_sPath.c_str(), 0, WRITE_DAC, &hKey) != ERROR_SUCCESS) return;
        RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, m_original.data());
        RegCloseKey(hKey);
    }
    bool IsDenied() const { return m_fDenied; }

private:
    DeniedKey(const DeniedKey&);
    DeniedKey& operator=(const DeniedKey&);
    std::string m_sPath;
    std::vector<BYTE> m_original;
    bool m_fDenied;
};

DWORD WINAPI AbandonSpoolerMutex(void*)
{
    return g_SpoolerMutex.Wait(INFINITE);  // and ends without releasing it
}

// Stand-ins for the spooler calls the library statically linked into this program makes: each
// notes its name and whether the spooler mutex was held, then calls the spooler. SetPrinterA
// can refuse instead, as the spooler does a user without the rights.
typedef BOOL(WINAPI* GetPrinterFn)(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
typedef BOOL(WINAPI* SetPrinterFn)(HANDLE, DWORD, LPBYTE, DWORD);
typedef BOOL(WINAPI* GetPrinterDriverFn)(HANDLE, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD);
typedef BOOL(WINAPI* EnumPortsFn)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
typedef BOOL(WINAPI* AddPrinterDriverFn)(LPSTR, DWORD, LPBYTE);
typedef DWORD(WINAPI* StartDocPrinterFn)(HANDLE, DWORD, LPBYTE);

struct SpoolerSystem
{
    GetPrinterFn pfnGetPrinter;
    SetPrinterFn pfnSetPrinter;
    GetPrinterDriverFn pfnGetPrinterDriver;
    EnumPortsFn pfnEnumPorts;
    AddPrinterDriverFn pfnAddPrinterDriver;
    StartDocPrinterFn pfnStartDocPrinter;
    bool fRefuseSet;
    std::vector<std::string> calls;
};
SpoolerSystem g_spooler;

void Note(const char* pszFunction)
{
    g_spooler.calls.push_back(std::string(pszFunction) + (vxtest::IsMutexHeldElsewhere("SpoolerMutex") ? " held" : " free"));
}

BOOL WINAPI NotedGetPrinter(HANDLE h, DWORD dwLevel, LPBYTE p, DWORD cb, LPDWORD pcbNeeded)
{
    Note("GetPrinterA");
    return g_spooler.pfnGetPrinter(h, dwLevel, p, cb, pcbNeeded);
}

BOOL WINAPI NotedSetPrinter(HANDLE h, DWORD dwLevel, LPBYTE p, DWORD dwCommand)
{
    Note("SetPrinterA");
    if (!g_spooler.fRefuseSet) return g_spooler.pfnSetPrinter(h, dwLevel, p, dwCommand);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI NotedGetPrinterDriver(HANDLE h, LPSTR pszEnvironment, DWORD dwLevel, LPBYTE p, DWORD cb, LPDWORD pcbNeeded)
{
    Note("GetPrinterDriverA");
    return g_spooler.pfnGetPrinterDriver(h, pszEnvironment, dwLevel, p, cb, pcbNeeded);
}

BOOL WINAPI NotedEnumPorts(LPSTR pszServer, DWORD dwLevel, LPBYTE p, DWORD cb, LPDWORD pcbNeeded, LPDWORD pdwCount)
{
    Note("EnumPortsA");
    return g_spooler.pfnEnumPorts(pszServer, dwLevel, p, cb, pcbNeeded, pdwCount);
}

BOOL WINAPI NotedAddPrinterDriver(LPSTR pszServer, DWORD dwLevel, LPBYTE p)
{
    Note("AddPrinterDriverA");
    return g_spooler.pfnAddPrinterDriver(pszServer, dwLevel, p);
}

DWORD WINAPI NotedStartDocPrinter(HANDLE h, DWORD dwLevel, LPBYTE p)
{
    Note("StartDocPrinterA");
    return g_spooler.pfnStartDocPrinter(h, dwLevel, p);
}

class SpoolerCallNotes
{
public:
    explicit SpoolerCallNotes(bool fRefuseSet = false)
        : m_getPrinter(Module(), "winspool.drv", "GetPrinterA", reinterpret_cast<const void*>(&NotedGetPrinter)),
          m_setPrinter(Module(), "winspool.drv", "SetPrinterA", reinterpret_cast<const void*>(&NotedSetPrinter)),
          m_getDriver(Module(), "winspool.drv", "GetPrinterDriverA", reinterpret_cast<const void*>(&NotedGetPrinterDriver)),
          m_enumPorts(Module(), "winspool.drv", "EnumPortsA", reinterpret_cast<const void*>(&NotedEnumPorts)),
          m_addDriver(Module(), "winspool.drv", "AddPrinterDriverA", reinterpret_cast<const void*>(&NotedAddPrinterDriver)),
          m_startDoc(Module(), "winspool.drv", "StartDocPrinterA", reinterpret_cast<const void*>(&NotedStartDocPrinter))
    {
        g_spooler.pfnGetPrinter = reinterpret_cast<GetPrinterFn>(m_getPrinter.Original());
        g_spooler.pfnSetPrinter = reinterpret_cast<SetPrinterFn>(m_setPrinter.Original());
        g_spooler.pfnGetPrinterDriver = reinterpret_cast<GetPrinterDriverFn>(m_getDriver.Original());
        g_spooler.pfnEnumPorts = reinterpret_cast<EnumPortsFn>(m_enumPorts.Original());
        g_spooler.pfnAddPrinterDriver = reinterpret_cast<AddPrinterDriverFn>(m_addDriver.Original());
        g_spooler.pfnStartDocPrinter = reinterpret_cast<StartDocPrinterFn>(m_startDoc.Original());
        g_spooler.fRefuseSet = fRefuseSet;
        g_spooler.calls.clear();
    }

    bool Applied() const
    {
        return m_getPrinter.Applied() && m_setPrinter.Applied() && m_getDriver.Applied() && m_enumPorts.Applied() &&
               m_addDriver.Applied() && m_startDoc.Applied();
    }
    // The calls noted since the last look.
    std::vector<std::string> Take()
    {
        std::vector<std::string> calls;
        calls.swap(g_spooler.calls);
        return calls;
    }

private:
    static HMODULE Module() { return GetModuleHandleA(NULL); }
    vxtest::ImportPatch m_getPrinter, m_setPrinter, m_getDriver, m_enumPorts, m_addDriver, m_startDoc;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Init and names

TEST(PrinterInit, NullAndUnknownNamesFail)
{
    CPrinter printer;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, printer.Init(NULL, 99));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, printer.Init("Vxt No Such Printer", 99));
    EXPECT_NE(0xdeadbeefu, GetLastError());
    EXPECT_NE(0u, GetLastError());
    EXPECT_STREQ("Vxt No Such Printer", printer.GetATemporalFriendlyNamePtr());
    EXPECT_STREQ("", printer.GetATemporalPortNamePtr());
}

TEST(PrinterInit, KnownPrinterTakesItsPortAndClearsLastError)
{
    CPrinter printer;
    SetLastError(0xdeadbeef);
    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_STREQ(kLptPrinter, printer.GetATemporalFriendlyNamePtr());
    EXPECT_STREQ("LPT1:", printer.GetATemporalPortNamePtr());
    EXPECT_STREQ("LPT1:", printer.GetATemporalPortRef().GetATemporalNamePtr());
    EXPECT_EQ(0u, printer.IsUNC());
}

TEST(PrinterInit, LongNamesAreBoundedOrRefused)
{
    CPrinter printer;
    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));

    // 259 characters fit: the spooler does not know the printer, and no buffer overruns.
    const std::string s259(259, 'Q');
    EXPECT_EQ(0u, printer.Init(s259.c_str(), 99));
    EXPECT_EQ(s259, printer.GetATemporalFriendlyNamePtr());
    char szPath[CPrinter::kRegistryPathSize + 8];
    std::memset(szPath, 0xcc, sizeof(szPath));
    printer.BuildPathToVX(szPath);
    EXPECT_EQ(std::string(kLocalPrinters) + s259, szPath);
    EXPECT_EQ(static_cast<char>(0xcc), szPath[CPrinter::kRegistryPathSize]);

    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));
    const size_t kRefused[] = {260, 300};
    for (size_t i = 0; i < sizeof(kRefused) / sizeof(kRefused[0]); ++i)
    {
        const std::string sName(kRefused[i], 'R');
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0u, printer.Init(sName.c_str(), 99)) << kRefused[i];
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError()) << kRefused[i];
        EXPECT_STREQ(kLptPrinter, printer.GetATemporalFriendlyNamePtr()) << kRefused[i];
        EXPECT_STREQ("LPT1:", printer.GetATemporalPortNamePtr()) << kRefused[i];
    }
    void* pInfo = printer.GetPrinterInfo(2);
    ASSERT_TRUE(pInfo != NULL);
    EXPECT_STREQ(kLptPrinter, static_cast<PRINTER_INFO_2A*>(pInfo)->pPrinterName);
    printer.ReleasePrinterInfo(pInfo);
}

TEST(PrinterInit, AnotherNameDropsTheOldHandlesAndModel)
{
    CPrinter printer;
    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));
    ASSERT_TRUE(printer.GetWindowsHandle(CPrinter::eUser) != NULL);
    ASSERT_EQ(1u, printer.DeviceModelInit());
    ASSERT_EQ(1u, printer.Init(kOtherPrinter, 99));
    EXPECT_STREQ("USB002", printer.GetATemporalPortNamePtr());
    void* pInfo = printer.GetPrinterInfo(2);
    ASSERT_TRUE(pInfo != NULL);
    EXPECT_STREQ(kOtherPrinter, static_cast<PRINTER_INFO_2A*>(pInfo)->pPrinterName);
    printer.ReleasePrinterInfo(pInfo);
    EXPECT_STREQ("", printer.GetModelName()) << "the unknown driver's default model";
}

TEST(PrinterNames, NetworkNamesAndTheirRegistryPaths)
{
    struct Case
    {
        const char* pszName;
        const char* pszPortName;   // the registry name
        const char* pszPrinters;   // below the servers' key
        const char* pszVxNT;       // the last component on the NT family
        const char* pszVx9x;       // and on Windows 9x
    };
    const Case kCases[] = {
        {"\\\\SRV\\Laser", ",,SRV,Laser", "\\SRV\\Printers\\", "Laser", ",,SRV,Laser"},
        {"\\\\SRV", ",,SRV", "\\SRV\\Printers\\", "", ",,SRV"},  // no third backslash
        {"\\\\SRV\\Queue\\Sub", ",,SRV,Queue,Sub", "\\SRV\\Printers\\", "Queue\\Sub", ",,SRV,Queue,Sub"},
        {"\\\\SRV\\", ",,SRV,", "\\SRV\\Printers\\", "", ",,SRV,"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const Case& c = kCases[i];
        CPrinter printer;
        EXPECT_EQ(0u, printer.Init(c.pszName, 99)) << "case " << i << ": Wine's spooler has no network printers";
        EXPECT_STREQ(c.pszName, printer.GetATemporalFriendlyNamePtr()) << "case " << i;
        EXPECT_STREQ(c.pszPortName, printer.GetATemporalPortNamePtr()) << "case " << i;
        EXPECT_EQ(1u, printer.IsUNC()) << "case " << i;
        EXPECT_EQ(0u, printer.IsPortSupported()) << "case " << i;
        EXPECT_EQ(0u, printer.IsDeviceSupported()) << "case " << i;

        char szPath[CPrinter::kRegistryPathSize];
        printer.BuildPathToPrinters(szPath);
        const std::string sPrinters = std::string(kServers) + c.pszPrinters;
        EXPECT_EQ(sPrinters, szPath) << "case " << i;
        printer.BuildPathToVX(szPath);
        EXPECT_EQ(sPrinters + (IsNT() ? c.pszVxNT : c.pszVx9x), szPath) << "case " << i;
    }
}

TEST(PrinterNames, LocalPathsAndSizedForms)
{
    CPrinter printer;
    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));
    const std::string sVx = std::string(kLocalPrinters) + kLptPrinter;
    char szPath[CPrinter::kRegistryPathSize];
    printer.BuildPathToPrinters(szPath);
    EXPECT_STREQ(kLocalPrinters, szPath);
    printer.BuildPathToVX(szPath);
    EXPECT_EQ(sVx, szPath);

    std::memset(szPath, 0xcc, sizeof(szPath));
    EXPECT_FALSE(printer.BuildPathToVX(szPath, sVx.size()));
    EXPECT_EQ(static_cast<char>(0xcc), szPath[0]);
    EXPECT_FALSE(printer.BuildPathToPrinters(szPath, 0));
    EXPECT_FALSE(printer.BuildPathToVX(NULL, sizeof(szPath)));
    EXPECT_TRUE(printer.BuildPathToVX(szPath, sVx.size() + 1));
    EXPECT_EQ(sVx, szPath);
    EXPECT_EQ(static_cast<char>(0xcc), szPath[sVx.size() + 1]);
}

// ---------------------------------------------------------------------------------------------
// Handles and the spooler mutex

TEST(PrinterHandles, OnePerAccessTypeCached)
{
    CPrinter printer;
    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));
    HANDLE hAdmin = printer.GetWindowsHandle(CPrinter::eAdmin);
    HANDLE hUser = printer.GetWindowsHandle(CPrinter::eUser);
    ASSERT_TRUE(hAdmin != NULL);
    ASSERT_TRUE(hUser != NULL);
    EXPECT_NE(hAdmin, hUser);
    EXPECT_EQ(hAdmin, printer.GetWindowsHandle(CPrinter::eAdmin));
    EXPECT_EQ(hUser, printer.GetWindowsHandle(CPrinter::eUser));
    EXPECT_EQ(1u, printer.OpenVX(CPrinter::eUser));
    EXPECT_EQ(1u, printer.OpenVX(CPrinter::eAdmin));
}

TEST(PrinterHandles, NoNameNoHandle)
{
    CPrinter printer;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(printer.GetWindowsHandle(CPrinter::eUser) == NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
    EXPECT_TRUE(printer.GetPrinterInfo(2) == NULL);
    EXPECT_EQ(0u, printer.DeviceModelInit());
    EXPECT_TRUE(printer.GetModelName() == NULL);
    EXPECT_EQ(0u, printer.HasUSB());
    EXPECT_EQ(0, static_cast<int>(printer.SupportsDOT4()));
    EXPECT_EQ(0u, printer.HasOldDriver());
    printer.Dump();
}

TEST(PrinterHandles, TracedMutexAroundOpen)
{
    TraceTail trace;
    CPrinter printer;
    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));
    const std::string sText = trace.Text();
    const size_t iWait = sText.find(" WAITs for the spooler mutex");
    const size_t iGet = sText.find(" GETs the spooler mutex");
    const size_t iRelease = sText.find(" RELEASEs the spooler mutex");
    const size_t iOpen = sText.find("Handle open");
    ASSERT_NE(std::string::npos, iWait) << sText;
    ASSERT_NE(std::string::npos, iGet) << sText;
    ASSERT_NE(std::string::npos, iRelease) << sText;
    ASSERT_NE(std::string::npos, iOpen) << sText;
    EXPECT_LT(iWait, iGet);
    EXPECT_LT(iGet, iRelease);
    EXPECT_LT(iRelease, iOpen);
    EXPECT_EQ(std::string::npos, sText.find("Failure on")) << sText;
    // The command line and thread id stand before the words.
    const std::string sThread = " " + std::to_string(GetCurrentThreadId()) + " WAITs";
    EXPECT_NE(std::string::npos, sText.find(sThread)) << sText;
}

TEST(PrinterHandles, FailedOpenIsTracedWithTheCause)
{
    TraceTail trace;
    CPrinter printer;
    EXPECT_EQ(0u, printer.Init("Vxt No Such Printer", 99));
    const DWORD dwError = GetLastError();
    const std::string sText = trace.Text();
    EXPECT_NE(std::string::npos, sText.find("OpenPrinter fails 'cause =" + std::to_string(dwError))) << sText;
    EXPECT_NE(std::string::npos, sText.find(" RELEASEs the spooler mutex")) << sText;
    EXPECT_EQ(std::string::npos, sText.find("Handle open")) << sText;
}

TEST(PrinterHandles, AbandonedMutexIsTracedAndReleased)
{
    HANDLE hThread = CreateThread(NULL, 0, AbandonSpoolerMutex, NULL, 0, NULL);
    ASSERT_TRUE(hThread != NULL);
    WaitForSingleObject(hThread, INFINITE);
    DWORD dwWait = 0xdeadbeef;
    GetExitCodeThread(hThread, &dwWait);
    CloseHandle(hThread);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), dwWait);

    TraceTail trace;
    CPrinter printer;
    EXPECT_EQ(1u, printer.Init(kLptPrinter, 99));
    const std::string sText = trace.Text();
    EXPECT_NE(std::string::npos, sText.find("Failure on waiting for the spooler mutex")) << sText;
    EXPECT_EQ(std::string::npos, sText.find("Failure on releasing the spooler mutex")) << sText;
    EXPECT_NE(std::string::npos, sText.find("Handle open")) << sText;
    // Released again: another thread gets it at once.
    EXPECT_FALSE(vxtest::IsMutexHeldElsewhere("SpoolerMutex"));
}

// ---------------------------------------------------------------------------------------------
// Copies

TEST(PrinterCopy, CopiesOpenTheirOwnHandles)
{
    CPrinter printer;
    ASSERT_EQ(1u, printer.Init(kUsbPrinter, 99));
    HANDLE hOriginal = printer.GetWindowsHandle(CPrinter::eUser);
    ASSERT_TRUE(hOriginal != NULL);
    ASSERT_EQ(1u, printer.DeviceModelInit());
    {
        CPrinter copy(printer);
        EXPECT_STREQ(kUsbPrinter, copy.GetATemporalFriendlyNamePtr());
        EXPECT_STREQ("USB001", copy.GetATemporalPortNamePtr());
        EXPECT_STREQ(kOfficeDriver, copy.GetModelName());
        HANDLE hCopy = copy.GetWindowsHandle(CPrinter::eUser);
        ASSERT_TRUE(hCopy != NULL);
        EXPECT_NE(hOriginal, hCopy);
        EXPECT_EQ(1u, copy.OpenVX(CPrinter::eUser));
    }
    // The copy closed only its own handle.
    DWORD cbNeeded = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetPrinterA(hOriginal, 2, NULL, 0, &cbNeeded));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(hOriginal, printer.GetWindowsHandle(CPrinter::eUser));
}

TEST(PrinterCopy, AssignmentReplacesHandlesOfTheOldPrinter)
{
    CPrinter source;
    ASSERT_EQ(1u, source.Init(kLptPrinter, 99));
    CPrinter target;
    ASSERT_EQ(1u, target.Init(kOtherPrinter, 99));
    ASSERT_TRUE(target.GetWindowsHandle(CPrinter::eUser) != NULL);
    target = source;
    target = target;
    EXPECT_STREQ(kLptPrinter, target.GetATemporalFriendlyNamePtr());
    void* pInfo = target.GetPrinterInfo(2);
    ASSERT_TRUE(pInfo != NULL);
    EXPECT_STREQ(kLptPrinter, static_cast<PRINTER_INFO_2A*>(pInfo)->pPrinterName);
    target.ReleasePrinterInfo(pInfo);
}

// ---------------------------------------------------------------------------------------------
// Information, attributes, status

TEST(PrinterInfo, LevelsAndBadLevel)
{
    CPrinter printer;
    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));
    void* p2 = printer.GetPrinterInfo(2);
    ASSERT_TRUE(p2 != NULL);
    EXPECT_STREQ("LPT1:", static_cast<PRINTER_INFO_2A*>(p2)->pPortName);
    EXPECT_STREQ(kOfficeDriver, static_cast<PRINTER_INFO_2A*>(p2)->pDriverName);
    printer.ReleasePrinterInfo(p2);
    void* p4 = printer.GetPrinterInfo(4);
    ASSERT_TRUE(p4 != NULL);
    EXPECT_STREQ(kLptPrinter, static_cast<PRINTER_INFO_4A*>(p4)->pPrinterName);
    printer.ReleasePrinterInfo(p4);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(printer.GetPrinterInfo(99) == NULL);
    EXPECT_NE(0xdeadbeefu, GetLastError());
    printer.ReleasePrinterInfo(NULL);
}

TEST(PrinterInfo, SetChangesTheSpoolersRecord)
{
    CPrinter printer;
    ASSERT_EQ(1u, printer.Init(kLptPrinter, 99));
    PRINTER_INFO_2A* pInfo = static_cast<PRINTER_INFO_2A*>(printer.GetPrinterInfo(2));
    ASSERT_TRUE(pInfo != NULL);
    char szComment[] = "vxt comment";
    pInfo->pComment = szComment;
    EXPECT_EQ(1u, printer.SetPrinterInfo(pInfo, 2));
    printer.ReleasePrinterInfo(pInfo);
    pInfo = static_cast<PRINTER_INFO_2A*>(printer.GetPrinterInfo(2));
    ASSERT_TRUE(pInfo != NULL);
    EXPECT_STREQ("vxt comment", pInfo->pComment);
    printer.ReleasePrinterInfo(pInfo);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, printer.SetPrinterInfo(NULL, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(PrinterAttributes, DirectAndBidiBits)
{
    std::unique_ptr<CPrinter> pDirect(NewPrinter(kDirectPrinter));
    std::unique_ptr<CPrinter> pLpt(NewPrinter(kLptPrinter));
    DWORD dwAttributes = 0;
    ASSERT_TRUE(vxtest::ReadPrinterInfo2(kDirectPrinter, NULL, &dwAttributes));
    EXPECT_EQ(dwAttributes, pDirect->GetAttributes());
    EXPECT_EQ(1u, pDirect->IsDirect2Printer());
    EXPECT_EQ(0u, pLpt->IsDirect2Printer());
    EXPECT_EQ(1u, pLpt->IsDisabled()) << "no bidirectional support after install";
}

TEST(PrinterStatus, PausedBitsFromTheRegistry)
{
    std::unique_ptr<CPrinter> pPrinter(NewPrinter(kLptPrinter));
    struct Case
    {
        DWORD dwStatus;
        unsigned long ulPaused;
    };
    const Case kCases[] = {{0, 0}, {0x1, 0x1}, {0x100000, 0x100000}, {0x100001, 0x100001}, {0x2, 0},
                           {0xFFFFFFFF, 0x100001}};
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        ASSERT_TRUE(SetStatusValue(kLptPrinter, kCases[i].dwStatus)) << "case " << i;
        EXPECT_EQ(kCases[i].dwStatus, pPrinter->GetStatus()) << "case " << i;
        EXPECT_EQ(kCases[i].ulPaused, pPrinter->IsPaused()) << "case " << i;
    }
    ASSERT_TRUE(SetStatusValue(kLptPrinter, 0));
}

TEST(PrinterStatus, NoKeyNoStatus)
{
    CPrinter printer;
    EXPECT_EQ(0u, printer.Init("Vxt No Such Printer", 99));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, printer.GetStatus());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(0u, printer.GetAttributes());
    EXPECT_EQ(0u, printer.OpenVX(CPrinter::eUser));
}

TEST(PrinterAccess, DeniedKeyShowsTheWarning)
{
    std::unique_ptr<CPrinter> pPrinter(NewPrinter(kUsbPrinter));
    DeniedKey denied(vxtest::PrinterKeyPath(kUsbPrinter));
    ASSERT_TRUE(denied.IsDenied());
    {
        vxtest::BoxAnswerer answerer("Warning", IDOK);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0u, pPrinter->GetStatus());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        ASSERT_TRUE(answerer.Wait());
        EXPECT_TRUE(answerer.HasText("No rights for Bi-Di")) << answerer.Texts().size();
    }
    // Windows 9x ignores the access asked for when a key is opened (Wine does the same), so
    // there the refusal comes with the value read above, not with the open.
    if (Is9X()) return;
    {
        vxtest::BoxAnswerer answerer("Warning", IDOK);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0u, pPrinter->OpenVX(CPrinter::eAdmin));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        ASSERT_TRUE(answerer.Wait());
        EXPECT_TRUE(answerer.HasText("No rights for Bi-Di"));
    }
}

// The refusal's warning waits for a person, so it comes only after the spooler mutex was given
// back: meanwhile another thread takes it at once.
TEST(PrinterAccess, RefusedChangeWarnsWithTheSpoolerMutexFree)
{
    std::unique_ptr<CPrinter> pPrinter(NewPrinter(kUsbPrinter));
    void* pInfo = pPrinter->GetPrinterInfo(2);
    ASSERT_TRUE(pInfo != NULL);
    SpoolerCallNotes notes(true);
    ASSERT_TRUE(notes.Applied());
    bool fHeldWhileShown = true;
    {
        vxtest::BoxAnswerer answerer("Warning", IDOK, 20000,
                                     [&fHeldWhileShown] { fHeldWhileShown = vxtest::IsMutexHeldElsewhere("SpoolerMutex"); });
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0u, pPrinter->SetPrinterInfo(pInfo, 2));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        ASSERT_TRUE(answerer.Wait());
        EXPECT_TRUE(answerer.HasText("No rights for Bi-Di"));
    }
    EXPECT_FALSE(fHeldWhileShown) << "the warning was up while the spooler mutex was held";
    EXPECT_EQ(std::vector<std::string>{"SetPrinterA held"}, notes.Take());
    pPrinter->ReleasePrinterInfo(pInfo);
}

// ---------------------------------------------------------------------------------------------
// Bidirectional support and the language monitor

TEST(PrinterEnable, BidiOnlyOnSupportedPorts)
{
    std::unique_ptr<CPrinter> pUsb(NewPrinter(kUsbPrinter));
    std::unique_ptr<CPrinter> pLpt(NewPrinter(kLptPrinter));
    const unsigned uEnabled = pUsb->Enable(1);
    if (!Is9X())
    {
        EXPECT_EQ(1u, uEnabled);  // Windows 9x: the empty job's outcome, tested below
    }
    EXPECT_EQ(0u, pUsb->IsDisabled());
    DWORD dwAttributes = 0;
    ASSERT_TRUE(vxtest::ReadPrinterInfo2(kUsbPrinter, NULL, &dwAttributes));
    EXPECT_EQ(static_cast<DWORD>(PRINTER_ATTRIBUTE_ENABLE_BIDI), dwAttributes & PRINTER_ATTRIBUTE_ENABLE_BIDI);
    pUsb->Disable();
    EXPECT_EQ(1u, pUsb->IsDisabled());

    pLpt->Enable(1);
    EXPECT_EQ(1u, pLpt->IsDisabled()) << "a parallel port is not a supported port";
}

TEST(PrinterEnable, EmptyJobOnWindows9xOnly)
{
    std::unique_ptr<CPrinter> pDirect(NewPrinter(kDirectPrinter));
    std::unique_ptr<CPrinter> pLpt(NewPrinter(kLptPrinter));
    EXPECT_EQ(1u, pDirect->Enable(1)) << "a direct printer gets no job";
    if (!Is9X())
    {
        EXPECT_EQ(1u, pLpt->Enable(1));
        return;
    }
    // What an empty RAW job gives on this spooler, sent the same way by hand.
    HANDLE hPrinter = NULL;
    char szName[] = "Vxt Office LPT";
    ASSERT_TRUE(OpenPrinterA(szName, &hPrinter, NULL));
    char szDoc[] = "";
    char szRaw[] = "RAW";
    DOC_INFO_1A doc = {szDoc, NULL, szRaw};
    ASSERT_NE(0u, StartDocPrinterA(hPrinter, 1, reinterpret_cast<BYTE*>(&doc)));
    ASSERT_TRUE(StartPagePrinter(hPrinter) && EndPagePrinter(hPrinter));
    SetLastError(0xdeadbeef);
    const unsigned uJob = EndDocPrinter(hPrinter) ? 1 : 0;
    const DWORD dwJobError = GetLastError();
    ClosePrinter(hPrinter);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(uJob, pLpt->Enable(1));
    if (!uJob)
    {
        EXPECT_EQ(dwJobError, GetLastError());
    }
}

TEST(PrinterLanguageMonitor, AddedKeptAndRemoved)
{
    std::unique_ptr<CPrinter> pUsb(NewPrinter(kUsbPrinter));
    ASSERT_EQ(1u, pUsb->IsDeviceSupported());
    ASSERT_EQ(1u, pUsb->IsPortSupported());
    std::string sMonitor;
    // Windows 9x ends with the empty job, whose outcome EmptyJobOnWindows9xOnly pins down.
    const unsigned uDisabled = pUsb->DisableLM();
    if (!Is9X())
    {
        ASSERT_EQ(1u, uDisabled);
    }
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kUsbPrinter, &sMonitor));
    EXPECT_EQ("", sMonitor);
    EXPECT_EQ(1u, pUsb->IsDisabled());

    pUsb->EnableLM(1, VX_LANGUAGE_MONITOR_NAME);
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kUsbPrinter, &sMonitor));
    EXPECT_EQ(VX_LANGUAGE_MONITOR_NAME, sMonitor);
    EXPECT_EQ(0u, pUsb->IsDisabled());

    // With the library's monitor in place the driver is not added again.
    pUsb->EnableLM(1, "Vxt Other Monitor");
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kUsbPrinter, &sMonitor));
    EXPECT_EQ(VX_LANGUAGE_MONITOR_NAME, sMonitor);

    pUsb->DisableLM();
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kUsbPrinter, &sMonitor));
    EXPECT_EQ("", sMonitor);
    EXPECT_EQ(1u, pUsb->IsDisabled());

    pUsb->EnableLM(1, "Vxt Other Monitor");
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kUsbPrinter, &sMonitor));
    EXPECT_EQ("Vxt Other Monitor", sMonitor);
    pUsb->DisableLM();
}

TEST(PrinterLanguageMonitor, ParallelPortGetsTheMonitorButNoBidi)
{
    std::unique_ptr<CPrinter> pLpt(NewPrinter(kLptPrinter));
    pLpt->EnableLM(1, VX_LANGUAGE_MONITOR_NAME);
    std::string sMonitor;
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kLptPrinter, &sMonitor));
    EXPECT_EQ(VX_LANGUAGE_MONITOR_NAME, sMonitor);
    EXPECT_EQ(1u, pLpt->IsDisabled());
    pLpt->DisableLM();
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kLptPrinter, &sMonitor));
    EXPECT_EQ("", sMonitor);
}

TEST(PrinterLanguageMonitor, UnsupportedDeviceChangesNothing)
{
    std::unique_ptr<CPrinter> pOther(NewPrinter(kOtherPrinter));
    EXPECT_EQ(1u, pOther->EnableLM(1, VX_LANGUAGE_MONITOR_NAME));
    std::string sMonitor;
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kOtherPrinter, &sMonitor));
    EXPECT_EQ("", sMonitor);
    EXPECT_EQ(1u, pOther->IsDisabled());
}

TEST(PrinterLanguageMonitor, BadMonitorNamesAreRefused)
{
    std::unique_ptr<CPrinter> pUsb(NewPrinter(kUsbPrinter));
    const std::string sLong(CPrinter::kNameSize, 'M');
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, pUsb->EnableLM(1, sLong.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, pUsb->EnableLM(1, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    std::string sMonitor;
    ASSERT_TRUE(vxtest::ReadDriverMonitor(kUsbPrinter, &sMonitor));
    EXPECT_EQ("", sMonitor);
}

// ---------------------------------------------------------------------------------------------
// Device model

TEST(PrinterModel, KnownDriverAnswersFromItsModel)
{
    std::unique_ptr<CPrinter> pLpt(NewPrinter(kLptPrinter));
    std::unique_ptr<CPrinter> pUsb(NewPrinter(kUsbPrinter));
    ASSERT_EQ(1u, pLpt->DeviceModelInit());
    EXPECT_STREQ(kOfficeDriver, pLpt->GetModelName());
    EXPECT_STREQ("VXTFW", pLpt->GetFirmwareName());
    EXPECT_STREQ("vxt.hlp", pLpt->GetHelpFileName());
    EXPECT_EQ(2u, pLpt->HasUSB());
    EXPECT_EQ(1u, pLpt->HasPML());
    EXPECT_EQ(1u, pLpt->HasLPT());
    EXPECT_EQ(1u, pLpt->HasVIP());
    EXPECT_EQ(0u, pLpt->HasCard());
    EXPECT_EQ(0u, pLpt->HasIRLpt());
    EXPECT_EQ(1, static_cast<int>(pLpt->SupportsDOT4()));
    EXPECT_EQ(2, static_cast<int>(pLpt->SaveUtilityMethod()));
    EXPECT_TRUE(pLpt->GetDeviceInstanceID() == NULL);
    EXPECT_EQ(1u, pLpt->IsDeviceSupported());
    EXPECT_EQ(0u, pLpt->IsPortSupported());
    EXPECT_EQ(0u, pLpt->IsSupported());
    EXPECT_EQ(0u, pLpt->MustBeMonitored());
    EXPECT_EQ(1u, pUsb->IsSupported());
    EXPECT_EQ(1u, pUsb->MustBeMonitored());
    pUsb->Dump();

    std::unique_ptr<CPrinter> pNodot(NewPrinter(kNodotPrinter));
    EXPECT_EQ(1u, pNodot->HasCard());
    EXPECT_EQ(3u, pNodot->HasMSCL());
    EXPECT_EQ(1u, pNodot->Has1394());
    EXPECT_EQ(1u, pNodot->IsSupported()) << "DOT4 port";
    EXPECT_EQ(0u, pNodot->MustBeMonitored()) << "no PML";
}

TEST(PrinterModel, UnknownDriverLinksTheDefaultModel)
{
    std::unique_ptr<CPrinter> pOther(NewPrinter(kOtherPrinter));
    EXPECT_EQ(1u, pOther->DeviceModelInit());
    EXPECT_EQ(0u, pOther->IsDeviceSupported());
    EXPECT_EQ(1u, pOther->IsPortSupported());
    EXPECT_EQ(0u, pOther->IsSupported());
    EXPECT_STREQ("", pOther->GetModelName());
    EXPECT_EQ(0u, pOther->HasUSB());
    EXPECT_EQ(0u, pOther->HasPML());
}

// Like every device model question, GetDeviceInstanceID links the model first (once), though
// its answer is always null.
TEST(PrinterModel, DeviceInstanceIdLinksTheModelAndIsNull)
{
    std::unique_ptr<CPrinter> pOther(NewPrinter(kOtherPrinter));
    TraceTail trace;
    EXPECT_EQ(NULL, pOther->GetDeviceInstanceID());
    EXPECT_EQ(NULL, pOther->GetDeviceInstanceID());
    const std::string sText = trace.Text();
    const std::string sLookup = "Failed to find Vxt Other AB7";
    const size_t iFirst = sText.find(sLookup);
    ASSERT_NE(std::string::npos, iFirst) << sText;
    EXPECT_EQ(std::string::npos, sText.find(sLookup, iFirst + 1)) << "linked once: " << sText;
}

TEST(PrinterModel, OldDriverFromTheDriverFileNumber)
{
    struct Case
    {
        const char* pszPrinter;
        unsigned uMinimum;
        unsigned uOld;
    };
    const Case kCases[] = {
        {kLptPrinter, 99, 1}, {kLptPrinter, 15, 1}, {kLptPrinter, 14, 0}, {kLptPrinter, 0, 0},  // vxtdrv14.dll
        {kOtherPrinter, 1, 1}, {kOtherPrinter, 0, 0},  // vxtab7.dll: "b7" reads as 0
        {kNodotPrinter, 1000, 0},                       // no dot in the file: the flag stays
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        std::unique_ptr<CPrinter> pPrinter(NewPrinter(kCases[i].pszPrinter, kCases[i].uMinimum));
        EXPECT_EQ(kCases[i].uOld, pPrinter->HasOldDriver()) << "case " << i << " " << kCases[i].pszPrinter;
    }
}

TEST(PrinterModel, CardDriveLetter)
{
    char chLetter = '?';
    std::unique_ptr<CPrinter> pLpt(NewPrinter(kLptPrinter));
    EXPECT_EQ(static_cast<long>(ERROR_NOT_FOUND), pLpt->GetCardDriveLetter(chLetter)) << "no card reader";
    EXPECT_EQ('?', chLetter);
    // A card reader, but Wine has no device behind the DOT4 port.
    std::unique_ptr<CPrinter> pNodot(NewPrinter(kNodotPrinter));
    EXPECT_NE(0, pNodot->GetCardDriveLetter(chLetter));
    EXPECT_EQ('?', chLetter);
}

// ---------------------------------------------------------------------------------------------
// The spooler mutex

namespace
{

typedef std::vector<std::string> Calls;

class CPortQuestions : public CPort
{
public:
    using CPort::GetPortInfo;
    using CPort::ReleasePortInfo;
};

}  // namespace

// The printer's questions, the model's driver fetch and the port list run inside "SpoolerMutex";
// the language monitor's driver work and the empty job of Windows 9x, which the spooler may
// take long over, run with it free.
TEST(PrinterSpoolerMutex, HeldForQuestionsFreeForDriverWorkAndTheJob)
{
    std::unique_ptr<CPrinter> pUsb(NewPrinter(kUsbPrinter));
    CPortQuestions port;
    ASSERT_EQ(ERR_NOERROR, port.Init("LPT1:"));
    SpoolerCallNotes notes;
    ASSERT_TRUE(notes.Applied());

    void* pInfo = pUsb->GetPrinterInfo(2);
    ASSERT_TRUE(pInfo != NULL);
    EXPECT_EQ((Calls{"GetPrinterA held", "GetPrinterA held"}), notes.Take());
    EXPECT_EQ(1u, pUsb->SetPrinterInfo(pInfo, 2));
    pUsb->ReleasePrinterInfo(pInfo);
    EXPECT_EQ(Calls{"SetPrinterA held"}, notes.Take());
    EXPECT_EQ(1u, pUsb->IsDeviceSupported());  // links the model
    EXPECT_EQ((Calls{"GetPrinterDriverA held", "GetPrinterDriverA held"}), notes.Take());
    char* pszMonitor = port.GetPortInfo();
    EXPECT_STREQ("Local Monitor", pszMonitor);
    port.ReleasePortInfo(pszMonitor);
    EXPECT_EQ((Calls{"EnumPortsA held", "EnumPortsA held"}), notes.Take());

    pUsb->DisableLM();
    Calls expected = {"GetPrinterDriverA free", "GetPrinterDriverA free", "AddPrinterDriverA free",
                      "GetPrinterA held",       "GetPrinterA held",       "SetPrinterA held"};
    if (Is9X())
    {
        // Not a direct printer: the attributes are read again and the empty job is sent.
        const Calls job = {"GetPrinterA held", "GetPrinterA held", "StartDocPrinterA free"};
        expected.insert(expected.end(), job.begin(), job.end());
    }
    EXPECT_EQ(expected, notes.Take());
}

// ---------------------------------------------------------------------------------------------
// Port questions

TEST(PrinterPort, AddressNumberAndKinds)
{
    std::unique_ptr<CPrinter> pLpt(NewPrinter(kLptPrinter));
    std::unique_ptr<CPrinter> pUsb(NewPrinter(kUsbPrinter));
    char szBuffer[16];
    std::memset(szBuffer, 0xcc, sizeof(szBuffer));
    EXPECT_EQ(ERR_NOERROR, pLpt->GetAddress(szBuffer, sizeof(szBuffer)));
    EXPECT_STREQ("LPT1:", szBuffer);
    EXPECT_EQ(ERR_BADPARAMETER, pLpt->GetAddress(NULL, sizeof(szBuffer)));
    EXPECT_EQ(ERR_BADPARAMETER, pLpt->GetAddress(szBuffer, 0));
    EXPECT_EQ(ERR_BUFFEROVERFLOW, pLpt->GetAddress(szBuffer, 5));
    EXPECT_EQ(ERR_UNKNOWN, pUsb->GetAddress(szBuffer, sizeof(szBuffer)));
    EXPECT_EQ(6u, pLpt->GetPortNumber(NULL));
    EXPECT_EQ(7u, pUsb->GetPortNumber(NULL));
    EXPECT_EQ(0u, pLpt->IsFILEConnected());
    EXPECT_EQ(1u, pUsb->IsDirectConnect());
    if (!Is9X())
    {
        EXPECT_EQ(0u, pLpt->IsIrLPT());
    }
}

// ---------------------------------------------------------------------------------------------
// The spooler retry

TEST(SpoolerRetry, RetriesOnlyInvalidParameter)
{
    struct Case
    {
        int cFailures;     // calls that fail before one succeeds (-1: all fail)
        DWORD dwError;     // the failures' error
        unsigned uRetries;
        int cCalls;
        BOOL fResult;
    };
    const Case kCases[] = {
        {-1, ERROR_INVALID_PARAMETER, 5, 6, FALSE}, {2, ERROR_INVALID_PARAMETER, 5, 3, TRUE},
        {0, ERROR_INVALID_PARAMETER, 5, 1, TRUE},   {-1, ERROR_INSUFFICIENT_BUFFER, 5, 1, FALSE},
        {-1, ERROR_INVALID_PARAMETER, 0, 1, FALSE}, {5, ERROR_INVALID_PARAMETER, 5, 6, TRUE},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const Case& c = kCases[i];
        int cCalls = 0;
        const BOOL fResult = CallSpoolerWithRetry(
            [&]() -> BOOL {
                ++cCalls;
                if (c.cFailures < 0 || cCalls <= c.cFailures)
                {
                    SetLastError(c.dwError);
                    return FALSE;
                }
                SetLastError(ERROR_SUCCESS);
                return TRUE;
            },
            c.uRetries, 0);
        EXPECT_EQ(c.fResult, fResult) << "case " << i;
        EXPECT_EQ(c.cCalls, cCalls) << "case " << i;
        if (!fResult)
        {
            EXPECT_EQ(c.dwError, GetLastError()) << "case " << i;
        }
    }
}

// A failed try that reports a larger size must not make the next try claim a larger buffer
// than the one it gets.
TEST(SpoolerRetry, RetriedFetchClaimsOnlyItsBuffer)
{
    BYTE abBuffer[64];
    std::memset(abBuffer, 0xcc, sizeof(abBuffer));
    std::vector<DWORD> claims;
    DWORD cbNeeded = 0xdeadbeef;
    const BOOL fResult = FetchWithRetry(
        [&](BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded) -> BOOL {
            claims.push_back(cbBuffer);
            EXPECT_EQ(abBuffer, pBuffer);
            if (claims.size() < 3)
            {
                *pcbNeeded = cbBuffer + 100;  // the record grew between the size query and now
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            *pcbNeeded = 40;
            return TRUE;
        },
        abBuffer, sizeof(abBuffer), &cbNeeded, 5, 0);
    EXPECT_TRUE(fResult);
    EXPECT_EQ((std::vector<DWORD>{64, 64, 64}), claims);
    EXPECT_EQ(40u, cbNeeded);
}
