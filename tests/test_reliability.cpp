// The real PDI under faults, load and hostile input: runs killed at random moments, runs side
// by side against the same Glue keys, generated command lines and install media, long paths.
// Every part prints one "reliability figures:" line; VX_RELIABILITY_SEED replays its input and
// the VX_RELIABILITY_* counts below make a longer soak of the same checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "support/hostile_text.h"
#include "support/medium.h"
#include "support/pdi_process.h"
#include "support/spooler_printers.h"
#include "support/test_support.h"
#include "vx_owners.h"
#include "vxzglue/vxzglue_utils.h"

namespace
{

using vxtest::ChildProcess;
using vxtest::Figures;
using vxtest::LogFile;
using vxtest::HostileValue;
using vxtest::RandomBytes;
using vxtest::MutatedAutorun;
using vxtest::MutatedModels;
using vxtest::Random;
using vxtest::RunVerdict;

const char kDriver[] = "Quorvane Model 1234 Series";  // the sample medium's first model
const char kPrinter[] = "Quorvane Model 1234";
const DWORD kRunDeadlineMs = 120000;  // a run still going after this counts as hung

std::string GlueKey() { return ToStd(g_sRegKeyGlue); }
std::string DriverKey(const std::string& sDriver) { return GlueKey() + "\\" + sDriver; }
std::string UninstallKey(const std::string& sDriver) { return ToStd(g_sRegKeyUninstall) + "\\" + sDriver + "_Driver"; }

void SetValue(const std::string& sKey, const char* pszName, DWORD dwType, const std::string& sData)
{
    vxtest::WriteRegistryValue(sKey, pszName, dwType, sData.data(), static_cast<DWORD>(sData.size()));
}

void DeleteValue(const std::string& sKey, const char* pszName)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS) return;
    RegDeleteValueA(hKey, pszName);
    RegCloseKey(hKey);
}

std::set<std::string> SubkeyNames(const std::string& sKey)
{
    std::set<std::string> names;
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return names;
    char szName[512];
    for (DWORD i = 0; RegEnumKeyA(hKey, i, szName, sizeof(szName)) == ERROR_SUCCESS; ++i) names.insert(szName);
    RegCloseKey(hKey);
    return names;
}

// The vendor's keys as they were before a part; what the runs added below them is removed.
class VendorKeys
{
public:
    VendorKeys() : m_before(SubkeyNames("SOFTWARE\\Quorvane")) { Clean(); }
    ~VendorKeys() { Clean(); }

private:
    void Clean()
    {
        vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, GlueKey());
        vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\Installed Products");
        for (const std::string& sName : SubkeyNames("SOFTWARE\\Quorvane"))
        {
            if (!m_before.count(sName) || sName == "QVX") vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\" + sName);
        }
        vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, UninstallKey(kDriver));
    }
    std::set<std::string> m_before;
};

// What the Glue leaves in the registry for the PDI after a driver install.
void RecordGlueInstall(const std::string& sDriver, const std::string& sGluePath, const std::string& sPrinter)
{
    vxtest::WriteRegistryString(DriverKey(sDriver), "GluePath", sGluePath);
    vxtest::WriteRegistryString(DriverKey(sDriver), "PrinterFriendlyName", sPrinter);
    vxtest::WriteRegistryDword(DriverKey(sDriver), "statuscode", 0);
    vxtest::WriteRegistryString(UninstallKey(sDriver) + "\\Files", "DisplayName", sDriver);
}

std::string SampleFile(const char* pszName)
{
    std::string sText;
    vxtest::ReadFileBytes(vxtest::SourceDir() + "\\sample\\medium\\" + pszName, &sText);
    return sText;
}

// The bundled sample medium, with recorders for its two patches and its product installer.
class SampleMedium : public vxtest::ScratchMedium
{
public:
    SampleMedium(const std::string& sAutorun = SampleFile("autorun.inf"), const std::string& sModels = SampleFile("models.dat"))
        : ScratchMedium(sAutorun, sModels)
    {
        AddRecorder("patches\\fix1.exe");
        AddRecorder("patches\\fix2.exe");
        AddRecorder("vxzsetup.exe");
    }
    std::string GluePath() const { return PdiFolder() + "\\"; }
    std::map<std::string, std::string> Environment() const
    {
        return {{"TEMP", TempFolder()}, {"TMP", TempFolder()}, {"VX_RECORD_FILE", RecordFile()}};
    }
    std::string Command(const std::string& sDriver = kDriver, const std::string& sBefore = std::string(),
                        const std::string& sProduct = kPrinter) const
    {
        return vxtest::PdiCommandLine(PdiPath(), sBefore, sDriver, sProduct);
    }
};

bool IsSignalled(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }

// The Glue's side of the handshake: it holds the three events and a handle to the mutex for
// the whole part, so that a PDI killed while it owns the mutex leaves it abandoned (with no
// other handle the object would simply vanish).
class GlueSide
{
public:
    GlueSide()
        : m_hRan(CreateEventA(NULL, TRUE, FALSE, "VXZ_Glue_Ran")),
          m_hInstalled(CreateEventA(NULL, TRUE, FALSE, "VXZ_Glue_Installed_Driver")),
          m_hFinished(CreateEventA(NULL, TRUE, FALSE, "VXZ_Glue_Finished")),
          m_hMutex(CreateMutexA(NULL, FALSE, "VXZ_Installation_Initializing"))
    {
    }
    bool Valid() const { return m_hRan.IsValid() && m_hInstalled.IsValid() && m_hFinished.IsValid() && m_hMutex.IsValid(); }
    // Before a run: the PDI must signal the first and reset the other two.
    void PrepareRun()
    {
        ResetEvent(m_hRan.Get());
        SetEvent(m_hInstalled.Get());
        SetEvent(m_hFinished.Get());
    }
    bool InstalledSignalled() const { return IsSignalled(m_hInstalled.Get()); }
    // After a successful run every event is signalled and the mutex is free: the Glue takes
    // it at once, and not as abandoned.
    std::string StatesAfterSuccess() const
    {
        std::string sWrong;
        if (!IsSignalled(m_hRan.Get())) sWrong += " VXZ_Glue_Ran not signalled;";
        if (!IsSignalled(m_hInstalled.Get())) sWrong += " VXZ_Glue_Installed_Driver not signalled;";
        if (!IsSignalled(m_hFinished.Get())) sWrong += " VXZ_Glue_Finished not signalled;";
        const DWORD dwWait = WaitForSingleObject(m_hMutex.Get(), 0);
        if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED) ReleaseMutex(m_hMutex.Get());
        if (dwWait != WAIT_OBJECT_0) sWrong += " the mutex could not be taken (wait result " + std::to_string(dwWait) + ");";
        return sWrong;
    }

private:
    CUniqueHandle m_hRan, m_hInstalled, m_hFinished, m_hMutex;
};

std::string Joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& sLine : lines) s += "  | " + sLine + "\n";
    return s;
}

bool Contains(const std::vector<std::string>& lines, const std::string& sLine)
{
    return std::find(lines.begin(), lines.end(), sLine) != lines.end();
}

void RemoveFiles(const std::string& sFolder, const char* pszPattern)
{
    for (const std::string& sName : vxtest::ListFiles(sFolder + "\\" + pszPattern)) DeleteFileA((sFolder + "\\" + sName).c_str());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The judge itself: a crash and a hang of a child are seen as such, and no crash dialog waits.

TEST(ReliabilityChild, CrashOnPurpose)
{
    if (vxtest::Env("VX_RELIABILITY_CHILD") != "crash") GTEST_SKIP() << "only as the crashing child";
    // The exception a wild store raises, raised as such: where the kernel cannot run 32-bit code,
    // 32-bit Wine runs under an emulator whose fault signals Wine reads as illegal instructions.
    const ULONG_PTR args[2] = {1, 0};  // a write to address 0
    RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 2, args);
}

TEST(ReliabilityChild, HangOnPurpose)
{
    if (vxtest::Env("VX_RELIABILITY_CHILD") != "hang") GTEST_SKIP() << "only as the hanging child";
    Sleep(INFINITE);
}

