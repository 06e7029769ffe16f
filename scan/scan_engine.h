// The scan driver and its scanners, without any window: the scan page runs RunScan on its
// worker thread and gives it sinks for rows, status texts and the progress bar; the command
// line gives it its own.
//
// The flags are written by the UI thread and polled by the worker; each scanner tests
// m_bStop before every registry entry or file and returns at once when it is set.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

#include "scan/finding_stores.h"
#include "scan/scan_sinks.h"
#include "scan/scan_work_meter.h"

class CScanEngine {
public:
    CScanEngine(IFindingSink& findings, IStatusSink& status, IScanProgress* progress = nullptr);

    // The whole scan: three phases, then the ending chosen by the flags (the bar runs down
    // after a stop, up to 100 after a complete scan).
    void RunScan();

    // Before a new scan starts: clears the stop, abort and exit flags.
    void PrepareStart();

    // A status text; each one a scanner posts stands for one entry checked.
    void PostStatus(const std::string& text) {
        m_work.Tick();
        m_status.PostStatus(text);
    }
    // One entry checked, with the text that names it: `makeText()` is called, and its text
    // posted, only when the status sink would show it.
    template <class MakeText>
    void EntryStatus(const MakeText& makeText) {
        m_work.Tick();
        if (m_status.StatusWanted()) m_status.PostStatus(makeText());
    }
    void AddFinding(const ScanFinding& f) { m_findings.AddFinding(f); }

    // Flags (plain ints in spirit; atomics so that the worker sees the UI thread's writes).
    std::atomic<int> m_bStop{1};
    std::atomic<int> m_bAborted{0};
    std::atomic<int> m_bExiting{0};
    std::atomic<int> m_bPhase1Done{0};
    std::atomic<int> m_bPhase2Done{0};
    std::atomic<int> m_bPhase3Done{0};

    CFindingStores m_stores;

    // How far the running scan has come (read from any thread).
    const CScanWorkMeter& Work() const { return m_work; }

    // Phase 3 scanners; each returns 1 when its key or folder could be opened.
    int ScanApplicationPaths();
    int ScanSharedDlls();
    int ScanFonts();
    int ScanHelpFiles();
    int ScanUninstallEntries();
    int ScanStartupPrograms();
    int ScanFileExtensions();
    int ScanShortcutsFirstGroup();
    int ScanShortcutsSecondGroup();
    int ScanTempInternetFiles();
    int ScanCookies();
    // Wine's stale menu files in the user's home (the home of `m_menuHome` when set).
    int ScanWineMenuEntries();
    std::optional<menus::MenuHome> m_menuHome;

    // The recursive shortcut walk of one folder; appends broken shortcuts' paths to `store`.
    // Never enters a folder twice (Wine links profile folders to the home folder).
    int ScanShortcuts(const std::string& folder, std::vector<std::string>& store);
    // True when an uninstall entry holds one of the values a real one has.
    static bool HasUninstallValue(HKEY key);

    // The COM scanners of phases 1 and 2 under one class root ("" = HKEY_CLASSES_ROOT,
    // else the key path below HKEY_LOCAL_MACHINE).
    void ScanComRegistrations(bool machineRoot);

    // Row steps of phase 3: stores to rows.
    void TransferFindings();
    void TransferStartupEntries();
    void TransferFileExtensions();

private:
    void ScanClassesRoot();
    void ScanMachineClasses();
    void ScanCategories();
    void FinishScan();

    IFindingSink& m_findings;
    IStatusSink& m_status;
    IScanProgress* m_progress;
    CScanWorkMeter m_work;
};

// The existence test of the application path scanner: FindFirstFileA finds something.
bool FileExists(const std::string& path);
