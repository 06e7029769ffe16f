// The demo prefix script: stale entries must point at missing files and live entries at
// files that exist, or the demo shows findings that are wrong (or none at all); and the
// findings must not depend on the computer the demo is made on.
#include "platform/prefix/drive_map.h"
#include "platform/prefix/prefix.h"
#include "vendor/core/system32.h"
#include "command_run.h"
#include "recording_sinks.h"
#include "scan/scan_engine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

int RunScript(const fs::path& target) {
    const std::string command = std::string("QV_BIN_DIR='") + QV_BIN_DIR + "' '" + QV_SOURCE_DIR +
                                "/samples/make-demo-prefix' '" + target.string() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One demo prefix for the whole suite: making it takes a moment.
class DemoPrefixTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new fs::path(fs::temp_directory_path() / ("qv-demo-" + std::to_string(getpid())));
        fs::remove_all(*root_);
        status_ = RunScript(*root_ / "demo");
    }
    static void TearDownTestSuite() {
        fs::remove_all(*root_);
        delete root_;
        root_ = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(status_, 0) << "make-demo-prefix failed";
        prefix_ = std::make_shared<qv::Prefix>(*root_ / "demo");
        qv::SetActivePrefix(prefix_);
    }
    void TearDown() override { qv::SetActivePrefix(nullptr); }

    bool Exists(const std::string& windowsPath) const {
        const auto unix = qv::WindowsToUnixPath(*prefix_, windowsPath);
        return unix && fs::exists(*unix);
    }

    static std::string Text(HKEY root, const std::string& key, const std::string& name) {
        std::string value;
        EXPECT_NE(CSystem32::GetRegistryValue(key, name, value, root), 0) << key << " " << name;
        return value;
    }

    // The program path of a command line: the quoted part, or the text before " /" or " -".
    static std::string ProgramOf(const std::string& command) {
        if (!command.empty() && command[0] == '"') return command.substr(1, command.find('"', 1) - 1);
        const size_t option = command.find_first_of("/-", command.find(".exe"));
        return option == std::string::npos ? command : command.substr(0, option - 1);
    }

    // Category and description of each finding of a full scan, sorted.
    std::vector<std::pair<std::string, std::string>> Findings() const {
        // A home of its own: the menu files Wine left in this computer's home are no findings of the demo.
        const qvtest::CommandRun scan = qvtest::RunCommand(
            "HOME='" + (*root_ / "home").string() + "' XDG_DATA_HOME= XDG_CONFIG_HOME= WINEPREFIX='" +
            prefix_->Root().string() + "' " + QV_BIN_DIR + "/quorvane-cli scan --json 2>/dev/null");
        EXPECT_EQ(scan.status, 0);
        std::vector<std::pair<std::string, std::string>> rows;
        const nlohmann::json doc = nlohmann::json::parse(scan.out, nullptr, false);
        if (doc.is_discarded() || !doc.contains("findings")) {
            ADD_FAILURE() << "no findings in: " << scan.out;
            return rows;
        }
        for (const auto& f : doc["findings"]) rows.emplace_back(f["category"], f["description"]);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    static fs::path* root_;
    static int status_;
    std::shared_ptr<qv::Prefix> prefix_;
};

fs::path* DemoPrefixTest::root_ = nullptr;
int DemoPrefixTest::status_ = -1;

}  // namespace

TEST_F(DemoPrefixTest, ProfileLinksOutOfThePrefixBecameFolders) {
    const fs::path users = *root_ / "demo" / "drive_c" / "users";
    for (const auto& entry : fs::recursive_directory_iterator(users))
        EXPECT_FALSE(entry.is_symlink()) << entry.path();
    EXPECT_TRUE(fs::is_directory(users / "root" / "Desktop"));
}

