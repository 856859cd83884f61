#include "infrastructure/ipc_objects.h"

#include <cstring>
#include <new>

#include "diag/trace_log.h"
#include "infrastructure/event_composite.h"
#include "vx_owners.h"

namespace
{

const DWORD kMutexOpenAccess = MUTEX_ALL_ACCESS;                  // 0x1F0001
const DWORD kEventOpenAccess = SYNCHRONIZE | EVENT_MODIFY_STATE;  // 0x100002

void CloseKeepingError(HANDLE h)
{
    CLastErrorKeeper keep;
    CloseHandle(h);
}

size_t LengthWithSlash(const char* psz) { return psz ? std::strlen(psz) + 1 : 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// CSecurity

CSecurity::CSecurity(unsigned long ulSize, unsigned int fInitialise) : m_pbDescriptor(NULL)
{
    m_tAttributes.nLength = 0;
    m_tAttributes.lpSecurityDescriptor = NULL;
    m_tAttributes.bInheritHandle = FALSE;
    Init(ulSize, fInitialise);
}

CSecurity::~CSecurity() { FreeDescriptor(); }

void CSecurity::FreeDescriptor()
{
    if (m_tAttributes.lpSecurityDescriptor == m_pbDescriptor) m_tAttributes.lpSecurityDescriptor = NULL;
    delete[] m_pbDescriptor;
    m_pbDescriptor = NULL;
}

unsigned int CSecurity::Init(unsigned long ulSize, unsigned int fInitialise)
{
    FreeDescriptor();
    if (fInitialise && ulSize < SECURITY_DESCRIPTOR_MIN_LENGTH) ulSize = SECURITY_DESCRIPTOR_MIN_LENGTH;
    m_pbDescriptor = new (std::nothrow) BYTE[ulSize ? ulSize : 1];
    if (!fInitialise) return m_pbDescriptor ? 1 : 0;
    if (!m_pbDescriptor) return 0;

    if (!InitializeSecurityDescriptor(m_pbDescriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(m_pbDescriptor, TRUE, NULL, FALSE))
    {
        return 0;  // the block stays, so the lazy accessors do not retry
    }
    m_tAttributes.nLength = sizeof(SECURITY_ATTRIBUTES);
    m_tAttributes.lpSecurityDescriptor = m_pbDescriptor;
    m_tAttributes.bInheritHandle = TRUE;
    return 1;
}

CSecurity::operator SECURITY_ATTRIBUTES*()
{
    if (!m_pbDescriptor) Init(20, 1);
    return &m_tAttributes;
}

PSECURITY_DESCRIPTOR CSecurity::GetDescriptor()
{
    if (!m_pbDescriptor) Init(20, 1);
    return m_pbDescriptor;
}

// ---------------------------------------------------------------------------------------------
// CIPCObj

CIPCObj::CIPCObj() : m_dwOpenCount(0), m_hObject(NULL) { m_szName[0] = '\0'; }

CIPCObj::~CIPCObj()
{
    if (m_hObject && m_dwOpenCount != 0) CloseKeepingError(m_hObject);
}

char* CIPCObj::BuildName(const char* pszName, const char* pszQualifier1, const char* pszQualifier2)
{
    if (!pszName) return NULL;
    const size_t cb = std::strlen(pszName) + 1 + LengthWithSlash(pszQualifier1) + LengthWithSlash(pszQualifier2);
    char* pszFull = new (std::nothrow) char[cb];
    if (!pszFull) return NULL;

    char* p = pszFull;
    const char* const apszParts[] = {pszQualifier1, pszQualifier2};
    for (const char* pszPart : apszParts)
    {
        if (!pszPart) continue;
        const size_t cch = std::strlen(pszPart);
        std::memcpy(p, pszPart, cch);
        p += cch;
        *p++ = '/';
    }
    std::memcpy(p, pszName, std::strlen(pszName) + 1);
    for (p = pszFull; *p; ++p)
    {
        if (*p == '\\') *p = '/';
    }
    return pszFull;
}

void CIPCObj::DestroyName(char* pszName) { delete[] pszName; }

void CIPCObj::RememberName(const char* pszFullName)
{
    const char* pszText = pszFullName ? pszFullName : "";
    const size_t cch = std::strlen(pszText);
    const size_t cchCopy = cch < kNameTextSize - 1 ? cch : kNameTextSize - 1;
    std::memcpy(m_szName, pszText, cchCopy);
    m_szName[cchCopy] = '\0';
}

void CIPCObj::Hold(HANDLE hNew)
{
    if (m_hObject && m_hObject != hNew) CloseKeepingError(m_hObject);
    m_hObject = hNew;
    m_dwOpenCount = hNew ? m_dwOpenCount + 1 : 0;
}

HANDLE CIPCObj::CreateOpen(const char* pszName, const char* pszQualifier1, const char* pszQualifier2,
                           unsigned int fFailIfExists, unsigned int uFirst, unsigned int uSecond)
{
    char* pszFull = BuildName(pszName, pszQualifier1, pszQualifier2);
    RememberName(pszFull);
    // Without its name the object would be a private one nobody else can meet.
    if (pszName && !pszFull)
    {
        Hold(NULL);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    HANDLE hNew = CreateObj(uFirst, pszFull, uSecond);
    const DWORD dwError = GetLastError();
    DestroyName(pszFull);
    if (hNew && fFailIfExists && dwError == ERROR_ALREADY_EXISTS)
    {
        CloseHandle(hNew);
        hNew = NULL;
    }
    Hold(hNew);
    SetLastError(dwError);
    return hNew;
}

HANDLE CIPCObj::Open(const char* pszName, const char* pszQualifier1, const char* pszQualifier2, unsigned int uFirst,
                     unsigned int uSecond)
{
    char* pszFull = BuildName(pszName, pszQualifier1, pszQualifier2);
    RememberName(pszFull);
    if (pszName && !pszFull)
    {
        Hold(NULL);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    HANDLE hNew = OpenObj(uFirst, pszFull, uSecond);
    const DWORD dwError = GetLastError();
    DestroyName(pszFull);
    Hold(hNew);
    SetLastError(dwError);
    return hNew;
}

unsigned int CIPCObj::Close()
{
    if (!m_hObject) return 0;
    if (m_dwOpenCount > 1)
    {
        --m_dwOpenCount;
        return 1;
    }
    HANDLE hObject = m_hObject;
    m_hObject = NULL;
    m_dwOpenCount = 0;
    return CloseHandle(hObject) ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// CInfrastructureMutex

CInfrastructureMutex::CInfrastructureMutex() {}

CInfrastructureMutex::CInfrastructureMutex(const char* pszName) { CreateOpen(pszName, NULL, NULL, 0, 0, 0); }

CInfrastructureMutex::~CInfrastructureMutex() {}

HANDLE CInfrastructureMutex::CreateObj(unsigned int uInitialOwner, const char* pszName, unsigned int)
{
    return OpenOrCreateOpenObj(uInitialOwner, pszName, 0);
}

HANDLE CInfrastructureMutex::OpenObj(unsigned int uFirst, const char* pszName, unsigned int)
{
    return OpenOrCreateOpenObj(uFirst, pszName, 1);
}

HANDLE CInfrastructureMutex::OpenOrCreateOpenObj(unsigned int uInitialOwner, const char* pszName, unsigned int fOpen)
{
    if (fOpen) return OpenMutexA(kMutexOpenAccess, FALSE, pszName);
    return CreateMutexA(g_SharedSecurity, uInitialOwner ? TRUE : FALSE, pszName);
}

unsigned long CInfrastructureMutex::Wait(unsigned long ulMilliseconds)
{
    return WaitForSingleObject(GetHandle(), ulMilliseconds);
}

int CInfrastructureMutex::Release() { return ReleaseMutex(GetHandle()); }

// ---------------------------------------------------------------------------------------------
// CMutexLock

CMutexLock::CMutexLock(CInfrastructureMutex& mutex, unsigned long ulMilliseconds)
    : m_mutex(mutex), m_ulWaitResult(mutex.Wait(ulMilliseconds)), m_fOwned(false)
{
    if (m_ulWaitResult == WAIT_OBJECT_0)
    {
        m_fOwned = true;
    }
    else if (m_ulWaitResult == WAIT_ABANDONED)
    {
        m_fOwned = true;
        g_TraceLog.TraceFailure("Mutex %p (%s) was abandoned by its last owner; taken over\n", mutex.GetHandle(),
                                mutex.GetATemporalName());
    }
    else if (m_ulWaitResult == WAIT_FAILED)
    {
        g_TraceLog.TraceFailure("Waiting for mutex %p (%s) failed with %lu\n", mutex.GetHandle(),
                                mutex.GetATemporalName(), static_cast<unsigned long>(GetLastError()));
    }
}

CMutexLock::~CMutexLock() { Unlock(); }

void CMutexLock::Unlock()
{
    if (!m_fOwned) return;
    m_fOwned = false;
    CLastErrorKeeper keep;
    m_mutex.Release();
}

// ---------------------------------------------------------------------------------------------
// CIPCEvent

CIPCEvent::CIPCEvent() {}

CIPCEvent::~CIPCEvent()
{
    while (!m_groups.empty())
    {
        CEventComposite* pGroup = m_groups.front();
        m_groups.remove(pGroup);
        pGroup->DropMember(*this);
    }
}

HANDLE CIPCEvent::CreateObj(unsigned int uInitialState, const char* pszName, unsigned int fManualReset)
{
    return OpenOrCreateOpenObj(uInitialState, pszName, fManualReset, 0);
}

HANDLE CIPCEvent::OpenObj(unsigned int uInitialState, const char* pszName, unsigned int fManualReset)
{
    return OpenOrCreateOpenObj(uInitialState, pszName, fManualReset, 1);
}

HANDLE CIPCEvent::OpenOrCreateOpenObj(unsigned int uInitialState, const char* pszName, unsigned int fManualReset,
                                      unsigned int fOpen)
{
    if (fOpen) return OpenEventA(kEventOpenAccess, FALSE, pszName);
    return CreateEventA(g_SharedSecurity, fManualReset ? TRUE : FALSE, uInitialState ? TRUE : FALSE, pszName);
}

int CIPCEvent::Set(unsigned int fSignal)
{
    const BOOL fOk = fSignal ? ::SetEvent(GetHandle()) : ::ResetEvent(GetHandle());
    if (!fOk) return 0;
    if (fSignal)
    {
        for (CEventComposite* pGroup : m_groups) pGroup->Set(*this);
    }
    return fOk;
}

int CIPCEvent::Pulse()
{
    const BOOL fResult = ::PulseEvent(GetHandle());
    for (CEventComposite* pGroup : m_groups) pGroup->Pulse(*this);
    return fResult;
}

unsigned long CIPCEvent::Reset() { return static_cast<unsigned long>(Set(0)); }

long CIPCEvent::Wait(unsigned long ulMilliseconds)
{
    return static_cast<long>(::WaitForSingleObject(GetHandle(), ulMilliseconds));
}

void CIPCEvent::Register(CEventComposite& group)
{
    g_TraceLog.TraceAuto("Registering %p\n", static_cast<void*>(&group));
    m_groups.push_front(&group);
}

void CIPCEvent::UnRegister(CEventComposite& group)
{
    g_TraceLog.TraceAuto("UnRegistering %p\n", static_cast<void*>(&group));
    m_groups.remove(&group);
}

unsigned long WaitForSingleObject(CIPCEvent& event, unsigned long ulMilliseconds)
{
    return static_cast<unsigned long>(event.Wait(ulMilliseconds));
}

int SetEvent(CIPCEvent& event) { return event.Set(1); }

int ResetEvent(CIPCEvent& event) { return static_cast<int>(event.Reset()); }

// Accessors live here, not in the header, so that programs loading the library find them
// among its exports.
HANDLE CIPCObj::GetHandle() const
{
    return m_hObject;
}

const char* CIPCObj::GetATemporalName() const
{
    return m_szName;
}

bool CMutexLock::IsOwned() const
{
    return m_fOwned;
}

bool CMutexLock::WasAbandoned() const
{
    return m_ulWaitResult == WAIT_ABANDONED;
}

unsigned long CMutexLock::GetWaitResult() const
{
    return m_ulWaitResult;
}
