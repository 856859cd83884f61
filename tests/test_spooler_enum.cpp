// Walks over the spooler's printers, drivers, ports and monitors, against Wine's spooler with
// printers and drivers of the test's own installed (the run is SERIAL: the spooler is
// machine-wide), and the snapshot's retry rules against a synthetic list.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "infrastructure/spooler_enum.h"
#include "support/test_support.h"

namespace
{

const char* const kDrivers[] = {"VXZ Enum Driver A", "VXZ Enum Driver B"};
const char* const kDriverFiles[] = {"vxzenum_a.dll", "vxzenum_b.dll"};
struct TestPrinterLayout
{
    const char* pszName;
    const char* pszPort;
    int nDriver;
};
const TestPrinterLayout kPrinters[] = {
    {"VXZ Enum Printer 1", "LPT1:", 0}, {"VXZ Enum Printer 2", "LPT2:", 1}, {"VXZ Enum Printer 3", "FILE:", 0}};
// The environments the walks read (NT x86, Windows 4.0) and the one a 64-bit process's
// printers need their driver in.
struct TestEnvironment
{
    const char* pszName;
    DWORD dwVersion;
};
const TestEnvironment kEnvironments[] = {{"Windows NT x86", 3}, {"Windows 4.0", 0}, {"Windows x64", 3}};

bool Contains(const std::vector<std::string>& list, const std::string& s)
{
    return std::find(list.begin(), list.end(), s) != list.end();
}

std::string DriverDirectory(const char* pszEnvironment)
{
    char szDirectory[MAX_PATH] = {0};
    DWORD cbNeeded = 0;
    if (!GetPrinterDriverDirectoryA(NULL, const_cast<char*>(pszEnvironment), 1, reinterpret_cast<BYTE*>(szDirectory),
                                    sizeof(szDirectory), &cbNeeded))
        return std::string();
    return szDirectory;
}

void RemovePrinter(const char* pszName)
{
    HANDLE hPrinter = NULL;
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
    if (!OpenPrinterA(const_cast<char*>(pszName), &hPrinter, &defaults)) return;
    DeletePrinter(hPrinter);
    ClosePrinter(hPrinter);
}

bool AddTestPrinter(const TestPrinterLayout& printer)
{
    PRINTER_INFO_2A info = PRINTER_INFO_2A();
    info.pPrinterName = const_cast<char*>(printer.pszName);
    info.pPortName = const_cast<char*>(printer.pszPort);
    info.pDriverName = const_cast<char*>(kDrivers[printer.nDriver]);
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    HANDLE hPrinter = AddPrinterA(NULL, 2, reinterpret_cast<BYTE*>(&info));
    if (!hPrinter) return false;
    ClosePrinter(hPrinter);
    return true;
}

void RemoveEverything()
{
    for (const TestPrinterLayout& printer : kPrinters) RemovePrinter(printer.pszName);
    for (const TestEnvironment& env : kEnvironments)
    {
        const std::string sDirectory = DriverDirectory(env.pszName);
        for (size_t i = 0; i < 2; ++i)
        {
            DeletePrinterDriverA(NULL, const_cast<char*>(env.pszName), const_cast<char*>(kDrivers[i]));
            if (sDirectory.empty()) continue;
            DeleteFileA((sDirectory + "\\" + kDriverFiles[i]).c_str());
            DeleteFileA((sDirectory + "\\" + std::to_string(env.dwVersion) + "\\" + kDriverFiles[i]).c_str());
        }
    }
}

bool InstallEverything()
{
    for (const TestEnvironment& env : kEnvironments)
    {
        const std::string sDirectory = DriverDirectory(env.pszName);
        if (sDirectory.empty()) return false;
        CreateDirectoryA(sDirectory.c_str(), NULL);
        for (size_t i = 0; i < 2; ++i)
        {
            if (!vxtest::WriteFileBytes(sDirectory + "\\" + kDriverFiles[i], "MZ")) return false;
            DRIVER_INFO_3A driver = DRIVER_INFO_3A();
            driver.cVersion = env.dwVersion;
            driver.pName = const_cast<char*>(kDrivers[i]);
            driver.pEnvironment = const_cast<char*>(env.pszName);
            driver.pDriverPath = const_cast<char*>(kDriverFiles[i]);
            driver.pDataFile = const_cast<char*>(kDriverFiles[i]);
            driver.pConfigFile = const_cast<char*>(kDriverFiles[i]);
            if (!AddPrinterDriverA(NULL, 3, reinterpret_cast<BYTE*>(&driver))) return false;
        }
    }
    for (const TestPrinterLayout& printer : kPrinters)
    {
        if (!AddTestPrinter(printer)) return false;
    }
    return true;
}

// What the callbacks saw.
struct Log
{
    std::vector<std::string> names;
    std::vector<std::string> entries;  // printer, driver, port or monitor name of the record
    std::vector<std::string> details;  // printer's port, driver's path, port's monitor
    std::vector<void*> user2, user3;
    void* pUser1Seen = NULL;
    size_t nStopAtName = SIZE_MAX;   // the name callback says stop at this call
    size_t nStopAtEntry = SIZE_MAX;  // the entry callback says stop at this call
};

unsigned int NameCallback(const char* pszName, void* pUser1, void* pUser2, void* pUser3)
{
    Log* pLog = static_cast<Log*>(pUser1);
    pLog->names.push_back(pszName);
    pLog->user2.push_back(pUser2);
    pLog->user3.push_back(pUser3);
    return pLog->names.size() - 1 != pLog->nStopAtName;
}

unsigned int Note(Log* pLog, const std::string& sName, const std::string& sDetail, void* pUser1)
{
    pLog->entries.push_back(sName);
    pLog->details.push_back(sDetail);
    pLog->pUser1Seen = pUser1;
    return pLog->entries.size() - 1 != pLog->nStopAtEntry;
}

unsigned int PrinterEntry(CPrinter& printer, void* pUser1, void*, void*)
{
    return Note(static_cast<Log*>(pUser1), printer.GetATemporalFriendlyNamePtr(), printer.GetATemporalPortNamePtr(),
                pUser1);
}

unsigned int DriverEntry(DRIVER_INFO_2A& driver, void* pUser1, void*, void*)
{
    return Note(static_cast<Log*>(pUser1), driver.pName,
                std::to_string(driver.cVersion) + "|" + driver.pEnvironment + "|" + driver.pDriverPath, pUser1);
}

unsigned int PortEntry(PORT_INFO_2A& port, void* pUser1, void*, void*)
{
    return Note(static_cast<Log*>(pUser1), port.pPortName, port.pMonitorName ? port.pMonitorName : "", pUser1);
}

unsigned int MonitorEntry(MONITOR_INFO_1A& monitor, void* pUser1, void*, void*)
{
    return Note(static_cast<Log*>(pUser1), monitor.pName, "", pUser1);
}

class Spooler : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        RemoveEverything();
        s_fInstalled = InstallEverything();
    }
    static void TearDownTestSuite() { RemoveEverything(); }
    void SetUp() override { ASSERT_TRUE(s_fInstalled) << "the test printers and drivers could not be installed"; }
    static bool s_fInstalled;
};
bool Spooler::s_fInstalled = false;

