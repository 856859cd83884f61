// Named mutexes and events that cooperating processes meet on by name, the security object
// every library-created object carries (open to every user), and the spooler mutex.
#ifndef INFRASTRUCTURE_IPC_OBJECTS_H
#define INFRASTRUCTURE_IPC_OBJECTS_H

#include <windows.h>

#include <list>

#include "infrastructure/vxinfra_api.h"

class CEventComposite;

// A security descriptor with a present, null access list (full access for everyone) and the
// attributes that carry it with an inheritable handle. The attributes come first, so a
// pointer to the object can stand for a pointer to them.
// Not copyable: the object owns its descriptor block.
class VXINFRA_API CSecurity
{
public:
    // ulSize bytes are allocated for the descriptor; when fInitialise is set the block is made
    // a descriptor, and never smaller than the system needs (a 64-bit descriptor outgrows the
    // 20 bytes that suffice on 32-bit Windows).
    explicit CSecurity(unsigned long ulSize = 20, unsigned int fInitialise = 1);
    ~CSecurity();

    // 1 on success. Whenever the old block is freed the attributes stop pointing at it; on a
    // failure they keep their length and inherit flag and carry no descriptor.
    unsigned int Init(unsigned long ulSize, unsigned int fInitialise);

    // Both make the descriptor first when there is none.
    operator SECURITY_ATTRIBUTES*();
    PSECURITY_DESCRIPTOR GetDescriptor();

private:
    CSecurity(const CSecurity&) = delete;
    CSecurity& operator=(const CSecurity&) = delete;

    void FreeDescriptor();

    SECURITY_ATTRIBUTES m_tAttributes;
    BYTE* m_pbDescriptor;
};

// A named kernel object and the handle it owns.
//
// Names: name, qualifier1 and qualifier2 are joined as "qualifier1/qualifier2/name" (each
// qualifier only when not null) and every backslash becomes '/', so kernel namespace prefixes
// such as "Global\" are never taken as such. A null name makes an unnamed object and the
// qualifiers are ignored. Names the system refuses (MAX_PATH characters or more) fail the call
// with the system's error (ERROR_FILENAME_EXCED_RANGE).
//
// Handles: the object holds at most one handle and closes it exactly once. Every successful
// create or open counts one open; a further one replaces the held handle (the earlier handle
// is closed after the new one was obtained). Close() gives back one open and closes the handle
// with the last one. A failed create or open leaves the object without a handle (an earlier
// one is closed) and no count. Destruction closes what is still open.
//
// Copies: not copyable (nor movable): a copy would share the handle, and an event's copy would
// keep pointers to groups that do not know it.
class VXINFRA_API CIPCObj
{
public:
    // Size of the name text, terminator included.
    static const size_t kNameTextSize = 512;

    CIPCObj();

    HANDLE GetHandle() const;
    // The handle, or null. With fFailIfExists set, an object that already existed is closed
    // again and null returned, with ERROR_ALREADY_EXISTS as the last error; otherwise the last
    // error tells whether the object existed before.
    HANDLE CreateOpen(const char* pszName, const char* pszQualifier1, const char* pszQualifier2,
                      unsigned int fFailIfExists, unsigned int uFirst, unsigned int uSecond);
    HANDLE Open(const char* pszName, const char* pszQualifier1, const char* pszQualifier2, unsigned int uFirst,
                unsigned int uSecond);
    // 1 when an open was given back; 0 without a handle or when closing the handle failed.
    unsigned int Close();

    // The full name of the last create or open, cut to kNameTextSize - 1 characters; empty
    // for an unnamed object. Valid while the object lives.
    const char* GetATemporalName() const;

private:
    virtual HANDLE CreateObj(unsigned int uFirst, const char* pszName, unsigned int uSecond) = 0;
    virtual HANDLE OpenObj(unsigned int uFirst, const char* pszName, unsigned int uSecond) = 0;

public:
    virtual ~CIPCObj();

private:
    CIPCObj(const CIPCObj&) = delete;
    CIPCObj& operator=(const CIPCObj&) = delete;

