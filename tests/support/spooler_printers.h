// Printer drivers and printers installed into the spooler for a test, and removed after it.
#ifndef TESTS_SUPPORT_SPOOLER_PRINTERS_H
#define TESTS_SUPPORT_SPOOLER_PRINTERS_H

#include <windows.h>

#include <string>
#include <vector>

namespace vxtest
{

class SpoolerPrinters
{
public:
    SpoolerPrinters() {}
    ~SpoolerPrinters();  // printers first, then drivers and their files

    // A level-3 driver whose files (sDriverFile, a data and a configuration file) are written
    // into the spooler's driver directory first. An old driver of that name is removed first.
    bool InstallDriver(const std::string& sName, const std::string& sDriverFile);
    // A printer of that driver on that port (which the spooler need not list); an old printer
    // of that name is removed first.
    bool InstallPrinter(const std::string& sName, const std::string& sPort, const std::string& sDriver,
                    DWORD dwAttributes = 0);

    static bool RemovePrinter(const std::string& sName);
    static bool RemoveDriver(const std::string& sName);
    static std::string DriverDirectory();

private:
    SpoolerPrinters(const SpoolerPrinters&);
    SpoolerPrinters& operator=(const SpoolerPrinters&);

    std::vector<std::string> m_printers;
    std::vector<std::string> m_drivers;
    std::vector<std::string> m_files;
};

// What the spooler says of an installed printer, read with a handle of the test's own.
bool ReadPrinterInfo2(const std::string& sPrinter, std::string* psPort, DWORD* pdwAttributes);
// The language monitor of the printer's driver ("" for none); false when it cannot be read.
bool ReadDriverMonitor(const std::string& sPrinter, std::string* psMonitor);
// The spooler's default printer, "" when there is none.
std::string DefaultPrinterName();
// The printer's registry key under HKEY_LOCAL_MACHINE.
std::string PrinterKeyPath(const std::string& sPrinter);

}  // namespace vxtest

#endif
