// The receive thread with a scripted device, and the workspace on the emulated interfaces.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/canworkspace.h"
#include "platform/util/utils.h"
#include "tests/app/hubtest.h"
#include "tests/app/workspacetest.h"

using namespace hubtest;
using namespace vex::emu;

namespace {

// A device that records the calls of Start and Stop and delivers the frames it is fed, numbered from 0
// in data bytes 0-3, up to 64 per Read.
class ScriptedDevice final : public CCanDevice {
public:
    uint32_t DeviceOpen() override { return call("DeviceOpen", deviceOpenRc); }
    uint32_t DeviceClose() override { return call("DeviceClose", 0); }
    uint32_t BusOpen() override { return call("BusOpen", busOpenRc); }
    uint32_t BusClose() override { return call("BusClose", 0); }
    uint32_t Read(tCAN_RAW_MSG* msgs, int32_t capacity, int32_t& count) override {
        count = 0;
        while (count < capacity && count < 64 && m_sent < m_fed.load()) {
            msgs[count] = hubtest::Frame(0x100, 0, 0, m_sent);
            for (int b = 0; b < 4; ++b) msgs[count].Data[b] = static_cast<uint8_t>(m_sent >> (8 * b));
            ++m_sent;
            ++count;
        }
        if (m_sent < m_fed.load()) m_RcvEvent.Set();
        return 0;
    }
    void Feed(uint32_t n) {
        m_fed += n;
        m_RcvEvent.Set();
    }

    uint32_t deviceOpenRc = 0;
    uint32_t busOpenRc = 0;
    std::vector<std::string> calls;  // Start and Stop run on the test's thread

private:
    uint32_t call(const char* name, uint32_t rc) {
        calls.emplace_back(name);
        return rc;
    }
    std::atomic<uint32_t> m_fed{0};
    uint32_t m_sent = 0;  // receive thread only
};

// Counts its frames, checks that each was queued before it arrived, and takes its time over each. Its
// kHoldAt-th call waits until the test lets it go (at most 30 s), so the test hands over while frames are
// still coming, however fast or slow the machine runs.
class CheckingService final : public CExternService {
public:
    static constexpr uint32_t kHoldAt = 101;

