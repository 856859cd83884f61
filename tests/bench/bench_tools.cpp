// The shipped tools on hostile input. The log viewer: install-log lines of the longest length it
// reads, built so that a format with several %s could try every way to split them, and a 64 MB
// install log of such lines. The medium checker: a section of many keys, each compared with
// those before it for a repeat. Prints figures; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "explanations.h"
#include "file_scan.h"
#include "log_lines.h"
#include "support/stopwatch.h"
#include "support/test_support.h"
#include "text_report.h"
#include "timeline.h"

namespace
{

const int kRounds = 5;

// "<opening>, , , ... , )" of exactly kLongestLine characters.
std::string HostileLine(const std::string& sOpening)
{
    std::string s = sOpening;
    while (s.size() + 2 < logview::kLongestLine) s += ", ";
    s.resize(logview::kLongestLine - 1, ' ');
    return s + ")";
}

double MedianMsToExplain(const std::string& sLine)
{
    std::vector<double> rounds;
    for (int i = 0; i < kRounds; ++i)
    {
        vxtest::Stopwatch watch;
        logview::FindExplanation(logview::eOriginInstallLog, sLine, nullptr);
        rounds.push_back(watch.Milliseconds());
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[kRounds / 2];
}

// The checker's scan of a model file whose one section holds cKeys keys, in milliseconds.
double MsToScanKeys(unsigned cKeys, const vxtest::ScratchDir& dir)
{
    std::string sText = "[Models]\r\n";
    for (unsigned i = 0; i < cKeys; ++i) sText += "Model " + std::to_string(i) + "=Section" + std::to_string(i) + "\r\n";
    const std::string sPath = dir.File("keys.dat");
    if (!vxtest::WriteFileBytes(sPath, sText)) return -1;
    medcheck::FindingList findings;
    vxtest::Stopwatch watch;
    medcheck::ScanProfileFile(sPath, "keys.dat", findings);
    return watch.Milliseconds();
}

int LogViewFigures()
{
    const char* const openings[] = {"RegRetryGetDwordValue (", "RegSetStringValue ("};
    for (const char* pszOpening : openings)
    {
        std::printf("viewer: line \"%s, , ...)\" of %u characters: %.2f ms to explain (median of %d)\n", pszOpening,
                    static_cast<unsigned>(logview::kLongestLine), MedianMsToExplain(HostileLine(pszOpening)), kRounds);
    }

    // As large as the viewer reads: the header, then as many such lines as fit in 64 MB.
    const std::string sLine = HostileLine(openings[0]) + "\r\n";
    std::string sFile = "\r\n**** Tue Jan  2 10:00:00 2024 - Logging Enabled ****\r\n\r\n";
    const size_t cLines = (64u * 1024u * 1024u - sFile.size()) / sLine.size();
    for (size_t i = 0; i < cLines; ++i) sFile += sLine;
    vxtest::ScratchDir dir("lvbench");
    const std::string sPath = dir.File("vxvxdi00.log");
    if (!vxtest::WriteFileBytes(sPath, sFile))
    {
        std::printf("cannot write %s\n", sPath.c_str());
        return 1;
    }
    vxtest::Stopwatch watch;
    logview::TextFile log;
    std::string sProblem;
    if (!logview::ReadInstallLog(sPath, &log, &sProblem))
    {
        std::printf("%s\n", sProblem.c_str());
        return 1;
    }
    const double dReadSeconds = watch.Seconds();
    const logview::RunTimeline run = logview::BuildTimeline(log, nullptr);
    const std::string sReport = logview::TextReport(run, sPath, std::string());
    std::printf("viewer: install log of %.1f MB, %u such lines: read in %.2f s, explained in %.2f s more (%.2f ms a line)\n",
                static_cast<double>(sFile.size()) / (1024.0 * 1024.0), static_cast<unsigned>(cLines), dReadSeconds,
                watch.Seconds() - dReadSeconds, 1000.0 * (watch.Seconds() - dReadSeconds) / static_cast<double>(cLines));
    return sReport.empty() ? 1 : 0;
}

}  // namespace

int main()
{
    vxtest::ScratchDir dir("toolbench");
    for (unsigned cKeys : {9000u, 90000u})
        std::printf("checker: a section of %u keys scanned in %.1f ms\n", cKeys, MsToScanKeys(cKeys, dir));
    return LogViewFigures();
}
