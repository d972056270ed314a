// The graph window over a workspace: rebuilding from the configuration, adding and removing signals, the
// value list, the tool bar, closing, the layout record, the replay watch, and the settings dialogs.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSplitter>
#include <QToolBar>

#include "config/colortable.h"
#include "tests/windows/graphtest.h"
#include "windows/graphdlg.h"
#include "windows/graphsigcfg.h"

using graphtest::Graph;
using graphtest::GraphSig;
using graphtest::Sample;

namespace {

class GraphWnd : public graphtest::GraphWndTest {
protected:
    std::vector<std::pair<uint32_t, std::string>> Rows() {
        std::vector<std::pair<uint32_t, std::string>> out;
        for (const auto& r : List().model()->Rows()) out.emplace_back(r.MsgKey, r.SigName);
        return out;
    }
    void Feed(std::initializer_list<tCAN_SIG_SAMPLE_DATA> samples) {
        for (const auto& s : samples) ws->Hub().SampleFifo().Push(s);
        wnd->OnTimer();
    }
    std::string Shown(int row) { return List().model()->Rows()[static_cast<size_t>(row)].Value; }
};

tCAN_DB_SEL_CAN_SIG Pick(uint32_t key, CCanSignal sig) {
    return {key, 0, std::move(sig)};
}

TEST_F(GraphWnd, RebuildShowsEachSignalOnceInConfigurationOrder) {
    auto& graph = ws->Cfg().Graph;
    tCFG_SET_GRAPH_SIG square = GraphSig("B", 0x00FF00);
    square.PointType = 2;
    Graph(graph, 0x200, {GraphSig("A"), square});
    Graph(graph, 0x100, {GraphSig("A")});  // the same name in another message is another signal
    graph.XAxisTimeLength = -5;
    graph.YAxisShowMode = 2;
    QAbstractItemModelTester tester(List().model());
    for (int i = 0; i < 3; ++i) wnd->ApplyGraphSigCfg();

    const std::vector<std::pair<uint32_t, std::string>> want{{0x100, "A"}, {0x200, "A"}, {0x200, "B"}};
    EXPECT_EQ(Rows(), want);
    EXPECT_EQ(List().Values().size(), 3u);  // one value entry per signal, however often rebuilt
    ASSERT_EQ(Curves().CurveMap().size(), 3u);
    int inUse = 0;
    for (int s = 0; s < CGraphPlot::kCurveCount; ++s) inUse += Engine().Curve(s).InUse ? 1 : 0;
    EXPECT_EQ(inUse, 3);
    const CGraphPlotCurve& b = Engine().Curve(Curves().SlotOf(0x200, "B"));
    EXPECT_EQ(b.Color, 0x00FF00u);
    EXPECT_EQ(b.PointType, 2);  // the stored point type, not always a round dot
    EXPECT_TRUE(b.Shown);
    EXPECT_EQ(Engine().XAxis().TimeLength(), 20000);  // a length of 0 or less is the default
    EXPECT_EQ(Engine().YAxisShowMode(), 2);
}

TEST_F(GraphWnd, AddingSignalsFromThePicker) {
    auto& graph = ws->Cfg().Graph;
    Graph(graph, 0x100, {GraphSig("A")});
    wnd->ApplyGraphSigCfg();
    CCanSignal u8 = hubtest::Sig("u8", 0, 8);
    CCanSignal s8 = hubtest::Sig("s8", 8, 8, true, true, 0.5, 10);
    CCanSignal lim = hubtest::Sig("lim", 16, 4);
    lim.PhyMin = -5;
    lim.PhyMax = 5;
    picks = {Pick(0x100, hubtest::Sig("A", 0, 8)), Pick(0x101, u8), Pick(0x40000102, s8), Pick(0x101, lim),
             Pick(0x101, u8)};
    wnd->AddGraphSignals();

    ASSERT_EQ(shownToPicker.size(), 1u);  // what is graphed is not offered again
    EXPECT_EQ(shownToPicker[0].CanSig.Name, "A");
    const struct {
        uint32_t key;
        size_t index;
        const char* name;
        double min, max;
        uint32_t color;  // the colour table's entries in turn
    } want[] = {{0x101, 0, "u8", 0, 255, 0x0000FF},
                {0x101, 1, "lim", -5, 5, 0xFF0000},
                {0x40000102, 0, "s8", -127 * 0.5 + 10, 127 * 0.5 + 10, 0x00FF00}};
    for (const auto& w : want) {
        SCOPED_TRACE(w.name);
        const tCFG_SET_GRAPH_MSG& msg = graph.MsgMap.at(w.key);
        EXPECT_EQ(msg.MsgAppId, w.key);
        EXPECT_EQ(msg.UpdateCounter, 0);
        ASSERT_LT(w.index, msg.SigArray.size());
        const tCFG_SET_GRAPH_SIG& sig = msg.SigArray[w.index];
        EXPECT_EQ(sig.CanSig.Name, w.name);
        EXPECT_EQ(sig.ShowMin, w.min);
        EXPECT_EQ(sig.ShowMax, w.max);
        EXPECT_EQ(sig.Color, w.color);
        EXPECT_EQ(sig.PointType, 1);
    }
    EXPECT_EQ(graph.MsgMap.at(0x101).SigArray.size(), 2u);
    const std::vector<std::pair<uint32_t, std::string>> rows{
        {0x100, "A"}, {0x101, "u8"}, {0x101, "lim"}, {0x40000102, "s8"}};
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Curves().CurveMap().size(), 4u);

