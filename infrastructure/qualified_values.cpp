#include "infrastructure/qualified_values.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/os_version.h"
#include "infrastructure/profile_reader.h"
#include "infrastructure/release_facts.h"
#include "parsed_profile.h"

namespace
{

// Language 0x800 stands for the system's default language.
const WORD kSystemDefaultLanguage = 0x800;
// The primary language is the identifier's low ten bits.
const WORD kPrimaryLanguageMask = 0x3FF;
// RT_STRING, spelled out so that it is the ANSI form whatever UNICODE says.
const WORD kStringTableType = 6;

const char* OrNull(const char* psz) { return psz ? psz : "(null)"; }

// From the table read once, not a system call per byte: every lookup scans its file's path.
bool IsLeadByte(char c) { return CProfileBytes::Get().IsLead(c); }

WORD ResolveLanguage(WORD wLangId)
{
    return wLangId == kSystemDefaultLanguage ? GetSystemDefaultLangID() : wLangId;
}

bool IsPathName(const char* pszFile)
{
    return FindSingleByteChar(pszFile, ':') != NULL || FindSingleByteChar(pszFile, '\\') != NULL;
}

CVxCiString JoinPath(const char* pszDirectory, const char* pszName)
{
    CVxCiString sPath(pszDirectory);
    if (sPath.empty() || sPath[sPath.size() - 1] != '\\') sPath += '\\';
    return sPath + pszName;
}

// Puts "directory\\name" at the front of the list when that file exists.
void AddCandidate(CVxCiStringList& candidates, const char* pszDirectory, const char* pszName)
{
    const CVxCiString sPath = JoinPath(pszDirectory, pszName);
    if (FileExists(sPath.c_str())) candidates.insert(candidates.begin(), sPath);
}

// The files a bare name stands for, those that exist, in lookup order: the Windows directory's,
// the current directory's, the program's directory's.
CVxCiStringList CandidateFiles(const char* pszFile)
{
    CVxCiStringList candidates;
    char szDirectory[MAX_PATH];
    if (GetModuleDirectory(NULL, szDirectory, sizeof(szDirectory))) AddCandidate(candidates, szDirectory, pszFile);
    const DWORD cchCurrent = GetCurrentDirectoryA(sizeof(szDirectory), szDirectory);
    if (cchCurrent > 0 && cchCurrent < sizeof(szDirectory)) AddCandidate(candidates, szDirectory, pszFile);
    // The Windows directory's copy is named by its full path: as a bare name the reader would
    // open it relative to the current directory, that is, read another file or none.
    if (GetWindowsFolder(szDirectory, sizeof(szDirectory))) AddCandidate(candidates, szDirectory, pszFile);
    return candidates;
}

void LowerCaseSingleBytes(char* psz)
{
    for (char* p = psz; *p;)
    {
        if (IsLeadByte(*p) && p[1])
        {
            p += 2;
            continue;
        }
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        ++p;
    }
}

// The program's own file with its extension replaced by ".dll", loaded the first time a
// string resource is needed and kept for the life of the process (also when it is missing).
HMODULE ResourceLibrary()
{
    static const HMODULE s_hLibrary = []() -> HMODULE {
        char szPath[MAX_PATH + 8];
        const DWORD cch = GetModuleFileNameA(NULL, szPath, MAX_PATH);
        if (cch == 0 || cch >= MAX_PATH) return NULL;
        szPath[cch] = '\0';
        // Only a dot in the file's own name starts its extension, not one in a directory.
        char* pszDot = NULL;
        for (char* p = szPath; *p;)
        {
            if (IsLeadByte(*p) && p[1])
            {
                p += 2;
                continue;
            }
            if (*p == '.') pszDot = p;
            if (*p == '\\' || *p == '/') pszDot = NULL;
            ++p;
        }
        if (!pszDot) pszDot = szPath + cch;
        lstrcpynA(pszDot, ".dll", 5);
        return LoadLibraryA(szPath);
    }();
    return s_hLibrary;
}

// Entry uId of the string table in hModule, bounded by the resource's size. An empty entry is
// missing.
bool FindStringResource(HMODULE hModule, UINT uId, WORD wLangId, const WCHAR** ppText, int* pcchText)
{
    if (uId > 0xFFFF) return false;  // string identifiers are 16-bit; larger blocks do not exist
    HRSRC hInfo = FindResourceExA(hModule, MAKEINTRESOURCEA(kStringTableType),
                                  MAKEINTRESOURCEA(static_cast<WORD>(uId / 16 + 1)), wLangId);
    if (!hInfo) return false;
    HGLOBAL hData = LoadResource(hModule, hInfo);
    const WCHAR* pBlock = hData ? static_cast<const WCHAR*>(LockResource(hData)) : NULL;
    if (!pBlock) return false;
    const size_t cwchBlock = SizeofResource(hModule, hInfo) / sizeof(WCHAR);
    size_t i = 0;
    for (UINT uEntry = 0; uEntry < uId % 16; ++uEntry)
    {
        if (i >= cwchBlock) return false;
        i += 1 + pBlock[i];
    }
    if (i >= cwchBlock) return false;
    const size_t cwch = pBlock[i];
    if (cwch == 0 || i + 1 + cwch > cwchBlock) return false;
    *ppText = pBlock + i + 1;
    *pcchText = static_cast<int>(cwch);
    return true;
}

bool ReadDataFileString(HMODULE hModule, UINT uId, WORD wLangId, CVxCiString* psText)
{
    char szModule[520];
    const DWORD cch = GetModuleFileNameA(hModule, szModule, sizeof(szModule));
    if (cch == 0 || cch >= sizeof(szModule)) return false;
    szModule[cch] = '\0';
    const CVxCiString sDataFile = CVxCiString(szModule) + ".dat";
    if (!FileExists(sDataFile.c_str())) return false;
    char szKey[16];
    std::snprintf(szKey, sizeof(szKey), "%u", uId);
    std::vector<char> buffer(2000);
    if (!GetValueByLang(sDataFile.c_str(), "Strings", szKey, buffer.data(), static_cast<DWORD>(buffer.size()), wLangId))
        return false;
    CVxCiString sText(buffer.data());
    ReplaceSubString(sText, "\\r", "\r");
    ReplaceSubString(sText, "\\n", "\n");
    ReplaceSubString(sText, "\\t", "\t");
    *psText = sText;
    return true;
}

}  // namespace

