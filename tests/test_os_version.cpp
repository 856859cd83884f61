// The OS predicates and formatters: on each release Wine imitates, and on synthetic records for
// what this process cannot run on (64-bit Windows through WOW64, failed version queries).
#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <thread>
#include <vector>

#include "../infrastructure/os_version_internal.h"
#include "infrastructure/os_version.h"
#include "support/import_patch.h"
#include "support/test_support.h"

namespace
{

enum
{
    P_NT = 1 << 0,
    P_NT4 = 1 << 1,
    P_W2K = 1 << 2,
    P_XP = 1 << 3,
    P_XP_64 = 1 << 4,
    P_2003 = 1 << 5,
    P_2003_64 = 1 << 6,
    P_64BIT = 1 << 7,
    P_PREXP = 1 << 8,
    P_9X = 1 << 9,
    P_95 = 1 << 10,
    P_98 = 1 << 11,
    P_ME = 1 << 12,
    P_98GOLD = 1 << 13,
    P_98SE = 1 << 14
};

struct PredicateValues
{
    unsigned aValue[15];
};

const char* const kPredicateNames[15] = {"IsNT", "IsNT4", "IsW2K", "IsXP", "IsXP_64", "IsWin2003",
                                         "IsWin2003_64", "Is64BitOS", "IsPreXP", "Is9X", "Is95", "Is98",
                                         "IsMe", "Is98Gold", "Is98SE"};

PredicateValues PublicPredicates()
{
    PredicateValues t = {{IsNT(), IsNT4(), IsW2K(), IsXP(), IsXP_64(), IsWin2003(), IsWin2003_64(), Is64BitOS(),
                          IsPreXP(), Is9X(), Is95(), Is98(), IsMe(), Is98Gold(), Is98SE()}};
    return t;
}

PredicateValues PurePredicates(const OSVERSIONINFOEXA& v, BOOL f)
{
    using namespace os_internal;
    PredicateValues t = {{IsNT(v, f), IsNT4(v, f), IsW2K(v, f), IsXP(v, f), IsXP_64(v, f), IsWin2003(v, f),
                          IsWin2003_64(v, f), Is64BitOS(v, f), IsPreXP(v, f), Is9X(v, f), Is95(v, f), Is98(v, f),
                          IsMe(v, f), Is98Gold(v, f), Is98SE(v, f)}};
    return t;
}

// Every predicate is exactly 1 or 0, and 1 exactly for the bits expected.
void ExpectPredicates(unsigned uExpected, const PredicateValues& t, const std::string& sWhere)
{
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ((uExpected >> i) & 1u, t.aValue[i]) << sWhere << ": " << kPredicateNames[i];
}

// What Wine reports per release (seen with Wine 8.0) and what the Part's functions make of it.
// Wine answers the 156-byte extended query on every release, 95 included; a real Windows 95
// refuses it and the record is then the basic one, which changes none of the results here.
// Wine's win98 is Second Edition with the version in the high word of the build field
// (0x040A08AE); the 98 predicates compare the whole field, so Is98Gold and Is98SE are 0.
struct ReleaseCase
{
    const char* pszRelease;
    bool f64Bit;  // seen through WOW64 (a 32-bit process in a 64-bit prefix)
    unsigned uPredicates;
    unsigned uServicePack;
    const char* pszVersion;
    const char* pszNumbers;
    const char* pszName;
};

const ReleaseCase kReleases[] = {
    {"win95", false, P_PREXP | P_9X | P_95, 0, "400", "4.0.67109814", "Windows 95"},  // build 0x040003B6
    {"win98", false, P_PREXP | P_9X | P_98, 0, "410", "4.10.67766446", "Windows 98 (or Windows 98 Second Edition)"},
    {"winme", false, P_PREXP | P_9X | P_ME, 0, "490", "4.90.73010104", "Windows Millennium Edition"},  // 0x045A0BB8
    {"nt40", false, P_NT | P_NT4 | P_PREXP, 6, "400", "4.0.1381.6", "Windows NT4"},
    {"win2k", false, P_NT | P_W2K, 4, "500", "5.0.2195.4", "Windows 2000"},
    {"winxp", false, P_NT | P_XP, 3, "501", "5.1.2600.3", "Windows XP"},
    {"win2003", false, P_NT | P_2003, 2, "502", "5.2.3790.2", "Windows Server 2003"},
    {"vista", false, P_NT, 2, "600", "6.0.6002.2", "600"},
    // A native 64-bit process is no WOW64 process: it sees the 5.2 workstation as plain XP.
    {"winxp64", false, P_NT | P_XP, 2, "501", "5.1.3790.2", "Windows XP"},
    {"winxp64", true, P_NT | P_XP_64 | P_64BIT, 2, "501_64", "5.1.3790.2", "Windows XP 64 bit"},
    {"win2003", true, P_NT | P_2003_64 | P_64BIT, 2, "502_64", "5.2.3790.2", "Windows Server 2003 64 bit"},
};

const ReleaseCase* FindRelease(const std::string& sRelease, bool f64Bit)
{
    for (const ReleaseCase& c : kReleases)
    {
        if (sRelease == c.pszRelease && f64Bit == c.f64Bit) return &c;
    }
    return NULL;
}

bool SeesWow64() { return vxtest::Is64BitPrefix() && sizeof(void*) == 4; }

}  // namespace