    // Cancelled: nothing changes.
    const tCFG_SET_GRAPH before = graph;
    pickerAccepts = false;
    picks = {Pick(0x300, u8)};
    wnd->AddGraphSignals();
    EXPECT_EQ(graph, before);
    // Past the 60th, the colours start over from the first entry.
    CColorTable colors;
    tCFG_SET_GRAPH many;
    std::vector<tCAN_DB_SEL_CAN_SIG> sixtyOne;
    for (int i = 0; i < 61; ++i) sixtyOne.push_back(Pick(0x1, hubtest::Sig(graphtest::Numbered("s", i), 0, 8)));
    EXPECT_EQ(AddPickedGraphSignals(many, sixtyOne, colors), 61);
    EXPECT_EQ(many.MsgMap.at(1).SigArray[60].Color, many.MsgMap.at(1).SigArray[0].Color);
}

TEST_F(GraphWnd, RemovingTheSelectedSignalFreesItsCurve) {
    auto& graph = ws->Cfg().Graph;
    Graph(graph, 0x100, {GraphSig("A"), GraphSig("B")});
    wnd->ApplyGraphSigCfg();
    online = true;
    wnd->StartGraph();
    const int32_t slotA = Curves().SlotOf(0x100, "A");
    Feed({Sample(0x100, "A", 10, 1), Sample(0x100, "A", 20, 2)});
    ASSERT_EQ(Engine().Curve(slotA).Live.Count(), 2);

    List().RemoveSelectedSignal();
    EXPECT_EQ(Messages(), std::vector<QString>{QStringLiteral("请选中其中一项。")});
    List().OnClickRow(0);
    EXPECT_EQ(Engine().CurrentCurve(), slotA);
    List().RemoveSelectedSignal();
    ASSERT_EQ(graph.MsgMap.at(0x100).SigArray.size(), 1u);
    EXPECT_EQ(graph.MsgMap.at(0x100).SigArray[0].CanSig.Name, "B");
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_EQ(List().SelectedRow(), -1);
    EXPECT_EQ(Curves().SlotOf(0x100, "A"), -1);

    // Another signal takes the freed slot while the graph runs: it shows nothing of A, and late samples
    // of A go nowhere.
    picks = {Pick(0x100, hubtest::Sig("C", 0, 8))};
    wnd->AddGraphSignals();
    ASSERT_EQ(Curves().SlotOf(0x100, "C"), slotA);
    Feed({Sample(0x100, "A", 30, 3)});
    EXPECT_EQ(Engine().Curve(slotA).Live.Count(), 0);
    EXPECT_EQ(Engine().Curve(slotA).YAxis.Name, "C");

    // The last signal of a message leaves the message's entry in place.
    List().OnClickRow(0);
    List().RemoveSelectedSignal();
    List().OnClickRow(0);
    List().RemoveSelectedSignal();
    ASSERT_EQ(graph.MsgMap.count(0x100), 1u);
    EXPECT_TRUE(graph.MsgMap.at(0x100).SigArray.empty());
}

