#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>

#include "tests/app/loopbackhttp.h"
#include "tests/common/fakeprompt.h"
#include "ui/app/updatedlg.h"

namespace {

using vextest::LoopbackHttpServer;

QString text(QWidget& w, const char* name) {
    if (auto* line = w.findChild<QLineEdit*>(name)) return line->text();
    if (auto* plain = w.findChild<QPlainTextEdit*>(name)) return plain->toPlainText();
    ADD_FAILURE() << name;
    return {};
}

std::string reply(const std::string& version, const std::string& url = "https://127.0.0.1/v.zip") {
    return R"({"state":"ok","message":"","data":{"app_name":"Vexarium","version":")" + version +
           R"(","download_url":")" + url + R"("}})";
}

TEST(UpdateDlg, WebLinks) {
    struct Case {
        const char* address;
        bool web;
    } cases[] = {
        {"http://127.0.0.1/a.zip", true},
        {"https://example.invalid/x", true},
        {"HTTPS://Example.invalid/x", true},
        {"  http://h/x  ", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"ftp://h/x", false},
        {"/usr/bin/xterm", false},
        {"", false},
        {"http://", false},
        {"smb://h/share", false},
        {"calc.exe", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsWebLink(QString::fromUtf8(c.address)), c.web) << c.address;
}

// The countdown: "取消(9秒)" down to "取消(0秒)", then the dialog closes as with OK.
TEST(UpdateDlg, CountdownClosesAfterTenTicks) {
    CCheckSoftwareUpdateDlg dlg(true, "Vexarium", "本地版本：1.2.3.4 / 最新版本： 1.2.3.5", "http://h/v.zip",
                                nullptr, 1000000);
    dlg.show();
    EXPECT_EQ(dlg.cancelButton()->text(), "取消");
    for (int left = 9; left >= 0; --left) {
        ASSERT_TRUE(dlg.isVisible()) << left;
        dlg.OnTimer();
        EXPECT_EQ(dlg.cancelButton()->text(), QString("取消(%1秒)").arg(left));
    }
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.tickCount(), 10);
}

TEST(UpdateDlg, NoCountdownStaysOpen) {
    CCheckSoftwareUpdateDlg dlg(false, "Vexarium", "v", "http://h/v.zip", nullptr, 1000000);
    dlg.show();
    for (int i = 0; i < 15; ++i) dlg.OnTimer();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.cancelButton()->text(), "取消");
    EXPECT_EQ(dlg.tickCount(), 10);  // kept at most 10
    QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

// "更新" stops the countdown and opens the address, but only an http or https one.
TEST(UpdateDlg, UpdateButtonStopsCountdownAndOpensWebLinksOnly) {
    struct Case {
        const char* address;
        bool opened;
    } cases[] = {{"https://127.0.0.1/v.zip", true}, {"file:///etc/passwd", false}, {"", false}};
    for (const Case& c : cases) {
        CCheckSoftwareUpdateDlg dlg(true, "n", "v", QString::fromUtf8(c.address), nullptr, 1000000);
        QList<QUrl> opened;
        dlg.setUrlOpener([&](const QUrl& url) {
            opened.append(url);
            return true;
        });
        dlg.show();
        dlg.OnTimer();
        EXPECT_EQ(dlg.cancelButton()->text(), "取消(9秒)");
        QTest::mouseClick(dlg.updateButton(), Qt::LeftButton);
        EXPECT_FALSE(dlg.countdownActive());
        EXPECT_EQ(opened.size(), c.opened ? 1 : 0) << c.address;
        if (c.opened) {
            EXPECT_EQ(opened[0], QUrl(c.address));
        }
        dlg.OnTimer();
        EXPECT_EQ(dlg.cancelButton()->text(), "取消");
        for (int i = 0; i < 20; ++i) dlg.OnTimer();
        EXPECT_TRUE(dlg.isVisible());
    }
}

