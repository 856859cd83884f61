#include "infrastructure/factory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/command_line.h"
#include "infrastructure/os_version.h"
#include "infrastructure/profile_reader.h"
#include "infrastructure/qualified_values.h"
#include "vx_owners.h"

namespace
{

const char kVersionSection[] = "Version";
const char kDatabaseListKey[] = "InfrastructureDatabaseList";
const char kModelsSection[] = "Models";
const char kDataFilePattern[] = "%s\\vx?ins??.dat";
const char kModelFileSeparators[] = " ,\t\n";
const WORD kSystemDefaultLanguage = 0x800;
const DWORD kDatabaseListBufferSize = 1024;
const DWORD kModelsBufferSize = 1024;
const DWORD kInfListBufferSize = 4096;
// Sections and key lists are read again with a doubled buffer while the reader reports the
// buffer as too small, up to this size; a bigger section is refused.
const DWORD kListBufferLimit = 1024 * 1024;

bool IsPath(const char* pszName) { return std::strchr(pszName, ':') || std::strchr(pszName, '\\'); }

CVxCiString WindowsDirectory()
{
    char szDirectory[MAX_PATH + 1] = "";
    const UINT cch = GetWindowsDirectoryA(szDirectory, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return CVxCiString();
    return CVxCiString(szDirectory);
}

CVxCiString CurrentDirectory()
{
    char szDirectory[MAX_PATH + 1] = "";
    const DWORD cch = GetCurrentDirectoryA(MAX_PATH, szDirectory);
    if (cch == 0 || cch >= MAX_PATH) return CVxCiString();
    return CVxCiString(szDirectory);
}

CVxCiString ModuleDirectory()
{
    char szDirectory[MAX_PATH + 1] = "";
    if (!GetModuleDirectory(NULL, szDirectory, MAX_PATH)) return CVxCiString();
    return CVxCiString(szDirectory);
}

CVxCiString DirectoryOf(const CVxCiString& sPath)
{
    std::vector<char> directory(sPath.size() + 1, '\0');
    if (!GetDirectoryNameFromPath(sPath.c_str(), &directory[0], static_cast<DWORD>(directory.size())))
    {
        return CVxCiString();
    }
    return CVxCiString(&directory[0]);
}

// A NUL-separated list as the profile reader returns it, read with a buffer that starts at
// cbStart and is doubled while the reader says it is too small (it returns nSize - 2 then).
class CProfileList
{
public:
    template <class TRead>
    bool Read(DWORD cbStart, TRead read)
    {
        for (DWORD cb = cbStart;; cb *= 2)
        {
            m_buffer.assign(cb, '\0');
            m_cch = read(&m_buffer[0], cb);
            if (m_cch != cb - 2) return true;
            if (cb >= kListBufferLimit) return false;
        }
    }
    // The entries in order; the walk stops at the count or an empty entry.
    std::vector<const char*> Entries() const
    {
        std::vector<const char*> entries;
        for (DWORD i = 0; i < m_cch && m_buffer[i] != '\0';)
        {
            const char* pszEntry = &m_buffer[i];
            entries.push_back(pszEntry);
            i += static_cast<DWORD>(std::strlen(pszEntry)) + 1;
        }
        return entries;
    }

private:
    std::vector<char> m_buffer;
    DWORD m_cch = 0;
};

// "key=value" lines name model sections by their values; the keys carry no meaning.
const char* ModelSectionOf(const char* pszLine)
{
    const char* pszEquals = std::strchr(pszLine, '=');
    if (!pszEquals) return NULL;
    const char* pszSection = pszEquals + 1;
    while (*pszSection == ' ') ++pszSection;
    return pszSection;
}

}  // namespace

CFactory::CFactory(const char* pszPath, DWORD dwFlags) : m_dwFlags(0), m_sDefaultLanguage("ENU")
{
    const bool fHavePath = pszPath && *pszPath;
    if (fHavePath) Init(pszPath, dwFlags, NULL);
    try
    {
        CDebugSettings settings;
        g_TraceLog.SetMask(settings.GetTraceMask(fHavePath ? pszPath : NULL));
    }
    catch (...)
    {
        g_TraceLog.TraceFailure("%s failed\n", "No memory for the debug settings");
    }
}

CFactory::CFactory(const CFactory& other) : m_dwFlags(other.m_dwFlags), m_DefaultModel(other.m_DefaultModel)
{
    try
    {
        for (const CModelMap::value_type& entry : other.m_Models)
        {
            std::unique_ptr<CDeviceModel> pCopy(new CDeviceModel(*entry.second));
            m_Models.emplace(entry.first, std::move(pCopy));
        }
        m_ModelList = other.m_ModelList;
        m_InfFileList = other.m_InfFileList;
        _insFileList = other._insFileList;
        m_LanguageIdList = other.m_LanguageIdList;
        m_LanguageNameList = other.m_LanguageNameList;
        m_sDefaultLanguage = other.m_sDefaultLanguage;
        m_sLanguageOverride = other.m_sLanguageOverride;
    }
    catch (...)
    {
        // A copy that could not be made whole is left empty rather than half filled.
        g_TraceLog.TraceFailure("%s failed\n", "No memory to copy the CFactory");
        Clear();
        DeleteModels();
        m_sDefaultLanguage = "ENU";
    }
}

CFactory::~CFactory() { DeleteModels(); }

UINT CFactory::Init(const char* pszPath, DWORD dwFlags, const char* pszLanguages) const
{
    try
    {
        const char* pszOverride = pszLanguages ? pszLanguages : "";
        if (pszPath && IsPath(pszPath) && !_insFileList.empty() && _insFileList.front() == pszPath &&
            dwFlags == m_dwFlags && m_sLanguageOverride == pszOverride)
        {
            return 1;
        }
        Clear();
        m_dwFlags = dwFlags;
        m_sLanguageOverride = pszOverride;
        DeleteModels();
        FillInstallerFileList(pszPath);
        if (m_dwFlags & FACTORY_LOAD_MODELS) LoadModelFiles();
    }
    catch (...)
    {
        g_TraceLog.TraceFailure("%s failed\n", "No memory to load the device models");
    }
    return 1;
}

void CFactory::Clear() const
{
    m_InfFileList.clear();
    _insFileList.clear();
    m_ModelList.clear();
    m_LanguageIdList.clear();
    m_LanguageNameList.clear();
    m_sDefaultLanguage = "ENU";
}

void CFactory::DeleteModels() const
{
    for (CModelMap::value_type& entry : m_Models)
    {
        g_TraceLog.TraceAuto("Deleting %s for key %s\n", entry.second->GetDriverName(), entry.first.c_str());
        entry.second.reset();
    }
    m_Models.clear();
}

void CFactory::FillInstallerFileList(const char* pszPath) const
{
    if (!pszPath || !*pszPath)
    {
        const CVxCiString sWindows = WindowsDirectory();
        if (sWindows.empty()) return;
        std::vector<char> pattern(sWindows.size() + sizeof(kDataFilePattern), '\0');
        std::snprintf(&pattern[0], pattern.size(), kDataFilePattern, sWindows.c_str());
        WIN32_FIND_DATAA found;
        CUniqueFind find(FindFirstFileA(&pattern[0], &found));
        if (!find.IsValid()) return;
        do
        {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            {
                _insFileList.push_back(sWindows + "\\" + found.cFileName);
            }
        } while (FindNextFileA(find.Get(), &found));
        return;
    }
    if (IsPath(pszPath))
    {
        _insFileList.push_back(pszPath);
        return;
    }
    const CVxCiString places[] = {ModuleDirectory(), CurrentDirectory(), WindowsDirectory()};
    for (const CVxCiString& sPlace : places)
    {
        if (sPlace.empty()) continue;
        const CVxCiString sCandidate = sPlace + "\\" + pszPath;
        if (FileExists(sCandidate.c_str()))
        {
            _insFileList.push_back(sCandidate);
            return;
        }
    }
}

void CFactory::LoadModelFiles() const
{
    CVxCiStringList modelFiles;
    for (const CVxCiString& sDataFile : _insFileList)
    {
        char szList[kDatabaseListBufferSize] = "";
        if (!GetValueByLang(sDataFile.c_str(), kVersionSection, kDatabaseListKey, szList, sizeof(szList),
                            kSystemDefaultLanguage))
        {
            continue;
        }
        szList[sizeof(szList) - 1] = '\0';
        const CVxCiString sDirectory = DirectoryOf(sDataFile);
        for (const char* p = szList; *p;)
        {
            const size_t cchPiece = std::strcspn(p, kModelFileSeparators);
            if (cchPiece) modelFiles.push_back(sDirectory + "\\" + CVxCiString(p, cchPiece));
            p += cchPiece;
            if (*p) ++p;
        }
    }
    std::stable_sort(modelFiles.begin(), modelFiles.end());
    for (const CVxCiString& sModelFile : modelFiles)
    {
        LoadModelFile(sModelFile.c_str());
    }
}

UINT CFactory::LoadModelFile(const char* pszFile) const
{
    CProfileList section;
    const bool fWhole = section.Read(kModelsBufferSize, [pszFile](char* pszBuffer, DWORD cb) {
        return ReadProfileSection(kModelsSection, pszBuffer, cb, pszFile);
    });
    if (!fWhole)
    {
        g_TraceLog.TraceFailure("%s failed\n", "Insufficient buffer to retrieve section names");
        return 0;
    }
    for (const char* pszLine : section.Entries())
    {
        g_TraceLog.TraceAuto("%s\n", pszLine);
        const char* pszSection = ModelSectionOf(pszLine);
        if (!pszSection) continue;
        std::unique_ptr<CDeviceModel> pModel(new (std::nothrow) CDeviceModel);
        if (!pModel)
        {
            g_TraceLog.TraceAuto("%s failed\n", "No memory for CDeviceModel");
            return 0;
        }
        if (!pModel->Init(pszSection, pszFile))
        {
            g_TraceLog.TraceAuto("%s failed\n", "Failed to Init CDeviceModel");
            return 0;
        }
        AddModel(std::move(pModel));
    }
    char szSection[32];
    std::snprintf(szSection, sizeof(szSection), "INFList.%d", static_cast<int>(GetOSVersionRecord().dwPlatformId));
    FillFileList(pszFile, szSection, m_InfFileList);
    return 1;
}

void CFactory::AddModel(std::unique_ptr<CDeviceModel> pModel) const
{
    const CVxCiString sName = pModel->GetModelName();
    const CModelMap::iterator it = m_Models.find(sName);
    if (it != m_Models.end())
    {
        g_TraceLog.TraceFailure("WARNING: Found multiple instances of device model \"%s\"\n", sName.c_str());
        it->second = std::move(pModel);
        return;
    }
    // Only a complete record goes into the map: lookups and DeleteModels dereference every slot.
    m_ModelList.push_back(sName);
    try
    {
        m_Models.emplace(sName, std::move(pModel));
    }
    catch (...)
    {
        m_ModelList.pop_back();
        throw;
    }
}

LONG CFactory::FillFileList(const char* pszFile, const char* pszSection, CVxCiStringList& list) const
{
    CProfileList keys;
    const bool fWhole = keys.Read(kInfListBufferSize, [pszFile, pszSection](char* pszBuffer, DWORD cb) {
        return ReadProfileString(pszSection, NULL, "", pszBuffer, cb, pszFile);
    });
    std::vector<const char*> names = keys.Entries();
    // At the size limit the last name is cut off; it is dropped rather than listed wrong.
    if (!fWhole && !names.empty()) names.pop_back();
    if (names.empty())
    {
        g_TraceLog.TraceAuto("FillFileList failed!\n");
        return 2;
    }
    for (const char* pszName : names)
    {
        if (*pszName != ';') list.push_back(pszName);
    }
    return 0;
}

const CDeviceModel& CFactory::FactorADeviceModel(const char* pszName) const
{
    if (!pszName)
    {
        g_TraceLog.TraceAuto("Failed to find %s\n", "(null)");
        return m_DefaultModel;
    }
    try
    {
        const CVxCiString sName(pszName);
        CModelMap::const_iterator it = m_Models.find(sName);
        if (it != m_Models.end()) return *it->second;
        for (const CModelMap::value_type& entry : m_Models)
        {
            if (sName.find(entry.second->GetDriverName()) != CVxCiString::npos) return *entry.second;
        }
    }
    catch (...)
    {
    }
    g_TraceLog.TraceAuto("Failed to find %s\n", pszName);
    return m_DefaultModel;
}

// Accessors live here, not in the header, so that programs loading the library find them
// among its exports.
const CVxCiStringList& CFactory::GetModelList() const
{
    return m_ModelList;
}

const CVxCiStringList& CFactory::GetInfFileList() const
{
    return m_InfFileList;
}

const CVxCiStringList& CFactory::GetInstallerFileList() const
{
    return _insFileList;
}
