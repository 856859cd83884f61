#include "infrastructure/thread.h"

CThread::CThread() : m_hThread(NULL), m_dwThreadId(0), m_lExitCode(0) {}

unsigned int CThread::Init(VXTHREADROUTINE pfnRoutine, void* pvArgument, unsigned long ulOptions,
                           unsigned long ulCreationFlags, unsigned long ulStackSize, SECURITY_ATTRIBUTES* psa)
{
    m_hThread = NULL;
    m_dwThreadId = 0;
    // A thread started at address 0 would only crash the process.
    if (!pfnRoutine)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 1;
    }
    if (ulOptions & kStartSuspended) ulCreationFlags |= CREATE_SUSPENDED;
    // The id is written before the new thread runs, so the thread itself may compare it.
    m_hThread = CreateThread(psa, ulStackSize, pfnRoutine, pvArgument, ulCreationFlags, &m_dwThreadId);
    if (!m_hThread) m_dwThreadId = 0;
    return 1;
}

long CThread::Resume()
{
    if (m_dwThreadId != 0 && GetCurrentThreadId() == m_dwThreadId) return 0;
    const DWORD dwPrevious = ResumeThread(m_hThread);
    if (dwPrevious != static_cast<DWORD>(-1)) return static_cast<long>(dwPrevious);
    return static_cast<long>(GetLastError());
}

long CThread::Wait(unsigned long ulMilliseconds)
{
    return static_cast<long>(WaitForSingleObject(m_hThread, ulMilliseconds));
}

long CThread::GetExitCode()
{
    DWORD dwExitCode = 0;
    if (!GetExitCodeThread(m_hThread, &dwExitCode)) return 0;
    m_lExitCode = static_cast<LONG>(dwExitCode);
    return m_lExitCode;
}

void CThread::Yield() { Sleep(0); }

// Accessors live here, not in the header, so that programs loading the library find them
// among its exports.
CThread::operator const void*() const
{
    return m_hThread;
}

unsigned long CThread::GeThisThreadID() const
{
    return m_dwThreadId;
}