TEST_F(GraphWnd, A257thSignalIsListedWithoutACurve) {
    std::vector<tCFG_SET_GRAPH_SIG> sigs;
    for (int i = 0; i < 257; ++i) sigs.push_back(GraphSig(graphtest::Numbered("s", i)));
    Graph(ws->Cfg().Graph, 0x100, std::move(sigs));
    wnd->ApplyGraphSigCfg();
    EXPECT_EQ(List().model()->rowCount(), 257);
    EXPECT_EQ(Curves().CurveMap().size(), 256u);
    EXPECT_EQ(Curves().SlotOf(0x100, "s256"), -1);
    wnd->StartGraph();
    Feed({Sample(0x100, "s256", 5, 7)});
    EXPECT_EQ(List().Values().back().ValueText, "7");  // the list still shows its value
}

TEST_F(GraphWnd, ValueColumnFollowsSamplesPauseAndSilence) {
    Graph(ws->Cfg().Graph, 0x100, {GraphSig("A"), GraphSig("B")});
    wnd->ApplyGraphSigCfg();
    online = true;
    wnd->StartGraph();
    Feed({Sample(0x100, "A", 100, 1), Sample(0x100, "B", 120, 2), Sample(0x100, "A", 200, 3),
          Sample(0x999, "A", 1, 9)});
    EXPECT_EQ(Shown(0), "");  // shown at the next 500 ms refresh
    List().OnTimer(500);
    EXPECT_EQ(Shown(0), "3");
    EXPECT_EQ(Shown(1), "2");
    // The curve has the samples at their frames' times.
    const CGraphSampleRing& a = Engine().Curve(Curves().SlotOf(0x100, "A")).Live;
    ASSERT_EQ(a.Count(), 2);
    EXPECT_EQ(a.At(1).Time, 200);
    EXPECT_EQ(a.At(1).Value, 3);

    // Paused, the column stands still while the values go on; run shows the latest at the next refresh.
    wnd->OnPause();
    EXPECT_TRUE(Engine().IsFrozen());
    clock.AdvanceMs(3000);
    Feed({Sample(0x100, "A", 300, 4)});
    List().OnTimer(500);
    EXPECT_EQ(Shown(0), "3");
    wnd->OnRun();
    EXPECT_FALSE(Engine().IsFrozen());
    List().OnTimer(500);
    EXPECT_EQ(Shown(0), "4");
    // B has been silent for more than 5 s: "--" at the first 200 ms check, shown at the next refresh.
    clock.AdvanceMs(2100);
    List().OnTimer(200);
    List().OnTimer(500);
    EXPECT_EQ(Shown(0), "4");
    EXPECT_EQ(Shown(1), "--");
}

TEST_F(GraphWnd, ToolBarFollowsOnlineReplayAndFrozenState) {
    const struct {
        const char* name;
        bool online, replaying, started, paused;
        int mode;
        bool run, pause, pan, ends, cursor, panChecked, cursorChecked;
    } cases[] = {
        {"offline, stopped", false, false, false, false, 1, false, false, false, false, false, false, false},
        {"online, running", true, false, true, false, 1, false, true, false, false, false, false, false},
        {"online, paused, pan", true, false, true, true, 1, true, false, true, true, true, true, false},
        {"online, paused, cursor", true, false, true, true, 2, true, false, true, false, true, false, true},
        {"replaying, running", false, true, true, false, 1, false, false, false, false, false, false, false},
        {"replaying, stopped", false, true, false, false, 2, false, false, true, false, true, false, true},
    };
    QToolBar* bar = wnd->toolBar();
    auto act = [bar](const char* name) { return bar->findChild<QAction*>(name); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        online = c.online;
        replaying = c.replaying;
        if (c.started)
            wnd->StartGraph();
        else
            wnd->StopGraph();
        if (c.paused) wnd->OnPause();
        c.mode == 1 ? wnd->OnPan() : wnd->OnCursor();
        wnd->UpdateCommands();
        EXPECT_EQ(act("actRun")->isEnabled(), c.run);
        EXPECT_EQ(act("actPause")->isEnabled(), c.pause);
        EXPECT_EQ(act("actPan")->isEnabled(), c.pan);
        EXPECT_EQ(act("actToStart")->isEnabled(), c.ends);
        EXPECT_EQ(act("actToEnd")->isEnabled(), c.ends);
        EXPECT_EQ(act("actCursor")->isEnabled(), c.cursor);
        EXPECT_EQ(act("actPan")->isChecked(), c.panChecked);
        EXPECT_EQ(act("actCursor")->isChecked(), c.cursorChecked);
        for (const char* always : {"actAdd", "actRemove", "actPanel"}) EXPECT_TRUE(act(always)->isEnabled());
    }
}

