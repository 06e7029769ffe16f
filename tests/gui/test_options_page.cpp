// The options page in the main window: the installer's "Startup" 2 and 3, ticking and saving
// the run-at-start box (the Run value and the desktop's autostart entry), labels that toggle
// their boxes, unsaved ticks across page switches, and an autostart folder that cannot be
// written.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/app_utils.h"
#include "app/settings.h"
#include "app/xdg_autostart_entry.h"
#include "gui_test_support.h"
#include "message_box_recorder.h"
#include "pages/options_page.h"
#include "platform/registry/atomic_file.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "temp_dir.h"
#include "vendor/core/system32.h"

namespace {

namespace fs = std::filesystem;

class OptionsPageTest : public guitest::MainWindowTest {
protected:
    CTopicDlgOptions& OpenOptionsPage() {
        CQuorvaneDlg& dlg = OpenMainWindow();
        dlg.RunCommand(cmd::kOptions);
        auto* page = dynamic_cast<CTopicDlgOptions*>(dlg.m_pOptionsPage);
        EXPECT_NE(page, nullptr);
        EXPECT_TRUE(page->IsShown());
        return *page;
    }
    static std::string RunValue() {
        std::string v;
        return CSystem32::GetRegistryValue(settings::kRunKey, settings::kRunValue, v, HKEY_CURRENT_USER) ? v
                                                                                                        : "<missing>";
    }
    static int Setting(const char* name) {
        int v = -1;
        CSystem32::GetRegistryValue(settings::kOptionsKey, name, v, HKEY_LOCAL_MACHINE);
        return v;
    }
    fs::path AutostartFolder() const { return temp_.path() / "config" / "autostart"; }
    // The entries in the autostart folder.
    std::vector<fs::path> Entries() const {
        std::vector<fs::path> out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(AutostartFolder(), ec)) out.push_back(e.path());
        return out;
    }
    static std::string ExpectedRunValue() { return "\"" + GetModulePath() + "\" /startup"; }

    qvtest::MessageBoxRecorder m_boxes;
    std::vector<std::string>& m_shown = m_boxes.shown;
};

