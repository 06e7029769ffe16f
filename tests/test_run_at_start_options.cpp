// The options page's run-at-start box: the Run value and the desktop session's autostart
// entry written and removed together, the installer's "Startup" values 2 and 3, and a
// read-only autostart folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

#include "app/options_model.h"
#include "app/settings.h"
#include "app/xdg_autostart_entry.h"
#include "quickboot/startup_item_manager.h"
#include "small_prefix.h"
#include "vendor/core/system32.h"

using namespace qvtest;
namespace fs = std::filesystem;

namespace {

const std::string kProgram = "C:\\Program Files\\Quorvane\\quorvane.exe";
const std::string kCommand = "\"C:\\Program Files\\Quorvane\\quorvane.exe\" /startup";

class RunAtStartTest : public SmallPrefixTest {
protected:
    RunAtStartTarget Target() {
        return {kProgram, "/opt/zembrill apps/quorvane", root_, temp_.path() / "config" / "autostart"};
    }
    fs::path Entry() { return CRunAtStart(Target()).AutostartEntry(); }
    std::string RunValue() {
        std::string v;
        return CSystem32::GetRegistryValue(settings::kRunKey, settings::kRunValue, v, HKEY_CURRENT_USER) ? v
                                                                                                        : "<missing>";
    }
    int Startup() {
        int v = -1;
        CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kStartup, v, HKEY_LOCAL_MACHINE);
        return v;
    }
    void SetStartup(int v) { CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kStartup, v, HKEY_LOCAL_MACHINE); }
    std::string Read(const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Makes the autostart folder refuse writes; false when this process can write anyway.
    bool MakeFolderReadOnly() {
        fs::create_directories(Entry().parent_path());
        fs::permissions(Entry().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
        std::ofstream probe(Entry().parent_path() / "probe");
        return !probe.is_open();
    }
};

TEST_F(RunAtStartTest, TickingAndSavingWritesBothClearingRemovesBoth) {
    COptionsModel page{CRunAtStart(Target())};
    page.Initialize();
    EXPECT_FALSE(page.m_bRunAtStart);
    page.m_bRunAtStart = true;
    page.m_bCheckUpdate = true;
    ASSERT_EQ(page.SaveOptions(), 1) << page.Error();
    EXPECT_EQ(RunValue(), kCommand);
    EXPECT_EQ(Startup(), 1);
    const std::string entry = Read(Entry());
    EXPECT_NE(entry.find("Exec=env WINEPREFIX=" + fs::weakly_canonical(root_).string() +
                         " \"/opt/zembrill apps/quorvane\" /startup\n"),
              std::string::npos)
        << entry;
    EXPECT_EQ(Entry().filename().string().rfind("quorvane-", 0), 0u);

    COptionsModel again{CRunAtStart(Target())};
    again.Initialize();
    EXPECT_TRUE(again.m_bRunAtStart);
    EXPECT_TRUE(again.m_bCheckUpdate);
    EXPECT_FALSE(again.m_bRestorePoint);

    again.m_bRunAtStart = false;
    ASSERT_EQ(again.SaveOptions(), 1) << again.Error();
    EXPECT_EQ(RunValue(), "<missing>");
    EXPECT_FALSE(fs::exists(Entry()));
    // Switched off, the entry is a disabled startup item that Quick Boot lists.
    std::string item;
    EXPECT_TRUE(CSystem32::GetRegistryValue(settings::kDisabledStartupItemKey, "command", item, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(item, kCommand);

    // Ticking again brings the value back from the record, and no record stays.
    again.m_bRunAtStart = true;
    ASSERT_EQ(again.SaveOptions(), 1);
    EXPECT_EQ(RunValue(), kCommand);
    EXPECT_FALSE(CSystem32::GetRegistryValue(settings::kDisabledStartupItemKey, "item", item, HKEY_LOCAL_MACHINE));
}

TEST_F(RunAtStartTest, InstallerValuesTwoAndThree) {
    SetStartup(2);
    COptionsModel page{CRunAtStart(Target())};
    page.Initialize();
    EXPECT_TRUE(page.m_bRunAtStart);
    EXPECT_EQ(RunValue(), kCommand);
    EXPECT_TRUE(fs::exists(Entry()));
    EXPECT_EQ(Startup(), 2);
    ASSERT_EQ(page.SaveOptions(), 1);
    EXPECT_EQ(Startup(), 1);

    SetStartup(3);
    page.SyncRunAtStartBox();
    EXPECT_FALSE(page.m_bRunAtStart);
    EXPECT_EQ(RunValue(), "<missing>");
    EXPECT_FALSE(fs::exists(Entry()));
    EXPECT_EQ(Startup(), 3);

    // "Startup" 1 with the value removed elsewhere: the box is clear, and saving it clear
    // writes 0 and nothing else.
    SetStartup(1);
    page.SyncRunAtStartBox();
    EXPECT_FALSE(page.m_bRunAtStart);
    ASSERT_EQ(page.SaveOptions(), 1);
    EXPECT_EQ(Startup(), 0);
    std::string item;
    EXPECT_FALSE(CSystem32::GetRegistryValue(settings::kDisabledStartupItemKey, "item", item, HKEY_LOCAL_MACHINE));
}

TEST_F(RunAtStartTest, AReadOnlyAutostartFolderIsAnErrorAndTheRegistryStaysAsItWas) {
    if (!MakeFolderReadOnly()) GTEST_SKIP() << "this user writes into read-only folders";
    COptionsModel page{CRunAtStart(Target())};
    page.m_bRunAtStart = true;
    EXPECT_EQ(page.SaveOptions(), 0);
    EXPECT_NE(page.Error().find("autostart"), std::string::npos) << page.Error();
    EXPECT_EQ(RunValue(), "<missing>");

    SetStartup(2);
    EXPECT_EQ(page.SyncRunAtStartBox(), 0);
    EXPECT_FALSE(page.m_bRunAtStart);
    EXPECT_EQ(RunValue(), "<missing>");
}

TEST_F(RunAtStartTest, AnAutostartFolderThatCannotBeCreatedIsAnError) {
    // Where the folder should be stands a file: the same failure for every user.
    fs::create_directories(Entry().parent_path().parent_path());
    std::ofstream(Entry().parent_path()) << "not a folder";
    CRunAtStart runAtStart(Target());
    EXPECT_EQ(runAtStart.SetRunAtStart(true), 0);
    EXPECT_FALSE(runAtStart.Error().empty());
    EXPECT_EQ(RunValue(), "<missing>");
}

// Quorvane's own item in Quick Boot (or quorvane-cli startup) and the desktop autostart
// entry switch together: off removes the entry, on writes it for the program the Run value
// names; a failed entry change leaves the Run value as it was.
TEST_F(RunAtStartTest, QuickBootSwitchesTheAutostartEntryWithQuorvanesOwnItem) {
    const fs::path program = MakeFile("Program Files/Quorvane/quorvane.exe");
    COptionsModel page{CRunAtStart(Target())};
    page.m_bRunAtStart = true;
    ASSERT_EQ(page.SaveOptions(), 1) << page.Error();
    // A machine-wide item that merely shares the name is no business of the entry.
    CSystem32::SetRegistryValue(settings::kRunKey, settings::kRunValue, "C:\\other\\quorvane.exe /startup",
                                HKEY_LOCAL_MACHINE);

    auto rowOf = [](const CStartupItemManager& m, const std::string& root) {
        for (size_t i = 0; i < m.Rows().size(); ++i)
            if (m.Rows()[i].item == settings::kRunValue && m.Rows()[i].root == root) return i;
        ADD_FAILURE() << "no Quorvane row in " << root;
        return size_t(0);
    };
    auto apply = [&](const std::string& root, bool on) {
        CStartupItemManager manager;
        manager.SetAutostartFolder(Target().autostartFolder);
        manager.RefreshStartupList();
        const size_t row = rowOf(manager, root);
        manager.SetChecked(row, on);
        const StartupRowOutcome outcome = manager.ApplyStartupRow(row);
        return std::make_pair(outcome, manager.AutostartError());
    };

    EXPECT_EQ(apply("HKLM", false).first, StartupRowOutcome::SwitchedOff);
    EXPECT_TRUE(fs::exists(Entry()));
    EXPECT_EQ(RunValue(), kCommand);

    EXPECT_EQ(apply("HKCU", false).first, StartupRowOutcome::SwitchedOff);
    EXPECT_FALSE(fs::exists(Entry()));
    EXPECT_EQ(RunValue(), "<missing>");
    // The options page sees it off as well.
    COptionsModel reread{CRunAtStart(Target())};
    reread.Initialize();
    EXPECT_FALSE(reread.m_bRunAtStart);

    EXPECT_EQ(apply("HKCU", true).first, StartupRowOutcome::SwitchedOn);
    EXPECT_EQ(RunValue(), kCommand);
    const std::string entry = Read(Entry());
    EXPECT_NE(entry.find(" " + autostart::DesktopExecArgument(program.string()) + " /startup\n"), std::string::npos)
        << entry;

    // An autostart folder that cannot be written: switching on fails, says why, and the Run
    // value stays off.
    EXPECT_EQ(apply("HKCU", false).first, StartupRowOutcome::SwitchedOff);
    fs::remove(Entry().parent_path());
    std::ofstream(Entry().parent_path()) << "not a folder";
    const auto [outcome, message] = apply("HKCU", true);
    EXPECT_EQ(outcome, StartupRowOutcome::Failed);
    EXPECT_NE(message.find("autostart"), std::string::npos) << message;
    EXPECT_EQ(RunValue(), "<missing>");
}

TEST(AutostartEntry, ExecArgumentsAreQuotedAndEscaped) {
    EXPECT_EQ(autostart::DesktopExecArgument("/usr/bin/quorvane"), "/usr/bin/quorvane");
    EXPECT_EQ(autostart::DesktopExecArgument("/a b/q"), "\"/a b/q\"");
    // Inside quotes '$' is escaped with a backslash, which the file's own escaping doubles.
    EXPECT_EQ(autostart::DesktopExecArgument("/x$y"), "\"/x\\\\$y\"");
    EXPECT_EQ(autostart::DesktopExecArgument("/100%"), "/100%%");
    // The name depends on the prefix only.
    EXPECT_EQ(autostart::AutostartEntryPath("/f", "/p/one"), autostart::AutostartEntryPath("/f", "/p/one/"));
    EXPECT_NE(autostart::AutostartEntryPath("/f", "/p/one"), autostart::AutostartEntryPath("/f", "/p/two"));
}

}  // namespace