const char* FindSingleByteChar(const char* psz, char ch)
{
    if (!psz) return NULL;
    for (const char* p = psz; *p;)
    {
        if (IsLeadByte(*p) && p[1])
        {
            p += 2;
            continue;
        }
        if (*p == ch) return p;
        ++p;
    }
    return NULL;
}

BOOL FileExists(const char* pszName)
{
    if (!pszName) return FALSE;
    char szFull[MAX_PATH];
    const DWORD cch = GetFullPathNameA(pszName, sizeof(szFull), szFull, NULL);
    if (cch == 0 || cch >= sizeof(szFull)) return FALSE;
    return GetFileAttributesA(szFull) != INVALID_FILE_ATTRIBUTES;
}

BOOL GetDirectoryNameFromPath(const char* pszPath, char* pszOut, DWORD cbOut)
{
    if (!pszPath || !pszPath[0]) return FALSE;
    const char* pszSeparator = NULL;
    for (const char* p = pszPath; *p;)
    {
        if (IsLeadByte(*p) && p[1])
        {
            p += 2;
            continue;
        }
        if (*p == '\\' || *p == '/') pszSeparator = p;
        ++p;
    }
    if (!pszSeparator) return FALSE;
    const size_t cch = static_cast<size_t>(pszSeparator - pszPath);
    if (!pszOut || cch >= cbOut)
    {
        g_TraceLog.TraceFailure("Output buffer is too small\n");
        return FALSE;
    }
    std::memcpy(pszOut, pszPath, cch);
    pszOut[cch] = '\0';
    return TRUE;
}

BOOL GetModuleDirectory(HMODULE hModule, char* pszOut, DWORD cbOut)
{
    char szModule[MAX_PATH];
    const DWORD cch = GetModuleFileNameA(hModule, szModule, sizeof(szModule));
    if (cch == 0 || cch >= sizeof(szModule)) return FALSE;  // a cut path names another directory
    szModule[cch] = '\0';
    return GetDirectoryNameFromPath(szModule, pszOut, cbOut);
}

