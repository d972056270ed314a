// The main frame's three service commands: while a service's window is open that service is the active one
// and all three commands are disabled; closing the window clears it; closing the program ends what a
// service runs and leaves no thread behind.
#include <QAction>
#include <QDialog>

#include "platform/qt/namedmutex.h"
#include "services/extservices.h"
#include "tests/windows/wndtest.h"
#include "ui/app/framechildren.h"
#include "ui/app/framecommands.h"
#include "ui/app/mainframe.h"
#include "ui/app/vexariumapp.h"
#include "ui/services/j1939dmxdlg.h"
#include "ui/services/queuetxdlg.h"
#include "ui/services/queuetxmsgview.h"

using namespace wndtest;

namespace {

class ServiceCmdTest : public WindowTest {
protected:
    std::unique_ptr<CMainFrame> MakeFrame() {
        auto frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, 0});
        InstallFrameChildren(*frame);
        frame->show();
        return frame;
    }
    static std::vector<bool> Enabled(CMainFrame& frame) {
        frame.UpdateCommandStates();
        std::vector<bool> out;
        for (uint32_t id : {ID_EXT_QUEUE_TX, ID_EXT_VEH_SIM, ID_EXT_J1939_DMX})
            out.push_back(frame.Action(id)->isEnabled());
        return out;
    }
    vex::FakeSiblingProbe probe;
};

}  // namespace

TEST_F(ServiceCmdTest, ActiveWhileTheWindowIsOpen) {
    {
        auto frame = MakeFrame();
        EXPECT_EQ(Enabled(*frame), std::vector<bool>(3, true));
        frame->RunCommand(ID_EXT_QUEUE_TX);
        EXPECT_EQ(frame->ServiceDlg(), nullptr);  // a workspace without services runs none
        frame->close();
    }
    CExtServices& services = CExtServices::Install(*ws);
    auto frame = MakeFrame();
    const struct {
        uint32_t id;
        CExternService* service;
        const char* title;
    } cases[] = {{ID_EXT_QUEUE_TX, &services.QueueTx(), "CAN报文队列发送"},
                 {ID_EXT_VEH_SIM, &services.VehSim(), "车辆环境仿真"},
                 {ID_EXT_J1939_DMX, &services.J1939(), "J1939-DMx报文解析"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        frame->RunCommand(c.id);
        QDialog* dlg = frame->ServiceDlg();
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8(c.title));
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(ws->RxThread().ActiveService(), c.service);
        EXPECT_EQ(Enabled(*frame), std::vector<bool>(3, false));
        dlg->close();
        EXPECT_EQ(ws->RxThread().ActiveService(), nullptr);
        EXPECT_EQ(frame->ServiceDlg(), nullptr);
        EXPECT_EQ(Enabled(*frame), std::vector<bool>(3, true));
    }
    frame->close();
}

// Closing the program while the queue repeats and the J1939 service sends: the window's queue pass ends
// with the frame, the J1939 thread with the services, which the workspace destroys first.
TEST_F(ServiceCmdTest, ClosingTheProgramEndsTheServices) {
    const int baseline = emutest::ThreadBaseline();
    CExtServices& services = CExtServices::Install(*ws);
    auto frame = MakeFrame();
    GoOnline();
    frame->RunCommand(ID_EXT_QUEUE_TX);
    auto* queue = qobject_cast<CExtSerCanMsgQueueTxDlg*>(frame->ServiceDlg());
    ASSERT_NE(queue, nullptr);
    tCFG_SET_EXT_QUEUE_TX_MSG frameRec;
    frameRec.MsgID = 0x444;
    frameRec.Chan = 1;
    frameRec.DL = 1;
    frameRec.AfterDelayTime = 10000;
    queue->frameWnd()->msgView()->AddFrames(frameRec, 1);
    queue->frameWnd()->RunCommand(CExtSerCanMsgQueueTxFrameWnd::ID_SEND_REPEAT);
    ASSERT_TRUE(services.QueueTx().IsRunning());
    services.J1939().StartTx([] {
        tEXT_J1939DMX_TX_DATA tx;
        BuildJ1939DmxTxData(tCFG_SET_EXT_J1939DMX_SERVICE{}, 1, std::vector<tJ1939_DTC>(200, {1, 1, 0, 0}),
                            tx);
        return tx;
    }());
    ASSERT_TRUE(services.J1939().IsSending());
    ASSERT_TRUE(emutest::WaitFor([] { return vex::emu::peer::Received().size() >= 3; }, 30'000));
    prompt.answers = {vex::MsgResult::No};
    frame->close();
    EXPECT_FALSE(services.QueueTx().IsRunning());
    EXPECT_EQ(frame->ServiceDlg(), nullptr);
    frame.reset();
    EXPECT_TRUE(services.J1939().IsSending());  // the workspace stops it as it goes
    ws.reset();
    EXPECT_TRUE(emutest::WaitFor([&] { return emutest::ThreadCount() <= baseline; }, 30'000))
        << emutest::ThreadCount() << " threads, " << baseline << " before";
    Make();  // for the fixture's tear-down
}

// The application object gives its workspace the services and its frame their windows; the program-wide
// DMx table holds DM1 and DM2 while the program runs and is empty once it has ended.
TEST_F(ServiceCmdTest, TheApplicationInstallsTheServicesAndEmptiesTheTableAtExit) {
    CVexariumApp::Options options{dir.path().string(), dir.path().string(), "", false, {&probe, 0}};
    {
        CVexariumApp app(options);
        ASSERT_NE(CExtServices::Of(*app.Workspace()), nullptr);
        ASSERT_TRUE(app.InitInstance());
        const J1939DmxTable table = CopyJ1939DmxTable();
        ASSERT_EQ(table.size(), 2u);
        EXPECT_EQ(table.at(kJ1939PgnDm1).name, "DM1");
        EXPECT_EQ(table.at(kJ1939PgnDm2).name, "DM2");
        app.MainFrame()->RunCommand(ID_EXT_J1939_DMX);
        EXPECT_NE(app.MainFrame()->ServiceDlg(), nullptr);
    }
    EXPECT_TRUE(CopyJ1939DmxTable().empty());
}
