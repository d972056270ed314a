// The trace window on a workspace online on the emulated two-channel interface: the default peer traffic
// shows in the list and, decoded, in the tree; at the worst-case rate of two channels no frame is lost on
// the way to the trace ring, and the GUI thread's tick times are printed.
//
// With VEX_TRACE_SHOTS set to a folder, the first test also saves screenshots of the list and the tree.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/hubstores.h"
#include "tests/windows/wndtest.h"
#include "windows/tracetext.h"
#include "windows/tracewnd.h"

using namespace vex::emu;

namespace {

// The main frame's tick: a period of 0 runs at the platform's minimum timer rate.
constexpr int kMainTickMs = 10;

class TraceOnline : public wndtest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Select(CAppCfg::kDevNxp);
    }

    // Runs the event loop for ms milliseconds with the main frame's tick draining the hub.
    void RunTicks(int ms) {
        QTimer tick;
        tick.setInterval(kMainTickMs);
        QObject::connect(&tick, &QTimer::timeout, [this] { ws->Hub().ProcessRxQueue(); });
        tick.start();
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

CCanSignal Signal(const char* name, uint8_t offset, uint8_t len, double factor, const char* unit) {
    CCanSignal s = hubtest::Sig(name, offset, len, true, false, factor);
    s.Unit = unit;
    return s;
}

// The window in an MDI child, as the main frame places it.
CTraceWnd* Place(QMdiArea& area, CCanMsgDataHub& hub, tCFG_SET_TRACE& settings) {
    auto* wnd = new CTraceWnd(hub, settings);
    QMdiSubWindow* sub = area.addSubWindow(wnd);
    sub->setGeometry(0, 0, 1220, 600);
    sub->show();
    return wnd;
}

void Shot(QWidget& widget, const char* name) {
    const char* dir = std::getenv("VEX_TRACE_SHOTS");
    if (dir == nullptr || *dir == '\0') return;
    widget.grab().save(QString::fromUtf8(dir) + "/" + name);
}

TEST_F(TraceOnline, DefaultTrafficInListAndTree) {
    CCanSignal mode = Signal("扭矩模式", 0, 4, 1.0, "");
    mode.Enum = 1;
    mode.SigEnum.Items = {{"无请求", 0}, {"加速踏板", 1}, {"巡航控制", 2}, {"限速", 3}};
    ws->Cfg().CanDatabases.push_back(hubtest::Db(
        "整车", 1,
        {hubtest::Msg("车身状态", 0x101, 0,
                      {Signal("计数器", 0, 8, 1.0, ""), Signal("电压", 8, 16, 0.01, "V"),
                       Signal("车速", 24, 16, 0.1, "km/h")}),
         hubtest::Msg(
             "EEC1", 0x0CF00400, 1,
             {mode, Signal("发动机转速", 24, 16, 0.125, "rpm"), Signal("源地址", 40, 8, 1.0, "")})}));
    peer::UseDefaultTraffic();

    QMdiArea area;
    area.resize(1240, 640);
    area.show();
    CTraceWnd* wnd = Place(area, ws->Hub(), ws->Cfg().Trace);
    wnd->OnListMode();
    ASSERT_TRUE(ws->GoOnline());
    wnd->view()->SetPaused(false);
    RunTicks(350);
    Shot(area, "trace-list-start.png");
    RunTicks(1250);
    ws->GoOffline();
    RunTicks(2 * CTraceView::kTimerMs);

    const CTraceListModel& list = *wnd->view()->listModel();
    ASSERT_GT(list.rowCount(), 40);
    const CTraceTreeModel& tree = *wnd->view()->treeModel();
    ASSERT_EQ(tree.rowCount(), 4);
    // Channel 0 (0x101, 0x18FEF100), then channel 1 (0x201, 0x0CF00400).
    const uint32_t ids[] = {0x101, 0x18FEF100, 0x201, 0x0CF00400};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(tree.NodeRow(r).MsgId, ids[r]);
    auto cell = [&](int node, int row, int column) {
        return tree.data(tree.index(row, column, tree.index(node, 0))).toString();
    };
    EXPECT_EQ(tree.data(tree.index(0, trace::kName)).toString(), QString::fromUtf8("车身状态"));
    EXPECT_EQ(tree.data(tree.index(1, trace::kName)).toString(), "");
    ASSERT_EQ(tree.rowCount(tree.index(0, 0)), 3);
    ASSERT_EQ(tree.rowCount(tree.index(1, 0)), 0);
    ASSERT_EQ(tree.rowCount(tree.index(3, 0)), 3);
    // The peer's data: a counter in byte 0, then 11 22 33 44 55 66 77.
    const uint8_t counter = tree.NodeRow(0).Data[0];
    EXPECT_EQ(cell(0, 0, 2), QString::number(counter));
    EXPECT_EQ(cell(0, 1, 1), "2211");
    EXPECT_EQ(cell(0, 1, 2), "87.21");
    EXPECT_EQ(cell(0, 1, 3), "V");
    EXPECT_EQ(cell(3, 1, 2), "2182.375");  // 0x4433 * 0.125
    // A value the table names shows its text, any other value its number.
    const int modeRaw = tree.NodeRow(3).Data[0] & 0xF;
    EXPECT_EQ(cell(3, 0, 2), modeRaw < 4 ? QString::fromUtf8(std::vector<const char*>{
                                               "无请求", "加速踏板", "巡航控制", "限速"}[modeRaw])
                                         : QString::number(modeRaw));
    // The list's newest row is the newest frame, numbered as the ring numbered it.
    const tCAN_MSG_TRACE_DATA& newest = list.Row(list.rowCount() - 1);
    EXPECT_EQ(newest.SeqNo, ws->Hub().TraceRing().SeqCounter());

    wnd->OnListMode();
    QApplication::processEvents();
    Shot(area, "trace-list.png");
    wnd->OnTreeMode();
    wnd->view()->tree()->expandAll();
    wnd->view()->tree()->setCurrentIndex(tree.index(3, 0));
    QApplication::processEvents();
    Shot(area, "trace-tree.png");
    wnd->OnClear();
    wnd->OnListMode();
    QApplication::processEvents();
    Shot(area, "trace-list-cleared.png");
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Two channels at the worst-case bus rate (1 Mbit/s, shortest frames), 210,000 frames each, the trace window
// shown in list mode following the newest row. Every main-frame tick drains the hub; every tenth also runs
// the trace window's tick and repaints the list at once, as its 100 ms timer would. The ticks pace the
// peer (emutest::PacedBursts): a GUI thread that keeps up sees one unbroken burst, one that a loaded machine
// stalls for longer than the frame queue lasts only slows the bus down. Every frame must reach the trace
// ring either way; the sustained rate is a figure of the receive-path benchmarks.
TEST_F(TraceOnline, FullRateTwoChannelsPerTick) {
    constexpr uint32_t kPerChannel = 210'000;
    QMdiArea area;
    area.resize(1240, 640);
    area.show();
    ws->Cfg().Trace.TraceDetail = 0;
    CTraceWnd* wnd = Place(area, ws->Hub(), ws->Cfg().Trace);
    CTraceView& view = *wnd->view();
    view.timer()->stop();
    ASSERT_TRUE(ws->GoOnline());
    emutest::PacedBursts bursts(kPerChannel, CCanRxMsgQueue::kCapacity / 2, [](uint32_t i) {
        Frame f;
        f.id = 0x555;
        f.data[0] = static_cast<uint8_t>(i);
        return f;
    });
    bursts.Feed(0);

    std::vector<double> drainTicks, traceTicks, updates;
    int ticks = 0;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(kMainTickMs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        QElapsedTimer t;
        t.start();
        ws->Hub().ProcessRxQueue();
        if (++ticks % 10 == 0) {
            QElapsedTimer update;
            update.start();
            view.OnTimer();
            updates.push_back(static_cast<double>(update.nsecsElapsed()) / 1e6);
            view.list()->viewport()->repaint();
            traceTicks.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        } else {
            drainTicks.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        // A run that stops making progress has lost frames: it ends, and the counts below fail.
        const uint32_t traced = ws->Hub().TraceRing().SeqCounter();
        if (!bursts.Feed(traced) || traced >= 2 * kPerChannel) loop.quit();
    });
    tick.start();
    loop.exec();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    ws->GoOffline();
    view.OnTimer();

    const uint32_t traced = ws->Hub().TraceRing().SeqCounter();
    const auto figures = [](const char* what, const std::vector<double>& v) {
        std::printf("[ figures ] %s: %zu ticks, p50 %.2f ms, p95 %.2f ms, max %.2f ms\n", what, v.size(),
                    Percentile(v, 0.5), Percentile(v, 0.95), Percentile(v, 1.0));
    };
    std::printf("[ figures ] %u frames traced in %.1f s\n", traced, seconds);
    figures("drain ticks", drainTicks);
    figures("trace ticks (drain + list and tree update + list repaint)", traceTicks);
    figures("list and tree update alone", updates);
    EXPECT_EQ(traced, 2 * kPerChannel);
    EXPECT_EQ(peer::DroppedFrames(Interface::TwoChannel), 0u);
    tINFO_MSG m;
    while (ws->InfoRing().Pop(m)) EXPECT_NE(m.Source, CCanMsgDataHub::kDropSource) << m.Text;
    EXPECT_EQ(view.listModel()->rowCount(), static_cast<int>(CCanMsgTraceRing::kCapacity));
    EXPECT_EQ(view.listModel()->Row(view.listModel()->rowCount() - 1).SeqNo, traced);
}

}  // namespace
