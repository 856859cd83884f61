// Shared helpers of the test programs: paths, scratch folders and keys, child processes.
#ifndef TESTS_SUPPORT_TEST_SUPPORT_H
#define TESTS_SUPPORT_TEST_SUPPORT_H

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vxtest
{

// "/a/b" -> "Z:\a\b": the Linux root is drive Z: under Wine.
std::string WinPathFromUnix(const std::string& sUnixPath);
// A variable of the test's environment, empty when unset.
std::string Env(const char* pszName);
// The PDI built beside the tests, as a Windows path.
std::string PdiExePath();
// The source tree, as a Windows path, without a trailing backslash.
std::string SourceDir();
// The Windows release this test program was started as ("" for the prefix default).
std::string WineRelease();
bool Is64BitPrefix();

// A folder of its own under the temporary folder, removed with all it holds.
class ScratchDir
{
public:
    explicit ScratchDir(const char* pszTag = "vxt");
    ~ScratchDir();
    const std::string& Path() const { return m_sPath; }  // no trailing backslash
    std::string File(const std::string& sName) const { return m_sPath + "\\" + sName; }

private:
    ScratchDir(const ScratchDir&);
    ScratchDir& operator=(const ScratchDir&);
    std::string m_sPath;
};

void RemoveTree(const std::string& sPath);
bool WriteFileBytes(const std::string& sPath, const std::string& sBytes);
bool ReadFileBytes(const std::string& sPath, std::string* psBytes);
std::vector<std::string> ReadLines(const std::string& sPath);  // CR/LF cut, last empty line dropped
std::vector<std::string> ListFiles(const std::string& sPattern);  // names only

struct ProcessResult
{
    bool fStarted = false;
    bool fFinished = false;  // false: still running when the wait ended (then it was terminated)
    DWORD dwExitCode = 0;
};

// A full environment block: this process's variables with the overrides applied (an empty
// value removes the variable).
std::vector<char> EnvironmentBlock(const std::map<std::string, std::string>& overrides);

// Starts sCommandLine with the test's environment plus the given overrides (an empty value
// removes the variable) and waits up to dwTimeoutMs.
ProcessResult RunProcess(const std::string& sCommandLine, const std::map<std::string, std::string>& environment,
                         DWORD dwTimeoutMs = 60000);

// Runs a console program with its standard output and error written to a scratch file, waits
// up to dwTimeoutMs and hands back what it wrote.
struct ConsoleResult
{
    bool fFinished = false;
    DWORD dwExitCode = 0;
    std::string sOutput;                     // standard output and standard error, in the order written
    std::string sError;                      // standard error, when it was asked for apart
    std::vector<std::string> Lines() const;  // CR/LF cut, empty lines kept except the last
};
ConsoleResult RunConsole(const std::string& sCommandLine, DWORD dwTimeoutMs = 60000);

struct ConsoleOptions
{
    DWORD dwTimeoutMs = 60000;
    bool fErrorApart = false;                         // standard error into sError, not sOutput
    std::map<std::string, std::string> environment;  // overrides, as RunProcess takes them
};
ConsoleResult RunConsole(const std::string& sCommandLine, const ConsoleOptions& options);

// Makes Wine report the given release ("win98", "nt40", ...) to programs named sExeName
// started from now on; an empty release removes the setting.
void SetWineVersionFor(const std::string& sExeName, const std::string& sRelease);

// Ends every running process for which pfnWhich(file name, parent's id) is true; the number
// of processes it ended.
unsigned TerminateProcessesWhere(const std::function<bool(const char* pszExeName, DWORD dwParentId)>& pfnWhich);

// Redirects a predefined key (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER) of this process into a
// scratch key of its own for the object's life, so tests do not see each other's values.
class RegistryRedirect
{
public:
    explicit RegistryRedirect(HKEY hRoot);
    ~RegistryRedirect();
    HKEY Key() const { return m_hKey; }

private:
    RegistryRedirect(const RegistryRedirect&);
    RegistryRedirect& operator=(const RegistryRedirect&);
    HKEY m_hRoot;
    std::string m_sKeyPath;
    HKEY m_hKey;
};

class HklmRedirect : public RegistryRedirect
{
public:
    HklmRedirect() : RegistryRedirect(HKEY_LOCAL_MACHINE) {}
};

// Deletes a key of a real root with everything below it; quiet when it is missing.
// samView: the registry view on 64-bit Windows (KEY_WOW64_32KEY or KEY_WOW64_64KEY), 0 for the
// program's own.
void DeleteKeyTree(HKEY hRoot, const std::string& sPath, REGSAM samView = 0);
// A REG_SZ or REG_DWORD value of HKLM\sKey; false when it is missing or of another type.
bool ReadHklmString(const std::string& sKey, const char* pszValue, std::string* psData, REGSAM samView = 0);
bool ReadHklmDword(const std::string& sKey, const char* pszValue, DWORD* pdwData, REGSAM samView = 0);
bool HklmKeyExists(const std::string& sKey, REGSAM samView = 0);
// Writes a value of hRoot\sKey (in the registry view samView), creating the key; false when
// either fails.
bool WriteRegistryValue(const std::string& sKey, const char* pszValue, DWORD dwType, const void* pData, DWORD cbData,
                        HKEY hRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);
bool WriteRegistryString(const std::string& sKey, const char* pszValue, const std::string& sData,
                         HKEY hRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);
bool WriteRegistryDword(const std::string& sKey, const char* pszValue, DWORD dwData, HKEY hRoot = HKEY_LOCAL_MACHINE,
                        REGSAM samView = 0);

// The file of a loaded module (this program for NULL); the folder of a path, without its
// trailing separator; the Windows directory.
std::string ModulePath(HMODULE hModule = NULL);
std::string DirectoryOf(const std::string& sPath);
std::string WindowsDirectory();

// Makes sPath the current directory for the object's life.
class CurrentDirectory
{
public:
    explicit CurrentDirectory(const std::string& sPath);
    ~CurrentDirectory();
    bool Changed() const { return m_fChanged; }

private:
    CurrentDirectory(const CurrentDirectory&);
    CurrentDirectory& operator=(const CurrentDirectory&);
    char m_szOld[MAX_PATH];
    bool m_fChanged;
};

// Whether another thread finds the named mutex owned: it tries to take it without waiting
// (and gives it back at once when it could).
bool IsMutexHeldElsewhere(const char* pszName);

}  // namespace vxtest

#endif
