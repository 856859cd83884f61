#include "infrastructure/media_checks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diag/trace_log.h"
#include "file_presence.h"
#include "infrastructure/qualified_values.h"
#include "vx_owners.h"

namespace
{

// "Version" keys are read in the system's default language, in buffers of this size.
const WORD kSystemDefaultLanguage = 0x800;
const DWORD kVersionValueSize = 32;
const DWORD kNameValueSize = 260;
const char kDefaultManufacturer[] = "Quorvane";

// The path ends in a real backslash, not in the trail byte of a double-byte character.
bool EndsInBackslash(const char* pszPath)
{
    const char* pszLast = NULL;
    for (const char* p = pszPath; *p;)
    {
        pszLast = p;
        p += (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) ? 2 : 1;
    }
    return pszLast && *pszLast == '\\' && pszLast[1] == '\0';
}

bool ReadVersionValue(const CVxCiString& sFile, const char* pszKey, char* pszOut, DWORD cbOut, WORD wLangId)
{
    return GetValueByLang(sFile.c_str(), "Version", pszKey, pszOut, cbOut, wLangId) != FALSE;
}

// The Windows directory's copy of the medium's data file, when its name can be built.
bool InstalledDataFilePath(const CVxCiString& sMediumFile, CVxCiString* psPath)
{
    char szDivision[kVersionValueSize];
    if (!ReadVersionValue(sMediumFile, "DIVISION", szDivision, sizeof(szDivision), kSystemDefaultLanguage))
        return false;
    char szRelease[kVersionValueSize];
    if (!ReadVersionValue(sMediumFile, "COEXIST_RELEASE_NUM", szRelease, sizeof(szRelease), kSystemDefaultLanguage) &&
        !ReadVersionValue(sMediumFile, "VER_OVA", szRelease, sizeof(szRelease), kSystemDefaultLanguage))
    {
        return false;
    }
    char szWindows[MAX_PATH];
    if (!GetWindowsFolder(szWindows, sizeof(szWindows))) return false;
    char szName[kVersionValueSize + 48];
    std::snprintf(szName, sizeof(szName), "%sins%2.2ld.dat", szDivision, std::strtol(szRelease, NULL, 10));
    *psPath = CVxCiString(szWindows);
    if (!EndsInBackslash(szWindows)) *psPath += '\\';
    *psPath += szName;
    return true;
}

// Replaces the medium's path by the installed data file of the same driver version.
void PreferInstalledDataFile(CVxCiString& sPath)
{
    CVxCiString sInstalled;
    if (!InstalledDataFilePath(sPath, &sInstalled) || !IsPathPresent(sInstalled.c_str())) return;
    g_TraceLog.TraceAuto("looking for %s in windows folder\n", sInstalled.c_str());
    char szMediumVersion[kVersionValueSize];
    char szInstalledVersion[kVersionValueSize];
    if (ReadVersionValue(sPath, "DriverVer", szMediumVersion, sizeof(szMediumVersion), kSystemDefaultLanguage) &&
        ReadVersionValue(sInstalled, "DriverVer", szInstalledVersion, sizeof(szInstalledVersion),
                         kSystemDefaultLanguage) &&
        std::strcmp(szMediumVersion, szInstalledVersion) == 0)
    {
        sPath = sInstalled;
    }
}

}  // namespace

unsigned GetAutorunInfPathForModule(const char* pszModulePath, CVxCiString& sPath, const char* pszRelative)
{
    try
    {
        char szDirectory[MAX_PATH];
        if (!GetDirectoryNameFromPath(pszModulePath, szDirectory, sizeof(szDirectory)))
        {
            g_TraceLog.TraceFailure("%s failed\n", "GetDirectoryNameFromPath");
            return 0;
        }
        sPath = CVxCiString(szDirectory) + (pszRelative ? pszRelative : "") + "autorun.inf";
        char szFull[MAX_PATH];
        const DWORD cchFull = GetFullPathNameA(sPath.c_str(), sizeof(szFull), szFull, NULL);
        if (cchFull > 0 && cchFull < sizeof(szFull)) sPath = szFull;
        PreferInstalledDataFile(sPath);
        return 1;
    }
    catch (...)
    {
        return 0;
    }
}

