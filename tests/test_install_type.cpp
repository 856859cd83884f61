// How the install type follows from the product installer's event and the Glue's preload values.
#include <gtest/gtest.h>

#include <string>

#include "pdi_utils.h"
#include "support/log_capture.h"
#include "support/test_support.h"
#include "vxzglue/vxzglue_utils.h"

namespace
{

class InstallTypeTest : public ::testing::Test
{
protected:
    InstallTypeTest() : m_medium("preload") {}

    bool SetGlueValue(const char* pszName, const std::string& sValue)
    {
        return vxtest::WriteRegistryString(ToStd(g_sRegKeyGlue), pszName, sValue);
    }
    // The product installer's event, signalled or not, for the test's life.
    void InstallerRunning(bool fSignalled)
    {
        m_hEvent = CreateEventA(NULL, TRUE, fSignalled ? TRUE : FALSE, g_sEventInstallerRunning.c_str());
        ASSERT_TRUE(m_hEvent != NULL);
    }
    ~InstallTypeTest() override
    {
        if (m_hEvent) CloseHandle(m_hEvent);
    }
    bool Is9x() const { return GetOsType() <= eOsWinMe; }

    vxtest::HklmRedirect m_hklm;
    vxtest::InstallLogCapture m_log;
    vxtest::ScratchDir m_medium;
    HANDLE m_hEvent = NULL;
};

}  // namespace

TEST_F(InstallTypeTest, ArgumentChecks)
{
    InstallType eType = eInstallTypeUnknown;
    EXPECT_FALSE(GetInstallType("", &eType));
    EXPECT_FALSE(GetInstallType("C:\\x\\", NULL));
    EXPECT_FALSE(GetInstallType("C", &eType));
    EXPECT_EQ(eInstallTypeUnknown, eType);
    const std::vector<std::string> expected = {"sGluePath.empty()", "peType == 0", "sFixedGluePath.length() < 2"};
    EXPECT_EQ(expected, m_log.Conditions());
}

TEST_F(InstallTypeTest, NoEventNoPreloadPathIsStandard)
{
    InstallType eType = eInstallTypeUnknown;
    ASSERT_TRUE(GetInstallType(m_medium.Path() + "\\", &eType));
    EXPECT_EQ(eInstallTypeStandard, eType);
}

TEST_F(InstallTypeTest, NoEventPreloadFolderAsksForThePreloadInstaller)
{
    // The preload path is written in another letter case and without its backslash.
    std::string sPreload = m_medium.Path();
    for (char& c : sPreload) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(SetGlueValue("PreloadPath", sPreload));
    ASSERT_TRUE(SetGlueValue("RunPreloadInstaller", "TRUE"));
    InstallType eType = eInstallTypeUnknown;
    ASSERT_TRUE(GetInstallType(m_medium.Path() + "\\", &eType));
    EXPECT_EQ(eInstallTypePreloadInstaller, eType);

    ASSERT_TRUE(SetGlueValue("RunPreloadInstaller", "no"));
    ASSERT_TRUE(GetInstallType(m_medium.Path() + "\\", &eType));
    EXPECT_EQ(eInstallTypePreload, eType);

    // Two trailing backslashes count as one.
    ASSERT_TRUE(GetInstallType(m_medium.Path() + "\\\\", &eType));
    EXPECT_EQ(eInstallTypePreload, eType);

    // Without its backslash the Glue path differs on NT; Windows 9x appends one to both.
    ASSERT_TRUE(GetInstallType(m_medium.Path(), &eType));
    EXPECT_EQ(Is9x() ? eInstallTypePreload : eInstallTypeStandard, eType);
}

TEST_F(InstallTypeTest, SignalledInstallerFromThePreloadFolder)
{
    ASSERT_TRUE(SetGlueValue("PreloadPath", m_medium.Path()));
    InstallerRunning(true);
    InstallType eType = eInstallTypeUnknown;
    ASSERT_TRUE(GetInstallType(m_medium.Path() + "\\", &eType));
    EXPECT_EQ(eInstallTypeInstallerPreload, eType);
}

TEST_F(InstallTypeTest, SignalledInstallerElsewhereFails)
{
    vxtest::ScratchDir other("elsewhere");
    ASSERT_TRUE(SetGlueValue("PreloadPath", other.Path()));
    InstallerRunning(true);
    InstallType eType = eInstallTypeUnknown;
    EXPECT_FALSE(GetInstallType(m_medium.Path() + "\\", &eType));
    EXPECT_EQ(eInstallTypeUnknown, eType);
    EXPECT_EQ(std::vector<std::string>{"sPreloadPath != sFixedGluePath"}, m_log.Conditions());
}

TEST_F(InstallTypeTest, SignalledInstallerWithoutPreloadPathFails)
{
    InstallerRunning(true);
    InstallType eType = eInstallTypeUnknown;
    EXPECT_FALSE(GetInstallType(m_medium.Path() + "\\", &eType));
    const std::vector<std::string> conditions = m_log.Conditions();
    ASSERT_FALSE(conditions.empty());
    EXPECT_EQ("fRegOk == false", conditions.back());
}

TEST_F(InstallTypeTest, UnsignalledInstallerIsStandardWhateverTheRegistryHolds)
{
    ASSERT_TRUE(SetGlueValue("PreloadPath", m_medium.Path()));
    ASSERT_TRUE(SetGlueValue("RunPreloadInstaller", "true"));
    InstallerRunning(false);
    InstallType eType = eInstallTypeUnknown;
    ASSERT_TRUE(GetInstallType(m_medium.Path() + "\\", &eType));
    EXPECT_EQ(eInstallTypeStandard, eType);
}

TEST_F(InstallTypeTest, ShortNamesOnWindows9x)
{
    if (!Is9x()) GTEST_SKIP() << "short-name comparison is made on Windows 9x only";
    const std::string sLong = m_medium.Path() + "\\Long Folder Name For Preload";
    ASSERT_TRUE(CreateDirectoryA(sLong.c_str(), NULL));
    char szShort[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(sLong.c_str(), szShort, MAX_PATH));
    ASSERT_TRUE(SetGlueValue("PreloadPath", szShort));  // the Glue may have written the 8.3 form
    InstallType eType = eInstallTypeUnknown;
    ASSERT_TRUE(GetInstallType(sLong + "\\", &eType));
    EXPECT_EQ(eInstallTypePreload, eType);

    EXPECT_FALSE(GetInstallType(m_medium.Path() + "\\missing\\", &eType));
    const std::vector<std::string> conditions = m_log.Conditions();
    ASSERT_FALSE(conditions.empty());
    EXPECT_EQ("GetShortPathName( sFixedGluePath.c_str(), szShortPath, _MAX_PATH ) == 0", conditions.back());
}
