// Named events and mutexes: names, handles and counts, security read back from the objects,
// two processes meeting by name, abandoned mutexes, the scoped lock and the spooler mutex.
// The IpcChild cases are the second process: this program re-run with their filter.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <cstdio>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/ipc_objects.h"
#include "infrastructure/thread.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

static_assert(!std::is_copy_constructible<CIPCEvent>::value, "events are not copied");
static_assert(!std::is_copy_assignable<CIPCEvent>::value, "events are not copied");
static_assert(!std::is_copy_constructible<CInfrastructureMutex>::value, "mutexes are not copied");
static_assert(!std::is_copy_assignable<CInfrastructureMutex>::value, "mutexes are not copied");
static_assert(!std::is_move_constructible<CInfrastructureMutex>::value, "mutexes are not moved");
static_assert(!std::is_copy_constructible<CSecurity>::value, "descriptors are not shared");
static_assert(!std::is_copy_assignable<CSecurity>::value, "descriptors are not shared");
static_assert(!std::is_copy_constructible<CMutexLock>::value, "locks are not copied");

namespace
{

const char kEnvName1[] = "VX_IPC_NAME1";
const char kEnvName2[] = "VX_IPC_NAME2";

// Names of this run only: parallel test programs never meet on them.
std::string UniqueName(const char* pszTag)
{
    static LONG s_nCounter = 0;
    char szName[96];
    std::snprintf(szName, sizeof(szName), "vxipc_%s_%lu_%ld_%lu", pszTag, GetCurrentProcessId(),
                  static_cast<long>(InterlockedIncrement(&s_nCounter)), GetTickCount());
    return szName;
}

std::string OwnExePath()
{
    char szPath[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, szPath, MAX_PATH);
    return szPath;
}

// Runs one IpcChild case in a second process; its exit code is 0 when all its checks held.
DWORD RunChild(const char* pszCase, const std::string& sName1, const std::string& sName2 = "")
{
    std::map<std::string, std::string> environment;
    environment[kEnvName1] = sName1;
    environment[kEnvName2] = sName2;
    const std::string sCommand = "\"" + OwnExePath() + "\" --gtest_also_run_disabled_tests --gtest_filter=IpcChild." +
                                 pszCase;
    vxtest::ProcessResult result = vxtest::RunProcess(sCommand, environment, 60000);
    if (!result.fStarted || !result.fFinished) return 0xDEAD;
    return result.dwExitCode;
}

struct DaclState
{
    bool fRead = false;
    BOOL fPresent = FALSE;
    bool fNull = false;
    BOOL fDefaulted = TRUE;
};

DaclState DaclOfKernelObject(HANDLE h)
{
    DaclState state;
    DWORD cbNeeded = 0;
    GetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, NULL, 0, &cbNeeded);
    if (cbNeeded == 0) return state;
    std::vector<BYTE> buffer(cbNeeded);
    if (!GetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, buffer.data(), cbNeeded, &cbNeeded)) return state;
    PACL pDacl = reinterpret_cast<PACL>(1);
    if (!GetSecurityDescriptorDacl(buffer.data(), &state.fPresent, &pDacl, &state.fDefaulted)) return state;
    state.fRead = true;
    state.fNull = pDacl == NULL;
    return state;
}

DaclState DaclOfSecurityInfo(HANDLE h)
{
    DaclState state;
    PACL pDacl = reinterpret_cast<PACL>(1);
    PSECURITY_DESCRIPTOR pDescriptor = NULL;
    if (GetSecurityInfo(h, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &pDacl, NULL, &pDescriptor) !=
        ERROR_SUCCESS)
        return state;
    SECURITY_DESCRIPTOR_CONTROL wControl = 0;
    DWORD dwRevision = 0;
    GetSecurityDescriptorControl(pDescriptor, &wControl, &dwRevision);
    state.fRead = true;
    state.fPresent = (wControl & SE_DACL_PRESENT) != 0;
    state.fDefaulted = (wControl & SE_DACL_DEFAULTED) != 0;
    state.fNull = pDacl == NULL;
    LocalFree(pDescriptor);
    return state;
}

