// vxlogview: explains one PDI run from its install log and, when given, its trace; --find lists
// the PDI's logs on this machine. It writes no file but the --html report it is asked for.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "html_report.h"
#include "log_finder.h"
#include "log_lines.h"
#include "text_report.h"
#include "timeline.h"
#include "tool_options.h"

namespace
{

const int kExitSucceeded = 0;
const int kExitFailed = 1;
const int kExitBadInput = 2;

// Indexes into kOptions.
enum
{
    eOptionHtml,
    eOptionCodePage,
    eOptionFind,
    eOptionOpen,
    eOptionCount
};

const vxtool::OptionSpec kOptions[eOptionCount] = {
    {"--html", "<report.html>", "also write the report as one HTML page"},
    {"--codepage", "<n>", "the ANSI code page of the machine that wrote the logs (932 for Japanese);\nthis machine's by default"},
    {"--find", nullptr, "list the PDI's install logs and traces on this machine, newest first"},
    {"--open", nullptr, "with --find: explain the newest install log and the trace of its run"},
};

const vxtool::ToolSpec kTool = {
    "vxlogview",
    "<install log> [<trace file>] [options]\n--find [--open] [options]",
    "  <install log>  vxvxdiNN.log from the temporary folder of the machine that ran the PDI\n"
    "  <trace file>   vxfpdiNNN.log of the same run, when tracing was on (-log 0xaf)\n",
    kOptions,
    eOptionCount,
    2,
    "exit code: 0 the run succeeded, 1 it failed or was ended, 2 the files cannot be read as its logs;\n"
    "--find alone: 0 when it lists a log, 1 when it finds none\n",
};

// A code page this system can convert from (a probe: the same call the report makes).
bool ParseCodePage(const std::string& sValue, unsigned* puCodePage)
{
    char* pszEnd = NULL;
    const unsigned long ulCodePage = std::strtoul(sValue.c_str(), &pszEnd, 10);
    if (sValue.empty() || *pszEnd || ulCodePage == 0 || ulCodePage > 65535 ||
        MultiByteToWideChar(static_cast<UINT>(ulCodePage), 0, "a", 1, NULL, 0) <= 0)
        return false;
    *puCodePage = static_cast<unsigned>(ulCodePage);
    return true;
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

int Explain(const std::string& sInstallLog, const std::string& sTrace, const std::string& sHtml, unsigned uCodePage)
{
    logview::TextFile installLog, trace;
    std::string sProblem;
    if (!logview::ReadInstallLog(sInstallLog, &installLog, &sProblem)) return BadInput(sProblem);
    const bool fTrace = !sTrace.empty();
    if (fTrace && !logview::ReadTrace(sTrace, &trace, &sProblem)) return BadInput(sProblem);

    const logview::RunTimeline run = logview::BuildTimeline(installLog, fTrace ? &trace : NULL);
    const std::string sReport = logview::TextReport(run, sInstallLog, sTrace);
    std::fwrite(sReport.data(), 1, sReport.size(), stdout);
    if (!sHtml.empty() && !WriteFileText(sHtml, logview::HtmlReport(run, installLog, fTrace ? &trace : NULL, uCodePage)))
        return BadInput(sHtml + ": the report cannot be written");
    return run.eOutcome == logview::eOutcomeSucceeded ? kExitSucceeded : kExitFailed;
}

int Find(bool fOpen, const std::string& sHtml, unsigned uCodePage)
{
    const std::vector<std::string> folders = logview::LogFolders();
    const std::vector<logview::FoundLog> logs = logview::FindLogs(folders);
    if (!fOpen)
    {
        const std::string sReport = logview::FindReport(logs, folders);
        std::fwrite(sReport.data(), 1, sReport.size(), stdout);
        return logs.empty() ? kExitFailed : kExitSucceeded;
    }
    const logview::FoundLog* pLog = logview::NewestInstallLog(logs);
    if (!pLog)
    {
        std::string sFolders;
        for (const std::string& sFolder : folders) sFolders += (sFolders.empty() ? "" : ", ") + sFolder;
        return BadInput("no install log of the PDI found in " + sFolders);
    }
    const logview::FoundLog* pTrace = logview::TraceOfRun(logs, *pLog);
    return Explain(pLog->sPath, pTrace ? pTrace->sPath : std::string(), sHtml, uCodePage);
}

}  // namespace

int main(int argc, char** argv)
{
    vxtool::ParsedCommandLine line;
    int iExitCode = 0;
    if (!vxtool::ReadCommandLine(kTool, argc, argv, &line, &iExitCode)) return iExitCode;
    unsigned uCodePage = CP_ACP;
    const std::string& sCodePage = line.Value(eOptionCodePage);
    if (line.Has(eOptionCodePage) && !ParseCodePage(sCodePage, &uCodePage))
        return vxtool::UsageError(kTool, "--codepage " + sCodePage + ": not a code page this system knows");
    const std::vector<std::string>& files = line.Operands();
    if (line.Has(eOptionOpen) && !line.Has(eOptionFind)) return vxtool::UsageError(kTool, "--open needs --find");
    if (line.Has(eOptionFind))
    {
        if (!files.empty()) return vxtool::UsageError(kTool, "--find takes no file: it finds them");
        return Find(line.Has(eOptionOpen), line.Value(eOptionHtml), uCodePage);
    }
    if (files.empty()) return vxtool::UsageError(kTool, "no install log given");
    return Explain(files[0], files.size() > 1 ? files[1] : std::string(), line.Value(eOptionHtml), uCodePage);
}
