// The results page under the GUI fixing 20,000 rows (stale application paths and shared DLL
// entries of a prefix with 40,000 of them): how long the window's thread is kept from its
// events at most while the repair backs up, removes and saves, next to the budget and the
// repair's whole time. The confirmation is answered yes, the summary read, the restart
// declined.
//
//   xvfb-run -a build/bin/fix_ui_stall_gui
#include <windows.h>

#include <wx/log.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/settings.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/command_line.h"
#include "platform/win32/message_box.h"
#include "results/scan_result_page.h"
#include "scan/optimize_registry_page.h"
#include "shell/quorvane_main_dlg.h"
#include "stale_entries_prefix.h"
#include "ui_stall_meter.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;
using qvbench::Clock;

int main(int argc, char** argv) {
    const int kEntries = 20000;  // of each kind; half of them stale: 20,000 rows
    qv::SetCommandLineArgs(argc, argv);
    fs::path root = qvbench::MakeStaleEntriesPrefix("fix-bench", kEntries);
    fs::create_directories(root / "drive_c/users/bench");
    CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kLastBackup, "Jun,06 2009 7:05 PM",
                                HKEY_LOCAL_MACHINE);
    qv::SetMessageBoxHandler([](const std::string&, const std::string&, unsigned type) {
        return (type & 0xF) == MB_YESNO ? ((type & 0xF0) == MB_ICONINFORMATION ? IDYES : IDNO) : IDOK;
    });

    wxApp::SetInstance(new qvbench::BenchApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 2;
    delete wxLog::SetActiveTarget(new wxLogStderr);
    int code = 0;
    {
        wxGUIEventLoop loop;
        wxEventLoopActivator activate(&loop);
        auto* dlg = new CQuorvaneDlg("\"Z:\\quorvane\"");
        dlg->CreateMainWindow();
        qvbench::PumpUntil([dlg] { return dlg->HostWindow()->IsShownOnScreen(); });
        CTopicDlgOptimizeRegistry::SetTimings(2, 0.0);
        CTopicDlgScanResult::SetFixPause(0);
        dlg->StartScan();
        qvbench::PumpUntil([dlg] { return !dlg->ScanRun().IsRunning() && dlg->m_pScanResultPage->IsShown(); });
        auto* results = dynamic_cast<CTopicDlgScanResult*>(dlg->m_pScanResultPage);
        const int rows = results->List().GetItemCount();
        // The restart question: "No" comes back to the home page.
        qv::SetMessageBoxHandler([](const std::string&, const std::string& caption, unsigned type) {
            if ((type & 0xF) != MB_YESNO) return IDOK;
            return caption == "Confirmation" ? IDYES : IDNO;
        });
        results->List().CheckAll();

        qvbench::StallMeter meter;
        const Clock::time_point t0 = Clock::now();
        results->FixSelected();
        qvbench::PumpUntil([results] { return !results->FixRunning(); });
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        meter.Stop();
        const int left = results->List().GetItemCount();
        std::printf("fix under the GUI: %d rows removed in %.2f s (%.0f rows/s)\n", rows - left, seconds,
                    (rows - left) / seconds);
        std::printf("longest stall of the window's thread: %.1f ms (budget %.0f ms), ending %.2f s into the fix\n",
                    meter.Worst(), qvbench::kStallBudgetMs, std::chrono::duration<double>(meter.WorstAt() - t0).count());
        if (rows != kEntries || left != 0) {
            std::fprintf(stderr, "expected %d rows, all removed; had %d, %d left\n", kEntries, rows, left);
            code = 1;
        }
        dlg->HostWindow()->Destroy();
        qvbench::PumpUntil([] { return wxTopLevelWindows.empty(); });
    }
    qv::SetMessageBoxHandler(nullptr);
    wxTheApp->OnExit();
    wxEntryCleanup();
    qv::SetActivePrefix(nullptr);
    fs::remove_all(root);
    return code;
}
