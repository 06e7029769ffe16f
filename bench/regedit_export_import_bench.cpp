// Whole-registry export and import by quorvane-regedit, side by side with Wine's regedit on
// the same prefixes in the same run (where Wine is installed), and the peak memory of
// loading and importing large registries.
//
//   build/bin/regedit_export_import_bench [REPEATS] [--regedit PROGRAM] [--no-wine] [--big-mb N]
//
// Prefixes: the fresh Wine prefix of the fixtures (its three registry files and an empty
// drive_c, which Wine fills on its first start, untimed), and the same prefix with its
// system.reg scaled to at least 200,000 keys. Export: the whole registry to a file. Import:
// that export into a copy of the fresh prefix (the same start for both programs). Times
// are wall-clock medians of whole program runs (ours: the quorvane-regedit program; Wine's:
// `wine regedit` plus the wait until its server has saved and exited, which is when an
// import is on disk).
//
// Memory: peak resident memory (the kernel's high-water mark of the measured process, taken
// by a small launcher process, so that none of the benchmark's own memory counts) of
// loading the 200,000-key prefix, of importing its export into an empty prefix, and of
// `quorvane-regedit /s` of an export of about N MB (default 200) into an empty prefix, in
// UTF-16 as registry editors write it and the same text in UTF-8.
//
// Every Wine run has a private HOME and temporary folder inside the benchmark's folder, no
// debug output, and its server waited for; the folder is removed at the end.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <malloc.h>

#include "backup/reg_file_reader.h"
#include "backup/reg_import.h"
#include "platform/registry/atomic_file.h"
#include "peak_memory.h"
#include "platform/registry/reg_text.h"
#include "platform/registry/registry_store.h"
#include "scaled_registry.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}
std::string Quote(const fs::path& p) { return Quote(p.string()); }

bool Run(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double MB(double bytes) { return bytes / 1e6; }

uintmax_t HiveBytes(const fs::path& prefix) {
    std::error_code ec;
    uintmax_t n = 0;
    for (const char* f : {"system.reg", "user.reg", "userdef.reg"}) {
        uintmax_t s = fs::file_size(prefix / f, ec);
        if (!ec) n += s;
    }
    return n;
}

// ---- the launcher: runs a program and reports its time and peak resident memory ----

// Child side: `--peak-rss PROGRAM ARGS...`. Prints "status peak_kb seconds".
int PeakRssLauncher(int argc, char** argv) {
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid < 0) return 127;
    if (pid == 0) {
        int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, STDOUT_FILENO);
        ::execv(argv[0], argv);
        std::perror(argv[0]);
        ::_exit(127);
    }
    int status = 0;
    struct rusage ru {};
    while (::wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%d %ld %.6f\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128, ru.ru_maxrss, s);
    (void)argc;
    return 0;
}

// The process's resident memory now and at its peak, in kB.
// Child side: `--import-phases PREFIX FILE`. Imports as quorvane-regedit /s does into a store
// with nothing unsaved (the file read once, its changes applied as it is read), and prints
// the memory after each step: the loaded store, the changes applied (the key tree with the
// store's journal of unsaved changes), the peak of the save, and the store after the save
// has emptied the journal (freed memory given back first).
int ImportPhases(const char* prefix, const char* file) {
    class Apply : public qv::RegFileSink {
    public:
        explicit Apply(qv::RegistryStore& store) : store_(store) {}
        bool OpenKey(qv::RegRoot root, std::u16string_view path, int) override {
            long err = 0;
            key_ = store_.Create(root, path, nullptr, &err);
            return key_ != nullptr;
        }
        bool DeleteKey(qv::RegRoot, std::u16string_view, int) override { return false; }
        bool SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data, int) override {
            return store_.SetValue(key_, name, type, std::vector<uint8_t>(data.begin(), data.end())) == 0;
        }
        bool DeleteValue(std::u16string_view, int) override { return false; }

    private:
        qv::RegistryStore& store_;
        qv::reg::Key* key_ = nullptr;
    };
    qv::RegistryStore store(prefix);
    std::printf("loaded %lld\n", qvbench::ReadPeakMemory().currentKb);
    std::string error;
    auto lock = store.WriteLock();
    store.BeginBatch();
    Apply apply(store);
    if (qv::ReadRegFile(file, apply, error) != qv::RegReadResult::Done) return 1;
    ::malloc_trim(0);
    std::printf("applied %lld\n", qvbench::ReadPeakMemory().currentKb);
    if (store.EndBatch() != 0) return 1;
    std::printf("saved-peak %lld\n", qvbench::ReadPeakMemory().peakKb);
    ::malloc_trim(0);
    std::printf("after-save %lld\n", qvbench::ReadPeakMemory().currentKb);
    std::fflush(stdout);
    std::_Exit(0);
}

