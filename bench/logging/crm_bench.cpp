// ".crm" throughput on a disk-backed temporary folder, 10,000,000 records (250 MB):
// - writing through the log-file class and through the continuous logger (target >= 20 M records/s,
//   the file synced to disk by the atomic writer's commit, the logger's file closed);
// - reading every record with the cache dropped first (a file the user has not touched since it was
//   written), in this process and in a fresh one, and warm (target >= 20 M records/s); every record's
//   sequence number is checked;
// - opening and paging the file both ways from a dropped cache (target < 1 s);
// - loading a 20,000-frame replay page into the data hub (target < 10 ms), alone and with the hub's
//   drain of the page through the largest real database.
// Each runs several repetitions and prints p50 and p95.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/app/benchsetup.h"
#include "bench/logging/logbench.h"
#include "logging/canmsgbincrmfile.h"
#include "logging/canmsgdatalog.h"
#include "logging/canreplay.h"

namespace {

constexpr uint32_t kRecords = 10'000'000;

using logbench::P50;
using logbench::P95;
using logbench::Percentile;

const std::string& Folder() {
    return logbench::Folder("crmbench");
}

std::string FilePath() {
    return Folder() + "/bench.crm";
}

// Frame i: channel i % 2, sequence number in data bytes 0-3, 0.05 ms apart.
tCAN_RAW_MSG FrameOf(uint32_t i) {
    tCAN_RAW_MSG m;
    m.Id = 0x100 + (i & 0x3F);
    m.Chan = static_cast<uint8_t>(i & 1);
    m.Dlc = 8;
    std::memcpy(m.Data, &i, 4);
    m.TimeMs = i * 0.05;
    return m;
}

// Writes the file through the log-file class; the seconds of the writing and of the closing (which syncs
// the file to disk and renames it into place) into the two arguments when given.
void WriteFile(double* writing = nullptr, double* closing = nullptr) {
    CCanMsgBinCrmFile file;
    const auto t0 = std::chrono::steady_clock::now();
    if (!file.OpenWrite(FilePath())) std::abort();
    for (uint32_t i = 0; i < kRecords; ++i) file.WriteMsg(FrameOf(i));
    const auto t1 = std::chrono::steady_clock::now();
    if (!file.CloseWrite()) std::abort();
    const auto t2 = std::chrono::steady_clock::now();
    if (writing) *writing = std::chrono::duration<double>(t1 - t0).count();
    if (closing) *closing = std::chrono::duration<double>(t2 - t1).count();
}

void EnsureFile() {
    std::error_code ec;
    if (std::filesystem::file_size(FilePath(), ec) != uint64_t{kRecords} * kCrmRecordSize) WriteFile();
}

// Drops the file's pages from the page cache, so the next read comes from the disk.
void DropCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) std::abort();
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Opens and reads every record in chunks as a conversion reads it; false when a record is not the one
// written.
bool ReadAll(const std::string& path) {
    CCanMsgBinCrmFile file;
    uint32_t count = 0;
    double duration = 0;
    if (!file.OpenRead(path, count, duration) || count != kRecords) return false;
    static std::vector<tCAN_RAW_MSG> chunk(4096);
    for (uint32_t start = 0; start < count; start += 4096) {
        uint32_t n = 0;
        const uint32_t want = std::min<uint32_t>(4096, count - start);
        if (!file.ReadByIndex(start, want, chunk.data(), 4096, n) || n != want) return false;
        for (uint32_t k = 0; k < n; ++k) {
            uint32_t seq;
            std::memcpy(&seq, chunk[k].Data, 4);
            if (seq != start + k || chunk[k].Chan != ((start + k) & 1)) return false;
        }
    }
    file.CloseRead();
    return true;
}

// Records per second over the wall time of one pass (every benchmark here runs one pass a repetition).
void Rate(benchmark::State& state, double seconds) {
    state.counters["Mrecords_per_s"] = kRecords / seconds / 1e6;
}

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_WriteCrmFile(benchmark::State& state) {
    double writing = 0, closing = 0;
    for (auto _ : state) WriteFile(&writing, &closing);
    if (std::filesystem::file_size(FilePath()) != uint64_t{kRecords} * kCrmRecordSize)
        state.SkipWithError("file size wrong");
    Rate(state, writing + closing);
    state.counters["write_ms"] = writing * 1e3;
    state.counters["sync_rename_ms"] = closing * 1e3;
}

