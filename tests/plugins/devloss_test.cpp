// Both plug-ins when their interface is unplugged and plugged in again while online: the loss and the
// recovery are reported once each, sends fail while the device is lost, the cyclic list comes back, frame
// times go on ascending although the interface starts its clock again, and traffic is received again as
// soon as the interface is back, with only the receive thread calling the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/deviceport/emupeer.h"
#include "platform/nxpdrv/vyk7m_nxp.h"
#include "plugins/cf51/parvel.h"
#include "plugins/nxp/morvan.h"
#include "tests/deviceport/emutest.h"
#include "tests/plugins/devicetest.h"

using namespace vex::emu;
using emutest::MakeFrame;
using emutest::WaitFor;

namespace {

struct Kind {
    const char* name;
    Interface iface;
    const char* lossText;  // the loss report with the status word the device gives for it
    uint32_t reopenMs;     // how often the driver library looks for a lost interface
};

const Kind kKinds[] = {
    // The system's "not connected"; the driver's read thread pauses 100 ms after each failed reconnection.
    {"Cf51", Interface::Cf51, "2:设备连接中断，设备状态字：0x0000048F", 100},
    // The library's "device lost".
    {"Nxp", Interface::TwoChannel, "2:设备连接中断，设备状态字：0x20000006", vyk7m_nxp::kNxpReopenMs},
};
void PrintTo(const Kind& kind, std::ostream* os) {
    *os << kind.name;
}

const std::string kRecovery = "0:设备已重新连接，设备状态字：0x00000000，报文时间已按断开时长接续原时间轴。";

tCAN_CYCTX_MSG Cyclic(uint32_t id, uint16_t periodMs, uint16_t count) {
    tCAN_CYCTX_MSG c;
    c.Msg.Id = id;
    c.Msg.Chan = 1;
    c.Msg.Dir = 1;
    c.Msg.Dlc = 1;
    c.Msg.Data[0] = 0x11;
    c.CycTxTime = periodMs;
    c.CycTxCount = count;
    return c;
}

class DeviceLoss : public emutest::EmuTest, public ::testing::WithParamInterface<Kind> {
protected:
    void SetUp() override {
        EmuTest::SetUp();
        if (GetParam().iface == Interface::Cf51) {
            dev = std::make_unique<CCanDeviceVykCf51>();
        } else {
            dev = std::make_unique<CCanDeviceVykNxp>();
        }
        dev->m_ChanCfg[0] = {500, 0, 0};
        dev->m_ChanCfg[1] = {500, 0, 0};
        ASSERT_EQ(dev->DeviceOpen(), 0u);
        ASSERT_EQ(dev->BusOpen(), 0u);
        rx = std::make_unique<RxThread>(*dev);  // reads as the program's receive thread does
        Reports(*dev);
    }
    void TearDown() override {
        rx.reset();
        dev->BusClose();
        dev->DeviceClose();
        dev.reset();
        EmuTest::TearDown();
    }
    // Waits until the report arrives, keeping every report taken meanwhile.
    bool WaitForReport(const std::string& text) {
        return WaitFor(
            [&] {
                for (std::string& r : Reports(*dev)) seen.push_back(std::move(r));
                return std::count(seen.begin(), seen.end(), text) > 0;
            },
            3000);
    }
    void Unplug() {
        peer::Unplug(GetParam().iface);
        ASSERT_TRUE(WaitForReport(GetParam().lossText));
    }
    void Replug() {
        peer::Replug(GetParam().iface);
        ASSERT_TRUE(WaitForReport(kRecovery));
    }

