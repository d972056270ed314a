// The graph window's two hot paths, measured as a user meets them:
//  - repaint: the curve pane shown at 1920 x 1080 with 256 curves of 20,000 samples each (1 kHz over the
//    20 s window, slow waves, smooth or noisy, round markers as new signals get them), one synchronous
//    repaint per iteration (engine layout, axes, curves, copy to the window); also beside 8 busy threads
//    of another process (each walking 8 MB of memory), as when the machine builds or runs other work;
//  - running: the same pane while samples arrive: per iteration one 200 ms tick of 100,000 samples
//    drained from the data hub's sample FIFO into the list and the curves, the engine's tick and a
//    repaint, which folds the new samples into the curves' column summaries;
//  - drain: one 200 ms tick of the window taking 100,000 samples out of the data hub's sample FIFO into
//    the value list and the curves (256 graphed signals in 32 messages).
// Each prints p50 and p95 over the iterations (ms) and the CPU time of all the process's threads; the
// first repaint of a fresh process is reported too. A run that paints or drains the wrong thing fails
// instead of reporting a figure.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWindow>

#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/canmsgdatahub.h"
#include "config/appcfg.h"
#include "config/colortable.h"
#include "windows/graphwnd.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of every thread of the process, in ms: with the curves drawn on several threads, what the
// frame costs on a machine whose cores are free.
double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> ms, double q) {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0.0 : ms[std::min(ms.size() - 1, static_cast<size_t>(q * ms.size()))];
}

void Percentiles(benchmark::State& state, const std::vector<double>& ms) {
    if (ms.empty()) return;
    state.counters["p50_ms"] = Percentile(ms, 0.50);
    state.counters["p95_ms"] = Percentile(ms, 0.95);
    state.counters["max_ms"] = *std::max_element(ms.begin(), ms.end());
}

constexpr int kCurves = 256;
constexpr int kSamples = 20000;

tCFG_SET_GRAPH GraphOf(int count) {
    tCFG_SET_GRAPH graph;
    graph.GraphGridShow = 1;
    graph.BackgroundColor = 0xFFFFFF;
    graph.GridColor = 0x005000;
    graph.XAxisTimeLength = 20000;
    CColorTable colors;
    for (int i = 0; i < count; ++i) {
        const uint32_t key = 0x100 + static_cast<uint32_t>(i % 32);
        tCFG_SET_GRAPH_MSG& m = graph.MsgMap[key];
        m.MsgAppId = key;
        tCFG_SET_GRAPH_SIG s;
        s.CanSig.Name = "Signal_" + std::to_string(i);
        s.CanSig.Unit = "km/h";
        s.CanSig.BitLen = 16;
        s.Color = colors.NextColor();
        s.ShowMin = -150;
        s.ShowMax = 150;
        s.PointType = 1;
        m.SigArray.push_back(s);
    }
    return graph;
}

struct Rig {
    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub{cfg, info};
    CColorTable colors;
    std::unique_ptr<CGraphWnd> wnd;

    explicit Rig(int count) {
        cfg.Graph = GraphOf(count);
        wnd = std::make_unique<CGraphWnd>(
            GraphWndDeps{hub, cfg.Graph, colors, [] { return true; }, [] { return false; }});
        wnd->ApplyGraphSigCfg();
    }
};

// 1 kHz over the window: slow waves of different periods in steps of 0.1 (a signal's resolution), with
// noise of the given deviation on top.
void FillCurves(CGraphCurveView& view, const tCFG_SET_GRAPH& graph, double deviation) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, deviation > 0 ? deviation : 1.0);
    int i = 0;
    for (const auto& [key, msg] : graph.MsgMap) {
        for (const tCFG_SET_GRAPH_SIG& sig : msg.SigArray) {
            const int32_t slot = view.SlotOf(key, sig.CanSig.Name);
            const double period = 2000.0 + 150.0 * i;
            const double phase = i * 0.37;
            for (int n = 0; n < kSamples; ++n) {
                const double t = n;
                const double v =
                    100 * std::sin(t / period * 6.283 + phase) + (deviation > 0 ? noise(rng) : 0.0);
                view.Engine().AddSample(slot, t, std::round(v * 10) / 10);
            }
            ++i;
        }
    }
}

// Another process with `threads` threads that each walk 8 MB of memory and compute, until it is killed
// (or this process ends): work that competes for the cores and the caches as a build does.
class BusyProcess {
public:
    explicit BusyProcess(int threads) {
        static char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return;
        self[n] = 0;
        const std::string arg = "--busy-threads=" + std::to_string(threads);
        char* argv[] = {self, const_cast<char*>(arg.c_str()), nullptr};
        if (posix_spawn(&m_pid, self, nullptr, nullptr, argv, environ) != 0) m_pid = -1;
    }
    ~BusyProcess() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    bool Running() const { return m_pid > 0; }

