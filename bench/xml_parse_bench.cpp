// CXmlDocument on a feed-shaped document of about 100 MB with a million elements, next to
// the time to read the same bytes from a file and to scan them once in memory.
//   build/bin/xml_parse_bench --benchmark_filter=Parse
// Counters: MB/s of text, the element table's size, and the process's peak resident size
// so far (run one benchmark per process for a peak of that benchmark alone).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "update/xml_document.h"

namespace {

constexpr int kEntries = 200000;  // five elements each: Entry and four children

// <xml><Quorvane> with kEntries entries of a feed's elements, texts padded so that the
// document is about 100 MB.
const std::string& FeedDocument() {
    static const std::string document = [] {
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xml>\n<Quorvane>\n";
        const std::string offer(312, 'o');
        char entry[1024];
        for (int i = 0; i < kEntries; ++i) {
            std::snprintf(entry, sizeof entry,
                          " <Entry>\n  <Version>%d</Version>\n  <Build>%d</Build>\n"
                          "  <UpgradeURL>https://zembrill.example.com/get?v=%d&amp;b=%d</UpgradeURL>\n"
                          "  <SpecialOffer>%s &#233;</SpecialOffer>\n </Entry>\n",
                          i % 7, 100 + i, i, i, offer.c_str());
            text += entry;
        }
        text += "</Quorvane>\n</xml>\n";
        return text;
    }();
    return document;
}

std::filesystem::path writtenFile;

const std::filesystem::path& FeedFile() {
    static const std::filesystem::path path = [] {
        std::filesystem::path p = std::filesystem::temp_directory_path() /
                                  ("quorvane-xml-bench-" + std::to_string(::getpid()) + ".xml");
        std::FILE* file = std::fopen(p.c_str(), "wb");
        std::fwrite(FeedDocument().data(), 1, FeedDocument().size(), file);
        std::fclose(file);
        writtenFile = p;
        return p;
    }();
    return path;
}

double PeakResidentMB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void SetCounters(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * FeedDocument().size()));
    state.counters["doc_MB"] = static_cast<double>(FeedDocument().size()) / 1e6;
    state.counters["peak_rss_MB"] = PeakResidentMB();
}

// Reading the bytes: the file (from the page cache after the first pass) into a string.
void BM_ReadFile(benchmark::State& state) {
    const std::filesystem::path& path = FeedFile();
    for (auto _ : state) {
        std::string text(std::filesystem::file_size(path), '\0');
        std::FILE* file = std::fopen(path.c_str(), "rb");
        size_t read = std::fread(text.data(), 1, text.size(), file);
        std::fclose(file);
        benchmark::DoNotOptimize(read);
    }
    SetCounters(state);
}

// One pass over the bytes in memory: count the less-than signs.
void BM_ScanBytes(benchmark::State& state) {
    const std::string& text = FeedDocument();
    for (auto _ : state) {
        size_t count = 0;
        for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(p, '<', text.data() + text.size() - p)));
             ++p)
            ++count;
        benchmark::DoNotOptimize(count);
    }
    SetCounters(state);
}

// Indexing the document; the copy handed to ParseText is made outside the timing.
void BM_ParseText(benchmark::State& state) {
    CXmlDocument document;
    for (auto _ : state) {
        state.PauseTiming();
        std::string copy = FeedDocument();
        state.ResumeTiming();
        bool found = document.ParseText(std::move(copy));
        benchmark::DoNotOptimize(found);
    }
    SetCounters(state);
    state.counters["elements"] = document.ElementCount() - 1;
    state.counters["table_MB"] = document.AllocatedCount() * sizeof(CXmlDocument::ElementSpan) / 1e6;
}

// Indexing, then a walk that reads every element's text.
void BM_ParseAndReadAll(benchmark::State& state) {
    CXmlDocument document;
    for (auto _ : state) {
        state.PauseTiming();
        std::string copy = FeedDocument();
        state.ResumeTiming();
        document.ParseText(std::move(copy));
        size_t total = 0;
        document.ResetPosition();
        for (;;) {
            if (document.FindNextElement("")) {
                total += document.ElementText().size();
                document.EnterElement();
                continue;
            }
            if (!document.LeaveElement()) break;
        }
        benchmark::DoNotOptimize(total);
    }
    SetCounters(state);
}

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScanBytes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ParseText)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ParseAndReadAll)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code error;
    if (!writtenFile.empty()) std::filesystem::remove(writtenFile, error);
    return 0;
}
