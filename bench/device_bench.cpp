// The receive path of both device kinds: peer -> emulated interface -> driver library -> plug-in Read
// into the caller's array, as the program's receive thread runs it.
//
// Figures per run: frames/s through the whole chain; path_ns_per_frame, the CPU time the path itself spends
// per frame (the driver's receive thread and the reading thread; the emulation stands in for hardware and
// is not counted); path_core_percent at real bus rate, that CPU time as a share of one core. A frame lost at
// the interface fails the run at once with the count.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/deviceport/emupeer.h"
#include "plugins/cf51/parvel.h"
#include "plugins/nxp/morvan.h"

using namespace vex::emu;

namespace {

// CPU nanoseconds of this process's threads by name.
std::map<std::string, int64_t> ThreadCpuNs() {
    std::map<std::string, int64_t> out;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm"), stat(task.path() / "schedstat");
        std::string name;
        int64_t ns = 0;
        if (std::getline(comm, name) && (stat >> ns)) out[name] += ns;
    }
    return out;
}

int64_t ThisThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

Frame Fastest(uint32_t seq) {
    Frame f;
    f.id = 0x555;  // no stuff bits: 48 bits with the intermission, 20,833 frames/s at 1 Mbit/s
    (void)seq;
    return f;
}

struct Result {
    double seconds = 0;
    int64_t frames = 0;
    int64_t pathNs = 0;
    uint64_t lost = 0;
    bool stalled = false;
};

// Sends `perChannel` frames on each of `channels` segments and reads them through the device.
Result Run(CCanDevice& dev, int channels, uint32_t perChannel, Pace pace) {
    std::vector<tCAN_RAW_MSG> buf(CCanDevice::kReadMaxFrames);
    const int64_t want = static_cast<int64_t>(channels) * perChannel;
    const auto cpu0 = ThreadCpuNs();
    const int64_t self0 = ThisThreadCpuNs();
    const auto t0 = std::chrono::steady_clock::now();
    for (int c = 0; c < channels; ++c) peer::SendBurst(channels == 1 ? 1 : c, perChannel, Fastest, pace);
    Result r;
    auto progress = t0;
    while (r.frames < want) {
        dev.m_RcvEvent.Wait(50);
        int32_t n = 0;
        dev.Read(buf.data(), static_cast<int32_t>(buf.size()), n);
        r.frames += n;
        benchmark::DoNotOptimize(buf.data());
        // A lost frame ends the run at once with its count, and so does a run that stops making progress.
        r.lost = peer::DroppedFrames(Interface::Cf51) + peer::DroppedFrames(Interface::TwoChannel);
        if (r.lost != 0) break;
        const auto now = std::chrono::steady_clock::now();
        if (n > 0) {
            progress = now;
        } else if (now - progress > std::chrono::seconds(5)) {
            r.stalled = true;
            break;
        }
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const auto cpu1 = ThreadCpuNs();
    r.pathNs = ThisThreadCpuNs() - self0;
    for (const char* name : {"vyk7k-read", "vyk7k-write"}) {
        const auto a = cpu0.find(name), b = cpu1.find(name);
        if (a != cpu0.end() && b != cpu1.end()) r.pathNs += b->second - a->second;
    }
    return r;
}

template <class Device>
void ReadPath(benchmark::State& state, int channels, Pace pace, uint32_t perChannel) {
    peer::Reset();
    Device dev;
    dev.m_ChanCfg[0] = {1000, 0, 0};
    dev.m_ChanCfg[1] = {1000, 0, 0};
    if (dev.DeviceOpen() != 0 || dev.BusOpen() != 0) {
        state.SkipWithError("device did not open");
        return;
    }
    Result total;
    for (auto _ : state) {
        const Result r = Run(dev, channels, perChannel, pace);
        if (r.lost != 0 || r.stalled) {
            const std::string why = r.lost != 0
                                        ? std::to_string(r.lost) + " frames lost"
                                        : "stalled: " + std::to_string(channels * perChannel - r.frames) +
                                              " frames did not arrive";
            state.SkipWithError(why.c_str());
            break;
        }
        total.seconds += r.seconds;
        total.frames += r.frames;
        total.pathNs += r.pathNs;
        state.SetIterationTime(r.seconds);
    }
    dev.BusClose();
    dev.DeviceClose();
    peer::Reset();
    if (total.frames == 0) return;
    state.SetItemsProcessed(total.frames);
    state.counters["frames_per_s"] = static_cast<double>(total.frames) / total.seconds;
    state.counters["path_ns_per_frame"] =
        static_cast<double>(total.pathNs) / static_cast<double>(total.frames);
    state.counters["path_core_percent"] = 100.0 * static_cast<double>(total.pathNs) / (total.seconds * 1e9);
    state.counters["lost"] =
        static_cast<double>(static_cast<int64_t>(state.iterations()) * channels * perChannel - total.frames);
}

// As fast as the chain goes: bus time runs ahead of the clock.
void BM_Cf51ReadPathFast(benchmark::State& s) {
    ReadPath<CCanDeviceVykCf51>(s, 1, Pace::Fast, 200'000);
}
void BM_NxpReadPathFast(benchmark::State& s) {
    ReadPath<CCanDeviceVykNxp>(s, 2, Pace::Fast, 200'000);
}
// At the real worst-case bus rate (1 Mbit/s, shortest frames) for two seconds.
void BM_Cf51ReadPathBusRate(benchmark::State& s) {
    ReadPath<CCanDeviceVykCf51>(s, 1, Pace::BusRate, 42'000);
}
void BM_NxpReadPathBusRate(benchmark::State& s) {
    ReadPath<CCanDeviceVykNxp>(s, 2, Pace::BusRate, 42'000);
}

}  // namespace

BENCHMARK(BM_Cf51ReadPathFast)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NxpReadPathFast)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cf51ReadPathBusRate)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NxpReadPathBusRate)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
