#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/media_checks.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

namespace
{

using vxtest::ModulePath;
using vxtest::WindowsDirectory;
using vxtest::DirectoryOf;

const char kSentinel = static_cast<char>(0xcc);

// Three letters of this process's own, so parallel runs name different installed files.
std::string UniqueDivision()
{
    DWORD dw = GetCurrentProcessId();
    std::string s;
    for (int i = 0; i < 3; ++i, dw /= 26) s += static_cast<char>('a' + dw % 26);
    return s;
}

// '@' in a case's text stands for the case's own letter after the division.
std::string Substituted(std::string s, const std::string& sCase)
{
    for (size_t i = s.find('@'); i != std::string::npos; i = s.find('@', i)) s.replace(i, 1, sCase);
    return s;
}

}  // namespace

TEST(GetAutorunInfPath, RelativePartIsResolved)
{
    const struct
    {
        const char* pszModule;
        const char* pszRelative;
        const char* pszExpected;
    } kCases[] = {
        {"Z:\\medium\\bin\\win\\prog.exe", "\\..\\..\\", "Z:\\medium\\autorun.inf"},
        {"Z:\\medium\\bin\\win\\prog.exe", "\\..\\", "Z:\\medium\\bin\\autorun.inf"},
        {"Z:\\medium\\prog.exe", "\\", "Z:\\medium\\autorun.inf"},
        {"C:\\prog.exe", "\\..\\..\\", "C:\\autorun.inf"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        CVxCiString sPath;
        EXPECT_EQ(1u, GetAutorunInfPathForModule(kCases[i].pszModule, sPath, kCases[i].pszRelative)) << i;
        EXPECT_EQ(std::string(kCases[i].pszExpected), ToStd(sPath)) << i;
    }
    vxtest::TraceCapture trace;
    CVxCiString sPath("untouched");
    EXPECT_EQ(0u, GetAutorunInfPathForModule("prog.exe", sPath, "\\..\\"));
    EXPECT_EQ(1u, trace.Count("GetDirectoryNameFromPath failed"));
}

TEST(GetAutorunInfPath, FromTheProgramsOwnFolder)
{
    CVxCiString sPath;
    ASSERT_EQ(1u, GetAutorunInfPath(sPath, "\\..\\..\\"));
    EXPECT_EQ(DirectoryOf(DirectoryOf(DirectoryOf(ModulePath()))) + "\\autorun.inf", ToStd(sPath));
}

TEST(GetAutorunInfPath, InstalledDataFileOfTheSameDriverVersion)
{
    vxtest::ScratchDir dir("mcauto");
    const std::string sDivision = UniqueDivision();
    const std::string sWindows = WindowsDirectory();
    const std::string sLanguage = [] {
        char sz[16];
        std::snprintf(sz, sizeof(sz), "%X", GetSystemDefaultLangID());
        return std::string(sz);
    }();
    struct InstalledCase
    {
        std::string sMedium;
        std::string sInstalledName;  // empty: none
        std::string sInstalled;
        bool fInstalledChosen;
    };
    // Every case has a medium and a division of its own: the cache does not check files under
    // the Windows directory again once read, so no installed name is used twice.
    const InstalledCase kCases[] = {
        {"[Version]\nDIVISION=" + sDivision + "@\n" + "VER_OVA=7\nDriverVer=1.0a\n", sDivision + "@ins07.dat", "[Version]\nDriverVer=1.0a\n", true},
        {"[Version]\nDIVISION=" + sDivision + "@\n" + "VER_OVA=7\nDriverVer=1.0a\n", sDivision + "@ins07.dat", "[Version]\nDriverVer=1.0A\n", false},
        {"[Version]\nDIVISION=" + sDivision + "@\n" + "COEXIST_RELEASE_NUM=123\nVER_OVA=7\nDriverVer=2\n", sDivision + "@ins123.dat",
         "[Version]\nDriverVer=2\n", true},
        {"[Version]\nDIVISION=" + sDivision + "@\n" + "COEXIST_RELEASE_NUM=123\nVER_OVA=7\nDriverVer=2\n", sDivision + "@ins07.dat",
         "[Version]\nDriverVer=2\n", false},
        {"[Version]\nVER_OVA=7\nDriverVer=1\n", "ins07.dat", "[Version]\nDriverVer=1\n", false},
        {"[Version]\nDIVISION=" + sDivision + "@\n" + "DriverVer=1\n", sDivision + "@ins00.dat", "[Version]\nDriverVer=1\n", false},
        {"[Version]\nDIVISION=" + sDivision + "@\n" + "VER_OVA=7\nDriverVer=1\n", "", "", false},
        {"[Version]\nDIVISION=" + sDivision + "@\n" + "VER_OVA=7\nDriverVer=1\n", sDivision + "@ins07.dat", "[Version]\nOther=1\n", false},
        {"[Version]\nDIVISION=" + sDivision + "@\n" + "VER_OVA=7\n", sDivision + "@ins07.dat", "[Version]\nDriverVer=\n", false},
        // Language-qualified "Version" sections come first, on both files.
        {"[Version]\nDIVISION=zzz\n[Version.0x" + sLanguage + "]\nDIVISION=" + sDivision +
             "@\nVER_OVA=7\nDriverVer=3\n",
         sDivision + "@ins07.dat", "[Version]\nDriverVer=1\n[Version.0x" + sLanguage + "]\nDriverVer=3\n", true},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const std::string sCase = i == 0 ? std::string() : std::string(1, static_cast<char>('a' + i));
        const InstalledCase& c = kCases[i];
        const std::string sCaseDir = dir.File("case" + std::to_string(i));
        CreateDirectoryA(sCaseDir.c_str(), NULL);
        const std::string sProgram = sCaseDir + "\\bin\\win\\prog.exe";
        const std::string sMedium = sCaseDir + "\\autorun.inf";
        ASSERT_TRUE(vxtest::WriteFileBytes(sMedium, Substituted(c.sMedium, sCase))) << i;
        const std::string sInstalled = sWindows + "\\" + Substituted(c.sInstalledName, sCase);
        if (!c.sInstalledName.empty())
        {
            ASSERT_TRUE(vxtest::WriteFileBytes(sInstalled, c.sInstalled)) << i;
        }
        vxtest::TraceCapture trace;
        CVxCiString sPath;
        const unsigned uResult = GetAutorunInfPathForModule(sProgram.c_str(), sPath, "\\..\\..\\");
        if (!c.sInstalledName.empty()) DeleteFileA(sInstalled.c_str());
        EXPECT_EQ(1u, uResult) << i;
        EXPECT_EQ(c.fInstalledChosen ? sInstalled : sMedium, ToStd(sPath)) << i;
        if (c.fInstalledChosen)
        {
            EXPECT_EQ(1u, trace.Count("looking for " + sInstalled + " in windows folder")) << i;
        }
    }
}

namespace
{

struct InstalledSoftwareCase
{
    const char* pszDataFile;
    const char* pszGuidArgument;
    const char* pszKeyManufacturer;  // null: no "Installed Products" key
    const char* pszValue;            // null: the key holds no value
    unsigned uExpected;
    const char* pszTrace;
};

const InstalledSoftwareCase kInstalledSoftware[] = {
    {"[Version]\nRegistryManufacturer=Acme\nManufacturer=Other\nCDGuid={G1}\n", "", "Acme", "{G1}", 1,
     "IsDriverSetAlreadyInstalled returns Win32 error =0"},
    {"[Version]\nRegistryManufacturer=Acme\nManufacturer=Other\nCDGuid={G1}\n", "", "Other", "{G1}", 0,
     "IsDriverSetAlreadyInstalled returns Win32 error =2"},
    {"[Version]\nManufacturer=Other\nCDGuid={G1}\n", "", "Other", "{G1}", 1, NULL},
    {"[Version]\nCDGuid={G1}\n", "", "Quorvane", "{G1}", 1, NULL},
    {"[Version]\nCDGuid={G1}\n", "{G2}", "Quorvane", "{G2}", 1, NULL},
    {"[Version]\nCDGuid={G1}\n", "{G2}", "Quorvane", "{G1}", 0, "IsDriverSetAlreadyInstalled returns Win32 error =2"},
    {"[Version]\nCDGuid={G1}\n", "", "Quorvane", NULL, 0, "IsDriverSetAlreadyInstalled returns Win32 error =2"},
    {"[Version]\n", "", "Quorvane", "{G1}", 0, "Missing CDGuid in autotun.inf\n failed"},
    {"[Version]\nCDGuid=\n", "", "Quorvane", "{G1}", 0, "Missing CDGuid in autotun.inf\n failed"},
    {"[Version]\nCDGuid={G1}\n", "", NULL, NULL, 0, "IsDriverSetAlreadyInstalled returns Win32 error =2"},
    {"[Version.0x409]\nRegistryManufacturer=Lang\n[Version]\nRegistryManufacturer=Plain\nCDGuid={G1}\n", "",
     "Lang", "{G1}", 1, NULL},
};

}  // namespace

TEST(IsDriverSetAlreadyInstalled, ManufacturerKeyAndGuidValue)
{
    vxtest::ScratchDir dir("mcinst");
    for (size_t i = 0; i < sizeof(kInstalledSoftware) / sizeof(kInstalledSoftware[0]); ++i)
    {
        const InstalledSoftwareCase& c = kInstalledSoftware[i];
        const std::string sDataFile = dir.File("autorun" + std::to_string(i) + ".inf");
        ASSERT_TRUE(vxtest::WriteFileBytes(sDataFile, c.pszDataFile)) << i;
        vxtest::HklmRedirect redirect;
        if (c.pszKeyManufacturer)
        {
            HKEY hKey = NULL;
            const std::string sKey = std::string("SOFTWARE\\") + c.pszKeyManufacturer + "\\Installed Products";
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                                     NULL, &hKey, NULL))
                << i;
            if (c.pszValue) RegSetValueExA(hKey, c.pszValue, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
            RegCloseKey(hKey);
        }
        vxtest::TraceCapture trace;
        EXPECT_EQ(c.uExpected, IsDriverSetAlreadyInstalled(ToCi(sDataFile), 0x409, CVxCiString(c.pszGuidArgument)))
            << i;
        EXPECT_EQ(1u, trace.Count(TRACE_ENTRY, "IsDriverSetAlreadyInstalled(" + sDataFile + ",409)")) << i;
        if (c.pszTrace)
        {
            EXPECT_EQ(1u, trace.Count(c.pszTrace)) << i;
        }
        EXPECT_EQ(c.pszKeyManufacturer && c.pszValue && c.uExpected ? 1u : 0u,
                  trace.Count(TRACE_EXIT, "IsDriverSetAlreadyInstalled returns Win32 error =0"))
            << i;
    }
}

