// vxmedcheck: reads an install medium as the PDI reads it and reports, per file, per release
// and per language, what the PDI will do with it and what the author probably did not mean.
//
//   vxmedcheck <medium folder> [--release <name>|all] [--language 0x0409|all] [--json]
//
// Exit code: 0 clean, 1 warnings only, 2 errors (or a command line it cannot use).
#include <cstdio>
#include <string>

#include "checker.h"
#include "releases.h"

namespace
{

const int kUsageExitCode = 2;

struct Options
{
    std::string sFolder;
    std::string sRelease = "all";
    std::string sLanguage = "all";
    bool fJson = false;
};

int Usage(const char* pszProblem)
{
    std::fprintf(stderr, "vxmedcheck: %s\n", pszProblem);
    std::fprintf(stderr,
                 "usage: vxmedcheck <medium folder> [--release %s|all]\n"
                 "                  [--language 0x0409|...|all] [--json]\n",
                 medcheck::ReleaseNames().c_str());
    return kUsageExitCode;
}

bool ParseOptions(int argc, char** argv, Options* pOptions, std::string* psProblem)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string sArgument = argv[i];
        if (sArgument == "--json")
            pOptions->fJson = true;
        else if ((sArgument == "--release" || sArgument == "--language") && i + 1 < argc)
            (sArgument == "--release" ? pOptions->sRelease : pOptions->sLanguage) = argv[++i];
        else if (sArgument.compare(0, 2, "--") != 0 && pOptions->sFolder.empty())
            pOptions->sFolder = sArgument;
        else
        {
            *psProblem = "cannot use \"" + sArgument + "\"";
            return false;
        }
    }
    if (pOptions->sFolder.empty())
    {
        *psProblem = "no medium folder given";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string sProblem;
    if (!ParseOptions(argc, argv, &options, &sProblem)) return Usage(sProblem.c_str());
    medcheck::FindingList findings;
    medcheck::Medium medium;
    if (!medcheck::CheckMediumFolder(options.sFolder, options.sRelease, options.sLanguage, medium, findings, &sProblem))
        return Usage(sProblem.c_str());
    if (options.fJson)
        medcheck::PrintJson(stdout, medium.Root(), findings);
    else
        medcheck::PrintText(stdout, findings);
    std::fflush(stdout);
    return findings.ExitCode();
}
