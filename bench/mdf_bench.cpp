// Lorimar throughput on a file of 100 channels x 1,000,000 records of 167 bytes (167 MB): one double time
// channel, 9 singles, 90 integers of 10 and 11 bits, each with a linear conversion. Writing it, and opening
// it and reading every channel of every record as physical values (record by record, as a CSV export reads,
// and channel by channel), with the file in the page cache (warm) and dropped from it (cold). Every value is
// checked once against what was written, and every timed read by a checksum of its values. Each figure is the
// min and median over its repetitions. The cold runs drop the file from the page cache with posix_fadvise and
// report the share still resident (the label says when the machine keeps it cached anyway). Targets: every
// channel of the file read in under 0.3 s warm.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "mdf/lorimar.h"

namespace {

constexpr uint32_t kRecords = 1000000;
constexpr uint16_t kChannels = 100;
constexpr double kFactor = 0.5;

tMDF_FILE description() {
    tMDF_FILE f;
    f.formatId = "3.00";
    f.programId = "Vexarium";
    f.dataGroups.resize(1);
    f.dataGroups[0].channelGroups.resize(1);
    auto& channels = f.dataGroups[0].channelGroups[0].channels;
    auto add = [&](uint16_t type, uint16_t bits) {
        tMDF_CN_INFO& cn = channels.emplace_back();
        cn.shortName = "ch" + std::to_string(channels.size() - 1);
        cn.dataType = type;
        cn.bitCount = bits;
        cn.convPresent = 1;
        cn.convType = MDF_CONV_LINEAR;
        cn.params[1] = kFactor;
    };
    add(MDF_DOUBLE, 64);
    channels[0].channelType = 1;
    for (int i = 0; i < 9; ++i) add(MDF_FLOAT, 32);
    for (int i = 0; i < 42; ++i) add(MDF_UINT, 11);
    for (int i = 0; i < 42; ++i) add(MDF_SINT, 11);
    for (int i = 0; i < 6; ++i) add(MDF_UINT, 10);
    return f;
}

// The values written into channel c (description order) of record r, and what a reader gets back.
double written(uint16_t c, uint32_t r) {
    if (c == 0) return r * 0.001;
    if (c < 10) return static_cast<float>(r) + c;
    if (c < 52) return (r + c) & 0x7FFu;
    if (c < 94) return static_cast<int32_t>((r + c) % 2000) - 1000;
    return (r ^ c) & 0x3FFu;
}
double physical(uint16_t c, uint32_t r) {
    return written(c, r) * kFactor + 0.0;
}

// The file lives in a private folder that goes away with the process.
struct TempFolder {
    std::string dir = (std::filesystem::temp_directory_path() / "mdfbench-XXXXXX").string();
    TempFolder() {
        if (!::mkdtemp(dir.data())) std::abort();
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

const std::string& filePath() {
    static const TempFolder folder;
    static const std::string path = folder.dir + "/bench.mdf";
    return path;
}

void writeFile() {
    CLorimar lib;
    tMDF_FILE desc = description();
    if (lib.CreateMdfFile(desc) != MDF_OK) std::abort();
    for (uint32_t r = 0; r < kRecords; ++r) {
        const uint8_t slot = static_cast<uint8_t>(r);
        lib.InputSamplingData(0, slot, written(0, r));
        for (uint16_t c = 1; c < 10; ++c) lib.InputSamplingData(c, slot, static_cast<float>(written(c, r)));
        for (uint16_t c = 10; c < 52; ++c)
            lib.InputSamplingData(c, slot, static_cast<uint32_t>(written(c, r)));
        for (uint16_t c = 52; c < 94; ++c)
            lib.InputSamplingData(c, slot, static_cast<int32_t>(written(c, r)));
        for (uint16_t c = 94; c < kChannels; ++c)
            lib.InputSamplingData(c, slot, static_cast<uint32_t>(written(c, r)));
    }
    const std::string& p = filePath();
    if (lib.SaveMdfFile(p.data(), static_cast<int32_t>(p.size())) != MDF_OK) std::abort();
}

const std::string& file() {
    if (!std::filesystem::exists(filePath())) writeFile();
    return filePath();
}

bool openFile(CLorimar& lib) {
    const std::string& p = file();
    return lib.OpenMdfFile(p.data(), static_cast<int32_t>(p.size())) == MDF_OK;
}

// Description index of each channel number of the opened file (the file chains channels last to first).
std::vector<uint16_t> channelMap(const CLorimar& lib) {
    std::vector<uint16_t> map(kChannels, 0xFFFF);
    for (const tMDF_CN_INFO& cn : lib.GetMdfFileInfo().dataGroups.at(0).channelGroups.at(0).channels)
        if (cn.channelNumber < kChannels)
            map[cn.channelNumber] = static_cast<uint16_t>(std::stoi(cn.shortName.substr(2)));
    return map;
}

// The bits of a value: the checksum of a channel adds them up (modulo 2^64), exact and cheap.
uint64_t bitsOf(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Per channel number, the checksum of its physical values: what a correct read adds up to.
const std::vector<uint64_t>& expectedSums(const std::vector<uint16_t>& map) {
    static const std::vector<uint64_t> sums = [&] {
        std::vector<uint64_t> s(kChannels, 0);
        for (uint32_t r = 0; r < kRecords; ++r)
            for (uint16_t n = 0; n < kChannels; ++n) s[n] += bitsOf(physical(map[n], r));
        return s;
    }();
    return sums;
}

// Every value of every channel against what was written (once per process, untimed).
bool verifyEveryValue(benchmark::State& state) {
    static int verdict = -1;
    if (verdict < 0) {
        CLorimar lib;
        verdict = openFile(lib) ? 1 : 0;
        const std::vector<uint16_t> map = channelMap(lib);
        for (uint32_t r = 0; verdict && r < kRecords; ++r) {
            for (uint16_t n = 0; n < kChannels; ++n) {
                double v = 0;
                if (map[n] >= kChannels || lib.GetChannelPhyData(n, r, v) != MDF_OK ||
                    v != physical(map[n], r)) {
                    std::fprintf(stderr, "channel %u record %u reads %.17g, written %.17g\n", n, r, v,
                                 map[n] < kChannels ? physical(map[n], r) : 0.0);
                    verdict = 0;
                    break;
                }
            }
        }
    }
    if (!verdict) state.SkipWithError("values read differ from the values written");
    return verdict == 1;
}

// Drops the file's pages from the page cache (no privileges needed) and returns the share still resident.
double dropFromPageCache() {
    const int fd = ::open(file().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1.0;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    struct stat st {};
    double resident = 1.0;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        void* map = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
            const long page = ::sysconf(_SC_PAGESIZE);
            std::vector<unsigned char> in((static_cast<size_t>(st.st_size) + page - 1) / page);
            if (::mincore(map, static_cast<size_t>(st.st_size), in.data()) == 0)
                resident = static_cast<double>(
                               std::count_if(in.begin(), in.end(), [](unsigned char b) { return b & 1; })) /
                           static_cast<double>(in.size());
            ::munmap(map, static_cast<size_t>(st.st_size));
        }
    }
    ::close(fd);
    return resident;
}

double minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void BM_WriteChannels(benchmark::State& state) {
    for (auto _ : state) writeFile();
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(filePath()));
    state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_WriteChannels)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);

// Open, then every channel of every record as a physical value, record by record as a CSV export reads.
void readAllChannels(benchmark::State& state, bool cold) {
    if (!verifyEveryValue(state)) return;
    std::vector<uint16_t> map;
    {
        CLorimar lib;
        if (!openFile(lib)) std::abort();
        map = channelMap(lib);
    }
    const std::vector<uint64_t>& expected = expectedSums(map);
    double resident = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            resident = dropFromPageCache();
            state.ResumeTiming();
        }
        std::vector<uint64_t> sums(kChannels, 0);
        CLorimar lib;
        if (!openFile(lib)) std::abort();
        for (uint32_t r = 0; r < kRecords; ++r) {
            for (uint16_t c = 0; c < kChannels; ++c) {
                double v;
                lib.GetChannelPhyData(c, r, v);
                sums[c] += bitsOf(v);
            }
        }
        lib.CloseMdfFile();
        if (sums != expected)
            state.SkipWithError("checksums of the values read differ from the values written");
    }
    state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(file())) * state.iterations());
    state.counters["values_per_s"] = benchmark::Counter(static_cast<double>(kRecords) * kChannels,
                                                        benchmark::Counter::kIsIterationInvariantRate);
    if (cold) {
        state.counters["resident_after_drop_pct"] = 100.0 * resident;
        if (resident > 0.05) state.SetLabel("page cache NOT dropped: this machine keeps the file cached");
    }
}
void BM_ReadAllChannelsWarm(benchmark::State& state) {
    readAllChannels(state, false);
}
void BM_ReadAllChannelsCold(benchmark::State& state) {
    readAllChannels(state, true);
}
BENCHMARK(BM_ReadAllChannelsWarm)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadAllChannelsCold)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);

