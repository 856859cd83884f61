#include "infrastructure/os_patches.h"

#include <cstdio>
#include <cstring>

#include "infrastructure/qualified_values.h"

namespace
{

const char kSection[] = "OSPatches";

void CopyBounded(char* pszOut, size_t cbOut, const char* pszText)
{
    std::snprintf(pszOut, cbOut, "%s", pszText ? pszText : "");
}

}  // namespace

void BuildOSPatchQualifiers(const CReleaseFacts& facts, const CFactory& languageMap, COSPatchQualifiers* pQualifiers)
{
    if (!pQualifiers) return;
    char szOs[QUALIFIER_BUFFER_SIZE] = "";
    char szServicePack[QUALIFIER_BUFFER_SIZE] = "";
    BuildOSQualifierFor(szOs, facts);
    if (IsNTRelease(facts)) BuildServicePackQualifierFor(szServicePack, facts);
    std::snprintf(pQualifiers->szSystem, sizeof(pQualifiers->szSystem), "%s%s", szOs, szServicePack);

    WORD wLangId = facts.wLanguage;
    pQualifiers->szLanguageName[0] = '\0';
    const char* pszLanguage = languageMap.Get3LetterLanguage(wLangId);
    if (pszLanguage && *pszLanguage)
    {
        // Copied first: the factory's text lives only until its next Init.
        CopyBounded(pQualifiers->szLanguageName, sizeof(pQualifiers->szLanguageName), pszLanguage);
        wLangId = languageMap.GetLanguageId(pQualifiers->szLanguageName);
    }
    std::snprintf(pQualifiers->szLanguage, sizeof(pQualifiers->szLanguage), "0x%x", static_cast<unsigned>(wLangId));
    std::snprintf(pQualifiers->szWithLanguage, sizeof(pQualifiers->szWithLanguage), "%s.%s", pQualifiers->szSystem,
                  pQualifiers->szLanguage);
}

const char* ChooseOSPatchQualifier(const char* pszInfPath, const COSPatchQualifiers& qualifiers)
{
    char szFirst[260] = "";
    if (GetValueByQualifier(pszInfPath, kSection, qualifiers.szWithLanguage + 1, "1", szFirst, sizeof(szFirst)))
        return qualifiers.szWithLanguage + 1;
    return qualifiers.szSystem + 1;
}

void LoadOSPatchList(const char* pszInfPath, const COSPatchQualifiers& qualifiers, CVxCiStringList& patches)
{
    LoadStringList(pszInfPath, kSection, ChooseOSPatchQualifier(pszInfPath, qualifiers), patches, 0, TRUE);
}