TEST_F(GraphWnd, ClosingHidesAndKeepsPlotting) {
    Graph(ws->Cfg().Graph, 0x100, {GraphSig("A")});
    wnd->ApplyGraphSigCfg();
    wndtest::ShowActive(*wnd, 800, 400);
    online = true;
    wnd->StartGraph();
    EXPECT_FALSE(wnd->close());
    EXPECT_FALSE(wnd->isVisible());
    EXPECT_TRUE(wnd->IsPlotting());
    Feed({Sample(0x100, "A", 10, 1)});
    wnd->show();
    EXPECT_EQ(List().model()->rowCount(), 1);
    EXPECT_EQ(Engine().Curve(Curves().SlotOf(0x100, "A")).Live.Count(), 1);
}

TEST_F(GraphWnd, LayoutRecordCopiesRowZeroIntoRowOne) {
    tWND_SPLITTER saved{7, 150, 20, 500, 30, 0, 0, 999, 998};
    wnd->RestoreLayout(saved);
    wndtest::ShowActive(*wnd, 700, 400);
    tWND_SPLITTER out = saved;
    wnd->SaveLayout(out);
    const tWND_SPLITTER want{7, 150, 20, out.C1, 30, out.R0, out.R0Min, out.R0, out.R0Min};
    EXPECT_EQ(out, want);
    EXPECT_GT(out.R0, 0);
    // Without a saved layout the list takes a fifth of the width.
    CGraphWnd fresh(GraphWndDeps{ws->Hub(), ws->Cfg().Graph, ws->Colors(), {}, {}});
    wndtest::ShowActive(fresh, 1000, 400);
    EXPECT_EQ(fresh.splitter()->sizes().value(0), fresh.splitter()->width() / 5);
}

TEST_F(GraphWnd, ReplayWatchStopsOnceThePageEndIsDrawn) {
    Graph(ws->Cfg().Graph, 0x100, {GraphSig("A")});
    wnd->ApplyGraphSigCfg();
    replaying = true;
    wnd->SetPageEndSource([] { return 3000.0; });
    wnd->SetReplayWatch(true);
    wnd->StartGraph();
    Feed({Sample(0x100, "A", 1000, 1), Sample(0x100, "A", 2000, 2)});
    EXPECT_TRUE(wnd->IsPlotting());
    Engine().Tick();
    Feed({Sample(0x100, "A", 3000, 3)});
    EXPECT_FALSE(wnd->IsPlotting());
    EXPECT_FALSE(wnd->ReplayWatch());
    EXPECT_TRUE(Engine().IsFrozen());
    // The end of the data is shown.
    EXPECT_DOUBLE_EQ(Engine().XAxis().WindowStart(), 3000 + CGraphPlot::kRefreshPeriod - 20000);
}

TEST_F(GraphWnd, PanelAndSignalSettingsEdits) {
    auto& graph = ws->Cfg().Graph;
    Graph(graph, 0x100, {GraphSig("A", 0x0000FF, 0, 10)});
    graph.XAxisTimeLength = 20000;
    wnd->ApplyGraphSigCfg();
    online = true;
    wnd->StartGraph();
    Feed({Sample(0x100, "A", 1000, 1), Sample(0x100, "A", 60000, 2)});
    Engine().Tick();
    wnd->OnPause();
    // A shorter length while frozen shows the window from the oldest data.
    wnd->SetPanelEditor([](GraphPanelValues& v, QWidget*) {
        v.TimeLength = 5000;
        v.GridShown = false;
        v.BackgroundColor = 0x123456;
        return true;
    });
    wnd->OnPanel();
    EXPECT_EQ(graph.XAxisTimeLength, 5000);
    EXPECT_EQ(graph.GraphGridShow, 0);
    EXPECT_EQ(Engine().BackgroundColor, 0x123456u);
    EXPECT_EQ(Engine().XAxis().TimeLength(), 5000);
    EXPECT_DOUBLE_EQ(Engine().XAxis().WindowStart(), Engine().ScrollStartLimit());
    // Cancel changes nothing.
    wnd->SetPanelEditor([](GraphPanelValues& v, QWidget*) {
        v = GraphPanelValues{};
        return false;
    });
    wnd->OnPanel();
    EXPECT_EQ(graph.XAxisTimeLength, 5000);

    wnd->SetSigEditor([](tCFG_SET_GRAPH_SIG& s, QWidget*) {
        s.ShowMin = -1;
        s.ShowMax = 1;
        s.Color = 0x00FF00;
        s.PointType = 2;
        return true;
    });
    List().OnDoubleClickRow(0);
    const tCFG_SET_GRAPH_SIG& sig = graph.MsgMap.at(0x100).SigArray[0];
    EXPECT_EQ(sig.ShowMin, -1);
    EXPECT_EQ(sig.Color, 0x00FF00u);
    const CGraphPlotCurve& c = Engine().Curve(Curves().SlotOf(0x100, "A"));
    EXPECT_EQ(c.YAxis.Maximum(), 1);
    EXPECT_EQ(c.Color, 0x00FF00u);
    EXPECT_EQ(c.PointType, 2);
    EXPECT_EQ(List().model()->Rows()[0].Color, 0x00FF00u);
}

