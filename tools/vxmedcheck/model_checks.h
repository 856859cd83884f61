// The device models as the factory loads them: how many, which duplicate wins, models without
// a driver name, unclear default-printer keys and each model file's INF lists.
#ifndef VXMEDCHECK_MODEL_CHECKS_H
#define VXMEDCHECK_MODEL_CHECKS_H

#include "findings.h"
#include "medium.h"

namespace medcheck
{

void CheckModels(const Medium& medium, FindingList& findings);

}  // namespace medcheck

#endif