TEST_F(OptionsPageTest, StartupTwoSwitchesRunningAtStartOnAndStaysUntilSaved) {
    SetSetting(settings::kStartup, settings::kStartupSwitchOnNow);
    CTopicDlgOptions& page = OpenOptionsPage();
    EXPECT_TRUE(page.RunAtStartBox().GetValue());
    EXPECT_EQ(RunValue(), ExpectedRunValue());
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_NE(qvtest::ReadFile(Entries()[0]).find("/startup"), std::string::npos);
    EXPECT_EQ(Setting(settings::kStartup), 2);

    page.SaveButton().Click();
    EXPECT_EQ(Setting(settings::kStartup), 1);
    EXPECT_EQ(RunValue(), ExpectedRunValue());
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(OptionsPageTest, StartupThreeRemovesTheRunValueAndTheEntry) {
    SetSetting(settings::kStartup, 1);
    CTopicDlgOptions& page = OpenOptionsPage();
    page.RunAtStartLabel().Click();
    page.SaveButton().Click();
    ASSERT_EQ(RunValue(), ExpectedRunValue());
    ASSERT_EQ(Entries().size(), 1u);

    // An installer asks for "off now" while the program runs: the page's next showing does it.
    SetSetting(settings::kStartup, settings::kStartupSwitchOffNow);
    m_dlg->RunCommand(cmd::kBackup);
    m_dlg->RunCommand(cmd::kOptions);
    EXPECT_FALSE(page.RunAtStartBox().GetValue());
    EXPECT_EQ(RunValue(), "<missing>");
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(Setting(settings::kStartup), 3);
}

TEST_F(OptionsPageTest, TickingAndSavingWritesBothAndClearingRemovesBoth) {
    CTopicDlgOptions& page = OpenOptionsPage();
    EXPECT_FALSE(page.RunAtStartBox().GetValue());
    page.RunAtStartLabel().Click();
    EXPECT_TRUE(page.RunAtStartBox().GetValue());
    EXPECT_EQ(RunValue(), "<missing>");  // nothing changes before "Save Changes"
    page.SaveButton().Click();
    EXPECT_EQ(Setting(settings::kStartup), 1);
    EXPECT_EQ(RunValue(), ExpectedRunValue());
    ASSERT_EQ(Entries().size(), 1u);

    page.RunAtStartLabel().Click();
    page.SaveButton().Click();
    EXPECT_EQ(Setting(settings::kStartup), 0);
    EXPECT_EQ(RunValue(), "<missing>");
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(OptionsPageTest, LabelsToggleTheirBoxesAndUnsavedTicksSurviveSwitchingPages) {
    SetSetting(settings::kCheckUpdate, 1);
    CTopicDlgOptions& page = OpenOptionsPage();
    EXPECT_TRUE(page.CheckUpdateBox().GetValue());
    EXPECT_FALSE(page.RestorePointBox().GetValue());
    page.CheckUpdateLabel().Click();
    page.RestorePointLabel().Click();
    page.RestorePointLabel().Click();
    page.RestorePointLabel().Click();
    m_dlg->RunCommand(cmd::kBackup);
    m_dlg->RunCommand(cmd::kOptions);
    EXPECT_FALSE(page.CheckUpdateBox().GetValue());
    EXPECT_TRUE(page.RestorePointBox().GetValue());
    EXPECT_EQ(Setting(settings::kCheckUpdate), 1);
    page.SaveButton().Click();
    EXPECT_EQ(Setting(settings::kCheckUpdate), 0);
    EXPECT_EQ(Setting(settings::kCheckRestorePoint), 1);
}

TEST_F(OptionsPageTest, StartupOneWithoutItsRunValueShowsClearAndSavingChangesNothingElse) {
    SetSetting(settings::kStartup, 1);
    CTopicDlgOptions& page = OpenOptionsPage();
    EXPECT_FALSE(page.RunAtStartBox().GetValue());
    page.SaveButton().Click();
    EXPECT_EQ(Setting(settings::kStartup), 0);
    EXPECT_EQ(RunValue(), "<missing>");
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(OptionsPageTest, AnAutostartFolderThatCannotBeWrittenIsReportedAndTheRegistryLeftAlone) {
    // A file where the folder should be stops every user, also one that ignores permissions.
    fs::create_directories(AutostartFolder().parent_path());
    qvtest::WriteFile(AutostartFolder(), "not a folder");
    CTopicDlgOptions& page = OpenOptionsPage();
    page.RunAtStartLabel().Click();
    page.SaveButton().Click();
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_NE(m_shown[0].find("could not change"), std::string::npos);
    EXPECT_EQ(RunValue(), "<missing>");
}

TEST_F(OptionsPageTest, SettingsTheRegistryRefusesAreReportedAndStayAsTheyWere) {
    SetSetting(settings::kCheckUpdate, 1);
    CTopicDlgOptions& page = OpenOptionsPage();
    page.CheckUpdateLabel().Click();
    page.RestorePointLabel().Click();
    page.RunAtStartLabel().Click();
    // The registry files cannot be written (Wine took them, the disk is full, the prefix is
    // read-only): nothing is saved, and the user hears so.
    qv::SetWriteFaultHook([](size_t) { return false; });
    page.SaveButton().Click();
    qv::SetWriteFaultHook(nullptr);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_NE(m_shown[0].find("could not save the options"), std::string::npos) << m_shown[0];
    EXPECT_EQ(Setting(settings::kCheckUpdate), 1);
    EXPECT_EQ(Setting(settings::kCheckRestorePoint), -1);
    EXPECT_EQ(RunValue(), "<missing>");
    EXPECT_TRUE(Entries().empty());
    // The boxes keep the user's ticks, so that saving again once the cause is gone works.
    EXPECT_FALSE(page.CheckUpdateBox().GetValue());
    page.SaveButton().Click();
    EXPECT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(Setting(settings::kCheckUpdate), 0);
    EXPECT_EQ(Setting(settings::kCheckRestorePoint), 1);
    EXPECT_EQ(RunValue(), ExpectedRunValue());
}

}  // namespace
