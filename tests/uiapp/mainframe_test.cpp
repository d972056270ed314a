// The main frame offline: which commands this build runs, the monitoring windows' hooks, the layout,
// the configuration file commands with their questions, the About box and the single instance.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "app/updatecheck.h"
#include "platform/qt/namedmutex.h"
#include "platform/util/utils.h"
#include "tests/common/fakeprompt.h"
#include "tests/uiapp/appfixture.h"
#include "ui/app/aboutdlg.h"
#include "ui/app/framelayout.h"
#include "ui/app/framestatus.h"
#include "ui/app/infownd.h"
#include "ui/app/keylocks.h"
#include "ui/app/mainframe.h"
#include "ui/app/vexariumapp.h"

namespace {

using apptest::Log;

class FrameTest : public apptest::WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, 0});
        frame->resize(1000, 700);
        frame->show();
    }
    void TearDown() override {
        frame.reset();
        WorkspaceTest::TearDown();
    }
    void InstallFakes() { apptest::InstallFakeChildren(*frame, log); }
    QMdiSubWindow* Sub(QWidget* w) const { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); }
    Log Take() { return std::exchange(log, {}); }
    // Changes the configuration so that it differs from its file.
    void Modify(const std::string& mark = "CHANGED") {
        ws->Cfg().Log.LogFileNameId = mark;
        ASSERT_TRUE(ws->Cfg().IsModified());
    }

    vex::FakeSiblingProbe probe;
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    std::unique_ptr<CMainFrame> frame;
    Log log;
};

// What this build runs: the commands of later windows, dialogs and tools stay disabled; the monitoring
// windows' commands come on with their factories.
TEST_F(FrameTest, CommandsThisBuildRuns) {
    auto disabled = [&] {
        std::set<uint32_t> out;
        for (const FrameMenuDef& menu : FrameMenus())
            for (const FrameCmdDef& cmd : menu.items)
                if (cmd.id != 0 && !frame->Action(cmd.id)->isEnabled()) out.insert(cmd.id);
        return out;
    };
    // Stop logging and stop listening are disabled by the state (no log file, offline).
    const std::set<uint32_t> later = {ID_STOP_LOG,      ID_EXT_QUEUE_TX,  ID_EXT_GATEWAY,     ID_EXT_NODE_SIM,
                                      ID_EXT_UDS,       ID_EXT_J1939_DMX, ID_EXT_J1939_MULTI, ID_EXT_VEH_SIM,
                                      ID_TK_LOG_FILTER, ID_STOP_LISTEN};
    std::set<uint32_t> expected = later;
    expected.insert({ID_WND_TRACE, ID_WND_GRAPH, ID_WND_SEND});
    EXPECT_EQ(disabled(), expected);
    InstallFakes();
    EXPECT_EQ(disabled(), later);
}

// The monitoring windows' hooks as the commands call them; closing a child only hides it.
TEST_F(FrameTest, ChildWindowHooks) {
    InstallFakes();
    frame->RunCommand(ID_WND_TRACE);
    frame->RunCommand(ID_WND_GRAPH);
    frame->RunCommand(ID_WND_SEND);
    EXPECT_EQ(Take(), (Log{"trace clear", "graph apply", "send reload", "send sig reset"}));
    EXPECT_EQ(Sub(frame->TraceWnd()->Widget())->windowTitle(), "TRACE");
    EXPECT_EQ(ws->Cfg().WndLayout.Graph.Show, 1);

    frame->RefreshChildWindows();
    EXPECT_EQ(Take(), (Log{"trace clear", "graph apply", "send reload", "send sig reset"}));
    frame->RunCommand(ID_WND_TRACE);  // exists: shown again, nothing reloaded
    EXPECT_TRUE(Take().empty());

    QMdiSubWindow* graph = Sub(frame->GraphWnd()->Widget());
    graph->close();
    EXPECT_FALSE(graph->isVisible());
    EXPECT_EQ(ws->Cfg().WndLayout.Graph.Show, 0);
    frame->RunCommand(ID_WND_GRAPH);
    EXPECT_EQ(Sub(frame->GraphWnd()->Widget()), graph);
    EXPECT_TRUE(graph->isVisible());
    EXPECT_EQ(ws->Cfg().WndLayout.Graph.Show, 1);

    // A window first opened during a replay follows the replayed page.
    frame.reset();
    frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, 0});
    InstallFakes();
    ws->SetReplayFlag(true);
    frame->RunCommand(ID_WND_TRACE);
    frame->RunCommand(ID_WND_GRAPH);
    ws->SetReplayFlag(false);
    EXPECT_EQ(Take(),
              (Log{"trace clear", "trace resume", "graph apply", "graph replay page", "graph start"}));
}

