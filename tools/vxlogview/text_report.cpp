#include "text_report.h"

#include <cstdio>

namespace logview
{

namespace
{

std::string Padded(const std::string& s, size_t cch) { return s.size() >= cch ? s : s + std::string(cch - s.size(), ' '); }

std::string Number(unsigned long ul)
{
    char sz[24];
    std::snprintf(sz, sizeof(sz), "%lu", ul);
    return sz;
}

std::string FailureLines(const char* pszTitle, const Finding& finding)
{
    std::string s = std::string(pszTitle) + "\n";
    s += std::string("  line:    ") + (finding.fFromTrace ? "trace" : "install log") + " line " + Number(finding.iLine) +
         ": " + finding.sLine + "\n";
    s += std::string("  step:    ") + StepTitle(finding.eStep) + "\n";
    for (size_t i = 0; i < finding.context.size(); ++i) s += "  after:   " + finding.context[i] + "\n";
    s += std::string("  meaning: ") + finding.pExplanation->pszMeaning + "\n";
    return s;
}

std::string StepLine(size_t iNumber, const StepReport& step)
{
    std::string s = "  " + Padded(Number(static_cast<unsigned long>(iNumber)) + ".", 4) + Padded(StepTitle(step.eStep), 34);
    if (step.fTimed)
        s += Padded("at " + Seconds(step.dStartMs), 14) + Padded(Seconds(step.dEndMs - step.dStartMs), 12);
    else
        s += std::string(26, ' ');
    s += StateText(step.eState);
    if (!step.sNote.empty()) s += " (" + step.sNote + ")";
    return s + "\n";
}

std::string PatchLine(const PatchRun& patch, bool fTimed)
{
    std::string s = "        patch " + patch.sCommand + ": ";
    if (!patch.fStarted) return s + "could not be started\n";
    if (!fTimed) return s + "started (exit code in the trace only)\n";
    if (!patch.fEnded) return s + "started, no exit code (the run ended while it ran)\n";
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%ld", patch.lExitCode);
    return s + "exit code " + sz + ", " + Seconds(patch.dEndMs - patch.dStartMs) + "\n";
}

}  // namespace

std::string Seconds(double dMs)
{
    char sz[32];
    if (dMs < 1000.0) std::snprintf(sz, sizeof(sz), "%.1f ms", dMs);
    else std::snprintf(sz, sizeof(sz), "%.3f s", dMs / 1000.0);
    return sz;
}

std::string TextReport(const RunTimeline& run, const std::string& sInstallLogPath, const std::string& sTracePath)
{
    std::string s = "Install log: " + sInstallLogPath + "\n";
    s += "Trace:       " + (sTracePath.empty() ? std::string("none (times need the trace)") : sTracePath) + "\n";
    s += std::string("Outcome:     ") + OutcomeText(run.eOutcome);
    if (run.eOutcome == eOutcomeCut) s += std::string("; last step reached: ") + StepTitle(run.eLastStep);
    s += "\n";
    if (!run.sCommandLine.empty()) s += "Command:     " + run.sCommandLine + "\n";
    s += "\n";
    if (run.firstFailure.fFound)
        s += FailureLines("First failure:", run.firstFailure);
    else
        s += "First failure: none\n";
    if (run.runFailure.fFound) s += FailureLines("The run failed at:", run.runFailure);
    s += "\nSteps:\n";
    for (size_t i = 0; i < run.steps.size(); ++i)
    {
        s += StepLine(i + 1, run.steps[i]);
        if (run.steps[i].eStep != eStepPatches) continue;
        for (size_t p = 0; p < run.patches.size(); ++p) s += PatchLine(run.patches[p], run.fHasTrace);
    }
    if (run.fHasTrace) s += "\nWhole run: " + Seconds(run.dTotalMs) + " from the trace's first line to its last\n";
    if (run.fHasTrace && !run.fTraceHasSteps)
        s += "The trace does not mark the steps: tracing of general lines was off (-log 0xaf switches it on).\n";
    return s;
}

}  // namespace logview
