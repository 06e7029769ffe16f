// The main window as a page host: navigation, the start page, the tray menu, centring.
#include <wx/display.h>
#include <wx/tooltip.h>

#include "app/prefix_choice.h"
#include "app/prefix_state.h"
#include "app/string_table.h"
#include "backup/backup_restore_page.h"
#include "fake_wine_server.h"
#include "pages/options_page.h"
#include "quickboot/quick_boot_page.h"
#include "results/scan_result_page.h"
#include "shell/prefix_state_banner_ctrl.h"
#include "app/settings.h"
#include "gui_test_support.h"
#include "message_box_recorder.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"

namespace {

using guitest::MainWindowTest;

struct NavigationCase {
    CBMPButton& button;
    CTopicDlg* page;
};

// Exactly one page is shown, and exactly one navigation button (`marked`) is disabled.
void ExpectShowing(CQuorvaneDlg& dlg, CTopicDlg* page, CBMPButton* marked) {
    for (CTopicDlg* p : {dlg.m_pQuickBootPage, dlg.m_pHomePage, dlg.m_pBackupPage, dlg.m_pScanPage,
                         dlg.m_pOptionsPage, dlg.m_pHelpPage, dlg.m_pScanResultPage,
                         dlg.m_pQuickBootResultPage}) {
        EXPECT_EQ(p->IsShown(), p == page) << "page template " << p->TemplateId();
    }
    for (CBMPButton* b : {&dlg.ScanButton(), &dlg.QuickBootButton(), &dlg.BackupButton(), &dlg.OptionsButton()}) {
        EXPECT_EQ(b->IsEnabled(), b != marked) << "button " << b->CommandId();
    }
}

TEST_F(MainWindowTest, EveryNavigationButtonShowsItsPageAndIsThenTheDisabledOne) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    // From the home page, in an order that leaves each button after another one was current.
    NavigationCase cases[] = {{dlg.QuickBootButton(), dlg.m_pQuickBootPage},
                              {dlg.BackupButton(), dlg.m_pBackupPage},
                              {dlg.OptionsButton(), dlg.m_pOptionsPage},
                              {dlg.ScanButton(), dlg.m_pHomePage},
                              {dlg.OptionsButton(), dlg.m_pOptionsPage}};
    for (NavigationCase& c : cases) {
        c.button.Click();
        guitest::Pump();
        ExpectShowing(dlg, c.page, &c.button);
        // A disabled button does nothing when clicked.
        c.button.Click();
        ExpectShowing(dlg, c.page, &c.button);
    }
    // Every page sits at (185, 41) of the window.
    EXPECT_EQ(dlg.m_pOptionsPage->GetPosition(), wxPoint(185, 41));
    EXPECT_EQ(dlg.m_pOptionsPage->GetSize(), wxSize(503, 344));
}

TEST_F(MainWindowTest, ShowPageIndexesAndTheHelpMenuIndexLeavesThePagesAlone) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    dlg.ShowPage(6);
    ExpectShowing(dlg, dlg.m_pQuickBootResultPage, &dlg.QuickBootButton());
    dlg.ShowPage(2);
    ExpectShowing(dlg, dlg.m_pBackupPage, &dlg.BackupButton());
    dlg.ShowPage(5);  // hides every page, shows none
    ExpectShowing(dlg, nullptr, nullptr);
    dlg.ShowPage(0);
    ExpectShowing(dlg, dlg.m_pHomePage, &dlg.ScanButton());
}

TEST_F(MainWindowTest, WithoutSettingsTheHomePageOpensAndTheFirstSystemBackupStarts) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    ExpectShowing(dlg, dlg.m_pHomePage, &dlg.ScanButton());
    EXPECT_TRUE(dlg.SystemBackupStarted());
}

TEST_F(MainWindowTest, AnExistingBackupMeansNoSystemBackup) {
    SetSetting(settings::kLastBackup, "Jun,06 2009 7:05 PM");
    CQuorvaneDlg& dlg = OpenMainWindow();
    EXPECT_FALSE(dlg.SystemBackupStarted());
}

