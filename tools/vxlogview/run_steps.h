// The steps of one PDI run, in the order the PDI takes them.
#ifndef VXLOGVIEW_RUN_STEPS_H
#define VXLOGVIEW_RUN_STEPS_H

#include <cstddef>

enum StepId
{
    eStepAny = -1,  // a line that several steps write
    eStepCommandLine = 0,
    eStepHandshake,
    eStepMutex,
    eStepRegistryValues,
    eStepStatusRetries,
    eStepGlueFolder,
    eStepDefaultPrinter,
    eStepInstallType,
    eStepPatches,
    eStepInstaller,
    eStepProductSignal,
    eStepCleanUp,
    eStepCount
};

// The name the PDI's trace gives the step ("Step: <marker>"); null for the command-line check,
// which starts with the process.
const char* StepMarker(StepId eStep);
// What support engineers call it.
const char* StepTitle(StepId eStep);
// The trace marker the PDI writes after its last step.
extern const char kEndMarker[];
// eStepAny when the name is none of the steps' markers.
StepId StepFromMarker(const char* pszMarker, size_t cchMarker);

#endif
