#pragma once
// Shared set-up of the hub benchmarks: a configuration whose database defines half of the identifiers
// on the bus, eight signals per message, a few messages graphed with all their signals, both filters on;
// a logger that only counts; frames cycling over the identifiers; a count of heap allocations; and the
// percentiles the benchmarks print.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/canmsgdatahub.h"
#include "app/canmsglogsink.h"
#include "config/appcfg.h"

namespace hubbench {

// Identifiers on the bus: 0x100 ... 0x100 + kIds - 1, standard; the database defines every other one.
inline constexpr uint32_t kIds = 256;
inline constexpr uint32_t kSignalsPerMessage = 8;
// Every kGraphEvery-th message of the database is graphed with all its signals.
inline constexpr uint32_t kGraphEvery = 16;

// Heap allocations made while counting was on: on the threads that asked for it, or on every thread but
// the emulated bus's (which stands in for hardware).
extern std::atomic<uint64_t> g_allocations;
void CountAllocationsOnThisThread(bool on);
void CountAllocationsOnAllThreads(bool on);

// Fills cfg with the database, the graph and both filters.
void SetUpRealisticConfig(CAppCfg& cfg);
// `count` frames cycling over the identifiers, alternating channels, with varying data.
std::vector<tCAN_RAW_MSG> MakeFrames(uint32_t count);

// Pushes a block into the frame queue as the receive thread does.
template <class Queue>
void PushBlock(Queue& queue, const tCAN_RAW_MSG* frames, uint32_t count) {
    if constexpr (requires { queue.PushMany(frames, count); }) {
        queue.PushMany(frames, count);
    } else {
        for (uint32_t i = 0; i < count; ++i) queue.Push(frames[i]);
    }
}

// Sets counters name_p50, name_p95 and name_max (or name_min with lowIsWorse) of the samples.
void ReportPercentiles(benchmark::State& state, const std::string& name, std::vector<double> samples,
                       bool lowIsWorse = false);

class CountingSink final : public ICanMsgLogSink {
public:
    bool Start(const std::string&) override { return m_open = true; }
    void WriteMsg(const tCAN_RAW_MSG&) override {
        m_written.fetch_add(m_open ? 1 : 0, std::memory_order_relaxed);
    }
    void Stop() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    uint64_t Written() const { return m_written.load(std::memory_order_relaxed); }

private:
    bool m_open = false;
    std::atomic<uint64_t> m_written{0};
};

// The realistic configuration with a hub over it, logging every frame that passes the log filter into a
// counting logger.
struct HubRig {
    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub{cfg, info};
    CountingSink sink;
    tCAN_SIG_SAMPLE_DATA sample;

    HubRig();
    // Takes every sample out, as the graph does on its tick; returns how many.
    uint64_t PopSamples();
};

}  // namespace hubbench