TEST_F(MainWindowTest, BFlagOfAnyValueOpensTheQuickBootResultPageEvenWithStartup) {
    SetSetting(settings::kBFlag, 0);
    CQuorvaneDlg& dlg = OpenMainWindow("\"Z:\\quorvane\" /startup");
    ExpectShowing(dlg, dlg.m_pQuickBootResultPage, &dlg.QuickBootButton());
    guitest::Pump();
    std::string lastScan;
    EXPECT_FALSE(ReadSetting(settings::kLastScan, lastScan));
    EXPECT_FALSE(dlg.ScanRun().IsRunning());
}

TEST_F(MainWindowTest, StartupSwitchScansRecordsTheTimeAndStartsTheRestorePointBesideIt) {
    SetSetting(settings::kCheckRestorePoint, 1);
    std::atomic<int> releaseScan{0};
    OpenMainWindow("\"Z:\\quorvane\" /startup");
    CQuorvaneDlg& dlg = *m_dlg;
    // The window starts the scan from its initialisation, before a body could be set: the
    // default body ends at once, so the results page follows.
    std::string lastScan;
    EXPECT_TRUE(ReadSetting(settings::kLastScan, lastScan));
    EXPECT_FALSE(lastScan.empty());
    EXPECT_TRUE(dlg.RestorePointStarted());
    ASSERT_TRUE(guitest::PumpUntil([&] { return dlg.m_pScanResultPage->IsShown(); }));
    ExpectShowing(dlg, dlg.m_pScanResultPage, &dlg.ScanButton());

    // A scan that runs keeps the scan page on show and every navigation button disabled.
    dlg.SetScanBody([&](CScanRunControl& run) {
        while (!run.m_bStop && !releaseScan) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    dlg.StartScan();
    guitest::Pump();
    EXPECT_TRUE(dlg.m_pScanPage->IsShown());
    EXPECT_FALSE(dlg.m_pHomePage->IsShown());
    for (CBMPButton* b : {&dlg.ScanButton(), &dlg.QuickBootButton(), &dlg.BackupButton(), &dlg.OptionsButton()}) {
        EXPECT_FALSE(b->IsEnabled());
    }
    releaseScan = 1;
    ASSERT_TRUE(guitest::PumpUntil([&] { return dlg.m_pScanResultPage->IsShown(); }));
    ExpectShowing(dlg, dlg.m_pScanResultPage, &dlg.ScanButton());
}

TEST_F(MainWindowTest, AStoppedScanReturnsToTheHomePage) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    dlg.SetScanBody([](CScanRunControl& run) {
        while (!run.m_bStop) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    dlg.StartScan();
    dlg.ScanRun().Stop();
    ASSERT_TRUE(guitest::PumpUntil([&] { return dlg.m_pHomePage->IsShown(); }));
    ExpectShowing(dlg, dlg.m_pHomePage, &dlg.ScanButton());
}

TEST_F(MainWindowTest, TrayMenuOffersShowOnlyWhileHiddenAndHideAndCentreOnlyWhileVisible) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    ASSERT_TRUE(dlg.HasTrayIcon());
    std::unique_ptr<wxMenu> visible(dlg.BuildTrayMenu());
    EXPECT_EQ(visible->FindItem(MenuItemId(cmd::kTrayShow)), nullptr);
    EXPECT_NE(visible->FindItem(MenuItemId(cmd::kTrayHide)), nullptr);
    EXPECT_NE(visible->FindItem(MenuItemId(cmd::kTrayCentre)), nullptr);
    EXPECT_NE(visible->FindItem(MenuItemId(cmd::kTrayExit)), nullptr);

    dlg.RunCommand(cmd::kTrayHide);
    guitest::Pump();
    EXPECT_FALSE(dlg.HostWindow()->IsShown());
    std::unique_ptr<wxMenu> hidden(dlg.BuildTrayMenu());
    EXPECT_NE(hidden->FindItem(MenuItemId(cmd::kTrayShow)), nullptr);
    EXPECT_EQ(hidden->FindItem(MenuItemId(cmd::kTrayHide)), nullptr);
    EXPECT_EQ(hidden->FindItem(MenuItemId(cmd::kTrayCentre)), nullptr);
    EXPECT_NE(hidden->FindItem(MenuItemId(cmd::kTrayAbout)), nullptr);

    // A left click on the icon brings the window back.
    dlg.OnTrayLeftClick();
    guitest::Pump();
    EXPECT_TRUE(dlg.HostWindow()->IsShown());
}

TEST_F(MainWindowTest, CentralizeQuorvanePutsTheWindowAt161By113OnA1024By768Screen) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    ASSERT_EQ(wxGetDisplaySize(), wxSize(1024, 768)) << "run under xvfb-run -s \"-screen 0 1024x768x24\"";
    EXPECT_EQ(dlg.m_cxScreen, 1024);
    EXPECT_EQ(dlg.m_cyScreen, 768);
    dlg.HostWindow()->Move(3, 5);
    dlg.RunCommand(cmd::kTrayCentre);
    EXPECT_TRUE(guitest::PumpUntil([&] { return dlg.HostWindow()->GetPosition() == wxPoint(161, 113); }))
        << dlg.HostWindow()->GetPosition().x << "," << dlg.HostWindow()->GetPosition().y;
    EXPECT_EQ(dlg.HostWindow()->GetSize(), wxSize(690, 421));
}

TEST_F(MainWindowTest, MinimizeThenShowProgramBringsTheWindowBack) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    // Without a window manager the display does not iconise: only the way back is checked.
    dlg.RunCommand(cmd::kMinimize);
    guitest::Pump();
    dlg.RunCommand(cmd::kTrayShow);
    guitest::Pump();
    EXPECT_FALSE(dlg.HostWindow()->IsIconized());
    EXPECT_TRUE(dlg.HostWindow()->IsShown());
}

