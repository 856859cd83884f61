// Runs of the real PDI that are watched from outside: reproducible random numbers, a started
// process that can be waited for or killed, the verdict on how it ended, the install log and
// trace files it left, and the figures a reliability run prints.
#ifndef TESTS_SUPPORT_PDI_PROCESS_H
#define TESTS_SUPPORT_PDI_PROCESS_H

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vxtest
{

// splitmix64: the same seed gives the same inputs on every machine.
class Random
{
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next();
    uint32_t Below(uint32_t n);  // 0 .. n-1; 0 when n is 0
    bool Chance(unsigned percent) { return Below(100) < percent; }
    unsigned char Byte(unsigned char lo, unsigned char hi);

private:
    uint64_t m_state;
};

// VX_RELIABILITY_SEED, else a fixed seed, so that a CI failure can be replayed.
uint64_t SuiteSeed();
// An unsigned count from the environment, else nDefault.
unsigned CountFromEnvironment(const char* pszVariable, unsigned nDefault);

// The PDI's command line as the Glue starts it, the port LPT1:; sOptions ("-log 0xaf ", each
// with its blank) stand before the switches.
std::string PdiCommandLine(const std::string& sPdiPath, const std::string& sOptions, const std::string& sDriver,
                           const std::string& sProduct);

// CreateProcessA (no security attributes), tried again a few times when the system refuses it
// for a passing reason; *pdwError gets the system's error code of the last refusal.
bool CreateProcessRetried(char* pszCommandLine, BOOL fInheritHandles, DWORD dwFlags, void* pEnvironment,
                          const char* pszDirectory, STARTUPINFOA* pStartup, PROCESS_INFORMATION* pProcess,
                          DWORD* pdwError);

class ChildProcess
{
public:
    ChildProcess() : m_hProcess(NULL), m_hThread(NULL), m_dwId(0), m_dwExitCode(STILL_ACTIVE), m_dwStartError(0) {}
    ~ChildProcess();  // a process still running is ended
    // A suspended start lets several runs begin at the same moment (Resume). A start that the
    // system refuses for a passing reason is tried again a few times; StartError() gives the
    // system's error code of the last refusal.
    bool Start(const std::string& sCommandLine, const std::map<std::string, std::string>& environment,
               const std::string& sDirectory = std::string(), bool fSuspended = false);
    void Resume();
    // The same through the wide call with the program's "\\?\" path, for a program whose path
    // is longer than the ANSI calls take (the command line names it in its usual form).
    bool StartLongPath(const std::string& sProgram, const std::string& sCommandLine,
                       const std::map<std::string, std::string>& environment);
    bool Wait(DWORD dwTimeoutMs);  // true once it has ended
    void Kill();                   // TerminateProcess and wait for the end
    bool Running() const { return m_hProcess != NULL && m_dwExitCode == STILL_ACTIVE; }
    HANDLE Handle() const { return m_hProcess; }
    DWORD Id() const { return m_dwId; }
    DWORD ExitCode() const { return m_dwExitCode; }
    DWORD StartError() const { return m_dwStartError; }
    void Close();

private:
    ChildProcess(const ChildProcess&);
    ChildProcess& operator=(const ChildProcess&);
    HANDLE m_hProcess;
    HANDLE m_hThread;
    DWORD m_dwId;
    DWORD m_dwExitCode;
    DWORD m_dwStartError;
};

enum RunVerdict
{
    eRunEnded,    // exit code 0
    eRunCrashed,  // any other exit code: an exception code such as 0xC0000005, or an abort
    eRunHung      // still running at the deadline; it was ended
};

// Waits for a started run until its deadline and judges it.
RunVerdict Finish(ChildProcess& child, DWORD dwTimeoutMs);
const char* VerdictText(RunVerdict eVerdict);

// Wine's debugger shows a crash dialog that waits for a person; the suite's prefix is told not
// to, so a crash ends the process at once with its exception code.
void SwitchOffCrashDialog();

// A log file as its bytes and lines. A torn line is bytes after the last line end: the writer
// died in the middle of a line, or its line ends were lost.
struct LogFile
{
    bool fPresent = false;
    std::string sBytes;
    std::vector<std::string> lines;  // complete lines only, CR/LF cut
    bool HasTornLine() const { return !sBytes.empty() && sBytes[sBytes.size() - 1] != '\n'; }
};
LogFile ReadLog(const std::string& sPath);

// The header line's time differs from run to run; it reads "<header>" after this.
std::vector<std::string> WithoutHeaderTime(const std::vector<std::string>& lines);
// The last line is the outcome, and the command line was logged before it.
bool EndsWithOutcome(const LogFile& log);

// "vxvxdi00.log" .. "vxvxdi99.log" present in the folder.
std::vector<int> InstallLogNumbers(const std::string& sFolder);
std::string InstallLogPath(const std::string& sFolder, int n);
// The number the next run takes: the first one not present (the folder never holds all 100 here).
int NextInstallLogNumber(const std::string& sFolder);

// One trace line: the local time (14 digits), the microsecond counter (modulo ten seconds) and
// the text after the module name.
struct TimedTraceLine
{
    std::string sTime;
    DWORD dwMicroseconds = 0;
    std::string sText;
};
std::vector<TimedTraceLine> ReadTrace(const std::string& sPath);

// The figures of one part, printed as one line that a closing note can quote.
struct Figures
{
    std::string sPart;
    uint64_t seed = 0;
    unsigned runs = 0, kills = 0, concurrent = 0, inputs = 0;
    unsigned crashes = 0, hangs = 0, tornLines = 0, lostLines = 0;
    DWORD dwStartTick = GetTickCount();
    void Count(RunVerdict eVerdict);
    void Print(const std::string& sExtra = std::string()) const;
};

}  // namespace vxtest

#endif
