// CPort: name rules, address, monitor lookup through the spooler, file versions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "infrastructure/error_codes.h"
#include "infrastructure/os_version.h"
#include "infrastructure/pnp_devices.h"
#include "infrastructure/port.h"
#include "support/test_support.h"

namespace
{

// Opens the protected members to the tests.
class CTestPort : public CPort
{
public:
    using CPort::GetPortInfo;
    using CPort::IsVersionOK;
    using CPort::ReleasePortInfo;
};

CPort MakePort(const char* pszName)
{
    CPort port;
    EXPECT_EQ(ERR_NOERROR, port.Init(pszName)) << pszName;
    return port;
}

}  // namespace

TEST(PortInit, NameLengthLimits)
{
    struct Case
    {
        size_t cch;
        long lExpected;
    };
    const Case kCases[] = {{0, ERR_NOERROR}, {1, ERR_NOERROR}, {259, ERR_NOERROR}, {260, ERR_BADPARAMETER},
                           {300, ERR_BADPARAMETER}};
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        CPort port;
        ASSERT_EQ(ERR_NOERROR, port.Init("LPT1:"));
        const std::string sName(kCases[i].cch, 'P');
        EXPECT_EQ(kCases[i].lExpected, port.Init(sName.c_str())) << "case " << i;
        const std::string sExpected = kCases[i].lExpected == ERR_NOERROR ? sName : "LPT1:";
        EXPECT_EQ(sExpected, port.GetATemporalNamePtr()) << "case " << i;
    }
}

TEST(PortInit, NullNameIsInvalidPointer)
{
    CPort port;
    ASSERT_EQ(ERR_NOERROR, port.Init("USB001"));
    EXPECT_EQ(ERR_INVALIDPOINTER, port.Init(NULL));
    EXPECT_STREQ("USB001", port.GetATemporalNamePtr());
}

TEST(PortCopy, CopiesTheName)
{
    CPort port = MakePort("DOT4_001");
    CPort copy(port);
    EXPECT_STREQ("DOT4_001", copy.GetATemporalNamePtr());
    CPort assigned = MakePort("LPT2:");
    assigned = port;
    EXPECT_STREQ("DOT4_001", assigned.GetATemporalNamePtr());
    EXPECT_EQ(1u, assigned.IsSupported());
}

TEST(PortAddress, RulesInOrder)
{
    struct Case
    {
        const char* pszName;
        unsigned long ulSize;
        long lExpected;
    };
    const Case kCases[] = {
        {"LPT1:", 6, ERR_NOERROR},
        {"LPT1:", 5, ERR_BUFFEROVERFLOW},
        {"LPT1:", 0, ERR_BADPARAMETER},
        {"", 16, ERR_UNKNOWN},
        {"USB001", 16, ERR_UNKNOWN},
        {"COM1:", 16, ERR_PORTNOTSUPPORTED},
        {"COM4:", 16, ERR_PORTNOTSUPPORTED},
        {"COM5:", 16, ERR_UNKNOWN},
        {"FILE:", 16, ERR_PORTNOTSUPPORTED},
        {"file:", 16, ERR_UNKNOWN},              // exact case
        {"FILE:C:\\out.prn", 16, ERR_NOERROR},   // redirected to a file
        {"lpt1:", 16, ERR_UNKNOWN},              // exact case
        {"DOT4_001", 9, ERR_NOERROR},
        {"DOT4_001", 8, ERR_BUFFEROVERFLOW},
        {"Net:DOT4_002", 16, ERR_NOERROR},       // DOT4_ anywhere
        {"dot4_001", 16, ERR_UNKNOWN},
        {"\\\\SRV\\Laser", 16, ERR_UNKNOWN},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const Case& c = kCases[i];
        const CPort port = MakePort(c.pszName);
        char szBuffer[32];
        std::memset(szBuffer, 0xcc, sizeof(szBuffer));
        EXPECT_EQ(c.lExpected, port.GetAddress(szBuffer, c.ulSize)) << "case " << i << " " << c.pszName;
        if (c.lExpected == ERR_NOERROR)
        {
            EXPECT_STREQ(c.pszName, szBuffer) << "case " << i;
            EXPECT_EQ(static_cast<char>(0xcc), szBuffer[std::strlen(c.pszName) + 1]) << "case " << i;
        }
        else
        {
            EXPECT_EQ(static_cast<char>(0xcc), szBuffer[0]) << "case " << i << ": buffer touched on failure";
        }
    }
}

