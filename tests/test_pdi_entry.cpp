#include <gtest/gtest.h>

#include "support/test_support.h"

TEST(PdiEntry, NoArgumentsFailsWithExitCodeZero)
{
    vxtest::ScratchDir temp("pdi");
    vxtest::ProcessResult result =
        vxtest::RunProcess("\"" + vxtest::PdiExePath() + "\"", {{"TEMP", temp.Path()}, {"TMP", temp.Path()}});
    ASSERT_TRUE(result.fFinished);
    EXPECT_EQ(0u, result.dwExitCode);
    std::vector<std::string> lines = vxtest::ReadLines(temp.File("vxvxdi00.log"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("The PDI Failed", lines.back());
}
