// A thin wrapper of one operating-system thread.
#ifndef INFRASTRUCTURE_THREAD_H
#define INFRASTRUCTURE_THREAD_H

#include <windows.h>

#include "infrastructure/vxinfra_api.h"

// The system headers make Yield() an empty macro for old 16-bit code; the wrapper has a member
// of that name.
#ifdef Yield
#undef Yield
#endif

typedef unsigned long(WINAPI* VXTHREADROUTINE)(void*);

// The wrapper does not own its handle: copies refer to the same thread, and destruction
// neither closes the handle nor waits, so a handle taken from the wrapper stays usable.
// Whoever is done with the thread closes it with CloseHandle(const_cast<HANDLE>(...)).
class VXINFRA_API CThread
{
public:
    enum
    {
        kStartSuspended = 0x4  // in Init's options: start the thread suspended
    };

    CThread();

    // Always 1; a failed start (also a null routine) shows as a null handle, with the cause
    // in the thread's last error.
    unsigned int Init(VXTHREADROUTINE pfnRoutine, void* pvArgument, unsigned long ulOptions,
                      unsigned long ulCreationFlags, unsigned long ulStackSize, SECURITY_ATTRIBUTES* psa);
    // The previous suspend count; 0 when called from the wrapped thread itself; the system's
    // error code when resuming failed (ERROR_INVALID_HANDLE before Init).
    long Resume();
    // 0 when the thread ended, WAIT_TIMEOUT, or WAIT_FAILED (as -1).
    long Wait(unsigned long ulMilliseconds);
    // STILL_ACTIVE (259) while the thread runs, its result afterwards, 0 when unreadable.
    long GetExitCode();
    void Yield();

    operator const void*() const;
    unsigned long GeThisThreadID() const;

private:
    HANDLE m_hThread;
    DWORD m_dwThreadId;
    LONG m_lExitCode;
};

#endif
