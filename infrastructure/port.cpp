#include "infrastructure/port.h"

#include <cctype>
#include <cstring>
#include <new>
#include <vector>

#include "infrastructure/error_codes.h"
#include "infrastructure/ipc_objects.h"
#include "infrastructure/os_version.h"
#include "infrastructure/pnp_devices.h"
#include "vx_owners.h"

namespace
{

const char kIrPortName[] = "IR";
const char kIrKey[] = "Enum\\INFRARED\\VirtualPorts";
const char kIrValue[] = "VirtualLptPortName";
const DWORD kIrNameSize = 10;  // at most 9 characters
const char kPersistentKey[] = "Network\\Persistent\\";

bool BeginsWith(const char* psz, const char* pszPrefix)
{
    return std::strncmp(psz, pszPrefix, std::strlen(pszPrefix)) == 0;
}

bool BeginsWithNoCase(const char* psz, const char* pszPrefix)
{
    return _strnicmp(psz, pszPrefix, std::strlen(pszPrefix)) == 0;
}

// LPT1: to LPT9: (exactly five characters).
bool IsParallelPortName(const char* psz)
{
    return std::strlen(psz) == 5 && BeginsWithNoCase(psz, "LPT") && std::isdigit(static_cast<unsigned char>(psz[3])) &&
           psz[4] == ':';
}

// A parallel port that the current user redirected to a network share has a "RemotePath".
bool IsRedirectedToNetwork(const char* pszParallelName)
{
    char szKey[sizeof(kPersistentKey) + 4];
    std::memcpy(szKey, kPersistentKey, sizeof(kPersistentKey) - 1);
    std::memcpy(szKey + sizeof(kPersistentKey) - 1, pszParallelName, 4);
    szKey[sizeof(szKey) - 1] = '\0';
    CUniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, szKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
    DWORD cbData = 0;
    return RegQueryValueExA(key.Get(), "RemotePath", NULL, NULL, NULL, &cbData) == ERROR_SUCCESS;
}

// The infrared port's name on Windows 9x; false (with the debugger line) when there is none.
bool ReadIrPortName9x(char* pszName)
{
    CUniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kIrKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
    {
        OutputDebugStringA("No IR installed\n");
        return false;
    }
    DWORD dwType = 0;
    DWORD cbData = kIrNameSize;
    if (RegQueryValueExA(key.Get(), kIrValue, NULL, &dwType, reinterpret_cast<BYTE*>(pszName), &cbData) !=
            ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
    {
        OutputDebugStringA("Error !!! unable to get VirtualLptPortName \n");
        return false;
    }
    pszName[cbData < kIrNameSize ? cbData : kIrNameSize - 1] = '\0';  // a value need not end in NUL
    return true;
}

// The level-2 port list, fetched under the spooler mutex; empty on failure.
std::vector<BYTE> FetchPorts(DWORD* pdwCount)
{
    std::vector<BYTE> buffer;
    *pdwCount = 0;
    CMutexLock lock(g_SpoolerMutex);
    DWORD cbNeeded = 0;
    DWORD dwCount = 0;
    EnumPortsA(NULL, 2, NULL, 0, &cbNeeded, &dwCount);
    if (cbNeeded == 0) return buffer;
    try
    {
        buffer.resize(cbNeeded);
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return buffer;
    }
    if (!EnumPortsA(NULL, 2, buffer.data(), cbNeeded, &cbNeeded, &dwCount))
    {
        buffer.clear();
        return buffer;
    }
    *pdwCount = dwCount;
    return buffer;
}

char* HeapCopy(const char* psz)
{
    const size_t cb = std::strlen(psz) + 1;
    char* pszCopy = new (std::nothrow) char[cb];
    if (pszCopy) std::memcpy(pszCopy, psz, cb);
    return pszCopy;
}

LONGLONG MakeVersion(DWORD dwMostSignificant, DWORD dwLeastSignificant)
{
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(dwMostSignificant) << 32) | dwLeastSignificant);
}

}  // namespace

CPort::CPort() { m_szName[0] = '\0'; }

long CPort::Init(const char* pszPortName)
{
    if (!pszPortName) return ERR_INVALIDPOINTER;
    const size_t cch = strnlen(pszPortName, kNameSize);
    if (cch >= kNameSize) return ERR_BADPARAMETER;
    std::memcpy(m_szName, pszPortName, cch + 1);
    return ERR_NOERROR;
}

