// The trace window's tick as the user meets it: the window shown at 1400x900 with the largest real
// database loaded, the trace ring full and 42,000 frames a second arriving on two channels (4,200 new
// rows per 100 ms tick, identifiers cycling over the database's messages, so the tree decodes signals).
// A tick is the view's timer pass plus every paint it causes, until the event loop has nothing left to
// paint; the frames themselves are recorded between ticks, untimed, as the main frame's drain would.
//
// After every tick the figures are checked: the list shows the ring's newest row, the tree one node
// per trace key (at most 512), and the shown body painted. A run that fails a check stops with an error.
//
// Figures per body: p50, p95, p99 and max of the tick in milliseconds over all repetitions (each
// repetition is a fresh window and hub), the p95 of each repetition, and the median count of heap
// allocations a tick makes. Bodies: the list following the newest row; the tree with its message nodes
// closed; the tree with every node open (signal rows).
//
// The flood: random 29-bit extended identifiers at the full rate of two channels at 1 Mbit/s (16,000
// frames a second, 1,600 per tick, alternating channels), the tree shown, for VEX_TRACE_FLOOD_MINUTES
// (10 by default) minutes of frame time, the ticks run back to back. Figures: the process's resident
// memory at 10 s, 1, 2, 5 and 10 minutes of frame time (it must stay flat once the per-identifier map is
// full), the keys the map holds, the tick's p50/p95/max, and the recording's nanoseconds and heap
// allocations per frame after the first 10 s. After every tick the tree's nodes are checked as above;
// VEX_TRACE_SHOTS takes a picture of the window at the end.
//
// VEX_TESTDATA_DIR in the environment points at the test data when the checkout has none beside it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QHeaderView>
#include <QObject>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

#include "app/canmsgdatahub.h"
#include "bench/services/j1939flood.h"
#include "candb/dbcfile.h"
#include "config/appcfg.h"
#include "windows/tracewnd.h"

namespace {

// Heap allocations while counting is on (the tick runs on this thread; the others are idle).
std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_allocations{0};

constexpr int kWidth = 1400;
constexpr int kHeight = 900;
constexpr uint32_t kFramesPerTick = 4200;  // 42,000 frames/s, one tick every 100 ms
constexpr int kTicksPerRepetition = 40;
constexpr int kRepetitions = 5;

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

struct Database {
    std::string why;
    tCFG_CAN_DATABASE db;
    bool ok = false;
};

const Database& LargestDatabase() {
    static const Database loaded = [] {
        Database d;
        const char* dir = std::getenv("VEX_TESTDATA_DIR");
        const std::filesystem::path dbc =
            std::filesystem::path(dir != nullptr && *dir != '\0' ? dir : VEX_TESTDATA_DIR) / "dbc" /
            "ford_lincoln_base_pt.dbc";
        tDBC_IMPORT import;
        if (!std::filesystem::exists(dbc)) {
            d.why = "real-world test data not present: " + dbc.string();
        } else if (ParseDbcFile(import, dbc.string()) != kDbcOk) {
            d.why = "cannot import " + dbc.string();
        } else {
            d.db.Name = import.Name;
            d.db.Database = std::move(import.Database);
            d.ok = true;
        }
        return d;
    }();
    return loaded;
}

enum class Body { List, Tree, TreeOpen };

struct Rig {
    CAppCfg cfg;
    CInfoMsgRing info;
    std::unique_ptr<CCanMsgDataHub> hub;
    std::unique_ptr<CTraceWnd> wnd;
    PaintCounter counter;
    uint32_t sent = 0;
    uint64_t allocations = 0;  // by the last tick
    uint64_t noise = 0x9E3779B97F4A7C15ull;
    std::vector<tCAN_RAW_MSG> pattern;  // one frame per message of the database

