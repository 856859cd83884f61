// Stands in for the install medium's patches and product installer: it records that it ran,
// with its command line, and exits. The record is one line appended to the file named by
// VX_RECORD_FILE, else to "vxmedium_runs.log" in the temporary folder. VX_RECORD_EXIT_CODE
// sets the exit code; VX_RECORD_SLEEP_MS keeps it running that long first (a patch that hangs),
// only the copy of the file name VX_RECORD_SLEEP_NAME when that is set. VX_RECORD_MUTEX names a
// mutex the recorder tries to take at once; the record then ends " | mutex free" (it was taken
// and given back), " | mutex held" or " | mutex missing".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

std::string Variable(const char* pszName)
{
    char szValue[MAX_PATH * 2] = "";
    DWORD cch = GetEnvironmentVariableA(pszName, szValue, sizeof(szValue));
    return (cch == 0 || cch >= sizeof(szValue)) ? std::string() : std::string(szValue, cch);
}

std::string RecordFile()
{
    std::string sFile = Variable("VX_RECORD_FILE");
    if (!sFile.empty()) return sFile;
    char szTemp[MAX_PATH + 1] = "";
    GetTempPathA(MAX_PATH, szTemp);
    return std::string(szTemp) + "vxmedium_runs.log";
}

// Appends one whole line; several recorders may run at once, so the file is locked meanwhile.
void AppendLine(const std::string& sFile, const std::string& sLine)
{
    for (int iTry = 0; iTry < 200; ++iTry)
    {
        HANDLE hFile = CreateFileA(sFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
        if (hFile != INVALID_HANDLE_VALUE)
        {
            DWORD dwWritten = 0;
            WriteFile(hFile, sLine.data(), static_cast<DWORD>(sLine.size()), &dwWritten, NULL);
            CloseHandle(hFile);
            return;
        }
        Sleep(10);
    }
}

std::string ProbeMutex(const std::string& sName)
{
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, sName.c_str());
    if (hMutex == NULL) return " | mutex missing";
    const DWORD dwWait = WaitForSingleObject(hMutex, 0);
    const bool fTaken = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
    if (fTaken) ReleaseMutex(hMutex);
    CloseHandle(hMutex);
    return fTaken ? " | mutex free" : " | mutex held";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char szModule[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, szModule, MAX_PATH);
    const char* pszName = std::strrchr(szModule, '\\');
    pszName = pszName ? pszName + 1 : szModule;
    const std::string sMutex = Variable("VX_RECORD_MUTEX");
    const std::string sProbe = sMutex.empty() ? std::string() : ProbeMutex(sMutex);
    AppendLine(RecordFile(), std::string("ran ") + pszName + " | " + GetCommandLineA() + sProbe + "\r\n");

    const std::string sSleep = Variable("VX_RECORD_SLEEP_MS");
    const std::string sSleeper = Variable("VX_RECORD_SLEEP_NAME");
    if (!sSleep.empty() && (sSleeper.empty() || lstrcmpiA(sSleeper.c_str(), pszName) == 0))
        Sleep(static_cast<DWORD>(std::strtoul(sSleep.c_str(), NULL, 10)));
    const std::string sExit = Variable("VX_RECORD_EXIT_CODE");
    return sExit.empty() ? 0 : std::atoi(sExit.c_str());
}
