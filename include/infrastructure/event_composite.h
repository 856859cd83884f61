// A group of events waited on together: a waiter waits on the group's own event and learns
// the position of the member that was set or pulsed.
#ifndef INFRASTRUCTURE_EVENT_COMPOSITE_H
#define INFRASTRUCTURE_EVENT_COMPOSITE_H

#include <windows.h>

#include <atomic>
#include <vector>

#include "infrastructure/ipc_objects.h"
#include "infrastructure/vxinfra_api.h"

// Members are not owned; a member and the group each remove themselves from the other when
// destroyed. The group is itself an event and can be a member of another group. Members are
// added and removed before other threads set, pulse or wait on them.
//
// A group made with CreateOpen has a private mutex that serialises adding members and member
// reports. A group opened by name with Open has only the event: every report is answered with
// 0 and a "busy" trace line.
//
// Not copyable (as all named objects): a copy would hold members that do not know it.
class VXINFRA_API CEventComposite : public CIPCEvent
{
public:
    CEventComposite();

    using CIPCEvent::Pulse;
    using CIPCEvent::Register;
    using CIPCEvent::Set;
    using CIPCEvent::UnRegister;

    // Reached through CreateOpen: creates the group's mutex, then its event.
    HANDLE CreateObj(unsigned int uInitialState, const char* pszName, unsigned int fManualReset) override;

    CEventComposite& operator+=(CIPCEvent& member);

    // A member's reports; non-zero when the group event was set or pulsed, 0 when the group was
    // busy (its mutex not had within a second, or none) or the report came back round to this
    // group through a cycle of groups.
    unsigned Set(const CIPCEvent& member);
    unsigned Pulse(const CIPCEvent& member);

    // Forgets the last set and pulsed members and resets the group event.
    unsigned long Reset();

    // The position of the member that fired (a pulsed one is reported once, a set one until
    // Reset or another set); WAIT_TIMEOUT; 0 when the wait failed; WAIT_ABANDONED (128) when no
    // member can be named.
    long Wait(unsigned long ulMilliseconds);

    ~CEventComposite() override;

private:
    friend class CIPCEvent;

    void Register(CIPCEvent& member);
    void UnRegister(CIPCEvent& member);
    // A member going away: drop it from the list only.
    void DropMember(const CIPCEvent& member);
    // Takes the mutex for a report; false (traced with pszBusy) when busy or re-entered.
    bool BeginReport(const char* pszBusy);
    void EndReport();

    std::vector<CIPCEvent*> m_members;
    CInfrastructureMutex m_mutex;
    std::atomic<const CIPCEvent*> m_pLastSet;
    std::atomic<const CIPCEvent*> m_pLastPulsed;
    bool m_fReporting;  // under m_mutex: a report of this group is running on the owning thread
};

#endif
