// One run put together from its install log and, when given, its trace: the outcome, the first
// failure and the steps in order with their times.
#ifndef VXLOGVIEW_TIMELINE_H
#define VXLOGVIEW_TIMELINE_H

#include <string>
#include <vector>

#include "explanations.h"
#include "log_lines.h"
#include "run_steps.h"

namespace logview
{

enum RunOutcome
{
    eOutcomeSucceeded,
    eOutcomeFailed,
    eOutcomeCut  // no outcome line: the run was ended before it finished
};

enum StepState
{
    eStateNotReached,
    eStateDone,
    eStateProblem,     // something in it failed; the run went on
    eStateFailed,      // the run failed in it
    eStateSkipped,     // reached, but there was nothing to do
    eStateInterrupted  // the run ended while in it
};

// A line that tells of a failure, with the lines of low-level checks just before it.
struct Finding
{
    bool fFound = false;
    bool fFromTrace = false;
    size_t iLine = 0;  // in its file, 1-based
    std::string sLine;
    std::string sText;
    const Explanation* pExplanation = nullptr;
    StepId eStep = eStepAny;
    std::vector<std::string> context;
};

struct PatchRun
{
    std::string sCommand;
    bool fStarted = true;
    bool fEnded = false;
    long lExitCode = 0;
    double dStartMs = 0, dEndMs = 0;
};

struct StepReport
{
    StepId eStep = eStepCommandLine;
    StepState eState = eStateNotReached;
    bool fTimed = false;
    double dStartMs = 0, dEndMs = 0;
    std::string sNote;
};

struct RunTimeline
{
    RunOutcome eOutcome = eOutcomeCut;
    bool fHasTrace = false;
    bool fTraceHasSteps = false;  // the trace marks the steps (tracing of general lines was on)
    StepId eLastStep = eStepCommandLine;
    Finding firstFailure;
    Finding runFailure;  // the failure that failed the run, when it is not the first one
    std::vector<StepReport> steps;  // one per step, in order
    std::vector<PatchRun> patches;
    double dTotalMs = 0;
    std::string sCommandLine;
    // The parsed files, for the raw view.
    std::vector<InstallLine> installLines;
    std::vector<TraceLine> traceLines;
    std::vector<double> traceTimesMs;  // per trace line, since the first
};

RunTimeline BuildTimeline(const TextFile& installLog, const TextFile* pTrace);

// Milliseconds since the first line, from the ten-second microsecond counter and the whole
// seconds since the previous line.
std::vector<double> TraceTimes(const std::vector<TraceLine>& lines);

const char* OutcomeText(RunOutcome eOutcome);
const char* StateText(StepState eState);

}  // namespace logview

#endif
