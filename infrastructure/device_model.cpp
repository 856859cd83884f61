#include "infrastructure/device_model.h"

#include <cstdlib>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/profile_reader.h"
#include "infrastructure/qualified_values.h"
#include "model_text.h"

namespace
{

const DWORD kValueBufferSize = 1024;
const DWORD kNumDevNodesBufferSize = 32;

// Reads one key after another from a model section through the OS-qualified lookup; each read
// starts from an empty buffer, so a missing key reads as empty.
class CSectionReader
{
public:
    CSectionReader(const char* pszFile, const char* pszSection)
        : m_pszFile(pszFile), m_pszSection(pszSection), m_buffer(kValueBufferSize)
    {
    }

    // The key's value cut to cbBuffer - 1 bytes; empty when missing or empty.
    const char* Read(const char* pszKey, DWORD cbBuffer = kValueBufferSize)
    {
        m_buffer[0] = '\0';
        GetValueByOS(m_pszFile, m_pszSection, pszKey, &m_buffer[0], cbBuffer);
        m_buffer[cbBuffer - 1] = '\0';
        return &m_buffer[0];
    }

    LONG ReadDecimal(const char* pszKey, DWORD cbBuffer = kValueBufferSize)
    {
        return std::strtol(Read(pszKey, cbBuffer), NULL, 10);
    }
    DWORD ReadFlag(const char* pszKey) { return static_cast<DWORD>(ReadDecimal(pszKey)); }

private:
    const char* m_pszFile;
    const char* m_pszSection;
    std::vector<char> m_buffer;
};

struct TypeWord
{
    const char* pszWord;
    DWORD dwType;
};

const TypeWord kTypeWords[] = {{"aio", DEVICE_TYPE_AIO},
                               {"scanner", DEVICE_TYPE_SCANNER},
                               {"camera", DEVICE_TYPE_CAMERA},
                               {"printer", DEVICE_TYPE_PRINTER}};

// A number as read; when that gives 0, one of the type words; otherwise 0.
DWORD ParseType(const char* pszValue)
{
    const DWORD dwType = static_cast<DWORD>(std::strtol(pszValue, NULL, 10));
    if (dwType != 0) return dwType;
    const CVxCiString sValue(pszValue);
    for (const TypeWord& word : kTypeWords)
    {
        if (sValue == word.pszWord) return word.dwType;
    }
    return 0;
}

// An I/O revision: -1 when the key is missing or empty, else the decimal number.
LONG ParseIoRevision(const char* pszValue)
{
    return *pszValue ? std::strtol(pszValue, NULL, 10) : -1;
}

const char* YesNo(DWORD dwFlag) { return dwFlag ? "Yes" : "No"; }

}  // namespace

CDeviceModel::CDeviceModel()
    : m_eDot4Support(eDot4NotSupported),
      m_eSaveUtilityMethod(eSaveUtilityNone),
      m_dwHasUSB(0),
      m_dwHasIRLpt(0),
      m_dwHas1394(0),
      m_dwHasMSCL(0),
      m_dwHasLPT(0),
      m_dwHasVIP(0),
      m_dwHasCard(0),
      m_dwHasPML(0),
      m_dwNumDevNodes(0),
      m_dwFrontPort(0),
      m_dwSupported(0),
      m_dwCapabilities(0),
      m_dwType(DEVICE_TYPE_AIO),
      m_lLastIoRevision(-1),
      m_lFirstIoRevision(-1)
{
}

CDeviceModel::~CDeviceModel() {}

