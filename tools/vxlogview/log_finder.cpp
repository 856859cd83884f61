#include "log_finder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "log_lines.h"
#include "timeline.h"

namespace logview
{

namespace
{

const char kInstallLogPrefix[] = "vxvxdi";  // then two digits
const char kTracePrefix[] = "vxfpdi";       // then three digits or more
const size_t kTailBytes = 4096;              // the outcome is the last line; a line is seldom longer
const ULONGLONG kSameRunTicks = 10ULL * 10000000ULL;  // ten seconds in FILETIME units

std::string WithBackslash(const std::string& sFolder)
{
    return !sFolder.empty() && sFolder[sFolder.size() - 1] != '\\' ? sFolder + "\\" : sFolder;
}

bool SameFolder(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

bool IsFolder(const std::string& sPath)
{
    const DWORD dwAttributes = GetFileAttributesA(sPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void AddFolder(const std::string& sFolder, std::vector<std::string>* pFolders)
{
    if (sFolder.empty() || !IsFolder(sFolder)) return;
    const std::string sWithBackslash = WithBackslash(sFolder);
    for (const std::string& sKnown : *pFolders)
    {
        if (SameFolder(sKnown, sWithBackslash)) return;
    }
    pFolders->push_back(sWithBackslash);
}

bool IsNtFamily()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// "vxvxdi" + 2 digits + ".log", "vxfpdi" + 3 digits or more + ".log", letter case ignored.
bool IsLogName(const char* pszName, const char* pszPrefix, size_t cMinDigits, size_t cMaxDigits)
{
    const size_t cchPrefix = std::strlen(pszPrefix);
    const size_t cchName = std::strlen(pszName);
    if (cchName < cchPrefix + cMinDigits + 4 || cchName > cchPrefix + cMaxDigits + 4) return false;
    if (_strnicmp(pszName, pszPrefix, cchPrefix) != 0 || _strnicmp(pszName + cchName - 4, ".log", 4) != 0) return false;
    for (size_t i = cchPrefix; i < cchName - 4; ++i)
    {
        if (!std::isdigit(static_cast<unsigned char>(pszName[i]))) return false;
    }
    return true;
}

std::string InstallLogSummary(const std::string& sPath)
{
    std::string sTail;
    if (!ReadFileTail(sPath, kTailBytes, &sTail)) return "cannot be read";
    const std::string sLast = LastLineOf(sTail);
    if (sLast == OutcomeText(eOutcomeSucceeded) || sLast == OutcomeText(eOutcomeFailed)) return sLast;
    return std::string(OutcomeText(eOutcomeCut)) + " (or is still running)";
}

std::string TraceSummary(const std::string& sPath)
{
    std::string sTail;
    if (!ReadFileTail(sPath, kTailBytes, &sTail)) return "trace; cannot be read";
    TraceLine line;
    if (!ParseTraceLine(LastLineOf(sTail), &line)) return "trace; its last line is not a trace line";
    std::string sText = line.sText;
    if (sText.size() > 60) sText = sText.substr(0, 57) + "...";
    return "trace; last line \"" + sText + "\"";
}

void AddLogsOf(const std::string& sFolder, const char* pszPattern, bool fTrace, std::vector<FoundLog>* pLogs)
{
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA((sFolder + pszPattern).c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE) return;
    do
    {
        const bool fName = fTrace ? IsLogName(data.cFileName, kTracePrefix, 3, 10) : IsLogName(data.cFileName, kInstallLogPrefix, 2, 2);
        if (!fName || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        FoundLog log;
        log.sPath = sFolder + data.cFileName;
        log.fTrace = fTrace;
        log.ftWritten = data.ftLastWriteTime;
        log.cbSize = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        log.sSummary = fTrace ? TraceSummary(log.sPath) : InstallLogSummary(log.sPath);
        pLogs->push_back(log);
    } while (FindNextFileA(hFind, &data));
    FindClose(hFind);
}

ULONGLONG Ticks(const FILETIME& ft) { return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

std::string LocalTime(const FILETIME& ftWritten)
{
    FILETIME ftLocal;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&ftWritten, &ftLocal) || !FileTimeToSystemTime(&ftLocal, &st)) return "(no time)";
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond);
    return sz;
}

std::string FolderOf(const std::string& sPath) { return sPath.substr(0, sPath.find_last_of('\\') + 1); }

}  // namespace

std::vector<std::string> LogFolders()
{
    std::vector<std::string> folders;
    char szPath[MAX_PATH + 1] = "";
    const DWORD cchTemp = GetTempPathA(sizeof(szPath), szPath);
    if (cchTemp > 0 && cchTemp < sizeof(szPath)) AddFolder(szPath, &folders);
    const UINT cchWindows = GetWindowsDirectoryA(szPath, sizeof(szPath));
    if (cchWindows > 0 && cchWindows < sizeof(szPath)) AddFolder(WithBackslash(szPath) + "TEMP", &folders);
    const UINT cchSystem = GetSystemDirectoryA(szPath, sizeof(szPath));
    if (IsNtFamily() && cchSystem > 0 && cchSystem < sizeof(szPath))
    {
        // The profile's temporary folder up to Server 2003, and its name from Vista on.
        const std::string sProfile = WithBackslash(szPath) + "config\\systemprofile\\";
        AddFolder(sProfile + "Local Settings\\Temp", &folders);
        AddFolder(sProfile + "AppData\\Local\\Temp", &folders);
    }
    return folders;
}

std::vector<FoundLog> FindLogs(const std::vector<std::string>& folders)
{
    std::vector<FoundLog> logs;
    for (const std::string& sFolder : folders)
    {
        AddLogsOf(sFolder, "vxvxdi*.log", false, &logs);
        AddLogsOf(sFolder, "vxfpdi*.log", true, &logs);
    }
    std::stable_sort(logs.begin(), logs.end(),
                     [](const FoundLog& a, const FoundLog& b) { return Ticks(a.ftWritten) > Ticks(b.ftWritten); });
    return logs;
}

const FoundLog* NewestInstallLog(const std::vector<FoundLog>& logs)
{
    for (const FoundLog& log : logs)
    {
        if (!log.fTrace) return &log;
    }
    return nullptr;
}

const FoundLog* TraceOfRun(const std::vector<FoundLog>& logs, const FoundLog& installLog)
{
    const FoundLog* pBest = nullptr;
    ULONGLONG ullBest = kSameRunTicks + 1;
    for (const FoundLog& log : logs)
    {
        if (!log.fTrace || !SameFolder(FolderOf(log.sPath), FolderOf(installLog.sPath))) continue;
        const ULONGLONG a = Ticks(log.ftWritten), b = Ticks(installLog.ftWritten);
        const ULONGLONG ullApart = a > b ? a - b : b - a;
        if (ullApart < ullBest)
        {
            ullBest = ullApart;
            pBest = &log;
        }
    }
    return pBest;
}

std::string FindReport(const std::vector<FoundLog>& logs, const std::vector<std::string>& folders)
{
    std::string sText = logs.empty() ? "No install log or trace of the PDI found.\n"
                                     : "Install logs and traces of the PDI, newest first:\n";
    for (const FoundLog& log : logs)
    {
        const std::string sSize = std::to_string(log.cbSize);
        sText += "  " + LocalTime(log.ftWritten) + "  " + std::string(sSize.size() < 10 ? 10 - sSize.size() : 0, ' ') + sSize +
                 " bytes  " + log.sPath + ": " + log.sSummary + "\n";
    }
    sText += "Looked in:\n";
    for (const std::string& sFolder : folders) sText += "  " + sFolder + "\n";
    if (NewestInstallLog(logs)) sText += "vxlogview --find --open explains the newest install log.\n";
    return sText;
}

}  // namespace logview
