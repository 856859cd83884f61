// Walks over what the local print spooler knows: printers, printer drivers, ports and port
// monitors. Each walk takes a copy of the spooler's list under the spooler mutex and hands the
// entries to the caller's callbacks without the mutex, so a callback may itself use printers,
// ports and walks; changes it makes are not seen by the walk in progress.
#ifndef INFRASTRUCTURE_SPOOLER_ENUM_H
#define INFRASTRUCTURE_SPOOLER_ENUM_H

#include <windows.h>
#include <winspool.h>

#include <memory>

#include "infrastructure/printer.h"
#include "infrastructure/vxinfra_api.h"

// Callbacks return non-zero to go on and 0 to stop; either may be null. The name callback runs
// first for each entry; the entry callback only when the name callback said go on.
// User values pass through unchanged, except that a null user2 stands for the number of
// entries in the copy and a null user3 for the index of the entry (counted over all entries,
// also those without a name, which are skipped).
typedef unsigned int (*PFN_NAME_CALLBACK)(const char* pszName, void* pUser1, void* pUser2, void* pUser3);
typedef unsigned int (*PFN_PRINTER_CALLBACK)(CPrinter& printer, void* pUser1, void* pUser2, void* pUser3);
typedef unsigned int (*PFN_DRIVER_CALLBACK)(DRIVER_INFO_2A& driver, void* pUser1, void* pUser2, void* pUser3);
typedef unsigned int (*PFN_PORT_CALLBACK)(PORT_INFO_2A& port, void* pUser1, void* pUser2, void* pUser3);
typedef unsigned int (*PFN_MONITOR_CALLBACK)(MONITOR_INFO_1A& monitor, void* pUser1, void* pUser2, void* pUser3);

// Each returns 1 when the spooler's list was obtained (also when a callback stopped the walk)
// and 0 when it was not, with the spooler's cause in the last error where there is one.
//
// Printers: level 4 on the NT family, level 5 on Windows 9x; ulFlags 0 means local printers
// and connections on the NT family and local printers on Windows 9x. With an entry callback
// every named entry is made a CPrinter (minimum driver version 99), even when the name
// callback said stop; a printer that cannot be initialised ends the walk with 0.
VXINFRA_API unsigned int ForAllPrinters(PFN_PRINTER_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName, void* pUser1,
                                        void* pUser2, void* pUser3, unsigned long ulFlags);
// Level-2 drivers of "Windows NT x86" on the NT family, "Windows 4.0" on Windows 9x.
VXINFRA_API unsigned int ForAllDrivers(PFN_DRIVER_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName, void* pUser1,
                                       void* pUser2, void* pUser3);
VXINFRA_API unsigned int ForAllPorts(PFN_PORT_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName, void* pUser1,
                                     void* pUser2, void* pUser3);
VXINFRA_API unsigned int ForAllMonitors(PFN_MONITOR_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName, void* pUser1,
                                        void* pUser2, void* pUser3);

// ---- the copy the walks are made over ------------------------------------------------------

// One spooler list call: with a buffer of cbBuffer bytes (none when 0) it fills the buffer,
// reports the size the list needs and the number of entries, and returns the call's result
// with its cause in the last error.
typedef BOOL (*PFN_SPOOLER_LIST)(BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded, DWORD* pcReturned, void* pContext);

struct CSpoolerSnapshot
{
    std::unique_ptr<BYTE[]> pBuffer;  // zero-filled before the fetch
    DWORD cbBuffer = 0;
    DWORD cEntries = 0;
};

// Under the spooler mutex: asks for the size, fetches into a buffer of that size, and when the
// list grew in between waits a second and tries once more. 1 with the copy, 0 when the size
// query failed (ERROR_INSUFFICIENT_BUFFER, and ERROR_INVALID_PARAMETER when fAcceptInvalid-
// Parameter, count as answers), memory ran out, the fetch failed, or the list grew twice.
VXINFRA_API unsigned int TakeSpoolerSnapshot(PFN_SPOOLER_LIST pfnList, void* pContext, bool fAcceptInvalidParameter,
                                             CSpoolerSnapshot& snapshot);

#endif
