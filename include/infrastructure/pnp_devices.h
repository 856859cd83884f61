// The Plug-and-Play device tree: device sets, device nodes, their properties, parents and
// interfaces, and the device behind a USB printing port or a drive letter. The Setup API,
// configuration-manager and new-device functions are bound by name at run time, so the
// library also loads on systems that lack some of them.
#ifndef INFRASTRUCTURE_PNP_DEVICES_H
#define INFRASTRUCTURE_PNP_DEVICES_H

#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <newdev.h>
#include <tlhelp32.h>

#include <memory>

#include "infrastructure/ci_string.h"
#include "infrastructure/vxinfra_api.h"

// The process-wide table of bound functions. A pointer is null when its library or its name
// was not found; entries only ever change from null to a value and are never released.
struct CDeviceFunctions
{
    HMODULE hKernel32;
    HMODULE hNewDev;
    HMODULE hSetupApi;
    HMODULE hCfgMgr32;

    decltype(&::GetLongPathNameA) pfnGetLongPathNameA;
    decltype(&::GetDiskFreeSpaceExA) pfnGetDiskFreeSpaceExA;
    decltype(&::CreateToolhelp32Snapshot) pfnCreateToolhelp32Snapshot;
    decltype(&::Process32First) pfnProcess32First;
    decltype(&::Process32Next) pfnProcess32Next;

    // Spelled out: the headers declare it only for Windows 2000 and later targets.
    BOOL(WINAPI* pfnUpdateDriverForPlugAndPlayDevicesA)(HWND hwndParent, LPCSTR pszHardwareId, LPCSTR pszFullInfPath,
                                                         DWORD dwInstallFlags, PBOOL pfRebootRequired);

    decltype(&::SetupDiGetDeviceInstallParamsA) pfnSetupDiGetDeviceInstallParamsA;
    decltype(&::SetupDiGetDeviceRegistryPropertyA) pfnSetupDiGetDeviceRegistryPropertyA;
    decltype(&::SetupDiGetSelectedDriverA) pfnSetupDiGetSelectedDriverA;
    decltype(&::SetupCopyOEMInfA) pfnSetupCopyOEMInfA;
    decltype(&::SetupFreeSourceListA) pfnSetupFreeSourceListA;
    decltype(&::SetupQuerySourceListA) pfnSetupQuerySourceListA;
    decltype(&::SetupDiOpenClassRegKeyExA) pfnSetupDiOpenClassRegKeyExA;
    decltype(&::SetupDiGetClassDevsA) pfnSetupDiGetClassDevsA;
    decltype(&::SetupDiGetDeviceInterfaceDetailA) pfnSetupDiGetDeviceInterfaceDetailA;
    decltype(&::SetupDiClassNameFromGuidA) pfnSetupDiClassNameFromGuidA;
    decltype(&::SetupDiGetDeviceInstanceIdA) pfnSetupDiGetDeviceInstanceIdA;
    decltype(&::SetupDiGetClassInstallParamsA) pfnSetupDiGetClassInstallParamsA;
    decltype(&::SetupDiInstallClassExA) pfnSetupDiInstallClassExA;
    decltype(&::SetupAddToSourceListA) pfnSetupAddToSourceListA;
    decltype(&::SetupUninstallOEMInfA) pfnSetupUninstallOEMInfA;  // bound on Windows XP only
    DWORD(WINAPI* pfnCMP_WaitNoPendingInstallEvents)(DWORD dwTimeout);
    decltype(&::SetupDiEnumDeviceInterfaces) pfnSetupDiEnumDeviceInterfaces;
    decltype(&::SetupDiOpenDeviceInterfaceRegKey) pfnSetupDiOpenDeviceInterfaceRegKey;
    decltype(&::SetupDiDestroyDeviceInfoList) pfnSetupDiDestroyDeviceInfoList;
    decltype(&::SetupDiBuildClassInfoList) pfnSetupDiBuildClassInfoList;
    decltype(&::SetupDiEnumDeviceInfo) pfnSetupDiEnumDeviceInfo;
    decltype(&::SetupDiDestroyDriverInfoList) pfnSetupDiDestroyDriverInfoList;
    decltype(&::SetupOpenFileQueue) pfnSetupOpenFileQueue;
    decltype(&::SetupCloseFileQueue) pfnSetupCloseFileQueue;
    decltype(&::SetupDiOpenClassRegKey) pfnSetupDiOpenClassRegKey;
    decltype(&::SetupDiRemoveDevice) pfnSetupDiRemoveDevice;

