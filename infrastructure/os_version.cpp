#include "infrastructure/os_version.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "os_version_internal.h"
#include "vx_owners.h"

namespace os_internal
{

namespace
{

// A record the system never filled (both queries failed) has major version 0.
bool IsKnown(const OSVERSIONINFOEXA& v) { return v.dwMajorVersion != 0; }

bool IsPlatform(const OSVERSIONINFOEXA& v, DWORD dwPlatform, DWORD dwMajor)
{
    return v.dwPlatformId == dwPlatform && v.dwMajorVersion == dwMajor;
}

bool IsNtRelease(const OSVERSIONINFOEXA& v, DWORD dwMajor, DWORD dwMinor)
{
    return IsPlatform(v, VER_PLATFORM_WIN32_NT, dwMajor) && v.dwMinorVersion == dwMinor;
}

CVxCiString Format(const char* pszFormat, ...)
{
    char szText[128];
    va_list args;
    va_start(args, pszFormat);
    const int cch = std::vsnprintf(szText, sizeof(szText), pszFormat, args);
    va_end(args);
    return cch < 0 ? CVxCiString() : CVxCiString(szText);
}

}  // namespace

VersionFacts QueryVersionFacts(GetVersionExFn pfnGetVersionEx, IsWow64ProcessFn pfnIsWow64)
{
    VersionFacts tFacts = {};
    tFacts.tVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    BOOL fQueried = pfnGetVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&tFacts.tVersion));
    if (!fQueried)
    {
        // Releases before NT 4 SP6 know only the basic record; the extended fields stay 0.
        tFacts.tVersion = OSVERSIONINFOEXA();
        tFacts.tVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        fQueried = pfnGetVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&tFacts.tVersion));
        if (!fQueried)
        {
            // Nothing is known of the system, so nothing is claimed, not even 64 bits.
            tFacts.tVersion = OSVERSIONINFOEXA();
            tFacts.tVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
            return tFacts;
        }
    }
    BOOL fWow64 = FALSE;
    if (pfnIsWow64 && pfnIsWow64(GetCurrentProcess(), &fWow64)) tFacts.f64Bit = fWow64 ? TRUE : FALSE;

    OSVERSIONINFOEXA& v = tFacts.tVersion;
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 2 && v.wProductType == VER_NT_WORKSTATION)
        v.dwMinorVersion = 1;  // a 64-bit workstation of 5.2 is Windows XP
    return tFacts;
}

const VersionFacts& CachedVersionFacts(VersionCache* pCache, GetVersionExFn pfnGetVersionEx,
                                       IsWow64ProcessFn pfnIsWow64)
{
    if (InterlockedCompareExchange(&pCache->lState, 2, 2) == 2) return pCache->tFacts;

    // Queried outside the cache: a caller that arrives meanwhile must not see half a record.
    const VersionFacts tFacts = QueryVersionFacts(pfnGetVersionEx, pfnIsWow64);
    if (InterlockedCompareExchange(&pCache->lState, 1, 0) == 0)
    {
        pCache->tFacts = tFacts;
        InterlockedExchange(&pCache->lState, 2);
    }
    else
    {
        // Another first caller is storing the same facts; that takes a copy's time.
        while (InterlockedCompareExchange(&pCache->lState, 2, 2) != 2) Sleep(0);
    }
    return pCache->tFacts;
}

unsigned IsNT(const OSVERSIONINFOEXA& v, BOOL)
{
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion >= 4;
}

unsigned IsNT4(const OSVERSIONINFOEXA& v, BOOL) { return IsPlatform(v, VER_PLATFORM_WIN32_NT, 4); }
unsigned IsW2K(const OSVERSIONINFOEXA& v, BOOL) { return IsNtRelease(v, 5, 0); }
unsigned IsXP(const OSVERSIONINFOEXA& v, BOOL f64Bit) { return !f64Bit && IsNtRelease(v, 5, 1); }
unsigned IsXP_64(const OSVERSIONINFOEXA& v, BOOL f64Bit) { return f64Bit && IsNtRelease(v, 5, 1); }
unsigned IsWin2003(const OSVERSIONINFOEXA& v, BOOL f64Bit) { return !f64Bit && IsNtRelease(v, 5, 2); }

unsigned IsWin2003_64(const OSVERSIONINFOEXA& v, BOOL f64Bit)
{
    return f64Bit && v.dwMajorVersion == 5 && v.dwMinorVersion == 2;
}

unsigned Is64BitOS(const OSVERSIONINFOEXA&, BOOL f64Bit) { return f64Bit ? 1 : 0; }

unsigned IsPreXP(const OSVERSIONINFOEXA& v, BOOL)
{
    return IsKnown(v) &&
           (v.dwPlatformId < VER_PLATFORM_WIN32_NT || (v.dwMajorVersion < 5 && v.dwMinorVersion == 0));
}

unsigned Is9X(const OSVERSIONINFOEXA& v, BOOL) { return IsPlatform(v, VER_PLATFORM_WIN32_WINDOWS, 4); }
unsigned Is95(const OSVERSIONINFOEXA& v, BOOL f64Bit) { return Is9X(v, f64Bit) && v.dwMinorVersion == 0; }

unsigned Is98(const OSVERSIONINFOEXA& v, BOOL f64Bit)
{
    return Is9X(v, f64Bit) && v.dwMinorVersion >= 1 && v.dwMinorVersion <= 89;
}

unsigned IsMe(const OSVERSIONINFOEXA& v, BOOL f64Bit) { return Is9X(v, f64Bit) && v.dwMinorVersion >= 90; }

