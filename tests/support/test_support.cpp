#include "support/test_support.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/pdi_process.h"
#include "vx_owners.h"

namespace vxtest
{

namespace
{

LONG g_nUnique = 0;

std::string UniqueSuffix()
{
    char szSuffix[64];
    std::snprintf(szSuffix, sizeof(szSuffix), "%lu_%ld_%lu", GetCurrentProcessId(),
                  static_cast<long>(InterlockedIncrement(&g_nUnique)), GetTickCount());
    return szSuffix;
}

}  // namespace

std::string WinPathFromUnix(const std::string& sUnixPath)
{
    std::string s = "Z:" + sUnixPath;
    for (char& c : s)
    {
        if (c == '/') c = '\\';
    }
    return s;
}

std::string Env(const char* pszName)
{
    char szValue[4096];
    DWORD cch = GetEnvironmentVariableA(pszName, szValue, sizeof(szValue));
    if (cch == 0 || cch >= sizeof(szValue)) return std::string();
    return std::string(szValue, cch);
}

std::vector<char> EnvironmentBlock(const std::map<std::string, std::string>& overrides)
{
    std::map<std::string, std::string> variables;
    LPCH pBlock = GetEnvironmentStringsA();
    for (const char* p = pBlock; p && *p; p += std::strlen(p) + 1)
    {
        const char* pEquals = std::strchr(p + 1, '=');  // "=C:=C:\" entries start with '='
        if (!pEquals) continue;
        variables[std::string(p, pEquals - p)] = pEquals + 1;
    }
    if (pBlock) FreeEnvironmentStringsA(pBlock);
    for (const auto& item : overrides)
    {
        for (auto it = variables.begin(); it != variables.end();)
        {
            if (lstrcmpiA(it->first.c_str(), item.first.c_str()) == 0)
                it = variables.erase(it);
            else
                ++it;
        }
        if (!item.second.empty()) variables[item.first] = item.second;
    }
    std::vector<char> block;
    for (const auto& item : variables)
    {
        const std::string sEntry = item.first + "=" + item.second;
        block.insert(block.end(), sEntry.begin(), sEntry.end());
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

std::string PdiExePath() { return WinPathFromUnix(Env("VX_PDI_EXE")); }
std::string SourceDir() { return WinPathFromUnix(Env("VX_SOURCE_DIR")); }
std::string WineRelease() { return Env("VX_WINE_RELEASE"); }
bool Is64BitPrefix() { return Env("VX_WINE_ARCH") == "win64"; }

ScratchDir::ScratchDir(const char* pszTag)
{
    char szTemp[MAX_PATH + 1] = "";
    GetTempPathA(MAX_PATH, szTemp);
    m_sPath = std::string(szTemp) + pszTag + "_" + UniqueSuffix();
    CreateDirectoryA(m_sPath.c_str(), NULL);
}

ScratchDir::~ScratchDir() { RemoveTree(m_sPath); }

void RemoveTree(const std::string& sPath)
{
    WIN32_FIND_DATAA tFind;
    HANDLE hFind = FindFirstFileA((sPath + "\\*").c_str(), &tFind);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::string sName = tFind.cFileName;
            if (sName == "." || sName == "..") continue;
            const std::string sChild = sPath + "\\" + sName;
            if (tFind.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            {
                RemoveTree(sChild);
            }
            else
            {
                SetFileAttributesA(sChild.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(sChild.c_str());
            }
        } while (FindNextFileA(hFind, &tFind));
        FindClose(hFind);
    }
    RemoveDirectoryA(sPath.c_str());
}

bool WriteFileBytes(const std::string& sPath, const std::string& sBytes)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return false;
    DWORD dwWritten = 0;
    BOOL fOk = sBytes.empty() || WriteFile(hFile, sBytes.data(), static_cast<DWORD>(sBytes.size()), &dwWritten, NULL);
    CloseHandle(hFile);
    return fOk && dwWritten == sBytes.size();
}

bool ReadFileBytes(const std::string& sPath, std::string* psBytes)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                               0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return false;
    psBytes->clear();
    char buffer[65536];
    DWORD dwRead = 0;
    while (ReadFile(hFile, buffer, sizeof(buffer), &dwRead, NULL) && dwRead > 0) psBytes->append(buffer, dwRead);
    CloseHandle(hFile);
    return true;
}

std::vector<std::string> ReadLines(const std::string& sPath)
{
    std::string sBytes;
    std::vector<std::string> lines;
    if (!ReadFileBytes(sPath, &sBytes)) return lines;
    size_t iStart = 0;
    while (iStart < sBytes.size())
    {
        size_t iEnd = sBytes.find('\n', iStart);
        if (iEnd == std::string::npos) iEnd = sBytes.size();
        std::string sLine = sBytes.substr(iStart, iEnd - iStart);
        if (!sLine.empty() && sLine[sLine.size() - 1] == '\r') sLine.erase(sLine.size() - 1);
        lines.push_back(sLine);
        iStart = iEnd + 1;
    }
    return lines;
}

std::vector<std::string> ListFiles(const std::string& sPattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA tFind;
    HANDLE hFind = FindFirstFileA(sPattern.c_str(), &tFind);
    if (hFind == INVALID_HANDLE_VALUE) return names;
    do
    {
        if (!(tFind.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(tFind.cFileName);
    } while (FindNextFileA(hFind, &tFind));
    FindClose(hFind);
    return names;
}

ProcessResult RunProcess(const std::string& sCommandLine, const std::map<std::string, std::string>& environment,
                         DWORD dwTimeoutMs)
{
    ProcessResult result;
    ChildProcess child;
    if (!child.Start(sCommandLine, environment)) return result;
    result.fStarted = true;
    result.fFinished = child.Wait(dwTimeoutMs);
    if (result.fFinished)
        result.dwExitCode = child.ExitCode();
    else
        child.Kill();
    return result;
}

std::vector<std::string> ConsoleResult::Lines() const
{
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < sOutput.size())
    {
        size_t iEnd = sOutput.find('\n', i);
        if (iEnd == std::string::npos) iEnd = sOutput.size();
        std::string sLine = sOutput.substr(i, iEnd - i);
        if (!sLine.empty() && sLine[sLine.size() - 1] == '\r') sLine.erase(sLine.size() - 1);
        lines.push_back(sLine);
        i = iEnd + 1;
    }
    return lines;
}

ConsoleResult RunConsole(const std::string& sCommandLine, DWORD dwTimeoutMs)
{
    ConsoleOptions options;
    options.dwTimeoutMs = dwTimeoutMs;
    return RunConsole(sCommandLine, options);
}

ConsoleResult RunConsole(const std::string& sCommandLine, const ConsoleOptions& options)
{
    ConsoleResult result;
    ScratchDir dir("con");
    const std::string sOutputPath = dir.File("output.txt"), sErrorPath = dir.File("error.txt");
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    const auto Create = [&sa](const std::string& sPath) {
        return CreateFileA(sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    };
    HANDLE hOutput = Create(sOutputPath);
    if (hOutput == INVALID_HANDLE_VALUE) return result;
    HANDLE hError = options.fErrorApart ? Create(sErrorPath) : hOutput;
    std::vector<char> commandLine(sCommandLine.begin(), sCommandLine.end());
    commandLine.push_back('\0');
    std::vector<char> environment;
    if (!options.environment.empty()) environment = EnvironmentBlock(options.environment);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = NULL;
    si.hStdOutput = hOutput;
    si.hStdError = hError;
    PROCESS_INFORMATION pi = {};
    const bool fStarted = hError != INVALID_HANDLE_VALUE &&
                          CreateProcessRetried(commandLine.data(), TRUE, 0, environment.empty() ? NULL : environment.data(),
                                               NULL, &si, &pi, NULL);
    CloseHandle(hOutput);
    if (options.fErrorApart && hError != INVALID_HANDLE_VALUE) CloseHandle(hError);
    if (!fStarted) return result;
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, options.dwTimeoutMs) == WAIT_OBJECT_0)
    {
        result.fFinished = true;
        GetExitCodeProcess(pi.hProcess, &result.dwExitCode);
    }
    else
    {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    ReadFileBytes(sOutputPath, &result.sOutput);
    if (options.fErrorApart) ReadFileBytes(sErrorPath, &result.sError);
    return result;
}

void SetWineVersionFor(const std::string& sExeName, const std::string& sRelease)
{
    const std::string sKey = "Software\\Wine\\AppDefaults\\" + sExeName;
    if (sRelease.empty())
    {
        HKEY hKey = NULL;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, sKey.c_str(), 0, KEY_SET_VALUE, &hKey) == ERROR_SUCCESS)
        {
            RegDeleteValueA(hKey, "Version");
            RegCloseKey(hKey);
        }
        return;
    }
    HKEY hKey = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, sKey.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(hKey, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(sRelease.c_str()),
                   static_cast<DWORD>(sRelease.size() + 1));
    RegCloseKey(hKey);
}

