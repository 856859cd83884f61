// Another program of the printer software, built against the installed library only: it loads
// vxinfra14.dll and uses it the way the vendor's programs do. Prints one line per failed check
// and returns the number of failures (0: all passed).
//
//   vxinfra_consumer.exe               run every check
//   vxinfra_consumer.exe peer <name>   the second process: sets the named event and exits
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/error_codes.h"
#include "infrastructure/event_composite.h"
#include "infrastructure/factory.h"
#include "infrastructure/ipc_objects.h"
#include "infrastructure/os_version.h"
#include "infrastructure/port.h"
#include "infrastructure/printer.h"
#include "infrastructure/spooler_enum.h"
#include "infrastructure/thread.h"

namespace
{

int g_cChecks = 0;
int g_cFailures = 0;

bool Check(bool fOk, const char* pszWhat, int nLine)
{
    ++g_cChecks;
    if (!fOk)
    {
        ++g_cFailures;
        std::printf("consumer.cpp(%d): check failed: %s (last error %lu)\n", nLine, pszWhat, GetLastError());
    }
    return fOk;
}
#define CHECK(condition) Check((condition) ? true : false, #condition, __LINE__)

// Qualifier of every named object of this program.
const char kQualifier[] = "vxinfra_consumer";
const char kDriverName[] = "VX Consumer Alpha 90";

// ---------------------------------------------------------------------------------------------
// Scratch files

class ScratchFolder
{
public:
    ScratchFolder()
    {
        char szTemp[MAX_PATH + 1] = "";
        GetTempPathA(MAX_PATH, szTemp);
        char szName[64];
        std::snprintf(szName, sizeof(szName), "vxconsumer_%lu", GetCurrentProcessId());
        m_sPath = std::string(szTemp) + szName;
        CreateDirectoryA(m_sPath.c_str(), NULL);
    }
    ~ScratchFolder()
    {
        for (const std::string& sFile : m_files) DeleteFileA(sFile.c_str());
        RemoveDirectoryA(m_sPath.c_str());
    }
    std::string Write(const char* pszName, const char* pszText)
    {
        const std::string sFile = m_sPath + "\\" + pszName;
        HANDLE hFile = CreateFileA(sFile.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD cbWritten = 0;
        const bool fOk = hFile != INVALID_HANDLE_VALUE &&
                         WriteFile(hFile, pszText, static_cast<DWORD>(std::strlen(pszText)), &cbWritten, NULL) &&
                         cbWritten == std::strlen(pszText);
        if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
        CHECK(fOk);
        m_files.push_back(sFile);
        return sFile;
    }

private:
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string m_sPath;
    std::vector<std::string> m_files;
};

// The installer file list names the model file; the model file describes one model.
const char kDataFile[] =
    "[Version]\r\n"
    "InfrastructureDatabaseList=consumer_models.dat\r\n"
    "LanguagesInthisCD=ENU,FRA\r\n"
    "DefaultLanguageInThisRelease=ENU\r\n"
    "[LanguageMap]\r\n"
    "0x0409=ENU\r\n"
    "0x040C=FRA\r\n"
    "0x0407=DEU\r\n";
const char kModelFile[] =
    "[Models]\r\n"
    "1=Alpha90\r\n"
    "[Alpha90]\r\n"
    "drivername=VX Consumer Alpha 90\r\n"
    "modelname=VX Consumer Alpha 90\r\n"
    "usbid=vid_0b0b&pid_0090\r\n"
    "type=printer\r\n"
    "usb=1\r\n"
    "pml=1\r\n"
    "capabilities=0x1F\r\n"
    "[INFList.1]\r\n"
    "vxalph9x.inf=\r\n"
    "[INFList.2]\r\n"
    "vxalpha.inf=\r\n";

// ---------------------------------------------------------------------------------------------
// Error texts and OS identification

void CheckErrorTexts()
{
    CHECK(std::strcmp(GetErrorString(ERR_NOERROR), "ERR_NOERROR") == 0);
    CHECK(std::strcmp(GetErrorString(ERR_BADPARAMETER), "ERR_BADPARAMETER") == 0);
    CHECK(std::strcmp(GetErrorString(ERR_ERRORMASKED), "ERR_ERRORMASKED") == 0);
    const char* pszSystemText = GetErrorString(ERROR_FILE_NOT_FOUND);
    CHECK(pszSystemText != NULL && pszSystemText[0] != '\0');

    CVxCiString sText("unchanged");
    SetLastError(ERROR_ACCESS_DENIED);
    CHECK(GetLastErrorMsg(sText) == ERROR_ACCESS_DENIED);
    CHECK(GetLastError() == ERROR_ACCESS_DENIED);
    CHECK(!sText.empty() && sText != "unchanged");
}

void CheckOsIdentification()
{
    // The test prefix reports Windows XP to programs without a release of their own.
    CHECK(IsNT() == 1);
    CHECK(IsXP() == 1);
    CHECK(Is9X() == 0);
    CHECK(GetOSVersionRecord().dwPlatformId == VER_PLATFORM_WIN32_NT);
    CHECK(!GetOSName().empty());
}

// ---------------------------------------------------------------------------------------------
// A thread

struct ThreadWork
{
    LONG nIn;
    LONG nOut;
};

unsigned long WINAPI Double(void* pv)
{
    ThreadWork* pWork = static_cast<ThreadWork*>(pv);
    pWork->nOut = pWork->nIn * 2;
    return 42;
}

void CheckThread()
{
    ThreadWork work = {21, 0};
    CThread thread;
    CHECK(thread.Init(Double, &work, 0, 0, 0, NULL) == 1);
    CHECK(static_cast<const void*>(thread) != NULL);
    CHECK(thread.Wait(10000) == 0);
    CHECK(thread.GetExitCode() == 42);
    CHECK(work.nOut == 42);
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(thread)));
}

