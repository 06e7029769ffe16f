// The check-list control's column list, parsed without a window.
#include <gtest/gtest.h>

#include "results/check_list_columns.h"

namespace {

using Cols = std::vector<CheckListColumn>;

TEST(ColumnList, EmptyListOrAFirstPieceWithoutCommaGivesNoColumns) {
    EXPECT_TRUE(ParseColumnList("").empty());
    EXPECT_TRUE(ParseColumnList("Problem 100;Key, 50").empty());
    // Parsing stops at the first piece without a comma; later pieces are ignored.
    EXPECT_EQ(ParseColumnList("A, 10;broken;B, 20"), (Cols{{"A", ColumnAlign::Left, 10}}));
}

TEST(ColumnList, AlignmentCodesWidthsAndHeadingsAsWritten) {
    EXPECT_EQ(ParseColumnList("A, 1, 80"), (Cols{{"A", ColumnAlign::Centre, 80}}));
    EXPECT_EQ(ParseColumnList("A,2,80"), (Cols{{"A", ColumnAlign::Right, 80}}));
    EXPECT_EQ(ParseColumnList("A, 7, 80;B, x, 9"),
              (Cols{{"A", ColumnAlign::Left, 80}, {"B", ColumnAlign::Left, 9}}));
    // Widths below 1 become 1; non-numbers count as 0.
    EXPECT_EQ(ParseColumnList("A, 0;B, -5;C, wide"),
              (Cols{{"A", ColumnAlign::Left, 1}, {"B", ColumnAlign::Left, 1}, {"C", ColumnAlign::Left, 1}}));
    // A trailing semicolon adds no empty column.
    EXPECT_EQ(ParseColumnList("A, 5;"), (Cols{{"A", ColumnAlign::Left, 5}}));
}

TEST(ColumnList, TheTwoListsOfTheProgram) {
    // The results list: the fifth heading keeps the blank its separator ends in.
    EXPECT_EQ(ParseColumnList("Problem, 100;Description, 50;Key, 300;Root Key, 0; Param, 0"),
              (Cols{{"Problem", ColumnAlign::Left, 100},
                    {"Description", ColumnAlign::Left, 50},
                    {"Key", ColumnAlign::Left, 300},
                    {"Root Key", ColumnAlign::Left, 1},
                    {" Param", ColumnAlign::Left, 1}}));
    Cols quickBoot = ParseColumnList("Startup Item, 120; Path, 345; Root, 0; Registry, 0; Key, 0");
    ASSERT_EQ(quickBoot.size(), 5u);
    EXPECT_EQ(quickBoot[1], (CheckListColumn{" Path", ColumnAlign::Left, 345}));
}

TEST(ColumnList, DecimalPrefixBehavesLikeAtoiWithoutOverflow) {
    EXPECT_EQ(DecimalPrefix("  42px"), 42);
    EXPECT_EQ(DecimalPrefix("-5"), -5);
    EXPECT_EQ(DecimalPrefix("+7"), 7);
    EXPECT_EQ(DecimalPrefix("x1"), 0);
    EXPECT_EQ(DecimalPrefix(""), 0);
    EXPECT_EQ(DecimalPrefix("99999999999999999999"), INT_MAX);
    EXPECT_EQ(DecimalPrefix("-99999999999999999999"), INT_MIN);
}

}  // namespace