TEST(PortAddress, NullBufferIsInvalidPointer)
{
    const CPort port = MakePort("LPT1:");
    EXPECT_EQ(ERR_INVALIDPOINTER, port.GetAddress(NULL, 6));
    EXPECT_EQ(ERR_INVALIDPOINTER, port.GetAddress(NULL, 0));
}

TEST(PortAddress, LongestNameFitsExactly)
{
    const std::string sName = "LPT" + std::string(256, '9');  // 259 characters
    const CPort port = MakePort(sName.c_str());
    char szBuffer[CPort::kNameSize + 1];
    std::memset(szBuffer, 0xcc, sizeof(szBuffer));
    EXPECT_EQ(ERR_BUFFEROVERFLOW, port.GetAddress(szBuffer, 259));
    EXPECT_EQ(static_cast<char>(0xcc), szBuffer[0]);
    EXPECT_EQ(ERR_NOERROR, port.GetAddress(szBuffer, 260));
    EXPECT_EQ(sName, szBuffer);
    EXPECT_EQ(static_cast<char>(0xcc), szBuffer[260]);
}

TEST(PortNumber, SizeAndCopy)
{
    const CPort port = MakePort("LPT1:");
    EXPECT_EQ(6u, port.GetPortNumber(NULL));
    char szBuffer[16];
    std::memset(szBuffer, 0xcc, sizeof(szBuffer));
    EXPECT_EQ(6u, port.GetPortNumber(szBuffer));
    EXPECT_STREQ("LPT1:", szBuffer);
    EXPECT_EQ(static_cast<char>(0xcc), szBuffer[6]);

    CPort empty;
    std::memset(szBuffer, 0xcc, sizeof(szBuffer));
    EXPECT_EQ(0u, empty.GetPortNumber(szBuffer));
    EXPECT_EQ(static_cast<char>(0xcc), szBuffer[0]);
}

TEST(PortClass, NameRules)
{
    struct Case
    {
        const char* pszName;
        unsigned uSupported, uNoIO, uFileConnected, uDirect;
    };
    // No persistent network connection exists in the redirected user key.
    vxtest::RegistryRedirect hkcu(HKEY_CURRENT_USER);
    const Case kCases[] = {
        {"usb001", 1, 0, 0, 1},       {"USB001", 1, 0, 0, 1},     {"dot4_001", 1, 0, 0, 1},
        {"DOT4001", 0, 0, 0, 1},      {"LPT1:", 0, 0, 0, 1},      {"lpt9:", 0, 0, 0, 1},
        {"LPT10:", 0, 0, 0, 0},       {"LPTA:", 0, 0, 0, 0},      {"LPT1", 0, 0, 0, 0},
        {"FILE:", 0, 1, 1, 0},        {"FILEX", 0, 0, 1, 0},      {"file:", 0, 0, 0, 0},
        {"\\USB001", 0, 0, 0, 0},     {"\\\\SRV\\DOT4_001", 0, 0, 0, 0},
        {"COM1:", 0, 0, 0, 0},        {"", 0, 0, 0, 0},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const Case& c = kCases[i];
        const CPort port = MakePort(c.pszName);
        EXPECT_EQ(c.uSupported, port.IsSupported()) << "case " << i << " " << c.pszName;
        EXPECT_EQ(c.uNoIO, port.IsNoIO()) << "case " << i;
        EXPECT_EQ(c.uNoIO, CPort::IsNoIO(c.pszName)) << "case " << i;
        EXPECT_EQ(c.uFileConnected, port.IsFILEConnected()) << "case " << i;
        EXPECT_EQ(c.uDirect, port.IsDirectConnect()) << "case " << i;
        EXPECT_EQ(c.uDirect, CPort::IsDirectConnect(c.pszName)) << "case " << i;
        EXPECT_EQ(0u, port.IsFakeIO()) << "case " << i;
        EXPECT_EQ(0u, CPort::IsFakeIO(c.pszName)) << "case " << i;
        EXPECT_EQ(0u, port.IsUNC()) << "case " << i;
    }
    EXPECT_EQ(0u, CPort::IsDirectConnect(NULL));
    EXPECT_EQ(0u, CPort::IsNoIO(NULL));
    EXPECT_EQ(0u, CPort::IsFakeIO(NULL));
}

