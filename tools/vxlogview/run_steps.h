// The steps of one PDI run as the viewer shows them: the PDI's own steps and marks
// (pdi_steps.h), with the names support engineers know them by.
#ifndef VXLOGVIEW_RUN_STEPS_H
#define VXLOGVIEW_RUN_STEPS_H

#include "pdi_steps.h"

namespace logview
{

using StepId = EPdiStep;

// A line that several steps write.
constexpr StepId eStepAny = static_cast<StepId>(-1);

// What support engineers call the step; "any step" for eStepAny.
const char* StepTitle(StepId eStep);

}  // namespace logview

#endif
