#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/factory.h"
#include "infrastructure/qualified_values.h"
#include "model_text.h"

namespace
{

const char kVersionSection[] = "Version";
const char kLanguageMapSection[] = "LanguageMap";
const char kLanguagesKey[] = "LanguagesInthisCD";
const char kDefaultLanguageKey[] = "DefaultLanguageInThisRelease";
const WORD kSystemDefaultLanguage = 0x800;
const DWORD kLanguagesBufferSize = 64512;
const DWORD kLanguageMapKeysBufferSize = 64512;
// Three letters and the terminator: longer names are cut to their first three letters.
const DWORD kLanguageNameBufferSize = 4;

const WORD kPrimaryLanguageMask = 0x3FF;

DWORD ParseHex(const char* pszText) { return static_cast<DWORD>(std::strtoul(pszText, NULL, 16)); }

// A three-letter name read into a four-byte buffer that starts as pszInitial.
struct LanguageName
{
    explicit LanguageName(const char* pszInitial) { lstrcpynA(sz, pszInitial, sizeof(sz)); }
    char sz[kLanguageNameBufferSize];
};

// The key names of the data file's language map (an OS-qualified map with keys replaces the
// plain one), last key first; one empty name when the map has none.
std::list<CVxCiString> LanguageMapKeysReversed(const char* pszDataFile)
{
    std::vector<char> keys(kLanguageMapKeysBufferSize, '\0');
    GetValueByOS(pszDataFile, kLanguageMapSection, NULL, &keys[0], kLanguageMapKeysBufferSize);
    keys[kLanguageMapKeysBufferSize - 1] = '\0';
    keys[kLanguageMapKeysBufferSize - 2] = '\0';
    std::list<CVxCiString> names;
    for (const char* p = &keys[0]; *p; p += std::strlen(p) + 1)
    {
        names.push_front(p);
    }
    if (names.empty()) names.push_back(CVxCiString());
    return names;
}

}  // namespace

UINT CFactory::InitLanguageMap() const
{
    if (!m_LanguageIdList.empty() && !m_LanguageNameList.empty()) return 1;
    try
    {
        const DWORD dwStart = GetTickCount();
        g_TraceLog.Trace(TRACE_ENTRY, "Start languages %lu\n", dwStart);

        // The gathered names grow as needed, so no medium's list is cut.
        CVxCiString sGathered;
        LanguageName defaultName("enu");
        if (m_sLanguageOverride.empty())
        {
            std::vector<char> languages(kLanguagesBufferSize, '\0');
            for (const CVxCiString& sDataFile : _insFileList)
            {
                languages[0] = '\0';
                if (!GetValueByQualifier(sDataFile.c_str(), kVersionSection, NULL, kLanguagesKey, &languages[0],
                                         kLanguagesBufferSize))
                {
                    g_TraceLog.TraceFailure("%s failed\n",
                                            "GetValueByQualifier(\tf->c_str(), _T(Version), _T(LanguagesInthisCD)");
                    return 0;
                }
                languages[kLanguagesBufferSize - 1] = '\0';
                sGathered += &languages[0];
                sGathered += ",";
                if (!GetValueByQualifier(sDataFile.c_str(), kVersionSection, NULL, kDefaultLanguageKey, defaultName.sz,
                                         sizeof(defaultName.sz)))
                {
                    g_TraceLog.TraceFailure(
                        "%s failed\n", "GetValueByQualifier(\tf->c_str(), _T(Version), _T(DefaultLanguageInThisRelease)");
                    return 0;
                }
            }
        }
        else
        {
            sGathered = m_sLanguageOverride;
            // Without a data file there is nothing to read the default from: it stays as it is.
            if (!_insFileList.empty())
            {
                if (!GetValueByLang(_insFileList.front().c_str(), kVersionSection, kDefaultLanguageKey, defaultName.sz,
                                    sizeof(defaultName.sz), kSystemDefaultLanguage))
                {
                    g_TraceLog.TraceFailure(
                        "%s failed\n",
                        "GetValueByLang(\t_insFileList.begin()->c_str(), _T(Version), _T(DefaultLanguageInThisRelease)");
                    return 0;
                }
            }
            else
            {
                lstrcpynA(defaultName.sz, m_sDefaultLanguage.c_str(), sizeof(defaultName.sz));
            }
        }
        defaultName.sz[sizeof(defaultName.sz) - 1] = '\0';
        MakeUpperAscii(sGathered);
        CVxCiString sDefault(defaultName.sz);
        MakeUpperAscii(sDefault);
        m_sDefaultLanguage = sDefault;

        for (const CVxCiString& sDataFile : _insFileList)
        {
            for (const CVxCiString& sId : LanguageMapKeysReversed(sDataFile.c_str()))
            {
                LanguageName name("xxx");
                GetValueByOS(sDataFile.c_str(), kLanguageMapSection, sId.c_str(), name.sz, sizeof(name.sz));
                name.sz[sizeof(name.sz) - 1] = '\0';
                CVxCiString sName(name.sz);
                MakeUpperAscii(sName);
                const bool fOnMedium = !sName.empty() && sName != "xxx" && sGathered.find(sName) != CVxCiString::npos;
                if (fOnMedium)
                {
                    m_LanguageIdList.insert(m_LanguageIdList.begin(), sId);
                    m_LanguageNameList.insert(m_LanguageNameList.begin(), sName);
                }
                else
                {
                    m_LanguageIdList.push_back(sId);
                    m_LanguageNameList.push_back(m_sDefaultLanguage);
                }
                const DWORD dwId = ParseHex(sId.c_str());
                g_TraceLog.Trace(TRACE_GENERAL, "%s\t(%d,%d)\t\tmapped to %s code page=%d\n", sId.c_str(),
                                 static_cast<int>(dwId & kPrimaryLanguageMask), static_cast<int>(dwId >> 10),
                                 fOnMedium ? sName.c_str() : m_sDefaultLanguage.c_str(), -1);
            }
        }

        const DWORD dwFinish = GetTickCount();
        g_TraceLog.Trace(TRACE_EXIT, "Finish languages %lu %lu\n", dwFinish, dwFinish - dwStart);
        return 1;
    }
    catch (...)
    {
        // A half-built map would count as built: start again on the next lookup.
        m_LanguageIdList.clear();
        m_LanguageNameList.clear();
        g_TraceLog.TraceFailure("%s failed\n", "No memory for the language map");
        return 0;
    }
}

