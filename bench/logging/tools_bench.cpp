// The log tools as a user meets them, on a disk-backed temporary folder, input dropped from the page cache
// before each run:
// - conversion of 5,000,000 frames: ".crm" to text (target >= 5 M frames/s), text to ".crm" (>= 2 M
//   lines/s), ".crm" to MDF log and back (>= 2 M frames/s); the first two also in a fresh process;
// - export of 16 signals of 4 messages from a 5,000,000-frame ".crm" log (>= 1 M frames/s);
// - a measurement file of 10 channels x 1,000,000 records to CSV on a 1 ms grid (>= 1 M cells/s);
// - the progress dialog over a conversion: its refreshes per second (at most 20).
// Every result is read back afterwards (untimed) and checked frame by frame or value by value, so a fast
// wrong answer fails. Each runs several repetitions and prints p50 and p95 of the wall time.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/logging/logbench.h"
#include "logging/canmsgbincrmfile.h"
#include "logging/logcvtjob.h"
#include "logging/mdftocsv.h"
#include "logging/sigmdfexport.h"
#include "ui/logging/logcvtdlg.h"

namespace {

constexpr uint32_t kFrames = 5'000'000;
constexpr uint32_t kCsvRecords = 1'000'000;
constexpr int kCsvChannels = 10;

using logbench::P50;
using logbench::P95;
using logbench::Percentile;

const std::string& Folder() {
    return logbench::Folder("toolsbench");
}

std::string In(const char* name) {
    return Folder() + "/" + name;
}

// Frame i: identifier cycling over 8 values (4 of them exported), two channels, sequence number in data
// bytes 0-3, 0.05 ms apart.
tCAN_RAW_MSG FrameOf(uint32_t i) {
    tCAN_RAW_MSG m;
    m.Id = 0x100 + (i & 7);
    m.Chan = static_cast<uint8_t>(1 + (i & 1));
    m.Dlc = 8;
    std::memset(m.Data, 0, 8);
    std::memcpy(m.Data, &i, 4);
    m.Data[4] = static_cast<uint8_t>(i * 7);
    m.TimeMs = i * 0.05;
    return m;
}

void DropCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void EnsureCrm() {
    std::error_code ec;
    if (std::filesystem::file_size(In("src.crm"), ec) == uint64_t{kFrames} * kCrmRecordSize) return;
    CCanMsgBinCrmFile file;
    if (!file.OpenWrite(In("src.crm"))) std::abort();
    for (uint32_t i = 0; i < kFrames; ++i) file.WriteMsg(FrameOf(i));
    if (!file.CloseWrite()) std::abort();
}

bool Convert(const std::string& source, const std::string& target) {
    CLogCvtJob job(source, LowerExtension(source), target, LowerExtension(target));
    job.Start();
    job.Join();
    return job.Succeeded();
}

// Every frame of a log is the one FrameOf made (time to the format's precision).
bool CheckLog(const std::string& path) {
    std::unique_ptr<CCanMsgFile> file = MakeLogFile(LowerExtension(path));
    uint32_t count = 0;
    double duration = 0;
    if (!file->OpenRead(path, count, duration) || count != kFrames) return false;
    std::vector<tCAN_RAW_MSG> chunk(4096);
    for (uint32_t start = 0; start < count; start += 4096) {
        uint32_t n = 0;
        const uint32_t want = std::min<uint32_t>(4096, count - start);
        if (!file->ReadByIndex(start, want, chunk.data(), 4096, n) || n != want) return false;
        for (uint32_t k = 0; k < n; ++k) {
            const tCAN_RAW_MSG expect = FrameOf(start + k);
            const tCAN_RAW_MSG& got = chunk[k];
            if (got.Id != expect.Id || got.Chan != expect.Chan || got.Dlc != expect.Dlc ||
                std::memcmp(got.Data, expect.Data, 8) != 0 || std::fabs(got.TimeMs - expect.TimeMs) > 0.011)
                return false;
        }
    }
    return true;
}

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// One conversion a repetition, its input cold; the output checked afterwards.
void ConvertBench(benchmark::State& state, const char* source, const char* target) {
    EnsureCrm();
    if (std::string(source) != "src.crm" && !std::filesystem::exists(In(source)) &&
        !Convert(In("src.crm"), In(source)))
        std::abort();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DropCache(In(source));
        std::filesystem::remove(In(target));
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = Convert(In(source), In(target));
        seconds = Since(t0);
        state.PauseTiming();
        if (!ok || !CheckLog(In(target))) state.SkipWithError("conversion wrong");
        state.ResumeTiming();
    }
    state.counters["Mframes_per_s"] = kFrames / seconds / 1e6;
}