bool IsInheritable(HANDLE h)
{
    DWORD dwFlags = 0;
    return GetHandleInformation(h, &dwFlags) && (dwFlags & HANDLE_FLAG_INHERIT);
}

bool IsOpenHandle(HANDLE h)
{
    DWORD dwFlags = 0;
    return GetHandleInformation(h, &dwFlags) != FALSE;
}

// Another thread's view of a mutex: its wait result, released again when it got it.
struct OtherWait
{
    HANDLE hMutex;
    DWORD dwResult;
};

unsigned long WINAPI WaitFromOtherThread(void* pv)
{
    OtherWait* p = static_cast<OtherWait*>(pv);
    p->dwResult = WaitForSingleObject(p->hMutex, 0);
    if (p->dwResult == WAIT_OBJECT_0 || p->dwResult == WAIT_ABANDONED) ReleaseMutex(p->hMutex);
    return 0;
}

DWORD WaitResultOfOtherThread(HANDLE hMutex)
{
    OtherWait wait = {hMutex, 0xdeadbeef};
    CThread thread;
    thread.Init(WaitFromOtherThread, &wait, 0, 0, 0, NULL);
    thread.Wait(30000);
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(thread)));
    return wait.dwResult;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Events

TEST(CIPCEvent, CreateOpenMakesManualResetUnsignalledAndSharesByName)
{
    const std::string sName = UniqueName("ev");
    CIPCEvent first, second;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(first.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1) != NULL);
    EXPECT_EQ(0u, GetLastError()) << "a new object";
    EXPECT_STREQ(sName.c_str(), first.GetATemporalName());
    EXPECT_EQ(WAIT_TIMEOUT, first.Wait(0));

    ASSERT_TRUE(second.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1) != NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(first.GetHandle(), second.GetHandle());

    EXPECT_NE(0, second.Set(1));
    EXPECT_EQ(0, first.Wait(0));
    EXPECT_EQ(0, first.Wait(0)) << "manual reset: stays signalled";
    EXPECT_NE(0u, second.Reset());
    EXPECT_EQ(WAIT_TIMEOUT, first.Wait(0));
}

TEST(CIPCEvent, AutoResetAndInitialState)
{
    CIPCEvent autoReset, signalled;
    ASSERT_TRUE(autoReset.CreateOpen(UniqueName("auto").c_str(), NULL, NULL, 0, 0, 0) != NULL);
    EXPECT_NE(0, SetEvent(autoReset));
    EXPECT_EQ(0u, WaitForSingleObject(autoReset, 0));
    EXPECT_EQ(static_cast<unsigned long>(WAIT_TIMEOUT), WaitForSingleObject(autoReset, 0));

    ASSERT_TRUE(signalled.CreateOpen(UniqueName("sig").c_str(), NULL, NULL, 0, 1, 1) != NULL);
    EXPECT_EQ(0u, WaitForSingleObject(signalled, 0));
    EXPECT_NE(0, ResetEvent(signalled));
    EXPECT_EQ(static_cast<unsigned long>(WAIT_TIMEOUT), WaitForSingleObject(signalled, 0));
}