    // The body of the spawned process.
    static int Run(int threads) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([t] {
                std::vector<uint64_t> memory(1 << 20, static_cast<uint64_t>(t));
                uint64_t x = 88172645463325252ull + static_cast<uint64_t>(t);
                for (;;) {
                    for (uint64_t& m : memory) {
                        x ^= x << 13;
                        x ^= x >> 7;
                        x ^= x << 17;
                        m += x;
                    }
                }
            });
        for (std::thread& t : pool) t.join();
        return 0;
    }

private:
    pid_t m_pid = -1;
};

// One timed iteration: the wall time of `work` is the iteration's time and goes to `ms`, the CPU time of all
// the process's threads to `cpu`.
template <typename Work>
void Timed(benchmark::State& state, std::vector<double>& ms, std::vector<double>& cpu, Work&& work) {
    const double c = ProcessCpuMs();
    const auto s = Clock::now();
    work();
    const auto d = Clock::now() - s;
    cpu.push_back(ProcessCpuMs() - c);
    state.SetIterationTime(std::chrono::duration<double>(d).count());
    ms.push_back(Ms(d));
}

// The curve pane alone, shown at full-HD size.
void ShowPane(CGraphCurveView& view) {
    view.setParent(nullptr);
    view.resize(1920, 1080);
    view.show();
    for (int i = 0; i < 200 && (view.windowHandle() == nullptr || !view.windowHandle()->isExposed()); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The frame shows the curves: the current curve's colour is there. A wrong frame fails the run.
bool CheckFrame(benchmark::State& state, CGraphCurveView& view) {
    const QImage& frame = view.Frame();
    const QRgb want = plot::PixelFromRef(view.Engine().Curve(view.Engine().CurrentCurve()).Color);
    int hits = 0;
    for (int y = 0; y < frame.height(); y += 2)
        for (int x = 0; x < frame.width(); x += 2) hits += frame.pixel(x, y) == want ? 1 : 0;
    if (frame.size() == QSize(1920, 1080) && hits >= 1000) return true;
    state.SkipWithError(("the frame does not show the curves: " + std::to_string(frame.width()) + "x" +
                         std::to_string(frame.height()) + ", " + std::to_string(hits) + " pixels")
                            .c_str());
    return false;
}

// What a curve's column summary takes (0 for a build that draws without them, so that this source also
// measures earlier builds).
template <typename Curve>
size_t SummaryBytes(const Curve& c) {
    if constexpr (requires { c.Columns.Bytes(); })
        return c.Columns.Bytes();
    else
        return 0;
}

// What the curves' column summaries take, in MB.
double SummaryMb(CGraphCurveView& view) {
    size_t bytes = 0;
    for (int32_t slot = 0; slot < CGraphPlot::kCurveCount; ++slot)
        bytes += SummaryBytes(view.Engine().Curve(slot));
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Arguments: noise deviation; busy threads of another process beside the repaints.
void BM_Repaint256x20000(benchmark::State& state) {
    Rig rig(kCurves);
    CGraphCurveView& view = *rig.wnd->curveView();
    ShowPane(view);
    rig.wnd->StartGraph();
    FillCurves(view, rig.cfg.Graph, static_cast<double>(state.range(0)));
    view.Engine().Tick();
    const auto t0 = Clock::now();
    view.repaint();
    const double first = Ms(Clock::now() - t0);
    if (!CheckFrame(state, view)) return;
    const BusyProcess busy(static_cast<int>(state.range(1)));
    if (state.range(1) > 0 && !busy.Running()) {
        state.SkipWithError("the busy process did not start");
        return;
    }
    std::vector<double> ms, cpu;
    for (auto _ : state) Timed(state, ms, cpu, [&] { view.repaint(); });
    Percentiles(state, ms);
    state.counters["cpu_p50_ms"] = Percentile(cpu, 0.50);
    state.counters["cpu_p95_ms"] = Percentile(cpu, 0.95);
    state.counters["first_ms"] = first;
    state.counters["summary_MB"] = SummaryMb(view);
    view.setParent(rig.wnd.get());
}

// Argument: noise deviation. Per iteration: 100,000 samples of the next 200 ms (390 per curve) pushed into
// the FIFO untimed, then timed the window's drain, the engine's tick and the repaint.
void BM_Running256Curves(benchmark::State& state) {
    Rig rig(kCurves);
    CGraphCurveView& view = *rig.wnd->curveView();
    ShowPane(view);
    rig.wnd->StartGraph();
    const double deviation = static_cast<double>(state.range(0));
    FillCurves(view, rig.cfg.Graph, deviation);
    view.Engine().Tick();
    view.repaint();
    if (!CheckFrame(state, view)) return;
    std::vector<tCAN_SIG_SAMPLE_DATA> curveSamples;
    for (const auto& [key, msg] : rig.cfg.Graph.MsgMap)
        for (const tCFG_SET_GRAPH_SIG& sig : msg.SigArray) {
            tCAN_SIG_SAMPLE_DATA s;
            s.MsgKey = static_cast<int32_t>(key);
            s.SigName = sig.CanSig.Name;
            s.ValueText = "0.0";
            curveSamples.push_back(s);
        }
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, deviation > 0 ? deviation : 1.0);
    double time = kSamples;  // the filled samples end here
    std::vector<double> tick, paint, cpu;
    for (auto _ : state) {
        for (int n = 0; n < 100000; ++n) {
            const size_t i = static_cast<size_t>(n) % curveSamples.size();
            tCAN_SIG_SAMPLE_DATA& s = curveSamples[i];
            const double period = 2000.0 + 150.0 * static_cast<double>(i);
            const double v = 100 * std::sin(time / period * 6.283 + static_cast<double>(i) * 0.37) +
                             (deviation > 0 ? noise(rng) : 0.0);
            s.TimeMs = time;
            s.PhyValue = std::round(v * 10) / 10;
            rig.hub.SampleFifo().Push(s);
            if (i + 1 == curveSamples.size())
                time += 200.0 * static_cast<double>(curveSamples.size()) / 100000.0;
        }
        Timed(state, tick, cpu, [&] {
            rig.wnd->OnTimer();
            view.Engine().Tick();
            const auto p = Clock::now();
            view.repaint();
            paint.push_back(Ms(Clock::now() - p));
        });
        if (rig.hub.SampleFifo().Count() != 0) {
            state.SkipWithError("samples left in the FIFO");
            return;
        }
    }
    if (!CheckFrame(state, view)) return;
    Percentiles(state, tick);
    state.counters["repaint_p50_ms"] = Percentile(paint, 0.50);
    state.counters["repaint_p95_ms"] = Percentile(paint, 0.95);
    state.counters["cpu_p50_ms"] = Percentile(cpu, 0.50);
    view.setParent(rig.wnd.get());
}

void BM_Drain100000PerTick(benchmark::State& state) {
    Rig rig(kCurves);
    rig.wnd->StartGraph();
    // The samples of one tick, pushed before the timed drain.
    std::vector<tCAN_SIG_SAMPLE_DATA> tick;
    int i = 0;
    for (const auto& [key, msg] : rig.cfg.Graph.MsgMap) {
        for (const tCFG_SET_GRAPH_SIG& sig : msg.SigArray) {
            tCAN_SIG_SAMPLE_DATA s;
            s.MsgKey = static_cast<int32_t>(key);
            s.SigName = sig.CanSig.Name;
            s.PhyValue = i;
            s.ValueText = std::to_string(i) + ".25";
            tick.push_back(s);
            ++i;
        }
    }
    std::vector<double> ms;
    double time = 0;
    for (auto _ : state) {
        for (int n = 0; n < 100000; ++n) {
            tCAN_SIG_SAMPLE_DATA& s = tick[static_cast<size_t>(n) % tick.size()];
            s.TimeMs = time;
            time += 0.002;
            rig.hub.SampleFifo().Push(s);
        }
        const auto s = Clock::now();
        rig.wnd->OnTimer();
        const auto d = Clock::now() - s;
        state.SetIterationTime(std::chrono::duration<double>(d).count());
        ms.push_back(Ms(d));
        if (rig.hub.SampleFifo().Count() != 0) {
            state.SkipWithError("samples left in the FIFO");
            return;
        }
    }
    // Every sample reached a curve: each ring holds its last 20,000 (or all it got).
    const CGraphCurveView& view = *rig.wnd->curveView();
    const auto per = static_cast<int64_t>(state.iterations()) * 100000 / static_cast<int64_t>(tick.size());
    const int32_t slot = view.SlotOf(static_cast<uint32_t>(tick[0].MsgKey), tick[0].SigName);
    if (rig.wnd->curveView()->Engine().Curve(slot).Live.Count() != std::min<int64_t>(per, kSamples))
        state.SkipWithError("samples did not reach the curves");
    Percentiles(state, ms);
    state.counters["ns_per_sample"] = state.counters["p50_ms"] * 1e6 / 100000;
}

}  // namespace

// Noise deviation 0: smooth curveSamples; 2: noise of 2 units on a range of 300 (about 7 pixels).
BENCHMARK(BM_Repaint256x20000)
    ->ArgNames({"noise", "busy"})
    ->Args({0, 0})
    ->Args({2, 0})
    ->Args({0, 8})
    ->Args({2, 8})
    ->Iterations(120)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Running256Curves)
    ->ArgName("noise")
    ->Arg(0)
    ->Arg(2)
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Drain100000PerTick)->Iterations(120)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]).rfind("--busy-threads=", 0) == 0)
        return BusyProcess::Run(std::atoi(argv[1] + 15));
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
