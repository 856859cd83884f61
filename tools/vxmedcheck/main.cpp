// vxmedcheck: reads an install medium as the PDI reads it and reports, per file, per release
// and per language, what the PDI will do with it and what the author probably did not mean.
//
//   vxmedcheck <medium folder> [--release <name>|all] [--language 0x0409|all] [--json]
//
// Exit code: 0 clean, 1 warnings only, 2 errors (or a command line it cannot use).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "findings.h"
#include "medium.h"
#include "medium_checks.h"
#include "model_checks.h"
#include "release_checks.h"
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
                 "usage: vxmedcheck <medium folder> [--release win95|win98|winme|nt40|win2k|winxp|winxp64|win2003|all]\n"
                 "                  [--language 0x0409|...|all] [--json]\n");
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

bool SelectReleases(const std::string& sRelease, std::vector<const medcheck::ReleaseInfo*>* pReleases)
{
    if (CVxCiString(sRelease.c_str()) == "all")
    {
        for (const medcheck::ReleaseInfo& release : medcheck::AllReleases()) pReleases->push_back(&release);
        return true;
    }
    const medcheck::ReleaseInfo* pRelease = medcheck::FindRelease(sRelease);
    if (pRelease) pReleases->push_back(pRelease);
    return pRelease != NULL;
}

bool SelectLanguages(const std::string& sLanguage, const medcheck::Medium& medium, std::vector<WORD>* pLanguages)
{
    if (CVxCiString(sLanguage.c_str()) == "all")
    {
        *pLanguages = medcheck::MediumLanguages(medium);
        return true;
    }
    WORD wLanguage = 0;
    if (!medcheck::ParseLanguage(sLanguage, &wLanguage)) return false;
    pLanguages->push_back(wLanguage);
    return true;
}

void CheckMedium(const medcheck::Medium& medium, const std::vector<const medcheck::ReleaseInfo*>& releases,
                 const std::vector<WORD>& languages, medcheck::FindingList& findings)
{
    medcheck::CheckProductSignal(medium, findings);
    medcheck::CheckInstallFlags(medium, findings);
    medcheck::CheckLanguages(medium, findings);
    medcheck::CheckInstallerAndPdi(medium, findings);
    medcheck::CheckPatchSections(medium, findings);
    medcheck::CheckModels(medium, findings);
    const medcheck::PdiStrings strings(medium);
    for (const medcheck::ReleaseInfo* pRelease : releases)
    {
        for (WORD wLanguage : languages) medcheck::CheckRelease(medium, *pRelease, wLanguage, strings, findings);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string sProblem;
    if (!ParseOptions(argc, argv, &options, &sProblem)) return Usage(sProblem.c_str());
    std::vector<const medcheck::ReleaseInfo*> releases;
    if (!SelectReleases(options.sRelease, &releases)) return Usage(("no release \"" + options.sRelease + "\"").c_str());

    medcheck::FindingList findings;
    medcheck::Medium medium;
    if (medium.Open(options.sFolder, findings))
    {
        std::vector<WORD> languages;
        if (!SelectLanguages(options.sLanguage, medium, &languages))
            return Usage(("no language \"" + options.sLanguage + "\"").c_str());
        if (medium.Inf().fRead) CheckMedium(medium, releases, languages, findings);
    }
    if (options.fJson)
        medcheck::PrintJson(stdout, medium.Root(), findings);
    else
        medcheck::PrintText(stdout, findings);
    std::fflush(stdout);
    return findings.ExitCode();
}