    decltype(&::CM_Get_Device_IDA) pfnCM_Get_Device_IDA;
    decltype(&::CM_Get_Device_ID_Size) pfnCM_Get_Device_ID_Size;
    decltype(&::CM_Get_Parent) pfnCM_Get_Parent;
    decltype(&::CM_Get_Child) pfnCM_Get_Child;
    decltype(&::CM_Get_Sibling) pfnCM_Get_Sibling;
    decltype(&::CM_Get_DevNode_Status) pfnCM_Get_DevNode_Status;
    decltype(&::CM_Locate_DevNodeA) pfnCM_Locate_DevNodeA;
    decltype(&::CM_Reenumerate_DevNode_Ex) pfnCM_Reenumerate_DevNode_Ex;
    decltype(&::CM_Reenumerate_DevNode) pfnCM_Reenumerate_DevNode;
    decltype(&::CM_Locate_DevNode_ExA) pfnCM_Locate_DevNode_ExA;
};

// Binds what is not bound yet and returns the table. Cheap once every library is loaded; a
// library that failed to load is tried again on the next call.
VXINFRA_API const CDeviceFunctions& BindDeviceFunctions();

class CDeviceObject;
class CPortDeviceObject;

// A Setup API device-information set. All operations return 0 or a system error code; a
// missing Setup API function gives ERROR_NOT_SUPPORTED (50).
class VXINFRA_API CDevInfoSet
{
public:
    CDevInfoSet();
    ~CDevInfoSet();  // closes the set

    // Closes any open set first (its failure is returned and nothing is opened).
    long Open(const GUID* pClassGuid, const char* pszEnumerator, HWND hwndParent, DWORD dwFlags);
    long OpenPresent(const GUID& classGuid);                // DIGCF_PRESENT
    long OpenPresentInterfaces(const GUID& interfaceGuid);  // DIGCF_PRESENT | DIGCF_DEVICEINTERFACE
    // A failed destroy keeps the handle; otherwise the set is empty again.
    long Close();

    // The device at the next index: ERROR_NO_MORE_DEVICES (1248) after the last one.
    long NextDevice(CDeviceObject& device);
    // The next device whose physical device object name equals pszName (letter case ignored):
    // ERROR_NOT_FOUND (1168) at the end. Devices whose name cannot be read are passed over.
    long FindByPhysicalName(const char* pszName, CDeviceObject& device);
    long OpenPresentInterfacesAndFind(const GUID& interfaceGuid, const char* pszName, CDeviceObject& device);

    HDEVINFO GetHandle() const;
    DWORD GetNextIndex() const;
    const GUID& GetInterfaceClass() const;
    bool IsOpen() const;

private:
    CDevInfoSet(const CDevInfoSet&);  // devices point at their set: it neither copies nor moves
    CDevInfoSet& operator=(const CDevInfoSet&);

    HDEVINFO m_hSet;
    DWORD m_dwNextIndex;
    GUID m_InterfaceClass;
};

// One device interface of a set's device.
class VXINFRA_API CDeviceInterface
{
public:
    CDeviceInterface();

    // The interface's registry key; the caller closes it. 0 or a system error code.
    long OpenRegKey(REGSAM samDesired, HKEY* phKey) const;

    CDevInfoSet* GetCDevInfoSet() const;
    const SP_DEVICE_INTERFACE_DATA* GetInterfaceData() const;

private:
    friend class CDeviceObject;
    CDevInfoSet* m_pSet;
    SP_DEVICE_INTERFACE_DATA m_InterfaceData;
};

// One device node. Operations return 0 or a system or configuration-manager error code; a
// missing configuration-manager function gives ERROR_NOT_SUPPORTED (50). Out-parameters are
// left alone when an operation fails.
class VXINFRA_API CDeviceObject
{
public:
    CDeviceObject();
    CDeviceObject(const CDeviceObject& other);
    CDeviceObject& operator=(const CDeviceObject& other);
    virtual ~CDeviceObject();

