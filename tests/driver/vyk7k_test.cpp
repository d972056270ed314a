// The driver library against the emulated interface: opening, the bus, both rings and threads, the
// periodic list, status records, reconnection and stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "driver/vyk7k.h"
#include "driver/vyk7k_wire.h"
#include "platform/deviceport/emupeer.h"
#include "tests/deviceport/emutest.h"

using namespace vex::emu;
using emutest::WaitFor;

namespace {

tVYK_CAN_CONFIG Config(uint16_t code) {
    tVYK_CAN_CONFIG c;
    c.BitRateCode = code;
    c.AccMask1 = c.AccMask2 = 0xFFFFFFFF;
    return c;
}

std::vector<ControlCall> CallsOf(uint32_t code) {
    std::vector<ControlCall> out;
    for (const ControlCall& c : peer::Cf51ControlCalls()) {
        if (c.code == code) out.push_back(c);
    }
    return out;
}

class Vyk7k : public emutest::EmuTest {
protected:
    // Opens the interface and its bus at `code` kbit/s and starts receiving into `ev`.
    static void StartReceiving(CVYK7K& drv, vex::AutoResetEvent& ev, uint16_t code) {
        ASSERT_EQ(drv.OpenVyk(), kVykOk);
        ASSERT_EQ(drv.OpenCANBus(Config(code)), kVykOk);
        ASSERT_EQ(drv.SetRcvEvent(&ev), kVykOk);
    }
    // Reads until `want` frames arrived (status and error records passed over) or 30 s passed.
    std::vector<tVYK_CAN_MSG> ReadFrames(CVYK7K& drv, vex::AutoResetEvent& ev, size_t want) {
        std::vector<tVYK_CAN_MSG> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            ev.Wait(50);
            tVYK_CAN_MSG m;
            uint32_t rc;
            while ((rc = drv.CAN_Read(m)) != kVykRxEmpty) {
                if (rc == 0) got.push_back(m);
            }
        }
        return got;
    }
};

TEST_F(Vyk7k, EveryDeviceOperationNeedsAnOpenDevice) {
    vex::AutoResetEvent ev;
    CVYK7K drv;
    tVYK_CAN_CYCTX_MSG cyc;
    tVYK_ID_INFO info;
    const std::function<uint32_t()> ops[] = {
        [&] { return drv.OpenCANBus(Config(250)); },
        [&] { return drv.CloseCANBus(); },
        [&] { return drv.AddPeriodicTxMsg(cyc); },
        [&] { return drv.RemovePeriodicTxMsg(cyc); },
        [&] { return drv.UpdatePeriodicTxMsgData(cyc); },
        [&] { return drv.UpdatePeriodicTxMsgPeriod(cyc); },
        [&] { return drv.GetVYKInfo(info); },
        [&] { return drv.SetRcvEvent(&ev); },
    };
    for (size_t i = 0; i < std::size(ops); ++i) EXPECT_EQ(ops[i](), kVykNotOpen) << i;
    EXPECT_EQ(drv.CloseVYK(), kVykFailed);
    EXPECT_EQ(drv.SetRcvEvent(nullptr), kVykOk);
    EXPECT_TRUE(peer::Cf51ControlCalls().empty());
}

TEST_F(Vyk7k, OpeningAnOpenObjectClosesTheOldHandleFirst) {
    CVYK7K drv;
    peer::Unplug(Interface::Cf51);
    EXPECT_EQ(drv.OpenVyk(), kVykNoDevice);
    peer::Replug(Interface::Cf51);
    ASSERT_EQ(drv.OpenVyk(), kVykOk);
    EXPECT_EQ(drv.OpenVyk(), kVykOk);  // the interface takes one handle: the old one was closed first
    CVYK7K other;
    EXPECT_EQ(other.OpenVyk(), kVykNoDevice);
    EXPECT_EQ(drv.CloseVYK(), kVykOk);
    EXPECT_EQ(other.OpenVyk(), kVykOk);
}

