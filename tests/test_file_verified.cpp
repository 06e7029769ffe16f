#include <gtest/gtest.h>
#include <windows.h>

#include "small_prefix.h"
#include "vendor/core/registry_object.h"

namespace fs = std::filesystem;

namespace {

class FileVerifiedTest : public qvtest::SmallPrefixTest {
protected:
    void SetUp() override {
        SmallPrefixTest::SetUp();
        for (const char* file : {"windows/system32/shell32.dll", "windows/system32/rundll32.exe",
                                 "windows/system32/SetupAPI.dll", "windows/system32/drivers/mountmgr.sys",
                                 "windows/syswow64/only32.dll", "windows/notepad.exe", "windows/regedit.exe",
                                 "Program Files/Some App/app.exe", "Program Files/Some App/lib.dll",
                                 "Program Files/Some App/help.chm", "users/tester/Temp/a b.txt",
                                 "windows/system32/spool/prtprocs/x64/winprint.dll", "windows/Fonts/sample.fon"})
            MakeFile(file);
    }
    static bool Verified(const std::string& text) { return CRegistryObject::FileVerified(text) != 0; }
};

TEST_F(FileVerifiedTest, PlainPathsAnyCaseAnyBlanksAround) {
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App\\app.exe"));
    EXPECT_TRUE(Verified("  c:\\PROGRAM FILES\\some app\\APP.EXE \t"));
    EXPECT_TRUE(Verified("C:/Program Files/Some App/app.exe"));
    EXPECT_TRUE(Verified("\\??\\C:\\windows\\system32\\drivers\\mountmgr.sys"));
    EXPECT_TRUE(Verified("\\\\?\\C:\\windows\\notepad.exe"));
    EXPECT_TRUE(Verified("\\SystemRoot\\System32\\drivers\\mountmgr.sys"));
    EXPECT_FALSE(Verified("C:\\Program Files\\Some App\\gone.exe"));
    EXPECT_FALSE(Verified("C:\\Program Files\\Gone App\\app.exe"));
    EXPECT_FALSE(Verified(""));
    EXPECT_FALSE(Verified("   "));
}

TEST_F(FileVerifiedTest, CommandsWithArguments) {
    EXPECT_TRUE(Verified("\"C:\\Program Files\\Some App\\app.exe\" /arg \"%1\""));
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App\\app.exe -x --y=z"));
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App\\app -x"));  // ".exe" added
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App\\app.exe %1"));
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App\\app.exe \"%1\" %*"));
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App\\app.exe @"));
    EXPECT_FALSE(Verified("\"C:\\Program Files\\Some App\\gone.exe\" /arg"));
    EXPECT_FALSE(Verified("C:\\Program Files\\Some App\\gone.exe -x"));
    // A folder that happens to be a start of the text is no program.
    EXPECT_FALSE(Verified("C:\\Program Files\\Some App\\sub dir\\gone.exe"));
}

TEST_F(FileVerifiedTest, BareProgramNamesWithArguments) {
    // The program is the bare name; the separators belong to its arguments.
    EXPECT_FALSE(Verified("gonetool.exe /background"));
    EXPECT_FALSE(Verified("gonetool.exe C:\\x"));
    EXPECT_FALSE(Verified("gonetool.exe -x /y \"C:\\a b\\c.txt\""));
    EXPECT_FALSE(Verified("gonetool.exe --log=C:\\logs\\x.txt"));
    EXPECT_FALSE(Verified("gonetool.exe -o logs\\x.txt"));  // a program's extension ends the name
    EXPECT_FALSE(Verified("gonetool /background"));
    EXPECT_FALSE(Verified("gone tool.exe /background"));
    EXPECT_FALSE(Verified("gonetool.exe \\\\server\\share"));
    // Found where Windows searches: present whatever follows.
    EXPECT_TRUE(Verified("notepad.exe /background"));
    EXPECT_TRUE(Verified("notepad C:\\x"));
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App\\app.exe /x C:\\y"));
    EXPECT_TRUE(Verified("rundll32 shell32.dll,Control_RunDLL C:\\x"));
    EXPECT_FALSE(Verified("rundll32 gone.dll,Entry /x"));
    // A relative path whose first folder name has a blank: its folder is unknown.
    EXPECT_TRUE(Verified("Program Files\\x.exe"));
    EXPECT_TRUE(Verified("Program Files\\x.exe /y"));
    EXPECT_TRUE(Verified("Gone App\\gone.exe -o logs\\x.txt"));
    // Arguments that name a variable this prefix does not define: cannot be decided.
    EXPECT_TRUE(Verified("gonetool.exe %NOT_DEFINED_ANYWHERE%\\x"));
}

TEST_F(FileVerifiedTest, EnvironmentReferences) {
    EXPECT_TRUE(Verified("%SystemRoot%\\system32\\shell32.dll"));
    EXPECT_TRUE(Verified("%ProgramFiles%\\Some App\\app.exe -x"));
    EXPECT_TRUE(Verified("\"%ProgramFiles%\\Some App\\app.exe\" -x"));
    EXPECT_TRUE(Verified("%USERPROFILE%\\Temp\\a b.txt"));
    EXPECT_FALSE(Verified("%windir%\\system32\\gone.dll"));
    // A variable this prefix does not define: cannot be decided, so not called missing.
    EXPECT_TRUE(Verified("%NOT_DEFINED_ANYWHERE%\\gone.exe"));
}

