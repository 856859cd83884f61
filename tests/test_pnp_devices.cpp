// The device tree: run-time binding, sets, device nodes and the device behind a USB port or a
// drive letter. Suites by run (see tests.cmake):
//   UsbPortName, PnpWine, PnpBinding - Wine's own functions (PnpBinding also as other releases)
//   PnpWine9x                        - Wine's functions as Windows 98 (registry properties)
//   PnpDouble, PnpDouble9x           - the device-tree stand-in (tests/doubles), as XP and 98
//   PnpNoCfgMgr, PnpNoSetupApi       - a configuration manager or Setup API that cannot load
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "infrastructure/error_codes.h"
#include "infrastructure/pnp_devices.h"
#include "support/allocation_failure.h"
#include "support/prefix_drive.h"
#include "support/test_support.h"

namespace
{

const GUID kSystemClass = {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kPrinterClass = {0x4D36E979, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kUsbClass = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kUsbPrintInterface = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
const DWORD kAllPresent = DIGCF_ALLCLASSES | DIGCF_PRESENT;

const char kUsbId[] = "VID_0A5F&PID_0D11";
const char kParallelId[] = "VXZLASER_2000";
const char kPrinterNodeId[] = "USB\\VID_0A5F&PID_0D11\\VX0001";

// ---- helpers ------------------------------------------------------------------------------

bool DoubleLoaded()
{
    BindDeviceFunctions();
    HMODULE hSetupApi = GetModuleHandleA("setupapi.dll");
    return hSetupApi && !GetProcAddress(hSetupApi, "SetupDiGetClassDevsW");
}

CVxCiString IdOf(const CDeviceObject& device)
{
    CVxCiString sId;
    EXPECT_EQ(0, device.GetDeviceInstanceID(sId));
    return sId;
}

struct Visits
{
    std::vector<std::string> ids;
    unsigned nStopAfter = 0;  // 0: never stop
    void* apUser[3] = {NULL, NULL, NULL};
};

unsigned int Record(CDeviceObject& device, void* pUser1, void* pUser2, void* pUser3)
{
    Visits* pVisits = static_cast<Visits*>(pUser1);
    CVxCiString sId;
    device.GetDeviceInstanceID(sId);
    pVisits->ids.push_back(ToStd(sId));
    pVisits->apUser[0] = pUser1;
    pVisits->apUser[1] = pUser2;
    pVisits->apUser[2] = pUser3;
    return pVisits->nStopAfter == 0 || pVisits->ids.size() < pVisits->nStopAfter;
}

// The device of the set whose instance identifier is sId (fails the test when there is none).
bool FindById(CDevInfoSet& set, const char* pszId, CDeviceObject& device)
{
    for (;;)
    {
        if (set.NextDevice(device) != 0) return false;
        CVxCiString sId;
        if (device.GetDeviceInstanceID(sId) == 0 && sId == pszId) return true;
    }
}

// A described device tree served by the stand-in while the object lives.
class TreeFile
{
public:
    explicit TreeFile(const std::string& sText) : m_dir("vxtree")
    {
        const std::string sPath = m_dir.File("tree.txt");
        EXPECT_TRUE(vxtest::WriteFileBytes(sPath, sText));
        SetEnvironmentVariableA("VX_DEVTREE", sPath.c_str());
    }
    ~TreeFile() { SetEnvironmentVariableA("VX_DEVTREE", NULL); }

private:
    vxtest::ScratchDir m_dir;
};

// A USB composite printer (printer node VX0001) with its printing port and a card reader
// whose volume has the physical name sVolumePdo; a second USB printer of another model on
// USB002; a parallel printer under LPTENUM whose higher ancestors also carry its identifier.
std::string StandardTree(const std::string& sVolumePdo, bool fVolumeInterface = true)
{
    std::string s =
        "# the USB side\n"
        "node|root|-|{4D36E97D-E325-11CE-BFC1-08002BE10318}|HTREE\\ROOT\\0\n"
        "node|pci|root|{4D36E97D-E325-11CE-BFC1-08002BE10318}|PCI\\VEN_8086&DEV_24C2&SUBSYS_00000000&REV_01\\3&61AAA01&0&E8\n"
        "node|hub|pci|{36FC9E60-C465-11CF-8056-444553540000}|USB\\ROOT_HUB\\4&2DA2D7D&0\n"
        "node|composite|hub|{36FC9E60-C465-11CF-8056-444553540000}|USB\\VID_0A5F&PID_0D11\\VX0001\n"
        "prop|0|sz|USB Composite Device\n"
        "node|printer|composite|{36FC9E60-C465-11CF-8056-444553540000}|USB\\VID_0A5F&PID_0D11&MI_00\\6&1&0\n"
        "prop|12|sz|USB Printing Support\n"
        "prop|14|sz|\\Device\\USBPDO-7\n"
        "prop|1|multi|USB\\VID_0A5F&PID_0D11&REV_0100&MI_00|USB\\VID_0A5F&PID_0D11&MI_00\n"
        "iface|{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}\n"
        "ifval|Base Name|sz|USB\n"
        "ifval|Port Number|dword|1\n"
        "node|storage|composite|{36FC9E60-C465-11CF-8056-444553540000}|USB\\VID_0A5F&PID_0D11&MI_01\\6&1&1\n"
        "node|disk|storage|{4D36E967-E325-11CE-BFC1-08002BE10318}|USBSTOR\\DISK&VEN_VXZ&PROD_CARD_READER&REV_1.00\\7&2&0\n"
        "prop|14|sz|" + sVolumePdo + "\n"
        "iface|{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}\n"
        "node|volume|disk|{71A27CDD-812A-11D0-BEC7-08002BE2092F}|STORAGE\\VOLUME\\1&30A96598&0&SIGNATURE0\n"
        "prop|14|sz|" + sVolumePdo + "\n";
    if (fVolumeInterface) s += "iface|{53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}\n";
    s +=
        "# another printer on USB002\n"
        "node|other|hub|{36FC9E60-C465-11CF-8056-444553540000}|USB\\VID_0A5F&PID_0E22\\VX0002\n"
        "node|otherport|other|{36FC9E60-C465-11CF-8056-444553540000}|USB\\VID_0A5F&PID_0E22&MI_00\\6&9&0\n"
        "iface|{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}\n"
        "ifval|Port Number|dword|2\n"
        "# the parallel side\n"
        "node|acpi|root|{4D36E978-E325-11CE-BFC1-08002BE10318}|ACPI\\PNP0401\\VXZLASER_2000\n"
        "node|lpt|acpi|{4D36E979-E325-11CE-BFC1-08002BE10318}|LPTENUM\\VXZLASER_2000\\1&3\n"
        "node|dot4|lpt|{4D36E97D-E325-11CE-BFC1-08002BE10318}|DOT4\\VXZLASER_2000\\2&4\n";
    return s;
}

bool SetEnumValue(const std::string& sId, const char* pszName, DWORD dwType, const std::string& sData)
{
    return vxtest::WriteRegistryValue("Enum\\" + sId, pszName, dwType, sData.data(), static_cast<DWORD>(sData.size()));
}

// ---- the port name ------------------------------------------------------------------------

TEST(UsbPortName, BaseAndAtLeastThreeDigits)
{
    struct Case
    {
        const char* pszBase;
        DWORD dwNumber;
        const char* pszExpected;
    } const cases[] = {
        {"USB", 1, "USB001"}, {"USB", 0, "USB000"}, {"USB", 42, "USB042"}, {"USB", 999, "USB999"},
        {"USB", 1000, "USB1000"}, {"DOT4_", 7, "DOT4_007"}, {"", 3, "003"},
        // every number fits: the largest is written unsigned, never as a negative number
        {"USB", 0xFFFFFFFF, "USB4294967295"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        CVxCiString sName("untouched");
        EXPECT_EQ(0, BuildUsbPortName(cases[i].pszBase, cases[i].dwNumber, sName)) << i;
        EXPECT_STREQ(cases[i].pszExpected, sName.c_str()) << i;
    }
}

TEST(UsbPortName, LongerThan259IsRefusedAndLeavesTheName)
{
    CVxCiString sName("untouched");
    EXPECT_EQ(0, BuildUsbPortName(std::string(256, 'B').c_str(), 1, sName));
    EXPECT_EQ(259u, sName.size());
    sName = "untouched";
    EXPECT_EQ(ERR_BUFFEROVERFLOW, BuildUsbPortName(std::string(257, 'B').c_str(), 1, sName));
    EXPECT_STREQ("untouched", sName.c_str());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, BuildUsbPortName(NULL, 1, sName));
}

// ---- binding ------------------------------------------------------------------------------

TEST(PnpBinding, LibrariesAndFunctionsFollowTheRelease)
{
    const CDeviceFunctions& f = BindDeviceFunctions();
    const std::string sRelease = vxtest::WineRelease();
    const bool fNewDev = sRelease.empty() || sRelease == "winxp" || sRelease == "win2k" || sRelease == "winme" ||
                         sRelease == "win2003" || sRelease == "vista";
    EXPECT_TRUE(f.hKernel32 != NULL);
    EXPECT_TRUE(f.pfnGetLongPathNameA != NULL);
    EXPECT_TRUE(f.pfnCreateToolhelp32Snapshot != NULL);
    EXPECT_EQ(fNewDev, f.hNewDev != NULL) << sRelease;
    EXPECT_EQ(fNewDev, f.pfnUpdateDriverForPlugAndPlayDevicesA != NULL) << sRelease;
    EXPECT_TRUE(f.hSetupApi != NULL);
    EXPECT_TRUE(f.hCfgMgr32 != NULL);
    EXPECT_TRUE(f.pfnSetupDiGetClassDevsA != NULL);
    EXPECT_TRUE(f.pfnSetupDiGetDeviceRegistryPropertyA != NULL);
    EXPECT_TRUE(f.pfnCM_Get_Parent != NULL);
    EXPECT_TRUE(f.pfnCM_Get_Device_IDA != NULL);
    // The uninstall call exists only on XP (the win2003 and vista releases are not XP).
    const bool fXP = sRelease.empty() || sRelease == "winxp";
    EXPECT_EQ(fXP, f.pfnSetupUninstallOEMInfA != NULL) << sRelease;
    // A second call binds nothing new and hands out the same table.
    EXPECT_EQ(&f, &BindDeviceFunctions());
}

// ---- Wine's own device functions ----------------------------------------------------------

class PnpWine : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(DoubleLoaded()) << "this run wants Wine's own setupapi.dll"; }
};

TEST_F(PnpWine, ForAllDevicesVisitsEveryRootDeviceWithItsUserValues)
{
    Visits visits;
    int nUser2 = 0, nUser3 = 0;
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, &nUser2, &nUser3, kAllPresent, kSystemClass));
    ASSERT_FALSE(visits.ids.empty());
    for (size_t i = 0; i < visits.ids.size(); ++i) EXPECT_FALSE(visits.ids[i].empty()) << i;
    EXPECT_EQ(&visits, visits.apUser[0]);
    EXPECT_EQ(&nUser2, visits.apUser[1]);
    EXPECT_EQ(&nUser3, visits.apUser[2]);

    // Stepping by hand sees the same devices in the same order.
    CDevInfoSet set;
    ASSERT_EQ(0, set.Open(NULL, NULL, NULL, kAllPresent));
    CDeviceObject device;
    for (size_t i = 0; i < visits.ids.size(); ++i)
    {
        ASSERT_EQ(0, set.NextDevice(device)) << i;
        EXPECT_EQ(visits.ids[i], ToStd(IdOf(device))) << i;
        EXPECT_EQ(&set, device.GetCDevInfoSet());
    }
    EXPECT_EQ(ERROR_NO_MORE_DEVICES, set.NextDevice(device));
    EXPECT_EQ(visits.ids.size() + 1, set.GetNextIndex());
}

