#include "release_checks.h"

#include <cstring>

#include "infrastructure/os_patches.h"
#include "infrastructure/qualified_values.h"

namespace medcheck
{

namespace
{

const char kPdiName[] = "vxfpdi14.exe";  // beside the checker, when the medium has none
const WORD kWithSublanguage = 0x0400;     // the PDI asks its flags with this bit set
const WORD kSpanishModernSort = 0x0C0A;   // read straight from the string table
const WORD kPrimaryLanguageMask = 0x3FF;
const UINT kQuestionId = 1;

bool IsWindows2000(const CReleaseFacts& f)
{
    return IsNTRelease(f) && f.dwMajorVersion == 5 && f.dwMinorVersion == 0;
}

bool IsWindowsXP32(const CReleaseFacts& f)
{
    return IsNTRelease(f) && f.dwMajorVersion == 5 && f.dwMinorVersion == 1 && !f.f64Bit;
}

bool IsSilent(const Medium& medium, WORD wLanguage)
{
    char szValue[260] = "";
    return GetValueByLang(medium.InfPath().c_str(), "Version", "SilentInstall", szValue, sizeof(szValue),
                          static_cast<WORD>(wLanguage | kWithSublanguage)) &&
           CVxCiString(szValue) == "Yes";
}

// The program of a command line started without an application name: the text up to a
// blank, or up to a later blank when that names a file, with ".exe" when it has no extension.
bool ProgramPresent(const Medium& medium, const std::string& sCommand, std::string* psProgram)
{
    size_t iEnd = 0;
    std::string sFirst;
    do
    {
        iEnd = sCommand.find(' ', iEnd + (iEnd ? 1 : 0));
        std::string sProgram = sCommand.substr(0, iEnd);
        const size_t iSlash = sProgram.find_last_of('\\');
        if (sProgram.find('.', iSlash == std::string::npos ? 0 : iSlash) == std::string::npos) sProgram += ".exe";
        if (sFirst.empty()) sFirst = sProgram;
        if (medium.Exists(sProgram))
        {
            *psProgram = sProgram;
            return true;
        }
    } while (iEnd != std::string::npos);
    *psProgram = sFirst;
    return false;
}

void CheckPatches(const Medium& medium, const CReleaseFacts& facts, FindingList& findings, ReleaseOutcome* pOutcome)
{
    COSPatchQualifiers qualifiers;
    BuildOSPatchQualifiers(facts, medium.Factory(), &qualifiers);
    const CVxCiString sChosen = CVxCiString("OSPatches.") + ChooseOSPatchQualifier(medium.InfPath().c_str(), qualifiers);
    CVxCiStringList patches;
    LoadOSPatchList(medium.InfPath().c_str(), qualifiers, patches);
    const unsigned nChosenLine = medium.Inf().SectionLine(sChosen.c_str());
    findings.Add(eNote, medium.Inf().sName, nChosenLine ? nChosenLine : medium.Inf().SectionLine("OSPatches"),
                 "patch-list",
                 Format("the PDI reads [%s]%s, each key missing there from [OSPatches]: %u patch(es)", sChosen.c_str(),
                        nChosenLine ? "" : " (not in the file)", static_cast<unsigned>(patches.size())));
    // In short: the section the patches come from; without the chosen one, all come from the plain list.
    pOutcome->sSection = nChosenLine ? sChosen.c_str() : "OSPatches";
    pOutcome->nPatches = static_cast<unsigned>(patches.size());
    unsigned n = 0;
    for (const CVxCiString& sEntry : patches)
    {
        ++n;
        const std::string sKey = Format("%u", n);
        unsigned nLine = medium.Inf().KeyLine(sChosen.c_str(), sKey.c_str());
        if (!nLine) nLine = medium.Inf().KeyLine("OSPatches", sKey.c_str());
        findings.Add(eNote, medium.Inf().sName, nLine, "patch-command",
                     Format("patch %u runs \"%s\"", n, sEntry.c_str()));
        std::string sProgram;
        if (!ProgramPresent(medium, sEntry.c_str(), &sProgram))
            findings.Add(eError, medium.Inf().sName, nLine, "patch-program-missing",
                         Format("patch %u names \"%s\", which the medium does not hold: it never runs", n,
                                sProgram.c_str()));
    }
}

// The question as the PDI would load it: straight from the table for 0x0C0A, else in the
// user's primary language with the sublanguage of the map's identifier for it.
bool LoadQuestion(const Medium& medium, WORD wLanguage, HMODULE hStrings, CVxCiString* psText)
{
    if (!hStrings) return false;
    WORD wLoad = wLanguage;
    if (wLanguage != kSpanishModernSort)
    {
        const CFactory& map = medium.Factory();
        const CVxCiString sName = map.Get3LetterLanguage(wLanguage);
        const WORD wMapped = map.GetLanguageId(sName.c_str());
        wLoad = static_cast<WORD>((wLanguage & kPrimaryLanguageMask) | (wMapped & ~kPrimaryLanguageMask));
    }
    return psText->LoadLocalizedString(hStrings, kQuestionId, wLoad) != FALSE;
}

void CheckDefaultPrinterQuestion(const Medium& medium, const CReleaseFacts& facts, HMODULE hStrings,
                                 FindingList& findings, ReleaseOutcome* pOutcome)
{
    const bool fSilent = IsSilent(medium, facts.wLanguage);
    // As the PDI decides: Windows 2000, and 32-bit XP unless the install is silent.
    const bool fOffered = IsWindows2000(facts) || (IsWindowsXP32(facts) && !fSilent);
    const CFactory& factory = medium.Factory();
    for (const CVxCiString& sModel : factory.GetModelList())
    {
        const CDeviceModel& model = factory.FactorADeviceModel(sModel.c_str());
        char szValue[MAX_PATH] = "";
        const bool fWants = GetValueByLang(model.GetDatFileName(), model.GetSectionName(), "asktomakedefaultprinter",
                                           szValue, sizeof(szValue),
                                           static_cast<WORD>(facts.wLanguage | kWithSublanguage)) &&
                            (CVxCiString(szValue) == "1" || CVxCiString(szValue) == "Yes");
        const std::string sFile = medium.NameOf(model.GetDatFileName());
        ModelFile const* pFile = NULL;
        for (const ModelFile& file : medium.ModelFiles())
        {
            if (CVxCiString(file.sPath.c_str()) == model.GetDatFileName()) pFile = &file;
        }
        const unsigned nLine = pFile ? pFile->scan.SectionLine(model.GetSectionName()) : 0;
        std::string sAnswer;
        if (!fOffered)
            sAnswer = fSilent && IsWindowsXP32(facts) ? "not asked: the install is silent"
                                                       : Format("not asked: the PDI asks only on Windows 2000 and XP");
        else if (!fWants)
            sAnswer = "not asked: the model does not ask for it";
        else
            sAnswer = "asked";
        findings.Add(eNote, sFile, nLine, "default-printer",
                     Format("model \"%s\": the default-printer question is %s", sModel.c_str(), sAnswer.c_str()));
        ++pOutcome->nModels;
        if (!fOffered || !fWants) continue;
        ++pOutcome->nAsked;
        CVxCiString sQuestion;
        if (!LoadQuestion(medium, facts.wLanguage, hStrings, &sQuestion))
        {
            findings.Add(hStrings ? eWarning : eNote, sFile, nLine, "question-text",
                         hStrings ? "the PDI has no question text in this language: it asks nothing"
                                  : "the medium holds no PDI to take the question's text from");
            continue;
        }
        ReplaceSubString(sQuestion, "%1", sModel.c_str());
        findings.Add(eNote, sFile, nLine, "question-text", Format("the question reads \"%s\"", sQuestion.c_str()));
    }
}

}  // namespace

PdiStrings::PdiStrings(const Medium& medium) : m_hModule(NULL)
{
    const std::vector<std::string> places = medium.PdiPlaces();
    std::string sPdi = places.empty() ? std::string() : medium.Root() + "\\" + places[0];
    if (sPdi.empty())
    {
        char szFolder[MAX_PATH] = "";
        if (GetModuleDirectory(NULL, szFolder, sizeof(szFolder))) sPdi = std::string(szFolder) + "\\" + kPdiName;
    }
    if (!sPdi.empty()) m_hModule = LoadLibraryExA(sPdi.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
}

PdiStrings::~PdiStrings()
{
    if (m_hModule) FreeLibrary(m_hModule);
}

ReleaseOutcome CheckRelease(const Medium& medium, const ReleaseInfo& release, WORD wLanguage, const PdiStrings& strings,
                            FindingList& findings)
{
    CReleaseFacts facts = release.facts;
    facts.wLanguage = wLanguage;
    ReleaseOutcome outcome;
    outcome.sRelease = release.pszName;
    outcome.sLanguage = LanguageText(wLanguage);
    findings.SetScope(outcome.sRelease, outcome.sLanguage);
    CheckPatches(medium, facts, findings, &outcome);
    CheckDefaultPrinterQuestion(medium, facts, strings.Module(), findings, &outcome);
    findings.SetScope("", "");
    return outcome;
}

}  // namespace medcheck