// ---- no printers --------------------------------------------------------------------------

TEST(SpoolerNoPrinters, NoCallbackWithoutPrinters)
{
    RemoveEverything();
    DWORD cbNeeded = 0, cReturned = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, NULL, 4, NULL, 0, &cbNeeded, &cReturned);
    if (cbNeeded != 0) GTEST_SKIP() << "the prefix holds printers of its own";
    Log log;
    EXPECT_EQ(1u, ForAllPrinters(PrinterEntry, NameCallback, &log, NULL, NULL, 0));
    EXPECT_TRUE(log.names.empty());
    EXPECT_TRUE(log.entries.empty());
}

// ---- printers -----------------------------------------------------------------------------

TEST_F(Spooler, PrintersAreHandedAsInitialisedPrinters)
{
    Log log;
    int nUser2 = 0, nUser3 = 0;
    EXPECT_EQ(1u, ForAllPrinters(PrinterEntry, NameCallback, &log, &nUser2, &nUser3, 0));
    ASSERT_EQ(log.names, log.entries);  // every name went on to its printer
    EXPECT_EQ(&log, log.pUser1Seen);
    for (size_t i = 0; i < log.names.size(); ++i)
    {
        EXPECT_EQ(&nUser2, log.user2[i]) << i;
        EXPECT_EQ(&nUser3, log.user3[i]) << i;
    }
    for (const TestPrinterLayout& printer : kPrinters)
    {
        const auto it = std::find(log.entries.begin(), log.entries.end(), printer.pszName);
        ASSERT_TRUE(it != log.entries.end()) << printer.pszName;
        EXPECT_EQ(printer.pszPort, log.details[it - log.entries.begin()]) << printer.pszName;
    }
}

