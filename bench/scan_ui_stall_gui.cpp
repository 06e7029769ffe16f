// The scan page under the GUI on a prefix with 100,000 application paths and 100,000 shared
// DLL entries (half of each pointing at files that exist): how long the window's thread is
// kept from its events at most while the scan runs, next to the whole scan's time. A timer
// on the window's thread ticks every 5 ms; the longest gap between two ticks, less the
// period, is the longest stall.
//
//   xvfb-run -a build/bin/scan_ui_stall_gui
#include <unistd.h>

#include <windows.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/timer.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/settings.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry_batch.h"
#include "platform/win32/command_line.h"
#include "results/scan_result_page.h"
#include "scan/optimize_registry_page.h"
#include "shell/quorvane_main_dlg.h"
#include "stale_entries_prefix.h"
#include "ui_stall_meter.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;
using qvbench::Clock;

int main(int argc, char** argv) {
    const int kEntries = 100000;
    qv::SetCommandLineArgs(argc, argv);
    fs::path root = qvbench::MakeStaleEntriesPrefix("stall-bench", kEntries);
    fs::create_directories(root / "drive_c/users/bench");
    // Something in the settings, so that the start-up's first system backup is skipped.
    CSystem32::SetRegistryValue(settings::kOptionsKey, settings::kLastBackup, "Jun,06 2009 7:05 PM",
                                HKEY_LOCAL_MACHINE);

    wxApp::SetInstance(new qvbench::BenchApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 2;
    delete wxLog::SetActiveTarget(new wxLogStderr);
    int code = 0;
    {
        wxGUIEventLoop loop;
        wxEventLoopActivator activate(&loop);
        auto* dlg = new CQuorvaneDlg("\"Z:\\quorvane\"");
        dlg->CreateMainWindow();
        auto pump = [](auto done) { qvbench::PumpUntil(done); };
        pump([dlg] { return dlg->HostWindow()->IsShownOnScreen(); });
        auto* scan = dynamic_cast<CTopicDlgOptimizeRegistry*>(dlg->m_pScanPage);
        auto* results = dynamic_cast<CTopicDlgScanResult*>(dlg->m_pScanResultPage);
        qvbench::StallMeter meter;
        Clock::time_point t0 = Clock::now();
        dlg->StartScan();
        pump([dlg] { return !dlg->ScanRun().IsRunning() && dlg->m_pScanResultPage->IsShown(); });
        double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        meter.Stop();
        const int rows = results->List().GetItemCount();
        std::printf("scan under the GUI: %d rows from %d entries in %.2f s (%.0f entries/s)\n", rows, 2 * kEntries,
                    seconds, 2 * kEntries / seconds);
        std::printf("longest stall of the window's thread: %.1f ms (budget %.0f ms), ending %.2f s into the scan\n",
                    meter.Worst(), qvbench::kStallBudgetMs,
                    std::chrono::duration<double>(meter.WorstAt() - t0).count());
        std::printf("status texts posted: %llu, deliveries to the window: %llu\n",
                    static_cast<unsigned long long>(scan->StatusMailbox().PutCount()),
                    static_cast<unsigned long long>(scan->StatusMailbox().DeliveryCount()));
        if (rows != kEntries) code = 1;
        dlg->HostWindow()->Destroy();
        pump([] { return wxTopLevelWindows.empty(); });
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    qv::SetActivePrefix(nullptr);
    fs::remove_all(root);
    return code;
}
