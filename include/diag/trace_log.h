// Process-wide developer trace: one line per call, prefixed with time, counters and category.
#ifndef DIAG_TRACE_LOG_H
#define DIAG_TRACE_LOG_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/vxinfra_api.h"

enum
{
    TRACE_KEY = 0x001,
    TRACE_ENTRY = 0x002,
    TRACE_EXIT = 0x004,
    TRACE_FAILURE = 0x008,
    TRACE_VALUE = 0x010,
    TRACE_DETAIL = 0x020,
    TRACE_GENERAL = 0x080,
    TRACE_DEBUGGER = 0x100
};

// The mask the process-wide trace object starts with, before the debug settings replace it.
const DWORD TRACE_DEFAULT_MASK = 0x409;

class VXINFRA_API CTraceLog
{
public:
    // pszName: a path (kept as written when it holds ':' or '\\') or a base name that is
    // numbered into the temporary folder; null for the executable's own name.
    CTraceLog(const char* pszName, DWORD dwMask);
    virtual ~CTraceLog();

    void Trace(DWORD dwFlags, const char* pszFormat, ...);
    void TraceAuto(const char* pszFormat, ...);
    void TraceFailure(const char* pszFormat, ...);
    void SetMask(DWORD dwMask);

    DWORD GetMask() const;
    const CVxCiString& GetPath() const;

    // The text a line's message is cut to: the message buffer less its terminator.
    static constexpr size_t kMaxMessageLength = 64000 - 1;

private:
    CTraceLog(const CTraceLog&);
    CTraceLog& operator=(const CTraceLog&);

    void WriteLine(DWORD dwFlags, size_t cchSkip, const char* pszFormat, va_list args);
    void WritePiece(DWORD dwFlags, const char* pszText, size_t cchText);
    void BuildPrefix(DWORD dwFlags);
    bool EnsureFile();
    void ResolvePath();

    DWORD m_dwInitialised;
    char m_szMessage[64000];
    char m_szPrefix[128];
    CVxCiString m_sPath;
    CVxCiString m_sModuleName;
    char m_szTimeStamp[128];
    CRITICAL_SECTION m_csLock;
    DWORD m_dwMask;
    HANDLE m_hFile;
    bool m_fNumberedName;  // the path is a numbered name that ResolvePath chose
};

// The process-wide trace object, constructed before the entry runs with TRACE_DEFAULT_MASK.
VXINFRA_API extern CTraceLog g_TraceLog;

#endif
