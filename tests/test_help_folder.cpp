// Where the program finds its Help folder: beside itself in the build tree, in
// share/quorvane/Help when it is installed in a bin folder.
#include <gtest/gtest.h>

#include "app/derived_paths.h"
#include "small_prefix.h"

namespace {

using HelpFolderTest = qvtest::SmallPrefixTest;

TEST_F(HelpFolderTest, InstalledProgramFindsTheSharedHelpFolderBesideItsBinFolder) {
    MakeFolder("usr/bin");
    MakeFolder("usr/share/quorvane/Help");
    EXPECT_EQ(HelpFolderOf("C:\\usr\\bin"), "C:\\usr\\share\\quorvane\\Help");
    // Windows names are matched without regard to case.
    EXPECT_EQ(HelpFolderOf("C:\\usr\\BIN"), "C:\\usr\\share\\quorvane\\Help");
}

TEST_F(HelpFolderTest, AHelpFolderBesideTheProgramWins) {
    MakeFolder("build/bin/Help");
    MakeFolder("build/share/quorvane/Help");
    EXPECT_EQ(HelpFolderOf("C:\\build\\bin"), "C:\\build\\bin\\Help");
}

TEST_F(HelpFolderTest, WithoutEitherFolderOrOutsideABinFolderTheFolderBesideTheProgram) {
    MakeFolder("opt/bin");
    EXPECT_EQ(HelpFolderOf("C:\\opt\\bin"), "C:\\opt\\bin\\Help");
    // Only a bin folder looks in share: a program elsewhere keeps its own Help folder.
    MakeFolder("opt/tools");
    MakeFolder("opt/share/quorvane/Help");
    EXPECT_EQ(HelpFolderOf("C:\\opt\\tools"), "C:\\opt\\tools\\Help");
    EXPECT_EQ(HelpFolderOf("C:\\opt\\robin"), "C:\\opt\\robin\\Help");
    // A file named Help is not the folder.
    MakeFile("srv/share/quorvane/Help");
    EXPECT_EQ(HelpFolderOf("C:\\srv\\bin"), "C:\\srv\\bin\\Help");
}

}  // namespace