RegistryRedirect::RegistryRedirect(HKEY hRoot) : m_hRoot(hRoot), m_hKey(NULL)
{
    // The scratch key lives under the real HKEY_CURRENT_USER, made before any redirection.
    m_sKeyPath = "Software\\VxTests\\redirect_" + UniqueSuffix();
    RegCreateKeyExA(HKEY_CURRENT_USER, m_sKeyPath.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &m_hKey, NULL);
    RegOverridePredefKey(m_hRoot, m_hKey);
}

RegistryRedirect::~RegistryRedirect()
{
    RegOverridePredefKey(m_hRoot, NULL);
    if (m_hKey) RegCloseKey(m_hKey);
    DeleteKeyTree(HKEY_CURRENT_USER, m_sKeyPath);
}

void DeleteKeyTree(HKEY hRoot, const std::string& sPath, REGSAM samView)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, sPath.c_str(), 0, KEY_ALL_ACCESS | samView, &hKey) != ERROR_SUCCESS) return;
    char szName[512];
    while (RegEnumKeyA(hKey, 0, szName, sizeof(szName)) == ERROR_SUCCESS) DeleteKeyTree(hKey, szName, samView);
    RegCloseKey(hKey);
    if (samView)
        RegDeleteKeyExA(hRoot, sPath.c_str(), samView, 0);
    else
        RegDeleteKeyA(hRoot, sPath.c_str());
}

