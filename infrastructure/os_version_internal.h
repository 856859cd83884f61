// The OS classification over a given version record and 64-bit flag, so that releases this
// process does not run on (a 64-bit Windows seen through WOW64, failed queries) can be checked.
// Not exported: the public predicates apply these to the process's own record.
#ifndef INFRASTRUCTURE_OS_VERSION_INTERNAL_H
#define INFRASTRUCTURE_OS_VERSION_INTERNAL_H

#include <windows.h>

#include "infrastructure/ci_string.h"

namespace os_internal
{

typedef BOOL(WINAPI* GetVersionExFn)(OSVERSIONINFOA* pVersion);
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE hProcess, PBOOL pfWow64);

struct VersionFacts
{
    OSVERSIONINFOEXA tVersion;  // after the 5.2 workstation adjustment
    BOOL f64Bit;
};

// Fills the facts as the process does once: the extended record, else the basic one; the
// WOW64 answer when pfnIsWow64 is given; a 5.2 workstation recorded as 5.1.
VersionFacts QueryVersionFacts(GetVersionExFn pfnGetVersionEx, IsWow64ProcessFn pfnIsWow64);

// Facts filled on first use and kept. Concurrent first callers may each query, but a caller
// never sees a record that is still being written.
struct VersionCache
{
    VersionFacts tFacts;
    volatile LONG lState;  // 0 empty, 1 being stored, 2 ready
};
const VersionFacts& CachedVersionFacts(VersionCache* pCache, GetVersionExFn pfnGetVersionEx,
                                       IsWow64ProcessFn pfnIsWow64);

unsigned IsNT(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned IsNT4(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned IsW2K(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned IsXP(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned IsXP_64(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned IsWin2003(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned IsWin2003_64(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned Is64BitOS(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned IsPreXP(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned Is9X(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned Is95(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned Is98(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned IsMe(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned Is98Gold(const OSVERSIONINFOEXA& v, BOOL f64Bit);
unsigned Is98SE(const OSVERSIONINFOEXA& v, BOOL f64Bit);
// The service pack of a fresh extended query on the NT family, else 0.
unsigned GetServicePack(const OSVERSIONINFOEXA& v, BOOL f64Bit, GetVersionExFn pfnGetVersionEx);
CVxCiString GetOSVersion(const OSVERSIONINFOEXA& v, BOOL f64Bit);
CVxCiString GetOSNumbers(const OSVERSIONINFOEXA& v, BOOL f64Bit);
CVxCiString GetOSName(const OSVERSIONINFOEXA& v, BOOL f64Bit);

}  // namespace os_internal

#endif