TEST_F(FileVerifiedTest, Rundll32CommandsNeedTheirLibrary) {
    EXPECT_TRUE(Verified("rundll32.exe shell32.dll,Control_RunDLL \"%1\",%*"));
    EXPECT_TRUE(Verified("rundll32 setupapi,InstallHinfSection DefaultInstall 132 %1"));
    EXPECT_TRUE(Verified("C:\\windows\\system32\\rundll32.exe \"C:\\Program Files\\Some App\\lib.dll\",Entry"));
    EXPECT_TRUE(Verified("\"C:\\windows\\system32\\rundll32.exe\" C:\\Program Files\\Some App\\lib.dll,Entry"));
    EXPECT_TRUE(Verified("RUNDLL32.EXE"));
    EXPECT_FALSE(Verified("rundll32.exe gone.dll,Entry"));
    EXPECT_FALSE(Verified("rundll32 C:\\Program Files\\Some App\\gone.dll,Entry"));
}

TEST_F(FileVerifiedTest, ResourceReferences) {
    EXPECT_TRUE(Verified("C:\\windows\\system32\\shell32.dll,-101"));
    EXPECT_TRUE(Verified("shell32.dll,3"));
    EXPECT_TRUE(Verified("@shell32.dll,-21787"));
    EXPECT_TRUE(Verified("@%SystemRoot%\\system32\\shell32.dll,-5"));
    EXPECT_TRUE(Verified("shell32.dll#0018"));
    EXPECT_TRUE(Verified("C:\\windows\\system32\\shell32.dll\\2"));
    EXPECT_FALSE(Verified("C:\\windows\\system32\\gone.dll,-101"));
    EXPECT_FALSE(Verified("@gone.dll,-1"));
}

TEST_F(FileVerifiedTest, BareNamesAreSearchedInTheSystemFoldersOnly) {
    EXPECT_TRUE(Verified("notepad.exe"));
    EXPECT_TRUE(Verified("REGEDIT"));
    EXPECT_TRUE(Verified("shell32.dll"));
    EXPECT_TRUE(Verified("setupapi"));
    EXPECT_TRUE(Verified("winprint.dll"));  // a print processor, where the spooler keeps them
    EXPECT_TRUE(Verified("SAMPLE.FON"));    // a font, in the Fonts folder
    EXPECT_FALSE(Verified("sample.dll"));
    EXPECT_FALSE(Verified("gone.exe"));
    // The current directory does not count.
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Program Files\\Some App"));
    EXPECT_FALSE(Verified("help.chm"));
    EXPECT_TRUE(Verified("C:help.chm"));
}

TEST_F(FileVerifiedTest, FontsThatWineShipsArePresentWhereverWineKeepsThem) {
    // Wine lists these in the registry and loads them from its own data folder.
    EXPECT_TRUE(Verified("coure.fon"));
    EXPECT_TRUE(Verified("SSERIFE.FON"));
    EXPECT_TRUE(Verified("C:\\windows\\Fonts\\smalle.fon"));
    EXPECT_TRUE(Verified("%SystemRoot%\\Fonts\\tahoma.ttf"));
    EXPECT_TRUE(Verified("vgas874.fon"));
    // Wine names MS Serif but ships no file for it.
    EXPECT_FALSE(Verified("serife.fon"));
    EXPECT_FALSE(Verified("C:\\windows\\Fonts\\gone.ttf"));
    // Wine's file names mean Wine's fonts only in the Fonts folder.
    EXPECT_FALSE(Verified("C:\\Program Files\\Some App\\coure.fon"));
    EXPECT_FALSE(Verified("C:\\windows\\Fonts\\old\\coure.fon"));
}

TEST_F(FileVerifiedTest, FoldersAndOtherForms) {
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App\\"));
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App"));
    EXPECT_TRUE(Verified("C:\\Program Files\\Some App;"));
    EXPECT_TRUE(Verified("gone.drv;shell32.dll"));
    EXPECT_FALSE(Verified("C:\\Gone Folder\\"));
    // 32-bit entries of a 64-bit prefix say system32 for syswow64.
    EXPECT_TRUE(Verified("C:\\windows\\system32\\only32.dll"));
    // Unix paths reach the disk through Z:.
    fs::path unixFile = temp_.path() / "unix file.txt";
    qvtest::WriteFile(unixFile, "x");
    EXPECT_TRUE(Verified(unixFile.string()));
    EXPECT_FALSE(Verified((temp_.path() / "gone.txt").string()));
    // Not decidable here: placeholders the shell fills in, network paths, addresses,
    // drives the prefix does not map.
    EXPECT_TRUE(Verified("\"%1\" %*"));
    EXPECT_TRUE(Verified("%1"));
    EXPECT_TRUE(Verified("\\\\server\\share\\tool.exe"));
    EXPECT_TRUE(Verified("https://www.example.org/"));
    EXPECT_TRUE(Verified("Q:\\setup.exe"));
}

}  // namespace
