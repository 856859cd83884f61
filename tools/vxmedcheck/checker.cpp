#include "checker.h"

#include <vector>

#include "medium_checks.h"
#include "model_checks.h"
#include "release_checks.h"
#include "releases.h"

namespace medcheck
{

namespace
{

bool SelectReleases(const std::string& sRelease, std::vector<const ReleaseInfo*>* pReleases)
{
    if (CVxCiString(sRelease.c_str()) == "all")
    {
        for (const ReleaseInfo& release : AllReleases()) pReleases->push_back(&release);
        return true;
    }
    const ReleaseInfo* pRelease = FindRelease(sRelease);
    if (pRelease) pReleases->push_back(pRelease);
    return pRelease != NULL;
}

bool SelectLanguages(const std::string& sLanguage, const Medium& medium, std::vector<WORD>* pLanguages)
{
    if (CVxCiString(sLanguage.c_str()) == "all")
    {
        *pLanguages = MediumLanguages(medium);
        return true;
    }
    WORD wLanguage = 0;
    if (!ParseLanguage(sLanguage, &wLanguage)) return false;
    pLanguages->push_back(wLanguage);
    return true;
}

void CheckMedium(const Medium& medium, const std::vector<const ReleaseInfo*>& releases,
                 const std::vector<WORD>& languages, FindingList& findings, std::vector<ReleaseOutcome>* pOutcomes)
{
    CheckProductSignal(medium, findings);
    CheckInstallFlags(medium, findings);
    CheckLanguages(medium, findings);
    CheckInstallerAndPdi(medium, findings);
    CheckPatchSections(medium, findings);
    CheckModels(medium, findings);
    const PdiStrings strings(medium);
    for (const ReleaseInfo* pRelease : releases)
    {
        for (WORD wLanguage : languages)
        {
            const ReleaseOutcome outcome = CheckRelease(medium, *pRelease, wLanguage, strings, findings);
            if (pOutcomes) pOutcomes->push_back(outcome);
        }
    }
}

}  // namespace

bool CheckMediumFolder(const std::string& sFolder, const std::string& sRelease, const std::string& sLanguage,
                       Medium& medium, FindingList& findings, std::string* psProblem,
                       std::vector<ReleaseOutcome>* pOutcomes)
{
    std::vector<const ReleaseInfo*> releases;
    if (!SelectReleases(sRelease, &releases))
    {
        *psProblem = "no release \"" + sRelease + "\"";
        return false;
    }
    if (!medium.Open(sFolder, findings)) return true;
    std::vector<WORD> languages;
    if (!SelectLanguages(sLanguage, medium, &languages))
    {
        *psProblem = "no language \"" + sLanguage + "\"";
        return false;
    }
    if (medium.Inf().fRead) CheckMedium(medium, releases, languages, findings, pOutcomes);
    return true;
}

}  // namespace medcheck