TEST_F(Vyk7k, BusOpensWithItsRecordAndChecksTheReply) {
    CVYK7K drv;
    ASSERT_EQ(drv.OpenVyk(), kVykOk);
    EXPECT_EQ(drv.OpenCANBus(Config(300)), kVykBadBitRate);
    EXPECT_TRUE(CallsOf(vyk7k::kCtlOpenBus).empty());  // nothing sent for an unknown code
    ASSERT_EQ(drv.OpenCANBus(Config(250)), kVykOk);
    const auto open = CallsOf(vyk7k::kCtlOpenBus);
    ASSERT_EQ(open.size(), 1u);
    ASSERT_EQ(open[0].in.size(), 24u);
    EXPECT_EQ(std::vector<uint8_t>(open[0].in.begin(), open[0].in.begin() + 8),
              (std::vector<uint8_t>{0x00, 0x00, 0x82, 0x3A, 0x00, 0x00, 0x00, 0xFA}));
    EXPECT_EQ(peer::BitRate(1), 250'000u);

    peer::FailCf51ControlCalls(1);
    EXPECT_EQ(drv.OpenCANBus(Config(500)), 31u);  // the system's error code passes through
    tVYK_CAN_CONFIG tooFast = Config(0);
    tooFast.Timing1 = 0x00;  // 12 MHz / 3 quanta: a rate the controller refuses
    EXPECT_EQ(drv.OpenCANBus(tooFast), kVykBadReply);
    EXPECT_EQ(drv.CloseCANBus(), kVykOk);
    EXPECT_FLOAT_EQ(drv.GetCanBusLoad(), 0.0f);
}

TEST_F(Vyk7k, IdentityAndLibraryInfo) {
    CVYK7K drv;
    tVYK_DLL_INFO dll;
    drv.GetDLLInfo(dll);
    EXPECT_STREQ(dll.Text1, "KTW");
    EXPECT_STREQ(dll.Text2, "11.10.14");
    EXPECT_STREQ(dll.Text3, "DLL_Vexar");
    EXPECT_EQ(dll.Byte, 0);
    ASSERT_EQ(drv.OpenVyk(), kVykOk);
    tVYK_ID_INFO info;
    ASSERT_EQ(drv.GetVYKInfo(info), kVykOk);
    EXPECT_EQ(std::string(info.Text12, 8), "VYK CF51");
}

// Starting the threads empties no ring: the 256 frames queued between opening the bus and starting them
// were accepted with success, so all of them go out, in order.
TEST_F(Vyk7k, TransmitRingHolds256AndFramesQueuedBeforeTheThreadsStartAreSent) {
    vex::AutoResetEvent ev;  // outlives the driver's threads
    CVYK7K drv;
    tVYK_CAN_MSG m;
    m.Id = 0x100;
    m.Len = 1;
    m.Flags = 0;
    EXPECT_EQ(drv.CAN_Write(m), kVykNotOpen);  // no device: refused, not queued
    ASSERT_EQ(drv.OpenVyk(), kVykOk);
    ASSERT_EQ(drv.OpenCANBus(Config(1000)), kVykOk);
    peer::SetRecording(true);
    for (int i = 0; i < 256; ++i) {
        m.Data[0] = static_cast<uint8_t>(i);
        ASSERT_EQ(drv.CAN_Write(m), kVykOk) << i;
    }
    EXPECT_EQ(drv.CAN_Write(m), kVykTxFull);
    ASSERT_EQ(drv.SetRcvEvent(&ev), kVykOk);
    // Eight times what the interface's transmit queue holds: it takes them as it has room.
    ASSERT_TRUE(WaitFor([] { return peer::Received().size() >= 256; }, 30'000));
    ASSERT_TRUE(peer::WaitIdle(30'000));
    const auto seen = peer::Received();
    ASSERT_EQ(seen.size(), 256u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(seen[i].frame.data[0], i);

    drv.SetRcvEvent(nullptr);
    std::atomic<int> accepted{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t) {
        writers.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                if (drv.CAN_Write(m) == kVykOk) ++accepted;
            }
        });
    }
    for (auto& w : writers) w.join();
    EXPECT_EQ(accepted.load(), 256);
}

TEST_F(Vyk7k, FramesFlowInOrderBothWaysWithEchoes) {
    vex::AutoResetEvent ev;  // outlives the driver's threads
    CVYK7K drv;
    ASSERT_NO_FATAL_FAILURE(StartReceiving(drv, ev, 1000));
    peer::SetRecording(true);

    // Three times what the receive ring holds, all on the bus before the caller reads: nothing is lost.
    constexpr uint32_t kFrames = 6000;
    peer::SendBurst(1, kFrames, [](uint32_t i) { return emutest::SeqFrame(0x321, i); });
    ASSERT_TRUE(peer::WaitIdle(30'000));
    const auto got = ReadFrames(drv, ev, kFrames);
    ASSERT_EQ(got.size(), kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(emutest::SeqOf(got[i].Data), i);
        ASSERT_EQ(got[i].Id, 0x321u);
        ASSERT_EQ(got[i].Flags, 0);
        ASSERT_EQ(got[i].Len, 4);
        if (i > 0) {
            const uint64_t a = got[i - 1].TimeMs * 1000ull + got[i - 1].TimeUs;
            const uint64_t b = got[i].TimeMs * 1000ull + got[i].TimeUs;
            ASSERT_GT(b, a) << i;
        }
    }

    for (uint32_t i = 0; i < 300; ++i) {
        tVYK_CAN_MSG m;
        m.Id = 0x18DA0000 + i;
        m.Flags = kVykFlagExt | kVykFlagDir;
        std::memset(m.Data, 0, 8);
        m.Data[0] = static_cast<uint8_t>(i);
        m.Len = 1;
        while (drv.CAN_Write(m) == kVykTxFull) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto echoes = ReadFrames(drv, ev, 300);
    ASSERT_EQ(echoes.size(), 300u);
    for (uint32_t i = 0; i < 300; ++i) {
        EXPECT_EQ(echoes[i].Id, 0x18DA0000 + i);
        EXPECT_EQ(echoes[i].Flags, kVykFlagExt | kVykFlagDir);
    }
    ASSERT_TRUE(peer::WaitIdle(30'000));
    const auto seen = peer::Received();
    ASSERT_EQ(seen.size(), 300u);
    for (uint32_t i = 0; i < 300; ++i) {
        EXPECT_EQ(seen[i].frame.id, 0x18DA0000 + i);
        EXPECT_TRUE(seen[i].frame.ext);
    }
    EXPECT_EQ(peer::DroppedFrames(Interface::Cf51), 0u);
}

// Blocks of frames in order across the ring's end, each block no larger than asked; an error record in
// between is passed over (and clears the bus load, as CAN_Read would).
TEST_F(Vyk7k, ReadBlockTakesFramesInOrderAcrossTheRingsEnd) {
    vex::AutoResetEvent ev;  // outlives the driver's threads
    CVYK7K drv;
    ASSERT_NO_FATAL_FAILURE(StartReceiving(drv, ev, 1000));
    constexpr uint32_t kFrames = 3000;  // more than the ring holds: it wraps while it is read
    peer::SendBurst(1, kFrames / 2, [](uint32_t i) { return emutest::SeqFrame(0x10, i); });
    ASSERT_TRUE(peer::WaitIdle(30'000));
    peer::InjectBusError(1);
    peer::SendBurst(1, kFrames / 2, [](uint32_t i) { return emutest::SeqFrame(0x10, kFrames / 2 + i); });
    ASSERT_TRUE(peer::WaitIdle(30'000));
    std::vector<tVYK_CAN_MSG> block(700);
    std::vector<uint32_t> seqs;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seqs.size() < kFrames && std::chrono::steady_clock::now() < end) {
        ev.Wait(20);
        const uint32_t n = drv.CAN_ReadBlock(block.data(), static_cast<uint32_t>(block.size()));
        ASSERT_LE(n, block.size());
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_EQ(block[i].Id, 0x10u);
            seqs.push_back(emutest::SeqOf(block[i].Data));
        }
    }
    ASSERT_EQ(seqs.size(), kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) ASSERT_EQ(seqs[i], i);
    EXPECT_EQ(drv.CAN_ReadBlock(block.data(), 1), 0u);
}

TEST_F(Vyk7k, StatusRecordsCarryTheBusLoadAndErrorRecordsClearIt) {
    vex::AutoResetEvent ev;
    CVYK7K drv;
    ASSERT_EQ(drv.OpenVyk(), kVykOk);
    ASSERT_EQ(drv.OpenCANBus(Config(500)), kVykOk);
    const Frame f = emutest::MakeFrame(0x0CF00400, true, {1, 2, 3, 4, 5, 6, 7, 8});
    peer::AddPeriodic(1, f, 1);  // 1000 frames a second
    ASSERT_EQ(drv.SetRcvEvent(&ev), kVykOk);
    // The first status record counts a second that began before the traffic; the second a full one.
    std::vector<uint32_t> codes;
    ASSERT_TRUE(WaitFor(
        [&] {
            tVYK_CAN_MSG m;
            uint32_t rc;
            while (codes.size() < 2 && (rc = drv.CAN_Read(m)) != kVykRxEmpty) {
                if (rc != 0) codes.push_back(rc);
            }
            return codes.size() == 2;
        },
        30'000));
    EXPECT_EQ(codes[1], 0x800u);  // a healthy controller: transmitter level 1
    const float expected = 1000.0f * FrameBits(f) * 100.0f / 500'000.0f;
    EXPECT_NEAR(drv.GetCanBusLoad(), expected, 0.5f);

    peer::InjectBusError(1);
    bool sawError = false;
    ASSERT_TRUE(WaitFor(
        [&] {
            tVYK_CAN_MSG m;
            uint32_t rc;
            while (!sawError && (rc = drv.CAN_Read(m)) != kVykRxEmpty) sawError = rc == kVykErrorRecord;
            return sawError;
        },
        30'000));
    EXPECT_FLOAT_EQ(drv.GetCanBusLoad(), 0.0f);
}

TEST_F(Vyk7k, PeriodicListEntriesGoToTheDevice) {
    CVYK7K drv;
    ASSERT_EQ(drv.OpenVyk(), kVykOk);
    ASSERT_EQ(drv.OpenCANBus(Config(500)), kVykOk);
    peer::SetRecording(true);
    tVYK_CAN_CYCTX_MSG e;
    e.Id = 0x18FEF100;
    e.Flags = kVykFlagExt;
    e.Len = 2;
    e.PeriodMs = 10;
    e.Count = 3;
    ASSERT_EQ(drv.AddPeriodicTxMsg(e), kVykOk);
    const auto add = CallsOf(vyk7k::kCtlAddPeriodic);
    ASSERT_EQ(add.size(), 1u);
    uint8_t want[28];
    vyk7k::EncodeCycTxEntry(e, true, want);
    EXPECT_EQ(add[0].in, std::vector<uint8_t>(want, want + 28));
    ASSERT_TRUE(WaitFor([] { return peer::Received().size() >= 3; }, 30'000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto seen = peer::Received();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].busTimeNs - seen[1].busTimeNs, 10'000'000);
    EXPECT_EQ(drv.UpdatePeriodicTxMsgData(e), 1168u);  // it ended after its count
    EXPECT_EQ(drv.RemovePeriodicTxMsg(e), kVykOk);
}

TEST_F(Vyk7k, ReconnectsAfterAReplugWithTheCallersConfiguration) {
    vex::AutoResetEvent ev;  // outlives the driver's threads
    CVYK7K drv;
    ASSERT_EQ(drv.OpenVyk(), kVykOk);
    tVYK_CAN_CONFIG custom = Config(0);
    custom.ClockSel = 0;
    custom.Timing0 = 0x81;  // 12 MHz / 2 / 12 quanta = 500 kbit/s
    custom.Timing1 = 0x36;
    ASSERT_EQ(drv.OpenCANBus(custom), kVykOk);
    ASSERT_EQ(drv.SetRcvEvent(&ev), kVykOk);
    const auto first = CallsOf(vyk7k::kCtlOpenBus).back().in;
    // Frames received but not read yet when the interface goes away are still read after the reconnection.
    // The receive thread has them once the interface holds nothing more and a later frame was taken too:
    // its read starts only after the read that took them has put them in the ring.
    const auto taken = [] { return peer::WaitIdle(30'000) && peer::Untaken(Interface::Cf51) == 0; };
    for (uint32_t i = 0; i < 3; ++i) peer::SendOnce(1, emutest::SeqFrame(0x77, i));
    ASSERT_TRUE(WaitFor(taken, 30'000));
    peer::SendOnce(1, emutest::SeqFrame(0x76, 0));
    ASSERT_TRUE(WaitFor(taken, 30'000));
    ev.Wait(0);

    tVYK_CAN_MSG send;
    send.Id = 0x1;
    send.Len = 0;
    send.Flags = 0;
    peer::Unplug(Interface::Cf51);
    tVYK_LINK_STATE link;
    ASSERT_TRUE(WaitFor([&] { return drv.GetLinkState(link), link.Losses == 1; }, 30'000));
    EXPECT_TRUE(ev.Wait(0));  // the loss wakes the caller
    EXPECT_EQ(link.LastLossCode, 1167u);
    EXPECT_EQ(drv.CAN_Write(send), kVykNotOpen);  // refused while lost: it could never be sent
    // It keeps looking for the interface, about once every 100 ms and not in a tight loop: a slow machine
    // only makes fewer attempts.
    const uint64_t q0 = peer::DeviceQueries();
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return peer::DeviceQueries() - q0 >= 2; }, 30'000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const uint64_t attempts = peer::DeviceQueries() - q0;
    const auto spanMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_LE(attempts, static_cast<uint64_t>(spanMs.count()) / 100 + 3) << spanMs.count() << " ms";

    peer::FailCf51ControlCalls(2);  // the first bus openings after the replug fail: it keeps trying
    peer::Replug(Interface::Cf51);
    ASSERT_TRUE(WaitFor([] { return CallsOf(vyk7k::kCtlOpenBus).size() >= 4; }, 30'000));
    EXPECT_EQ(CallsOf(vyk7k::kCtlOpenBus).back().in, first);  // custom timing stays custom
    ASSERT_TRUE(WaitFor([&] { return drv.GetLinkState(link), link.Recoveries == 1; }, 30'000));
    EXPECT_EQ(link.Losses, 1u);
    EXPECT_TRUE(ev.Wait(0));  // so does the reconnection
    std::vector<uint32_t> kept;
    tVYK_CAN_MSG m;
    while (drv.CAN_Read(m) != kVykRxEmpty) {
        if (m.Id == 0x77) kept.push_back(emutest::SeqOf(m.Data));
    }
    EXPECT_EQ(kept, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(drv.CAN_Write(send), kVykOk);

    // Frames flow again, and the bus load uses the custom timing's real rate.
    const Frame f = emutest::MakeFrame(0x55, false, {1, 2});
    std::vector<tVYK_CAN_MSG> got;
    ASSERT_TRUE(WaitFor(
        [&] {
            peer::SendOnce(1, f);
            ev.Wait(20);
            tVYK_CAN_MSG m;
            while (drv.CAN_Read(m) != kVykRxEmpty) {
                if (m.Id == 0x55) got.push_back(m);
            }
            return !got.empty();
        },
        30'000));
    EXPECT_EQ(got[0].Len, 2);
}

// Frames received before a loss and not read yet share the ring with the first ones after the
// reconnection; a block read never mixes them, so the caller can tell the device's two clocks apart.
TEST_F(Vyk7k, ReadBlockGivesEachConnectionsFramesApart) {
    vex::AutoResetEvent ev;  // outlives the driver's threads
    CVYK7K drv;
    ASSERT_NO_FATAL_FAILURE(StartReceiving(drv, ev, 500));
    peer::SendOnce(1, emutest::SeqFrame(0x77, 0));
    ASSERT_TRUE(ev.Wait(30000));  // in the ring, not read
    tVYK_LINK_STATE link;
    peer::Unplug(Interface::Cf51);
    ASSERT_TRUE(WaitFor([&] { return drv.GetLinkState(link), link.Losses == 1; }, 30'000));
    peer::Replug(Interface::Cf51);
    ASSERT_TRUE(WaitFor([&] { return drv.GetLinkState(link), link.Recoveries == 1; }, 30'000));
    ASSERT_TRUE(WaitFor([&] { return ev.Wait(0); }, 30'000));  // the reconnection's signal
    for (uint32_t i = 1; i <= 3; ++i) peer::SendOnce(1, emutest::SeqFrame(0x78, i));
    ASSERT_TRUE(peer::WaitIdle(30'000));
    ASSERT_TRUE(ev.Wait(30000));

    std::vector<tVYK_CAN_MSG> block(100);
    uint32_t connection = 99;
    ASSERT_EQ(drv.CAN_ReadBlock(block.data(), 100, &connection), 1u);
    EXPECT_EQ(block[0].Id, 0x77u);
    EXPECT_EQ(connection, 0u);
    std::vector<uint32_t> after;
    ASSERT_TRUE(WaitFor(
        [&] {
            ev.Wait(20);
            const uint32_t n = drv.CAN_ReadBlock(block.data(), 100, &connection);
            for (uint32_t i = 0; i < n; ++i) {
                EXPECT_EQ(block[i].Id, 0x78u);
                EXPECT_EQ(connection, 1u);
                after.push_back(emutest::SeqOf(block[i].Data));
            }
            return after.size() >= 3;
        },
        30'000));
    EXPECT_EQ(after, (std::vector<uint32_t>{1, 2, 3}));
}

TEST_F(Vyk7k, StopJoinsBothThreadsPromptlyAndTheDestructorStopsThem) {
    const int baseline = emutest::ThreadBaseline();
    {
        vex::AutoResetEvent ev;
        CVYK7K drv;
        ASSERT_NO_FATAL_FAILURE(StartReceiving(drv, ev, 500));
        EXPECT_GE(emutest::ThreadCount(), baseline + 2);
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(drv.SetRcvEvent(nullptr), kVykOk);
        // Joined, not abandoned: a thread left blocked would keep this from returning at all.
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
        ASSERT_EQ(drv.SetRcvEvent(&ev), kVykOk);  // and again
        ASSERT_EQ(drv.CloseVYK(), kVykOk);
        ASSERT_NO_FATAL_FAILURE(StartReceiving(drv, ev, 500));
    }  // the destructor stops and joins the running threads
    EXPECT_TRUE(WaitFor([&] { return emutest::ThreadCount() <= baseline; }, 30'000))
        << emutest::ThreadCount() << " threads, " << baseline << " before";
}

}  // namespace