namespace
{

bool QueryHklmValue(const std::string& sKey, const char* pszValue, DWORD dwWantedType, void* pData, DWORD cbData,
                    REGSAM samView)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, KEY_READ | samView, &hKey) != ERROR_SUCCESS) return false;
    DWORD dwType = 0;
    const LONG l = RegQueryValueExA(hKey, pszValue, NULL, &dwType, static_cast<BYTE*>(pData), &cbData);
    RegCloseKey(hKey);
    return l == ERROR_SUCCESS && dwType == dwWantedType;
}

}  // namespace

bool ReadHklmString(const std::string& sKey, const char* pszValue, std::string* psData, REGSAM samView)
{
    char szData[1024] = "";
    if (!QueryHklmValue(sKey, pszValue, REG_SZ, szData, sizeof(szData) - 1, samView)) return false;
    *psData = szData;
    return true;
}

bool ReadHklmDword(const std::string& sKey, const char* pszValue, DWORD* pdwData, REGSAM samView)
{
    return QueryHklmValue(sKey, pszValue, REG_DWORD, pdwData, sizeof(DWORD), samView);
}

bool HklmKeyExists(const std::string& sKey, REGSAM samView)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, KEY_READ | samView, &hKey) != ERROR_SUCCESS) return false;
    RegCloseKey(hKey);
    return true;
}

