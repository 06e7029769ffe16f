// Phases 1 and 2 of a scan (the COM registrations under both class roots) on a prefix with
// 100,000 CLSIDs and 100,000 Interfaces, in entries per second, next to the rate of only
// enumerating the same keys.
//
//   build/bin/com_scan_bench
#include <unistd.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/prefix/prefix.h"
#include "platform/registry/registry_batch.h"
#include "scan/scan_engine.h"
#include "vendor/core/system32.h"

namespace fs = std::filesystem;

namespace {

struct NoRows : IFindingSink {
    void AddFinding(const ScanFinding&) override {}
    void ClearFindings() override {}
};
struct NoStatus : IStatusSink {
    void PostStatus(const std::string&) override {}
};

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string Guid(int i, int kind) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-0000-0000-000000000000}", i, kind);
    return buf;
}

}  // namespace

int main() {
    const int kEntries = 100000;
    fs::path root = fs::temp_directory_path() / ("quorvane-com-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "dosdevices");
    fs::create_directories(root / "drive_c/Com");
    fs::create_symlink("../drive_c", root / "dosdevices/c:");
    for (int i = 0; i < 100; ++i) std::ofstream(root / ("drive_c/Com/s" + std::to_string(i) + ".dll"));
    qv::SetActivePrefix(std::make_shared<qv::Prefix>(root));
    {
        qv::RegistryBatch batch;
        for (int i = 0; i < kEntries; ++i) {
            // Half the servers exist; the others are spread over names that do not.
            std::string server = "C:\\Com\\s" + std::to_string(i % 200) + ".dll";
            CSystem32::SetRegistryValue("SOFTWARE\\Classes\\CLSID\\" + Guid(i, 1) + "\\InprocServer32", "", server,
                                        HKEY_LOCAL_MACHINE);
            CSystem32::SetRegistryValue("SOFTWARE\\Classes\\Interface\\" + Guid(i, 2) + "\\TypeLib", "", Guid(i % 50, 3),
                                        HKEY_LOCAL_MACHINE);
        }
        batch.Commit();
    }
    auto t0 = std::chrono::steady_clock::now();
    size_t seen = 0;
    for (const char* path : {"SOFTWARE\\Classes\\CLSID", "SOFTWARE\\Classes\\Interface"}) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        char name[256];
        for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) ++seen;
        RegCloseKey(key);
    }
    double enumSeconds = Since(t0) * 2;  // both phases walk the keys

    NoRows rows;
    NoStatus status;
    CScanEngine engine(rows, status);
    engine.PrepareStart();
    t0 = std::chrono::steady_clock::now();
    engine.ScanComRegistrations(false);
    engine.ScanComRegistrations(true);
    double scanSeconds = Since(t0);
    size_t entries = 2 * seen;
    std::printf("%-36s %12s %10s\n", "", "entries/s", "seconds");
    std::printf("%-36s %12.0f %10.2f\n", "phases 1 and 2 (checkers)", entries / scanSeconds, scanSeconds);
    std::printf("%-36s %12.0f %10.2f\n", "enumeration only (anchor)", entries / enumSeconds, enumSeconds);
    std::printf("ratio: %.3f   invalid CLSIDs %zu, invalid Interfaces %zu (per root)\n", enumSeconds / scanSeconds,
                engine.m_stores.m_aRootClsidInvalid.size(), engine.m_stores.m_aRootInterfaceInvalid.size());
    qv::SetActivePrefix(nullptr);
    fs::remove_all(root);
    return 0;
}
