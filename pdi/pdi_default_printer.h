// The offer to make the newly installed printer the default printer, in the system's language.
#ifndef PDI_PDI_DEFAULT_PRINTER_H
#define PDI_PDI_DEFAULT_PRINTER_H

#include <windows.h>

#include "infrastructure/ci_string.h"

// The spooler's default-printer calls came with Windows 2000. They are bound by name so that
// the program still loads on the releases before it, which never make the offer.
struct CDefaultPrinterCalls
{
    BOOL(WINAPI* pfnGet)(LPSTR pszBuffer, LPDWORD pcchBuffer);
    BOOL(WINAPI* pfnSet)(LPCSTR pszPrinter);
};

// Binds both from the spooler's module. False, with both null and a trace line, when the
// module is NULL or lacks either.
bool BindDefaultPrinterCalls(HMODULE hSpooler, CDefaultPrinterCalls& calls);

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