TEST_F(PnpWine, ACallbackThatStopsAndANullCallback)
{
    Visits visits;
    visits.nStopAfter = 1;
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, kAllPresent, kSystemClass));
    EXPECT_EQ(1u, visits.ids.size());
    EXPECT_EQ(1u, ForAllDevices(NULL, NULL, NULL, NULL, kAllPresent, kSystemClass));
}

TEST_F(PnpWine, AClassWithoutPresentDevicesGivesNoCall)
{
    Visits visits;
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, DIGCF_PRESENT, kPrinterClass));
    EXPECT_TRUE(visits.ids.empty());
}

// An allocation that fails before the set is open: nothing was walked, and the result says so.
TEST_F(PnpWine, OutOfMemoryBeforeTheSetIsOpenGivesZero)
{
    Visits visits;
    vxtest::ArmAllocationFailure(1);  // the set's own allocation, before anything is opened
    const unsigned uBeforeOpen = ForAllDevices(Record, &visits, NULL, NULL, kAllPresent, kSystemClass);
    const bool fFired = vxtest::DisarmAllocationFailure();
    ASSERT_TRUE(fFired);
    EXPECT_EQ(0u, uBeforeOpen);
    EXPECT_TRUE(visits.ids.empty());

    // Unarmed, the same walk opens its set.
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, kAllPresent, kSystemClass));
    EXPECT_FALSE(visits.ids.empty());
}

