// vxlogview: explains one PDI run from its install log and, when given, its trace.
//   vxlogview <install log> [<trace file>] [--html <report.html>] [--codepage <n>]
// Exit code 0: the run succeeded; 1: it failed or was ended before it finished; 2: the input
// cannot be read as the PDI's logs, or the report cannot be written.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "html_report.h"
#include "log_lines.h"
#include "text_report.h"
#include "timeline.h"

namespace
{

const int kExitSucceeded = 0;
const int kExitFailed = 1;
const int kExitBadInput = 2;

struct Options
{
    std::string sInstallLog;
    std::string sTrace;
    std::string sHtml;
    unsigned uCodePage = CP_ACP;
};

const char kUsage[] =
    "usage: vxlogview <install log> [<trace file>] [--html <report.html>] [--codepage <n>]\n"
    "  <install log>  vxvxdiNN.log from the temporary folder of the machine that ran the PDI\n"
    "  <trace file>   vxfpdiNNN.log of the same run, when tracing was on (-log 0xaf)\n"
    "  --html         also write the report as one HTML page\n"
    "  --codepage     the ANSI code page of the machine that wrote the logs (932 for Japanese);\n"
    "                 this machine's by default\n"
    "exit code: 0 the run succeeded, 1 it failed or was ended, 2 the files cannot be read as its logs\n";

// A code page this system can convert from (a probe: the same call the report makes).
bool IsKnownCodePage(unsigned long ulCodePage)
{
    return ulCodePage > 0 && ulCodePage <= 65535 && MultiByteToWideChar(static_cast<UINT>(ulCodePage), 0, "a", 1, NULL, 0) > 0;
}

bool ParseOptions(int argc, char** argv, Options* pOptions, std::string* psProblem)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string sArgument = argv[i];
        if (sArgument == "--html" || sArgument == "--codepage")
        {
            if (i + 1 >= argc)
            {
                *psProblem = sArgument + " needs a value";
                return false;
            }
            const std::string sValue = argv[++i];
            if (sArgument == "--html") pOptions->sHtml = sValue;
            else
            {
                char* pszEnd = NULL;
                const unsigned long ulCodePage = std::strtoul(sValue.c_str(), &pszEnd, 10);
                if (sValue.empty() || *pszEnd || !IsKnownCodePage(ulCodePage))
                {
                    *psProblem = "--codepage " + sValue + ": not a code page this system knows";
                    return false;
                }
                pOptions->uCodePage = static_cast<unsigned>(ulCodePage);
            }
        }
        else if (sArgument.compare(0, 2, "--") == 0)
        {
            *psProblem = "unknown option " + sArgument;
            return false;
        }
        else if (pOptions->sInstallLog.empty()) pOptions->sInstallLog = sArgument;
        else if (pOptions->sTrace.empty()) pOptions->sTrace = sArgument;
        else
        {
            *psProblem = "one install log and one trace file at most";
            return false;
        }
    }
    if (pOptions->sInstallLog.empty()) *psProblem = "no install log given";
    return !pOptions->sInstallLog.empty();
}

bool ReadInstallLog(const std::string& sPath, TextFile* pFile, std::string* psProblem)
{
    if (!ReadTextFile(sPath, pFile, psProblem)) return false;
    if (HasInstallLogHeader(ParseInstallLog(*pFile))) return true;
    *psProblem = sPath + ": not an install log of the PDI (its first line is not the \"Logging Enabled\" header); "
                         "the install log is vxvxdiNN.log, the trace vxfpdiNNN.log";
    return false;
}

bool ReadTrace(const std::string& sPath, TextFile* pFile, std::string* psProblem)
{
    if (!ReadTextFile(sPath, pFile, psProblem)) return false;
    size_t cForeign = 0;
    const std::vector<TraceLine> lines = ParseTrace(*pFile, &cForeign);
    size_t iFirst = 0;
    while (iFirst < pFile->lines.size() && pFile->lines[iFirst].empty()) ++iFirst;
    TraceLine first;
    if (!lines.empty() && iFirst < pFile->lines.size() && ParseTraceLine(pFile->lines[iFirst], &first)) return true;
    *psProblem = sPath + ": not a trace file (its first line has no trace time stamp and category)";
    return false;
}

bool WriteFileText(const std::string& sPath, const std::string& sText)
{
    std::FILE* pFile = std::fopen(sPath.c_str(), "wb");
    if (!pFile) return false;
    const bool fWritten = std::fwrite(sText.data(), 1, sText.size(), pFile) == sText.size();
    return std::fclose(pFile) == 0 && fWritten;
}

int BadInput(const std::string& sProblem)
{
    std::fprintf(stderr, "vxlogview: %s\n", sProblem.c_str());
    return kExitBadInput;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string sProblem;
    if (!ParseOptions(argc, argv, &options, &sProblem))
    {
        std::fprintf(stderr, "vxlogview: %s\n%s", sProblem.c_str(), kUsage);
        return kExitBadInput;
    }
    TextFile installLog, trace;
    if (!ReadInstallLog(options.sInstallLog, &installLog, &sProblem)) return BadInput(sProblem);
    const bool fTrace = !options.sTrace.empty();
    if (fTrace && !ReadTrace(options.sTrace, &trace, &sProblem)) return BadInput(sProblem);

    const RunTimeline run = BuildTimeline(installLog, fTrace ? &trace : NULL);
    const std::string sReport = TextReport(run, options.sInstallLog, options.sTrace);
    std::fwrite(sReport.data(), 1, sReport.size(), stdout);
    if (!options.sHtml.empty() &&
        !WriteFileText(options.sHtml, HtmlReport(run, installLog, fTrace ? &trace : NULL, options.uCodePage)))
        return BadInput(options.sHtml + ": the report cannot be written");
    return run.eOutcome == eOutcomeSucceeded ? kExitSucceeded : kExitFailed;
}