TEST(OsVersionOnThisRelease, PredicatesAndFormatters)
{
    // The prefixes are made with winxp as the release of programs that name none.
    const std::string sRelease = vxtest::WineRelease().empty() ? "winxp" : vxtest::WineRelease();
    const ReleaseCase* pCase = FindRelease(sRelease, SeesWow64());
    ASSERT_TRUE(pCase != NULL) << "no expectations for " << sRelease;

    ExpectPredicates(pCase->uPredicates, PublicPredicates(), sRelease);
    EXPECT_EQ(pCase->uServicePack, GetServicePack()) << sRelease;
    EXPECT_EQ(std::string(pCase->pszVersion), GetOSVersion().c_str()) << sRelease;
    EXPECT_EQ(std::string(pCase->pszNumbers), GetOSNumbers().c_str()) << sRelease;
    EXPECT_EQ(std::string(pCase->pszName), GetOSName().c_str()) << sRelease;
}

// The system's own query, counted while the library statically linked into this program is
// pointed at the counter.
os_internal::GetVersionExFn g_pfnSystemGetVersionEx = NULL;
LONG g_lVersionQueries = 0;

BOOL WINAPI CountingGetVersionEx(OSVERSIONINFOA* pVersion)
{
    InterlockedIncrement(&g_lVersionQueries);
    return g_pfnSystemGetVersionEx(pVersion);
}

TEST(OsVersionOnThisRelease, RecordIsFilledOnceAndKept)
{
    const OSVERSIONINFOEXA& tFirst = GetOSVersionRecord();
    const OSVERSIONINFOEXA tBefore = tFirst;
    {
        vxtest::ImportPatch patch(GetModuleHandleA(NULL), "kernel32.dll", "GetVersionExA",
                                  reinterpret_cast<const void*>(&CountingGetVersionEx));
        ASSERT_TRUE(patch.Applied());
        g_pfnSystemGetVersionEx = reinterpret_cast<os_internal::GetVersionExFn>(patch.Original());
        // Every later question reads the record filled above; none asks the system again.
        IsNT();
        IsXP();
        Is9X();
        GetOSVersion();
        GetOSNumbers();
        GetOSName();
        EXPECT_EQ(0, std::memcmp(&tBefore, &GetOSVersionRecord(), sizeof(tBefore)));
        EXPECT_EQ(0, g_lVersionQueries);
        GetServicePack();  // the one question that asks afresh: the counter does see the system
        EXPECT_EQ(IsNT() ? 1 : 0, g_lVersionQueries);
    }
    // What the system answers, as it answers it.
    OSVERSIONINFOEXA tSystem = {};
    tSystem.dwOSVersionInfoSize = sizeof(tSystem);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&tSystem)));
    EXPECT_EQ(tSystem.dwMajorVersion, tFirst.dwMajorVersion);
    EXPECT_EQ(tSystem.dwPlatformId, tFirst.dwPlatformId);
    EXPECT_EQ(tSystem.dwBuildNumber, tFirst.dwBuildNumber);
    EXPECT_STREQ(tSystem.szCSDVersion, tFirst.szCSDVersion);
    EXPECT_EQ(sizeof(OSVERSIONINFOEXA), tFirst.dwOSVersionInfoSize);  // Wine answers the extended query
    EXPECT_NE(0u, tFirst.dwMajorVersion);
    // The 5.2 workstation reads as 5.1 in the record itself, which other units look at.
    if (tFirst.dwMajorVersion == 5 && tFirst.wProductType == VER_NT_WORKSTATION)
    {
        EXPECT_NE(2u, tFirst.dwMinorVersion);
    }
}

