#include "support/pdi_process.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "support/test_support.h"

namespace vxtest
{

uint64_t Random::Next()
{
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t Random::Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }

unsigned char Random::Byte(unsigned char lo, unsigned char hi)
{
    return static_cast<unsigned char>(lo + Below(static_cast<uint32_t>(hi - lo) + 1));
}

uint64_t SuiteSeed()
{
    const std::string sSeed = Env("VX_RELIABILITY_SEED");
    return sSeed.empty() ? 20061215ull : std::strtoull(sSeed.c_str(), NULL, 0);
}

unsigned CountFromEnvironment(const char* pszVariable, unsigned nDefault)
{
    const std::string sValue = Env(pszVariable);
    return sValue.empty() ? nDefault : static_cast<unsigned>(std::strtoul(sValue.c_str(), NULL, 0));
}

namespace
{

const unsigned kStartTries = 4;

bool IsTransientStartError(DWORD dwError)
{
    switch (dwError)
    {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
        return false;
    default:
        return true;
    }
}

}  // namespace

// Under load, Wine now and then fails to bring a new process up (the child's address space
// cannot be laid out, and CreateProcessA fails); that is the machine, not the program, so such
// a start is tried again. A file that is missing or is no program fails at once.
std::string PdiCommandLine(const std::string& sPdiPath, const std::string& sOptions, const std::string& sDriver,
                           const std::string& sProduct)
{
    return "\"" + sPdiPath + "\" " + sOptions + "-printerdriver=" + sDriver + " -product=" + sProduct + " -port=LPT1:";
}

bool CreateProcessRetried(char* pszCommandLine, BOOL fInheritHandles, DWORD dwFlags, void* pEnvironment,
                          const char* pszDirectory, STARTUPINFOA* pStartup, PROCESS_INFORMATION* pProcess,
                          DWORD* pdwError)
{
    for (unsigned nTry = 1;; ++nTry)
    {
        if (CreateProcessA(NULL, pszCommandLine, NULL, NULL, fInheritHandles, dwFlags, pEnvironment, pszDirectory,
                           pStartup, pProcess))
        {
            if (pdwError) *pdwError = 0;
            return true;
        }
        const DWORD dwError = GetLastError();
        if (pdwError) *pdwError = dwError;
        if (nTry == kStartTries || !IsTransientStartError(dwError)) return false;
        std::printf("start failed with error %lu, try %u of %u: %.200s\n", static_cast<unsigned long>(dwError), nTry,
                    kStartTries, pszCommandLine);
        std::fflush(stdout);
        Sleep(500 * nTry);
    }
}

ChildProcess::~ChildProcess()
{
    if (Running()) Kill();
    Close();
}

bool ChildProcess::Start(const std::string& sCommandLine, const std::map<std::string, std::string>& environment,
                         const std::string& sDirectory, bool fSuspended)
{
    Close();
    std::vector<char> commandLine(sCommandLine.begin(), sCommandLine.end());
    commandLine.push_back('\0');
    std::vector<char> block = EnvironmentBlock(environment);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessRetried(commandLine.data(), FALSE, fSuspended ? CREATE_SUSPENDED : 0, block.data(),
                              sDirectory.empty() ? NULL : sDirectory.c_str(), &si, &pi, &m_dwStartError))
        return false;
    m_dwStartError = 0;
    m_hThread = pi.hThread;
    if (!fSuspended) Resume();
    m_hProcess = pi.hProcess;
    m_dwId = pi.dwProcessId;
    m_dwExitCode = STILL_ACTIVE;
    return true;
}

bool ChildProcess::Wait(DWORD dwTimeoutMs)
{
    if (!m_hProcess) return true;
    if (m_dwExitCode != STILL_ACTIVE) return true;
    if (WaitForSingleObject(m_hProcess, dwTimeoutMs) != WAIT_OBJECT_0) return false;
    DWORD dwCode = 0;
    GetExitCodeProcess(m_hProcess, &dwCode);
    // A process that really exits with 259 would look alive forever; it counts as a crash.
    m_dwExitCode = dwCode == STILL_ACTIVE ? 0xFFFFFFFF : dwCode;
    return true;
}

void ChildProcess::Kill()
{
    if (!m_hProcess || m_dwExitCode != STILL_ACTIVE) return;
    TerminateProcess(m_hProcess, 0xDEAD);
    Wait(10000);
}

bool ChildProcess::StartLongPath(const std::string& sProgram, const std::string& sCommandLine,
                                 const std::map<std::string, std::string>& environment)
{
    Close();
    std::wstring sWideProgram = L"\\\\?\\";
    for (char c : sProgram) sWideProgram += static_cast<wchar_t>(static_cast<unsigned char>(c));
    std::wstring sWideLine;
    for (char c : sCommandLine) sWideLine += static_cast<wchar_t>(static_cast<unsigned char>(c));
    std::vector<wchar_t> commandLine(sWideLine.begin(), sWideLine.end());
    commandLine.push_back(L'\0');
    std::vector<char> block = EnvironmentBlock(environment);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(sWideProgram.c_str(), commandLine.data(), NULL, NULL, FALSE, 0, block.data(), NULL, &si, &pi))
        return false;
    m_hThread = pi.hThread;
    Resume();
    m_hProcess = pi.hProcess;
    m_dwId = pi.dwProcessId;
    m_dwExitCode = STILL_ACTIVE;
    return true;
}

