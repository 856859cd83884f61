// The thread wrapper: suspended starts, resuming, waiting, exit codes and bad handles.
#include <gtest/gtest.h>

#include "infrastructure/thread.h"

namespace
{

HANDLE HandleOf(const CThread& thread) { return const_cast<HANDLE>(static_cast<const void*>(thread)); }

struct Gate
{
    HANDLE hGo;          // the routine waits for it
    volatile LONG nRan;  // set when the routine ran
    unsigned long ulResult;
};

unsigned long WINAPI WaitForGate(void* pv)
{
    Gate* pGate = static_cast<Gate*>(pv);
    InterlockedExchange(&pGate->nRan, 1);
    WaitForSingleObject(pGate->hGo, 30000);
    return pGate->ulResult;
}

class GateTest : public ::testing::Test
{
protected:
    GateTest() { m_gate = {CreateEventA(NULL, TRUE, FALSE, NULL), 0, 42}; }
    ~GateTest() override { CloseHandle(m_gate.hGo); }
    Gate m_gate;
};

struct SelfResume
{
    CThread* pThread;
    long lResult;
};

unsigned long WINAPI ResumeMyself(void* pv)
{
    SelfResume* p = static_cast<SelfResume*>(pv);
    p->lResult = p->pThread->Resume();
    return 7;
}

}  // namespace

TEST(CThread, FreshWrapperIsEmpty)
{
    CThread thread;
    EXPECT_TRUE(HandleOf(thread) == NULL);
    EXPECT_EQ(0u, thread.GeThisThreadID());
    EXPECT_EQ(0, thread.GetExitCode());
}

TEST_F(GateTest, SuspendedStartRunsAfterResume)
{
    CThread thread;
    EXPECT_EQ(1u, thread.Init(WaitForGate, &m_gate, CThread::kStartSuspended, 0, 0, NULL));
    ASSERT_TRUE(HandleOf(thread) != NULL);
    EXPECT_NE(0u, thread.GeThisThreadID());
    EXPECT_EQ(WAIT_TIMEOUT, thread.Wait(50));
    EXPECT_EQ(0, m_gate.nRan) << "a suspended thread does not run";
    EXPECT_EQ(STILL_ACTIVE, thread.GetExitCode());

    EXPECT_EQ(1, thread.Resume()) << "the previous suspend count";
    SetEvent(m_gate.hGo);
    EXPECT_EQ(0, thread.Wait(30000));
    EXPECT_EQ(1, m_gate.nRan);
    EXPECT_EQ(42, thread.GetExitCode());
    CloseHandle(HandleOf(thread));
}

TEST_F(GateTest, SuspendedFlagGivenDirectly)
{
    CThread thread;
    thread.Init(WaitForGate, &m_gate, 0, CREATE_SUSPENDED, 0, NULL);
    ASSERT_TRUE(HandleOf(thread) != NULL);
    EXPECT_EQ(1, thread.Resume());
    EXPECT_EQ(0, thread.Resume()) << "running: nothing to resume";
    SetEvent(m_gate.hGo);
    EXPECT_EQ(0, thread.Wait(30000));
    CloseHandle(HandleOf(thread));
}

TEST_F(GateTest, RunningThreadReportsStillActive)
{
    CThread thread;
    thread.Init(WaitForGate, &m_gate, 0, 0, 0, NULL);
    ASSERT_TRUE(HandleOf(thread) != NULL);
    EXPECT_EQ(STILL_ACTIVE, thread.GetExitCode());
    EXPECT_EQ(WAIT_TIMEOUT, thread.Wait(0));
    SetEvent(m_gate.hGo);
    EXPECT_EQ(0, thread.Wait(30000));
    EXPECT_EQ(42, thread.GetExitCode());
    CloseHandle(HandleOf(thread));
}

TEST(CThread, ResumeFromTheWrappedThreadDoesNothing)
{
    CThread thread;
    SelfResume self = {&thread, -1};
    thread.Init(ResumeMyself, &self, CThread::kStartSuspended, 0, 0, NULL);
    ASSERT_TRUE(HandleOf(thread) != NULL);
    EXPECT_EQ(1, thread.Resume());
    EXPECT_EQ(0, thread.Wait(30000)) << "the thread was not suspended again";
    EXPECT_EQ(0, self.lResult);
    EXPECT_EQ(7, thread.GetExitCode());
    CloseHandle(HandleOf(thread));
}

TEST_F(GateTest, DestroyingTheWrapperLeavesTheThreadRunning)
{
    HANDLE hThread = NULL;
    {
        CThread thread;
        thread.Init(WaitForGate, &m_gate, 0, 0, 0, NULL);
        hThread = HandleOf(thread);
        ASSERT_TRUE(hThread != NULL);
    }
    DWORD dwCode = 0;
    ASSERT_TRUE(GetExitCodeThread(hThread, &dwCode)) << "the handle stays open";
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwCode);
    SetEvent(m_gate.hGo);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 30000));
    ASSERT_TRUE(GetExitCodeThread(hThread, &dwCode));
    EXPECT_EQ(42u, dwCode);
    CloseHandle(hThread);
}

TEST_F(GateTest, CopyRefersToTheSameThread)
{
    CThread thread;
    thread.Init(WaitForGate, &m_gate, 0, 0, 0, NULL);
    CThread copy;
    copy = thread;
    EXPECT_EQ(HandleOf(thread), HandleOf(copy));
    EXPECT_EQ(thread.GeThisThreadID(), copy.GeThisThreadID());
    SetEvent(m_gate.hGo);
    EXPECT_EQ(0, copy.Wait(30000));
    EXPECT_EQ(42, copy.GetExitCode());
    CloseHandle(HandleOf(thread));
}

// Before Init, and with a null routine, there is no thread: results say so, nothing crashes.
TEST(CThread, NoThreadResults)
{
    CThread thread;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(1u, thread.Init(NULL, NULL, 0, 0, 0, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_TRUE(HandleOf(thread) == NULL);
    EXPECT_EQ(0u, thread.GeThisThreadID());
    EXPECT_EQ(ERROR_INVALID_HANDLE, thread.Resume());
    EXPECT_EQ(static_cast<long>(WAIT_FAILED), thread.Wait(0));
    EXPECT_EQ(0, thread.GetExitCode());
    thread.Yield();
}
