// The steps of the PDI's install flow, in the order the flow takes them, and the marks that
// open them in the trace ("Step: <mark>", then "Step: end" after the last). The log viewer
// times the steps from these marks and reads traces of PDIs already shipped, so a mark's text
// never changes. Header only: the viewer includes it without linking the PDI.
#ifndef PDI_PDI_STEPS_H
#define PDI_PDI_STEPS_H

#include <cstring>

// int-based, so that a reader of traces may keep a value outside the steps for "none".
enum EPdiStep : int
{
    eStepCommandLine = 0,  // starts with the process: no mark
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

inline constexpr const char* kPdiStepMarks[eStepCount] = {
    nullptr,
    "handshake",
    "installation mutex",
    "registry values",
    "status retries",
    "Glue folder",
    "default printer question",
    "install type",
    "patches",
    "installer start",
    "product signal",
    "clean-up",
};

// The mark after the last step.
inline constexpr char kPdiStepEndMark[] = "end";

// The step's mark; null for the command line and for a value that is no step.
inline const char* PdiStepMark(EPdiStep eStep) { return eStep >= 0 && eStep < eStepCount ? kPdiStepMarks[eStep] : nullptr; }

// The step whose mark is the cchMark characters at pszMark; eStepCount when none is.
inline EPdiStep PdiStepFromMark(const char* pszMark, size_t cchMark)
{
    for (int i = 0; i < eStepCount; ++i)
    {
        const char* pszKnown = kPdiStepMarks[i];
        if (pszKnown && std::strlen(pszKnown) == cchMark && std::strncmp(pszKnown, pszMark, cchMark) == 0)
            return static_cast<EPdiStep>(i);
    }
    return eStepCount;
}

#endif