void ChildProcess::Resume()
{
    if (!m_hThread) return;
    ResumeThread(m_hThread);
    CloseHandle(m_hThread);
    m_hThread = NULL;
}

void ChildProcess::Close()
{
    Resume();
    if (m_hProcess) CloseHandle(m_hProcess);
    m_hProcess = NULL;
    m_dwId = 0;
    m_dwExitCode = STILL_ACTIVE;
}

RunVerdict Finish(ChildProcess& child, DWORD dwTimeoutMs)
{
    if (!child.Wait(dwTimeoutMs))
    {
        child.Kill();
        return eRunHung;
    }
    return child.ExitCode() == 0 ? eRunEnded : eRunCrashed;
}

const char* VerdictText(RunVerdict eVerdict)
{
    switch (eVerdict)
    {
    case eRunEnded: return "ended";
    case eRunCrashed: return "crashed";
    default: return "hung";
    }
}

void SwitchOffCrashDialog()
{
    HKEY hKey = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", 0, NULL, 0, KEY_SET_VALUE, NULL, &hKey, NULL) !=
        ERROR_SUCCESS)
        return;
    const DWORD dwShow = 0;
    RegSetValueExA(hKey, "ShowCrashDialog", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwShow), sizeof(dwShow));
    RegCloseKey(hKey);
}

LogFile ReadLog(const std::string& sPath)
{
    LogFile log;
    log.fPresent = ReadFileBytes(sPath, &log.sBytes);
    size_t iStart = 0;
    for (;;)
    {
        const size_t iEnd = log.sBytes.find('\n', iStart);
        if (iEnd == std::string::npos) break;
        std::string sLine = log.sBytes.substr(iStart, iEnd - iStart);
        if (!sLine.empty() && sLine[sLine.size() - 1] == '\r') sLine.erase(sLine.size() - 1);
        log.lines.push_back(sLine);
        iStart = iEnd + 1;
    }
    return log;
}

std::vector<std::string> WithoutHeaderTime(const std::vector<std::string>& lines)
{
    static const std::regex kHeader(R"(\*\*\*\* .{24} - Logging Enabled \*\*\*\*)");
    std::vector<std::string> result = lines;
    for (std::string& sLine : result)
    {
        if (std::regex_match(sLine, kHeader)) sLine = "<header>";
    }
    return result;
}

bool EndsWithOutcome(const LogFile& log)
{
    const size_t n = log.lines.size();
    if (n < 3 || log.HasTornLine()) return false;
    if (log.lines[n - 1] != "The PDI Succeeded" && log.lines[n - 1] != "The PDI Failed") return false;
    return log.lines[n - 2].compare(0, 15, "Command Line = ") == 0;
}

std::string InstallLogPath(const std::string& sFolder, int n)
{
    char szName[32];
    std::snprintf(szName, sizeof(szName), "\\vxvxdi%2.2d.log", n);
    return sFolder + szName;
}

std::vector<int> InstallLogNumbers(const std::string& sFolder)
{
    std::vector<int> numbers;
    for (int n = 0; n < 100; ++n)
    {
        if (GetFileAttributesA(InstallLogPath(sFolder, n).c_str()) != INVALID_FILE_ATTRIBUTES) numbers.push_back(n);
    }
    return numbers;
}

int NextInstallLogNumber(const std::string& sFolder)
{
    for (int n = 0; n < 100; ++n)
    {
        if (GetFileAttributesA(InstallLogPath(sFolder, n).c_str()) == INVALID_FILE_ATTRIBUTES) return n;
    }
    return -1;
}

std::vector<TimedTraceLine> ReadTrace(const std::string& sPath)
{
    // "20061215093000:0563B1A:0001(0000-0000)(vxfpdi14.exe)text"
    static const std::regex kLine(R"((\d{14}):([0-9A-F]{7,}):[0-9A-F]{4}\(\d{4}-\d{4}\)\([^)]*\)(.*))");
    std::vector<TimedTraceLine> lines;
    std::smatch match;
    for (const std::string& sLine : ReadLog(sPath).lines)
    {
        if (!std::regex_match(sLine, match, kLine)) continue;
        TimedTraceLine line;
        line.sTime = match[1];
        line.dwMicroseconds = static_cast<DWORD>(std::strtoul(match[2].str().c_str(), NULL, 16));
        line.sText = match[3];
        lines.push_back(line);
    }
    return lines;
}

void Figures::Count(RunVerdict eVerdict)
{
    ++runs;
    if (eVerdict == eRunCrashed) ++crashes;
    if (eVerdict == eRunHung) ++hangs;
}

void Figures::Print(const std::string& sExtra) const
{
    std::printf("reliability figures: part=%s seed=%llu runs=%u kills=%u concurrent=%u inputs=%u crashes=%u hangs=%u "
                "torn_lines=%u lost_lines=%u seconds=%.1f%s%s\n",
                sPart.c_str(), static_cast<unsigned long long>(seed), runs, kills, concurrent, inputs, crashes, hangs,
                tornLines, lostLines, (GetTickCount() - dwStartTick) / 1000.0, sExtra.empty() ? "" : " ",
                sExtra.c_str());
    std::fflush(stdout);
}

}  // namespace vxtest
