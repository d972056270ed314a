// J1939 reassembly as the receive thread drives it: 10,000 BAM transfers of DM1 messages with 10 codes
// (42 bytes, 6 packets) from 32 nodes on two channels, each frame through the service's receive hook with
// its lock. Figures: the time for the 10,000 transfers, p50 and p95 over rounds (target below 10 ms), and
// the messages completed per round (checked: a fast wrong answer fails).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "app/canmsgsender.h"
#include "app/canrxthread.h"
#include "bench/services/percentile.h"
#include "services/j1939dmx.h"

namespace {

constexpr int kTransfers = 10'000;

std::vector<tCAN_RAW_MSG> Frames() {
    tCFG_SET_EXT_J1939DMX_SERVICE set;
    tEXT_J1939DMX_TX_DATA tx;
    std::vector<tCAN_RAW_MSG> out;
    for (int t = 0; t < kTransfers; ++t) {
        set.PgnSa = static_cast<uint8_t>(t % 32);
        set.TxCanChan = static_cast<uint8_t>((t / 32) % 2);
        set.LampStatus = static_cast<uint8_t>(t);
        BuildJ1939DmxTxData(set, 3, std::vector<tJ1939_DTC>(10, {static_cast<uint32_t>(t), 5, 0, 1}), tx);
        for (const tCAN_RAW_MSG& m : J1939DmxTxFrames(tx)) out.push_back(m);
    }
    return out;
}

void BM_J1939Reassemble10kBam(benchmark::State& state) {
    const std::vector<tCAN_RAW_MSG> frames = Frames();
    CCanRxThread rx;
    CCanMsgSender sender(rx);
    CExtSerCanJ1939DMx svc(sender);
    std::vector<double> roundsMs;
    for (auto _ : state) {
        svc.ClearNodes();
        const auto t0 = std::chrono::steady_clock::now();
        for (const tCAN_RAW_MSG& m : frames) svc.OnRxMsg(&m);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        roundsMs.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    J1939DmxNodeMap nodes;
    svc.GetNodeMap(nodes);
    size_t complete = 0;
    for (const auto& [key, node] : nodes)
        for (const auto& [pgn, msg] : node.Messages) complete += msg.BytesReceived == 42 ? 1 : 0;
    if (nodes.size() != 64 || complete != 64) state.SkipWithError("transfers not reassembled");
    state.counters["frames"] = static_cast<double>(frames.size());
    state.counters["ms_p50"] = svcbench::Percentile(roundsMs, 50);
    state.counters["ms_p95"] = svcbench::Percentile(roundsMs, 95);
}

}  // namespace

BENCHMARK(BM_J1939Reassemble10kBam)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