TEST_F(DemoPrefixTest, RegistryEntriesPointAtMissingOrExistingFiles) {
    const HKEY lm = HKEY_LOCAL_MACHINE;
    const HKEY cu = HKEY_CURRENT_USER;
    const std::string appPaths = kCurrentVersion + "\\App Paths\\";
    const std::string fonts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

    // Stale.
    EXPECT_FALSE(Exists(Text(lm, appPaths + "OrbitArcade.exe", "")));
    EXPECT_FALSE(Exists(ProgramOf(Text(lm, appPaths + "sbsetup.exe", ""))));
    EXPECT_FALSE(Exists("C:\\windows\\Fonts\\" + Text(lm, fonts, "Orbitron Arcade (TrueType)")));
    EXPECT_FALSE(Exists(Text(lm, fonts, "Stonebridge Sans (TrueType)")));
    EXPECT_FALSE(Exists(Text(lm, "SOFTWARE\\Microsoft\\Windows\\Help", "orbitarc.hlp") + "\\orbitarc.hlp"));
    EXPECT_FALSE(Exists(ProgramOf(Text(cu, kCurrentVersion + "\\Run", "OrbitArcadeTray"))));
    EXPECT_FALSE(Exists(ProgramOf(Text(cu, kCurrentVersion + "\\RunOnce", "StonebridgeCleanup"))));
    EXPECT_FALSE(Exists(ProgramOf(Text(lm, kCurrentVersion + "\\Run", "OrbitUpdater"))));
    EXPECT_FALSE(Exists(ProgramOf(Text(lm, "SOFTWARE\\Classes\\Stonebridge.LogFile\\shell\\open\\command", ""))));
    EXPECT_FALSE(Exists(Text(lm, "SOFTWARE\\Classes\\CLSID\\{8E2C4B71-5A3D-4F0E-9B6C-2D7A1E5F3C90}\\InprocServer32", "")));

    // Live.
    EXPECT_TRUE(Exists(Text(lm, appPaths + "KestrelLauncher.exe", "")));
    EXPECT_TRUE(Exists("C:\\windows\\Fonts\\" + Text(lm, fonts, "Kestrel Display (TrueType)")));
    EXPECT_TRUE(Exists(Text(lm, fonts, "Brightfield Mono (TrueType)")));
    EXPECT_TRUE(Exists(Text(lm, "SOFTWARE\\Microsoft\\Windows\\Help", "photodesk.hlp") + "photodesk.hlp"));
    EXPECT_TRUE(Exists(ProgramOf(Text(cu, kCurrentVersion + "\\Run", "KestrelLauncher"))));
    EXPECT_TRUE(Exists(ProgramOf(Text(lm, kCurrentVersion + "\\Run", "PhotoDeskAgent"))));
    EXPECT_TRUE(Exists(ProgramOf(Text(lm, "SOFTWARE\\Classes\\Kestrel.Replay\\shell\\open\\command", ""))));
    EXPECT_TRUE(Exists(Text(lm, "SOFTWARE\\Classes\\CLSID\\{A3F1C9E2-6B4D-4D8A-9E27-1C5B8F0D3A46}\\InprocServer32", "")));
}

TEST_F(DemoPrefixTest, SharedDllCountsNameMissingAndExistingFiles) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kCurrentVersion + "\\SharedDLLs").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    int missing = 0;
    int present = 0;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        (Exists(name) ? present : missing)++;
    }
    RegCloseKey(key);
    EXPECT_EQ(missing, 3);
    EXPECT_EQ(present, 2);
}

