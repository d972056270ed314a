// Lorimar throughput: a file of 100 channels x 1,000,000 records of 167 bytes (167 MB): one double time
// channel, 9 singles, 90 integers of 10 and 11 bits. Targets: write >= 100 MB/s; open and read every channel
// in under 0.5 s.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "mdf/lorimar.h"

namespace {

constexpr uint32_t kRecords = 1000000;
constexpr uint16_t kChannels = 100;

tMDF_FILE description() {
    tMDF_FILE f;
    f.formatId = "3.00";
    f.programId = "Vexarium";
    f.dataGroups.resize(1);
    f.dataGroups[0].channelGroups.resize(1);
    auto& channels = f.dataGroups[0].channelGroups[0].channels;
    auto add = [&](uint16_t type, uint16_t bits) {
        tMDF_CN_INFO& cn = channels.emplace_back();
        cn.shortName = "ch" + std::to_string(channels.size());
        cn.dataType = type;
        cn.bitCount = bits;
        cn.convPresent = 1;
        cn.convType = MDF_CONV_LINEAR;
        cn.params[1] = 0.5;
    };
    add(MDF_DOUBLE, 64);
    channels[0].channelType = 1;
    for (int i = 0; i < 9; ++i) add(MDF_FLOAT, 32);
    for (int i = 0; i < 42; ++i) add(MDF_UINT, 11);
    for (int i = 0; i < 42; ++i) add(MDF_SINT, 11);
    for (int i = 0; i < 6; ++i) add(MDF_UINT, 10);
    return f;
}

const std::string& filePath() {
    static const std::string path = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "mdfbench-XXXXXX").string();
        if (!::mkdtemp(dir.data())) std::abort();
        std::atexit([] { std::filesystem::remove_all(std::filesystem::path(filePath()).parent_path()); });
        return dir + "/bench.mdf";
    }();
    return path;
}

void writeFile() {
    CLorimar lib;
    tMDF_FILE desc = description();
    if (lib.CreateMdfFile(desc) != MDF_OK) std::abort();
    for (uint32_t r = 0; r < kRecords; ++r) {
        const uint8_t slot = static_cast<uint8_t>(r);
        lib.InputSamplingData(0, slot, r * 0.001);
        for (uint16_t c = 1; c < 10; ++c) lib.InputSamplingData(c, slot, static_cast<float>(r) + c);
        for (uint16_t c = 10; c < 52; ++c) lib.InputSamplingData(c, slot, (r + c) & 0x7FFu);
        for (uint16_t c = 52; c < 94; ++c)
            lib.InputSamplingData(c, slot, static_cast<int32_t>((r + c) % 2000) - 1000);
        for (uint16_t c = 94; c < kChannels; ++c) lib.InputSamplingData(c, slot, (r ^ c) & 0x3FFu);
    }
    const std::string& p = filePath();
    if (lib.SaveMdfFile(p.data(), static_cast<int32_t>(p.size())) != MDF_OK) std::abort();
}

void BM_WriteChannels(benchmark::State& state) {
    for (auto _ : state) writeFile();
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(filePath()));
    state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_WriteChannels)->Unit(benchmark::kMillisecond)->Iterations(3);

// Open, then every channel of every record as a physical value, record by record as a CSV export reads.
void BM_OpenAndReadAllChannels(benchmark::State& state) {
    if (!std::filesystem::exists(filePath())) writeFile();
    const std::string& p = filePath();
    double sums[kChannels] = {};  // one sum per channel: no chain of dependent additions
    for (auto _ : state) {
        CLorimar lib;
        if (lib.OpenMdfFile(p.data(), static_cast<int32_t>(p.size())) != MDF_OK) std::abort();
        for (uint32_t r = 0; r < kRecords; ++r) {
            for (uint16_t c = 0; c < kChannels; ++c) {
                double v;
                lib.GetChannelPhyData(c, r, v);
                sums[c] += v;
            }
        }
        lib.CloseMdfFile();
    }
    benchmark::DoNotOptimize(sums);
    state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(p)) * state.iterations());
    state.counters["values_per_s"] = benchmark::Counter(static_cast<double>(kRecords) * kChannels,
                                                        benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OpenAndReadAllChannels)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same channel by channel: each pass strides through the whole file.
void BM_OpenAndReadChannelByChannel(benchmark::State& state) {
    if (!std::filesystem::exists(filePath())) writeFile();
    const std::string& p = filePath();
    double sum = 0;
    for (auto _ : state) {
        CLorimar lib;
        if (lib.OpenMdfFile(p.data(), static_cast<int32_t>(p.size())) != MDF_OK) std::abort();
        for (uint16_t c = 0; c < kChannels; ++c) {
            for (uint32_t r = 0; r < kRecords; ++r) {
                double v;
                lib.GetChannelPhyData(c, r, v);
                sum += v;
            }
        }
        lib.CloseMdfFile();
    }
    benchmark::DoNotOptimize(sum);
    state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(p)) * state.iterations());
}
BENCHMARK(BM_OpenAndReadChannelByChannel)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