namespace
{

std::string SelfCommand(const char* pszFilter)
{
    char szSelf[MAX_PATH + 1] = "";
    GetModuleFileNameA(NULL, szSelf, MAX_PATH);
    return std::string("\"") + szSelf + "\" --gtest_catch_exceptions=0 --gtest_filter=" + pszFilter;
}

}  // namespace

TEST(ReliabilityJudge, CrashIsSeenWithItsExceptionCode)
{
    vxtest::SwitchOffCrashDialog();
    ChildProcess child;
    ASSERT_TRUE(child.Start(SelfCommand("ReliabilityChild.CrashOnPurpose"), {{"VX_RELIABILITY_CHILD", "crash"}}));
    const DWORD dwStart = GetTickCount();
    EXPECT_EQ(vxtest::eRunCrashed, vxtest::Finish(child, 60000));
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), child.ExitCode());
    std::printf("a crash ended its process after %lu ms\n", GetTickCount() - dwStart);
}

TEST(ReliabilityJudge, HangIsSeenAndEnded)
{
    ChildProcess child;
    ASSERT_TRUE(child.Start(SelfCommand("ReliabilityChild.HangOnPurpose"), {{"VX_RELIABILITY_CHILD", "hang"}}));
    EXPECT_EQ(vxtest::eRunHung, vxtest::Finish(child, 2000));
    EXPECT_FALSE(child.Running());
}

TEST(ReliabilityJudge, TornLineIsSeen)
{
    vxtest::ScratchDir dir("judge");
    ASSERT_TRUE(vxtest::WriteFileBytes(dir.File("a.log"), "one\r\ntwo\r\nthr"));
    const LogFile log = vxtest::ReadLog(dir.File("a.log"));
    EXPECT_TRUE(log.HasTornLine());
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), log.lines);
    EXPECT_FALSE(vxtest::EndsWithOutcome(log));
}

// ---------------------------------------------------------------------------------------------
// Kill at any point.

