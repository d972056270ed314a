// The message-queue transmit service: the snapshot of the list, the gaps between frames from their delays
// as the peer sees them, once and repeatedly, stop, abort, going offline and a failing write.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "services/queuetx.h"
#include "tests/app/workspacetest.h"

namespace peer = vex::emu::peer;
using vex::emu::SeenFrame;
using End = CExtSerCanMsgQueueTx::End;
using Mode = CExtSerCanMsgQueueTx::Mode;

namespace {

constexpr int64_t kMs = 1'000'000;

tCFG_SET_EXT_QUEUE_TX_MSG Rec(uint32_t id, uint16_t before, uint16_t after, uint8_t ext = 0, uint8_t dl = 2) {
    tCFG_SET_EXT_QUEUE_TX_MSG r;
    r.MsgName = "Q";
    r.MsgID = id;
    r.Ext = ext;
    r.Chan = 1;
    r.DL = dl;
    r.TxData[0] = static_cast<uint8_t>(id);
    r.TxData[1] = 0x5A;
    r.BeforeDelayTime = before;
    r.AfterDelayTime = after;
    return r;
}

// Records the worker's events.
struct Events {
    std::mutex lock;
    std::vector<size_t> sending;
    std::atomic<int> ended{0};
    std::atomic<End> end{End::None};

    CExtSerCanMsgQueueTx::Events Make() {
        return {[this](size_t i) {
                    std::lock_guard<std::mutex> l(lock);
                    sending.push_back(i);
                },
                [this](End e) {
                    end = e;
                    ++ended;
                }};
    }
    bool WaitEnded(int n = 1) {
        return emutest::WaitFor([&] { return ended.load() >= n; }, 30'000);
    }
};

class QueueTxTest : public wstest::WorkspaceTest {
protected:
    void Online() {
        Make();
        Select(CAppCfg::kDevNxp);
        ASSERT_TRUE(ws->GoOnline());
        peer::SetRecording(true);
    }
    std::vector<tQUEUE_TX_ITEM> Items(std::vector<tCFG_SET_EXT_QUEUE_TX_MSG> recs) {
        tCFG_SET_EXT_QUEUE_TX_SERVICE section;
        std::vector<uint32_t> keys;
        for (auto& r : recs) {
            keys.push_back(section.NextKey);
            section.MsgMap[section.NextKey++] = r;
        }
        std::vector<tQUEUE_TX_ITEM> items;
        EXPECT_EQ(BuildQueueTxItems(section, keys, items), "");
        return items;
    }
};

}  // namespace

// The snapshot: records in the order of the keys, a missing key marked, and a record that makes no frame
// refused with a message naming it.
TEST(QueueTxItems, SnapshotOfTheList) {
    tCFG_SET_EXT_QUEUE_TX_SERVICE section;
    section.MsgMap[4] = Rec(0x100, 10, 20);
    section.MsgMap[9] = Rec(0x1ABCDEF0, 1, 2, 1, 8);
    std::vector<tQUEUE_TX_ITEM> items;
    ASSERT_EQ(BuildQueueTxItems(section, {9, 7, 4}, items), "");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].Msg.Id, 0x1ABCDEF0u);
    EXPECT_EQ(items[0].Msg.Ext, 1);
    EXPECT_EQ(items[0].Msg.Dlc, 8);
    EXPECT_EQ(items[0].Msg.Dir, 1);
    EXPECT_TRUE(items[1].Missing);
    EXPECT_EQ(items[2].BeforeDelayTime, 10);
    EXPECT_EQ(items[2].AfterDelayTime, 20);

    section.MsgMap[5] = Rec(0x800, 0, 0);  // no standard identifier
    section.MsgMap[6] = Rec(0x100, 0, 0, 0, 9);
    EXPECT_EQ(BuildQueueTxItems(section, {4, 5}, items),
              "发送报文 Q（ID 00000800）：标准帧ID 0x800 超出 0x7FF。");
    EXPECT_EQ(BuildQueueTxItems(section, {6}, items), "发送报文 Q（ID 00000100）：长度 9 不在 0~8 之内。");
    // A delay read out of range holds its low 16 bits (0 for 65536): refused, not waited.
    section.MsgMap[8] = Rec(0x100, 0, 0);
    section.MsgMap[8].KeptAttrs = {{"BeforeDelayTime", "0", "65536"}};
    EXPECT_EQ(BuildQueueTxItems(section, {4, 8}, items),
              "发送报文 Q（ID 00000100）：前延时 65536 不在 0~65535 之内。");
    EXPECT_EQ(items.size(), 3u);  // untouched
}

