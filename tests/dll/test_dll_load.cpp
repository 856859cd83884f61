// vxinfra14.dll loaded by a program that has none of the library itself: its process-wide
// objects must exist once LoadLibraryA returns and be gone once FreeLibrary returns, and its
// first calls may come from many threads at once.
//
// This program is not linked with the library (the headers are used for the objects' layout
// only); every member it calls is reached through the DLL's exports. Run with "-log 0x2f" on
// the command line.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "diag/trace_log.h"
#include "infrastructure/factory.h"
#include "infrastructure/ipc_objects.h"
#include "support/import_patch.h"

namespace
{

const char kDllName[] = "vxinfra14.dll";
const DWORD kMaskOnCommandLine = 0x2f;

std::string Env(const char* pszName)
{
    char szValue[4096];
    DWORD cch = GetEnvironmentVariableA(pszName, szValue, sizeof(szValue));
    return (cch == 0 || cch >= sizeof(szValue)) ? std::string() : std::string(szValue, cch);
}

std::string DllPath()
{
    std::string s = "Z:" + Env("VX_INFRA_DLL");
    for (char& c : s)
    {
        if (c == '/') c = '\\';
    }
    return s;
}

// CTraceLog::Trace through the DLL. A variadic member is called like a free function taking
// the object first, on x86 and x64 alike.
typedef void (*PFN_TRACE)(CTraceLog* pThis, DWORD dwFlags, const char* pszFormat, ...);

// The other members take the object as a hidden first argument: in ECX on x86 (GCC and MSVC
// call members "thiscall" there), like any first argument on x64.
#if defined(__i386__) || defined(_M_IX86)
#define VX_THISCALL __thiscall
#else
#define VX_THISCALL
#endif
typedef const CVxCiString&(VX_THISCALL* PFN_TRACE_GET_PATH)(const CTraceLog* pThis);
typedef DWORD(VX_THISCALL* PFN_TRACE_GET_MASK)(const CTraceLog* pThis);
typedef HANDLE(VX_THISCALL* PFN_OBJ_GET_HANDLE)(const CIPCObj* pThis);
typedef const char*(VX_THISCALL* PFN_OBJ_GET_NAME)(const CIPCObj* pThis);

bool ReadWhileOpen(const std::string& sPath, std::string* psText)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                               0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return false;
    char szBuffer[8192];
    DWORD cbRead = 0;
    const BOOL fOk = ReadFile(hFile, szBuffer, sizeof(szBuffer), &cbRead, NULL);
    CloseHandle(hFile);
    psText->assign(szBuffer, fOk ? cbRead : 0);
    return fOk != FALSE;
}

// 0 when nobody else has the file open, else the error of an exclusive open.
DWORD ExclusiveOpenError(const std::string& sPath)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(hFile);
    return 0;
}

// The kernel's name of a handle's object ("\...\BaseNamedObjects\SpoolerMutex").
std::wstring KernelObjectName(HANDLE hObject)
{
    typedef LONG(WINAPI * PFN_NTQUERYOBJECT)(HANDLE, int, void*, ULONG, ULONG*);
    struct NameInformation
    {
        USHORT Length;
        USHORT MaximumLength;
        WCHAR* Buffer;
        WCHAR szSpace[512];
    };
    PFN_NTQUERYOBJECT pfnQuery =
        reinterpret_cast<PFN_NTQUERYOBJECT>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject"));
    NameInformation info = {};
    ULONG cbNeeded = 0;
    if (!pfnQuery || pfnQuery(hObject, 1 /* ObjectNameInformation */, &info, sizeof(info), &cbNeeded) != 0 ||
        !info.Buffer)
        return std::wstring();
    return std::wstring(info.Buffer, info.Length / sizeof(WCHAR));
}

bool EndsWith(const std::wstring& s, const std::wstring& sEnd)
{
    return s.size() >= sEnd.size() && s.compare(s.size() - sEnd.size(), sEnd.size(), sEnd) == 0;
}

template <typename T>
T* ExportedObject(HMODULE hDll, const char* pszName)
{
    return reinterpret_cast<T*>(GetProcAddress(hDll, pszName));
}

template <typename PFN>
PFN ExportedFunction(HMODULE hDll, const char* pszName)
{
    return reinterpret_cast<PFN>(reinterpret_cast<void*>(GetProcAddress(hDll, pszName)));
}

std::string TracePath(HMODULE hDll, const CTraceLog* pTrace)
{
    PFN_TRACE_GET_PATH pfnGetPath = ExportedFunction<PFN_TRACE_GET_PATH>(hDll, "_ZNK9CTraceLog7GetPathEv");
    return pfnGetPath ? std::string(pfnGetPath(pTrace).c_str()) : std::string();
}

