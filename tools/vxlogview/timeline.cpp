#include "timeline.h"

#include <cstdlib>
#include <cstring>

namespace logview
{

namespace
{

const double kCounterSpanUs = 10000000.0;  // the microsecond counter starts again every ten seconds

bool IsFailureWeight(LineWeight eWeight) { return eWeight == eWeightProblem || eWeight == eWeightFatal; }

bool StartsWith(const std::string& s, const char* pszPrefix) { return s.compare(0, std::strlen(pszPrefix), pszPrefix) == 0; }

// The text between a prefix and a suffix of a line that matched their format.
std::string Between(const std::string& s, size_t cchPrefix, size_t cchSuffix)
{
    return s.size() >= cchPrefix + cchSuffix ? s.substr(cchPrefix, s.size() - cchPrefix - cchSuffix) : std::string();
}

long LastNumberOf(const std::string& s)
{
    const size_t i = s.find_last_of(' ');
    return std::strtol(s.c_str() + (i == std::string::npos ? 0 : i + 1), nullptr, 10);
}

const Explanation* ExplainInstallLine(const InstallLine& line)
{
    if (line.eKind == eInstallCondition) return FindExplanation(eOriginCondition, line.sText, line.sSource.c_str());
    if (line.eKind == eInstallSourced) return FindExplanation(eOriginInstallLog, line.sText, line.sSource.c_str());
    if (line.eKind == eInstallMessage) return FindExplanation(eOriginInstallLog, line.sText, nullptr);
    return nullptr;
}

std::string RawInstallLine(const TextFile& file, const InstallLine& line) { return file.lines[line.iLine - 1]; }

// Up to four low-level lines written just before a failure: the registry call and the like.
std::vector<std::string> ContextBefore(const TextFile& file, const std::vector<InstallLine>& lines, size_t iIndex)
{
    std::vector<std::string> context;
    size_t i = iIndex;
    while (i > 0 && context.size() < 4)
    {
        const InstallLine& before = lines[i - 1];
        const Explanation* pEntry = ExplainInstallLine(before);
        if (!pEntry || pEntry->eWeight != eWeightDetail) break;
        context.insert(context.begin(), RawInstallLine(file, before));
        --i;
    }
    return context;
}

struct InstallScan
{
    Finding firstFailure;
    Finding firstFatal;
    StepId eLastStep = eStepCommandLine;
    bool problemSteps[eStepCount] = {};
    bool fLaunchedInstaller = false;
    bool fPatchesFailed = false;
    std::vector<std::string> patchCommands;
};

void NoteFinding(const TextFile& file, const std::vector<InstallLine>& lines, size_t i, const Explanation* pEntry,
                 StepId eStep, Finding* pFinding)
{
    pFinding->fFound = true;
    pFinding->iLine = lines[i].iLine;
    pFinding->sLine = RawInstallLine(file, lines[i]);
    pFinding->sText = lines[i].sText;
    pFinding->pExplanation = pEntry;
    pFinding->eStep = eStep;
    // Only lines that say so are explained by the low-level lines before them.
    if (std::strstr(pEntry->pszMeaning, "see the lines before")) pFinding->context = ContextBefore(file, lines, i);
}

InstallScan ScanInstallLog(const TextFile& file, const std::vector<InstallLine>& lines)
{
    InstallScan scan;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const Explanation* pEntry = ExplainInstallLine(lines[i]);
        if (!pEntry) continue;
        if (pEntry->eStep != eStepAny && pEntry->eStep > scan.eLastStep) scan.eLastStep = pEntry->eStep;
        const StepId eStep = pEntry->eStep != eStepAny ? pEntry->eStep : scan.eLastStep;
        const LineWeight eWeight = EffectiveWeight(*pEntry, lines[i].sText);
        if (std::strcmp(pEntry->pszText, "DedOVA launching \"%s\"") == 0) scan.fLaunchedInstaller = true;
        if (std::strcmp(pEntry->pszText, "InstallDriverRelatedPatches()==FALSE") == 0) scan.fPatchesFailed = true;
        if (std::strcmp(pEntry->pszText, "command.c_str()=%s") == 0) scan.patchCommands.push_back(lines[i].sText.substr(16));
        if (!IsFailureWeight(eWeight)) continue;
        scan.problemSteps[eStep] = true;
        if (!scan.firstFailure.fFound) NoteFinding(file, lines, i, pEntry, eStep, &scan.firstFailure);
        if (eWeight == eWeightFatal && !scan.firstFatal.fFound) NoteFinding(file, lines, i, pEntry, eStep, &scan.firstFatal);
    }
    return scan;
}

struct TraceScan
{
    bool fSeen[eStepCount] = {};
    double dStartMs[eStepCount] = {};
    double dEndMs[eStepCount] = {};
    bool fEnded[eStepCount] = {};
    bool fEndMarker = false;
    StepId eLastMarker = eStepCommandLine;
    bool fAnyMarker = false;
    Finding firstFailure;
    bool problemSteps[eStepCount] = {};
    std::string sAnswer;
    std::string notes[eStepCount];
    bool fPatchesSkipped = false;
    bool fSoftwareInstalled = false;
    std::vector<PatchRun> patches;
};

void CloseOpenStep(TraceScan* pScan, double dMs)
{
    const StepId eOpen = pScan->eLastMarker;
    if (pScan->fSeen[eOpen] && !pScan->fEnded[eOpen])
    {
        pScan->dEndMs[eOpen] = dMs;
        pScan->fEnded[eOpen] = true;
    }
}

void OnMarker(const std::string& sName, double dMs, TraceScan* pScan)
{
    CloseOpenStep(pScan, dMs);
    if (sName == kPdiStepEndMark)
    {
        pScan->fEndMarker = true;
        return;
    }
    const StepId eStep = PdiStepFromMark(sName.c_str(), sName.size());
    if (eStep == eStepCount) return;
    pScan->fAnyMarker = true;
    pScan->fSeen[eStep] = true;
    pScan->fEnded[eStep] = false;
    pScan->dStartMs[eStep] = dMs;
    pScan->eLastMarker = eStep;
}

// What the default-printer, patch and installer lines tell beyond their step.
void OnStepDetail(const Explanation& entry, const std::string& sText, double dMs, TraceScan* pScan)
{
    const std::string sFormat = entry.pszText;
    if (sFormat == "Default printer question answered %s\n")
    {
        pScan->sAnswer = Between(sText, 34, 0);
        pScan->notes[eStepDefaultPrinter] = "asked; answered " + pScan->sAnswer;
    }
    else if (sFormat == "Not doing default printer check in 98/Me\n")
        pScan->notes[eStepDefaultPrinter] = "not asked: not offered on this system or for a silent install";
    else if (sFormat == "Installing printer is already the default printer\n")
        pScan->notes[eStepDefaultPrinter] = "not asked: the printer is the default printer already";
    else if (sFormat == "AskToMakeDefaultPrinter(%s) return %d" && LastNumberOf(sText) == 0)
        pScan->notes[eStepDefaultPrinter] = "not asked: the printer's model does not ask";
    else if (sFormat == "HasGlueRunBefore: Factory(%s) returns %d\n" && LastNumberOf(sText) != 0)
        pScan->fPatchesSkipped = true;
    else if (sFormat == "IsSoftwareInstalled(%s) return %d\n" && LastNumberOf(sText) != 0)
        pScan->fSoftwareInstalled = true;
    else if (sFormat == "Launching %s ..\n")
    {
        PatchRun patch;
        patch.sCommand = Between(sText, 10, 3);
        patch.dStartMs = dMs;
        pScan->patches.push_back(patch);
    }
    else if (sFormat == "CreateProcess returns %d\n" && !pScan->patches.empty() && LastNumberOf(sText) == 0)
        pScan->patches.back().fStarted = false;
    else if (sFormat == "Process %s returns %d\n" && !pScan->patches.empty())
    {
        pScan->patches.back().fEnded = true;
        pScan->patches.back().lExitCode = LastNumberOf(sText);
        pScan->patches.back().dEndMs = dMs;
    }
}

TraceScan ScanTrace(const TextFile& file, const std::vector<TraceLine>& lines, const std::vector<double>& times)
{
    TraceScan scan;
    if (!lines.empty()) scan.fSeen[eStepCommandLine] = true;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const std::string& sText = lines[i].sText;
        const Explanation* pEntry = FindExplanation(eOriginTrace, sText, nullptr);
        if (!pEntry) continue;
        if (StartsWith(sText, "Step: "))
        {
            OnMarker(sText.substr(6), times[i], &scan);
            continue;
        }
        OnStepDetail(*pEntry, sText, times[i], &scan);
        const LineWeight eWeight = EffectiveWeight(*pEntry, sText);
        if (!IsFailureWeight(eWeight)) continue;
        const StepId eStep = pEntry->eStep != eStepAny && !scan.fAnyMarker ? pEntry->eStep : scan.eLastMarker;
        scan.problemSteps[eStep] = true;
        if (scan.firstFailure.fFound) continue;
        scan.firstFailure.fFound = true;
        scan.firstFailure.fFromTrace = true;
        scan.firstFailure.iLine = lines[i].iLine;
        scan.firstFailure.sLine = file.lines[lines[i].iLine - 1];
        scan.firstFailure.sText = sText;
        scan.firstFailure.pExplanation = pEntry;
        scan.firstFailure.eStep = eStep;
    }
    if (!lines.empty()) CloseOpenStep(&scan, times.back());
    return scan;
}

