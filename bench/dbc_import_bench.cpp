// Importing the largest real DBC file from memory (decoding, statements, value descriptions), and writing
// it back as DBC text. Target: the import in under 10 ms.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "candb/dbcfile.h"

namespace {

std::string largestTestFile() {
    namespace fs = std::filesystem;
    const char* env = std::getenv("VEX_TESTDATA");
    const fs::path dir = fs::path(env ? env : VEX_TESTDATA_DIR) / "dbc";
    std::error_code ec;
    fs::path best;
    uintmax_t bestSize = 0;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        if (e.path().extension() != ".dbc") continue;
        const uintmax_t size = e.file_size(ec);
        if (!ec && size > bestSize) {
            bestSize = size;
            best = e.path();
        }
    }
    if (best.empty()) return {};
    std::ifstream in(best, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string& bytes() {
    static const std::string b = largestTestFile();
    return b;
}

void BM_DbcImportLargest(benchmark::State& state) {
    if (bytes().empty()) {
        state.SkipWithError("real-world DBC files not present");
        return;
    }
    size_t messages = 0;
    for (auto _ : state) {
        tDBC_IMPORT import;
        ParseDbcText(import, bytes());
        messages = import.Database.Messages.size();
        benchmark::DoNotOptimize(messages);
    }
    state.counters["messages"] = static_cast<double>(messages);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes().size()));
}
BENCHMARK(BM_DbcImportLargest)->Unit(benchmark::kMillisecond);

void BM_DbcExportLargest(benchmark::State& state) {
    if (bytes().empty()) {
        state.SkipWithError("real-world DBC files not present");
        return;
    }
    tDBC_IMPORT import;
    ParseDbcText(import, bytes());
    for (auto _ : state) benchmark::DoNotOptimize(FormatDbcFile(import.Database));
}
BENCHMARK(BM_DbcExportLargest)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