    // A heap string for DestroyName, or null for a null name or when out of memory.
    char* BuildName(const char* pszName, const char* pszQualifier1, const char* pszQualifier2);
    void DestroyName(char* pszName);
    void RememberName(const char* pszFullName);
    void Hold(HANDLE hNew);

    DWORD m_dwOpenCount;
    HANDLE m_hObject;
    char m_szName[kNameTextSize];
};

// A named mutex. Through CreateOpen the fifth argument asks for initial ownership; the sixth
// is ignored. Opening asks for all access.
class VXINFRA_API CInfrastructureMutex : public CIPCObj
{
public:
    CInfrastructureMutex();
    // Creates the named mutex, or opens it when another process was first; not owned.
    explicit CInfrastructureMutex(const char* pszName);

    // WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_ABANDONED (owned now; the last owner ended without
    // releasing) or WAIT_FAILED.
    unsigned long Wait(unsigned long ulMilliseconds);
    int Release();

private:
    HANDLE CreateObj(unsigned int uInitialOwner, const char* pszName, unsigned int uUnused) override;
    HANDLE OpenObj(unsigned int uUnused1, const char* pszName, unsigned int uUnused2) override;

public:
    ~CInfrastructureMutex() override;

private:
    HANDLE OpenOrCreateOpenObj(unsigned int uInitialOwner, const char* pszName, unsigned int fOpen);
};

// Holds a mutex for its scope. A WAIT_ABANDONED result counts as owned (the previous owner
// ended without releasing, so what it guarded may be half done) and is written as a failure
// trace line. Releasing keeps the thread's last error, so a spooler call's error survives
// the end of the scope:
//     CMutexLock lock(g_SpoolerMutex);
//     if (!OpenPrinterA(...)) return 0;  // GetLastError() still the spooler's
class VXINFRA_API CMutexLock
{
public:
    explicit CMutexLock(CInfrastructureMutex& mutex, unsigned long ulMilliseconds = INFINITE);
    ~CMutexLock();

    bool IsOwned() const;
    bool WasAbandoned() const;
    unsigned long GetWaitResult() const;
    // Releases before the scope ends; later calls and the destructor do nothing more.
    void Unlock();

private:
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;

    CInfrastructureMutex& m_mutex;
    unsigned long m_ulWaitResult;
    bool m_fOwned;
};

// A named event that also tells the event groups holding it when it is set or pulsed.
// Through CreateOpen the fifth argument is the initial state and the sixth the manual-reset
// flag. Opening asks for synchronise and modify-state access.
class VXINFRA_API CIPCEvent : public virtual CIPCObj
{
public:
    CIPCEvent();

    // Signals (fSignal non-zero) or resets the event; non-zero on success. Only a successful
    // signal is reported to the groups.
    virtual int Set(unsigned int fSignal);
    // The system's result; the groups are told even when pulsing failed.
    virtual int Pulse();

    unsigned long Reset();
    long Wait(unsigned long ulMilliseconds);

    // Kept by the groups themselves (under their own mutex).
    void Register(CEventComposite& group);
    void UnRegister(CEventComposite& group);

protected:
    HANDLE CreateObj(unsigned int uInitialState, const char* pszName, unsigned int fManualReset) override;
    HANDLE OpenObj(unsigned int uInitialState, const char* pszName, unsigned int fManualReset) override;

public:
    ~CIPCEvent() override;

protected:
    HANDLE OpenOrCreateOpenObj(unsigned int uInitialState, const char* pszName, unsigned int fManualReset,
                               unsigned int fOpen);

private:
    std::list<CEventComposite*> m_groups;  // most recent first; not owned
};

// An event used like a raw event handle.
VXINFRA_API unsigned long WaitForSingleObject(CIPCEvent& event, unsigned long ulMilliseconds);
VXINFRA_API int SetEvent(CIPCEvent& event);
VXINFRA_API int ResetEvent(CIPCEvent& event);

// Handed to every create call of the library.
VXINFRA_API extern CSecurity g_SharedSecurity;
// "SpoolerMutex", created by the first process that loads the library and opened by the
// others; held without time-out around the library's spooler calls (use CMutexLock), never
// while a caller's callback runs.
VXINFRA_API extern CInfrastructureMutex g_SpoolerMutex;

#endif