namespace
{

// A scripted system for the fill: what GetVersionExA answers and what IsWow64Process says.
struct FakeSystem
{
    OSVERSIONINFOEXA tAnswer;
    bool fFailExtended;
    bool fFailBasic;
    DWORD dwSleepMs;
    LONG lCalls;
    LONG lWow64Calls;
};
FakeSystem g_fake;

void SetFake(DWORD dwPlatform, DWORD dwMajor, DWORD dwMinor, DWORD dwBuild, BYTE bProductType, WORD wSpMajor)
{
    g_fake = FakeSystem();
    g_fake.tAnswer.dwMajorVersion = dwMajor;
    g_fake.tAnswer.dwMinorVersion = dwMinor;
    g_fake.tAnswer.dwBuildNumber = dwBuild;
    g_fake.tAnswer.dwPlatformId = dwPlatform;
    g_fake.tAnswer.wServicePackMajor = wSpMajor;
    g_fake.tAnswer.wProductType = bProductType;
}

BOOL WINAPI FakeGetVersionEx(OSVERSIONINFOA* pVersion)
{
    InterlockedIncrement(&g_fake.lCalls);
    if (g_fake.dwSleepMs) Sleep(g_fake.dwSleepMs);
    const DWORD cb = pVersion->dwOSVersionInfoSize;
    if (cb == sizeof(OSVERSIONINFOEXA) ? g_fake.fFailExtended : g_fake.fFailBasic) return FALSE;
    if (cb != sizeof(OSVERSIONINFOEXA) && cb != sizeof(OSVERSIONINFOA)) return FALSE;
    OSVERSIONINFOEXA tAnswer = g_fake.tAnswer;
    tAnswer.dwOSVersionInfoSize = cb;
    memcpy(pVersion, &tAnswer, cb);
    return TRUE;
}

BOOL WINAPI FakeWow64True(HANDLE, PBOOL pf)
{
    InterlockedIncrement(&g_fake.lWow64Calls);
    *pf = TRUE;
    return TRUE;
}
BOOL WINAPI FakeWow64False(HANDLE, PBOOL pf)
{
    InterlockedIncrement(&g_fake.lWow64Calls);
    *pf = FALSE;
    return TRUE;
}
BOOL WINAPI FakeWow64Fails(HANDLE, PBOOL pf)
{
    InterlockedIncrement(&g_fake.lWow64Calls);
    *pf = TRUE;  // an answer left behind by a failed call must not count
    return FALSE;
}

enum EQueries
{
    eBothWork,
    eExtendedFails,
    eBothFail
};

struct SyntheticCase
{
    const char* pszWhat;
    DWORD dwPlatform, dwMajor, dwMinor, dwBuild;
    BYTE bProductType;
    WORD wSpMajor;
    EQueries eQueries;
    os_internal::IsWow64ProcessFn pfnWow64;  // null: kernel32 has no IsWow64Process
    unsigned uPredicates;
    const char* pszVersion;
    const char* pszNumbers;
    const char* pszName;
};

const BYTE WS = VER_NT_WORKSTATION;
const BYTE SRV = VER_NT_SERVER;

const SyntheticCase kSynthetic[] = {
    {"2003 64-bit", 2, 5, 2, 3790, SRV, 1, eBothWork, FakeWow64True, P_NT | P_2003_64 | P_64BIT, "502_64",
     "5.2.3790.1", "Windows Server 2003 64 bit"},
    {"XP 64-bit (5.2 workstation)", 2, 5, 2, 3790, WS, 2, eBothWork, FakeWow64True, P_NT | P_XP_64 | P_64BIT,
     "501_64", "5.1.3790.2", "Windows XP 64 bit"},
    {"2003 32-bit", 2, 5, 2, 3790, SRV, 2, eBothWork, FakeWow64False, P_NT | P_2003, "502", "5.2.3790.2",
     "Windows Server 2003"},
    {"5.2 workstation, no WOW64", 2, 5, 2, 3790, WS, 0, eBothWork, FakeWow64False, P_NT | P_XP, "501", "5.1.3790.0",
     "Windows XP"},
    {"XP SP2", 2, 5, 1, 2600, WS, 2, eBothWork, FakeWow64False, P_NT | P_XP, "501", "5.1.2600.2", "Windows XP"},
    {"XP without IsWow64Process", 2, 5, 1, 2600, WS, 1, eBothWork, NULL, P_NT | P_XP, "501", "5.1.2600.1",
     "Windows XP"},
    {"XP, IsWow64Process fails", 2, 5, 1, 2600, WS, 1, eBothWork, FakeWow64Fails, P_NT | P_XP, "501", "5.1.2600.1",
     "Windows XP"},
    {"2000", 2, 5, 0, 2195, WS, 4, eBothWork, NULL, P_NT | P_W2K, "500", "5.0.2195.4", "Windows 2000"},
    {"NT 4 SP6", 2, 4, 0, 1381, WS, 6, eBothWork, NULL, P_NT | P_NT4 | P_PREXP, "400", "4.0.1381.6", "Windows NT4"},
    // Before SP6 only the basic record exists: no service pack number in it.
    {"NT 4 before SP6", 2, 4, 0, 1381, WS, 3, eExtendedFails, NULL, P_NT | P_NT4 | P_PREXP, "400", "4.0.1381.0",
     "Windows NT4"},
    {"NT 3.51", 2, 3, 51, 1057, WS, 0, eExtendedFails, NULL, 0, "351", "3.51.1057", "351"},
    {"Vista", 2, 6, 0, 6002, WS, 2, eBothWork, FakeWow64False, P_NT, "600", "6.0.6002.2", "600"},
    {"95", 1, 4, 0, 950, 0, 0, eExtendedFails, NULL, P_PREXP | P_9X | P_95, "400", "4.0.950", "Windows 95"},
    {"98 first edition", 1, 4, 10, 1998, 0, 0, eExtendedFails, NULL, P_PREXP | P_9X | P_98 | P_98GOLD, "410",
     "4.10.1998", "Windows 98 (or Windows 98 Second Edition)"},
    {"98 SE", 1, 4, 10, 2222, 0, 0, eExtendedFails, NULL, P_PREXP | P_9X | P_98 | P_98SE, "410", "4.10.2222",
     "Windows 98 (or Windows 98 Second Edition)"},
    {"98 SE, version in the high word", 1, 4, 10, 0x040A08AE, 0, 0, eExtendedFails, NULL, P_PREXP | P_9X | P_98,
     "410", "4.10.67766446", "Windows 98 (or Windows 98 Second Edition)"},
    {"98, minor 89", 1, 4, 89, 1, 0, 0, eExtendedFails, NULL, P_PREXP | P_9X | P_98, "489", "4.89.1", "489"},
    {"Me", 1, 4, 90, 3000, 0, 0, eExtendedFails, NULL, P_PREXP | P_9X | P_ME, "490", "4.90.3000",
     "Windows Millennium Edition"},
    {"Win32s", 0, 3, 10, 0, 0, 0, eExtendedFails, NULL, P_PREXP, "310", "3.10.0", "310"},
    // Nothing known: every predicate false, even with a WOW64 answer at hand.
    {"both queries fail", 2, 5, 1, 2600, WS, 2, eBothFail, FakeWow64True, 0, "0", "0.0.0", "0"},
};

}  // namespace

