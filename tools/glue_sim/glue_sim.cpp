// A rehearsal Glue: plays the coinstaller's part towards the PDI so that an install can be
// tried without a printer. It records a driver install in the registry and the spooler, starts
// the PDI from the install medium with the three switches, watches the handshake events and
// prints what it saw and the PDI's outcome.
//
//   vxglue_sim.exe -medium=<root> [-driver=<name>] [-printer=<friendly name>] [-port=<port>]
//                  [-nostatuscode] [-keep] [-timeout=<seconds>] [-answer=yes|no] [-view=32|64]
// With -answer, the default-printer question the PDI may ask is answered as a person would,
// through its window; without it the question waits for a person. On 64-bit Windows, -view=64
// writes the Glue's values where the real Glue, loaded by the 64-bit installer process, writes
// them: the registry's 64-bit view. The default is this program's own view.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

const char kGlueKey[] = "SOFTWARE\\Quorvane\\VXZ\\Glue";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kPdiFolder[] = "drivers\\Win2K_XP";
const char* const kEvents[] = {"VXZ_Glue_Ran", "VXZ_Glue_Installed_Driver", "VXZ_Glue_Finished"};

struct Options
{
    std::string sMedium;
    std::string sDriver = "Quorvane Model 1234 Series";
    std::string sPrinter = "Quorvane Model 1234";
    std::string sPort = "LPT1:";
    bool fStatusCode = true;
    bool fKeep = false;
    std::string sAnswer;  // "yes", "no" or empty
    REGSAM samView = 0;   // KEY_WOW64_64KEY or KEY_WOW64_32KEY on 64-bit Windows
    DWORD dwTimeoutMs = 15 * 60 * 1000;
};

// "-name=value" switches; a value runs to the next " -".
bool Switch(const std::string& sLine, const char* pszName, std::string* psValue)
{
    const std::string sKey = std::string("-") + pszName;
    size_t i = sLine.find(sKey + "=");
    if (i == std::string::npos)
    {
        i = sLine.find(sKey);
        if (i == std::string::npos) return false;
        const size_t iEnd = i + sKey.size();
        if (iEnd < sLine.size() && sLine[iEnd] != ' ') return false;
        psValue->clear();
        return true;
    }
    i += sKey.size() + 1;
    size_t iEnd = sLine.find(" -", i);
    std::string sValue = sLine.substr(i, iEnd == std::string::npos ? std::string::npos : iEnd - i);
    while (!sValue.empty() && sValue[sValue.size() - 1] == ' ') sValue.erase(sValue.size() - 1);
    if (sValue.size() >= 2 && sValue[0] == '"' && sValue[sValue.size() - 1] == '"') sValue = sValue.substr(1, sValue.size() - 2);
    *psValue = sValue;
    return true;
}

bool ParseOptions(const std::string& sLine, Options* pOptions)
{
    std::string sValue;
    if (!Switch(sLine, "medium", &pOptions->sMedium) || pOptions->sMedium.empty()) return false;
    if (Switch(sLine, "driver", &sValue) && !sValue.empty()) pOptions->sDriver = sValue;
    if (Switch(sLine, "printer", &sValue) && !sValue.empty()) pOptions->sPrinter = sValue;
    if (Switch(sLine, "port", &sValue) && !sValue.empty()) pOptions->sPort = sValue;
    if (Switch(sLine, "nostatuscode", &sValue)) pOptions->fStatusCode = false;
    if (Switch(sLine, "keep", &sValue)) pOptions->fKeep = true;
    if (Switch(sLine, "answer", &sValue)) pOptions->sAnswer = sValue;
    if (Switch(sLine, "view", &sValue))
    {
        if (sValue != "32" && sValue != "64") return false;
        pOptions->samView = sValue == "64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    }
    if (Switch(sLine, "timeout", &sValue) && !sValue.empty())
        pOptions->dwTimeoutMs = static_cast<DWORD>(std::strtoul(sValue.c_str(), NULL, 10)) * 1000;
    while (!pOptions->sMedium.empty() && pOptions->sMedium[pOptions->sMedium.size() - 1] == '\\')
        pOptions->sMedium.erase(pOptions->sMedium.size() - 1);
    return true;
}

bool SetString(HKEY hKey, const char* pszName, const std::string& sValue)
{
    return RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(sValue.c_str()),
                          static_cast<DWORD>(sValue.size() + 1)) == ERROR_SUCCESS;
}

