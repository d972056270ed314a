// The main frame's tick without widgets, on a workspace over the emulated bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "platform/qt/namedmutex.h"
#include "tests/uiapp/appfixture.h"
#include "ui/app/mainframetick.h"

namespace {

// Records what the tick asks of the frame, with the frames still queued and the messages in the info ring
// at each call; the listening commands go online and offline for real.
class RecordingHost final : public CFrameTickHost {
public:
    explicit RecordingHost(CCanWorkspace& ws) : m_ws(ws) {}
    void ApplyConfigWindows() override { record("apply"); }
    void RefreshChildWindows() override { record("refresh"); }
    void UpdateTitle(const std::string& path) override { record("title " + path); }
    void ShowBusStatus(const BusStatusTexts& texts) override { record("status " + texts.load); }
    void ShowAlert(const tINFO_MSG& msg) override { record("alert " + msg.Source + " " + msg.Text); }
    void StartListening() override {
        record("start");
        m_ws.GoOnline();
    }
    void StopListening() override {
        record("stop");
        m_ws.GoOffline();
    }
    std::vector<std::string> calls;
    std::vector<std::pair<uint32_t, uint32_t>> seen;  // queued, info messages

private:
    void record(std::string what) {
        calls.push_back(std::move(what));
        seen.emplace_back(m_ws.Hub().Queue().Count(), m_ws.InfoRing().Count());
    }
    CCanWorkspace& m_ws;
};

class TickTest : public apptest::WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        host.emplace(*ws);
        tick.emplace(*ws, probe, *host);
    }
    void TearDown() override {
        tick.reset();
        host.reset();
        WorkspaceTest::TearDown();
    }
    void Report(CCanDevice& device, uint8_t severity, const std::string& text, uint8_t second = 0) {
        tCAN_DEV_REPORT r;
        r.Severity = severity;
        r.Hour = 9;
        r.Minute = 8;
        r.Second = second;
        std::memcpy(r.Text, text.data(), std::min(text.size(), sizeof r.Text));
        PushDevReport(r, device.m_ReportRing);
    }
    // Ticks until the next bus status is shown; the number of ticks, or -1 after `limit`.
    int TicksToStatus(int limit = 100) {
        const size_t before = host->calls.size();
        for (int n = 1; n <= limit; ++n) {
            tick->OnTimer();
            for (size_t i = before; i < host->calls.size(); ++i)
                if (host->calls[i].rfind("status ", 0) == 0) return n;
        }
        return -1;
    }

    vex::FakeSiblingProbe probe;
    std::optional<RecordingHost> host;
    std::optional<CMainFrameTick> tick;
};

std::ptrdiff_t OpenFds() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
}

TEST(FrameTick, BusStatusTexts) {
    auto status = [](tCAN_DEV_CHAN_STATUS c0, tCAN_DEV_CHAN_STATUS c1) {
        tCAN_DEV_STATUS s;
        s.Chan[0] = c0;
        s.Chan[1] = c1;
        s.DevStatus = 7;
        return s;
    };
    struct Case {
        tCAN_DEV_STATUS status;
        const char* load;
        const char* state;
    } cases[] = {
        {{}, "总线负载：CAN0[0.00%] CAN1[0.00%]", "总线状态：CAN0[0 0 00] CAN1[0 0 00]"},
        {status({12.345, 5, 127, 0x1A}, {100.0, 0, 255, 0xFF}), "总线负载：CAN0[12.35%] CAN1[100.00%]",
         "总线状态：CAN0[5 127 1A] CAN1[0 255 FF]"},
        {status({0.004, 96, 1, 0x0C}, {99.995, 128, 256, 0x01}), "总线负载：CAN0[0.00%] CAN1[100.00%]",
         "总线状态：CAN0[96 1 0C] CAN1[128 256 01]"},
    };
    for (const Case& c : cases) {
        const BusStatusTexts t = FormatBusStatus(c.status);
        EXPECT_EQ(t.load, c.load);
        EXPECT_EQ(t.state, c.state);
    }
}

// The first tick brings the configuration into effect before it drains; the device reports come after
// the drain, NXP device first; the sibling is not probed offline.
TEST_F(TickTest, FirstTickOrderAndReports) {
    ws->Hub().Queue().Push(tCAN_RAW_MSG{});
    Report(ws->Cfg().Cf51Device(), 2, "cf51 failed", 1);
    for (int i = 0; i < 25; ++i) Report(ws->Cfg().NxpDevice(), 0, "nxp " + std::to_string(i), 2);
    tCAN_DEV_REPORT full;  // 1024 text bytes and no terminator: the ring keeps 1023
    std::memset(full.Text, 'x', sizeof full.Text);
    PushDevReport(full, ws->Cfg().Cf51Device().m_ReportRing);

    tick->OnTimer();
    // The newest error among the reports goes to the frame once, after the reports have moved; here the
    // device's later normal report has ended it.
    ASSERT_EQ(host->calls, (std::vector<std::string>{"apply", "refresh", "title " + ws->CfgPath(),
                                                     "alert CF51-VYK " + std::string(1023, 'x')}));
    EXPECT_EQ(host->seen[0], std::make_pair(1u, 0u));
    EXPECT_EQ(ws->Hub().Queue().Count(), 0u);
    EXPECT_EQ(probe.probes, 0);

    const auto infos = Infos();
    ASSERT_EQ(infos.size(), 22u);  // the last 20 of the NXP device, then both of the CF51 device
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(infos[i].Source, "NXP-VYK");
        EXPECT_EQ(infos[i].Text, "nxp " + std::to_string(i + 5));
        EXPECT_EQ(infos[i].TimeText, "09:08:02");
        EXPECT_EQ(infos[i].Level, 0);
    }
    EXPECT_EQ(infos[20].Source, "CF51-VYK");
    EXPECT_EQ(infos[20].Text, "cf51 failed");
    EXPECT_EQ(infos[20].Level, 2);
    EXPECT_EQ(infos[20].TimeText, "09:08:01");
    EXPECT_EQ(infos[21].Text, std::string(1023, 'x'));

    // Later ticks leave the windows alone and show an alert only when a newer one came.
    tick->OnTimer();
    EXPECT_EQ(host->calls.size(), 4u);
    ws->AddInfoMsg("S", 0, "normal");
    tick->OnTimer();
    EXPECT_EQ(host->calls.size(), 4u);
    ws->AddInfoMsg("S", 1, "warned");
    ws->AddInfoMsg("T", 0, "normal");
    tick->OnTimer();
    EXPECT_EQ(host->calls.back(), "alert S warned");
}