    // Windows NT family: the Setup API's property. Windows 9x: the value named for the index
    // under HKLM\Enum\<instance id>; an index without a value name gives ERROR_INVALID_DATA
    // (13, also set as the last error), a missing value an empty one (size 0) and 0.
    long GetRegistryProperty(DWORD dwProperty, DWORD* pdwType, BYTE* pBuffer, DWORD cbBuffer,
                             DWORD* pcbRequired) const;
    // The property as text, grown until it fits; trailing terminators are not part of it
    // (the entries of a multi-string stay separated by one '\0').
    long GetRegistryProperty(DWORD dwProperty, CVxCiString& sValue) const;
    long GetDeviceInstanceID(CVxCiString& sId) const;
    // ERROR_NOT_FOUND (1168) at the root. The parent keeps this device's set.
    long GetParent(CDeviceObject& parent) const;
    long GetPhysicalDeviceObjectName(CVxCiString& sName) const;
    // Interface 0 of the set's interface class (the zero GUID without a set).
    long GetFirstInterface(CDeviceInterface& deviceInterface) const;
    // The "CurrentDriveLetterAssignment" of HKLM\Enum\<instance id> (Windows 9x disk devices).
    long GetDriveLetter(char& chDriveLetter) const;
    // Becomes the device of the drive letter: ERROR_NOT_FOUND (1168) when there is none.
    long InitFromDriveLetter(char chDriveLetter);

    SP_DEVINFO_DATA* GetInfoData();
    const SP_DEVINFO_DATA* GetInfoData() const;
    CDevInfoSet* GetCDevInfoSet() const;

private:
    friend class CDevInfoSet;
    friend struct CDeviceObjectAccess;

    void Assign(CDevInfoSet* pSet, const SP_DEVINFO_DATA& deviceData);
    void KeepSetAlive(const std::shared_ptr<CDevInfoSet>& pSet);
    long GetRegistryPropertyNT(DWORD dwProperty, DWORD* pdwType, BYTE* pBuffer, DWORD cbBuffer,
                               DWORD* pcbRequired) const;
    long GetRegistryProperty9x(DWORD dwProperty, DWORD* pdwType, BYTE* pBuffer, DWORD cbBuffer,
                               DWORD* pcbRequired) const;
    long InitFromDriveLetterNT(char chDriveLetter);
    long InitFromDriveLetter9x(char chDriveLetter);

    CDevInfoSet* m_pSet;
    SP_DEVINFO_DATA m_DeviceData;
    // A set the library opened for this device alone lives as long as the device and its
    // copies, so the set pointer never dangles.
    std::shared_ptr<CDevInfoSet> m_pOwnedSet;
};

// The device behind a printer port (what CPort::GetDevice fills).
class VXINFRA_API CPortDeviceObject : public CDeviceObject
{
};

// Calls pfnCallback for every device of the class (null: steps over them) until it returns 0.
// 1 when the set could be opened, else 0.
typedef unsigned int (*PFN_DEVICE_CALLBACK)(CDeviceObject& device, void* pUser1, void* pUser2, void* pUser3);
VXINFRA_API unsigned int ForAllDevices(PFN_DEVICE_CALLBACK pfnCallback, void* pUser1, void* pUser2, void* pUser3,
                                       unsigned long ulFlags, const GUID& classGuid);

// The device behind a USB printing port name such as USB001 (CPort::GetDevice): 0 when
// found, ERROR_NOT_FOUND (1168) when no present USB printing port has that name, else the
// first error met while naming the ports (ERR_BUFFEROVERFLOW for a name that is too long).
// A null name gives ERROR_INVALID_PARAMETER.
VXINFRA_API long FindPortDevice(const char* pszPortName, CPortDeviceObject& device);
// The instance identifier of that device (CPort::GetDeviceInstanceID).
VXINFRA_API long GetPortDeviceInstanceID(const char* pszPortName, CVxCiString& sId);

// The printer node above a device: the first "LPTENUM" ancestor, else the highest ancestor
// whose instance identifier contains the parallel or the USB identifier (an empty or null
// identifier is contained in every text). ERROR_NOT_FOUND (1168) when there is none.
VXINFRA_API long FindPrinterNode(const CDeviceObject& device, const char* pszParallelId, const char* pszUsbId,
                                 CDeviceObject& printerNode);

// The removable drive whose printer node is the printer node of the port's device
// (CPrinter::GetCardDriveLetter after its card-reader check). The letter is lower case.
// 0 with the letter set, ERROR_NOT_FOUND (1168) when no drive belongs to the printer, else
// the error of finding the port's device or printer node.
VXINFRA_API long FindCardDriveLetter(const char* pszPortName, const char* pszParallelId, const char* pszUsbId,
                                     char& chDriveLetter);

// "Base Name" and "Port Number" as the spooler names the port: base + at least three digits.
// ERR_BUFFEROVERFLOW when the name would be longer than 259 characters.
VXINFRA_API long BuildUsbPortName(const char* pszBaseName, DWORD dwPortNumber, CVxCiString& sPortName);

#endif
