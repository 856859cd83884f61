// The whole PDI run from an install medium: the handshake with the Glue's events and mutex,
// the registry results, the patches, the product installer and the product's signal.
// Real HKLM keys and fixed object names: every run of this program takes the machine lock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "support/box_answerer.h"
#include "support/flow_medium.h"
#include "support/medium.h"
#include "support/spooler_printers.h"
#include "vxzglue/vxzglue_utils.h"

namespace
{

using vxtest::CleanFlowMachineState;
const char* const kDriver = vxtest::kFlowDriver;
const char* const kPrinter = vxtest::kFlowPrinter;
const char* const kModels = vxtest::kFlowModels;
const char* const kModelKey = vxtest::kFlowModelKey;
std::string Autorun(const std::string& sExtra) { return vxtest::FlowAutorun(sExtra); }

std::string DriverKey() { return ToStd(g_sRegKeyGlue) + "\\" + kDriver; }

bool IsSignalled(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }
bool IsSignalled(const CUniqueHandle& h) { return IsSignalled(h.Get()); }

class InstallFlowTest : public ::testing::Test
{
protected:
    explicit InstallFlowTest(const std::string& sAutorunExtra = "SilentInstall=Yes\r\n")
        : m_flow(sAutorunExtra), m_medium(m_flow.Medium()), m_hRan(m_flow.GlueRan()),
          m_hInstalled(m_flow.GlueInstalledDriver()), m_hFinished(m_flow.GlueFinished())
    {
    }

    bool RecordGlueInstall(bool fStatusCode = true) { return m_flow.RecordGlueInstall(fStatusCode); }

    // Runs the medium's PDI as the given release; returns its install log.
    std::vector<std::string> RunPdi(const std::string& sRelease = "winxp", DWORD dwTimeoutMs = 120000)
    {
        m_result = m_flow.RunAs(sRelease, "", m_environment, dwTimeoutMs);
        return m_medium.InstallLog();
    }

    std::vector<std::string> Runs() const { return m_medium.RecordedPrograms(); }

    vxtest::FlowMedium m_flow;
    vxtest::ScratchMedium& m_medium;
    std::map<std::string, std::string> m_environment;  // more for the PDI and what it starts
    vxtest::ProcessResult m_result;
    // The Glue's view of the handshake: it holds the events before the PDI starts.
    CUniqueHandle& m_hRan;
    CUniqueHandle& m_hInstalled;
    CUniqueHandle& m_hFinished;
};

// Every run that gets past the mutex starts with these: the entry's probe for the optional
// "statuscode" switch, and the Glue key's own "statuscode", which these tests do not write.
std::vector<std::string> Expected(std::vector<std::string> rest)
{
    std::vector<std::string> conditions = {"sDriverName.empty()", "lResult != ERROR_SUCCESS"};
    conditions.insert(conditions.end(), rest.begin(), rest.end());
    return conditions;
}

bool Contains(const std::vector<std::string>& lines, const std::string& sLine)
{
    for (const std::string& s : lines)
    {
        if (s == sLine) return true;
    }
    return false;
}

}  // namespace

