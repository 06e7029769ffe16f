// The main window's decisions that need no display: start page, tray menu, centring, help
// document path, prefix restart and the scan worker's run.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/settings.h"
#include "app/string_table.h"
#include "shell/command_ids.h"
#include "shell/help_document.h"
#include "shell/prefix_restart.h"
#include "fake_wineboot.h"
#include "shell/scan_run_control.h"
#include "shell/start_page_choice.h"
#include "shell/start_up_work.h"
#include "shell/tray_menu_items.h"
#include "shell/window_placement.h"
#include "small_prefix.h"
#include "temp_dir.h"
#include "vendor/core/system32.h"

namespace {

static_assert(StringText(107) == "Quorvane");
static_assert(CenteredWindowOrigin(1024, 768).x == 161 && CenteredWindowOrigin(1024, 768).y == 113);
// Integer division truncates toward zero, also for odd sizes and screens smaller than the window.
static_assert(CenteredWindowOrigin(1023, 767).x == 160 && CenteredWindowOrigin(1023, 767).y == 112);
static_assert(CenteredWindowOrigin(640, 480).x == -31 && CenteredWindowOrigin(640, 480).y == -31);

TEST(StartPageChoice, BFlagWinsOverStartupWhichWinsOverHome) {
    EXPECT_EQ(ChooseStartPage(true, true), StartPage::QuickBootResult);
    EXPECT_EQ(ChooseStartPage(true, false), StartPage::QuickBootResult);
    EXPECT_EQ(ChooseStartPage(false, true), StartPage::Scan);
    EXPECT_EQ(ChooseStartPage(false, false), StartPage::Home);
}

class StartUpSettingsTest : public qvtest::SmallPrefixTest {
protected:
    void Set(const char* name, int value) {
        CSystem32::SetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE);
    }
    void Set(const char* name, const std::string& value) {
        CSystem32::SetRegistryValue(settings::kOptionsKey, name, value, HKEY_LOCAL_MACHINE);
    }
};

TEST_F(StartUpSettingsTest, StartPageFollowsTheStoreAndTheCommandLine) {
    EXPECT_EQ(ChooseStartPageNow("\"C:\\q.exe\""), StartPage::Home);
    EXPECT_EQ(ChooseStartPageNow("\"C:\\q.exe\" /startup"), StartPage::Scan);
    // A switch at the very start of the line is not taken as one (no program path before it).
    EXPECT_EQ(ChooseStartPageNow("/startup"), StartPage::Home);
    Set(settings::kBFlag, 0);  // only the successful read counts, not the value
    EXPECT_EQ(ChooseStartPageNow("\"C:\\q.exe\" /startup"), StartPage::QuickBootResult);
}

TEST_F(StartUpSettingsTest, AStoredBFlagOfTheWrongTypeCountsAsMissing) {
    Set(settings::kBFlag, std::string("1"));
    EXPECT_EQ(ChooseStartPageNow("\"C:\\q.exe\""), StartPage::Home);
}