namespace
{

// Reads a growing log from another process while it is written, keeping the most that was
// seen as whole lines: whatever a reader saw before the kill must still be there after it.
class LogWatcher
{
public:
    explicit LogWatcher(const std::string& sPath) : m_sPath(sPath), m_thread([this] { Watch(); }) {}
    ~LogWatcher() { Stop(); }
    void Stop()
    {
        m_fStop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    const std::string& Seen() const { return m_sSeen; }  // valid after Stop
    bool Shrank() const { return m_fShrank; }
    // Milliseconds from the watcher's start until each line was first seen.
    const std::vector<DWORD>& LineTimes() const { return m_lineTimes; }

private:
    void Watch()
    {
        while (!m_fStop)
        {
            std::string sBytes;
            if (vxtest::ReadFileBytes(m_sPath, &sBytes))
            {
                sBytes.erase(sBytes.rfind('\n') == std::string::npos ? 0 : sBytes.rfind('\n') + 1);
                if (sBytes.size() >= m_sSeen.size())
                {
                    if (sBytes.compare(0, m_sSeen.size(), m_sSeen) != 0) m_fShrank = true;
                    m_sSeen = sBytes;
                    const size_t cLines = static_cast<size_t>(std::count(m_sSeen.begin(), m_sSeen.end(), '\n'));
                    while (m_lineTimes.size() < cLines) m_lineTimes.push_back(GetTickCount() - m_dwStart);
                }
                else
                {
                    m_fShrank = true;
                }
            }
            Sleep(2);
        }
    }
    std::string m_sPath;
    std::string m_sSeen;
    std::vector<DWORD> m_lineTimes;
    const DWORD m_dwStart = GetTickCount();
    std::atomic<bool> m_fStop{false};
    bool m_fShrank = false;
    std::thread m_thread;
};

// Under Wine a program that was still being started when its parent was killed stays half
// made and never ends, holding the test runner's output open: the medium's programs that a
// killed run started are ended with it. (They are the recorders; nothing is checked of them.)
unsigned EndProgramsStartedBy(const std::set<DWORD>& parents)
{
    return vxtest::TerminateProcessesWhere([&parents](const char* pszExeName, DWORD dwParentId) {
        return parents.count(dwParentId) != 0 &&
               (lstrcmpiA(pszExeName, "fix1.exe") == 0 || lstrcmpiA(pszExeName, "fix2.exe") == 0 ||
                lstrcmpiA(pszExeName, "vxzsetup.exe") == 0);
    });
}

const std::vector<std::string> kAbandonedConditions = {"sDriverName.empty()", "dwWaitResult == WAIT_ABANDONED",
                                                       "MimicLegacyGlue( sCmdLine ) == false"};

}  // namespace

TEST(ReliabilityKill, KilledRunsLeaveWholeLinesAndTheNextRunGoesOn)
{
    Figures figures;
    figures.sPart = "kill";
    figures.seed = vxtest::SuiteSeed();
    Random random(figures.seed ^ 0x4B494C4Cull);
    const unsigned nKills = vxtest::CountFromEnvironment("VX_RELIABILITY_KILLS", 50);
    std::printf("seed %llu (VX_RELIABILITY_SEED), %u kills (VX_RELIABILITY_KILLS)\n",
                static_cast<unsigned long long>(figures.seed), nKills);

    vxtest::SwitchOffCrashDialog();
    VendorKeys vendorKeys;
    vxtest::SetWineVersionFor("vxfpdi14.exe", "winxp");
    SampleMedium medium;
    GlueSide glue;
    ASSERT_TRUE(glue.Valid());
    const std::string sTemp = medium.TempFolder();

    // A whole run first: its log is what every killed run's log must be a beginning of, and
    // its length is the span the kills are spread over.
    RecordGlueInstall(kDriver, medium.GluePath(), kPrinter);
    glue.PrepareRun();
    ChildProcess reference;
    LogWatcher referenceWatcher(vxtest::InstallLogPath(sTemp, 0));
    const DWORD dwStart = GetTickCount();
    ASSERT_TRUE(reference.Start(medium.Command(), medium.Environment()));
    const RunVerdict eReference = vxtest::Finish(reference, kRunDeadlineMs);
    const DWORD dwWholeRunMs = GetTickCount() - dwStart;
    referenceWatcher.Stop();
    const std::vector<DWORD> lineTimes = referenceWatcher.LineTimes();
    figures.Count(eReference);
    ASSERT_EQ(vxtest::eRunEnded, eReference);
    const LogFile referenceLog = vxtest::ReadLog(vxtest::InstallLogPath(sTemp, 0));
    ASSERT_TRUE(vxtest::EndsWithOutcome(referenceLog));
    ASSERT_EQ("The PDI Succeeded", referenceLog.lines.back()) << Joined(referenceLog.lines);
    EXPECT_EQ("", glue.StatesAfterSuccess());
    const std::vector<std::string> expectedLines = vxtest::WithoutHeaderTime(referenceLog.lines);

    unsigned nEndedBeforeKill = 0, nAbandoned = 0, nBeforeFirstLine = 0, nProgramsEnded = 0;
    std::set<DWORD> killedRuns;
    size_t cMinLines = expectedLines.size(), cMaxLines = 0;
    std::set<size_t> linesAtKill;
    for (unsigned iRun = 0; figures.kills < nKills && iRun < 3 * nKills; ++iRun)
    {
        SCOPED_TRACE("kill run " + std::to_string(iRun) + ", seed " + std::to_string(figures.seed));
        if (vxtest::InstallLogNumbers(sTemp).size() > 90) RemoveFiles(sTemp, "vxvxdi*.log");

        // The run to be killed, with a reader following its log.
        RecordGlueInstall(kDriver, medium.GluePath(), kPrinter);
        glue.PrepareRun();
        const int nKilled = vxtest::NextInstallLogNumber(sTemp);
        const std::string sKilledPath = vxtest::InstallLogPath(sTemp, nKilled);
        // Most of a run is spent in the product signal's one-second wait: the moments are
        // spread over the spans between lines, so that every step gets its share of kills.
        const size_t iSpan = random.Below(static_cast<uint32_t>(lineTimes.size() + 1));
        const DWORD dwFrom = iSpan == 0 ? 0 : lineTimes[iSpan - 1];
        const DWORD dwTo = iSpan < lineTimes.size() ? lineTimes[iSpan] : dwWholeRunMs;
        const DWORD dwDelayMs = dwFrom + random.Below(dwTo > dwFrom ? dwTo - dwFrom + 1 : 1);
        bool fInstalledAtKill = false, fKilled = false;
        {
            LogWatcher watcher(sKilledPath);
            ChildProcess run;
            ASSERT_TRUE(run.Start(medium.Command(), medium.Environment()));
            if (run.Wait(dwDelayMs))
            {
                ++nEndedBeforeKill;
                figures.Count(vxtest::Finish(run, 0));
            }
            else
            {
                fInstalledAtKill = glue.InstalledSignalled();
                killedRuns.insert(run.Id());
                run.Kill();
                fKilled = true;
                nProgramsEnded += EndProgramsStartedBy(killedRuns);
                ++figures.kills;
                ++figures.runs;
            }
            watcher.Stop();
            const LogFile killed = vxtest::ReadLog(sKilledPath);
            if (killed.HasTornLine())
            {
                ++figures.tornLines;
                ADD_FAILURE() << "torn last line after " << dwDelayMs << " ms: \"" << killed.sBytes.substr(killed.sBytes.rfind('\n') + 1) << "\"";
            }
            const std::vector<std::string> lines = vxtest::WithoutHeaderTime(killed.lines);
            for (size_t i = 0; i < lines.size(); ++i)
            {
                if (i >= expectedLines.size() || lines[i] != expectedLines[i])
                {
                    ++figures.tornLines;
                    ADD_FAILURE() << "line " << i << " is not the whole run's: \"" << lines[i] << "\"";
                }
            }
            const size_t cSeenLines = static_cast<size_t>(std::count(watcher.Seen().begin(), watcher.Seen().end(), '\n'));
            if (cSeenLines > killed.lines.size() || killed.sBytes.compare(0, watcher.Seen().size(), watcher.Seen()) != 0 ||
                watcher.Shrank())
            {
                figures.lostLines += static_cast<unsigned>(cSeenLines > killed.lines.size() ? cSeenLines - killed.lines.size() : 1);
                ADD_FAILURE() << "a reader saw " << cSeenLines << " lines before the kill, " << killed.lines.size() << " are left";
            }
            if (fKilled)
            {
                linesAtKill.insert(killed.lines.size());
                cMinLines = std::min(cMinLines, killed.lines.size());
                cMaxLines = std::max(cMaxLines, killed.lines.size());
                if (!killed.fPresent) ++nBeforeFirstLine;
            }

            // The next run: the next number, the killed run's log untouched, the handshake
            // objects taken again; a mutex the killed run owned is reported abandoned.
            for (int iNext = 0; iNext < 2; ++iNext)
            {
                RecordGlueInstall(kDriver, medium.GluePath(), kPrinter);
                glue.PrepareRun();
                const int nNext = vxtest::NextInstallLogNumber(sTemp);
                if (iNext == 0)
                {
                    EXPECT_EQ(killed.fPresent ? nKilled + 1 : nKilled, nNext);
                }
                ChildProcess next;
                ASSERT_TRUE(next.Start(medium.Command(), medium.Environment()));
                const RunVerdict eNext = vxtest::Finish(next, kRunDeadlineMs);
                figures.Count(eNext);
                ASSERT_EQ(vxtest::eRunEnded, eNext) << vxtest::VerdictText(eNext);
                const LogFile nextLog = vxtest::ReadLog(vxtest::InstallLogPath(sTemp, nNext));
                if (killed.fPresent)
                {
                    EXPECT_EQ(killed.sBytes, vxtest::ReadLog(sKilledPath).sBytes) << "the killed run's log changed";
                }
                ASSERT_TRUE(vxtest::EndsWithOutcome(nextLog)) << Joined(nextLog.lines);
                if (nextLog.lines.back() == "The PDI Succeeded")
                {
                    EXPECT_EQ(expectedLines, vxtest::WithoutHeaderTime(nextLog.lines));
                    EXPECT_EQ("", glue.StatesAfterSuccess());
                    break;
                }
                ASSERT_EQ(0, iNext) << "a second run after a kill failed:\n" << Joined(nextLog.lines);
                EXPECT_EQ(kAbandonedConditions, vxtest::ConditionTexts(nextLog.lines)) << Joined(nextLog.lines);
                // Only a run killed between taking the mutex and the driver signal owned it.
                EXPECT_FALSE(fInstalledAtKill);
                ++nAbandoned;
            }
        }
    }
    EXPECT_GE(figures.kills, nKills);
    Sleep(500);
    nProgramsEnded += EndProgramsStartedBy(killedRuns);
    char szExtra[320];
    std::snprintf(szExtra, sizeof(szExtra),
                  "whole_run_ms=%lu ended_before_kill=%u killed_before_first_line=%u lines_at_kill=%u..%u of %u "
                  "(%u different) abandoned_mutex_reports=%u programs_of_killed_runs_ended=%u",
                  dwWholeRunMs, nEndedBeforeKill, nBeforeFirstLine, static_cast<unsigned>(cMinLines),
                  static_cast<unsigned>(cMaxLines), static_cast<unsigned>(expectedLines.size()),
                  static_cast<unsigned>(linesAtKill.size()), nAbandoned, nProgramsEnded);
    figures.Print(szExtra);
    EXPECT_EQ(0u, figures.crashes);
    EXPECT_EQ(0u, figures.hangs);
    EXPECT_EQ(0u, figures.tornLines);
    EXPECT_EQ(0u, figures.lostLines);
    vxtest::SetWineVersionFor("vxfpdi14.exe", "");
}

// ---------------------------------------------------------------------------------------------
// Load: several PDIs at once against the same Glue keys.

namespace
{

// Answers every question box that the watched processes show, after it has stayed up a while
// (so that a second box, if the mutex let one through, would be seen beside it), and counts
// how many were up at once.
class QuestionBoxes
{
public:
    explicit QuestionBoxes(WPARAM wAnswer, DWORD dwShowMs = 150)
        : m_wAnswer(wAnswer), m_dwShowMs(dwShowMs), m_thread([this] { Watch(); })
    {
    }
    ~QuestionBoxes() { Stop(); }
    void AddProcess(DWORD dwId)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_processes.insert(dwId);
    }
    void Stop()
    {
        m_fStop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    // Valid after Stop.
    unsigned MostAtOnce() const { return m_nMostAtOnce; }
    const std::vector<DWORD>& AnsweredFor() const { return m_answeredFor; }  // process per box, in order

private:
    struct Search
    {
        QuestionBoxes* pThis;
        std::vector<std::pair<HWND, DWORD>> boxes;
    };
    static BOOL CALLBACK Collect(HWND hwnd, LPARAM lParam)
    {
        Search* pSearch = reinterpret_cast<Search*>(lParam);
        DWORD dwOwner = 0;
        GetWindowThreadProcessId(hwnd, &dwOwner);
        char szClass[16] = "";
        GetClassNameA(hwnd, szClass, sizeof(szClass));
        if (std::strcmp(szClass, "#32770") == 0 && IsWindowVisible(hwnd))
        {
            std::lock_guard<std::mutex> lock(pSearch->pThis->m_lock);
            if (pSearch->pThis->m_processes.count(dwOwner)) pSearch->boxes.push_back(std::make_pair(hwnd, dwOwner));
        }
        return TRUE;
    }
    void Watch()
    {
        std::map<HWND, DWORD> firstSeen;
        std::set<HWND> answered;
        while (!m_fStop)
        {
            Search search = {this, {}};
            EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
            unsigned nOpen = 0;
            for (const auto& box : search.boxes)
            {
                if (answered.count(box.first)) continue;
                ++nOpen;
                if (!firstSeen.count(box.first)) firstSeen[box.first] = GetTickCount();
                if (GetTickCount() - firstSeen[box.first] >= m_dwShowMs)
                {
                    PostMessageA(box.first, WM_COMMAND, m_wAnswer, 0);
                    answered.insert(box.first);
                    m_answeredFor.push_back(box.second);
                }
            }
            m_nMostAtOnce = std::max(m_nMostAtOnce, nOpen);
            Sleep(10);
        }
    }
    WPARAM m_wAnswer;
    DWORD m_dwShowMs;
    std::mutex m_lock;
    std::set<DWORD> m_processes;
    std::atomic<bool> m_fStop{false};
    unsigned m_nMostAtOnce = 0;
    std::vector<DWORD> m_answeredFor;
    std::thread m_thread;
};

unsigned long long DaysFromCivil(int y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<unsigned long long>(era) * 146097ull + doe;
}

double WallSeconds(const std::string& sTime)
{
    auto part = [&sTime](size_t i, size_t n) { return std::atoi(sTime.substr(i, n).c_str()); };
    return static_cast<double>(DaysFromCivil(part(0, 4), static_cast<unsigned>(part(4, 2)), static_cast<unsigned>(part(6, 2)))) * 86400.0 +
           part(8, 2) * 3600.0 + part(10, 2) * 60.0 + part(12, 2);
}

// The trace's microsecond counter runs on the machine's one clock but wraps every ten seconds;
// the local time beside it (whole seconds) tells which turn a line belongs to. Seconds on a
// common scale, for lines of every process.
class TraceClock
{
public:
    double Seconds(const vxtest::TimedTraceLine& line)
    {
        const double dCounter = line.dwMicroseconds / 1e6;
        const double dOffset = WallSeconds(line.sTime) - dCounter;
        if (!m_fHaveBase)
        {
            m_dBaseOffset = dOffset;
            m_fHaveBase = true;
        }
        const double dTurns = (dOffset - m_dBaseOffset) / 10.0;
        return dCounter + 10.0 * static_cast<double>(static_cast<long long>(dTurns + (dTurns >= 0 ? 0.5 : -0.5)));
    }

private:
    bool m_fHaveBase = false;
    double m_dBaseOffset = 0;
};

struct Span
{
    double dFrom = -1, dTo = -1;
    int iRun = -1;
};

}  // namespace

TEST(ReliabilityLoad, RunsAtOnceTakeTurnsAndAllSucceed)
{
    Figures figures;
    figures.sPart = "load";
    figures.seed = vxtest::SuiteSeed();
    const unsigned nRuns = vxtest::CountFromEnvironment("VX_RELIABILITY_CONCURRENT", 8);
    const unsigned nRounds = vxtest::CountFromEnvironment("VX_RELIABILITY_LOAD_ROUNDS", 1);
    figures.concurrent = nRuns;
    std::printf("%u runs at once (VX_RELIABILITY_CONCURRENT), %u rounds (VX_RELIABILITY_LOAD_ROUNDS)\n", nRuns, nRounds);

    vxtest::SwitchOffCrashDialog();
    VendorKeys vendorKeys;
    vxtest::SetWineVersionFor("vxfpdi14.exe", "winxp");
    SampleMedium medium;
    GlueSide glue;
    ASSERT_TRUE(glue.Valid());
    // The printer in the spooler and another one as the default: every run asks its question,
    // inside the mutex, and is answered No so that the next one asks too.
    vxtest::SpoolerPrinters spooler;
    const char kOther[] = "Quorvane Load Other";
    ASSERT_TRUE(spooler.InstallDriver(kDriver, "vx1234drv.dll") && spooler.InstallPrinter(kPrinter, "LPT1:", kDriver) &&
                spooler.InstallPrinter(kOther, "LPT2:", kDriver));
    const std::string sOldDefault = vxtest::DefaultPrinterName();
    SetDefaultPrinterA(kOther);
    const std::string sTemp = medium.TempFolder();

    unsigned nOverlaps = 0, nMostBoxes = 0;
    for (unsigned iRound = 0; iRound < nRounds; ++iRound)
    {
        SCOPED_TRACE("round " + std::to_string(iRound));
        RemoveFiles(sTemp, "*.log");
        RecordGlueInstall(kDriver, medium.GluePath(), kPrinter);
        glue.PrepareRun();
        std::vector<ChildProcess> runs(nRuns);
        {
            QuestionBoxes boxes(IDNO);
            // Tracing on, so that each run's steps carry the machine's clock. The runs are made
            // first and then set going together.
            for (unsigned i = 0; i < nRuns; ++i)
            {
                ASSERT_TRUE(runs[i].Start(medium.Command(kDriver, "-log 0xaf ", "Load" + std::to_string(i)), medium.Environment(),
                                          std::string(), true));
                boxes.AddProcess(runs[i].Id());
            }
            for (ChildProcess& run : runs) run.Resume();
            for (ChildProcess& run : runs)
            {
                const RunVerdict eVerdict = vxtest::Finish(run, kRunDeadlineMs);
                figures.Count(eVerdict);
                EXPECT_EQ(vxtest::eRunEnded, eVerdict) << vxtest::VerdictText(eVerdict) << ", exit code " << run.ExitCode();
            }
            boxes.Stop();
            EXPECT_EQ(nRuns, boxes.AnsweredFor().size()) << "one question per run";
            EXPECT_EQ(1u, boxes.MostAtOnce()) << "questions were up side by side";
            nMostBoxes = std::max(nMostBoxes, boxes.MostAtOnce());
        }

        // Each run its own whole numbered log, with its own command line.
        std::set<unsigned> logsOf;
        const std::vector<int> numbers = vxtest::InstallLogNumbers(sTemp);
        EXPECT_EQ(nRuns, numbers.size());
        for (int n : numbers)
        {
            const LogFile log = vxtest::ReadLog(vxtest::InstallLogPath(sTemp, n));
            if (log.HasTornLine()) ++figures.tornLines;
            EXPECT_TRUE(vxtest::EndsWithOutcome(log)) << "log " << n << ":\n" << Joined(log.lines);
            if (log.lines.empty()) continue;
            EXPECT_EQ("The PDI Succeeded", log.lines.back()) << "log " << n << ":\n" << Joined(log.lines);
            EXPECT_EQ(1, std::count(log.lines.begin(), log.lines.end(), "<header>") +
                             std::count_if(log.lines.begin(), log.lines.end(), [](const std::string& s) {
                                 return s.find("- Logging Enabled ****") != std::string::npos;
                             }))
                << "log " << n;
            for (unsigned i = 0; i < nRuns; ++i)
            {
                const std::string sProduct = "-product=Load" + std::to_string(i) + " ";
                for (const std::string& sLine : log.lines)
                {
                    if (sLine.compare(0, 15, "Command Line = ") == 0 && sLine.find(sProduct) != std::string::npos)
                        logsOf.insert(i);
                }
            }
        }
        EXPECT_EQ(nRuns, logsOf.size()) << "runs whose command line is in a log of its own";

        // Each run its own trace file; in it, the span from the medium's silent-install check to
        // the end of the default-printer offer lies inside the run's hold of the mutex.
        TraceClock clock;
        std::vector<Span> spans;
        std::set<unsigned> tracesOf;
        for (const std::string& sName : vxtest::ListFiles(sTemp + "\\vxfpdi*.log"))
        {
            const std::vector<vxtest::TimedTraceLine> lines = vxtest::ReadTrace(sTemp + "\\" + sName);
            if (!vxtest::Env("VX_RELIABILITY_DUMP").empty())
            {
                for (const vxtest::TimedTraceLine& line : lines) std::printf("%s %.6f %s\n", sName.c_str(), clock.Seconds(line), line.sText.c_str());
            }
            Span span;
            unsigned nMediumReads = 0;
            for (size_t iLine = 0; iLine < lines.size(); ++iLine)
            {
                const std::string& sText = lines[iLine].sText;
                for (unsigned i = 0; i < nRuns; ++i)
                {
                    if (sText.compare(0, 21, "Parsed command line: ") == 0 &&
                        sText.find("\"-product=Load" + std::to_string(i) + "\"") != std::string::npos)
                    {
                        if (tracesOf.count(i)) ADD_FAILURE() << "two traces of run " << i;
                        tracesOf.insert(i);
                        span.iRun = static_cast<int>(i);
                    }
                }
                // The hold's traced part begins with the silent-install check (after the
                // registry work) and ends before the third look for the medium's information
                // file: the first two are the check's and the offer's, the third is the
                // installer step's, after the release.
                if (sText.compare(0, 16, "IsSilentInstall(") == 0 && span.dFrom < 0) span.dFrom = clock.Seconds(lines[iLine]);
                const bool fDivision = sText.compare(0, 28, "GetValueByQualifier(Version.") == 0 && sText.find(", DIVISION,") != std::string::npos;
                if (fDivision && iLine > 0 && lines[iLine - 1].sText.find(", DIVISION,") == std::string::npos &&
                    ++nMediumReads == 3)
                    span.dTo = clock.Seconds(lines[iLine - 1]);
            }
            EXPECT_TRUE(span.iRun >= 0 && span.dFrom >= 0 && span.dTo >= span.dFrom) << sName;
            spans.push_back(span);
        }
        EXPECT_EQ(nRuns, tracesOf.size()) << "runs whose trace is in a file of its own";
        std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.dFrom < b.dFrom; });
        for (size_t i = 1; i < spans.size(); ++i)
        {
            if (spans[i].dFrom <= spans[i - 1].dTo)
            {
                ++nOverlaps;
                ADD_FAILURE() << "run " << spans[i].iRun << " began its offer at " << spans[i].dFrom << " s, before run "
                              << spans[i - 1].iRun << " ended its own at " << spans[i - 1].dTo << " s";
            }
        }
        EXPECT_EQ("", glue.StatesAfterSuccess());
        EXPECT_EQ(kOther, vxtest::DefaultPrinterName());
    }
    char szExtra[128];
    std::snprintf(szExtra, sizeof(szExtra), "rounds=%u overlapping_holds=%u most_questions_at_once=%u", nRounds, nOverlaps,
                  nMostBoxes);
    figures.Print(szExtra);
    EXPECT_EQ(0u, figures.crashes);
    EXPECT_EQ(0u, figures.hangs);
    EXPECT_EQ(0u, figures.tornLines);
    if (!sOldDefault.empty()) SetDefaultPrinterA(sOldDefault.c_str());
    vxtest::SetWineVersionFor("vxfpdi14.exe", "");
}

