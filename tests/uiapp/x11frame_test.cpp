// The main frame on a real X server: the status bar's CAP, NUM and SCRL panes follow the keyboard's locks
// as the X server keeps them, whether a lock key reaches the program or changes elsewhere; and a start
// followed by an exit asks nothing with the windows placed by a real window system.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "platform/qt/namedmutex.h"
#include "tests/common/fakeprompt.h"
#include "tests/uiapp/appfixture.h"
#include "tests/uiapp/x11test.h"
#include "ui/app/framestatus.h"
#include "ui/app/keylocks.h"
#include "ui/app/mainframe.h"
#include "ui/app/vexariumapp.h"

// Xlib's macros stay below every other header.
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// A client of its own on the test's X server, acting as the keyboard.
class Keyboard {
public:
    Keyboard() : m_display(XOpenDisplay(nullptr)) {}
    ~Keyboard() {
        if (m_display == nullptr) return;
        // Every lock off again for the next test on this server.
        XkbLockModifiers(m_display, XkbUseCoreKbd, 0xFF, 0);
        XSync(m_display, False);
        XCloseDisplay(m_display);
    }
    bool Open() const { return m_display != nullptr; }
    // A press and a release of the key, as a user types it.
    void Type(KeySym key) {
        const KeyCode code = XKeysymToKeycode(m_display, key);
        XTestFakeKeyEvent(m_display, code, True, 0);
        XTestFakeKeyEvent(m_display, code, False, 0);
        XSync(m_display, False);
    }
    // Locks or unlocks Caps Lock in the server's keyboard state, with no key event at all.
    void LockCaps(bool on) {
        XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
        XSync(m_display, False);
    }

private:
    Display* m_display;
};

class X11Frame : public apptest::WorkspaceTest {
protected:
    void SetUp() override {
        VEX_REQUIRE_X11();
        WorkspaceTest::SetUp();
        ASSERT_TRUE(keyboard.Open());
    }
    void Show(int tickMs) {
        frame = std::make_unique<CMainFrame>(*ws, CMainFrame::Options{&probe, tickMs});
        frame->resize(1100, 600);
        frame->show();
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get(), 30000));
    }
    void TearDown() override {
        frame.reset();
        WorkspaceTest::TearDown();
    }
    bool PanesShow(const QStringList& texts) {
        return QTest::qWaitFor([&] { return frame->StatusPanes().LockTexts() == texts; }, 30000);
    }

    Keyboard keyboard;
    vex::FakeSiblingProbe probe;
    vex::FakePrompt prompt;
    vex::ScopedPrompt usePrompt{prompt};
    std::unique_ptr<CMainFrame> frame;
};

// With no tick running, the key events alone bring the panes up to date.
TEST_F(X11Frame, LockPanesFollowTheKeys) {
    Show(0);
    EXPECT_EQ(frame->StatusPanes().LockTexts(), (QStringList{"", "", ""}));
    keyboard.Type(XK_Caps_Lock);
    EXPECT_TRUE(PanesShow({"CAP", "", ""})) << frame->StatusPanes().LockTexts().join('|').toStdString();
    keyboard.Type(XK_Num_Lock);
    EXPECT_TRUE(PanesShow({"CAP", "NUM", ""})) << frame->StatusPanes().LockTexts().join('|').toStdString();
    // Scroll Lock lights its indicator only where the keyboard map binds it to a modifier: the pane shows
    // what the server says.
    keyboard.Type(XK_Scroll_Lock);
    const bool scroll = ReadKeyLocks().value_or(KeyLocks{}).scroll;
    EXPECT_TRUE(PanesShow({"CAP", "NUM", scroll ? "SCRL" : ""}));

    // A look at the frame as a user sees it, when asked for.
    if (const char* shot = std::getenv("VEX_FRAME_SCREENSHOT")) {
        ws->AddInfoMsg(CCanWorkspace::kOnlineSource, 2,
                       "没有选择CAN设备，请先在设备配置中选择要使用的设备。");
        frame->OnTimer();
        QApplication::processEvents();
        frame->grab().save(QString::fromLocal8Bit(shot));
    }

    keyboard.Type(XK_Caps_Lock);
    keyboard.Type(XK_Num_Lock);
    EXPECT_TRUE(PanesShow({"", "", scroll ? "SCRL" : ""}));
}

// A lock changed where no key event reaches the program shows on the frame's tick.
TEST_F(X11Frame, LockPanesFollowTheTick) {
    Show(CMainFrame::kTickMs);
    keyboard.LockCaps(true);
    EXPECT_TRUE(PanesShow({"CAP", "", ""})) << frame->StatusPanes().LockTexts().join('|').toStdString();
    keyboard.LockCaps(false);
    EXPECT_TRUE(PanesShow({"", "", ""}));
}

// The real program's start in an empty folder and its exit, with its own tick: no question.
TEST(X11App, FreshStartExitAsksNothing) {
    VEX_REQUIRE_X11();
    apptest::AppRig rig;
    CVexariumApp app(rig.Options(CMainFrame::kTickMs));
    ASSERT_TRUE(app.InitInstance());
    CMainFrame& frame = *app.MainFrame();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame, 30000));
    // The first tick names the file in the title.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frame.windowTitle().contains(QStringLiteral("default.xml")); }, 30000));
    QTest::qWait(200);
    frame.RunCommand(ID_APP_EXIT_CFG);
    EXPECT_FALSE(frame.isVisible());
    EXPECT_TRUE(rig.prompt.messages.empty()) << rig.prompt.lastText().toStdString();
}

}  // namespace