// Without step markers the install log shows how far the run got; a finished run got through
// every step up to its failure, and the clean-up runs whenever the handshake began.
void ReachedFromInstallLog(const RunTimeline& run, const InstallScan& scan, bool reached[eStepCount])
{
    StepId eLast = scan.eLastStep;
    if (run.eOutcome == eOutcomeSucceeded) eLast = eStepCleanUp;
    if (run.eOutcome == eOutcomeFailed && scan.firstFatal.fFound) eLast = scan.firstFatal.eStep;
    for (int i = 0; i < eStepCount; ++i) reached[i] = i <= eLast;
    if (run.eOutcome != eOutcomeCut && eLast >= eStepHandshake) reached[eStepCleanUp] = true;
}

std::string NotReachedNote(RunOutcome eOutcome)
{
    return eOutcome == eOutcomeCut ? "the run was ended before it" : "the run failed before it";
}

void FillStepStates(RunTimeline* pRun, const InstallScan& install, const TraceScan& trace)
{
    bool reached[eStepCount] = {};
    if (pRun->fTraceHasSteps)
    {
        for (int i = 0; i < eStepCount; ++i) reached[i] = trace.fSeen[i];
    }
    else
    {
        ReachedFromInstallLog(*pRun, install, reached);
    }
    const StepId eFatalStep = install.firstFatal.fFound ? install.firstFatal.eStep : eStepAny;
    for (int i = 0; i < eStepCount; ++i)
    {
        StepReport& step = pRun->steps[i];
        if (!reached[i])
        {
            step.sNote = NotReachedNote(pRun->eOutcome);
            continue;
        }
        pRun->eLastStep = static_cast<StepId>(i);
        step.eState = eStateDone;
        if (install.problemSteps[i] || trace.problemSteps[i]) step.eState = eStateProblem;
        if (i == eFatalStep) step.eState = eStateFailed;
        step.fTimed = pRun->fTraceHasSteps && trace.fEnded[i];
        step.dStartMs = trace.dStartMs[i];
        step.dEndMs = trace.dEndMs[i];
        if (!trace.notes[i].empty()) step.sNote = trace.notes[i];
    }
    // The last step shown; with the end of the flow missing from a cut run, the run ended in it.
    if (pRun->eOutcome == eOutcomeCut && !(pRun->fTraceHasSteps && trace.fEndMarker))
    {
        if (pRun->steps[pRun->eLastStep].eState != eStateFailed) pRun->steps[pRun->eLastStep].eState = eStateInterrupted;
        if (!pRun->fTraceHasSteps) pRun->steps[pRun->eLastStep].sNote = "the last step the install log shows";
    }
}

