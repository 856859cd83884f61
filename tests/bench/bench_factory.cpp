// Prints how long the factory takes to load a generated medium of 2000 models in 20 model files,
// next to the time to read the same files' bytes, and the ratio of the two.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "infrastructure/factory.h"
#include "infrastructure/profile_reader.h"
#include "infrastructure/qualified_values.h"
#include "support/model_medium.h"
#include "support/test_support.h"

namespace
{

class CStopwatch
{
public:
    CStopwatch() { QueryPerformanceCounter(&m_start); }
    double Milliseconds() const
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) / static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

double ReadBytes(const std::vector<std::string>& files, size_t* pcbTotal)
{
    CStopwatch watch;
    size_t cb = 0;
    for (const std::string& sFile : files)
    {
        std::string sBytes;
        if (vxtest::ReadFileBytes(sFile, &sBytes)) cb += sBytes.size();
    }
    *pcbTotal = cb;
    return watch.Milliseconds();
}

// The cost of one call of the lookups a record makes, on a file already cached.
template <class TCall>
double MicrosecondsPerCall(int nCalls, TCall call)
{
    CStopwatch watch;
    for (int i = 0; i < nCalls; ++i) call();
    return watch.Milliseconds() * 1000.0 / nCalls;
}

}  // namespace

int main()
{
    const int cFiles = 20;
    const int cModelsPerFile = 100;
    vxtest::ScratchDir dir("bench");
    vxtest::GeneratedMedium medium;
    if (!vxtest::WriteGeneratedMedium(dir.Path(), cFiles, cModelsPerFile, &medium))
    {
        std::printf("cannot write the medium into %s\n", dir.Path().c_str());
        return 1;
    }
    std::vector<std::string> files = medium.modelFiles;
    files.push_back(medium.sDataFile);

    size_t cbTotal = 0;
    const double msBytes = ReadBytes(files, &cbTotal);

    CFactory factory;
    CStopwatch first;
    factory.Init(medium.sDataFile.c_str(), 1);
    const double msFirst = first.Milliseconds();
    const size_t cModels = factory.GetModelList().size();

    CFactory again;
    CStopwatch second;
    again.Init(medium.sDataFile.c_str(), 1);  // the files are parsed already
    const double msAgain = second.Milliseconds();

    std::printf("medium: %d model files, %d models each, %u bytes in %u files\n", cFiles, cModelsPerFile,
                static_cast<unsigned>(cbTotal), static_cast<unsigned>(files.size()));
    std::printf("models loaded:                 %u\n", static_cast<unsigned>(cModels));
    std::printf("read the files' bytes:         %10.1f ms\n", msBytes);
    std::printf("factory load, files unparsed:  %10.1f ms   ratio %8.1f\n", msFirst, msFirst / msBytes);
    std::printf("factory load, files parsed:    %10.1f ms   ratio %8.1f\n", msAgain, msAgain / msBytes);

    // Where the time goes: the lookups one record makes about 25 of.
    const char* pszFile = medium.modelFiles[0].c_str();
    char szValue[1024];
    std::printf("per call, cached file:\n");
    std::printf("  ReadProfileString            %8.1f us\n", MicrosecondsPerCall(2000, [&]() {
                    ReadProfileString("Gen19_0001", "usbid", "", szValue, sizeof(szValue), pszFile);
                }));
    std::printf("  FileExists                   %8.1f us\n",
                MicrosecondsPerCall(2000, [&]() { FileExists(pszFile); }));
    std::printf("  GetValueByOS, key present    %8.1f us\n", MicrosecondsPerCall(2000, [&]() {
                    GetValueByOS(pszFile, "Gen19_0001", "usbid", szValue, sizeof(szValue));
                }));
    std::printf("  GetValueByOS, key missing    %8.1f us\n", MicrosecondsPerCall(2000, [&]() {
                    GetValueByOS(pszFile, "Gen19_0001", "firmwarename", szValue, sizeof(szValue));
                }));
    return cModels == static_cast<size_t>(cFiles * cModelsPerFile) ? 0 : 1;
}