    explicit Rig(Body body) {
        cfg.CanDatabases = {LargestDatabase().db};
        hub = std::make_unique<CCanMsgDataHub>(cfg, info);
        hub->Reset();
        for (const CCanMsg& m : cfg.CanDatabases[0].Database.Messages) {
            tCAN_RAW_MSG f;
            f.Id = m.id;
            f.Ext = m.Ext;
            f.Dlc = 8;
            pattern.push_back(f);
        }
        cfg.Trace.TraceDetail = body == Body::List ? 0 : 1;
        wnd = std::make_unique<CTraceWnd>(*hub, cfg.Trace);
        wnd->view()->timer()->stop();  // the bench runs the timer's pass itself
        wnd->resize(kWidth, kHeight);
        wnd->show();
        QWidget* shown = body == Body::List ? static_cast<QWidget*>(wnd->view()->list()->viewport())
                                            : wnd->view()->tree()->viewport();
        shown->installEventFilter(&counter);
        QApplication::processEvents();
    }

    // n frames at 42,000 a second, alternating between the two channels, the messages in turn, data
    // changing from frame to frame.
    void Send(uint32_t n) {
        for (uint32_t i = 0; i < n; ++i, ++sent) {
            tCAN_RAW_MSG f = pattern[sent % pattern.size()];
            f.Chan = static_cast<uint8_t>(sent & 1u);
            f.TimeMs = sent / 42.0;
            noise ^= noise << 13, noise ^= noise >> 7, noise ^= noise << 17;
            for (int b = 0; b < 8; ++b) f.Data[b] = static_cast<uint8_t>(noise >> (8 * b));
            hub->AddToTraceMap(f);
        }
    }

    // n frames of the flood: a random extended identifier each, at 16,000 a second, alternating between
    // the two channels.
    void Flood(uint32_t n) {
        for (uint32_t i = 0; i < n; ++i, ++sent) {
            noise ^= noise << 13, noise ^= noise >> 7, noise ^= noise << 17;
            tCAN_RAW_MSG f;
            f.Id = static_cast<uint32_t>(noise) & 0x1FFFFFFFu;
            f.Ext = 1;
            f.Chan = static_cast<uint8_t>(sent & 1u);
            f.Dlc = 8;
            f.TimeMs = sent / 16.0;
            for (int b = 0; b < 8; ++b) f.Data[b] = static_cast<uint8_t>(noise >> (8 * b + 3));
            hub->AddToTraceMap(f);
        }
    }

    // One timer pass and the paints it causes; milliseconds, and whether the shown body painted.
    double Tick(bool& painted) {
        const int before = counter.paints;
        const uint64_t allocated = g_allocations.load();
        g_counting = true;
        QElapsedTimer clock;
        clock.start();
        wnd->view()->OnTimer();
        // Delayed layouts run from zero-time timers and may ask for another paint: go on until a pass of
        // the event loop paints nothing more.
        for (int pass = 0; pass < 8; ++pass) {
            const int paints = counter.paints;
            QApplication::sendPostedEvents();
            QApplication::processEvents();
            if (counter.paints == paints && pass > 0) break;
        }
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        g_counting = false;
        allocations = g_allocations.load() - allocated;
        painted = counter.paints > before;
        return ms;
    }

    // What the user should see after a tick; empty when it is so.
    std::string Check(Body body) {
        std::lock_guard<std::mutex> lock(hub->TraceLock());
        const CCanMsgTraceRing& ring = hub->TraceRing();
        if (body == Body::List) {
            const CTraceListModel& list = *wnd->view()->listModel();
            if (list.rowCount() != static_cast<int>(CCanMsgTraceRing::kCapacity)) return "list not full";
            if (list.Row(list.rowCount() - 1).SeqNo != ring.SeqCounter()) return "list behind the ring";
            CTraceListCtrl* view = wnd->view()->list();
            const QRect last = view->visualRect(list.index(list.rowCount() - 1, 0));
            if (!view->viewport()->rect().intersects(last)) return "newest row not in view";
            return {};
        }
        const CTraceTreeModel& tree = *wnd->view()->treeModel();
        const size_t keys = hub->LiveTraceMap().size();
        if (tree.rowCount() != static_cast<int>(std::min<size_t>(keys, CTraceTreeModel::kMaxNodes)))
            return "tree nodes differ from the trace keys";
        for (int r = 0; r < tree.rowCount(); r += 37) {
            const auto it = hub->LiveTraceMap().find(tree.NodeKey(r));
            if (it == hub->LiveTraceMap().end() || it->second.TimeMs != tree.NodeRow(r).TimeMs)
                return "tree node not the newest frame of its key";
        }
        return {};
    }
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t at = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(v.size() - 1, at)];
}

