// The emulation as a driver and a test see it: frame bit counts, the single-channel interface's pipe and
// control calls, its status records, periodic list and unplugging, the two-channel link, the peer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "platform/deviceport/byteorder.h"
#include "platform/deviceport/deviceport.h"
#include "platform/deviceport/emunodes.h"
#include "platform/deviceport/emupeer.h"
#include "platform/deviceport/twochannel.h"
#include "tests/deviceport/emutest.h"

using namespace vex::devport;
using namespace vex::emu;
using emutest::MakeFrame;

namespace {

TEST(FrameBits, CountsFieldsStuffBitsAndIntermission) {
    struct Case {
        Frame f;
        uint32_t bits;
    } cases[] = {
        {MakeFrame(0x000, false, {}), 53},  // 34 dominant bits in a row: six stuff bits
        {MakeFrame(0x7FF, false, {}), 50},
        {MakeFrame(0x123, false, {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}), 112},
        {MakeFrame(0x555, false, {0, 0, 0, 0, 0, 0, 0, 0}), 124},
        {MakeFrame(0x18FEF100, true, {1, 2, 3, 4, 5, 6, 7, 8}), 143},
        {MakeFrame(0x00000000, true, {}), 74},
        {MakeFrame(0x1FFFFFFF, true, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 149},
    };
    for (const Case& c : cases) EXPECT_EQ(FrameBits(c.f), c.bits) << std::hex << c.f.id;
    Frame remote = MakeFrame(0x123, false, {});
    remote.remote = true;
    remote.dlc = 8;  // a remote frame carries no data whatever its length code
    EXPECT_EQ(FrameBits(remote), 48u);
    Frame longCode = MakeFrame(0x123, false, {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55});
    longCode.dlc = 15;  // at most eight bytes go on the wire
    EXPECT_GE(FrameBits(longCode), 111u);
    EXPECT_LE(FrameBits(longCode), 130u);
}

TEST(Environment, TrafficEntries) {
    struct Case {
        const char* text;
        bool ok;
        int segment = 0;
        uint32_t id = 0;
        bool ext = false;
        uint32_t period = 0;
        std::vector<uint8_t> data = {};
    } cases[] = {
        {"0:0x123:10:1122", true, 0, 0x123, false, 10, {0x11, 0x22}},
        {"1:0x18FEF100x:100", true, 1, 0x18FEF100, true, 100, {}},
        {"1:291:5:0102030405060708", true, 1, 291, false, 5, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"1:0x1FFFFFFFX:1:ff", true, 1, 0x1FFFFFFF, true, 1, {0xFF}},
        {"2:0x1:10", false},          // no such channel
        {"0:0x800:10", false},        // beyond 11 bits
        {"0:0x20000000x:10", false},  // beyond 29 bits
        {"0:0x1:0", false},           // no period
        {"0:0x1:10:123", false},      // half a byte
        {"0:0x1:10:112233445566778899", false},
        {"0:zz:10", false},
        {"0:0x1", false},
        {"0:0x1:10:11:22", false},
        {"", false},
    };
    for (const Case& c : cases) {
        int segment = -1;
        Frame f;
        uint32_t period = 0;
        ASSERT_EQ(ParseTrafficEntry(c.text, segment, f, period), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(segment, c.segment);
        EXPECT_EQ(f.id, c.id);
        EXPECT_EQ(f.ext, c.ext);
        EXPECT_EQ(period, c.period);
        EXPECT_EQ(std::vector<uint8_t>(f.data.begin(), f.data.begin() + f.dlc), c.data) << c.text;
    }
}

class Cf51Port : public emutest::EmuTest {
protected:
    void SetUp() override {
        EmuTest::SetUp();
        const auto paths = PresentDevices(kCf51InterfaceClass);
        ASSERT_EQ(paths.size(), 1u);
        path = paths[0];
        uint32_t err = 0;
        port = OpenDevice(path, err);
        ASSERT_TRUE(port) << err;
    }
    void TearDown() override {
        port.reset();
        EmuTest::TearDown();
    }
    uint32_t Call(uint32_t code, const std::vector<uint8_t>& in, std::vector<uint8_t>& out, size_t cap) {
        out.assign(cap, 0xEE);
        size_t returned = 0;
        const uint32_t rc = port->Control(code, in.data(), in.size(), out.data(), cap, returned);
        out.resize(returned);
        return rc;
    }
    void OpenBus(uint8_t t0, uint8_t t1) {
        std::vector<uint8_t> in(24, 0), out;
        in[2] = t0;
        in[3] = t1;
        ASSERT_EQ(Call(0x5500203C, in, out, 16), kOk);
        ASSERT_EQ(out.size(), 16u);
        ASSERT_EQ(out[1], 2);
    }
    // The result of a pipe read with a 60 s time-out that `end` ends while it waits. `end` is repeated until
    // the read returns, so a reader thread that a loaded machine starts late is still ended, not timed out.
    uint32_t ReadEndedBy(const std::function<void()>& end) {
        std::atomic<uint32_t> rc{0};
        std::atomic<bool> done{false};
        std::thread reader([&] {
            uint8_t buf[64];
            size_t bytes = 0;
            rc = port->ReadPipe(buf, sizeof(buf), 60000, bytes);
            done = true;
        });
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            end();
        }
        reader.join();
        return rc;
    }
    // Reads frame records until `want` arrived or 30 s passed. The status record of each second is passed
    // over: how many fall among the frames depends only on how long the reading took.
    std::vector<std::vector<uint8_t>> ReadRecords(size_t want) {
        std::vector<std::vector<uint8_t>> got;
        uint8_t buf[4096];
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            size_t bytes = 0;
            if (port->ReadPipe(buf, sizeof(buf), 20, bytes) != kOk) continue;
            for (size_t off = 0; off + 32 <= bytes; off += 32) {
                if (buf[off + 24] != 0x80) got.emplace_back(buf + off, buf + off + 32);
            }
        }
        return got;
    }
    std::string path;
    std::unique_ptr<DevicePort> port;
};

TEST_F(Cf51Port, AnswersEveryControlCodeWithItsReply) {
    std::vector<uint8_t> out;
    EXPECT_EQ(Call(0x5500201C, {}, out, 48), kOk);
    EXPECT_EQ(out.size(), 48u);
    std::vector<uint8_t> open(24, 0);
    open[2] = 0x82;  // 250 kbit/s at 12 MHz
    open[3] = 0x3A;
    EXPECT_EQ(Call(0x5500203C, open, out, 16), kOk);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x42, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(peer::BitRate(1), 250'000u);
    std::vector<uint8_t> entry(28, 0);
    PutBe32(entry.data(), 0x24600000);  // standard 0x123
    PutBe32(entry.data() + 16, 1000);
    for (uint32_t code : {0x55002068u, 0x55002070u, 0x55002074u, 0x5500206Cu}) {
        EXPECT_EQ(Call(code, entry, out, 128), kOk) << std::hex << code;
    }
    EXPECT_EQ(Call(0x55002040, {}, out, 2), kOk);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x47, 0x07}));

    struct Bad {
        uint32_t code;
        size_t inLength, outCapacity;
        uint32_t rc;
    } bad[] = {
        {0x55001234, 0, 16, kErrInvalidFunction},     {0x5500203C, 23, 16, kErrInvalidParameter},
        {0x5500203C, 24, 15, kErrInsufficientBuffer}, {0x55002068, 27, 128, kErrInvalidParameter},
        {0x55002070, 28, 128, kErrNotFound},  // no such entry to update
    };
    for (const Bad& b : bad) {
        std::vector<uint8_t> in(b.inLength, 0);
        EXPECT_EQ(Call(b.code, in, out, b.outCapacity), b.rc) << std::hex << b.code;
    }
    // A timing the controller cannot run (over 1 Mbit/s): a reply without "done".
    std::vector<uint8_t> tooFast(24, 0);
    tooFast[3] = 0x00;  // 12 MHz / 1 / 3 = 4 Mbit/s
    EXPECT_EQ(Call(0x5500203C, tooFast, out, 16), kOk);
    EXPECT_EQ(out[0], 0x42);
    EXPECT_EQ(out[1], 0x00);
}

