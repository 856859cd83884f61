#include "infrastructure/profile_reader.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "diag/trace_log.h"
#include "infrastructure/ci_string.h"
#include "infrastructure/os_version.h"
#include "parsed_profile.h"
#include "vx_owners.h"

namespace
{

// A name to compare: a stored key or a caller's C string, without copying the latter.
struct CiKey
{
    CiKey(const CVxCiString& s) : p(s.c_str()), n(s.size()) {}
    CiKey(const char* psz) : p(psz), n(std::strlen(psz)) {}
    const char* p;
    size_t n;
};

bool CiPrefixEqual(const char* a, const char* b, size_t n)
{
    const CProfileBytes& tables = CProfileBytes::Get();
    for (size_t i = 0; i < n; ++i)
    {
        if (tables.Upper(a[i]) != tables.Upper(b[i])) return false;
    }
    return true;
}

// Case-insensitive order; the shorter of two names that agree sorts first.
struct CiLess
{
    typedef void is_transparent;
    bool operator()(const CiKey& a, const CiKey& b) const
    {
        const CProfileBytes& tables = CProfileBytes::Get();
        const size_t n = a.n < b.n ? a.n : b.n;
        for (size_t i = 0; i < n; ++i)
        {
            const unsigned char ca = tables.Upper(a.p[i]);
            const unsigned char cb = tables.Upper(b.p[i]);
            if (ca != cb) return ca < cb;
        }
        return a.n < b.n;
    }
};

// Owns a C runtime stream.
class CStdioFile
{
public:
    explicit CStdioFile(FILE* pFile) : m_pFile(pFile) {}
    ~CStdioFile()
    {
        if (m_pFile) std::fclose(m_pFile);
    }
    FILE* Get() const { return m_pFile; }

private:
    CStdioFile(const CStdioFile&);
    CStdioFile& operator=(const CStdioFile&);
    FILE* m_pFile;
};

struct CProfileEntry
{
    CProfileEntry() : dwSize(0), uDriveType(0)
    {
        ftLastWrite.dwLowDateTime = 0;
        ftLastWrite.dwHighDateTime = 0;
    }

    FILETIME ftLastWrite;
    DWORD dwSize;
    CParsedProfile parsed;
    CUniqueFile hFile;
    UINT uDriveType;
    CVxCiString sFileName;
};

typedef std::map<CVxCiString, CProfileEntry, CiLess> CEntryMap;

// The process-wide cache with its lock. Built on first use (thread-safe static), so the lock
// exists before any thread can take it.
class CProfileCache
{
public:
    static CProfileCache& Instance()
    {
        static CProfileCache s_cache;
        return s_cache;
    }

    CRITICAL_SECTION& Lock() { return m_csLock; }
    CEntryMap& Entries() { return m_entries; }

    // The Windows directory, read the first time a load needs it.
    const char* WindowsDirectory()
    {
        if (m_szWindowsDirectory[0] == '\0')
        {
            const UINT cch = GetWindowsDirectoryA(m_szWindowsDirectory, sizeof(m_szWindowsDirectory));
            if (cch == 0 || cch >= sizeof(m_szWindowsDirectory)) m_szWindowsDirectory[0] = '\0';
        }
        return m_szWindowsDirectory;
    }

private:
    CProfileCache()
    {
        m_szWindowsDirectory[0] = '\0';
        InitializeCriticalSection(&m_csLock);
        ProfileKeepsFilesOpen();
    }
    ~CProfileCache()
    {
        m_entries.clear();
        DeleteCriticalSection(&m_csLock);
    }
    CProfileCache(const CProfileCache&);
    CProfileCache& operator=(const CProfileCache&);

