// Main of the X11 suite: a private Xvfb (its display number chosen by the server itself, so suites run in
// parallel never collide) with Qt on the xcb platform, test-mode paths and empty settings. The server ends
// with the suite, and with the suite's process should that die first.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/uiapp/x11test.h"

namespace {

std::string g_skipReason = "not started";

class PrivateXServer : public ::testing::Environment {
public:
    void SetUp() override {
        g_skipReason = start();
        ::setenv("QT_QPA_PLATFORM", g_skipReason.empty() ? "xcb" : "offscreen", 1);
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName("VexariumTest");
        QCoreApplication::setApplicationName("VexariumTest");
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
        std::setlocale(LC_NUMERIC, "C");
        QSettings().clear();
    }
    void TearDown() override {
        m_app.reset();
        if (m_server > 0) {
            ::kill(m_server, SIGTERM);
            ::waitpid(m_server, nullptr, 0);
        }
    }

private:
    // Starts Xvfb and sets DISPLAY; the reason on failure.
    std::string start() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return "no pipe";
        const pid_t pid = ::fork();
        if (pid < 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return "fork failed";
        }
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int out = ::dup(fds[1]);  // without close-on-exec: the server writes its display here
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            const std::string fd = std::to_string(out);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                     "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        m_server = pid;
        std::string display;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (display.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) continue;
            char buf[32];
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) break;
            display.append(buf, static_cast<size_t>(n));
        }
        ::close(fds[0]);
        if (display.find('\n') == std::string::npos) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
            m_server = -1;
            return "Xvfb did not start (is it installed?)";
        }
        display.resize(display.find('\n'));
        ::setenv("DISPLAY", (":" + display).c_str(), 1);
        return {};
    }

    pid_t m_server = -1;
    int m_argc = 1;
    char m_arg0[16] = "test_appui_x11";
    char* m_argv[2] = {m_arg0, nullptr};
    std::unique_ptr<QApplication> m_app;
};

}  // namespace

const std::string& x11test::SkipReason() {
    return g_skipReason;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivateXServer);
    return RUN_ALL_TESTS();
}
