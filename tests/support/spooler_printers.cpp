#include "support/spooler_printers.h"

#include "support/test_support.h"

namespace vxtest
{

namespace
{

HANDLE OpenForAdmin(const std::string& sName)
{
    std::string sCopy = sName;
    PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
    HANDLE hPrinter = NULL;
    return OpenPrinterA(&sCopy[0], &hPrinter, &defaults) ? hPrinter : NULL;
}

template <typename Fetch>
bool FetchBlock(std::vector<BYTE>* pBlock, Fetch fetch)
{
    DWORD cbNeeded = 0;
    fetch(static_cast<BYTE*>(NULL), 0u, &cbNeeded);
    if (cbNeeded == 0) return false;
    pBlock->assign(cbNeeded, 0);
    return fetch(pBlock->data(), cbNeeded, &cbNeeded) != FALSE;
}

}  // namespace

SpoolerPrinters::~SpoolerPrinters()
{
    for (const std::string& sName : m_printers) RemovePrinter(sName);
    for (const std::string& sName : m_drivers) RemoveDriver(sName);
    for (const std::string& sFile : m_files) DeleteFileA(sFile.c_str());
}

std::string SpoolerPrinters::DriverDirectory()
{
    char szDir[MAX_PATH] = "";
    DWORD cbNeeded = 0;
    if (!GetPrinterDriverDirectoryA(NULL, NULL, 1, reinterpret_cast<BYTE*>(szDir), sizeof(szDir), &cbNeeded))
        return std::string();
    return szDir;
}

bool SpoolerPrinters::InstallDriver(const std::string& sName, const std::string& sDriverFile)
{
    RemoveDriver(sName);
    const std::string sDir = DriverDirectory();
    if (sDir.empty()) return false;
    const std::string sDataFile = sName + ".ppd";
    const std::string sConfigFile = "vxtui.dll";
    for (const std::string* ps : {&sDriverFile, &sDataFile, &sConfigFile})
    {
        if (!WriteFileBytes(sDir + "\\" + *ps, "vxt driver file")) return false;
        m_files.push_back(sDir + "\\" + *ps);
    }
    std::string sNameCopy = sName, sDriverCopy = sDriverFile, sDataCopy = sDataFile, sConfigCopy = sConfigFile;
    DRIVER_INFO_3A info = {};
    info.cVersion = 3;
    info.pName = &sNameCopy[0];
    info.pDriverPath = &sDriverCopy[0];
    info.pDataFile = &sDataCopy[0];
    info.pConfigFile = &sConfigCopy[0];
    if (!AddPrinterDriverA(NULL, 3, reinterpret_cast<BYTE*>(&info))) return false;
    m_drivers.push_back(sName);
    return true;
}

bool SpoolerPrinters::InstallPrinter(const std::string& sName, const std::string& sPort, const std::string& sDriver,
                                 DWORD dwAttributes)
{
    RemovePrinter(sName);
    std::string sNameCopy = sName, sPortCopy = sPort, sDriverCopy = sDriver;
    char szProcessor[] = "WinPrint";
    char szDatatype[] = "RAW";
    PRINTER_INFO_2A info = {};
    info.pPrinterName = &sNameCopy[0];
    info.pPortName = &sPortCopy[0];
    info.pDriverName = &sDriverCopy[0];
    info.pPrintProcessor = szProcessor;
    info.pDatatype = szDatatype;
    info.Attributes = dwAttributes;
    HANDLE hPrinter = AddPrinterA(NULL, 2, reinterpret_cast<BYTE*>(&info));
    if (!hPrinter) return false;
    ClosePrinter(hPrinter);
    m_printers.push_back(sName);
    return true;
}

bool SpoolerPrinters::RemovePrinter(const std::string& sName)
{
    HANDLE hPrinter = OpenForAdmin(sName);
    if (!hPrinter) return false;
    const BOOL fDeleted = DeletePrinter(hPrinter);
    ClosePrinter(hPrinter);
    return fDeleted != FALSE;
}

bool SpoolerPrinters::RemoveDriver(const std::string& sName)
{
    std::string sCopy = sName;
    return DeletePrinterDriverA(NULL, NULL, &sCopy[0]) != FALSE;
}

bool ReadPrinterInfo2(const std::string& sPrinter, std::string* psPort, DWORD* pdwAttributes)
{
    HANDLE hPrinter = OpenForAdmin(sPrinter);
    if (!hPrinter) return false;
    std::vector<BYTE> block;
    const bool fRead = FetchBlock(&block, [&](BYTE* p, DWORD cb, DWORD* pcb) {
        return GetPrinterA(hPrinter, 2, p, cb, pcb);
    });
    ClosePrinter(hPrinter);
    if (!fRead) return false;
    const PRINTER_INFO_2A* pInfo = reinterpret_cast<const PRINTER_INFO_2A*>(block.data());
    if (psPort) *psPort = pInfo->pPortName ? pInfo->pPortName : "";
    if (pdwAttributes) *pdwAttributes = pInfo->Attributes;
    return true;
}

bool ReadDriverMonitor(const std::string& sPrinter, std::string* psMonitor)
{
    HANDLE hPrinter = OpenForAdmin(sPrinter);
    if (!hPrinter) return false;
    std::vector<BYTE> block;
    const bool fRead = FetchBlock(&block, [&](BYTE* p, DWORD cb, DWORD* pcb) {
        return GetPrinterDriverA(hPrinter, NULL, 3, p, cb, pcb);
    });
    ClosePrinter(hPrinter);
    if (!fRead) return false;
    const DRIVER_INFO_3A* pInfo = reinterpret_cast<const DRIVER_INFO_3A*>(block.data());
    *psMonitor = pInfo->pMonitorName ? pInfo->pMonitorName : "";
    return true;
}

std::string DefaultPrinterName()
{
    char szName[1024] = "";
    DWORD cch = sizeof(szName);
    return GetDefaultPrinterA(szName, &cch) ? szName : "";
}

std::string PrinterKeyPath(const std::string& sPrinter)
{
    return "System\\CurrentControlSet\\Control\\Print\\Printers\\" + sPrinter;
}

}  // namespace vxtest