// Placements, shown flags and stacking order go into the configuration and come back from it; on a
// screen of another size only the shown flags and the order are restored.
TEST_F(FrameTest, LayoutRoundTrip) {
    InstallFakes();
    frame->RunCommand(ID_WND_TRACE);
    frame->RunCommand(ID_WND_INFO);
    QMdiSubWindow* trace = Sub(frame->TraceWnd()->Widget());
    QMdiSubWindow* info = frame->InfoWnd()->subWindow();
    trace->setGeometry(10, 20, 400, 300);
    info->setGeometry(50, 60, 500, 250);
    frame->MdiArea()->setActiveSubWindow(info);
    frame->CaptureLayout();
    tWND_LAYOUT& layout = ws->Cfg().WndLayout;
    const QSize screen = frame->screen()->size();
    EXPECT_EQ(layout.ScreenWidth, screen.width());
    EXPECT_EQ(layout.ScreenHigh, screen.height());
    // Ranks among the child windows, not counts of descendant widgets, so they stay within 0 ... 100.
    EXPECT_EQ(layout.Info.Order, 0u);
    EXPECT_EQ(layout.Trace.Order, 1u);
    EXPECT_EQ((std::array{layout.Trace.Placement.left, layout.Trace.Placement.top,
                          layout.Trace.Placement.right, layout.Trace.Placement.bottom}),
              (std::array{10, 20, 410, 320}));
    EXPECT_EQ(layout.Info.Show, 1);
    const tWND_LAYOUT captured = layout;

    trace->setGeometry(0, 0, 200, 200);
    info->setGeometry(0, 0, 200, 200);
    frame->MdiArea()->setActiveSubWindow(trace);
    frame->ApplyConfigWindows();
    EXPECT_EQ(trace->geometry(), QRect(10, 20, 400, 300));
    EXPECT_EQ(info->geometry(), QRect(50, 60, 500, 250));
    EXPECT_EQ(frame->MdiArea()->subWindowList(QMdiArea::StackingOrder).back(), info);

    // Another screen: windows stay where they are; shown flags and order (within 0 ... 100) still apply.
    layout = captured;
    layout.ScreenWidth += 1;
    layout.Trace.Show = 0;
    trace->setGeometry(0, 0, 200, 200);
    frame->ApplyConfigWindows();
    EXPECT_FALSE(trace->isVisible());
    EXPECT_EQ(trace->geometry(), QRect(0, 0, 200, 200));
    layout.Trace.Show = 1;
    layout.Trace.Order = 0;
    layout.Info.Order = 101;
    frame->ApplyConfigWindows();
    EXPECT_TRUE(trace->isVisible());
    EXPECT_EQ(frame->MdiArea()->subWindowList(QMdiArea::StackingOrder).back(), trace);
}

// The stacking order restored from a file leaves the window on top active (so the keyboard goes where
// the user looks), and a failed command brings the info window in front of the others, also when it was
// the active window already but lay below them.
TEST_F(FrameTest, RestoredTopWindowIsActiveAndAFailureRaisesTheInfoWindow) {
    InstallFakes();
    frame->RunCommand(ID_WND_TRACE);
    frame->RunCommand(ID_WND_INFO);
    QMdiSubWindow* trace = Sub(frame->TraceWnd()->Widget());
    QMdiSubWindow* info = frame->InfoWnd()->subWindow();
    tWND_LAYOUT& layout = ws->Cfg().WndLayout;
    layout.Trace.Order = 0;
    layout.Info.Order = 1;
    frame->ApplyConfigWindows();
    EXPECT_EQ(frame->MdiArea()->subWindowList(QMdiArea::StackingOrder).back(), trace);
    EXPECT_EQ(frame->MdiArea()->activeSubWindow(), trace);

    // Restored as the file says, but with the info window active below the trace window.
    frame->MdiArea()->setActiveSubWindow(info);
    trace->raise();
    ASSERT_EQ(frame->MdiArea()->activeSubWindow(), info);
    for (tCFG_CAN_DEV& dev : ws->Cfg().CanDev) dev.Active = 0;
    frame->RunCommand(ID_START_LISTEN);
    ASSERT_FALSE(ws->IsOnline());
    EXPECT_EQ(frame->MdiArea()->subWindowList(QMdiArea::StackingOrder).back(), info);
}

