// The scan engine on a prefix with 100,000 application paths and 100,000 shared DLL
// entries (half of each pointing at files that exist), in entries per second, next to the
// rate of just enumerating the same entries through the registry functions. Both run
// REPEATS times (3 unless given) in turn and the fastest run of each is reported, so one
// stall of a busy machine does not decide the ratio.
//
//   build/bin/scan_bench [REPEATS]
#include <unistd.h>

#include <windows.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "peak_memory.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry_batch.h"
#include "scan/scan_engine.h"
#include "scan/status_mailbox.h"
#include "stale_entries_prefix.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;

namespace {

struct CountRows : IFindingSink {
    size_t rows = 0;
    void AddFinding(const ScanFinding&) override { ++rows; }
    void ClearFindings() override { rows = 0; }
};

// The status line as the scan page has it: texts go through the page's mailbox, and a
// window thread takes the latest one whenever a delivery was asked for, at the pace of a
// screen refresh.
class WindowStatus : public IStatusSink {
public:
    WindowStatus() : window_([this] { Serve(); }) {}
    ~WindowStatus() override {
        done_ = true;
        window_.join();
    }
    void PostStatus(const std::string& text) override {
        if (box_.Put(text)) asked_ = true;
    }
    bool StatusWanted() override { return box_.Wanted(); }
    uint64_t Texts() const { return box_.PutCount(); }

private:
    void Serve() {
        while (!done_) {
            if (asked_.exchange(false)) box_.Take();
            std::this_thread::sleep_for(std::chrono::milliseconds(16));
        }
    }
    CStatusMailbox box_;
    std::atomic<bool> asked_{false};
    std::atomic<bool> done_{false};
    std::thread window_;
};

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Enumerates the same entries (names and data) as the scan, without checking any file.
size_t EnumerateEntries() {
    size_t seen = 0;
    HKEY key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", 0, KEY_READ, &key);
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        HKEY sub;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            char data[512];
            DWORD size = sizeof data;
            RegQueryValueExA(sub, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
            RegCloseKey(sub);
        }
        ++seen;
    }
    RegCloseKey(key);
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls", 0, KEY_READ, &key);
    for (DWORD i = 0;; ++i) {
        DWORD n = sizeof name;
        if (RegEnumValueA(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ++seen;
    }
    RegCloseKey(key);
    return seen;
}

}  // namespace

int main(int argc, char** argv) {
    const int kEntries = 100000;
    const int repeats = std::max(1, argc > 1 ? std::atoi(argv[1]) : 3);
    auto t0 = std::chrono::steady_clock::now();
    fs::path root = qvbench::MakeStaleEntriesPrefix("scan-bench", kEntries);
    std::fprintf(stderr, "prefix built in %.1f s\n", Seconds(t0));

    CountRows rows;
    WindowStatus status;
    size_t seen = 0;
    double enumSeconds = 1e30, scanSeconds = 1e30;
    for (int run = 0; run < repeats; ++run) {
        t0 = std::chrono::steady_clock::now();
        seen = EnumerateEntries();
        enumSeconds = std::min(enumSeconds, Seconds(t0));

        CScanEngine engine(rows, status);
        t0 = std::chrono::steady_clock::now();
        engine.PrepareStart();
        engine.RunScan();
        scanSeconds = std::min(scanSeconds, Seconds(t0));
    }


    std::printf("fastest of %d runs each\n", repeats);
    std::printf("%-34s %12s %14s\n", "", "entries/s", "seconds");
    std::printf("%-34s %12.0f %14.2f\n", "scan (check every file)", seen / scanSeconds, scanSeconds);
    std::printf("%-34s %12.0f %14.2f\n", "enumeration only (anchor)", seen / enumSeconds, enumSeconds);
    std::printf("ratio scan/anchor: %.3f   findings: %zu of %zu entries   status texts: %zu\n",
                enumSeconds / scanSeconds, rows.rows, seen, static_cast<size_t>(status.Texts()));
    std::printf("peak resident memory: %lld kB\n", qvbench::ReadPeakMemory().peakKb);
    qv::SetActivePrefix(nullptr);
    fs::remove_all(root);
    return 0;
}
