// The install flow beside a Glue of the other bitness. On 64-bit Windows the installer process
// that loads the Glue is 64-bit, so the Glue writes its values in the registry's 64-bit view,
// while the 32-bit PDI's own HKLM\SOFTWARE is the 32-bit view. Runs in a 64-bit prefix as the
// release VX_WINE_RELEASE names, and once in a 32-bit one (VX_WINE_ARCH empty), where nothing
// may differ. Real HKLM keys and fixed object names: the machine lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/flow_medium.h"
#include "support/test_support.h"
#include "vxzglue/vxzglue_utils.h"

namespace
{

const char kSignalKey[] = "SOFTWARE\\Quorvane\\ABC\\C32";
const char kSignal[] = "ABC_PNPFinishedEvent_07";

std::string DriverKey() { return ToStd(g_sRegKeyGlue) + "\\" + vxtest::kFlowDriver; }
std::string UninstallKey() { return ToStd(g_sRegKeyUninstall) + "\\" + vxtest::kFlowDriver + "_Driver"; }

bool Has(const std::vector<std::string>& lines, const std::string& sLine)
{
    return std::find(lines.begin(), lines.end(), sLine) != lines.end();
}

std::vector<std::string> RunFlow(vxtest::FlowMedium* pMedium, REGSAM samGlueView)
{
    EXPECT_TRUE(pMedium->RecordGlueInstall(true, samGlueView));
    const vxtest::ProcessResult result = pMedium->Run({}, 120000, vxtest::Env("VX_WINE_RELEASE"));
    EXPECT_TRUE(result.fFinished);
    return vxtest::ReadLines(pMedium->InstallLogPath());
}

struct ViewCase
{
    REGSAM samGlue;   // where the Glue writes
    REGSAM samOther;  // the view that must stay untouched
    const char* pszLogLine;
};

class GlueView64 : public ::testing::TestWithParam<ViewCase>
{
};

TEST_P(GlueView64, FlowReadsAndTidiesTheGlueValuesInTheirViewAndSignalsIn32Bit)
{
    ASSERT_EQ("win64", vxtest::Env("VX_WINE_ARCH"));
    const ViewCase c = GetParam();
    vxtest::FlowMedium medium;
    const std::vector<std::string> log = RunFlow(&medium, c.samGlue);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("The PDI Succeeded", log.back());
    EXPECT_TRUE(Has(log, c.pszLogLine));

    EXPECT_EQ((std::vector<std::string>{"fix1.exe", "vxzsetup.exe"}), medium.Medium().RecordedPrograms());

    // The product's own 32-bit installer reads the signal: the 32-bit view only.
    std::string sValue;
    EXPECT_TRUE(vxtest::ReadHklmString(kSignalKey, kSignal, &sValue, KEY_WOW64_32KEY));
    EXPECT_EQ("1", sValue);
    EXPECT_FALSE(vxtest::HklmKeyExists(kSignalKey, KEY_WOW64_64KEY));

    // The Glue's key is tidied where it was found, and nothing of it lands in the other view.
    DWORD dwResult = 0xdeadbeef;
    EXPECT_TRUE(vxtest::ReadHklmDword(DriverKey(), "GlueResult", &dwResult, c.samGlue));
    EXPECT_EQ(0u, dwResult);
    EXPECT_FALSE(vxtest::HklmKeyExists(UninstallKey(), c.samGlue));
    EXPECT_FALSE(vxtest::HklmKeyExists(DriverKey(), c.samOther));
}

INSTANTIATE_TEST_SUITE_P(Views, GlueView64,
                         ::testing::Values(ViewCase{KEY_WOW64_32KEY, KEY_WOW64_64KEY,
                                                    "Glue values read in the 32-bit registry view"},
                                           ViewCase{KEY_WOW64_64KEY, KEY_WOW64_32KEY,
                                                    "Glue values read in the 64-bit registry view"}));

// On 32-bit Windows the run is as it always was: no view is looked for or named.
TEST(GlueView32, FlowNamesNoView)
{
    ASSERT_EQ("", vxtest::Env("VX_WINE_ARCH"));
    vxtest::FlowMedium medium;
    const std::vector<std::string> log = RunFlow(&medium, 0);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("The PDI Succeeded", log.back());
    for (const std::string& sLine : log) EXPECT_EQ(std::string::npos, sLine.find("registry view")) << sLine;
}

}  // namespace
