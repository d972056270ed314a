// Sending through the application core: a frame on the bus is always what its record shows, and a record
// that cannot be sent as shown is refused with a message naming it, whatever the configuration file held.
#include <gtest/gtest.h>

#include "app/canmsgsender.h"
#include "tests/app/workspacetest.h"

using namespace wstest;
namespace peer = vex::emu::peer;

namespace {

tCFG_SET_SEND_MSG Record(uint32_t id, uint8_t ext, uint8_t dl, uint8_t chan) {
    tCFG_SET_SEND_MSG rec;
    rec.MsgName = "Msg";
    rec.MsgID = id;
    rec.Ext = ext;
    rec.DL = dl;
    rec.Chan = chan;
    rec.CycTxTime = 10;
    for (uint8_t i = 0; i < 8; ++i) rec.TxData[i] = static_cast<uint8_t>(0x10 + i);
    return rec;
}

using SenderTest = WorkspaceTest;

}  // namespace

TEST(CanMsgSender, BuildsTheFrameItsRecordShowsOrRefusesIt) {
    struct Case {
        tCFG_SET_SEND_MSG rec;
        const char* refusal;
    } cases[] = {
        {Record(0x7FF, 0, 8, 0), ""},
        {Record(0x1FFFFFFF, 1, 0, 1), ""},
        {Record(0x7FFFFFFF, 0, 8, 0), "发送报文 Msg（ID 7FFFFFFF）：标准帧ID 0x7FFFFFFF 超出 0x7FF。"},
        {Record(0x800, 0, 8, 0), "发送报文 Msg（ID 00000800）：标准帧ID 0x800 超出 0x7FF。"},
        {Record(0xFFFFFFFF, 1, 8, 0), "发送报文 Msg（ID FFFFFFFF）：扩展帧ID 0xFFFFFFFF 超出 0x1FFFFFFF。"},
        {Record(0x123, 0, 255, 0), "发送报文 Msg（ID 00000123）：长度 255 不在 0~8 之内。"},
        {Record(0x123, 0, 9, 0), "发送报文 Msg（ID 00000123）：长度 9 不在 0~8 之内。"},
        {Record(0x123, 0, 8, 7), "发送报文 Msg（ID 00000123）：通道 7 不存在。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal);
        tCAN_CYCTX_MSG msg;
        EXPECT_EQ(CCanMsgSender::BuildFrame(c.rec, msg), c.refusal);
        if (*c.refusal) continue;
        EXPECT_EQ(msg.Msg.Id, c.rec.MsgID);
        EXPECT_EQ(msg.Msg.Ext, c.rec.Ext);
        EXPECT_EQ(msg.Msg.Dlc, c.rec.DL);
        EXPECT_EQ(msg.Msg.Chan, c.rec.Chan);
        EXPECT_EQ(msg.Msg.Dir, 1);
        EXPECT_EQ(msg.CycTxTime, 10);
        EXPECT_EQ(msg.Msg.Data[7], 0x17);
    }
}

// On the emulated two-channel interface: offline refused, a refused record sends nothing, a good one goes
// out on its channel with its bytes; a refused record cannot start cycling either.
TEST_F(SenderTest, RefusedRecordsNeverReachTheBus) {
    Make();
    Select(CAppCfg::kDevNxp);
    const CCanMsgSender& sender = ws->Sender();
    std::string why;
    EXPECT_EQ(sender.SendOnce(Record(0x100, 0, 8, 1), &why), CCanMsgSender::Result::Offline);
    ASSERT_TRUE(ws->GoOnline());
    peer::SetRecording(true);
    EXPECT_EQ(sender.SendOnce(Record(0x7FFFFFFF, 0, 8, 0), &why), CCanMsgSender::Result::BadFrame);
    EXPECT_NE(why.find("标准帧ID 0x7FFFFFFF 超出 0x7FF"), std::string::npos);
    EXPECT_EQ(sender.StartCyclic(Record(0x123, 0, 8, 7), &why), CCanMsgSender::Result::BadFrame);
    EXPECT_EQ(sender.SendOnce(Record(0x123, 0, 255, 0), &why), CCanMsgSender::Result::BadFrame);
    EXPECT_EQ(sender.SendOnce(Record(0x321, 0, 3, 1)), CCanMsgSender::Result::Ok);
    ASSERT_TRUE(emutest::WaitFor([] { return !peer::Received().empty(); }, 30'000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<vex::emu::SeenFrame> seen = peer::Received();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].segment, 1);
    EXPECT_EQ(seen[0].frame.id, 0x321u);
    EXPECT_EQ(seen[0].frame.dlc, 3);
    EXPECT_EQ(seen[0].frame.data[2], 0x12);
    ws->GoOffline();
}