    std::unique_ptr<CCanDevice> dev;
    std::unique_ptr<RxThread> rx;
    std::vector<std::string> seen;
};

TEST_P(DeviceLoss, EachLossAndRecoveryIsReportedOnceWithTheStatusWord) {
    for (int round = 0; round < 2; ++round) {
        Unplug();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Replug();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (std::string& r : Reports(*dev)) seen.push_back(std::move(r));
    const std::string loss = GetParam().lossText;
    EXPECT_EQ(seen, (std::vector<std::string>{loss, kRecovery, loss, kRecovery}));
}

// A session that ends while the interface is away leaves that loss without a reconnection; the next
// session's reconnection still finds the device working.
TEST_P(DeviceLoss, ALossLeftByTheSessionBeforeDoesNotMarkTheNextRecovery) {
    Unplug();
    rx.reset();
    dev->BusClose();
    dev->DeviceClose();
    peer::Replug(GetParam().iface);
    ASSERT_EQ(dev->DeviceOpen(), 0u);
    ASSERT_EQ(dev->BusOpen(), 0u);
    rx = std::make_unique<RxThread>(*dev);
    seen.clear();
    Unplug();
    Replug();
    for (std::string& r : Reports(*dev)) seen.push_back(std::move(r));
    EXPECT_EQ(seen.back(), kRecovery);
}

TEST_P(DeviceLoss, SendsFailWhileTheDeviceIsLost) {
    peer::SetRecording(true);
    tCAN_RAW_MSG m;
    m.Id = 0x2A;
    m.Chan = 1;
    m.Dlc = 1;
    Unplug();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(dev->Write(m), 1u) << i;
    Replug();
    ASSERT_TRUE(peer::WaitIdle(2000));
    EXPECT_TRUE(peer::Received().empty());  // nothing was kept to go out later either
    EXPECT_EQ(dev->Write(m), 0u);
    ASSERT_TRUE(WaitFor([] { return peer::Received().size() == 1; }, 2000));
}

TEST_P(DeviceLoss, CyclicListIsPutBackAfterReplugAndARemoveThenRemoves) {
    peer::SetRecording(true);
    tCAN_CYCTX_MSG endless = Cyclic(0x101, 10, 0);
    tCAN_CYCTX_MSG limited = Cyclic(0x102, 10, 40);  // running when the device goes
    tCAN_CYCTX_MSG finished = Cyclic(0x103, 5, 2);   // done long before
    tCAN_CYCTX_MSG dropped = Cyclic(0x104, 10, 0);   // removed while the device is away
    for (const tCAN_CYCTX_MSG* c : {&endless, &limited, &finished, &dropped}) {
        ASSERT_EQ(dev->AddCycTxMsg(*c), 0u);
    }
    endless.Msg.Data[0] = 0x77;
    ASSERT_EQ(dev->UpdateCycTxMsgData(endless), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));

    Unplug();
    // Changes while the device is away fail (and say so), but the list the plug-in puts back has them.
    endless.CycTxTime = 20;
    EXPECT_EQ(dev->UpdateCycTxMsgPeriod(endless), 1u);
    EXPECT_EQ(dev->RmvCycTxMsg(dropped), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int64_t replugged = peer::BusTimeNs();
    Replug();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // `limited` has ended by then

    std::vector<int64_t> endlessAfter;
    size_t limitedBefore = 0, limitedAfter = 0, others = 0;
    for (const SeenFrame& s : peer::Received()) {
        const bool after = s.busTimeNs > replugged;
        if (s.frame.id == endless.Msg.Id && after) {
            EXPECT_EQ(s.frame.data[0], 0x77);
            endlessAfter.push_back(s.busTimeNs);
        } else if (s.frame.id == limited.Msg.Id) {
            ++(after ? limitedAfter : limitedBefore);
        } else if (after) {
            ++others;
        }
    }
    ASSERT_GE(endlessAfter.size(), 10u);
    for (size_t i = 1; i < endlessAfter.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(endlessAfter[i] - endlessAfter[i - 1]), 20e6, 1e6);
    }
    EXPECT_GT(limitedAfter, 0u);
    EXPECT_LE(limitedBefore + limitedAfter, 41u);  // the rest of its count, not the whole count again
    EXPECT_EQ(others, 0u);                         // neither the finished nor the removed entry came back

    EXPECT_EQ(dev->RmvCycTxMsg(endless), 0u);
    EXPECT_EQ(dev->RmvCycTxMsg(limited), 0u);
    ASSERT_TRUE(peer::WaitIdle(1000));
    const size_t total = peer::Received().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(peer::Received().size(), total);  // removed for good
    for (std::string& r : Reports(*dev)) seen.push_back(std::move(r));
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const std::string& r) { return r[0] == '2'; }), 3)
        << "the loss and the two refused changes only";
}

// Traffic every 5 ms, the interface away for 300 ms: every time ascends, and the one gap in them is the
// time the frames were away (at least the 300 ms, at most until the first frame after was seen).
TEST_P(DeviceLoss, FrameTimesAscendAcrossAReconnectionAndTheGapIsTheTimeAway) {
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    peer::AddPeriodic(1, MakeFrame(0x33, false, {0}), 5, 0, true);
    ASSERT_TRUE(WaitFor([&] { return rx->Count() >= 40; }, 3000));
    const auto unplugged = Clock::now();
    Unplug();
    std::this_thread::sleep_until(unplugged + std::chrono::milliseconds(300));
    const size_t before = rx->Count();
    Replug();
    ASSERT_TRUE(WaitFor([&] { return rx->Count() > before; }, 3000));
    const double awayAtMost = ms(Clock::now() - unplugged);
    ASSERT_TRUE(WaitFor([&] { return rx->Count() >= before + 40; }, 3000));
    rx->Stop();

    const std::vector<tCAN_RAW_MSG> frames = rx->Frames();
    double gap = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        ASSERT_GE(frames[i].TimeMs, frames[i - 1].TimeMs) << i << " of " << frames.size();
        gap = std::max(gap, frames[i].TimeMs - frames[i - 1].TimeMs);
    }
    EXPECT_GE(gap, 300.0 - 20);
    EXPECT_LE(gap, awayAtMost + 5 + 50);  // the last frame before may have come one period early
}

// Traffic every 5 ms, the interface away for 300 ms, and nothing but the receive thread calling the device:
// the driver library finds the interface again by itself, so the frames sent after the replug are received
// but for those of the first few reconnection intervals.
TEST_P(DeviceLoss, TrafficAfterAReplugIsReceivedAsSoonAsTheDeviceIsBack) {
    constexpr int64_t kPeriodMs = 5;
    peer::AddPeriodic(1, MakeFrame(0x33, false, {0}), kPeriodMs, 0, true);
    ASSERT_TRUE(WaitFor([&] { return rx->Count() >= 40; }, 3000));
    Unplug();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const size_t before = rx->Count();
    const int64_t replugged = peer::BusTimeNs();
    peer::Replug(GetParam().iface);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the traffic goes on; counted below
    peer::ClearPeriodic();
    const int64_t ended = peer::BusTimeNs();
    ASSERT_TRUE(peer::WaitIdle(30000));

    const int64_t sent = (ended - replugged) / (kPeriodMs * 1'000'000);
    const int64_t missedAtMost = 4 * int64_t{GetParam().reopenMs} / kPeriodMs;
    const auto received = [&] { return static_cast<int64_t>(rx->Count() - before); };
    EXPECT_TRUE(WaitFor([&] { return received() + missedAtMost >= sent; }, 30000))
        << received() << " frames received of " << sent << " sent after the replug";
    for (std::string& r : Reports(*dev)) seen.push_back(std::move(r));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), kRecovery), 1);
}

INSTANTIATE_TEST_SUITE_P(Plugins, DeviceLoss, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) { return info.param.name; });

}  // namespace