// A placement from a file gives a window rectangle only when it has a size and lies on plausible
// coordinates; a hostile one neither overflows nor places a window.
TEST(FrameLayout, PlacementRect) {
    const int32_t big = std::numeric_limits<int32_t>::max(), small = std::numeric_limits<int32_t>::min();
    struct Case {
        int32_t left, top, right, bottom;
        QRect rect;
    } cases[] = {
        {157, 87, 1332, 802, QRect(157, 87, 1175, 715)},
        {-20, -10, 300, 200, QRect(-20, -10, 320, 210)},
        {10, 10, 10, 200, QRect()},
        {300, 10, 10, 200, QRect()},
        {small, 0, big, 100, QRect()},
        {0, small, 100, big, QRect()},
        {big - 10, 0, big, 100, QRect()},
    };
    for (const Case& c : cases) {
        tWND_PLACEMENT p{44, 0, 1, -1, -1, -1, -1, c.left, c.top, c.right, c.bottom};
        EXPECT_EQ(PlacementRect(p), c.rect) << c.left << " " << c.right;
    }
}

// New, Load and closing ask first when the configuration changed: Yes saves to the working file, No
// goes on without, Cancel stops the command.
TEST_F(FrameTest, SaveQuestion) {
    const std::string working = ws->CfgPath();
    const std::string other = Path("other.xml");
    {
        CAppCfg cfg;
        cfg.Log.LogFileNameId = "OTHER";
        std::string error;
        ASSERT_TRUE(cfg.SaveConfigAs(other, error)) << error;
    }
    struct Case {
        uint32_t cmd;
        vex::MsgResult answer;
        bool saved;   // the working file holds the change
        bool goesOn;  // the command went on (a chooser was asked, or the frame closed)
    } cases[] = {
        {ID_CFG_NEW, vex::MsgResult::Cancel, false, false},
        {ID_CFG_NEW, vex::MsgResult::No, false, true},
        {ID_CFG_NEW, vex::MsgResult::Yes, true, true},
        {ID_CFG_LOAD, vex::MsgResult::Cancel, false, false},
        {ID_CFG_LOAD, vex::MsgResult::No, false, true},
        {ID_CFG_LOAD, vex::MsgResult::Yes, true, true},
        {ID_APP_EXIT_CFG, vex::MsgResult::Cancel, false, false},
        {ID_APP_EXIT_CFG, vex::MsgResult::No, false, true},
        {ID_APP_EXIT_CFG, vex::MsgResult::Yes, true, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string mark = "CHANGED" + std::to_string(++n);
        SCOPED_TRACE(testing::Message() << c.cmd << " answer " << static_cast<int>(c.answer));
        if (!frame) {
            frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, 0});
            frame->show();
        }
        std::string message;
        ASSERT_TRUE(ws->Cfg().OpenConfig(working, message));
        ws->SetCfgPath(working);
        Modify(mark);
        prompt.clear();
        prompt.answers = {c.answer};
        const std::string chosen = c.cmd == ID_CFG_NEW ? Path("new.xml") : other;
        std::filesystem::remove(Path("new.xml"));
        prompt.paths = {QString::fromStdString(chosen)};
        frame->RunCommand(c.cmd);

        const vex::FakePrompt::Message& q = prompt.messages.at(0);
        EXPECT_EQ(q.text + q.caption, "是否保存当前配置?保存配置");
        EXPECT_EQ(q.buttons, vex::MsgButtons::YesNoCancel);
        EXPECT_EQ(vextest::readFile(working).find(mark) != std::string::npos, c.saved);
        if (c.cmd == ID_APP_EXIT_CFG) {
            EXPECT_EQ(frame->isVisible(), !c.goesOn);
            if (c.goesOn) frame.reset();
            continue;
        }
        EXPECT_EQ(ws->CfgPath(), c.goesOn ? chosen : working);
        if (!c.goesOn) continue;
        EXPECT_FALSE(ws->Cfg().IsModified());  // New wrote its file, Load read its file
        EXPECT_EQ(ws->Cfg().Log.LogFileNameId, c.cmd == ID_CFG_NEW ? CAppCfg().Log.LogFileNameId : "OTHER");
        EXPECT_EQ(frame->windowTitle().toStdString(),
                  "Vexarium " + GetProductVersion() + " - [" + chosen + "]");
    }
}