TEST_F(TickTest, MissingConfigurationShowsDashes) {
    ws->SetCfgPath(Path("gone.xml"));
    tick->OnTimer();
    EXPECT_EQ(host->calls, (std::vector<std::string>{"title --"}));
}

// On the first tick after going online, then on every 15th; nothing offline, and the countdown rests.
TEST_F(TickTest, BusStatusCadence) {
    tick->OnTimer();
    ASSERT_TRUE(ws->GoOnline());
    EXPECT_EQ(TicksToStatus(), 1);
    EXPECT_EQ(TicksToStatus(), 15);
    EXPECT_EQ(TicksToStatus(), 15);
    EXPECT_EQ(host->calls.back().rfind("status 总线负载：CAN0[", 0), 0u) << host->calls.back();

    for (int i = 0; i < 7; ++i) tick->OnTimer();
    ws->GoOffline();
    EXPECT_EQ(TicksToStatus(3000), -1);
    EXPECT_EQ(tick->BusStatusCountdown(), 0);

    // Going online again soon after going offline still shows the status at once.
    ASSERT_TRUE(ws->GoOnline());
    for (int i = 0; i < 4; ++i) tick->OnTimer();
    ws->GoOffline();
    tick->OnTimer();
    ASSERT_TRUE(ws->GoOnline());
    EXPECT_EQ(TicksToStatus(), 1);
    ws->GoOffline();
}

// Online with the sibling present: offline and suspended; online again once it is gone; a user who went
// online meanwhile only clears the suspension.
TEST_F(TickTest, SiblingWatch) {
    tick->OnTimer();
    host->calls.clear();
    probe.present = true;
    tick->OnTimer();
    EXPECT_EQ(probe.probes, 0) << "offline and not suspended: no probe";

    ASSERT_TRUE(ws->GoOnline());
    tick->OnTimer();
    EXPECT_FALSE(ws->IsOnline());
    EXPECT_TRUE(tick->SiblingSuspended());
    tick->OnTimer();
    EXPECT_FALSE(ws->IsOnline());
    EXPECT_TRUE(tick->SiblingSuspended());

    probe.present = false;
    tick->OnTimer();
    EXPECT_TRUE(ws->IsOnline());
    EXPECT_FALSE(tick->SiblingSuspended());
    EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "stop"), 1);
    EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "start"), 1);

    probe.present = true;
    tick->OnTimer();
    ASSERT_TRUE(tick->SiblingSuspended());
    probe.present = false;
    ASSERT_TRUE(ws->GoOnline());  // by hand, before the tick noticed
    host->calls.clear();
    tick->OnTimer();
    EXPECT_FALSE(tick->SiblingSuspended());
    EXPECT_TRUE(ws->IsOnline());
    EXPECT_EQ(std::count(host->calls.begin(), host->calls.end(), "start"), 0);

    // Going offline by hand is no suspension: nothing resumes.
    ws->GoOffline();
    const int probes = probe.probes;
    for (int i = 0; i < 5; ++i) tick->OnTimer();
    EXPECT_FALSE(ws->IsOnline());
    EXPECT_EQ(probe.probes, probes);
}

// The lock-file stand-in of the named mutexes: a holder excludes a second one, the probe sees a holder
// but neither a missing file nor one left behind, and keeps nothing open.
TEST(NamedMutexes, LockFiles) {
    vextest::TempDir dir;
    const std::string d = dir.path().string();
    vex::LockFileProbe probe("VYK_ZYL_MUTEX_OPEN", d);
    EXPECT_FALSE(probe.IsPresent());
    {
        vex::NamedMutex first("VYK_ZYL_MUTEX_OPEN", d);
        EXPECT_EQ(first.state(), vex::NamedMutex::State::Held);
        vex::NamedMutex second("VYK_ZYL_MUTEX_OPEN", d);
        EXPECT_EQ(second.state(), vex::NamedMutex::State::AlreadyExists);
        const auto fds = OpenFds();
        EXPECT_TRUE(probe.IsPresent());
        EXPECT_EQ(OpenFds(), fds);
        vex::NamedMutex other("VYK_VEXARIUM_MUTEX", d);
        EXPECT_EQ(other.state(), vex::NamedMutex::State::Held);
    }
    EXPECT_TRUE(std::filesystem::exists(vex::LockFilePath("VYK_ZYL_MUTEX_OPEN", d)));
    EXPECT_FALSE(probe.IsPresent());
    EXPECT_EQ(vex::NamedMutex("VYK_ZYL_MUTEX_OPEN", d).state(), vex::NamedMutex::State::Held);
    EXPECT_EQ(vex::NamedMutex("X", d + "/no/such/folder").state(), vex::NamedMutex::State::Failed);
}

}  // namespace