void BM_CrmToTxt(benchmark::State& state) {
    ConvertBench(state, "src.crm", "out.txt");
}
void BM_TxtToCrm(benchmark::State& state) {
    ConvertBench(state, "src.txt", "out.crm");
}
void BM_CrmToMdfLog(benchmark::State& state) {
    ConvertBench(state, "src.crm", "out.log");
}
void BM_MdfLogToCrm(benchmark::State& state) {
    ConvertBench(state, "src.log", "back.crm");
}

std::string g_self;

// A fresh process converts a cold file: the time the child measured around the conversion.
void FreshBench(benchmark::State& state, const char* source, const char* target) {
    EnsureCrm();
    if (std::string(source) != "src.crm" && !std::filesystem::exists(In(source)) &&
        !Convert(In("src.crm"), In(source)))
        std::abort();
    for (auto _ : state) {
        DropCache(In(source));
        std::filesystem::remove(In(target));
        FILE* child = ::popen((g_self + " --convert-once " + In(source) + " " + In(target)).c_str(), "r");
        double seconds = -1;
        if (child == nullptr || std::fscanf(child, "%lf", &seconds) != 1 || ::pclose(child) != 0 ||
            seconds < 0 || !CheckLog(In(target))) {
            state.SkipWithError("child failed");
            break;
        }
        state.SetIterationTime(seconds);
        state.counters["Mframes_per_s"] = kFrames / seconds / 1e6;
    }
}

void BM_CrmToTxtFreshProcess(benchmark::State& state) {
    FreshBench(state, "src.crm", "fresh.txt");
}
void BM_TxtToCrmFreshProcess(benchmark::State& state) {
    FreshBench(state, "src.txt", "fresh.crm");
}

// 4 exported messages (0x100..0x103) of 4 signals each; the others (0x104..0x107) are not exported.
std::vector<tEXPORT_MSG> ExportList() {
    std::vector<tEXPORT_MSG> list;
    for (uint32_t m = 0; m < 4; ++m) {
        tEXPORT_MSG& msg = list.emplace_back();
        msg.MsgKey = 0x100 + m;
        for (int s = 0; s < 4; ++s) {
            tEXPORT_SIG& sig = msg.Sigs.emplace_back();
            sig.Name = "S" + std::to_string(m) + "_" + std::to_string(s);
            sig.Signal.Name = sig.Name;
            sig.Signal.BitOffset = static_cast<uint8_t>(8 * s);
            sig.Signal.BitLen = s == 3 ? 16 : 8;
            sig.Signal.ByteFmtIntel = 1;
            sig.Signal.Sign = s == 2;
            sig.Signal.ValFactor = 0.5;
        }
    }
    return list;
}

void BM_SignalExport(benchmark::State& state) {
    EnsureCrm();
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DropCache(In("src.crm"));
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        CCanMsgBinCrmFile log;
        uint32_t count = 0;
        double duration = 0;
        bool ok = log.OpenRead(In("src.crm"), count, duration);
        CSigMdfExportJob job(log, count, ExportList(), In("export.mdf"));
        job.Start();
        job.Join();
        ok = ok && job.Succeeded();
        seconds = Since(t0);
        state.PauseTiming();
        // Each exported message has a record per frame, its first signal the frame's low byte x 0.5.
        CLorimar mdf;
        const std::string out = In("export.mdf");
        ok = ok && mdf.OpenMdfFile(out.data(), static_cast<int32_t>(out.size())) == MDF_OK;
        for (const tMDF_DG_INFO& dg : ok ? mdf.GetMdfFileInfo().dataGroups : std::vector<tMDF_DG_INFO>{}) {
            const tMDF_CG_INFO& cg = dg.channelGroups[0];
            ok = ok && cg.recordCount == kFrames / 8;
            for (const tMDF_CN_INFO& cn : cg.channels) {
                if (cn.shortName.size() < 4 || cn.shortName.substr(2) != "_0") continue;
                const uint32_t m = static_cast<uint32_t>(cn.shortName[1] - '0');
                std::vector<double> v(cg.recordCount);
                ok = ok && mdf.GetChannelPhyData(static_cast<uint16_t>(cn.channelNumber), 0, cg.recordCount,
                                                 v.data()) == MDF_OK;
                for (uint32_t r = 0; ok && r < cg.recordCount; r += 997)
                    ok = v[r] == static_cast<uint8_t>(8 * r + m) * 0.5;
            }
        }
        if (!ok || mdf.GetMdfFileInfo().dataGroups.size() != 4) state.SkipWithError("export wrong");
        state.ResumeTiming();
    }
    state.counters["Mframes_per_s"] = kFrames / seconds / 1e6;
}