TEST_F(PnpWine, SystemDevicePropertiesAndNoParents)
{
    // Wine's HID bus driver is a root device of the System class.
    CDevInfoSet set;
    ASSERT_EQ(0, set.OpenPresent(kSystemClass));
    CDeviceObject device;
    ASSERT_TRUE(FindById(set, "ROOT\\WINE\\WINEBUS", device));

    CVxCiString sValue;
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_CLASS, sValue));
    EXPECT_STREQ("System", sValue.c_str());
    sValue = "a longer text than the value";  // a given string is reused and cut to the value
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_CLASSGUID, sValue));
    EXPECT_STREQ("{4D36E97D-E325-11CE-BFC1-08002BE10318}", sValue.c_str());
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_HARDWAREID, sValue));
    EXPECT_STREQ("root\\winebus", sValue.c_str());

    // Raw form: a buffer that is too small reports the size and changes nothing.
    BYTE abBuffer[8];
    std::memset(abBuffer, 0xcc, sizeof(abBuffer));
    DWORD dwType = 0xdeadbeef, cbRequired = 0;
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, device.GetRegistryProperty(SPDRP_CLASS, &dwType, abBuffer, 3, &cbRequired));
    EXPECT_EQ(7u, cbRequired);
    EXPECT_EQ(0xcc, abBuffer[0]);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_CLASS, &dwType, abBuffer, sizeof(abBuffer), &cbRequired));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_STREQ("System", reinterpret_cast<char*>(abBuffer));

    CDeviceObject parent;
    EXPECT_EQ(ERROR_NOT_FOUND, device.GetParent(parent));  // Wine has no parent links
    EXPECT_TRUE(parent.GetCDevInfoSet() == NULL);
}

TEST_F(PnpWine, PropertiesWineDoesNotKnowFailWithACause)
{
    // Wine fails the physical device object name, the unused indexes and indexes past the
    // table without setting an error: they must not read as success.
    CDevInfoSet set;
    ASSERT_EQ(0, set.OpenPresent(kSystemClass));
    CDeviceObject device;
    ASSERT_EQ(0, set.NextDevice(device));
    const DWORD adwProperties[] = {3, 5, 6, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, SPDRP_MAXIMUM_PROPERTY, 0x100};
    for (size_t i = 0; i < sizeof(adwProperties) / sizeof(adwProperties[0]); ++i)
    {
        CVxCiString sValue("kept");
        SetLastError(0xdeadbeef);
        EXPECT_EQ(ERROR_INVALID_DATA, device.GetRegistryProperty(adwProperties[i], sValue)) << i;
        EXPECT_STREQ("kept", sValue.c_str()) << i;
    }
    CDevInfoSet other;
    CDeviceObject found;
    EXPECT_EQ(ERROR_NOT_FOUND, other.OpenPresentInterfacesAndFind(kUsbPrintInterface, "\\Device\\USBPDO-7", found));
}

TEST_F(PnpWine, NoUsbPrintingPortAndNoDeviceBehindADrive)
{
    CPortDeviceObject device;
    EXPECT_EQ(ERROR_NOT_FOUND, FindPortDevice("USB001", device));
    CVxCiString sId("kept");
    EXPECT_EQ(ERROR_NOT_FOUND, GetPortDeviceInstanceID("USB001", sId));
    EXPECT_STREQ("kept", sId.c_str());
    char chLetter = '?';
    EXPECT_EQ(ERROR_NOT_FOUND, FindCardDriveLetter("USB001", kParallelId, kUsbId, chLetter));
    EXPECT_EQ('?', chLetter);

    CDeviceObject drive;
    EXPECT_EQ(ERROR_NOT_FOUND, drive.InitFromDriveLetter('c'));  // no volume device in Wine's tree
    EXPECT_EQ(ERROR_INVALID_DRIVE, drive.InitFromDriveLetter('1'));
    EXPECT_EQ(ERROR_INVALID_DRIVE, drive.InitFromDriveLetter('\0'));
    EXPECT_TRUE(drive.GetCDevInfoSet() == NULL);
}