TEST(CIPCEvent, FailIfExistsLeavesNoHandle)
{
    const std::string sName = UniqueName("fie");
    CIPCEvent owner, late;
    ASSERT_TRUE(owner.CreateOpen(sName.c_str(), NULL, NULL, 1, 0, 1) != NULL) << "new: not refused";
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(late.CreateOpen(sName.c_str(), NULL, NULL, 1, 0, 1) == NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_TRUE(late.GetHandle() == NULL);
    EXPECT_EQ(0u, late.Close());
}

TEST(CIPCEvent, OpenFindsOnlyExistingObjects)
{
    const std::string sName = UniqueName("open");
    CIPCEvent missing;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(missing.Open(sName.c_str(), NULL, NULL, 0, 0) == NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(0u, missing.Close());

    CIPCEvent creator, opener;
    ASSERT_TRUE(creator.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(opener.Open(sName.c_str(), NULL, NULL, 0, 0) != NULL);
    EXPECT_FALSE(IsInheritable(opener.GetHandle())) << "opened handles are not inherited";
    EXPECT_NE(0, opener.Set(1)) << "opened with modify-state access";
    EXPECT_EQ(0, creator.Wait(0));
}

struct NameCase
{
    const char* pszName;  // '*' stands for the run's unique token
    const char* pszQualifier1;
    const char* pszQualifier2;
    const char* pszFull;
};

TEST(CIPCObj, NamesJoinQualifiersAndLoseBackslashes)
{
    const NameCase kCases[] = {
        {"Svc\\*", "Grp", "Sub", "Grp/Sub/Svc/*"},
        {"*", NULL, NULL, "*"},
        {"*", "B", NULL, "B/*"},
        {"*", NULL, "C", "C/*"},
        {"*", "Q\\1", "Q\\2", "Q/1/Q/2/*"},
        {"Global\\*", NULL, NULL, "Global/*"},  // no kernel namespace: the prefix is part of the name
        {"Local\\*", NULL, NULL, "Local/*"},
        {"\\*\\", NULL, NULL, "/*/"},
        {"*", "", "", "//*"},  // empty qualifiers still count as given
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const std::string sToken = UniqueName("nm");
        std::string sName = kCases[i].pszName, sFull = kCases[i].pszFull;
        sName.replace(sName.find('*'), 1, sToken);
        sFull.replace(sFull.find('*'), 1, sToken);
        CIPCEvent event;
        ASSERT_TRUE(event.CreateOpen(sName.c_str(), kCases[i].pszQualifier1, kCases[i].pszQualifier2, 0, 0, 1) != NULL)
            << i << " " << GetLastError();
        EXPECT_EQ(sFull, event.GetATemporalName()) << i;
        HANDLE hRaw = OpenEventA(SYNCHRONIZE, FALSE, sFull.c_str());
        EXPECT_TRUE(hRaw != NULL) << i << ": the object really has the full name";
        if (hRaw) CloseHandle(hRaw);
    }
    // The namespace prefix was not taken as one.
    const std::string sToken = UniqueName("ns");
    CIPCEvent local;
    ASSERT_TRUE(local.CreateOpen(("Local\\" + sToken).c_str(), NULL, NULL, 0, 0, 1) != NULL);
    EXPECT_TRUE(OpenEventA(SYNCHRONIZE, FALSE, ("Local\\" + sToken).c_str()) == NULL);
}

TEST(CIPCObj, NullNameMakesPrivateObjects)
{
    CIPCEvent a, b;
    ASSERT_TRUE(a.CreateOpen(NULL, "ignored", "too", 1, 0, 1) != NULL);
    ASSERT_TRUE(b.CreateOpen(NULL, NULL, NULL, 1, 0, 1) != NULL) << "no name: never 'already exists'";
    EXPECT_STREQ("", a.GetATemporalName());
    EXPECT_NE(0, a.Set(1));
    EXPECT_EQ(static_cast<long>(WAIT_TIMEOUT), b.Wait(0)) << "two unnamed objects are two objects";
    EXPECT_TRUE(OpenEventA(SYNCHRONIZE, FALSE, "ignored/too") == NULL);

    CIPCEvent opener;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(opener.Open(NULL, NULL, NULL, 0, 0) == NULL) << "nothing to open without a name";
    EXPECT_NE(0xdeadbeefu, GetLastError());
}

TEST(CIPCObj, LongNames)
{
    const std::string sToken = UniqueName("long");
    struct
    {
        size_t cchName;
        bool fCreated;
    } kCases[] = {{MAX_PATH - 1, true}, {MAX_PATH, false}, {300, false}, {600, false}, {5000, false}};
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        std::string sName = sToken;
        sName.resize(kCases[i].cchName, 'x');
        CIPCEvent event;
        SetLastError(0xdeadbeef);
        HANDLE h = event.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1);
        EXPECT_EQ(kCases[i].fCreated, h != NULL) << i;
        if (!kCases[i].fCreated)
        {
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError()) << i;
            EXPECT_TRUE(event.GetHandle() == NULL) << i;
            EXPECT_EQ(0u, event.Close()) << i;
            SetLastError(0xdeadbeef);
            EXPECT_TRUE(event.Open(sName.c_str(), NULL, NULL, 0, 0) == NULL) << i;
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError()) << i;
        }
        const std::string sText = event.GetATemporalName();
        EXPECT_EQ(sName.substr(0, CIPCObj::kNameTextSize - 1), sText) << i << ": cut, terminated";
    }
    // Qualifiers count towards the limit.
    std::string sName = sToken;
    sName.resize(MAX_PATH - 4, 'y');
    CInfrastructureMutex mutex;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(mutex.CreateOpen(sName.c_str(), "Q1", "Q2", 0, 0, 0) == NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
}