class Runner : public ::testing::Test {
protected:
    // Runs one check and waits for its result on the GUI thread.
    CCheckSoftwareUpdateDlg* run(bool automatic, const std::string& base) {
        CUpdateCheckRunner runner(&parent, base, "1.2.3.4");
        QSignalSpy done(&runner, &CUpdateCheckRunner::checkDone);
        EXPECT_TRUE(runner.Start(automatic));
        EXPECT_TRUE(done.wait(30'000));
        EXPECT_EQ(runner.runningChecks(), 0);
        return parent.findChild<CCheckSoftwareUpdateDlg*>();
    }
    void TearDown() override { qDeleteAll(parent.findChildren<CCheckSoftwareUpdateDlg*>()); }

    QWidget parent;
    LoopbackHttpServer server;
    vex::FakePrompt prompt;
    vex::ScopedPrompt use{prompt};
};

// At start only a newer version is shown, modeless and counting down; asked by hand, any version is shown,
// modal and without a countdown.
TEST_F(Runner, AutomaticShowsOnlyANewerVersionManualAlways) {
    struct Case {
        bool automatic;
        const char* remote;
        const char* shown;  // the version line, nullptr: no dialog
    } cases[] = {
        {true, "1.2.3.4", nullptr},
        {true, "1.2.3.5", "本地版本：1.2.3.4 / 最新版本： 1.2.3.5"},
        {false, "1.2.3.4", "本地版本：1.2.3.4 / 远程版本： 1.2.3.4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.automatic << " " << c.remote);
        server.respondJson(reply(c.remote));
        CCheckSoftwareUpdateDlg* dlg = run(c.automatic, server.base());
        EXPECT_TRUE(prompt.messages.empty());
        if (c.shown == nullptr) {
            EXPECT_EQ(dlg, nullptr);
            continue;
        }
        ASSERT_NE(dlg, nullptr);
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(dlg->isModal(), !c.automatic);
        EXPECT_EQ(dlg->countdownActive(), c.automatic);
        EXPECT_EQ(text(*dlg, "editName"), "Vexarium");
        EXPECT_EQ(text(*dlg, "editVersion"), QString::fromUtf8(c.shown));
        EXPECT_EQ(text(*dlg, "editAddress"), "https://127.0.0.1/v.zip");
        delete dlg;
    }
}

TEST_F(Runner, NetworkFailureToldOnlyToTheUser) {
    const std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort());
    EXPECT_EQ(run(true, closed), nullptr);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(run(false, closed), nullptr);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, "请检测网络是否可以访问Internet");

    prompt.clear();
    server.respondJson(R"({"state":"fail","data":{"version":"9"}})");
    EXPECT_EQ(run(false, server.base()), nullptr);
    EXPECT_TRUE(prompt.messages.empty());
}

// A check the user asks for runs on a worker: the GUI thread's timers keep running while the server is slow.
// The server answers only after the GUI thread's 20th tick, so a check that blocked the GUI thread would
// never end, however fast or slow the machine.
TEST_F(Runner, GuiKeepsRunningDuringCheck) {
    server.respond({reply("1.2.3.4"), 200, 0, true, true});
    CUpdateCheckRunner runner(&parent, server.base(), "1.2.3.4");
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (++ticks == 20) server.release();
    });
    tick.start(10);
    QSignalSpy done(&runner, &CUpdateCheckRunner::checkDone);
    ASSERT_TRUE(runner.Start(false));
    EXPECT_EQ(done.count(), 0);         // Start returned before the held-back reply came
    EXPECT_FALSE(runner.Start(false));  // one manual check at a time
    ASSERT_TRUE(done.wait(30'000));
    EXPECT_GE(ticks, 20);
}

// An automatic check and the user's may run together; destroying the runner cancels both, with no result.
TEST_F(Runner, DestructionCancelsRunningChecks) {
    server.respond({reply("9.0"), 200, 120000});
    const auto start = std::chrono::steady_clock::now();
    {
        CUpdateCheckRunner runner(&parent, server.base(), "1.0");
        EXPECT_TRUE(runner.Start(true));
        EXPECT_TRUE(runner.Start(false));
        EXPECT_FALSE(runner.Start(true));
        EXPECT_EQ(runner.runningChecks(), 2);
        QTest::qWait(100);
    }
    QCoreApplication::processEvents();
    // Not the 20 s of the request time-out that a missed cancel would wait out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(parent.findChild<CCheckSoftwareUpdateDlg*>(), nullptr);
    EXPECT_TRUE(prompt.messages.empty());
}

// The dialog of an automatic check shown by the runner closes itself after its countdown.
TEST_F(Runner, AutomaticDialogClosesItself) {
    server.respondJson(reply("1.2.3.5"));
    CUpdateCheckRunner runner(&parent, server.base(), "1.2.3.4");
    runner.setCountdownTickMs(5);
    QSignalSpy done(&runner, &CUpdateCheckRunner::checkDone);
    ASSERT_TRUE(runner.Start(true));
    ASSERT_TRUE(done.wait(30'000));
    QPointer<QWidget> dlg(parent.findChild<CCheckSoftwareUpdateDlg*>());
    ASSERT_FALSE(dlg.isNull());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.isNull(); }, 30'000));  // closed and deleted
}

}  // namespace
