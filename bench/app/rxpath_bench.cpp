// The whole receive path: peer -> emulated two-channel interface -> driver -> plug-in -> receive thread
// -> frame queue -> drain (with the largest real database, graph and filters as in the drain benchmark),
// the drain running every millisecond on this thread as the main frame's tick would.
//
// Figures: frames_per_s end to end; rx_ns_per_frame and drain_ns_per_frame, the CPU time of the receive
// thread and of the draining thread per frame (the emulation stands in for hardware and is not counted);
// path_core_percent, their sum as a share of one core; lost, frames that did not reach the drain.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "app/canmsgdatahub.h"
#include "app/canrxthread.h"
#include "bench/app/benchsetup.h"
#include "platform/deviceport/emupeer.h"

using namespace hubbench;
using namespace vex::emu;

namespace {

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

void RxPath(benchmark::State& state, Pace pace, uint32_t perChannel) {
    peer::Reset();
    HubRig rig;
    std::string why;
    if (!rig.SetUp(why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    CAppCfg& cfg = rig.cfg;
    CCanMsgDataHub& hub = rig.hub;
    const CountingSink& sink = rig.sink;
    cfg.Log.Filter.Enable = 0;  // count every frame at the logger
    for (size_t i = 0; i < 3; ++i) {
        cfg.CanDev[i].Active = i == CAppCfg::kDevNxp;
        cfg.CanDev[i].CHAN0.Baudrate = cfg.CanDev[i].CHAN1.Baudrate = 1000;
    }
    CCanRxThread rx;
    rx.SetHub(&hub);
    if (rx.Start(cfg.GetSelectedDevice()) != CCanRxThread::StartResult::Ok) {
        state.SkipWithError("device did not open");
        return;
    }
    double seconds = 0;
    int64_t rxNs = 0, drainNs = 0;
    uint64_t allocations = 0;
    for (auto _ : state) {
        const uint64_t logged0 = sink.Written();
        const int64_t rx0 = ThreadCpuNs("vex-rx"), self0 = ThisThreadCpuNs();
        const auto t0 = std::chrono::steady_clock::now();
        for (int seg = 0; seg < 2; ++seg) peer::SendBurst(seg, perChannel, Shortest, pace);
        const auto deadline = t0 + std::chrono::seconds(60);
        CountAllocationsOnThisThread(true);
        const uint64_t a0 = g_allocations;
        while (sink.Written() - logged0 < 2ull * perChannel && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            hub.ProcessRxQueue();
            rig.PopSamples();
        }
        allocations += g_allocations - a0;
        CountAllocationsOnThisThread(false);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        seconds += s;
        rxNs += ThreadCpuNs("vex-rx") - rx0;
        drainNs += ThisThreadCpuNs() - self0;
        state.SetIterationTime(s);
        peer::WaitIdle(1000);
    }
    rx.Stop();
    const double frames = static_cast<double>(sink.Written());
    const double sent = 2.0 * perChannel * static_cast<double>(state.iterations());
    state.SetItemsProcessed(static_cast<int64_t>(frames));
    state.counters["frames_per_s"] = frames / seconds;
    state.counters["rx_ns_per_frame"] = static_cast<double>(rxNs) / frames;
    state.counters["drain_ns_per_frame"] = static_cast<double>(drainNs) / frames;
    state.counters["path_core_percent"] = 100.0 * static_cast<double>(rxNs + drainNs) / (seconds * 1e9);
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / frames;
    state.counters["lost"] = sent - frames;
}

// As fast as the chain goes (bus time runs ahead of the clock).
void BM_RxPathFast(benchmark::State& s) {
    RxPath(s, Pace::Fast, 200'000);
}
// Two channels at the worst-case real bus rate (1 Mbit/s, shortest frames) for two seconds.
void BM_RxPathBusRate(benchmark::State& s) {
    RxPath(s, Pace::BusRate, 42'000);
}

}  // namespace

BENCHMARK(BM_RxPathFast)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RxPathBusRate)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
