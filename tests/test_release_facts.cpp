// Qualifiers built for a release other than the running one, and the running system's facts
// giving what the system-facing builders give.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "infrastructure/qualified_values.h"
#include "infrastructure/release_facts.h"
#include "support/test_support.h"

namespace
{

CReleaseFacts Facts(DWORD dwPlatform, DWORD dwMajor, DWORD dwMinor, DWORD dwBuild, WORD wServicePack, BOOL f64Bit)
{
    CReleaseFacts facts = {dwPlatform, dwMajor, dwMinor, dwBuild, wServicePack, f64Bit, 0x0409};
    return facts;
}

struct QualifierCase
{
    CReleaseFacts facts;
    const char* pszOS;
    const char* pszServicePack;
    const char* pszBuild;
};

}  // namespace

TEST(ReleaseFacts, QualifiersForAGivenRelease)
{
    const QualifierCase cases[] = {
        {Facts(1, 4, 10, 0x040A08AE, 0, FALSE), ".410", "", ".2222"},
        {Facts(1, 4, 90, 0x045A0BB8, 0, FALSE), ".490", "", ".3000"},
        {Facts(2, 4, 0, 1381, 6, FALSE), ".400", ".6", ".1381"},
        {Facts(2, 4, 0, 1381, RELEASE_SERVICE_PACK_UNKNOWN, FALSE), ".400", "", ".1381"},
        {Facts(2, 5, 1, 2600, 2, FALSE), ".501", ".2", ".2600"},
        {Facts(2, 5, 1, 3790, 2, TRUE), ".501_64", ".2", ".3790"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        char szOS[QUALIFIER_BUFFER_SIZE], szServicePack[QUALIFIER_BUFFER_SIZE], szBuild[QUALIFIER_BUFFER_SIZE];
        std::memset(szServicePack, 0xcc, sizeof(szServicePack));
        BuildOSQualifierFor(szOS, cases[i].facts);
        BuildServicePackQualifierFor(szServicePack, cases[i].facts);
        BuildBuildQualifierFor(szBuild, cases[i].facts);
        EXPECT_STREQ(cases[i].pszOS, szOS) << "case " << i;
        EXPECT_STREQ(cases[i].pszServicePack, szServicePack) << "case " << i;
        EXPECT_STREQ(cases[i].pszBuild, szBuild) << "case " << i;
    }
}

TEST(ReleaseFacts, RunningFactsGiveTheSystemFacingQualifiers)
{
    CReleaseFacts facts;
    GetRunningReleaseFacts(&facts);
    EXPECT_EQ(GetSystemDefaultLangID(), facts.wLanguage);
    char szFor[QUALIFIER_BUFFER_SIZE], szRunning[QUALIFIER_BUFFER_SIZE];
    BuildOSQualifierFor(szFor, facts);
    BuildOSQualifier(szRunning);
    EXPECT_STREQ(szRunning, szFor);
    BuildServicePackQualifierFor(szFor, facts);
    BuildServicePackQualifier(szRunning);
    EXPECT_STREQ(szRunning, szFor);
    // Pinned for Wine's XP (5.1 SP3), so that both forms cannot be wrong alike.
    if (vxtest::WineRelease() != "winxp") return;
    EXPECT_EQ(2u, facts.dwPlatformId);
    BuildOSQualifierFor(szFor, facts);
    EXPECT_STREQ(".501", szFor);
    BuildServicePackQualifierFor(szFor, facts);
    EXPECT_STREQ(".3", szFor);
}
