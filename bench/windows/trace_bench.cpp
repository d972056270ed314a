// The trace window's tick on the GUI thread: the list model taking the rows the trace ring gained (with
// its table view attached, so the view's bookkeeping is counted) and the tree following the live map.
//
// Figures: us_per_tick and ns_per_row for a tick of `new_rows` rows on a ring that is `held` full. The
// list's update grows with the rows a tick brings, not with the rows the ring holds.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "tests/windows/tracetest.h"
#include "windows/tracewnd.h"

namespace {

using Rig = tracetest::HubRig;

void BM_ListTick(benchmark::State& state) {
    const auto held = static_cast<uint32_t>(state.range(0));
    const auto fresh = static_cast<uint32_t>(state.range(1));
    double seconds = 0.0;
    for (auto _ : state) {
        // A list showing `held` rows, then a tick bringing `fresh` more (only the tick is timed).
        auto rig = std::make_unique<Rig>();
        CTraceListModel model(rig->cfg.Trace);
        CTraceListCtrl view;
        view.setModel(&model);
        view.resize(1200, 600);
        rig->Push(held, 16);
        {
            std::lock_guard<std::mutex> lock(rig->hub.TraceLock());
            model.Sync(rig->hub.TraceRing());
        }
        view.scrollToBottom();
        rig->Push(fresh, 16);
        const auto t0 = std::chrono::steady_clock::now();
        {
            std::lock_guard<std::mutex> lock(rig->hub.TraceLock());
            model.Sync(rig->hub.TraceRing());
        }
        view.scrollToBottom();  // lays the new rows out, as following the newest row does
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(s);
        seconds += s;
    }
    const double ticks = static_cast<double>(state.iterations());
    state.counters["us_per_tick"] = seconds / ticks * 1e6;
    state.counters["ns_per_row"] = seconds / (ticks * fresh) * 1e9;
}

void BM_TreeTick(benchmark::State& state) {
    const auto keys = static_cast<uint32_t>(state.range(0));
    Rig rig;
    CTraceTreeModel model(rig.cfg.Trace);
    CTraceTreeCtrl view;
    view.setModel(&model);
    rig.Push(keys * 2, keys);
    double seconds = 0.0;
    for (auto _ : state) {
        rig.Push(4200, keys);
        const auto t0 = std::chrono::steady_clock::now();
        {
            std::lock_guard<std::mutex> lock(rig.hub.TraceLock());
            model.Refresh(rig.hub.LiveTraceMap());
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(s);
        seconds += s;
    }
    state.counters["us_per_tick"] = seconds / static_cast<double>(state.iterations()) * 1e6;
}

}  // namespace

// Rows the list shows before the tick (20,000: the ring is full and every new row pushes one out), rows
// the tick brings: 4,200 is a 100 ms tick at the two-channel worst-case rate.
BENCHMARK(BM_ListTick)
    ->ArgNames({"held", "new_rows"})
    ->Args({1000, 10})
    ->Args({20000, 10})
    ->Args({1000, 4200})
    ->Args({20000, 100})
    ->Args({20000, 1000})
    ->Args({20000, 4200})
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TreeTick)->ArgName("keys")->Arg(16)->Arg(512)->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
