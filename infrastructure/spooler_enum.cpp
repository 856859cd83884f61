#include "infrastructure/spooler_enum.h"

#include <cstring>
#include <new>

#include "diag/trace_log.h"
#include "infrastructure/ipc_objects.h"
#include "infrastructure/os_version.h"

namespace
{

const unsigned kMaxSnapshotAttempts = 2;
const DWORD kGrowthPause = 1000;       // ms before fetching a list that grew again
const unsigned kMaxSpoolerRetries = 5;  // Windows 9x spooler answering "invalid parameter"
const DWORD kSpoolerRetryPause = 1000;
const unsigned int kMinimumDriverVersion = 99;

enum EStep
{
    eGoOn,
    eStop,
    eFail
};

struct CPrinterQuery
{
    DWORD dwFlags;
    DWORD dwLevel;
    bool fRetry;
};

// The Windows 9x spooler may refuse a call it takes a moment later.
BOOL ListPrinters(BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded, DWORD* pcReturned, void* pContext)
{
    const CPrinterQuery& query = *static_cast<const CPrinterQuery*>(pContext);
    BOOL fOk = EnumPrintersA(query.dwFlags, NULL, query.dwLevel, pBuffer, cbBuffer, pcbNeeded, pcReturned);
    for (unsigned n = 0; query.fRetry && n < kMaxSpoolerRetries && !fOk && GetLastError() == ERROR_INVALID_PARAMETER; ++n)
    {
        Sleep(kSpoolerRetryPause);
        fOk = EnumPrintersA(query.dwFlags, NULL, query.dwLevel, pBuffer, cbBuffer, pcbNeeded, pcReturned);
    }
    return fOk;
}

BOOL ListDrivers(BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded, DWORD* pcReturned, void* pContext)
{
    return EnumPrinterDriversA(NULL, static_cast<char*>(pContext), 2, pBuffer, cbBuffer, pcbNeeded, pcReturned);
}

BOOL ListPorts(BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded, DWORD* pcReturned, void*)
{
    return EnumPortsA(NULL, 2, pBuffer, cbBuffer, pcbNeeded, pcReturned);
}

BOOL ListMonitors(BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded, DWORD* pcReturned, void*)
{
    return EnumMonitorsA(NULL, 1, pBuffer, cbBuffer, pcbNeeded, pcReturned);
}

void* CountOrValue(void* pUser, DWORD dwValue)
{
    return pUser ? pUser : reinterpret_cast<void*>(static_cast<UINT_PTR>(dwValue));
}

// Hands every named record of the copy to pfnName and then to handle(record, goOn, user...).
template <typename Record, typename Handler>
unsigned int WalkSnapshot(const CSpoolerSnapshot& snapshot, LPSTR Record::*pNameField, PFN_NAME_CALLBACK pfnName,
                          void* pUser1, void* pUser2, void* pUser3, Handler handle)
{
    Record* pRecords = reinterpret_cast<Record*>(snapshot.pBuffer.get());
    DWORD cEntries = snapshot.cEntries;
    // A count the buffer cannot hold is not believed.
    if (cEntries > snapshot.cbBuffer / sizeof(Record)) cEntries = snapshot.cbBuffer / sizeof(Record);
    for (DWORD i = 0; i < cEntries; ++i)
    {
        Record& record = pRecords[i];
        const char* pszName = record.*pNameField;
        if (!pszName) continue;
        void* pEntryUser2 = CountOrValue(pUser2, snapshot.cEntries);
        void* pEntryUser3 = CountOrValue(pUser3, i);
        unsigned int uGoOn = 1;
        if (pfnName) uGoOn = pfnName(pszName, pUser1, pEntryUser2, pEntryUser3) ? 1 : 0;
        const EStep eStep = handle(record, uGoOn, pUser1, pEntryUser2, pEntryUser3);
        if (eStep == eFail) return 0;
        if (eStep == eStop) break;
    }
    return 1;
}

template <typename Record, typename EntryFn>
EStep HandRecord(EntryFn pfnEntry, Record& record, unsigned int uGoOn, void* pUser1, void* pUser2, void* pUser3)
{
    if (pfnEntry && uGoOn) uGoOn = pfnEntry(record, pUser1, pUser2, pUser3) ? 1 : 0;
    return uGoOn ? eGoOn : eStop;
}

template <typename Record>
unsigned int WalkPrinters(const CSpoolerSnapshot& snapshot, PFN_PRINTER_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName,
                          void* pUser1, void* pUser2, void* pUser3)
{
    return WalkSnapshot(snapshot, &Record::pPrinterName, pfnName, pUser1, pUser2, pUser3,
                        [pfnEntry](Record& record, unsigned int uGoOn, void* p1, void* p2, void* p3) -> EStep {
                            if (!pfnEntry) return uGoOn ? eGoOn : eStop;
                            CPrinter printer;
                            if (!printer.Init(record.pPrinterName, kMinimumDriverVersion)) return eFail;
                            if (uGoOn) uGoOn = pfnEntry(printer, p1, p2, p3) ? 1 : 0;
                            return uGoOn ? eGoOn : eStop;
                        });
}

// Runs a walk; an exception (from a callback, or memory running out) ends it. The result is
// still whether the list was obtained.
template <typename Body>
unsigned int GuardedWalk(const char* pszWhat, Body body)
{
    bool fObtained = false;
    try
    {
        return body(fObtained);
    }
    catch (...)
    {
        g_TraceLog.TraceFailure("%s: the walk ended by an exception\n", pszWhat);
        return fObtained ? 1 : 0;
    }
}

}  // namespace

