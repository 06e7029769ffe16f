#include "app/string_table.h"

#include <gtest/gtest.h>

TEST(StringTable, LoadsTextsByIdAndNothingForUnknownIds) {
    EXPECT_EQ(LoadStringText(116), "CheckRestorePoint");
    EXPECT_EQ(LoadStringText(150), "There is no scan history.");
    EXPECT_EQ(LoadStringText(217), "Last Backup");
    EXPECT_EQ(LoadStringText(223), "LastBuildDate");
    EXPECT_EQ(LoadStringText(0), "");
    EXPECT_EQ(LoadStringText(-1), "");
    EXPECT_EQ(LoadStringText(1000000), "");
}