void BM_TraceTick(benchmark::State& state, Body body) {
    if (!LargestDatabase().ok) {
        state.SkipWithError(LargestDatabase().why.c_str());
        return;
    }
    std::vector<double> all, repetitionP95, allocations;
    for (auto _ : state) {
        std::vector<double> ticks;
        {
            Rig rig(body);
            // The ring full, the tree with its nodes (opened when asked), settled before timing.
            rig.Send(CCanMsgTraceRing::kCapacity + kFramesPerTick);
            bool painted = false;
            rig.Tick(painted);
            if (body == Body::TreeOpen) {
                rig.wnd->view()->tree()->expandAll();
                QApplication::processEvents();
            }
            for (int t = 0; t < 2; ++t) {
                rig.Send(kFramesPerTick);
                rig.Tick(painted);
            }
            for (int t = 0; t < kTicksPerRepetition; ++t) {
                rig.Send(kFramesPerTick);
                const double ms = rig.Tick(painted);
                const std::string fault = painted ? rig.Check(body) : "the shown body did not paint";
                if (!fault.empty()) {
                    state.SkipWithError(fault.c_str());
                    return;
                }
                ticks.push_back(ms);
                allocations.push_back(static_cast<double>(rig.allocations));
            }
            // VEX_TRACE_SHOTS names a folder for a picture of the window after the first repetition.
            const char* shots = std::getenv("VEX_TRACE_SHOTS");
            if (shots != nullptr && *shots != '\0' && repetitionP95.empty()) {
                const char* file = body == Body::List   ? "/bench-list.png"
                                   : body == Body::Tree ? "/bench-tree.png"
                                                        : "/bench-tree-open.png";
                rig.wnd->grab().save(QString::fromLocal8Bit(shots) + QLatin1String(file));
            }
        }
        state.SetIterationTime(std::accumulate(ticks.begin(), ticks.end(), 0.0) / 1e3);
        repetitionP95.push_back(Percentile(ticks, 0.95));
        all.insert(all.end(), ticks.begin(), ticks.end());
    }
    state.counters["p50_ms"] = Percentile(all, 0.50);
    state.counters["p95_ms"] = Percentile(all, 0.95);
    state.counters["p99_ms"] = Percentile(all, 0.99);
    state.counters["max_ms"] = Percentile(all, 1.0);
    std::string each;
    for (double p : repetitionP95) each += (each.empty() ? "" : " ") + std::to_string(p).substr(0, 5);
    state.counters["allocs_per_tick"] = Percentile(allocations, 0.5);
    const char* name = body == Body::List ? "list" : body == Body::Tree ? "tree" : "tree, nodes open";
    std::printf(
        "[ figures ] %s: %zu ticks over %zu repetitions: p50 %.2f ms, p95 %.2f ms, p99 %.2f ms, "
        "max %.2f ms; p95 of each repetition: %s; heap allocations per tick (median): %.0f\n",
        name, all.size(), repetitionP95.size(), Percentile(all, 0.50), Percentile(all, 0.95),
        Percentile(all, 0.99), Percentile(all, 1.0), each.c_str(), Percentile(allocations, 0.5));
    std::fflush(stdout);
}