// ---------------------------------------------------------------------------------------------
// Hostile input through the real program.

namespace
{

// Runs jobs a few at a time. start(iJob, iSlot, child) starts job iJob in slot iSlot;
// done(iJob, iSlot, verdict, exit code) judges it once it has ended or was ended at its deadline.
template <class TStart, class TDone>
void RunSideBySide(unsigned nJobs, unsigned nSlots, DWORD dwDeadlineMs, TStart start, TDone done)
{
    std::vector<ChildProcess> children(nSlots);
    std::vector<int> jobOf(nSlots, -1);
    std::vector<DWORD> startedAt(nSlots, 0);
    unsigned iNext = 0, nRunning = 0;
    while (iNext < nJobs || nRunning > 0)
    {
        for (unsigned iSlot = 0; iSlot < nSlots && iNext < nJobs; ++iSlot)
        {
            if (jobOf[iSlot] >= 0) continue;
            if (!start(iNext, iSlot, children[iSlot]))
            {
                ADD_FAILURE() << "job " << iNext << " did not start: error " << children[iSlot].StartError();
                ++iNext;
                continue;
            }
            jobOf[iSlot] = static_cast<int>(iNext++);
            startedAt[iSlot] = GetTickCount();
            ++nRunning;
        }
        std::vector<HANDLE> handles;
        for (unsigned iSlot = 0; iSlot < nSlots; ++iSlot)
        {
            if (jobOf[iSlot] >= 0) handles.push_back(children[iSlot].Handle());
        }
        if (!handles.empty()) WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 100);
        for (unsigned iSlot = 0; iSlot < nSlots; ++iSlot)
        {
            if (jobOf[iSlot] < 0) continue;
            const bool fEnded = children[iSlot].Wait(0);
            if (!fEnded && GetTickCount() - startedAt[iSlot] < dwDeadlineMs) continue;
            const RunVerdict eVerdict = vxtest::Finish(children[iSlot], 0);
            done(static_cast<unsigned>(jobOf[iSlot]), iSlot, eVerdict, children[iSlot].ExitCode());
            children[iSlot].Close();
            jobOf[iSlot] = -1;
            --nRunning;
        }
    }
}