TEST(CIPCObj, CloseWithoutOpen)
{
    CIPCEvent event;
    CInfrastructureMutex mutex;
    EXPECT_EQ(0u, event.Close());
    EXPECT_EQ(0u, mutex.Close());
    EXPECT_TRUE(event.GetHandle() == NULL);
    EXPECT_STREQ("", event.GetATemporalName());
}

TEST(CIPCObj, OneCreateOneClose)
{
    CIPCEvent event;
    HANDLE h = event.CreateOpen(UniqueName("close").c_str(), NULL, NULL, 0, 0, 1);
    ASSERT_TRUE(h != NULL);
    EXPECT_EQ(1u, event.Close());
    EXPECT_TRUE(event.GetHandle() == NULL);
    EXPECT_FALSE(IsOpenHandle(h));
    EXPECT_EQ(0u, event.Close()) << "nothing left to close";
}

// A second create replaces the handle (the first is closed at once); each create needs its own
// Close and the handle goes with the last one.
TEST(CIPCObj, RepeatedCreateHoldsOneHandle)
{
    const std::string sName = UniqueName("rep");
    CIPCEvent event;
    HANDLE hFirst = event.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1);
    HANDLE hSecond = event.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1);
    ASSERT_TRUE(hFirst != NULL && hSecond != NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(hFirst, hSecond);
    EXPECT_FALSE(IsOpenHandle(hFirst));
    EXPECT_EQ(hSecond, event.GetHandle());
    EXPECT_EQ(1u, event.Close());
    EXPECT_EQ(hSecond, event.GetHandle()) << "one open left";
    EXPECT_TRUE(IsOpenHandle(hSecond));
    EXPECT_EQ(1u, event.Close());
    EXPECT_TRUE(event.GetHandle() == NULL);
    EXPECT_FALSE(IsOpenHandle(hSecond));
    EXPECT_EQ(0u, event.Close());
}

TEST(CIPCObj, FailedOpenDropsTheEarlierHandle)
{
    CIPCEvent event;
    HANDLE hFirst = event.CreateOpen(UniqueName("fo").c_str(), NULL, NULL, 0, 0, 1);
    ASSERT_TRUE(hFirst != NULL);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(event.Open(UniqueName("missing").c_str(), NULL, NULL, 0, 0) == NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_TRUE(event.GetHandle() == NULL);
    EXPECT_FALSE(IsOpenHandle(hFirst));
    EXPECT_EQ(0u, event.Close());
}

TEST(CIPCObj, DestructionClosesAndKeepsTheLastError)
{
    HANDLE h = NULL;
    {
        CInfrastructureMutex mutex;
        h = mutex.CreateOpen(UniqueName("dtor").c_str(), NULL, NULL, 0, 0, 0);
        ASSERT_TRUE(h != NULL);
        SetLastError(1234);
    }
    EXPECT_EQ(1234u, GetLastError());
    EXPECT_FALSE(IsOpenHandle(h));
}

TEST(CIPCEvent, NullHandleOperations)
{
    CIPCEvent event;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, event.Set(1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0, SetEvent(event));
    EXPECT_EQ(0, ResetEvent(event));
    EXPECT_EQ(0u, event.Reset());
    EXPECT_EQ(0, event.Pulse());
    EXPECT_EQ(static_cast<long>(WAIT_FAILED), event.Wait(0));
    EXPECT_EQ(static_cast<unsigned long>(WAIT_FAILED), WaitForSingleObject(event, 0));
}

TEST(CIPCObj, MutexAndEventCannotShareAName)
{
    const std::string sName = UniqueName("clash");
    CIPCEvent event;
    ASSERT_TRUE(event.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1) != NULL);
    CInfrastructureMutex mutex;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(mutex.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 0) == NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(mutex.Open(sName.c_str(), NULL, NULL, 0, 0) == NULL);
}

