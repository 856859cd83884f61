#include "run_steps.h"

namespace logview
{

namespace
{

const char* const kTitles[eStepCount] = {
    "command line",
    "handshake with the Glue",
    "wait for the installation mutex",
    "Glue's registry values",
    "retries for the Glue's status",
    "Glue folder",
    "default-printer question",
    "driver signal and install type",
    "patches",
    "installer start",
    "product signal",
    "clean-up",
};

}  // namespace

const char* StepTitle(StepId eStep) { return eStep >= 0 && eStep < eStepCount ? kTitles[eStep] : "any step"; }

}  // namespace logview