TEST(GraphDialogs, SignalDialogChecksInOrder) {
    const struct {
        const char* min;
        const char* max;
        const char* message;  // nullptr: accepted
    } cases[] = {
        {"", "1", "请输入一个数字。"},
        {"1x", "1", "请输入一个数字。"},
        {"1", "abc", "请输入一个数字。"},
        {"nan", "1", "请输入一个数字。"},
        {"1", "inf", "请输入一个数字。"},
        {"5", "5", "最大值与最小值不能相等。"},
        {" 5 ", "1", nullptr},
        {"-2.5e1", "1e3", nullptr},
    };
    for (const auto& c : cases) {
        double lo = 99, hi = 99;
        const auto failure = validateGraphSigDlg(QString::fromUtf8(c.min), QString::fromUtf8(c.max), lo, hi);
        if (c.message == nullptr) {
            EXPECT_FALSE(failure) << c.min << " " << c.max;
        } else {
            ASSERT_TRUE(failure) << c.min << " " << c.max;
            EXPECT_EQ(*failure, QString::fromUtf8(c.message));
            EXPECT_EQ(lo, 99);
        }
    }
}

TEST_F(GraphWnd, SettingsDialogsOnScreen) {
    // A stored length not in the list opens as "20[秒]"; OK without choosing stores 20000.
    CGraphPanelSetDlg panel;
    panel.Values.TimeLength = 15000;
    panel.Values.YMode = 2;
    panel.show();
    EXPECT_EQ(panel.timeList()->currentText(), QStringLiteral("20[秒]"));
    EXPECT_EQ(panel.yModeList()->currentText(), QStringLiteral("并行"));
    panel.OnOK();
    EXPECT_EQ(panel.Values.TimeLength, 20000);
    EXPECT_EQ(panel.Values.YMode, 2);
    // Restore defaults, then cancel: nothing handed back.
    CGraphPanelSetDlg second;
    second.Values.GridShown = false;
    second.Values.GridColor = 0x111111;
    second.show();
    second.OnRestoreDefaults();
    EXPECT_TRUE(second.gridCheck()->isChecked());
    EXPECT_EQ(second.yModeList()->currentText(), QStringLiteral("焦点"));
    second.reject();
    EXPECT_FALSE(second.Values.GridShown);
    EXPECT_EQ(second.Values.GridColor, 0x111111u);

    // Minimum 5 and maximum 5 are refused with the message; 5 and 1 are accepted.
    CGraphSigSetDlg sig;
    sig.SigName = "A";
    sig.Unit = "V";
    sig.PointType = 2;
    sig.show();
    EXPECT_EQ(sig.windowTitle(), QStringLiteral("绘图信号设置 - A"));
    EXPECT_EQ(sig.pointList()->currentText(), QStringLiteral("方点"));
    sig.minEdit()->setText("5");
    sig.maxEdit()->setText("5");
    sig.OnOK();
    EXPECT_EQ(prompt.lastText(), QStringLiteral("最大值与最小值不能相等。"));
    EXPECT_TRUE(sig.isVisible());
    prompt.colours.push_back(0x0000FF);
    sig.OnChooseColor();
    sig.maxEdit()->setText("1");
    sig.OnOK();
    EXPECT_EQ(sig.result(), QDialog::Accepted);
    EXPECT_EQ(sig.ShowMin, 5);
    EXPECT_EQ(sig.ShowMax, 1);
    EXPECT_EQ(sig.Color, 0x0000FFu);
}

}  // namespace