BOOL GetWindowsFolder(char* pszOut, UINT cbOut)
{
    if (!pszOut || cbOut == 0) return FALSE;
    const UINT cch = GetWindowsDirectoryA(pszOut, cbOut);
    if (cch == 0 || cch >= cbOut)
    {
        pszOut[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

void BuildLanguageQualifier(char* pszOut, WORD wLangId)
{
    if (!pszOut) return;
    std::snprintf(pszOut, QUALIFIER_BUFFER_SIZE, ".0x%X", static_cast<unsigned>(ResolveLanguage(wLangId)));
}

void BuildOSQualifierFor(char* pszOut, const CReleaseFacts& facts)
{
    if (!pszOut) return;
    std::snprintf(pszOut, QUALIFIER_BUFFER_SIZE, ".%s", GetOSVersionOf(facts).c_str());
}

void BuildServicePackQualifierFor(char* pszOut, const CReleaseFacts& facts)
{
    if (!pszOut) return;
    pszOut[0] = '\0';
    if (!IsNTRelease(facts) || facts.wServicePackMajor == RELEASE_SERVICE_PACK_UNKNOWN) return;
    std::snprintf(pszOut, QUALIFIER_BUFFER_SIZE, ".%d", static_cast<int>(facts.wServicePackMajor));
}

void BuildBuildQualifierFor(char* pszOut, const CReleaseFacts& facts)
{
    if (!pszOut) return;
    std::snprintf(pszOut, QUALIFIER_BUFFER_SIZE, ".%d", static_cast<int>(facts.dwBuildNumber & 0xFFFF));
    g_TraceLog.TraceAuto("build=%s", pszOut);
}

void BuildOSQualifier(char* pszOut)
{
    if (!pszOut) return;
    CReleaseFacts facts;
    GetRunningReleaseFacts(&facts);
    BuildOSQualifierFor(pszOut, facts);
}

void BuildServicePackQualifier(char* pszOut)
{
    if (!pszOut) return;
    CReleaseFacts facts;
    GetRunningReleaseFacts(&facts);
    BuildServicePackQualifierFor(pszOut, facts);
}

void BuildBuildQualifier(char* pszOut)
{
    if (!pszOut) return;
    CReleaseFacts facts;
    GetRunningReleaseFacts(&facts);
    BuildBuildQualifierFor(pszOut, facts);
}

BOOL GetValueByQualifier(const char* pszFile, const char* pszSection, const char* pszQualifier, const char* pszKey,
                         char* pszOut, DWORD cbOut)
{
    if (!pszFile || !pszOut) return FALSE;
    try
    {
        // A full name is its own only candidate: no list is built for it, as lookups by full
        // name are the many.
        const bool fFullName = IsPathName(pszFile);
        CVxCiStringList bareCandidates;
        if (fFullName)
        {
            if (!FileExists(pszFile)) return FALSE;
        }
        else
        {
            bareCandidates = CandidateFiles(pszFile);
            if (bareCandidates.empty()) return FALSE;
        }
        const size_t cCandidates = fFullName ? 1 : bareCandidates.size();

        // Each candidate in turn for one section name; no section lists the section names.
        const auto readSection = [&](const char* pszSectionName) -> bool {
            for (size_t i = 0; i < cCandidates; ++i)
            {
                const char* pszCandidate = fFullName ? pszFile : bareCandidates[i].c_str();
                g_TraceLog.TraceAuto("GetValueByQualifier(%s, %s, %s, %d)\n", OrNull(pszSectionName), OrNull(pszKey),
                                     pszCandidate, static_cast<int>(cbOut));
                if (ReadProfileString(pszSectionName, pszKey, "", pszOut, cbOut, pszCandidate) != 0) return true;
            }
            return false;
        };
        if (!pszSection) return readSection(NULL) ? TRUE : FALSE;
        if (pszQualifier && pszQualifier[0])
        {
            CVxCiString sQualified(pszSection);
            sQualified += '.';
            sQualified += pszQualifier;
            if (readSection(sQualified.c_str())) return TRUE;
        }
        return readSection(pszSection) ? TRUE : FALSE;
    }
    catch (...)
    {
        return FALSE;
    }
}

BOOL GetValueByLang(const char* pszFile, const char* pszSection, const char* pszKey, char* pszOut, DWORD cbOut,
                    WORD wLangId)
{
    if (!pszFile || !pszOut) return FALSE;
    try
    {
        const WORD wLanguage = ResolveLanguage(wLangId);
        char szQualifier[QUALIFIER_BUFFER_SIZE];
        BuildLanguageQualifier(szQualifier, wLanguage);
        const CVxCiString sExact = CVxCiString(pszSection ? pszSection : "") + szQualifier;
        if (GetValueByQualifier(pszFile, sExact.c_str(), NULL, pszKey, pszOut, cbOut)) return TRUE;
        BuildLanguageQualifier(szQualifier, static_cast<WORD>(wLanguage & kPrimaryLanguageMask));
        return GetValueByQualifier(pszFile, pszSection, szQualifier + 1, pszKey, pszOut, cbOut);
    }
    catch (...)
    {
        return FALSE;
    }
}

BOOL GetValueByOSFor(const CReleaseFacts& facts, const char* pszFile, const char* pszSection, const char* pszKey,
                     char* pszOut, DWORD cbOut)
{
    if (!pszFile || !pszOut) return FALSE;
    try
    {
        char szOS[QUALIFIER_BUFFER_SIZE];
        BuildOSQualifierFor(szOS, facts);
        CVxCiString sOSSection(pszSection ? pszSection : "");
        sOSSection += szOS;
        char szFiner[QUALIFIER_BUFFER_SIZE];
        if (IsNTRelease(facts))
        {
            BuildServicePackQualifierFor(szFiner, facts);
            const char* pszServicePack = szFiner[0] ? szFiner + 1 : "";
            if (GetValueByQualifier(pszFile, sOSSection.c_str(), pszServicePack, pszKey, pszOut, cbOut)) return TRUE;
            return GetValueByQualifier(pszFile, pszSection, NULL, pszKey, pszOut, cbOut);
        }
        BuildBuildQualifierFor(szFiner, facts);
        if (GetValueByQualifier(pszFile, sOSSection.c_str(), szFiner + 1, pszKey, pszOut, cbOut)) return TRUE;
        return GetValueByQualifier(pszFile, pszSection, szOS + 1, pszKey, pszOut, cbOut);
    }
    catch (...)
    {
        return FALSE;
    }
}

BOOL GetValueByOS(const char* pszFile, const char* pszSection, const char* pszKey, char* pszOut, DWORD cbOut)
{
    if (!pszFile || !pszOut) return FALSE;
    CReleaseFacts facts;
    GetRunningReleaseFacts(&facts);
    return GetValueByOSFor(facts, pszFile, pszSection, pszKey, pszOut, cbOut);
}

void LoadStringList(const char* pszFile, const char* pszSection, const char* pszQualifier, CVxCiStringList& list,
                    WORD wLangId, BOOL fLowerCase)
{
    if (!pszFile || !pszSection) return;
    try
    {
        char szValue[260];
        for (unsigned long n = 1;; ++n)
        {
            char szKey[16];
            std::snprintf(szKey, sizeof(szKey), "%lu", n);
            BOOL fFound;
            if (pszQualifier)
                fFound = GetValueByQualifier(pszFile, pszSection, pszQualifier, szKey, szValue, sizeof(szValue));
            else if (wLangId != 0)
                fFound = GetValueByLang(pszFile, pszSection, szKey, szValue, sizeof(szValue), wLangId);
            else
                fFound = GetValueByOS(pszFile, pszSection, szKey, szValue, sizeof(szValue));
            if (!fFound) break;
            g_TraceLog.TraceAuto("loading string %s from %s section %s\n", szValue, pszFile, pszSection);
            if (fLowerCase) LowerCaseSingleBytes(szValue);
            list.push_back(CVxCiString(szValue));
        }
    }
    catch (...)
    {
        // Out of memory: the list keeps what it had taken.
    }
}

BOOL ReplaceSubString(CVxCiString& sText, const char* pszFind, const char* pszReplacement)
{
    if (!pszFind || !pszFind[0]) return FALSE;
    if (!pszReplacement) pszReplacement = "";
    try
    {
        const size_t cchFind = std::strlen(pszFind);
        const size_t cchReplacement = std::strlen(pszReplacement);
        // A replacement that holds the find text would be found again for ever: then the
        // search goes on after each replacement instead of from the start.
        const bool fRestart = CVxCiString(pszReplacement).find(pszFind) == CVxCiString::npos;
        size_t i = sText.find(pszFind);
        if (i == CVxCiString::npos) return FALSE;
        while (i != CVxCiString::npos)
        {
            sText.replace(i, cchFind, pszReplacement);
            g_TraceLog.Trace(TRACE_GENERAL, "ReplaceSubString %s -> %s) \n", pszFind, pszReplacement);
            i = sText.find(pszFind, fRestart ? 0 : i + cchReplacement);
        }
        return TRUE;
    }
    catch (...)
    {
        return FALSE;
    }
}

BOOL CVxCiString::LoadLocalizedString(HMODULE hModule, UINT uId, WORD wLangId)
{
    try
    {
        if (ReadDataFileString(hModule, uId, wLangId, this)) return TRUE;

        const WCHAR* pText = NULL;
        int cchText = 0;
        const HMODULE hLibrary = ResourceLibrary();
        const HMODULE hOwn = hModule ? hModule : GetModuleHandleA(NULL);
        if (!(hLibrary && FindStringResource(hLibrary, uId, wLangId, &pText, &cchText)) &&
            !FindStringResource(hOwn, uId, wLangId, &pText, &cchText))
        {
            return FALSE;
        }
        const int cbText = WideCharToMultiByte(CP_ACP, 0, pText, cchText, NULL, 0, NULL, NULL);
        if (cbText <= 0) return FALSE;
        std::vector<char> buffer(static_cast<size_t>(cbText));
        if (WideCharToMultiByte(CP_ACP, 0, pText, cchText, buffer.data(), cbText, NULL, NULL) != cbText) return FALSE;
        assign(buffer.data(), buffer.size());
        return TRUE;
    }
    catch (...)
    {
        return FALSE;
    }
}
