// Prints how long the factory takes to load a generated medium of 2000 models in 20 model files,
// next to the time to read the same files' bytes; the system calls such a load makes, counted
// through the program's import slots, with their unit costs; and the memory the cache holds.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "infrastructure/factory.h"
#include "infrastructure/profile_reader.h"
#include "infrastructure/qualified_values.h"
#include "support/import_patch.h"
#include "support/model_medium.h"
#include "support/stopwatch.h"
#include "support/test_support.h"

namespace
{

double ReadBytes(const std::vector<std::string>& files, size_t* pcbTotal)
{
    vxtest::Stopwatch watch;
    size_t cb = 0;
    for (const std::string& sFile : files)
    {
        std::string sBytes;
        if (vxtest::ReadFileBytes(sFile, &sBytes)) cb += sBytes.size();
    }
    *pcbTotal = cb;
    return watch.Milliseconds();
}

// The cost of one call of the lookups a record makes, on a file already cached.
template <class TCall>
double MicrosecondsPerCall(int nCalls, TCall call)
{
    vxtest::Stopwatch watch;
    for (int i = 0; i < nCalls; ++i) call();
    return watch.Milliseconds() * 1000.0 / nCalls;
}

// A counted call: the library, linked into this program, reaches the system through the
// program's import slots, which the counter's stand-in takes for as long as a count runs.
struct CCall
{
    const char* pszName;
    bool fFloor;  // prescribed by the lookup rules: candidate-file checks and profile reads
    LONG lCount;
    void* pOriginal;
    double dUnitMicroseconds;
};

enum ECall
{
    kGetFullPathNameA,
    kGetFileAttributesA,
    kGetFileTime,
    kGetFileSize,
    kCreateFileA,
    kGetDriveTypeA,
    kCloseHandle,
    kGetVersionExA,
    kGetSystemDefaultLangID,
    kGetModuleFileNameA,
    kGetCurrentDirectoryA,
    kGetWindowsDirectoryA,
    kCallCount
};

CCall g_calls[kCallCount] = {
    {"GetFullPathNameA", true, 0, NULL, 0},    {"GetFileAttributesA", true, 0, NULL, 0},
    {"GetFileTime", true, 0, NULL, 0},         {"GetFileSize", true, 0, NULL, 0},
    {"CreateFileA", true, 0, NULL, 0},         {"GetDriveTypeA", true, 0, NULL, 0},
    {"CloseHandle", true, 0, NULL, 0},         {"GetVersionExA", false, 0, NULL, 0},
    {"GetSystemDefaultLangID", false, 0, NULL, 0}, {"GetModuleFileNameA", false, 0, NULL, 0},
    {"GetCurrentDirectoryA", false, 0, NULL, 0},   {"GetWindowsDirectoryA", false, 0, NULL, 0}};

template <ECall eCall, class TFunction>
TFunction Original(TFunction)
{
    InterlockedIncrement(&g_calls[eCall].lCount);
    return reinterpret_cast<TFunction>(g_calls[eCall].pOriginal);
}

DWORD WINAPI CountGetFullPathNameA(LPCSTR a, DWORD b, LPSTR c, LPSTR* d)
{
    return Original<kGetFullPathNameA>(&GetFullPathNameA)(a, b, c, d);
}
DWORD WINAPI CountGetFileAttributesA(LPCSTR a) { return Original<kGetFileAttributesA>(&GetFileAttributesA)(a); }
BOOL WINAPI CountGetFileTime(HANDLE a, LPFILETIME b, LPFILETIME c, LPFILETIME d)
{
    return Original<kGetFileTime>(&GetFileTime)(a, b, c, d);
}
DWORD WINAPI CountGetFileSize(HANDLE a, LPDWORD b) { return Original<kGetFileSize>(&GetFileSize)(a, b); }
HANDLE WINAPI CountCreateFileA(LPCSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g)
{
    return Original<kCreateFileA>(&CreateFileA)(a, b, c, d, e, f, g);
}
UINT WINAPI CountGetDriveTypeA(LPCSTR a) { return Original<kGetDriveTypeA>(&GetDriveTypeA)(a); }
BOOL WINAPI CountCloseHandle(HANDLE a) { return Original<kCloseHandle>(&CloseHandle)(a); }
BOOL WINAPI CountGetVersionExA(LPOSVERSIONINFOA a) { return Original<kGetVersionExA>(&GetVersionExA)(a); }
LANGID WINAPI CountGetSystemDefaultLangID() { return Original<kGetSystemDefaultLangID>(&GetSystemDefaultLangID)(); }
DWORD WINAPI CountGetModuleFileNameA(HMODULE a, LPSTR b, DWORD c)
{
    return Original<kGetModuleFileNameA>(&GetModuleFileNameA)(a, b, c);
}
DWORD WINAPI CountGetCurrentDirectoryA(DWORD a, LPSTR b)
{
    return Original<kGetCurrentDirectoryA>(&GetCurrentDirectoryA)(a, b);
}
UINT WINAPI CountGetWindowsDirectoryA(LPSTR a, UINT b)
{
    return Original<kGetWindowsDirectoryA>(&GetWindowsDirectoryA)(a, b);
}

const void* const kCounters[kCallCount] = {
    reinterpret_cast<const void*>(&CountGetFullPathNameA),     reinterpret_cast<const void*>(&CountGetFileAttributesA),
    reinterpret_cast<const void*>(&CountGetFileTime),          reinterpret_cast<const void*>(&CountGetFileSize),
    reinterpret_cast<const void*>(&CountCreateFileA),          reinterpret_cast<const void*>(&CountGetDriveTypeA),
    reinterpret_cast<const void*>(&CountCloseHandle),          reinterpret_cast<const void*>(&CountGetVersionExA),
    reinterpret_cast<const void*>(&CountGetSystemDefaultLangID), reinterpret_cast<const void*>(&CountGetModuleFileNameA),
    reinterpret_cast<const void*>(&CountGetCurrentDirectoryA), reinterpret_cast<const void*>(&CountGetWindowsDirectoryA)};

// Counts the calls f makes; false when a slot could not be taken.
template <class F>
bool CountCalls(F f)
{
    std::vector<std::unique_ptr<vxtest::ImportPatch>> patches;
    for (int i = 0; i < kCallCount; ++i)
    {
        g_calls[i].lCount = 0;
        patches.emplace_back(new vxtest::ImportPatch(GetModuleHandleA(NULL), "kernel32.dll", g_calls[i].pszName, kCounters[i]));
        if (!patches.back()->Applied()) return false;
        g_calls[i].pOriginal = patches.back()->Original();
    }
    f();
    return true;
}

// Each call's cost, made on the medium's first model file as the lookups make it.
void MeasureUnitCosts(const std::string& sFile)
{
    const char* pszFile = sFile.c_str();
    char szBuffer[MAX_PATH];
    const int n = 2000;
    HANDLE hFile = CreateFileA(pszFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    FILETIME ft;
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof(version);
    char szRoot[4];
    lstrcpynA(szRoot, pszFile, sizeof(szRoot));
    g_calls[kGetFullPathNameA].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetFullPathNameA(pszFile, MAX_PATH, szBuffer, NULL); });
    g_calls[kGetFileAttributesA].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetFileAttributesA(pszFile); });
    g_calls[kGetFileTime].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetFileTime(hFile, NULL, NULL, &ft); });
    g_calls[kGetFileSize].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetFileSize(hFile, NULL); });
    g_calls[kCreateFileA].dUnitMicroseconds = MicrosecondsPerCall(200, [&]() {
        CloseHandle(CreateFileA(pszFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL));
    });
    g_calls[kGetDriveTypeA].dUnitMicroseconds = MicrosecondsPerCall(50, [&]() { GetDriveTypeA(szRoot); });
    g_calls[kGetVersionExA].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetVersionExA(&version); });
    g_calls[kGetSystemDefaultLangID].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetSystemDefaultLangID(); });
    g_calls[kGetModuleFileNameA].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetModuleFileNameA(NULL, szBuffer, MAX_PATH); });
    g_calls[kGetCurrentDirectoryA].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetCurrentDirectoryA(MAX_PATH, szBuffer); });
    g_calls[kGetWindowsDirectoryA].dUnitMicroseconds = MicrosecondsPerCall(n, [&]() { GetWindowsDirectoryA(szBuffer, MAX_PATH); });
    CloseHandle(hFile);
    // CloseHandle was measured with CreateFileA; a close is a small part of that pair.
    g_calls[kCloseHandle].dUnitMicroseconds = 0;
}

