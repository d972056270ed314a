// The display and log filters run on every drained frame: pass decisions per second for the three
// identifier tests (target: far above 2 M frames/s per core).
#include <benchmark/benchmark.h>

#include <vector>

#include "config/filter/canmsgfilter.h"

namespace {

std::vector<uint32_t> frameIds() {
    std::vector<uint32_t> ids(4096);
    uint32_t x = 12345;
    for (auto& id : ids) id = (x = x * 1103515245u + 12345u) >> 21;  // 11-bit identifiers
    return ids;
}

void run(benchmark::State& state, const CCanMsgFilter& f) {
    const auto ids = frameIds();
    size_t i = 0, passed = 0;
    for (auto _ : state) {
        const uint32_t id = ids[i++ & 4095];
        passed += f.IsPass(id & 1, 0, id, static_cast<uint8_t>(id & 1));
    }
    benchmark::DoNotOptimize(passed);
    state.SetItemsProcessed(state.iterations());
}

void BM_FilterRange(benchmark::State& state) {
    CCanMsgFilter f;
    f.Enable = 1, f.MsgIdValType = 0, f.FltMsgIdMin = 0x100, f.FltMsgIdMax = 0x4FF;
    run(state, f);
}

void BM_FilterList64(benchmark::State& state) {
    CCanMsgFilter f;
    f.Enable = 1, f.MsgIdValType = 1;
    for (uint32_t id = 0; id < 64 * 32; id += 32) f.MsgMap[id] = {"", id};
    run(state, f);
}

void BM_FilterChannelAndType(benchmark::State& state) {
    CCanMsgFilter f;
    f.Enable = 1, f.Block = 1, f.Chan = 1, f.MsgIDType = 0;
    run(state, f);
}

}  // namespace

BENCHMARK(BM_FilterRange);
BENCHMARK(BM_FilterList64);
BENCHMARK(BM_FilterChannelAndType);
BENCHMARK_MAIN();
