#include "diag/trace_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "trace_log_internal.h"
#include "vx_owners.h"

namespace
{

// Shared by every line of the process, as the second counters measure the process, not one
// trace object.
trace_internal::TraceClock g_tClock = {0, 0, false};

// Without a usable high-resolution counter the tick count stands in, at millisecond grain.
DWORD MicrosecondCounter()
{
    LARGE_INTEGER liCounter, liFrequency;
    if (!QueryPerformanceCounter(&liCounter) || !QueryPerformanceFrequency(&liFrequency) ||
        liFrequency.QuadPart <= 0)
    {
        return (GetTickCount() % 10000u) * 1000u;
    }
    return trace_internal::MicrosecondsModTen(liCounter.QuadPart, liFrequency.QuadPart);
}

struct CategoryMarker
{
    DWORD dwFlag;
    const char* pszMarker;
};

const CategoryMarker kMarkers[] = {
    {TRACE_ENTRY, "-> "}, {TRACE_EXIT, "<- "}, {TRACE_FAILURE, "## "}, {TRACE_VALUE, "= "}};

// Callers read the thread's last error after tracing, so a trace call must not change it.
class LastErrorKeeper
{
public:
    LastErrorKeeper() : m_dwError(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(m_dwError); }

private:
    DWORD m_dwError;
};

}  // namespace

namespace trace_internal
{

CVxCiString FileNamePart(const char* pszPath)
{
    if (!pszPath) return CVxCiString();
    const char* pszName = pszPath;
    for (const char* p = pszPath; *p;)
    {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1])
        {
            p += 2;
            continue;
        }
        if (*p == '/' || *p == ':' || *p == '\\') pszName = p + 1;
        ++p;
    }
    return CVxCiString(pszName);
}

CVxCiString BaseNameForModule(const char* pszModulePath)
{
    CVxCiString sName = FileNamePart(pszModulePath);
    if (sName.compare(0, 5, "SETUP") == 0) sName.insert(0, "VXZ");
    return sName;
}

CVxCiString NumberedName(const CVxCiString& sBase, unsigned long n)
{
    char szName[32];
    std::snprintf(szName, sizeof(szName), "%6.6s%3.3lu", sBase.c_str(), n);
    return CVxCiString(szName);
}

DWORD ClassifyFormat(const char* pszFormat, size_t* pcchMarker)
{
    DWORD dwCategory = TRACE_GENERAL;
    *pcchMarker = 0;
    if (std::strstr(pszFormat, "EXITING="))
    {
        dwCategory = TRACE_EXIT;
        *pcchMarker = 8;
    }
    if (std::strstr(pszFormat, "ENTERING="))
    {
        dwCategory = TRACE_ENTRY;
        *pcchMarker = 9;
    }
    if (std::strstr(pszFormat, "enter") || (dwCategory == TRACE_GENERAL && std::strstr(pszFormat, "entry")))
    {
        dwCategory = TRACE_ENTRY;
    }
    else if (std::strstr(pszFormat, "return") ||
             (dwCategory == TRACE_GENERAL && std::strstr(pszFormat, "exit")))
    {
        dwCategory = TRACE_EXIT;
    }
    return dwCategory;
}

void AdvanceClock(TraceClock* pClock, DWORD dwNow, DWORD* pdwSinceFirst, DWORD* pdwSincePrevious)
{
    *pdwSincePrevious = pClock->fHaveLine ? (dwNow - pClock->dwPreviousTick) / 1000 : 0;
    if (!pClock->fHaveLine)
    {
        pClock->dwFirstTick = dwNow;
        pClock->fHaveLine = true;
    }
    *pdwSinceFirst = (dwNow - pClock->dwFirstTick) / 1000;
    pClock->dwPreviousTick = dwNow;
}

DWORD MicrosecondsModTen(LONGLONG llCounter, LONGLONG llFrequency)
{
    if (llFrequency <= 0) return 0;
    const LONGLONG llTicksPerMicrosecond = llFrequency / 1000000;
    LONGLONG llMicroseconds;
    if (llTicksPerMicrosecond > 0)
    {
        llMicroseconds = llCounter / llTicksPerMicrosecond;
    }
    else
    {
        // Split so that large counters do not overflow.
        llMicroseconds = (llCounter / llFrequency) * 1000000 + (llCounter % llFrequency) * 1000000 / llFrequency;
    }
    return static_cast<DWORD>(llMicroseconds % 10000000);
}