// Every channel through the bulk read, a run of records of every channel at a time (a CSV export in runs).
void BM_ReadAllChannelsBulkWarm(benchmark::State& state) {
    if (!verifyEveryValue(state)) return;
    std::vector<uint16_t> map;
    {
        CLorimar lib;
        if (!openFile(lib)) std::abort();
        map = channelMap(lib);
    }
    const std::vector<uint64_t>& expected = expectedSums(map);
    constexpr uint32_t kRun = 4096;
    std::vector<double> values(kRun);
    for (auto _ : state) {
        std::vector<uint64_t> sums(kChannels, 0);
        CLorimar lib;
        if (!openFile(lib)) std::abort();
        for (uint32_t first = 0; first < kRecords; first += kRun) {
            const uint32_t n = std::min(kRun, kRecords - first);
            for (uint16_t c = 0; c < kChannels; ++c) {
                if (lib.GetChannelPhyData(c, first, n, values.data()) != MDF_OK) std::abort();
                uint64_t sum = 0;
                for (uint32_t i = 0; i < n; ++i) sum += bitsOf(values[i]);
                sums[c] += sum;
            }
        }
        lib.CloseMdfFile();
        if (sums != expected)
            state.SkipWithError("checksums of the values read differ from the values written");
    }
    state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(file())) * state.iterations());
    state.counters["values_per_s"] = benchmark::Counter(static_cast<double>(kRecords) * kChannels,
                                                        benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadAllChannelsBulkWarm)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);

// The same channel by channel: each pass strides through the whole file.
void BM_ReadChannelByChannelWarm(benchmark::State& state) {
    if (!verifyEveryValue(state)) return;
    std::vector<uint16_t> map;
    {
        CLorimar lib;
        if (!openFile(lib)) std::abort();
        map = channelMap(lib);
    }
    const std::vector<uint64_t>& expected = expectedSums(map);
    for (auto _ : state) {
        std::vector<uint64_t> sums(kChannels, 0);
        CLorimar lib;
        if (!openFile(lib)) std::abort();
        for (uint16_t c = 0; c < kChannels; ++c) {
            uint64_t sum = 0;
            for (uint32_t r = 0; r < kRecords; ++r) {
                double v;
                lib.GetChannelPhyData(c, r, v);
                sum += bitsOf(v);
            }
            sums[c] = sum;
        }
        lib.CloseMdfFile();
        if (sums != expected)
            state.SkipWithError("checksums of the values read differ from the values written");
    }
    state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(file())) * state.iterations());
}
BENCHMARK(BM_ReadChannelByChannelWarm)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
