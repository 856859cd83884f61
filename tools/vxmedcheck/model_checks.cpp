#include "model_checks.h"

#include <cstring>
#include <map>
#include <vector>

#include "infrastructure/device_model.h"
#include "infrastructure/profile_reader.h"

namespace medcheck
{

namespace
{

const DWORD kModelsBuffer = 1024;  // the factory's buffer for "Models"
const DWORD kInfBuffer = 4096;

struct ModelPlace
{
    std::string sFile;
    unsigned nLine;
};

// The model section names of "Models", as the factory reads them (a repeated key twice).
bool ModelSections(const ModelFile& file, std::vector<std::pair<std::string, std::string> >* pEntries)
{
    std::vector<char> buffer(kModelsBuffer, '\0');
    const DWORD cb = ReadProfileSection("Models", buffer.data(), kModelsBuffer, file.sPath.c_str());
    if (cb == kModelsBuffer - 2) return false;
    for (const char* p = buffer.data(); *p && p < buffer.data() + cb; p += std::strlen(p) + 1)
    {
        const char* pszEquals = std::strchr(p, '=');
        if (!pszEquals) continue;
        const char* pszSection = pszEquals + 1;
        while (*pszSection == ' ') ++pszSection;
        pEntries->push_back(std::make_pair(std::string(p, pszEquals), std::string(pszSection)));
    }
    return true;
}

void CheckAskKey(const ModelFile& file, const CDeviceModel& model, FindingList& findings)
{
    CVxCiString sValue;
    if (!model.GetValue("asktomakedefaultprinter", sValue)) return;
    if (sValue == "1" || sValue == "Yes" || sValue == "0" || sValue == "No") return;
    findings.Add(eWarning, file.scan.sName, file.scan.KeyLine(model.GetSectionName(), "asktomakedefaultprinter"),
                 "ask-unclear",
                 Format("\"asktomakedefaultprinter\" of model \"%s\" is \"%s\": only \"1\" or \"Yes\" ask the question, "
                        "so it is not asked",
                        model.GetModelName(), sValue.c_str()));
}

void ReportInfList(const ModelFile& file, const char* pszSection, const char* pszPlatform, FindingList& findings)
{
    std::vector<char> buffer(kInfBuffer, '\0');
    const DWORD cb = ReadProfileString(pszSection, NULL, "", buffer.data(), kInfBuffer, file.sPath.c_str());
    std::string sList;
    for (const char* p = buffer.data(); cb > 0 && *p && p < buffer.data() + cb; p += std::strlen(p) + 1)
    {
        if (*p == ';') continue;
        sList += (sList.empty() ? "" : ", ") + std::string(p);
    }
    if (sList.empty())
        findings.Add(eWarning, file.scan.sName, file.scan.SectionLine(pszSection), "inf-list-missing",
                     Format("no INF files in [%s]: %s gets none from this file", pszSection, pszPlatform));
    else
        findings.Add(eNote, file.scan.sName, file.scan.SectionLine(pszSection), "inf-list",
                     Format("%s installs %s", pszPlatform, sList.c_str()));
}

}  // namespace

void CheckModels(const Medium& medium, FindingList& findings)
{
    std::map<CVxCiString, ModelPlace> places;
    unsigned nModels = 0, nFiles = 0;
    bool fMisencoded = false;  // a model file's encoding finding explains the models it lacks
    for (size_t i = 0; i < medium.ModelFiles().size(); ++i)
    {
        const ModelFile& file = medium.ModelFiles()[i];
        fMisencoded = fMisencoded || file.scan.fMisencoded;
        if (!file.scan.fRead) continue;
        if (i > 0 && CVxCiString(medium.ModelFiles()[i - 1].sPath.c_str()) == file.sPath.c_str()) continue;
        ++nFiles;
        std::vector<std::pair<std::string, std::string> > entries;
        if (!ModelSections(file, &entries))
        {
            findings.Add(eError, file.scan.sName, file.scan.SectionLine("Models"), "models-too-long",
                         "[Models] needs 1022 bytes or more: the PDI loads no model and no INF file from this file");
            continue;
        }
        for (const std::pair<std::string, std::string>& entry : entries)
        {
            CDeviceModel model;
            model.Init(entry.second.c_str(), file.sPath.c_str());
            const unsigned nLine = file.scan.KeyLine("Models", entry.first.c_str());
            if (!model.GetDriverName()[0])
                findings.Add(eWarning, file.scan.sName, file.scan.SectionLine(entry.second.c_str()) ? 
                                 file.scan.SectionLine(entry.second.c_str()) : nLine,
                             "model-no-driver",
                             Format("model section [%s] has no \"drivername\": printers never find the model by its "
                                    "driver",
                                    entry.second.c_str()));
            CheckAskKey(file, model, findings);
            const CVxCiString sName = model.GetModelName();
            std::map<CVxCiString, ModelPlace>::iterator it = places.find(sName);
            if (it != places.end())
            {
                findings.Add(eWarning, file.scan.sName, nLine, "model-repeated",
                             Format("model \"%s\" was defined in %s line %u: this one wins", sName.c_str(),
                                    it->second.sFile.c_str(), it->second.nLine));
                it->second.sFile = file.scan.sName;
                it->second.nLine = nLine;
                continue;
            }
            ModelPlace place;
            place.sFile = file.scan.sName;
            place.nLine = nLine;
            places[sName] = place;
            ++nModels;
        }
        ReportInfList(file, "INFList.1", "Windows 9x", findings);
        ReportInfList(file, "INFList.2", "the NT family", findings);
    }
    const bool fMissing = nModels == 0 && !fMisencoded;
    findings.Add(fMissing ? eError : eNote, "", 0, fMissing ? "models-missing" : "model-count",
                 Format("%u model(s) in %u model file(s)", nModels, nFiles));
}

}  // namespace medcheck
