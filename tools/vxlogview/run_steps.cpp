#include "run_steps.h"

#include <cstring>

namespace
{

struct StepNames
{
    const char* pszMarker;
    const char* pszTitle;
};

const StepNames kSteps[eStepCount] = {
    {NULL, "command line"},
    {"handshake", "handshake with the Glue"},
    {"installation mutex", "wait for the installation mutex"},
    {"registry values", "Glue's registry values"},
    {"status retries", "retries for the Glue's status"},
    {"Glue folder", "Glue folder"},
    {"default printer question", "default-printer question"},
    {"install type", "driver signal and install type"},
    {"patches", "patches"},
    {"installer start", "installer start"},
    {"product signal", "product signal"},
    {"clean-up", "clean-up"},
};

}  // namespace

const char kEndMarker[] = "end";

const char* StepMarker(StepId eStep) { return eStep >= 0 && eStep < eStepCount ? kSteps[eStep].pszMarker : NULL; }

const char* StepTitle(StepId eStep) { return eStep >= 0 && eStep < eStepCount ? kSteps[eStep].pszTitle : "any step"; }

StepId StepFromMarker(const char* pszMarker, size_t cchMarker)
{
    for (int i = 0; i < eStepCount; ++i)
    {
        const char* pszKnown = kSteps[i].pszMarker;
        if (pszKnown && std::strlen(pszKnown) == cchMarker && std::strncmp(pszKnown, pszMarker, cchMarker) == 0)
            return static_cast<StepId>(i);
    }
    return eStepAny;
}