bool WriteGlueResults(const Options& options, const std::string& sGluePath)
{
    HKEY hKey = NULL;
    const std::string sDriverKey = std::string(kGlueKey) + "\\" + options.sDriver;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, sDriverKey.c_str(), 0, NULL, 0, KEY_WRITE | options.samView, NULL, &hKey,
                        NULL) != ERROR_SUCCESS)
        return false;
    bool fOk = SetString(hKey, "GluePath", sGluePath) && SetString(hKey, "PrinterFriendlyName", options.sPrinter);
    if (options.fStatusCode)
    {
        const DWORD dwStatus = 0;
        fOk = fOk && RegSetValueExA(hKey, "statuscode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwStatus),
                                    sizeof(dwStatus)) == ERROR_SUCCESS;
    }
    RegCloseKey(hKey);

    // The driver's uninstall entry, which the PDI removes with its subkeys when it succeeds.
    const std::string sUninstall = std::string(kUninstallKey) + "\\" + options.sDriver + "_Driver\\Files";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, sUninstall.c_str(), 0, NULL, 0, KEY_WRITE | options.samView, NULL, &hKey,
                        NULL) == ERROR_SUCCESS)
    {
        SetString(hKey, "DisplayName", options.sDriver);
        RegCloseKey(hKey);
    }
    const char* pszView = options.samView == KEY_WOW64_64KEY ? " (64-bit view)"
                          : options.samView == KEY_WOW64_32KEY ? " (32-bit view)"
                                                               : "";
    std::printf("glue: wrote HKLM\\%s%s: GluePath=%s, PrinterFriendlyName=%s%s\n", sDriverKey.c_str(), pszView,
                sGluePath.c_str(), options.sPrinter.c_str(), options.fStatusCode ? ", statuscode=0" : "");
    return fOk;
}

