// Quitting: the exit sequence with its pop-up, and the system's close of either window.
#include <shellapi.h>

#include <wx/uiaction.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gui_test_support.h"
#include "pages/exit_pop_dlg.h"
#include "shell/command_ids.h"
#include "shell/quorvane_main_dlg.h"
#include "shell/vendor_addresses.h"

namespace {

using guitest::MainWindowTest;

// Records what ShellExecuteA would open, for the life of the test.
class OpenRecorder {
public:
    OpenRecorder() {
        m_previous = qv::SetShellOpenHandler([this](const qv::ShellOpenRequest& request) {
            m_opened.push_back(request.target);
            return true;
        });
    }
    ~OpenRecorder() { qv::SetShellOpenHandler(m_previous); }
    const std::vector<std::string>& Opened() const { return m_opened; }

private:
    qv::ShellOpenHandler m_previous;
    std::vector<std::string> m_opened;
};

CTopicDlgExitPop* PopOf(wxDialog* dialog) {
    for (wxWindow* child : dialog->GetChildren()) {
        if (auto* pop = dynamic_cast<CTopicDlgExitPop*>(child)) return pop;
    }
    return nullptr;
}

// A scan worker that runs until it is stopped, then reports its end by a send, as the scan
// worker does; the test sees the order of events.
struct SlowScan {
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    CQuorvaneDlg::ScanBody Body() {
        return [this](CScanRunControl& run) {
            started = true;
            while (!run.m_bStop) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            finished = true;
        };
    }
};

TEST_F(MainWindowTest, CloseStopsAndWaitsForTheScanThenPopUpNoThanksQuits) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    SlowScan scan;
    dlg.SetScanBody(scan.Body());
    dlg.StartScan();
    ASSERT_TRUE(guitest::PumpUntil([&] { return scan.started.load(); }));

    bool scanEndedBeforePopUp = false;
    bool trayGoneBeforePopUp = false;
    bool escapeLeftItOpen = false;
    bool enterLeftItOpen = false;
    wxTopLevelWindow* host = dlg.HostWindow();
    guitest::WhenModal([&](wxDialog* dialog) {
        scanEndedBeforePopUp = scan.finished && !dlg.ScanRun().IsRunning();
        trayGoneBeforePopUp = !dlg.HasTrayIcon();
        CTopicDlgExitPop* pop = PopOf(dialog);
        ASSERT_NE(pop, nullptr);
        EXPECT_EQ(dialog->GetSize(), wxSize(609, 285));
        EXPECT_EQ(pop->YesButton().GetPosition(), wxPoint(100, 220));
        EXPECT_EQ(pop->NoButton().GetPosition(), wxPoint(350, 220));
        for (int key : {WXK_ESCAPE, WXK_RETURN}) {
            wxKeyEvent hook(wxEVT_CHAR_HOOK);
            hook.m_keyCode = key;
            hook.SetEventObject(pop->FindFocus() != nullptr ? pop->FindFocus() : pop);
            (pop->FindFocus() != nullptr ? pop->FindFocus() : static_cast<wxWindow*>(pop))->ProcessWindowEvent(hook);
            guitest::Pump();
            (key == WXK_ESCAPE ? escapeLeftItOpen : enterLeftItOpen) = dialog->IsModal() && dialog->IsShown();
        }
        pop->NoButton().Click();
    });
    dlg.RunCommand(cmd::kClose);
    EXPECT_TRUE(scanEndedBeforePopUp);
    EXPECT_TRUE(trayGoneBeforePopUp);
    EXPECT_TRUE(escapeLeftItOpen);
    EXPECT_TRUE(enterLeftItOpen);
    // "No, Thanks" ends the program: the main window closes.
    bool destroyed = false;
    host->Bind(wxEVT_DESTROY, [&](wxWindowDestroyEvent& e) { if (e.GetEventObject() == host) destroyed = true; e.Skip(); });
    EXPECT_TRUE(guitest::PumpUntil([&] { return destroyed || wxTopLevelWindows.empty(); }));
    m_dlg = nullptr;  // gone with its frame
}

TEST_F(MainWindowTest, TrayExitAlsoWaitsAndYesPleaseOpensTheOfferAndStays) {
    OpenRecorder recorder;
    CQuorvaneDlg& dlg = OpenMainWindow();
    SlowScan scan;
    dlg.SetScanBody(scan.Body());
    dlg.StartScan();
    ASSERT_TRUE(guitest::PumpUntil([&] { return scan.started.load(); }));
    bool waited = false;
    bool stayedAfterYes = false;
    guitest::WhenModal([&](wxDialog* dialog) {
        waited = scan.finished.load();
        CTopicDlgExitPop* pop = PopOf(dialog);
        ASSERT_NE(pop, nullptr);
        pop->YesButton().Click();
        pop->YesButton().Click();
        guitest::Pump();
        stayedAfterYes = dialog->IsModal();
        // The system's close ends the pop-up without quitting.
        dialog->Close();
    });
    dlg.RunCommand(cmd::kTrayExit);
    EXPECT_TRUE(waited);
    EXPECT_TRUE(stayedAfterYes);
    EXPECT_EQ(recorder.Opened(), (std::vector<std::string>{kVendorOfferPage, kVendorOfferPage}));
    guitest::Pump();
    EXPECT_TRUE(dlg.HostWindow()->IsShown());
    EXPECT_FALSE(dlg.HasTrayIcon());
}

TEST_F(MainWindowTest, ExitFromTheTrayWhileHiddenNeverStrandsAHiddenWindow) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    dlg.RunCommand(cmd::kTrayHide);
    guitest::Pump();
    ASSERT_FALSE(dlg.HostWindow()->IsShown());
    guitest::WhenModal([](wxDialog* dialog) { dialog->Close(); });
    dlg.RunCommand(cmd::kTrayExit);
    guitest::Pump();
    // The tray icon is gone, so the window must be back on screen.
    EXPECT_FALSE(dlg.HasTrayIcon());
    EXPECT_TRUE(dlg.HostWindow()->IsShown());
}

TEST_F(MainWindowTest, SystemCloseOfTheMainWindowStopsTheScanWorkerFirst) {
    CQuorvaneDlg& dlg = OpenMainWindow();
    SlowScan scan;
    dlg.SetScanBody(scan.Body());
    dlg.StartScan();
    ASSERT_TRUE(guitest::PumpUntil([&] { return scan.started.load(); }));
    wxTopLevelWindow* host = dlg.HostWindow();
    bool finishedWhenClosing = false;
    host->Bind(wxEVT_DESTROY, [&](wxWindowDestroyEvent& e) {
        if (e.GetEventObject() == host) finishedWhenClosing = scan.finished.load();
        e.Skip();
    });
    m_dlg = nullptr;
    EXPECT_TRUE(host->Close());  // as Alt+F4 asks
    EXPECT_TRUE(guitest::PumpUntil([&] { return wxTopLevelWindows.empty(); }));
    EXPECT_TRUE(finishedWhenClosing);
    EXPECT_TRUE(scan.finished);
}

}  // namespace