TEST_F(InstallFlowTest, StandardInstallDoesTheWholeJob)
{
    ASSERT_TRUE(RecordGlueInstall());
    const std::vector<std::string> log = RunPdi();
    ASSERT_TRUE(m_result.fFinished);
    EXPECT_EQ(0u, m_result.dwExitCode);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("The PDI Succeeded", log.back());
    // The only condition line: the earlier-run check found no key for the medium's model.
    EXPECT_EQ(Expected({"lResult != ERROR_SUCCESS"}), vxtest::ConditionTexts(log));

    // Patches first (waited for), then the product installer.
    const std::vector<std::string> expectedRuns = {"fix1.exe", "vxzsetup.exe"};
    EXPECT_EQ(expectedRuns, Runs());
    EXPECT_TRUE(Contains(log, "DedOVA launching \"" + m_medium.PdiFolder() + "\\..\\..\\vxzsetup.exe\""));

    DWORD dwResult = 0xdeadbeef;
    EXPECT_TRUE(vxtest::ReadHklmDword(DriverKey(), "GlueResult", &dwResult));
    EXPECT_EQ(0u, dwResult);
    std::string sValue;
    EXPECT_FALSE(vxtest::ReadHklmString(DriverKey(), "corunpdi", &sValue));  // a silent install asks nothing
    EXPECT_TRUE(vxtest::ReadHklmString("SOFTWARE\\Quorvane\\ABC\\C32", "ABC_PNPFinishedEvent_07", &sValue));
    EXPECT_EQ("1", sValue);
    EXPECT_TRUE(vxtest::ReadHklmString("SOFTWARE\\Quorvane\\ABC\\C32", "SetupGlue", &sValue));
    EXPECT_EQ(m_medium.PdiFolder() + "\\", sValue);
    EXPECT_FALSE(vxtest::HklmKeyExists(ToStd(g_sRegKeyUninstall) + "\\" + kDriver + "_Driver"));

    EXPECT_TRUE(IsSignalled(m_hRan));
    EXPECT_TRUE(IsSignalled(m_hInstalled));
    EXPECT_TRUE(IsSignalled(m_hFinished));
}

TEST_F(InstallFlowTest, ProductEventIsSignalledForOneSecond)
{
    ASSERT_TRUE(RecordGlueInstall());
    const CUniqueHandle hProduct(CreateEventA(NULL, TRUE, FALSE, "ABC_PNPFinishedEvent_07"));
    ASSERT_TRUE(hProduct.IsValid());
    RunPdi();
    EXPECT_TRUE(IsSignalled(hProduct));  // a product holding the event still sees the signal

    // A product that opens the event only after the PDI set it: the PDI keeps the event for a
    // second before it goes on to its last step, the Glue's finish signal. The watcher's first
    // sight comes after the event was set, so the gap it sees is never longer than the PDI's.
    ASSERT_TRUE(RecordGlueInstall());
    ResetEvent(m_hFinished.Get());
    std::atomic<bool> fStop(false);
    DWORD dwSeen = 0, dwFinished = 0;
    bool fSignalledWhenSeen = false;
    std::thread watcher([&] {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        HANDLE hSeen = NULL;
        while (!fStop && !(hSeen = OpenEventA(SYNCHRONIZE, FALSE, "ABC_PNPFinishedEvent_07"))) Sleep(1);
        if (!hSeen) return;
        dwSeen = GetTickCount();
        fSignalledWhenSeen = IsSignalled(hSeen);
        CloseHandle(hSeen);
        if (WaitForSingleObject(m_hFinished.Get(), 120000) == WAIT_OBJECT_0) dwFinished = GetTickCount();
    });
    const std::vector<std::string> log = RunPdi();
    fStop = true;
    watcher.join();
    EXPECT_EQ("The PDI Succeeded", log.back());
    ASSERT_NE(0u, dwSeen) << "the product event was never there";
    EXPECT_TRUE(fSignalledWhenSeen);
    ASSERT_NE(0u, dwFinished);
    EXPECT_GE(dwFinished - dwSeen, 750u) << "the event lived " << (dwFinished - dwSeen) << " ms before the finish";
}

TEST_F(InstallFlowTest, GlueThatRanBeforeSkipsThePatches)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryString(kModelKey, "statuscode", "0"));
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Succeeded", log.back());
    EXPECT_EQ(std::vector<std::string>{"vxzsetup.exe"}, Runs());
}

TEST_F(InstallFlowTest, InstalledSoftwareIsNotInstalledAgain)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryString("SOFTWARE\\Quorvane\\Installed Products", "{0F0E0D0C-1111-2222-3333-444455556666}", "1"));
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Succeeded", log.back());
    EXPECT_EQ(std::vector<std::string>{"fix1.exe"}, Runs());
}

TEST_F(InstallFlowTest, InstallerFromThePreloadFolder)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryString(ToStd(g_sRegKeyGlue), "PreloadPath", m_medium.PdiFolder()));
    const CUniqueHandle hInstaller(CreateEventA(NULL, TRUE, TRUE, "VXZ_Installer_Running"));
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Succeeded", log.back());
}