UINT CDeviceModel::Init(const char* pSectionName, const char* pDatFileName)
{
    if (!pSectionName || !pDatFileName)
    {
        g_TraceLog.TraceFailure("%s failed\n", "pSectionName or pDatFileName is NULL");
        return 0;
    }
    try
    {
        g_TraceLog.TraceAuto("New CDeviceModel [%s], %s\n", pSectionName, pDatFileName);
        m_sSectionName = pSectionName;
        m_sDatFileName = pDatFileName;
        CSectionReader reader(pDatFileName, pSectionName);

        m_sDriverName = reader.Read("drivername");
        if (m_sDriverName.empty())
        {
            g_TraceLog.Trace(TRACE_FAILURE, "DeviceModel from section %s does not have a drivername!!!", pSectionName);
        }
        const char* pszFirmware = reader.Read("firmwarename");
        if (*pszFirmware)
        {
            m_sFirmwareName = pszFirmware;
            g_TraceLog.Trace(TRACE_DETAIL, "FirmwareName from section %s is set to %s!!!", pSectionName, pszFirmware);
        }
        m_sModelName = reader.Read("devicemodel");
        if (m_sModelName.empty()) m_sModelName = reader.Read("modelname");
        if (m_sModelName.empty())
        {
            m_sModelName = m_sDriverName;
            g_TraceLog.Trace(TRACE_KEY, "DeviceModel from section %s does not have a modelname!!!", pSectionName);
        }
        m_sUsbID = reader.Read("usbid");
        MakeUpperAscii(m_sUsbID);
        m_sParallelID = reader.Read("parbid");
        MakeUpperAscii(m_sParallelID);
        m_sHelpFileName = reader.Read("helpfile");

        m_dwType = ParseType(reader.Read("type"));
        m_dwHasUSB = reader.ReadFlag("usb");
        m_dwHasIRLpt = reader.ReadFlag("ir");
        m_dwHas1394 = reader.ReadFlag("1394");
        m_dwHasMSCL = reader.ReadFlag("mscl");
        m_dwHasLPT = reader.ReadFlag("lpt");
        m_dwHasPML = reader.ReadFlag("pml");
        m_dwHasVIP = reader.ReadFlag("vip");
        m_dwHasCard = reader.ReadFlag("card");
        m_dwNumDevNodes = static_cast<DWORD>(reader.ReadDecimal("numdevnodes", kNumDevNodesBufferSize));
        m_eDot4Support = static_cast<EDot4Support>(reader.ReadDecimal("dot4support"));
        m_eSaveUtilityMethod = static_cast<ESaveUtilityMethod>(reader.ReadDecimal("saveutility"));
        m_dwFrontPort = reader.ReadFlag("frontport");
        m_dwCapabilities = static_cast<DWORD>(std::strtoul(reader.Read("capabilities"), NULL, 16));
        m_lFirstIoRevision = ParseIoRevision(reader.Read("firstiorevision"));
        m_lLastIoRevision = ParseIoRevision(reader.Read("lastiorevision"));
    }
    catch (...)
    {
        g_TraceLog.TraceFailure("%s failed\n", "No memory to read the CDeviceModel");
        return 0;
    }
    m_dwSupported = 1;
    return 1;
}

UINT CDeviceModel::GetValue(const CVxCiString& sKey, CVxCiString& sValue) const
{
    try
    {
        std::vector<char> buffer(kValueBufferSize, '\0');
        const DWORD cch = ReadProfileString(m_sSectionName.c_str(), sKey.c_str(), "", &buffer[0],
                                            kValueBufferSize, m_sDatFileName.c_str());
        if (cch == 0) return 0;
        sValue.assign(&buffer[0], cch < kValueBufferSize ? cch : kValueBufferSize - 1);
        return cch;
    }
    catch (...)
    {
        return 0;
    }
}

