// The whole receive path: peer -> emulated two-channel interface -> its driver library -> plug-in -> the
// program's receive thread -> frame queue -> drain (the hub rig of the drain benchmark), the drain running
// every 10 ms on this thread as the main frame's tick does.
//
// Fast: frames of the rig's identifiers with eight data bytes, as fast as the chain takes them, in rounds
// of 10,000 per channel (the queue holds 20,240, so a drain that a busy machine holds up loses nothing);
// 200,000 per channel an iteration. BusRate: two channels at the worst-case real rate (1 Mbit/s, shortest
// frames) for two seconds.
//
// Figures, p50/p95 over the iterations: path_ns_per_frame, the CPU time of the receive thread and of the
// draining thread per frame (the emulation stands in for hardware and is not counted), and
// frames_per_core_s from its median, with the receive thread's and the drain's shares (rx_ns_per_frame,
// drain_ns_per_frame, over all iterations); frames_per_s end to end (wall clock); path_core_percent;
// allocs_per_frame of the receive thread and the drain (the emulation's own are not counted). A lost frame
// (dropped by the queue or by the interface) fails the run at once with the count; so does a run that stops
// making progress.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/canmsgdatahub.h"
#include "app/canrxthread.h"
#include "bench/app/benchsetup.h"
#include "platform/deviceport/emupeer.h"

using namespace hubbench;
using namespace vex::emu;

namespace {

constexpr uint32_t kRound = 10'000;  // frames per channel between two waits for the drain
constexpr auto kStall = std::chrono::seconds(5);
constexpr auto kTick = std::chrono::milliseconds(10);  // the main frame's timer

int64_t ThreadCpuNs(const std::string& name) {
    int64_t total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm"), stat(task.path() / "schedstat");
        std::string n;
        int64_t ns = 0;
        if (std::getline(comm, n) && n == name && (stat >> ns)) total += ns;
    }
    return total;
}

int64_t ThisThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

Frame Shortest(uint32_t) {
    Frame f;
    f.id = 0x555;  // no stuff bits: the most frames a second a segment carries
    return f;
}

struct Source {
    std::vector<Frame> frames;  // Fast: the rig's frames; empty: the shortest frame
    Frame operator()(uint32_t i) const { return frames.empty() ? Shortest(i) : frames[i % frames.size()]; }
};

Source RealisticFrames() {
    Source s;
    for (const tCAN_RAW_MSG& m : MakeFrames(kIds * 7)) {
        Frame f;
        f.id = m.Id;
        f.dlc = m.Dlc;
        std::copy(std::begin(m.Data), std::end(m.Data), f.data.begin());
        s.frames.push_back(f);
    }
    return s;
}

// Drains until `want` frames have been logged. False, with `error` set, on a lost frame or a stall.
bool DrainUntil(HubRig& rig, uint64_t want, uint64_t& queueLost, std::string& error) {
    uint64_t last = rig.sink.Written();
    auto progress = std::chrono::steady_clock::now();
    while (rig.sink.Written() < want) {
        std::this_thread::sleep_for(kTick);
        queueLost += rig.hub.Queue().TakeDropped();  // before the drain, which would take them for its report
        rig.hub.ProcessRxQueue();
        rig.PopSamples();
        const uint64_t lost = queueLost + peer::DroppedFrames(Interface::TwoChannel);
        if (lost != 0) {
            error = std::to_string(lost) + " frames lost";
            return false;
        }
        const uint64_t now = rig.sink.Written();
        if (now != last) {
            last = now;
            progress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - progress > kStall) {
            error = "stalled: " + std::to_string(want - now) + " frames did not arrive";
            return false;
        }
    }
    return true;
}