// Three frames with delays 0/300, 100/0 and 0/0, sent once. The gap before a frame is the previous frame's
// after-delay plus its own before-delay: 400 ms, then 0 (not the after-delay alone). Tolerance: a frame never
// leaves before the worker wrote it, and the worker writes frame k no earlier than the sum of the delays
// before it after the start; those lower bounds hold on any machine. Nothing bounds them from above.
TEST_F(QueueTxTest, GapsFromTheDelaysSentOnce) {
    Online();
    CExtSerCanMsgQueueTx svc(ws->Sender());
    Events ev;
    const int64_t t0 = peer::BusTimeNs();
    ASSERT_TRUE(
        svc.Start(Items({Rec(0x101, 0, 300), Rec(0x102, 100, 0), Rec(0x103, 0, 0)}), Mode::Once, ev.Make()));
    EXPECT_FALSE(svc.Start(Items({Rec(0x104, 0, 0)}), Mode::Once, ev.Make()));  // one worker at a time
    ASSERT_TRUE(ev.WaitEnded());
    EXPECT_EQ(ev.end.load(), End::Finished);
    EXPECT_FALSE(svc.IsRunning());
    ASSERT_TRUE(peer::WaitIdle(30'000));
    const std::vector<SeenFrame> seen = peer::Received();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].frame.id, 0x101u);
    EXPECT_EQ(seen[1].frame.id, 0x102u);
    EXPECT_EQ(seen[2].frame.id, 0x103u);
    EXPECT_EQ(seen[1].frame.data[1], 0x5A);
    EXPECT_EQ(seen[1].frame.dlc, 2);
    EXPECT_EQ(seen[1].segment, 1);
    EXPECT_GE(seen[1].busTimeNs - t0, 400 * kMs);
    EXPECT_GE(seen[2].busTimeNs - t0, 400 * kMs);
    EXPECT_EQ(ev.sending, (std::vector<size_t>{0, 1, 2}));
}

// Repeatedly: the list goes round until Stop, which lets the frame in progress finish with its after-delay;
// a later start works on a fresh snapshot; an empty list waits for Stop; going offline and a failing write
// end the pass.
TEST_F(QueueTxTest, RepeatStopOfflineAndWriteFailure) {
    Online();
    CExtSerCanMsgQueueTx svc(ws->Sender());
    {
        Events ev;
        ASSERT_TRUE(svc.Start(Items({Rec(0x111, 0, 5)}), Mode::Repeat, ev.Make()));
        ASSERT_TRUE(emutest::WaitFor([] { return peer::Received().size() >= 4; }, 30'000));
        svc.Stop();
        ASSERT_TRUE(ev.WaitEnded());
        EXPECT_EQ(ev.end.load(), End::Stopped);
    }
    {
        Events ev;
        ASSERT_TRUE(svc.Start({}, Mode::Repeat, ev.Make()));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(svc.IsRunning());
        svc.Stop();
        ASSERT_TRUE(ev.WaitEnded());
        EXPECT_EQ(ev.end.load(), End::Stopped);
    }
    {
        Events ev;
        ASSERT_TRUE(svc.Start(Items({Rec(0x112, 0, 5)}), Mode::Repeat, ev.Make()));
        peer::Unplug(vex::emu::Interface::TwoChannel);
        ASSERT_TRUE(ev.WaitEnded());
        EXPECT_EQ(ev.end.load(), End::WriteFailed);
        peer::Replug(vex::emu::Interface::TwoChannel);
        // The device reconnects in the background: sends fail until it is back.
        tCAN_RAW_MSG probe;
        probe.Id = 0x7F0;
        probe.Chan = 1;
        ASSERT_TRUE(
            emutest::WaitFor([&] { return ws->Sender().Write(probe) == CCanMsgSender::Result::Ok; }, 30'000));
    }
    {
        Events ev;
        ASSERT_TRUE(svc.Start(Items({Rec(0x113, 0, 5)}), Mode::Repeat, ev.Make()));
        ws->GoOffline();
        ASSERT_TRUE(ev.WaitEnded());
        EXPECT_EQ(ev.end.load(), End::Offline);
        EXPECT_FALSE(svc.Start(Items({Rec(0x113, 0, 5)}), Mode::Once, ev.Make()));  // offline
    }
}

// A missing record ends the pass when its turn comes; Abort cuts a 10-second delay short and joins, and the
// frame that waited for it is never sent.
TEST_F(QueueTxTest, MissingRecordAndAbort) {
    Online();
    CExtSerCanMsgQueueTx svc(ws->Sender());
    tCFG_SET_EXT_QUEUE_TX_SERVICE section;
    section.MsgMap[0] = Rec(0x121, 0, 0);
    std::vector<tQUEUE_TX_ITEM> items;
    ASSERT_EQ(BuildQueueTxItems(section, {0, 1, 0}, items), "");
    Events ev;
    ASSERT_TRUE(svc.Start(items, Mode::Repeat, ev.Make()));
    ASSERT_TRUE(ev.WaitEnded());
    EXPECT_EQ(ev.end.load(), End::Missing);
    ASSERT_TRUE(peer::WaitIdle(30'000));
    EXPECT_EQ(peer::Received().size(), 1u);

    peer::ClearReceived();
    Events ev2;
    ASSERT_TRUE(svc.Start(Items({Rec(0x122, 0, 10000), Rec(0x123, 10000, 0)}), Mode::Once, ev2.Make()));
    ASSERT_TRUE(emutest::WaitFor([] { return peer::Received().size() == 1; }, 30'000));
    svc.Stop();  // Stop alone would wait out the delays
    EXPECT_TRUE(svc.IsRunning());
    svc.Abort();
    EXPECT_FALSE(svc.IsRunning());
    EXPECT_EQ(ev2.end.load(), End::Aborted);
    ASSERT_TRUE(peer::WaitIdle(30'000));
    EXPECT_EQ(peer::Received().size(), 1u);
}