TEST_F(MainWindowTest, BackupRunningFromAWorkerDisablesNavigationUntilItIsDone) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    std::atomic<int> step{0};
    std::thread worker([&] {
        dlg.SetBackupRunning(false);
        step = 1;
        while (step != 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        dlg.SetBackupRunning(true);
        step = 3;
    });
    ASSERT_TRUE(guitest::PumpUntil([&] { return step == 1; }));
    EXPECT_TRUE(dlg.m_pBackupPage->IsShown());
    EXPECT_FALSE(dlg.m_pHomePage->IsShown());
    for (CBMPButton* b : {&dlg.ScanButton(), &dlg.QuickBootButton(), &dlg.BackupButton(), &dlg.OptionsButton()}) {
        EXPECT_FALSE(b->IsEnabled());
    }
    step = 2;
    ASSERT_TRUE(guitest::PumpUntil([&] { return step == 3; }));
    worker.join();
    ExpectShowing(dlg, dlg.m_pBackupPage, &dlg.BackupButton());
}

TEST_F(MainWindowTest, TheTitleAreaNamesThePrefixAndTheChooserWaitsForRunningWork) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    EXPECT_TRUE(dlg.PrefixLabel().IsShown());
    EXPECT_EQ(dlg.PrefixLabel().GetText().rfind("Prefix: prefix", 0), 0u)
        << dlg.PrefixLabel().GetText();
    ASSERT_NE(dlg.PrefixLabel().GetToolTip(), nullptr);
    EXPECT_NE(dlg.PrefixLabel().GetToolTip()->GetTip().utf8_string().find(root_.string()), std::string::npos);
    EXPECT_TRUE(dlg.PrefixChoiceOffered());

    qvtest::MessageBoxRecorder boxes;
    // A folder that is no prefix is refused, and the window stays.
    EXPECT_FALSE(dlg.SwitchToPrefix(temp_.path()));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].find("is not a Wine prefix"), std::string::npos);
    EXPECT_EQ(RequestedPrefixSwitch(), std::nullopt);

    // While a backup runs the chooser is not offered, and says why.
    dlg.EnableNavigation(false);
    EXPECT_FALSE(dlg.PrefixChoiceOffered());
    dlg.ShowPrefixChooser();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_NE(boxes.shown[1].find("once the scan, the fix, the restart or the backup has ended"), std::string::npos);
    dlg.EnableNavigation(true);
    EXPECT_TRUE(dlg.PrefixChoiceOffered());
}

