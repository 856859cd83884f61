// Lookups of one key over qualified section names (Strings.0x409, Version.501.2, ...) and over
// the candidate copies of a data file; numbered string lists; path helpers of the data files.
#ifndef INFRASTRUCTURE_QUALIFIED_VALUES_H
#define INFRASTRUCTURE_QUALIFIED_VALUES_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/release_facts.h"
#include "infrastructure/vxinfra_api.h"

// The buffer size every qualifier builder may write (its longest text and the terminator).
const size_t QUALIFIER_BUFFER_SIZE = 16;

// Looks for a non-empty value of pszKey in section "pszSection.pszQualifier" (when the
// qualifier is non-empty), then in pszSection, of every candidate file. A name with ':' or '\\'
// is the only candidate; a bare name is looked for in the Windows directory, the current
// directory and the program's directory, tried in that order. No candidate: FALSE, buffer
// untouched; else FALSE leaves an empty string.
VXINFRA_API BOOL GetValueByQualifier(const char* pszFile, const char* pszSection, const char* pszQualifier,
                                     const char* pszKey, char* pszOut, DWORD cbOut);
// Section.0x<language>, then Section.0x<primary language>, then Section. 0x800 is the system's
// default language.
VXINFRA_API BOOL GetValueByLang(const char* pszFile, const char* pszSection, const char* pszKey, char* pszOut,
                                DWORD cbOut, WORD wLangId);
// NT: Section.<os>.<service pack>, Section.<os>, Section. 9x: Section.<os>.<build>,
// Section.<os>, Section.
VXINFRA_API BOOL GetValueByOS(const char* pszFile, const char* pszSection, const char* pszKey, char* pszOut,
                              DWORD cbOut);
// The same lookup as the given release would make it.
VXINFRA_API BOOL GetValueByOSFor(const CReleaseFacts& facts, const char* pszFile, const char* pszSection,
                                 const char* pszKey, char* pszOut, DWORD cbOut);

// Each builder writes a text that starts with a dot into a buffer of at least
// QUALIFIER_BUFFER_SIZE bytes, and does nothing for a null buffer.
VXINFRA_API void BuildLanguageQualifier(char* pszOut, WORD wLangId);  // ".0x409"
VXINFRA_API void BuildOSQualifier(char* pszOut);                      // ".501"
VXINFRA_API void BuildServicePackQualifier(char* pszOut);             // ".2" on NT, "" on 9x
VXINFRA_API void BuildBuildQualifier(char* pszOut);                   // ".2222"
// The same for a given release; the forms above pass the running system's facts.
VXINFRA_API void BuildOSQualifierFor(char* pszOut, const CReleaseFacts& facts);
VXINFRA_API void BuildServicePackQualifierFor(char* pszOut, const CReleaseFacts& facts);
VXINFRA_API void BuildBuildQualifierFor(char* pszOut, const CReleaseFacts& facts);

// Appends the values of keys "1", "2", ... up to the first missing or empty one. The lookup is
// by qualifier when one is given, else by language when wLangId is nonzero, else by OS.
VXINFRA_API void LoadStringList(const char* pszFile, const char* pszSection, const char* pszQualifier,
                                CVxCiStringList& list, WORD wLangId, BOOL fLowerCase);

// Replaces every occurrence of pszFind (case ignored), searching again from the start after
// each replacement; TRUE when one was made. An empty find text changes nothing.
VXINFRA_API BOOL ReplaceSubString(CVxCiString& sText, const char* pszFind, const char* pszReplacement);

// The part before the last '/' or '\\', without it. FALSE for no separator or no room.
VXINFRA_API BOOL GetDirectoryNameFromPath(const char* pszPath, char* pszOut, DWORD cbOut);
// The directory of hModule's file (null: the program's own).
VXINFRA_API BOOL GetModuleDirectory(HMODULE hModule, char* pszOut, DWORD cbOut);
// True for an existing file or directory.
VXINFRA_API BOOL FileExists(const char* pszName);

// Whether GetWindowsDirectoryA filled the buffer (no trailing backslash, except at a root).
BOOL GetWindowsFolder(char* pszOut, UINT cbOut);

// The first ch outside double-byte characters of the active code page, or null.
const char* FindSingleByteChar(const char* psz, char ch);

#endif
