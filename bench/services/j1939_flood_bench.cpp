// A long flood of random J1939 transport traffic through the DMx service's receive hook, paced at the
// worst-case rate of two busy channels (42,000 frames/s, blocks of up to 1024 frames as the receive thread
// hands them on), for VEX_FLOOD_SECONDS seconds (60 by default). Every transfer has a random source address
// and channel, a random size up to the transport protocol's 1785 bytes (so about two in five are refused)
// and a DMx or random PGN with a random data-page byte; single-frame DM1s come between.
//
// Figures, sampled every second: the process's resident memory and the service's info messages (the
// reporter's calls). Both must stay flat after the first seconds: the run fails with more than one message
// per node or with memory still growing in its second half. Printed per second on stderr, and as counters
// at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/canmsgsender.h"
#include "app/canrxthread.h"
#include "bench/services/j1939flood.h"
#include "services/j1939dmx.h"

using floodbench::J1939Traffic;
using floodbench::ResidentMb;

namespace {

constexpr int kFramesPerSecond = 42'000;
constexpr int kTickMs = 10;

void BM_J1939RandomFlood(benchmark::State& state) {
    const int seconds = floodbench::FloodSeconds();
    CCanRxThread rx;
    CCanMsgSender sender(rx);
    CExtSerCanJ1939DMx svc(sender);
    std::atomic<uint64_t> reports{0};
    svc.SetReporter([&reports](const std::string&) { ++reports; });
    J1939Traffic traffic(1939);
    std::vector<tCAN_RAW_MSG> pending;
    std::vector<double> rss, infos;
    uint64_t frames = 0;
    for (auto _ : state) {
        svc.StartRefusalReports();
        const auto start = std::chrono::steady_clock::now();
        auto tick = start;
        for (int s = 0; s < seconds; ++s) {
            for (int t = 0; t < 1000 / kTickMs; ++t) {
                while (pending.size() < static_cast<size_t>(kFramesPerSecond * kTickMs / 1000))
                    traffic.Next(pending);
                const size_t n = kFramesPerSecond * kTickMs / 1000;
                for (size_t i = 0; i < n; i += 1024)
                    for (size_t k = i; k < std::min(n, i + 1024); ++k) svc.OnRxMsg(&pending[k]);
                pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(n));
                frames += n;
                tick += std::chrono::milliseconds(kTickMs);
                std::this_thread::sleep_until(tick);
            }
            rss.push_back(ResidentMb());
            infos.push_back(static_cast<double>(reports.load()));
            std::fprintf(stderr, "%3d s: %8.1f MB resident, %6llu info messages, %llu frames\n", s + 1,
                         rss.back(), static_cast<unsigned long long>(reports.load()),
                         static_cast<unsigned long long>(frames));
        }
        svc.EndRefusalReports();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    J1939DmxNodeMap nodes;
    svc.GetNodeMap(nodes);
    size_t transfers = 0, messages = 0;
    for (const auto& [key, node] : nodes) {
        transfers += node.Transfers.size();
        messages += node.Messages.size();
    }
    const size_t half = rss.size() / 2;
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["nodes"] = static_cast<double>(nodes.size());
    state.counters["transfers_kept"] = static_cast<double>(transfers);
    state.counters["messages_kept"] = static_cast<double>(messages);
    state.counters["rss_mb_5s"] = rss[std::min<size_t>(4, rss.size() - 1)];
    state.counters["rss_mb_half"] = rss[half];
    state.counters["rss_mb_end"] = rss.back();
    state.counters["infos_5s"] = infos[std::min<size_t>(4, infos.size() - 1)];
    state.counters["infos_half"] = infos[half];
    state.counters["infos_end"] = infos.back();
    state.counters["infos_after_stop"] = static_cast<double>(reports.load());
    // Flat: at most one message per node (two channels of 256 addresses) and the summary, and the memory of
    // the second half no more than the first half reached (a megabyte of allocator slack).
    if (reports.load() > 2 * 256 + 1) state.SkipWithError("more than one info message per node");
    if (floodbench::SecondHalfGrowthMb(rss) > 1.0)
        state.SkipWithError("resident memory still grows in the second half");
}

}  // namespace

BENCHMARK(BM_J1939RandomFlood)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
