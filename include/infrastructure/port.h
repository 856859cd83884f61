// One spooler port, known by its name (LPT1:, USB001, DOT4_001, FILE:, ...): what kind of
// connection it is, the address text it gives callers, its monitor and the device behind it.
#ifndef INFRASTRUCTURE_PORT_H
#define INFRASTRUCTURE_PORT_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/vxinfra_api.h"

class CPortDeviceObject;

class VXINFRA_API CPort
{
public:
    // Room for a port name, terminator included.
    static constexpr size_t kNameSize = MAX_PATH;

    CPort();

    // ERR_INVALIDPOINTER for null; ERR_BADPARAMETER for kNameSize characters or more, and the
    // object keeps its name; else ERR_NOERROR.
    long Init(const char* pszPortName);

    // The port's name, for parallel, DOT4 and file-redirected ports only: ERR_INVALIDPOINTER,
    // ERR_BADPARAMETER (size 0), ERR_UNKNOWN (no name, or a port without an address),
    // ERR_PORTNOTSUPPORTED (COM1: to COM4:, FILE:), ERR_BUFFEROVERFLOW (size not above the
    // name's length, buffer untouched), ERR_NOERROR.
    long GetAddress(char* pszBuffer, unsigned long ulSize) const;
    // The size the name needs (its length + 1), 0 without a name. A non-null buffer receives
    // the name, so it must hold that many bytes: ask with null first.
    unsigned long GetPortNumber(char* pszBuffer) const;

    unsigned IsSupported() const;      // USB... or DOT4_... (case ignored), no leading backslash
    unsigned IsUNC() const;            // always 0
    unsigned IsFakeIO() const;         // always 0
    unsigned IsNoIO() const;           // begins with "FILE:"
    unsigned IsFILEConnected() const;  // begins with "FILE"
    unsigned IsDirectConnect() const;
    // The infrared port's name ("IR", or on Windows 9x the registry's VirtualLptPortName)
    // against as many characters of the port name as the shorter of the two has.
    unsigned IsIrLPT() const;

    static unsigned IsFakeIO(const char* pszName);
    static unsigned IsNoIO(const char* pszName);
    // LPT1: to LPT9: unless the current user maps it to a network share; DOT4... and USB...
    static unsigned IsDirectConnect(const char* pszName);

    // The present USB printing port device whose spooler name is this port's: 0, else a system
    // error code (ERROR_NOT_FOUND when none matches).
    long GetDevice(CPortDeviceObject& device) const;
    long GetDeviceInstanceID(CVxCiString& sId) const;

    const char* GetATemporalNamePtr() const;

protected:
    // The monitor of this port as the spooler lists it, as a heap copy for ReleasePortInfo;
    // null when the port is not listed or the spooler fails.
    char* GetPortInfo() const;
    void ReleasePortInfo(char* pszInfo) const;

    // Whether the file's product and file versions reach both minimums (signed 64-bit
    // comparisons of high:low words). 0 for a null name, a zero minimum or no version resource.
    unsigned IsVersionOK(const char* pszFileName, LONGLONG llMinimumProductVersion,
                         LONGLONG llMinimumFileVersion) const;

private:
    char m_szName[kNameSize];
};

#endif