size_t FormatPrefix(char* pszPrefix, size_t cbPrefix, const char* pszTimeStamp, DWORD dwMicroseconds,
                    DWORD dwFlags, DWORD dwSinceFirst, DWORD dwSincePrevious)
{
    if (cbPrefix == 0) return 0;
    const int cch = std::snprintf(pszPrefix, cbPrefix, "%s:%07lX:%04lX(%04lu-%04lu)(", pszTimeStamp,
                                  static_cast<unsigned long>(dwMicroseconds),
                                  static_cast<unsigned long>(dwFlags & 0xFFFF),
                                  static_cast<unsigned long>(dwSinceFirst % 10000),
                                  static_cast<unsigned long>(dwSincePrevious % 10000));
    if (cch < 0)
    {
        pszPrefix[0] = '\0';
        return 0;
    }
    return std::strlen(pszPrefix);
}

}  // namespace trace_internal

CTraceLog::CTraceLog(const char* pszName, DWORD dwMask)
    : m_dwInitialised(0), m_dwMask(dwMask), m_hFile(NULL), m_fNumberedName(false)
{
    m_szMessage[0] = '\0';
    m_szPrefix[0] = '\0';
    m_szTimeStamp[0] = '\0';
    InitializeCriticalSection(&m_csLock);

    if (pszName)
    {
        m_sPath = pszName;
    }
    else
    {
        char szModule[MAX_PATH + 1] = "";
        const DWORD cch = GetModuleFileNameA(NULL, szModule, MAX_PATH);
        szModule[cch < MAX_PATH ? cch : MAX_PATH] = '\0';
        m_sPath = trace_internal::BaseNameForModule(szModule);
    }
    ResolvePath();

    // The prefix buffer briefly holds the module name, bounded to its 127 usable bytes.
    char szModule[MAX_PATH + 1] = "";
    const DWORD cch = GetModuleFileNameA(GetModuleHandleA(NULL), szModule, MAX_PATH);
    szModule[cch < MAX_PATH ? cch : MAX_PATH] = '\0';
    const CVxCiString sName = trace_internal::FileNamePart(szModule);
    lstrcpynA(m_szPrefix, sName.c_str(), sizeof(m_szPrefix));
    m_sModuleName = m_szPrefix;
    m_szPrefix[0] = '\0';

    m_dwInitialised = 1;
}

