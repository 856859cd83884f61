// vxmedcheck: reads an install medium as the PDI reads it and reports what in its files the
// PDI will not read as the author meant, then in short what the PDI does per release and
// language. It writes no file but the trace it is asked for.
#include <cstdio>
#include <string>
#include <vector>

#include "checker.h"
#include "diag/trace_log.h"
#include "releases.h"
#include "tool_options.h"

namespace
{

// What --trace switches on: the categories the PDI's "-log 0xaf" gives.
const DWORD kTraceMask = TRACE_KEY | TRACE_ENTRY | TRACE_EXIT | TRACE_FAILURE | TRACE_DETAIL | TRACE_GENERAL;

// Indexes into the option table.
enum
{
    eOptionRelease,
    eOptionLanguage,
    eOptionJson,
    eOptionVerbose,
    eOptionTrace,
    eOptionCount
};

const std::string kReleaseHelp = "as this release only (all by default):\n" + medcheck::ReleaseNames() + "|all";

const vxtool::OptionSpec kOptions[eOptionCount] = {
    {"--release", "<name>", kReleaseHelp.c_str()},
    {"--language", "<0x0409>", "in this system language only (by default every one\nof the medium's LanguageMap)"},
    {"--json", nullptr, "every finding, notes included, as one JSON object"},
    {"--verbose", nullptr, "also the notes: what the PDI does per release and\nlanguage, at length"},
    {"--trace", nullptr, "write the library's trace (vxmedcNNN.log in the\ntemporary folder)"},
};

const vxtool::ToolSpec kTool = {
    "vxmedcheck",
    "<medium folder> [options]",
    "  <medium folder>  the medium's root, the folder that holds autorun.inf\n",
    kOptions,
    eOptionCount,
    1,
    "exit code: 0 clean, 1 warnings only, 2 errors (or a command line it cannot use)\n",
};

}  // namespace

int main(int argc, char** argv)
{
    vxtool::ParsedCommandLine line;
    int iExitCode = 0;
    if (!vxtool::ReadCommandLine(kTool, argc, argv, &line, &iExitCode)) return iExitCode;
    g_TraceLog.SetMask(line.Has(eOptionTrace) ? kTraceMask : 0);
    if (line.Operands().empty()) return vxtool::UsageError(kTool, "no medium folder given");
    const std::string sRelease = line.Has(eOptionRelease) ? line.Value(eOptionRelease) : "all";
    const std::string sLanguage = line.Has(eOptionLanguage) ? line.Value(eOptionLanguage) : "all";

    medcheck::FindingList findings;
    medcheck::Medium medium;
    std::vector<medcheck::ReleaseOutcome> outcomes;
    std::string sProblem;
    if (!medcheck::CheckMediumFolder(line.Operands()[0], sRelease, sLanguage, medium, findings, &sProblem, &outcomes))
        return vxtool::UsageError(kTool, sProblem);
    if (line.Has(eOptionJson))
        medcheck::PrintJson(stdout, medium.Root(), findings);
    else
        medcheck::PrintText(stdout, findings, medcheck::ReleaseTable(outcomes), line.Has(eOptionVerbose));
    std::fflush(stdout);
    return findings.ExitCode();
}
