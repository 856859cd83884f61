// One printer of the print spooler, known by its printer (friendly) name: its spooler handles
// and registry key, its information and attributes, bidirectional support, the driver's
// language monitor, and the device model record of its driver.
#ifndef INFRASTRUCTURE_PRINTER_H
#define INFRASTRUCTURE_PRINTER_H

#include <windows.h>

#include "infrastructure/device_model.h"
#include "infrastructure/port.h"
#include "infrastructure/vxinfra_api.h"

// The language monitor the library installs on a supported printer's driver.
#define VX_LANGUAGE_MONITOR_NAME "zarIdi4 Ruzivaz E08"

// Operations return 1 for success and 0 for failure with the cause in the thread's last
// error; spooler calls run under the spooler mutex. Handles and registry keys are opened on
// first use and kept until destruction (or until Init names another printer).
//
// Copies: a copy carries every name, the port, the device model and the driver flag, but no
// handle or key: it opens its own on first use, so each handle is closed by its one owner.
class VXINFRA_API CPrinter
{
public:
    // Access of the cached handle and key.
    enum ETypeUser
    {
        eAdmin = 0,  // registry KEY_ALL_ACCESS, spooler PRINTER_ALL_ACCESS
        eUser = 1    // registry KEY_READ, spooler PRINTER_ACCESS_USE
    };

    // Room for each name, terminator included.
    static constexpr size_t kNameSize = MAX_PATH;
    // Room for any registry path the object builds, terminator included.
    static constexpr size_t kRegistryPathSize = 1024;

    CPrinter();
    CPrinter(const CPrinter& other);
    CPrinter& operator=(const CPrinter& other);
    virtual ~CPrinter();

    // Takes the name, its registry and server forms, and the port from the spooler's level-2
    // information. 0 for null; 0 with ERROR_INVALID_PRINTER_NAME and the object unchanged for
    // a name of kNameSize characters or more; 0 when the spooler does not know the printer
    // (the names are set then). A new name drops the handles, keys and model of the old one.
    // Success clears the last error.
    unsigned Init(const char* pszPrinterName, unsigned int uMinimumDriverVersion);
    // Links the factory's record for the driver's name (its default record when unknown) and
    // marks the driver old when the number before its file's extension is below the minimum.
    unsigned DeviceModelInit() const;

    // Null when the printer cannot be opened (ERROR_INVALID_PRINTER_NAME without a name).
    HANDLE GetWindowsHandle(ETypeUser eType) const;
    // Opens the printer's registry key under HKEY_LOCAL_MACHINE; access denied shows the
    // "No rights for Bi-Di" warning.
    unsigned OpenVX(ETypeUser eType) const;

    // The registry path of the printers' key (ending in a backslash) and of this printer's.
    // The one-argument forms need a buffer of kRegistryPathSize bytes; the sized forms return
    // false and leave the buffer alone when the path does not fit.
    void BuildPathToPrinters(char* pszPath) const;
    void BuildPathToVX(char* pszPath) const;
    bool BuildPathToPrinters(char* pszPath, size_t cbPath) const;
    bool BuildPathToVX(char* pszPath, size_t cbPath) const;

    // A heap copy of the spooler's information at that level, for ReleasePrinterInfo.
    void* GetPrinterInfo(unsigned int uLevel) const;
    void ReleasePrinterInfo(void* pInfo) const;
    // Access denied shows the "No rights for Bi-Di" warning.
    unsigned SetPrinterInfo(void* pInfo, unsigned int uLevel);
    // The spooler's attributes, else the key's "Attributes"; 0 when neither can be read.
    unsigned long GetAttributes() const;
    // The key's "Status"; 0 when it cannot be read.
    unsigned long GetStatus() const;

    unsigned IsUNC() const;
    unsigned IsDirect2Printer() const;
    unsigned IsDisabled() const;
    // The status bits 0x100001: non-zero means paused.
    unsigned long IsPaused() const;
    unsigned IsPortSupported() const;
    unsigned IsDeviceSupported() const;
    unsigned IsSupported() const;
    unsigned MustBeMonitored() const;
    unsigned IsFILEConnected() const;
    unsigned IsIrLPT() const;
    unsigned IsDirectConnect() const;