TEST_F(PnpWine, SetsOpenCloseAndReopen)
{
    CDevInfoSet set;
    EXPECT_FALSE(set.IsOpen());
    EXPECT_EQ(0, set.Close());  // closing a closed set is nothing
    CDeviceObject none;
    EXPECT_EQ(ERROR_INVALID_HANDLE, set.NextDevice(none));
    EXPECT_TRUE(none.GetCDevInfoSet() == NULL);
    ASSERT_EQ(0, set.OpenPresentInterfaces(kUsbPrintInterface));
    EXPECT_TRUE(IsEqualGUID(kUsbPrintInterface, set.GetInterfaceClass()));
    ASSERT_EQ(0, set.OpenPresent(kSystemClass));  // closes the first set
    EXPECT_TRUE(IsEqualGUID(GUID(), set.GetInterfaceClass()));
    CDeviceObject device;
    ASSERT_EQ(0, set.NextDevice(device));
    EXPECT_EQ(1u, set.GetNextIndex());
    // A device of a set opened for a class has no interface class to enumerate.
    CDeviceInterface deviceInterface;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, device.GetFirstInterface(deviceInterface));
    EXPECT_EQ(0, set.Close());
    EXPECT_FALSE(set.IsOpen());
    EXPECT_EQ(0u, set.GetNextIndex());
    EXPECT_EQ(ERROR_INVALID_HANDLE, set.NextDevice(device));
    // A device whose set is gone reports a bad handle instead of using it.
    CVxCiString sValue;
    EXPECT_EQ(ERROR_INVALID_HANDLE, device.GetRegistryProperty(SPDRP_CLASS, sValue));
    EXPECT_EQ(ERROR_INVALID_HANDLE, device.GetFirstInterface(deviceInterface));
}

// ---- Wine's own functions as Windows 98 ---------------------------------------------------

// Wine's Setup API reads its devices from HKLM, so the set is taken before HKLM is redirected
// to the test's own Enum keys.
class PnpWine9x : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(DoubleLoaded());
        ASSERT_EQ("win98", vxtest::WineRelease());
        ASSERT_EQ(0, m_set.OpenPresent(kSystemClass));
        ASSERT_TRUE(FindById(m_set, "ROOT\\WINE\\WINEBUS", m_device));
        m_pHklm.reset(new vxtest::HklmRedirect);
    }
    CDevInfoSet m_set;
    CDeviceObject m_device;
    std::unique_ptr<vxtest::HklmRedirect> m_pHklm;
};

TEST_F(PnpWine9x, PropertiesComeFromTheEnumKey)
{
    const CDeviceObject& device = m_device;
    ASSERT_TRUE(SetEnumValue("ROOT\\WINE\\WINEBUS", "DeviceDesc", REG_SZ, std::string("Bus of the 98 tree\0", 19)));
    ASSERT_TRUE(SetEnumValue("ROOT\\WINE\\WINEBUS", "HardwareID", REG_BINARY, std::string("*PNP0A03\0ROOT\\BUS\0\0", 20)));

    CVxCiString sValue;
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_DEVICEDESC, sValue));
    EXPECT_STREQ("Bus of the 98 tree", sValue.c_str());
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_HARDWAREID, sValue));
    EXPECT_EQ(std::string("*PNP0A03\0ROOT\\BUS", 17), ToStd(sValue));

    BYTE abBuffer[32];
    std::memset(abBuffer, 0xcc, sizeof(abBuffer));
    DWORD dwType = 0, cbRequired = 0;
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, device.GetRegistryProperty(SPDRP_DEVICEDESC, &dwType, abBuffer, 4, &cbRequired));
    EXPECT_EQ(19u, cbRequired);
    cbRequired = 0;
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, device.GetRegistryProperty(SPDRP_DEVICEDESC, &dwType, NULL, 0, &cbRequired));
    EXPECT_EQ(19u, cbRequired);
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_DEVICEDESC, &dwType, abBuffer, 19, &cbRequired));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_STREQ("Bus of the 98 tree", reinterpret_cast<char*>(abBuffer));
    EXPECT_EQ(0xcc, abBuffer[19]);

    // A value that is not there reads as empty: size 0, buffer zero-filled.
    std::memset(abBuffer, 0xcc, sizeof(abBuffer));
    cbRequired = 0xdeadbeef;
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_FRIENDLYNAME, &dwType, abBuffer, 8, &cbRequired));
    EXPECT_EQ(0u, cbRequired);
    EXPECT_EQ(0, abBuffer[0]);
    EXPECT_EQ(0, abBuffer[7]);
    EXPECT_EQ(0xcc, abBuffer[8]);
    sValue = "kept";
    EXPECT_EQ(0, device.GetRegistryProperty(SPDRP_MFG, sValue));
    EXPECT_TRUE(sValue.empty());
}

TEST_F(PnpWine9x, IndexesWithoutAValueNameAreInvalidData)
{
    const CDeviceObject& device = m_device;
    const DWORD adwBad[] = {3, 5, 6, 19, 0x24, 0xFFFFFFFF};
    for (size_t i = 0; i < sizeof(adwBad) / sizeof(adwBad[0]); ++i)
    {
        BYTE abBuffer[4] = {0xcc, 0xcc, 0xcc, 0xcc};
        DWORD cbRequired = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(ERROR_INVALID_DATA, device.GetRegistryProperty(adwBad[i], NULL, abBuffer, 4, &cbRequired)) << i;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError()) << i;
        EXPECT_EQ(0xdeadbeefu, cbRequired) << i;
        EXPECT_EQ(0xcc, abBuffer[0]) << i;
    }
    // A device with no Enum key fails with the key's error.
    CVxCiString sValue("kept");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, device.GetRegistryProperty(SPDRP_DEVICEDESC, sValue));
    EXPECT_STREQ("kept", sValue.c_str());
}

// ---- the stand-in device tree -------------------------------------------------------------

class PnpDouble : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(DoubleLoaded()) << "run with WINEDLLOVERRIDES=cfgmgr32,setupapi=n,b";
        ASSERT_NE("win98", vxtest::WineRelease());
    }
};