bool InstallPrinter(const Options& options)
{
    char szDirectory[MAX_PATH] = "";
    DWORD cb = 0;
    if (!GetPrinterDriverDirectoryA(NULL, NULL, 1, reinterpret_cast<BYTE*>(szDirectory), sizeof(szDirectory), &cb))
        return false;
    static const char* const kFiles[] = {"vxsimdrv.dll", "vxsimui.dll", "vxsimdat.ppd"};
    for (const char* pszFile : kFiles)
    {
        HANDLE hFile = CreateFileA((std::string(szDirectory) + "\\" + pszFile).c_str(), GENERIC_WRITE, 0, NULL,
                                   CREATE_ALWAYS, 0, NULL);
        if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
    }
    DRIVER_INFO_3A tDriver = {};
    tDriver.cVersion = 3;
    tDriver.pName = const_cast<char*>(options.sDriver.c_str());
    tDriver.pDriverPath = const_cast<char*>(kFiles[0]);
    tDriver.pConfigFile = const_cast<char*>(kFiles[1]);
    tDriver.pDataFile = const_cast<char*>(kFiles[2]);
    if (!AddPrinterDriverA(NULL, 3, reinterpret_cast<BYTE*>(&tDriver)) && GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
    {
        std::printf("glue: AddPrinterDriver failed, error %lu\n", GetLastError());
        return false;
    }

    HANDLE hPrinter = NULL;
    if (OpenPrinterA(const_cast<char*>(options.sPrinter.c_str()), &hPrinter, NULL))
    {
        ClosePrinter(hPrinter);
    }
    else
    {
        PRINTER_INFO_2A tPrinter = {};
        tPrinter.pPrinterName = const_cast<char*>(options.sPrinter.c_str());
        tPrinter.pPortName = const_cast<char*>("LPT1:");
        tPrinter.pDriverName = const_cast<char*>(options.sDriver.c_str());
        tPrinter.pPrintProcessor = const_cast<char*>("WinPrint");
        tPrinter.pDatatype = const_cast<char*>("RAW");
        hPrinter = AddPrinterA(NULL, 2, reinterpret_cast<BYTE*>(&tPrinter));
        if (!hPrinter)
        {
            std::printf("glue: AddPrinter failed, error %lu\n", GetLastError());
            return false;
        }
        ClosePrinter(hPrinter);
    }
    std::printf("glue: installed driver \"%s\" and printer \"%s\" on LPT1:\n", options.sDriver.c_str(),
                options.sPrinter.c_str());
    return true;
}

std::string NewestInstallLog()
{
    char szTemp[MAX_PATH + 1] = "";
    GetTempPathA(MAX_PATH, szTemp);
    WIN32_FIND_DATAA tFind;
    HANDLE hFind = FindFirstFileA((std::string(szTemp) + "vxvxdi??.log").c_str(), &tFind);
    if (hFind == INVALID_HANDLE_VALUE) return std::string();
    std::string sNewest;
    FILETIME tNewest = {0, 0};
    do
    {
        if (CompareFileTime(&tFind.ftLastWriteTime, &tNewest) > 0)
        {
            tNewest = tFind.ftLastWriteTime;
            sNewest = std::string(szTemp) + tFind.cFileName;
        }
    } while (FindNextFileA(hFind, &tFind));
    FindClose(hFind);
    return sNewest;
}

std::string LastLine(const std::string& sPath)
{
    std::FILE* pFile = std::fopen(sPath.c_str(), "r");
    if (!pFile) return std::string();
    char szLine[4096];
    std::string sLast;
    while (std::fgets(szLine, sizeof(szLine), pFile))
    {
        std::string s = szLine;
        while (!s.empty() && (s[s.size() - 1] == '\n' || s[s.size() - 1] == '\r')) s.erase(s.size() - 1);
        if (!s.empty()) sLast = s;
    }
    std::fclose(pFile);
    return sLast;
}

struct BoxSearch
{
    DWORD dwProcessId;
    HWND hBox;
};

BOOL CALLBACK FindQuestionBox(HWND hwnd, LPARAM lParam)
{
    BoxSearch* pSearch = reinterpret_cast<BoxSearch*>(lParam);
    DWORD dwOwner = 0;
    GetWindowThreadProcessId(hwnd, &dwOwner);
    char szClass[16] = "";
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    if (dwOwner == pSearch->dwProcessId && std::strcmp(szClass, "#32770") == 0 && IsWindowVisible(hwnd))
    {
        pSearch->hBox = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Answers the PDI's question box once, if one appears: its caption is the localized string 2
// of the PDI, so any top-level dialog of the PDI process counts.
bool AnswerQuestion(DWORD dwProcessId, bool fYes)
{
    BoxSearch search = {dwProcessId, NULL};
    EnumWindows(FindQuestionBox, reinterpret_cast<LPARAM>(&search));
    if (!search.hBox) return false;
    char szCaption[256] = "", szText[1024] = "";
    GetWindowTextA(search.hBox, szCaption, sizeof(szCaption));
    HWND hStatic = FindWindowExA(search.hBox, NULL, "Static", NULL);
    while (hStatic && GetWindowTextLengthA(hStatic) == 0) hStatic = FindWindowExA(search.hBox, hStatic, "Static", NULL);
    if (hStatic) GetWindowTextA(hStatic, szText, sizeof(szText));
    std::printf("glue: the PDI asks \"%s\": \"%s\"; answering %s\n", szCaption, szText, fYes ? "Yes" : "No");
    PostMessageA(search.hBox, WM_COMMAND, fYes ? IDYES : IDNO, 0);
    return true;
}

const char* StateText(HANDLE hEvent) { return WaitForSingleObject(hEvent, 0) == WAIT_OBJECT_0 ? "signalled" : "not signalled"; }

}  // namespace

int main()
{
    std::setvbuf(stdout, NULL, _IONBF, 0);
    std::string sLine = GetCommandLineA();
    Options options;
    if (!ParseOptions(sLine, &options))
    {
        std::printf("usage: vxglue_sim.exe -medium=<root> [-driver=<name>] [-printer=<name>] [-port=<port>] "
                    "[-nostatuscode] [-keep] [-timeout=<seconds>] [-answer=yes|no] [-view=32|64]\n");
        return 2;
    }
    const std::string sPdiFolder = options.sMedium + "\\" + kPdiFolder;
    const std::string sPdi = sPdiFolder + "\\vxfpdi14.exe";
    if (GetFileAttributesA(sPdi.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        std::printf("glue: no PDI at %s\n", sPdi.c_str());
        return 2;
    }
    if (!WriteGlueResults(options, sPdiFolder + "\\")) std::printf("glue: could not write the Glue's registry values\n");
    if (!InstallPrinter(options)) std::printf("glue: the printer could not be installed; the PDI runs all the same\n");

    HANDLE hEvents[3];
    bool fSignalled[3] = {false, false, false};
    for (int i = 0; i < 3; ++i) hEvents[i] = CreateEventA(NULL, TRUE, FALSE, kEvents[i]);

    std::string sCommand = "\"" + sPdi + "\" -printerdriver=" + options.sDriver + " -product=" + options.sPrinter +
                           " -port=" + options.sPort;
    std::printf("glue: starting %s\n", sCommand.c_str());
    std::vector<char> commandLine(sCommand.begin(), sCommand.end());
    commandLine.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(NULL, commandLine.data(), NULL, NULL, FALSE, 0, NULL, sPdiFolder.c_str(), &si, &pi))
    {
        std::printf("glue: the PDI could not be started, error %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(pi.hThread);
    const DWORD dwStart = GetTickCount();
    DWORD dwWait = WAIT_TIMEOUT;
    bool fAnswered = options.sAnswer.empty();
    while (dwWait == WAIT_TIMEOUT && GetTickCount() - dwStart < options.dwTimeoutMs)
    {
        dwWait = WaitForSingleObject(pi.hProcess, 20);
        if (!fAnswered) fAnswered = AnswerQuestion(pi.dwProcessId, options.sAnswer == "yes");
        for (int i = 0; i < 3; ++i)
        {
            if (!fSignalled[i] && hEvents[i] && WaitForSingleObject(hEvents[i], 0) == WAIT_OBJECT_0)
            {
                fSignalled[i] = true;
                std::printf("glue: %6.2f s  %s signalled\n", (GetTickCount() - dwStart) / 1000.0, kEvents[i]);
            }
        }
    }
    if (dwWait != WAIT_OBJECT_0)
    {
        std::printf("glue: the PDI did not finish in time; ending it\n");
        TerminateProcess(pi.hProcess, 1);
    }
    DWORD dwExit = 0;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hProcess);
    std::printf("glue: PDI exit code %lu after %.2f s\n", dwExit, (GetTickCount() - dwStart) / 1000.0);
    std::printf("glue: events at the end: %s %s, %s %s, %s %s\n", kEvents[0], StateText(hEvents[0]), kEvents[1],
                StateText(hEvents[1]), kEvents[2], StateText(hEvents[2]));

    const std::string sLog = NewestInstallLog();
    const std::string sOutcome = LastLine(sLog);
    std::printf("glue: install log %s\nglue: outcome: %s\n", sLog.c_str(), sOutcome.c_str());
    for (HANDLE hEvent : hEvents)
    {
        if (hEvent) CloseHandle(hEvent);
    }
    if (!options.fKeep)
    {
        HANDLE hPrinter = NULL;
        PRINTER_DEFAULTSA tDefaults = {NULL, NULL, PRINTER_ALL_ACCESS};
        if (OpenPrinterA(const_cast<char*>(options.sPrinter.c_str()), &hPrinter, &tDefaults))
        {
            DeletePrinter(hPrinter);
            ClosePrinter(hPrinter);
        }
    }
    return sOutcome == "The PDI Succeeded" ? 0 : 1;
}