// Prints the counts with their costs; returns the floor, the prescribed calls' cost, in ms.
double PrintCalls(const char* pszLoad)
{
    std::printf("system calls of the %s load (count x unit cost):\n", pszLoad);
    double dFloor = 0, dOther = 0;
    for (const CCall& call : g_calls)
    {
        const double dMs = call.lCount * call.dUnitMicroseconds / 1000.0;
        std::printf("  %-24s %8ld x %8.2f us = %8.1f ms%s\n", call.pszName, static_cast<long>(call.lCount),
                    call.dUnitMicroseconds, dMs, call.fFloor ? "" : "   (not prescribed)");
        (call.fFloor ? dFloor : dOther) += dMs;
    }
    std::printf("  floor (prescribed calls) %8.1f ms; other calls %.1f ms\n", dFloor, dOther);
    return dFloor;
}

// Bytes in use on every heap of the process.
size_t HeapBytesInUse()
{
    HANDLE heaps[64];
    const DWORD cHeaps = GetProcessHeaps(64, heaps);
    size_t cb = 0;
    for (DWORD i = 0; i < cHeaps && i < 64; ++i)
    {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = NULL;
        while (HeapWalk(heaps[i], &entry))
        {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) cb += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return cb;
}

}  // namespace

int main()
{
    const int cFiles = 20;
    const int cModelsPerFile = 100;
    vxtest::ScratchDir dir("bench");
    vxtest::GeneratedMedium medium;
    if (!vxtest::WriteGeneratedMedium(dir.Path(), cFiles, cModelsPerFile, &medium))
    {
        std::printf("cannot write the medium into %s\n", dir.Path().c_str());
        return 1;
    }
    std::vector<std::string> files = medium.modelFiles;
    files.push_back(medium.sDataFile);

    size_t cbTotal = 0;
    const double msBytes = ReadBytes(files, &cbTotal);

    // A second medium of the same files, for the counted loads: a count costs time of its own.
    vxtest::ScratchDir countedDir("benchc");
    vxtest::GeneratedMedium counted;
    if (!vxtest::WriteGeneratedMedium(countedDir.Path(), cFiles, cModelsPerFile, &counted))
    {
        std::printf("cannot write the medium into %s\n", countedDir.Path().c_str());
        return 1;
    }

    CFactory factory;
    vxtest::Stopwatch first;
    factory.Init(medium.sDataFile.c_str(), 1);
    const double msFirst = first.Milliseconds();
    const size_t cModels = factory.GetModelList().size();

    CFactory again;
    vxtest::Stopwatch second;
    again.Init(medium.sDataFile.c_str(), 1);  // the files are parsed already
    const double msAgain = second.Milliseconds();

    MeasureUnitCosts(counted.modelFiles[0]);
    // The cache's memory: what the heaps hold after a load whose models are gone again.
    const size_t cbBefore = HeapBytesInUse();
    bool fCounted = CountCalls([&]() {
        CFactory load;
        load.Init(counted.sDataFile.c_str(), 1);
    });
    const size_t cbCache = HeapBytesInUse() - cbBefore;

    std::printf("medium: %d model files, %d models each, %u bytes in %u files\n", cFiles, cModelsPerFile,
                static_cast<unsigned>(cbTotal), static_cast<unsigned>(files.size()));
    std::printf("models loaded:                 %u\n", static_cast<unsigned>(cModels));
    std::printf("read the files' bytes:         %10.1f ms\n", msBytes);
    std::printf("factory load, files unparsed:  %10.1f ms   ratio %8.1f\n", msFirst, msFirst / msBytes);
    std::printf("factory load, files parsed:    %10.1f ms   ratio %8.1f\n", msAgain, msAgain / msBytes);
    if (!fCounted)
    {
        std::printf("the import slots could not be taken: no counts\n");
        return 1;
    }
    const double msFloorFirst = PrintCalls("unparsed");
    fCounted = CountCalls([&]() {
        CFactory load;
        load.Init(counted.sDataFile.c_str(), 1);
    });
    const double msFloorAgain = PrintCalls("parsed");
    std::printf("load / floor, files unparsed:  %10.2f\n", msFirst / msFloorFirst);
    std::printf("load / floor, files parsed:    %10.2f\n", msAgain / msFloorAgain);
    std::printf("cache memory for the medium:   %10u bytes, %.2f x the files' %u bytes\n",
                static_cast<unsigned>(cbCache), static_cast<double>(cbCache) / static_cast<double>(cbTotal),
                static_cast<unsigned>(cbTotal));

    // Where the time goes: the lookups one record makes about 25 of.
    const char* pszFile = medium.modelFiles[0].c_str();
    char szValue[1024];
    std::printf("per call, cached file:\n");
    std::printf("  ReadProfileString            %8.1f us\n", MicrosecondsPerCall(2000, [&]() {
                    ReadProfileString("Gen19_0001", "usbid", "", szValue, sizeof(szValue), pszFile);
                }));
    std::printf("  FileExists                   %8.1f us\n",
                MicrosecondsPerCall(2000, [&]() { FileExists(pszFile); }));
    std::printf("  GetValueByOS, key present    %8.1f us\n", MicrosecondsPerCall(2000, [&]() {
                    GetValueByOS(pszFile, "Gen19_0001", "usbid", szValue, sizeof(szValue));
                }));
    std::printf("  GetValueByOS, key missing    %8.1f us\n", MicrosecondsPerCall(2000, [&]() {
                    GetValueByOS(pszFile, "Gen19_0001", "firmwarename", szValue, sizeof(szValue));
                }));
    return cModels == static_cast<size_t>(cFiles * cModelsPerFile) ? 0 : 1;
}