    // Sets or clears bidirectional support (set only on a supported port); on Windows 9x a
    // printer that does not print directly is then sent an empty RAW job.
    unsigned Enable(unsigned long ulEnable);
    unsigned Disable();
    // Adds the driver again with the monitor (ulEnable non-zero) or without one, then enables
    // or disables. Unsupported devices change nothing and succeed. A monitor name of
    // kNameSize characters or more, or none when enabling, fails with ERROR_INVALID_PARAMETER.
    unsigned EnableLM(unsigned long ulEnable, const char* pszMonitorName);
    unsigned DisableLM();

    long GetAddress(char* pszBuffer, unsigned long ulSize) const;
    unsigned long GetPortNumber(char* pszBuffer) const;

    const CPort& GetATemporalPortRef() const;
    const char* GetATemporalFriendlyNamePtr() const;
    const char* GetATemporalPortNamePtr() const;

    // The linked model's answers; 0 (or null) when it cannot be linked.
    EDot4Support SupportsDOT4() const;
    ESaveUtilityMethod SaveUtilityMethod() const;
    const char* GetHelpFileName() const;
    const char* GetFirmwareName() const;
    const char* GetModelName() const;  // the model's driver name
    unsigned HasUSB() const;
    unsigned HasPML() const;
    unsigned HasIRLpt() const;
    unsigned HasCard() const;
    unsigned Has1394() const;
    unsigned HasMSCL() const;
    unsigned HasLPT() const;
    unsigned HasVIP() const;
    unsigned HasOldDriver() const;
    const char* GetDeviceInstanceID() const;  // always null
    void Dump() const;

    // The drive letter of the printer's memory-card reader: 0 with the letter set, else a
    // system error code (ERROR_NOT_FOUND without a card reader).
    long GetCardDriveLetter(char& chDriveLetter) const;

    static int ShowWarningMsg(const char* pszCaption, const char* pszText, unsigned int uStyle);

private:
    void CloseCached();
    void CopyFrom(const CPrinter& other);
    void SetNames(const char* pszPrinterName);
    bool BuildPath(char* pszPath, size_t cbPath, bool fWithPrinter) const;
    bool ReadKeyValue(const char* pszValue, DWORD* pdwValue) const;
    const CDeviceModel* LinkedModel() const;
    bool SendEmptyJob() const;

    mutable HKEY m_ahKeys[2];
    char m_szRegistryName[kNameSize];
    CPort m_Port;
    mutable DWORD m_dwOldDriver;
    DWORD m_dwMinimumDriverVersion;
    mutable const CDeviceModel* m_pDeviceModel;
    char m_szPrinterName[kNameSize];
    mutable HANDLE m_ahPrinters[2];
    char m_szPortName[kNameSize];
    char m_szServerName[kNameSize];
    char m_szServerPrinterName[kNameSize];
};

// Calls the spooler until it succeeds or fails with an error other than ERROR_INVALID_PARAMETER,
// at most 1 + uRetries times, waiting dwWaitMs between the calls. The last call's error stays.
template <typename Call>
BOOL CallSpoolerWithRetry(Call call, unsigned int uRetries, DWORD dwWaitMs)
{
    BOOL fResult = call();
    for (unsigned int i = 0; i < uRetries && !fResult && GetLastError() == ERROR_INVALID_PARAMETER; ++i)
    {
        Sleep(dwWaitMs);
        fResult = call();
    }
    return fResult;
}

// A spooler fetch into a buffer of cbBuffer bytes, retried as CallSpoolerWithRetry does;
// fetch(pBuffer, cbBuffer, pcbNeeded) is the spooler call. Every try claims cbBuffer: the size
// a failed try writes back goes to *pcbNeeded only, never into the next try's claim.
template <typename Fetch>
BOOL FetchWithRetry(Fetch fetch, BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbNeeded, unsigned int uRetries,
                    DWORD dwWaitMs)
{
    return CallSpoolerWithRetry([&]() { return fetch(pBuffer, cbBuffer, pcbNeeded); }, uRetries, dwWaitMs);
}

#endif
