// The PDI run as a whole process: command-line checks, closing lines, exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "support/test_support.h"

namespace
{

struct PdiRun
{
    vxtest::ProcessResult result;
    std::vector<std::string> lines;  // the install log, header included
};

PdiRun RunPdiWith(const std::string& sArguments)
{
    vxtest::ScratchDir temp("pdi");
    PdiRun run;
    std::string sCommandLine = "\"" + vxtest::PdiExePath() + "\"";
    if (!sArguments.empty()) sCommandLine += " " + sArguments;
    run.result = vxtest::RunProcess(sCommandLine, {{"TEMP", temp.Path()}, {"TMP", temp.Path()}});
    run.lines = vxtest::ReadLines(temp.File("vxvxdi00.log"));
    return run;
}

std::vector<std::string> ConditionsOf(const std::vector<std::string>& lines)
{
    std::vector<std::string> conditions;
    for (const std::string& sLine : lines)
    {
        const size_t i = sLine.find("]: Error --> ");
        if (i != std::string::npos) conditions.push_back(sLine.substr(i + 13));
    }
    return conditions;
}

// The three closing lines end every run.
void ExpectClosingLines(const PdiRun& run, const std::string& sCommandLineText, const char* pszOutcome)
{
    ASSERT_TRUE(run.result.fFinished);
    EXPECT_EQ(0u, run.result.dwExitCode);
    ASSERT_GE(run.lines.size(), 6u);
    const size_t n = run.lines.size();
    EXPECT_EQ("PDI Pathname = " + vxtest::PdiExePath(), run.lines[n - 3]);
    EXPECT_EQ("Command Line = " + sCommandLineText, run.lines[n - 2]);
    EXPECT_EQ(pszOutcome, run.lines[n - 1]);
}

}  // namespace

TEST(PdiEntry, NoArgumentsFails)
{
    PdiRun run = RunPdiWith("");
    ExpectClosingLines(run, "NULL", "The PDI Failed");
    ASSERT_EQ(7u, run.lines.size());
    EXPECT_TRUE(std::regex_match(run.lines[3], std::regex(R"(\[pdi_main\.cpp, Line \d+\]: Error --> \*lpszCmdLine == '\\0')")))
        << run.lines[3];
    EXPECT_EQ(std::vector<std::string>{"*lpszCmdLine == '\\0'"}, ConditionsOf(run.lines));
}

TEST(PdiEntry, MissingPortIsReportedAndTheFlowIsNotRun)
{
    const std::string sArgs = "-printerdriver=Model 1234 Series -product=Model";
    PdiRun run = RunPdiWith(sArgs);
    ExpectClosingLines(run, sArgs, "The PDI Failed");
    const std::vector<std::string> expected = {"sDriverName.empty()", "sDriverName.empty()", "fInstall == false"};
    EXPECT_EQ(expected, ConditionsOf(run.lines));
}

TEST(PdiEntry, StatusCodeIsAnnounced)
{
    const std::string sArgs = "-statuscode=5 -product=Model";
    PdiRun run = RunPdiWith(sArgs);
    ExpectClosingLines(run, sArgs, "The PDI Failed");
    ASSERT_GE(run.lines.size(), 5u);
    EXPECT_EQ("Glue passed a status code to the PDI", run.lines[3]);
    EXPECT_EQ("No recovery implemented -- exiting", run.lines[4]);
}

TEST(PdiEntry, AllThreeSwitchesReachTheInstallFlow)
{
    const std::string sArgs = "-printerdriver=Model 1234 Series -product=Model -port=USB001";
    PdiRun run = RunPdiWith(sArgs);
    ASSERT_TRUE(run.result.fFinished);
    EXPECT_EQ(0u, run.result.dwExitCode);
    const std::vector<std::string> conditions = ConditionsOf(run.lines);
    ASSERT_FALSE(conditions.empty());
    EXPECT_EQ("sDriverName.empty()", conditions.front());  // the statuscode probe
    for (const std::string& sCondition : conditions) EXPECT_NE("fInstall == false", sCondition);
    EXPECT_EQ("Command Line = " + sArgs, run.lines[run.lines.size() - 2]);
}

TEST(PdiEntry, SwitchesInAnyOrderAndCase)
{
    const std::string sArgs = "-PORT=LPT1: -Product=Model -PrinterDriver=Model 1234 Series";
    PdiRun run = RunPdiWith(sArgs);
    ASSERT_TRUE(run.result.fFinished);
    ASSERT_GE(run.lines.size(), 6u) << "no install log";
    EXPECT_EQ("Command Line = " + sArgs, run.lines[run.lines.size() - 2]);
    // The entry found all three switches, and so did the flow: without the Glue's keys it stops
    // only at the Glue's folder, after the status code's retries.
    const std::vector<std::string> conditions = ConditionsOf(run.lines);
    ASSERT_GE(conditions.size(), 3u);
    EXPECT_EQ("sDriverName.empty()", conditions.front());
    EXPECT_EQ(conditions.end(), std::find(conditions.begin(), conditions.end(), std::string("fInstall == false")));
    const std::vector<std::string> ending = {
        "RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false",
        "MimicLegacyGlue( sCmdLine ) == false"};
    EXPECT_EQ(ending, std::vector<std::string>(conditions.end() - 2, conditions.end()));
}

TEST(PdiEntry, HostileCommandLinesEndNormally)
{
    static const char* const kArguments[] = {
        "-printerdriver= -product= -port=",
        "-printerdriver=\"unbalanced -product=x -port=\"",
        "=== --- = -",
        "-printerdriver=\xe9\xe8\xff\x80 -product=\xa0 -port=\x81",
        "\"\"\"\"",
        "-port",
    };
    for (size_t i = 0; i < sizeof(kArguments) / sizeof(kArguments[0]); ++i)
    {
        PdiRun run = RunPdiWith(kArguments[i]);
        ASSERT_TRUE(run.result.fFinished) << i;
        EXPECT_EQ(0u, run.result.dwExitCode) << i;
        ASSERT_GE(run.lines.size(), 6u) << i;
        EXPECT_EQ("The PDI Failed", run.lines.back()) << i;
        EXPECT_EQ(0u, run.lines[run.lines.size() - 2].find("Command Line = ")) << i;
    }
}

TEST(PdiEntry, VeryLongCommandLineIsLoggedWhole)
{
    // Close to the 32767-character limit of a Windows command line.
    const std::string sArgs = "-printerdriver=" + std::string(32000, 'M') + " -product=Model";
    PdiRun run = RunPdiWith(sArgs);
    ExpectClosingLines(run, sArgs, "The PDI Failed");
}

TEST(PdiEntry, DoubleByteTextUnderCodePage932)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs a Japanese system (code page 932)";
    // "テスト" and a trail byte that is a backslash (0x5C) in code page 932.
    const std::string sName = "\x83\x65\x83\x58\x83\x67\x95\x5c";
    const std::string sArgs = "-printerdriver=" + sName + " -product=" + sName;
    PdiRun run = RunPdiWith(sArgs);
    ExpectClosingLines(run, sArgs, "The PDI Failed");
}
