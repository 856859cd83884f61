// A command line as a case-insensitive table of options ("/name value"), and the debug
// settings that choose the trace mask and the device data file from it.
#ifndef INFRASTRUCTURE_COMMAND_LINE_H
#define INFRASTRUCTURE_COMMAND_LINE_H

#include <windows.h>

#include <map>

#include "infrastructure/ci_string.h"

// Splits a command line by the Windows rules for a program's argument vector; the first token
// is the program. Double-byte characters are kept whole.
CVxCiStringList SplitCommandLine(const char* pszCommandLine);

class CGenericCommandLine
{
public:
    // Null: the process's own argument vector.
    explicit CGenericCommandLine(const char* pszCommandLine = NULL);

    // Fills the table: a token starting with '-', '/' or an en dash names an option, the next
    // token that names none is its value. The process command line is traced once per process.
    void Init(const char* pszCommandLine = NULL);
    // 1 and the value when the option was given; 0 leaves sValue untouched.
    unsigned GetOption(const char* pszName, CVxCiString& sValue) const;

    // Every token in double quotes, separated by blanks.
    const CVxCiString& GetParsedCommandLine() const { return m_sParsedCommandLine; }

private:
    void Fill(const CVxCiStringList& tokens);

    std::map<CVxCiString, CVxCiString> m_options;
    CVxCiString m_sPendingOption;
    CVxCiString m_sParsedCommandLine;
};

// "0x..." (lower-case x, three characters or more) as hexadecimal, skipping non-digits;
// anything else as a signed decimal number (0 when there is none).
DWORD ParseNumber(const char* pszText);

class CDebugSettings
{
public:
    // Null: the process command line.
    explicit CDebugSettings(const char* pszCommandLine = NULL);
    virtual ~CDebugSettings();

    // The OR of the option "log", "Log" of the data file's "Version" section and "Log" of
    // "debugger" in "vxzdbginfs.ini". Without a path the data file is looked for as
    // GetDataFilePath(resolve, "\\..\\") finds it.
    DWORD GetTraceMask(const char* pszDataFilePath = NULL);
    // The option "f", else the install medium's data file. With fResolve the path is made
    // absolute (a bare name in the Windows directory, a relative path under the program's
    // directory) and must exist. FALSE empties sPath.
    BOOL GetDataFilePath(CVxCiString& sPath, BOOL fResolve, const char* pszRelative);

private:
    CDebugSettings(const CDebugSettings&);
    CDebugSettings& operator=(const CDebugSettings&);

    CGenericCommandLine m_commandLine;
};

#endif
