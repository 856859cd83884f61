#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "diag/install_log.h"
#include "support/test_support.h"

namespace
{

// Points TEMP (and TMP) of this process at a scratch folder for the fixture's life.
class InstallLogTest : public ::testing::Test
{
protected:
    InstallLogTest() : m_temp("ilog")
    {
        m_sOldTemp = vxtest::Env("TEMP");
        m_sOldTmp = vxtest::Env("TMP");
        SetEnvironmentVariableA("TEMP", m_temp.Path().c_str());
        SetEnvironmentVariableA("TMP", m_temp.Path().c_str());
    }
    ~InstallLogTest() override
    {
        SetEnvironmentVariableA("TEMP", m_sOldTemp.empty() ? NULL : m_sOldTemp.c_str());
        SetEnvironmentVariableA("TMP", m_sOldTmp.empty() ? NULL : m_sOldTmp.c_str());
    }
    std::vector<std::string> Lines(const char* pszName) const { return vxtest::ReadLines(m_temp.File(pszName)); }

    vxtest::ScratchDir m_temp;
    std::string m_sOldTemp, m_sOldTmp;
};

void SetAccessTime(const std::string& sPath, DWORD dwLow)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile) << sPath;
    FILETIME tAccess = {dwLow, 0x01D00000};
    ASSERT_TRUE(SetFileTime(hFile, NULL, &tAccess, NULL));
    CloseHandle(hFile);
}

std::string NumberedName(int n)
{
    char szName[32];
    std::snprintf(szName, sizeof(szName), "vxvxdi%2.2d.log", n);
    return szName;
}

}  // namespace

TEST_F(InstallLogTest, EmptyNameStaysDisabled)
{
    CInstallLog log;
    EXPECT_FALSE(log.Open("", 0, LOG_NUMBERED));
    EXPECT_FALSE(log.IsEnabled());
    EXPECT_FALSE(log.LogMessage(0, "text"));
    EXPECT_FALSE(log.LogError(0, "a.cpp", 1, "text"));
    EXPECT_TRUE(vxtest::ListFiles(m_temp.File("*")).empty());
}

TEST_F(InstallLogTest, HeaderIsAnEmptyLineTheBannerAndAnEmptyLine)
{
    CInstallLog log;
    ASSERT_TRUE(log.Open("vxvxdi.log", 0, LOG_NUMBERED));
    EXPECT_EQ(CVxCiString(m_temp.File("vxvxdi00.log").c_str()), log.GetPath());
    std::vector<std::string> lines = Lines("vxvxdi00.log");
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("", lines[0]);
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\*\*\*\* (Sun|Mon|Tue|Wed|Thu|Fri|Sat) )"
                                                      R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
                                                      R"([ 1-3]\d \d\d:\d\d:\d\d \d{4} - Logging Enabled \*\*\*\*)")))
        << lines[1];
    EXPECT_EQ("", lines[2]);
}

TEST_F(InstallLogTest, LevelAndFormatFilters)
{
    CInstallLog log;
    ASSERT_TRUE(log.Open("filter.log", 0, 0));
    EXPECT_FALSE(log.LogMessage(1, "level one"));
    EXPECT_TRUE(log.LogMessage(0, "level zero"));
    EXPECT_FALSE(log.LogMessage(0, "%s", ""));  // an empty line is not written
    EXPECT_FALSE(log.LogMessage(0, NULL));
    EXPECT_FALSE(log.LogError(0, NULL, 1, "x"));
    EXPECT_FALSE(log.LogError(0, "x.cpp", 1, NULL));
    EXPECT_FALSE(log.LogError(1, "x.cpp", 1, "x"));
    std::vector<std::string> lines = Lines("filter.log");
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("level zero", lines[3]);
}

