#include "diag/install_log.h"

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <ctime>
#include <vector>

CInstallLog g_InstallLog;

namespace
{

const int kLogNumbers = 100;

CVxCiString TimeText()
{
    std::time_t now = std::time(NULL);
    std::tm* ptm = (now == static_cast<std::time_t>(-1)) ? NULL : std::localtime(&now);
    if (!ptm) return "Unknown";
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char szTime[64];
    std::snprintf(szTime, sizeof(szTime), "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[ptm->tm_wday % 7],
                  kMonths[ptm->tm_mon % 12], ptm->tm_mday, ptm->tm_hour, ptm->tm_min, ptm->tm_sec,
                  ptm->tm_year + 1900);
    return szTime;
}

CVxCiString EnvironmentValue(const char* pszName)
{
    DWORD cch = GetEnvironmentVariableA(pszName, NULL, 0);
    if (cch == 0) return CVxCiString();
    std::vector<char> buffer(cch + 1, '\0');
    DWORD cchCopied = GetEnvironmentVariableA(pszName, buffer.data(), cch + 1);
    if (cchCopied == 0 || cchCopied > cch) return CVxCiString();
    return CVxCiString(buffer.data(), cchCopied);
}

bool DirectoryEntryExists(const CVxCiString& sPath)
{
    CVxCiString sLookup = sPath;
    // "C:\TEMP\" finds nothing, though the folder is there.
    while (sLookup.size() > 3 && sLookup[sLookup.size() - 1] == '\\') sLookup.erase(sLookup.size() - 1);
    WIN32_FIND_DATAA tFind;
    HANDLE hFind = FindFirstFileA(sLookup.c_str(), &tFind);
    if (hFind == INVALID_HANDLE_VALUE) return false;
    FindClose(hFind);
    return true;
}

CVxCiString FileNamePart(const CVxCiString& sPath)
{
    const size_t iSlash = sPath.rfind('\\');
    return iSlash == CVxCiString::npos ? sPath : CVxCiString(sPath.substr(iSlash + 1));
}

CVxCiString DirectoryPart(const CVxCiString& sPath)
{
    const size_t iSlash = sPath.rfind('\\');
    return iSlash == CVxCiString::npos ? CVxCiString() : sPath.substr(0, iSlash + 1);
}

// The extension from the last dot of the file-name part; a lone dot counts as none.
CVxCiString ExtensionOf(const CVxCiString& sFileName)
{
    const size_t iDot = sFileName.rfind('.');
    if (iDot == CVxCiString::npos || sFileName.size() - iDot < 2) return CVxCiString();
    return sFileName.substr(iDot);
}

bool EndsInTwoDigits(const CVxCiString& s)
{
    const size_t n = s.size();
    return n >= 2 && s[n - 1] >= '0' && s[n - 1] <= '9' && s[n - 2] >= '0' && s[n - 2] <= '9';
}

CVxCiString NumberedPath(const CVxCiString& sDirectory, const CVxCiString& sBase, int n, const CVxCiString& sExtension)
{
    char szNumber[16];
    std::snprintf(szNumber, sizeof(szNumber), "%2.2d", n);
    return sDirectory + sBase + szNumber + sExtension;
}

}  // namespace

CVxCiString InstallLogSourcePath(const char* pszFile)
{
    CVxCiString sPath = pszFile ? pszFile : "";
    for (char& c : sPath)
    {
        if (c == '/') c = '\\';
    }
    return sPath;
}

CVxCiString FormatUnbounded(const char* pszFormat, va_list args)
{
    va_list argsMeasure;
    va_copy(argsMeasure, args);
    const int cch = std::vsnprintf(NULL, 0, pszFormat, argsMeasure);
    va_end(argsMeasure);
    if (cch <= 0) return CVxCiString();
    std::vector<char> buffer(static_cast<size_t>(cch) + 1, '\0');
    std::vsnprintf(buffer.data(), buffer.size(), pszFormat, args);
    return CVxCiString(buffer.data(), static_cast<size_t>(cch));
}

