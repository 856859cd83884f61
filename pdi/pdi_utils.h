// How the driver install came about: preloaded software, a running product installer, or
// neither.
#ifndef PDI_PDI_UTILS_H
#define PDI_PDI_UTILS_H

#include "infrastructure/ci_string.h"

// Fixed values: they are handed between the Glue family's programs.
enum InstallType
{
    eInstallTypePreload = 0,
    eInstallTypePreloadInstaller = 1,
    eInstallTypeInstallerPreload = 2,
    eInstallTypeStandard = 3,
    eInstallTypeUnknown = 4
};

bool GetInstallType(const CVxCiString& sGluePath, InstallType* peType);

#endif