TEST(OsVersionSynthetic, PredicatesAndFormatters)
{
    for (size_t i = 0; i < sizeof(kSynthetic) / sizeof(kSynthetic[0]); ++i)
    {
        const SyntheticCase& c = kSynthetic[i];
        const std::string sWhere = std::to_string(i) + " " + c.pszWhat;
        SetFake(c.dwPlatform, c.dwMajor, c.dwMinor, c.dwBuild, c.bProductType, c.wSpMajor);
        g_fake.fFailExtended = c.eQueries != eBothWork;
        g_fake.fFailBasic = c.eQueries == eBothFail;

        const os_internal::VersionFacts t = os_internal::QueryVersionFacts(FakeGetVersionEx, c.pfnWow64);
        const OSVERSIONINFOEXA& v = t.tVersion;
        EXPECT_EQ(c.eQueries == eBothWork ? sizeof(OSVERSIONINFOEXA) : sizeof(OSVERSIONINFOA), v.dwOSVersionInfoSize)
            << sWhere;
        EXPECT_EQ(c.eQueries == eBothWork ? 1 : 2, g_fake.lCalls) << sWhere;
        if (c.eQueries == eBothFail)
        {
            EXPECT_EQ(0, g_fake.lWow64Calls) << sWhere;
        }
        ExpectPredicates(c.uPredicates, PurePredicates(v, t.f64Bit), sWhere);
        EXPECT_EQ(std::string(c.pszVersion), os_internal::GetOSVersion(v, t.f64Bit).c_str()) << sWhere;
        EXPECT_EQ(std::string(c.pszNumbers), os_internal::GetOSNumbers(v, t.f64Bit).c_str()) << sWhere;
        EXPECT_EQ(std::string(c.pszName), os_internal::GetOSName(v, t.f64Bit).c_str()) << sWhere;
    }
}

