#include "tools/cli/cli_scan_run.h"

#include <unistd.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <sstream>

#include "backup/reg_export_writer.h"
#include "scan/scan_engine.h"

namespace {

class RowCollector : public IFindingSink {
public:
    std::vector<ScanFinding> added;  // in the order added; the list shows the newest first
    void AddFinding(const ScanFinding& f) override { added.push_back(f); }
    void ClearFindings() override { added.clear(); }
};

// Shows the latest status text at most ten times a second, on one terminal line.
class TerminalStatus : public IStatusSink {
public:
    explicit TerminalStatus(CScanEngine*& engine) : engine_(engine), tty_(::isatty(STDERR_FILENO)) {}
    ~TerminalStatus() override {
        if (tty_ && shown_) std::fprintf(stderr, "\r\033[K");
    }
    bool StatusWanted() override {
        return tty_ && (!shown_ || std::chrono::steady_clock::now() - last_ >= std::chrono::milliseconds(100));
    }
    void PostStatus(const std::string& text) override {
        if (!tty_) return;
        auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        shown_ = true;
        int phase = !engine_ ? 1 : !engine_->m_bPhase1Done ? 1 : !engine_->m_bPhase2Done ? 2 : 3;
        static const int kStart[] = {0, 0, 35, 70};
        int filled = kStart[phase] * 20 / 100;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.resize(20, '.');
        std::string shown = text.size() > 90 ? "..." + text.substr(text.size() - 87) : text;
        std::fprintf(stderr, "\r\033[K[%s] phase %d/3 %s", bar.c_str(), phase, shown.c_str());
        std::fflush(stderr);
    }

private:
    CScanEngine*& engine_;
    bool tty_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_;
};

std::string Hex(const std::string& bytes) {
    std::ostringstream o;
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (i) o << ',';
        o << kDigits[b >> 4] << kDigits[b & 15];
    }
    return o.str();
}

}  // namespace

CliScanResult RunCliScan() {
    RowCollector rows;
    CScanEngine* enginePtr = nullptr;
    TerminalStatus status(enginePtr);
    CScanEngine engine(rows, status);
    enginePtr = &engine;
    engine.PrepareStart();
    engine.RunScan();
    CliScanResult result;
    result.rows.assign(rows.added.rbegin(), rows.added.rend());
    result.stores = std::move(engine.m_stores);
    return result;
}

std::string FindingData(const ScanFinding& f) {
    if (f.kind != "VAL" && f.kind != "KEY") return {};
    HKEY root = CRegExportWriter::RootFromName(f.rootKey);
    HKEY key = nullptr;
    if (!root || RegOpenKeyExA(root, f.key.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
    const char* name = f.kind == "VAL" ? f.description.c_str() : nullptr;
    DWORD type = 0, size = 0;
    std::string out;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            data.resize(size);
            if (type == REG_SZ || type == REG_EXPAND_SZ)
                out = data.c_str();
            else if (type == REG_DWORD && size == 4)
                out = std::to_string(static_cast<uint32_t>(static_cast<unsigned char>(data[0]) |
                                                           static_cast<unsigned char>(data[1]) << 8 |
                                                           static_cast<unsigned char>(data[2]) << 16 |
                                                           static_cast<uint32_t>(static_cast<unsigned char>(data[3])) << 24));
            else
                out = Hex(data);
        }
    }
    RegCloseKey(key);
    return out;
}