WORD CFactory::GetLanguageId(const char* pszLanguage) const
{
    if (!pszLanguage) return GetUserDefaultLangID();
    try
    {
        // Copied first: the name may point into this factory's map, which the build replaces.
        const CVxCiString sLanguage(pszLanguage);
        InitLanguageMap();
        for (size_t i = 0; i < m_LanguageNameList.size() && i < m_LanguageIdList.size(); ++i)
        {
            if (m_LanguageNameList[i] == sLanguage) return static_cast<WORD>(ParseHex(m_LanguageIdList[i].c_str()));
        }
    }
    catch (...)
    {
    }
    return GetUserDefaultLangID();
}

const char* CFactory::Get3LetterLanguage(WORD wLangId) const
{
    InitLanguageMap();
    char szId[16];
    std::snprintf(szId, sizeof(szId), "0x%4.4X", static_cast<unsigned>(wLangId));
    for (size_t i = 0; i < m_LanguageIdList.size() && i < m_LanguageNameList.size(); ++i)
    {
        if (m_LanguageIdList[i] == szId) return m_LanguageNameList[i].c_str();
    }
    return m_sDefaultLanguage.c_str();
}

BOOL CVxCiString::LoadLocalizedString(HMODULE hModule, UINT uId, const char* pszLanguageName)
{
    WORD wLangId;
    try
    {
        if (pszLanguageName)
        {
            wLangId = g_Factory.GetLanguageId(pszLanguageName);
        }
        else
        {
            // The user's primary language with the sublanguage the medium's map gives it.
            const WORD wUser = GetUserDefaultLangID();
            const CVxCiString sUserLanguage(g_Factory.Get3LetterLanguage(wUser));
            const WORD wMapped = g_Factory.GetLanguageId(sUserLanguage.c_str());
            wLangId = static_cast<WORD>((wUser & kPrimaryLanguageMask) | (wMapped & ~kPrimaryLanguageMask));
        }
    }
    catch (...)
    {
        return FALSE;
    }
    return LoadLocalizedString(hModule, uId, wLangId);
}
