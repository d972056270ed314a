// The graph window online on the emulated bus: a signal of an imported DBC database reaches its curve
// with the frame's time stamp; in the main frame the graph command opens the window, going online and
// offline starts and stops it, and before it is opened the sample FIFO is kept empty.
//
// With VEX_GRAPH_SHOTS set to a folder, the live test saves screenshots of the window.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstdlib>

#include "app/canmsgdatahub.h"
#include "candb/dbcfile.h"
#include "platform/qt/namedmutex.h"
#include "tests/windows/graphtest.h"
#include "ui/app/framechildren.h"
#include "ui/app/mainframe.h"

using namespace vex::emu;

namespace {

void Shot(QWidget& widget, const char* name) {
    const char* dir = std::getenv("VEX_GRAPH_SHOTS");
    if (dir == nullptr || *dir == '\0') return;
    widget.grab().save(QString::fromUtf8(dir) + "/" + name);
}

void RunEvents(int ms, const std::function<void()>& tick) {
    QTimer timer;
    timer.setInterval(10);  // the main frame's tick
    QObject::connect(&timer, &QTimer::timeout, tick);
    timer.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Each data byte follows a slow wave of its own phase, so that the message's signals move smoothly and
// apart.
Frame WaveFrame(uint32_t id, uint32_t n) {
    Frame f;
    f.id = id;
    f.dlc = 8;
    for (size_t k = 0; k < 8; ++k) f.data[k] = static_cast<uint8_t>(128 + 100 * std::sin(n * 0.05 + k * 0.9));
    return f;
}

class GraphOnline : public graphtest::GraphWndTest {};

TEST_F(GraphOnline, DbcSignalReachesItsCurveWithTheFrameTime) {
    VEX_REQUIRE_TESTDATA(dbcDir, "dbc");
    tDBC_IMPORT import;
    ASSERT_EQ(ParseDbcFile(import, (dbcDir / "ford_lincoln_base_pt.dbc").string()), kDbcOk);
    const CCanMsg* msg = nullptr;
    for (const CCanMsg& m : import.Database.Messages) {
        int wide = 0;
        for (const CCanSignal& s : m.Signals) wide += s.BitLen >= 8 && s.Enum == 0 ? 1 : 0;
        if (m.Ext == 0 && m.DL == 8 && wide >= 2) {
            msg = &m;
            break;
        }
    }
    ASSERT_NE(msg, nullptr);
    std::vector<tCAN_DB_SEL_CAN_SIG> picked;
    for (const CCanSignal& s : msg->Signals)
        if (s.BitLen >= 8 && s.Enum == 0 && picked.size() < 3) picked.push_back({MsgKey(msg->id, 0), 0, s});
    tCFG_CAN_DATABASE db;
    db.Name = import.Name;
    db.Database = import.Database;
    ws->Cfg().CanDatabases = {db};
    AddPickedGraphSignals(ws->Cfg().Graph, picked, ws->Colors());
    wnd->ApplyGraphSigCfg();
    wndtest::ShowActive(*wnd, 1100, 520);

    peer::Reset();
    GoOnline();
    online = true;
    wnd->StartGraph();
    uint32_t n = 0;
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, [&] { peer::SendOnce(0, WaveFrame(msg->id, n++)); });
    sender.start(20);
    RunEvents(2600, [this] { ws->Hub().ProcessRxQueue(); });
    sender.stop();
    RunEvents(300, [this] { ws->Hub().ProcessRxQueue(); });
    Shot(*wnd, "graph-live.png");

    // Every frame of the message gave the first signal one sample, at the frame's time, with its value.
    std::vector<tCAN_MSG_TRACE_DATA> frames;
    {
        std::lock_guard<std::mutex> lock(ws->Hub().TraceLock());
        const CCanMsgTraceRing& ring = ws->Hub().TraceRing();
        for (uint32_t i = 0; i < ring.Count(); ++i)
            if (ring.Row(i).MsgId == msg->id) frames.push_back(ring.Row(i));
    }
    const CCanSignal& first = picked[0].CanSig;
    const CGraphSampleRing& curve = Engine().Curve(Curves().SlotOf(picked[0].MsgKey, first.Name)).Live;
    ASSERT_GE(frames.size(), 50u);
    ASSERT_EQ(static_cast<size_t>(curve.Count()), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        double phy = 0;
        std::string text;
        uint32_t raw = 0;
        int32_t sraw = 0;
        const CCanSignal::ConstData data(frames[i].Data);
        const bool ok = first.Sign
                            ? first.GetSignedRawValue(data, sraw) && first.SignedRawToPhyText(sraw, phy, text)
                            : first.GetRawValue(data, raw) && first.UnsignedRawToPhyText(raw, phy, text);
        ASSERT_TRUE(ok);
        EXPECT_EQ(curve.At(static_cast<int32_t>(i)).Time, frames[i].TimeMs) << i;
        EXPECT_EQ(curve.At(static_cast<int32_t>(i)).Value, phy) << i;
    }
    EXPECT_NE(List().model()->Rows()[0].Value, "");

    // Paused, the cursor reads a sample.
    wnd->OnPause();
    wnd->OnCursor();
    QWidget& pane = Curves();
    const QPoint at(pane.width() * 2 / 3, pane.height() / 2);
    QTest::mousePress(&pane, Qt::LeftButton, {}, at);
    EXPECT_TRUE(Engine().ShowCursorReadout());
    pane.repaint();
    Shot(*wnd, "graph-cursor.png");
    QTest::mouseRelease(&pane, Qt::LeftButton, {}, at);
    EXPECT_FALSE(Engine().ShowCursorReadout());
    ws->GoOffline();
}

class GraphFrame : public graphtest::GraphWndTest {};

TEST_F(GraphFrame, OpenedByItsCommandAndDrivenByListening) {
    graphtest::Graph(ws->Cfg().Graph, 0x101, {graphtest::GraphSig("counter")});
    vex::FakeSiblingProbe probe;
    peer::UseDefaultTraffic();
    Select(CAppCfg::kDevNxp);
    CMainFrame frame(*ws, CMainFrame::Options{&probe, 0});
    InstallFrameChildren(frame);
    frame.show();
    frame.OnTimer();
    ASSERT_TRUE(frame.Action(ID_WND_GRAPH)->isEnabled());

    // Online before the window exists: the graphed signal's samples do not pile up.
    frame.RunCommand(ID_START_LISTEN);
    ASSERT_TRUE(ws->IsOnline());
    RunEvents(400, [&] { frame.OnTimer(); });
    DrainIdleGraphSamples(frame);
    EXPECT_EQ(ws->Hub().SampleFifo().Count(), 0u);

    frame.RunCommand(ID_WND_GRAPH);
    ASSERT_NE(frame.GraphWnd(), nullptr);
    auto* graph = qobject_cast<CGraphWnd*>(frame.GraphWnd()->Widget());
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(ws->Cfg().WndLayout.Graph.Show, 1);
    EXPECT_TRUE(graph->IsPlotting());
    EXPECT_EQ(graph->listView()->model()->rowCount(), 1);
    RunEvents(600, [&] { frame.OnTimer(); });
    const CGraphSampleRing& ring =
        graph->curveView()->Engine().Curve(graph->curveView()->SlotOf(0x101, "counter")).Live;
    EXPECT_GE(ring.Count(), 3);
    // While the window plots, the idle drain leaves the samples to it.
    const uint32_t waiting = ws->Hub().SampleFifo().Count();
    ws->Hub().SampleFifo().Push(graphtest::Sample(0x101, "counter", 1, 1));
    DrainIdleGraphSamples(frame);
    EXPECT_EQ(ws->Hub().SampleFifo().Count(), waiting + 1);

    frame.RunCommand(ID_STOP_LISTEN);
    EXPECT_FALSE(graph->IsPlotting());
    EXPECT_TRUE(graph->curveView()->Engine().IsFrozen());
    // A configuration taking effect rebuilds the rows; the layout is saved with row 0 copied into row 1.
    frame.RefreshChildWindows();
    EXPECT_EQ(graph->listView()->model()->rowCount(), 1);
    EXPECT_EQ(graph->listView()->Values().size(), 1u);
    frame.CaptureLayout();
    const tWND_SPLITTER& s = ws->Cfg().WndLayout.Graph.Splitter;
    EXPECT_EQ(s.R1, s.R0);
    EXPECT_GT(s.C1, s.C0);
    // Closing hides the window and clears its flag; the command shows the same window again.
    QMdiSubWindow* sub = nullptr;
    for (QMdiSubWindow* w : frame.MdiArea()->subWindowList())
        if (w->widget() == graph) sub = w;
    ASSERT_NE(sub, nullptr);
    sub->close();
    EXPECT_FALSE(sub->isVisible());
    EXPECT_EQ(ws->Cfg().WndLayout.Graph.Show, 0);
    frame.RunCommand(ID_WND_GRAPH);
    EXPECT_TRUE(sub->isVisible());
    EXPECT_EQ(frame.GraphWnd()->Widget(), graph);
}

}  // namespace