TEST_F(PnpDouble, Usb001FindsItsDeviceAndInstanceId)
{
    TreeFile tree(StandardTree("\\Device\\Unused"));
    const char* const apszNames[] = {"USB001", "usb001"};
    for (const char* pszName : apszNames)
    {
        CPortDeviceObject device;
        ASSERT_EQ(0, FindPortDevice(pszName, device)) << pszName;
        EXPECT_STREQ("USB\\VID_0A5F&PID_0D11&MI_00\\6&1&0", IdOf(device).c_str()) << pszName;
        // The set the lookup opened lives on with the device.
        ASSERT_TRUE(device.GetCDevInfoSet() != NULL);
        EXPECT_TRUE(device.GetCDevInfoSet()->IsOpen());
        CVxCiString sPdo;
        EXPECT_EQ(0, device.GetPhysicalDeviceObjectName(sPdo));
        EXPECT_STREQ("\\Device\\USBPDO-7", sPdo.c_str());
        CPortDeviceObject copy(device);
        device = CPortDeviceObject();
        EXPECT_EQ(0, copy.GetPhysicalDeviceObjectName(sPdo));
    }
    CVxCiString sId;
    EXPECT_EQ(0, GetPortDeviceInstanceID("USB001", sId));
    EXPECT_STREQ("USB\\VID_0A5F&PID_0D11&MI_00\\6&1&0", sId.c_str());
    // Without "Base Name" the port is named USB and its number.
    EXPECT_EQ(0, GetPortDeviceInstanceID("USB002", sId));
    EXPECT_STREQ("USB\\VID_0A5F&PID_0E22&MI_00\\6&9&0", sId.c_str());

    CPortDeviceObject device;
    const char* const apszMissing[] = {"USB003", "USB01", "USB0001", "LPT1:", ""};
    for (const char* pszName : apszMissing)
    {
        sId = "kept";
        EXPECT_EQ(ERROR_NOT_FOUND, GetPortDeviceInstanceID(pszName, sId)) << pszName;
        EXPECT_STREQ("kept", sId.c_str()) << pszName;
    }
    EXPECT_EQ(ERROR_NOT_FOUND, FindPortDevice(std::string(300, 'U').c_str(), device));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, FindPortDevice(NULL, device));
    EXPECT_TRUE(device.GetCDevInfoSet() == NULL);
}

TEST_F(PnpDouble, PortNamingFailuresEndTheSearch)
{
    // The first printing port cannot be named, so the search ends before USB001 is reached.
    struct Case
    {
        const char* pszInterfaceLines;
        long lExpected;
    } const cases[] = {
        {"ifval|Base Name|sz|USB\n", ERROR_FILE_NOT_FOUND},                      // no "Port Number"
        {"ifval|Port Number|sz|1\n", ERROR_INVALID_DATA},                        // not a number
        {"ifval|Port Number|bin|0100000000000000\n", ERROR_INVALID_DATA},        // eight bytes
        {"ifval|Port Number|bin|0100\n", ERROR_INVALID_DATA},                    // two bytes
        {"ifval|Port Number|dword|1\nifnokey\n", ERROR_FILE_NOT_FOUND},          // no key
    };
    // A base name of 257 characters and three digits make 260: one too many.
    const std::string sLongBase = "ifval|Base Name|sz|" + std::string(257, 'B') + "\nifval|Port Number|dword|1\n";
    const size_t nCases = sizeof(cases) / sizeof(cases[0]);
    for (size_t i = 0; i <= nCases; ++i)
    {
        const std::string sLines = i < nCases ? cases[i].pszInterfaceLines : sLongBase;
        const long lExpected = i < nCases ? cases[i].lExpected : ERR_BUFFEROVERFLOW;
        TreeFile tree(std::string("node|bad|-|{36FC9E60-C465-11CF-8056-444553540000}|USB\\VID_1111&PID_2222\\1\n"
                                  "iface|{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}\n") +
                      sLines + StandardTree("\\Device\\Unused"));
        CPortDeviceObject device;
        EXPECT_EQ(lExpected, FindPortDevice("USB001", device)) << i;
        EXPECT_TRUE(device.GetCDevInfoSet() == NULL) << i;
    }
}

TEST_F(PnpDouble, PrinterNodeIsTheHighestMatchingAncestor)
{
    TreeFile tree(StandardTree("\\Device\\Unused"));
    CPortDeviceObject port;
    ASSERT_EQ(0, FindPortDevice("USB001", port));
    CDeviceObject node;
    EXPECT_EQ(0, FindPrinterNode(port, kParallelId, kUsbId, node));
    EXPECT_STREQ(kPrinterNodeId, IdOf(node).c_str());
    // Case does not matter; the parallel identifier alone does not match a USB tree.
    EXPECT_EQ(0, FindPrinterNode(port, "nothing-like-it", "vid_0a5f&pid_0d11", node));
    EXPECT_STREQ(kPrinterNodeId, IdOf(node).c_str());
    // An empty identifier is contained in every text: the root is the highest ancestor.
    EXPECT_EQ(0, FindPrinterNode(port, kParallelId, "", node));
    EXPECT_STREQ("HTREE\\ROOT\\0", IdOf(node).c_str());
    EXPECT_EQ(0, FindPrinterNode(port, NULL, NULL, node));
    EXPECT_STREQ("HTREE\\ROOT\\0", IdOf(node).c_str());
    // No ancestor carries either identifier.
    CDeviceObject untouched;
    EXPECT_EQ(ERROR_NOT_FOUND, FindPrinterNode(port, "VXZ_OTHER", "VID_9999", untouched));
    EXPECT_TRUE(untouched.GetCDevInfoSet() == NULL);
    // The parent keeps the set of the device it came from.
    CDeviceObject parent;
    ASSERT_EQ(0, port.GetParent(parent));
    EXPECT_EQ(port.GetCDevInfoSet(), parent.GetCDevInfoSet());
    EXPECT_EQ(0u, parent.GetInfoData()->cbSize);
    EXPECT_STREQ(kPrinterNodeId, IdOf(parent).c_str());
}