std::string RandomCase(Random& random, const std::string& s)
{
    std::string sOut = s;
    for (char& c : sOut)
    {
        if (random.Chance(40)) c = static_cast<char>(random.Chance(50) ? std::toupper(static_cast<unsigned char>(c)) : std::tolower(static_cast<unsigned char>(c)));
    }
    return sOut;
}

// Switches of the PDI and others, in any order and letter case, with and without values,
// introduced by any of the usual characters, with junk between them.
std::string HostileCommandLine(Random& random, bool fDoubleByte, size_t cchLimit)
{
    static const char* const kNames[] = {"printerdriver", "product", "port", "statuscode", "languagedir", "log",
                                         "corunpdi", "GluePath", "f", "printerdrive", "portx", ""};
    static const char* const kIntroducers[] = {"-", "-", "-", "/", "--", "", " - "};
    static const char* const kEquals[] = {"=", "=", "=", "=", " =", "= ", "==", ""};
    std::string sLine;
    if (random.Chance(35))
    {
        // The three switches the Glue passes, in any order and case, with odd values, among junk.
        std::vector<std::string> switches;
        for (unsigned i = 0; i < 3; ++i)
        {
            std::string sValue = random.Chance(60) ? std::string(kNames[i][0] == 'p' && i == 2 ? "LPT1:" : "Quorvane Model 1234")
                                                   : HostileValue(random, fDoubleByte);
            switches.push_back("-" + RandomCase(random, kNames[i]) + "=" + sValue);
        }
        if (random.Chance(30)) switches.push_back(HostileValue(random, fDoubleByte));
        if (random.Chance(20)) switches.push_back("-" + RandomCase(random, kNames[3 + random.Below(3)]) + "=" + HostileValue(random, fDoubleByte));
        for (size_t i = switches.size(); i > 1; --i) std::swap(switches[i - 1], switches[random.Below(static_cast<uint32_t>(i))]);
        for (const std::string& sSwitch : switches) sLine += sSwitch + std::string(1 + (random.Chance(10) ? random.Below(5) : 0), ' ');
    }
    for (unsigned nTokens = sLine.empty() ? random.Below(9) : 0; nTokens > 0; --nTokens)
    {
        const unsigned uKind = random.Below(10);
        std::string sToken;
        if (uKind < 7)
        {
            sToken = kIntroducers[random.Below(sizeof(kIntroducers) / sizeof(kIntroducers[0]))];
            // The three required switches more often than the rest, so that many lines reach
            // the install flow.
            const unsigned iName = random.Chance(60) ? random.Below(3) : random.Below(sizeof(kNames) / sizeof(kNames[0]));
            sToken += RandomCase(random, kNames[iName]);
            if (!random.Chance(15)) sToken += kEquals[random.Below(sizeof(kEquals) / sizeof(kEquals[0]))] + HostileValue(random, fDoubleByte);
        }
        else
        {
            sToken = HostileValue(random, fDoubleByte);
        }
        sLine += sToken;
        sLine += random.Chance(85) ? " " : (random.Chance(50) ? "" : std::string(1 + random.Below(6), ' '));
    }
    if (sLine.size() > cchLimit) sLine.erase(cchLimit);
    return sLine;
}

// A line that reaches the install flow must not cost the Glue's status retries (seconds each):
// the driver it names gets its status value first. The PDI's own parser names the driver.
bool ReachesInstallFlow(const std::string& sArguments, std::string* psDriver)
{
    const CVxCiString sCmdLine(sArguments.c_str());
    if (sCmdLine.empty()) return false;
    bool fInstall = IsParameterPresent(sCmdLine, CVxCiString(), g_sSwitchPrinterDriver);
    fInstall = IsParameterPresent(sCmdLine, CVxCiString(), g_sSwitchProduct) && fInstall;
    fInstall = IsParameterPresent(sCmdLine, CVxCiString(), g_sSwitchPort) && fInstall;
    if (!fInstall) return false;
    CVxCiString sDriver;
    FindCmdLineVar(sCmdLine, g_sSwitchPrinterDriver, &sDriver);
    *psDriver = ToStd(sDriver);
    return true;
}

}  // namespace