TEST_F(InstallLogTest, ErrorLinesShowTheSourceName)
{
    static const struct
    {
        const char* pszSource;
        DWORD dwFlags;
        const char* pszExpected;
    } kCases[] = {
        {"..\\pdi\\pdi_main.cpp", 0, "[pdi_main.cpp, Line 42]: Error --> sCmdLine.empty()"},
        {"..\\pdi\\", 0, "[..\\pdi\\, Line 42]: Error --> sCmdLine.empty()"},
        {"pdi_main.cpp", 0, "[pdi_main.cpp, Line 42]: Error --> sCmdLine.empty()"},
        {"..\\pdi\\pdi_main.cpp", LOG_FULL_SOURCE_PATH, "[..\\pdi\\pdi_main.cpp, Line 42]: Error --> sCmdLine.empty()"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const std::string sName = "err" + std::to_string(i) + ".log";
        {
            CInstallLog log;
            ASSERT_TRUE(log.Open(sName.c_str(), 0, kCases[i].dwFlags));
            EXPECT_TRUE(log.LogError(0, kCases[i].pszSource, 42, "Error --> %s", "sCmdLine.empty()"));
        }
        std::vector<std::string> lines = Lines(sName.c_str());
        ASSERT_EQ(4u, lines.size()) << i;
        EXPECT_EQ(kCases[i].pszExpected, lines[3]) << i;
    }
}

TEST_F(InstallLogTest, TimeStampFlagPrefixesEveryLine)
{
    CInstallLog log;
    ASSERT_TRUE(log.Open("stamp.log", 0, LOG_TIMESTAMP));
    log.LogMessage(0, "plain %d", 7);
    log.LogError(0, "a\\b.cpp", 3, "Error --> %s", "x");
    std::vector<std::string> lines = Lines("stamp.log");
    ASSERT_EQ(5u, lines.size());
    const std::string sTime = R"(\w{3} \w{3} [ 1-3]\d \d\d:\d\d:\d\d \d{4})";
    EXPECT_TRUE(std::regex_match(lines[3], std::regex("\\[" + sTime + "\\]: plain 7"))) << lines[3];
    EXPECT_TRUE(std::regex_match(lines[4], std::regex("\\[" + sTime + ", b.cpp, Line 3\\]: Error --> x"))) << lines[4];
}

TEST_F(InstallLogTest, HundredThousandCharacterMessageIsWrittenWhole)
{
    const std::string sLong(100000, 'x');
    CInstallLog log;
    ASSERT_TRUE(log.Open("long.log", 0, 0));
    EXPECT_TRUE(log.LogMessage(0, "<%s>", sLong.c_str()));
    std::vector<std::string> lines = Lines("long.log");
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("<" + sLong + ">", lines[3]);
}

TEST_F(InstallLogTest, EveryLineIsOnDiskBeforeTheCallReturns)
{
    CInstallLog log;
    ASSERT_TRUE(log.Open("flush.log", 0, 0));
    log.LogMessage(0, "first");
    std::vector<std::string> lines = Lines("flush.log");  // read while the log is still open
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("first", lines[3]);
}

TEST_F(InstallLogTest, AppendKeepsEarlierLinesAndTruncateDropsThem)
{
    {
        CInstallLog log;
        ASSERT_TRUE(log.Open("keep.log", 0, 0));
        log.LogMessage(0, "run one");
    }
    {
        CInstallLog log;
        ASSERT_TRUE(log.Open("keep.log", 0, LOG_APPEND));
        log.LogMessage(0, "run two");
    }
    std::vector<std::string> lines = Lines("keep.log");
    ASSERT_EQ(8u, lines.size());
    EXPECT_EQ("run one", lines[3]);
    EXPECT_EQ("run two", lines[7]);
    {
        CInstallLog log;
        ASSERT_TRUE(log.Open("keep.log", 0, 0));
    }
    EXPECT_EQ(3u, Lines("keep.log").size());
}

TEST_F(InstallLogTest, NoTempDirFlagUsesThePathAsGiven)
{
    vxtest::ScratchDir other("ilog_other");
    CInstallLog log;
    ASSERT_TRUE(log.Open(other.File("fixed.log").c_str(), 0, LOG_NO_TEMP_DIR));
    log.LogMessage(0, "here");
    EXPECT_EQ(4u, vxtest::ReadLines(other.File("fixed.log")).size());
    EXPECT_TRUE(vxtest::ListFiles(m_temp.File("*")).empty());
}

TEST_F(InstallLogTest, NumberingTakesTheFirstFreeNumber)
{
    for (int n = 0; n < 5; ++n) ASSERT_TRUE(vxtest::WriteFileBytes(m_temp.File(NumberedName(n)), "old\n"));
    CInstallLog log;
    ASSERT_TRUE(log.Open("vxvxdi.log", 0, LOG_NUMBERED));
    EXPECT_EQ(CVxCiString(m_temp.File("vxvxdi05.log").c_str()), log.GetPath());
    std::string sOld;
    ASSERT_TRUE(vxtest::ReadFileBytes(m_temp.File("vxvxdi04.log"), &sOld));
    EXPECT_EQ("old\n", sOld);
}

TEST_F(InstallLogTest, NumberingReusesTheLeastRecentlyAccessedOfAHundred)
{
    for (int n = 0; n < 100; ++n)
    {
        ASSERT_TRUE(vxtest::WriteFileBytes(m_temp.File(NumberedName(n)), "old\n"));
        SetAccessTime(m_temp.File(NumberedName(n)), 0x10000000u + (n == 37 ? 0 : 1000u + n));
    }
    SetAccessTime(m_temp.File(NumberedName(60)), 0x10000000u);  // equal times: the lower number wins
    CInstallLog log;
    ASSERT_TRUE(log.Open("vxvxdi.log", 0, LOG_NUMBERED));
    EXPECT_EQ(CVxCiString(m_temp.File("vxvxdi37.log").c_str()), log.GetPath());
    std::vector<std::string> lines = Lines("vxvxdi37.log");
    ASSERT_EQ(3u, lines.size());  // truncated, then the header
    EXPECT_EQ("", lines[0]);
}

TEST_F(InstallLogTest, NumberedNameContinuesItsOwnNumber)
{
    static const struct
    {
        const char* pszName;
        const char* pszExpected;
    } kCases[] = {{"setup07.log", "setup08.log"}, {"setup99.log", "setup00.log"}, {"run5.log", "run500.log"}};
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        CInstallLog log;
        ASSERT_TRUE(log.Open(kCases[i].pszName, 0, LOG_NUMBERED)) << i;
        EXPECT_EQ(CVxCiString(m_temp.File(kCases[i].pszExpected).c_str()), log.GetPath()) << i;
    }
}