TEST(DllLoad, ProcessObjectsLiveFromLoadToUnload)
{
    ASSERT_TRUE(GetModuleHandleA(kDllName) == NULL) << "loaded before the test asked for it";
    ASSERT_TRUE(GetProcAddress(GetModuleHandleA(NULL), "g_TraceLog") == NULL) << "the library is linked in";
    HMODULE hDll = LoadLibraryA(DllPath().c_str());
    ASSERT_TRUE(hDll != NULL) << DllPath() << ": " << GetLastError();

    // Trace log: named after the host program in the temporary folder, and its mask is the one
    // the factory took from "-log" - so the factory was built too, and after the trace log.
    CTraceLog* pTrace = ExportedObject<CTraceLog>(hDll, "g_TraceLog");
    PFN_TRACE pfnTrace = reinterpret_cast<PFN_TRACE>(GetProcAddress(hDll, "_ZN9CTraceLog5TraceEmPKcz"));
    ASSERT_TRUE(pTrace != NULL);
    ASSERT_TRUE(pfnTrace != NULL);
    char szTemp[MAX_PATH + 1] = "";
    GetTempPathA(MAX_PATH, szTemp);
    const std::string sTracePath = TracePath(hDll, pTrace);
    EXPECT_EQ(0u, sTracePath.find(std::string(szTemp) + "test_d")) << sTracePath;
    EXPECT_EQ(".log", sTracePath.substr(sTracePath.size() >= 4 ? sTracePath.size() - 4 : 0)) << sTracePath;
    PFN_TRACE_GET_MASK pfnGetMask = ExportedFunction<PFN_TRACE_GET_MASK>(hDll, "_ZNK9CTraceLog7GetMaskEv");
    ASSERT_TRUE(pfnGetMask != NULL);
    EXPECT_EQ(kMaskOnCommandLine, pfnGetMask(pTrace));
    EXPECT_TRUE(ExportedObject<CFactory>(hDll, "g_Factory") != NULL);

    char szMarker[64];
    std::snprintf(szMarker, sizeof(szMarker), "loaded into process %lu", GetCurrentProcessId());
    SetLastError(0xdeadbeef);
    pfnTrace(pTrace, TRACE_KEY, "%s\n", szMarker);
    EXPECT_EQ(0xdeadbeefu, GetLastError());
    std::string sText;
    EXPECT_TRUE(ReadWhileOpen(sTracePath, &sText)) << sTracePath;
    EXPECT_NE(std::string::npos, sText.find(szMarker)) << sText;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ExclusiveOpenError(sTracePath));

    // Spooler mutex: a live handle of the object named "SpoolerMutex".
    CInfrastructureMutex* pSpoolerMutex = ExportedObject<CInfrastructureMutex>(hDll, "g_SpoolerMutex");
    ASSERT_TRUE(pSpoolerMutex != NULL);
    PFN_OBJ_GET_HANDLE pfnGetHandle = ExportedFunction<PFN_OBJ_GET_HANDLE>(hDll, "_ZNK7CIPCObj9GetHandleEv");
    PFN_OBJ_GET_NAME pfnGetName = ExportedFunction<PFN_OBJ_GET_NAME>(hDll, "_ZNK7CIPCObj16GetATemporalNameEv");
    ASSERT_TRUE(pfnGetHandle != NULL && pfnGetName != NULL);
    const HANDLE hSpoolerMutex = pfnGetHandle(pSpoolerMutex);
    ASSERT_TRUE(hSpoolerMutex != NULL);
    EXPECT_STREQ("SpoolerMutex", pfnGetName(pSpoolerMutex));
    DWORD dwFlags = 0;
    EXPECT_TRUE(GetHandleInformation(hSpoolerMutex, &dwFlags));
    EXPECT_TRUE(EndsWith(KernelObjectName(hSpoolerMutex), L"\\SpoolerMutex"));
    HANDLE hByName = OpenMutexA(SYNCHRONIZE, FALSE, "SpoolerMutex");
    EXPECT_TRUE(hByName != NULL) << GetLastError();
    if (hByName) CloseHandle(hByName);

    // Shared security: attributes first, carrying a valid descriptor with a null access list.
    const SECURITY_ATTRIBUTES* psa = ExportedObject<SECURITY_ATTRIBUTES>(hDll, "g_SharedSecurity");
    ASSERT_TRUE(psa != NULL);
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), psa->nLength);
    EXPECT_TRUE(psa->bInheritHandle);
    ASSERT_TRUE(psa->lpSecurityDescriptor != NULL);
    EXPECT_TRUE(IsValidSecurityDescriptor(psa->lpSecurityDescriptor));
    BOOL fDaclPresent = FALSE, fDefaulted = TRUE;
    PACL pDacl = reinterpret_cast<PACL>(1);
    EXPECT_TRUE(GetSecurityDescriptorDacl(psa->lpSecurityDescriptor, &fDaclPresent, &pDacl, &fDefaulted));
    EXPECT_TRUE(fDaclPresent);
    EXPECT_TRUE(pDacl == NULL);

    // Unloading destroys them: the trace file and the mutex handle are closed.
    ASSERT_TRUE(FreeLibrary(hDll));
    EXPECT_TRUE(GetModuleHandleA(kDllName) == NULL);
    EXPECT_EQ(0u, ExclusiveOpenError(sTracePath));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetHandleInformation(hSpoolerMutex, &dwFlags));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    DeleteFileA(sTracePath.c_str());
}

