#include "infrastructure/pnp_devices.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/error_codes.h"
#include "infrastructure/os_version.h"
#include "vx_owners.h"

namespace
{

const size_t kMaxPortName = 259;
const unsigned kMaxAncestors = 256;    // a device tree deeper than this is taken as a loop
const unsigned kMaxPropertyReads = 8;  // a property that keeps growing is given up

const GUID kUsbPrintInterface = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
const GUID kVolumeInterface = {0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const GUID kDiskInterface = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const GUID kDiskDriveClass = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Filled on first use without a lock: entries only go from null to a value.
CDeviceFunctions g_Functions;

// ---- binding ------------------------------------------------------------------------------

template <typename T>
void Bind(HMODULE hModule, const char* pszName, T& pfn)
{
    if (!pfn) pfn = reinterpret_cast<T>(GetProcAddress(hModule, pszName));
}

// The module handle is published after its functions, so a handle that is set means bound.
void Publish(HMODULE& hSlot, HMODULE hModule)
{
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&hSlot), hModule);
}

void BindKernel32(CDeviceFunctions& f)
{
    HMODULE h = LoadLibraryA("kernel32.dll");
    if (!h) return;
    Bind(h, "GetLongPathNameA", f.pfnGetLongPathNameA);
    Bind(h, "GetDiskFreeSpaceExA", f.pfnGetDiskFreeSpaceExA);
    Bind(h, "CreateToolhelp32Snapshot", f.pfnCreateToolhelp32Snapshot);
    Bind(h, "Process32First", f.pfnProcess32First);
    Bind(h, "Process32Next", f.pfnProcess32Next);
    Publish(f.hKernel32, h);
}

void BindNewDev(CDeviceFunctions& f)
{
    HMODULE h = LoadLibraryA("newdev.dll");
    if (!h) return;
    Bind(h, "UpdateDriverForPlugAndPlayDevicesA", f.pfnUpdateDriverForPlugAndPlayDevicesA);
    Publish(f.hNewDev, h);
}

void BindSetupApi(CDeviceFunctions& f)
{
    HMODULE h = LoadLibraryA("setupapi.dll");
    if (!h) return;
    Bind(h, "SetupDiGetDeviceInstallParamsA", f.pfnSetupDiGetDeviceInstallParamsA);
    Bind(h, "SetupDiGetDeviceRegistryPropertyA", f.pfnSetupDiGetDeviceRegistryPropertyA);
    Bind(h, "SetupDiGetSelectedDriverA", f.pfnSetupDiGetSelectedDriverA);
    Bind(h, "SetupCopyOEMInfA", f.pfnSetupCopyOEMInfA);
    Bind(h, "SetupFreeSourceListA", f.pfnSetupFreeSourceListA);
    Bind(h, "SetupQuerySourceListA", f.pfnSetupQuerySourceListA);
    Bind(h, "SetupDiOpenClassRegKeyExA", f.pfnSetupDiOpenClassRegKeyExA);
    Bind(h, "SetupDiGetClassDevsA", f.pfnSetupDiGetClassDevsA);
    Bind(h, "SetupDiGetDeviceInterfaceDetailA", f.pfnSetupDiGetDeviceInterfaceDetailA);
    Bind(h, "SetupDiClassNameFromGuidA", f.pfnSetupDiClassNameFromGuidA);
    Bind(h, "SetupDiGetDeviceInstanceIdA", f.pfnSetupDiGetDeviceInstanceIdA);
    Bind(h, "SetupDiGetClassInstallParamsA", f.pfnSetupDiGetClassInstallParamsA);
    Bind(h, "SetupDiInstallClassExA", f.pfnSetupDiInstallClassExA);
    Bind(h, "SetupAddToSourceListA", f.pfnSetupAddToSourceListA);
    if (IsXP()) Bind(h, "SetupUninstallOEMInfA", f.pfnSetupUninstallOEMInfA);
    Bind(h, "CMP_WaitNoPendingInstallEvents", f.pfnCMP_WaitNoPendingInstallEvents);
    Bind(h, "SetupDiEnumDeviceInterfaces", f.pfnSetupDiEnumDeviceInterfaces);
    Bind(h, "SetupDiOpenDeviceInterfaceRegKey", f.pfnSetupDiOpenDeviceInterfaceRegKey);
    Bind(h, "SetupDiDestroyDeviceInfoList", f.pfnSetupDiDestroyDeviceInfoList);
    Bind(h, "SetupDiBuildClassInfoList", f.pfnSetupDiBuildClassInfoList);
    Bind(h, "SetupDiEnumDeviceInfo", f.pfnSetupDiEnumDeviceInfo);
    Bind(h, "SetupDiDestroyDriverInfoList", f.pfnSetupDiDestroyDriverInfoList);
    Bind(h, "SetupOpenFileQueue", f.pfnSetupOpenFileQueue);
    Bind(h, "SetupCloseFileQueue", f.pfnSetupCloseFileQueue);
    Bind(h, "SetupDiOpenClassRegKey", f.pfnSetupDiOpenClassRegKey);
    Bind(h, "SetupDiRemoveDevice", f.pfnSetupDiRemoveDevice);
    Publish(f.hSetupApi, h);
}