CTraceLog::~CTraceLog()
{
    {
        CCriticalSectionLock lock(m_csLock);
        if (m_hFile != NULL && m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
        m_hFile = NULL;
        m_dwInitialised = 0;
    }
    DeleteCriticalSection(&m_csLock);
}

void CTraceLog::ResolvePath()
{
    if (m_sPath.find(':') != CVxCiString::npos || m_sPath.find('\\') != CVxCiString::npos) return;

    char szTemp[MAX_PATH + 1] = "";
    DWORD cch = GetTempPathA(MAX_PATH, szTemp);
    if (cch == 0 || cch > MAX_PATH) return;

    for (unsigned long n = 0;; ++n)
    {
        const CVxCiString sCandidate = CVxCiString(szTemp) + trace_internal::NumberedName(m_sPath, n) + ".log";
        if (GetFileAttributesA(sCandidate.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            m_sPath = sCandidate;
            m_fNumberedName = true;
            return;
        }
    }
}

namespace
{

// "<temporary folder><six characters><three or more digits>.log": a name the constructor
// numbered, which another process may have chosen too.
bool IsNumberedTempName(const CVxCiString& sPath, size_t* piDigits)
{
    char szTemp[MAX_PATH + 1] = "";
    const DWORD cch = GetTempPathA(MAX_PATH, szTemp);
    if (cch == 0 || cch > MAX_PATH || sPath.compare(0, cch, szTemp) != 0) return false;
    const size_t iDot = sPath.size() >= 4 ? sPath.size() - 4 : 0;
    if (iDot < cch + 6 + 3 || sPath.compare(iDot, 4, ".log") != 0) return false;
    for (size_t i = cch + 6; i < iDot; ++i)
    {
        if (sPath[i] < '0' || sPath[i] > '9') return false;
    }
    *piDigits = cch + 6;
    return true;
}

}  // namespace

bool CTraceLog::EnsureFile()
{
    if (m_hFile != NULL) return m_hFile != INVALID_HANDLE_VALUE;
    size_t iDigits = 0;
    // A caller's own path is truncated as given, whatever it looks like.
    if (!m_fNumberedName || !IsNumberedTempName(m_sPath, &iDigits))
    {
        m_hFile = CreateFileA(m_sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_FLAG_WRITE_THROUGH | FILE_ATTRIBUTE_ARCHIVE, NULL);
        return m_hFile != INVALID_HANDLE_VALUE;
    }
    // Programs started together pick the same free number: the name is claimed by creating the
    // file, and one taken meanwhile moves on to the next, so no process loses or truncates
    // another one's trace.
    const CVxCiString sFolder = m_sPath.substr(0, iDigits - 6);
    const CVxCiString sBase = m_sPath.substr(iDigits - 6, 6);
    unsigned long n = std::strtoul(m_sPath.substr(iDigits).c_str(), NULL, 10);
    for (int iTry = 0; iTry < 1000; ++iTry, ++n)
    {
        const CVxCiString sCandidate = sFolder + trace_internal::NumberedName(sBase, n) + ".log";
        m_hFile = CreateFileA(sCandidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                              FILE_FLAG_WRITE_THROUGH | FILE_ATTRIBUTE_ARCHIVE, NULL);
        if (m_hFile != INVALID_HANDLE_VALUE)
        {
            m_sPath = sCandidate;
            return true;
        }
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS && dwError != ERROR_SHARING_VIOLATION) break;
    }
    return false;
}

void CTraceLog::WritePiece(DWORD dwFlags, const char* pszText, size_t cchText)
{
    if (EnsureFile() && cchText > 0)
    {
        DWORD dwWritten = 0;
        WriteFile(m_hFile, pszText, static_cast<DWORD>(cchText), &dwWritten, NULL);
    }
    if (dwFlags & TRACE_DEBUGGER) OutputDebugStringA(pszText);
}

void CTraceLog::BuildPrefix(DWORD dwFlags)
{
    // The system's local time: the C library's would allocate its per-thread buffer on first use.
    SYSTEMTIME tNow;
    GetLocalTime(&tNow);
    if (std::snprintf(m_szTimeStamp, sizeof(m_szTimeStamp), "%04u%02u%02u%02u%02u%02u", tNow.wYear, tNow.wMonth,
                      tNow.wDay, tNow.wHour, tNow.wMinute, tNow.wSecond) < 0)
        m_szTimeStamp[0] = '\0';

    DWORD dwSinceFirst = 0, dwSincePrevious = 0;
    trace_internal::AdvanceClock(&g_tClock, GetTickCount(), &dwSinceFirst, &dwSincePrevious);
    trace_internal::FormatPrefix(m_szPrefix, sizeof(m_szPrefix), m_szTimeStamp, MicrosecondCounter(), dwFlags,
                                 dwSinceFirst, dwSincePrevious);
}

void CTraceLog::WriteLine(DWORD dwFlags, size_t cchSkip, const char* pszFormat, va_list args)
{
    LastErrorKeeper keepLastError;
    CCriticalSectionLock lock(m_csLock);
    try
    {
        // Messages longer than the buffer are cut: tracing must never allocate or overrun.
        int cch = std::vsnprintf(m_szMessage, sizeof(m_szMessage), pszFormat, args);
        if (cch < 0) m_szMessage[0] = '\0';
        size_t cchMessage = std::strlen(m_szMessage);
        const char* pszMessage = m_szMessage + (cchSkip < cchMessage ? cchSkip : cchMessage);

        BuildPrefix(dwFlags);
        WritePiece(dwFlags, m_szPrefix, std::strlen(m_szPrefix));
        WritePiece(dwFlags, m_sModuleName.c_str(), m_sModuleName.size());
        WritePiece(dwFlags, ")", 1);
        for (const CategoryMarker& marker : kMarkers)
        {
            if (dwFlags & marker.dwFlag) WritePiece(dwFlags, marker.pszMarker, std::strlen(marker.pszMarker));
        }
        WritePiece(dwFlags, pszMessage, std::strlen(pszMessage));
        WritePiece(dwFlags, "\r\n", 2);
    }
    catch (...)
    {
        // A trace call never interrupts its caller.
    }
}

void CTraceLog::Trace(DWORD dwFlags, const char* pszFormat, ...)
{
    if (!m_dwInitialised || !pszFormat || !(dwFlags & m_dwMask)) return;
    va_list args;
    va_start(args, pszFormat);
    WriteLine(dwFlags, 0, pszFormat, args);
    va_end(args);
}

void CTraceLog::TraceAuto(const char* pszFormat, ...)
{
    // The format decides the category; a mask that takes none of the three it can be is not
    // worth reading it.
    if (!m_dwInitialised || !pszFormat || !(m_dwMask & (TRACE_GENERAL | TRACE_ENTRY | TRACE_EXIT))) return;
    size_t cchMarker = 0;
    const DWORD dwCategory = trace_internal::ClassifyFormat(pszFormat, &cchMarker);
    if (!(dwCategory & m_dwMask)) return;
    va_list args;
    va_start(args, pszFormat);
    WriteLine(dwCategory, cchMarker, pszFormat, args);
    va_end(args);
}

void CTraceLog::TraceFailure(const char* pszFormat, ...)
{
    if (!m_dwInitialised || !pszFormat || !(m_dwMask & TRACE_FAILURE)) return;
    va_list args;
    va_start(args, pszFormat);
    WriteLine(TRACE_FAILURE, 0, pszFormat, args);
    va_end(args);
}

// Accessors live here, not in the header, so that programs loading the library find them
// among its exports.
void CTraceLog::SetMask(DWORD dwMask)
{
    m_dwMask = dwMask;
}

DWORD CTraceLog::GetMask() const
{
    return m_dwMask;
}

const CVxCiString& CTraceLog::GetPath() const
{
    return m_sPath;
}