unsigned Is98Gold(const OSVERSIONINFOEXA& v, BOOL f64Bit)
{
    return Is9X(v, f64Bit) && v.dwMinorVersion == 10 && v.dwBuildNumber == 1998;
}

unsigned Is98SE(const OSVERSIONINFOEXA& v, BOOL f64Bit)
{
    return Is9X(v, f64Bit) && v.dwMinorVersion == 10 && v.dwBuildNumber == 2222;
}

unsigned GetServicePack(const OSVERSIONINFOEXA& v, BOOL f64Bit, GetVersionExFn pfnGetVersionEx)
{
    if (!IsNT(v, f64Bit)) return 0;
    OSVERSIONINFOEXA tFresh = {};
    tFresh.dwOSVersionInfoSize = sizeof(tFresh);
    if (!pfnGetVersionEx(reinterpret_cast<OSVERSIONINFOA*>(&tFresh))) return 0;
    return tFresh.wServicePackMajor;
}

CVxCiString GetOSVersion(const OSVERSIONINFOEXA& v, BOOL f64Bit)
{
    return Format("%d%s", static_cast<int>(v.dwMajorVersion * 100 + v.dwMinorVersion), f64Bit ? "_64" : "");
}

CVxCiString GetOSNumbers(const OSVERSIONINFOEXA& v, BOOL f64Bit)
{
    CVxCiString s = Format("%d.%d.%d", static_cast<int>(v.dwMajorVersion), static_cast<int>(v.dwMinorVersion),
                           static_cast<int>(v.dwBuildNumber));
    if (IsNT(v, f64Bit)) s += Format(".%d", static_cast<int>(v.wServicePackMajor));
    return s;
}

CVxCiString GetOSName(const OSVERSIONINFOEXA& v, BOOL f64Bit)
{
    if (IsXP_64(v, f64Bit)) return "Windows XP 64 bit";
    if (IsWin2003_64(v, f64Bit)) return "Windows Server 2003 64 bit";
    const CVxCiString sVersion = GetOSVersion(v, f64Bit);
    switch (std::atoi(sVersion.c_str()))
    {
    case 400: return IsNT4(v, f64Bit) ? "Windows NT4" : "Windows 95";
    case 410: return "Windows 98 (or Windows 98 Second Edition)";
    case 490: return "Windows Millennium Edition";
    case 500: return "Windows 2000";
    case 501: return "Windows XP";
    case 502: return "Windows Server 2003";
    default: return sVersion;
    }
}

}  // namespace os_internal

namespace
{

os_internal::VersionCache g_tVersionCache;  // zero-initialised before any code runs

BOOL WINAPI SystemGetVersionEx(OSVERSIONINFOA* pVersion) { return GetVersionExA(pVersion); }

const os_internal::VersionFacts& Facts()
{
    if (InterlockedCompareExchange(&g_tVersionCache.lState, 2, 2) == 2) return g_tVersionCache.tFacts;
    const CUniqueModule kernel(LoadLibraryA("kernel32.dll"));
    os_internal::IsWow64ProcessFn pfnIsWow64 =
        kernel.IsValid()
            ? reinterpret_cast<os_internal::IsWow64ProcessFn>(GetProcAddress(kernel.Get(), "IsWow64Process"))
            : NULL;
    return os_internal::CachedVersionFacts(&g_tVersionCache, SystemGetVersionEx, pfnIsWow64);
}

}  // namespace

unsigned IsNT() { return os_internal::IsNT(Facts().tVersion, Facts().f64Bit); }
unsigned IsNT4() { return os_internal::IsNT4(Facts().tVersion, Facts().f64Bit); }
unsigned IsW2K() { return os_internal::IsW2K(Facts().tVersion, Facts().f64Bit); }
unsigned IsXP() { return os_internal::IsXP(Facts().tVersion, Facts().f64Bit); }
unsigned IsXP_64() { return os_internal::IsXP_64(Facts().tVersion, Facts().f64Bit); }
unsigned IsWin2003() { return os_internal::IsWin2003(Facts().tVersion, Facts().f64Bit); }
unsigned IsWin2003_64() { return os_internal::IsWin2003_64(Facts().tVersion, Facts().f64Bit); }
unsigned Is64BitOS() { return os_internal::Is64BitOS(Facts().tVersion, Facts().f64Bit); }
unsigned IsPreXP() { return os_internal::IsPreXP(Facts().tVersion, Facts().f64Bit); }
unsigned Is9X() { return os_internal::Is9X(Facts().tVersion, Facts().f64Bit); }
unsigned Is95() { return os_internal::Is95(Facts().tVersion, Facts().f64Bit); }
unsigned Is98() { return os_internal::Is98(Facts().tVersion, Facts().f64Bit); }
unsigned IsMe() { return os_internal::IsMe(Facts().tVersion, Facts().f64Bit); }
unsigned Is98Gold() { return os_internal::Is98Gold(Facts().tVersion, Facts().f64Bit); }
unsigned Is98SE() { return os_internal::Is98SE(Facts().tVersion, Facts().f64Bit); }

const OSVERSIONINFOEXA& GetOSVersionRecord() { return Facts().tVersion; }

unsigned GetServicePack()
{
    return os_internal::GetServicePack(Facts().tVersion, Facts().f64Bit, SystemGetVersionEx);
}

CVxCiString GetOSVersion() { return os_internal::GetOSVersion(Facts().tVersion, Facts().f64Bit); }
CVxCiString GetOSNumbers() { return os_internal::GetOSNumbers(Facts().tVersion, Facts().f64Bit); }
CVxCiString GetOSName() { return os_internal::GetOSName(Facts().tVersion, Facts().f64Bit); }