// Loaded again, the DLL builds its objects afresh: a new trace file beside the old one.
TEST(DllLoad, LoadingAgainConstructsAgain)
{
    std::string asPaths[2];
    for (int i = 0; i < 2; ++i)
    {
        HMODULE hDll = LoadLibraryA(DllPath().c_str());
        ASSERT_TRUE(hDll != NULL) << i;
        CTraceLog* pTrace = ExportedObject<CTraceLog>(hDll, "g_TraceLog");
        PFN_TRACE pfnTrace = reinterpret_cast<PFN_TRACE>(GetProcAddress(hDll, "_ZN9CTraceLog5TraceEmPKcz"));
        ASSERT_TRUE(pTrace != NULL && pfnTrace != NULL) << i;
        asPaths[i] = TracePath(hDll, pTrace);
        ASSERT_FALSE(asPaths[i].empty()) << i;
        pfnTrace(pTrace, TRACE_KEY, "load %d\n", i);  // creates the file, so the next load numbers past it
        ASSERT_TRUE(FreeLibrary(hDll)) << i;
    }
    EXPECT_NE(asPaths[0], asPaths[1]);
    for (const std::string& sPath : asPaths)
    {
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(sPath.c_str())) << sPath;
        DeleteFileA(sPath.c_str());
    }
}

// The first calls into a freshly loaded DLL, from many threads at the same moment, make a
// function-local static (GetErrorString's per-thread texts), so the runtime's lock around such
// statics is contended and its waiters wait on its semaphore. Run as Windows 98.
typedef const char* (*PFN_GET_ERROR_STRING)(LONG lCode);
const int kRacers = 8;
LONG g_cTlsAllocs = 0;

// The static's constructor asks for a TLS slot: slowed, it holds the lock while the others come.
DWORD WINAPI SlowTlsAlloc()
{
    InterlockedIncrement(&g_cTlsAllocs);
    Sleep(200);
    return TlsAlloc();
}

struct Racer
{
    HANDLE hStart;
    PFN_GET_ERROR_STRING pfnGetErrorString;
    const char* pszText;
    std::string sText;
};

DWORD WINAPI Race(void* pvRacer)
{
    Racer* pRacer = static_cast<Racer*>(pvRacer);
    WaitForSingleObject(pRacer->hStart, INFINITE);
    pRacer->pszText = pRacer->pfnGetErrorString(ERROR_FILE_NOT_FOUND);
    if (pRacer->pszText) pRacer->sText = pRacer->pszText;
    return 0;
}

// A freshly loaded DLL and its GetErrorString, whose first call on a thread makes that thread's
// text under a function-local static.
class DllWithErrorStrings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        hDll = LoadLibraryA(DllPath().c_str());
        ASSERT_TRUE(hDll != NULL) << DllPath() << ": " << GetLastError();
        pfnGetErrorString = ExportedFunction<PFN_GET_ERROR_STRING>(hDll, "_Z14GetErrorStringl");
        ASSERT_TRUE(pfnGetErrorString != NULL);
    }
    void TearDown() override
    {
        if (hDll) FreeLibrary(hDll);
    }

    HMODULE hDll = NULL;
    PFN_GET_ERROR_STRING pfnGetErrorString = NULL;
};
class DllRace : public DllWithErrorStrings
{
};
class DllExceptions : public DllWithErrorStrings
{
};

