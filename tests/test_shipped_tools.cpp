// What the tools shipped beside the PDI do alike: one option parser reads their tables, --help
// and --version answer on standard output, a command line they cannot use is refused on
// standard error, and a run leaves the temporary folder as it found it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/medium.h"
#include "support/test_support.h"
#include "tool_options.h"

namespace
{

struct Tool
{
    const char* pszName;
    const char* pszExeVariable;
    std::string sRun;  // arguments of an ordinary run that reads and writes nothing it is not asked to
};

// The checker runs on sMedium.
std::vector<Tool> Tools(const std::string& sMedium = std::string())
{
    return {{"vxmedcheck", "VX_MEDCHECK_EXE", "\"" + sMedium + "\""}, {"vxlogview", "VX_LOGVIEW_EXE", "--find"}};
}

vxtest::ConsoleResult RunTool(const Tool& tool, const std::string& sArguments, const std::string& sTemp = std::string())
{
    vxtest::ConsoleOptions options;
    options.fErrorApart = true;
    if (!sTemp.empty()) options.environment = {{"TEMP", sTemp}, {"TMP", sTemp}};
    return vxtest::RunConsole("\"" + vxtest::WinPathFromUnix(vxtest::Env(tool.pszExeVariable)) + "\" " + sArguments, options);
}

// The file version of the tool's own version resource.
std::string ResourceVersion(const Tool& tool)
{
    const std::string sPath = vxtest::WinPathFromUnix(vxtest::Env(tool.pszExeVariable));
    DWORD dwHandle = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(sPath.c_str(), &dwHandle));
    void* pValue = NULL;
    UINT cbValue = 0;
    if (info.empty() || !GetFileVersionInfoA(sPath.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) ||
        !VerQueryValueA(info.data(), "\\", &pValue, &cbValue))
        return "no version resource";
    const VS_FIXEDFILEINFO* pFixed = static_cast<const VS_FIXEDFILEINFO*>(pValue);
    return std::to_string(HIWORD(pFixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(pFixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(pFixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(pFixed->dwFileVersionLS));
}

}  // namespace

// The parser on a table of two options: forms of values, and each way a command line is refused.
TEST(ToolOptions, ParsesTheTableAndRefusesWhatItCannotUse)
{
    const vxtool::OptionSpec options[] = {{"--out", "<file>", "where"}, {"--quiet", nullptr, "less"}};
    const vxtool::ToolSpec tool = {"tool", "<in>", nullptr, options, 2, 1, ""};
    const struct
    {
        std::vector<const char*> arguments;
        const char* pszProblem;  // "" when the line is read
        const char* pszOut;      // --out's value
        bool fQuiet;
        const char* pszOperand;
    } cases[] = {
        {{"a", "--out", "b"}, "", "b", false, "a"},
        {{"--out=b=c", "--quiet", "a"}, "", "b=c", true, "a"},
        {{"--out", "x", "--out", "y"}, "", "y", false, ""},
        {{"--out="}, "", "", false, ""},
        {{"a", "b"}, "cannot use \"b\": too many arguments", "", false, ""},
        {{"--outfile"}, "unknown option \"--outfile\"", "", false, ""},
        {{"a", "--out"}, "--out needs a value <file>", "", false, ""},
        {{"--quiet=1"}, "--quiet takes no value", "", false, ""},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        std::vector<char*> argv = {const_cast<char*>("tool")};
        for (const char* psz : cases[i].arguments) argv.push_back(const_cast<char*>(psz));
        vxtool::ParsedCommandLine line;
        std::string sProblem;
        const bool fRead = vxtool::ParseCommandLine(tool, static_cast<int>(argv.size()), argv.data(), &line, &sProblem);
        EXPECT_EQ(*cases[i].pszProblem == '\0', fRead) << "case " << i;
        EXPECT_EQ(cases[i].pszProblem, sProblem) << "case " << i;
        if (!fRead) continue;
        EXPECT_EQ(cases[i].pszOut, line.Value(0)) << "case " << i;
        EXPECT_EQ(cases[i].fQuiet, line.Has(1)) << "case " << i;
        EXPECT_EQ(*cases[i].pszOperand ? std::vector<std::string>{cases[i].pszOperand} : std::vector<std::string>(), line.Operands())
            << "case " << i;
    }
}

// --help: the usage on standard output, exit code 0; --version: the file version of the
// tool's resource; an unknown option: the reason and the usage on standard error, exit code 2.
TEST(ShippedTools, AnswerHelpVersionAndUnknownOptions)
{
    for (const Tool& tool : Tools())
    {
        SCOPED_TRACE(tool.pszName);
        const std::string sUsage = std::string("usage: ") + tool.pszName + " ";
        const vxtest::ConsoleResult help = RunTool(tool, "--help");
        EXPECT_EQ(0u, help.dwExitCode);
        EXPECT_EQ(0u, help.sOutput.find(sUsage)) << help.sOutput;
        EXPECT_NE(std::string::npos, help.sOutput.find("\r\n  --version ")) << help.sOutput;
        EXPECT_EQ("", help.sError);

        const vxtest::ConsoleResult version = RunTool(tool, "--version");
        EXPECT_EQ(0u, version.dwExitCode);
        EXPECT_EQ(std::string(tool.pszName) + " " + ResourceVersion(tool) + "\r\n", version.sOutput);
        EXPECT_EQ("14.0.0.0", ResourceVersion(tool));

        const vxtest::ConsoleResult unknown = RunTool(tool, "--frobnicate");
        EXPECT_EQ(2u, unknown.dwExitCode);
        EXPECT_EQ("", unknown.sOutput);
        EXPECT_EQ(0u, unknown.sError.find(std::string(tool.pszName) + ": unknown option \"--frobnicate\"\r\n" + sUsage))
            << unknown.sError;
    }
}

// A run writes no trace or other file it was not asked for: the temporary folder stays empty,
// also for a medium whose debug settings switch the PDI's tracing on. --trace writes one.
TEST(ShippedTools, LeaveTheTemporaryFolderAsTheyFoundIt)
{
    const vxtest::ScratchMedium medium("[Version]\r\nLog=0xaf\r\nInfrastructureDatabaseList=models.dat\r\n",
                                       "[Models]\r\n");
    for (const Tool& tool : Tools(medium.Root()))
    {
        SCOPED_TRACE(tool.pszName);
        vxtest::ScratchDir temp("tooltemp");
        const vxtest::ConsoleResult result = RunTool(tool, tool.sRun, temp.Path());
        EXPECT_TRUE(result.fFinished);
        EXPECT_EQ(std::vector<std::string>(), vxtest::ListFiles(temp.File("*"))) << result.sOutput << result.sError;
    }
    vxtest::ScratchDir temp("tooltemp");
    RunTool(Tools(medium.Root())[0], "--trace \"" + medium.Root() + "\"", temp.Path());
    EXPECT_EQ(std::vector<std::string>({"vxmedc000.log"}), vxtest::ListFiles(temp.File("*")));
}
