// The whole program under a flood of random J1939 transport traffic: the application object's main frame
// (offscreen, 1400x900) with its trace and info windows open and the J1939 DMx window opened through the
// frame's command, online on the emulated two-channel interface at 1 Mbit/s, while the emulated bus's
// peer sends random J1939 transfers (see floodbench::J1939Traffic) back to back on both channels, for
// VEX_FLOOD_SECONDS seconds (60 by default). The Qt event loop runs as it does for the user: the frame's
// tick, the windows' timers, their painting.
//
// Sampled every second and printed on stderr: the process's resident memory, the info window's rows (and
// those it dropped to stay bounded), the info ring's drops, the frames received (the trace's count) and
// lost (the interface's receive buffer, the peer's skipped frames, the hub's lost-frame reports), and the
// event loop's longest gap. At the end every frame the peer sent must have been received.
//
// The run fails at once on a lost frame or a message box, or when no frame arrives for five seconds; at
// the end when the resident memory grew by more than kGrowthMarginMb over the second half, when the info
// window holds more rows than one per node and a few others, or when a frame sent was not received.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/canworkspace.h"
#include "bench/services/j1939flood.h"
#include "platform/deviceport/emupeer.h"
#include "platform/qt/namedmutex.h"
#include "platform/qt/settingsstore.h"
#include "services/extservices.h"
#include "tests/common/fakeprompt.h"
#include "tests/common/testsupport.h"
#include "ui/app/framecommands.h"
#include "ui/app/infownd.h"
#include "ui/app/vexariumapp.h"

namespace {

using namespace vex::emu;

constexpr int kWidth = 1400;
constexpr int kHeight = 900;
constexpr uint16_t kKbitPerSecond = 1000;
// Frames a burst of the peer carries; a segment gets another once less than this is left to send (about
// 1.4 s at 1 Mbit/s), so the bus never idles between two samples.
constexpr uint32_t kBurstFrames = 10'000;
// Resident memory may grow this much over the second half: a megabyte of allocator slack.
constexpr double kGrowthMarginMb = 1.0;
// Info rows beyond one refusal report per node (two channels of 256 addresses): going online, the
// device's reports.
constexpr int kOtherInfoRows = 32;
constexpr int kStallSeconds = 5;
constexpr int kProbeMs = 10;

int64_t CpuNs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Runs the event loop for ms milliseconds.
void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One segment's share of the flood, fed to the peer in bursts that follow each other on the segment.
// Make runs on the bus's thread, TopUp on the GUI thread.
class Feed {
public:
    explicit Feed(int segment)
        : m_segment(segment), m_traffic(1939u + static_cast<uint32_t>(segment), segment) {}

    void TopUp() {
        if (m_queued - m_made.load() >= kBurstFrames) return;
        peer::SendBurst(
            m_segment, kBurstFrames, [this](uint32_t) { return make(); }, Pace::BusRate);
        m_queued += kBurstFrames;
    }
    // Frames put on the bus so far, and all that were asked for.
    uint64_t Made() const { return m_made.load(); }
    uint64_t Queued() const { return m_queued; }

private:
    Frame make() {
        if (m_at == m_pending.size()) {
            m_pending.clear();
            m_at = 0;
            m_traffic.Next(m_pending);
        }
        const tCAN_RAW_MSG& m = m_pending[m_at++];
        Frame f;
        f.id = m.Id;
        f.ext = true;
        f.dlc = m.Dlc;
        std::copy(std::begin(m.Data), std::end(m.Data), f.data.begin());
        m_made.fetch_add(1);
        return f;
    }

    const int m_segment;
    floodbench::J1939Traffic m_traffic;
    std::vector<tCAN_RAW_MSG> m_pending;
    size_t m_at = 0;
    std::atomic<uint64_t> m_made{0};
    uint64_t m_queued = 0;
};

// What the info window has shown so far: its rows, and the frames the hub reported lost among them.
class InfoWatch {
public:
    explicit InfoWatch(const CInfoModel& model) : m_model(model) {}

