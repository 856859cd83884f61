// Event groups: member reports, positions returned by Wait, pulses seen by a waiting thread,
// groups opened by name, nesting, cycles and destruction on either side.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <type_traits>

#include "diag/trace_log.h"
#include "infrastructure/event_composite.h"
#include "infrastructure/thread.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

static_assert(!std::is_copy_constructible<CEventComposite>::value, "groups are not copied");
static_assert(!std::is_copy_assignable<CEventComposite>::value, "groups are not copied");

namespace
{

std::string UniqueName(const char* pszTag)
{
    static LONG s_nCounter = 0;
    char szName[96];
    std::snprintf(szName, sizeof(szName), "vxgrp_%s_%lu_%ld_%lu", pszTag, GetCurrentProcessId(),
                  static_cast<long>(InterlockedIncrement(&s_nCounter)), GetTickCount());
    return szName;
}

std::string Pointer(const void* p)
{
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%p", p);
    return sz;
}

// A manual-reset group of three manual-reset members a, b, c, in that order.
class GroupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_group.CreateOpen(UniqueName("g").c_str(), NULL, NULL, 0, 0, 1) != NULL);
        CIPCEvent* apMembers[] = {&m_a, &m_b, &m_c};
        const char* apszTags[] = {"a", "b", "c"};
        for (int i = 0; i < 3; ++i)
        {
            ASSERT_TRUE(apMembers[i]->CreateOpen(UniqueName(apszTags[i]).c_str(), NULL, NULL, 0, 0, 1) != NULL);
            m_group += *apMembers[i];
        }
    }

    CIPCEvent m_a, m_b, m_c;
    CEventComposite m_group;  // declared last: destroyed first
};

struct Waiter
{
    CEventComposite* pGroup;
    long lResult;
};

unsigned long WINAPI WaitOnGroup(void* pv)
{
    Waiter* p = static_cast<Waiter*>(pv);
    p->lResult = p->pGroup->Wait(20000);
    return 0;
}

}  // namespace

TEST_F(GroupTest, SetMemberIsReportedUntilReset)
{
    vxtest::TraceCapture trace;
    EXPECT_EQ(WAIT_TIMEOUT, m_group.Wait(0));
    EXPECT_NE(0, m_c.Set(1));
    EXPECT_EQ(2, m_group.Wait(0));
    EXPECT_EQ(2, m_group.Wait(0)) << "the last set member stays recorded";
    EXPECT_EQ(1u, trace.Count("~CEventComposite(" + Pointer(&m_group) + ")::Set(" +
                              Pointer(static_cast<CIPCEvent*>(&m_c)) + ") holding 3 events"));
    EXPECT_EQ(2u, trace.Count(std::string("Wait() finds last set = ") + m_c.GetATemporalName()));

    EXPECT_NE(0u, m_group.Reset());
    EXPECT_EQ(WAIT_TIMEOUT, m_group.Wait(0));
}

TEST_F(GroupTest, PulseIsSeenByAWaitingThreadOnce)
{
    Waiter waiter = {&m_group, -1};
    CThread thread;
    thread.Init(WaitOnGroup, &waiter, 0, 0, 0, NULL);
    ASSERT_TRUE(thread != NULL);
    // A pulse frees only threads already waiting: pulse until the waiter has seen one.
    for (int i = 0; i < 200 && thread.Wait(50) == WAIT_TIMEOUT; ++i) m_b.Pulse();
    ASSERT_EQ(0, thread.Wait(20000));
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(thread)));
    EXPECT_EQ(1, waiter.lResult);
    EXPECT_EQ(WAIT_TIMEOUT, m_group.Wait(100)) << "the group event is unsignalled again";
    EXPECT_EQ(WAIT_TIMEOUT, m_b.Wait(0)) << "a pulse leaves the member unsignalled";
}

TEST_F(GroupTest, EarlierMemberWinsAndPulsedIsReportedOnce)
{
    EXPECT_NE(0, m_a.Pulse());  // no waiter: only recorded
    EXPECT_NE(0, m_c.Set(1));
    EXPECT_EQ(0, m_group.Wait(0)) << "a (pulsed) comes before c (set)";
    EXPECT_EQ(2, m_group.Wait(0)) << "the pulse was reported once; c is still the last set";
}

