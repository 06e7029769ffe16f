// Scan to fix from the command line on the demo prefix: the findings are exactly the dead
// entries, a fix removes them after backing them up, and the backup brings them back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <set>

#include "backup/regedit_export.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "command_run.h"
#include "temp_dir.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

CommandRun Command(const fs::path& prefix, const std::string& args) {
    return RunCommand("WINEPREFIX='" + prefix.string() + "' " + QV_BIN_DIR + "/" + args + " 2>/dev/null");
}

bool MakeDemoPrefix(const fs::path& demo) {
    std::string make = std::string("QV_BIN_DIR='") + QV_BIN_DIR + "' '" + QV_SOURCE_DIR + "/samples/make-demo-prefix' '" +
                       demo.string() + "' >/dev/null 2>&1";
    return std::system(make.c_str()) == 0;
}

std::string Export(const fs::path& prefix, const std::string& key) {
    qv::RegistryStore store(prefix);
    std::u16string text;
    std::string error;
    if (!qv::RegeditExportText(store, key, text, error)) return "missing: " + error;
    return qv::reg::ToUtf8(text);
}

}  // namespace

TEST(ScanFixCli, DemoPrefixScanFixAndRestore) {
    TempDir tmp;
    fs::path demo = tmp / "demo";
    ASSERT_TRUE(MakeDemoPrefix(demo));

    CommandRun scan = Command(demo, "quorvane-cli scan --json");
    ASSERT_EQ(scan.status, 0);
    nlohmann::json doc = nlohmann::json::parse(scan.out);
    std::set<std::string> appPaths, sharedDlls;
    for (const auto& f : doc["findings"]) {
        if (f["category"] == "Application Path") appPaths.insert(f["key"].get<std::string>());
        if (f["category"] == "Shared DLLs") sharedDlls.insert(f["description"].get<std::string>());
        for (const char* field : {"category", "description", "key", "root", "kind", "data"})
            EXPECT_TRUE(f.contains(field)) << field;
    }
    const std::string appKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    EXPECT_EQ(appPaths, (std::set<std::string>{appKey + "OrbitArcade.exe", appKey + "sbsetup.exe"}));
    EXPECT_EQ(sharedDlls, (std::set<std::string>{"C:\\Program Files\\Orbit Arcade\\orbitnet.dll",
                                                  "C:\\Program Files\\Orbit Arcade\\orbitplug.dll",
                                                  "C:\\Program Files\\Common Files\\Stonebridge\\sbinst32.dll",
                                                  "C:\\Program Files (x86)\\Tidewater\\Sync\\twsyncnet.dll"}));
    EXPECT_GE(doc["total"].get<int>(), 5);

    const std::string appRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    const std::string dllRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
    const std::string dll32Root = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
    const std::string appsBefore = Export(demo, appRoot), dllsBefore = Export(demo, dllRoot);
    const std::string dlls32Before = Export(demo, dll32Root);

    // Without --yes and without a terminal nothing is changed.
    CommandRun declined = Command(demo, "quorvane-cli fix --category 'Shared DLLs' < /dev/null");
    EXPECT_EQ(declined.status, 1);
    EXPECT_EQ(Export(demo, dllRoot), dllsBefore);

    CommandRun fix = Command(demo, "quorvane-cli fix --yes --category 'Application Path' --category 'shared dlls'");
    ASSERT_EQ(fix.status, 0);
    ASSERT_EQ(fix.out.rfind("Backup: ", 0), 0u) << fix.out;
    fs::path backup = fix.out.substr(8, fix.out.find('\n') - 8);
    EXPECT_TRUE(fs::exists(backup)) << backup;
    EXPECT_NE(backup.string().find("Quorvane/Backup/PartialBackup["), std::string::npos) << backup;

    CommandRun after = Command(demo, "quorvane-cli scan --json");
    nlohmann::json doc2 = nlohmann::json::parse(after.out);
    for (const auto& f : doc2["findings"]) {
        EXPECT_NE(f["category"], "Application Path");
        EXPECT_NE(f["category"], "Shared DLLs");
    }
    EXPECT_NE(Export(demo, appRoot), appsBefore);
    // The live entries are still there.
    EXPECT_NE(Export(demo, appRoot).find("KestrelLauncher.exe"), std::string::npos);
    EXPECT_NE(Export(demo, appRoot).find("twmail.exe"), std::string::npos);  // a short path that works
    EXPECT_EQ(Export(demo, dll32Root).find("twsyncnet.dll"), std::string::npos);
    EXPECT_NE(Export(demo, dll32Root).find("twmapi.dll"), std::string::npos);  // system32 of a 32-bit program

    CommandRun restore = Command(demo, "quorvane-regedit /s '" + backup.string() + "'");
    EXPECT_EQ(restore.status, 0);
    EXPECT_EQ(Export(demo, appRoot), appsBefore);
    EXPECT_EQ(Export(demo, dllRoot), dllsBefore);
    EXPECT_EQ(Export(demo, dll32Root), dlls32Before);

    EXPECT_EQ(Command(demo, "quorvane-cli fix --category Nonsense").status, 2);
}