TEST_F(Spooler, NullUserValuesStandForCountAndIndex)
{
    Log log;
    EXPECT_EQ(1u, ForAllPrinters(NULL, NameCallback, &log, NULL, NULL, 0));
    ASSERT_GE(log.names.size(), 3u);
    for (size_t i = 0; i < log.names.size(); ++i)
    {
        EXPECT_EQ(reinterpret_cast<void*>(static_cast<UINT_PTR>(log.names.size())), log.user2[i]) << i;
        EXPECT_EQ(reinterpret_cast<void*>(static_cast<UINT_PTR>(i)), log.user3[i]) << i;
    }
    EXPECT_EQ(reinterpret_cast<void*>(2), log.user3[2]);
}

TEST_F(Spooler, CallbacksThatStop)
{
    Log log;
    log.nStopAtName = 0;
    EXPECT_EQ(1u, ForAllPrinters(PrinterEntry, NameCallback, &log, NULL, NULL, 0));
    EXPECT_EQ(1u, log.names.size());
    EXPECT_TRUE(log.entries.empty());

    Log entryStop;
    entryStop.nStopAtEntry = 0;
    EXPECT_EQ(1u, ForAllPrinters(PrinterEntry, NameCallback, &entryStop, NULL, NULL, 0));
    EXPECT_EQ(1u, entryStop.names.size());
    EXPECT_EQ(1u, entryStop.entries.size());

    Log second;
    second.nStopAtEntry = 1;
    EXPECT_EQ(1u, ForAllPrinters(PrinterEntry, NULL, &second, NULL, NULL, 0));
    EXPECT_EQ(2u, second.entries.size());

    EXPECT_EQ(1u, ForAllPrinters(NULL, NULL, NULL, NULL, NULL, 0));
    EXPECT_EQ(1u, ForAllDrivers(NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(1u, ForAllPorts(NULL, NULL, NULL, NULL, NULL));
    EXPECT_EQ(1u, ForAllMonitors(NULL, NULL, NULL, NULL, NULL));
}

TEST_F(Spooler, FlagsZeroAreLocalPrintersAndConnections)
{
    Log zero, explicitFlags, local;
    EXPECT_EQ(1u, ForAllPrinters(NULL, NameCallback, &zero, NULL, NULL, 0));
    const bool fNT = vxtest::WineRelease() != "win98";
    EXPECT_EQ(1u, ForAllPrinters(NULL, NameCallback, &explicitFlags, NULL, NULL,
                                 fNT ? PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL));
    EXPECT_EQ(explicitFlags.names, zero.names);
    EXPECT_EQ(1u, ForAllPrinters(NULL, NameCallback, &local, NULL, NULL, PRINTER_ENUM_LOCAL));
    for (const TestPrinterLayout& printer : kPrinters) EXPECT_TRUE(Contains(local.names, printer.pszName)) << printer.pszName;
}

// The callbacks delete a printer that is still ahead in the copy: the walk still names it, then
// cannot initialise it and ends with 0.
struct DeleteAhead
{
    Log log;
    std::string sVictim;
    std::string sTrigger;
};

unsigned int DeleteAheadName(const char* pszName, void* pUser1, void* pUser2, void* pUser3)
{
    DeleteAhead* p = static_cast<DeleteAhead*>(pUser1);
    NameCallback(pszName, &p->log, pUser2, pUser3);
    if (p->sTrigger == pszName) RemovePrinter(p->sVictim.c_str());
    return 1;
}

unsigned int DeleteAheadEntry(CPrinter& printer, void* pUser1, void*, void*)
{
    DeleteAhead* p = static_cast<DeleteAhead*>(pUser1);
    p->log.entries.push_back(printer.GetATemporalFriendlyNamePtr());
    return 1;
}

TEST_F(Spooler, APrinterThatCannotBeInitialisedEndsTheWalkWithZero)
{
    Log order;
    ASSERT_EQ(1u, ForAllPrinters(NULL, NameCallback, &order, NULL, NULL, 0));
    std::vector<std::string> ours;
    for (const std::string& s : order.names)
    {
        for (const TestPrinterLayout& printer : kPrinters)
            if (s == printer.pszName) ours.push_back(s);
    }
    ASSERT_EQ(3u, ours.size());

    DeleteAhead run;
    run.sTrigger = ours[0];
    run.sVictim = ours[1];
    EXPECT_EQ(0u, ForAllPrinters(DeleteAheadEntry, DeleteAheadName, &run, NULL, NULL, 0));
    EXPECT_TRUE(Contains(run.log.names, ours[1]));     // the copy still had it
    EXPECT_TRUE(Contains(run.log.entries, ours[0]));
    EXPECT_FALSE(Contains(run.log.entries, ours[1]));  // ... but it could not be made a printer
    EXPECT_FALSE(Contains(run.log.names, ours[2]));    // and the walk ended there

    for (const TestPrinterLayout& printer : kPrinters)
    {
        if (ours[1] == printer.pszName) { ASSERT_TRUE(AddTestPrinter(printer)); }
    }
}

// ---- drivers, ports, monitors -------------------------------------------------------------

TEST_F(Spooler, DriversOfTheSystemsEnvironment)
{
    Log log;
    EXPECT_EQ(1u, ForAllDrivers(DriverEntry, NameCallback, &log, NULL, NULL));
    ASSERT_EQ(log.names, log.entries);
    const bool f9x = vxtest::WineRelease() == "win98";
    const std::string sEnvironment = f9x ? "Windows 4.0" : "Windows NT x86";
    const std::string sVersion = f9x ? "0" : "3";
    for (size_t i = 0; i < 2; ++i)
    {
        const auto it = std::find(log.entries.begin(), log.entries.end(), kDrivers[i]);
        ASSERT_TRUE(it != log.entries.end()) << i;
        const std::string& sDetail = log.details[it - log.entries.begin()];
        const std::string sTail = "\\" + sVersion + "\\" + kDriverFiles[i];
        EXPECT_EQ(0u, sDetail.find(sVersion + "|" + sEnvironment + "|")) << sDetail;
        EXPECT_EQ(sDetail.size() - sTail.size(), sDetail.rfind(sTail)) << sDetail;
    }
    Log stop;
    stop.nStopAtEntry = 0;
    EXPECT_EQ(1u, ForAllDrivers(DriverEntry, NULL, &stop, NULL, NULL));
    EXPECT_EQ(1u, stop.entries.size());
}

TEST_F(Spooler, PortsAndMonitorsOfWinesLocalMonitor)
{
    Log ports;
    EXPECT_EQ(1u, ForAllPorts(PortEntry, NameCallback, &ports, NULL, NULL));
    ASSERT_EQ(ports.names, ports.entries);
    const char* const apszPorts[] = {"COM1:", "COM4:", "FILE:", "LPT1:", "LPT3:"};
    for (const char* pszPort : apszPorts) EXPECT_TRUE(Contains(ports.names, pszPort)) << pszPort;
    // Wine's ports name their monitor "Local Monitor", its monitor list "Local Port".
    for (size_t i = 0; i < ports.details.size(); ++i) EXPECT_EQ("Local Monitor", ports.details[i]) << i;

    Log monitors;
    EXPECT_EQ(1u, ForAllMonitors(MonitorEntry, NameCallback, &monitors, NULL, NULL));
    EXPECT_EQ(monitors.names, monitors.entries);
    EXPECT_TRUE(Contains(monitors.names, "Local Port"));

    Log stop;
    stop.nStopAtName = 1;
    EXPECT_EQ(1u, ForAllPorts(PortEntry, NameCallback, &stop, NULL, NULL));
    EXPECT_EQ(2u, stop.names.size());
    EXPECT_EQ(1u, stop.entries.size());
    Log monitorStop;
    monitorStop.nStopAtName = 0;
    EXPECT_EQ(1u, ForAllMonitors(MonitorEntry, NameCallback, &monitorStop, NULL, NULL));
    EXPECT_EQ(1u, monitorStop.names.size());
    EXPECT_TRUE(monitorStop.entries.empty());
}

// ---- the spooler mutex --------------------------------------------------------------------

// Another thread takes the spooler mutex by name, as another process would.
DWORD WINAPI TakeSpoolerMutex(void* pContext)
{
    DWORD* pdwResult = static_cast<DWORD*>(pContext);
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "SpoolerMutex");
    if (!hMutex)
    {
        *pdwResult = 0xFFFFFFFE;
        return 0;
    }
    *pdwResult = WaitForSingleObject(hMutex, 5000);
    if (*pdwResult == WAIT_OBJECT_0 || *pdwResult == WAIT_ABANDONED) ReleaseMutex(hMutex);
    CloseHandle(hMutex);
    return 0;
}

DWORD MutexResultFromOtherThread()
{
    DWORD dwResult = 0xFFFFFFFF;
    HANDLE hThread = CreateThread(NULL, 0, TakeSpoolerMutex, &dwResult, 0, NULL);
    if (!hThread) return 0xFFFFFFFD;
    WaitForSingleObject(hThread, 10000);
    CloseHandle(hThread);
    return dwResult;
}

struct Nested
{
    DWORD dwMutexResult = 0xFFFFFFFF;
    unsigned uInnerWalk = 0;
    unsigned uInnerPrinter = 0;
    size_t nInnerPorts = 0;
    int nCalls = 0;
};

unsigned int CountName(const char*, void* pUser1, void*, void*)
{
    ++*static_cast<size_t*>(pUser1);
    return 1;
}

unsigned int NestedPrinterEntry(CPrinter& printer, void* pUser1, void*, void*)
{
    Nested* p = static_cast<Nested*>(pUser1);
    if (p->nCalls++ > 0) return 1;
    p->dwMutexResult = MutexResultFromOtherThread();
    p->uInnerWalk = ForAllPorts(NULL, CountName, &p->nInnerPorts, NULL, NULL);
    CPrinter other;
    p->uInnerPrinter = other.Init(printer.GetATemporalFriendlyNamePtr(), 99) && other.GetWindowsHandle(CPrinter::eUser);
    return 1;
}

TEST_F(Spooler, CallbacksRunWithoutTheSpoolerMutex)
{
    Nested nested;
    EXPECT_EQ(1u, ForAllPrinters(NestedPrinterEntry, NULL, &nested, NULL, NULL, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), nested.dwMutexResult);
    EXPECT_EQ(1u, nested.uInnerWalk);
    EXPECT_GE(nested.nInnerPorts, 8u);
    EXPECT_EQ(1u, nested.uInnerPrinter);
    // And the walk itself leaves the mutex free.
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), MutexResultFromOtherThread());
}