void CDeviceModel::Dump() const
{
    const char* pszSection = m_sSectionName.c_str();
    g_TraceLog.TraceAuto("Dump(%s) Start\n", pszSection);
    g_TraceLog.TraceAuto("SectionName = %s\n", pszSection);
    g_TraceLog.TraceAuto("DatFileName = %s\n", m_sDatFileName.c_str());
    g_TraceLog.TraceAuto("DriverName = %s\n", m_sDriverName.c_str());
    g_TraceLog.TraceAuto("UsbID = %s\n", m_sUsbID.c_str());
    g_TraceLog.TraceAuto("ParID = %s\n", m_sParallelID.c_str());
    g_TraceLog.TraceAuto("HelpFileName = %s\n", m_sHelpFileName.c_str());
    g_TraceLog.TraceAuto("Dot4Support = %d\n", static_cast<int>(m_eDot4Support));
    g_TraceLog.TraceAuto("SaveUtilityMethod = %d\n", static_cast<int>(m_eSaveUtilityMethod));
    g_TraceLog.TraceAuto("USB: %s\n", YesNo(m_dwHasUSB));
    g_TraceLog.TraceAuto("IRLpt: %s\n", YesNo(m_dwHasIRLpt));
    g_TraceLog.TraceAuto("1394: %s\n", YesNo(m_dwHas1394));
    g_TraceLog.TraceAuto("MSCL: %s\n", YesNo(m_dwHasMSCL));
    g_TraceLog.TraceAuto("LPT: %s\n", YesNo(m_dwHasLPT));
    g_TraceLog.TraceAuto("VIP: %s\n", YesNo(m_dwHasVIP));
    g_TraceLog.TraceAuto("Card: %s\n", YesNo(m_dwHasCard));
    g_TraceLog.TraceAuto("PML: %s\n", YesNo(m_dwHasPML));
    g_TraceLog.TraceAuto("FrontPort: %s\n", YesNo(m_dwFrontPort));
    g_TraceLog.TraceAuto("Supported: %s\n", YesNo(m_dwSupported));
    g_TraceLog.TraceAuto("firstIORevision = %d\n", static_cast<int>(m_lFirstIoRevision));
    g_TraceLog.TraceAuto("lastIORevision = %d\n", static_cast<int>(m_lLastIoRevision));
    g_TraceLog.TraceAuto("Dump(%s) Finished\n", pszSection);
}

// Accessors live here, not in the header, so that programs loading the library find them
// among its exports.
const char* CDeviceModel::GetFirmwareName() const
{
    return m_sFirmwareName.c_str();
}

const char* CDeviceModel::GetSectionName() const
{
    return m_sSectionName.c_str();
}

const char* CDeviceModel::GetDatFileName() const
{
    return m_sDatFileName.c_str();
}

const char* CDeviceModel::GetDriverName() const
{
    return m_sDriverName.c_str();
}

const char* CDeviceModel::GetModelName() const
{
    return m_sModelName.c_str();
}

const char* CDeviceModel::GetUsbID() const
{
    return m_sUsbID.c_str();
}

const char* CDeviceModel::GetParallelID() const
{
    return m_sParallelID.c_str();
}

const char* CDeviceModel::GetHelpFileName() const
{
    return m_sHelpFileName.c_str();
}

EDot4Support CDeviceModel::SupportsDOT4() const
{
    return m_eDot4Support;
}

ESaveUtilityMethod CDeviceModel::SaveUtilityMethod() const
{
    return m_eSaveUtilityMethod;
}

unsigned CDeviceModel::HasUSB() const
{
    return m_dwHasUSB;
}

unsigned CDeviceModel::HasIRLpt() const
{
    return m_dwHasIRLpt;
}

unsigned CDeviceModel::Has1394() const
{
    return m_dwHas1394;
}

unsigned CDeviceModel::HasMSCL() const
{
    return m_dwHasMSCL;
}

unsigned CDeviceModel::HasLPT() const
{
    return m_dwHasLPT;
}

unsigned CDeviceModel::HasVIP() const
{
    return m_dwHasVIP;
}

unsigned CDeviceModel::HasCard() const
{
    return m_dwHasCard;
}

unsigned CDeviceModel::HasPML() const
{
    return m_dwHasPML;
}

unsigned CDeviceModel::IsFrontPort() const
{
    return m_dwFrontPort;
}

unsigned CDeviceModel::IsSupported() const
{
    return m_dwSupported;
}

DWORD CDeviceModel::GetNumDevNodes() const
{
    return m_dwNumDevNodes;
}

DWORD CDeviceModel::GetCapabilities() const
{
    return m_dwCapabilities;
}

DWORD CDeviceModel::GetType() const
{
    return m_dwType;
}

LONG CDeviceModel::GetFirstIoRevision() const
{
    return m_lFirstIoRevision;
}

LONG CDeviceModel::GetLastIoRevision() const
{
    return m_lLastIoRevision;
}