TEST_F(PnpDouble, TheLptenumAncestorWinsOverHigherOnes)
{
    TreeFile tree(StandardTree("\\Device\\Unused"));
    CDevInfoSet set;
    ASSERT_EQ(0, set.Open(NULL, NULL, NULL, kAllPresent));
    CDeviceObject dot4;
    ASSERT_TRUE(FindById(set, "DOT4\\VXZLASER_2000\\2&4", dot4));
    CDeviceObject node;
    EXPECT_EQ(0, FindPrinterNode(dot4, kParallelId, kUsbId, node));
    EXPECT_STREQ("LPTENUM\\VXZLASER_2000\\1&3", IdOf(node).c_str());
    // Even with identifiers that match nothing, the enumerator's node is the printer.
    EXPECT_EQ(0, FindPrinterNode(dot4, "VXZ_OTHER", "VID_9999", node));
    EXPECT_STREQ("LPTENUM\\VXZLASER_2000\\1&3", IdOf(node).c_str());
    // Above the LPTENUM node only the port carries the identifier.
    CDeviceObject lpt;
    ASSERT_EQ(0, dot4.GetParent(lpt));
    EXPECT_EQ(0, FindPrinterNode(lpt, kParallelId, "VID_9999", node));
    EXPECT_STREQ("ACPI\\PNP0401\\VXZLASER_2000", IdOf(node).c_str());
}

TEST_F(PnpDouble, TheCardReaderIsFoundOnItsDriveLetter)
{
    vxtest::PrefixDrive drive(DRIVE_REMOVABLE, "/tmp");
    ASSERT_NE(0, drive.Letter()) << "no removable drive could be defined";
    ASSERT_EQ(DRIVE_REMOVABLE, GetDriveTypeA((std::string(1, drive.Letter()) + ":\\").c_str()));
    const std::string sPath = drive.DevicePath();
    ASSERT_FALSE(sPath.empty());

    const bool afVolumeInterface[] = {true, false};  // without one, the disk interface serves
    for (bool fVolumeInterface : afVolumeInterface)
    {
        TreeFile tree(StandardTree(sPath, fVolumeInterface));
        CDeviceObject device;
        ASSERT_EQ(0, device.InitFromDriveLetter(drive.Letter())) << fVolumeInterface;
        EXPECT_STREQ(fVolumeInterface ? "STORAGE\\VOLUME\\1&30A96598&0&SIGNATURE0"
                                      : "USBSTOR\\DISK&VEN_VXZ&PROD_CARD_READER&REV_1.00\\7&2&0",
                     IdOf(device).c_str());
        CVxCiString sPdo;
        EXPECT_EQ(0, device.GetPhysicalDeviceObjectName(sPdo));
        EXPECT_EQ(sPath, ToStd(sPdo));

        char chLetter = '?';
        EXPECT_EQ(0, FindCardDriveLetter("USB001", kParallelId, kUsbId, chLetter)) << fVolumeInterface;
        EXPECT_EQ(drive.Letter(), chLetter);
        // The printer on USB002 has no card reader.
        chLetter = '?';
        EXPECT_EQ(ERROR_NOT_FOUND, FindCardDriveLetter("USB002", kParallelId, "VID_0A5F&PID_0E22", chLetter));
        EXPECT_EQ('?', chLetter);
        EXPECT_EQ(ERROR_NOT_FOUND, FindCardDriveLetter("USB009", kParallelId, kUsbId, chLetter));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, FindCardDriveLetter(NULL, kParallelId, kUsbId, chLetter));
        EXPECT_EQ('?', chLetter);
    }
}

TEST_F(PnpDouble, EmptyTreeAndDevicesWithoutInterfaces)
{
    {
        TreeFile tree("");
        Visits visits;
        EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, kAllPresent, kSystemClass));
        EXPECT_TRUE(visits.ids.empty());
        CPortDeviceObject device;
        EXPECT_EQ(ERROR_NOT_FOUND, FindPortDevice("USB001", device));
        char chLetter = '?';
        EXPECT_EQ(ERROR_NOT_FOUND, FindCardDriveLetter("USB001", kParallelId, kUsbId, chLetter));
        CDeviceObject drive;
        EXPECT_EQ(ERROR_NOT_FOUND, drive.InitFromDriveLetter('c'));
        CDevInfoSet set;
        ASSERT_EQ(0, set.OpenPresent(kUsbClass));
        EXPECT_EQ(ERROR_NO_MORE_DEVICES, set.NextDevice(device));
        EXPECT_EQ(ERROR_NOT_FOUND, set.FindByPhysicalName("\\Device\\USBPDO-7", device));
    }
    TreeFile tree(StandardTree("\\Device\\Unused"));
    CDevInfoSet set;
    ASSERT_EQ(0, set.OpenPresentInterfaces(kUsbPrintInterface));
    CDeviceObject device;
    ASSERT_EQ(0, set.NextDevice(device));
    CDeviceInterface deviceInterface;
    EXPECT_EQ(0, device.GetFirstInterface(deviceInterface));
    EXPECT_EQ(&set, deviceInterface.GetCDevInfoSet());
    EXPECT_TRUE(IsEqualGUID(kUsbPrintInterface, deviceInterface.GetInterfaceData()->InterfaceClassGuid));
    HKEY hKey = NULL;
    ASSERT_EQ(0, deviceInterface.OpenRegKey(KEY_READ, &hKey));
    RegCloseKey(hKey);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, deviceInterface.OpenRegKey(KEY_READ, NULL));
    // The composite device above it exposes no interface of the class.
    CDeviceObject composite;
    ASSERT_EQ(0, device.GetParent(composite));
    CDeviceInterface none;
    EXPECT_NE(0, composite.GetFirstInterface(none));
    EXPECT_TRUE(none.GetCDevInfoSet() == NULL);
    // A bare device record names no device node.
    CVxCiString sId("kept");
    EXPECT_EQ(static_cast<long>(CR_INVALID_DEVNODE), CDeviceObject().GetDeviceInstanceID(sId));
    EXPECT_STREQ("kept", sId.c_str());
}

