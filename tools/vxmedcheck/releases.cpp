#include "releases.h"

#include <cctype>
#include <cstdlib>

namespace medcheck
{

namespace
{

const WORD kEnglish = 0x0409;

ReleaseInfo Release(const char* pszName, DWORD dwPlatform, DWORD dwMajor, DWORD dwMinor, DWORD dwBuild,
                    WORD wServicePack, BOOL f64Bit)
{
    ReleaseInfo release;
    release.pszName = pszName;
    release.facts.dwPlatformId = dwPlatform;
    release.facts.dwMajorVersion = dwMajor;
    release.facts.dwMinorVersion = dwMinor;
    release.facts.dwBuildNumber = dwBuild;
    release.facts.wServicePackMajor = wServicePack;
    release.facts.f64Bit = f64Bit;
    release.facts.wLanguage = kEnglish;
    return release;
}

}  // namespace

const std::vector<ReleaseInfo>& AllReleases()
{
    // The 9x family carries its version in the build number's high word.
    static const std::vector<ReleaseInfo> s_releases = {
        Release("win95", VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0x040003B6, 0, FALSE),
        Release("win98", VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0x040A08AE, 0, FALSE),
        Release("winme", VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0x045A0BB8, 0, FALSE),
        Release("nt40", VER_PLATFORM_WIN32_NT, 4, 0, 1381, 6, FALSE),
        Release("win2k", VER_PLATFORM_WIN32_NT, 5, 0, 2195, 4, FALSE),
        Release("winxp", VER_PLATFORM_WIN32_NT, 5, 1, 2600, 3, FALSE),
        // A 5.2 workstation under WOW64: the version record reads 5.1.
        Release("winxp64", VER_PLATFORM_WIN32_NT, 5, 1, 3790, 2, TRUE),
        Release("win2003", VER_PLATFORM_WIN32_NT, 5, 2, 3790, 2, FALSE),
    };
    return s_releases;
}

std::string ReleaseNames()
{
    std::string sNames;
    for (const ReleaseInfo& release : AllReleases()) sNames += (sNames.empty() ? "" : "|") + std::string(release.pszName);
    return sNames;
}

const ReleaseInfo* FindRelease(const std::string& sName)
{
    for (const ReleaseInfo& release : AllReleases())
    {
        if (CVxCiString(release.pszName) == sName.c_str()) return &release;
    }
    return NULL;
}

std::vector<WORD> MediumLanguages(const Medium& medium)
{
    std::vector<WORD> languages;
    const ScannedSection* pMap = medium.Inf().Section("LanguageMap");
    for (size_t i = 0; pMap && i < pMap->keys.size(); ++i)
    {
        WORD wLanguage = 0;
        if (!ParseLanguage(pMap->keys[i].sKey, &wLanguage)) continue;
        bool fSeen = false;
        for (WORD w : languages) fSeen = fSeen || w == wLanguage;
        if (!fSeen) languages.push_back(wLanguage);
    }
    if (languages.empty()) languages.push_back(kEnglish);
    return languages;
}

std::string LanguageText(WORD wLanguage) { return Format("0x%4.4X", static_cast<unsigned>(wLanguage)); }

bool ParseLanguage(const std::string& sText, WORD* pwLanguage)
{
    std::string sDigits = sText;
    if (sDigits.size() > 2 && sDigits[0] == '0' && (sDigits[1] == 'x' || sDigits[1] == 'X')) sDigits = sDigits.substr(2);
    if (sDigits.empty() || sDigits.size() > 4) return false;
    for (char c : sDigits)
    {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    const unsigned long ul = std::strtoul(sDigits.c_str(), NULL, 16);
    if (ul == 0) return false;
    *pwLanguage = static_cast<WORD>(ul);
    return true;
}

}  // namespace medcheck