// ---------------------------------------------------------------------------------------------
// Mutexes

TEST(CInfrastructureMutex, OwnedAtCreation)
{
    CInfrastructureMutex mutex;
    ASSERT_TRUE(mutex.CreateOpen(UniqueName("own").c_str(), NULL, NULL, 0, 1, 0) != NULL);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitResultOfOtherThread(mutex.GetHandle()));
    EXPECT_EQ(0u, mutex.Wait(0)) << "the owner may take it again";
    EXPECT_NE(0, mutex.Release());
    EXPECT_NE(0, mutex.Release());
    EXPECT_EQ(0, mutex.Release()) << "no longer owned";
    EXPECT_EQ(0u, WaitResultOfOtherThread(mutex.GetHandle()));
}

TEST(CInfrastructureMutex, NotOwnedAtCreationAndOpenedByName)
{
    const std::string sName = UniqueName("mx");
    CInfrastructureMutex creator, opener;
    ASSERT_TRUE(creator.CreateOpen(sName.c_str(), NULL, NULL, 0, 0, 1) != NULL) << "the sixth argument is ignored";
    EXPECT_EQ(0u, WaitResultOfOtherThread(creator.GetHandle()));
    ASSERT_TRUE(opener.Open(sName.c_str(), NULL, NULL, 0, 0) != NULL);
    EXPECT_EQ(0u, opener.Wait(0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitResultOfOtherThread(creator.GetHandle())) << "one mutex";
    EXPECT_NE(0, opener.Release());
}

TEST(CInfrastructureMutex, NullHandle)
{
    CInfrastructureMutex mutex;
    EXPECT_EQ(static_cast<unsigned long>(WAIT_FAILED), mutex.Wait(0));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, mutex.Release());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(CMutexLock, HoldsForItsScopeAndKeepsTheLastError)
{
    CInfrastructureMutex mutex;
    ASSERT_TRUE(mutex.CreateOpen(UniqueName("lock").c_str(), NULL, NULL, 0, 0, 0) != NULL);
    {
        CMutexLock lock(mutex);
        EXPECT_TRUE(lock.IsOwned());
        EXPECT_FALSE(lock.WasAbandoned());
        EXPECT_EQ(0u, lock.GetWaitResult());
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitResultOfOtherThread(mutex.GetHandle()));
        SetLastError(1234);
    }
    EXPECT_EQ(1234u, GetLastError());
    EXPECT_EQ(0u, WaitResultOfOtherThread(mutex.GetHandle()));

    CMutexLock early(mutex);
    early.Unlock();
    EXPECT_FALSE(early.IsOwned());
    EXPECT_EQ(0u, WaitResultOfOtherThread(mutex.GetHandle()));
    early.Unlock();
    EXPECT_EQ(0, mutex.Release()) << "released once only";
}

namespace
{

struct TimedLock
{
    CInfrastructureMutex* pMutex;
    unsigned long ulResult;
    bool fOwned;
};

unsigned long WINAPI LockWithoutWaiting(void* pv)
{
    TimedLock* p = static_cast<TimedLock*>(pv);
    CMutexLock lock(*p->pMutex, 0);
    p->ulResult = lock.GetWaitResult();
    p->fOwned = lock.IsOwned();
    return 0;
}

}  // namespace

TEST(CMutexLock, TimeOutOwnsNothing)
{
    CInfrastructureMutex mutex;
    ASSERT_TRUE(mutex.CreateOpen(UniqueName("lto").c_str(), NULL, NULL, 0, 1, 0) != NULL);
    TimedLock timed = {&mutex, 0xdeadbeef, true};
    CThread thread;
    thread.Init(LockWithoutWaiting, &timed, 0, 0, 0, NULL);
    EXPECT_EQ(0, thread.Wait(30000));
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(thread)));
    EXPECT_EQ(static_cast<unsigned long>(WAIT_TIMEOUT), timed.ulResult);
    EXPECT_FALSE(timed.fOwned);
    EXPECT_NE(0, mutex.Release()) << "still ours";
}

