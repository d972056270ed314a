// The single-channel plug-in end to end: plug-in, driver library, emulated interface and peer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/deviceport/emupeer.h"
#include "plugins/cf51/parvel.h"
#include "tests/deviceport/emutest.h"
#include "tests/plugins/devicetest.h"

using namespace vex::emu;
using emutest::MakeFrame;
using emutest::WaitFor;

namespace {

std::vector<uint8_t> LastOpenBusRecord() {
    std::vector<uint8_t> last;
    for (const ControlCall& c : peer::Cf51ControlCalls()) {
        if (c.code == 0x5500203C) last = c.in;
    }
    return last;
}

tCAN_CYCTX_MSG Cyclic(uint32_t id, bool ext, uint16_t periodMs, uint16_t count) {
    tCAN_CYCTX_MSG c;
    c.Msg.Id = id;
    c.Msg.Ext = ext;
    c.Msg.Dir = 1;
    c.Msg.Dlc = 2;
    c.Msg.Data[0] = 0xA1;
    c.Msg.Data[1] = 0xB2;
    c.CycTxTime = periodMs;
    c.CycTxCount = count;
    return c;
}

class Cf51 : public emutest::EmuTest {
protected:
    void GoOnline(uint16_t ch1Code, uint8_t t0 = 0, uint8_t t1 = 0) {
        dev.m_ChanCfg[0].BitRateCode = 0;
        dev.m_ChanCfg[1] = {ch1Code, t0, t1};
        ASSERT_EQ(dev.DeviceOpen(), 0u);
        ASSERT_EQ(dev.BusOpen(), 0u);
        Reports(dev);
    }
    void GoOffline() {
        dev.BusClose();
        dev.DeviceClose();
        Reports(dev);
    }
    void TearDown() override {
        GoOffline();
        EmuTest::TearDown();
    }
    CCanDeviceVykCf51 dev;
};

TEST_F(Cf51, OpensTheBusAtChannelOnesConfiguration) {
    struct Case {
        tCAN_DEV_CHAN_CFG ch1;
        std::vector<uint8_t> head;  // bytes 0-7 of the open-bus record
        uint32_t rate;
    } cases[] = {
        {{500, 0x11, 0x22}, {0x00, 0x00, 0x81, 0x36, 0x00, 0x00, 0x01, 0xF4}, 500'000},
        {{250, 0, 0}, {0x00, 0x00, 0x82, 0x3A, 0x00, 0x00, 0x00, 0xFA}, 250'000},
        // Custom timing with the plug-in's clock select (24 MHz): 24 MHz / 2 / 12 quanta.
        {{0, 0x81, 0x36}, {0x00, 0xA0, 0x81, 0x36, 0x00, 0x00, 0x00, 0x00}, 1'000'000},
    };
    EXPECT_EQ(dev.m_ChanCount, 0);
    for (const Case& c : cases) {
        dev.m_ChanCfg[0] = {0, 0, 0};
        dev.m_ChanCfg[1] = c.ch1;
        ASSERT_EQ(dev.DeviceOpen(), 0u);
        ASSERT_EQ(dev.BusOpen(), 0u);
        const auto rec = LastOpenBusRecord();
        ASSERT_EQ(rec.size(), 24u);
        EXPECT_EQ(std::vector<uint8_t>(rec.begin(), rec.begin() + 8), c.head);
        EXPECT_EQ(
            std::vector<uint8_t>(rec.begin() + 8, rec.end()),
            (std::vector<uint8_t>{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(peer::BitRate(1), c.rate);
        GoOffline();
    }
}

TEST_F(Cf51, ReportsEveryOpeningAndClosingWithTheDriversCode) {
    peer::Unplug(Interface::Cf51);
    EXPECT_EQ(dev.DeviceOpen(), 1u);
    peer::Replug(Interface::Cf51);
    EXPECT_EQ(dev.DeviceOpen(), 0u);
    dev.m_ChanCfg[1].BitRateCode = 300;
    EXPECT_EQ(dev.BusOpen(), 1u);
    dev.m_ChanCfg[1].BitRateCode = 250;
    EXPECT_EQ(dev.BusOpen(), 0u);
    EXPECT_EQ(dev.BusClose(), 0u);
    EXPECT_EQ(dev.DeviceClose(), 0u);
    EXPECT_EQ(dev.DeviceClose(), 1u);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dev.BusClose(), 1u);  // five tries, 50 ms apart
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
    const std::vector<std::string> want = {
        "2:开启设备操作失败，故障代码为：[0x00000010]，请检查设备驱动程序是否正确安装。",
        "0:设备开启操作成功。",
        "2:开启CAN总线操作失败，故障代码：0x00000002",
        "0:开启CAN总线操作成功。",
        "0:关闭CAN总线操作成功。",
        "0:设备关闭操作成功。",
        "2:设备关闭操作失败，故障代码：FFFFFFFF，请检查设备驱动程序是否正确安装。",
        "2:关闭CAN总线操作失败，故障代码：0x00000001",
    };
    EXPECT_EQ(Reports(dev), want);
}

TEST_F(Cf51, ReceivesEveryFrameInOrderOnChannelOne) {
    GoOnline(1000);
    RxThread rx(dev);
    constexpr uint32_t kFrames = 20'000;
    const auto make = [](uint32_t i) {
        Frame f;
        f.id = i;
        f.ext = true;
        f.remote = i % 7 == 0;
        f.dlc = static_cast<uint8_t>(i % 9);
        for (uint8_t k = 0; k < 8; ++k) f.data[k] = static_cast<uint8_t>(i + k);
        return f;
    };
    peer::SendBurst(1, kFrames, make);
    ASSERT_TRUE(WaitFor([&] { return rx.Count() >= kFrames; }, 10'000)) << rx.Count();
    rx.Stop();
    const auto got = rx.Frames();
    ASSERT_EQ(got.size(), kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) {
        const tCAN_RAW_MSG& m = got[i];
        ASSERT_EQ(m.Id, i);
        ASSERT_EQ(m.Ext, 1);
        ASSERT_EQ(m.Remote, i % 7 == 0 ? 1 : 0);
        ASSERT_EQ(m.Dir, 0);
        ASSERT_EQ(m.Chan, 1);
        ASSERT_EQ(m.Dlc, i % 9);
        const size_t n = m.Remote ? 0 : std::min<size_t>(m.Dlc, 8);
        for (size_t k = 0; k < 8; ++k)
            ASSERT_EQ(m.Data[k], k < n ? static_cast<uint8_t>(i + k) : 0) << i << " " << k;
        if (i > 0) {
            ASSERT_GT(m.TimeMs, got[i - 1].TimeMs) << i;
        }
    }
    EXPECT_LE(rx.LargestRead(), 1024);
    EXPECT_EQ(peer::DroppedFrames(Interface::Cf51), 0u);
}

TEST_F(Cf51, ReadHonoursTheCapacityAndSignalsWhatIsLeft) {
    GoOnline(1000);
    peer::SendBurst(1, 3000, [](uint32_t i) { return emutest::SeqFrame(0x10, i); });
    ASSERT_TRUE(peer::WaitIdle(5000));
    std::vector<tCAN_RAW_MSG> buf(2000);
    std::vector<tCAN_RAW_MSG> got;
    int32_t n = 0;
    ASSERT_TRUE(WaitFor([&] { return dev.m_RcvEvent.Wait(0); }, 1000));
    dev.Read(buf.data(), 2000, n);
    EXPECT_EQ(n, 1024);                   // never more than 1024 in one call
    EXPECT_TRUE(dev.m_RcvEvent.IsSet());  // the rest is read without waiting for a new batch
    got.insert(got.end(), buf.begin(), buf.begin() + n);
    dev.Read(buf.data(), 10, n);
    EXPECT_EQ(n, 10);
    got.insert(got.end(), buf.begin(), buf.begin() + n);
    dev.Read(nullptr, 10, n);
    EXPECT_EQ(n, 0);
    dev.Read(buf.data(), 0, n);
    EXPECT_EQ(n, 0);
    ASSERT_TRUE(WaitFor(
        [&] {
            dev.m_RcvEvent.Wait(20);
            dev.Read(buf.data(), 100, n);
            EXPECT_LE(n, 100);
            got.insert(got.end(), buf.begin(), buf.begin() + n);
            return got.size() >= 3000;
        },
        5000));
    ASSERT_EQ(got.size(), 3000u);
    for (uint32_t i = 0; i < 3000; ++i) ASSERT_EQ(emutest::SeqOf(got[i].Data), i);
}

TEST_F(Cf51, ReadContinuesPastStatusAndErrorRecords) {
    GoOnline(500);
    peer::InjectBusError(1);  // an error record first, then frames, and no further batch
    for (uint32_t i = 0; i < 3; ++i) peer::SendOnce(1, emutest::SeqFrame(0x20, i));
    ASSERT_TRUE(peer::WaitIdle(1000));
    ASSERT_TRUE(dev.m_RcvEvent.Wait(1000));
    tCAN_RAW_MSG buf[16];
    int32_t n = 0;
    int32_t total = 0;
    // The driver may have fetched the records in one batch or two; each batch signals once.
    do {
        dev.Read(buf + total, 16 - total, n);
        total += n;
    } while (total < 3 && dev.m_RcvEvent.Wait(200));
    EXPECT_EQ(total, 3);
    // A status record arrives each second; the frames behind it come in the same call.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    peer::SendOnce(1, emutest::SeqFrame(0x21, 9));
    ASSERT_TRUE(peer::WaitIdle(1000));
    ASSERT_TRUE(WaitFor([&] { return dev.m_RcvEvent.Wait(0); }, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    dev.Read(buf, 16, n);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(buf[0].Id, 0x21u);
}

TEST_F(Cf51, SendsSingleFramesFromSeveralThreadsAtOnce) {
    GoOnline(1000);
    peer::SetRecording(true);
    RxThread rx(dev);
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([this, t] {
            for (int i = 0; i < kEach; ++i) {
                tCAN_RAW_MSG m;
                m.Id = static_cast<uint32_t>(0x100 * (t + 1) + i % 0x100);
                m.Ext = t % 2;
                m.Remote = 0;
                m.Dir = 1;
                m.Dlc = 2;
                m.Data[0] = static_cast<uint8_t>(t);
                m.Data[1] = static_cast<uint8_t>(i);
                while (dev.Write(m) != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    }
    for (auto& s : senders) s.join();
    ASSERT_TRUE(WaitFor([] { return peer::Received().size() >= kThreads * kEach; }, 5000));
    ASSERT_TRUE(WaitFor([&] { return rx.Count() >= kThreads * kEach; }, 5000));
    rx.Stop();
    int next[kThreads] = {};
    for (const SeenFrame& s : peer::Received()) {
        const int t = s.frame.data[0];
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(s.frame.data[1], static_cast<uint8_t>(next[t]++));  // each thread's frames in order
        EXPECT_EQ(s.frame.ext, t % 2 == 1);
        EXPECT_EQ(s.frame.dlc, 2);
    }
    for (const tCAN_RAW_MSG& m : rx.Frames()) EXPECT_EQ(m.Dir, 1);  // the echoes
}

TEST_F(Cf51, CyclicFramesRunInTheDeviceWithPeriodAndCount) {
    GoOnline(500);
    peer::SetRecording(true);
    EXPECT_EQ(dev.AddCycTxMsg(Cyclic(0x18FEF100, true, 20, 5)), 0u);
    EXPECT_EQ(dev.AddCycTxMsg(Cyclic(0x123, false, 10, 0)), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    tCAN_CYCTX_MSG endless = Cyclic(0x123, false, 30, 0);
    endless.Msg.Data[0] = 0x77;
    EXPECT_EQ(dev.UpdateCycTxMsgData(endless), 0u);
    EXPECT_EQ(dev.UpdateCycTxMsgPeriod(endless), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(dev.RmvCycTxMsg(endless), 0u);
    EXPECT_EQ(dev.UpdateCycTxMsgData(Cyclic(0x18FEF100, true, 20, 5)), 1u);  // ended after its count
    ASSERT_TRUE(peer::WaitIdle(1000));
    const auto seen = peer::Received();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(peer::Received().size(), seen.size());  // removed: nothing more

    std::vector<SeenFrame> limited, fast, slow;
    for (const SeenFrame& s : seen) {
        if (s.frame.ext) {
            limited.push_back(s);
        } else if (s.frame.data[0] == 0x77) {
            slow.push_back(s);
        } else {
            fast.push_back(s);
        }
    }
    ASSERT_EQ(limited.size(), 5u);
    for (size_t i = 1; i < limited.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(limited[i].busTimeNs - limited[i - 1].busTimeNs), 20e6, 1e6);
        EXPECT_EQ(limited[i].frame.id, 0x18FEF100u);
        EXPECT_EQ(limited[i].frame.data[1], 0xB2);
    }
    ASSERT_GE(fast.size(), 20u);
    ASSERT_GE(slow.size(), 4u);
    for (size_t i = 1; i < slow.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(slow[i].busTimeNs - slow[i - 1].busTimeNs), 30e6, 1e6);
    }
    const std::vector<std::string> want = {
        "0:执行添加循环发送报文操作成功。报文ID:18FEF100",
        "0:执行添加循环发送报文操作成功。报文ID:00000123",
        "0:执行更新循环发送报文之数据操作成功。报文ID:00000123",
        "0:执行更新循环发送报文之周期操作成功。报文ID:00000123",
        "0:执行移除循环发送报文操作成功。报文ID:00000123",
        "2:执行更新循环发送报文之数据操作失败，故障代码：00000490，报文ID:18FEF100",
    };
    EXPECT_EQ(Reports(dev), want);
}

TEST_F(Cf51, BusStatusCarriesChannelOnesLoad) {
    GoOnline(500);
    const Frame f = MakeFrame(0x10, false, {1, 2, 3, 4, 5, 6, 7, 8});
    peer::AddPeriodic(1, f, 1);
    RxThread rx(dev);
    tCAN_DEV_STATUS st;
    ASSERT_TRUE(WaitFor(
        [&] {
            dev.GetBusStatus(st);
            return st.Chan[1].BusLoad > 0.0;
        },
        3000));
    // The first status record counted a second that began before the traffic; the next one a full second.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    dev.GetBusStatus(st);
    const double expected = 1000.0 * FrameBits(f) * 100.0 / 500'000.0;
    EXPECT_NEAR(st.Chan[1].BusLoad, expected, 0.5);
    EXPECT_EQ(st.Chan[0].BusLoad, 0.0);
    EXPECT_EQ(st.Chan[0].Counter1 + st.Chan[0].Counter2 + st.Chan[1].Counter1 + st.Chan[1].Counter2, 0u);
    EXPECT_EQ(st.Chan[0].Status + st.Chan[1].Status, 0);
    EXPECT_EQ(st.DevStatus, 0u);
}

TEST_F(Cf51, RecoversFromUnplugWithTheSameBusConfiguration) {
    GoOnline(0, 0x81, 0x36);  // custom timing
    const auto first = LastOpenBusRecord();
    RxThread rx(dev);
    peer::Unplug(Interface::Cf51);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    peer::Replug(Interface::Cf51);
    ASSERT_TRUE(WaitFor(
        [&] {
            peer::SendOnce(1, MakeFrame(0x5A5, false, {1}));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return rx.Count() > 0;
        },
        3000));
    rx.Stop();
    EXPECT_EQ(rx.Frames().front().Id, 0x5A5u);
    EXPECT_EQ(LastOpenBusRecord(), first);
    EXPECT_EQ(peer::BitRate(1), 1'000'000u);
}

TEST_F(Cf51, GoingOfflineLeavesNoThread) {
    const int baseline = emutest::ThreadBaseline();
    GoOnline(500);
    ExpectNoThreadAfterOffline(dev, 1, baseline);
}

}  // namespace