TEST(PortClass, ParallelPortMappedToNetworkIsNotDirect)
{
    vxtest::RegistryRedirect hkcu(HKEY_CURRENT_USER);
    ASSERT_TRUE(hkcu.Key() != NULL);
    ASSERT_TRUE(vxtest::WriteRegistryString("Network\\Persistent\\LPT1", "RemotePath", "\\\\SRV\\Laser", HKEY_CURRENT_USER));
    // The key alone, without the value, is no redirection.
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Network\\Persistent\\LPT2", 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &hKey, NULL));
    RegCloseKey(hKey);

    EXPECT_EQ(0u, CPort::IsDirectConnect("LPT1:"));
    EXPECT_EQ(0u, CPort::IsDirectConnect("lpt1:"));
    EXPECT_EQ(0u, MakePort("LPT1:").IsDirectConnect());
    EXPECT_EQ(1u, CPort::IsDirectConnect("LPT2:"));
    EXPECT_EQ(1u, CPort::IsDirectConnect("LPT3:"));
    EXPECT_EQ(0u, CPort::IsDirectConnect("LPT10:"));  // six characters: rule of DOT4/USB
}

TEST(PortIrLpt, NtFamilyComparesWithIR)
{
    if (Is9X()) GTEST_SKIP() << "Windows 9x reads the name from the registry";
    struct Case
    {
        const char* pszName;
        unsigned uExpected;
    };
    const Case kCases[] = {{"IR", 1}, {"ir", 1}, {"IRLPT1", 1}, {"I", 1}, {"", 1},
                           {"LPT1:", 0}, {"USB001", 0}, {"XIR", 0}};
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
        EXPECT_EQ(kCases[i].uExpected, MakePort(kCases[i].pszName).IsIrLPT()) << "case " << i << " "
                                                                              << kCases[i].pszName;
}

TEST(PortIrLpt, Windows9xReadsVirtualLptPortName)
{
    if (!Is9X()) GTEST_SKIP() << "Windows 9x only";
    vxtest::HklmRedirect hklm;
    ASSERT_TRUE(hklm.Key() != NULL);
    // No infrared key: never infrared, not even "IR".
    EXPECT_EQ(0u, MakePort("IR").IsIrLPT());

    ASSERT_TRUE(vxtest::WriteRegistryString("Enum\\INFRARED\\VirtualPorts", "Other", "x"));
    EXPECT_EQ(0u, MakePort("LPT3:").IsIrLPT()) << "key without the value";

    ASSERT_TRUE(vxtest::WriteRegistryString("Enum\\INFRARED\\VirtualPorts", "VirtualLptPortName", "LPT3"));
    EXPECT_EQ(1u, MakePort("LPT3:").IsIrLPT());
    EXPECT_EQ(1u, MakePort("lpt3").IsIrLPT());
    EXPECT_EQ(1u, MakePort("LPT").IsIrLPT());  // the shorter length counts
    EXPECT_EQ(0u, MakePort("LPT1:").IsIrLPT());
    EXPECT_EQ(0u, MakePort("IR").IsIrLPT());

    // Nine characters fit; ten do not and count as unreadable.
    ASSERT_TRUE(
        vxtest::WriteRegistryString("Enum\\INFRARED\\VirtualPorts", "VirtualLptPortName", "IRPORT123"));
    EXPECT_EQ(1u, MakePort("IRPORT123").IsIrLPT());
    ASSERT_TRUE(
        vxtest::WriteRegistryString("Enum\\INFRARED\\VirtualPorts", "VirtualLptPortName", "IRPORT1234"));
    EXPECT_EQ(0u, MakePort("IRPORT1234").IsIrLPT());
}