// ---------------------------------------------------------------------------------------------
// A named event shared with a second process

int RunPeer(const char* pszName)
{
    CIPCEvent event;
    if (!event.Open(pszName, kQualifier, NULL, 0, 0)) return 10;
    return SetEvent(event) ? 0 : 11;
}

void CheckEventWithSecondProcess()
{
    char szName[64];
    std::snprintf(szName, sizeof(szName), "ready_%lu", GetCurrentProcessId());
    CIPCEvent event;
    if (!CHECK(event.CreateOpen(szName, kQualifier, NULL, 1, 0, 1) != NULL)) return;
    CHECK(event.Wait(0) == WAIT_TIMEOUT);

    char szProgram[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, szProgram, MAX_PATH);
    std::string sCommandLine = std::string("\"") + szProgram + "\" peer " + szName;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CHECK(CreateProcessA(NULL, &sCommandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))) return;
    CHECK(WaitForSingleObject(event, 30000) == WAIT_OBJECT_0);
    CHECK(::WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0);
    DWORD dwExitCode = 99;
    GetExitCodeProcess(pi.hProcess, &dwExitCode);
    CHECK(dwExitCode == 0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);

    // Manual reset: still set until reset.
    CHECK(event.Wait(0) == WAIT_OBJECT_0);
    CHECK(ResetEvent(event) != 0);
    CHECK(event.Wait(0) == WAIT_TIMEOUT);
    CHECK(event.Close() == 1);
}

// ---------------------------------------------------------------------------------------------
// The device model database over a data file

void CheckFactory(const std::string& sDataFile)
{
    CFactory factory(sDataFile.c_str(), FACTORY_LOAD_MODELS);
    CHECK(factory.GetInstallerFileList().size() == 1);
    CHECK(factory.GetModelList().size() == 1);
    if (!factory.GetModelList().empty()) CHECK(factory.GetModelList()[0] == kDriverName);
    bool fHaveInf = false;
    for (const CVxCiString& sInf : factory.GetInfFileList()) fHaveInf = fHaveInf || sInf == "vxalpha.inf";
    CHECK(fHaveInf);

    const CDeviceModel& model = factory.FactorADeviceModel("vx consumer alpha 90");
    CHECK(model.IsSupported() == 1);
    CHECK(std::strcmp(model.GetDriverName(), kDriverName) == 0);
    CHECK(std::strcmp(model.GetUsbID(), "VID_0B0B&PID_0090") == 0);
    CHECK(model.GetType() == DEVICE_TYPE_PRINTER);
    CHECK(model.HasUSB() == 1);
    CHECK(model.GetCapabilities() == 0x1F);
    CHECK(model.GetFirstIoRevision() == -1);
    CVxCiString sValue;
    CHECK(model.GetValue("pml", sValue) == 1 && sValue == "1");

    // A printer name that contains the driver name finds the model; others the default record.
    CHECK(&factory.FactorADeviceModel("Office VX Consumer Alpha 90 (copy 2)") == &model);
    CHECK(factory.FactorADeviceModel("Unknown 1000").IsSupported() == 0);

    CHECK(factory.InitLanguageMap() == 1);
    CHECK(std::strcmp(factory.Get3LetterLanguage(0x040C), "FRA") == 0);
    CHECK(std::strcmp(factory.Get3LetterLanguage(0x0407), "ENU") == 0);
    CHECK(factory.GetLanguageId("ENU") == 0x0409);
}