TEST(ScanFixCli, RestoreOfAFileRestoresThatFile) {
    TempDir tmp;
    fs::path demo = tmp / "demo";
    ASSERT_TRUE(MakeDemoPrefix(demo));
    const std::string appRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    const std::string dllRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
    const std::string appsBefore = Export(demo, appRoot), dllsBefore = Export(demo, dllRoot);
    // Two fixes in one minute: two backups with one listing text.
    CommandRun one = Command(demo, "quorvane-cli fix --yes --category 'Shared DLLs'");
    CommandRun two = Command(demo, "quorvane-cli fix --yes --category 'Application Path'");
    ASSERT_EQ(one.status, 0);
    ASSERT_EQ(two.status, 0);
    fs::path first = one.out.substr(8, one.out.find('\n') - 8), second = two.out.substr(8, two.out.find('\n') - 8);
    ASSERT_NE(first, second);
    EXPECT_NE(first.string().find("/drive_c/"), std::string::npos) << first;  // as a file manager shows it

    // Named through dosdevices/c:, the second file is restored, not the first.
    std::string viaDosdevices = second.string();
    viaDosdevices.replace(viaDosdevices.find("/drive_c/"), 9, "/dosdevices/c:/");
    CommandRun restore = Command(demo, "quorvane-cli restore --yes '" + viaDosdevices + "'");
    EXPECT_EQ(restore.status, 0);
    EXPECT_EQ(Export(demo, appRoot), appsBefore);
    EXPECT_NE(Export(demo, dllRoot), dllsBefore);
    // Relative to the working folder.
    restore = RunCommand("cd '" + first.parent_path().string() + "' && WINEPREFIX='" + demo.string() + "' " + QV_BIN_DIR +
                         "/quorvane-cli restore --yes '" + first.filename().string() + "' 2>/dev/null");
    EXPECT_EQ(restore.status, 0);
    EXPECT_EQ(Export(demo, dllRoot), dllsBefore);
    // A file that is not one of the backups is refused.
    fs::path other = tmp / "other.reg";
    fs::copy_file(first, other);
    EXPECT_EQ(Command(demo, "quorvane-cli restore --yes '" + other.string() + "'").status, 1);
}

TEST(ScanFixCli, APrefixWhoseRegistryCannotBeReadIsNotScannedFixedOrBackedUp) {
    TempDir tmp;
    fs::path demo = tmp / "demo";
    ASSERT_TRUE(MakeDemoPrefix(demo));
    fs::remove(demo / "system.reg");
    fs::create_directory(demo / "system.reg");
    for (const char* command : {"quorvane-cli scan", "quorvane-cli fix --yes", "quorvane-cli backup"}) {
        CommandRun r = RunCommand("WINEPREFIX='" + demo.string() + "' " + QV_BIN_DIR + "/" + command + " 2>&1");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.out.find("system.reg is not a regular file"), std::string::npos) << command << ": " << r.out;
    }
}

