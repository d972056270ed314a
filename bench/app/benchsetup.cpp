#include "bench/app/benchsetup.h"

#include <cstdlib>
#include <filesystem>
#include <new>

#include "candb/dbcfile.h"

namespace hubbench {

std::atomic<uint64_t> g_allocations{0};
namespace {
thread_local bool t_counting = false;
}
void CountAllocationsOnThisThread(bool on) {
    t_counting = on;
}

bool SetUpRealisticConfig(CAppCfg& cfg, std::string& why) {
    const std::filesystem::path dbc =
        std::filesystem::path(VEX_TESTDATA_DIR) / "dbc" / "ford_lincoln_base_pt.dbc";
    if (!std::filesystem::exists(dbc)) {
        why = "real-world test data not present: " + dbc.string();
        return false;
    }
    tDBC_IMPORT import;
    if (ParseDbcFile(import, dbc.string()) != kDbcOk) {
        why = "cannot import " + dbc.string();
        return false;
    }
    tCFG_CAN_DATABASE db;
    db.Name = import.Name;
    db.PriorityLevel = 0;
    db.Database = std::move(import.Database);
    cfg.CanDatabases = {std::move(db)};

    // Two signals of each of the first four messages that have them: eight curves.
    uint32_t graphed = 0;
    for (const CCanMsg& m : cfg.CanDatabases[0].Database.Messages) {
        if (graphed == 4) break;
        if (m.Signals.size() < 2) continue;
        tCFG_SET_GRAPH_MSG g;
        g.MsgAppId = MsgKey(m.id, m.Ext);
        for (size_t i = 0; i < 2; ++i) {
            tCFG_SET_GRAPH_SIG s;
            s.CanSig = m.Signals[i];
            g.SigArray.push_back(s);
        }
        cfg.Graph.MsgMap[g.MsgAppId] = g;
        ++graphed;
    }
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
    return true;
}

bool HubRig::SetUp(std::string& why) {
    if (!SetUpRealisticConfig(cfg, why)) return false;
    sink.Start("");
    hub.SetLogSink(&sink);
    hub.Reset();
    return true;
}

void HubRig::PopSamples() {
    double sum = 0;
    while (hub.SampleFifo().Pop(sample)) sum += sample.PhyValue;
    volatile double keep = sum;
    (void)keep;
}

std::vector<tCAN_RAW_MSG> MakeFrames(const CAppCfg& cfg, uint32_t count) {
    const auto& msgs = cfg.CanDatabases.at(0).Database.Messages;
    std::vector<tCAN_RAW_MSG> frames(count);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (uint32_t i = 0; i < count; ++i) {
        const CCanMsg& m = msgs[i % msgs.size()];
        tCAN_RAW_MSG& f = frames[i];
        f.Id = m.id;
        f.Ext = m.Ext;
        f.Chan = static_cast<uint8_t>(i & 1);
        f.Dlc = 8;
        f.TimeMs = i * 0.05;
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        for (int b = 0; b < 8; ++b) f.Data[b] = static_cast<uint8_t>(x >> (8 * b));
    }
    return frames;
}

}  // namespace hubbench

void* operator new(std::size_t n) {
    if (hubbench::t_counting) hubbench::g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