unsigned GetAutorunInfPath(CVxCiString& sPath, const char* pszRelative)
{
    char szModule[MAX_PATH];
    const DWORD cch = GetModuleFileNameA(NULL, szModule, sizeof(szModule));
    if (cch == 0 || cch >= sizeof(szModule))
    {
        g_TraceLog.TraceFailure("%s failed\n", "GetModuleFileName");
        return 0;
    }
    szModule[cch] = '\0';
    return GetAutorunInfPathForModule(szModule, sPath, pszRelative);
}

unsigned IsDriverSetAlreadyInstalled(const CVxCiString& sDataFile, WORD wLangId, const CVxCiString& sCdGuid)
{
    try
    {
        g_TraceLog.Trace(TRACE_ENTRY, "IsDriverSetAlreadyInstalled(%s,%x)\n", sDataFile.c_str(),
                         static_cast<unsigned>(wLangId));
        char szManufacturer[kNameValueSize];
        if (!ReadVersionValue(sDataFile, "RegistryManufacturer", szManufacturer, sizeof(szManufacturer), wLangId) &&
            !ReadVersionValue(sDataFile, "Manufacturer", szManufacturer, sizeof(szManufacturer), wLangId))
        {
            lstrcpynA(szManufacturer, kDefaultManufacturer, sizeof(szManufacturer));
        }
        const CVxCiString sKeyPath = CVxCiString("SOFTWARE\\") + szManufacturer + "\\Installed Products";
        CUniqueRegKey key;
        const LONG lOpen = RegOpenKeyExA(HKEY_LOCAL_MACHINE, sKeyPath.c_str(), 0, KEY_READ, key.Put());
        if (lOpen != ERROR_SUCCESS)
        {
            g_TraceLog.Trace(TRACE_EXIT, "IsDriverSetAlreadyInstalled returns Win32 error =%d\n", static_cast<int>(lOpen));
            return 0;
        }
        char szGuid[kNameValueSize];
        if (!sCdGuid.empty())
        {
            lstrcpynA(szGuid, sCdGuid.c_str(), sizeof(szGuid));
        }
        else if (!ReadVersionValue(sDataFile, "CDGuid", szGuid, sizeof(szGuid), wLangId))
        {
            g_TraceLog.TraceFailure("%s failed\n", "Missing CDGuid in autotun.inf\n");
            return 0;
        }
        const LONG lQuery = RegQueryValueExA(key.Get(), szGuid, NULL, NULL, NULL, NULL);
        g_TraceLog.Trace(TRACE_EXIT, "IsDriverSetAlreadyInstalled returns Win32 error =%d\n", static_cast<int>(lQuery));
        return lQuery == ERROR_SUCCESS ? 1 : 0;
    }
    catch (...)
    {
        return 0;
    }
}

void AddTrailingBackslash(char* pszPath)
{
    if (!pszPath || EndsInBackslash(pszPath)) return;
    const size_t cch = std::strlen(pszPath);
    pszPath[cch] = '\\';
    pszPath[cch + 1] = '\0';
}

bool AddTrailingBackslash(char* pszPath, size_t cbPath)
{
    if (!pszPath) return false;
    if (EndsInBackslash(pszPath)) return true;
    const size_t cch = std::strlen(pszPath);
    if (cch + 2 > cbPath) return false;
    pszPath[cch] = '\\';
    pszPath[cch + 1] = '\0';
    return true;
}

BOOL GetModuleFolder(char* pszOut)
{
    if (!pszOut) return FALSE;
    pszOut[0] = '\0';
    char szModule[MAX_PATH];
    const DWORD cch = GetModuleFileNameA(NULL, szModule, sizeof(szModule));
    if (cch == 0 || cch >= sizeof(szModule)) return FALSE;
    szModule[cch] = '\0';
    char szDirectory[MAX_PATH];
    if (!GetDirectoryNameFromPath(szModule, szDirectory, sizeof(szDirectory))) return FALSE;
    if (!AddTrailingBackslash(szDirectory, sizeof(szDirectory))) return FALSE;
    lstrcpynA(pszOut, szDirectory, MAX_PATH);
    return TRUE;
}
