// The send window inside the main frame: opened by its command, told when listening starts and stops,
// hidden by its close box and shown again with everything it held, its division kept with the layout.
#include <QMdiSubWindow>
#include <QSplitter>

#include "platform/qt/namedmutex.h"
#include "tests/windows/wndtest.h"
#include "ui/app/framechildren.h"
#include "ui/app/framecommands.h"
#include "ui/app/mainframe.h"
#include "windows/sendmsgmodel.h"
#include "windows/sendmsgview.h"
#include "windows/sendwnd.h"

using namespace wndtest;

using SendFrameTest = WindowTest;

TEST_F(SendFrameTest, OpenedToldAndHiddenByTheFrame) {
    // The single-channel interface, and a message on channel 0 besides one on channel 1.
    Select(CAppCfg::kDevCf51, 500);
    ws->Cfg().Send.MsgMap[0x10] = Rec("Ch0", 0x10, 0, 0, {1});
    ws->Cfg().Send.MsgMap[0x20] = Rec("Ch1", 0x20, 0, 1, {2}, 10);
    vex::FakeSiblingProbe probe;
    auto frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, 0});
    InstallFrameChildren(*frame);
    frame->resize(1200, 800);
    frame->show();
    frame->OnTimer();
    ASSERT_TRUE(frame->Action(ID_WND_SEND)->isEnabled());

    frame->RunCommand(ID_WND_SEND);
    ASSERT_NE(frame->SendWnd(), nullptr);
    CSendWnd* wnd = qobject_cast<CSendWnd*>(frame->SendWnd()->Widget());
    CSendMsgView* view = wnd->msgView();
    EXPECT_EQ(view->msgModel()->rowCount(), 2);
    EXPECT_EQ(ws->Cfg().WndLayout.Send.Show, 1);
    EXPECT_TRUE(prompt.messages.empty());  // offline: no channel notice on opening

    frame->RunCommand(ID_START_LISTEN);
    ASSERT_TRUE(ws->IsOnline());
    EXPECT_EQ(Messages(),
              std::vector<QString>{"CF51-VYK 为单通道设备，忽略通道号设置，发送报文通道号固定为 通道1 。"});
    vex::emu::peer::SetRecording(true);
    QApplication::processEvents();
    const QPoint cyc = view->visualRect(view->msgModel()->index(1, CSendMsgModel::kCyclic)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cyc);
    EXPECT_EQ(view->msgModel()->index(1, CSendMsgModel::kCyclic).data().toString(), "1");
    EXPECT_TRUE(emutest::WaitFor(
        [] {
            for (const auto& f : vex::emu::peer::Received())
                if (f.frame.id == 0x20 && f.segment == 1) return true;
            return false;
        },
        30'000));

    // Closing only hides it; cyclic sending goes on in the device meanwhile.
    wnd->subWindow()->close();
    EXPECT_FALSE(wnd->subWindow()->isVisible());
    EXPECT_EQ(ws->Cfg().WndLayout.Send.Show, 0);
    frame->RunCommand(ID_WND_SEND);
    EXPECT_EQ(qobject_cast<CSendWnd*>(frame->SendWnd()->Widget()), wnd);
    EXPECT_TRUE(wnd->subWindow()->isVisible());
    EXPECT_EQ(view->msgModel()->index(1, CSendMsgModel::kCyclic).data().toString(), "1");

    frame->RunCommand(ID_STOP_LISTEN);
    EXPECT_FALSE(ws->IsOnline());
    EXPECT_EQ(view->msgModel()->index(1, CSendMsgModel::kCyclic).data().toString(), "0");

    frame->CaptureLayout();
    EXPECT_EQ(ws->Cfg().WndLayout.Send.Splitter.R0, wnd->splitter()->sizes().value(0));
    EXPECT_EQ(ws->Cfg().WndLayout.Send.Splitter.C1, wnd->splitter()->width());
    EXPECT_EQ(Messages().size(), 1u);
    prompt.answers = {vex::MsgResult::No};
    frame->close();
    frame.reset();
}