TEST_F(DllRace, FirstCallsFromManyThreadsAtOnce)
{
    Racer racers[kRacers];
    {
        vxtest::ImportPatch slow(hDll, "kernel32.dll", "TlsAlloc", reinterpret_cast<const void*>(&SlowTlsAlloc));
        ASSERT_TRUE(slow.Applied());
        const HANDLE hStart = CreateEventA(NULL, TRUE, FALSE, NULL);
        ASSERT_TRUE(hStart != NULL);
        HANDLE ahThreads[kRacers];
        for (int i = 0; i < kRacers; ++i)
        {
            racers[i] = {hStart, pfnGetErrorString, NULL, std::string()};
            DWORD dwId = 0;
            ahThreads[i] = CreateThread(NULL, 0, Race, &racers[i], 0, &dwId);
            ASSERT_TRUE(ahThreads[i] != NULL) << i;
        }
        SetEvent(hStart);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(kRacers, ahThreads, TRUE, 60000));
        for (HANDLE hThread : ahThreads) CloseHandle(hThread);
        CloseHandle(hStart);
    }
    EXPECT_EQ(1, g_cTlsAllocs) << "the static was not made by the race";
    const std::string sExpected = pfnGetErrorString(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(sExpected.empty());
    for (int i = 0; i < kRacers; ++i)
    {
        EXPECT_TRUE(racers[i].pszText != NULL) << i;
        EXPECT_EQ(sExpected, racers[i].sText) << i;
    }
}

// When memory runs out the DLL's own code throws and catches: its runtime's unwinder, the
// exception state it keeps per thread (emulated thread-local data) and the thread-exit work that
// frees that state must all work in the DLL as shipped. Each thread fails the n-th allocation of
// one GetErrorString call; later threads start after earlier ones have ended.
typedef void*(__cdecl* PFN_MALLOC)(size_t cb);
PFN_MALLOC g_pfnMalloc = NULL;
LONG g_cFailedAllocations = 0;
thread_local long t_lAllocationsToFailure = 0;

void* __cdecl FailingMalloc(size_t cb)
{
    if (t_lAllocationsToFailure > 0 && --t_lAllocationsToFailure == 0)
    {
        InterlockedIncrement(&g_cFailedAllocations);
        return NULL;
    }
    return g_pfnMalloc(cb);
}

struct Failer
{
    PFN_GET_ERROR_STRING pfnGetErrorString;
    long lNth;
    std::string sFailed;  // the text of the call with the failure
    DWORD dwFailedError;
    std::string sAfter;   // the text of the next call
};

DWORD WINAPI FailNth(void* pvFailer)
{
    Failer* pFailer = static_cast<Failer*>(pvFailer);
    t_lAllocationsToFailure = pFailer->lNth;
    const char* pszText = pFailer->pfnGetErrorString(ERROR_ACCESS_DENIED);
    pFailer->dwFailedError = GetLastError();
    t_lAllocationsToFailure = 0;
    if (pszText) pFailer->sFailed = pszText;
    pszText = pFailer->pfnGetErrorString(ERROR_ACCESS_DENIED);
    if (pszText) pFailer->sAfter = pszText;
    return 0;
}

TEST_F(DllExceptions, AllocationFailuresInsideTheDllEndInItsDocumentedResult)
{
    const std::string sExpected = pfnGetErrorString(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(sExpected.empty());
    {
        vxtest::ImportPatch failing(hDll, "msvcrt.dll", "malloc", reinterpret_cast<const void*>(&FailingMalloc));
        ASSERT_TRUE(failing.Applied());
        g_pfnMalloc = reinterpret_cast<PFN_MALLOC>(failing.Original());
        // 1: the thread's text object (no exception); 2: the list that keeps it, when the list
        // grows, else the text's buffer: thrown by operator new, caught inside the DLL.
        for (long lNth = 1; lNth <= 6; ++lNth)
        {
            Failer failer = {pfnGetErrorString, lNth, std::string(), 0, std::string()};
            DWORD dwId = 0;
            const HANDLE hThread = CreateThread(NULL, 0, FailNth, &failer, 0, &dwId);
            ASSERT_TRUE(hThread != NULL) << lNth;
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 60000)) << lNth;
            CloseHandle(hThread);
            if (lNth <= 2) EXPECT_EQ("", failer.sFailed) << lNth;
            else EXPECT_TRUE(failer.sFailed.empty() || failer.sFailed == sExpected) << lNth << ": " << failer.sFailed;
            EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), failer.dwFailedError) << lNth;
            EXPECT_EQ(sExpected, failer.sAfter) << lNth;
        }
    }
    EXPECT_GE(g_cFailedAllocations, 2);
}

}  // namespace