void BindCfgMgr32(CDeviceFunctions& f)
{
    HMODULE h = LoadLibraryA("cfgmgr32.dll");
    if (!h) return;
    Bind(h, "CM_Get_Device_IDA", f.pfnCM_Get_Device_IDA);
    Bind(h, "CM_Get_Device_ID_Size", f.pfnCM_Get_Device_ID_Size);
    Bind(h, "CM_Get_Parent", f.pfnCM_Get_Parent);
    Bind(h, "CM_Get_Child", f.pfnCM_Get_Child);
    Bind(h, "CM_Get_Sibling", f.pfnCM_Get_Sibling);
    Bind(h, "CM_Get_DevNode_Status", f.pfnCM_Get_DevNode_Status);
    Bind(h, "CM_Locate_DevNodeA", f.pfnCM_Locate_DevNodeA);
    Bind(h, "CM_Reenumerate_DevNode_Ex", f.pfnCM_Reenumerate_DevNode_Ex);
    Bind(h, "CM_Reenumerate_DevNode", f.pfnCM_Reenumerate_DevNode);
    Bind(h, "CM_Locate_DevNode_ExA", f.pfnCM_Locate_DevNode_ExA);
    Publish(f.hCfgMgr32, h);
}

bool WantsNewDev() { return (IsNT() && !IsNT4()) || IsMe(); }

// ---- small helpers ------------------------------------------------------------------------

// A failed call that names no cause must not read as success.
long LastErrorOr(long lFallback)
{
    const DWORD dwError = GetLastError();
    return dwError != 0 ? static_cast<long>(dwError) : lFallback;
}

long OpenEnumKey(const CVxCiString& sInstanceId, CUniqueRegKey& key)
{
    const std::string sPath = "Enum\\" + ToStd(sInstanceId);
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, KEY_READ, key.Put());
}