// Names without a file, a file that does not load, and Save As, which writes a copy and keeps working on
// the working file.
TEST_F(FrameTest, FileCommands) {
    const std::string working = ws->CfgPath();
    struct Case {
        uint32_t cmd;
        const char* text;
        const char* caption;
    } empties[] = {
        {ID_CFG_NEW, "新建配置文件名称为空。", "新建配置"},
        {ID_CFG_LOAD, "载入配置文件名称为空。", "载入配置"},
        {ID_CFG_SAVE_AS, "配置文件名称为空。", "配置另存为"},
    };
    for (const Case& c : empties) {
        prompt.clear();
        prompt.paths = {QString::fromStdString(dir.path().string() + "/")};
        frame->RunCommand(c.cmd);
        ASSERT_EQ(prompt.messages.size(), 1u) << c.cmd;
        EXPECT_EQ(prompt.messages[0].text, c.text);
        EXPECT_EQ(prompt.messages[0].caption, c.caption);
        EXPECT_EQ(ws->CfgPath(), working);
    }

    const std::string junk = Path("junk.xml");
    vextest::writeFile(junk, "not a configuration");
    prompt.clear();
    prompt.paths = {QString::fromStdString(junk)};
    frame->RunCommand(ID_CFG_LOAD);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].caption, "载入配置");
    EXPECT_EQ(ws->CfgPath(), working);
    frame->RunCommand(ID_CFG_SAVE);
    EXPECT_EQ(vextest::readFile(junk), "not a configuration");

    frame->UpdateTitle(working);
    const QString title = frame->windowTitle();
    Modify();
    prompt.paths = {QString::fromStdString(Path("copy"))};  // ".xml" is added
    frame->RunCommand(ID_CFG_SAVE_AS);
    EXPECT_EQ(ws->CfgPath(), working);
    EXPECT_EQ(frame->windowTitle(), title);
    EXPECT_NE(vextest::readFile(Path("copy.xml")).find("CHANGED"), std::string::npos);
    EXPECT_NE(vextest::readFile(working).find("CHANGED"), std::string::npos);
}

// Six panes from left to right: message, bus state, bus load, CAP, NUM, SCRL; without a window system
// that tells the lock state (offscreen) the lock panes stay empty.
TEST_F(FrameTest, StatusBarPanes) {
    frame->OnTimer();
    std::vector<std::pair<int, std::string>> panes;
    for (const QLabel* label : frame->statusBar()->findChildren<QLabel*>())
        if (label->objectName().startsWith("pane") && label->isVisible())
            panes.emplace_back(label->mapTo(frame.get(), QPoint()).x(), label->objectName().toStdString());
    std::sort(panes.begin(), panes.end());
    std::vector<std::string> names;
    for (const auto& pane : panes) names.push_back(pane.second);
    EXPECT_EQ(names, (std::vector<std::string>{"paneMessage", "paneBusState", "paneBusLoad", "paneCap",
                                               "paneNum", "paneScrl"}));
    EXPECT_FALSE(ReadKeyLocks().has_value());
    EXPECT_EQ(frame->StatusPanes().LockTexts(), (QStringList{"", "", ""}));
}