TEST(CMutexLock, MutexWithoutHandle)
{
    vxtest::TraceCapture trace;
    CInfrastructureMutex mutex;
    CMutexLock lock(mutex);
    EXPECT_FALSE(lock.IsOwned());
    EXPECT_EQ(static_cast<unsigned long>(WAIT_FAILED), lock.GetWaitResult());
    EXPECT_EQ(1u, trace.Count("Waiting for mutex"));
}

// ---------------------------------------------------------------------------------------------
// Security

TEST(CSecurity, DefaultIsANullDaclInheritable)
{
    CSecurity security;
    SECURITY_ATTRIBUTES* pAttributes = security;
    EXPECT_EQ(reinterpret_cast<SECURITY_ATTRIBUTES*>(&security), pAttributes) << "the attributes come first";
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), pAttributes->nLength);
    EXPECT_TRUE(pAttributes->bInheritHandle);
    EXPECT_EQ(security.GetDescriptor(), pAttributes->lpSecurityDescriptor);
    ASSERT_TRUE(IsValidSecurityDescriptor(security.GetDescriptor()));
    BOOL fPresent = FALSE, fDefaulted = TRUE;
    PACL pDacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(GetSecurityDescriptorDacl(security.GetDescriptor(), &fPresent, &pDacl, &fDefaulted));
    EXPECT_TRUE(fPresent);
    EXPECT_TRUE(pDacl == NULL);
    EXPECT_FALSE(fDefaulted);
    SECURITY_DESCRIPTOR_CONTROL wControl = 0;
    DWORD dwRevision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security.GetDescriptor(), &wControl, &dwRevision));
    EXPECT_EQ(static_cast<DWORD>(SECURITY_DESCRIPTOR_REVISION), dwRevision);
}

TEST(CSecurity, UninitialisedBlockLeavesTheAttributesEmpty)
{
    CSecurity security(20, 0);
    EXPECT_TRUE(security.GetDescriptor() != NULL) << "allocated";
    SECURITY_ATTRIBUTES* pAttributes = security;
    EXPECT_EQ(0u, pAttributes->nLength);
    EXPECT_TRUE(pAttributes->lpSecurityDescriptor == NULL);
    EXPECT_EQ(1u, security.Init(20, 1));
    EXPECT_EQ(security.GetDescriptor(), pAttributes->lpSecurityDescriptor);
}

// A block too small for a descriptor of this platform is grown rather than overrun.
TEST(CSecurity, SmallSizesStillMakeAWholeDescriptor)
{
    const unsigned long aulSizes[] = {0, 1, 20};
    for (size_t i = 0; i < sizeof(aulSizes) / sizeof(aulSizes[0]); ++i)
    {
        CSecurity security(aulSizes[i], 1);
        EXPECT_TRUE(IsValidSecurityDescriptor(security.GetDescriptor())) << i;
        EXPECT_EQ(1u, security.Init(aulSizes[i], 1)) << i;
    }
}

// Freeing the old block must not leave the attributes pointing at it.
TEST(CSecurity, ReInitWithoutDescriptorForgetsTheOldOne)
{
    CSecurity security;
    SECURITY_ATTRIBUTES* pAttributes = security;
    ASSERT_TRUE(pAttributes->lpSecurityDescriptor != NULL);
    EXPECT_EQ(1u, security.Init(64, 0));
    EXPECT_TRUE(pAttributes->lpSecurityDescriptor == NULL);
    EXPECT_TRUE(pAttributes->bInheritHandle) << "length and inherit flag stay";
}