void NoteSkippedSteps(RunTimeline* pRun, const InstallScan& install, const TraceScan& trace)
{
    StepReport& patches = pRun->steps[eStepPatches];
    if (patches.eState == eStateDone && trace.fPatchesSkipped)
    {
        patches.eState = eStateSkipped;
        patches.sNote = "skipped: the Glue has installed a model of this medium before";
    }
    else if (patches.eState == eStateDone && install.patchCommands.empty())
    {
        patches.sNote = "no patch for this system on the medium";
    }
    StepReport& installer = pRun->steps[eStepInstaller];
    if (installer.eState == eStateDone && !install.fLaunchedInstaller)
    {
        installer.eState = eStateSkipped;
        installer.sNote = trace.fSoftwareInstalled ? "skipped: the software is installed already"
                          : install.fPatchesFailed ? "skipped: the patches could not be run"
                                                   : "skipped: no installer start in the log";
    }
    StepReport& question = pRun->steps[eStepDefaultPrinter];
    if (question.eState == eStateDone && question.sNote.empty() && !pRun->fHasTrace)
        question.sNote = "asked or not: only a trace tells";
}

void CollectPatches(RunTimeline* pRun, const InstallScan& install, const TraceScan& trace)
{
    if (!trace.patches.empty())
    {
        pRun->patches = trace.patches;
        return;
    }
    for (size_t i = 0; i < install.patchCommands.size(); ++i)
    {
        PatchRun patch;
        patch.sCommand = install.patchCommands[i];
        pRun->patches.push_back(patch);
    }
}