TEST_F(Cf51Port, OneHandleAtATimeAndGoneWhenUnplugged) {
    uint32_t err = 0;
    EXPECT_FALSE(OpenDevice(path, err));
    EXPECT_EQ(err, kErrSharingViolation);
    EXPECT_FALSE(OpenDevice("emu:none", err));
    EXPECT_EQ(err, kErrFileNotFound);
    EXPECT_TRUE(PresentDevices("{00000000-0000-0000-0000-000000000000}").empty());

    // A read that waits is ended by the unplug, long before its time-out.
    EXPECT_EQ(ReadEndedBy([] { peer::Unplug(Interface::Cf51); }), kErrDeviceNotConnected);
    EXPECT_TRUE(PresentDevices(kCf51InterfaceClass).empty());
    std::vector<uint8_t> out;
    EXPECT_EQ(Call(0x5500201C, {}, out, 48), kErrDeviceNotConnected);

    peer::Replug(Interface::Cf51);
    ASSERT_EQ(PresentDevices(kCf51InterfaceClass).size(), 1u);
    EXPECT_EQ(Call(0x5500201C, {}, out, 48), kErrDeviceNotConnected);  // the old handle stays dead
    auto again = OpenDevice(path, err);
    EXPECT_TRUE(again) << err;
}

TEST_F(Cf51Port, CancelEndsAWaitingRead) {
    EXPECT_EQ(ReadEndedBy([this] { port->CancelIo(); }), kErrOperationAborted);
}

