// The main frame's logging, log settings and replay commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <filesystem>

#include "logging/canmsgdatalog.h"
#include "logging/canreplay.h"
#include "logging/workspacemembers.h"
#include "platform/qt/namedmutex.h"
#include "tests/common/fakeprompt.h"
#include "tests/logging/logtest.h"
#include "tests/uiapp/appfixture.h"
#include "ui/logging/canmsgdatalogsetdlg.h"

namespace {

class FrameLoggingTest : public apptest::WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, 0});
        frame->show();
    }
    void TearDown() override {
        frame.reset();
        WorkspaceTest::TearDown();
    }
    bool Enabled(uint32_t id) {
        frame->UpdateCommandStates();
        return frame->Action(id)->isEnabled();
    }
    // Runs the log settings command, answering its modal dialog with `answer`.
    void RunLogSettings(std::function<void(CCanMsgDataLogSetDlg&)> answer) {
        QTimer::singleShot(0, [answer] {
            auto* dlg = qobject_cast<CCanMsgDataLogSetDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            answer(*dlg);
            if (dlg->isVisible()) dlg->reject();
        });
        frame->RunCommand(ID_CFG_LOG);
    }

    vex::FakeSiblingProbe probe;
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    std::unique_ptr<CMainFrame> frame;
    apptest::Log log;
};

// Start and stop logging make and close a file in the program's "log" folder; a start that fails says why.
TEST_F(FrameLoggingTest, StartAndStopLogging) {
    CCanMsgDataLog& logger = WorkspaceLogger(*ws);
    EXPECT_EQ(ws->Hub().LogSink(), &logger);
    ASSERT_TRUE(Enabled(ID_START_LOG));
    EXPECT_FALSE(Enabled(ID_STOP_LOG));
    frame->RunCommand(ID_START_LOG);
    ASSERT_TRUE(logger.IsOpen());
    EXPECT_EQ(std::filesystem::path(logger.FileName()).parent_path(), dir.path() / "log");
    EXPECT_FALSE(Enabled(ID_START_LOG));
    frame->RunCommand(ID_STOP_LOG);
    EXPECT_FALSE(logger.IsOpen());
    EXPECT_TRUE(std::filesystem::exists(logger.FileName()));

    ws->Cfg().Log.LogFileNameId = "a/b";
    Infos();
    frame->RunCommand(ID_START_LOG);
    EXPECT_FALSE(logger.IsOpen());
    const auto msgs = Infos();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_NE(msgs[0].Text.find("记录文件没有创建"), std::string::npos);
    EXPECT_NE(msgs[0].Text.find("“a/b”"), std::string::npos) << msgs[0].Text;
}

// The settings are stored on OK; while a replay runs they are only shown.
TEST_F(FrameLoggingTest, LogSettings) {
    ws->Cfg().Log.LogFileNameId = "OLD";
    RunLogSettings([](CCanMsgDataLogSetDlg& dlg) {
        dlg.findChild<QLineEdit*>("editPrefix")->setText("NEW");
        dlg.accept();
    });
    EXPECT_EQ(ws->Cfg().Log.LogFileNameId, "NEW");
    ws->SetReplayFlag(true);
    bool readOnly = false;
    RunLogSettings([&](CCanMsgDataLogSetDlg& dlg) {
        readOnly = dlg.findChild<QLineEdit*>("editPrefix")->isReadOnly();
        dlg.accept();
    });
    ws->SetReplayFlag(false);
    EXPECT_TRUE(readOnly);
    EXPECT_EQ(ws->Cfg().Log.LogFileNameId, "NEW");
}

// Replay mode lasts while the replay control is open: the command is refused online, going online is
// refused meanwhile, each page starts the trace and graph on it, and closing the control (or the frame)
// ends the mode.
TEST_F(FrameLoggingTest, ReplayMode) {
    apptest::InstallFakeChildren(*frame, log);
    frame->RunCommand(ID_WND_TRACE);
    frame->RunCommand(ID_WND_GRAPH);
    log.clear();
    CCanReplay& replay = WorkspaceReplay(*ws);

    Select(CAppCfg::kDevNxp);
    ASSERT_TRUE(ws->GoOnline());
    EXPECT_FALSE(Enabled(ID_REPLAY));
    frame->RunCommand(ID_REPLAY);
    EXPECT_EQ(frame->ReplayDlg(), nullptr);
    ws->GoOffline();

    const std::string path = (dir / "r.crm").string();
    vextest::writeFile(path, logtest::CrmBytes(logtest::FramesAt({1, 2, 3, 4, 5})));
    store.writeString("sLastReplayLogFilePathName", path);
    frame->RunCommand(ID_REPLAY);
    ASSERT_NE(frame->ReplayDlg(), nullptr);
    EXPECT_TRUE(ws->IsReplaying());
    EXPECT_TRUE(replay.IsReplayActive());
    EXPECT_FALSE(Enabled(ID_REPLAY));
    EXPECT_FALSE(Enabled(ID_START_LISTEN));
    EXPECT_FALSE(ws->GoOnline());

    frame->ReplayDlg()->OnPaging();
    EXPECT_EQ(log, (apptest::Log{"trace resume", "graph replay page", "graph start"}));
    EXPECT_EQ(ws->Replay()->PageEndTime(), 5.0);
    EXPECT_EQ(ws->Hub().Queue().Count(), 5u);

    frame->ReplayDlg()->reject();
    EXPECT_FALSE(ws->IsReplaying());
    EXPECT_FALSE(replay.IsReplayActive());
    EXPECT_FALSE(ws->Hub().IsReady());
    EXPECT_TRUE(Enabled(ID_REPLAY));

    frame->RunCommand(ID_REPLAY);
    ASSERT_TRUE(ws->IsReplaying());
    frame.reset();
    EXPECT_FALSE(ws->IsReplaying());
    EXPECT_FALSE(replay.IsReplayActive());
}

}  // namespace
