// The PDI's install flow and the checks it makes of the install medium.
#ifndef PDI_PDI_INSTALL_H
#define PDI_PDI_INSTALL_H

#include "infrastructure/ci_string.h"

// Runs the handshake with the Glue and the product installer; true when the installer step
// was reached and done.
bool MimicLegacyGlue(const CVxCiString& sCmdLine);

#endif