TEST(ScanFixCli, AFreshWinePrefixShowsOnlyFilesThatAreReallyMissing) {
    TempDir tmp;
    fs::path prefix = UnpackFreshPrefix(tmp.path());
    ASSERT_FALSE(prefix.empty());
    CommandRun scan = Command(prefix, "quorvane-cli scan --json");
    ASSERT_EQ(scan.status, 0);
    nlohmann::json doc = nlohmann::json::parse(scan.out);
    for (const auto& f : doc["findings"]) {
        // The only dead entries of a fresh prefix are fonts Wine registers but does not ship.
        ASSERT_EQ(f["category"], "Missing Fonts") << f.dump();
        std::string file = f["data"].get<std::string>();
        EXPECT_FALSE(fs::exists(prefix / "drive_c/windows/Fonts" / file)) << file;
        EXPECT_FALSE(fs::exists(fs::path("/usr/share/wine/fonts") / file)) << file;
    }
}

TEST(ScanFixCli, TheDemoPrefixShowsItsStaleEntriesInEveryCategory) {
    TempDir tmp;
    fs::path demo = tmp / "demo";
    ASSERT_TRUE(MakeDemoPrefix(demo));
    CommandRun scan = Command(demo, "quorvane-cli scan --json");
    nlohmann::json doc = nlohmann::json::parse(scan.out);
    std::map<std::string, std::set<std::string>> found;
    for (const auto& f : doc["findings"]) found[f["category"]].insert(f["description"].get<std::string>());
    const std::string desk = "C:\\users\\root\\Desktop\\";
    const std::string menu = "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";
    EXPECT_EQ(found["Missing Shortcuts"],
              (std::set<std::string>{desk + "Orbit Arcade.lnk", desk + "Orbit Arcade Manual.url", desk + "Gone.lnk"}));
    EXPECT_EQ(found["Start Menu Programs"],
              (std::set<std::string>{menu + "Stonebridge\\Setup Log Viewer.lnk", menu + "Orbit Arcade\\Orbit Arcade.lnk",
                                     menu + "Orbit Arcade\\Uninstall Orbit Arcade.lnk"}));
    EXPECT_EQ(found["Startup Programs"],
              (std::set<std::string>{"StonebridgeResume", "OrbitUpdater", "StonebridgeCleanup", "OrbitArcadeTray",
                                     "TidewaterSync"}));
    EXPECT_EQ(found["Add or Remove Programs"],
              (std::set<std::string>{"{6F3B1C2A-8D4E-4B7A-9C21-5E0F3A7D9B14}", "OrbitArcade", "Tidewater Sync"}));
    EXPECT_EQ(found["System Help Files"], (std::set<std::string>{"orbitarc.hlp"}));
    EXPECT_EQ(found["File Extensions"].count(".orbmap"), 1u);
    EXPECT_TRUE(found["Missing Fonts"].count("Stonebridge Sans (TrueType)"));
    EXPECT_TRUE(found["Missing Fonts"].count("Orbitron Arcade (TrueType)"));
    EXPECT_EQ(doc["temp_internet_files"], 6);
    EXPECT_EQ(doc["cookie_files"], 3);
}

