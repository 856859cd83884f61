// Prints the wall time of whole PDI runs on the sample medium next to the time of an empty
// Win32 program started the same way, and what a run spends beyond the one-second pause that
// the product's signal needs.
//
//     bench_pdi_run <sample medium folder> <empty program> [runs]
//
// Each run meets the machine as the Glue leaves it: the driver's Glue keys written, the
// Glue's events held, the printer installed. The printer is made the default before each run,
// so the default-printer question is not asked: a person's time to answer it is not the
// program's cost. Patches and the product installer are the sample's recorders.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/pdi_process.h"
#include "support/spooler_printers.h"
#include "support/test_support.h"
#include "vx_owners.h"

namespace
{

const char kDriver[] = "Quorvane Model 1234 Series";
const char kPrinter[] = "Quorvane Model 1234";
const char kGlueKey[] = "SOFTWARE\\Quorvane\\VXZ\\Glue";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

double Now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void ForgetEarlierRuns()
{
    vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, kGlueKey);
    vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\QVX");
    vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\Installed Products");
}

// What the Glue leaves behind for one driver install: without its "statuscode" the PDI would
// spend seconds retrying the read.
bool RecordGlueInstall(const std::string& sPdiFolder)
{
    const std::string sDriverKey = std::string(kGlueKey) + "\\" + kDriver;
    return vxtest::WriteRegistryString(sDriverKey, "GluePath", sPdiFolder + "\\") &&
           vxtest::WriteRegistryString(sDriverKey, "PrinterFriendlyName", kPrinter) &&
           vxtest::WriteRegistryDword(sDriverKey, "statuscode", 0) &&
           vxtest::WriteRegistryString(std::string(kUninstallKey) + "\\" + kDriver + "_Driver\\Files", "DisplayName",
                                       kDriver);
}

// Milliseconds of one run of sCommand, or a negative number when it did not end with code 0.
double TimeRun(const std::string& sCommand, const std::map<std::string, std::string>& environment)
{
    const double dStart = Now();
    const vxtest::ProcessResult result = vxtest::RunProcess(sCommand, environment, 120000);
    const double dMs = Now() - dStart;
    if (!result.fStarted || !result.fFinished || result.dwExitCode != 0) return -1.0;
    return dMs;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

void Print(const char* pszWhat, const std::vector<double>& values)
{
    std::printf("%-34s median %8.1f ms   min %8.1f ms   max %8.1f ms   (%u runs)\n", pszWhat, Median(values),
                *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()),
                static_cast<unsigned>(values.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: bench_pdi_run <sample medium folder> <empty program> [runs]\n");
        return 2;
    }
    const std::string sMedium = argv[1];
    const std::string sEmpty = argv[2];
    const int nRuns = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const std::string sPdiFolder = sMedium + "\\drivers\\Win2K_XP";
    vxtest::ScratchDir temp("vxbench");

    vxtest::SpoolerPrinters spooler;
    if (!spooler.InstallDriver(kDriver, "vxbench.drv") || !spooler.InstallPrinter(kPrinter, "LPT1:", kDriver))
    {
        std::fprintf(stderr, "bench_pdi_run: the sample printer could not be installed\n");
        return 1;
    }
    // The Glue holds its events while the PDI runs.
    const CUniqueHandle hRan(CreateEventA(NULL, TRUE, FALSE, "VXZ_Glue_Ran"));
    const CUniqueHandle hInstalled(CreateEventA(NULL, TRUE, TRUE, "VXZ_Glue_Installed_Driver"));
    const CUniqueHandle hFinished(CreateEventA(NULL, TRUE, TRUE, "VXZ_Glue_Finished"));

    const std::map<std::string, std::string> environment = {
        {"TEMP", temp.Path()}, {"TMP", temp.Path()}, {"VX_RECORD_FILE", temp.File("runs.log")}};
    const std::string sPdiCommand = vxtest::PdiCommandLine(sPdiFolder + "\\vxfpdi14.exe", "", kDriver, kPrinter);
    std::vector<double> pdi, empty;
    for (int i = 0; i < nRuns; ++i)
    {
        ForgetEarlierRuns();
        if (!RecordGlueInstall(sPdiFolder) || !SetDefaultPrinterA(kPrinter))
        {
            std::fprintf(stderr, "bench_pdi_run: the Glue's state could not be laid out\n");
            return 1;
        }
        ResetEvent(hRan.Get());
        SetEvent(hInstalled.Get());
        SetEvent(hFinished.Get());
        const double dPdi = TimeRun(sPdiCommand, environment);
        const double dEmpty = TimeRun("\"" + sEmpty + "\"", environment);
        if (dPdi < 0 || dEmpty < 0)
        {
            std::fprintf(stderr, "bench_pdi_run: run %d failed\n", i + 1);
            return 1;
        }
        pdi.push_back(dPdi);
        empty.push_back(dEmpty);
    }
    ForgetEarlierRuns();

    const std::vector<std::string> runs = vxtest::ReadLines(temp.File("runs.log"));
    std::printf("programs the medium recorded: %u (patches and product installer, %d PDI runs)\n",
                static_cast<unsigned>(runs.size()), nRuns);
    Print("whole PDI run on the sample medium", pdi);
    Print("empty Win32 program", empty);
    const double dBeyond = Median(pdi) - Median(empty) - 1000.0;
    std::printf("beyond process start-up and the 1000 ms pause: %.1f ms (median)\n", dBeyond);
    return 0;
}