    explicit CheckingService(CCanMsgDataHub& hub) : m_hub(hub) {}
    void OnRxMsg(const tCAN_RAW_MSG* msg) override {
        inCall = true;
        // Nobody drains during the test: the queue holds the frames pushed so far, this one's block included.
        if (m_hub.Queue().Count() < emutest::SeqOf(msg->Data) + 1) ++notQueuedFirst;
        if (++calls == kHoldAt) {
            for (int ms = 0; ms < 30'000 && !released; ++ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        inCall = false;
    }
    std::atomic<bool> inCall{false};
    std::atomic<bool> released{false};
    std::atomic<uint32_t> calls{0};
    std::atomic<uint32_t> notQueuedFirst{0};

private:
    CCanMsgDataHub& m_hub;
};

TEST(CanRxThread, OpenFailuresCloseWhatWasOpened) {
    using R = CCanRxThread::StartResult;
    struct Case {
        uint32_t deviceRc, busRc;
        R result;
        std::vector<std::string> calls;  // after Start and Stop
    } cases[] = {
        {1, 0, R::DeviceOpenFailed, {"DeviceOpen"}},
        {0, 2, R::BusOpenFailed, {"DeviceOpen", "BusOpen", "DeviceClose"}},
        {0, 0, R::Ok, {"DeviceOpen", "BusOpen", "BusClose", "DeviceClose"}},
    };
    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub(cfg, info);
    for (const Case& c : cases) {
        CCanRxThread rx;
        ScriptedDevice dev;
        dev.deviceOpenRc = c.deviceRc;
        dev.busOpenRc = c.busRc;
        EXPECT_EQ(rx.Start(&dev), R::Refused);  // no hub yet
        rx.SetHub(&hub);
        ASSERT_EQ(rx.Start(&dev), c.result);
        EXPECT_EQ(rx.IsRunning(), c.result == R::Ok);
        EXPECT_EQ(rx.CurDevice(), c.result == R::Ok ? &dev : nullptr);
        if (c.result == R::Ok) {
            EXPECT_EQ(rx.Start(&dev), R::Refused);  // the thread exists
        }
        rx.Stop();
        EXPECT_EQ(dev.calls, c.calls);
        EXPECT_FALSE(rx.IsRunning());
        EXPECT_EQ(rx.CurDevice(), nullptr);
        rx.Stop();  // again: nothing more is closed
        EXPECT_EQ(dev.calls, c.calls);
    }
}

// Frames reach a service only while it is active, each after it was queued; once the active service is
// changed, the previous one is neither inside OnRxMsg nor called again.
TEST(CanRxThread, ServiceHandOff) {
    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub(cfg, info);
    CCanRxThread rx;
    ScriptedDevice dev;
    rx.SetHub(&hub);
    ASSERT_EQ(rx.Start(&dev), CCanRxThread::StartResult::Ok);
    CheckingService a(hub), b(hub);
    auto queued = [&](uint32_t n) {
        return emutest::WaitFor([&] { return hub.Queue().Count() >= n; }, 30'000);
    };

    dev.Feed(1000);
    ASSERT_TRUE(queued(1000));
    EXPECT_EQ(a.calls, 0u);

    rx.SetActiveService(&a);
    dev.Feed(12000);
    ASSERT_TRUE(emutest::WaitFor([&] { return a.calls >= CheckingService::kHoldAt; }, 30'000));
    a.released = true;
    rx.SetActiveService(&b);
    EXPECT_FALSE(a.inCall);
    const uint32_t aCalls = a.calls;
    ASSERT_TRUE(emutest::WaitFor([&] { return b.calls >= CheckingService::kHoldAt; }, 30'000));
    b.released = true;
    rx.SetActiveService(nullptr);
    EXPECT_FALSE(b.inCall);
    const uint32_t bCalls = b.calls;
    ASSERT_TRUE(queued(13000));
    rx.Stop();
    EXPECT_EQ(a.calls, aCalls);
    EXPECT_EQ(b.calls, bCalls);
    EXPECT_LT(aCalls + bCalls, 12000u);
    EXPECT_EQ(a.notQueuedFirst + b.notQueuedFirst, 0u);
    EXPECT_EQ(hub.Queue().Count(), 13000u);
}

// The workspace's log stage writes to a recording logger.
class WorkspaceTest : public wstest::WorkspaceTest {
protected:
    CCanWorkspace& Make() {
        wstest::WorkspaceTest::Make().Hub().SetLogSink(&sink);
        return *ws;
    }
    std::string Stored(const char* name) {
        const auto v = store.read(name);
        return v ? v->text : std::string("<absent>");
    }

    RecordingSink sink;
};

// A start without a last configuration makes a default file and remembers it; the path in use goes back to
// the store at exit and is opened at the next start.
TEST_F(WorkspaceTest, StartUpAndExit) {
    Make();
    const std::string made = (dir.path() / "cfg" / "default.xml").string();
    EXPECT_EQ(ws->CfgPath(), made);
    EXPECT_TRUE(std::filesystem::exists(made));
    EXPECT_EQ(Stored("sLastCfgFilePathName"), made);
    EXPECT_EQ(Stored("sAppFolderPath"), dir.path().string());
    EXPECT_EQ(Stored("sAppVersion"), GetProductVersion());
    EXPECT_TRUE(Infos().empty());

    ws->Cfg().Log.LogFileNameId = "KEPT";
    std::string error;
    ASSERT_TRUE(ws->Cfg().SaveConfigAs(made, error)) << error;
    ws->SetCfgPath(made);
    ws.reset();
    Make();
    EXPECT_EQ(ws->CfgPath(), made);
    EXPECT_EQ(ws->Cfg().Log.LogFileNameId, "KEPT");
    EXPECT_EQ(ws->Cfg().FileState(), 1);
    EXPECT_TRUE(Infos().empty());
}

// A last configuration that exists but is refused never becomes the working file: a new default file does,
// the store remembers it, the info window names both, and a save leaves the refused file as it was.
TEST_F(WorkspaceTest, RefusedLastConfigurationIsNotTheWorkingFile) {
    const struct {
        const char* name;
        std::string content;
        std::string reason;  // with PATH for the refused file
    } cases[] = {
        {"cut.xml", "<VEXAR_CFG_FILE>\r\n<CFG_SET_REPLAY/>",
         "文件 PATH 格式错误：35 bytes, Document ends early (truncated) at offset 35 (Element "
         "'VEXAR_CFG_FILE' at offset 0 not ended)"},
        {"text.xml", "not xml", "文件 PATH 不是配置文件。"},
        {"queue.xml", "<EXT_SER_QUEUE_TX_MSG_CFG_FILE/>", "文件 PATH 不是配置文件。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string refused = Path(c.name);
        vextest::writeFile(refused, c.content);
        store.writeString("sLastCfgFilePathName", refused);
        Make();
        const std::string used = ws->CfgPath();
        EXPECT_NE(used, refused);
        EXPECT_EQ(std::filesystem::path(used).parent_path(), dir.path() / "cfg");
        EXPECT_EQ(Stored("sLastCfgFilePathName"), used);
        std::string reason = c.reason;
        reason.replace(reason.find("PATH"), 4, refused);
        const auto msgs = Infos();
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_EQ(msgs[0].Source, CCanWorkspace::kCfgSource);
        EXPECT_EQ(msgs[0].Level, 2);
        EXPECT_EQ(msgs[0].Text,
                  "配置文件 " + refused + " 没有读取，改用新建的配置文件 " + used + "。" + reason);

        std::string error;
        ASSERT_TRUE(ws->Cfg().SaveConfigAs(ws->CfgPath(), error)) << error;
        ws.reset();
        EXPECT_EQ(vextest::readFile(refused), c.content);
        EXPECT_EQ(Stored("sLastCfgFilePathName"), used);
    }
}

// Every refusal returns false, changes nothing about the online state and says why in the info ring.
TEST_F(WorkspaceTest, GoOnlineFailuresAreReported) {
    Make();
    struct Case {
        const char* name;
        std::function<void()> prepare;
        const char* says;
        bool hubReset;  // the failure comes after the hub reset
    } cases[] = {
        {"no device", [&] { Select(99); }, "没有选择CAN设备", true},
        {"third kind", [&] { Select(CAppCfg::kDevWiFi); }, "“WiFi Vyk Device”没有可用的驱动程序", true},
        {"unplugged",
         [&] {
             Select(CAppCfg::kDevNxp);
             peer::Unplug(Interface::TwoChannel);
         },
         "开启设备失败", true},
        {"replaying",
         [&] {
             Select(CAppCfg::kDevNxp);
             ws->SetReplayFlag(true);
         },
         "正在回放记录", false},
    };
    for (const Case& c : cases) {
        peer::Reset();
        ws->SetReplayFlag(false);
        ws->Hub().SetNotReady();
        ws->RxThread().SetHub(nullptr);
        c.prepare();
        EXPECT_FALSE(ws->GoOnline()) << c.name;
        EXPECT_FALSE(ws->IsOnline());
        EXPECT_FALSE(ws->RxThread().IsRunning());
        EXPECT_EQ(ws->RxThread().CurDevice(), nullptr);
        EXPECT_EQ(ws->Hub().IsReady(), c.hubReset) << c.name;
        EXPECT_EQ(ws->RxThread().Hub(), c.hubReset ? &ws->Hub() : nullptr) << c.name;
        ws->MoveDeviceReports();
        bool found = false, deviceSaid = false;
        for (const tINFO_MSG& m : Infos()) {
            if (m.Source == CCanWorkspace::kOnlineSource) found = m.Text.find(c.says) != std::string::npos;
            deviceSaid |= m.Source == "NXP-VYK" && m.Level == 2;  // the device's own report, moved on
        }
        EXPECT_TRUE(found) << c.name;
        EXPECT_EQ(deviceSaid, std::string(c.name) == "unplugged");
    }
    ws->SetReplayFlag(false);
    peer::Reset();
    Select(CAppCfg::kDevNxp);
    ASSERT_TRUE(ws->GoOnline());
    EXPECT_FALSE(ws->GoOnline());
    EXPECT_TRUE(ws->IsOnline());
    EXPECT_NE(Infos().back().Text.find("总线监听已经开启"), std::string::npos);
    ws->GoOffline();
}

// Automatic logging starts a log when going online, never a second one, and says so when it cannot.
TEST_F(WorkspaceTest, AutoLogging) {
    Make();
    Select(CAppCfg::kDevCf51);
    ws->Cfg().Log.AutoLogFlag = 1;
    ws->Cfg().Log.LogFileNameId = "AUTO";
    struct Case {
        bool alreadyOpen, refuse;
        int starts;
        bool warned;
    } cases[] = {{false, false, 1, false}, {true, false, 0, false}, {false, true, 1, true}};
    for (const Case& c : cases) {
        sink = RecordingSink();
        sink.open = c.alreadyOpen;
        sink.refuseStart = c.refuse;
        Infos();
        ASSERT_TRUE(ws->GoOnline());
        EXPECT_EQ(sink.starts, c.starts);
        if (c.starts) {
            EXPECT_EQ(sink.prefixes[0], "AUTO");
        }
        bool warned = false;
        for (const tINFO_MSG& m : Infos()) warned |= m.Text.find("自动开始记录失败") != std::string::npos;
        EXPECT_EQ(warned, c.warned);
        ws->GoOffline();
        EXPECT_FALSE(sink.open);
    }
}

// Going offline ends every thread that going online started, nothing is queued after it, and the global
// maps are emptied so the next going online rebuilds them.
TEST_F(WorkspaceTest, NoThreadSurvivesGoingOffline) {
    Make();
    Select(CAppCfg::kDevNxp);
    ws->Cfg().CanDatabases = {Db("db", 0, {Msg("M", 0x10, 0)})};
    const int baseline = emutest::ThreadBaseline();
    ASSERT_TRUE(ws->GoOnline());
    EXPECT_EQ(ws->Hub().GlobalMsgMap().size(), 1u);
    peer::AddPeriodic(0, emutest::MakeFrame(0x10, false, {1}), 1);
    ASSERT_TRUE(emutest::WaitFor([&] { return ws->Hub().Queue().Count() > 20; }, 30'000));
    ws->GoOffline();
    EXPECT_FALSE(ws->IsOnline());
    EXPECT_EQ(ws->RxThread().CurDevice(), nullptr);
    EXPECT_EQ(ws->RxThread().Hub(), nullptr);
    EXPECT_FALSE(ws->Hub().IsReady());
    EXPECT_TRUE(ws->Hub().GlobalMsgMap().empty());
    // What was received is drained; the rows keep their names.
    EXPECT_EQ(ws->Hub().Queue().Count(), 0u);
    EXPECT_EQ(ws->Hub().LiveTraceMap().at(0x10).MsgName(), "M");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ws->Hub().Queue().Count(), 0u);
    peer::ClearPeriodic();
    EXPECT_TRUE(emutest::WaitFor([&] { return emutest::ThreadCount() <= baseline; }, 30'000))
        << emutest::ThreadCount() << " threads, " << baseline << " before";
    ws->GoOffline();  // from idle: harmless
}

// 100,000 frames on two channels at full bus rate through the emulated two-channel interface: every frame
// reaches the hub in order, none lost; the trace ring holds the last 20,000 numbered rows and the
// per-identifier map the newest row of each key with its delta time.
TEST_F(WorkspaceTest, FullRateTwoChannels) {
    constexpr uint32_t kPerChannel = 50000;
    Make();
    Select(CAppCfg::kDevNxp);
    sink.open = true;
    ASSERT_TRUE(ws->GoOnline());
    emutest::PacedBursts bursts(kPerChannel, CCanRxMsgQueue::kCapacity / 2,
                                [](uint32_t i) { return emutest::SeqFrame(0x200 + i % 3, i); });
    // The main frame's tick, which paces the peer.
    do {
        ASSERT_TRUE(bursts.Feed(sink.frames.size())) << "frames lost";
        ws->Hub().ProcessRxQueue();
    } while (!peer::WaitIdle(10) || !bursts.AllQueued());
    ws->GoOffline();

    const auto& frames = sink.frames;
    ASSERT_EQ(frames.size(), 2 * kPerChannel);
    uint32_t next[2] = {0, 0};
    for (size_t i = 0; i < frames.size(); ++i) {
        const tCAN_RAW_MSG& f = frames[i];
        ASSERT_LT(f.Chan, 2);
        ASSERT_EQ(emutest::SeqOf(f.Data), next[f.Chan]) << i;
        ASSERT_EQ(f.Id, 0x200 + next[f.Chan] % 3);
        ++next[f.Chan];
        ASSERT_EQ(f.Dir, 0);
        if (i > 0) {
            ASSERT_GE(f.TimeMs, frames[i - 1].TimeMs) << i;
        }
    }
    for (const tINFO_MSG& m : Infos()) EXPECT_NE(m.Source, CCanMsgDataHub::kDropSource) << m.Text;

    auto& hub = ws->Hub();
    std::lock_guard<std::mutex> lock(hub.TraceLock());
    auto& ring = hub.TraceRing();
    ASSERT_EQ(ring.Count(), CCanMsgTraceRing::kCapacity);
    EXPECT_EQ(ring.SeqCounter(), 2 * kPerChannel);
    const size_t first = frames.size() - CCanMsgTraceRing::kCapacity;
    for (uint32_t n = 0; n < ring.Count(); ++n) {
        const auto& row = ring.Row(n);
        ASSERT_EQ(row.SeqNo, first + n + 1);
        ASSERT_EQ(row.TimeMs, frames[first + n].TimeMs);
        ASSERT_EQ(row.Chan, frames[first + n].Chan);
    }
    // Newest row per key, and the time since the key's previous frame.
    std::map<uint64_t, std::pair<double, double>> lastTwo;  // key -> (previous, last)
    for (const auto& f : frames) {
        auto& t = lastTwo[TraceKey(f.Chan, f.Id, f.Ext)];
        t = {t.second, f.TimeMs};
    }
    ASSERT_EQ(hub.LiveTraceMap().size(), 6u);
    for (const auto& [key, row] : hub.LiveTraceMap()) {
        EXPECT_EQ(row.TimeMs, lastTwo.at(key).second);
        EXPECT_DOUBLE_EQ(row.DeltaMs, lastTwo.at(key).second - lastTwo.at(key).first);
    }
}

}  // namespace