unsigned int TakeSpoolerSnapshot(PFN_SPOOLER_LIST pfnList, void* pContext, bool fAcceptInvalidParameter,
                                 CSpoolerSnapshot& snapshot)
{
    if (!pfnList)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    SetLastError(0);
    CMutexLock lock(g_SpoolerMutex);
    Sleep(0);
    for (unsigned nAttempt = 0; nAttempt < kMaxSnapshotAttempts; ++nAttempt)
    {
        DWORD cbNeeded = 0;
        DWORD cReturned = 0;
        SetLastError(0);
        if (!pfnList(NULL, 0, &cbNeeded, &cReturned, pContext))
        {
            const DWORD dwError = GetLastError();
            if (dwError != 0 && dwError != ERROR_INSUFFICIENT_BUFFER &&
                !(fAcceptInvalidParameter && dwError == ERROR_INVALID_PARAMETER))
                return 0;
        }
        std::unique_ptr<BYTE[]> pBuffer(new (std::nothrow) BYTE[cbNeeded ? cbNeeded : 1]);
        if (!pBuffer)
        {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memset(pBuffer.get(), 0, cbNeeded ? cbNeeded : 1);
        const DWORD cbBuffer = cbNeeded;
        DWORD cbNow = 0;
        cReturned = 0;
        SetLastError(0);
        if (pfnList(cbBuffer ? pBuffer.get() : NULL, cbBuffer, &cbNow, &cReturned, pContext))
        {
            snapshot.pBuffer.swap(pBuffer);
            snapshot.cbBuffer = cbBuffer;
            snapshot.cEntries = cReturned;
            return 1;
        }
        if (cbNow <= cbBuffer) return 0;  // failed for another reason than growth
        pBuffer.reset();
        if (nAttempt + 1 < kMaxSnapshotAttempts) Sleep(kGrowthPause);
    }
    return 0;  // the list grew again
}

unsigned int ForAllPrinters(PFN_PRINTER_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName, void* pUser1, void* pUser2,
                            void* pUser3, unsigned long ulFlags)
{
    return GuardedWalk("ForAllPrinters", [&](bool& fObtained) -> unsigned int {
        const bool fNT = IsNT() != 0;
        CPrinterQuery query;
        query.dwFlags = ulFlags ? ulFlags : (fNT ? PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL);
        query.dwLevel = fNT ? 4 : 5;
        query.fRetry = Is9X() != 0;
        CSpoolerSnapshot snapshot;
        if (!TakeSpoolerSnapshot(ListPrinters, &query, true, snapshot)) return 0;
        fObtained = true;
        if (query.dwLevel == 4)
            return WalkPrinters<PRINTER_INFO_4A>(snapshot, pfnEntry, pfnName, pUser1, pUser2, pUser3);
        return WalkPrinters<PRINTER_INFO_5A>(snapshot, pfnEntry, pfnName, pUser1, pUser2, pUser3);
    });
}

unsigned int ForAllDrivers(PFN_DRIVER_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName, void* pUser1, void* pUser2,
                           void* pUser3)
{
    return GuardedWalk("ForAllDrivers", [&](bool& fObtained) -> unsigned int {
        char szEnvironment[32];
        std::strcpy(szEnvironment, IsNT() ? "Windows NT x86" : "Windows 4.0");
        CSpoolerSnapshot snapshot;
        if (!TakeSpoolerSnapshot(ListDrivers, szEnvironment, false, snapshot)) return 0;
        fObtained = true;
        return WalkSnapshot(snapshot, &DRIVER_INFO_2A::pName, pfnName, pUser1, pUser2, pUser3,
                            [pfnEntry](DRIVER_INFO_2A& record, unsigned int uGoOn, void* p1, void* p2, void* p3) {
                                return HandRecord(pfnEntry, record, uGoOn, p1, p2, p3);
                            });
    });
}

unsigned int ForAllPorts(PFN_PORT_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName, void* pUser1, void* pUser2,
                         void* pUser3)
{
    return GuardedWalk("ForAllPorts", [&](bool& fObtained) -> unsigned int {
        CSpoolerSnapshot snapshot;
        if (!TakeSpoolerSnapshot(ListPorts, NULL, false, snapshot)) return 0;
        fObtained = true;
        return WalkSnapshot(snapshot, &PORT_INFO_2A::pPortName, pfnName, pUser1, pUser2, pUser3,
                            [pfnEntry](PORT_INFO_2A& record, unsigned int uGoOn, void* p1, void* p2, void* p3) {
                                return HandRecord(pfnEntry, record, uGoOn, p1, p2, p3);
                            });
    });
}

unsigned int ForAllMonitors(PFN_MONITOR_CALLBACK pfnEntry, PFN_NAME_CALLBACK pfnName, void* pUser1, void* pUser2,
                            void* pUser3)
{
    return GuardedWalk("ForAllMonitors", [&](bool& fObtained) -> unsigned int {
        CSpoolerSnapshot snapshot;
        if (!TakeSpoolerSnapshot(ListMonitors, NULL, false, snapshot)) return 0;
        fObtained = true;
        return WalkSnapshot(snapshot, &MONITOR_INFO_1A::pName, pfnName, pUser1, pUser2, pUser3,
                            [pfnEntry](MONITOR_INFO_1A& record, unsigned int uGoOn, void* p1, void* p2, void* p3) {
                                return HandRecord(pfnEntry, record, uGoOn, p1, p2, p3);
                            });
    });
}