bool WriteRegistryValue(const std::string& sKey, const char* pszValue, DWORD dwType, const void* pData, DWORD cbData,
                        HKEY hRoot, REGSAM samView)
{
    CUniqueRegKey key;
    if (RegCreateKeyExA(hRoot, sKey.c_str(), 0, NULL, 0, KEY_WRITE | samView, NULL, key.Put(), NULL) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.Get(), pszValue, 0, dwType, static_cast<const BYTE*>(pData), cbData) == ERROR_SUCCESS;
}

bool WriteRegistryString(const std::string& sKey, const char* pszValue, const std::string& sData, HKEY hRoot,
                         REGSAM samView)
{
    return WriteRegistryValue(sKey, pszValue, REG_SZ, sData.c_str(), static_cast<DWORD>(sData.size() + 1), hRoot,
                              samView);
}

bool WriteRegistryDword(const std::string& sKey, const char* pszValue, DWORD dwData, HKEY hRoot, REGSAM samView)
{
    return WriteRegistryValue(sKey, pszValue, REG_DWORD, &dwData, sizeof(dwData), hRoot, samView);
}

unsigned TerminateProcessesWhere(const std::function<bool(const char* pszExeName, DWORD dwParentId)>& pfnWhich)
{
    unsigned nEnded = 0;
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 tEntry = {};
    tEntry.dwSize = sizeof(tEntry);
    for (BOOL f = Process32First(hSnapshot, &tEntry); f; f = Process32Next(hSnapshot, &tEntry))
    {
        if (!pfnWhich(tEntry.szExeFile, tEntry.th32ParentProcessID)) continue;
        HANDLE hProcess = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, tEntry.th32ProcessID);
        if (!hProcess) continue;
        if (WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT && TerminateProcess(hProcess, 0xDEAD)) ++nEnded;
        CloseHandle(hProcess);
    }
    CloseHandle(hSnapshot);
    return nEnded;
}

std::string ModulePath(HMODULE hModule)
{
    char sz[MAX_PATH];
    const DWORD cch = GetModuleFileNameA(hModule, sz, sizeof(sz));
    return std::string(sz, cch < sizeof(sz) ? cch : 0);
}

std::string DirectoryOf(const std::string& sPath) { return sPath.substr(0, sPath.find_last_of("\\/")); }

std::string WindowsDirectory()
{
    char sz[MAX_PATH];
    const UINT cch = GetWindowsDirectoryA(sz, sizeof(sz));
    return std::string(sz, cch < sizeof(sz) ? cch : 0);
}

CurrentDirectory::CurrentDirectory(const std::string& sPath)
{
    m_szOld[0] = '\0';
    GetCurrentDirectoryA(sizeof(m_szOld), m_szOld);
    m_fChanged = SetCurrentDirectoryA(sPath.c_str()) != FALSE;
}

CurrentDirectory::~CurrentDirectory()
{
    if (m_fChanged) SetCurrentDirectoryA(m_szOld);
}

namespace
{

struct MutexProbe
{
    const char* pszName;
    DWORD dwWait;
};

DWORD WINAPI ProbeMutex(void* pContext)
{
    MutexProbe* pProbe = static_cast<MutexProbe*>(pContext);
    HANDLE hMutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, pProbe->pszName);
    pProbe->dwWait = hMutex ? WaitForSingleObject(hMutex, 0) : WAIT_FAILED;
    if (pProbe->dwWait == WAIT_OBJECT_0 || pProbe->dwWait == WAIT_ABANDONED) ReleaseMutex(hMutex);
    if (hMutex) CloseHandle(hMutex);
    return 0;
}

}  // namespace

bool IsMutexHeldElsewhere(const char* pszName)
{
    MutexProbe probe = {pszName, WAIT_FAILED};
    DWORD dwThreadId = 0;
    HANDLE hThread = CreateThread(NULL, 0, ProbeMutex, &probe, 0, &dwThreadId);
    if (!hThread) return false;
    WaitForSingleObject(hThread, 10000);
    CloseHandle(hThread);
    return probe.dwWait == WAIT_TIMEOUT;
}

}  // namespace vxtest
