// The trace log's naming, classification and counter arithmetic as plain functions, so that
// each rule can be checked without waiting or running under another name. Not exported.
#ifndef DIAG_TRACE_LOG_INTERNAL_H
#define DIAG_TRACE_LOG_INTERNAL_H

#include <windows.h>

#include <cstddef>

#include "infrastructure/ci_string.h"

namespace trace_internal
{

// What follows the last '/', ':' or '\\' of a path; both bytes of a double-byte character are
// stepped over, so a trail byte that looks like a separator does not cut.
CVxCiString FileNamePart(const char* pszPath);

// The trace file's base name for an executable: its file name, with "VXZ" put in front when it
// begins with "SETUP" in any letter case.
CVxCiString BaseNameForModule(const char* pszModulePath);

// "%6.6s%3.3lu" of the base name and n: at most six bytes of it, padded to six, then n.
CVxCiString NumberedName(const CVxCiString& sBase, unsigned long n);

// The category TraceAuto gives a format, and how many leading characters of the formatted text
// are its marker ("ENTERING=" 9, "EXITING=" 8, else 0).
DWORD ClassifyFormat(const char* pszFormat, size_t* pcchMarker);

// The process's tick values: the first line's and the previous line's.
struct TraceClock
{
    DWORD dwFirstTick;
    DWORD dwPreviousTick;
    bool fHaveLine;
};

// Takes the line written at dwNow: whole seconds since the first and since the previous line
// (0 on the first line), in unsigned 32-bit tick arithmetic, then remembers dwNow.
void AdvanceClock(TraceClock* pClock, DWORD dwNow, DWORD* pdwSinceFirst, DWORD* pdwSincePrevious);

// The high-resolution counter as microseconds modulo ten seconds. Counters slower than one
// megahertz are scaled exactly; without a usable frequency the result is 0.
DWORD MicrosecondsModTen(LONGLONG llCounter, LONGLONG llFrequency);

// The line prefix "<time>:<us>:<flags>(<first>-<previous>)(" into a buffer of cbPrefix bytes;
// the counters are written modulo 10000. Returns the length written.
size_t FormatPrefix(char* pszPrefix, size_t cbPrefix, const char* pszTimeStamp, DWORD dwMicroseconds,
                    DWORD dwFlags, DWORD dwSinceFirst, DWORD dwSincePrevious);

}  // namespace trace_internal

#endif
