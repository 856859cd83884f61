#include <gtest/gtest.h>

#include "diag/install_log.h"
#include "support/test_support.h"

TEST(InstallLog, EmptyNameStaysDisabled)
{
    CInstallLog log;
    EXPECT_FALSE(log.Open("", 0, LOG_NUMBERED));
    EXPECT_FALSE(log.LogMessage(0, "text"));
}