TEST_F(PnpDouble, ForAllDevicesWalksTheTreeAndStops)
{
    TreeFile tree(StandardTree("\\Device\\Unused"));
    Visits visits;
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, kAllPresent, kSystemClass));
    ASSERT_EQ(13u, visits.ids.size());
    EXPECT_EQ("HTREE\\ROOT\\0", visits.ids[0]);
    EXPECT_EQ("DOT4\\VXZLASER_2000\\2&4", visits.ids[12]);
    visits = Visits();
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, DIGCF_PRESENT, kUsbClass));
    EXPECT_EQ(6u, visits.ids.size());
    visits = Visits();
    visits.nStopAfter = 1;
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, DIGCF_PRESENT, kUsbClass));
    EXPECT_EQ(std::vector<std::string>(1, "USB\\ROOT_HUB\\4&2DA2D7D&0"), visits.ids);
    visits = Visits();
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, kUsbPrintInterface));
    EXPECT_EQ(2u, visits.ids.size());
}

unsigned int KeepDevice(CDeviceObject& device, void* pUser1, void*, void*)
{
    *static_cast<CDeviceObject*>(pUser1) = device;
    return 0;
}

TEST_F(PnpDouble, ADeviceKeptFromTheWalkStaysUsable)
{
    TreeFile tree(StandardTree("\\Device\\Unused"));
    CDeviceObject kept;
    EXPECT_EQ(1u, ForAllDevices(KeepDevice, &kept, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, kUsbPrintInterface));
    CVxCiString sName;
    EXPECT_EQ(0, kept.GetRegistryProperty(SPDRP_FRIENDLYNAME, sName));
    EXPECT_STREQ("USB Printing Support", sName.c_str());
}

TEST_F(PnpDouble, RegistryPropertiesOfTheSetupApi)
{
    TreeFile tree(StandardTree("\\Device\\Unused") +
                  "node|quirk|-|{4D36E97D-E325-11CE-BFC1-08002BE10318}|ROOT\\QUIRK\\0\n"
                  "prop|12|sz122|Reported short\n");
    CDevInfoSet set;
    ASSERT_EQ(0, set.Open(NULL, NULL, NULL, kAllPresent));
    CDeviceObject printer;
    ASSERT_TRUE(FindById(set, "USB\\VID_0A5F&PID_0D11&MI_00\\6&1&0", printer));

    CVxCiString sValue;
    EXPECT_EQ(0, printer.GetRegistryProperty(SPDRP_HARDWAREID, sValue));
    std::string sExpected = "USB\\VID_0A5F&PID_0D11&REV_0100&MI_00";
    sExpected += '\0';
    sExpected += "USB\\VID_0A5F&PID_0D11&MI_00";
    EXPECT_EQ(sExpected, ToStd(sValue));
    sValue = "kept";
    EXPECT_EQ(ERROR_INVALID_DATA, printer.GetRegistryProperty(SPDRP_MFG, sValue));  // not present
    EXPECT_STREQ("kept", sValue.c_str());
    EXPECT_EQ(ERROR_INVALID_REG_PROPERTY, printer.GetRegistryProperty(SPDRP_MAXIMUM_PROPERTY, sValue));
    EXPECT_EQ(ERROR_INVALID_REG_PROPERTY, printer.GetRegistryProperty(0xFFFFFFFF, sValue));

    // A failure for want of room counts as success when the given size was enough.
    CDeviceObject quirk;
    ASSERT_TRUE(FindById(set, "ROOT\\QUIRK\\0", quirk));
    char szBuffer[32];
    std::memset(szBuffer, 0xcc, sizeof(szBuffer));
    DWORD cbRequired = 0;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, quirk.GetRegistryProperty(SPDRP_FRIENDLYNAME, NULL, reinterpret_cast<BYTE*>(szBuffer), 15,
                                           &cbRequired));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(15u, cbRequired);
    EXPECT_STREQ("Reported short", szBuffer);
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, quirk.GetRegistryProperty(SPDRP_FRIENDLYNAME, NULL,
                                                                  reinterpret_cast<BYTE*>(szBuffer), 14, &cbRequired));
    EXPECT_EQ(0, quirk.GetRegistryProperty(SPDRP_FRIENDLYNAME, sValue));
    EXPECT_STREQ("Reported short", sValue.c_str());
}

TEST_F(PnpDouble, FindByPhysicalNameStepsPastTheNamelessAndIgnoresCase)
{
    TreeFile tree(StandardTree("\\Device\\Harddisk1"));
    CDevInfoSet set;
    CDeviceObject device;
    ASSERT_EQ(0, set.Open(NULL, NULL, NULL, kAllPresent));
    ASSERT_EQ(0, set.FindByPhysicalName("\\device\\usbpdo-7", device));
    EXPECT_STREQ("USB\\VID_0A5F&PID_0D11&MI_00\\6&1&0", IdOf(device).c_str());
    // The search goes on from there: the disk and the volume share a name.
    ASSERT_EQ(0, set.FindByPhysicalName("\\Device\\Harddisk1", device));
    EXPECT_STREQ("USBSTOR\\DISK&VEN_VXZ&PROD_CARD_READER&REV_1.00\\7&2&0", IdOf(device).c_str());
    ASSERT_EQ(0, set.FindByPhysicalName("\\Device\\Harddisk1", device));
    EXPECT_STREQ("STORAGE\\VOLUME\\1&30A96598&0&SIGNATURE0", IdOf(device).c_str());
    EXPECT_EQ(ERROR_NOT_FOUND, set.FindByPhysicalName("\\Device\\Harddisk1", device));
    EXPECT_STREQ("STORAGE\\VOLUME\\1&30A96598&0&SIGNATURE0", IdOf(device).c_str());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, set.FindByPhysicalName(NULL, device));
}

// ---- the stand-in as Windows 98 -----------------------------------------------------------

