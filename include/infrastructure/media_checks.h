// The install medium's "autorun.inf" (or the installed copy of its data file), whether the
// medium's software is installed, and the program-folder helpers of the debug settings.
#ifndef INFRASTRUCTURE_MEDIA_CHECKS_H
#define INFRASTRUCTURE_MEDIA_CHECKS_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/vxinfra_api.h"

// The program's directory, pszRelative ("\\..\\..\\" from the PDI) and "autorun.inf", made
// absolute; or the Windows directory's "<DIVISION>ins<release>.dat" when it carries the same
// "DriverVer". 0 only when the program's own path cannot be had. A missing file is not checked.
VXINFRA_API unsigned GetAutorunInfPath(CVxCiString& sPath, const char* pszRelative);
// The same for a given program path (testable without moving the program).
unsigned GetAutorunInfPathForModule(const char* pszModulePath, CVxCiString& sPath, const char* pszRelative);

// Whether HKLM\SOFTWARE\<manufacturer>\Installed Products has a value named by the CD GUID
// (sCdGuid, or the data file's "CDGuid" when it is empty).
VXINFRA_API unsigned IsDriverSetAlreadyInstalled(const CVxCiString& sDataFile, WORD wLangId,
                                                 const CVxCiString& sCdGuid);

// Appends '\\' unless the path ends in one; the buffer must have room for one more byte.
VXINFRA_API void AddTrailingBackslash(char* pszPath);
// The same within a buffer of cbPath bytes; false (path unchanged) when there is no room.
bool AddTrailingBackslash(char* pszPath, size_t cbPath);

// The program's directory with a trailing backslash into a buffer of at least MAX_PATH bytes;
// FALSE (empty buffer) when it cannot be had or does not fit.
VXINFRA_API BOOL GetModuleFolder(char* pszOut);

#endif