void BM_TraceFlood(benchmark::State& state) {
    if (!LargestDatabase().ok) {
        state.SkipWithError(LargestDatabase().why.c_str());
        return;
    }
    constexpr uint32_t kFloodPerTick = 1600;  // 16,000 frames a second
    const char* env = std::getenv("VEX_TRACE_FLOOD_MINUTES");
    const int minutes = env != nullptr && *env != '\0' ? std::max(1, std::atoi(env)) : 10;
    const int ticks = minutes * 600;
    std::vector<std::pair<int, double>> resident;  // tick, MB
    std::vector<double> all;
    double recordNs = 0;
    uint64_t recordFrames = 0, recordAllocations = 0;
    size_t keys = 0;
    for (auto _ : state) {
        Rig rig(Body::Tree);
        bool painted = false;
        for (int t = 1; t <= ticks; ++t) {
            // The recording, timed and counted after the first 10 s, when the map is full.
            const bool measure = t > 100;
            const uint64_t allocated = g_allocations.load();
            g_counting = measure;
            QElapsedTimer clock;
            clock.start();
            rig.Flood(kFloodPerTick);
            const int64_t ns = clock.nsecsElapsed();
            g_counting = false;
            if (measure) {
                recordNs += static_cast<double>(ns);
                recordFrames += kFloodPerTick;
                recordAllocations += g_allocations.load() - allocated;
            }
            // Nodes of random identifiers rarely change, so a tick need not paint.
            const double ms = rig.Tick(painted);
            const std::string fault = rig.Check(Body::Tree);
            if (!fault.empty()) {
                state.SkipWithError(fault.c_str());
                return;
            }
            all.push_back(ms);
            for (int mark : {100, 600, 1200, 3000, 6000})
                if (t == mark) resident.emplace_back(t, floodbench::ResidentMb());
        }
        const char* shots = std::getenv("VEX_TRACE_SHOTS");
        if (shots != nullptr && *shots != '\0')
            rig.wnd->grab().save(QString::fromLocal8Bit(shots) + QLatin1String("/bench-tree-flood.png"));
        std::lock_guard<std::mutex> lock(rig.hub->TraceLock());
        keys = rig.hub->LiveTraceMap().size();
        state.SetIterationTime(std::accumulate(all.begin(), all.end(), 0.0) / 1e3);
    }
    std::string memory;
    for (const auto& [tick, mb] : resident) {
        char mark[48];
        std::snprintf(mark, sizeof mark, "%s%.1f MB at %d s", memory.empty() ? "" : ", ", mb, tick / 10);
        memory += mark;
        state.counters["rss_mb_" + std::to_string(tick / 10) + "s"] = mb;
    }
    state.counters["keys"] = static_cast<double>(keys);
    state.counters["p50_ms"] = Percentile(all, 0.50);
    state.counters["p95_ms"] = Percentile(all, 0.95);
    state.counters["max_ms"] = Percentile(all, 1.0);
    const double nsPerFrame = recordFrames > 0 ? recordNs / static_cast<double>(recordFrames) : 0;
    const double allocsPerFrame =
        recordFrames > 0 ? static_cast<double>(recordAllocations) / static_cast<double>(recordFrames) : 0;
    state.counters["record_ns_per_frame"] = nsPerFrame;
    state.counters["record_allocs_per_frame"] = allocsPerFrame;
    std::printf(
        "[ figures ] flood: %d min of random extended identifiers at 16,000 frames/s (%zu ticks): resident "
        "%s; %zu trace keys held; tick p50 %.2f ms, p95 %.2f ms, max %.2f ms; recording %.0f ns and %.4f "
        "heap allocations per frame\n",
        minutes, all.size(), memory.c_str(), keys, Percentile(all, 0.50), Percentile(all, 0.95),
        Percentile(all, 1.0), nsPerFrame, allocsPerFrame);
    std::fflush(stdout);
}

}  // namespace

BENCHMARK_CAPTURE(BM_TraceTick, list, Body::List)
    ->Iterations(kRepetitions)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TraceTick, tree, Body::Tree)
    ->Iterations(kRepetitions)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TraceTick, tree_open, Body::TreeOpen)
    ->Iterations(kRepetitions)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_TraceFlood)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Every heap allocation goes through malloc (operator new and Qt's containers alike): counting there
// sees them all.
extern "C" {
void* __libc_malloc(std::size_t n);
void* __libc_calloc(std::size_t n, std::size_t size);
void* __libc_realloc(void* p, std::size_t n);

void* malloc(std::size_t n) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
}

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The offscreen platform says for every shown window that it cannot pass size hints on.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (!text.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    });
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