TEST_F(InstallFlowTest, RunningInstallerElsewhereFailsAfterTheDriverSignal)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryString(ToStd(g_sRegKeyGlue), "PreloadPath", "C:\\somewhere\\else"));
    const CUniqueHandle hInstaller(CreateEventA(NULL, TRUE, TRUE, "VXZ_Installer_Running"));
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Failed", log.back());
    const std::vector<std::string> conditions = vxtest::ConditionTexts(log);
    EXPECT_EQ(Expected({"sPreloadPath != sFixedGluePath", "GetInstallType( sGluePath, &eInstallType ) == false",
                        "MimicLegacyGlue( sCmdLine ) == false"}),
              conditions);
    EXPECT_TRUE(IsSignalled(m_hInstalled));
    EXPECT_TRUE(IsSignalled(m_hFinished));
    EXPECT_TRUE(Runs().empty());
}

TEST_F(InstallFlowTest, MissingGlueFolderFailsBeforeTheDriverSignal)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryString(DriverKey(), "GluePath", m_medium.Root() + "\\no such folder\\"));
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Failed", log.back());
    EXPECT_EQ(Expected({"IsFilePresent( sGluePath ) == false", "MimicLegacyGlue( sCmdLine ) == false"}),
              vxtest::ConditionTexts(log));
    EXPECT_TRUE(IsSignalled(m_hRan));
    EXPECT_FALSE(IsSignalled(m_hInstalled));
    EXPECT_TRUE(IsSignalled(m_hFinished));
}

TEST_F(InstallFlowTest, MissingStatusCodeIsRetriedAndPassedOver)
{
    ASSERT_TRUE(RecordGlueInstall(false));
    const DWORD dwStart = GetTickCount();
    const std::vector<std::string> log = RunPdi();
    const DWORD dwElapsed = GetTickCount() - dwStart;
    EXPECT_EQ("The PDI Succeeded", log.back());
    EXPECT_TRUE(Contains(log, "RegRetryGetDwordValue (" + DriverKey() +
                                  ", statuscode) Failed After 9 Retries and 3600 Milliseconds"));
    DWORD dw = 0;
    EXPECT_FALSE(vxtest::ReadHklmDword(DriverKey(), "GlueResult", &dw));
    EXPECT_GE(dwElapsed, 3600u);
}

TEST_F(InstallFlowTest, LanguageOverrideIsConsumedWhenTheDriverUsedIt)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryString(ToStd(g_sRegKeyGlue), "OverrideLanguage", "ENU"));
    ASSERT_TRUE(vxtest::WriteRegistryString(DriverKey(), "languagedir", "enu"));
    RunPdi();
    std::string s;
    EXPECT_FALSE(vxtest::ReadHklmString(ToStd(g_sRegKeyGlue), "OverrideLanguage", &s));
    EXPECT_FALSE(vxtest::ReadHklmString(DriverKey(), "languagedir", &s));

    ASSERT_TRUE(vxtest::WriteRegistryString(ToStd(g_sRegKeyGlue), "OverrideLanguage", "ENU"));
    ASSERT_TRUE(vxtest::WriteRegistryString(DriverKey(), "languagedir", "FRA"));
    ASSERT_TRUE(RecordGlueInstall());
    RunPdi();
    EXPECT_TRUE(vxtest::ReadHklmString(ToStd(g_sRegKeyGlue), "OverrideLanguage", &s));
    EXPECT_TRUE(vxtest::ReadHklmString(DriverKey(), "languagedir", &s));
}

TEST_F(InstallFlowTest, GlueKeyStatusIsHandedOnToo)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryDword(ToStd(g_sRegKeyGlue), "statuscode", 5));
    RunPdi();
    DWORD dw = 0;
    EXPECT_TRUE(vxtest::ReadHklmDword(ToStd(g_sRegKeyGlue), "GlueResult", &dw));
    EXPECT_EQ(5u, dw);
}

