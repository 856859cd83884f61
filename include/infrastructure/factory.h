// The device model database: the data files, the model files they name, one record per model,
// lookups by name, the platform's INF files and the medium's language map.
#ifndef INFRASTRUCTURE_FACTORY_H
#define INFRASTRUCTURE_FACTORY_H

#include <windows.h>

#include <map>
#include <memory>

#include "infrastructure/ci_string.h"
#include "infrastructure/device_model.h"
#include "infrastructure/vxinfra_api.h"

// Bit of the Init flags: load the device models of the data files' model files.
const DWORD FACTORY_LOAD_MODELS = 0x1;

// The lookups and Init are declared const for their callers, yet they fill the factory: the
// language map is built on first use and Init starts the database again.
class VXINFRA_API CFactory
{
public:
    // A path is loaded with Init (pszPath, dwFlags); every construction then sets the trace
    // log's mask from the debug settings.
    explicit CFactory(const char* pszPath = NULL, DWORD dwFlags = FACTORY_LOAD_MODELS);
    // The copy owns copies of the records, so each factory deletes only its own.
    CFactory(const CFactory& other);
    virtual ~CFactory();

    // pszPath: null for every "vx?ins??.dat" of the Windows directory; a path (with ':' or
    // '\\') as it is; a bare name from the module, current or Windows directory. The same
    // full path and flags as last time change nothing. pszLanguages replaces the media's
    // language lists. Always 1.
    UINT Init(const char* pszPath, DWORD dwFlags, const char* pszLanguages = NULL) const;

    // The record named pszName, else the first (in name order) whose driver name occurs in
    // pszName, else the default record, whose IsSupported() is 0. Valid until the next Init.
    const CDeviceModel& FactorADeviceModel(const char* pszName) const;

    const CVxCiStringList& GetModelList() const;
    const CVxCiStringList& GetInfFileList() const;
    const CVxCiStringList& GetInstallerFileList() const;

    // Builds the language map unless it is built: 1, or 0 when a data file lacks a required
    // key (the map is then tried again on the next lookup).
    UINT InitLanguageMap() const;
    // The identifier the map gives a three-letter name; GetUserDefaultLangID() when none.
    WORD GetLanguageId(const char* pszLanguage) const;
    // The three-letter name of an identifier, else the default language; valid until the
    // next Init.
    const char* Get3LetterLanguage(WORD wLangId) const;

private:
    CFactory& operator=(const CFactory&);

    typedef std::map<CVxCiString, std::unique_ptr<CDeviceModel> > CModelMap;

    UINT LoadModelFile(const char* pszFile) const;
    LONG FillFileList(const char* pszFile, const char* pszSection, CVxCiStringList& list) const;
    void FillInstallerFileList(const char* pszPath) const;
    void LoadModelFiles() const;
    void AddModel(std::unique_ptr<CDeviceModel> pModel) const;
    void DeleteModels() const;
    void Clear() const;

    mutable DWORD m_dwFlags;
    CDeviceModel m_DefaultModel;
    mutable CModelMap m_Models;
    mutable CVxCiStringList m_ModelList;
    mutable CVxCiStringList m_InfFileList;
    mutable CVxCiStringList _insFileList;
    mutable CVxCiStringList m_LanguageIdList;
    mutable CVxCiStringList m_LanguageNameList;
    mutable CVxCiString m_sDefaultLanguage;
    mutable CVxCiString m_sLanguageOverride;
};

// The process-wide factory: constructed at start-up right after the trace log, with no path
// and flags 1, so it loads nothing then but sets the trace mask.
VXINFRA_API extern CFactory g_Factory;

#endif