    CRITICAL_SECTION m_csLock;
    CEntryMap m_entries;
    char m_szWindowsDirectory[MAX_PATH];
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

bool IsLeadByte(char c) { return CProfileBytes::Get().IsLead(c); }

// Steps of the load after the handle is known: the CD-ROM and Windows-directory shortcuts and
// the freshness check. Returns whether to parse; *pfResult is the load's result otherwise.
// fKeptHandle: the handle was kept from an earlier check (on Windows 9x only for a file on a
// CD-ROM drive; others are opened anew by each check).
bool NeedsParse(CProfileCache& cache, CProfileEntry& entry, LPCSTR pFileName, bool fNewEntry, bool fKeptHandle,
                BOOL* pfResult)
{
    *pfResult = TRUE;
    // A disc's files do not change: the handle stays even on Windows 9x, so later reads neither
    // open the file again nor fail once the disc is gone.
    if (entry.uDriveType == DRIVE_CDROM) return false;
    if (entry.uDriveType == 0)
    {
        char szRoot[4];
        lstrcpynA(szRoot, pFileName, sizeof(szRoot));
        entry.uDriveType = GetDriveTypeA(szRoot);
    }
    const char* pszWindows = cache.WindowsDirectory();
    const size_t cchWindows = std::strlen(pszWindows);
    if (entry.dwSize != 0 && fKeptHandle && cchWindows > 0 && std::strlen(pFileName) >= cchWindows &&
        CiPrefixEqual(pFileName, pszWindows, cchWindows))
    {
        return false;
    }

    // Two queries, not GetFileInformationByHandle: that one also reports the volume's serial
    // number, which costs a volume query per call (some hundred times these two under Wine).
    FILETIME ftWrite;
    const BOOL fTime = GetFileTime(entry.hFile.Get(), NULL, NULL, &ftWrite);
    const DWORD dwSize = GetFileSize(entry.hFile.Get(), NULL);
    if (!ProfileKeepsFilesOpen()) entry.hFile.Reset();
    if (!fTime || dwSize == INVALID_FILE_SIZE)
    {
        *pfResult = FALSE;
        return false;
    }
    if (!fNewEntry && CompareFileTime(&entry.ftLastWrite, &ftWrite) != -1 && entry.dwSize == dwSize) return false;
    entry.ftLastWrite = ftWrite;  // recorded by the parse only once the file could be read
    entry.dwSize = dwSize;
    return true;
}

// *ppEntry: the file's entry after the load, or null when there is none.
BOOL LoadProfileFile(CProfileCache& cache, LPCSTR pFileName, const CProfileEntry** ppEntry)
{
    *ppEntry = NULL;
    if (!pFileName) return FALSE;
    CEntryMap& entries = cache.Entries();
    CEntryMap::iterator it = entries.find(pFileName);
    const bool fNewEntry = it == entries.end();
    if (!fNewEntry) *ppEntry = &it->second;
    const bool fKeptHandle = !fNewEntry && it->second.hFile.IsValid();
    if (!fKeptHandle)
    {
        const DWORD dwShare =
            Is9X() ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        CUniqueFile hFile(
            CreateFileA(pFileName, GENERIC_READ, dwShare, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
        if (!hFile.IsValid())
        {
            g_TraceLog.TraceFailure("CreateFile(%s) fails with %d\n", pFileName, static_cast<int>(GetLastError()));
            return TRUE;
        }
        if (fNewEntry) it = entries.emplace(CVxCiString(pFileName), CProfileEntry()).first;
        it->second.hFile = std::move(hFile);
        it->second.sFileName = pFileName;
    }

    CProfileEntry& entry = it->second;
    *ppEntry = &entry;
    const FILETIME ftOld = entry.ftLastWrite;
    const DWORD dwOldSize = entry.dwSize;
    BOOL fResult = TRUE;
    if (!NeedsParse(cache, entry, pFileName, fNewEntry, fKeptHandle, &fResult)) return fResult;

    CStdioFile file(std::fopen(pFileName, "rb"));
    if (!file.Get())
    {
        // The earlier parse stays, and so do its time and size: the next call tries again.
        entry.ftLastWrite = ftOld;
        entry.dwSize = dwOldSize;
        g_TraceLog.Trace(TRACE_DETAIL, "Cannot _tfopen(%s), last error=%d", pFileName, static_cast<int>(GetLastError()));
        return TRUE;
    }
    // Parsed aside and swapped in, so that a parse that runs out of memory leaves the earlier
    // one, with its time and size, for the next call to try again.
    CParsedProfile parsed;
    try
    {
        parsed.Parse(file.Get(), entry.dwSize);
    }
    catch (...)
    {
        entry.ftLastWrite = ftOld;
        entry.dwSize = dwOldSize;
        throw;
    }
    entry.parsed.Swap(parsed);
    return TRUE;
}

// Writes NUL-separated strings with the final NUL; a string that does not fit cuts the list.
class CListWriter
{
public:
    CListWriter(char* pBuffer, DWORD nSize) : m_pBuffer(pBuffer), m_nSize(nSize), m_nPos(0), m_fFull(false) {}

    // False once the list is full.
    bool Add(const char* pszFirst, size_t cchFirst, const char* pszSecond = NULL, size_t cchSecond = 0)
    {
        if (m_fFull) return false;
        const size_t cch = cchFirst + cchSecond;
        if (m_nSize - m_nPos <= cch + 1)
        {
            Copy(pszFirst, cchFirst, pszSecond, cchSecond, m_nSize - m_nPos);
            m_pBuffer[m_nSize - 1] = '\0';
            if (m_nSize >= 2) m_pBuffer[m_nSize - 2] = '\0';
            m_fFull = true;
            return false;
        }
        Copy(pszFirst, cchFirst, pszSecond, cchSecond, cch);
        m_nPos += static_cast<DWORD>(cch);
        m_pBuffer[m_nPos++] = '\0';
        return true;
    }

    bool IsEmpty() const { return m_nPos == 0 && !m_fFull; }

    // The count without the final NUL.
    DWORD Finish()
    {
        if (m_fFull) return m_nSize >= 2 ? m_nSize - 2 : 0;
        m_pBuffer[m_nPos] = '\0';
        return m_nPos;
    }

private:
    void Copy(const char* pszFirst, size_t cchFirst, const char* pszSecond, size_t cchSecond, size_t cchRoom)
    {
        const size_t cch1 = cchFirst < cchRoom ? cchFirst : cchRoom;
        std::memcpy(m_pBuffer + m_nPos, pszFirst, cch1);
        const size_t cch2 = cchSecond < cchRoom - cch1 ? cchSecond : cchRoom - cch1;
        if (cch2 > 0) std::memcpy(m_pBuffer + m_nPos + cch1, pszSecond, cch2);
    }

    char* m_pBuffer;
    DWORD m_nSize;
    DWORD m_nPos;
    bool m_fFull;
};

// The system's functions look for a name without a directory in the Windows directory; hand
// them the file that was checked here instead.
CVxCiString NativeFileName(LPCSTR pFileName)
{
    char szFull[MAX_PATH];
    const DWORD cch = GetFullPathNameA(pFileName, sizeof(szFull), szFull, NULL);
    if (cch == 0 || cch >= sizeof(szFull)) return CVxCiString(pFileName);
    return CVxCiString(szFull);
}

bool CheckStringArguments(LPCSTR lpDefault, LPSTR lpReturnedString, DWORD nSize, LPCSTR pFileName)
{
    const char* pszFailed = NULL;
    if (!lpDefault)
        pszFailed = "GetPrivateProfileStringA(,,lpDefault==NULL,,,)";
    else if (!lpReturnedString)
        pszFailed = "GetPrivateProfileStringA(,,,lpReturnedString==NULL,,)";
    else if (nSize == 0)
        pszFailed = "GetPrivateProfileStringA(,,,,nSize==0,)";
    else if (!pFileName)
        pszFailed = "GetPrivateProfileStringA(,,,,,pFileName==NULL)";
    else if (std::strlen(lpDefault) >= nSize)
        pszFailed = "GetPrivateProfileStringA() checking strlen(lpDefault) < nSize";
    if (pszFailed) g_TraceLog.TraceFailure("%s failed\n", pszFailed);
    return pszFailed == NULL;
}

bool CheckSectionArguments(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR pFileName)
{
    const char* pszFailed = NULL;
    if (!lpReturnedString)
        pszFailed = "GetPrivateProfileSection(,,,lpReturnedString==NULL,,)";
    else if (nSize == 0)
        pszFailed = "GetPrivateProfileSection(,,,,nSize==0,)";
    else if (!pFileName)
        pszFailed = "GetPrivateProfileSection(,,,,,pFileName==NULL)";
    else if (!lpAppName)
        pszFailed = "GetPrivateProfileSection(,,,,,lpAppName==NULL)";
    else if (nSize < 2)
        pszFailed = "GetPrivateProfileSection() checking size of default < nSize";
    if (pszFailed) g_TraceLog.TraceFailure("%s failed\n", pszFailed);
    return pszFailed == NULL;
}

// Copies the default and drops its trailing blanks; returns its length.
DWORD CopyDefault(LPCSTR lpDefault, LPSTR lpReturnedString)
{
    size_t cch = std::strlen(lpDefault);
    std::memcpy(lpReturnedString, lpDefault, cch + 1);
    while (cch > 0 && lpReturnedString[cch - 1] == ' ') lpReturnedString[--cch] = '\0';
    // A general line; the mask is tested first so that a lookup does not classify the format.
    if (g_TraceLog.GetMask() & TRACE_GENERAL)
        g_TraceLog.TraceAuto("GetPrivateProfileStringA() built the default value: \"%s\"\n", lpReturnedString);
    return static_cast<DWORD>(cch);
}

// An empty list writes nothing (the default stays in the buffer) and counts 0.
DWORD ListSectionNames(const CParsedProfile& parsed, LPSTR lpReturnedString, DWORD nSize)
{
    CListWriter list(lpReturnedString, nSize);
    for (CParsedProfile::Index nSection : parsed.SortedSections())
    {
        const CProfileSpan name = parsed.SectionName(nSection);
        if (!list.Add(name.p, name.cch)) break;
    }
    return list.IsEmpty() ? 0 : list.Finish();
}

DWORD ReadFromEntry(const CProfileEntry& entry, LPCSTR lpAppName, LPCSTR lpKeyName, LPSTR lpReturnedString,
                    DWORD nSize, DWORD cchDefault)
{
    const CParsedProfile& parsed = entry.parsed;
    if (!lpAppName) return ListSectionNames(parsed, lpReturnedString, nSize);
    const CParsedProfile::Index nSection = parsed.FindSection(lpAppName);
    if (nSection == CParsedProfile::kNone) return cchDefault;
    if (lpKeyName)
    {
        CProfileSpan value;
        if (!parsed.FindValue(nSection, lpKeyName, &value)) return cchDefault;
        const size_t cchCopy = value.cch < nSize - 1 ? value.cch : nSize - 1;
        std::memcpy(lpReturnedString, value.p, cchCopy);
        lpReturnedString[cchCopy] = '\0';
        return static_cast<DWORD>(cchCopy);
    }
    CListWriter list(lpReturnedString, nSize);
    parsed.ForEachKey(nSection, [&list](const CProfileSpan& key) { return list.Add(key.p, key.cch); });
    return list.IsEmpty() ? 0 : list.Finish();
}

// The length of the string a caller's buffer holds, never reading past nSize bytes.
DWORD HeldStringLength(LPSTR lpReturnedString, DWORD nSize)
{
    const void* pEnd = std::memchr(lpReturnedString, '\0', nSize);
    if (!pEnd)
    {
        lpReturnedString[0] = '\0';
        return 0;
    }
    return static_cast<DWORD>(static_cast<const char*>(pEnd) - lpReturnedString);
}

DWORD ReadSectionFromEntry(const CProfileEntry& entry, LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize)
{
    const CParsedProfile& parsed = entry.parsed;
    const CParsedProfile::Index nSection = parsed.FindSection(lpAppName);
    if (nSection == CParsedProfile::kNone) return HeldStringLength(lpReturnedString, nSize);
    CListWriter list(lpReturnedString, nSize);
    // Each key line with the value of the key's last line.
    std::string sKey;
    parsed.ForEachKey(nSection, [&](const CProfileSpan& key) {
        sKey.assign(key.p, key.cch);
        CProfileSpan value = {"", 0};
        parsed.FindValue(nSection, sKey.c_str(), &value);
        sKey += '=';
        return list.Add(sKey.data(), sKey.size(), value.p, value.cch);
    });
    return list.IsEmpty() ? 0 : list.Finish();
}

}  // namespace

char* TrimSpaces(char* pszText)
{
    if (!pszText) return pszText;
    while (IsSpace(*pszText)) ++pszText;
    char* pEnd = pszText;  // one past the last byte that is no white space
    char* p = pszText;
    while (*p)
    {
        if (IsLeadByte(*p) && p[1])
        {
            p += 2;
            pEnd = p;
            continue;
        }
        if (!IsSpace(*p)) pEnd = p + 1;
        ++p;
    }
    std::memset(pEnd, 0, static_cast<size_t>(p - pEnd));
    return pszText;
}

bool ProfileKeepsFilesOpen()
{
    static const bool s_fKeepOpen = !Is9X();
    return s_fKeepOpen;
}

bool GetProfileCacheEntryInfo(LPCSTR pFileName, ProfileCacheEntryInfo* pInfo)
{
    if (!pFileName || !pInfo) return false;
    CProfileCache& cache = CProfileCache::Instance();
    CCriticalSectionLock lock(cache.Lock());
    CEntryMap::const_iterator it = cache.Entries().find(pFileName);
    if (it == cache.Entries().end()) return false;
    pInfo->dwSize = it->second.dwSize;
    pInfo->ftLastWrite = it->second.ftLastWrite;
    pInfo->fHandleHeld = it->second.hFile.IsValid();
    pInfo->uDriveType = it->second.uDriveType;
    pInfo->cSections = it->second.parsed.SectionCount();
    return true;
}

DWORD ReadProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString, DWORD nSize,
                        LPCSTR pFileName)
{
    try
    {
        CProfileCache& cache = CProfileCache::Instance();
        CCriticalSectionLock lock(cache.Lock());
        if (!CheckStringArguments(lpDefault, lpReturnedString, nSize, pFileName)) return 0;
        const DWORD cchDefault = CopyDefault(lpDefault, lpReturnedString);

        const CProfileEntry* pEntry = NULL;
        LoadProfileFile(cache, pFileName, &pEntry);
        if (!pEntry) return cchDefault;
        if (pEntry->dwSize < PROFILE_NATIVE_SIZE_LIMIT && Is9X())
        {
            g_TraceLog.Trace(TRACE_DETAIL, "GetPrivateProfileString redirected to native");
            return GetPrivateProfileStringA(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                                            NativeFileName(pFileName).c_str());
        }
        return ReadFromEntry(*pEntry, lpAppName, lpKeyName, lpReturnedString, nSize, cchDefault);
    }
    catch (...)
    {
        // Out of memory while parsing: the caller gets an empty answer, never an exception.
        if (lpReturnedString && nSize > 0) lpReturnedString[0] = '\0';
        return 0;
    }
}

DWORD ReadProfileSection(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR pFileName)
{
    try
    {
        CProfileCache& cache = CProfileCache::Instance();
        CCriticalSectionLock lock(cache.Lock());
        if (!CheckSectionArguments(lpAppName, lpReturnedString, nSize, pFileName)) return 0;

        const CProfileEntry* pEntry = NULL;
        LoadProfileFile(cache, pFileName, &pEntry);
        if (!pEntry) return HeldStringLength(lpReturnedString, nSize);
        if (pEntry->dwSize < PROFILE_NATIVE_SIZE_LIMIT && Is9X())
        {
            g_TraceLog.Trace(TRACE_DETAIL, "GetPrivateProfileSection() redirected to native");
            return GetPrivateProfileSectionA(lpAppName, lpReturnedString, nSize, NativeFileName(pFileName).c_str());
        }
        return ReadSectionFromEntry(*pEntry, lpAppName, lpReturnedString, nSize);
    }
    catch (...)
    {
        if (lpReturnedString && nSize > 0) lpReturnedString[0] = '\0';
        return 0;
    }
}