void RxPath(benchmark::State& state, Pace pace, uint32_t perChannel) {
    peer::Reset();
    HubRig rig;
    CAppCfg& cfg = rig.cfg;
    cfg.Log.Filter.Enable = 0;  // count every frame at the logger
    for (size_t i = 0; i < 3; ++i) {
        cfg.CanDev[i].Active = i == CAppCfg::kDevNxp;
        cfg.CanDev[i].CHAN0.Baudrate = cfg.CanDev[i].CHAN1.Baudrate = 1000;
    }
    const Source source = pace == Pace::Fast ? RealisticFrames() : Source{};
    std::string error;
    CCanRxThread rx;
    rx.SetHub(&rig.hub);
    if (rx.Start(cfg.GetSelectedDevice()) != CCanRxThread::StartResult::Ok) {
        state.SkipWithError("device did not open");
        return;
    }
    const uint32_t round = pace == Pace::Fast ? kRound : perChannel;
    {
        // Warm-up, as a program that has been online a while: the stores' slots and the trace map's keys
        // are made once, on first use.
        uint64_t warmLost = 0;
        bool warm = true;
        for (uint64_t r = 1; warm && r <= 2; ++r) {  // the queue's and the trace ring's every slot
            for (int seg = 0; seg < 2; ++seg) peer::SendBurst(seg, kRound, source, Pace::Fast);
            warm = DrainUntil(rig, 2 * kRound * r, warmLost, error);
        }
        if (!warm) {
            state.SkipWithError(error.c_str());
            rx.Stop();
            peer::Reset();
            return;
        }
        peer::WaitIdle(1000);
    }
    uint64_t frames = 0, allocations = 0, lost = 0;
    int64_t pathNs = 0, rxNs = 0;
    double seconds = 0;
    std::vector<double> nsPerFrame, framesPerS;
    for (auto _ : state) {
        const uint64_t logged0 = rig.sink.Written();
        const int64_t rx0 = ThreadCpuNs("vex-rx"), self0 = ThisThreadCpuNs();
        const auto t0 = std::chrono::steady_clock::now();
        CountAllocationsOnAllThreads(true);
        const uint64_t a0 = g_allocations;
        bool ok = true;
        for (uint32_t sent = 0; ok && sent < perChannel; sent += round) {
            const uint32_t n = std::min(round, perChannel - sent);
            CountAllocationsOnAllThreads(false);  // the peer's bookkeeping is the emulation's
            for (int seg = 0; seg < 2; ++seg) {
                peer::SendBurst(
                    seg, n, [&source, sent](uint32_t i) { return source(sent + i); }, pace);
            }
            CountAllocationsOnAllThreads(true);
            ok = DrainUntil(rig, logged0 + 2ull * (sent + n), lost, error);
        }
        allocations += g_allocations - a0;
        CountAllocationsOnAllThreads(false);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const int64_t rxThread = ThreadCpuNs("vex-rx") - rx0;
        const int64_t ns = rxThread + ThisThreadCpuNs() - self0;
        if (!ok) {
            state.SkipWithError(error.c_str());
            break;
        }
        const uint64_t n = rig.sink.Written() - logged0;
        frames += n;
        pathNs += ns;
        rxNs += rxThread;
        seconds += s;
        nsPerFrame.push_back(static_cast<double>(ns) / static_cast<double>(n));
        framesPerS.push_back(static_cast<double>(n) / s);
        state.SetIterationTime(s);
        peer::WaitIdle(1000);
    }
    rx.Stop();
    state.counters["lost"] = static_cast<double>(lost + peer::DroppedFrames(Interface::TwoChannel));
    peer::Reset();  // a burst cut short by a failure refers to this function's source
    if (frames == 0) return;
    state.SetItemsProcessed(static_cast<int64_t>(frames));
    ReportPercentiles(state, "path_ns_per_frame", nsPerFrame);
    state.counters["frames_per_core_s"] = 1e9 / state.counters["path_ns_per_frame_p50"];
    ReportPercentiles(state, "frames_per_s", framesPerS, true);
    state.counters["rx_ns_per_frame"] = static_cast<double>(rxNs) / static_cast<double>(frames);
    state.counters["drain_ns_per_frame"] = static_cast<double>(pathNs - rxNs) / static_cast<double>(frames);
    state.counters["path_core_percent"] = 100.0 * static_cast<double>(pathNs) / (seconds * 1e9);
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / static_cast<double>(frames);
}

void BM_RxPathFast(benchmark::State& s) {
    RxPath(s, Pace::Fast, 200'000);
}
void BM_RxPathBusRate(benchmark::State& s) {
    RxPath(s, Pace::BusRate, 42'000);
}

}  // namespace

BENCHMARK(BM_RxPathFast)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RxPathBusRate)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
