#include "support/medium.h"

#include <cstdio>

namespace vxtest
{

ScratchMedium::ScratchMedium(const std::string& sAutorun, const std::string& sModels) : m_dir("medium")
{
    CreateDirectoryA((Root() + "\\drivers").c_str(), NULL);
    CreateDirectoryA(PdiFolder().c_str(), NULL);
    CreateDirectoryA(TempFolder().c_str(), NULL);
    CopyFileA(PdiExePath().c_str(), PdiPath().c_str(), FALSE);
    WriteFile("autorun.inf", sAutorun);
    WriteFile("models.dat", sModels);
}

bool ScratchMedium::AddRecorder(const std::string& sRelativePath)
{
    const std::string sTarget = Root() + "\\" + sRelativePath;
    const size_t iSlash = sTarget.rfind('\\');
    CreateDirectoryA(sTarget.substr(0, iSlash).c_str(), NULL);
    return CopyFileA(WinPathFromUnix(Env("VX_RECORDER_EXE")).c_str(), sTarget.c_str(), FALSE) != FALSE;
}

bool ScratchMedium::WriteFile(const std::string& sRelativePath, const std::string& sText)
{
    return WriteFileBytes(Root() + "\\" + sRelativePath, sText);
}

std::vector<std::string> RecordedPrograms(const std::string& sRecordFile)
{
    std::vector<std::string> names;
    for (const std::string& sLine : ReadLines(sRecordFile))
    {
        if (!sLine.empty()) names.push_back(sLine.substr(4, sLine.find(" | ") - 4));  // "ran <name> | ..."
    }
    return names;
}

std::vector<std::string> ScratchMedium::RecordedRuns() const
{
    std::vector<std::string> runs;
    for (const std::string& sLine : ReadLines(RecordFile()))
    {
        if (!sLine.empty()) runs.push_back(sLine);
    }
    return runs;
}

std::vector<std::string> ScratchMedium::InstallLog(int n) const
{
    char szName[32];
    std::snprintf(szName, sizeof(szName), "\\vxvxdi%2.2d.log", n);
    return ReadLines(TempFolder() + szName);
}

ProcessResult ScratchMedium::RunSelfInMedium(const char* pszFilter,
                                             const std::map<std::string, std::string>& environment) const
{
    char szSelf[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, szSelf, MAX_PATH);
    // Named after this program and its release, so that Wine reports the same release to the
    // copy and runs of other releases beside it do not share the setting.
    std::string sBase = szSelf;
    sBase = sBase.substr(sBase.rfind('\\') + 1);
    sBase = sBase.substr(0, sBase.rfind('.'));
    const std::string sRelease = WineRelease();
    const std::string sName = sBase + "-inmedium" + (sRelease.empty() ? "" : "-" + sRelease) + ".exe";
    const std::string sCopy = PdiFolder() + "\\" + sName;
    CopyFileA(szSelf, sCopy.c_str(), FALSE);
    if (!sRelease.empty()) SetWineVersionFor(sName, sRelease);
    std::map<std::string, std::string> variables = environment;
    variables["VX_IN_MEDIUM"] = "1";
    if (!variables.count("TEMP")) variables["TEMP"] = TempFolder();
    if (!variables.count("TMP")) variables["TMP"] = TempFolder();
    return RunProcess("\"" + sCopy + "\" --gtest_filter=" + pszFilter, variables, 120000);
}

bool InMedium() { return !Env("VX_IN_MEDIUM").empty(); }

std::vector<std::string> ConditionTexts(const std::vector<std::string>& lines)
{
    std::vector<std::string> conditions;
    for (const std::string& sLine : lines)
    {
        const size_t i = sLine.find("]: Error --> ");
        if (i != std::string::npos) conditions.push_back(sLine.substr(i + 13));
    }
    return conditions;
}

}  // namespace vxtest