TEST_F(InstallFlowTest, SystemsWithoutTheOfferWriteNoCoRunValue)
{
    for (const char* pszRelease : {"win98", "nt40", "win2003"})
    {
        ASSERT_TRUE(RecordGlueInstall());
        const std::vector<std::string> log = RunPdi(pszRelease);
        EXPECT_EQ("The PDI Succeeded", log.back()) << pszRelease;
        std::string s;
        EXPECT_FALSE(vxtest::ReadHklmString(DriverKey(), "corunpdi", &s)) << pszRelease;
        DeleteFileA((m_medium.TempFolder() + "\\vxvxdi00.log").c_str());
    }
}

TEST_F(InstallFlowTest, EmptyFriendlyNameOnWindows2000Fails)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryString(DriverKey(), "PrinterFriendlyName", ""));
    const std::vector<std::string> log = RunPdi("win2k");
    EXPECT_EQ("The PDI Failed", log.back());
    EXPECT_EQ(Expected({"printerName == \"\"", "MimicLegacyGlue( sCmdLine ) == false"}), vxtest::ConditionTexts(log));
    std::string s;
    EXPECT_TRUE(vxtest::ReadHklmString(DriverKey(), "corunpdi", &s));
    EXPECT_EQ("true", s);
    EXPECT_FALSE(IsSignalled(m_hInstalled));
    EXPECT_TRUE(IsSignalled(m_hFinished));
}

TEST_F(InstallFlowTest, AbandonedMutexFailsTheRunButIsReleased)
{
    ASSERT_TRUE(RecordGlueInstall());
    HANDLE hMutex = NULL;
    std::thread owner([&hMutex] { hMutex = CreateMutexA(NULL, TRUE, "VXZ_Installation_Initializing"); });
    owner.join();  // the owning thread ends without releasing: the mutex is abandoned
    ASSERT_TRUE(hMutex != NULL);
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Failed", log.back());
    const std::vector<std::string> conditions = vxtest::ConditionTexts(log);
    const std::vector<std::string> expected = {"sDriverName.empty()", "dwWaitResult == WAIT_ABANDONED",
                                               "MimicLegacyGlue( sCmdLine ) == false"};
    EXPECT_EQ(expected, conditions);
    EXPECT_TRUE(IsSignalled(m_hFinished));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));  // the PDI gave it back
    ReleaseMutex(hMutex);
    CloseHandle(hMutex);
}

TEST_F(InstallFlowTest, MediumWithoutInformationFileStillFinishes)
{
    ASSERT_TRUE(RecordGlueInstall());
    DeleteFileA((m_medium.Root() + "\\autorun.inf").c_str());
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Succeeded", log.back());
    // No models (nothing read), no product identity.
    EXPECT_EQ(Expected({"result == FALSE"}), vxtest::ConditionTexts(log));
    EXPECT_EQ(std::vector<std::string>{"vxzsetup.exe"}, Runs());
    EXPECT_TRUE(IsSignalled(m_hFinished));
}

// Bytes of every value, bracket lines without names, keys without values, a patch list whose
// only entry is empty: the run reads what it can and ends as any other.
TEST_F(InstallFlowTest, GarbageInformationFileStillFinishes)
{
    ASSERT_TRUE(RecordGlueInstall());
    std::string sGarbage;
    for (int i = 0; i < 4096; ++i) sGarbage += static_cast<char>((i * 7919 + 13) & 0xff);
    sGarbage += "\r\n[Version\r\n=\r\n[]\r\nDIVISION\r\n[OSPatches]\r\n1=\r\n";
    ASSERT_TRUE(m_medium.WriteFile("autorun.inf", sGarbage));
    const std::vector<std::string> log = RunPdi();
    ASSERT_TRUE(m_result.fFinished);
    EXPECT_EQ(0u, m_result.dwExitCode);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("The PDI Succeeded", log.back());
    EXPECT_EQ(std::vector<std::string>{"vxzsetup.exe"}, Runs());
    EXPECT_TRUE(IsSignalled(m_hRan));
    EXPECT_TRUE(IsSignalled(m_hInstalled));
    EXPECT_TRUE(IsSignalled(m_hFinished));
}

