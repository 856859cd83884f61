#include "pdi_glue_view.h"

#include "diag/install_log.h"
#include "infrastructure/os_version.h"
#include "vxzglue/vxzglue_registry.h"

namespace
{

// The PDI runs one flow on one thread: the view is a fact of the run, found once.
REGSAM g_samGlueView = 0;

}  // namespace

void FindGlueRegistryView(const CVxCiString& sRegKeyGlueDriver)
{
    g_samGlueView = 0;
    if (!Is64BitOS()) return;
    if (!RegKeyExists(sRegKeyGlueDriver) && RegKeyExists(sRegKeyGlueDriver, HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY))
        g_samGlueView = KEY_WOW64_64KEY;
    g_InstallLog.LogMessage(0, "Glue values read in the %s registry view",
                            g_samGlueView == KEY_WOW64_64KEY ? "64-bit" : "32-bit");
}

REGSAM GlueRegistryView() { return g_samGlueView; }