CVxCiString InstallLogTempDirectory()
{
    CVxCiString sDirectory = EnvironmentValue("TEMP");
    if (sDirectory.empty()) sDirectory = EnvironmentValue("TMP");
    if (sDirectory.empty())
    {
        char szWindows[MAX_PATH + 1] = "";
        const UINT cch = GetWindowsDirectoryA(szWindows, MAX_PATH);
        if (cch == 0 || cch > MAX_PATH) return CVxCiString();
        sDirectory = CVxCiString(szWindows, cch < 3 ? cch : 3) + "TEMP";
    }
    if (!DirectoryEntryExists(sDirectory) && !CreateDirectoryA(sDirectory.c_str(), NULL)) return CVxCiString();
    if (!DirectoryEntryExists(sDirectory)) return CVxCiString();
    if (GetEnvironmentVariableA("TMP", NULL, 0) == 0 && !SetEnvironmentVariableA("TMP", sDirectory.c_str()))
        return CVxCiString();
    if (sDirectory[sDirectory.size() - 1] != '\\') sDirectory += '\\';
    return sDirectory;
}

int ChooseLogNumber(const CVxCiString& sDirectory, const CVxCiString& sBase, const CVxCiString& sExtension,
                    const bool* pfSkip)
{
    if (EndsInTwoDigits(sBase))
    {
        const int n = (sBase[sBase.size() - 2] - '0') * 10 + (sBase[sBase.size() - 1] - '0') + 1;
        const int nNext = n > 99 ? 0 : n;
        return pfSkip && pfSkip[nNext] ? -1 : nNext;
    }
    if (sBase.empty()) return -1;

    FILETIME tEarliest = {0xFFFFFFFF, 0x7FFFFFFF};
    int nEarliest = -1;
    for (int n = 0; n < kLogNumbers; ++n)
    {
        if (pfSkip && pfSkip[n]) continue;
        const CVxCiString sCandidate = NumberedPath(sDirectory, sBase, n, sExtension);
        HANDLE hFile = CreateFileA(sCandidate.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (hFile == INVALID_HANDLE_VALUE)
        {
            // A log another run still writes is busy, not free: taking it would truncate that
            // run's lines. Only a candidate that is not there is free.
            if (GetLastError() == ERROR_SHARING_VIOLATION) continue;
            return n;
        }
        FILETIME tAccess = {0, 0};
        if (GetFileTime(hFile, NULL, &tAccess, NULL) && CompareFileTime(&tAccess, &tEarliest) == -1)
        {
            tEarliest = tAccess;
            nEarliest = n;
        }
        CloseHandle(hFile);
    }
    return nEarliest;
}

CInstallLog::CInstallLog()
    : m_dwLevelThreshold(0), m_dwFlags(0), m_dwFlagsAtOpen(0), m_fEnabled(false), m_pFile(NULL)
{
}

CInstallLog::~CInstallLog() { Reset(); }

void CInstallLog::Reset()
{
    if (m_pFile) std::fclose(m_pFile);
    m_pFile = NULL;
    m_sPath.clear();
    m_sOpenPath.clear();
    m_dwLevelThreshold = 0;
    m_dwFlags = 0;
    m_dwFlagsAtOpen = 0;
    m_fEnabled = false;
}

bool CInstallLog::Open(const CVxCiString& sName, DWORD dwLevelThreshold, DWORD dwFlags)
{
    Reset();
    if (sName.empty()) return false;
    m_sPath = sName;
    m_dwLevelThreshold = dwLevelThreshold;
    m_dwFlags = dwFlags;
    m_dwFlagsAtOpen = dwFlags;
    m_fEnabled = WriteLine("\n**** " + TimeText() + " - Logging Enabled ****\n");
    return m_fEnabled;
}

bool CInstallLog::LogMessage(DWORD dwLevel, const char* pszFormat, ...)
{
    if (!m_fEnabled || dwLevel > m_dwLevelThreshold || !pszFormat) return false;
    CVxCiString sLine;
    if (m_dwFlags & LOG_TIMESTAMP) sLine = "[" + TimeText() + "]: ";
    va_list args;
    va_start(args, pszFormat);
    sLine += FormatUnbounded(pszFormat, args);
    va_end(args);
    return WriteLine(sLine);
}

bool CInstallLog::LogError(DWORD dwLevel, const char* pszSourceFile, int iLine, const char* pszFormat, ...)
{
    if (!m_fEnabled || dwLevel > m_dwLevelThreshold || !pszSourceFile || !pszFormat) return false;
    CVxCiString sSource = pszSourceFile;
    if (!(m_dwFlags & LOG_FULL_SOURCE_PATH))
    {
        const size_t iSlash = sSource.rfind('\\');
        if (iSlash != CVxCiString::npos && iSlash + 1 < sSource.size()) sSource.erase(0, iSlash + 1);
    }
    char szLine[32];
    std::snprintf(szLine, sizeof(szLine), "%d", iLine);
    CVxCiString sLine = "[";
    if (m_dwFlags & LOG_TIMESTAMP) sLine += TimeText() + ", ";
    sLine += sSource + ", Line " + szLine + "]: ";
    va_list args;
    va_start(args, pszFormat);
    sLine += FormatUnbounded(pszFormat, args);
    va_end(args);
    return WriteLine(sLine);
}

bool CInstallLog::OpenFile()
{
    if (!(m_dwFlags & LOG_NO_TEMP_DIR))
    {
        const CVxCiString sTemp = InstallLogTempDirectory();
        if (sTemp.empty()) return false;
        m_sPath = sTemp + FileNamePart(m_sPath);
    }

    const bool fAppend = (m_dwFlags & LOG_APPEND) != 0;
    // Two runs that pick the same number at once must not share one file: the number is
    // claimed by creating the file (a free one) or by opening it for writing (the oldest of a
    // hundred), and a lost race moves on to the next choice.
    bool afLost[kLogNumbers] = {};
    for (int iAttempt = 0; iAttempt < kLogNumbers; ++iAttempt)
    {
        CVxCiString sPath = m_sPath;
        DWORD dwDisposition = fAppend ? OPEN_ALWAYS : CREATE_ALWAYS;
        if (m_dwFlags & LOG_NUMBERED)
        {
            const CVxCiString sDirectory = DirectoryPart(m_sPath);
            const CVxCiString sFileName = FileNamePart(m_sPath);
            const CVxCiString sExtension = ExtensionOf(sFileName);
            const CVxCiString sBase = sFileName.substr(0, sFileName.size() - sExtension.size());
            const int n = ChooseLogNumber(sDirectory, sBase, sExtension, afLost);
            if (n < 0) return false;
            afLost[n] = true;
            const CVxCiString sBareBase = EndsInTwoDigits(sBase) ? CVxCiString(sBase.substr(0, sBase.size() - 2)) : sBase;
            sPath = NumberedPath(sDirectory, sBareBase, n, sExtension);
            if (!fAppend && GetFileAttributesA(sPath.c_str()) == INVALID_FILE_ATTRIBUTES) dwDisposition = CREATE_NEW;
        }
        if (sPath.empty()) return false;

        HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, dwDisposition,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile == INVALID_HANDLE_VALUE)
        {
            // A numbered candidate that cannot be written (claimed by another run meanwhile,
            // or read-only) is passed over for the next choice rather than losing the log.
            if (m_dwFlags & LOG_NUMBERED) continue;
            return false;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), _O_TEXT | (fAppend ? _O_APPEND : 0));
        if (fd == -1)
        {
            CloseHandle(hFile);
            return false;
        }
        m_pFile = _fdopen(fd, fAppend ? "a" : "w");
        if (!m_pFile)
        {
            _close(fd);
            return false;
        }
        m_sPath = sPath;
        m_sOpenPath = sPath;
        return true;
    }
    return false;
}

bool CInstallLog::WriteLine(const CVxCiString& sLine)
{
    if (sLine.empty()) return false;
    if ((m_dwFlags & LOG_NUMBERED) != (m_dwFlagsAtOpen & LOG_NUMBERED) || m_sPath != m_sOpenPath)
    {
        if (m_pFile) std::fclose(m_pFile);
        m_pFile = NULL;
        m_dwFlagsAtOpen = m_dwFlags;
    }
    if (!m_pFile && !OpenFile()) return false;
    if (std::fprintf(m_pFile, "%s\n", sLine.c_str()) < 0) return false;
    return std::fflush(m_pFile) == 0;
}
