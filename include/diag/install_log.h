// The PDI's numbered install log: one line per step of a run, flushed as it is written.
#ifndef DIAG_INSTALL_LOG_H
#define DIAG_INSTALL_LOG_H

#include <windows.h>

#include <cstdio>

#include "infrastructure/ci_string.h"

enum
{
    LOG_NUMBERED = 0x01,
    LOG_APPEND = 0x02,
    LOG_NO_TEMP_DIR = 0x04,
    LOG_TIMESTAMP = 0x08,
    LOG_FULL_SOURCE_PATH = 0x10
};

class CInstallLog
{
public:
    CInstallLog();
    ~CInstallLog();

    bool Open(const CVxCiString& sName, DWORD dwLevelThreshold, DWORD dwFlags);
    bool LogMessage(DWORD dwLevel, const char* pszFormat, ...);
    bool LogError(DWORD dwLevel, const char* pszSourceFile, int iLine, const char* pszFormat, ...);

    // The path of the file being written (resolved on the first line).
    const CVxCiString& GetPath() const { return m_sPath; }
    bool IsEnabled() const { return m_fEnabled; }

private:
    CInstallLog(const CInstallLog&);
    CInstallLog& operator=(const CInstallLog&);

    void Reset();
    bool WriteLine(const CVxCiString& sLine);
    bool OpenFile();

    CVxCiString m_sPath;
    CVxCiString m_sOpenPath;
    DWORD m_dwLevelThreshold;
    DWORD m_dwFlags;
    DWORD m_dwFlagsAtOpen;
    bool m_fEnabled;
    std::FILE* m_pFile;
};

// The process-wide install log of the PDI; closed until the entry opens it.
extern CInstallLog g_InstallLog;

// The caller's source path as the log shows it, with Windows separators whatever the compiler
// spelt; the line then names the file after its last backslash.
CVxCiString InstallLogSourcePath(const char* pszFile);

// Writes a failed condition of the PDI's code ("Error --> <condition text>") at level 0 with
// the caller's file and line; evaluates to false so that a check can return it.
// The condition texts are the system's own and frozen: each is written byte for byte as the PDI
// has always written it, even where it names a variable the code no longer has. They are keys:
// the log viewer's table of explanations (tools/vxlogview) and the tests match on them, so a
// changed or new text needs its entry there (the log_analyzer test fails until it has one).
#define LOG_CONDITION_FAILED(text) \
    (g_InstallLog.LogError(0, InstallLogSourcePath(__FILE__).c_str(), __LINE__, "Error --> %s", (text)), false)

// The message text of a printf-style format, of any length.
CVxCiString FormatUnbounded(const char* pszFormat, va_list args);

// The temporary folder for the install log, ending in a backslash; TEMP, then TMP, then
// "<Windows drive>\TEMP" (created when missing). Sets TMP when it is unset. Empty on failure.
CVxCiString InstallLogTempDirectory();

// Picks the log number for base name sBase in sDirectory (with extension sExtension):
// the first of 00..99 that cannot be opened, else the least recently accessed. -1 on failure.
// Numbers whose entry in pfSkip (100 entries, or NULL) is true are not chosen.
int ChooseLogNumber(const CVxCiString& sDirectory, const CVxCiString& sBase, const CVxCiString& sExtension,
                    const bool* pfSkip = NULL);

#endif