TEST(PathFolders, AddTrailingBackslash)
{
    const struct
    {
        const char* pszIn;
        const char* pszOut;
    } kCases[] = {{"C:\\dir", "C:\\dir\\"}, {"C:\\dir\\", "C:\\dir\\"}, {"", "\\"}, {"C:", "C:\\"}, {"a/", "a/\\"}};
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        char buffer[32];
        std::memset(buffer, kSentinel, sizeof(buffer));
        std::strcpy(buffer, kCases[i].pszIn);
        AddTrailingBackslash(buffer);
        EXPECT_STREQ(kCases[i].pszOut, buffer) << i;
        EXPECT_EQ(kSentinel, buffer[std::strlen(kCases[i].pszOut) + 1]) << i;

        // The bounded form refuses when the byte and its terminator do not fit.
        std::memset(buffer, kSentinel, sizeof(buffer));
        std::strcpy(buffer, kCases[i].pszIn);
        const size_t cbExact = std::strlen(kCases[i].pszIn) + 1;
        const bool fNeedsOne = std::strcmp(kCases[i].pszIn, kCases[i].pszOut) != 0;
        EXPECT_EQ(!fNeedsOne, AddTrailingBackslash(buffer, cbExact)) << i;
        EXPECT_STREQ(kCases[i].pszIn, buffer) << i;
        EXPECT_TRUE(AddTrailingBackslash(buffer, cbExact + 1)) << i;
        EXPECT_STREQ(kCases[i].pszOut, buffer) << i;
    }
    AddTrailingBackslash(NULL);
    EXPECT_FALSE(AddTrailingBackslash(NULL, 10));
}

TEST(PathFolders, GetModuleFolder)
{
    char buffer[MAX_PATH + 8];
    std::memset(buffer, kSentinel, sizeof(buffer));
    ASSERT_TRUE(GetModuleFolder(buffer));
    EXPECT_EQ(DirectoryOf(ModulePath()) + "\\", std::string(buffer));
    EXPECT_FALSE(GetModuleFolder(NULL));
}

TEST(MediaCodePage932, TrailByteIsNoBackslash)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932, has " << GetACP();
    char buffer[32] = "C:\\\x95\x5C";  // the last character ends in byte 0x5C
    AddTrailingBackslash(buffer);
    EXPECT_STREQ("C:\\\x95\x5C\\", buffer);
    AddTrailingBackslash(buffer);
    EXPECT_STREQ("C:\\\x95\x5C\\", buffer);
}