// ---- the snapshot over a synthetic list ---------------------------------------------------

// A list whose size grows by cbGrowth at each fetch, for nGrowths fetches.
struct FakeList
{
    DWORD cbSize = 64;
    DWORD cbGrowth = 0;
    int nGrowths = 0;
    DWORD dwSizeError = ERROR_INSUFFICIENT_BUFFER;  // what the size query fails with
    DWORD dwFetchError = 0;                         // non-zero: the fetch fails so
    int nCalls = 0;
    bool fBufferWasZero = true;
    bool fMutexWasHeld = true;
};

BOOL FakeListCall(BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded, DWORD* pcReturned, void* pContext)
{
    FakeList* p = static_cast<FakeList*>(pContext);
    ++p->nCalls;
    if (!vxtest::IsMutexHeldElsewhere("SpoolerMutex")) p->fMutexWasHeld = false;
    *pcbNeeded = p->cbSize;
    if (!pBuffer)
    {
        SetLastError(p->dwSizeError);
        return p->cbSize == 0 && p->dwSizeError == 0;
    }
    for (DWORD i = 0; i < cbBuffer; ++i)
        if (pBuffer[i] != 0) p->fBufferWasZero = false;
    if (p->nGrowths > 0)
    {
        --p->nGrowths;
        p->cbSize += p->cbGrowth;
        *pcbNeeded = p->cbSize;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (p->dwFetchError)
    {
        SetLastError(p->dwFetchError);
        return FALSE;
    }
    std::memset(pBuffer, 0x5a, cbBuffer);
    *pcReturned = cbBuffer / 16;
    return TRUE;
}

TEST(SpoolerSnapshot, AListThatGrewOnceIsFetchedAgain)
{
    FakeList list;
    list.cbGrowth = 32;
    list.nGrowths = 1;
    CSpoolerSnapshot snapshot;
    EXPECT_EQ(1u, TakeSpoolerSnapshot(FakeListCall, &list, false, snapshot));
    EXPECT_EQ(4, list.nCalls);  // size, fetch (grew), size, fetch
    EXPECT_EQ(96u, snapshot.cbBuffer);
    EXPECT_EQ(6u, snapshot.cEntries);
    ASSERT_TRUE(snapshot.pBuffer != NULL);
    EXPECT_EQ(0x5a, snapshot.pBuffer[95]);
    EXPECT_TRUE(list.fBufferWasZero);
    EXPECT_TRUE(list.fMutexWasHeld);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), MutexResultFromOtherThread());
}

