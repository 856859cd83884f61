#include "medium_checks.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

#include "infrastructure/os_patches.h"
#include "releases.h"

namespace medcheck
{

namespace
{

const char kVersion[] = "Version";
const size_t kSignalPartBytes = 4;  // DIVISION and LAST_IO_REVISION are read into 5-byte buffers

unsigned VersionLine(const Medium& medium, const char* pszKey)
{
    const unsigned nLine = medium.Inf().KeyLine(kVersion, pszKey);
    return nLine ? nLine : medium.Inf().SectionLine(kVersion);
}

std::string Upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool IsDecimal(const std::string& s)
{
    if (s.empty()) return false;
    for (char c : s)
    {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool IsGuid(const std::string& s)
{
    static const char kShape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (s.size() != sizeof(kShape) - 1) return false;
    for (size_t i = 0; i < s.size(); ++i)
    {
        const bool fHex = std::isxdigit(static_cast<unsigned char>(s[i])) != 0;
        if (kShape[i] == 'X' ? !fHex : s[i] != kShape[i]) return false;
    }
    return true;
}

// "0x" and four hexadecimal digits: the only form the map's lookups find.
bool IsMapKey(const std::string& s)
{
    if (s.size() != 6 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    for (size_t i = 2; i < 6; ++i)
    {
        if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    }
    return true;
}

// The three-letter names written in "LanguagesInthisCD", in any separator style.
std::vector<std::string> LanguageNames(const std::string& sList)
{
    std::vector<std::string> names;
    std::string sName;
    for (size_t i = 0; i <= sList.size(); ++i)
    {
        const char c = i < sList.size() ? sList[i] : ' ';
        if (std::isalpha(static_cast<unsigned char>(c)))
        {
            sName += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            continue;
        }
        if (!sName.empty()) names.push_back(sName);
        sName.clear();
    }
    return names;
}

void CheckLanguageMapEntries(const Medium& medium, const std::string& sOnMedium, FindingList& findings)
{
    const ScannedSection* pMap = medium.Inf().Section("LanguageMap");
    if (!pMap || pMap->keys.empty())
    {
        findings.Add(eWarning, medium.Inf().sName, 0, "language-map-missing",
                     "there is no \"LanguageMap\": every language is answered with the default language");
        return;
    }
    for (const ScannedKey& entry : pMap->keys)
    {
        if (!IsMapKey(entry.sKey))
            findings.Add(eWarning, medium.Inf().sName, entry.nLine, "language-map-key",
                         Format("\"%s\" is not written as 0x and four hexadecimal digits: the map never finds it",
                                entry.sKey.c_str()));
        const std::string sName = Upper(entry.sValue.substr(0, 3));  // the map keeps three characters
        if (sName.empty() || sOnMedium.find(sName) == std::string::npos)
            findings.Add(eWarning, medium.Inf().sName, entry.nLine, "language-absent",
                         Format("%s maps to \"%s\", which \"LanguagesInthisCD\" does not carry: the PDI uses the "
                                "default language for it",
                                entry.sKey.c_str(), entry.sValue.c_str()));
    }
}

void AddNumbers(const ScannedSection* pSection, std::set<long>& numbers)
{
    for (size_t i = 0; pSection && i < pSection->keys.size(); ++i)
    {
        if (IsDecimal(pSection->keys[i].sKey)) numbers.insert(std::strtol(pSection->keys[i].sKey.c_str(), NULL, 10));
    }
}

// A qualified list takes each missing key from the plain section, so only a number that
// neither has ends the list.
void CheckListGaps(const Medium& medium, const char* pszSection, const ScannedSection& section, FindingList& findings)
{
    std::set<long> numbers;
    AddNumbers(&section, numbers);
    AddNumbers(medium.Inf().Section("OSPatches"), numbers);
    long nExpected = 1;
    for (long n : numbers)
    {
        if (n != nExpected)
        {
            const std::string sKey = Format("%ld", n);
            findings.Add(eError, medium.Inf().sName, medium.Inf().KeyLine(pszSection, sKey.c_str()), "patch-never-read",
                         Format("[%s] has no key %ld: the list ends there, and \"%s\" and the keys after it are "
                                "never read",
                                pszSection, nExpected, sKey.c_str()));
            return;
        }
        ++nExpected;
    }
}

}  // namespace

void CheckProductSignal(const Medium& medium, FindingList& findings)
{
    std::string sDivision, sRevision;
    const bool fDivision = medium.VersionValue("DIVISION", &sDivision);
    const bool fRevision = medium.VersionValue("LAST_IO_REVISION", &sRevision);
    const std::string& sFile = medium.Inf().sName;
    if (!fDivision && !fRevision)
    {
        findings.Add(eError, sFile, VersionLine(medium, "DIVISION"), "signal-missing",
                     "\"Version\" has neither \"DIVISION\" nor \"LAST_IO_REVISION\": the PDI cannot tell the "
                     "product that the install has finished");
        return;
    }
    if (!fDivision)
        findings.Add(eWarning, sFile, VersionLine(medium, "DIVISION"), "signal-part-missing",
                     "\"Version\" has no \"DIVISION\": the product signal begins with \"_\"");
    if (!fRevision)
        findings.Add(eWarning, sFile, VersionLine(medium, "LAST_IO_REVISION"), "signal-part-missing",
                     "\"Version\" has no \"LAST_IO_REVISION\": the product signal ends in 00");
    if (sDivision.size() > kSignalPartBytes)
        findings.Add(eWarning, sFile, VersionLine(medium, "DIVISION"), "signal-cut",
                     Format("\"DIVISION\" is \"%s\": the PDI keeps its first four characters", sDivision.c_str()));
    if (sRevision.size() > kSignalPartBytes || (fRevision && !IsDecimal(sRevision)))
        findings.Add(eWarning, sFile, VersionLine(medium, "LAST_IO_REVISION"), "signal-cut",
                     Format("\"LAST_IO_REVISION\" is \"%s\": the PDI reads a number of at most four digits",
                            sRevision.c_str()));
    const std::string sDivisionKept = sDivision.substr(0, kSignalPartBytes);
    const std::string sRevisionKept = sRevision.substr(0, kSignalPartBytes);
    findings.Add(eNote, sFile, VersionLine(medium, "DIVISION"), "signal",
                 Format("the PDI signals the product as \"%s_PNPFinishedEvent_%2.2d\"", sDivisionKept.c_str(),
                        static_cast<int>(std::strtol(sRevisionKept.c_str(), NULL, 10))));
}

void CheckInstallFlags(const Medium& medium, FindingList& findings)
{
    const std::string& sFile = medium.Inf().sName;
    std::string sSilent;
    if (!medium.VersionValue("SilentInstall", &sSilent))
        findings.Add(eNote, sFile, VersionLine(medium, "SilentInstall"), "silent",
                     "no \"SilentInstall\": the install is not silent");
    else if (CVxCiString(sSilent.c_str()) == "Yes" || CVxCiString(sSilent.c_str()) == "No")
        findings.Add(eNote, sFile, VersionLine(medium, "SilentInstall"), "silent",
                     Format("\"SilentInstall\" is \"%s\": the install is %s", sSilent.c_str(),
                            CVxCiString(sSilent.c_str()) == "Yes" ? "silent" : "not silent"));
    else
        findings.Add(eWarning, sFile, VersionLine(medium, "SilentInstall"), "silent-unclear",
                     Format("\"SilentInstall\" is \"%s\": only \"Yes\" means silent, so the install is not silent",
                            sSilent.c_str()));

    std::string sGuid;
    if (!medium.VersionValue("CDGuid", &sGuid))
        findings.Add(eWarning, sFile, VersionLine(medium, "CDGuid"), "guid-missing",
                     "\"Version\" has no \"CDGuid\": the PDI cannot tell that the software is installed and always "
                     "starts the installer");
    else if (!IsGuid(sGuid))
        findings.Add(eWarning, sFile, VersionLine(medium, "CDGuid"), "guid-malformed",
                     Format("\"CDGuid\" is \"%s\", not a GUID in braces", sGuid.c_str()));
    else
        findings.Add(eNote, sFile, VersionLine(medium, "CDGuid"), "guid",
                     Format("the medium's GUID is %s", sGuid.c_str()));
}

void CheckLanguages(const Medium& medium, FindingList& findings)
{
    const std::string& sFile = medium.Inf().sName;
    std::string sList, sDefault;
    const bool fList = medium.VersionValue("LanguagesInthisCD", &sList, 64512);
    const bool fDefault = medium.VersionValue("DefaultLanguageInThisRelease", &sDefault);
    if (!fList)
        findings.Add(eError, sFile, VersionLine(medium, "LanguagesInthisCD"), "languages-missing",
                     "\"Version\" has no \"LanguagesInthisCD\": the language map cannot be built, and the PDI "
                     "looks patches up under the system's language");
    if (!fDefault)
        findings.Add(eError, sFile, VersionLine(medium, "DefaultLanguageInThisRelease"), "default-language-missing",
                     "\"Version\" has no \"DefaultLanguageInThisRelease\": the language map cannot be built");
    if (!fList) return;
    const std::string sOnMedium = Upper(sList);
    if (fDefault)
    {
        const std::string sKept = Upper(sDefault.substr(0, 3));
        if (sOnMedium.find(sKept) == std::string::npos)
            findings.Add(eWarning, sFile, VersionLine(medium, "DefaultLanguageInThisRelease"), "default-language-absent",
                         Format("the default language \"%s\" is not in \"LanguagesInthisCD\"", sDefault.c_str()));
        else
            findings.Add(eNote, sFile, VersionLine(medium, "DefaultLanguageInThisRelease"), "default-language",
                         Format("languages %s, default %s", sList.c_str(), sKept.c_str()));
    }
    const ScannedSection* pMap = medium.Inf().Section("LanguageMap");
    for (const std::string& sName : LanguageNames(sList))
    {
        bool fMapped = false;
        for (size_t i = 0; pMap && i < pMap->keys.size() && !fMapped; ++i)
            fMapped = Upper(pMap->keys[i].sValue.substr(0, 3)) == sName;
        if (!fMapped && pMap && !pMap->keys.empty())
            findings.Add(eWarning, sFile, VersionLine(medium, "LanguagesInthisCD"), "language-unmapped",
                         Format("\"%s\" has no \"LanguageMap\" entry: no system language reaches it", sName.c_str()));
    }
    CheckLanguageMapEntries(medium, sOnMedium, findings);
}

void CheckInstallerAndPdi(const Medium& medium, FindingList& findings)
{
    if (!medium.Exists("vxzsetup.exe"))
        findings.Add(eError, "", 0, "installer-missing",
                     "the medium has no \"vxzsetup.exe\": the PDI cannot start the product installer");
    const std::vector<std::string> places = medium.PdiPlaces();
    std::string sText =
        "the PDI finds this \"autorun.inf\" through \"\\..\\..\\\" when it sits two folders below the root "
        "(<folder>\\<folder>\\vxfpdi14.exe)";
    for (size_t i = 0; i < places.size(); ++i) sText += (i == 0 ? "; it sits at " : ", ") + places[i];
    findings.Add(eNote, "", 0, "pdi-place", sText);
}

void CheckPatchSections(const Medium& medium, FindingList& findings)
{
    std::set<CVxCiString> reachable;
    for (const ReleaseInfo& release : AllReleases())
    {
        for (WORD wServicePack = 0; wServicePack <= release.facts.wServicePackMajor; ++wServicePack)
        {
            for (WORD wLanguage : MediumLanguages(medium))
            {
                CReleaseFacts facts = release.facts;
                facts.wServicePackMajor = IsNTRelease(facts) ? wServicePack : 0;
                facts.wLanguage = wLanguage;
                COSPatchQualifiers qualifiers;
                BuildOSPatchQualifiers(facts, medium.Factory(), &qualifiers);
                reachable.insert(CVxCiString("OSPatches.") + ChooseOSPatchQualifier(medium.InfPath().c_str(), qualifiers));
            }
            if (!IsNTRelease(release.facts)) break;
        }
    }
    for (const auto& section : medium.Inf().sections)
    {
        const CVxCiString& sName = section.first;
        const bool fPatches = sName == "OSPatches" || sName.find("OSPatches.") == 0;
        if (!fPatches) continue;
        CheckListGaps(medium, sName.c_str(), section.second, findings);
        if (sName == "OSPatches" || reachable.count(sName)) continue;
        findings.Add(eError, medium.Inf().sName, section.second.nLine, "patch-section-unused",
                     Format("no release, service pack and language of this medium reads [%s]: its patches never run",
                            sName.c_str()));
    }
}

}  // namespace medcheck
