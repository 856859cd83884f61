// Cached reader of profile (.ini-style) data files. Each file is parsed once per process and
// parsed again only when its size or last-write time changes; the answers have the shape of
// GetPrivateProfileStringA / GetPrivateProfileSectionA.
//
// Locking: one process-wide profile lock is held for every read, parse and trace line of
// these routines. Trace lines take the trace log's own lock inside, so the lock order is
// profile lock, then trace lock; never call in here while holding the trace lock.
#ifndef INFRASTRUCTURE_PROFILE_READER_H
#define INFRASTRUCTURE_PROFILE_READER_H

#include <windows.h>

#include "infrastructure/vxinfra_api.h"

// Files below this size are handed to the system's own profile functions on Windows 9x.
const DWORD PROFILE_NATIVE_SIZE_LIMIT = 65500;

// Like GetPrivateProfileStringA. A null lpAppName lists the section names (sorted, case
// ignored), a null lpKeyName the section's key names (file order, repeats kept). A null
// lpDefault is an error. Returns the bytes placed in lpReturnedString; a list that does not fit
// returns nSize - 2 (0 when nSize is 1) with its last two bytes NUL.
VXINFRA_API DWORD ReadProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                    DWORD nSize, LPCSTR pFileName);

// Like GetPrivateProfileSectionA: the section's lines "key=value" as a NUL-separated list.
// When the file cannot be read the buffer is left as it is and the length of the string it
// holds is returned (a buffer without a terminator within nSize is emptied and gives 0).
VXINFRA_API DWORD ReadProfileSection(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR pFileName);

// Skips leading white space (returning the moved pointer) and overwrites trailing white space
// with NULs; double-byte characters are stepped over whole. Null gives null.
char* TrimSpaces(char* pszText);

// Whether the cache keeps each file's handle open between checks: fixed at start-up, true
// unless the system is Windows 9x.
bool ProfileKeepsFilesOpen();

// What the cache holds for a file name (as it was passed), for diagnostics and tests.
struct ProfileCacheEntryInfo
{
    DWORD dwSize;          // as of the last parse; 0 before the first
    FILETIME ftLastWrite;  // as of the last parse
    bool fHandleHeld;      // an open handle is kept for the next check
    UINT uDriveType;       // 0 until determined
    size_t cSections;
};

// False when the cache has no entry for the name.
bool GetProfileCacheEntryInfo(LPCSTR pFileName, ProfileCacheEntryInfo* pInfo);

#endif
