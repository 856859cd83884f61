// The releases the checker can ask about, with the version facts each reports at its last
// service pack (as Wine's release settings report them too), and the languages of a medium.
#ifndef VXMEDCHECK_RELEASES_H
#define VXMEDCHECK_RELEASES_H

#include <string>
#include <vector>

#include "infrastructure/release_facts.h"
#include "medium.h"

namespace medcheck
{

struct ReleaseInfo
{
    const char* pszName;  // "winxp"
    CReleaseFacts facts;  // wLanguage is set per check
};

const std::vector<ReleaseInfo>& AllReleases();
// "win95|win98|...": the names, in order, as the usage text lists them.
std::string ReleaseNames();
// Null for a name the checker does not know.
const ReleaseInfo* FindRelease(const std::string& sName);

// The identifiers of the medium's "LanguageMap", in file order, each once; U.S. English when
// the map names none.
std::vector<WORD> MediumLanguages(const Medium& medium);
// "0x0409"
std::string LanguageText(WORD wLanguage);
// "0x0409" or "0409" to 0x0409; false for anything else.
bool ParseLanguage(const std::string& sText, WORD* pwLanguage);

}  // namespace medcheck

#endif
