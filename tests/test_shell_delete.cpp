#include <gtest/gtest.h>
#include <shlobj.h>

#include "small_prefix.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;

namespace {

class ShellDeleteTest : public qvtest::SmallPrefixTest {
protected:
    // A folder outside the prefix with a file that must survive every deletion.
    fs::path Outside() {
        fs::path outside = temp_.path() / "outside";
        fs::create_directories(outside / "deep");
        qvtest::WriteFile(outside / "precious.txt", "keep");
        qvtest::WriteFile(outside / "deep" / "precious.txt", "keep");
        return outside;
    }
    void ExpectOutsideIntact(const fs::path& outside) {
        EXPECT_EQ(qvtest::ReadFile(outside / "precious.txt"), "keep");
        EXPECT_EQ(qvtest::ReadFile(outside / "deep" / "precious.txt"), "keep");
    }
};

TEST_F(ShellDeleteTest, DeleteDirRemovesLinksInsideWithoutFollowingThem) {
    fs::path outside = Outside();
    fs::path cache = MakeFolder("users/tester/Cache/Content/ab12");
    MakeFile("users/tester/Cache/Content/ab12/page.htm");
    MakeFile("users/tester/Cache/Content/index.dat");
    fs::create_symlink(outside, cache / "link to outside");
    fs::create_symlink(outside / "precious.txt", cache / "file link");
    fs::permissions(cache, fs::perms::owner_read | fs::perms::owner_exec);  // read-only folder

    EXPECT_EQ(CSystem32::ShellDeleteDir("C:\\USERS\\tester\\cache\\content"), 1);
    EXPECT_FALSE(fs::exists(DriveC() / "users/tester/Cache/Content"));
    EXPECT_TRUE(fs::exists(DriveC() / "users/tester/Cache"));
    ExpectOutsideIntact(outside);
}

TEST_F(ShellDeleteTest, DeleteDirOnALinkRemovesOnlyTheLink) {
    fs::path outside = Outside();
    fs::create_symlink(outside, DriveC() / "users/tester/Linked");
    EXPECT_EQ(CSystem32::ShellDeleteDir("C:\\users\\tester\\Linked\\"), 1);
    EXPECT_FALSE(fs::is_symlink(DriveC() / "users/tester/Linked"));
    ExpectOutsideIntact(outside);
    EXPECT_EQ(CSystem32::ShellDeleteDir("C:\\users\\tester\\Linked"), 0);  // gone already
}

TEST_F(ShellDeleteTest, DeleteDirRefusesDrivesSystemAndProfileFolders) {
    MakeFile("windows/system32/kernel32.dll");
    MakeFile("users/tester/AppData/Roaming/settings.ini");
    for (const char* path : {"C:\\", "c:", "Z:\\", "C:\\windows", "C:\\WINDOWS\\system32\\", "C:\\users",
                             "C:\\users\\tester", "C:\\users\\tester\\AppData\\Roaming", "C:\\users\\tester\\.",
                             "C:\\users\\tester\\AppData\\..", "C:\\nothing", "C:\\users\\*"})
        EXPECT_EQ(CSystem32::ShellDeleteDir(path), 0) << path;
    EXPECT_TRUE(fs::exists(DriveC() / "windows/system32/kernel32.dll"));
    EXPECT_TRUE(fs::exists(DriveC() / "users/tester/AppData/Roaming/settings.ini"));
    // A Unix path through Z: that holds the prefix is refused too.
    std::string prefixThroughZ = "Z:" + root_.string();
    EXPECT_EQ(CSystem32::ShellDeleteDir(prefixThroughZ), 0);
    EXPECT_TRUE(fs::exists(root_ / "dosdevices"));
}

TEST_F(ShellDeleteTest, DeleteFilesRemovesMatchingFilesOnly) {
    fs::path outside = Outside();
    fs::path folder = MakeFolder("users/tester/Cookies");
    MakeFile("users/tester/Cookies/a.txt");
    MakeFile("users/tester/Cookies/B.TXT");
    MakeFile("users/tester/Cookies/keep.dat");
    MakeFile("users/tester/Cookies/sub.txt/inner.txt");
    fs::create_symlink(outside / "precious.txt", folder / "link.txt");
    fs::create_symlink(outside, folder / "dirlink.txt");

    EXPECT_EQ(CSystem32::ShellDeleteFiles("C:\\users\\tester\\cookies\\*.txt"), 1);
    EXPECT_FALSE(fs::exists(folder / "a.txt"));
    EXPECT_FALSE(fs::exists(folder / "B.TXT"));
    EXPECT_FALSE(fs::is_symlink(folder / "link.txt"));
    EXPECT_TRUE(fs::exists(folder / "keep.dat"));
    EXPECT_TRUE(fs::exists(folder / "sub.txt/inner.txt"));
    EXPECT_TRUE(fs::is_symlink(folder / "dirlink.txt"));
    ExpectOutsideIntact(outside);

    // A folder named without a pattern loses its files, not itself or its subfolders.
    EXPECT_EQ(CSystem32::ShellDeleteFiles("C:\\users\\tester\\Cookies"), 1);
    EXPECT_FALSE(fs::exists(folder / "keep.dat"));
    EXPECT_TRUE(fs::exists(folder / "sub.txt/inner.txt"));
    EXPECT_EQ(CSystem32::ShellDeleteFiles("C:\\users\\tester\\Cookies\\*.none"), 0);
}

TEST_F(ShellDeleteTest, DeleteFilesRefusesToEmptySystemFolders) {
    MakeFile("windows/win.ini");
    MakeFile("root.txt");
    EXPECT_EQ(CSystem32::ShellDeleteFiles("C:\\windows\\*.*"), 0);
    EXPECT_EQ(CSystem32::ShellDeleteFiles("C:\\*"), 0);
    EXPECT_EQ(CSystem32::ShellDeleteFiles("C:\\windows"), 0);
    EXPECT_TRUE(fs::exists(DriveC() / "windows/win.ini"));
    EXPECT_TRUE(fs::exists(DriveC() / "root.txt"));
    // One file named exactly may go.
    EXPECT_EQ(CSystem32::ShellDeleteFiles("C:\\ROOT.TXT"), 1);
    EXPECT_FALSE(fs::exists(DriveC() / "root.txt"));
}

TEST_F(ShellDeleteTest, NothingOutsideDriveCIsDeletedWhateverThePathSays) {
    fs::path outside = Outside();
    fs::create_directory_symlink(outside, DriveC() / "users/tester/Linked");
    std::string z = "Z:" + outside.string();
    for (char& c : z)
        if (c == '/') c = '\\';
    for (const std::string& pattern : {z + "\\*.txt", z + "\\precious.txt", z, z + "\\deep\\*",
                                       std::string("C:\\users\\tester\\Linked\\*.txt"),
                                       std::string("C:\\users\\tester\\Linked\\precious.txt"),
                                       std::string("C:\\users\\tester\\Linked")})
        EXPECT_EQ(CSystem32::ShellDeleteFiles(pattern), 0) << pattern;
    for (const std::string& path : {z + "\\deep", std::string("C:\\users\\tester\\Linked\\deep")})
        EXPECT_EQ(CSystem32::ShellDeleteDir(path), 0) << path;
    ExpectOutsideIntact(outside);
    EXPECT_TRUE(fs::is_symlink(DriveC() / "users/tester/Linked"));
}

TEST_F(ShellDeleteTest, SpecialFolderEndsInABackslash) {
    std::string path;
    ASSERT_EQ(CSystem32::GetSpecialFolder(CSIDL_PROFILE, path), 1);
    EXPECT_EQ(path, "C:\\users\\tester\\");
    ASSERT_EQ(CSystem32::GetSpecialFolder(CSIDL_WINDOWS, path), 1);
    EXPECT_EQ(path, "C:\\windows\\");
    EXPECT_EQ(CSystem32::GetSpecialFolder(0x7F, path), 0);
}

}  // namespace
