// The PDI's install flow: the handshake with the Glue and the product installer, and the
// installer launch with the product's signal.
#ifndef PDI_PDI_INSTALL_H
#define PDI_PDI_INSTALL_H

#include "infrastructure/ci_string.h"
#include "pdi_utils.h"

// Runs the handshake with the Glue and the product installer; true when the installer step
// was reached and done.
bool MimicLegacyGlue(const CVxCiString& sCmdLine);

// Patches unless the Glue ran before, the product installer unless the software is installed,
// then the product's registry values and named event. False only without an information file.
bool DedOVA(InstallType eInstallType, CVxCiString sGluePath);

#endif
