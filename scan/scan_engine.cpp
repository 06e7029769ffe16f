#include "scan/scan_engine.h"

#include "scan/scan_work_estimate.h"

#include <windows.h>

#include "app/string_table.h"
#include "platform/prefix/file_lookup_cache.h"
#include "platform/prefix/prefix.h"
#include "platform/win32/find_file_probe.h"
#include "vendor/core/file_verified_memo.h"

namespace {

// A stand-in for the progress bar when there is none (the command line).
class NoProgress : public IScanProgress {
public:
    int Position() override { return position_; }
    void SetPosition(int p) override { position_ = p; }
    void Step() override { position_ = position_ < 100 ? position_ + 1 : 100; }
    void ShowPercent(int) override {}
    void Reset() override { position_ = 0; }
    void StopTimer() override {}
    void Sleep(int) override {}

private:
    int position_ = 0;
};

NoProgress& SharedNoProgress() {
    thread_local NoProgress p;
    return p;
}

}  // namespace

CScanEngine::CScanEngine(IFindingSink& findings, IStatusSink& status, IScanProgress* progress)
    : m_findings(findings), m_status(status), m_progress(progress) {}

void CScanEngine::PrepareStart() {
    m_bStop = 0;
    m_bAborted = 0;
    m_bExiting = 0;
    // The window shows 0 until the worker has measured the work.
    m_work.Start({0, 0, 0});
}

void CScanEngine::ScanClassesRoot() {
    if (!m_bPhase1Done && !m_bStop && !m_bAborted) {
        ScanComRegistrations(false);
        m_bPhase1Done = 1;
    } else {
        PostStatus(std::string(StringText(129)));
    }
}

void CScanEngine::ScanMachineClasses() {
    m_work.BeginPhase(1);
    if (!m_bPhase2Done && !m_bStop && !m_bAborted) {
        ScanComRegistrations(true);
        m_bPhase2Done = 1;
    } else {
        PostStatus(std::string(StringText(129)));
    }
}

void CScanEngine::ScanCategories() {
    m_work.BeginPhase(2);
    if (m_bPhase3Done || m_bStop || m_bAborted) {
        PostStatus(std::string(StringText(129)));
        return;
    }
    // Once begun, every step runs: a scanner that sees the stop flag returns at once, and the
    // row steps turn whatever the stores hold into rows.
    m_findings.ClearFindings();
    ScanFonts();
    ScanHelpFiles();
    ScanSharedDlls();
    ScanUninstallEntries();
    ScanStartupPrograms();
    ScanFileExtensions();
    ScanShortcutsFirstGroup();
    ScanShortcutsSecondGroup();
    ScanTempInternetFiles();
    ScanCookies();
    ScanApplicationPaths();
    ScanWineMenuEntries();
    TransferFindings();
    m_bPhase3Done = 1;
}

void CScanEngine::RunScan() {
    // The scan reads each folder and judges each path once, and sees the disk as it was
    // when it first looked; the next scan starts afresh.
    qv::ScopedFileLookupCache files;
    CFileVerifiedMemo verdicts;
    // One prefix from start to end, held by this thread: the registry and file functions,
    // called for every entry, then find it without taking the process-wide lock.
    qv::ScopedThreadPrefix prefix(qv::ActivePrefix());
    IScanProgress& bar = m_progress ? *m_progress : SharedNoProgress();
    bar.Reset();
    m_work.Start(EstimateScanWork());
    m_stores.Empty();
    m_bPhase1Done = 0;
    m_bPhase2Done = 0;
    m_bPhase3Done = 0;
    ScanClassesRoot();
    ScanMachineClasses();
    ScanCategories();
    m_bPhase1Done = 1;
    m_bPhase2Done = 1;
    m_bPhase3Done = 1;
    FinishScan();
}

void CScanEngine::FinishScan() {
    IScanProgress& bar = m_progress ? *m_progress : SharedNoProgress();
    int pos = bar.Position();
    if (m_bAborted && !m_bExiting) {
        for (int n = pos; pos > 0 && n >= 0; --n) {
            bar.SetPosition(n);
            bar.ShowPercent(n);
            bar.Sleep(70);
        }
        PostStatus(std::string(StringText(128)));
    } else if (m_bExiting) {
        // Closing: neither the bar nor the status line changes any more.
    } else if (pos < 100) {
        PostStatus(std::string(StringText(129)));
        for (int i = pos; i <= 100; ++i) {
            bar.Step();
            bar.ShowPercent(i);
            bar.Sleep(10);
        }
        PostStatus(std::string(StringText(127)));
        bar.Sleep(70);
        bar.StopTimer();
    } else {
        PostStatus(std::string(StringText(127)));
        bar.StopTimer();
        bar.Reset();
    }
}

bool FileExists(const std::string& path) { return qv::FindFirstFileFinds(path); }
