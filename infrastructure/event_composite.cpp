#include "infrastructure/event_composite.h"

#include <algorithm>

#include "diag/trace_log.h"
#include "infrastructure/error_codes.h"

namespace
{

const DWORD kReportWaitMs = 1000;

int MemberCount(const std::vector<CIPCEvent*>& members) { return static_cast<int>(members.size()); }

bool IsOwnedResult(DWORD dwWait) { return dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED; }

}  // namespace

CEventComposite::CEventComposite() : m_pLastSet(NULL), m_pLastPulsed(NULL), m_fReporting(false) {}

CEventComposite::~CEventComposite()
{
    // Never released: a report arriving now must find the group busy, not half destroyed.
    m_mutex.Wait(INFINITE);
    g_TraceLog.TraceAuto("~CEventComposite(%p) holding %d events\n", static_cast<void*>(this), MemberCount(m_members));
    for (CIPCEvent* pMember : m_members) pMember->UnRegister(*this);
    m_mutex.Close();
    m_members.clear();
}

HANDLE CEventComposite::CreateObj(unsigned int uInitialState, const char* pszName, unsigned int fManualReset)
{
    g_TraceLog.TraceAuto("CEventComposite(%p)\n", static_cast<void*>(this));
    if (!m_mutex.CreateOpen(NULL, NULL, NULL, 0, 0, 0))
    {
        g_TraceLog.TraceFailure("%s failed returning %s\n", "mutex.CreateOpen()", GetErrorString(0));
        return NULL;
    }
    return OpenOrCreateOpenObj(uInitialState, pszName, fManualReset, 0);
}

CEventComposite& CEventComposite::operator+=(CIPCEvent& member)
{
    if (!m_mutex.GetHandle()) g_TraceLog.TraceFailure("CEventComposite not initialized\n");
    const DWORD dwWait = m_mutex.Wait(INFINITE);
    Register(member);
    if (IsOwnedResult(dwWait)) m_mutex.Release();
    return *this;
}

void CEventComposite::Register(CIPCEvent& member)
{
    g_TraceLog.TraceAuto("Registering %p\n", static_cast<void*>(&member));
    m_members.push_back(&member);
    member.Register(*this);
}

void CEventComposite::UnRegister(CIPCEvent& member)
{
    g_TraceLog.TraceAuto("UnRegistering %p\n", static_cast<void*>(&member));
    DropMember(member);
    member.UnRegister(*this);
}

void CEventComposite::DropMember(const CIPCEvent& member)
{
    m_members.erase(std::remove(m_members.begin(), m_members.end(), &member), m_members.end());
    const CIPCEvent* pMember = &member;
    m_pLastSet.compare_exchange_strong(pMember, nullptr);
    pMember = &member;
    m_pLastPulsed.compare_exchange_strong(pMember, nullptr);
}

bool CEventComposite::BeginReport(const char* pszBusy)
{
    const DWORD dwWait = m_mutex.Wait(kReportWaitMs);
    if (!IsOwnedResult(dwWait))
    {
        g_TraceLog.TraceFailure("%s failed\n", pszBusy);
        return false;
    }
    // A cycle of groups brings the report back here on the thread that holds the mutex.
    if (m_fReporting)
    {
        g_TraceLog.TraceFailure("%s failed\n", "CEventComposite reached again by its own report\n");
        m_mutex.Release();
        return false;
    }
    m_fReporting = true;
    return true;
}

void CEventComposite::EndReport()
{
    m_fReporting = false;
    m_mutex.Release();
}

unsigned CEventComposite::Set(const CIPCEvent& member)
{
    if (!BeginReport("CEventComposite is busy ins Set()\n")) return 0;
    g_TraceLog.TraceAuto("~CEventComposite(%p)::Set(%p) holding %d events\n", static_cast<void*>(this),
                         static_cast<const void*>(&member), MemberCount(m_members));
    m_pLastSet = &member;
    const unsigned uResult = static_cast<unsigned>(CIPCEvent::Set(1));
    EndReport();
    return uResult;
}

unsigned CEventComposite::Pulse(const CIPCEvent& member)
{
    if (!BeginReport("CEventComposite is busy in Pulse()\n")) return 0;
    g_TraceLog.TraceAuto("~CEventComposite(%p)::Pulse) holding %d events\n", static_cast<void*>(this),
                         MemberCount(m_members));
    m_pLastPulsed = &member;
    const unsigned uResult = static_cast<unsigned>(CIPCEvent::Pulse());
    EndReport();
    return uResult;
}

unsigned long CEventComposite::Reset()
{
    m_pLastSet = NULL;
    m_pLastPulsed = NULL;
    return static_cast<unsigned long>(Set(0u));
}

long CEventComposite::Wait(unsigned long ulMilliseconds)
{
    const long lWait = CIPCEvent::Wait(ulMilliseconds);
    if (lWait == WAIT_TIMEOUT) return lWait;
    if (lWait != WAIT_OBJECT_0)
    {
        g_TraceLog.TraceFailure("%s failed\n", "CIPCEvent::Wait(timeout)");
        return 0;
    }
    for (size_t i = 0; i < m_members.size(); ++i)
    {
        const CIPCEvent* pMember = m_members[i];
        if (pMember == m_pLastPulsed.load())
        {
            g_TraceLog.TraceAuto("Wait() finds last pulsed = %s\n", pMember->GetATemporalName());
            m_pLastPulsed = NULL;
            return static_cast<long>(i);
        }
        if (pMember == m_pLastSet.load())
        {
            g_TraceLog.TraceAuto("Wait() finds last set = %s\n", pMember->GetATemporalName());
            m_pLastPulsed = NULL;
            return static_cast<long>(i);
        }
    }
    const DWORD dwError = GetLastError();  // the error text is looked up through it
    g_TraceLog.TraceFailure("%s failed with %s\n", "Can not find the last event", GetErrorString(WAIT_ABANDONED));
    SetLastError(dwError);
    return WAIT_ABANDONED;
}
