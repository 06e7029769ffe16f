#include "platform/prefix/drive_map.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/prefix/case_insensitive_name.h"
#include "small_prefix.h"

namespace fs = std::filesystem;

namespace {

class DriveMapTest : public qvtest::SmallPrefixTest {
protected:
    std::optional<fs::path> Map(const std::string& windowsPath) {
        return qv::WindowsToUnixPath(*qv::ActivePrefix(), windowsPath);
    }
    // The mapped path with the drive link resolved, for comparing with drive_c paths.
    std::string Mapped(const std::string& windowsPath) {
        auto path = Map(windowsPath);
        if (!path) return "<none>";
        fs::path viaDrive = fs::weakly_canonical(root_ / "dosdevices" / "c:");
        fs::path text = *path;
        fs::path relative = text.lexically_relative(root_ / "dosdevices" / "c:");
        return (viaDrive / relative).lexically_normal().string();
    }
    std::string OnDisk(const std::string& relative) {
        return (fs::weakly_canonical(DriveC()) / relative).lexically_normal().string();
    }
};

TEST_F(DriveMapTest, MatchesEveryNameWithoutRegardToCaseInAllPathForms) {
    MakeFile("Program Files/Some App/App.EXE");
    const std::string expected = OnDisk("Program Files/Some App/App.EXE");
    for (const char* form : {
             "C:\\Program Files\\Some App\\App.EXE",
             "c:\\PROGRAM FILES\\some app\\app.exe",
             "C:/program files/Some App/app.exe",
             "C:\\\\Program Files\\\\Some App\\\\App.exe",
             "\\\\?\\C:\\Program Files\\Some App\\App.exe",
             "\\??\\C:\\Program Files\\Some App\\App.exe",
             "C:\\Program Files\\.\\Other\\..\\Some App\\App.exe",
             "C:\\..\\..\\Program Files\\Some App\\App.exe",
             "C:\\Program Files\\Some App\\App.exe. ",
         })
        EXPECT_EQ(Mapped(form), expected) << form;
    EXPECT_EQ(Mapped("C:\\program files\\some app\\"), OnDisk("Program Files/Some App"));
    EXPECT_EQ(Mapped("C:\\"), OnDisk(""));
}

TEST_F(DriveMapTest, KeepsTheRestOfAPathAsGivenFromTheFirstMissingName) {
    MakeFolder("Windows");
    EXPECT_EQ(Mapped("C:\\WINDOWS\\Missing Folder\\Sub\\File.TXT"), OnDisk("Windows/Missing Folder/Sub/File.TXT"));
}

TEST_F(DriveMapTest, PrefersTheExactSpellingWhenSeveralNamesDifferOnlyInCase) {
    MakeFile("dir/Readme.txt", "mixed");
    MakeFile("dir/README.TXT", "upper");
    EXPECT_EQ(Mapped("C:\\dir\\README.TXT"), OnDisk("dir/README.TXT"));
    EXPECT_EQ(Mapped("C:\\dir\\Readme.txt"), OnDisk("dir/Readme.txt"));
    // Neither spelled this way: the same one every time.
    EXPECT_EQ(Mapped("C:\\dir\\readme.TXT"), Mapped("C:\\DIR\\README.txt"));
}

TEST_F(DriveMapTest, FoldsNonAsciiLettersToo) {
    MakeFile("Données/Élève.txt");
    EXPECT_EQ(Mapped("C:\\DONNÉES\\élève.TXT"), OnDisk("Données/Élève.txt"));
    EXPECT_TRUE(qv::NamesEqualIgnoringCase("ΣΟΦΊΑ", "σοφία"));
    EXPECT_FALSE(qv::NamesEqualIgnoringCase("abc", "abd"));
    // Bytes that are not UTF-8 compare as bytes, never as some other character.
    EXPECT_TRUE(qv::NamesEqualIgnoringCase("a\xff", "A\xff"));
    EXPECT_FALSE(qv::NamesEqualIgnoringCase("a\xff", "a\xfe"));
}

TEST_F(DriveMapTest, ResolvesRelativeAndRootedPathsAgainstTheCurrentDirectory) {
    MakeFile("Program Files/App/app.exe");
    MakeFile("other/file.txt");
    ASSERT_TRUE(SetCurrentDirectoryA("c:\\program files"));
    EXPECT_EQ(Mapped("App\\app.exe"), OnDisk("Program Files/App/app.exe"));
    EXPECT_EQ(Mapped(".\\App\\..\\App\\app.exe"), OnDisk("Program Files/App/app.exe"));
    EXPECT_EQ(Mapped("C:App\\app.exe"), OnDisk("Program Files/App/app.exe"));
    EXPECT_EQ(Mapped("\\other\\file.txt"), OnDisk("other/file.txt"));
    EXPECT_EQ(Mapped("..\\other\\file.txt"), OnDisk("other/file.txt"));
}

TEST_F(DriveMapTest, RefusesPathsThatNameNoMappedDrive) {
    EXPECT_FALSE(Map("Q:\\anything"));
    EXPECT_FALSE(Map("\\\\server\\share\\file"));
    EXPECT_FALSE(Map("\\\\?\\UNC\\server\\share"));
    EXPECT_FALSE(Map(""));
    EXPECT_FALSE(Map(std::string("C:\\a\0b", 6)));
    // Z: is the Unix root.
    EXPECT_EQ(fs::weakly_canonical(*Map("z:\\TMP")), fs::weakly_canonical("/tmp"));
}

TEST_F(DriveMapTest, UnixPathsMapBackToTheMostSpecificDrive) {
    const qv::Prefix& prefix = *qv::ActivePrefix();
    MakeFolder("windows/system32");
    EXPECT_EQ(qv::UnixToWindowsPath(prefix, DriveC() / "windows" / "system32"), "C:\\windows\\system32");
    EXPECT_EQ(qv::UnixToWindowsPath(prefix, root_ / "dosdevices" / "c:" / "windows"), "C:\\windows");
    EXPECT_EQ(qv::UnixToWindowsPath(prefix, DriveC()), "C:\\");
    EXPECT_EQ(qv::UnixToWindowsPath(prefix, "/usr/bin/env"), "Z:\\usr\\bin\\env");

    // A profile folder that links elsewhere (as Wine links Desktop to the home folder)
    // keeps its place on C:.
    fs::path outside = temp_.path() / "outside";
    fs::create_directories(outside);
    fs::create_symlink(outside, DriveC() / "users" / "tester" / "Desktop");
    EXPECT_EQ(qv::UnixToWindowsPath(prefix, DriveC() / "users" / "tester" / "Desktop" / "a.lnk"),
              "C:\\users\\tester\\Desktop\\a.lnk");
}

TEST_F(DriveMapTest, PathsOutsideEveryDriveUseTheUnixForm) {
    fs::remove(root_ / "dosdevices" / "z:");
    EXPECT_EQ(qv::UnixToWindowsPath(*qv::ActivePrefix(), "/usr/bin/env"), "\\\\?\\unix\\usr\\bin\\env");
}

}  // namespace