void BM_WriteContinuousLog(benchmark::State& state) {
    CInfoMsgRing info;
    CCanMsgDataLog log(info, Folder() + "/log");
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!log.Start("BENCH")) std::abort();
        for (uint32_t i = 0; i < kRecords; ++i) log.WriteMsg(FrameOf(i));
        log.Stop();
        seconds = Since(t0);
        state.PauseTiming();
        if (log.RecordsOnDisk() != kRecords || log.IsOpen()) state.SkipWithError("records lost");
        std::filesystem::remove(log.FileName());
        state.ResumeTiming();
    }
    Rate(state, seconds);
}

void BM_ReadCold(benchmark::State& state) {
    EnsureFile();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DropCache(FilePath());
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        if (!ReadAll(FilePath())) state.SkipWithError("wrong record");
        seconds = Since(t0);
    }
    Rate(state, seconds);
}

void BM_ReadWarm(benchmark::State& state) {
    EnsureFile();
    ReadAll(FilePath());
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!ReadAll(FilePath())) state.SkipWithError("wrong record");
        seconds = Since(t0);
    }
    Rate(state, seconds);
}

std::string g_self;

// A fresh process reads the cold file: the time the child measured around opening and reading.
void BM_ReadColdFreshProcess(benchmark::State& state) {
    EnsureFile();
    for (auto _ : state) {
        DropCache(FilePath());
        FILE* child = ::popen((g_self + " --read-once " + FilePath()).c_str(), "r");
        double seconds = -1;
        if (child == nullptr || std::fscanf(child, "%lf", &seconds) != 1 || ::pclose(child) != 0 ||
            seconds < 0) {
            state.SkipWithError("child failed");
            break;
        }
        state.SetIterationTime(seconds);
        Rate(state, seconds);
    }
}

// Open, page by time (1 s pages) and by count (2,000 frames a page), and look up the last page each way.
void BM_OpenAndPageCold(benchmark::State& state) {
    EnsureFile();
    for (auto _ : state) {
        state.PauseTiming();
        DropCache(FilePath());
        state.ResumeTiming();
        CCanReplay replay;
        uint32_t count = 0, pages = 0;
        double duration = 0;
        tREPLAY_PAGE_INFO last;
        bool ok = replay.Open(FilePath(), count, duration);
        replay.PageByTime(0.0, 1000.0, pages);
        ok = ok && pages == static_cast<uint32_t>(std::ceil(duration / 1000.0)) &&
             replay.FindPage(pages - 1, last) && last.LastIndex == kRecords - 1;
        replay.PageByIndex(0, 2000, pages);
        ok = ok && pages == kRecords / 2000 && replay.FindPage(pages - 1, last) &&
             last.LastIndex == kRecords - 1;
        if (!ok) state.SkipWithError("pages wrong");
    }
}

// A 20,000-frame page into the hub, pages alternating so every load pushes; with `drain`, the main frame's
// tick then takes the page through the realistic database (128 messages of 8 signals covering half of the
// identifiers, some graphed: samples, trace, log filter).
void LoadPage(benchmark::State& state, bool drain) {
    EnsureFile();
    hubbench::HubRig rig;  // the realistic database, used when the page is drained
    CCanReplay replay;
    uint32_t count = 0, pages = 0;
    double duration = 0;
    if (!replay.Open(FilePath(), count, duration)) std::abort();
    replay.PageByIndex(0, 19'999, pages);  // a page's last frame is the next one's first: 20,000 frames
    replay.SetHub(&rig.hub);
    rig.hub.Reset();
    int32_t page = 0;
    for (auto _ : state) {
        page = (page + 1) % 100;
        replay.LoadPage(page);
        if (replay.HasPending() || rig.hub.Queue().Count() != 20'000) state.SkipWithError("page not loaded");
        if (drain) {
            rig.hub.ProcessRxQueue();
            rig.PopSamples();
        }
    }
}

void BM_LoadPage20k(benchmark::State& state) {
    LoadPage(state, false);
}
void BM_LoadAndDrainPage20k(benchmark::State& state) {
    LoadPage(state, true);
}

// Every benchmark runs 7 repetitions and reports their p50 and p95 (wall time, the child's own measure
// for the fresh process).
void Stats(benchmark::internal::Benchmark* b) {
    b->Repetitions(7)
        ->ComputeStatistics("p50", P50)
        ->ComputeStatistics("p95", P95)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_WriteCrmFile)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_WriteContinuousLog)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_ReadCold)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_ReadColdFreshProcess)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime()
    ->Apply(Stats);

BENCHMARK(BM_ReadWarm)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_OpenAndPageCold)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_LoadPage20k)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Apply(Stats);
BENCHMARK(BM_LoadAndDrainPage20k)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Apply(Stats);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read-once") == 0) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = ReadAll(argv[2]);
        std::printf("%.9f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        return ok ? 0 : 1;
    }
    g_self = std::filesystem::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
