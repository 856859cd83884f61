// The whole check of a medium, as the program runs it: the releases and languages asked for,
// then every check in the order the output shows them.
#ifndef VXMEDCHECK_CHECKER_H
#define VXMEDCHECK_CHECKER_H

#include <string>
#include <vector>

#include "findings.h"
#include "medium.h"
#include "release_table.h"

namespace medcheck
{

// Checks the medium in sFolder as sRelease ("all" or a name of ReleaseNames) and in sLanguage
// ("all" or "0x0409"). False, with the problem in *psProblem, for a release or language the
// checker does not know; a missing medium is a finding.
// *pOutcomes, when given, gets what the PDI does per release and language, in short.
bool CheckMediumFolder(const std::string& sFolder, const std::string& sRelease, const std::string& sLanguage,
                       Medium& medium, FindingList& findings, std::string* psProblem,
                       std::vector<ReleaseOutcome>* pOutcomes = nullptr);

}  // namespace medcheck

#endif
