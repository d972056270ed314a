// The two-channel plug-in end to end: plug-in, the stand-in driver library, emulated interface and peer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/deviceport/deviceport.h"
#include "platform/deviceport/emupeer.h"
#include "platform/nxpdrv/vyk7m_nxp.h"
#include "plugins/nxp/morvan.h"
#include "tests/deviceport/emutest.h"
#include "tests/plugins/devicetest.h"

using namespace vex::emu;
using emutest::MakeFrame;
using emutest::WaitFor;

namespace {

class Nxp : public emutest::EmuTest {
protected:
    void GoOnline(tCAN_DEV_CHAN_CFG ch0 = {1000, 0, 0}, tCAN_DEV_CHAN_CFG ch1 = {1000, 0, 0}) {
        dev.m_ChanCfg[0] = ch0;
        dev.m_ChanCfg[1] = ch1;
        ASSERT_EQ(dev.DeviceOpen(), 0u);
        ASSERT_EQ(dev.BusOpen(), 0u);
        Reports(dev);
    }
    void TearDown() override {
        dev.BusClose();
        dev.DeviceClose();
        EmuTest::TearDown();
    }
    CCanDeviceVykNxp dev;
};

TEST(NxpRecords, LayoutOfTheLibrarysRecords) {
    using namespace vyk7m_nxp;
    static_assert(offsetof(tVYK_CAN_MSG, Data) == 4 && offsetof(tVYK_CAN_MSG, Len) == 12 &&
                  offsetof(tVYK_CAN_MSG, Info) == 13 && offsetof(tVYK_CAN_MSG, TimeHigh) == 14 &&
                  offsetof(tVYK_CAN_MSG, TimeLow) == 16);
    static_assert(offsetof(tVYK_CAN_CYCTX_MSG, Info) == 13 && offsetof(tVYK_CAN_CYCTX_MSG, Flags) == 14 &&
                  offsetof(tVYK_CAN_CYCTX_MSG, PeriodMs) == 16 && offsetof(tVYK_CAN_CYCTX_MSG, Count) == 20);
    static_assert(offsetof(tVYK_CAN_STATUS, Chan0Load) == 8 &&
                  offsetof(tVYK_CAN_STATUS, Chan1Counter1) == 12 &&
                  offsetof(tVYK_CAN_STATUS, Chan1Load) == 16);
    static_assert(sizeof(tVYK_CAN_CONFIG) == 8);
    SUCCEED();
}

TEST(NxpRecords, ConfigurationWordsPerChannel) {
    struct Case {
        tCAN_DEV_CHAN_CFG ch[2];
        uint16_t words[4];
    } cases[] = {
        {{{500, 0, 0}, {0, 0x01, 0x1C}}, {0x21F4, 0, 0, 0x011C}},
        {{{250, 0x12, 0x34}, {1000, 0, 0}}, {0x20FA, 0, 0x23E8, 0}},
        {{{0, 0, 0}, {0, 0xFF, 0xFF}}, {0, 0, 0, 0xFFFF}},
        {{{0x1FFF, 0, 0}, {10, 0, 0}}, {0x2FFF, 0, 0x200A, 0}},  // the code keeps its low 12 bits
    };
    for (const Case& c : cases) {
        uint16_t words[4];
        NxpConfigWords(c.ch, words);
        EXPECT_EQ(std::vector<uint16_t>(words, words + 4), std::vector<uint16_t>(c.words, c.words + 4));
    }
}

TEST_F(Nxp, OpensBothChannelsWithTheirOwnRates) {
    EXPECT_EQ(dev.m_ChanCount, 2);
    GoOnline({500, 0, 0}, {0, 0x01, 0x1C});
    EXPECT_EQ(peer::BitRate(0), 500'000u);
    EXPECT_EQ(peer::BitRate(1), 250'000u);
    EXPECT_EQ(dev.BusClose(), 0u);
    dev.m_ChanCfg[1] = {0, 0, 0};  // 2.67 Mbit/s: the controller refuses
    EXPECT_EQ(dev.BusOpen(), 1u);
    const std::vector<std::string> want = {
        "0:关闭CAN总线操作成功。",
        "2:开启CAN总线操作失败，故障代码：0x20000003",
    };
    EXPECT_EQ(Reports(dev), want);
}

TEST_F(Nxp, ReceivedFramesCarryChannelFlagsAndMicrosecondTime) {
    GoOnline();
    peer::SendOnce(1, MakeFrame(0x18FEF100, true, {}, true));
    peer::SendOnce(0, MakeFrame(0x7FF, false, {1, 2, 3}));
    ASSERT_TRUE(peer::WaitIdle(1000));
    ASSERT_TRUE(dev.m_RcvEvent.Wait(1000));
    tCAN_RAW_MSG buf[8];
    int32_t n = 0;
    dev.Read(buf, 8, n);
    ASSERT_EQ(n, 2);
    const tCAN_RAW_MSG* ext = buf[0].Chan == 1 ? &buf[0] : &buf[1];
    const tCAN_RAW_MSG* std = buf[0].Chan == 1 ? &buf[1] : &buf[0];
    EXPECT_EQ(ext->Id, 0x18FEF100u);
    EXPECT_EQ(ext->Ext, 1);
    EXPECT_EQ(ext->Remote, 1);
    EXPECT_EQ(ext->Dir, 0);
    EXPECT_EQ(std->Id, 0x7FFu);
    EXPECT_EQ(std->Chan, 0);
    EXPECT_EQ(std->Dlc, 3);
    EXPECT_EQ(std->Data[2], 3);
    for (int k = 3; k < 8; ++k) EXPECT_EQ(std->Data[k], 0);
    // Microseconds since the interface came up: a fraction of a millisecond is kept.
    EXPECT_GT(buf[0].TimeMs, 0.0);
    EXPECT_LE(buf[0].TimeMs, buf[1].TimeMs);
}

TEST_F(Nxp, TwoChannelsAtFullBusRateArriveCompleteAndInOrder) {
    GoOnline();
    RxThread rx(dev);
    constexpr uint32_t kFrames = 20'000;  // per channel, about a second at 1 Mbit/s
    peer::SendBurst(0, kFrames, [](uint32_t i) { return emutest::SeqFrame(0x100, i); });
    peer::SendBurst(1, kFrames, [](uint32_t i) { return emutest::SeqFrame(0x18000000, i); });
    ASSERT_TRUE(WaitFor([&] { return rx.Count() >= 2 * kFrames; }, 15'000)) << rx.Count();
    rx.Stop();
    const auto got = rx.Frames();
    ASSERT_EQ(got.size(), 2 * kFrames);
    uint32_t next[2] = {0, 0};
    double last = 0.0;
    for (const tCAN_RAW_MSG& m : got) {
        ASSERT_LT(m.Chan, 2);
        ASSERT_EQ(emutest::SeqOf(m.Data), next[m.Chan]++);
        ASSERT_GE(m.TimeMs, last);  // both channels together in the order their frames ended
        last = m.TimeMs;
    }
    EXPECT_LE(rx.LargestRead(), 1024);
    EXPECT_EQ(peer::DroppedFrames(Interface::TwoChannel), 0u);
}

TEST_F(Nxp, ReadStopsAtTheCapacityAndSignalsTheRest) {
    GoOnline();
    peer::SendBurst(0, 1500, [](uint32_t i) { return emutest::SeqFrame(0x1, i); });
    ASSERT_TRUE(peer::WaitIdle(5000));
    std::vector<tCAN_RAW_MSG> buf(1500);
    int32_t n = 0;
    dev.m_RcvEvent.Wait(0);
    dev.Read(buf.data(), 1500, n);
    EXPECT_EQ(n, 1024);
    EXPECT_TRUE(dev.m_RcvEvent.IsSet());
    dev.Read(buf.data() + 1024, 100, n);
    EXPECT_EQ(n, 100);
    dev.Read(buf.data() + 1124, 1000, n);
    EXPECT_EQ(n, 376);
    EXPECT_EQ(emutest::SeqOf(buf[1499].Data), 1499u);
}

TEST_F(Nxp, WritesOnEitherChannelAndEchoes) {
    GoOnline();
    peer::SetRecording(true);
    for (uint8_t chan : {0, 1, 1}) {
        tCAN_RAW_MSG m;
        m.Id = 0x300u + chan;
        m.Ext = chan;
        m.Remote = 0;
        m.Chan = chan;
        m.Dir = 1;
        m.Dlc = 1;
        m.Data[0] = 0x42;
        EXPECT_EQ(dev.Write(m), 0u);
    }
    tCAN_RAW_MSG bad;
    bad.Chan = 5;
    EXPECT_EQ(dev.Write(bad), 1u);
    ASSERT_TRUE(peer::WaitIdle(1000));
    const auto seen = peer::Received();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].segment, 0);
    EXPECT_EQ(seen[1].segment, 1);
    EXPECT_TRUE(seen[1].frame.ext);
    EXPECT_EQ(seen[2].frame.data[0], 0x42);
    EXPECT_EQ(seen[2].frame.data[1], 0);  // the bytes beyond the length were cleared
    EXPECT_EQ(seen[0].origin, Origin::TwoChannel);
    tCAN_RAW_MSG buf[8];
    int32_t n = 0;
    dev.Read(buf, 8, n);
    ASSERT_EQ(n, 3);
    for (int i = 0; i < n; ++i) EXPECT_EQ(buf[i].Dir, 1);
}

TEST_F(Nxp, CyclicFramesWithItsOwnReports) {
    GoOnline();
    peer::SetRecording(true);
    tCAN_CYCTX_MSG c;
    c.Msg.Id = 0x0CF00400;
    c.Msg.Ext = 1;
    c.Msg.Chan = 1;
    c.Msg.Dlc = 8;
    c.CycTxTime = 10;
    c.CycTxCount = 4;
    EXPECT_EQ(dev.AddCycTxMsg(c), 0u);
    ASSERT_TRUE(WaitFor([] { return peer::Received().size() >= 4; }, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto seen = peer::Received();
    ASSERT_EQ(seen.size(), 4u);
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].segment, 1);
        EXPECT_NEAR(static_cast<double>(seen[i].busTimeNs - seen[i - 1].busTimeNs), 10e6, i == 1 ? 0.3e6 : 0);
    }
    EXPECT_EQ(dev.UpdateCycTxMsgPeriod(c), 1u);  // ended after its count
    c.CycTxCount = 0;
    EXPECT_EQ(dev.AddCycTxMsg(c), 0u);
    EXPECT_EQ(dev.UpdateCycTxMsgPeriod(c), 0u);
    EXPECT_EQ(dev.UpdateCycTxMsgData(c), 0u);
    EXPECT_EQ(dev.RmvCycTxMsg(c), 0u);
    const std::vector<std::string> want = {
        "0:VYK:执行添加循环发送报文操作成功。",
        "2:VYK执行更新循环发送报文周期操作失败,故障代码：20000008，报文ID:0CF00400",
        "0:VYK:执行添加循环发送报文操作成功。",
        "0:VYK:执行更新循环发送报文周期操作成功。",
        "0:VYK:执行更新循环发送报文数据操作成功。",
        "0:VYK:执行移除循环发送报文操作成功。",
    };
    EXPECT_EQ(Reports(dev), want);
}

TEST_F(Nxp, BusStatusOfBothChannels) {
    GoOnline({500, 0, 0}, {250, 0, 0});
    const Frame f = MakeFrame(0x10, false, {1, 2, 3, 4, 5, 6, 7, 8});
    peer::AddPeriodic(0, f, 2);  // 500 frames a second on channel 0
    peer::AddPeriodic(1, f, 4);  // 250 on channel 1
    RxThread rx(dev);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // the second whole second is all traffic
    tCAN_DEV_STATUS st;
    EXPECT_EQ(dev.GetBusStatus(st), 0u);
    // Each channel's load at its own bit rate (a wrong rate gives half or twice the figure); the tolerance
    // allows for periodic frames a loaded machine sends late into the next one-second window.
    EXPECT_NEAR(st.Chan[0].BusLoad, 500.0 * FrameBits(f) * 100.0 / 500'000.0, 2.0);
    EXPECT_NEAR(st.Chan[1].BusLoad, 250.0 * FrameBits(f) * 100.0 / 250'000.0, 2.0);
    EXPECT_EQ(st.Chan[0].Status, 0x0C);
    EXPECT_EQ(st.DevStatus, 0u);

    // Each frame received takes one off the receive error counter, so the bus falls silent first.
    peer::ClearPeriodic();
    ASSERT_TRUE(peer::WaitIdle(30'000));
    peer::InjectBusError(1);
    EXPECT_EQ(dev.GetBusStatus(st), 0u);
    EXPECT_EQ(st.Chan[1].Counter2, 8u);  // receive errors after the bus error
    EXPECT_EQ(st.Chan[0].Counter2, 0u);
}

TEST_F(Nxp, RecoversFromUnplugWithTheSameBusConfiguration) {
    GoOnline({500, 0, 0}, {0, 0x01, 0x1C});
    RxThread rx(dev);
    peer::Unplug(Interface::TwoChannel);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    tCAN_DEV_STATUS st;
    dev.GetBusStatus(st);
    EXPECT_NE(st.DevStatus, 0u);
    {
        // Meanwhile another interface runs segment 1 at 1 Mbit/s.
        uint32_t err = 0;
        auto port = vex::devport::OpenDevice(
            vex::devport::PresentDevices(vex::devport::kCf51InterfaceClass).at(0), err);
        ASSERT_TRUE(port);
        uint8_t open[24] = {0, 0, 0x80, 0x36}, reply[16];
        size_t returned = 0;
        ASSERT_EQ(port->Control(0x5500203C, open, sizeof(open), reply, sizeof(reply), returned), 0u);
        ASSERT_EQ(peer::BitRate(1), 1'000'000u);
    }
    peer::Replug(Interface::TwoChannel);
    ASSERT_TRUE(WaitFor(
        [&] {
            peer::SendOnce(1, MakeFrame(0x66, false, {1}));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return rx.Count() > 0;
        },
        3000));
    rx.Stop();
    EXPECT_EQ(rx.Frames().front().Chan, 1);
    EXPECT_EQ(peer::BitRate(0), 500'000u);
    EXPECT_EQ(peer::BitRate(1), 250'000u);
}

TEST_F(Nxp, GoingOfflineLeavesNoThread) {
    const int baseline = emutest::ThreadBaseline();
    GoOnline();
    ExpectNoThreadAfterOffline(dev, 0, baseline);
}

// Going offline while the library is still looking for its lost interface ends the looking.
TEST_F(Nxp, GoingOfflineWhileTheInterfaceIsAwayLeavesNoThread) {
    const int baseline = emutest::ThreadBaseline();
    GoOnline();
    peer::Unplug(Interface::TwoChannel);
    tCAN_RAW_MSG m;
    m.Chan = 0;
    EXPECT_EQ(dev.Write(m), 1u);  // the library learns of the loss
    EXPECT_EQ(dev.BusClose(), 1u);
    EXPECT_EQ(dev.DeviceClose(), 0u);
    EXPECT_TRUE(WaitFor([&] { return emutest::ThreadCount() <= baseline; }, 2000));
}

// The library's own thread runs from a successful open to the close, one however often it is opened.
TEST_F(Nxp, TheLibrarysThreadRunsFromOpenToClose) {
    using namespace vyk7m_nxp;
    const int baseline = emutest::ThreadBaseline();
    CVYK7K lib;
    ASSERT_EQ(lib.OpenVyk(), kNxpOk);
    EXPECT_EQ(emutest::ThreadCount(), baseline + 1);
    ASSERT_EQ(lib.OpenVyk(), kNxpOk);
    EXPECT_EQ(emutest::ThreadCount(), baseline + 1);
    EXPECT_EQ(lib.CloseVYK(), kNxpOk);
    EXPECT_TRUE(WaitFor([&] { return emutest::ThreadCount() <= baseline; }, 2000));

    ASSERT_EQ(lib.OpenVyk(), kNxpOk);
    peer::Unplug(Interface::TwoChannel);
    EXPECT_EQ(lib.OpenVyk(), kNxpNoDevice);  // the interface open before is closed, and not looked for
    EXPECT_TRUE(WaitFor([&] { return emutest::ThreadCount() <= baseline; }, 2000));
    EXPECT_EQ(lib.CloseVYK(), kNxpNotOpen);
}

}  // namespace