TEST(CSecurity, CreatedObjectsCarryTheNullDacl)
{
    CIPCEvent event;
    CInfrastructureMutex mutex;
    ASSERT_TRUE(event.CreateOpen(UniqueName("sde").c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(mutex.CreateOpen(UniqueName("sdm").c_str(), NULL, NULL, 0, 0, 0) != NULL);
    const HANDLE ah[] = {event.GetHandle(), mutex.GetHandle()};
    for (size_t i = 0; i < 2; ++i)
    {
        const DaclState kernel = DaclOfKernelObject(ah[i]);
        ASSERT_TRUE(kernel.fRead) << i << " " << GetLastError();
        EXPECT_TRUE(kernel.fPresent) << i;
        EXPECT_TRUE(kernel.fNull) << i;
        const DaclState info = DaclOfSecurityInfo(ah[i]);
        ASSERT_TRUE(info.fRead) << i;
        EXPECT_TRUE(info.fPresent) << i;
        EXPECT_TRUE(info.fNull) << i;
        EXPECT_TRUE(IsInheritable(ah[i])) << i;
    }
}

// The default a plain create gives, for contrast: not a null DACL, so the check above has teeth.
TEST(CSecurity, PlainObjectsDoNotLookAlike)
{
    const std::string sName = UniqueName("plain");
    HANDLE h = CreateEventA(NULL, TRUE, FALSE, sName.c_str());
    ASSERT_TRUE(h != NULL);
    const DaclState kernel = DaclOfKernelObject(h);
    EXPECT_FALSE(IsInheritable(h));
    if (kernel.fRead)
    {
        EXPECT_FALSE(kernel.fPresent && kernel.fNull) << "a default DACL, not a null one";
    }
    CloseHandle(h);
}

// ---------------------------------------------------------------------------------------------
// Two processes

TEST(TwoProcesses, MeetOnOneEventAndOneMutexByName)
{
    const std::string sEvent = UniqueName("pev"), sMutex = UniqueName("pmx");
    CIPCEvent event;
    CInfrastructureMutex mutex;
    ASSERT_TRUE(event.CreateOpen(sEvent.c_str(), NULL, NULL, 0, 0, 1) != NULL);
    ASSERT_TRUE(mutex.CreateOpen(sMutex.c_str(), NULL, NULL, 0, 1, 0) != NULL);
    ASSERT_NE(0, event.Set(1));

    EXPECT_EQ(0u, RunChild("DISABLED_SeesParentObjects", sEvent, sMutex));
    EXPECT_EQ(WAIT_TIMEOUT, event.Wait(0)) << "the child reset the shared event";

    ASSERT_NE(0, mutex.Release());
    EXPECT_EQ(0u, RunChild("DISABLED_TakesAndReleasesMutex", sMutex));
    EXPECT_EQ(0u, mutex.Wait(0)) << "released by the child";
    mutex.Release();
}

TEST(TwoProcesses, MutexLeftByAnEndedOwnerIsAbandoned)
{
    const std::string sMutex = UniqueName("abn");
    CInfrastructureMutex mutex;
    ASSERT_TRUE(mutex.CreateOpen(sMutex.c_str(), NULL, NULL, 0, 0, 0) != NULL);
    ASSERT_EQ(0u, RunChild("DISABLED_TakesMutexAndEnds", sMutex));
    EXPECT_EQ(static_cast<unsigned long>(WAIT_ABANDONED), mutex.Wait(5000));
    EXPECT_EQ(0u, mutex.Wait(0)) << "owned now, and no longer abandoned";
    EXPECT_NE(0, mutex.Release());
    EXPECT_NE(0, mutex.Release());
}

TEST(TwoProcesses, ScopedLockTakesOverAnAbandonedMutex)
{
    const std::string sMutex = UniqueName("abl");
    CInfrastructureMutex mutex;
    ASSERT_TRUE(mutex.CreateOpen(sMutex.c_str(), NULL, NULL, 0, 0, 0) != NULL);
    ASSERT_EQ(0u, RunChild("DISABLED_TakesMutexAndEnds", sMutex));
    vxtest::TraceCapture trace;
    {
        CMutexLock lock(mutex, 5000);
        EXPECT_TRUE(lock.IsOwned());
        EXPECT_TRUE(lock.WasAbandoned());
        EXPECT_EQ(static_cast<unsigned long>(WAIT_ABANDONED), lock.GetWaitResult());
    }
    EXPECT_EQ(1u, trace.Count("was abandoned by its last owner"));
    EXPECT_EQ(1u, trace.Count(sMutex));
    EXPECT_EQ(0u, WaitResultOfOtherThread(mutex.GetHandle())) << "released at the end of the scope";
}

// The second process's side of the cases above. Their exit code is gtest's: 0 when all held.
TEST(IpcChild, DISABLED_SeesParentObjects)
{
    const std::string sEvent = vxtest::Env(kEnvName1), sMutex = vxtest::Env(kEnvName2);
    ASSERT_FALSE(sEvent.empty());
    CIPCEvent event, late;
    ASSERT_TRUE(event.Open(sEvent.c_str(), NULL, NULL, 0, 0) != NULL);
    EXPECT_EQ(0, event.Wait(0)) << "set by the parent";
    EXPECT_TRUE(late.CreateOpen(sEvent.c_str(), NULL, NULL, 1, 0, 1) == NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(0u, event.Reset());

    CInfrastructureMutex mutex;
    ASSERT_TRUE(mutex.Open(sMutex.c_str(), NULL, NULL, 0, 0) != NULL);
    EXPECT_EQ(static_cast<unsigned long>(WAIT_TIMEOUT), mutex.Wait(0)) << "owned by the parent";
}

TEST(IpcChild, DISABLED_TakesAndReleasesMutex)
{
    CInfrastructureMutex mutex;
    ASSERT_TRUE(mutex.CreateOpen(vxtest::Env(kEnvName1).c_str(), NULL, NULL, 0, 0, 0) != NULL);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(0u, mutex.Wait(10000));
    EXPECT_NE(0, mutex.Release());
}

TEST(IpcChild, DISABLED_TakesMutexAndEnds)
{
    CInfrastructureMutex mutex;
    ASSERT_TRUE(mutex.Open(vxtest::Env(kEnvName1).c_str(), NULL, NULL, 0, 0) != NULL);
    EXPECT_EQ(0u, mutex.Wait(10000));
    // Not released: the process ends owning it.
}

TEST(IpcChild, DISABLED_FindsSpoolerMutexHeld)
{
    ASSERT_TRUE(g_SpoolerMutex.GetHandle() != NULL);
    EXPECT_EQ(static_cast<unsigned long>(WAIT_TIMEOUT), g_SpoolerMutex.Wait(0));
}

// ---------------------------------------------------------------------------------------------
// The process-wide objects ("SpoolerMutex" is a fixed name: this suite runs on its own)

TEST(SpoolerMutex, ExistsFromStartAndIsShared)
{
    ASSERT_TRUE(g_SpoolerMutex.GetHandle() != NULL);
    EXPECT_STREQ("SpoolerMutex", g_SpoolerMutex.GetATemporalName());
    const DaclState dacl = DaclOfKernelObject(g_SpoolerMutex.GetHandle());
    ASSERT_TRUE(dacl.fRead);
    EXPECT_TRUE(dacl.fPresent && dacl.fNull);
    HANDLE hRaw = OpenMutexA(SYNCHRONIZE, FALSE, "SpoolerMutex");
    ASSERT_TRUE(hRaw != NULL);
    CloseHandle(hRaw);

    CMutexLock lock(g_SpoolerMutex);
    ASSERT_TRUE(lock.IsOwned());
    EXPECT_EQ(0u, RunChild("DISABLED_FindsSpoolerMutexHeld", ""));
}

TEST(SharedSecurity, IsANullDaclWithInheritableHandles)
{
    SECURITY_ATTRIBUTES* pAttributes = g_SharedSecurity;
    ASSERT_TRUE(pAttributes->lpSecurityDescriptor != NULL);
    BOOL fPresent = FALSE, fDefaulted = TRUE;
    PACL pDacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(GetSecurityDescriptorDacl(pAttributes->lpSecurityDescriptor, &fPresent, &pDacl, &fDefaulted));
    EXPECT_TRUE(fPresent);
    EXPECT_TRUE(pDacl == NULL);
    EXPECT_TRUE(pAttributes->bInheritHandle);
}