TEST_F(StartUpSettingsTest, BackgroundWorkFollowsTheStore) {
    EXPECT_TRUE(IsSystemBackupNeeded());
    EXPECT_FALSE(IsRestorePointWanted());
    Set(settings::kLastBackup, std::string("Jun,06 2009 7:05 PM"));
    EXPECT_FALSE(IsSystemBackupNeeded());
    Set(settings::kCheckRestorePoint, 0);
    EXPECT_FALSE(IsRestorePointWanted());
    Set(settings::kCheckRestorePoint, 1);
    EXPECT_TRUE(IsRestorePointWanted());

    std::string written = RecordLastScanNow();
    std::string stored;
    ASSERT_TRUE(CSystem32::GetRegistryValue(settings::kOptionsKey, settings::kLastScan, stored, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(stored, written);
    EXPECT_NE(written.find(','), std::string::npos);  // "Jun,06 2009 7:05 PM"
    EXPECT_TRUE(written.ends_with("AM") || written.ends_with("PM"));
}

std::vector<int> Ids(const std::vector<menus::MenuItem>& items) {
    std::vector<int> ids;
    for (const menus::MenuItem& item : items) ids.push_back(item.id);
    return ids;
}

TEST(TrayMenuItems, VisibleAndHiddenWindowsGetTheirOwnItems) {
    EXPECT_EQ(Ids(TrayMenuItems(true)),
              (std::vector<int>{cmd::kTrayHide, cmd::kTrayCentre, 0, cmd::kTrayHomePage, cmd::kTrayOnlineHelp,
                                cmd::kTrayAbout, 0, cmd::kTrayExit}));
    EXPECT_EQ(Ids(TrayMenuItems(false)),
              (std::vector<int>{cmd::kTrayShow, 0, cmd::kTrayHomePage, cmd::kTrayOnlineHelp, cmd::kTrayAbout, 0,
                                cmd::kTrayExit}));
}

TEST(MenuItemIds, FitTheToolkitAndMapBack) {
    for (const menus::MenuItem& item : menus::kTrayMenu) {
        if (item.id == 0) continue;
        EXPECT_GT(MenuItemId(item.id), 0);
        EXPECT_LT(MenuItemId(item.id), 0x7FFF);
        EXPECT_EQ(CommandOfMenuItem(MenuItemId(item.id)), item.id);
    }
}

TEST_F(StartUpSettingsTest, HelpDocumentIsTheHtmlFileBesideTheHelpPath) {
    std::string path = HelpDocumentPath();
    EXPECT_TRUE(path.ends_with("\\Help\\Quorvane.html")) << path;
}

TEST(PrefixRestart, RunsWinebootRestartOnThePrefixAndReportsItsResult) {
    {
        qvtest::FakeWineboot wineboot(0);
        EXPECT_EQ(RestartWinePrefix("/tmp/some prefix"), 1);
        EXPECT_EQ(wineboot.Record(), "-r|/tmp/some prefix");
    }
    {
        qvtest::FakeWineboot wineboot(3);
        std::string why;
        EXPECT_EQ(RestartWinePrefix("/tmp/p", &why), 0);
        EXPECT_EQ(why, "wineboot -r ended with status 3.");
    }
}

TEST(PrefixRestart, FailsWithoutWineOrPrefix) {
    const char* path = std::getenv("PATH");
    std::string saved = path != nullptr ? path : "";
    qvtest::TempDir empty;
    setenv("PATH", empty.path().c_str(), 1);
    std::string why;
    EXPECT_EQ(RestartWinePrefix("/tmp/p", &why), 0);
    EXPECT_NE(why.find("Wine does not seem to be installed"), std::string::npos) << why;
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(RestartWinePrefix(""), 0);
}

TEST(ScanRunControl, StopAndWaitEndsTheWorkerAndMarksTheScanAborted) {
    CScanRunControl run;
    EXPECT_EQ(run.m_bStop, 1);
    std::atomic<bool> sawStop{false};
    ASSERT_TRUE(run.Start([&](CScanRunControl& r) {
        while (!r.m_bStop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawStop = true;
    }));
    EXPECT_EQ(run.m_bStop, 0);
    EXPECT_FALSE(run.Start([](CScanRunControl&) {}));  // one scan at a time
    int waits = 0;
    run.WaitForScan([&](const std::function<bool()>& done) {
        ++waits;
        while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_EQ(waits, 1);
    EXPECT_TRUE(sawStop);
    EXPECT_FALSE(run.IsRunning());
    EXPECT_EQ(run.m_bAborted, 1);
    EXPECT_EQ(run.m_bStop, 1);

    // A scan that completes on its own is not aborted, and waiting for no scan returns at once.
    ASSERT_TRUE(run.Start([](CScanRunControl&) {}));
    while (run.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(run.m_bAborted, 0);
    run.WaitForScan([&](const std::function<bool()>&) { ++waits; });
    EXPECT_EQ(waits, 1);
}

}  // namespace