TEST_F(InstallFlowTest, WrongValueTypesInTheGlueKey)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(vxtest::WriteRegistryDword(DriverKey(), "GluePath", 7));
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Failed", log.back());
    const std::vector<std::string> conditions = vxtest::ConditionTexts(log);
    EXPECT_EQ(Expected({"dwType != REG_SZ",
                        "RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false",
                        "MimicLegacyGlue( sCmdLine ) == false"}),
              conditions);
    EXPECT_TRUE(IsSignalled(m_hFinished));
}

// Each handshake object's name taken by an object of the other type: the creation fails, the run
// fails there, and the clean-up touches only what was created before. The Glue's finish signal
// comes only from a created finish event. Before the run the driver signal is set and the
// finish signal is not, so a reset and a set show.
TEST_F(InstallFlowTest, HandshakeObjectThatCannotBeCreatedEndsTheRunThere)
{
    struct Case
    {
        const char* pszName;
        bool fMutex;                 // the name's holder: a mutex, else an event
        const char* pszCondition;
        bool fRan, fInstalled, fFinished;  // signalled after the run
    };
    const Case kCases[] = {
        {"VXZ_Glue_Ran", true, "hEventGlueRan == 0", false, true, false},
        {"VXZ_Glue_Installed_Driver", true, "hEventGlueInstalledDriver == 0", true, false, false},
        {"VXZ_Glue_Finished", true, "hEventGlueFinished == 0", true, false, false},
        {"VXZ_Installation_Initializing", false, "hMutexInstallerInitializing == 0", true, false, true},
    };
    for (const Case& c : kCases)
    {
        ASSERT_TRUE(RecordGlueInstall());
        CUniqueHandle* pOwn = std::string(c.pszName) == "VXZ_Glue_Ran" ? &m_hRan
                              : std::string(c.pszName) == "VXZ_Glue_Installed_Driver" ? &m_hInstalled
                              : std::string(c.pszName) == "VXZ_Glue_Finished" ? &m_hFinished
                                                                                    : NULL;
        if (pOwn) pOwn->Reset();
        CUniqueHandle squatter(c.fMutex ? CreateMutexA(NULL, FALSE, c.pszName) : CreateEventA(NULL, TRUE, FALSE, c.pszName));
        ASSERT_TRUE(squatter.IsValid()) << c.pszName;
        ResetEvent(m_hRan.Get());
        SetEvent(m_hInstalled.Get());
        ResetEvent(m_hFinished.Get());
        const std::vector<std::string> log = RunPdi();
        squatter.Reset();
        EXPECT_EQ("The PDI Failed", log.back()) << c.pszName;
        const std::vector<std::string> expected = {"sDriverName.empty()", c.pszCondition,
                                                   "MimicLegacyGlue( sCmdLine ) == false"};
        EXPECT_EQ(expected, vxtest::ConditionTexts(log)) << c.pszName;
        if (m_hRan.IsValid())
        {
            EXPECT_EQ(c.fRan, IsSignalled(m_hRan)) << c.pszName;
        }
        if (m_hInstalled.IsValid())
        {
            EXPECT_EQ(c.fInstalled, IsSignalled(m_hInstalled)) << c.pszName;
        }
        if (m_hFinished.IsValid())
        {
            EXPECT_EQ(c.fFinished, IsSignalled(m_hFinished)) << c.pszName;
        }
        EXPECT_TRUE(Runs().empty()) << c.pszName;
        if (pOwn) pOwn->Reset(CreateEventA(NULL, TRUE, FALSE, c.pszName));
        DeleteFileA((m_medium.TempFolder() + "\\vxvxdi00.log").c_str());
    }
}