TEST(ReliabilityCommandLine, GeneratedCommandLinesEndWithAnOutcome)
{
    Figures figures;
    figures.sPart = GetACP() == 932 ? "command_lines_cp932" : "command_lines";
    figures.seed = vxtest::SuiteSeed();
    Random random(figures.seed ^ (GetACP() == 932 ? 0x434D3933ull : 0x434D444Cull));
    // The double-byte run adds to the single-byte one's thousand.
    const unsigned nInputs = GetACP() == 932 ? vxtest::CountFromEnvironment("VX_RELIABILITY_COMMAND_LINES_CP932", 200)
                                             : vxtest::CountFromEnvironment("VX_RELIABILITY_COMMAND_LINES", 1000);
    const unsigned nSlots = vxtest::CountFromEnvironment("VX_RELIABILITY_SIDE_BY_SIDE", 3);
    std::printf("seed %llu, %u command lines (VX_RELIABILITY_COMMAND_LINES), %u at a time, code page %u\n",
                static_cast<unsigned long long>(figures.seed), nInputs, nSlots, GetACP());

    vxtest::SwitchOffCrashDialog();
    VendorKeys vendorKeys;
    vxtest::SetWineVersionFor("vxfpdi14.exe", "");
    const std::string sPdi = "\"" + vxtest::PdiExePath() + "\" ";
    std::vector<std::unique_ptr<vxtest::ScratchDir>> temps;
    for (unsigned i = 0; i < nSlots; ++i) temps.emplace_back(new vxtest::ScratchDir("cmdline"));
    std::vector<std::string> arguments(nSlots);
    unsigned nReachedFlow = 0, nBad = 0;
    size_t cchLongest = 0;

    RunSideBySide(
        nInputs, nSlots, 60000,
        [&](unsigned, unsigned iSlot, ChildProcess& child) {
            arguments[iSlot] = HostileCommandLine(random, GetACP() == 932, 32000 - sPdi.size());
            std::string sDriver;
            if (ReachesInstallFlow(arguments[iSlot], &sDriver))
            {
                ++nReachedFlow;
                if (!sDriver.empty()) vxtest::WriteRegistryDword(DriverKey(sDriver), "statuscode", 0);
            }
            cchLongest = std::max(cchLongest, arguments[iSlot].size());
            const std::string& sTemp = temps[iSlot]->Path();
            return child.Start(sPdi + arguments[iSlot], {{"TEMP", sTemp}, {"TMP", sTemp}});
        },
        [&](unsigned iJob, unsigned iSlot, RunVerdict eVerdict, DWORD dwExitCode) {
            ++figures.inputs;
            figures.Count(eVerdict);
            const std::string& sTemp = temps[iSlot]->Path();
            const LogFile log = vxtest::ReadLog(vxtest::InstallLogPath(sTemp, 0));
            if (log.HasTornLine()) ++figures.tornLines;
            if ((eVerdict != vxtest::eRunEnded || !vxtest::EndsWithOutcome(log)) && ++nBad <= 10)
            {
                ADD_FAILURE() << "input " << iJob << " (seed " << figures.seed << ") " << vxtest::VerdictText(eVerdict)
                              << ", exit code " << std::hex << dwExitCode << std::dec << ", arguments of "
                              << arguments[iSlot].size() << " bytes: " << arguments[iSlot].substr(0, 300) << "\n"
                              << Joined(log.lines);
            }
            RemoveFiles(sTemp, "*.log");
        });
    vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, GlueKey());

    char szExtra[128];
    std::snprintf(szExtra, sizeof(szExtra), "reached_install_flow=%u longest_arguments=%u side_by_side=%u", nReachedFlow,
                  static_cast<unsigned>(cchLongest), nSlots);
    figures.Print(szExtra);
    EXPECT_EQ(nInputs, figures.inputs);
    EXPECT_EQ(0u, nBad);
    EXPECT_EQ(0u, figures.crashes);
    EXPECT_EQ(0u, figures.hangs);
    EXPECT_EQ(0u, figures.tornLines);
}

namespace
{

// Registry values the PDI reads, stored with types or contents no Glue writes.
void MutateGlueValues(Random& random, const std::string& sDriverKey)
{
    const std::string sModelKey = DriverKey(kDriver);
    for (unsigned n = 1 + random.Below(3); n > 0; --n)
    {
        const DWORD dw = random.Below(3);
        const std::string sDword(reinterpret_cast<const char*>(&dw), sizeof(dw));
        switch (random.Below(12))
        {
        case 0: SetValue(sDriverKey, "GluePath", REG_DWORD, sDword); break;
        case 1: SetValue(sDriverKey, "GluePath", REG_BINARY, RandomBytes(random, random.Below(600))); break;
        case 2: SetValue(sDriverKey, "GluePath", REG_SZ, "C:\\no terminator"); break;  // stored without its zero
        case 3: SetValue(sDriverKey, "GluePath", REG_MULTI_SZ, std::string("C:\\\0D:\\\0\0", 9)); break;
        case 4: SetValue(sDriverKey, "PrinterFriendlyName", random.Chance(50) ? REG_DWORD : REG_BINARY, sDword); break;
        case 5: vxtest::WriteRegistryString(sDriverKey, "PrinterFriendlyName", std::string(random.Chance(50) ? 70000 : 300, 'P')); break;
        case 6:
        case 7:
            // A status of the wrong type costs the Glue's retries (seconds, inside the mutex):
            // seldom, so that the part stays within CI's time.
            if (random.Chance(15))
                SetValue(sDriverKey, "statuscode", random.Chance(50) ? REG_SZ : REG_BINARY, std::string("0\0\x03\x04", 4));
            else
                SetValue(sDriverKey, "GluePath", REG_EXPAND_SZ, std::string("%TEMP%\\", 8));
            break;
        case 8: SetValue(sDriverKey, "languagedir", REG_DWORD, sDword); SetValue(GlueKey(), "OverrideLanguage", REG_BINARY, "ENU"); break;
        case 9: SetValue(GlueKey(), "statuscode", REG_SZ, std::string("5", 2)); break;
        case 10: SetValue(GlueKey(), "PreloadPath", REG_DWORD, sDword); SetValue(GlueKey(), "RunPreloadInstaller", REG_DWORD, sDword); break;
        default:
            SetValue(sModelKey, "statuscode", random.Chance(50) ? REG_DWORD : REG_SZ,
                     random.Chance(50) ? sDword : std::string("0x", 3));
            break;
        }
    }
}

}  // namespace

