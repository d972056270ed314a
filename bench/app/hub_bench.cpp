// The frame queue and the data hub's drain on one core, as the receive thread and the main frame's tick
// use them: blocks of 1,024 frames pushed into the queue, then one drain through samples, the display
// filter, the trace ring and maps, and the log filter to a counting logger. The database defines half of
// the identifiers with eight signals each; one message in sixteen is graphed with all eight, so about 3 %
// of the frames are decoded into samples. The graph's popping of the samples is not timed.
//
// Figures: ns_per_frame p50/p95/max over the iterations (push and drain of 20,000 frames each),
// frames_per_s at the median, allocs_per_frame once the stores are warm, cold_pass_allocs of the first
// pass (the trace map's keys and the FIFO's first slots), samples_per_frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "app/canmsgdatahub.h"
#include "bench/app/benchsetup.h"

using namespace hubbench;

namespace {

constexpr uint32_t kBlock = 1024;

void PushAndDrain(HubRig& rig, const std::vector<tCAN_RAW_MSG>& frames) {
    for (size_t i = 0; i < frames.size(); i += kBlock) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(kBlock, frames.size() - i));
        PushBlock(rig.hub.Queue(), frames.data() + i, n);
    }
    rig.hub.ProcessRxQueue();
}

void BM_PushAndDrain(benchmark::State& state) {
    HubRig rig;
    CCanMsgDataHub& hub = rig.hub;
    const auto frames = MakeFrames(20000);

    CountAllocationsOnThisThread(true);
    const uint64_t cold0 = g_allocations;
    PushAndDrain(rig, frames);
    const uint64_t cold = g_allocations - cold0;
    CountAllocationsOnThisThread(false);
    rig.PopSamples();

    uint64_t drained = 0, allocations = 0, samples = 0;
    std::vector<double> nsPerFrame;
    for (auto _ : state) {
        CountAllocationsOnThisThread(true);
        const uint64_t a0 = g_allocations;
        const auto t0 = std::chrono::steady_clock::now();
        PushAndDrain(rig, frames);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        allocations += g_allocations - a0;
        CountAllocationsOnThisThread(false);
        samples += rig.PopSamples();
        drained += frames.size();
        nsPerFrame.push_back(s * 1e9 / static_cast<double>(frames.size()));
        state.SetIterationTime(s);
    }
    if (hub.Queue().TakeDropped() != 0) state.SkipWithError("the queue dropped frames");
    state.SetItemsProcessed(static_cast<int64_t>(drained));
    ReportPercentiles(state, "ns_per_frame", nsPerFrame);
    state.counters["frames_per_s"] = 1e9 / state.counters["ns_per_frame_p50"];
    state.counters["allocs_per_frame"] = static_cast<double>(allocations) / static_cast<double>(drained);
    state.counters["cold_pass_allocs"] = static_cast<double>(cold);
    state.counters["samples_per_frame"] = static_cast<double>(samples) / static_cast<double>(drained);
    state.counters["messages"] = static_cast<double>(hub.GlobalMsgMap().size());
}

}  // namespace

BENCHMARK(BM_PushAndDrain)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);