class PnpDouble9x : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(DoubleLoaded());
        ASSERT_EQ("win98", vxtest::WineRelease());
    }
    vxtest::HklmRedirect m_hklm;
};

TEST_F(PnpDouble9x, TheCardReaderIsFoundThroughItsDriveLetterAssignment)
{
    vxtest::PrefixDrive drive(DRIVE_REMOVABLE, "/tmp");
    ASSERT_NE(0, drive.Letter());
    TreeFile tree(StandardTree("\\Device\\Unused") +
                  "node|fixed|root|{4D36E967-E325-11CE-BFC1-08002BE10318}|ESDI\\GENERIC_IDE_DISK\\0\n"
                  "node|unassigned|root|{4D36E967-E325-11CE-BFC1-08002BE10318}|SCSI\\NO_LETTER\\0\n");
    ASSERT_TRUE(SetEnumValue("ESDI\\GENERIC_IDE_DISK\\0", "CurrentDriveLetterAssignment", REG_SZ, std::string("C\0", 2)));
    ASSERT_TRUE(SetEnumValue("USBSTOR\\DISK&VEN_VXZ&PROD_CARD_READER&REV_1.00\\7&2&0", "CurrentDriveLetterAssignment", REG_SZ,
                 std::string(1, static_cast<char>(std::toupper(drive.Letter()))) + '\0'));

    CDeviceObject device;
    ASSERT_EQ(0, device.InitFromDriveLetter(drive.Letter()));  // lower case matches the upper-case value
    EXPECT_STREQ("USBSTOR\\DISK&VEN_VXZ&PROD_CARD_READER&REV_1.00\\7&2&0", IdOf(device).c_str());
    char chLetter = 0;
    EXPECT_EQ(0, device.GetDriveLetter(chLetter));
    EXPECT_EQ(std::toupper(drive.Letter()), chLetter);
    ASSERT_EQ(0, device.InitFromDriveLetter('C'));
    EXPECT_STREQ("ESDI\\GENERIC_IDE_DISK\\0", IdOf(device).c_str());
    EXPECT_EQ(ERROR_NOT_FOUND, device.InitFromDriveLetter('Q'));

    chLetter = '?';
    EXPECT_EQ(0, FindCardDriveLetter("USB001", kParallelId, kUsbId, chLetter));
    EXPECT_EQ(drive.Letter(), chLetter);
}

TEST_F(PnpDouble9x, PropertiesWithoutAnInstanceIdReadEmpty)
{
    CDeviceObject bare;  // names no device node, so its identifier cannot be read
    BYTE abBuffer[6];
    std::memset(abBuffer, 0xcc, sizeof(abBuffer));
    DWORD cbRequired = 0xdeadbeef;
    EXPECT_EQ(0, bare.GetRegistryProperty(SPDRP_DEVICEDESC, NULL, abBuffer, 4, &cbRequired));
    EXPECT_EQ(0u, cbRequired);
    EXPECT_EQ(0, abBuffer[3]);
    EXPECT_EQ(0xcc, abBuffer[4]);
    // ... but an index without a value name is still refused.
    EXPECT_EQ(ERROR_INVALID_DATA, bare.GetRegistryProperty(5, NULL, abBuffer, 4, &cbRequired));
    char chLetter = '?';
    EXPECT_NE(0, bare.GetDriveLetter(chLetter));
    EXPECT_EQ('?', chLetter);
}

// ---- libraries that cannot be loaded ------------------------------------------------------

TEST(PnpNoCfgMgr, ConfigurationManagerOperationsAreNotSupported)
{
    const CDeviceFunctions& f = BindDeviceFunctions();
    ASSERT_TRUE(f.hCfgMgr32 == NULL) << "run with WINEDLLOVERRIDES=cfgmgr32=d";
    EXPECT_TRUE(f.pfnCM_Get_Parent == NULL);
    EXPECT_TRUE(f.hSetupApi != NULL);

    CDevInfoSet set;
    ASSERT_EQ(0, set.OpenPresent(kSystemClass));  // the Setup API still serves
    CDeviceObject device;
    ASSERT_EQ(0, set.NextDevice(device));
    CVxCiString sId("kept");
    EXPECT_EQ(ERROR_NOT_SUPPORTED, device.GetDeviceInstanceID(sId));
    EXPECT_STREQ("kept", sId.c_str());
    CDeviceObject parent;
    EXPECT_EQ(ERROR_NOT_SUPPORTED, device.GetParent(parent));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, FindPrinterNode(device, kParallelId, kUsbId, parent));
    Visits visits;
    EXPECT_EQ(1u, ForAllDevices(Record, &visits, NULL, NULL, kAllPresent, kSystemClass));
    EXPECT_FALSE(visits.ids.empty());
}

TEST(PnpNoSetupApi, SetOperationsAreNotSupported)
{
    const CDeviceFunctions& f = BindDeviceFunctions();
    ASSERT_TRUE(f.hSetupApi == NULL) << "run with WINEDLLOVERRIDES=setupapi=d";
    EXPECT_TRUE(f.pfnSetupDiGetClassDevsA == NULL);
    EXPECT_TRUE(f.hKernel32 != NULL);

    CDevInfoSet set;
    EXPECT_EQ(ERROR_NOT_SUPPORTED, set.OpenPresent(kSystemClass));
    EXPECT_FALSE(set.IsOpen());
    Visits visits;
    EXPECT_EQ(0u, ForAllDevices(Record, &visits, NULL, NULL, kAllPresent, kSystemClass));
    EXPECT_TRUE(visits.ids.empty());
    CPortDeviceObject device;
    EXPECT_EQ(ERROR_NOT_SUPPORTED, FindPortDevice("USB001", device));
    char chLetter = '?';
    EXPECT_EQ(ERROR_NOT_SUPPORTED, FindCardDriveLetter("USB001", kParallelId, kUsbId, chLetter));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, device.InitFromDriveLetter('c'));
}

}  // namespace
