// The owners of handles, keys, locks and system blocks (infrastructure/internal/vx_owners.h).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "vx_owners.h"

namespace
{

// Records what an owner closes; its empty value is the test's to choose.
std::vector<HANDLE> g_closed;

template <LONG_PTR kEmpty>
struct RecordingTraits
{
    typedef HANDLE Handle;
    static HANDLE Empty() { return reinterpret_cast<HANDLE>(kEmpty); }
    static void Close(HANDLE h) { g_closed.push_back(h); }
};

typedef CUniqueAny<RecordingTraits<0> > CNullEmpty;
typedef CUniqueAny<RecordingTraits<-1> > CInvalidEmpty;

const HANDLE kA = reinterpret_cast<HANDLE>(0x1000);
const HANDLE kB = reinterpret_cast<HANDLE>(0x2000);

std::string UniqueName(const char* pszTag)
{
    return std::string("vxt_owners_") + pszTag + "_" + std::to_string(GetCurrentProcessId());
}

bool EventExists(const std::string& sName)
{
    HANDLE h = OpenEventA(SYNCHRONIZE, FALSE, sName.c_str());
    if (!h) return false;
    CloseHandle(h);
    return true;
}

TEST(Owners, CloseOnScopeExitAndOnReset)
{
    g_closed.clear();
    {
        CNullEmpty owner(kA);
        EXPECT_TRUE(owner.IsValid());
        owner.Reset(kB);
        ASSERT_EQ(1u, g_closed.size());
        EXPECT_EQ(kA, g_closed[0]);
        EXPECT_EQ(kB, owner.Get());
    }
    ASSERT_EQ(2u, g_closed.size());
    EXPECT_EQ(kB, g_closed[1]);
}

TEST(Owners, MoveHandsOnAndReleaseGivesUp)
{
    g_closed.clear();
    CNullEmpty first(kA);
    CNullEmpty second(std::move(first));
    EXPECT_EQ(NULL, first.Get());
    EXPECT_EQ(kA, second.Get());
    CNullEmpty third(kB);
    third = std::move(second);  // kB closed, kA taken over
    ASSERT_EQ(1u, g_closed.size());
    EXPECT_EQ(kB, g_closed[0]);
    EXPECT_EQ(kA, third.Release());
    EXPECT_FALSE(third.IsValid());
    third.Reset();
    EXPECT_EQ(1u, g_closed.size());  // released, so never closed
}

// NULL and INVALID_HANDLE_VALUE are never closed, whichever the owner calls empty.
TEST(Owners, NeitherEmptyValueIsClosed)
{
    g_closed.clear();
    {
        CNullEmpty nullEmpty(INVALID_HANDLE_VALUE);
        CInvalidEmpty invalidEmpty(NULL);
        CInvalidEmpty byDefault;
        EXPECT_EQ(INVALID_HANDLE_VALUE, byDefault.Get());
        EXPECT_FALSE(nullEmpty.IsValid());
        EXPECT_FALSE(invalidEmpty.IsValid());
        EXPECT_FALSE(byDefault.IsValid());
    }
    EXPECT_TRUE(g_closed.empty());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CUniqueFile().Get());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CUniqueFind().Get());
    EXPECT_EQ(NULL, CUniqueHandle().Get());
}

TEST(Owners, PutClosesWhatWasHeld)
{
    g_closed.clear();
    CNullEmpty owner(kA);
    HANDLE* ph = owner.Put();
    ASSERT_EQ(1u, g_closed.size());
    EXPECT_EQ(NULL, *ph);
    *ph = kB;
    EXPECT_EQ(kB, owner.Get());
}

// A real kernel object: gone once its owner is.
TEST(Owners, KernelObjectClosedWithItsOwner)
{
    const std::string sName = UniqueName("event");
    {
        CUniqueHandle event(CreateEventA(NULL, TRUE, FALSE, sName.c_str()));
        ASSERT_TRUE(event.IsValid());
        CUniqueHandle moved(std::move(event));
        EXPECT_TRUE(EventExists(sName));
    }
    EXPECT_FALSE(EventExists(sName));
}

// Callers read the last error after an owner has gone: a close, even one that fails, must
// not change it.
TEST(Owners, CloseKeepsTheLastError)
{
    const HANDLE hNoObject = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(0x7ff0));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(hNoObject));
    ASSERT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());  // what a bare close does
    {
        CUniqueHandle owner(hNoObject);
        SetLastError(0xdeadbeef);
    }
    EXPECT_EQ(0xdeadbeefu, GetLastError());
}

DWORD WINAPI TryEnter(void* pContext)
{
    CRITICAL_SECTION* pcs = static_cast<CRITICAL_SECTION*>(pContext);
    if (!TryEnterCriticalSection(pcs)) return 0;
    LeaveCriticalSection(pcs);
    return 1;
}

DWORD TryFromAnotherThread(CRITICAL_SECTION& cs)
{
    DWORD dwThreadId = 0, dwEntered = 2;
    HANDLE hThread = CreateThread(NULL, 0, TryEnter, &cs, 0, &dwThreadId);
    if (!hThread) return 2;
    WaitForSingleObject(hThread, 10000);
    GetExitCodeThread(hThread, &dwEntered);
    CloseHandle(hThread);
    return dwEntered;
}

TEST(Owners, CriticalSectionHeldForTheScope)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    {
        CCriticalSectionLock lock(cs);
        EXPECT_EQ(0u, TryFromAnotherThread(cs));
    }
    EXPECT_EQ(1u, TryFromAnotherThread(cs));
    DeleteCriticalSection(&cs);
}

}  // namespace