TEST(SpoolerSnapshot, FailuresGiveZeroWithTheCause)
{
    struct Case
    {
        DWORD dwSizeError;
        DWORD dwFetchError;
        int nGrowths;
        bool fAcceptInvalidParameter;
        unsigned uExpected;
        DWORD dwLastError;
        int nCalls;
    } const cases[] = {
        {ERROR_ACCESS_DENIED, 0, 0, false, 0, ERROR_ACCESS_DENIED, 1},
        {ERROR_INVALID_PARAMETER, 0, 0, false, 0, ERROR_INVALID_PARAMETER, 1},
        {ERROR_INVALID_PARAMETER, 0, 0, true, 1, 0, 2},  // the printers' size query
        {ERROR_INSUFFICIENT_BUFFER, RPC_S_SERVER_UNAVAILABLE, 0, false, 0, RPC_S_SERVER_UNAVAILABLE, 2},
        {ERROR_INSUFFICIENT_BUFFER, 0, 2, false, 0, ERROR_INSUFFICIENT_BUFFER, 4},  // grew twice
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        FakeList list;
        list.dwSizeError = cases[i].dwSizeError;
        list.dwFetchError = cases[i].dwFetchError;
        list.nGrowths = cases[i].nGrowths;
        list.cbGrowth = 16;
        CSpoolerSnapshot snapshot;
        EXPECT_EQ(cases[i].uExpected, TakeSpoolerSnapshot(FakeListCall, &list, cases[i].fAcceptInvalidParameter,
                                                          snapshot))
            << i;
        if (cases[i].uExpected == 0)
        {
            EXPECT_EQ(cases[i].dwLastError, GetLastError()) << i;
            EXPECT_TRUE(snapshot.pBuffer == NULL) << i;
        }
        EXPECT_EQ(cases[i].nCalls, list.nCalls) << i;
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), MutexResultFromOtherThread());
    CSpoolerSnapshot snapshot;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, TakeSpoolerSnapshot(NULL, NULL, false, snapshot));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(SpoolerSnapshot, AnEmptyList)
{
    FakeList list;
    list.cbSize = 0;
    list.dwSizeError = 0;
    CSpoolerSnapshot snapshot;
    EXPECT_EQ(1u, TakeSpoolerSnapshot(FakeListCall, &list, false, snapshot));
    EXPECT_EQ(0u, snapshot.cbBuffer);
    EXPECT_EQ(0u, snapshot.cEntries);
}

}  // namespace
