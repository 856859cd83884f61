// What the PDI does on each release in each language, in short: the patch section it reads,
// its patches, and for how many models it asks the default-printer question. The notes tell
// the same at length (--verbose).
#ifndef VXMEDCHECK_RELEASE_TABLE_H
#define VXMEDCHECK_RELEASE_TABLE_H

#include <string>
#include <vector>

namespace medcheck
{

struct ReleaseOutcome
{
    std::string sRelease;   // "winxp"
    std::string sLanguage;  // "0x0409"
    std::string sSection;   // "OSPatches.501.3.0xc0a"
    unsigned nPatches = 0;
    unsigned nModels = 0;
    unsigned nAsked = 0;  // models for which the question is asked
};

// The table's lines: a row per release, a column per group of languages whose rows are alike;
// empty without outcomes.
std::string ReleaseTable(const std::vector<ReleaseOutcome>& outcomes);

}  // namespace medcheck

#endif