// ---------------------------------------------------------------------------------------------
// The model of an installed printer, through the process-wide factory

// Installs a printer of kDriverName on LPT1: for the object's life.
class InstalledPrinter
{
public:
    explicit InstalledPrinter(const std::string& sName) : m_sName(sName), m_fInstalled(false)
    {
        char szDirectory[MAX_PATH] = "";
        DWORD cb = 0;
        if (!GetPrinterDriverDirectoryA(NULL, NULL, 1, reinterpret_cast<BYTE*>(szDirectory), sizeof(szDirectory), &cb))
            return;
        static const char* const kFiles[] = {"vxcondrv.dll", "vxconui.dll", "vxcondat.ppd"};
        for (const char* pszFile : kFiles)
        {
            HANDLE hFile = CreateFileA((std::string(szDirectory) + "\\" + pszFile).c_str(), GENERIC_WRITE, 0, NULL,
                                       CREATE_ALWAYS, 0, NULL);
            if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
        }
        DRIVER_INFO_3A driver = {};
        driver.cVersion = 3;
        driver.pName = const_cast<char*>(kDriverName);
        driver.pDriverPath = const_cast<char*>(kFiles[0]);
        driver.pConfigFile = const_cast<char*>(kFiles[1]);
        driver.pDataFile = const_cast<char*>(kFiles[2]);
        if (!AddPrinterDriverA(NULL, 3, reinterpret_cast<BYTE*>(&driver)) &&
            GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
            return;
        PRINTER_INFO_2A printer = {};
        printer.pPrinterName = const_cast<char*>(m_sName.c_str());
        printer.pPortName = const_cast<char*>("LPT1:");
        printer.pDriverName = const_cast<char*>(kDriverName);
        printer.pPrintProcessor = const_cast<char*>("WinPrint");
        printer.pDatatype = const_cast<char*>("RAW");
        HANDLE hPrinter = AddPrinterA(NULL, 2, reinterpret_cast<BYTE*>(&printer));
        if (!hPrinter) return;
        ClosePrinter(hPrinter);
        m_fInstalled = true;
    }
    ~InstalledPrinter()
    {
        HANDLE hPrinter = NULL;
        PRINTER_DEFAULTSA defaults = {NULL, NULL, PRINTER_ALL_ACCESS};
        if (m_fInstalled && OpenPrinterA(const_cast<char*>(m_sName.c_str()), &hPrinter, &defaults))
        {
            DeletePrinter(hPrinter);
            ClosePrinter(hPrinter);
        }
    }
    bool IsInstalled() const { return m_fInstalled; }
    const char* Name() const { return m_sName.c_str(); }

private:
    InstalledPrinter(const InstalledPrinter&) = delete;
    InstalledPrinter& operator=(const InstalledPrinter&) = delete;
    std::string m_sName;
    bool m_fInstalled;
};

void CheckInstalledPrinter(const InstalledPrinter& installed, const std::string& sDataFile)
{
    CHECK(g_Factory.Init(sDataFile.c_str(), FACTORY_LOAD_MODELS) == 1);

    CPrinter printer;
    if (!CHECK(printer.Init(installed.Name(), 99) == 1)) return;
    CHECK(std::strcmp(printer.GetATemporalFriendlyNamePtr(), installed.Name()) == 0);
    CHECK(std::strcmp(printer.GetATemporalPortNamePtr(), "LPT1:") == 0);
    CHECK(printer.IsUNC() == 0);
    CHECK(printer.DeviceModelInit() == 1);
    CHECK(printer.IsDeviceSupported() == 1);
    const char* pszModel = printer.GetModelName();
    CHECK(pszModel != NULL && std::strcmp(pszModel, kDriverName) == 0);
    CHECK(printer.HasUSB() == 1);
    CHECK(printer.HasPML() == 1);
    // LPT1: is not a port the library monitors (USB and DOT4 ports are).
    CHECK(printer.IsPortSupported() == 0);
    CHECK(printer.GetATemporalPortRef().IsSupported() == 0);

    CPort usb;
    CHECK(usb.Init("USB001") == ERR_NOERROR);
    CHECK(usb.IsSupported() == 1);
    CPort file;
    CHECK(file.Init("FILE:") == ERR_NOERROR);
    CHECK(file.IsNoIO() == 1);
    CHECK(file.IsSupported() == 0);
}

// ---------------------------------------------------------------------------------------------
// Walks over printers and ports

struct PrinterSearch
{
    const char* pszName;
    int cSeen;        // printers handed to the entry callback
    int cFound;       // ... of them the installed one
    bool fModelOk;    // its model came from the process-wide factory
    bool fIndexesOk;  // user3 counted up from 0 for each entry
    ULONG_PTR uNext;
};

unsigned int SeePrinter(CPrinter& printer, void* pUser1, void* /*pUser2: count*/, void* pUser3)
{
    PrinterSearch* pSearch = static_cast<PrinterSearch*>(pUser1);
    if (reinterpret_cast<ULONG_PTR>(pUser3) < pSearch->uNext) pSearch->fIndexesOk = false;
    pSearch->uNext = reinterpret_cast<ULONG_PTR>(pUser3) + 1;
    ++pSearch->cSeen;
    if (std::strcmp(printer.GetATemporalFriendlyNamePtr(), pSearch->pszName) == 0)
    {
        ++pSearch->cFound;
        const char* pszModel = printer.GetModelName();
        pSearch->fModelOk = pszModel != NULL && std::strcmp(pszModel, kDriverName) == 0;
    }
    return 1;
}

// Stops at the installed printer's name, before its entry callback.
unsigned int StopAtName(const char* pszName, void* pUser1, void*, void*)
{
    return std::strcmp(pszName, static_cast<PrinterSearch*>(pUser1)->pszName) != 0 ? 1 : 0;
}

struct PortSearch
{
    int cPorts;
    bool fHaveLpt1;
    bool fHaveFile;
    bool fCountOk;  // user2 stood for the number of entries
};

unsigned int SeePort(PORT_INFO_2A& port, void* pUser1, void* pUser2, void* pUser3)
{
    PortSearch* pSearch = static_cast<PortSearch*>(pUser1);
    ++pSearch->cPorts;
    if (reinterpret_cast<ULONG_PTR>(pUser3) >= reinterpret_cast<ULONG_PTR>(pUser2)) pSearch->fCountOk = false;
    if (port.pPortName && std::strcmp(port.pPortName, "LPT1:") == 0) pSearch->fHaveLpt1 = true;
    CPort classified;
    if (port.pPortName && classified.Init(port.pPortName) == ERR_NOERROR && classified.IsNoIO()) pSearch->fHaveFile = true;
    return 1;
}

void CheckWalks(const InstalledPrinter& installed)
{
    PrinterSearch search = {installed.Name(), 0, 0, false, true, 0};
    CHECK(ForAllPrinters(SeePrinter, NULL, &search, NULL, NULL, 0) == 1);
    CHECK(search.cSeen >= 1);
    CHECK(search.cFound == 1);
    CHECK(search.fModelOk);
    CHECK(search.fIndexesOk);

    PrinterSearch stopped = {installed.Name(), 0, 0, false, true, 0};
    CHECK(ForAllPrinters(SeePrinter, StopAtName, &stopped, NULL, NULL, 0) == 1);
    CHECK(stopped.cFound == 0);
    CHECK(stopped.cSeen < search.cSeen);

    PortSearch ports = {0, false, false, true};
    CHECK(ForAllPorts(SeePort, NULL, &ports, NULL, NULL) == 1);
    CHECK(ports.cPorts >= 2);
    CHECK(ports.fHaveLpt1);
    CHECK(ports.fHaveFile);
    CHECK(ports.fCountOk);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "peer") == 0) return RunPeer(argv[2]);

    g_TraceLog.Trace(TRACE_KEY, "vxinfra_consumer %lu started\n", GetCurrentProcessId());
    CheckErrorTexts();
    CheckOsIdentification();
    CheckThread();
    CheckEventWithSecondProcess();

    ScratchFolder folder;
    const std::string sDataFile = folder.Write("vxzins01.dat", kDataFile);
    folder.Write("consumer_models.dat", kModelFile);
    CheckFactory(sDataFile);

    char szPrinter[64];
    std::snprintf(szPrinter, sizeof(szPrinter), "VX Consumer %lu", GetCurrentProcessId());
    InstalledPrinter installed(szPrinter);
    if (CHECK(installed.IsInstalled()))
    {
        CheckInstalledPrinter(installed, sDataFile);
        CheckWalks(installed);
    }

    std::printf("vxinfra_consumer: %d checks, %d failed\n", g_cChecks, g_cFailures);
    return g_cFailures;
}