    // Looks at the rows appended since the last call.
    void Update() {
        const int rows = m_model.rowCount();
        const uint64_t header = m_model.Dropped() > 0 ? 1 : 0;
        const uint64_t total = m_model.Dropped() + static_cast<uint64_t>(rows) - header;
        const uint64_t fresh = std::min<uint64_t>(total - m_seen, static_cast<uint64_t>(rows) - header);
        m_seen = total;
        for (int r = rows - static_cast<int>(fresh); r < rows; ++r) {
            if (m_model.index(r, 2).data().toString() != QString::fromUtf8(CCanMsgDataHub::kDropSource))
                continue;
            // "...丢失了<n>帧报文..."
            const std::string text = m_model.index(r, 3).data().toString().toStdString();
            const size_t at = text.find("丢失了");
            m_hubLost += at == std::string::npos ? 1 : std::strtoull(text.c_str() + at + 9, nullptr, 10);
        }
    }
    uint64_t HubLost() const { return m_hubLost; }

private:
    const CInfoModel& m_model;
    uint64_t m_seen = 0;
    uint64_t m_hubLost = 0;
};

struct Sample {
    double rssMb = 0;
    int infoRows = 0;
    uint64_t infoWindowDropped = 0;
    uint64_t infoRingDropped = 0;
    uint64_t received = 0;
    uint64_t lost = 0;
    double gapMs = 0;  // the event loop's longest gap in this second
};

void BM_ProgramJ1939Flood(benchmark::State& state) {
    const int seconds = floodbench::FloodSeconds();
    vextest::TempDir dir;
    vex::MemorySettingsStore store;
    vex::ScopedSettingsStore useStore(store);
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt(prompt);
    vex::FakeSiblingProbe probe;
    peer::Reset();
    const std::string loadBefore = LoadAverage();
    std::vector<Sample> samples;
    uint64_t sent = 0, received = 0, lost = 0;
    double maxGapMs = 0, guiCore = 0, processCore = 0, floodSeconds = 0;
    std::string error, infoSources;
    int infoRows = 0;

    for (auto _ : state) {
        CVexariumApp app({dir.path().string(),
                          dir.path().string(),
                          "http://127.0.0.1:9",
                          false,
                          {&probe, CMainFrame::kTickMs}});
        if (!app.InitInstance()) {
            state.SkipWithError("the program did not start");
            return;
        }
        CMainFrame& frame = *app.MainFrame();
        CCanWorkspace& ws = *app.Workspace();
        frame.resize(kWidth, kHeight);
        Pump(300);  // the first ticks bring the configuration's windows
        CAppCfg& cfg = ws.Cfg();
        for (size_t i = 0; i < 3; ++i) {
            cfg.CanDev[i].Active = i == CAppCfg::kDevNxp;
            cfg.CanDev[i].CHAN0.Baudrate = cfg.CanDev[i].CHAN1.Baudrate = kKbitPerSecond;
        }
        frame.RunCommand(ID_WND_INFO);
        frame.RunCommand(ID_WND_TRACE);
        frame.RunCommand(ID_START_LISTEN);
        frame.RunCommand(ID_EXT_J1939_DMX);
        if (!ws.IsOnline() || frame.ServiceDlg() == nullptr || frame.TraceWnd() == nullptr ||
            ws.RxThread().ActiveService() != &CExtServices::Of(ws)->J1939()) {
            state.SkipWithError("online with the trace, info and J1939 windows open: not reached");
            return;
        }
        Pump(300);
        std::fprintf(stderr, "online at %u/%u bit/s, %d s of random J1939 transfers on both channels\n",
                     peer::BitRate(0), peer::BitRate(1), seconds);

        const CInfoModel& info = *frame.InfoWnd()->view()->infoModel();
        InfoWatch watch(info);
        auto traceSeq = [&ws] {
            std::lock_guard<std::mutex> lock(ws.Hub().TraceLock());
            return ws.Hub().TraceRing().SeqCounter();
        };
        const uint32_t seq0 = traceSeq();
        auto receivedNow = [&] { return static_cast<uint64_t>(traceSeq() - seq0); };
        auto lostNow = [&] {
            watch.Update();
            return peer::DroppedFrames(Interface::TwoChannel) + peer::UnsentFrames(Origin::Peer) +
                   watch.HubLost();
        };
        Feed feeds[2] = {Feed(0), Feed(1)};
        auto sentNow = [&feeds] { return feeds[0].Made() + feeds[1].Made(); };
        auto queued = [&feeds] { return feeds[0].Queued() + feeds[1].Queued(); };

        // The event loop's gaps, seen by a timer at the frame's tick rate.
        QTimer probeTimer;
        probeTimer.setTimerType(Qt::PreciseTimer);
        auto lastProbe = std::chrono::steady_clock::now();
        double secondGapMs = 0;
        QObject::connect(&probeTimer, &QTimer::timeout, [&] {
            const auto now = std::chrono::steady_clock::now();
            secondGapMs =
                std::max(secondGapMs, std::chrono::duration<double, std::milli>(now - lastProbe).count());
            lastProbe = now;
        });

        QEventLoop loop;
        QTimer sampler;
        sampler.setTimerType(Qt::PreciseTimer);
        const auto start = std::chrono::steady_clock::now();
        const int64_t gui0 = CpuNs(CLOCK_THREAD_CPUTIME_ID), process0 = CpuNs(CLOCK_PROCESS_CPUTIME_ID);
        int stalled = 0;
        uint64_t lastReceived = 0;
        bool flooding = true;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const uint64_t nowReceived = receivedNow();
            const uint64_t nowLost = lostNow();
            stalled = nowReceived == lastReceived && sentNow() > nowReceived ? stalled + 1 : 0;
            if (flooding) {
                Sample s;
                s.rssMb = floodbench::ResidentMb();
                s.infoRows = info.rowCount();
                s.infoWindowDropped = info.Dropped();
                s.infoRingDropped = ws.InfoRing().Dropped();
                s.received = nowReceived;
                s.lost = nowLost;
                s.gapMs = secondGapMs;
                samples.push_back(s);
                std::fprintf(stderr,
                             "%3zu s: %7.1f MB resident, %5d info rows (window dropped %" PRIu64
                             ", ring dropped %" PRIu64 "), %8" PRIu64 " frames received (%5" PRIu64
                             "/s), %" PRIu64 " lost, event loop's longest gap %.0f ms\n",
                             samples.size(), s.rssMb, s.infoRows, s.infoWindowDropped, s.infoRingDropped,
                             nowReceived, nowReceived - lastReceived, nowLost, s.gapMs);
            }
            maxGapMs = std::max(maxGapMs, secondGapMs);
            secondGapMs = 0;
            lastReceived = nowReceived;
            if (nowLost != 0) {
                error = std::to_string(nowLost) + " frames lost";
            } else if (!prompt.messages.empty()) {
                error = "a message box: " + prompt.lastText().toStdString();
            } else if (stalled >= kStallSeconds) {
                error = "stalled: no frame received for " + std::to_string(kStallSeconds) + " s";
            } else if (flooding && static_cast<int>(samples.size()) == seconds) {
                flooding = false;  // the bursts queued run out
                floodSeconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            } else if (!flooding && sentNow() == queued() && nowReceived == sentNow()) {
                loop.quit();
                return;
            }
            if (!error.empty()) loop.quit();
            if (flooding)
                for (Feed& f : feeds) f.TopUp();
        });
        for (Feed& f : feeds) f.TopUp();
        probeTimer.start(kProbeMs);
        sampler.start(1000);
        loop.exec();
        sampler.stop();
        probeTimer.stop();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        guiCore = static_cast<double>(CpuNs(CLOCK_THREAD_CPUTIME_ID) - gui0) / (wall * 1e9);
        processCore = static_cast<double>(CpuNs(CLOCK_PROCESS_CPUTIME_ID) - process0) / (wall * 1e9);
        sent = sentNow();
        received = receivedNow();
        lost = lostNow();
        infoRows = info.rowCount();
        std::map<QString, int> sources;
        for (int r = 0; r < info.rowCount(); ++r) ++sources[info.index(r, 2).data().toString()];
        for (const auto& [source, rows] : sources)
            infoSources +=
                (infoSources.empty() ? "" : ", ") + source.toStdString() + " " + std::to_string(rows);
        state.SetIterationTime(wall);