// The product installer missing from the medium: its start fails with a logged line, and the
// product is still told and the run succeeds.
TEST_F(InstallFlowTest, MissingInstallerIsLoggedAndTheProductStillSignalled)
{
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(DeleteFileA((m_medium.Root() + "\\vxzsetup.exe").c_str()));
    const std::vector<std::string> log = RunPdi();
    EXPECT_EQ("The PDI Succeeded", log.back());
    EXPECT_EQ(Expected({"lResult != ERROR_SUCCESS", "WinExecResult == ERROR_FILE_NOT_FOUND"}), vxtest::ConditionTexts(log));
    EXPECT_EQ(std::vector<std::string>{"fix1.exe"}, Runs());
    std::string sValue;
    EXPECT_TRUE(vxtest::ReadHklmString("SOFTWARE\\Quorvane\\ABC\\C32", "ABC_PNPFinishedEvent_07", &sValue));
    EXPECT_EQ("1", sValue);
    EXPECT_TRUE(IsSignalled(m_hFinished));
}

// A medium that names only one of its division and last I/O revision: the other stays empty
// and the product is signalled under the name the one gives.
TEST_F(InstallFlowTest, MediumWithOnlyDivisionOrRevision)
{
    const struct
    {
        const char* pszDropped;
        const char* pszSignal;
    } kCases[] = {
        {"LAST_IO_REVISION=7\r\n", "ABC_PNPFinishedEvent_00"},
        {"DIVISION=ABC\r\n", "_PNPFinishedEvent_07"},
    };
    for (const auto& c : kCases)
    {
        ASSERT_TRUE(RecordGlueInstall());
        std::string sAutorun = Autorun("SilentInstall=Yes\r\n");
        sAutorun.erase(sAutorun.find(c.pszDropped), std::strlen(c.pszDropped));
        ASSERT_TRUE(m_medium.WriteFile("autorun.inf", sAutorun));
        const CUniqueHandle hProduct(CreateEventA(NULL, TRUE, FALSE, c.pszSignal));
        ASSERT_TRUE(hProduct.IsValid());
        const std::vector<std::string> log = RunPdi();
        EXPECT_EQ("The PDI Succeeded", log.back()) << c.pszSignal;
        EXPECT_EQ(Expected({"lResult != ERROR_SUCCESS"}), vxtest::ConditionTexts(log)) << c.pszSignal;
        EXPECT_TRUE(IsSignalled(hProduct)) << c.pszSignal;
        DeleteFileA((m_medium.TempFolder() + "\\vxvxdi00.log").c_str());
        DeleteFileA(m_medium.RecordFile().c_str());
    }
    std::string sValue;
    EXPECT_TRUE(vxtest::ReadHklmString("SOFTWARE\\Quorvane\\ABC\\C32", "ABC_PNPFinishedEvent_00", &sValue));
}

// Three minutes of waiting: the PDI gives up on a mutex the Glue does not release.
TEST_F(InstallFlowTest, MutexHeldTooLongTimesOut)
{
    if (vxtest::Env("VX_LONG_TESTS").empty()) GTEST_SKIP() << "set VX_LONG_TESTS=1 (the ctest run install_flow_long does)";
    ASSERT_TRUE(RecordGlueInstall());
    HANDLE hMutex = CreateMutexA(NULL, TRUE, "VXZ_Installation_Initializing");
    ASSERT_TRUE(hMutex != NULL);
    const std::vector<std::string> log = RunPdi("winxp", 300000);
    ASSERT_TRUE(m_result.fFinished);
    EXPECT_EQ("The PDI Failed", log.back());
    const std::vector<std::string> conditions = vxtest::ConditionTexts(log);
    const std::vector<std::string> expected = {"sDriverName.empty()", "dwWaitResult == WAIT_TIMEOUT",
                                               "MimicLegacyGlue( sCmdLine ) == false"};
    EXPECT_EQ(expected, conditions);
    EXPECT_FALSE(IsSignalled(m_hInstalled));
    EXPECT_TRUE(IsSignalled(m_hFinished));
    ReleaseMutex(hMutex);
    CloseHandle(hMutex);
}