TEST(ReliabilityMedia, GeneratedMediaEndWithAnOutcome)
{
    Figures figures;
    figures.sPart = "media";
    figures.seed = vxtest::SuiteSeed();
    Random random(figures.seed ^ 0x4D454449ull);
    const unsigned nInputs = vxtest::CountFromEnvironment("VX_RELIABILITY_MEDIA", 300);
    // Most of a whole run is the product signal's one-second wait: more runs side by side.
    const unsigned nSlots = vxtest::CountFromEnvironment("VX_RELIABILITY_SIDE_BY_SIDE", 5);
    std::printf("seed %llu, %u media (VX_RELIABILITY_MEDIA), %u at a time\n", static_cast<unsigned long long>(figures.seed),
                nInputs, nSlots);

    vxtest::SwitchOffCrashDialog();
    VendorKeys vendorKeys;
    const std::string sAutorun = SampleFile("autorun.inf");
    const std::string sModels = SampleFile("models.dat");
    std::vector<std::unique_ptr<SampleMedium>> media;
    std::vector<std::string> drivers;
    for (unsigned i = 0; i < nSlots; ++i)
    {
        media.emplace_back(new SampleMedium);
        drivers.push_back("Quorvane Hostile " + std::to_string(i));
    }
    std::vector<std::string> described(nSlots);
    unsigned nBad = 0, nSucceeded = 0, nWrongTypes = 0;
    std::map<std::string, unsigned> byRelease;

    // Most media meet XP; the rest the other families, which read the medium differently.
    static const char* const kReleases[] = {"winxp", "winxp", "winxp", "winxp", "win2k", "win98", "nt40"};
    const unsigned nPhases = sizeof(kReleases) / sizeof(kReleases[0]);
    for (unsigned iPhase = 0; iPhase < nPhases; ++iPhase)
    {
        const unsigned nPhaseInputs = nInputs / nPhases + (iPhase < nInputs % nPhases ? 1 : 0);
        vxtest::SetWineVersionFor("vxfpdi14.exe", kReleases[iPhase]);
        RunSideBySide(
            nPhaseInputs, nSlots, kRunDeadlineMs,
            [&](unsigned, unsigned iSlot, ChildProcess& child) {
                SampleMedium& medium = *media[iSlot];
                std::string sAutorunText = sAutorun, sModelsText = sModels;
                const unsigned uWhich = random.Below(10);
                if (uWhich < 6) sAutorunText = MutatedAutorun(random, sAutorun);
                if (uWhich >= 4) sModelsText = MutatedModels(random, sModels);
                medium.WriteFile("autorun.inf", sAutorunText);
                medium.WriteFile("models.dat", sModelsText);
                if (random.Chance(5)) DeleteFileA((medium.Root() + "\\autorun.inf").c_str());
                vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, DriverKey(drivers[iSlot]));
                RecordGlueInstall(drivers[iSlot], medium.GluePath(), kPrinter);
                const bool fWrongTypes = random.Chance(35);
                if (fWrongTypes)
                {
                    ++nWrongTypes;
                    MutateGlueValues(random, DriverKey(drivers[iSlot]));
                }
                described[iSlot] = std::string(kReleases[iPhase]) + ", autorun.inf of " + std::to_string(sAutorunText.size()) +
                                   " bytes, models.dat of " + std::to_string(sModelsText.size()) + " bytes" +
                                   (fWrongTypes ? ", odd registry values" : "");
                return child.Start(medium.Command(drivers[iSlot]), medium.Environment());
            },
            [&](unsigned iJob, unsigned iSlot, RunVerdict eVerdict, DWORD dwExitCode) {
                ++figures.inputs;
                figures.Count(eVerdict);
                const std::string sTemp = media[iSlot]->TempFolder();
                const LogFile log = vxtest::ReadLog(vxtest::InstallLogPath(sTemp, 0));
                if (log.HasTornLine()) ++figures.tornLines;
                if (vxtest::EndsWithOutcome(log) && log.lines.back() == "The PDI Succeeded") ++nSucceeded;
                if ((eVerdict != vxtest::eRunEnded || !vxtest::EndsWithOutcome(log)) && ++nBad <= 10)
                {
                    ADD_FAILURE() << "medium " << iJob << " of phase " << iPhase << " (seed " << figures.seed << ", "
                                  << described[iSlot] << ") " << vxtest::VerdictText(eVerdict) << ", exit code " << std::hex
                                  << dwExitCode << std::dec << "\n"
                                  << Joined(log.lines);
                }
                RemoveFiles(sTemp, "*.log");
                DeleteValue(GlueKey(), "OverrideLanguage");
                DeleteValue(GlueKey(), "statuscode");
                DeleteValue(GlueKey(), "PreloadPath");
                DeleteValue(GlueKey(), "RunPreloadInstaller");
                vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, DriverKey(kDriver));
                ++byRelease[kReleases[iPhase]];
            });
    }
    vxtest::SetWineVersionFor("vxfpdi14.exe", "");

    char szExtra[160];
    std::snprintf(szExtra, sizeof(szExtra), "succeeded=%u failed=%u odd_registry_values=%u side_by_side=%u", nSucceeded,
                  figures.inputs - nSucceeded, nWrongTypes, nSlots);
    figures.Print(szExtra);
    EXPECT_EQ(nInputs, figures.inputs);
    EXPECT_EQ(0u, nBad);
    EXPECT_EQ(0u, figures.crashes);
    EXPECT_EQ(0u, figures.hangs);
    EXPECT_EQ(0u, figures.tornLines);
}

// ---------------------------------------------------------------------------------------------
// Long paths.

namespace
{

// Paths longer than MAX_PATH are reached through the wide functions' "\\?\" form.
std::wstring LongForm(const std::string& sPath)
{
    std::wstring s = L"\\\\?\\";
    for (char c : sPath) s += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return s;
}

bool CopyLong(const std::string& sFrom, const std::string& sTo) { return CopyFileW(LongForm(sFrom).c_str(), LongForm(sTo).c_str(), FALSE) != FALSE; }

bool WriteLong(const std::string& sPath, const std::string& sBytes)
{
    HANDLE hFile = CreateFileW(LongForm(sPath).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) return false;
    DWORD dwWritten = 0;
    const BOOL fOk = WriteFile(hFile, sBytes.data(), static_cast<DWORD>(sBytes.size()), &dwWritten, NULL);
    CloseHandle(hFile);
    return fOk && dwWritten == sBytes.size();
}

void RemoveLongTree(const std::wstring& sPath)
{
    WIN32_FIND_DATAW tFind;
    HANDLE hFind = FindFirstFileW((sPath + L"\\*").c_str(), &tFind);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::wstring sName = tFind.cFileName;
            if (sName == L"." || sName == L"..") continue;
            if (tFind.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveLongTree(sPath + L"\\" + sName);
            else
                DeleteFileW((sPath + L"\\" + sName).c_str());
        } while (FindNextFileW(hFind, &tFind));
        FindClose(hFind);
    }
    RemoveDirectoryW(sPath.c_str());
}

// The sample medium under a root of exactly cchRoot characters, made of folders of at most
// 100 characters.
class LongMedium
{
public:
    explicit LongMedium(size_t cchRoot) : m_base("long")
    {
        m_sRoot = m_base.Path();
        while (m_sRoot.size() < cchRoot)
        {
            const size_t cchPart = std::min<size_t>(100, cchRoot - m_sRoot.size() - 1);
            m_sRoot += "\\" + std::string(cchPart == 0 ? 1 : cchPart, 'm');
            CreateDirectoryW(LongForm(m_sRoot).c_str(), NULL);
        }
        for (const char* pszFolder : {"\\drivers", "\\drivers\\Win2K_XP", "\\patches"}) CreateDirectoryW(LongForm(m_sRoot + pszFolder).c_str(), NULL);
        const std::string sRecorder = vxtest::WinPathFromUnix(vxtest::Env("VX_RECORDER_EXE"));
        m_fLaidOut = m_sRoot.size() == cchRoot && CopyLong(vxtest::PdiExePath(), PdiPath()) &&
                     CopyLong(sRecorder, m_sRoot + "\\patches\\fix1.exe") && CopyLong(sRecorder, m_sRoot + "\\patches\\fix2.exe") &&
                     CopyLong(sRecorder, m_sRoot + "\\vxzsetup.exe") && WriteLong(m_sRoot + "\\autorun.inf", SampleFile("autorun.inf")) &&
                     WriteLong(m_sRoot + "\\models.dat", SampleFile("models.dat"));
    }
    ~LongMedium() { RemoveLongTree(LongForm(m_base.Path())); }
    bool LaidOut() const { return m_fLaidOut; }
    const std::string& Root() const { return m_sRoot; }
    std::string PdiFolder() const { return m_sRoot + "\\drivers\\Win2K_XP"; }
    std::string PdiPath() const { return PdiFolder() + "\\vxfpdi14.exe"; }
    std::string Temp() const { return m_temp.Path(); }
    std::string RecordFile() const { return m_temp.File("runs.log"); }

private:
    vxtest::ScratchDir m_base;
    vxtest::ScratchDir m_temp{"longtemp"};
    std::string m_sRoot;
    bool m_fLaidOut = false;
};

struct PathRun
{
    RunVerdict eVerdict = vxtest::eRunHung;
    LogFile log;
    std::vector<std::string> runs;  // programs the medium recorded
    std::vector<std::string> traceNames;
    std::vector<std::string> trace;  // texts of the first trace file
};