TEST_F(InstallLogTest, ALogAnotherRunStillWritesIsNotTaken)
{
    // Sound behaviour beyond the letter of the numbering rule: a candidate that is open (and
    // so locked) belongs to a running PDI; truncating it would lose that run's lines.
    CInstallLog first;
    ASSERT_TRUE(first.Open("vxvxdi.log", 0, LOG_NUMBERED));
    CInstallLog second;
    ASSERT_TRUE(second.Open("vxvxdi.log", 0, LOG_NUMBERED));
    EXPECT_EQ(CVxCiString(m_temp.File("vxvxdi00.log").c_str()), first.GetPath());
    EXPECT_EQ(CVxCiString(m_temp.File("vxvxdi01.log").c_str()), second.GetPath());
    first.LogMessage(0, "first run");
    EXPECT_EQ("first run", Lines("vxvxdi00.log").back());
}

TEST_F(InstallLogTest, AChosenLogThatCannotBeWrittenGivesWayToTheNextOldest)
{
    // Case 0: another run holds the oldest log open for writing, as a running PDI does. Case 1:
    // the choice takes number 37 but the writer cannot open it (a folder of that name here; a
    // run that lost the race for the same file a moment earlier meets the same refusal).
    for (int iCase = 0; iCase < 2; ++iCase)
    {
        const std::string sChosen = m_temp.File(NumberedName(37));
        RemoveDirectoryA(sChosen.c_str());
        for (int n = 0; n < 100; ++n)
        {
            const std::string sPath = m_temp.File(NumberedName(n));
            ASSERT_TRUE(vxtest::WriteFileBytes(sPath, "old\n"));
            SetAccessTime(sPath, 0x10000000u + (n == 37 ? 0 : n == 60 ? 1 : 1000u + n));
        }
        HANDLE hOther = INVALID_HANDLE_VALUE;
        if (iCase == 0)
        {
            hOther = CreateFileA(sChosen.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, hOther);
        }
        else
        {
            ASSERT_TRUE(DeleteFileA(sChosen.c_str()));
            ASSERT_TRUE(CreateDirectoryA(sChosen.c_str(), NULL));
        }
        CInstallLog log;
        const bool fOpened = log.Open("vxvxdi.log", 0, LOG_NUMBERED);
        const bool fLogged = log.LogMessage(0, "The PDI Succeeded");
        if (hOther != INVALID_HANDLE_VALUE) CloseHandle(hOther);
        ASSERT_TRUE(fOpened) << "case " << iCase;
        EXPECT_TRUE(fLogged) << "case " << iCase;
        EXPECT_EQ(CVxCiString(m_temp.File("vxvxdi60.log").c_str()), log.GetPath()) << "case " << iCase;
        const std::vector<std::string> lines = Lines("vxvxdi60.log");
        ASSERT_EQ(4u, lines.size()) << "case " << iCase;
        EXPECT_EQ("The PDI Succeeded", lines[3]) << "case " << iCase;
    }
    RemoveDirectoryA(m_temp.File(NumberedName(37)).c_str());
}

TEST_F(InstallLogTest, NoTempOrTmpFallsBackToTempInTheWindowsDrive)
{
    char szWindows[MAX_PATH] = "";
    ASSERT_NE(0u, GetWindowsDirectoryA(szWindows, MAX_PATH));
    const std::string sFallback = std::string(szWindows, 3) + "TEMP";
    vxtest::RemoveTree(sFallback);
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(sFallback.c_str()));
    SetEnvironmentVariableA("TEMP", "");
    SetEnvironmentVariableA("TMP", NULL);

    {
        CInstallLog log;
        ASSERT_TRUE(log.Open("vxvxdi.log", 0, LOG_NUMBERED));
        EXPECT_EQ(CVxCiString((sFallback + "\\vxvxdi00.log").c_str()), log.GetPath());
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(sFallback.c_str()));
    EXPECT_EQ(sFallback, vxtest::Env("TMP"));  // set for the rest of the process, no backslash
    vxtest::RemoveTree(sFallback);
}

TEST_F(InstallLogTest, TempWithATrailingBackslashIsFound)
{
    SetEnvironmentVariableA("TEMP", (m_temp.Path() + "\\").c_str());
    CInstallLog log;
    ASSERT_TRUE(log.Open("vxvxdi.log", 0, LOG_NUMBERED));
    EXPECT_EQ(CVxCiString(m_temp.File("vxvxdi00.log").c_str()), log.GetPath());
}

TEST_F(InstallLogTest, UnwritableFolderLeavesTheLogDisabled)
{
    SetEnvironmentVariableA("TEMP", (m_temp.Path() + "\\missing\\deeper").c_str());
    CInstallLog log;
    EXPECT_FALSE(log.Open("vxvxdi.log", 0, LOG_NUMBERED));
    EXPECT_FALSE(log.LogMessage(0, "lost"));
}