struct Measured {
    bool ok = false;
    long peakKb = 0;
    double seconds = 0;
};

std::string g_self;  // this program

// Runs `args` (a program and its arguments) through the launcher: a process of its own, so
// that the kernel's high-water mark is that program's alone.
Measured RunMeasured(const std::vector<std::string>& args) {
    std::string cmd = Quote(g_self) + " --peak-rss";
    for (const std::string& a : args) cmd += " " + Quote(a);
    Measured m;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return m;
    int status = 1;
    if (std::fscanf(p, "%d %ld %lf", &status, &m.peakKb, &m.seconds) != 3) status = 1;
    ::pclose(p);
    m.ok = status == 0;
    if (!m.ok) std::fprintf(stderr, "failed (status %d): %s\n", status, cmd.c_str());
    return m;
}

// ---- prefixes ----

struct Wine {
    bool installed = false;
    fs::path home;
    std::string Env(const fs::path& prefix) const {
        return "HOME=" + Quote(home) + " TMPDIR=" + Quote(home / "tmp") + " WINEPREFIX=" + Quote(prefix) +
               " WINEDEBUG=-all ";
    }
    // Runs a Wine program in `prefix` and waits until its server has saved and exited.
    bool Run(const fs::path& prefix, const std::string& programAndArgs) const {
        bool ok = ::Run(Env(prefix) + "wine " + programAndArgs + " >/dev/null 2>&1");
        ::Run(Env(prefix) + "wineserver -w >/dev/null 2>&1");
        return ok;
    }
    void Stop(const fs::path& prefix) const {
        if (!installed || !fs::exists(prefix)) return;
        ::Run(Env(prefix) + "wineserver -k >/dev/null 2>&1");
        ::Run(Env(prefix) + "wineserver -w >/dev/null 2>&1");
    }
};

size_t MachineKeys(const fs::path& prefix) {
    qv::RegistryStore store(prefix);
    auto lock = store.ReadLock();
    return qvbench::CountKeys(store.BranchRoot(qv::reg::Branch::Machine));
}

// The sections of a branch file copied `copies` times under ScaledCopies\CopyAa, CopyAb, ...
// Link keys are copied as plain keys without their link value.
std::string ScaledHiveText(const std::string& text, size_t copies) {
    size_t first = text.find("\n[");
    if (first == std::string::npos) return text;
    std::string out = text;
    if (out.back() != '\n') out += '\n';
    const std::string body = text.substr(first + 1);
    for (size_t c = 0; c < copies; ++c) {
        std::string prefix = "ScaledCopies\\\\Copy";
        prefix += static_cast<char>('A' + c / 26 % 26);
        prefix += static_cast<char>('a' + c % 26);
        if (c >= 26 * 26) prefix += std::to_string(c / (26 * 26));
        std::istringstream in(body);
        std::string line;
        bool skipping = false;  // inside the link value's continued lines
        while (std::getline(in, line)) {
            if (skipping) {
                skipping = !line.empty() && line.back() == '\\';
                continue;
            }
            if (!line.empty() && line[0] == '[') {
                out += "\n[" + prefix + (line.size() > 1 && line[1] == ']' ? "" : "\\\\") + line.substr(1) + "\n";
            } else if (line == "#link") {
                continue;
            } else if (line.rfind("\"SymbolicLinkValue\"=", 0) == 0) {
                skipping = !line.empty() && line.back() == '\\';
            } else if (!line.empty()) {
                out += line + "\n";
            }
        }
    }
    return out;
}

