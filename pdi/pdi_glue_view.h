// Which registry view holds the Glue's values. On 64-bit Windows the installer process that
// loads the Glue is 64-bit, so the Glue writes HKLM\SOFTWARE in the 64-bit view, while this
// 32-bit program's own reads there go to the 32-bit view (Wow6432Node). The run reads, tidies
// and deletes the Glue's values in the view where it found the Glue's key; the values that the
// product's own 32-bit installer reads stay in the program's own view.
#ifndef PDI_PDI_GLUE_VIEW_H
#define PDI_PDI_GLUE_VIEW_H

#include <windows.h>

#include "infrastructure/ci_string.h"

// On 64-bit Windows: the program's own view when the driver's Glue key is there, else the
// 64-bit view when the key is there; the install log names the view. On 32-bit Windows it
// does nothing, and the view stays the program's own.
void FindGlueRegistryView(const CVxCiString& sRegKeyGlueDriver);

// The view of the Glue's values for the rest of the run: 0 (the program's own) or
// KEY_WOW64_64KEY, to be passed to the registry calls as their samView.
REGSAM GlueRegistryView();

#endif