std::string CommandLineOf(const std::vector<InstallLine>& lines)
{
    for (size_t i = lines.size(); i-- > 0;)
    {
        if (lines[i].eKind == eInstallMessage && StartsWith(lines[i].sText, "Command Line = ")) return lines[i].sText.substr(15);
    }
    return std::string();
}

RunOutcome OutcomeOf(const std::vector<InstallLine>& lines)
{
    for (size_t i = lines.size(); i-- > 0;)
    {
        if (lines[i].eKind == eInstallBlank) continue;
        if (lines[i].sText == "The PDI Succeeded") return eOutcomeSucceeded;
        if (lines[i].sText == "The PDI Failed") return eOutcomeFailed;
        return eOutcomeCut;
    }
    return eOutcomeCut;
}

}  // namespace

std::vector<double> TraceTimes(const std::vector<TraceLine>& lines)
{
    std::vector<double> times(lines.size(), 0.0);
    for (size_t i = 1; i < lines.size(); ++i)
    {
        const double dSeconds = lines[i].uSecondsSincePrevious;
        double dDeltaUs = dSeconds * 1000000.0;
        if (lines[i].fMicros && lines[i - 1].fMicros)
        {
            // The counter's step, plus as many ten-second rounds as the whole seconds call for.
            double dStep = static_cast<double>(lines[i].ulMicros % 10000000UL) -
                           static_cast<double>(lines[i - 1].ulMicros % 10000000UL);
            if (dStep < 0) dStep += kCounterSpanUs;
            const double dWanted = dSeconds * 1000000.0 + 500000.0;
            double dRounds = static_cast<double>(static_cast<long>((dWanted - dStep) / kCounterSpanUs + 0.5));
            if (dRounds < 0) dRounds = 0;
            dDeltaUs = dStep + dRounds * kCounterSpanUs;
        }
        times[i] = times[i - 1] + dDeltaUs / 1000.0;
    }
    return times;
}

RunTimeline BuildTimeline(const TextFile& installLog, const TextFile* pTrace)
{
    RunTimeline run;
    run.installLines = ParseInstallLog(installLog);
    run.eOutcome = OutcomeOf(run.installLines);
    run.sCommandLine = CommandLineOf(run.installLines);
    if (pTrace)
    {
        size_t cForeign = 0;
        run.traceLines = ParseTrace(*pTrace, &cForeign);
        run.fHasTrace = !run.traceLines.empty();
    }
    run.traceTimesMs = TraceTimes(run.traceLines);
    if (!run.traceTimesMs.empty()) run.dTotalMs = run.traceTimesMs.back();

    const InstallScan install = ScanInstallLog(installLog, run.installLines);
    TraceScan trace;
    if (pTrace) trace = ScanTrace(*pTrace, run.traceLines, run.traceTimesMs);
    run.fTraceHasSteps = trace.fAnyMarker;

    run.steps.resize(eStepCount);
    for (int i = 0; i < eStepCount; ++i) run.steps[i].eStep = static_cast<StepId>(i);
    FillStepStates(&run, install, trace);
    NoteSkippedSteps(&run, install, trace);
    CollectPatches(&run, install, trace);

    // The earlier step's failure comes first; in one step the install log's line wins.
    run.firstFailure = install.firstFailure;
    if (trace.firstFailure.fFound && (!install.firstFailure.fFound || trace.firstFailure.eStep < install.firstFailure.eStep))
        run.firstFailure = trace.firstFailure;
    if (install.firstFatal.fFound && install.firstFatal.iLine != run.firstFailure.iLine) run.runFailure = install.firstFatal;
    if (install.firstFatal.fFound && run.firstFailure.fFromTrace) run.runFailure = install.firstFatal;
    return run;
}

const char* OutcomeText(RunOutcome eOutcome)
{
    switch (eOutcome)
    {
    case eOutcomeSucceeded: return "The PDI Succeeded";
    case eOutcomeFailed: return "The PDI Failed";
    default: return "no outcome line: the run was ended before it finished";
    }
}

const char* StateText(StepState eState)
{
    switch (eState)
    {
    case eStateDone: return "done";
    case eStateProblem: return "done, with a failure";
    case eStateFailed: return "failed";
    case eStateSkipped: return "skipped";
    case eStateInterrupted: return "ended during it";
    default: return "not reached";
    }
}

}  // namespace logview
