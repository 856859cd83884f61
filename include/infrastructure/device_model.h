// One device model as one section of a device data file describes it.
#ifndef INFRASTRUCTURE_DEVICE_MODEL_H
#define INFRASTRUCTURE_DEVICE_MODEL_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/vxinfra_api.h"

// The data files' own numbers; the record carries them without interpreting them, so both
// types take any 32-bit value.
enum EDot4Support : int
{
    eDot4NotSupported = 0,
    eDot4Supported = 1
};

enum ESaveUtilityMethod : int
{
    eSaveUtilityNone = 0
};

// Type numbers of the "type" key (the words aio, scanner, camera and printer give these).
enum
{
    DEVICE_TYPE_AIO = 1,
    DEVICE_TYPE_SCANNER = 2,
    DEVICE_TYPE_CAMERA = 3,
    DEVICE_TYPE_PRINTER = 4
};

class VXINFRA_API CDeviceModel
{
public:
    // Empty names, numbers 0, type 1, both I/O revisions -1: not supported.
    CDeviceModel();
    CDeviceModel(const CDeviceModel& other) = default;
    CDeviceModel& operator=(const CDeviceModel& other) = default;
    virtual ~CDeviceModel();

    // Reads the record from section pSectionName of pDatFileName; an OS-qualified copy of the
    // section overrides it key by key. 0 only for a null argument; missing keys take defaults.
    UINT Init(const char* pSectionName, const char* pDatFileName);

    const char* GetFirmwareName() const;
    const char* GetSectionName() const;
    const char* GetDatFileName() const;
    const char* GetDriverName() const;
    const char* GetModelName() const;
    const char* GetUsbID() const;
    const char* GetParallelID() const;
    const char* GetHelpFileName() const;

    EDot4Support SupportsDOT4() const;
    ESaveUtilityMethod SaveUtilityMethod() const;
    // The flags return the number as read, not a normalised 0 or 1.
    unsigned HasUSB() const;
    unsigned HasIRLpt() const;
    unsigned Has1394() const;
    unsigned HasMSCL() const;
    unsigned HasLPT() const;
    unsigned HasVIP() const;
    unsigned HasCard() const;
    unsigned HasPML() const;
    unsigned IsFrontPort() const;
    unsigned IsSupported() const;
    DWORD GetNumDevNodes() const;
    DWORD GetCapabilities() const;
    DWORD GetType() const;
    LONG GetFirstIoRevision() const;
    LONG GetLastIoRevision() const;

    // Any key of the record's own plain section (no qualified sections, no other copies of the
    // file). Returns the value's length and assigns it; 0 leaves sValue untouched.
    UINT GetValue(const CVxCiString& sKey, CVxCiString& sValue) const;

    // Writes the record to the trace log.
    void Dump() const;

private:
    CVxCiString m_sFirmwareName;
    CVxCiString m_sSectionName;
    CVxCiString m_sDatFileName;
    CVxCiString m_sDriverName;
    CVxCiString m_sModelName;
    CVxCiString m_sUsbID;
    CVxCiString m_sParallelID;
    CVxCiString m_sHelpFileName;
    EDot4Support m_eDot4Support;
    ESaveUtilityMethod m_eSaveUtilityMethod;
    DWORD m_dwHasUSB;
    DWORD m_dwHasIRLpt;
    DWORD m_dwHas1394;
    DWORD m_dwHasMSCL;
    DWORD m_dwHasLPT;
    DWORD m_dwHasVIP;
    DWORD m_dwHasCard;
    DWORD m_dwHasPML;
    DWORD m_dwNumDevNodes;
    DWORD m_dwFrontPort;
    DWORD m_dwSupported;
    DWORD m_dwCapabilities;
    DWORD m_dwType;
    LONG m_lLastIoRevision;
    LONG m_lFirstIoRevision;
};

#endif
