// Whole-registry export and import by quorvane's registry editor, side by side with Wine's
// regedit on the same prefix in the same run (where Wine is installed).
//
//   build/bin/regedit_export_import_bench [REPEATS]
//
// Two prefixes: the fresh Wine prefix of the fixtures, and the same prefix with its
// system.reg scaled to at least 200,000 keys. Times are wall-clock medians; Wine's include
// the time until its server has exited and saved (that is when an import is on disk).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "backup/reg_import.h"
#include "backup/regedit_export.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/registry_store.h"
#include "scaled_registry.h"

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool Run(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

bool HaveWine() { return Run("command -v wine >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1"); }

struct Row {
    std::string what;
    double ours = 0, wine = 0;
};

void Measure(const std::string& label, const fs::path& prefix, int repeats, bool wine, std::vector<Row>& rows) {
    const fs::path work = prefix.parent_path();
    const fs::path ourFile = work / "ours.reg", wineFile = work / "wine.reg";
    Row exp{label + " export"}, imp{label + " import"};
    std::vector<double> t;
    for (int i = 0; i < repeats; ++i) {
        t.push_back(Seconds([&] {
            qv::RegistryStore store(prefix);
            std::string error;
            if (!qv::RegeditExportFile(store, "", ourFile, error)) std::fprintf(stderr, "export: %s\n", error.c_str());
        }));
    }
    exp.ours = Median(t);
    t.clear();
    for (int i = 0; i < repeats; ++i) {
        fs::path target = work / ("import-" + std::to_string(i));
        fs::remove_all(target);
        fs::create_directories(target / "drive_c");
        t.push_back(Seconds([&] {
            qv::RegistryStore store(target);
            std::string error;
            if (!qv::ImportRegFile(store, ourFile, error)) std::fprintf(stderr, "import: %s\n", error.c_str());
        }));
        fs::remove_all(target);
    }
    imp.ours = Median(t);
    if (wine) {
        const std::string env = "WINEPREFIX=" + Quote(prefix) + " WINEDEBUG=-all ";
        t.clear();
        for (int i = 0; i < repeats; ++i)
            t.push_back(Seconds([&] {
                Run(env + "wine regedit /e " + Quote(wineFile) + " >/dev/null 2>&1");
                Run(env + "wineserver -w");
            }));
        exp.wine = Median(t);
        t.clear();
        for (int i = 0; i < repeats; ++i)
            t.push_back(Seconds([&] {
                Run(env + "wine regedit /s " + Quote(ourFile) + " >/dev/null 2>&1");
                Run(env + "wineserver -w");
            }));
        imp.wine = Median(t);
    }
    std::error_code ec;
    std::fprintf(stderr, "%s: export file %.1f MB\n", label.c_str(), fs::file_size(ourFile, ec) / 1e6);
    rows.push_back(exp);
    rows.push_back(imp);
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    fs::path work = fs::temp_directory_path() / ("quorvane-regedit-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "fresh");
    fs::create_directories(work / "large");
    const fs::path archive = fs::path(QV_FIXTURES_DIR) / "fresh-prefix.tar.gz";
    if (!Run("tar -xzf " + Quote(archive) + " -C " + Quote(work / "fresh")) ||
        !Run("tar -xzf " + Quote(archive) + " -C " + Quote(work / "large"))) {
        std::fprintf(stderr, "cannot unpack %s\n", archive.c_str());
        return 1;
    }
    // The large prefix: system.reg scaled up.
    {
        std::ifstream in(work / "large/prefix/system.reg", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        auto root = qvbench::ScaledRegistry(ss.str(), 200000);
        std::fprintf(stderr, "large prefix: %zu keys in system.reg\n", qvbench::CountKeys(*root));
        qv::WriteFileAtomically(work / "large/prefix/system.reg",
                                qv::reg::SerializeWineHive(*root, qv::reg::Branch::Machine, "win64"));
    }
    bool wine = HaveWine();
    if (!wine) std::fprintf(stderr, "Wine is not installed: only quorvane's side is measured\n");
    std::vector<Row> rows;
    Measure("fresh prefix", work / "fresh/prefix", repeats, wine, rows);
    Measure("200k-key prefix", work / "large/prefix", repeats, wine, rows);

    std::printf("\n%-24s %12s %14s %10s\n", "", "quorvane s", "wine regedit s", "wine/ours");
    for (const Row& r : rows) {
        if (wine)
            std::printf("%-24s %12.3f %14.3f %10.1f\n", r.what.c_str(), r.ours, r.wine, r.wine / r.ours);
        else
            std::printf("%-24s %12.3f %14s %10s\n", r.what.c_str(), r.ours, "-", "-");
    }
    fs::remove_all(work);
    return 0;
}
