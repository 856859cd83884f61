// Which "OSPatches" list of an install medium a release runs: the one qualified by release and
// language when its first entry exists, else the one qualified by release alone (each falling
// back to the plain section key by key). The PDI and the medium checker share this rule.
#ifndef INFRASTRUCTURE_OS_PATCHES_H
#define INFRASTRUCTURE_OS_PATCHES_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/factory.h"
#include "infrastructure/release_facts.h"
#include "infrastructure/vxinfra_api.h"

// The qualifiers of the lists, each with its leading dot except the language.
struct COSPatchQualifiers
{
    char szSystem[64];        // ".501.2": the OS, and on the NT family the service pack
    char szLanguage[32];      // "0x409": the map's identifier for the map's name of the language
    char szWithLanguage[96];  // ".501.2.0x409"
    char szLanguageName[8];   // the map's name of the release's language; "" when it gave none
};

// The release's qualifiers; the language goes through the map of languageMap's data files.
VXINFRA_API void BuildOSPatchQualifiers(const CReleaseFacts& facts, const CFactory& languageMap,
                                        COSPatchQualifiers* pQualifiers);
// The qualifier (without its dot) the list is read with; points into qualifiers.
VXINFRA_API const char* ChooseOSPatchQualifier(const char* pszInfPath, const COSPatchQualifiers& qualifiers);
// The chosen list's entries, lower case, in key order, appended to patches.
VXINFRA_API void LoadOSPatchList(const char* pszInfPath, const COSPatchQualifiers& qualifiers,
                                 CVxCiStringList& patches);

#endif