// `dir` as a copy of `fresh` whose system.reg holds at least `minKeys` keys (written in the
// registry's own order, as Wine writes it).
bool MakeScaledPrefix(const fs::path& fresh, const fs::path& dir, size_t minKeys) {
    fs::create_directories(dir);
    for (const char* f : {"user.reg", "userdef.reg", ".update-timestamp"})
        if (fs::exists(fresh / f)) fs::copy_file(fresh / f, dir / f, fs::copy_options::overwrite_existing);
    fs::create_directory_symlink(fresh / "drive_c", dir / "drive_c");
    const size_t have = MachineKeys(fresh);
    const size_t perCopy = have;  // every key of the branch below the root, plus CopyXx itself
    const size_t copies = minKeys > have ? (minKeys - have + perCopy - 1) / perCopy : 0;
    qv::WriteFileAtomically(dir / "system.reg", ScaledHiveText(ReadAll(fresh / "system.reg"), copies));
    std::string canonical;
    {
        qv::RegistryStore store(dir);
        if (!store.UnreadableHives().empty()) return false;
        canonical = store.Serialize(qv::reg::Branch::Machine);
    }
    qv::WriteFileAtomically(dir / "system.reg", canonical);
    return true;
}

// A copy of a prefix's registry files beside its folders, for an import to change.
void CopyPrefix(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const char* f : {"system.reg", "user.reg", "userdef.reg", ".update-timestamp"})
        if (fs::exists(from / f)) fs::copy_file(from / f, to / f);
    fs::create_directory_symlink(fs::canonical(from / "drive_c"), to / "drive_c");
}