long CPort::GetAddress(char* pszBuffer, unsigned long ulSize) const
{
    if (!pszBuffer) return ERR_INVALIDPOINTER;
    if (ulSize == 0) return ERR_BADPARAMETER;
    if (m_szName[0] == '\0') return ERR_UNKNOWN;
    static const char* const kNoAddress[] = {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:"};
    for (const char* pszPort : kNoAddress)
    {
        if (std::strcmp(m_szName, pszPort) == 0) return ERR_PORTNOTSUPPORTED;
    }
    if (!BeginsWith(m_szName, "FILE:") && !BeginsWith(m_szName, "LPT") && !std::strstr(m_szName, "DOT4_"))
        return ERR_UNKNOWN;
    const size_t cch = std::strlen(m_szName);
    if (cch >= ulSize) return ERR_BUFFEROVERFLOW;
    std::memcpy(pszBuffer, m_szName, cch + 1);
    return ERR_NOERROR;
}

unsigned long CPort::GetPortNumber(char* pszBuffer) const
{
    if (m_szName[0] == '\0') return 0;
    const size_t cch = std::strlen(m_szName);
    if (pszBuffer) std::memcpy(pszBuffer, m_szName, cch + 1);
    return static_cast<unsigned long>(cch + 1);
}

unsigned CPort::IsSupported() const
{
    if (m_szName[0] == '\\') return 0;
    return BeginsWithNoCase(m_szName, "DOT4_") || BeginsWithNoCase(m_szName, "USB") ? 1 : 0;
}

unsigned CPort::IsUNC() const { return 0; }

unsigned CPort::IsFakeIO() const { return IsFakeIO(m_szName); }

unsigned CPort::IsNoIO() const { return IsNoIO(m_szName); }

unsigned CPort::IsFILEConnected() const { return BeginsWith(m_szName, "FILE") ? 1 : 0; }

unsigned CPort::IsDirectConnect() const { return IsDirectConnect(m_szName); }

unsigned CPort::IsIrLPT() const
{
    char szIrName[kIrNameSize];
    std::memcpy(szIrName, kIrPortName, sizeof(kIrPortName));
    if (Is9X() && !ReadIrPortName9x(szIrName)) return 0;
    const size_t cchIr = std::strlen(szIrName);
    const size_t cchPort = std::strlen(m_szName);
    return _strnicmp(szIrName, m_szName, cchIr < cchPort ? cchIr : cchPort) == 0 ? 1 : 0;
}

unsigned CPort::IsFakeIO(const char* pszName)
{
    (void)pszName;
    return 0;
}

unsigned CPort::IsNoIO(const char* pszName) { return pszName && BeginsWith(pszName, "FILE:") ? 1 : 0; }

unsigned CPort::IsDirectConnect(const char* pszName)
{
    if (!pszName) return 0;
    if (IsParallelPortName(pszName)) return IsRedirectedToNetwork(pszName) ? 0 : 1;
    return BeginsWithNoCase(pszName, "DOT4") || BeginsWithNoCase(pszName, "USB") ? 1 : 0;
}

long CPort::GetDevice(CPortDeviceObject& device) const { return FindPortDevice(m_szName, device); }

long CPort::GetDeviceInstanceID(CVxCiString& sId) const { return GetPortDeviceInstanceID(m_szName, sId); }

char* CPort::GetPortInfo() const
{
    DWORD dwCount = 0;
    const std::vector<BYTE> buffer = FetchPorts(&dwCount);
    if (buffer.empty()) return NULL;
    const PORT_INFO_2A* pPorts = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < dwCount; ++i)
    {
        if (pPorts[i].pPortName && std::strcmp(pPorts[i].pPortName, m_szName) == 0)
            return pPorts[i].pMonitorName ? HeapCopy(pPorts[i].pMonitorName) : NULL;
    }
    return NULL;
}

void CPort::ReleasePortInfo(char* pszInfo) const { delete[] pszInfo; }

unsigned CPort::IsVersionOK(const char* pszFileName, LONGLONG llMinimumProductVersion,
                            LONGLONG llMinimumFileVersion) const
{
    if (!pszFileName || llMinimumProductVersion == 0 || llMinimumFileVersion == 0) return 0;
    DWORD dwHandle = 0;
    const DWORD cbInfo = GetFileVersionInfoSizeA(pszFileName, &dwHandle);
    if (cbInfo == 0) return 0;
    std::vector<BYTE> info;
    try
    {
        info.resize(cbInfo);
    }
    catch (const std::bad_alloc&)
    {
        return 0;
    }
    if (!GetFileVersionInfoA(pszFileName, 0, cbInfo, info.data())) return 0;
    VS_FIXEDFILEINFO* pFixed = NULL;
    UINT cbFixed = 0;
    char szRoot[] = "\\";
    if (!VerQueryValueA(info.data(), szRoot, reinterpret_cast<void**>(&pFixed), &cbFixed) || !pFixed ||
        cbFixed < sizeof(VS_FIXEDFILEINFO))
        return 0;
    const LONGLONG llProduct = MakeVersion(pFixed->dwProductVersionMS, pFixed->dwProductVersionLS);
    const LONGLONG llFile = MakeVersion(pFixed->dwFileVersionMS, pFixed->dwFileVersionLS);
    return llProduct >= llMinimumProductVersion && llFile >= llMinimumFileVersion ? 1 : 0;
}

// Accessors live here, not in the header, so that programs loading the library find them
// among its exports.
const char* CPort::GetATemporalNamePtr() const
{
    return m_szName;
}