void EnsureMdf() {
    if (std::filesystem::exists(In("csv.mdf"))) return;
    tMDF_FILE desc;
    desc.formatId = "3.00";
    desc.programId = "bench";
    desc.date = "01:01:2024";
    desc.time = "00:00:00";
    tMDF_CG_INFO& cg = desc.dataGroups.emplace_back().channelGroups.emplace_back();
    tMDF_CN_INFO& time = cg.channels.emplace_back();
    time.channelType = 1;
    time.shortName = "t";
    time.bitCount = 64;
    time.dataType = MDF_DOUBLE;
    for (int c = 0; c < kCsvChannels; ++c) {
        tMDF_CN_INFO& cn = cg.channels.emplace_back();
        cn.shortName = "c" + std::to_string(c);
        cn.bitCount = 16;
        cn.convPresent = 1;
        cn.convType = MDF_CONV_LINEAR;
        cn.params[1] = 0.25;
    }
    CLorimar mdf;
    if (mdf.CreateMdfFile(desc) != MDF_OK) std::abort();
    for (uint32_t r = 0; r < kCsvRecords; ++r) {
        const uint8_t slot = static_cast<uint8_t>(r);
        mdf.InputSamplingData(0, slot, r * 0.001);
        for (int c = 0; c < kCsvChannels; ++c)
            mdf.InputSamplingData(static_cast<uint16_t>(1 + c), slot, (r + c) & 0xFFFFu);
    }
    const std::string path = In("csv.mdf");
    if (mdf.SaveMdfFile(path.data(), static_cast<int32_t>(path.size())) != MDF_OK) std::abort();
}

void BM_MdfToCsv(benchmark::State& state) {
    EnsureMdf();
    double seconds = 0;
    uint64_t cells = 0;
    for (auto _ : state) {
        state.PauseTiming();
        DropCache(In("csv.mdf"));
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        CLorimar mdf;
        const std::string path = In("csv.mdf");
        bool ok = mdf.OpenMdfFile(path.data(), static_cast<int32_t>(path.size())) == MDF_OK;
        MdfCsvListing listing = ListMdfCsvChannels(mdf);
        std::sort(listing.Items.begin(), listing.Items.end(), [](const auto& a, const auto& b) {
            return a.Name.size() < b.Name.size() || (a.Name.size() == b.Name.size() && a.Name < b.Name);
        });
        MdfToCsvRequest req{In("out.csv"), true, 0.0, (kCsvRecords - 2) * 0.001, 0.001, "s", listing.Items};
        CMdfToCsvJob job(mdf, req);
        job.Start();
        job.Join();
        ok = ok && job.Succeeded();
        seconds = Since(t0);
        cells = job.Lines() * kCsvChannels;
        state.PauseTiming();
        // Line k holds the record in force at k ms: record k (the grid meets every record's time but the
        // last one's).
        FILE* csv = std::fopen(In("out.csv").c_str(), "rb");
        std::string text;
        if (csv) {
            char buf[1 << 16];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, csv)) > 0) text.append(buf, n);
            std::fclose(csv);
        }
        size_t lines = 0, at = 0;
        for (size_t next; ok && (next = text.find('\r', at)) != std::string::npos; at = next + 1, ++lines) {
            if (lines < 2 || (lines - 2) % 1009 != 0) continue;
            const uint32_t k = static_cast<uint32_t>(lines - 2);
            char expect[64];
            std::snprintf(expect, sizeof expect, "%0.6f,%0.6f,", k * 0.001, ((k + 0) & 0xFFFF) * 0.25);
            ok = text.compare(at, std::strlen(expect), expect) == 0;
        }
        if (!ok || lines != kCsvRecords + 1) state.SkipWithError("csv wrong");
        state.ResumeTiming();
    }
    state.counters["Mcells_per_s"] = cells / seconds / 1e6;
}

// The progress dialog over a ".crm" to MDF-log conversion: its field refreshes per second.
void BM_ProgressRefreshRate(benchmark::State& state) {
    EnsureCrm();
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        CTkCanMsgLogFileCvtProgressDlg dlg(In("src.crm"), "crm", In("dlg.log"), "log");
        dlg.exec();
        const double seconds = Since(t0);
        if (!dlg.Done()) state.SkipWithError("conversion failed");
        state.counters["refreshes_per_s"] = dlg.Refreshes() / seconds;
        if (dlg.Refreshes() / seconds > 20.0) state.SkipWithError("more than 20 refreshes a second");
    }
}

void Stats(benchmark::internal::Benchmark* b) {
    b->Repetitions(5)
        ->ComputeStatistics("p50", P50)
        ->ComputeStatistics("p95", P95)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_CrmToTxt)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_CrmToTxtFreshProcess)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Apply(Stats);
BENCHMARK(BM_TxtToCrm)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_TxtToCrmFreshProcess)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Apply(Stats);
BENCHMARK(BM_CrmToMdfLog)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_MdfLogToCrm)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_SignalExport)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_MdfToCsv)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Apply(Stats);
BENCHMARK(BM_ProgressRefreshRate)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--convert-once") == 0) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = Convert(argv[2], argv[3]);
        std::printf("%.9f\n", Since(t0));
        return ok ? 0 : 1;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    g_self = std::filesystem::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