TEST(PortInfo, MonitorOfListedPort)
{
    CTestPort port;
    ASSERT_EQ(ERR_NOERROR, port.Init("LPT1:"));
    char* pszMonitor = port.GetPortInfo();
    ASSERT_TRUE(pszMonitor != NULL);
    EXPECT_STREQ("Local Monitor", pszMonitor);
    port.ReleasePortInfo(pszMonitor);
    port.ReleasePortInfo(NULL);
}

TEST(PortInfo, UnknownPortsHaveNoMonitor)
{
    const char* const kNames[] = {"lpt1:", "LPT1", "NOPORT_9:", "", "\\\\SRV\\Laser"};
    for (size_t i = 0; i < sizeof(kNames) / sizeof(kNames[0]); ++i)
    {
        CTestPort port;
        ASSERT_EQ(ERR_NOERROR, port.Init(kNames[i]));
        char* pszMonitor = port.GetPortInfo();
        EXPECT_TRUE(pszMonitor == NULL) << "case " << i << " " << kNames[i] << ": " << pszMonitor;
        port.ReleasePortInfo(pszMonitor);
    }
}

TEST(PortVersion, AgainstKernelVersionResource)
{
    char szSystem[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(szSystem, sizeof(szSystem)));
    const std::string sFile = std::string(szSystem) + "\\kernel32.dll";
    DWORD dwHandle = 0;
    const DWORD cb = GetFileVersionInfoSizeA(sFile.c_str(), &dwHandle);
    ASSERT_NE(0u, cb);
    std::string info(cb, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(sFile.c_str(), 0, cb, &info[0]));
    VS_FIXEDFILEINFO* pFixed = NULL;
    UINT cbFixed = 0;
    char szRoot[] = "\\";
    ASSERT_TRUE(VerQueryValueA(&info[0], szRoot, reinterpret_cast<void**>(&pFixed), &cbFixed));
    const LONGLONG llProduct =
        static_cast<LONGLONG>((static_cast<ULONGLONG>(pFixed->dwProductVersionMS) << 32) | pFixed->dwProductVersionLS);
    const LONGLONG llFile =
        static_cast<LONGLONG>((static_cast<ULONGLONG>(pFixed->dwFileVersionMS) << 32) | pFixed->dwFileVersionLS);
    ASSERT_GT(llProduct, 1);
    ASSERT_GT(llFile, 1);

    CTestPort port;
    struct Case
    {
        LONGLONG llMinProduct, llMinFile;
        unsigned uExpected;
    };
    const Case kCases[] = {
        {llProduct, llFile, 1},     {llProduct - 1, llFile - 1, 1}, {llProduct + 1, llFile, 0},
        {llProduct, llFile + 1, 0}, {0, llFile, 0},                 {llProduct, 0, 0},
        {-1, -1, 1},                // signed comparison: any version reaches a negative minimum
        {static_cast<LONGLONG>(0x0001000000000000LL) * 0x7fff, llFile, 0},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
        EXPECT_EQ(kCases[i].uExpected, port.IsVersionOK(sFile.c_str(), kCases[i].llMinProduct, kCases[i].llMinFile))
            << "case " << i;
}

TEST(PortVersion, NoResourceNoFileNoName)
{
    CTestPort port;
    EXPECT_EQ(0u, port.IsVersionOK(NULL, 1, 1));
    EXPECT_EQ(0u, port.IsVersionOK("C:\\no\\such\\file.dll", 1, 1));
    vxtest::ScratchDir dir("port");
    const std::string sPlain = dir.File("plain.dll");
    ASSERT_TRUE(vxtest::WriteFileBytes(sPlain, "not a module"));
    EXPECT_EQ(0u, port.IsVersionOK(sPlain.c_str(), 1, 1));
}

TEST(PortDevice, NoUsbPrintingPortIsNotFound)
{
    // Wine has no USB printing port devices, so every name is unmatched.
    const CPort port = MakePort("USB001");
    CPortDeviceObject device;
    EXPECT_EQ(static_cast<long>(ERROR_NOT_FOUND), port.GetDevice(device));
    CVxCiString sId = "untouched";
    EXPECT_EQ(static_cast<long>(ERROR_NOT_FOUND), port.GetDeviceInstanceID(sId));
    EXPECT_EQ(CVxCiString("untouched"), sId);
}
