// A scratch install medium laid out as the PDI expects it: the PDI two folders below the root,
// the recorder standing in for the patches and the product installer.
#ifndef TESTS_SUPPORT_MEDIUM_H
#define TESTS_SUPPORT_MEDIUM_H

#include <string>
#include <vector>

#include "support/test_support.h"

namespace vxtest
{

// The program name of every run the recorder wrote to sRecordFile, in order.
std::vector<std::string> RecordedPrograms(const std::string& sRecordFile);

class ScratchMedium
{
public:
    // autorun.inf and the model file models.dat with the given texts.
    ScratchMedium(const std::string& sAutorun, const std::string& sModels);

    const std::string& Root() const { return m_dir.Path(); }
    std::string PdiFolder() const { return Root() + "\\drivers\\Win2K_XP"; }
    std::string PdiPath() const { return PdiFolder() + "\\vxfpdi14.exe"; }
    std::string RecordFile() const { return Root() + "\\runs.log"; }
    std::string TempFolder() const { return Root() + "\\temp"; }

    // Places the recorder at a path relative to the root ("patches\\fix1.exe", "vxzsetup.exe").
    bool AddRecorder(const std::string& sRelativePath);
    bool WriteFile(const std::string& sRelativePath, const std::string& sText);
    // "ran <name> | <command line>" for every recorded run, in order.
    std::vector<std::string> RecordedRuns() const;
    // The program name of every recorded run, in order.
    std::vector<std::string> RecordedPrograms() const { return vxtest::RecordedPrograms(RecordFile()); }
    // The PDI's install log of this medium's runs (the first one unless n is given).
    std::vector<std::string> InstallLog(int n = 0) const;

    // Runs this test program again from the PDI's folder of the medium, so that what it calls
    // finds the medium as the PDI would; the copy runs only the tests that pszFilter names,
    // with VX_IN_MEDIUM set. The run's exit code is 0 when they passed.
    ProcessResult RunSelfInMedium(const char* pszFilter,
                                  const std::map<std::string, std::string>& environment = {}) const;

private:
    ScratchDir m_dir;
};

// True in the copy that RunSelfInMedium started.
bool InMedium();

// The "Error --> " condition texts among install-log lines.
std::vector<std::string> ConditionTexts(const std::vector<std::string>& lines);

}  // namespace vxtest

#endif
