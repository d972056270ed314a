// The J1939 DMx service on the emulated bus: what the peer sees it send and when, stopping in the middle of
// a long BAM, one transmit thread at a time, and DMx messages received through the receive thread.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "services/extservices.h"
#include "services/j1939dmx.h"
#include "tests/app/workspacetest.h"

namespace peer = vex::emu::peer;
using vex::emu::SeenFrame;

namespace {

constexpr int64_t kMs = 1'000'000;  // bus time is in ns

class J1939BusTest : public wstest::WorkspaceTest {
protected:
    void Online() {
        Make();
        Select(CAppCfg::kDevNxp);
        ASSERT_TRUE(ws->GoOnline());
        peer::SetRecording(true);
    }
    static tEXT_J1939DMX_TX_DATA Tx(size_t codes) {
        tCFG_SET_EXT_J1939DMX_SERVICE set;
        set.PgnP = 3;
        set.PgnDa = 0x21;  // a BAM still goes to 0xFF
        set.PgnSa = 0x3D;
        set.TxCanChan = 1;
        set.LampStatus = 0x04;
        tEXT_J1939DMX_TX_DATA tx;
        EXPECT_EQ(BuildJ1939DmxTxData(set, 1, std::vector<tJ1939_DTC>(codes, {1234, 5, 0, 1}), tx), "");
        return tx;
    }
    static std::vector<SeenFrame> WaitFrames(size_t n) {
        emutest::WaitFor([n] { return peer::Received().size() >= n; }, 30'000);
        return peer::Received();
    }
};

}  // namespace

// Tolerances: a frame can never reach the bus before the thread wrote it, and the thread writes the k-th
// packet of a BAM no earlier than k x 50 ms after it was started, and the next cycle no earlier than 1000 ms
// after the previous one. Those lower bounds hold on any machine; nothing bounds them from above.
TEST_F(J1939BusTest, SendsSingleFramesAndBamsWithTheirGaps) {
    const int baseline = emutest::ThreadBaseline();
    Make();
    Select(CAppCfg::kDevNxp);
    CExtSerCanJ1939DMx svc(ws->Sender());
    EXPECT_FALSE(svc.StartTx(Tx(3)));  // offline
    ASSERT_TRUE(ws->GoOnline());
    peer::SetRecording(true);
    const int online = emutest::ThreadCount();

    int64_t t0 = peer::BusTimeNs();
    ASSERT_TRUE(svc.StartTx(Tx(3)));
    EXPECT_FALSE(svc.StartTx(Tx(1)));  // already sending
    std::vector<SeenFrame> seen = WaitFrames(3);
    svc.StopTx();
    EXPECT_TRUE(emutest::ThreadsBackTo(online))
        << emutest::ThreadCount() << " threads, " << online << " before";
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[0].frame.id, 0x0CECFF3Du);
    EXPECT_EQ(seen[1].frame.id, 0x0CEBFF3Du);
    EXPECT_EQ(seen[2].frame.id, 0x0CEBFF3Du);
    EXPECT_EQ(seen[0].segment, 1);
    EXPECT_TRUE(seen[0].frame.ext);
    EXPECT_EQ(seen[0].frame.data[1], 14);
    EXPECT_EQ(seen[1].frame.data[1], 0x04);  // lamp status
    EXPECT_EQ(seen[2].frame.data[0], 2);
    EXPECT_EQ(seen[2].frame.data[7], 0x01);  // the last code's CM and OC
    EXPECT_GE(seen[1].busTimeNs - t0, 50 * kMs);
    EXPECT_GE(seen[2].busTimeNs - t0, 100 * kMs);

    peer::ClearReceived();
    t0 = peer::BusTimeNs();
    ASSERT_TRUE(svc.StartTx(Tx(1)));
    seen = WaitFrames(2);
    svc.StopTx();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].frame.id, 0x0CFECA3Du);
    EXPECT_EQ(seen[1].frame.id, 0x0CFECA3Du);
    EXPECT_GE(seen[1].busTimeNs - t0, 1000 * kMs);
    ws->GoOffline();
    ws.reset();
    EXPECT_TRUE(emutest::WaitFor([&] { return emutest::ThreadCount() <= baseline; }, 30'000))
        << emutest::ThreadCount() << " threads, " << baseline << " before";
}

// A stop in the middle of a BAM of 255 codes (146 packets, about 7 s) ends it between two packets.
TEST_F(J1939BusTest, StopEndsALongBamBetweenPackets) {
    Online();
    CExtSerCanJ1939DMx svc(ws->Sender());
    ASSERT_TRUE(svc.StartTx(Tx(255)));
    WaitFrames(3);
    svc.StopTx();
    EXPECT_FALSE(svc.IsSending());
    ASSERT_TRUE(peer::WaitIdle(30'000));
    const size_t sent = peer::Received().size();
    EXPECT_GE(sent, 3u);
    EXPECT_LT(sent, 147u);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(peer::Received().size(), sent);
    // A new start after a stop runs one thread again.
    ASSERT_TRUE(svc.StartTx(Tx(1)));
    svc.StopTx();
}

// Frames reach the service only while it is the active one; an oversized announcement is reported once in
// the info ring, however often the node repeats it.
TEST_F(J1939BusTest, ReceivesThroughTheReceiveThread) {
    Online();
    CExtServices& services = CExtServices::Install(*ws);
    CExtSerCanJ1939DMx& svc = services.J1939();
    auto dm1 = emutest::MakeFrame(0x18FECA17, true, {0x04, 0xFF, 0x00, 0x9A, 0x45, 0x83, 0xFF, 0xFF});
    peer::SendOnce(1, dm1);
    ASSERT_TRUE(peer::WaitIdle(30'000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    J1939DmxNodeMap nodes;
    ASSERT_TRUE(svc.GetNodeMap(nodes));
    EXPECT_TRUE(nodes.empty());

    ws->RxThread().SetActiveService(&svc);
    peer::SendOnce(1, dm1);
    for (int i = 0; i < 3; ++i)
        peer::SendOnce(0, emutest::MakeFrame(0x1CECFF05, true, {0x20, 0x01, 0x04, 147, 0xFF, 0xCA, 0xFE, 0}));
    ASSERT_TRUE(emutest::WaitFor(
        [&] {
            svc.GetNodeMap(nodes);
            return nodes.size() == 2;
        },
        30'000));
    ws->RxThread().SetActiveService(nullptr);
    const tEXT_J1939DMX_DATA& m = nodes.at(256 + 0x17).Messages.at(0xFECA);
    EXPECT_EQ(m.Dtcs(1), (std::vector<tJ1939_DTC>{{1234, 5, 1, 3}}));
    EXPECT_EQ(nodes.at(0 * 256 + 0x05).LastBamPgn, 0xFECAu);
    int reports = 0;
    for (const tINFO_MSG& info : Infos())
        if (info.Text.find("不予接收") != std::string::npos) ++reports;
    EXPECT_EQ(reports, 1);
    svc.ClearNodes();
    svc.GetNodeMap(nodes);
    EXPECT_TRUE(nodes.empty());
}
