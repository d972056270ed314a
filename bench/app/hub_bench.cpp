// The data hub's drain on one core: frames of the largest real database through samples (eight graphed
// signals), the display filter, the trace ring and maps, and the log filter to a counting logger. The
// queue is filled outside the timed part; the graph's popping of the samples is not timed either.
//
// Figures: frames_per_s of ProcessRxQueue, allocs_per_frame once the stores are warm, and the
// allocations of the first (cold) pass, which fill the trace map's keys and the FIFO's first slots.
#include <benchmark/benchmark.h>

#include <chrono>

#include "app/canmsgdatahub.h"
#include "bench/app/benchsetup.h"

using namespace hubbench;

namespace {

void BM_DrainRealDatabase(benchmark::State& state) {
    HubRig rig;
    std::string why;
    if (!rig.SetUp(why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    CCanMsgDataHub& hub = rig.hub;
    const auto frames = MakeFrames(rig.cfg, 20000);
    auto fill = [&] {
        for (const auto& f : frames) hub.Queue().Push(f);
    };

    fill();
    CountAllocationsOnThisThread(true);
    const uint64_t cold0 = g_allocations;
    hub.ProcessRxQueue();
    const uint64_t cold = g_allocations - cold0;
    CountAllocationsOnThisThread(false);
    rig.PopSamples();

    uint64_t drained = 0, allocations = 0;
    double seconds = 0;
    for (auto _ : state) {
        fill();
        CountAllocationsOnThisThread(true);
        const uint64_t a0 = g_allocations;
        const auto t0 = std::chrono::steady_clock::now();
        hub.ProcessRxQueue();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        allocations += g_allocations - a0;
        CountAllocationsOnThisThread(false);
        rig.PopSamples();
        seconds += s;
        drained += frames.size();
        state.SetIterationTime(s);
    }
    state.SetItemsProcessed(static_cast<int64_t>(drained));
    state.counters["frames_per_s"] = static_cast<double>(drained) / seconds;
    state.counters["ns_per_frame"] = seconds * 1e9 / static_cast<double>(drained);
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / static_cast<double>(drained);
    state.counters["cold_pass_allocs"] = static_cast<double>(cold);
    state.counters["messages"] = static_cast<double>(hub.GlobalMsgMap().size());
    state.counters["logged"] = static_cast<double>(rig.sink.Written());
}

}  // namespace

BENCHMARK(BM_DrainRealDatabase)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);