TEST_F(MainWindowTest, WhileWineRunsABannerSaysSoAndTheWritingActionsSayWhyTheyWait) {
    CQuorvaneDlg::SetPrefixWatchInterval(std::chrono::milliseconds(50));
    auto wine = std::make_unique<qvtest::FakeWineServer>(root_);
    CQuorvaneDlg& dlg = OpenMainWindow();
    // Said at once, on the first page.
    EXPECT_TRUE(dlg.CurrentPrefixState().wineRunning);
    EXPECT_TRUE(dlg.StateBanner().IsShown());
    EXPECT_NE(dlg.StateBanner().Line().find("wineserver -k"), std::string::npos);
    EXPECT_NE(dlg.StateBanner().Details().find(qv::StopWineCommand(root_)), std::string::npos);

    auto& options = static_cast<CTopicDlgOptions&>(*dlg.m_pOptionsPage);
    CBMPButton* writers[] = {&static_cast<CTopicDlgScanResult*>(dlg.m_pScanResultPage)->FixButton(),
                             &static_cast<CTopicTitleBackupNRestore*>(dlg.m_pBackupPage)->RestoreNowButton(),
                             &static_cast<CTopicTitleDlgOptimize*>(dlg.m_pQuickBootPage)->ApplyButton(),
                             &options.SaveButton()};
    for (CBMPButton* button : writers) {
        EXPECT_NE(button->UnavailableReason().find(qv::StopWineCommand(root_)), std::string::npos)
            << "button " << button->CommandId();
        ASSERT_NE(button->GetToolTip(), nullptr);
        EXPECT_EQ(button->GetToolTip()->GetTip().utf8_string(), button->UnavailableReason());
    }
    // Reading stays available.
    EXPECT_EQ(static_cast<CTopicTitleBackupNRestore*>(dlg.m_pBackupPage)->BackupNowButton().UnavailableReason(), "");

    // A click says why and changes nothing.
    dlg.ShowOptionsPage();
    std::string before;
    const bool hadSetting = ReadSetting("CheckUpdate", before);
    {
        qvtest::MessageBoxRecorder boxes;
        options.SaveButton().Click();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0], options.SaveButton().UnavailableReason());
    }
    std::string after;
    EXPECT_EQ(ReadSetting("CheckUpdate", after), hadSetting);
    EXPECT_EQ(after, before);

    // Once Wine stops, the banner goes and the actions come back by themselves.
    wine.reset();
    ASSERT_TRUE(guitest::PumpUntil([&] { return !dlg.StateBanner().IsShown(); }));
    for (CBMPButton* button : writers) EXPECT_EQ(button->UnavailableReason(), "") << button->CommandId();
    EXPECT_EQ(options.SaveButton().GetToolTip()->GetTip().utf8_string(), std::string(StringText(191)));
    // ...and come back when it starts again.
    wine = std::make_unique<qvtest::FakeWineServer>(root_);
    ASSERT_TRUE(guitest::PumpUntil([&] { return dlg.StateBanner().IsShown(); }));
    EXPECT_NE(options.SaveButton().UnavailableReason(), "");
    CQuorvaneDlg::SetPrefixWatchInterval(std::chrono::milliseconds(1500));
}

}  // namespace
