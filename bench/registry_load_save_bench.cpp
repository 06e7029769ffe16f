// Loading and saving a large registry file, against just reading and writing its bytes.
//
// The file is the fresh Wine prefix's system.reg scaled up: its whole tree is copied under
// numbered keys until it holds at least 200,000 keys. Each measurement reports MB/s; the
// summary prints each registry operation next to its raw-I/O anchor from the same run:
// loading against reading the whole file into memory, saving against writing and flushing
// it. It also prints the memory a load takes, measured in a process of its own (peak
// resident size against the file's size).
//
//   build/bin/registry_load_save_bench [--benchmark_min_time=...]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "peak_memory.h"
#include "platform/registry/atomic_file.h"
#include "platform/registry/hive_file_reader.h"
#include "platform/registry/reg_key.h"
#include "platform/registry/wine_hive_format.h"
#include "scaled_registry.h"

namespace fs = std::filesystem;
using namespace qv::reg;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Workload {
    fs::path dir;
    fs::path file;
    std::string text;
    size_t keys = 0;
};

Workload& TheWorkload() {
    static Workload w = [] {
        Workload w;
        std::string base = ReadAll(fs::path(QV_FIXTURES_DIR) / "fresh" / "system.reg");
        if (base.empty()) {
            std::fprintf(stderr, "fixture system.reg not found under %s\n", QV_FIXTURES_DIR);
            std::exit(1);
        }
        size_t perCopy = 0;
        auto root = qvbench::ScaledRegistry(base, 200000, &perCopy);
        w.keys = qvbench::CountKeys(*root);
        w.text = SerializeWineHive(*root, Branch::Machine, "win64");
        w.dir = fs::temp_directory_path() / ("quorvane-bench-" + std::to_string(::getpid()));
        fs::create_directories(w.dir);
        w.file = w.dir / "system.reg";
        std::ofstream(w.file, std::ios::binary) << w.text;
        std::fprintf(stderr, "workload: %zu keys (%zu per copy of the fixture), %.1f MB\n", w.keys, perCopy,
                     w.text.size() / 1e6);
        return w;
    }();
    return w;
}

// The least any loader does: the whole file read into a new buffer.
void RawRead(benchmark::State& state) {
    Workload& w = TheWorkload();
    for (auto _ : state) {
        int fd = ::open(w.file.c_str(), O_RDONLY | O_CLOEXEC);
        std::unique_ptr<char[]> buf(new char[w.text.size()]);
        size_t done = 0;
        while (done < w.text.size()) {
            ssize_t n = ::read(fd, buf.get() + done, w.text.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buf.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * w.text.size()));
}

// Loading as the registry store does: the file opened, checked and parsed as it is read.
ParsedHive LoadFile(const fs::path& file) {
    qv::HiveFileContent f = qv::OpenHiveFile(file, "system.reg");
    return ParseWineHiveFile(f.fd.Get(), qv::HiveSizeCeiling(), "too large", "system.reg", 1,
                             SameBranchLinkResolver(Branch::Machine));
}

void Load(benchmark::State& state) {
    Workload& w = TheWorkload();
    for (auto _ : state) {
        ParsedHive h = LoadFile(w.file);
        benchmark::DoNotOptimize(h.root.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * w.text.size()));
}

void RawWrite(benchmark::State& state) {
    Workload& w = TheWorkload();
    fs::path out = w.dir / "raw.out";
    for (auto _ : state) {
        int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        size_t done = 0;
        while (done < w.text.size()) {
            ssize_t n = ::write(fd, w.text.data() + done, w.text.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::fsync(fd);
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * w.text.size()));
}

void Save(benchmark::State& state) {
    Workload& w = TheWorkload();
    ParsedHive h = ParseWineHive(w.text, "system.reg", 1);
    fs::path out = w.dir / "saved.reg";
    // As the store saves: serialized in pieces straight into the new file, flushed, renamed.
    for (auto _ : state)
        qv::WriteFileAtomically(out, [&](qv::StagedFileWriter& w) {
            WriteWineHive(*h.root, Branch::Machine, "win64", [&w](std::string_view piece) { w.Write(piece); });
        });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * w.text.size()));
}

BENCHMARK(RawRead)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(Load)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(RawWrite)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(Save)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Console output as usual, plus a record of each benchmark's throughput for the summary.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> mbPerSecond;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) mbPerSecond[r.run_name.function_name] = it->second.value / 1e6;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    // The memory of one load, in a process that holds nothing else.
    if (argc == 3 && std::string(argv[1]) == "--load-memory") {
        qvbench::PeakMemory before = qvbench::ReadPeakMemory();
        ParsedHive h = LoadFile(argv[2]);
        qvbench::PeakMemory after = qvbench::ReadPeakMemory();
        std::printf("%lld %lld %zu\n", before.currentKb, after.peakKb, TreeStorageBytes(*h.root));
        return h.report.rejected ? 1 : 0;
    }
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& m = reporter.mbPerSecond;
    std::printf("\n%-6s %12s %14s %8s\n", "", "registry MB/s", "raw I/O MB/s", "ratio");
    if (m.count("Load") && m.count("RawRead"))
        std::printf("%-6s %12.1f %14.1f %8.3f   (anchor: the file read whole into new memory)\n", "load", m["Load"],
                    m["RawRead"], m["Load"] / m["RawRead"]);
    if (m.count("Save") && m.count("RawWrite"))
        std::printf("%-6s %12.1f %14.1f %8.3f   (anchor: the file written whole and flushed)\n", "save", m["Save"],
                    m["RawWrite"], m["Save"] / m["RawWrite"]);
    // Memory of a load of the same file, in a process of its own.
    {
        std::string out = qvbench::RunAndCapture(std::string("'") + argv[0] + "' --load-memory '" +
                                                 TheWorkload().file.string() + "'");
        long long baseKb = 0, peakKb = 0;
        size_t treeBytes = 0;
        if (std::sscanf(out.c_str(), "%lld %lld %zu", &baseKb, &peakKb, &treeBytes) == 3) {
            const double fileMb = TheWorkload().text.size() / 1e6;
            std::printf("\nload memory: file %.1f MB, peak resident %.1f MB (%.2f x the file), of which the load "
                        "%.1f MB (%.2f x the file); the tree's storage %.1f MB\n",
                        fileMb, peakKb / 1e3 * 1.024, peakKb * 1024.0 / TheWorkload().text.size(),
                        (peakKb - baseKb) / 1e3 * 1.024, (peakKb - baseKb) * 1024.0 / TheWorkload().text.size(),
                        treeBytes / 1e6);
        } else {
            std::printf("\nload memory: not measured (%s)\n", out.c_str());
        }
    }
    std::error_code ec;
    fs::remove_all(TheWorkload().dir, ec);
    return 0;
}
