#include "pdi_install.h"

#include "diag/install_log.h"

bool MimicLegacyGlue(const CVxCiString& sCmdLine)
{
    // The handshake is not built yet: a run that reaches it must not be reported as a success.
    (void)sCmdLine;
    return LOG_CONDITION_FAILED("the install flow is not available in this build");
}
