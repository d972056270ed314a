// Processes killed with SIGKILL part way through: the logger's file holds all but about the last second of
// frames, and no temporary file of a writer, a reader or Lorimar outlives the process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "logging/canmsgbincrmfile.h"
#include "tests/logging/logtest.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The helper (tests/logging/kill_child.cpp) with its standard output in a pipe, under a temporary folder of
// the test's own; killed with SIGKILL when the test is done with it.
class Child {
public:
    Child(std::vector<std::string> args, const fs::path& tmpdir) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), VEX_KILL_CHILD);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env{"TMPDIR=" + tmpdir.string()};
        for (char** e = environ; *e != nullptr; ++e)
            if (std::string(*e).rfind("TMPDIR=", 0) != 0) env.emplace_back(*e);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&m_Pid, VEX_KILL_CHILD, &actions, nullptr, argv.data(), envp.data()) != 0)
            m_Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_Out = out[0];
    }
    ~Child() {
        Kill();
        if (m_Out >= 0) ::close(m_Out);
    }
    bool Running() const { return m_Pid > 0; }

    // The last number the child printed once it is at least `n`; 0 when the child ends or 30 s pass.
    uint64_t WaitForCount(uint64_t n) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (m_Last < n && std::chrono::steady_clock::now() < until) {
            pollfd p{m_Out, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0 && !readSome()) return 0;
        }
        return m_Last >= n ? m_Last : 0;
    }
    // Kills the child and reads what it printed before it died; the last number printed.
    uint64_t Kill() {
        if (m_Pid <= 0) return m_Last;
        ::kill(m_Pid, SIGKILL);
        int status = 0;
        ::waitpid(m_Pid, &status, 0);
        m_Pid = -1;
        while (readSome()) {
        }
        return m_Last;
    }
    // The paths of the child's open files (as /proc shows them, unnamed ones included).
    std::vector<std::string> OpenFiles() const {
        std::vector<std::string> paths;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(m_Pid) + "/fd", ec)) {
            char target[4096];
            const ssize_t n = ::readlink(e.path().c_str(), target, sizeof target - 1);
            if (n > 0) paths.emplace_back(target, static_cast<size_t>(n));
        }
        return paths;
    }

private:
    bool readSome() {
        char buf[4096];
        const ssize_t n = ::read(m_Out, buf, sizeof buf);
        if (n <= 0) return false;
        m_Text.append(buf, static_cast<size_t>(n));
        size_t nl;
        while ((nl = m_Text.find('\n')) != std::string::npos) {
            m_Last = std::stoull(m_Text.substr(0, nl));
            m_Text.erase(0, nl + 1);
        }
        return true;
    }

    pid_t m_Pid = -1;
    int m_Out = -1;
    std::string m_Text;
    uint64_t m_Last = 0;
};

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

}  // namespace

// A 20 frames/s stream: the file holds every frame handed over but those of about the last second, in order,
// and ends on a whole record.
TEST(KilledProcess, LoggerLosesAtMostAboutASecond) {
    vextest::TempDir dir, tmp;
    Child child({"logger", dir.path().string()}, tmp.path());
    ASSERT_TRUE(child.Running());
    ASSERT_GT(child.WaitForCount(60), 0u) << "the logging child did not get going";
    const uint64_t handed = child.Kill();
    const std::vector<std::string> files = Entries(dir.path());
    ASSERT_EQ(files.size(), 1u);
    const fs::path log = dir / files[0];
    EXPECT_EQ(fs::file_size(log) % kCrmRecordSize, 0u);
    CCanMsgBinCrmFile file;
    uint32_t count = 0;
    double duration = 0.0;
    ASSERT_TRUE(file.OpenRead(log.string(), count, duration));
    // About one second is 20 frames; the margin allows a late tick on a loaded machine.
    EXPECT_LE(count, handed);
    EXPECT_GE(count + 30, handed) << count << " of " << handed << " frames in the file";
    std::vector<tCAN_RAW_MSG> frames(count);
    uint32_t got = 0;
    if (count > 0) {
        ASSERT_TRUE(file.ReadByIndex(0, count, frames.data(), count, got));
    }
    for (uint32_t i = 0; i < got; ++i)
        ASSERT_TRUE(logtest::SameFrame(frames[i], logtest::Frame(i, i * 50.0)));
}

// Killed while it writes an MDF log, replaces a file and parses a text log: nothing is left beside the
// targets or in the temporary folder, and the replaced file keeps its contents.
TEST(KilledProcess, NoTemporaryOutlivesTheProcess) {
    vextest::TempDir dir, tmp, src;
    const fs::path fifo = src / "endless.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Held open for writing, the FIFO never ends: the child is still parsing when it is killed.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    vextest::writeFile(dir / "kept.txt", "before");
    Child child({"temps", fifo.string(), dir.path().string()}, tmp.path());
    ASSERT_TRUE(child.Running());
    const std::string line = "   1.000000 1  123             Rx   d 2 01 02 \r\n";
    ASSERT_EQ(::write(writer, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    // Waits until the child holds the record store and the text log's temporary (in the temporary folder)
    // and the replacement (beside its target).
    auto holding = [&] {
        int inTmp = 0, inDir = 0;
        for (const std::string& path : child.OpenFiles()) {
            inTmp += path.rfind(tmp.path().string() + "/", 0) == 0;
            inDir += path.rfind(dir.path().string() + "/", 0) == 0;
        }
        return inTmp >= 2 && inDir >= 1;
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!holding() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(holding()) << "the child did not open its temporaries";
    child.Kill();
    ::close(writer);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"kept.txt"});
    EXPECT_EQ(vextest::readFile(dir / "kept.txt"), "before");
    EXPECT_EQ(Entries(tmp.path()), std::vector<std::string>{});
}