PathRun RunFrom(const std::string& sPdiPath, const std::string& sTemp, const std::string& sRecordFile,
                const std::string& sBefore = std::string())
{
    PathRun run;
    ChildProcess child;
    const std::string sCommand = vxtest::PdiCommandLine(sPdiPath, sBefore, kDriver, kPrinter);
    const std::map<std::string, std::string> environment = {{"TEMP", sTemp}, {"TMP", sTemp}, {"VX_RECORD_FILE", sRecordFile}};
    const bool fStarted = sPdiPath.size() < MAX_PATH ? child.Start(sCommand, environment)
                                                     : child.StartLongPath(sPdiPath, sCommand, environment);
    if (!fStarted)
    {
        ADD_FAILURE() << "could not start " << sPdiPath << ", error " << GetLastError();
        return run;
    }
    run.eVerdict = vxtest::Finish(child, kRunDeadlineMs);
    Sleep(300);  // the product installer is not waited for
    run.log = vxtest::ReadLog(vxtest::InstallLogPath(sTemp, 0));
    run.runs = vxtest::RecordedPrograms(sRecordFile);
    run.traceNames = vxtest::ListFiles(sTemp + "\\*.log");
    run.traceNames.erase(std::remove_if(run.traceNames.begin(), run.traceNames.end(),
                                        [](const std::string& s) { return s.compare(0, 6, "vxvxdi") == 0 || s == "runs.log"; }),
                         run.traceNames.end());
    if (!run.traceNames.empty())
    {
        for (const vxtest::TimedTraceLine& line : vxtest::ReadTrace(sTemp + "\\" + run.traceNames[0])) run.trace.push_back(line.sText);
    }
    return run;
}

class ReliabilityPaths : public ::testing::Test
{
protected:
    ReliabilityPaths()
    {
        vxtest::SwitchOffCrashDialog();
        vxtest::SetWineVersionFor("vxfpdi14.exe", "winxp");
    }
    ~ReliabilityPaths() override { vxtest::SetWineVersionFor("vxfpdi14.exe", ""); }
    VendorKeys m_vendorKeys;
    GlueSide m_glue;
};

bool HasTraceLine(const std::vector<std::string>& trace, const std::string& sText)
{
    return std::find(trace.begin(), trace.end(), sText) != trace.end();
}

}  // namespace

TEST_F(ReliabilityPaths, MediumFolderOf200CharactersInstallsAsUsual)
{
    LongMedium medium(200);
    ASSERT_TRUE(medium.LaidOut());
    RecordGlueInstall(kDriver, medium.PdiFolder() + "\\", kPrinter);
    m_glue.PrepareRun();
    const PathRun run = RunFrom(medium.PdiPath(), medium.Temp(), medium.RecordFile());
    ASSERT_EQ(vxtest::eRunEnded, run.eVerdict);
    ASSERT_TRUE(vxtest::EndsWithOutcome(run.log)) << Joined(run.log.lines);
    EXPECT_EQ("The PDI Succeeded", run.log.lines.back()) << Joined(run.log.lines);
    EXPECT_EQ((std::vector<std::string>{"fix1.exe", "fix2.exe", "vxzsetup.exe"}), run.runs);
    EXPECT_EQ("", m_glue.StatesAfterSuccess());
}

// The system starts no program whose path is longer than MAX_PATH: a Glue cannot start the
// PDI from such a medium at all.
TEST_F(ReliabilityPaths, ProgramBeyondMaxPathIsNotStarted)
{
    LongMedium medium(270);
    ASSERT_TRUE(medium.LaidOut());
    ChildProcess child;
    EXPECT_FALSE(child.Start(vxtest::PdiCommandLine(medium.PdiPath(), "", kDriver, kPrinter), {}));
    // 64-bit Wine says the file or path is not found, 32-bit Wine that the name is invalid.
    const DWORD dwError = GetLastError();
    EXPECT_TRUE(dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND || dwError == ERROR_INVALID_NAME)
        << dwError;
}

// The longest medium the PDI can start from: its own path takes 259 characters, and the paths
// it builds from it (the information file, the patches, the installer) are longer than
// MAX_PATH. The information file cannot be read through them, so the run goes on as on a
// medium without one: no models, no patches, no product to signal ("result == FALSE"); the
// installer's command is logged whole.
TEST_F(ReliabilityPaths, MediumFilesBeyondMaxPathAreAMediumWithoutInformationFile)
{
    LongMedium medium(MAX_PATH - 1 - std::strlen("\\drivers\\Win2K_XP\\vxfpdi14.exe"));
    ASSERT_TRUE(medium.LaidOut());
    ASSERT_EQ(static_cast<size_t>(MAX_PATH - 1), medium.PdiPath().size());
    RecordGlueInstall(kDriver, medium.PdiFolder() + "\\", kPrinter);
    m_glue.PrepareRun();
    const PathRun run = RunFrom(medium.PdiPath(), medium.Temp(), medium.RecordFile(), "-log 0x8 ");
    ASSERT_EQ(vxtest::eRunEnded, run.eVerdict);
    ASSERT_TRUE(vxtest::EndsWithOutcome(run.log)) << Joined(run.log.lines);
    EXPECT_EQ("The PDI Succeeded", run.log.lines.back());
    const std::vector<std::string> expected = {"sDriverName.empty()", "lResult != ERROR_SUCCESS", "result == FALSE"};
    EXPECT_EQ(expected, vxtest::ConditionTexts(run.log.lines)) << Joined(run.log.lines);
    EXPECT_TRUE(Contains(run.log.lines, "DedOVA launching \"" + medium.PdiFolder() + "\\..\\..\\vxzsetup.exe\""))
        << Joined(run.log.lines);
    EXPECT_EQ(0, std::count(run.runs.begin(), run.runs.end(), "fix1.exe") + std::count(run.runs.begin(), run.runs.end(), "fix2.exe"));
    EXPECT_EQ("", m_glue.StatesAfterSuccess());
}

// A name longer than the printer's 260-character buffer is refused by the printer lookup: no
// question is asked and the install goes on.
TEST_F(ReliabilityPaths, FriendlyNameOf300CharactersIsNotOffered)
{
    SampleMedium medium;
    const std::string sName = std::string(kPrinter) + " " + std::string(300 - std::strlen(kPrinter) - 1, 'N');
    RecordGlueInstall(kDriver, medium.GluePath(), sName);
    m_glue.PrepareRun();
    QuestionBoxes boxes(IDNO, 0);
    const PathRun run = RunFrom(medium.PdiPath(), medium.TempFolder(), medium.RecordFile(), "-log 0x88 ");
    boxes.Stop();
    ASSERT_EQ(vxtest::eRunEnded, run.eVerdict);
    ASSERT_TRUE(vxtest::EndsWithOutcome(run.log)) << Joined(run.log.lines);
    EXPECT_EQ("The PDI Succeeded", run.log.lines.back());
    EXPECT_TRUE(boxes.AnsweredFor().empty());
    EXPECT_TRUE(HasTraceLine(run.trace, "Friendly name = " + sName)) << Joined(run.trace);
    EXPECT_TRUE(HasTraceLine(run.trace, "## Cannot initialize CPrinter object failed")) << Joined(run.trace);
}

// The list of data files is read into 1024 bytes: a longer list is cut there, and the files
// named before the cut are still read.
TEST_F(ReliabilityPaths, DataFileListLongerThanItsBufferIsCut)
{
    std::string sAutorun = SampleFile("autorun.inf");
    const std::string sList = "InfrastructureDatabaseList=models.dat";
    const size_t iList = sAutorun.find(sList);
    ASSERT_NE(std::string::npos, iList);
    sAutorun.insert(iList + sList.size(), "," + std::string(1500, 'd') + ".dat");
    SampleMedium medium(sAutorun);
    RecordGlueInstall(kDriver, medium.GluePath(), kPrinter);
    m_glue.PrepareRun();
    const PathRun run = RunFrom(medium.PdiPath(), medium.TempFolder(), medium.RecordFile(), "-log 0x88 ");
    ASSERT_EQ(vxtest::eRunEnded, run.eVerdict);
    ASSERT_TRUE(vxtest::EndsWithOutcome(run.log)) << Joined(run.log.lines);
    EXPECT_EQ("The PDI Succeeded", run.log.lines.back());
    EXPECT_TRUE(HasTraceLine(run.trace, "HasGlueRunBefore: Model=Quorvane Model 1234 Series")) << Joined(run.trace);
    EXPECT_EQ((std::vector<std::string>{"fix1.exe", "fix2.exe", "vxzsetup.exe"}), run.runs);
}
