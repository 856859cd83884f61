#include "html_report.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "text_report.h"

namespace logview
{

namespace
{

const char kStyle[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.6em}"
    ".outcome{font-size:1.2em;font-weight:bold;padding:.4em .6em;display:inline-block}"
    ".succeeded{background:#d8f0d8}.failed{background:#f6d0d0}.cut{background:#f8e8c0}"
    ".failure{border-left:4px solid #c33;padding:.2em .8em;background:#fbf2f2}"
    ".failure code{font-size:1.05em}"
    "table{border-collapse:collapse}td,th{padding:.15em .6em;text-align:left;vertical-align:top}"
    ".timeline{border:1px solid #bbb;padding:.5em;max-width:60em}"
    ".tl-step{display:flex;align-items:center;margin:.15em 0}"
    ".tl-name{width:16em;flex:none;font-size:.9em}"
    ".tl-track{position:relative;flex:1;height:1.1em;background:#f2f2f2}"
    ".tl-bar{position:absolute;top:0;height:100%;min-width:2px;background:#5b8bd0}"
    ".tl-state-failed .tl-bar{background:#c33}.tl-state-problem .tl-bar{background:#e0a030}"
    ".tl-state-interrupted .tl-bar{background:#c60}"
    ".tl-patch{position:absolute;top:20%;height:60%;min-width:2px;background:#1d3f70}"
    ".tl-time{width:12em;flex:none;font-size:.85em;padding-left:.6em}"
    ".raw{font-family:monospace;font-size:.85em;white-space:pre-wrap;word-break:break-all}"
    ".raw td.n{color:#888;text-align:right}.raw tr.failing{background:#f6c8c8;font-weight:bold}";

std::string Number(unsigned long ul)
{
    char sz[24];
    std::snprintf(sz, sizeof(sz), "%lu", ul);
    return sz;
}

std::string Percent(double dPart, double dWhole)
{
    double d = dWhole > 0 ? 100.0 * dPart / dWhole : 0;
    if (d < 0) d = 0;
    if (d > 100) d = 100;
    char sz[24];
    std::snprintf(sz, sizeof(sz), "%.3f%%", d);
    return sz;
}

void AppendCharacter(unsigned long ulCode, std::string* psHtml)
{
    switch (ulCode)
    {
    case '&': *psHtml += "&amp;"; return;
    case '<': *psHtml += "&lt;"; return;
    case '>': *psHtml += "&gt;"; return;
    case '"': *psHtml += "&quot;"; return;
    default: break;
    }
    if (ulCode >= 0x20 && ulCode < 0x7f) *psHtml += static_cast<char>(ulCode);
    else if (ulCode == '\t') *psHtml += '\t';
    else if (ulCode < 0x20 || ulCode == 0x7f) *psHtml += "&#xFFFD;";
    else *psHtml += "&#" + Number(ulCode) + ";";
}

std::string StateClass(StepState eState)
{
    switch (eState)
    {
    case eStateFailed: return "failed";
    case eStateProblem: return "problem";
    case eStateInterrupted: return "interrupted";
    case eStateSkipped: return "skipped";
    case eStateNotReached: return "not-reached";
    default: return "done";
    }
}

std::string Summary(const RunTimeline& run, const TextFile& installLog, const TextFile* pTrace, unsigned uCodePage)
{
    const char* pszClass = run.eOutcome == eOutcomeSucceeded ? "succeeded" : run.eOutcome == eOutcomeFailed ? "failed" : "cut";
    std::string s = "<h1>PDI run: " + HtmlText(installLog.sPath, uCodePage) + "</h1>\n";
    if (pTrace) s += "<p>Trace: " + HtmlText(pTrace->sPath, uCodePage) + "</p>\n";
    s += std::string("<p id=\"outcome\" class=\"outcome ") + pszClass + "\">" + OutcomeText(run.eOutcome);
    if (run.eOutcome == eOutcomeCut) s += std::string("; last step reached: ") + StepTitle(run.eLastStep);
    s += "</p>\n";
    if (!run.sCommandLine.empty()) s += "<p>Command line: <code>" + HtmlText(run.sCommandLine, uCodePage) + "</code></p>\n";
    return s;
}

std::string FailureSection(const char* pszId, const char* pszTitle, const Finding& finding, unsigned uCodePage)
{
    std::string s = std::string("<h2>") + pszTitle + "</h2>\n<div id=\"" + pszId + "\" class=\"failure\">\n";
    s += "<p><code>" + HtmlText(finding.sLine, uCodePage) + "</code></p>\n";
    s += std::string("<p>") + (finding.fFromTrace ? "Trace" : "Install log") + " line " + Number(finding.iLine) +
         ", step: " + StepTitle(finding.eStep) + "</p>\n";
    for (size_t i = 0; i < finding.context.size(); ++i)
        s += "<p>after <code>" + HtmlText(finding.context[i], uCodePage) + "</code></p>\n";
    s += "<p class=\"meaning\">" + HtmlText(finding.pExplanation->pszMeaning, uCodePage) + "</p>\n</div>\n";
    return s;
}

std::string PatchBars(const RunTimeline& run, unsigned uCodePage)
{
    std::string s;
    for (size_t i = 0; i < run.patches.size(); ++i)
    {
        const PatchRun& patch = run.patches[i];
        if (!patch.fEnded) continue;
        s += "<span class=\"tl-patch\" title=\"" + HtmlText(patch.sCommand, uCodePage) + "\" style=\"left:" +
             Percent(patch.dStartMs, run.dTotalMs) + ";width:" + Percent(patch.dEndMs - patch.dStartMs, run.dTotalMs) +
             "\"></span>";
    }
    return s;
}

std::string TimelineRow(const RunTimeline& run, const StepReport& step, unsigned uCodePage)
{
    std::string s = "<div class=\"tl-step tl-state-" + StateClass(step.eState) + "\" data-step=\"" + StepTitle(step.eStep) + "\">";
    s += std::string("<span class=\"tl-name\">") + StepTitle(step.eStep) + "</span><span class=\"tl-track\">";
    if (step.fTimed)
    {
        s += "<span class=\"tl-bar\" style=\"left:" + Percent(step.dStartMs, run.dTotalMs) +
             ";width:" + Percent(step.dEndMs - step.dStartMs, run.dTotalMs) + "\"></span>";
        if (step.eStep == eStepPatches) s += PatchBars(run, uCodePage);
    }
    s += "</span><span class=\"tl-time\">";
    s += step.fTimed ? Seconds(step.dEndMs - step.dStartMs) : std::string(StateText(step.eState));
    return s + "</span></div>\n";
}

std::string Timeline(const RunTimeline& run, unsigned uCodePage)
{
    std::string s = "<h2>Timeline</h2>\n";
    if (run.fTraceHasSteps)
        s += "<p>From the trace's first line to its last: " + Seconds(run.dTotalMs) + "; bars to scale.</p>\n";
    else
        s += "<p>No times: the trace is missing or does not mark the steps (-log 0xaf switches it on).</p>\n";
    s += "<div class=\"timeline\">\n";
    for (size_t i = 0; i < run.steps.size(); ++i) s += TimelineRow(run, run.steps[i], uCodePage);
    return s + "</div>\n";
}

std::string StepTable(const RunTimeline& run, unsigned uCodePage)
{
    std::string s = "<h2>Steps</h2>\n<table id=\"steps\">\n<tr><th>#</th><th>step</th><th>start</th><th>duration</th><th>state</th></tr>\n";
    for (size_t i = 0; i < run.steps.size(); ++i)
    {
        const StepReport& step = run.steps[i];
        s += "<tr><td>" + Number(static_cast<unsigned long>(i + 1)) + "</td><td>" + StepTitle(step.eStep) + "</td><td>" +
             (step.fTimed ? Seconds(step.dStartMs) : "") + "</td><td>" + (step.fTimed ? Seconds(step.dEndMs - step.dStartMs) : "") +
             "</td><td>" + StateText(step.eState) + (step.sNote.empty() ? "" : " (" + HtmlText(step.sNote, uCodePage) + ")") +
             "</td></tr>\n";
        if (step.eStep != eStepPatches) continue;
        for (size_t p = 0; p < run.patches.size(); ++p)
        {
            const PatchRun& patch = run.patches[p];
            char szExit[40];
            std::snprintf(szExit, sizeof(szExit), "exit code %ld", patch.lExitCode);
            const std::string sState = !patch.fStarted ? "could not be started" : !patch.fEnded ? "started" : szExit;
            s += "<tr><td></td><td>patch <code>" + HtmlText(patch.sCommand, uCodePage) + "</code></td><td>" +
                 (patch.fEnded ? Seconds(patch.dStartMs) : "") + "</td><td>" +
                 (patch.fEnded ? Seconds(patch.dEndMs - patch.dStartMs) : "") + "</td><td>" + sState + "</td></tr>\n";
        }
    }
    return s + "</table>\n";
}

std::string RawLines(const char* pszTitle, const TextFile& file, size_t iFailing, unsigned uCodePage)
{
    std::string s = std::string("<h2>") + pszTitle + ": " + HtmlText(file.sPath, uCodePage) + "</h2>\n<table class=\"raw\">\n";
    for (size_t i = 0; i < file.lines.size(); ++i)
    {
        if (file.lines[i].empty()) continue;
        const bool fFailing = i + 1 == iFailing;
        s += fFailing ? "<tr class=\"failing\" id=\"failing-line\">" : "<tr>";
        s += "<td class=\"n\">" + Number(static_cast<unsigned long>(i + 1)) + "</td><td>" + HtmlText(file.lines[i], uCodePage) + "</td></tr>\n";
    }
    if (file.fLastLineCut) s += "<tr><td></td><td><em>(the file ends inside this line)</em></td></tr>\n";
    return s + "</table>\n";
}

}  // namespace

std::string HtmlText(const std::string& sBytes, unsigned uCodePage)
{
    std::string sHtml;
    if (sBytes.empty()) return sHtml;
    const int cchWide = MultiByteToWideChar(uCodePage, 0, sBytes.data(), static_cast<int>(sBytes.size()), NULL, 0);
    if (cchWide <= 0)
    {
        // A code page this system lacks: the ASCII characters, a mark for every other byte.
        for (size_t i = 0; i < sBytes.size(); ++i)
            AppendCharacter(static_cast<unsigned char>(sBytes[i]) < 0x80 ? static_cast<unsigned char>(sBytes[i]) : 0xFFFD, &sHtml);
        return sHtml;
    }
    std::vector<wchar_t> wide(static_cast<size_t>(cchWide));
    MultiByteToWideChar(uCodePage, 0, sBytes.data(), static_cast<int>(sBytes.size()), &wide[0], cchWide);
    for (size_t i = 0; i < wide.size(); ++i)
    {
        unsigned long ulCode = static_cast<unsigned short>(wide[i]);
        if (ulCode >= 0xD800 && ulCode < 0xDC00 && i + 1 < wide.size())
        {
            const unsigned long ulLow = static_cast<unsigned short>(wide[i + 1]);
            if (ulLow >= 0xDC00 && ulLow < 0xE000)
            {
                ulCode = 0x10000 + ((ulCode - 0xD800) << 10) + (ulLow - 0xDC00);
                ++i;
            }
        }
        AppendCharacter(ulCode, &sHtml);
    }
    return sHtml;
}

std::string HtmlReport(const RunTimeline& run, const TextFile& installLog, const TextFile* pTrace, unsigned uCodePage)
{
    std::string s = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"us-ascii\">\n<title>PDI run report</title>\n";
    s += std::string("<style>") + kStyle + "</style>\n</head>\n<body>\n";
    s += Summary(run, installLog, pTrace, uCodePage);
    if (run.firstFailure.fFound)
        s += FailureSection("first-failure", "First failure", run.firstFailure, uCodePage);
    else
        s += "<h2>First failure</h2>\n<p id=\"first-failure\">none</p>\n";
    if (run.runFailure.fFound) s += FailureSection("run-failure", "The run failed at", run.runFailure, uCodePage);
    s += Timeline(run, uCodePage);
    s += StepTable(run, uCodePage);
    const Finding& marked = run.firstFailure;
    s += RawLines("Install log", installLog, marked.fFound && !marked.fFromTrace ? marked.iLine : 0, uCodePage);
    if (pTrace) s += RawLines("Trace", *pTrace, marked.fFound && marked.fFromTrace ? marked.iLine : 0, uCodePage);
    return s + "</body>\n</html>\n";
}

}  // namespace logview
