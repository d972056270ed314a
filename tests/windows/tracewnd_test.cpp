// The trace window: pause, clear, the commands on the trace settings and the display filter, closing.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTimer>
#include <QToolBar>

#include <cstdlib>
#include <mutex>

#include "tests/windows/tracetest.h"
#include "windows/tracetext.h"
#include "windows/tracewnd.h"

using hubtest::Frame;

namespace {

struct Rig : tracetest::HubRig {
    void Push(uint32_t n) { HubRig::Push(n, 3); }
};

QAction* Command(CTraceWnd& wnd, const char* name) {
    return wnd.toolBar()->findChild<QAction*>(QString::fromLatin1(name));
}

TEST(TraceView, PausedListKeepsItsRowsAndTheTreeItsCopy) {
    Rig rig;
    CTraceView view(rig.hub, rig.cfg.Trace);
    view.timer()->stop();
    QAbstractItemModelTester listTester(view.listModel(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester treeTester(view.treeModel(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
    rig.Push(100);
    EXPECT_EQ(view.OnTimer(), 100);
    ASSERT_EQ(view.treeModel()->rowCount(), 3);
    const double nodeTime = view.treeModel()->NodeRow(0).TimeMs;

    view.SetPaused(true);
    ASSERT_TRUE(view.IsPaused());
    ASSERT_TRUE(view.tree()->IsPaused());
    // The ring wraps while paused, and a new identifier appears.
    rig.Push(25000);
    rig.hub.AddToTraceMap(Frame(0x7FF, 0, 1, 1e6));
    EXPECT_EQ(view.OnTimer(), 0);
    CTraceListModel& list = *view.listModel();
    ASSERT_EQ(list.rowCount(), 100);
    for (int r = 0; r < 100; ++r) {
        ASSERT_EQ(list.Row(r).SeqNo, static_cast<uint32_t>(r + 1));
        ASSERT_EQ(list.data(list.index(r, trace::kName)).toString(), QString("%1  ").arg(r + 1));
    }
    ASSERT_EQ(view.treeModel()->rowCount(), 3);
    EXPECT_EQ(view.treeModel()->NodeRow(0).TimeMs, nodeTime);

    view.SetPaused(false);
    EXPECT_EQ(view.OnTimer(), static_cast<int>(CCanMsgTraceRing::kCapacity));
    EXPECT_EQ(list.Row(list.rowCount() - 1).SeqNo, 25101u);
    ASSERT_EQ(view.treeModel()->rowCount(), 4);
    EXPECT_GT(view.treeModel()->NodeRow(0).TimeMs, nodeTime);
}

// The live tree measures quiet keys against the hub's clock while the online probe says the bus is online,
// so an identifier seen once after a burst that took every node gets one on a silent bus; offline (or in a
// replay) frame time stops with the frames and it gets none.
TEST(TraceView, OnlineTheLiveTreeMeasuresQuietAgainstTheHubClock) {
    for (const bool online : {true, false}) {
        SCOPED_TRACE(online ? "online" : "offline");
        CAppCfg cfg;
        CInfoMsgRing info;
        vex::ManualClock clock;
        CCanMsgDataHub hub(cfg, info, clock);
        CTraceView view(hub, cfg.Trace);
        view.timer()->stop();
        view.SetOnlineProbe([online] { return online; });
        for (uint32_t i = 0; i < 600; ++i) hub.AddToTraceMap(Frame(0x100 + i, 0, 0, i / 16.0));
        hub.AddToTraceMap(Frame(0x7FF, 0, 0, 38.0));
        view.OnTimer();
        CTraceTreeModel& tree = *view.treeModel();
        ASSERT_EQ(tree.rowCount(), CTraceTreeModel::kMaxNodes);
        auto shown = [&tree] {
            for (int r = 0; r < tree.rowCount(); ++r)
                if (tree.NodeRow(r).MsgId == 0x7FF) return true;
            return false;
        };
        for (int tick = 0; tick < 110 && !shown(); ++tick) {
            clock.AdvanceMs(CTraceView::kTimerMs);
            view.OnTimer();
        }
        EXPECT_EQ(shown(), online);
    }
}

TEST(TraceView, ClearEmptiesTheTraceAndBothBodies) {
    for (bool paused : {false, true}) {
        Rig rig;
        CTraceView view(rig.hub, rig.cfg.Trace);
        view.timer()->stop();
        rig.Push(50);
        view.OnTimer();
        view.SetPaused(paused);
        rig.Push(10);
        view.ClearTrace();
        {
            std::lock_guard<std::mutex> lock(rig.hub.TraceLock());
            EXPECT_EQ(rig.hub.TraceRing().Count(), 0u);
            EXPECT_EQ(rig.hub.TraceRing().SeqCounter(), 0u);
            EXPECT_TRUE(rig.hub.LiveTraceMap().empty());
            EXPECT_TRUE(rig.hub.ViewTraceMap().empty());
        }
        EXPECT_EQ(view.listModel()->rowCount(), 0);
        EXPECT_EQ(view.treeModel()->rowCount(), 0);
        view.OnTimer();
        EXPECT_EQ(view.treeModel()->rowCount(), 0) << paused;
        // Only frames after the clear come back (live at once, paused after resuming).
        rig.Push(2);
        view.SetPaused(false);
        view.OnTimer();
        EXPECT_EQ(view.listModel()->rowCount(), 2) << paused;
        EXPECT_EQ(view.treeModel()->rowCount(), 2) << paused;
    }
}

// "Fellow" follows the newest rows: the newest row becomes the current one and is also scrolled into
// view, because a focus state alone would leave it off screen. The list scrolls only when rows were
// added (a list that did not change stays where the user scrolled it), and when it is shown again.
TEST(TraceView, FellowMakesTheNewestRowCurrentAndScrollsItIntoViewOnlyWhenRowsCame) {
    for (uint8_t fellow : {0, 1}) {
        SCOPED_TRACE(fellow);
        Rig rig;
        rig.cfg.Trace.Fellow = fellow;
        rig.cfg.Trace.TraceDetail = 0;
        CTraceView view(rig.hub, rig.cfg.Trace);
        view.timer()->stop();
        view.resize(800, 300);
        view.show();
        CTraceListCtrl& list = *view.list();
        const auto newestInView = [&] {
            const QModelIndex newest = view.listModel()->index(view.listModel()->rowCount() - 1, 0);
            return list.viewport()->rect().intersects(list.visualRect(newest));
        };
        rig.Push(500);
        view.OnTimer();
        const QModelIndex current = list.currentIndex();
        if (!fellow) {
            EXPECT_FALSE(current.isValid());
            EXPECT_FALSE(newestInView());
            continue;
        }
        EXPECT_EQ(current.row(), 499);
        EXPECT_TRUE(newestInView());

        // The user scrolls up; a tick without new rows leaves the list there.
        list.scrollToTop();
        view.OnTimer();
        EXPECT_FALSE(newestInView());
        rig.Push(1);
        view.OnTimer();
        EXPECT_EQ(list.currentIndex().row(), 500);
        EXPECT_TRUE(newestInView());

        // Back from the tree, the list shows its newest row again.
        list.scrollToTop();
        rig.cfg.Trace.TraceDetail = 1;
        view.ApplySettings();
        rig.cfg.Trace.TraceDetail = 0;
        view.ApplySettings();
        EXPECT_TRUE(newestInView());
    }
}

// Paint events a widget gets, with their regions.
struct PaintSpy : QObject {
    QRegion painted;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(e)->region();
            ++paints;
        }
        return false;
    }
};

QImage Grab(QWidget* widget) {
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool Near(QRgb a, QRgb b, int within = 2) {
    return std::abs(qRed(a) - qRed(b)) <= within && std::abs(qGreen(a) - qGreen(b)) <= within &&
           std::abs(qBlue(a) - qBlue(b)) <= within;
}

// The list stripes its rows in the two row colours, below the last row too, and paints the selected
// row in the highlight colour; cells with text carry ink, the empty first column (no "OnLine") none.
TEST(TraceList, RowsStripedTheSelectedRowHighlighted) {
    Rig rig;
    rig.cfg.Trace.TraceDetail = 0;
    rig.cfg.Trace.OnLine = 0;
    CTraceView view(rig.hub, rig.cfg.Trace);
    view.timer()->stop();
    view.resize(1250, 300);
    view.show();
    rig.Push(3);
    view.OnTimer();
    CTraceListCtrl& list = *view.list();
    list.selectionModel()->select(view.listModel()->index(1, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list.scrollToTop();
    QApplication::processEvents();
    const QImage image = Grab(list.viewport());
    const QRgb even = vex::ColorFromRef(CTraceListModel::kEvenRowColour).rgb();
    const QRgb odd = vex::ColorFromRef(CTraceListModel::kOddRowColour).rgb();
    const QRgb highlight = list.palette().color(QPalette::Active, QPalette::Highlight).rgb();
    const QRgb highlightInactive = list.palette().color(QPalette::Inactive, QPalette::Highlight).rgb();
    const int rowHeight = list.rowHeight(0);
    const int lastColumnRight = list.columnViewportPosition(15) + list.columnWidth(15);
    ASSERT_LT(lastColumnRight + 2, image.width());
    for (int row = 0; row < 6; ++row) {
        SCOPED_TRACE(row);
        const int y = row * rowHeight + 1;
        const QRgb cellCorner = image.pixel(list.columnViewportPosition(trace::kChan) + 1, y);
        const QRgb rightOfColumns = image.pixel(lastColumnRight + 1, y);
        if (row == 1) {
            EXPECT_TRUE(cellCorner == highlight || cellCorner == highlightInactive);
            EXPECT_EQ(rightOfColumns, odd);  // the stripe goes on beside the selection
        } else {
            EXPECT_EQ(cellCorner, row % 2 == 0 ? even : odd);
            EXPECT_EQ(rightOfColumns, row % 2 == 0 ? even : odd);
        }
    }
    auto inkIn = [&](int column, int row) {
        int ink = 0;
        const int x0 = list.columnViewportPosition(column);
        for (int y = row * rowHeight; y < (row + 1) * rowHeight; ++y)
            for (int x = x0; x < x0 + list.columnWidth(column); ++x) ink += qGray(image.pixel(x, y)) < 110;
        return ink;
    };
    EXPECT_GT(inkIn(trace::kChan, 0), 0);
    EXPECT_GT(inkIn(trace::kId, 2), 0);
    EXPECT_EQ(inkIn(trace::kName, 0), 0);
}

// Message nodes carry image 0 and signal rows image 1, both in the model and on screen, left in the
// first cell; a node whose frame did not change is not repainted.
TEST(TraceTree, ImagesOfNodesAndSignalRowsAndRepaintsOfChangedRowsOnly) {
    Rig rig;
    rig.cfg.CanDatabases.push_back(hubtest::Db(
        "db", 1,
        {hubtest::Msg("Engine", 0x100, 0, {hubtest::Sig("Speed", 0, 16), hubtest::Sig("Temp", 16, 8)})}));
    rig.hub.Reset();
    rig.cfg.Trace.TraceDetail = 1;
    CTraceView view(rig.hub, rig.cfg.Trace);
    view.timer()->stop();
    view.resize(900, 300);
    view.show();
    rig.Push(3);  // 0x100 (known, two signals), 0x101, 0x102
    view.OnTimer();
    CTraceTreeCtrl& tree = *view.tree();
    const CTraceTreeModel& model = *view.treeModel();
    ASSERT_EQ(model.rowCount(), 3);
    tree.expandAll();
    QApplication::processEvents();

    const QModelIndex node = model.index(0, 0), signal = model.index(0, 0, node);
    ASSERT_TRUE(signal.isValid());
    EXPECT_EQ(model.data(node, Qt::DecorationRole).value<QImage>(),
              CTraceTreeModel::Image(CTraceTreeModel::kMessageImage));
    EXPECT_EQ(model.data(signal, Qt::DecorationRole).value<QImage>(),
              CTraceTreeModel::Image(CTraceTreeModel::kSignalImage));
    EXPECT_FALSE(model.data(model.index(0, trace::kId), Qt::DecorationRole).isValid());
    EXPECT_NE(CTraceTreeModel::Image(0), CTraceTreeModel::Image(1));

    const QImage shot = Grab(tree.viewport());
    for (const QModelIndex& index : {node, signal, model.index(2, 0)}) {
        SCOPED_TRACE(index.internalId());
        const QRect at = tree.ImageRect(index);
        ASSERT_EQ(at.size(), QSize(16, 16));
        EXPECT_GE(at.left(), tree.visualRect(index).left());
        QImage expected(16, 16, QImage::Format_RGB32);
        expected.fill(Qt::white);
        {
            QPainter p(&expected);
            p.drawImage(0, 0, CTraceTreeModel::Image(CTraceTreeModel::ImageOf(index)));
        }
        int differ = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                differ += !Near(shot.pixel(at.left() + x, at.top() + y), expected.pixel(x, y));
        EXPECT_EQ(differ, 0);
    }

    // Only the second node's identifier gets a new frame: only its row is painted.
    PaintSpy spy;
    tree.viewport()->installEventFilter(&spy);
    rig.hub.AddToTraceMap(Frame(0x101, 0, 0, 500.0, {9}));
    view.OnTimer();
    QApplication::processEvents();
    ASSERT_GT(spy.paints, 0);
    const QRect changed = tree.visualRect(model.index(1, 0));
    EXPECT_TRUE(spy.painted.intersects(changed));
    for (int row : {0, 2}) {
        const QRect still = tree.visualRect(model.index(row, 0));
        EXPECT_FALSE(spy.painted.intersects(QRect(0, still.top(), tree.viewport()->width(), still.height())))
            << row;
    }
    EXPECT_FALSE(spy.painted.intersects(tree.visualRect(signal)));
}

TEST(TraceView, BodiesShareTheColumnLayoutAndHeaderClicksSortTheTree) {
    Rig rig;
    CTraceView view(rig.hub, rig.cfg.Trace);
    view.timer()->stop();
    QHeaderView* listHeader = view.list()->horizontalHeader();
    QHeaderView* treeHeader = view.tree()->header();
    for (int c = 0; c < trace::kColumnCount; ++c)
        EXPECT_EQ(treeHeader->sectionSize(c), listHeader->sectionSize(c));
    listHeader->resizeSection(4, 200);
    EXPECT_EQ(treeHeader->sectionSize(4), 200);
    treeHeader->resizeSection(0, 90);
    EXPECT_EQ(listHeader->sectionSize(0), 90);

    rig.Push(3);
    view.OnTimer();
    ASSERT_EQ(view.treeModel()->NodeRow(0).MsgId, 0x100u);
    emit listHeader->sectionClicked(trace::kId);  // ascending
    emit treeHeader->sectionClicked(trace::kId);  // descending
    EXPECT_EQ(view.treeModel()->NodeRow(0).MsgId, 0x102u);
}

TEST(TraceWnd, CommandsOnTheTraceSettings) {
    Rig rig;
    tCFG_SET_TRACE& s = rig.cfg.Trace;  // the defaults: every switch 1
    ASSERT_EQ(s.TraceDetail, 1);
    CTraceWnd wnd(rig.hub, s);
    wnd.view()->timer()->stop();
    wnd.show();
    EXPECT_TRUE(wnd.view()->tree()->isVisible());
    EXPECT_FALSE(wnd.view()->list()->isVisible());

    QAction* resume = Command(wnd, "actResume");
    QAction* pause = Command(wnd, "actPause");
    EXPECT_FALSE(resume->isEnabled());
    EXPECT_TRUE(pause->isEnabled());
    pause->trigger();
    EXPECT_TRUE(wnd.view()->IsPaused());
    EXPECT_TRUE(resume->isEnabled());
    EXPECT_FALSE(pause->isEnabled());
    // The owner clears the flags when going online.
    wnd.view()->SetPaused(false);
    EXPECT_FALSE(resume->isEnabled());
    EXPECT_TRUE(pause->isEnabled());

    EXPECT_TRUE(Command(wnd, "actTreeMode")->isChecked());
    Command(wnd, "actListMode")->trigger();
    EXPECT_EQ(s.TraceDetail, 0);
    EXPECT_TRUE(Command(wnd, "actListMode")->isChecked());
    EXPECT_FALSE(Command(wnd, "actTreeMode")->isChecked());
    Command(wnd, "actListMode")->trigger();  // again: stays in list mode
    EXPECT_TRUE(Command(wnd, "actListMode")->isChecked());
    EXPECT_TRUE(wnd.view()->list()->isVisible());
    EXPECT_FALSE(wnd.view()->tree()->isVisible());
    Command(wnd, "actTreeMode")->trigger();
    EXPECT_EQ(s.TraceDetail, 1);
    EXPECT_TRUE(wnd.view()->tree()->isVisible());

    rig.hub.AddToTraceMap(Frame(0x123, 0, 0, 10.0, {0x1F}));
    rig.hub.AddToTraceMap(Frame(0x123, 0, 0, 35.5, {0x1F}));
    wnd.view()->OnTimer();
    const CTraceListModel& list = *wnd.view()->listModel();
    const CTraceTreeModel& tree = *wnd.view()->treeModel();
    auto listCell = [&](int column) { return list.data(list.index(1, column)).toString(); };
    auto treeCell = [&](int column) { return tree.data(tree.index(0, column)).toString(); };
    EXPECT_EQ(listCell(trace::kId), "0x00000123");
    EXPECT_EQ(listCell(trace::kData0), "1F");
    EXPECT_EQ(listCell(trace::kTime), "25.500");
    EXPECT_EQ(treeCell(trace::kTime), "25.5");
    QSignalSpy listChanged(&list, &QAbstractItemModel::dataChanged);
    QSignalSpy treeChanged(&tree, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(Command(wnd, "actNumHex")->isChecked());
    Command(wnd, "actNumHex")->trigger();
    EXPECT_EQ(s.NumHex, 0);
    EXPECT_FALSE(Command(wnd, "actNumHex")->isChecked());
    EXPECT_EQ(listCell(trace::kId), "291");
    EXPECT_EQ(listCell(trace::kData0), "31");
    EXPECT_EQ(treeCell(trace::kId), "291");
    Command(wnd, "actDeltaTime")->trigger();
    EXPECT_EQ(s.DeltaTime, 0);
    EXPECT_EQ(listCell(trace::kTime), "35.500");
    EXPECT_EQ(treeCell(trace::kTime), "35.5");
    EXPECT_EQ(listChanged.count(), 2);  // both bodies repainted per toggle
    EXPECT_EQ(treeChanged.count(), 2);
    // A switch changed in place (a configuration loaded) shows on the next tick.
    s.NumHex = 1;
    s.TraceDetail = 0;
    wnd.view()->OnTimer();
    EXPECT_EQ(listCell(trace::kId), "0x00000123");
    EXPECT_TRUE(wnd.view()->list()->isVisible());
    EXPECT_TRUE(Command(wnd, "actNumHex")->isChecked());
    EXPECT_FALSE(Command(wnd, "actDeltaTime")->isChecked());

    Command(wnd, "actClear")->trigger();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_TRUE(rig.hub.LiveTraceMap().empty());
}

TEST(TraceWnd, DisplayFilterIsEditedOnACopy) {
    Rig rig;
    CTraceWnd wnd(rig.hub, rig.cfg.Trace);
    QAction* filter = Command(wnd, "actFilter");
    EXPECT_FALSE(filter->isEnabled());  // no dialog to edit with
    bool accept = false;
    int runs = 0;
    wnd.SetFilterEditor([&](CCanMsgFilter& f, QWidget* parent) {
        ++runs;
        EXPECT_EQ(parent, &wnd);
        EXPECT_NE(&f, &rig.cfg.Trace.Filter);
        f.Enable = 1;
        f.MsgMap[0x123] = {"x", 0x123};
        return accept;
    });
    ASSERT_TRUE(filter->isEnabled());
    filter->trigger();
    EXPECT_EQ(rig.cfg.Trace.Filter.Enable, 0);  // cancelled: unchanged
    accept = true;
    filter->trigger();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(rig.cfg.Trace.Filter.Enable, 1);
    EXPECT_EQ(rig.cfg.Trace.Filter.MsgMap.count(0x123), 1u);
}

}  // namespace
