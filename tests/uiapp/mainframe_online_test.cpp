// The real frame on the emulated bus: online by its command, its ticks on the timer, the device's
// reports in the info window, the bus load in the status bar; closed while online, nothing keeps running.
#include <gtest/gtest.h>

#include <QTest>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/qt/namedmutex.h"
#include "tests/common/fakeprompt.h"
#include "tests/uiapp/appfixture.h"
#include "ui/app/infownd.h"
#include "ui/app/mainframe.h"

namespace {

using apptest::WorkspaceTest;

bool InfoShows(CMainFrame& frame, const QString& source) {
    const CInfoModel* model = frame.InfoWnd()->view()->infoModel();
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->index(r, 2).data().toString() == source) return true;
    return false;
}

// Threads of this process but those of Qt's shared pool, which Qt's drawing may start and which end by
// themselves after a while (a thread that ended between the listing and the read of its name is gone).
int ProgramThreads() {
    int n = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream comm(e.path() / "comm");
        std::string name;
        if (comm && std::getline(comm, name) && name != "Thread (pooled)") ++n;
    }
    return n;
}

TEST_F(WorkspaceTest, FrameOnlineAndClosed) {
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt(prompt);
    vex::FakeSiblingProbe probe;
    vex::emu::peer::UseDefaultTraffic();
    emutest::ThreadBaseline();
    const int baseline = ProgramThreads();
    auto frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, CMainFrame::kTickMs});
    frame->show();
    frame->OnTimer();  // the first tick, which brings the configuration's windows
    apptest::Log log;
    apptest::InstallFakeChildren(*frame, log);
    for (uint32_t id : {ID_WND_INFO, ID_WND_TRACE, ID_WND_GRAPH, ID_WND_SEND}) frame->RunCommand(id);
    log.clear();

    // Refused while the sibling program holds the interface.
    probe.present = true;
    frame->RunCommand(ID_START_LISTEN);
    EXPECT_FALSE(ws->IsOnline());
    EXPECT_EQ(prompt.lastText(), "请先确认ZYL程序是否已经关闭。");
    probe.present = false;

    frame->RunCommand(ID_START_LISTEN);
    ASSERT_TRUE(ws->IsOnline());
    EXPECT_EQ(log, (apptest::Log{"graph start", "send check", "trace resume"}));
    EXPECT_FALSE(frame->Action(ID_START_LISTEN)->isEnabled());
    EXPECT_TRUE(frame->Action(ID_STOP_LISTEN)->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return InfoShows(*frame, "NXP-VYK"); }, 30000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !frame->BusLoadText().startsWith(QStringLiteral("总线负载：CAN0[0.00%] CAN1[0.00%]")) &&
                   frame->BusLoadText() != QStringLiteral("总线负载： CAN0[00.00%] CAN1[00.00%] ");
        },
        30000))
        << frame->BusLoadText().toStdString();
    EXPECT_GT(ws->Hub().TraceRing().Count(), 0u);

    prompt.answers = {vex::MsgResult::No};
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(ws->IsOnline());
    EXPECT_EQ(ws->RxThread().CurDevice(), nullptr);
    EXPECT_EQ(log, (apptest::Log{"graph start", "send check", "trace resume", "graph stop", "send cyc 0"}));
    EXPECT_TRUE(emutest::WaitFor([&] { return ProgramThreads() <= baseline; }, 30'000))
        << ProgramThreads() << " threads, " << baseline << " before";
    frame.reset();
}

}  // namespace
