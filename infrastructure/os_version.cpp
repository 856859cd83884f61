#include "infrastructure/os_version.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace
{

OSVERSIONINFOEXA g_tVersion;  // zero until the first query; its size field marks it filled
BOOL g_f64Bit = FALSE;

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

void QueryWow64()
{
    HMODULE hKernel = LoadLibraryA("kernel32.dll");
    if (!hKernel) return;
    IsWow64ProcessFn pfnIsWow64 = reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(hKernel, "IsWow64Process"));
    if (pfnIsWow64)
    {
        BOOL fWow64 = FALSE;
        if (pfnIsWow64(GetCurrentProcess(), &fWow64)) g_f64Bit = fWow64;
    }
    FreeLibrary(hKernel);
}

const OSVERSIONINFOEXA& Record()
{
    if (g_tVersion.dwOSVersionInfoSize != 0) return g_tVersion;

    g_tVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&g_tVersion)))
    {
        // Releases before NT 4 SP6 know only the basic record; the extended fields stay 0.
        g_tVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&g_tVersion));
    }
    QueryWow64();
    if (g_tVersion.dwMajorVersion == 5 && g_tVersion.dwMinorVersion == 2 && g_tVersion.wProductType == VER_NT_WORKSTATION)
    {
        g_tVersion.dwMinorVersion = 1;  // a 64-bit workstation of 5.2 is Windows XP
    }
    return g_tVersion;
}

bool IsPlatform(DWORD dwPlatform, DWORD dwMajor)
{
    const OSVERSIONINFOEXA& v = Record();
    return v.dwPlatformId == dwPlatform && v.dwMajorVersion == dwMajor;
}

bool IsNtRelease(DWORD dwMajor, DWORD dwMinor)
{
    return IsPlatform(VER_PLATFORM_WIN32_NT, dwMajor) && Record().dwMinorVersion == dwMinor;
}

CVxCiString Format(const char* pszFormat, ...)
{
    char szText[128];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(szText, sizeof(szText), pszFormat, args);
    va_end(args);
    return CVxCiString(szText);
}

}  // namespace

const OSVERSIONINFOEXA& GetOSVersionRecord() { return Record(); }

unsigned IsNT()
{
    const OSVERSIONINFOEXA& v = Record();
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion >= 4;
}

unsigned IsNT4() { return IsPlatform(VER_PLATFORM_WIN32_NT, 4); }
unsigned IsW2K() { return IsNtRelease(5, 0); }
unsigned IsXP() { return !Is64BitOS() && IsNtRelease(5, 1); }
unsigned IsXP_64() { return Is64BitOS() && IsNtRelease(5, 1); }
unsigned IsWin2003() { return !Is64BitOS() && IsNtRelease(5, 2); }

unsigned IsWin2003_64()
{
    const OSVERSIONINFOEXA& v = Record();
    return g_f64Bit && v.dwMajorVersion == 5 && v.dwMinorVersion == 2;
}

unsigned Is64BitOS()
{
    Record();
    return g_f64Bit ? 1 : 0;
}

unsigned IsPreXP()
{
    const OSVERSIONINFOEXA& v = Record();
    return v.dwPlatformId < VER_PLATFORM_WIN32_NT || (v.dwMajorVersion < 5 && v.dwMinorVersion == 0);
}

unsigned Is9X() { return IsPlatform(VER_PLATFORM_WIN32_WINDOWS, 4); }
unsigned Is95() { return Is9X() && Record().dwMinorVersion == 0; }

unsigned Is98()
{
    const DWORD dwMinor = Record().dwMinorVersion;
    return Is9X() && dwMinor >= 1 && dwMinor <= 89;
}

unsigned IsMe() { return Is9X() && Record().dwMinorVersion >= 90; }
unsigned Is98Gold() { return Is9X() && Record().dwMinorVersion == 10 && Record().dwBuildNumber == 1998; }
unsigned Is98SE() { return Is9X() && Record().dwMinorVersion == 10 && Record().dwBuildNumber == 2222; }

unsigned GetServicePack()
{
    if (!IsNT()) return 0;
    OSVERSIONINFOEXA tFresh = {};
    tFresh.dwOSVersionInfoSize = sizeof(tFresh);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&tFresh))) return 0;
    return tFresh.wServicePackMajor;
}

CVxCiString GetOSVersion()
{
    const OSVERSIONINFOEXA& v = Record();
    return Format("%d%s", static_cast<int>(v.dwMajorVersion * 100 + v.dwMinorVersion), g_f64Bit ? "_64" : "");
}

CVxCiString GetOSNumbers()
{
    const OSVERSIONINFOEXA& v = Record();
    CVxCiString s = Format("%d.%d.%d", static_cast<int>(v.dwMajorVersion), static_cast<int>(v.dwMinorVersion),
                           static_cast<int>(v.dwBuildNumber));
    if (IsNT()) s += Format(".%d", static_cast<int>(v.wServicePackMajor));
    return s;
}

CVxCiString GetOSName()
{
    if (IsXP_64()) return "Windows XP 64 bit";
    if (IsWin2003_64()) return "Windows Server 2003 64 bit";
    const CVxCiString sVersion = GetOSVersion();
    switch (std::atoi(sVersion.c_str()))
    {
    case 400: return IsNT4() ? "Windows NT4" : "Windows 95";
    case 410: return "Windows 98 (or Windows 98 Second Edition)";
    case 490: return "Windows Millennium Edition";
    case 500: return "Windows 2000";
    case 501: return "Windows XP";
    case 502: return "Windows Server 2003";
    default: return sVersion;
    }
}