// The UTF-16LE file `from` as UTF-8 (same text, no byte-order mark), written piece by piece.
bool Utf16FileToUtf8(const fs::path& from, const fs::path& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    char bom[2];
    if (!in.read(bom, 2)) return false;
    std::vector<char> buf(1 << 20);
    std::string text;
    char16_t pendingHigh = 0;
    while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
        size_t n = static_cast<size_t>(in.gcount()) & ~size_t(1);
        text.clear();
        for (size_t i = 0; i < n; i += 2) {
            char32_t c = static_cast<unsigned char>(buf[i]) | (static_cast<unsigned char>(buf[i + 1]) << 8);
            if (pendingHigh) {
                if (c >= 0xDC00 && c <= 0xDFFF) {
                    c = 0x10000 + ((pendingHigh - 0xD800) << 10) + (c - 0xDC00);
                    pendingHigh = 0;
                } else {
                    text += "\xef\xbf\xbd";
                    pendingHigh = 0;
                }
            }
            if (c >= 0xD800 && c <= 0xDBFF) {
                pendingHigh = static_cast<char16_t>(c);
                continue;
            }
            if (c >= 0xDC00 && c <= 0xDFFF) c = 0xFFFD;
            qv::reg::AppendUtf8(text, c);
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    return static_cast<bool>(out);
}

// ---- measurements ----

struct Row {
    std::string what;
    double ours = 0, wine = 0;
    long oursPeakKb = 0;
};

struct Bench {
    fs::path work;
    fs::path regedit;  // quorvane-regedit
    Wine wine;
    int repeats = 3;
    std::vector<Row> rows;
    std::vector<std::string> notes;

    Measured Regedit(const fs::path& prefix, const std::vector<std::string>& args) {
        std::vector<std::string> cmd{regedit.string(), "--prefix", prefix.string()};
        cmd.insert(cmd.end(), args.begin(), args.end());
        return RunMeasured(cmd);
    }

    // Exports `prefix` with both programs and imports the export into copies of `fresh`.
    // Returns our export's file.
    fs::path ExportImport(const std::string& label, const fs::path& prefix, const fs::path& fresh) {
        const fs::path ours = work / (label + "-ours.reg"), theirs = work / (label + "-wine.reg");
        Row exp{label + " export"}, imp{label + " import"};
        std::vector<double> t;
        for (int i = 0; i < repeats; ++i) {
            Measured m = Regedit(prefix, {"/e", ours.string()});
            t.push_back(m.seconds);
            exp.oursPeakKb = std::max(exp.oursPeakKb, m.peakKb);
        }
        exp.ours = Median(t);
        t.clear();
        const fs::path target = work / "import-target";
        for (int i = 0; i < repeats; ++i) {
            CopyPrefix(fresh, target);
            Measured m = Regedit(target, {"/s", ours.string()});
            t.push_back(m.seconds);
            imp.oursPeakKb = std::max(imp.oursPeakKb, m.peakKb);
        }
        imp.ours = Median(t);
        if (wine.installed) {
            t.clear();
            for (int i = 0; i < repeats; ++i) {
                auto t0 = std::chrono::steady_clock::now();
                wine.Run(prefix, "regedit /e " + Quote(theirs));
                t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            }
            exp.wine = Median(t);
            t.clear();
            for (int i = 0; i < repeats; ++i) {
                CopyPrefix(fresh, target);
                auto t0 = std::chrono::steady_clock::now();
                wine.Run(target, "regedit /s " + Quote(ours));
                t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            }
            wine.Stop(target);
            imp.wine = Median(t);
        }
        fs::remove_all(target);
        std::error_code ec;
        char buf[256];
        std::snprintf(buf, sizeof buf, "%s: hive files %.1f MB, our export %.1f MB, Wine's export %.1f MB",
                      label.c_str(), MB(static_cast<double>(HiveBytes(prefix))),
                      MB(static_cast<double>(fs::file_size(ours, ec))),
                      wine.installed ? MB(static_cast<double>(fs::file_size(theirs, ec))) : 0.0);
        notes.push_back(buf);
        fs::remove(theirs, ec);
        rows.push_back(exp);
        rows.push_back(imp);
        return ours;
    }

    void MemoryLine(const std::string& what, const Measured& m, double bytes, const std::string& of) {
        char buf[512];
        std::snprintf(buf, sizeof buf, "%-58s peak RSS %7.1f MB = %5.2f x %s (%.1f MB)%s", what.c_str(),
                      m.peakKb / 1024.0 * 1.024, m.peakKb * 1024.0 / bytes, of.c_str(), MB(bytes),
                      m.ok ? "" : "  [FAILED]");
        std::printf("%s\n", buf);
    }
};

struct Cleanup {
    Bench& b;
    std::vector<fs::path> prefixes;
    ~Cleanup() {
        for (const fs::path& p : prefixes) b.wine.Stop(p);
        std::error_code ec;
        fs::remove_all(b.work, ec);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak-rss") == 0) return PeakRssLauncher(argc - 2, argv + 2);
    if (argc == 4 && std::strcmp(argv[1], "--import-phases") == 0) return ImportPhases(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) {
        qv::RegistryStore store(argv[2]);
        return store.UnreadableHives().empty() ? 0 : 1;
    }
    g_self = fs::canonical("/proc/self/exe").string();

    Bench b;
    bool useWine = true;
    double bigMb = 200;
    b.regedit = fs::path(g_self).parent_path() / "quorvane-regedit";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--regedit" && i + 1 < argc) b.regedit = fs::absolute(argv[++i]);
        else if (a == "--no-wine") useWine = false;
        else if (a == "--big-mb" && i + 1 < argc) bigMb = std::atof(argv[++i]);
        else if (std::atoi(a.c_str()) > 0) b.repeats = std::atoi(a.c_str());
        else {
            std::fprintf(stderr, "usage: %s [REPEATS] [--regedit PROGRAM] [--no-wine] [--big-mb N]\n", argv[0]);
            return 2;
        }
    }
    if (!fs::exists(b.regedit)) {
        std::fprintf(stderr, "%s is missing: build the quorvane-regedit target\n", b.regedit.c_str());
        return 1;
    }
    char tmpl[] = "/tmp/quorvane-regedit-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    b.work = tmpl;
    b.wine.home = b.work / "home";
    fs::create_directories(b.wine.home / "tmp");
    b.wine.installed = useWine && Run("command -v wine >/dev/null 2>&1 && command -v wineserver >/dev/null 2>&1");
    const fs::path fresh = b.work / "fresh", large = b.work / "large";
    Cleanup cleanup{b, {fresh, large, b.work / "import-target"}};

    // The fresh prefix from the fixtures' registry files.
    fs::create_directories(fresh / "drive_c");
    for (const char* f : {"system.reg", "user.reg", "userdef.reg"})
        fs::copy_file(fs::path(QV_FIXTURES_DIR) / "fresh" / f, fresh / f);
    if (b.wine.installed) {
        // Wine's first start fills drive_c and brings the registry up to its version; both
        // programs then work on the registry it leaves.
        std::fprintf(stderr, "setting up the prefix for Wine...\n");
        b.wine.Run(fresh, "cmd /c exit");
    } else {
        std::fprintf(stderr, "Wine is not installed: only quorvane's side is measured\n");
    }
    if (!MakeScaledPrefix(fresh, large, 200000)) {
        std::fprintf(stderr, "cannot make the large prefix\n");
        return 1;
    }
    std::fprintf(stderr, "fresh prefix: %zu keys in system.reg; large prefix: %zu keys\n", MachineKeys(fresh),
                 MachineKeys(large));

    b.ExportImport("fresh prefix", fresh, fresh);
    const fs::path largeExport = b.ExportImport("200k-key prefix", large, fresh);

    std::printf("\n%-26s %12s %14s %10s %12s\n", "", "quorvane s", "wine regedit s", "wine/ours", "our peak MB");
    for (const Row& r : b.rows) {
        if (b.wine.installed)
            std::printf("%-26s %12.3f %14.3f %10.1f %12.1f\n", r.what.c_str(), r.ours, r.wine, r.wine / r.ours,
                        r.oursPeakKb / 1024.0 * 1.024);
        else
            std::printf("%-26s %12.3f %14s %10s %12.1f\n", r.what.c_str(), r.ours, "-", "-",
                        r.oursPeakKb / 1024.0 * 1.024);
    }
    for (const std::string& n : b.notes) std::printf("  %s\n", n.c_str());

    // Memory.
    std::printf("\n");
    const double largeHive = static_cast<double>(HiveBytes(large));
    b.MemoryLine("loading the 200k-key prefix", RunMeasured({g_self, "--load", large.string()}), largeHive,
                 "its hive files");
    {
        const fs::path empty = b.work / "empty";
        fs::create_directories(empty / "drive_c");
        Measured m = b.Regedit(empty, {"/s", largeExport.string()});
        b.MemoryLine("importing its export into an empty prefix", m, largeHive, "its hive files");
        b.MemoryLine("  (the same run)", m, static_cast<double>(fs::file_size(largeExport)), "the .reg");
        fs::remove_all(empty);
        // Where that memory goes: the same import step by step.
        fs::create_directories(empty / "drive_c");
        std::string cmd = Quote(g_self) + " --import-phases " + Quote(empty) + " " + Quote(largeExport);
        if (FILE* p = ::popen(cmd.c_str(), "r")) {
            char what[32];
            long kb = 0;
            std::printf("  the same import step by step (resident MB):");
            while (std::fscanf(p, "%31s %ld", what, &kb) == 2) std::printf(" %s %.1f", what, kb / 1024.0 * 1.024);
            std::printf("\n");
            ::pclose(p);
        }
        fs::remove_all(empty);
    }
    if (bigMb > 0) {
        // A prefix whose export is about bigMb MB: keys in proportion to the 200k export.
        const double perKey = static_cast<double>(fs::file_size(largeExport)) / static_cast<double>(MachineKeys(large));
        const size_t keys = static_cast<size_t>(bigMb * 1e6 / perKey);
        const fs::path big = b.work / "big";
        cleanup.prefixes.push_back(big);
        if (!MakeScaledPrefix(fresh, big, keys)) return 1;
        const fs::path bigReg = b.work / "big.reg", bigUtf8 = b.work / "big-utf8.reg";
        Measured exp = b.Regedit(big, {"/e", bigReg.string()});
        const double bigHive = static_cast<double>(HiveBytes(big));
        fs::remove_all(big);
        b.MemoryLine("exporting a prefix of " + std::to_string(keys / 1000) + "k keys", exp, bigHive,
                     "its hive files");
        const fs::path empty = b.work / "empty";
        fs::create_directories(empty / "drive_c");
        Measured m = b.Regedit(empty, {"/s", bigReg.string()});
        b.MemoryLine("quorvane-regedit /s of its export, UTF-16", m, static_cast<double>(fs::file_size(bigReg)),
                     "the .reg");
        std::printf("%-58s %.2f s\n", "  (time)", m.seconds);
        fs::remove_all(empty);
        if (Utf16FileToUtf8(bigReg, bigUtf8)) {
            fs::remove(bigReg);
            fs::create_directories(empty / "drive_c");
            Measured u = b.Regedit(empty, {"/s", bigUtf8.string()});
            b.MemoryLine("quorvane-regedit /s of the same text in UTF-8", u,
                         static_cast<double>(fs::file_size(bigUtf8)), "the .reg");
            std::printf("%-58s %.2f s\n", "  (time)", u.seconds);
            fs::remove_all(empty);
        }
    }
    return 0;
}