// More than ten minutes: the ctest entry install_flow_patch_hang runs it, in a build
// configured with -DVX_SOAK_TESTS=ON. The PDI gives a patch ten minutes, then starts the next
// one and leaves the hanging one running.
TEST_F(InstallFlowTest, HangingPatchIsAbandonedAfterTenMinutes)
{
    if (vxtest::Env("VX_SOAK_TESTS").empty()) GTEST_SKIP() << "set VX_SOAK_TESTS=1 (install_flow_patch_hang does)";
    ASSERT_TRUE(RecordGlueInstall());
    ASSERT_TRUE(m_medium.WriteFile("autorun.inf", Autorun("SilentInstall=Yes\r\n") + "2=patches\\fix2.exe /next\r\n"));
    ASSERT_TRUE(m_medium.AddRecorder("patches\\fix2.exe"));
    const DWORD kHangMs = 15 * 60 * 1000;
    SetEnvironmentVariableA("VX_RECORD_SLEEP_MS", std::to_string(kHangMs).c_str());
    SetEnvironmentVariableA("VX_RECORD_SLEEP_NAME", "fix1.exe");

    // When each patch's record appears, seen from here while the PDI runs.
    std::atomic<bool> fDone(false);
    DWORD dwFix1Tick = 0, dwFix2Tick = 0;
    std::thread watcher([&]() {
        while (!fDone)
        {
            const std::vector<std::string> runs = Runs();
            if (!dwFix1Tick && !runs.empty()) dwFix1Tick = GetTickCount();
            if (!dwFix2Tick && runs.size() >= 2) dwFix2Tick = GetTickCount();
            Sleep(500);
        }
    });
    const std::vector<std::string> log = RunPdi("winxp", 20 * 60 * 1000);
    fDone = true;
    watcher.join();
    SetEnvironmentVariableA("VX_RECORD_SLEEP_MS", NULL);
    SetEnvironmentVariableA("VX_RECORD_SLEEP_NAME", NULL);
    // The hanging patch outlives the PDI: it was abandoned, not ended.
    EXPECT_EQ(1u, vxtest::TerminateProcessesWhere(
                      [](const char* pszExeName, DWORD) { return lstrcmpiA(pszExeName, "fix1.exe") == 0; }));

    ASSERT_TRUE(m_result.fFinished);
    EXPECT_EQ(0u, m_result.dwExitCode);
    EXPECT_EQ("The PDI Succeeded", log.back());
    const std::vector<std::string> expectedRuns = {"fix1.exe", "fix2.exe", "vxzsetup.exe"};
    EXPECT_EQ(expectedRuns, Runs());
    ASSERT_TRUE(dwFix1Tick != 0 && dwFix2Tick != 0);
    const DWORD dwGapMs = dwFix2Tick - dwFix1Tick;
    std::printf("the second patch started %.1f s after the first\n", dwGapMs / 1000.0);
    EXPECT_GE(dwGapMs, 599000u);  // the record's polling may see the first one half a second late
    EXPECT_LT(dwGapMs, kHangMs);  // long before the first one would have ended
}

namespace
{

// A medium whose model wants the question, and a printer of its driver in the spooler.
class DefaultPrinterFlowTest : public InstallFlowTest
{
protected:
    DefaultPrinterFlowTest() : InstallFlowTest("SilentInstall=No\r\n")
    {
        m_medium.WriteFile("models.dat",
                           std::string("[Models]\r\n") + kDriver + "=Flow1234\r\n[Flow1234]\r\nDriverName=" + kDriver +
                               "\r\nasktomakedefaultprinter=Yes\r\n");
        m_fPrinter = m_spooler.InstallDriver(kDriver, "vxflowdrv.dll") && m_spooler.InstallPrinter(kPrinter, "LPT1:", kDriver) &&
                     m_spooler.InstallPrinter(kOther, "LPT2:", kDriver);
        m_sOldDefault = vxtest::DefaultPrinterName();
        SetDefaultPrinterA(kOther);  // the new printer is not the default yet, so it is offered
    }
    ~DefaultPrinterFlowTest() override
    {
        if (!m_sOldDefault.empty()) SetDefaultPrinterA(m_sOldDefault.c_str());
    }

    static constexpr const char* kOther = "Quorvane Flow Other";
    vxtest::SpoolerPrinters m_spooler;
    bool m_fPrinter = false;
    std::string m_sOldDefault;
};

}  // namespace

