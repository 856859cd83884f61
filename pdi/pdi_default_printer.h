// The offer to make the newly installed printer the default printer, in the system's language.
#ifndef PDI_PDI_DEFAULT_PRINTER_H
#define PDI_PDI_DEFAULT_PRINTER_H

#include "infrastructure/ci_string.h"

// Whether the printer's device model, read from the install medium two folders above the
// program, sets "asktomakedefaultprinter" to 1 or Yes.
bool AskToMakeDefaultPrinter(const CVxCiString& sFriendlyName);

// Asks whether the printer should become the default printer and makes it so on Yes. Nothing
// is asked when the model does not want it or the printer already is the default. Names of
// kMaxDefaultPrinterName bytes or more are not offered (traced). Never fails its caller.
void DefaultPrinter(const CVxCiString& sFriendlyName);

// The name buffer of the offer holds names shorter than this.
const size_t kMaxDefaultPrinterName = 256;

#endif
