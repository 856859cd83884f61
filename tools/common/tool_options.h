// The command line of the tools shipped beside the PDI: each tool describes its options in one
// table, and one parser reads them, so that --help, --version and a command line a tool cannot
// use are answered the same way by every tool.
#ifndef TOOLS_COMMON_TOOL_OPTIONS_H
#define TOOLS_COMMON_TOOL_OPTIONS_H

#include <cstddef>
#include <string>
#include <vector>

namespace vxtool
{

// The exit code of every tool for a command line it cannot use.
const int kExitUsage = 2;

struct OptionSpec
{
    const char* pszName;   // "--html"
    const char* pszValue;  // the value as the usage names it ("<report.html>"); null for a switch
    const char* pszHelp;   // its line in the usage; further lines after "\n"
};

struct ToolSpec
{
    const char* pszName;      // "vxlogview"
    const char* pszSynopsis;  // what follows the name in the usage; a further form after "\n"
    const char* pszOperands;  // the operands explained, a line each; may be null
    const OptionSpec* pOptions;
    size_t cOptions;
    size_t cMaxOperands;
    const char* pszEpilogue;  // the usage's last lines: exit codes and the like
};

// A command line read against a tool's table: options by their index in it.
class ParsedCommandLine
{
public:
    bool Has(size_t iOption) const;
    // The value given last; empty for an option not given.
    const std::string& Value(size_t iOption) const;
    const std::vector<std::string>& Operands() const { return m_operands; }

private:
    friend bool ParseCommandLine(const ToolSpec&, int, char**, ParsedCommandLine*, std::string*);
    std::vector<bool> m_given;
    std::vector<std::string> m_values;
    std::vector<std::string> m_operands;
};

// Reads argv[1..argc) against the tool's table. Options are "--name", "--name value" or
// "--name=value"; any other argument is an operand. False with the reason for an unknown
// option, a missing or unwanted value, or more operands than the tool takes.
bool ParseCommandLine(const ToolSpec& tool, int argc, char** argv, ParsedCommandLine* pLine, std::string* psProblem);

// The usage: synopsis, operands, every option of the table with --help and --version, epilogue.
std::string UsageText(const ToolSpec& tool);

// "14.0.0.0": the file version of this program's version resource; "unknown" without one.
std::string ProgramVersion();

// What main does first: --help prints the usage on standard output, --version the version,
// both with exit code 0; a command line that cannot be read prints the reason and the usage on
// standard error, exit code kExitUsage. True when the tool should run; otherwise *piExitCode is
// the program's exit code.
bool ReadCommandLine(const ToolSpec& tool, int argc, char** argv, ParsedCommandLine* pLine, int* piExitCode);

// A command line the tool refuses after reading it: the reason and the usage on standard
// error. Returns kExitUsage.
int UsageError(const ToolSpec& tool, const std::string& sProblem);

}  // namespace vxtool

#endif