TEST_F(GroupTest, SetMemberFoundFirstClearsALaterPulse)
{
    EXPECT_NE(0, m_c.Pulse());
    EXPECT_NE(0, m_a.Set(1));
    EXPECT_EQ(0, m_group.Wait(0));
    EXPECT_EQ(0, m_group.Wait(0)) << "c's pulse was cleared by the first wait";
}

TEST_F(GroupTest, ReportOfANonMemberCannotBeNamed)
{
    vxtest::TraceCapture trace;
    CIPCEvent stranger;
    ASSERT_TRUE(stranger.CreateOpen(UniqueName("x").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    EXPECT_NE(0u, m_group.Set(stranger));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(static_cast<long>(WAIT_ABANDONED), m_group.Wait(0));
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    EXPECT_EQ(1u, trace.Count("Can not find the last event failed with "));
    EXPECT_EQ(WAIT_TIMEOUT, stranger.Wait(0)) << "the stranger itself was not touched";
}

TEST_F(GroupTest, ResettingAMemberLeavesTheGroupAlone)
{
    vxtest::TraceCapture trace;
    EXPECT_NE(0, m_a.Set(1));
    EXPECT_NE(0u, m_a.Reset());
    EXPECT_NE(0, ResetEvent(m_a));
    EXPECT_EQ(1u, trace.Count("::Set(")) << "only the set was reported";
    EXPECT_EQ(0, m_group.Wait(0));
}

TEST_F(GroupTest, MemberWithoutHandleTellsNobody)
{
    vxtest::TraceCapture trace;
    CIPCEvent empty;
    m_group += empty;
    EXPECT_EQ(0, SetEvent(empty));
    EXPECT_EQ(0u, trace.Count("::Set("));
    EXPECT_EQ(WAIT_TIMEOUT, m_group.Wait(0));
}

TEST_F(GroupTest, RegistrationIsTracedOnBothSides)
{
    vxtest::TraceCapture trace;
    CIPCEvent d;
    ASSERT_TRUE(d.CreateOpen(UniqueName("d").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    m_group += d;
    EXPECT_EQ(1u, trace.Count("Registering " + Pointer(static_cast<CIPCEvent*>(&d))));
    EXPECT_EQ(1u, trace.Count("Registering " + Pointer(&m_group)));
    EXPECT_NE(0, d.Set(1));
    EXPECT_EQ(3, m_group.Wait(0));
}

TEST(CEventComposite, OpenedGroupAnswersEveryReportBusy)
{
    const std::string sName = UniqueName("opened");
    CEventComposite created, opened;
    ASSERT_TRUE(created.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(opened.Open(sName.c_str(), NULL, NULL, 0, 0) != NULL);
    CIPCEvent member;
    ASSERT_TRUE(member.CreateOpen(UniqueName("m").c_str(), NULL, NULL, 0, 0, 1) != NULL);

    vxtest::TraceCapture trace;
    opened += member;
    EXPECT_EQ(1u, trace.Count("CEventComposite not initialized"));
    EXPECT_NE(0, member.Set(1)) << "the member itself is set";
    EXPECT_EQ(0, member.Wait(0));
    EXPECT_EQ(0u, opened.Set(member));
    EXPECT_EQ(0u, opened.Pulse(member));
    EXPECT_EQ(2u, trace.Count("CEventComposite is busy ins Set()"));
    EXPECT_EQ(1u, trace.Count("CEventComposite is busy in Pulse()"));
    EXPECT_EQ(WAIT_TIMEOUT, created.Wait(0)) << "the shared group event was never set";
}

TEST(CEventComposite, GroupWithoutEvent)
{
    vxtest::TraceCapture trace;
    CEventComposite group;
    EXPECT_EQ(0, group.Wait(0)) << "a failed wait";
    EXPECT_EQ(1u, trace.Count("CIPCEvent::Wait(timeout) failed"));
    CIPCEvent member;
    EXPECT_EQ(0u, group.Set(member));
    EXPECT_EQ(0u, group.Close());
}

TEST(CEventComposite, CreateTracesAndFailIfExistsRefuses)
{
    const std::string sName = UniqueName("dup");
    vxtest::TraceCapture trace;
    CEventComposite first, second;
    ASSERT_TRUE(first.CreateOpen(sName.c_str(), NULL, NULL, 1, 0, 1) != NULL);
    EXPECT_EQ(1u, trace.Count("CEventComposite(" + Pointer(&first) + ")"));
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(second.CreateOpen(sName.c_str(), NULL, NULL, 1, 0, 1) == NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
}

TEST(CEventComposite, AutoResetGroupReleasesOneWait)
{
    CEventComposite group;
    CIPCEvent member;
    ASSERT_TRUE(group.CreateOpen(UniqueName("ar").c_str(), NULL, NULL, 0, 0, 0) != NULL);
    ASSERT_TRUE(member.CreateOpen(UniqueName("arm").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    group += member;
    EXPECT_NE(0, member.Set(1));
    EXPECT_EQ(0, group.Wait(0));
    EXPECT_EQ(WAIT_TIMEOUT, group.Wait(0));
}

TEST(CEventComposite, MemberDestroyedFirstLeavesTheGroup)
{
    CEventComposite group;
    ASSERT_TRUE(group.CreateOpen(UniqueName("md").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    {
        CIPCEvent shortLived;
        ASSERT_TRUE(shortLived.CreateOpen(UniqueName("sl").c_str(), NULL, NULL, 0, 0, 1) != NULL);
        group += shortLived;
        EXPECT_NE(0, shortLived.Set(1));
    }
    vxtest::TraceCapture trace;
    EXPECT_EQ(static_cast<long>(WAIT_ABANDONED), group.Wait(0)) << "the set member is gone";
    CIPCEvent other;
    ASSERT_TRUE(other.CreateOpen(UniqueName("o").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    group += other;
    EXPECT_NE(0, other.Set(1));
    EXPECT_EQ(1u, trace.Count("holding 1 events"));
    EXPECT_EQ(0, group.Wait(0)) << "the remaining member is at position 0";
}

TEST(CEventComposite, GroupDestroyedFirstLeavesItsMembers)
{
    CIPCEvent member;
    ASSERT_TRUE(member.CreateOpen(UniqueName("gd").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    vxtest::TraceCapture trace;
    std::string sGroup;
    {
        CEventComposite group;
        sGroup = Pointer(&group);
        ASSERT_TRUE(group.CreateOpen(UniqueName("gdg").c_str(), NULL, NULL, 0, 0, 1) != NULL);
        group += member;
    }
    EXPECT_EQ(1u, trace.Count("~CEventComposite(" + sGroup + ") holding 1 events"));
    EXPECT_EQ(1u, trace.Count("UnRegistering " + sGroup));
    EXPECT_NE(0, member.Set(1)) << "no report to the destroyed group";
    EXPECT_NE(0, member.Pulse());
    EXPECT_EQ(0u, trace.Count("::Set("));
    EXPECT_EQ(0u, trace.Count("::Pulse)"));
}

TEST(CEventComposite, NestedGroupReportsUpwards)
{
    CEventComposite outer, inner;
    CIPCEvent leaf, sibling;
    ASSERT_TRUE(outer.CreateOpen(UniqueName("out").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(inner.CreateOpen(UniqueName("in").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(leaf.CreateOpen(UniqueName("leaf").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(sibling.CreateOpen(UniqueName("sib").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    outer += sibling;
    outer += inner;
    inner += leaf;
    EXPECT_NE(0, leaf.Set(1));
    EXPECT_EQ(0, inner.Wait(0));
    EXPECT_EQ(1, outer.Wait(0)) << "the inner group is the outer's second member";
}

// A report that comes back round to a group on the same thread is dropped, not repeated
// until the stack runs out.
TEST(CEventComposite, CyclesEnd)
{
    vxtest::TraceCapture trace;
    CEventComposite self, left, right;
    CIPCEvent member;
    ASSERT_TRUE(self.CreateOpen(UniqueName("self").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(left.CreateOpen(UniqueName("l").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(right.CreateOpen(UniqueName("r").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(member.CreateOpen(UniqueName("cm").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    self += member;
    self += self;
    left += member;
    left += right;
    right += left;

    EXPECT_NE(0, member.Set(1));
    EXPECT_EQ(2u, trace.Count("reached again by its own report"));
    EXPECT_EQ(0, self.Wait(0));
    EXPECT_EQ(0, left.Wait(0));
    EXPECT_EQ(0, right.Wait(0)) << "left is right's only member";
}
