// Warm DBC import: the largest real file imported again and again, from its file (as the import command
// reads it) and from memory, then every real file in turn; and the export of the largest file. Each prints
// p50 and p95 over the repetitions and the rate in bytes per second. The first import in a fresh process,
// which is what a user meets, is measured by bench_dbc_import. Target: warm import at 400 MB/s or more.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "candb/dbcfile.h"

namespace {

namespace fs = std::filesystem;

struct TestFile {
    std::string path;
    std::string bytes;
};

const std::vector<TestFile>& testFiles() {
    static const std::vector<TestFile> files = [] {
        const char* env = std::getenv("VEX_TESTDATA");
        const fs::path dir = fs::path(env ? env : VEX_TESTDATA_DIR) / "dbc";
        std::vector<TestFile> out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            if (e.path().extension() != ".dbc") continue;
            std::ifstream in(e.path(), std::ios::binary);
            out.push_back({e.path().string(), std::string(std::istreambuf_iterator<char>(in),
                                                          std::istreambuf_iterator<char>())});
        }
        std::sort(out.begin(), out.end(),
                  [](const TestFile& a, const TestFile& b) { return a.bytes.size() > b.bytes.size(); });
        return out;
    }();
    return files;
}

double percentile(const std::vector<double>& v, double p) {
    std::vector<double> s = v;
    std::sort(s.begin(), s.end());
    return s.empty() ? 0.0 : s[static_cast<size_t>(p * static_cast<double>(s.size() - 1) + 0.5)];
}

bool haveFiles(benchmark::State& state) {
    if (!testFiles().empty()) return true;
    state.SkipWithError("real-world DBC files not present (set VEX_TESTDATA)");
    return false;
}

void BM_DbcImportLargestFromFile(benchmark::State& state) {
    if (!haveFiles(state)) return;
    const TestFile& f = testFiles().front();
    for (auto _ : state) {
        tDBC_IMPORT import;
        benchmark::DoNotOptimize(ParseDbcFile(import, f.path));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
}

void BM_DbcImportLargestFromMemory(benchmark::State& state) {
    if (!haveFiles(state)) return;
    const TestFile& f = testFiles().front();
    for (auto _ : state) {
        tDBC_IMPORT import;
        benchmark::DoNotOptimize(ParseDbcText(import, f.bytes));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
}

void BM_DbcImportAllFiles(benchmark::State& state) {
    if (!haveFiles(state)) return;
    size_t bytes = 0;
    for (const TestFile& f : testFiles()) bytes += f.bytes.size();
    for (auto _ : state) {
        for (const TestFile& f : testFiles()) {
            tDBC_IMPORT import;
            benchmark::DoNotOptimize(ParseDbcFile(import, f.path));
        }
    }
    state.counters["files"] = static_cast<double>(testFiles().size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_DbcExportLargest(benchmark::State& state) {
    if (!haveFiles(state)) return;
    tDBC_IMPORT import;
    ParseDbcText(import, testFiles().front().bytes);
    for (auto _ : state) benchmark::DoNotOptimize(FormatDbcFile(import.Database));
}

void withPercentiles(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)
        ->Repetitions(9)
        ->ComputeStatistics("p50", [](const std::vector<double>& v) { return percentile(v, 0.50); })
        ->ComputeStatistics("p95", [](const std::vector<double>& v) { return percentile(v, 0.95); })
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_DbcImportLargestFromFile)->Apply(withPercentiles);
BENCHMARK(BM_DbcImportLargestFromMemory)->Apply(withPercentiles);
BENCHMARK(BM_DbcImportAllFiles)->Apply(withPercentiles);
BENCHMARK(BM_DbcExportLargest)->Apply(withPercentiles);

}  // namespace

BENCHMARK_MAIN();