TEST(OsVersionSynthetic, ServicePackComesFromAFreshQueryOnNtOnly)
{
    SetFake(2, 5, 1, 2600, WS, 3);
    os_internal::VersionFacts t = os_internal::QueryVersionFacts(FakeGetVersionEx, NULL);
    g_fake.tAnswer.wServicePackMajor = 4;  // installed since the record was filled
    g_fake.lCalls = 0;
    EXPECT_EQ(4u, os_internal::GetServicePack(t.tVersion, t.f64Bit, FakeGetVersionEx));
    EXPECT_EQ(1, g_fake.lCalls);
    EXPECT_EQ(std::string("5.1.2600.3"), os_internal::GetOSNumbers(t.tVersion, t.f64Bit).c_str());  // the record's

    g_fake.fFailExtended = true;
    EXPECT_EQ(0u, os_internal::GetServicePack(t.tVersion, t.f64Bit, FakeGetVersionEx));

    SetFake(1, 4, 10, 2222, 0, 5);
    t = os_internal::QueryVersionFacts(FakeGetVersionEx, NULL);
    g_fake.lCalls = 0;
    EXPECT_EQ(0u, os_internal::GetServicePack(t.tVersion, t.f64Bit, FakeGetVersionEx));
    EXPECT_EQ(0, g_fake.lCalls);  // not asked off the NT family
}

TEST(OsVersionSynthetic, CacheFillsOnceAndNeverShowsAHalfRecord)
{
    SetFake(2, 5, 2, 3790, WS, 2);
    g_fake.dwSleepMs = 50;  // a slow first query, so the threads meet inside it
    os_internal::VersionCache tCache = {};
    HANDLE hGo = CreateEventA(NULL, TRUE, FALSE, NULL);
    ASSERT_TRUE(hGo != NULL);

    const int kThreads = 8;
    std::vector<DWORD> majors(kThreads, 0), minors(kThreads, 0);
    std::vector<BOOL> flags(kThreads, FALSE);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
    {
        threads.emplace_back([&, i]() {
            WaitForSingleObject(hGo, INFINITE);
            const os_internal::VersionFacts& t =
                os_internal::CachedVersionFacts(&tCache, FakeGetVersionEx, FakeWow64True);
            majors[i] = t.tVersion.dwMajorVersion;
            minors[i] = t.tVersion.dwMinorVersion;
            flags[i] = t.f64Bit;
        });
    }
    SetEvent(hGo);
    for (std::thread& thread : threads) thread.join();
    CloseHandle(hGo);

    for (int i = 0; i < kThreads; ++i)
    {
        EXPECT_EQ(5u, majors[i]) << i;
        EXPECT_EQ(1u, minors[i]) << i;  // the adjusted value, never the raw 2 or an empty 0
        EXPECT_EQ(TRUE, flags[i]) << i;
    }
    const LONG lCalls = g_fake.lCalls;
    EXPECT_GE(lCalls, 1);
    EXPECT_LE(lCalls, kThreads);
    os_internal::CachedVersionFacts(&tCache, FakeGetVersionEx, FakeWow64True);
    EXPECT_EQ(lCalls, g_fake.lCalls);  // filled: no further query
}