TEST(ScanFixCli, BrowserFoldersLinkedOutOfTheDemoPrefixAreLeftAlone) {
    TempDir tmp;
    fs::path demo = tmp / "demo";
    ASSERT_TRUE(MakeDemoPrefix(demo));
    // The profile's own cookie folder and "Local Settings" lead to the user's files.
    const fs::path outside = tmp / "home";
    std::map<fs::path, std::string> decoys;
    for (const char* name : {"cookies/root@orbitarcade[1].txt", "cookies/notes.txt", "cookies/letter.odt",
                             "local/Temporary Internet Files/Content.IE5/Q7XK2M4P/launcher_news[1].htm",
                             "local/Temporary Internet Files/Content.IE5/Q7XK2M4P/thesis.odt"}) {
        fs::create_directories((outside / name).parent_path());
        WriteFile(outside / name, std::string("decoy ") + name);
        decoys[outside / name] = std::string("decoy ") + name;
    }
    const fs::path profile = demo / "drive_c/users/root";
    fs::remove_all(profile / "Cookies");
    fs::create_directory_symlink(outside / "cookies", profile / "Cookies");
    fs::remove_all(profile / "Local Settings");
    fs::create_directory_symlink(outside / "local", profile / "Local Settings");

    nlohmann::json before = nlohmann::json::parse(Command(demo, "quorvane-cli scan --json").out);
    EXPECT_EQ(before["temp_internet_files"], 6);  // the shell folders' cache inside the prefix
    EXPECT_EQ(before["cookie_files"], 3);

    CommandRun fix = RunCommand("WINEPREFIX='" + demo.string() + "' " + QV_BIN_DIR + "/quorvane-cli fix --yes 2>&1");
    ASSERT_EQ(fix.status, 0) << fix.out;
    EXPECT_NE(fix.out.find("Deleted 6 of 6 cached internet files and 3 of 3 cookie files."), std::string::npos)
        << fix.out;
    EXPECT_NE(fix.out.find("Skipped C:\\users\\root\\Cookies: it leads outside the prefix (to " +
                           fs::canonical(outside / "cookies").string() + ")"),
              std::string::npos)
        << fix.out;
    for (const auto& [file, content] : decoys) EXPECT_EQ(ReadFile(file), content) << file;
    const fs::path local = profile / "AppData/Local/Microsoft/Windows";
    EXPECT_FALSE(fs::exists(local / "INetCookies/root@orbitarcade[1].txt"));
    EXPECT_TRUE(fs::exists(local / "INetCookies/index.dat"));
    EXPECT_FALSE(fs::exists(local / "INetCache/Content.IE5/Q7XK2M4P"));
    EXPECT_TRUE(fs::exists(local / "INetCache/Content.IE5/0FJ8TN6C"));  // empty before: not the scan's
    EXPECT_TRUE(fs::exists(local / "INetCache/Content.IE5/index.dat"));

    nlohmann::json after = nlohmann::json::parse(Command(demo, "quorvane-cli scan --json").out);
    EXPECT_EQ(after["temp_internet_files"], 0);
    EXPECT_EQ(after["cookie_files"], 0);
}

TEST(ScanFixCli, ShortcutFoldersLinkedOutOfTheDemoPrefixAreSkippedAndNamed) {
    TempDir tmp;
    fs::path demo = tmp / "demo";
    ASSERT_TRUE(MakeDemoPrefix(demo));
    // A desktop folder and a Start Menu folder that lead to the user's home, whose
    // shortcuts name programs this prefix does not have.
    const fs::path home = tmp / "home";
    for (const char* folder : {"Desktop/Games", "Start Menu/Other"}) {
        fs::create_directories(home / folder);
        WriteFile(home / folder / "elsewhere.url", "[InternetShortcut]\r\nURL=file:///C:/Elsewhere/a.txt\r\n");
    }
    const fs::path profile = demo / "drive_c/users/root";
    fs::create_directory_symlink(home / "Desktop/Games", profile / "Desktop/Games");
    fs::create_directory_symlink(home / "Start Menu/Other",
                                 profile / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Other");
    const std::string desktopNote = "Skipped C:\\users\\root\\Desktop\\Games: it leads outside the prefix (to " +
                                    fs::canonical(home / "Desktop/Games").string() + ").";
    const std::string menuNote =
        "Skipped C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Other: it leads outside "
        "the prefix (to " + fs::canonical(home / "Start Menu/Other").string() + ").";

    CommandRun scan = Command(demo, "quorvane-cli scan --json");
    ASSERT_EQ(scan.status, 0);
    nlohmann::json doc = nlohmann::json::parse(scan.out);
    for (const auto& f : doc["findings"])
        EXPECT_EQ(f["description"].get<std::string>().find("elsewhere"), std::string::npos) << f.dump();
    std::set<std::string> skipped;
    for (const auto& note : doc["skipped_folders"]) skipped.insert(note.get<std::string>());
    EXPECT_EQ(skipped, (std::set<std::string>{desktopNote, menuNote})) << doc["skipped_folders"].dump();

    CommandRun fix = RunCommand("WINEPREFIX='" + demo.string() + "' " + QV_BIN_DIR + "/quorvane-cli fix --yes 2>&1");
    ASSERT_EQ(fix.status, 0) << fix.out;
    EXPECT_NE(fix.out.find(desktopNote), std::string::npos) << fix.out;
    EXPECT_NE(fix.out.find(menuNote), std::string::npos) << fix.out;
    for (const char* folder : {"Desktop/Games", "Start Menu/Other"})
        EXPECT_TRUE(fs::exists(home / folder / "elsewhere.url")) << folder;
}
