#include "app/command_line_switch.h"

#include <gtest/gtest.h>

TEST(HasStartupSwitch, CountsOnlyAfterTheProgramPath) {
    EXPECT_TRUE(HasStartupSwitch("\"C:\\Program Files\\Quorvane\\Quorvane.exe\" /startup"));
    EXPECT_TRUE(HasStartupSwitch("C:\\Quorvane\\Quorvane.exe /startup"));
    EXPECT_FALSE(HasStartupSwitch("/startup"));
    EXPECT_FALSE(HasStartupSwitch("/startup C:\\Quorvane\\Quorvane.exe"));
    EXPECT_FALSE(HasStartupSwitch(""));
    EXPECT_FALSE(HasStartupSwitch("C:\\Quorvane\\Quorvane.exe"));
}

TEST(HasStartupSwitch, IsACaseSensitiveSubstringSearch) {
    EXPECT_FALSE(HasStartupSwitch("Quorvane.exe /STARTUP"));
    EXPECT_FALSE(HasStartupSwitch("Quorvane.exe /Startup"));
    EXPECT_TRUE(HasStartupSwitch("Quorvane.exe -x/startupnow"));
}