// Failures reach the user without the info window: the newest warning or error stands in the status
// bar's message pane; a failed command of the user (F4 with no device, a start of logging, a load that
// skipped part of the file) opens the info window too. A refusal at start shows in the pane only.
TEST_F(FrameTest, FailuresShowWithoutTheInfoWindow) {
    auto pane = [&] { return frame->StatusPanes().MessageText().toStdString(); };
    auto infoOpen = [&] { return frame->InfoWnd() != nullptr && frame->InfoWnd()->isVisible(); };
    // The window shows the ring's messages on its own timer.
    auto infoShows = [&](const char* text) {
        return QTest::qWaitFor(
            [&] {
                const CInfoModel* model = frame->InfoWnd()->view()->infoModel();
                for (int r = 0; r < model->rowCount(); ++r)
                    if (model->index(r, 3).data().toString().contains(QString::fromUtf8(text))) return true;
                return false;
            },
            30000);
    };
    frame->OnTimer();
    EXPECT_EQ(pane(), "");
    ws->AddInfoMsg("S", 0, "normal news");
    frame->OnTimer();
    EXPECT_EQ(pane(), "");

    // F4 with no device selected.
    for (tCFG_CAN_DEV& dev : ws->Cfg().CanDev) dev.Active = 0;
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_F4);
    EXPECT_FALSE(ws->IsOnline());
    ASSERT_TRUE(infoOpen());
    EXPECT_TRUE(infoShows("没有选择CAN设备"));
    frame->OnTimer();
    EXPECT_NE(pane().find("开启监听：没有选择CAN设备"), std::string::npos) << pane();

    // A device lost while online reports through its ring: the pane shows it, the window stays as it is.
    frame->InfoWnd()->subWindow()->close();
    auto deviceReports = [&](uint8_t severity, const char* text) {
        tCAN_DEV_REPORT report;
        report.Severity = severity;
        std::strcpy(report.Text, text);
        PushDevReport(report, ws->Cfg().Cf51Device().m_ReportRing);
        frame->OnTimer();
    };
    deviceReports(2, "USB device removed");
    EXPECT_NE(pane().find("CF51-VYK：USB device removed"), std::string::npos) << pane();
    EXPECT_NE(frame->StatusPanes().MessageStyle(), "");
    EXPECT_FALSE(infoOpen());
    // Another source's normal message leaves it; the device's own report that it is back ends the alert.
    ws->AddInfoMsg("S", 0, "other news");
    frame->OnTimer();
    EXPECT_NE(pane().find("USB device removed"), std::string::npos) << pane();
    deviceReports(0, "USB device back");
    EXPECT_NE(pane().find("CF51-VYK：USB device back"), std::string::npos) << pane();
    EXPECT_EQ(frame->StatusPanes().MessageStyle(), "");

    // A load that skipped part of the file.
    const std::string odd = Path("odd.xml");
    {
        std::string text = vextest::readFile(ws->CfgPath());
        text.replace(text.find("</VEXAR_CFG_FILE>"), 0, "<UNKNOWN_SECTION/>\r\n");
        vextest::writeFile(odd, text);
    }
    prompt.paths = {QString::fromStdString(odd)};
    frame->RunCommand(ID_CFG_LOAD);
    ASSERT_EQ(ws->CfgPath(), odd);
    EXPECT_TRUE(infoOpen());
    EXPECT_TRUE(infoShows("UNKNOWN_SECTION"));

    // A configuration refused at start: the pane says so after the first tick; no window opens by itself.
    vextest::writeFile(odd, "not a configuration");
    store.writeString("sLastCfgFilePathName", odd);
    frame.reset();
    Make();
    frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, 0});
    frame->show();
    frame->OnTimer();
    EXPECT_NE(pane().find("配置文件：配置文件 " + odd + " 没有读取"), std::string::npos) << pane();
    EXPECT_FALSE(infoOpen());
}

// Escape and the close box close the About box; only its button checks, and the box stays open.
TEST(AboutBox, CloseAndCheck) {
    std::vector<QWidget*> checks;
    CAboutDlg box([&](QWidget* w) { checks.push_back(w); });
    box.show();
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_FALSE(box.isVisible());
    box.show();
    box.close();
    EXPECT_TRUE(checks.empty());
    box.show();
    QTest::mouseClick(box.checkButton(), Qt::LeftButton);
    EXPECT_EQ(checks, std::vector<QWidget*>{&box});
    EXPECT_TRUE(box.isVisible());
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_EQ(checks.size(), 1u);
}

