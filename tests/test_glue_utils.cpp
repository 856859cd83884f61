#include <gtest/gtest.h>

#include "vxzglue/vxzglue_utils.h"

TEST(FindCmdLineVar, SplitsValuesAtTheNextSwitch)
{
    const CVxCiString sLine = "-printerdriver=Model 1234 Series -product=Model -port=USB001";
    CVxCiString sValue;
    ASSERT_TRUE(FindCmdLineVar(sLine, "printerdriver", &sValue));
    EXPECT_EQ(CVxCiString("Model 1234 Series"), sValue);
    ASSERT_TRUE(FindCmdLineVar(sLine, "product", &sValue));
    EXPECT_EQ(CVxCiString("Model"), sValue);
    ASSERT_TRUE(FindCmdLineVar(sLine, "port", &sValue));
    EXPECT_EQ(CVxCiString("USB001"), sValue);
}
