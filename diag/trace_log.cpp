#include "diag/trace_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace
{

// Shared by every line of the process, as the second counters measure the process, not one
// trace object.
DWORD g_dwFirstTick = 0;
DWORD g_dwPreviousTick = 0;
bool g_fHaveFirstLine = false;

class CriticalSectionLock
{
public:
    explicit CriticalSectionLock(CRITICAL_SECTION* pcs) : m_pcs(pcs) { EnterCriticalSection(m_pcs); }
    ~CriticalSectionLock() { LeaveCriticalSection(m_pcs); }

private:
    CriticalSectionLock(const CriticalSectionLock&);
    CriticalSectionLock& operator=(const CriticalSectionLock&);
    CRITICAL_SECTION* m_pcs;
};

// Microseconds modulo ten seconds; the split division keeps large counters from overflowing
// and serves counters slower than one megahertz as well.
DWORD MicrosecondCounter()
{
    LARGE_INTEGER liCounter, liFrequency;
    if (!QueryPerformanceCounter(&liCounter) || !QueryPerformanceFrequency(&liFrequency) ||
        liFrequency.QuadPart <= 0)
    {
        return (GetTickCount() % 10000u) * 1000u;
    }
    const LONGLONG llTicksPerMicrosecond = liFrequency.QuadPart / 1000000;
    LONGLONG llMicroseconds;
    if (llTicksPerMicrosecond > 0)
    {
        llMicroseconds = liCounter.QuadPart / llTicksPerMicrosecond;
    }
    else
    {
        llMicroseconds = (liCounter.QuadPart / liFrequency.QuadPart) * 1000000 +
                         (liCounter.QuadPart % liFrequency.QuadPart) * 1000000 / liFrequency.QuadPart;
    }
    return static_cast<DWORD>(llMicroseconds % 10000000);
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

}  // namespace

CVxCiString TraceFileNamePart(const char* pszPath)
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

CTraceLog::CTraceLog(const char* pszName, DWORD dwMask)
    : m_dwInitialised(0), m_dwMask(dwMask), m_hFile(NULL)
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
        DWORD cch = GetModuleFileNameA(NULL, szModule, MAX_PATH);
        szModule[cch < MAX_PATH ? cch : MAX_PATH] = '\0';
        m_sPath = TraceFileNamePart(szModule);
        if (m_sPath.compare(0, 5, "SETUP") == 0) m_sPath.insert(0, "VXZ");
    }
    ResolvePath();

    // The prefix buffer briefly holds the module name, bounded to its 127 usable bytes.
    char szModule[MAX_PATH + 1] = "";
    DWORD cch = GetModuleFileNameA(GetModuleHandleA(NULL), szModule, MAX_PATH);
    szModule[cch < MAX_PATH ? cch : MAX_PATH] = '\0';
    CVxCiString sName = TraceFileNamePart(szModule);
    lstrcpynA(m_szPrefix, sName.c_str(), sizeof(m_szPrefix));
    m_sModuleName = m_szPrefix;
    m_szPrefix[0] = '\0';

    m_dwInitialised = 1;
}

CTraceLog::~CTraceLog()
{
    {
        CriticalSectionLock lock(&m_csLock);
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
        char szName[64];
        std::snprintf(szName, sizeof(szName), "%6.6s%3.3lu", m_sPath.c_str(), n);
        CVxCiString sCandidate = CVxCiString(szTemp) + szName + ".log";
        if (GetFileAttributesA(sCandidate.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            m_sPath = sCandidate;
            return;
        }
    }
}

bool CTraceLog::EnsureFile()
{
    if (m_hFile == NULL)
    {
        m_hFile = CreateFileA(m_sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_FLAG_WRITE_THROUGH | FILE_ATTRIBUTE_ARCHIVE, NULL);
    }
    return m_hFile != INVALID_HANDLE_VALUE;
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
    m_szTimeStamp[0] = '\0';
    std::time_t now = std::time(NULL);
    if (std::tm* ptm = std::localtime(&now))
    {
        if (std::strftime(m_szTimeStamp, sizeof(m_szTimeStamp), "%Y%m%d%H%M%S", ptm) == 0)
            m_szTimeStamp[0] = '\0';
    }

    const DWORD dwNow = GetTickCount();
    DWORD dwSincePrevious = 0;
    if (g_fHaveFirstLine)
    {
        dwSincePrevious = (dwNow - g_dwPreviousTick) / 1000;
    }
    else
    {
        g_dwFirstTick = dwNow;
        g_fHaveFirstLine = true;
    }
    const DWORD dwSinceFirst = (dwNow - g_dwFirstTick) / 1000;
    g_dwPreviousTick = dwNow;

    std::snprintf(m_szPrefix, sizeof(m_szPrefix), "%s:%07lX:%04lX(%04lu-%04lu)(", m_szTimeStamp,
                  static_cast<unsigned long>(MicrosecondCounter()), static_cast<unsigned long>(dwFlags & 0xFFFF),
                  static_cast<unsigned long>(dwSinceFirst % 10000),
                  static_cast<unsigned long>(dwSincePrevious % 10000));
}

void CTraceLog::WriteLine(DWORD dwFlags, size_t cchSkip, const char* pszFormat, va_list args)
{
    LastErrorKeeper keepLastError;
    CriticalSectionLock lock(&m_csLock);
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
    if (!m_dwInitialised || !pszFormat) return;
    size_t cchMarker = 0;
    const DWORD dwCategory = ClassifyFormat(pszFormat, &cchMarker);
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