        // Closed as the user would (the J1939 window ends its running, offline, no save), then the bursts
        // that a failed run left are dropped before their feeds go.
        prompt.answers = {vex::MsgResult::No};
        frame.close();
        peer::Reset();
    }

    const auto at = [&samples](size_t second) {
        return samples.empty() ? 0.0 : samples[std::min(second, samples.size()) - 1].rssMb;
    };
    std::vector<double> rss;
    for (const Sample& s : samples) rss.push_back(s.rssMb);
    const double growth = floodbench::SecondHalfGrowthMb(rss);
    const Sample last = samples.empty() ? Sample{} : samples.back();
    state.counters["rss_mb_5s"] = at(5);
    state.counters["rss_mb_10s"] = at(10);
    state.counters["rss_mb_30s"] = at(30);
    state.counters["rss_mb_end"] = at(samples.size());
    state.counters["rss_growth_2nd_half_mb"] = growth;
    state.counters["info_rows"] = infoRows;
    state.counters["info_window_dropped"] = static_cast<double>(last.infoWindowDropped);
    state.counters["info_ring_dropped"] = static_cast<double>(last.infoRingDropped);
    state.counters["frames_sent"] = static_cast<double>(sent);
    state.counters["frames_received"] = static_cast<double>(received);
    state.counters["frames_lost"] = static_cast<double>(lost);
    state.counters["frames_per_s"] =
        floodSeconds > 0 ? static_cast<double>(samples.empty() ? 0 : last.received) / floodSeconds : 0;
    state.counters["max_loop_gap_ms"] = maxGapMs;
    state.counters["gui_core_percent"] = 100 * guiCore;
    state.counters["process_core_percent"] = 100 * processCore;
    std::vector<size_t> marks;
    for (size_t second : {5, 10, 30, 60})
        if (second < samples.size()) marks.push_back(second);
    if (!samples.empty()) marks.push_back(samples.size());
    std::string resident;
    for (size_t second : marks) {
        char mark[48];
        std::snprintf(mark, sizeof mark, "%s%.1f MB at %zu s", resident.empty() ? "" : ", ", at(second),
                      second);
        resident += mark;
    }
    std::printf("[ figures ] resident %s (second half %+.1f MB); info rows %d (%s; window dropped %" PRIu64
                ", ring dropped %" PRIu64 "); frames sent %" PRIu64 ", received %" PRIu64 ", lost %" PRIu64
                "; event loop's longest gap %.0f ms; GUI thread %.0f %% of a core, process %.0f %%; "
                "load average %s before, %s after, %ld cores\n",
                resident.c_str(), growth, infoRows, infoSources.c_str(), last.infoWindowDropped,
                last.infoRingDropped, sent, received, lost, maxGapMs, 100 * guiCore, 100 * processCore,
                loadBefore.c_str(), LoadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);

    if (!error.empty()) {
        state.SkipWithError(error.c_str());
    } else if (received != sent || lost != 0) {
        state.SkipWithError(
            ("frames sent " + std::to_string(sent) + ", received " + std::to_string(received)).c_str());
    } else if (growth > kGrowthMarginMb) {
        state.SkipWithError("resident memory still grows in the second half");
    } else if (infoRows > 2 * 256 + kOtherInfoRows || last.infoWindowDropped != 0) {
        state.SkipWithError("the info window holds more than one row per node");
    }
}

}  // namespace

BENCHMARK(BM_ProgramJ1939Flood)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QStandardPaths::setTestModeEnabled(true);
    // The offscreen platform says for every shown window that it cannot pass size hints on.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (!text.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    });
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