// A string value of any length; unterminated data is taken up to its size.
long ReadStringValue(HKEY hKey, const char* pszName, std::string& sValue)
{
    DWORD dwType = 0;
    DWORD cb = 0;
    LONG lResult = RegQueryValueExA(hKey, pszName, NULL, &dwType, NULL, &cb);
    if (lResult != ERROR_SUCCESS) return lResult;
    if (dwType != REG_SZ && dwType != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    std::vector<char> buffer(cb + 1, '\0');
    lResult = RegQueryValueExA(hKey, pszName, NULL, &dwType, reinterpret_cast<BYTE*>(&buffer[0]), &cb);
    if (lResult != ERROR_SUCCESS) return lResult;
    buffer[cb < buffer.size() ? cb : buffer.size() - 1] = '\0';
    sValue.assign(&buffer[0]);
    return ERROR_SUCCESS;
}

// Only a REG_DWORD of four bytes is a number.
long ReadDwordValue(HKEY hKey, const char* pszName, DWORD& dwValue)
{
    DWORD dwType = 0;
    DWORD cb = 0;
    LONG lResult = RegQueryValueExA(hKey, pszName, NULL, &dwType, NULL, &cb);
    if (lResult != ERROR_SUCCESS) return lResult;
    if (dwType != REG_DWORD || cb != sizeof(DWORD)) return ERROR_INVALID_DATA;
    DWORD dwRead = 0;
    lResult = RegQueryValueExA(hKey, pszName, NULL, &dwType, reinterpret_cast<BYTE*>(&dwRead), &cb);
    if (lResult != ERROR_SUCCESS) return lResult;
    dwValue = dwRead;
    return ERROR_SUCCESS;
}

// The value names of the device properties on Windows 9x; null where the index has none.
const char* PropertyValueName9x(DWORD dwProperty)
{
    static const char* const kNames[] = {
        "DeviceDesc", "HardwareID", "CompatibleIDs", NULL, "Service", NULL, NULL,
        "Class", "ClassGUID", "Driver", "ConfigFlags", "Mfg", "FriendlyName",
        "LocationInformation", "PhysicalDeviceObjectName", "Capabilities", "UiNumber",
        "UpperFilters", "LowerFilters"};
    return dwProperty < sizeof(kNames) / sizeof(kNames[0]) ? kNames[dwProperty] : NULL;
}

void ReportEmptyValue(BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbRequired)
{
    if (pBuffer && cbBuffer) std::memset(pBuffer, 0, cbBuffer);
    if (pcbRequired) *pcbRequired = 0;
}

bool StartsWith(const CVxCiString& s, const char* pszPrefix)
{
    return s.compare(0, std::strlen(pszPrefix), pszPrefix) == 0;
}

bool Contains(const CVxCiString& s, const char* pszPart)
{
    return !pszPart || s.find(pszPart) != CVxCiString::npos;
}

// No allocation failure or stray exception leaves an exported function.
template <typename Fn>
long Guarded(const char* pszWhat, Fn fn)
{
    try
    {
        return fn();
    }
    catch (const std::bad_alloc&)
    {
        g_TraceLog.TraceFailure("%s: out of memory\n", pszWhat);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    catch (...)
    {
        g_TraceLog.TraceFailure("%s: unexpected exception\n", pszWhat);
        return ERROR_GEN_FAILURE;
    }
}

}  // namespace

// Gives the lookups below the owned-set handling of CDeviceObject.
struct CDeviceObjectAccess
{
    static void KeepSetAlive(CDeviceObject& device, const std::shared_ptr<CDevInfoSet>& pSet)
    {
        device.KeepSetAlive(pSet);
    }
};

namespace
{

long UsbPortNameOf(const CDeviceObject& device, CVxCiString& sPortName)
{
    CDeviceInterface deviceInterface;
    long lResult = device.GetFirstInterface(deviceInterface);
    if (lResult != 0) return lResult;
    HKEY hKey = NULL;
    lResult = deviceInterface.OpenRegKey(KEY_READ, &hKey);
    if (lResult != 0) return lResult;
    CUniqueRegKey key(hKey);
    std::string sBaseName;
    if (ReadStringValue(key.Get(), "Base Name", sBaseName) != ERROR_SUCCESS) sBaseName = "USB";
    DWORD dwPortNumber = 0;
    lResult = ReadDwordValue(key.Get(), "Port Number", dwPortNumber);
    if (lResult != ERROR_SUCCESS) return lResult;
    return BuildUsbPortName(sBaseName.c_str(), dwPortNumber, sPortName);
}

long FindPortDeviceBody(const char* pszPortName, CPortDeviceObject& device)
{
    std::shared_ptr<CDevInfoSet> pSet = std::make_shared<CDevInfoSet>();
    long lResult = pSet->OpenPresentInterfaces(kUsbPrintInterface);
    if (lResult != 0) return lResult;
    for (;;)
    {
        CPortDeviceObject candidate;
        lResult = pSet->NextDevice(candidate);
        if (lResult == ERROR_NO_MORE_DEVICES) return ERROR_NOT_FOUND;
        if (lResult != 0) return lResult;
        CVxCiString sName;
        lResult = UsbPortNameOf(candidate, sName);
        if (lResult != 0) return lResult;
        if (sName == pszPortName)
        {
            CDeviceObjectAccess::KeepSetAlive(candidate, pSet);
            device = candidate;
            return 0;
        }
    }
}

long FindPrinterNodeBody(const CDeviceObject& device, const char* pszParallelId, const char* pszUsbId,
                         CDeviceObject& printerNode)
{
    CDeviceObject current(device);
    CDeviceObject remembered;
    bool fRemembered = false;
    long lWalkEnd = ERROR_NOT_FOUND;
    for (unsigned nLevel = 0; nLevel < kMaxAncestors; ++nLevel)
    {
        CDeviceObject parent;
        lWalkEnd = current.GetParent(parent);
        if (lWalkEnd != 0) break;
        CVxCiString sId;
        if (parent.GetDeviceInstanceID(sId) == 0 && !sId.empty())
        {
            if (StartsWith(sId, "LPTENUM"))
            {
                printerNode = parent;
                return 0;
            }
            if (Contains(sId, pszParallelId) || Contains(sId, pszUsbId))
            {
                remembered = parent;
                fRemembered = true;
            }
        }
        current = parent;
    }
    if (fRemembered)
    {
        printerNode = remembered;
        return 0;
    }
    // A walk cut short by a failure other than the root says why.
    return lWalkEnd != 0 && lWalkEnd != ERROR_NOT_FOUND ? lWalkEnd : ERROR_NOT_FOUND;
}

// The printer node of the removable drive, or false when any step fails.
bool DriveBelongsTo(char chLetter, const char* pszParallelId, const char* pszUsbId, const CVxCiString& sPrinterId)
{
    CDeviceObject drive;
    if (drive.InitFromDriveLetter(chLetter) != 0) return false;
    CDeviceObject node;
    if (FindPrinterNode(drive, pszParallelId, pszUsbId, node) != 0) return false;
    CVxCiString sId;
    if (node.GetDeviceInstanceID(sId) != 0) return false;
    return sId == sPrinterId;
}

long FindCardDriveLetterBody(const char* pszPortName, const char* pszParallelId, const char* pszUsbId,
                             char& chDriveLetter)
{
    CPortDeviceObject portDevice;
    long lResult = FindPortDevice(pszPortName, portDevice);
    if (lResult != 0) return lResult;
    CDeviceObject printerNode;
    lResult = FindPrinterNode(portDevice, pszParallelId, pszUsbId, printerNode);
    if (lResult != 0) return lResult;
    CVxCiString sPrinterId;
    lResult = printerNode.GetDeviceInstanceID(sPrinterId);
    if (lResult != 0) return lResult;

    const DWORD dwDrives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
    {
        if (!(dwDrives & (1UL << i))) continue;
        const char chLetter = static_cast<char>('a' + i);
        const char szRoot[4] = {chLetter, ':', '\\', '\0'};
        if (GetDriveTypeA(szRoot) != DRIVE_REMOVABLE) continue;
        if (DriveBelongsTo(chLetter, pszParallelId, pszUsbId, sPrinterId))
        {
            chDriveLetter = chLetter;
            return 0;
        }
    }
    return ERROR_NOT_FOUND;
}

}  // namespace

// ---- binding ------------------------------------------------------------------------------

const CDeviceFunctions& BindDeviceFunctions()
{
    CDeviceFunctions& f = g_Functions;
    if (f.hSetupApi && f.hCfgMgr32 && f.hKernel32 && (f.hNewDev || Is98() || IsMe())) return f;
    if (!f.hKernel32) BindKernel32(f);
    if (!f.hNewDev && WantsNewDev()) BindNewDev(f);
    if (!f.hSetupApi) BindSetupApi(f);
    if (!f.hCfgMgr32) BindCfgMgr32(f);
    return f;
}

// ---- CDevInfoSet --------------------------------------------------------------------------

CDevInfoSet::CDevInfoSet() : m_hSet(INVALID_HANDLE_VALUE), m_dwNextIndex(0), m_InterfaceClass() {}

CDevInfoSet::~CDevInfoSet()
{
    const DWORD dwError = GetLastError();
    Close();
    SetLastError(dwError);
}

long CDevInfoSet::Open(const GUID* pClassGuid, const char* pszEnumerator, HWND hwndParent, DWORD dwFlags)
{
    long lResult = Close();
    if (lResult != 0) return lResult;
    const CDeviceFunctions& f = BindDeviceFunctions();
    if (!f.pfnSetupDiGetClassDevsA) return ERROR_NOT_SUPPORTED;
    HDEVINFO hSet = f.pfnSetupDiGetClassDevsA(pClassGuid, pszEnumerator, hwndParent, dwFlags);
    if (hSet == INVALID_HANDLE_VALUE || hSet == NULL) return LastErrorOr(ERROR_GEN_FAILURE);
    m_hSet = hSet;
    m_dwNextIndex = 0;
    if ((dwFlags & DIGCF_DEVICEINTERFACE) && pClassGuid) m_InterfaceClass = *pClassGuid;
    return 0;
}

long CDevInfoSet::OpenPresent(const GUID& classGuid) { return Open(&classGuid, NULL, NULL, DIGCF_PRESENT); }

long CDevInfoSet::OpenPresentInterfaces(const GUID& interfaceGuid)
{
    return Open(&interfaceGuid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

long CDevInfoSet::Close()
{
    if (IsOpen())
    {
        const CDeviceFunctions& f = BindDeviceFunctions();
        if (!f.pfnSetupDiDestroyDeviceInfoList) return ERROR_NOT_SUPPORTED;
        if (!f.pfnSetupDiDestroyDeviceInfoList(m_hSet)) return LastErrorOr(ERROR_GEN_FAILURE);
    }
    m_hSet = INVALID_HANDLE_VALUE;
    m_dwNextIndex = 0;
    m_InterfaceClass = GUID();
    return 0;
}

long CDevInfoSet::NextDevice(CDeviceObject& device)
{
    if (!IsOpen()) return ERROR_INVALID_HANDLE;
    const CDeviceFunctions& f = BindDeviceFunctions();
    if (!f.pfnSetupDiEnumDeviceInfo) return ERROR_NOT_SUPPORTED;
    SP_DEVINFO_DATA deviceData = SP_DEVINFO_DATA();
    deviceData.cbSize = sizeof(deviceData);
    const DWORD dwIndex = m_dwNextIndex++;
    if (!f.pfnSetupDiEnumDeviceInfo(m_hSet, dwIndex, &deviceData))
    {
        const long lError = LastErrorOr(ERROR_GEN_FAILURE);
        return lError == ERROR_NO_MORE_ITEMS ? ERROR_NO_MORE_DEVICES : lError;
    }
    device.Assign(this, deviceData);
    return 0;
}

long CDevInfoSet::FindByPhysicalName(const char* pszName, CDeviceObject& device)
{
    if (!pszName) return ERROR_INVALID_PARAMETER;
    return Guarded("CDevInfoSet::FindByPhysicalName", [&]() -> long {
        for (;;)
        {
            CDeviceObject candidate;
            const long lResult = NextDevice(candidate);
            if (lResult == ERROR_NO_MORE_DEVICES) return ERROR_NOT_FOUND;
            if (lResult != 0) return lResult;
            CVxCiString sName;
            if (candidate.GetPhysicalDeviceObjectName(sName) != 0) continue;
            if (sName == pszName)
            {
                device = candidate;
                return 0;
            }
        }
    });
}

long CDevInfoSet::OpenPresentInterfacesAndFind(const GUID& interfaceGuid, const char* pszName, CDeviceObject& device)
{
    const long lResult = OpenPresentInterfaces(interfaceGuid);
    if (lResult != 0) return lResult;
    return FindByPhysicalName(pszName, device);
}

// ---- CDeviceInterface ---------------------------------------------------------------------

CDeviceInterface::CDeviceInterface() : m_pSet(NULL), m_InterfaceData() {}

long CDeviceInterface::OpenRegKey(REGSAM samDesired, HKEY* phKey) const
{
    if (!phKey) return ERROR_INVALID_PARAMETER;
    if (!m_pSet || !m_pSet->IsOpen()) return ERROR_INVALID_HANDLE;
    const CDeviceFunctions& f = BindDeviceFunctions();
    if (!f.pfnSetupDiOpenDeviceInterfaceRegKey) return ERROR_NOT_SUPPORTED;
    SP_DEVICE_INTERFACE_DATA interfaceData = m_InterfaceData;
    HKEY hKey = f.pfnSetupDiOpenDeviceInterfaceRegKey(m_pSet->GetHandle(), &interfaceData, 0, samDesired);
    if (hKey == INVALID_HANDLE_VALUE || hKey == NULL) return LastErrorOr(ERROR_GEN_FAILURE);
    *phKey = hKey;
    return 0;
}

// ---- CDeviceObject ------------------------------------------------------------------------

CDeviceObject::CDeviceObject() : m_pSet(NULL), m_DeviceData() {}

CDeviceObject::CDeviceObject(const CDeviceObject& other)
    : m_pSet(other.m_pSet), m_DeviceData(other.m_DeviceData), m_pOwnedSet(other.m_pOwnedSet)
{
}

CDeviceObject& CDeviceObject::operator=(const CDeviceObject& other)
{
    m_pSet = other.m_pSet;
    m_DeviceData = other.m_DeviceData;
    m_pOwnedSet = other.m_pOwnedSet;
    return *this;
}

CDeviceObject::~CDeviceObject() {}

void CDeviceObject::Assign(CDevInfoSet* pSet, const SP_DEVINFO_DATA& deviceData)
{
    m_pSet = pSet;
    m_DeviceData = deviceData;
    m_pOwnedSet.reset();
}

void CDeviceObject::KeepSetAlive(const std::shared_ptr<CDevInfoSet>& pSet) { m_pOwnedSet = pSet; }

long CDeviceObject::GetRegistryProperty(DWORD dwProperty, DWORD* pdwType, BYTE* pBuffer, DWORD cbBuffer,
                                        DWORD* pcbRequired) const
{
    if (!pBuffer) cbBuffer = 0;
    return Guarded("CDeviceObject::GetRegistryProperty", [&]() -> long {
        if (Is9X()) return GetRegistryProperty9x(dwProperty, pdwType, pBuffer, cbBuffer, pcbRequired);
        return GetRegistryPropertyNT(dwProperty, pdwType, pBuffer, cbBuffer, pcbRequired);
    });
}

long CDeviceObject::GetRegistryPropertyNT(DWORD dwProperty, DWORD* pdwType, BYTE* pBuffer, DWORD cbBuffer,
                                          DWORD* pcbRequired) const
{
    if (!m_pSet || !m_pSet->IsOpen()) return ERROR_INVALID_HANDLE;
    const CDeviceFunctions& f = BindDeviceFunctions();
    if (!f.pfnSetupDiGetDeviceRegistryPropertyA) return ERROR_NOT_SUPPORTED;
    SP_DEVINFO_DATA deviceData = m_DeviceData;
    DWORD cbRequired = 0;
    SetLastError(0);
    if (f.pfnSetupDiGetDeviceRegistryPropertyA(m_pSet->GetHandle(), &deviceData, dwProperty, pdwType, pBuffer,
                                               cbBuffer, &cbRequired))
    {
        if (pcbRequired) *pcbRequired = cbRequired;
        SetLastError(0);
        return 0;
    }
    // A missing property that sets no error reads as invalid data, as Windows reports it.
    const long lError = LastErrorOr(ERROR_INVALID_DATA);
    if (lError != ERROR_INSUFFICIENT_BUFFER) return lError;
    if (pcbRequired) *pcbRequired = cbRequired;
    if (cbBuffer < cbRequired) return lError;
    SetLastError(0);
    return 0;
}

long CDeviceObject::GetRegistryProperty9x(DWORD dwProperty, DWORD* pdwType, BYTE* pBuffer, DWORD cbBuffer,
                                          DWORD* pcbRequired) const
{
    const char* pszValueName = PropertyValueName9x(dwProperty);
    if (!pszValueName)
    {
        SetLastError(ERROR_INVALID_DATA);
        return ERROR_INVALID_DATA;
    }
    CVxCiString sId;
    if (GetDeviceInstanceID(sId) != 0)
    {
        ReportEmptyValue(pBuffer, cbBuffer, pcbRequired);
        return 0;
    }
    CUniqueRegKey key;
    const long lOpen = OpenEnumKey(sId, key);
    if (lOpen != ERROR_SUCCESS) return lOpen;
    DWORD cbData = cbBuffer;
    const LONG lRead = RegQueryValueExA(key.Get(), pszValueName, NULL, pdwType, pBuffer, &cbData);
    if (lRead == ERROR_SUCCESS || lRead == ERROR_MORE_DATA)
    {
        if (pcbRequired) *pcbRequired = cbData;
        return lRead == ERROR_MORE_DATA || !pBuffer ? ERROR_INSUFFICIENT_BUFFER : 0;
    }
    if (lRead == ERROR_FILE_NOT_FOUND)
    {
        ReportEmptyValue(pBuffer, cbBuffer, pcbRequired);
        return 0;
    }
    return lRead;
}

long CDeviceObject::GetRegistryProperty(DWORD dwProperty, CVxCiString& sValue) const
{
    return Guarded("CDeviceObject::GetRegistryProperty", [&]() -> long {
        DWORD cbBuffer = sValue.empty() ? 0 : static_cast<DWORD>(sValue.length() + 1);
        std::vector<BYTE> buffer;
        DWORD cbRequired = 0;
        long lResult = ERROR_INSUFFICIENT_BUFFER;
        for (unsigned nRead = 0; nRead < kMaxPropertyReads && lResult == ERROR_INSUFFICIENT_BUFFER; ++nRead)
        {
            if (nRead > 0) cbBuffer = (cbRequired < 2 ? 2 : cbRequired);
            buffer.assign(cbBuffer + 1, 0);  // a spare byte keeps any value terminated
            cbRequired = 0;
            lResult = GetRegistryProperty(dwProperty, NULL, cbBuffer ? &buffer[0] : NULL, cbBuffer, &cbRequired);
        }
        if (lResult != 0) return lResult;
        size_t cbData = cbRequired < cbBuffer ? cbRequired : cbBuffer;
        while (cbData > 0 && buffer[cbData - 1] == 0) --cbData;
        sValue.assign(reinterpret_cast<const char*>(buffer.data()), cbData);
        return 0;
    });
}

long CDeviceObject::GetDeviceInstanceID(CVxCiString& sId) const
{
    const CDeviceFunctions& f = BindDeviceFunctions();
    if (!f.pfnCM_Get_Device_ID_Size || !f.pfnCM_Get_Device_IDA) return ERROR_NOT_SUPPORTED;
    return Guarded("CDeviceObject::GetDeviceInstanceID", [&]() -> long {
        ULONG ulLength = 0;
        CONFIGRET cr = f.pfnCM_Get_Device_ID_Size(&ulLength, m_DeviceData.DevInst, 0);
        if (cr != CR_SUCCESS) return static_cast<long>(cr);
        std::vector<char> buffer(static_cast<size_t>(ulLength) + 1, '\0');
        cr = f.pfnCM_Get_Device_IDA(m_DeviceData.DevInst, &buffer[0], ulLength + 1, 0);
        if (cr != CR_SUCCESS) return static_cast<long>(cr);
        buffer[ulLength] = '\0';
        sId.assign(&buffer[0]);
        return 0;
    });
}

long CDeviceObject::GetParent(CDeviceObject& parent) const
{
    const CDeviceFunctions& f = BindDeviceFunctions();
    if (!f.pfnCM_Get_Parent) return ERROR_NOT_SUPPORTED;
    DEVINST dnParent = 0;
    const CONFIGRET cr = f.pfnCM_Get_Parent(&dnParent, m_DeviceData.DevInst, 0);
    if (cr == CR_NO_SUCH_DEVNODE) return ERROR_NOT_FOUND;
    if (cr != CR_SUCCESS) return static_cast<long>(cr);
    SP_DEVINFO_DATA parentData = SP_DEVINFO_DATA();
    parentData.DevInst = dnParent;
    const std::shared_ptr<CDevInfoSet> pOwnedSet = m_pOwnedSet;  // parent may be this object
    parent.m_pSet = m_pSet;
    parent.m_DeviceData = parentData;
    parent.m_pOwnedSet = pOwnedSet;
    return 0;
}

long CDeviceObject::GetPhysicalDeviceObjectName(CVxCiString& sName) const
{
    return GetRegistryProperty(SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, sName);
}

long CDeviceObject::GetFirstInterface(CDeviceInterface& deviceInterface) const
{
    if (!m_pSet || !m_pSet->IsOpen()) return ERROR_INVALID_HANDLE;
    const CDeviceFunctions& f = BindDeviceFunctions();
    if (!f.pfnSetupDiEnumDeviceInterfaces) return ERROR_NOT_SUPPORTED;
    SP_DEVICE_INTERFACE_DATA interfaceData = SP_DEVICE_INTERFACE_DATA();
    interfaceData.cbSize = sizeof(interfaceData);
    SP_DEVINFO_DATA deviceData = m_DeviceData;
    GUID interfaceClass = m_pSet->GetInterfaceClass();
    if (!f.pfnSetupDiEnumDeviceInterfaces(m_pSet->GetHandle(), &deviceData, &interfaceClass, 0, &interfaceData))
        return LastErrorOr(ERROR_GEN_FAILURE);
    deviceInterface.m_pSet = m_pSet;
    deviceInterface.m_InterfaceData = interfaceData;
    return 0;
}

long CDeviceObject::GetDriveLetter(char& chDriveLetter) const
{
    return Guarded("CDeviceObject::GetDriveLetter", [&]() -> long {
        CVxCiString sId;
        long lResult = GetDeviceInstanceID(sId);
        if (lResult != 0) return lResult;
        CUniqueRegKey key;
        lResult = OpenEnumKey(sId, key);
        if (lResult != ERROR_SUCCESS) return lResult;
        std::string sLetters;
        lResult = ReadStringValue(key.Get(), "CurrentDriveLetterAssignment", sLetters);
        if (lResult != ERROR_SUCCESS) return lResult;
        if (sLetters.empty()) return ERROR_INVALID_DATA;
        chDriveLetter = sLetters[0];
        return 0;
    });
}

long CDeviceObject::InitFromDriveLetter(char chDriveLetter)
{
    if (!std::isalpha(static_cast<unsigned char>(chDriveLetter))) return ERROR_INVALID_DRIVE;
    return Guarded("CDeviceObject::InitFromDriveLetter", [&]() -> long {
        return Is9X() ? InitFromDriveLetter9x(chDriveLetter) : InitFromDriveLetterNT(chDriveLetter);
    });
}

long CDeviceObject::InitFromDriveLetterNT(char chDriveLetter)
{
    const char szDrive[3] = {chDriveLetter, ':', '\0'};
    char szPath[MAX_PATH] = {0};
    // Windows 95 lacks QueryDosDeviceA, and only this NT path asks for it: bound by name so
    // that the library still loads there.
    typedef DWORD(WINAPI * QueryDosDeviceFn)(LPCSTR, LPSTR, DWORD);
    const HMODULE hKernel32 = GetModuleHandleA("kernel32.dll");
    const QueryDosDeviceFn pfnQueryDosDevice =
        hKernel32 ? reinterpret_cast<QueryDosDeviceFn>(GetProcAddress(hKernel32, "QueryDosDeviceA")) : NULL;
    if (!pfnQueryDosDevice) return ERROR_PROC_NOT_FOUND;
    if (!pfnQueryDosDevice(szDrive, szPath, MAX_PATH)) return LastErrorOr(ERROR_GEN_FAILURE);
    szPath[MAX_PATH - 1] = '\0';
    std::shared_ptr<CDevInfoSet> pSet = std::make_shared<CDevInfoSet>();
    CDeviceObject found;
    long lResult = pSet->OpenPresentInterfacesAndFind(kVolumeInterface, szPath, found);
    if (lResult != 0) lResult = pSet->OpenPresentInterfacesAndFind(kDiskInterface, szPath, found);
    if (lResult != 0) return lResult;
    found.m_pOwnedSet = pSet;
    *this = found;
    return 0;
}

long CDeviceObject::InitFromDriveLetter9x(char chDriveLetter)
{
    std::shared_ptr<CDevInfoSet> pSet = std::make_shared<CDevInfoSet>();
    long lResult = pSet->OpenPresent(kDiskDriveClass);
    if (lResult != 0) lResult = pSet->OpenPresent(kDiskDriveClass);
    if (lResult != 0) return lResult;
    const int nWanted = std::toupper(static_cast<unsigned char>(chDriveLetter));
    for (;;)
    {
        CDeviceObject candidate;
        lResult = pSet->NextDevice(candidate);
        if (lResult == ERROR_NO_MORE_DEVICES) return ERROR_NOT_FOUND;
        if (lResult != 0) return lResult;
        char chLetter = 0;
        if (candidate.GetDriveLetter(chLetter) != 0) continue;
        if (std::toupper(static_cast<unsigned char>(chLetter)) == nWanted)
        {
            candidate.m_pOwnedSet = pSet;
            *this = candidate;
            return 0;
        }
    }
}

// ---- walks and lookups --------------------------------------------------------------------

unsigned int ForAllDevices(PFN_DEVICE_CALLBACK pfnCallback, void* pUser1, void* pUser2, void* pUser3,
                           unsigned long ulFlags, const GUID& classGuid)
{
    bool fOpened = false;  // the result: 1 once a set was opened, whatever ends the walk
    try
    {
        // Shared, so a device a callback keeps a copy of still has its set: the set closes
        // with the last of them, at the latest on return.
        std::shared_ptr<CDevInfoSet> pSet = std::make_shared<CDevInfoSet>();
        if (pSet->Open(&classGuid, NULL, NULL, ulFlags) != 0) return 0;
        fOpened = true;
        for (;;)
        {
            CDeviceObject device;
            if (pSet->NextDevice(device) != 0) break;
            CDeviceObjectAccess::KeepSetAlive(device, pSet);
            if (pfnCallback && !pfnCallback(device, pUser1, pUser2, pUser3)) break;
        }
        return 1;
    }
    catch (...)
    {
        g_TraceLog.TraceFailure("ForAllDevices: the walk ended by an exception\n");
        return fOpened ? 1 : 0;
    }
}

long FindPortDevice(const char* pszPortName, CPortDeviceObject& device)
{
    if (!pszPortName) return ERROR_INVALID_PARAMETER;
    return Guarded("FindPortDevice", [&]() { return FindPortDeviceBody(pszPortName, device); });
}

long GetPortDeviceInstanceID(const char* pszPortName, CVxCiString& sId)
{
    CPortDeviceObject device;
    const long lResult = FindPortDevice(pszPortName, device);
    if (lResult != 0) return lResult;
    return device.GetDeviceInstanceID(sId);
}

long FindPrinterNode(const CDeviceObject& device, const char* pszParallelId, const char* pszUsbId,
                     CDeviceObject& printerNode)
{
    return Guarded("FindPrinterNode",
                   [&]() { return FindPrinterNodeBody(device, pszParallelId, pszUsbId, printerNode); });
}

long FindCardDriveLetter(const char* pszPortName, const char* pszParallelId, const char* pszUsbId,
                         char& chDriveLetter)
{
    return Guarded("FindCardDriveLetter", [&]() {
        return FindCardDriveLetterBody(pszPortName, pszParallelId, pszUsbId, chDriveLetter);
    });
}

long BuildUsbPortName(const char* pszBaseName, DWORD dwPortNumber, CVxCiString& sPortName)
{
    if (!pszBaseName) return ERROR_INVALID_PARAMETER;
    return Guarded("BuildUsbPortName", [&]() -> long {
        char szNumber[16];
        std::snprintf(szNumber, sizeof(szNumber), "%03lu", static_cast<unsigned long>(dwPortNumber));
        const size_t cchBase = std::strlen(pszBaseName);
        if (cchBase + std::strlen(szNumber) > kMaxPortName) return ERR_BUFFEROVERFLOW;
        CVxCiString sName(pszBaseName, cchBase);
        sName += szNumber;
        sPortName.swap(sName);
        return 0;
    });
}

// Accessors live here, not in the header, so that programs loading the library find them
// among its exports.
HDEVINFO CDevInfoSet::GetHandle() const
{
    return m_hSet;
}

DWORD CDevInfoSet::GetNextIndex() const
{
    return m_dwNextIndex;
}

const GUID& CDevInfoSet::GetInterfaceClass() const
{
    return m_InterfaceClass;
}

bool CDevInfoSet::IsOpen() const
{
    return m_hSet != INVALID_HANDLE_VALUE;
}

CDevInfoSet* CDeviceInterface::GetCDevInfoSet() const
{
    return m_pSet;
}

const SP_DEVICE_INTERFACE_DATA* CDeviceInterface::GetInterfaceData() const
{
    return &m_InterfaceData;
}

SP_DEVINFO_DATA* CDeviceObject::GetInfoData()
{
    return &m_DeviceData;
}

const SP_DEVINFO_DATA* CDeviceObject::GetInfoData() const
{
    return &m_DeviceData;
}

CDevInfoSet* CDeviceObject::GetCDevInfoSet() const
{
    return m_pSet;
}