// The question holds the installation mutex: the Glue's view shows the driver signal only
// after the answer.
TEST_F(DefaultPrinterFlowTest, QuestionOnXpAndWindows2000AnsweredYes)
{
    ASSERT_TRUE(m_fPrinter);
    for (const char* pszRelease : {"winxp", "win2k"})
    {
        ASSERT_TRUE(RecordGlueInstall());
        ResetEvent(m_hInstalled.Get());
        bool fDriverSignalledBeforeAnswer = true;
        vxtest::BoxAnswerer answerer("Set Default Printer", IDYES, 60000,
                                     [this, &fDriverSignalledBeforeAnswer] { fDriverSignalledBeforeAnswer = IsSignalled(m_hInstalled); });
        const std::vector<std::string> log = RunPdi(pszRelease);
        answerer.Wait();
        EXPECT_TRUE(answerer.Found()) << pszRelease;
        EXPECT_TRUE(answerer.HasText(std::string("Do you want to set the ") + kPrinter + " as your default printer?"))
            << pszRelease;
        EXPECT_FALSE(fDriverSignalledBeforeAnswer) << pszRelease;
        EXPECT_EQ("The PDI Succeeded", log.back()) << pszRelease;
        EXPECT_EQ(kPrinter, vxtest::DefaultPrinterName()) << pszRelease;
        std::string s;
        EXPECT_TRUE(vxtest::ReadHklmString(DriverKey(), "corunpdi", &s)) << pszRelease;
        SetDefaultPrinterA(kOther);
        DeleteFileA((m_medium.TempFolder() + "\\vxvxdi00.log").c_str());
    }
}

// The PDI creates the installation mutex owned and then waits for it: it owns it twice and must
// give it back twice, so that the release after the question frees it. The patch the PDI waits
// for, and the installer after it, take it at once (the recorder tries and reports). A handle
// taken while the question holds it keeps the mutex alive past the PDI's end: free, not abandoned.
TEST_F(DefaultPrinterFlowTest, AnsweredNoChangesNothingAndLeavesTheMutexFree)
{
    ASSERT_TRUE(m_fPrinter);
    ASSERT_TRUE(RecordGlueInstall());
    HANDLE hMutex = NULL;
    vxtest::BoxAnswerer answerer("Set Default Printer", IDNO, 60000,
                                 [&hMutex] { hMutex = OpenMutexA(SYNCHRONIZE, FALSE, "VXZ_Installation_Initializing"); });
    m_environment["VX_RECORD_MUTEX"] = "VXZ_Installation_Initializing";
    const std::vector<std::string> log = RunPdi("winxp");
    answerer.Wait();
    EXPECT_TRUE(answerer.Found());
    EXPECT_EQ("The PDI Succeeded", log.back());
    EXPECT_EQ(kOther, vxtest::DefaultPrinterName());
    ASSERT_TRUE(hMutex != NULL) << "the question was shown without the mutex";
    const std::vector<std::string> runs = m_medium.RecordedRuns();
    ASSERT_EQ(2u, runs.size());
    EXPECT_EQ(0u, runs[0].find("ran fix1.exe | ")) << runs[0];
    EXPECT_EQ(" | mutex free", runs[0].substr(runs[0].rfind(" | "))) << "the patch found the mutex owned";
    EXPECT_EQ(" | mutex free", runs[1].substr(runs[1].rfind(" | "))) << "the installer found the mutex owned";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));
    ReleaseMutex(hMutex);
    CloseHandle(hMutex);
}

TEST_F(DefaultPrinterFlowTest, NoQuestionOnWindows98Nt4Or2003)
{
    ASSERT_TRUE(m_fPrinter);
    for (const char* pszRelease : {"win98", "nt40", "win2003"})
    {
        ASSERT_TRUE(RecordGlueInstall());
        vxtest::BoxAnswerer answerer("Set Default Printer", IDYES, 3000);
        const std::vector<std::string> log = RunPdi(pszRelease);
        answerer.Stop();
        EXPECT_FALSE(answerer.Found()) << pszRelease;
        EXPECT_EQ("The PDI Succeeded", log.back()) << pszRelease;
        DeleteFileA((m_medium.TempFolder() + "\\vxvxdi00.log").c_str());
    }
}