TEST_F(DemoPrefixTest, ShortcutsAndBrowserFiles) {
    const fs::path profile = *root_ / "demo" / "drive_c" / "users" / "root";
    const fs::path desktop = profile / "Desktop";
    std::ifstream in(desktop / "Gone.lnk", std::ios::binary);
    const std::string link((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(link.find("C:\\Program Files\\Gone\\gone.exe"), std::string::npos);
    EXPECT_FALSE(Exists("C:\\Program Files\\Gone\\gone.exe"));
    EXPECT_TRUE(fs::exists(desktop / "Kestrel Launcher.lnk"));
    EXPECT_TRUE(Exists("C:\\Program Files\\Kestrel Interactive\\Launcher\\KestrelLauncher.exe"));
    EXPECT_TRUE(fs::exists(profile / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Orbit Arcade/Orbit Arcade.lnk"));

    const fs::path cache = profile / "AppData/Local/Microsoft/Windows/INetCache/Content.IE5";
    EXPECT_TRUE(fs::exists(cache / "Q7XK2M4P" / "launcher_news[1].htm"));
    EXPECT_TRUE(fs::exists(profile / "AppData/Local/Microsoft/Windows/INetCookies/root@orbitarcade[1].txt"));
}

TEST_F(DemoPrefixTest, ScriptReplacesOnlyItsOwnPrefixes) {
    // Made again over its own output: fine.
    EXPECT_EQ(RunScript(*root_ / "again"), 0);
    EXPECT_EQ(RunScript(*root_ / "again"), 0);
    // A folder it did not make is left alone.
    const fs::path other = *root_ / "other";
    fs::create_directories(other);
    std::ofstream(other / "keep.txt") << "mine";
    EXPECT_NE(RunScript(other), 0);
    EXPECT_TRUE(fs::exists(other / "keep.txt"));
}

TEST_F(DemoPrefixTest, FindingsAreTheSameOnEveryComputer) {
    const std::string menu = "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";
    const std::string desktop = "C:\\users\\root\\Desktop\\";
    std::vector<std::pair<std::string, std::string>> expected = {
        {"Add or Remove Programs", "OrbitArcade"},
        {"Add or Remove Programs", "Tidewater Sync"},  // a 32-bit program's, in the 32-bit view
        {"Add or Remove Programs", "{6F3B1C2A-8D4E-4B7A-9C21-5E0F3A7D9B14}"},
        {"Application Path", "OrbitArcade.exeC:\\Program Files\\Orbit Arcade\\OrbitArcade.exe"},
        {"Application Path", "sbsetup.exeC:\\Program Files\\Stonebridge\\Setup\\sbsetup.exe"},
        {"File Extensions", ".orbmap"},
        {"File Extensions", ".sblog\t\"C:\\Program Files\\Stonebridge\\Setup\\viewlog.bat\" \"%1\""},
        {"Missing Fonts", "MS Serif"},  // Wine's own value; no Wine ships serife.fon
        {"Missing Fonts", "Orbitron Arcade (TrueType)"},
        {"Missing Fonts", "Stonebridge Sans (TrueType)"},
        {"Missing Shortcuts", desktop + "Gone.lnk"},
        {"Missing Shortcuts", desktop + "Orbit Arcade Manual.url"},
        {"Missing Shortcuts", desktop + "Orbit Arcade.lnk"},
        {"Shared DLLs", "C:\\Program Files\\Common Files\\Stonebridge\\sbinst32.dll"},
        {"Shared DLLs", "C:\\Program Files\\Orbit Arcade\\orbitnet.dll"},
        {"Shared DLLs", "C:\\Program Files\\Orbit Arcade\\orbitplug.dll"},
        {"Shared DLLs", "C:\\Program Files (x86)\\Tidewater\\Sync\\twsyncnet.dll"},
        {"Start Menu Programs", menu + "Orbit Arcade\\Orbit Arcade.lnk"},
        {"Start Menu Programs", menu + "Orbit Arcade\\Uninstall Orbit Arcade.lnk"},
        {"Start Menu Programs", menu + "Stonebridge\\Setup Log Viewer.lnk"},
        {"Startup Programs", "OrbitArcadeTray"},
        {"Startup Programs", "OrbitUpdater"},
        {"Startup Programs", "StonebridgeCleanup"},
        {"Startup Programs", "StonebridgeResume"},
        {"Startup Programs", "TidewaterSync"},
        {"System Help Files", "orbitarc.hlp"},
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Findings(), expected);

    // The same without any of this computer's files: drive Z: (the whole Unix file system,
    // where a fresh prefix's registry finds the computer's fonts) leads to an empty folder.
    const fs::path z = *root_ / "demo" / "dosdevices" / "z:";
    const fs::path target = fs::read_symlink(z);
    const fs::path empty = *root_ / "empty";
    fs::create_directories(empty);
    fs::remove(z);
    fs::create_directory_symlink(empty, z);
    const auto withoutHostFiles = Findings();
    fs::remove(z);
    fs::create_directory_symlink(target, z);
    EXPECT_EQ(withoutHostFiles, expected);
}

// The scan's percentage on a real prefix follows the entries checked: it starts near 0,
// never goes back, is near the middle half-way through and near the end at the end.
TEST_F(DemoPrefixTest, ScanProgressFollowsTheWork) {
    struct Sampler : IStatusSink {
        const CScanEngine* engine = nullptr;
        std::vector<int> percents;
        void PostStatus(const std::string&) override { percents.push_back(engine->Work().Percent()); }
    } sampler;
    qvtest::RecordedRows rows;
    CScanEngine engine(rows, sampler);
    sampler.engine = &engine;
    engine.PrepareStart();
    engine.RunScan();
    const std::vector<int>& p = sampler.percents;
    ASSERT_GT(p.size(), 1000u);
    EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
    EXPECT_LE(p.front(), 2);
    EXPECT_GE(p[p.size() - 5], 80);
    EXPECT_GE(p[p.size() / 2], 25);
    EXPECT_LE(p[p.size() / 2], 75);
}