TEST_F(Cf51Port, PipeCarriesFramesBothWaysWithEchoAndDeviceTime) {
    OpenBus(0x80, 0x36);  // 1 Mbit/s
    peer::SetRecording(true);
    uint8_t rec[64] = {};
    PutBe32(rec, 0x24600000);  // standard 0x123
    rec[12] = 2;
    rec[4] = 0xAB;
    rec[5] = 0xCD;
    PutBe32(rec + 32, 0xC7FDE201);  // extended 0x18FEF100, remote
    rec[32 + 12] = 0;
    ASSERT_EQ(port->WritePipe(rec, 64, 100), kOk);
    EXPECT_EQ(port->WritePipe(rec, 33, 100), kErrInvalidParameter);
    peer::SendOnce(1, MakeFrame(0x7FF, false, {1, 2, 3}));
    peer::SendOnce(0, MakeFrame(0x100, false, {}));  // other segment: not heard
    ASSERT_TRUE(peer::WaitIdle(30'000));

    const auto seen = peer::Received();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].frame.id, 0x123u);
    EXPECT_EQ(seen[0].frame.dlc, 2);
    EXPECT_EQ(seen[0].frame.data[1], 0xCD);
    EXPECT_EQ(seen[0].origin, Origin::Cf51);
    EXPECT_TRUE(seen[1].frame.ext && seen[1].frame.remote);
    EXPECT_EQ(seen[1].frame.id, 0x18FEF100u);
    EXPECT_GT(seen[1].busTimeNs, seen[0].busTimeNs);

    const auto got = ReadRecords(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(GetBe32(got[0].data()), 0x24600000u);
    EXPECT_EQ(got[0][24], 0x01);  // sent by this device
    EXPECT_EQ(GetBe32(got[1].data()), 0xC7FDE201u);
    EXPECT_EQ(GetBe32(got[2].data()), 0xFFE00000u);
    EXPECT_EQ(got[2][24], 0x00);
    EXPECT_EQ(got[2][12], 3);
    EXPECT_EQ(got[2][6], 3);
    EXPECT_EQ(got[2][7], 0);  // beyond the length
    EXPECT_EQ(got[2][25], 0x14);
    // Device time runs forward: milliseconds, then sub-millisecond ticks below 1500.
    for (const auto& r : got) EXPECT_LT(GetBe16(r.data() + 14), 1500);
    const auto stamp = [](const std::vector<uint8_t>& r) {
        return GetBe32(r.data() + 16) * 1500ull + GetBe16(r.data() + 14);
    };
    EXPECT_LT(stamp(got[0]), stamp(got[1]));
    EXPECT_LT(stamp(got[1]), stamp(got[2]));
}

TEST_F(Cf51Port, StatusRecordEachSecondWithTheBitsOfThatSecond) {
    OpenBus(0x81, 0x36);  // 500 kbit/s
    const Frame f = MakeFrame(0x321, false, {1, 2, 3, 4});
    peer::AddPeriodic(1, f, 10);
    std::vector<std::vector<uint8_t>> status;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    uint8_t buf[4096];
    while (status.size() < 2 && std::chrono::steady_clock::now() < end) {
        size_t bytes = 0;
        if (port->ReadPipe(buf, sizeof(buf), 20, bytes) != kOk) continue;
        for (size_t off = 0; off + 32 <= bytes; off += 32) {
            if (buf[off + 24] == 0x80) status.emplace_back(buf + off, buf + off + 32);
        }
    }
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(GetBe32(status[1].data() + 16) - GetBe32(status[0].data() + 16), 1000u);
    EXPECT_EQ(status[0][25], 0x14);
    // 100 frames a second (one more or less at the window's edges), each FrameBits long.
    const uint32_t bits = GetBe32(status[1].data() + 28);
    EXPECT_GE(bits, 99 * FrameBits(f));
    EXPECT_LE(bits, 101 * FrameBits(f));
    EXPECT_EQ(bits % FrameBits(f), 0u);
}

TEST_F(Cf51Port, BurstRunsBackToBackAtTheBitRate) {
    OpenBus(0x80, 0x36);  // 1 Mbit/s
    constexpr uint32_t kFrames = 3000;
    peer::SendBurst(1, kFrames, [](uint32_t i) { return emutest::SeqFrame(0x100, i); });
    ASSERT_TRUE(peer::WaitIdle(30'000));
    const auto got = ReadRecords(kFrames);
    ASSERT_EQ(got.size(), kFrames);
    uint64_t last = 0;
    for (uint32_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(emutest::SeqOf(got[i].data() + 4), i);
        const uint64_t us = GetBe32(got[i].data() + 16) * 1000ull + GetBe16(got[i].data() + 14) * 2 / 3;
        if (i > 0) {
            // Consecutive frames are one frame length apart: a bit is a microsecond at 1 Mbit/s.
            const int64_t gap = static_cast<int64_t>(us - last);
            EXPECT_NEAR(gap, FrameBits(emutest::SeqFrame(0x100, i)), 1) << i;
        }
        last = us;
    }
    EXPECT_EQ(peer::DroppedFrames(Interface::Cf51), 0u);
}

class TwoChannel : public emutest::EmuTest {};

TEST_F(TwoChannel, LinkOpensBothChannelsAndDeliversWithNotify) {
    const auto paths = PresentTwoChannelInterfaces();
    ASSERT_EQ(paths.size(), 1u);
    uint32_t err = 0;
    auto link = OpenTwoChannelInterface(paths[0], err);
    ASSERT_TRUE(link) << err;
    EXPECT_FALSE(OpenTwoChannelInterface(paths[0], err));
    EXPECT_EQ(err, kErrSharingViolation);

    const uint16_t bad[4] = {0x1000, 0, 0x21F4, 0};
    EXPECT_EQ(link->OpenBus(bad), kErrInvalidParameter);
    EXPECT_EQ(link->Transmit(0, MakeFrame(1, false, {})), kErrNotReady);
    const uint16_t words[4] = {0x21F4, 0, 0, 0x011C};  // 500 kbit/s; timing registers 0x01 0x1C: 250 kbit/s
    ASSERT_EQ(link->OpenBus(words), kOk);
    EXPECT_EQ(peer::BitRate(0), 500'000u);
    EXPECT_EQ(peer::BitRate(1), 250'000u);

    std::atomic<int> notified{0};
    link->SetNotify([&] { ++notified; });
    peer::SendOnce(1, MakeFrame(0x18FEF100, true, {}, true));
    peer::SendOnce(1, MakeFrame(0x18FEF100, true, {}, true));  // not empty before: no second call
    ASSERT_TRUE(peer::WaitIdle(30'000));
    EXPECT_EQ(notified.load(), 1);
    ASSERT_EQ(link->Transmit(0, MakeFrame(0x123, false, {9})), kOk);
    EXPECT_EQ(link->Transmit(2, MakeFrame(0x123, false, {9})), kErrInvalidParameter);
    ASSERT_TRUE(peer::WaitIdle(30'000));

    TwoChannelFrame f;
    ASSERT_EQ(link->Receive(f), kOk);
    EXPECT_EQ(f.chan, 1);
    EXPECT_TRUE(f.frame.ext && f.frame.remote);
    EXPECT_FALSE(f.tx);
    ASSERT_EQ(link->Receive(f), kOk);
    const uint64_t t1 = f.timeUs;
    ASSERT_EQ(link->Receive(f), kOk);
    EXPECT_EQ(f.chan, 0);
    EXPECT_TRUE(f.tx);
    EXPECT_EQ(f.frame.data[0], 9);
    EXPECT_GE(f.timeUs, t1);
    EXPECT_EQ(link->Receive(f), kErrNotFound);

    link->SetNotify(nullptr);
    peer::SendOnce(0, MakeFrame(0x1, false, {}));
    ASSERT_TRUE(peer::WaitIdle(30'000));
    EXPECT_EQ(notified.load(), 1);

    TwoChannelStatus st;
    ASSERT_EQ(link->Status(st), kOk);
    EXPECT_EQ(st.chan[0].bitRate, 500'000u);
    EXPECT_EQ(st.chan[1].bitRate, 250'000u);
    EXPECT_EQ(st.chan[1].status, 0x0C);
    peer::InjectBusError(1);
    ASSERT_EQ(link->Status(st), kOk);
    EXPECT_EQ(st.chan[1].rxErrors, 8);
    EXPECT_EQ(st.chan[0].rxErrors, 0);

    peer::Unplug(Interface::TwoChannel);
    EXPECT_EQ(link->Receive(f), kErrDeviceNotConnected);
    EXPECT_EQ(link->Transmit(0, MakeFrame(1, false, {})), kErrDeviceNotConnected);
    EXPECT_TRUE(PresentTwoChannelInterfaces().empty());
}

TEST_F(TwoChannel, StatusCountsTheBitsOfTheLastSecond) {
    uint32_t err = 0;
    auto link = OpenTwoChannelInterface(PresentTwoChannelInterfaces().at(0), err);
    ASSERT_TRUE(link);
    const uint16_t words[4] = {0x21F4, 0, 0x21F4, 0};
    ASSERT_EQ(link->OpenBus(words), kOk);
    const Frame f = MakeFrame(0x10, false, {1, 2, 3, 4, 5, 6, 7, 8});
    peer::AddPeriodic(0, f, 5);  // 200 frames a second on channel 0 only
    // Once frames span two seconds, the interface has seen a whole second of traffic, however late it runs.
    std::optional<uint64_t> firstUs;
    uint64_t lastUs = 0;
    ASSERT_TRUE(emutest::WaitFor(
        [&] {
            TwoChannelFrame got;
            while (link->Receive(got) == kOk) {
                if (!firstUs) firstUs = got.timeUs;
                lastUs = got.timeUs;
            }
            return firstUs && lastUs - *firstUs >= 2'000'000;
        },
        30'000));
    TwoChannelStatus st;
    ASSERT_EQ(link->Status(st), kOk);
    EXPECT_GE(st.chan[0].bitsLastSecond, 199 * FrameBits(f));
    EXPECT_LE(st.chan[0].bitsLastSecond, 201 * FrameBits(f));
    EXPECT_EQ(st.chan[1].bitsLastSecond, 0u);
}

// A node that offers more than the bus carries (twenty 1 ms frames per channel at 10 kbit/s, about 250
// times the capacity) keeps at most a controller's queue per segment; the rest is counted, not stored. A
// host's send into a full queue is refused, and each accepted one goes out.
TEST_F(TwoChannel, TransmitQueuesAreBoundedAndWhatCannotBeSentIsCounted) {
    uint32_t err = 0;
    auto link = OpenTwoChannelInterface(PresentTwoChannelInterfaces().at(0), err);
    ASSERT_TRUE(link);
    const uint16_t words[4] = {0x200A, 0, 0x200A, 0};
    ASSERT_EQ(link->OpenBus(words), kOk);
    constexpr uint32_t kEntries = 20, kCount = 100;
    for (int seg = 0; seg < 2; ++seg) {
        for (uint32_t i = 0; i < kEntries; ++i) {
            peer::AddPeriodic(seg, MakeFrame(0x100 + i, false, {1, 2, 3, 4, 5, 6, 7, 8}), 1, kCount);
        }
    }
    // Once the peer's queue is full, it takes 32 frames of 13 ms each to empty.
    ASSERT_TRUE(emutest::WaitFor([] { return peer::UnsentFrames(Origin::Peer) > 0; }, 30'000));
    uint32_t accepted = 0, refused = 0;
    for (int i = 0; i < 40; ++i) {
        const uint32_t rc = link->Transmit(0, MakeFrame(0x7F0, false, {static_cast<uint8_t>(i)}));
        ASSERT_TRUE(rc == kOk || rc == kErrBusy) << rc;
        ++(rc == kOk ? accepted : refused);
    }
    EXPECT_EQ(accepted, kTxQueueFrames);  // none of them can end before the peer's queue has gone out

    uint64_t heard = 0, echoes = 0;
    size_t mostPending = 0;
    ASSERT_TRUE(emutest::WaitFor(
        [&] {
            mostPending = std::max({mostPending, peer::PendingFrames(0), peer::PendingFrames(1)});
            TwoChannelFrame f;
            while (link->Receive(f) == kOk) ++(f.tx ? echoes : heard);
            return heard + peer::UnsentFrames(Origin::Peer) == 2 * kEntries * kCount && echoes == accepted;
        },
        30'000))
        << heard << " heard, " << peer::UnsentFrames(Origin::Peer) << " unsent, " << echoes << " echoes";
    EXPECT_GT(peer::UnsentFrames(Origin::Peer), heard);
    EXPECT_LE(mostPending, 2 * kTxQueueFrames);  // the peer's queue and the host's on channel 0
    EXPECT_EQ(peer::UnsentFrames(Origin::TwoChannel), 0u);
}

// With the segment held nothing leaves the queue while the test writes, however slowly it runs; let go,
// every frame taken goes out, in order.
TEST_F(Cf51Port, PipeWriteBeyondTheTransmitQueueIsRefusedWhole) {
    OpenBus(0x81, 0x36);  // 500 kbit/s
    peer::SetRecording(true);
    peer::HoldSegment(1, true);
    uint8_t rec[2 * 32] = {};
    rec[12] = rec[32 + 12] = 1;
    for (uint32_t i = 0; i < kTxQueueFrames - 1; ++i) {
        rec[4] = static_cast<uint8_t>(i);
        ASSERT_EQ(port->WritePipe(rec, 32, 1000), kOk) << i;
    }
    EXPECT_EQ(port->WritePipe(rec, 64, 1000), kErrBusy);  // room for one of the two: neither is taken
    rec[4] = kTxQueueFrames - 1;
    EXPECT_EQ(port->WritePipe(rec, 32, 1000), kOk);
    EXPECT_EQ(port->WritePipe(rec, 32, 1000), kErrBusy);
    EXPECT_EQ(peer::PendingFrames(1), kTxQueueFrames);
    EXPECT_TRUE(peer::Received().empty());

    peer::HoldSegment(1, false);
    ASSERT_TRUE(peer::WaitIdle(30000));
    const auto seen = peer::Received();
    ASSERT_EQ(seen.size(), kTxQueueFrames);
    for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].frame.data[0], i);
    EXPECT_EQ(peer::PendingFrames(1), 0u);
}

// Like hardware that lost power, an interface plugged in again counts its time from then: a frame's time
// is at most the time since the replug, not the time since the interface was first plugged in (at least
// 50 ms more).
class EmuClock : public emutest::EmuTest {};

TEST_F(EmuClock, BothInterfacesStartTheirClockAgainWhenPluggedIn) {
    using Clock = std::chrono::steady_clock;
    const auto msSince = [](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    };
    const Frame frame = MakeFrame(0x321, false, {1});

    peer::Unplug(Interface::Cf51);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto replugged = Clock::now();
    peer::Replug(Interface::Cf51);
    uint32_t err = 0;
    auto port = OpenDevice(PresentDevices(kCf51InterfaceClass).at(0), err);
    ASSERT_TRUE(port) << err;
    uint8_t open[24] = {0, 0, 0x81, 0x36};  // 500 kbit/s
    uint8_t reply[16];
    size_t returned = 0;
    ASSERT_EQ(port->Control(0x5500203C, open, sizeof open, reply, sizeof reply, returned), kOk);
    peer::SendOnce(1, frame);
    uint8_t rec[32 * 128];
    size_t bytes = 0;
    ASSERT_TRUE(emutest::WaitFor([&] { return port->ReadPipe(rec, sizeof rec, 20, bytes) == kOk; }, 30000));
    ASSERT_EQ(rec[24], 0);  // a frame record
    const double cf51Ms = GetBe32(rec + 16) + GetBe16(rec + 14) * 2 / 3 / 1000.0;
    EXPECT_LE(cf51Ms, msSince(replugged));
    port.reset();

    peer::Unplug(Interface::TwoChannel);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    replugged = Clock::now();
    peer::Replug(Interface::TwoChannel);
    auto link = OpenTwoChannelInterface(PresentTwoChannelInterfaces().at(0), err);
    ASSERT_TRUE(link) << err;
    const uint16_t words[4] = {0x21F4, 0, 0x21F4, 0};
    ASSERT_EQ(link->OpenBus(words), kOk);
    peer::SendOnce(1, frame);
    TwoChannelFrame f;
    ASSERT_TRUE(emutest::WaitFor([&] { return link->Receive(f) == kOk; }, 30000));
    EXPECT_LE(f.timeUs / 1000.0, msSince(replugged));
}

TEST(Peer, DefaultTrafficRunsOnBothSegmentsOnlyWhileAnInterfaceListens) {
    peer::Reset();
    peer::UseDefaultTraffic();
    uint32_t err = 0;
    auto link = OpenTwoChannelInterface(PresentTwoChannelInterfaces().at(0), err);
    ASSERT_TRUE(link);
    const uint16_t words[4] = {0x21F4, 0, 0x21F4, 0};
    ASSERT_EQ(link->OpenBus(words), kOk);
    int perChannel[2] = {0, 0};
    EXPECT_TRUE(emutest::WaitFor(
        [&] {
            TwoChannelFrame f;
            while (link->Receive(f) == kOk) ++perChannel[f.chan];
            return perChannel[0] >= 2 && perChannel[1] >= 4;
        },
        30'000))
        << perChannel[0] << " and " << perChannel[1] << " frames";
    link.reset();
    peer::Reset();
}

}  // namespace
