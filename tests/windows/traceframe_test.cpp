// The trace window in the main frame: its window command, the frame's calls on going online and on a
// configuration taking effect, closing and reopening.
#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolBar>

#include <cstdlib>

#include "ui/app/framechildren.h"
#include "ui/app/mainframe.h"
#include "platform/qt/namedmutex.h"
#include "tests/windows/wndtest.h"
#include "windows/tracewnd.h"

namespace {

class TraceFrame : public wndtest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Select(CAppCfg::kDevNxp);
    }
};

QMdiSubWindow* SubWindowOf(CMainFrame& frame, QWidget* widget) {
    for (QMdiSubWindow* sub : frame.MdiArea()->subWindowList())
        if (sub->widget() == widget) return sub;
    return nullptr;
}

TEST_F(TraceFrame, OpenedByItsCommandAndDrivenByTheFrame) {
    vex::FakeSiblingProbe probe;
    vex::emu::peer::UseDefaultTraffic();
    CMainFrame frame(*ws, CMainFrame::Options{&probe, 0});
    InstallFrameChildren(frame);
    frame.show();
    frame.OnTimer();
    ASSERT_TRUE(frame.Action(ID_WND_TRACE)->isEnabled());

    frame.RunCommand(ID_WND_TRACE);
    ASSERT_NE(frame.TraceWnd(), nullptr);
    auto* trace = qobject_cast<CTraceWnd*>(frame.TraceWnd()->Widget());
    ASSERT_NE(trace, nullptr);
    QMdiSubWindow* sub = SubWindowOf(frame, trace);
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->isVisible());
    EXPECT_EQ(ws->Cfg().WndLayout.Trace.Show, 1);
    EXPECT_TRUE(trace->toolBar()->findChild<QAction*>("actFilter")->isEnabled());

    // Going online shows live frames even when the window was paused.
    trace->OnPause();
    frame.RunCommand(ID_START_LISTEN);
    ASSERT_TRUE(ws->IsOnline());
    EXPECT_FALSE(trace->view()->IsPaused());
    EXPECT_FALSE(trace->view()->tree()->IsPaused());
    const CTraceListModel& list = *trace->view()->listModel();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            frame.OnTimer();
            return list.rowCount() > 4 && trace->view()->treeModel()->rowCount() == 4;
        },
        30000));

    if (const char* dir = std::getenv("VEX_TRACE_SHOTS"); dir != nullptr && *dir != '\0') {
        QTest::qWait(3 * CTraceView::kTimerMs);
        frame.grab().save(QString::fromUtf8(dir) + "/trace-in-frame.png");
    }

    // A configuration taking effect clears the trace.
    frame.RefreshChildWindows();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(trace->view()->treeModel()->rowCount(), 0);
    EXPECT_TRUE(ws->Hub().LiveTraceMap().empty());

    // Closed: hidden and not reopened with the configuration; the command shows the same window again.
    sub->close();
    EXPECT_FALSE(sub->isVisible());
    EXPECT_EQ(ws->Cfg().WndLayout.Trace.Show, 0);
    frame.RunCommand(ID_WND_TRACE);
    EXPECT_TRUE(sub->isVisible());
    EXPECT_EQ(frame.TraceWnd()->Widget(), trace);

    prompt.answers = {vex::MsgResult::No, vex::MsgResult::No};
    EXPECT_TRUE(frame.close());
    EXPECT_FALSE(ws->IsOnline());
}

}  // namespace
