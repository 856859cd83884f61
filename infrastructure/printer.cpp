#include "infrastructure/printer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/error_codes.h"
#include "infrastructure/factory.h"
#include "infrastructure/ipc_objects.h"
#include "infrastructure/os_version.h"
#include "infrastructure/pnp_devices.h"
#include "vx_owners.h"

namespace
{

const char kLocalPrintersPath[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\";
const char kNetworkServersPath[] = "System\\CurrentControlSet\\Control\\Print\\Providers\\LanMan Print Services\\Servers";
const char kPrintersPart[] = "\\Printers\\";
const REGSAM kKeyAccess[2] = {KEY_ALL_ACCESS, KEY_READ};                           // 0xF003F, 0x20019
const DWORD kPrinterAccess[2] = {PRINTER_ALL_ACCESS, PRINTER_ACCESS_USE};          // 0xF000C, 8
const DWORD kAttributeDirect = PRINTER_ATTRIBUTE_DIRECT;                           // 0x2
const DWORD kAttributeBidi = PRINTER_ATTRIBUTE_ENABLE_BIDI;                        // 0x800
const DWORD kStatusPausedBits = 0x100001;
const size_t kDriverSpare = MAX_PATH;
const unsigned kSpoolerRetries9x = 5;
const DWORD kSpoolerRetryWaitMs = 1000;

// The longest path: the servers' key, a server name less its first character, the printers'
// part and a printer name.
static_assert(sizeof(kNetworkServersPath) + CPrinter::kNameSize + sizeof(kPrintersPart) + CPrinter::kNameSize <=
                  CPrinter::kRegistryPathSize,
              "registry path buffer too small");

// Copies a terminated text that is known to fit.
void CopyName(char* pszTarget, const char* pszSource, size_t cch)
{
    std::memcpy(pszTarget, pszSource, cch);
    pszTarget[cch] = '\0';
}

void ShowNoRightsWarning()
{
    CLastErrorKeeper keep;
    CPrinter::ShowWarningMsg("Warning", "No rights for Bi-Di", MB_ICONEXCLAMATION | MB_OK);
}

// The spooler mutex as GetWindowsHandle takes it: every step traced, and a failed wait does
// not stop the call it guards.
class CTracedSpoolerLock
{
public:
    CTracedSpoolerLock()
    {
        g_TraceLog.TraceAuto("%s %u WAITs for the spooler mutex\n", GetCommandLineA(),
                             static_cast<unsigned>(GetCurrentThreadId()));
        if (g_SpoolerMutex.Wait(INFINITE) != WAIT_OBJECT_0)
            g_TraceLog.TraceFailure("Failure on waiting for the spooler mutex\n");
        else
            g_TraceLog.TraceAuto("%s %u GETs the spooler mutex\n", GetCommandLineA(),
                                 static_cast<unsigned>(GetCurrentThreadId()));
    }
    ~CTracedSpoolerLock()
    {
        CLastErrorKeeper keep;
        g_TraceLog.TraceAuto("%s %u RELEASEs the spooler mutex\n", GetCommandLineA(),
                             static_cast<unsigned>(GetCurrentThreadId()));
        if (!g_SpoolerMutex.Release()) g_TraceLog.TraceFailure("Failure on releasing the spooler mutex\n");
    }

private:
    CTracedSpoolerLock(const CTracedSpoolerLock&) = delete;
    CTracedSpoolerLock& operator=(const CTracedSpoolerLock&) = delete;
};

// A heap block of the spooler's printer information, given to the caller or freed.
class CInfoBlock
{
public:
    CInfoBlock() : m_pv(NULL) {}
    ~CInfoBlock() { Reset(); }
    bool Allocate(size_t cb)
    {
        Reset();
        m_pv = ::operator new(cb, std::nothrow);
        if (!m_pv) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return m_pv != NULL;
    }
    void* Get() const { return m_pv; }
    void* Release()
    {
        void* pv = m_pv;
        m_pv = NULL;
        return pv;
    }
    void Reset()
    {
        if (m_pv) ::operator delete(m_pv);
        m_pv = NULL;
    }

private:
    CInfoBlock(const CInfoBlock&) = delete;
    CInfoBlock& operator=(const CInfoBlock&) = delete;
    void* m_pv;
};

// The owner of a printer information block that CPrinter::GetPrinterInfo handed out.
class CPrinterInfo
{
public:
    CPrinterInfo(const CPrinter& printer, unsigned int uLevel)
        : m_printer(printer), m_pv(printer.GetPrinterInfo(uLevel))
    {
    }
    ~CPrinterInfo()
    {
        CLastErrorKeeper keep;
        m_printer.ReleasePrinterInfo(m_pv);
    }
    PRINTER_INFO_2A* Level2() const { return static_cast<PRINTER_INFO_2A*>(m_pv); }

private:
    CPrinterInfo(const CPrinterInfo&) = delete;
    CPrinterInfo& operator=(const CPrinterInfo&) = delete;
    const CPrinter& m_printer;
    void* m_pv;
};

template <typename Call>
BOOL CallSpooler(Call call)
{
    return CallSpoolerWithRetry(call, Is9X() ? kSpoolerRetries9x : 0, kSpoolerRetryWaitMs);
}

// The driver's level-3 information with the monitor name that EnableLM puts in or takes out.
// The new name lives beside the block, not in it, so the strings the spooler packed into the
// block stay intact wherever it put them.
class CDriverRecord
{
public:
    CDriverRecord() : m_pszCurrentMonitor(NULL) { m_szMonitor[0] = '\0'; }

    bool Load(HANDLE hPrinter)
    {
        DWORD cbNeeded = 0;
        GetPrinterDriverA(hPrinter, NULL, 3, NULL, 0, &cbNeeded);
        if (cbNeeded == 0) return false;
        try
        {
            m_block.assign(cbNeeded + kDriverSpare, 0);
        }
        catch (const std::bad_alloc&)
        {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        if (!GetPrinterDriverA(hPrinter, NULL, 3, m_block.data(), static_cast<DWORD>(m_block.size()), &cbNeeded))
        {
            m_block.clear();
            return false;
        }
        m_pszCurrentMonitor = Info()->pMonitorName;
        return true;
    }

    // The monitor the driver had when it was loaded.
    bool HasMonitor(const char* pszMonitor) const
    {
        return m_pszCurrentMonitor && std::strcmp(m_pszCurrentMonitor, pszMonitor) == 0;
    }

    // Null takes the monitor out.
    void SetMonitor(const char* pszMonitor)
    {
        if (!pszMonitor)
        {
            Info()->pMonitorName = NULL;
            return;
        }
        CopyName(m_szMonitor, pszMonitor, std::strlen(pszMonitor));
        Info()->pMonitorName = m_szMonitor;
    }

    DRIVER_INFO_3A* Info() { return reinterpret_cast<DRIVER_INFO_3A*>(m_block.data()); }

private:
    CDriverRecord(const CDriverRecord&) = delete;
    CDriverRecord& operator=(const CDriverRecord&) = delete;

    std::vector<BYTE> m_block;
    const char* m_pszCurrentMonitor;  // in the block
    char m_szMonitor[kDriverSpare];
};

// The number two characters before the driver file's last dot ("...\DRV14.DLL" gives 14);
// false when fewer than two characters stand before the dot, or there is none.
bool ReadDriverVersion(const char* pszDriverPath, long* plVersion)
{
    if (!pszDriverPath) return false;
    const char* pszDot = std::strrchr(pszDriverPath, '.');
    if (!pszDot || pszDot - pszDriverPath < 2) return false;
    *plVersion = std::strtol(pszDot - 2, NULL, 10);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction, copy, destruction

CPrinter::CPrinter()
    : m_dwOldDriver(0), m_dwMinimumDriverVersion(99), m_pDeviceModel(NULL)
{
    m_ahKeys[0] = m_ahKeys[1] = NULL;
    m_ahPrinters[0] = m_ahPrinters[1] = NULL;
    m_szRegistryName[0] = m_szPrinterName[0] = m_szPortName[0] = '\0';
    m_szServerName[0] = m_szServerPrinterName[0] = '\0';
}

CPrinter::CPrinter(const CPrinter& other) : CPrinter() { CopyFrom(other); }

CPrinter& CPrinter::operator=(const CPrinter& other)
{
    if (this != &other)
    {
        CloseCached();
        CopyFrom(other);
    }
    return *this;
}

CPrinter::~CPrinter() { CloseCached(); }

void CPrinter::CopyFrom(const CPrinter& other)
{
    std::memcpy(m_szRegistryName, other.m_szRegistryName, kNameSize);
    m_Port = other.m_Port;
    m_dwOldDriver = other.m_dwOldDriver;
    m_dwMinimumDriverVersion = other.m_dwMinimumDriverVersion;
    m_pDeviceModel = other.m_pDeviceModel;
    std::memcpy(m_szPrinterName, other.m_szPrinterName, kNameSize);
    std::memcpy(m_szPortName, other.m_szPortName, kNameSize);
    std::memcpy(m_szServerName, other.m_szServerName, kNameSize);
    std::memcpy(m_szServerPrinterName, other.m_szServerPrinterName, kNameSize);
}

void CPrinter::CloseCached()
{
    CLastErrorKeeper keep;
    for (int i = 0; i < 2; ++i)
    {
        if (m_ahKeys[i]) RegCloseKey(m_ahKeys[i]);
        m_ahKeys[i] = NULL;
        if (m_ahPrinters[i]) ClosePrinter(m_ahPrinters[i]);
        m_ahPrinters[i] = NULL;
    }
}

// ---------------------------------------------------------------------------------------------
// Setting up

unsigned CPrinter::Init(const char* pszPrinterName, unsigned int uMinimumDriverVersion)
{
    if (!pszPrinterName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (strnlen(pszPrinterName, kNameSize) >= kNameSize)
    {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return 0;
    }
    // Handles, keys and model of another printer must not answer for this one.
    if (std::strcmp(pszPrinterName, m_szPrinterName) != 0)
    {
        CloseCached();
        m_pDeviceModel = NULL;
        m_dwOldDriver = 0;
    }
    SetNames(pszPrinterName);
    m_dwMinimumDriverVersion = uMinimumDriverVersion;

    const CPrinterInfo info(*this, 2);
    if (!info.Level2()) return 0;
    const char* pszPort = info.Level2()->pPortName ? info.Level2()->pPortName : "";
    const size_t cchPort = strnlen(pszPort, kNameSize);
    if (cchPort >= kNameSize)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    CopyName(m_szPortName, pszPort, cchPort);
    if (m_Port.Init(m_szPortName) != ERR_NOERROR)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return 1;
}

void CPrinter::SetNames(const char* pszPrinterName)
{
    const size_t cch = std::strlen(pszPrinterName);
    CopyName(m_szPrinterName, pszPrinterName, cch);
    CopyName(m_szRegistryName, pszPrinterName, cch);
    m_szServerName[0] = m_szServerPrinterName[0] = '\0';

    // \\SRV\Laser is filed in the registry as ,,SRV,Laser.
    char* pszBackslash = std::strchr(m_szRegistryName, '\\');
    for (char* p = pszBackslash; p && *p; ++p)
    {
        if (*p == '\\') *p = ',';
    }
    if (m_szPrinterName[0] != '\\') return;

    const char* pszThird = NULL;
    int cBackslashes = 0;
    for (const char* p = m_szPrinterName; *p; ++p)
    {
        if (*p == '\\' && ++cBackslashes == 3)
        {
            pszThird = p;
            break;
        }
    }
    if (pszThird)
    {
        CopyName(m_szServerName, m_szPrinterName, static_cast<size_t>(pszThird - m_szPrinterName));
        CopyName(m_szServerPrinterName, pszThird + 1, std::strlen(pszThird + 1));
    }
    else
    {
        CopyName(m_szServerName, m_szPrinterName, cch);
    }
    CopyName(m_szPortName, m_szRegistryName, cch);
}

unsigned CPrinter::DeviceModelInit() const
{
    if (m_pDeviceModel) return 1;
    HANDLE hPrinter = GetWindowsHandle(eUser);
    if (!hPrinter) return 0;

    DWORD cbNeeded = 0;
    BOOL fSized = FALSE;
    {
        CMutexLock lock(g_SpoolerMutex);
        fSized = CallSpooler([&]() { return GetPrinterDriverA(hPrinter, NULL, 3, NULL, 0, &cbNeeded); });
    }
    if (!fSized && GetLastError() != ERROR_INSUFFICIENT_BUFFER) return 0;
    if (cbNeeded < sizeof(DRIVER_INFO_3A))
    {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    std::vector<BYTE> record;
    try
    {
        record.assign(cbNeeded, 0);
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    BOOL fFetched = FALSE;
    {
        CMutexLock lock(g_SpoolerMutex);
        DWORD cbReturned = 0;
        fFetched = FetchWithRetry(
            [&](BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded) {
                return GetPrinterDriverA(hPrinter, NULL, 3, pBuffer, cbBuffer, pcbNeeded);
            },
            record.data(), static_cast<DWORD>(record.size()), &cbReturned, Is9X() ? kSpoolerRetries9x : 0,
            kSpoolerRetryWaitMs);
    }
    if (!fFetched) return 0;

    const DRIVER_INFO_3A* pInfo = reinterpret_cast<const DRIVER_INFO_3A*>(record.data());
    m_pDeviceModel = &g_Factory.FactorADeviceModel(pInfo->pName);
    long lVersion = 0;
    if (ReadDriverVersion(pInfo->pDriverPath, &lVersion))
        m_dwOldDriver = static_cast<long long>(lVersion) < static_cast<long long>(m_dwMinimumDriverVersion) ? 1 : 0;
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Handles, keys, paths

HANDLE CPrinter::GetWindowsHandle(ETypeUser eType) const
{
    const int i = eType == eAdmin ? 0 : 1;
    if (m_ahPrinters[i]) return m_ahPrinters[i];
    // An empty name would open the print server itself.
    if (m_szPrinterName[0] == '\0')
    {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return NULL;
    }
    char szName[kNameSize];
    std::memcpy(szName, m_szPrinterName, kNameSize);
    PRINTER_DEFAULTSA defaults = {NULL, NULL, kPrinterAccess[i]};
    HANDLE hPrinter = NULL;
    {
        CTracedSpoolerLock lock;
        if (!OpenPrinterA(szName, &hPrinter, &defaults))
        {
            CLastErrorKeeper keep;
            g_TraceLog.TraceFailure("OpenPrinter fails 'cause =%u\n", static_cast<unsigned>(GetLastError()));
            return NULL;
        }
    }
    m_ahPrinters[i] = hPrinter;
    g_TraceLog.TraceAuto("Handle open\n");
    return hPrinter;
}

unsigned CPrinter::OpenVX(ETypeUser eType) const
{
    const int i = eType == eAdmin ? 0 : 1;
    if (m_ahKeys[i]) return 1;
    char szPath[kRegistryPathSize];
    BuildPathToVX(szPath);
    HKEY hKey = NULL;
    const LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, szPath, 0, kKeyAccess[i], &hKey);
    if (lResult != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(lResult));
        if (lResult == ERROR_ACCESS_DENIED) ShowNoRightsWarning();
        return 0;
    }
    m_ahKeys[i] = hKey;
    return 1;
}

bool CPrinter::BuildPath(char* pszPath, size_t cbPath, bool fWithPrinter) const
{
    if (!pszPath) return false;
    const char* apszParts[4] = {NULL, NULL, NULL, NULL};
    if (m_szPrinterName[0] != '\\')
    {
        apszParts[0] = kLocalPrintersPath;
        if (fWithPrinter) apszParts[1] = m_szPrinterName;
    }
    else
    {
        apszParts[0] = kNetworkServersPath;
        apszParts[1] = m_szServerName + 1;
        apszParts[2] = kPrintersPart;
        if (fWithPrinter) apszParts[3] = IsNT() ? m_szServerPrinterName : m_szRegistryName;
    }
    size_t cchTotal = 0;
    for (const char* pszPart : apszParts)
    {
        if (pszPart) cchTotal += std::strlen(pszPart);
    }
    if (cchTotal >= cbPath) return false;
    char* pszEnd = pszPath;
    for (const char* pszPart : apszParts)
    {
        if (!pszPart) continue;
        const size_t cch = std::strlen(pszPart);
        std::memcpy(pszEnd, pszPart, cch);
        pszEnd += cch;
    }
    *pszEnd = '\0';
    return true;
}

void CPrinter::BuildPathToPrinters(char* pszPath) const { BuildPath(pszPath, kRegistryPathSize, false); }

void CPrinter::BuildPathToVX(char* pszPath) const { BuildPath(pszPath, kRegistryPathSize, true); }

bool CPrinter::BuildPathToPrinters(char* pszPath, size_t cbPath) const { return BuildPath(pszPath, cbPath, false); }

bool CPrinter::BuildPathToVX(char* pszPath, size_t cbPath) const { return BuildPath(pszPath, cbPath, true); }

// ---------------------------------------------------------------------------------------------
// Information, attributes, status

void* CPrinter::GetPrinterInfo(unsigned int uLevel) const
{
    HANDLE hPrinter = GetWindowsHandle(eUser);
    if (!hPrinter) return NULL;
    CInfoBlock block;
    CMutexLock lock(g_SpoolerMutex);
    DWORD cbNeeded = 0;
    if (GetPrinterA(hPrinter, uLevel, NULL, 0, &cbNeeded)) return NULL;  // no level has an empty block
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || cbNeeded == 0) return NULL;
    if (!block.Allocate(cbNeeded)) return NULL;
    if (!GetPrinterA(hPrinter, uLevel, static_cast<BYTE*>(block.Get()), cbNeeded, &cbNeeded)) return NULL;
    return block.Release();
}

void CPrinter::ReleasePrinterInfo(void* pInfo) const
{
    if (pInfo) ::operator delete(pInfo);
}

unsigned CPrinter::SetPrinterInfo(void* pInfo, unsigned int uLevel)
{
    if (!pInfo)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HANDLE hPrinter = GetWindowsHandle(eAdmin);
    if (!hPrinter) return 0;
    BOOL fSet = FALSE;
    {
        CMutexLock lock(g_SpoolerMutex);
        fSet = SetPrinterA(hPrinter, uLevel, static_cast<BYTE*>(pInfo), 0);
    }
    if (fSet) return 1;
    // The warning waits for a person: every process's spooler calls would wait with it if the
    // spooler mutex were still held.
    if (GetLastError() == ERROR_ACCESS_DENIED) ShowNoRightsWarning();
    return 0;
}

bool CPrinter::ReadKeyValue(const char* pszValue, DWORD* pdwValue) const
{
    if (!OpenVX(eUser)) return false;
    DWORD dwType = 0;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    const LONG lResult =
        RegQueryValueExA(m_ahKeys[1], pszValue, NULL, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cbValue);
    if (lResult != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(lResult));
        if (lResult == ERROR_ACCESS_DENIED) ShowNoRightsWarning();
        return false;
    }
    if (dwType != REG_DWORD || cbValue != sizeof(dwValue))
    {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    *pdwValue = dwValue;
    return true;
}

unsigned long CPrinter::GetAttributes() const
{
    {
        const CPrinterInfo info(*this, 2);
        if (info.Level2()) return info.Level2()->Attributes;
    }
    DWORD dwAttributes = 0;
    return ReadKeyValue("Attributes", &dwAttributes) ? dwAttributes : 0;
}

unsigned long CPrinter::GetStatus() const
{
    DWORD dwStatus = 0;
    return ReadKeyValue("Status", &dwStatus) ? dwStatus : 0;
}

// ---------------------------------------------------------------------------------------------
// Predicates

unsigned CPrinter::IsUNC() const { return m_szPrinterName[0] == '\\' ? 1 : 0; }

unsigned CPrinter::IsDirect2Printer() const { return (GetAttributes() & kAttributeDirect) ? 1 : 0; }

unsigned CPrinter::IsDisabled() const { return (GetAttributes() & kAttributeBidi) ? 0 : 1; }

unsigned long CPrinter::IsPaused() const { return GetStatus() & kStatusPausedBits; }

unsigned CPrinter::IsPortSupported() const
{
    return m_szPrinterName[0] != '\\' && m_szPortName[0] != '\\' && m_Port.IsSupported() ? 1 : 0;
}

unsigned CPrinter::IsDeviceSupported() const
{
    return m_szPrinterName[0] != '\\' && DeviceModelInit() && m_pDeviceModel->IsSupported() ? 1 : 0;
}

unsigned CPrinter::IsSupported() const { return IsDeviceSupported() && IsPortSupported() ? 1 : 0; }

unsigned CPrinter::MustBeMonitored() const { return IsSupported() && IsPortSupported() && HasPML() ? 1 : 0; }

unsigned CPrinter::IsFILEConnected() const { return std::strncmp(m_szPortName, "FILE", 4) == 0 ? 1 : 0; }

unsigned CPrinter::IsIrLPT() const { return m_Port.IsIrLPT(); }

unsigned CPrinter::IsDirectConnect() const { return CPort::IsDirectConnect(m_szPortName); }

// ---------------------------------------------------------------------------------------------
// Changes

unsigned CPrinter::Enable(unsigned long ulEnable)
{
    const bool fWanted = ulEnable != 0 && IsPortSupported();
    {
        const CPrinterInfo info(*this, 2);
        if (!info.Level2()) return 0;
        if (fWanted)
            info.Level2()->Attributes |= kAttributeBidi;
        else
            info.Level2()->Attributes &= ~kAttributeBidi;
        SetPrinterInfo(info.Level2(), 2);
    }
    if (Is9X() && !(GetAttributes() & kAttributeDirect)) return SendEmptyJob() ? 1 : 0;
    return 1;
}

// Windows 9x takes a changed bidirectional setting only with the next job.
bool CPrinter::SendEmptyJob() const
{
    HANDLE hPrinter = GetWindowsHandle(eUser);
    if (!hPrinter) return false;
    char szDocName[] = "";
    char szDataType[] = "RAW";
    DOC_INFO_1A doc = {szDocName, NULL, szDataType};
    if (!StartDocPrinterA(hPrinter, 1, reinterpret_cast<BYTE*>(&doc))) return false;
    const bool fPage = StartPagePrinter(hPrinter) && EndPagePrinter(hPrinter);
    if (!fPage)
    {
        CLastErrorKeeper keep;
        EndDocPrinter(hPrinter);
        return false;
    }
    return EndDocPrinter(hPrinter) != FALSE;
}

unsigned CPrinter::EnableLM(unsigned long ulEnable, const char* pszMonitorName)
{
    if (!IsDeviceSupported()) return 1;
    if (ulEnable && (!pszMonitorName || strnlen(pszMonitorName, kNameSize) >= kNameSize))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HANDLE hPrinter = GetWindowsHandle(eUser);
    if (hPrinter)
    {
        CDriverRecord record;
        if (!record.Load(hPrinter)) return 0;
        if (ulEnable && record.HasMonitor(VX_LANGUAGE_MONITOR_NAME)) return Enable(1);
        record.SetMonitor(ulEnable ? pszMonitorName : NULL);
        if (!AddPrinterDriverA(NULL, 3, reinterpret_cast<BYTE*>(record.Info()))) return 0;
    }
    return ulEnable && IsPortSupported() ? Enable(1) : Enable(0);
}

// ---------------------------------------------------------------------------------------------
// Port and names

long CPrinter::GetAddress(char* pszBuffer, unsigned long ulSize) const
{
    if (!pszBuffer || ulSize == 0) return ERR_BADPARAMETER;
    return m_Port.GetAddress(pszBuffer, ulSize);
}

unsigned long CPrinter::GetPortNumber(char* pszBuffer) const { return m_Port.GetPortNumber(pszBuffer); }

// ---------------------------------------------------------------------------------------------
// Device model questions

const CDeviceModel* CPrinter::LinkedModel() const { return DeviceModelInit() ? m_pDeviceModel : NULL; }

EDot4Support CPrinter::SupportsDOT4() const
{
    const CDeviceModel* pModel = LinkedModel();
    return pModel ? pModel->SupportsDOT4() : static_cast<EDot4Support>(0);
}

ESaveUtilityMethod CPrinter::SaveUtilityMethod() const
{
    const CDeviceModel* pModel = LinkedModel();
    return pModel ? pModel->SaveUtilityMethod() : static_cast<ESaveUtilityMethod>(0);
}

const char* CPrinter::GetHelpFileName() const
{
    const CDeviceModel* pModel = LinkedModel();
    return pModel ? pModel->GetHelpFileName() : NULL;
}

const char* CPrinter::GetFirmwareName() const
{
    const CDeviceModel* pModel = LinkedModel();
    return pModel ? pModel->GetFirmwareName() : NULL;
}

const char* CPrinter::GetModelName() const
{
    const CDeviceModel* pModel = LinkedModel();
    return pModel ? pModel->GetDriverName() : NULL;
}

#define VX_MODEL_FLAG(name)                            \
    unsigned CPrinter::name() const                    \
    {                                                  \
        const CDeviceModel* pModel = LinkedModel();    \
        return pModel ? pModel->name() : 0;            \
    }

VX_MODEL_FLAG(HasUSB)
VX_MODEL_FLAG(HasPML)
VX_MODEL_FLAG(HasIRLpt)
VX_MODEL_FLAG(HasCard)
VX_MODEL_FLAG(Has1394)
VX_MODEL_FLAG(HasMSCL)
VX_MODEL_FLAG(HasLPT)
VX_MODEL_FLAG(HasVIP)

#undef VX_MODEL_FLAG

unsigned CPrinter::HasOldDriver() const { return DeviceModelInit() ? m_dwOldDriver : 0; }

// No instance id is known here, but like every device model question it links the model
// first, so a caller sees the same traces and cached handle as with the others.
const char* CPrinter::GetDeviceInstanceID() const
{
    DeviceModelInit();
    return NULL;
}

void CPrinter::Dump() const
{
    const CDeviceModel* pModel = LinkedModel();
    if (pModel) pModel->Dump();
}

long CPrinter::GetCardDriveLetter(char& chDriveLetter) const
{
    if (!HasCard()) return ERROR_NOT_FOUND;
    const CDeviceModel& model = g_Factory.FactorADeviceModel(GetModelName());
    return FindCardDriveLetter(m_Port.GetATemporalNamePtr(), model.GetParallelID(), model.GetUsbID(), chDriveLetter);
}

int CPrinter::ShowWarningMsg(const char* pszCaption, const char* pszText, unsigned int uStyle)
{
    return ShowMessageBox(NULL, pszText, pszCaption, uStyle, 0);
}

// Accessors live here, not in the header, so that programs loading the library find them
// among its exports.
unsigned CPrinter::Disable()
{
    return Enable(0);
}

unsigned CPrinter::DisableLM()
{
    return EnableLM(0, VX_LANGUAGE_MONITOR_NAME);
}

const CPort& CPrinter::GetATemporalPortRef() const
{
    return m_Port;
}

const char* CPrinter::GetATemporalFriendlyNamePtr() const
{
    return m_szPrinterName;
}

const char* CPrinter::GetATemporalPortNamePtr() const
{
    return m_szPortName;
}
