// Generated device data: a data file naming many model files with many models each, for the
// factory's load tests and its benchmark.
#ifndef TESTS_SUPPORT_MODEL_MEDIUM_H
#define TESTS_SUPPORT_MODEL_MEDIUM_H

#include <string>
#include <vector>

namespace vxtest
{

struct GeneratedMedium
{
    std::string sDataFile;                // the data file, a full path
    std::vector<std::string> modelFiles;  // full paths, in the order the data file lists them
    int cFiles = 0;
    int cModelsPerFile = 0;
};

// The text of a data file whose "Version" section lists the model files sList (comma or blank
// separated), followed by sMore as it stands.
std::string DataFileText(const std::string& sList, const std::string& sMore = std::string());

// The names the generator gives model iModel of file iFile (both from 0).
std::string GeneratedModelName(int iFile, int iModel);
std::string GeneratedDriverName(int iFile, int iModel);
std::string GeneratedUsbId(int iFile, int iModel);  // as written, in lower case
unsigned GeneratedCapabilities(int iFile, int iModel);
// The INF names model file iFile lists for platform 1 (Windows 9x) or 2 (NT).
std::vector<std::string> GeneratedInfNames(int iFile, int iPlatform);

// Writes "vxgins01.dat" and cFiles model files into sDirectory; the data file lists the model
// files in descending order, so a loader must sort them. False if a file cannot be written.
bool WriteGeneratedMedium(const std::string& sDirectory, int cFiles, int cModelsPerFile, GeneratedMedium* pMedium);

}  // namespace vxtest

#endif
