#include "bench/app/benchsetup.h"

#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string_view>

namespace hubbench {

std::atomic<uint64_t> g_allocations{0};
namespace {
thread_local bool t_counting = false;
std::atomic<bool> g_countingAll{false};

// Eight signals over the eight data bytes in the layouts a real database mixes: Intel and Motorola,
// signed, scaled with an offset, and a value table.
CCanMsg MakeMessage(uint32_t id, uint32_t n) {
    CCanMsg m;
    m.Name = "MSG_" + std::to_string(n);
    m.id = id;
    m.DL = 8;
    for (uint32_t i = 0; i < kSignalsPerMessage; ++i) {
        CCanSignal& s = m.Signals.emplace_back();
        s.Name = m.Name + "_SIG" + std::to_string(i);
        s.BitLen = 8;
        s.ByteFmtIntel = i % 2 == 0 ? 1 : 0;
        s.BitOffset = static_cast<uint8_t>(s.ByteFmtIntel ? 8 * i : 8 * i + 7);  // byte i either way
        s.Sign = i == 1 ? 1 : 0;
        s.ValFactor = i % 3 == 0 ? 0.25 : 1.0;
        s.ValOffset = i == 3 ? -40.0 : 0.0;
        s.PhyMax = 255;
        if (i == 7) {
            s.Enum = 1;
            for (int v = 0; v < 4; ++v) s.SigEnum.Items.push_back({"STATE_" + std::to_string(v), v});
        }
    }
    return m;
}

}  // namespace

void CountAllocationsOnThisThread(bool on) {
    t_counting = on;
}

void CountAllocationsOnAllThreads(bool on) {
    g_countingAll = on;
}

void SetUpRealisticConfig(CAppCfg& cfg) {
    tCFG_CAN_DATABASE db;
    db.Name = "bench";
    db.PriorityLevel = 0;
    for (uint32_t n = 0; n < kIds / 2; ++n) {
        db.Database.Messages.push_back(MakeMessage(0x100 + 2 * n, n));
        if (n % kGraphEvery != 0) continue;
        const CCanMsg& m = db.Database.Messages.back();
        tCFG_SET_GRAPH_MSG g;
        g.MsgAppId = MsgKey(m.id, m.Ext);
        for (const CCanSignal& sig : m.Signals) {
            tCFG_SET_GRAPH_SIG s;
            s.CanSig = sig;
            g.SigArray.push_back(s);
        }
        cfg.Graph.MsgMap[g.MsgAppId] = g;
    }
    cfg.CanDatabases = {std::move(db)};
    // Display: everything but a few listed identifiers; log: standard identifiers in a range.
    CCanMsgFilter& display = cfg.Trace.Filter;
    display.Enable = 1;
    display.Block = 1;
    display.MsgIdValType = 1;
    for (uint32_t id : {0x7E0u, 0x7E8u, 0x7DFu, 0x100u, 0x101u}) display.MsgMap[id] = {"", id};
    CCanMsgFilter& log = cfg.Log.Filter;
    log.Enable = 1;
    log.Block = 0;
    log.MsgIDType = 0;
    log.MsgIdValType = 0;
    log.FltMsgIdMin = 0;
    log.FltMsgIdMax = 0x7FF;
}

std::vector<tCAN_RAW_MSG> MakeFrames(uint32_t count) {
    std::vector<tCAN_RAW_MSG> frames(count);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (uint32_t i = 0; i < count; ++i) {
        tCAN_RAW_MSG& f = frames[i];
        f.Id = 0x100 + i % kIds;
        f.Ext = 0;
        f.Chan = static_cast<uint8_t>(i & 1);
        f.Dlc = 8;
        f.TimeMs = i * 0.05;
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        for (int b = 0; b < 8; ++b) f.Data[b] = static_cast<uint8_t>(x >> (8 * b));
    }
    return frames;
}

void ReportPercentiles(benchmark::State& state, const std::string& name, std::vector<double> samples,
                       bool lowIsWorse) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        const size_t i = static_cast<size_t>(q * static_cast<double>(samples.size() - 1) + 0.5);
        return samples[std::min(i, samples.size() - 1)];
    };
    // For a rate the bad tail is the low end: its "p95" is the value 95 % of the runs reach.
    state.counters[name + "_p50"] = at(0.5);
    state.counters[name + "_p95"] = lowIsWorse ? at(0.05) : at(0.95);
    state.counters[name + (lowIsWorse ? "_min" : "_max")] = lowIsWorse ? samples.front() : samples.back();
}

HubRig::HubRig() {
    SetUpRealisticConfig(cfg);
    sink.Start("");
    hub.SetLogSink(&sink);
    hub.Reset();
}

uint64_t HubRig::PopSamples() {
    uint64_t n = 0;
    double sum = 0;
    while (hub.SampleFifo().Pop(sample)) {
        sum += sample.PhyValue;
        ++n;
    }
    benchmark::DoNotOptimize(sum);
    return n;
}

}  // namespace hubbench

namespace hubbench {
namespace {
// The emulated bus's scheduler stands in for hardware: its allocations are not the program's.
bool IsEmulationThread() {
    thread_local int kind = 0;  // 0 not looked at yet, 1 the emulation, 2 another thread
    if (kind == 0) {
        char name[32] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        kind = std::string_view(name) == "vex-emu-bus" ? 1 : 2;
    }
    return kind == 1;
}
}  // namespace
}  // namespace hubbench

void* operator new(std::size_t n) {
    if (hubbench::t_counting ||
        (hubbench::g_countingAll.load(std::memory_order_relaxed) && !hubbench::IsEmulationThread())) {
        hubbench::g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