// A second copy is refused with its message before it builds a workspace; the first runs on.
TEST(VexariumApp, SingleInstanceAndTimeBase) {
    apptest::AppRig rig;
    vex::MemorySettingsStore& store = rig.store;
    vex::FakePrompt& prompt = rig.prompt;
    const CVexariumApp::Options options = rig.Options(0);
    CVexariumApp first(options);
    ASSERT_NE(first.Workspace(), nullptr);
    ASSERT_TRUE(first.InitInstance());
    EXPECT_TRUE(first.MainFrame()->isVisible());
    EXPECT_GT(first.Frequency(), 0);
    const size_t writes = store.writes().size();
    {
        CVexariumApp second(options);
        EXPECT_EQ(second.Workspace(), nullptr);
        EXPECT_FALSE(second.InitInstance());
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, "Vexarium的一个副本已经存在。");
    }
    EXPECT_EQ(store.writes().size(), writes);
    EXPECT_EQ(UpdateServerSetting(), kUpdateServerDefault);
    store.set(kUpdateServerValue, {vex::SettingsStore::Kind::String, 0, "http://127.0.0.1:9"});
    EXPECT_EQ(UpdateServerSetting(), "http://127.0.0.1:9");

    const auto start = std::chrono::steady_clock::now();
    CVexariumApp::WaitMs(20);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

}  // namespace

// A start followed by an exit with no user action never asks to save: not in an empty folder, where the
// new default file holds no layout of this screen, nor with a file taken on another screen, nor when the
// window system moves the frame while it settles. A window the user moved (also while the frame settles,
// after a click), a window opened or a setting changed still asks.
TEST(VexariumApp, ExitWithoutActionAsksNothing) {
    enum class Action { None, MoveFrame, ClickAndMoveFrame, OpenInfo, Change };
    struct Case {
        const char* name;
        bool otherScreenFile;
        bool settled;  // the action comes after the settling ticks
        Action action;
        bool asks;
    } cases[] = {
        {"fresh start", false, true, Action::None, false},
        {"file of another screen", true, true, Action::None, false},
        {"placed by the window system", false, false, Action::MoveFrame, false},
        {"frame moved", false, true, Action::MoveFrame, true},
        {"frame moved by the user at once", false, false, Action::ClickAndMoveFrame, true},
        {"info window opened", false, true, Action::OpenInfo, true},
        {"setting changed", false, true, Action::Change, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        apptest::AppRig rig;
        if (c.otherScreenFile) {
            CAppCfg cfg;
            cfg.WndLayout.ScreenWidth = 4321;
            cfg.WndLayout.ScreenHigh = 1234;
            std::string error;
            ASSERT_TRUE(cfg.SaveConfigAs((rig.dir / "mine.xml").string(), error)) << error;
            rig.store.writeString("sLastCfgFilePathName", (rig.dir / "mine.xml").string());
        }
        CVexariumApp app(rig.Options(0));
        ASSERT_TRUE(app.InitInstance());
        CMainFrame& frame = *app.MainFrame();
        QApplication::processEvents();
        frame.OnTimer();
        if (c.settled)
            for (int i = 0; i < CMainFrame::kLayoutSettleTicks; ++i) frame.OnTimer();
        switch (c.action) {
            case Action::None:
                break;
            case Action::ClickAndMoveFrame:
                QTest::mouseClick(frame.MdiArea()->viewport(), Qt::LeftButton);
                [[fallthrough]];
            case Action::MoveFrame:
                frame.move(frame.pos() + QPoint(7, 9));
                break;
            case Action::OpenInfo:
                frame.RunCommand(ID_WND_INFO);
                break;
            case Action::Change:
                app.Workspace()->Cfg().Trace.DeltaTime ^= 1;
                break;
        }
        for (int i = 0; i < 3; ++i) frame.OnTimer();
        rig.prompt.answers = {vex::MsgResult::No};
        frame.RunCommand(ID_APP_EXIT_CFG);
        EXPECT_FALSE(frame.isVisible());
        EXPECT_EQ(rig.prompt.messages.size(), c.asks ? 1u : 0u);
    }
}
