// The J1939 DMx service's pure parts: the trouble-code layouts of the four frame-format versions, the
// receive side's single frames and BAM reassembly, the message built from the dialog's settings and the
// frames of a transmit cycle, and the SPN-FMI description file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/canmsgsender.h"
#include "app/canrxthread.h"
#include "platform/textcodec.h"
#include "services/j1939dmx.h"
#include "services/j1939dmxdata.h"
#include "services/spnfmicsv.h"
#include "tests/common/testsupport.h"

namespace {

using R = CJ1939DmxCollector::Result;

tCAN_RAW_MSG Ext(uint32_t id, std::vector<uint8_t> data, uint8_t chan = 1) {
    tCAN_RAW_MSG m;
    m.Id = id;
    m.Ext = 1;
    m.Chan = chan;
    m.Dlc = 8;
    std::memset(m.Data, 0xFF, 8);
    std::memcpy(m.Data, data.data(), std::min<size_t>(8, data.size()));
    return m;
}

// A BAM announcement from `sa` to `da` of `size` bytes in `packets` packets for `pgn`.
tCAN_RAW_MSG Bam(uint8_t sa, uint16_t size, uint8_t packets, uint32_t pgn, uint8_t da = 0xFF,
                 uint8_t chan = 1) {
    return Ext(0x18EC0000u | (uint32_t{da} << 8) | sa,
               {0x20, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), packets, 0xFF,
                static_cast<uint8_t>(pgn), static_cast<uint8_t>(pgn >> 8), static_cast<uint8_t>(pgn >> 16)},
               chan);
}

tCAN_RAW_MSG Dt(uint8_t sa, uint8_t seq, uint8_t fill, uint8_t da = 0xFF) {
    std::vector<uint8_t> d(8, fill);
    d[0] = seq;
    return Ext(0x1CEB0000u | (uint32_t{da} << 8) | sa, d);
}

}  // namespace

// The layouts as the table of the four versions gives them, for a small and a 19-bit SPN.
TEST(J1939Dtc, LayoutOfEachFrameFormatVersion) {
    struct Case {
        uint8_t version;
        tJ1939_DTC dtc;
        uint8_t bytes[4];
    } cases[] = {
        {1, {1234, 5, 1, 3}, {0x00, 0x9A, 0x45, 0x83}},
        {2, {1234, 5, 1, 3}, {0x9A, 0x00, 0x45, 0x83}},
        {3, {1234, 5, 1, 3}, {0xD2, 0x04, 0x05, 0x83}},
        {4, {1234, 5, 1, 3}, {0xD2, 0x04, 0x05, 0x83}},
        {1, {520000, 31, 0, 127}, {0xFD, 0xE8, 0x1F, 0x7F}},
        {2, {520000, 31, 0, 127}, {0xE8, 0xFD, 0x1F, 0x7F}},
        {3, {520000, 31, 0, 127}, {0x40, 0xEF, 0xFF, 0x7F}},
        {4, {520000, 31, 0, 127}, {0x40, 0xEF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << int(c.version) << " spn " << c.dtc.Spn);
        uint8_t out[4] = {};
        ASSERT_TRUE(EncodeJ1939Dtc(c.version, c.dtc, out));
        EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(c.bytes, c.bytes + 4));
        tJ1939_DTC back;
        ASSERT_TRUE(DecodeJ1939Dtc(c.version, c.bytes, back));
        EXPECT_EQ(back, c.dtc);
    }
    uint8_t out[4] = {1, 2, 3, 4};
    tJ1939_DTC dtc;
    EXPECT_FALSE(EncodeJ1939Dtc(0, {1, 1, 0, 0}, out));
    EXPECT_FALSE(EncodeJ1939Dtc(5, {1, 1, 0, 0}, out));
    EXPECT_FALSE(DecodeJ1939Dtc(5, out, dtc));
    EXPECT_EQ(out[0], 1);
}

// A DM1 in one frame from source 0x17 on channel 1, decoded by each version's layout.
TEST(J1939Collector, SingleFrameDm1PerVersion) {
    const struct {
        uint8_t version;
        uint8_t dtc[4];
    } cases[] = {{1, {0x00, 0x9A, 0x45, 0x83}},
                 {2, {0x9A, 0x00, 0x45, 0x83}},
                 {3, {0xD2, 0x04, 0x05, 0x83}},
                 {4, {0xD2, 0x04, 0x05, 0x83}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.version));
        CJ1939DmxCollector rx;
        // Length code 3: the first six bytes are taken whatever it says.
        tCAN_RAW_MSG dm1 = Ext(0x18FECA17, {0x04, 0xFF, c.dtc[0], c.dtc[1], c.dtc[2], c.dtc[3], 0xAA, 0xBB});
        dm1.Dlc = 3;
        EXPECT_EQ(rx.Apply(dm1), R::Message);
        ASSERT_EQ(rx.Nodes().size(), 1u);
        const CCanJ1939DmxNode& node = rx.Nodes().at(1 * 256 + 0x17);
        EXPECT_EQ(node.SA, 0x17);
        EXPECT_EQ(node.Chan, 1);
        ASSERT_EQ(node.Messages.size(), 1u);
        const tEXT_J1939DMX_DATA& m = node.Messages.at(0xFECA);
        EXPECT_EQ(m.PacketsAnnounced + m.PacketsReceived + m.TotalSize + m.BytesReceived, 1 + 1 + 6 + 6);
        EXPECT_EQ(m.Data[0], 0x04);
        EXPECT_EQ(m.Data[6], 0);  // nothing beyond the sixth byte
        EXPECT_EQ(m.Dtcs(c.version), (std::vector<tJ1939_DTC>{{1234, 5, 1, 3}}));
        EXPECT_TRUE(m.Dtcs(5).empty());
    }
}

// Which frames are DMx traffic at all: only the global address carries BAM.
TEST(J1939Collector, FramesThatCreateNoNode) {
    tCAN_RAW_MSG standard = Ext(0x7CA, {0x04});
    standard.Ext = 0;
    const tCAN_RAW_MSG frames[] = {
        standard,
        Ext(0x18FEF100, {1, 2, 3}),           // another PDU2 PGN
        Ext(0x18EA00FF, {0xCA, 0xFE, 0x00}),  // a request (PDU1, not transport)
        Bam(0x21, 14, 2, 0xFECA, 0x00),       // TP.CM to one node: connection mode, not BAM
        Dt(0x21, 1, 0x11, 0x00),              // its data packet
    };
    CJ1939DmxCollector rx;
    for (const tCAN_RAW_MSG& m : frames) EXPECT_EQ(rx.Apply(m), R::Ignored);
    EXPECT_TRUE(rx.Nodes().empty());
}

// BAM reassembly: in order, a wrong sequence number, packets out of order, a BAM of another PGN, and
// oversized announcements, each as a sequence of frames and the messages it leaves.
TEST(J1939Collector, BamReassembly) {
    struct Step {
        tCAN_RAW_MSG frame;
        R result;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        size_t completeBytes;  // bytes of the complete DM1 left, 0 for none
        uint8_t lastByte;      // its last byte
    } cases[] = {
        {"three codes complete on the second packet",
         {{Bam(0x21, 14, 2, 0xFECA), R::BamStarted},
          {Dt(0x21, 1, 0x11), R::Packet},
          {Dt(0x21, 2, 0x22), R::Completed}},
         14,
         0x22},
        {"a wrong sequence number keeps the transfer, the right one continues it",
         {{Bam(0x21, 14, 2, 0xFECA), R::BamStarted},
          {Dt(0x21, 1, 0x11), R::Packet},
          {Dt(0x21, 3, 0x33), R::Dropped},
          {Dt(0x21, 2, 0x22), R::Completed}},
         14,
         0x22},
        {"out of order stalls until a new BAM restarts it",
         {{Bam(0x21, 14, 2, 0xFECA), R::BamStarted},
          {Dt(0x21, 2, 0x22), R::Dropped},
          {Dt(0x21, 1, 0x11), R::Packet},
          {Bam(0x21, 14, 2, 0xFECA), R::BamStarted},
          {Dt(0x21, 1, 0x44), R::Packet},
          {Dt(0x21, 2, 0x55), R::Completed}},
         14,
         0x55},
        {"a BAM of another PGN takes the packets that follow",
         {{Bam(0x21, 14, 2, 0xFECA), R::BamStarted},
          {Bam(0x21, 14, 2, 0xFEF1), R::BamOther},
          {Dt(0x21, 1, 0x11), R::Dropped},
          {Dt(0x21, 2, 0x22), R::Dropped}},
         0,
         0},
        {"an oversized announcement is refused and ends the transfer in progress",
         {{Bam(0x21, 14, 2, 0xFECA), R::BamStarted},
          {Dt(0x21, 1, 0x11), R::Packet},
          {Bam(0x21, 1025, 147, 0xFECA), R::BamRefused},
          {Dt(0x21, 2, 0x22), R::Dropped}},
         0,
         0},
        {"an oversized announcement of another PGN is refused too",
         {{Bam(0x21, 14, 2, 0xFECA), R::BamStarted},
          {Bam(0x21, 0xFFFF, 255, 0xFEF1), R::BamRefused},
          {Dt(0x21, 1, 0x11), R::Dropped}},
         0,
         0},
        {"packets of another source or channel do not feed the transfer",
         {{Bam(0x21, 9, 2, 0xFECB), R::BamStarted},
          {Dt(0x22, 1, 0x11), R::Dropped},
          {Ext(0x1CEBFF21, {1, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}, 0), R::Dropped},
          {Dt(0x21, 1, 0x11), R::Packet},
          {Dt(0x21, 2, 0x22), R::Completed}},
         0,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CJ1939DmxCollector rx;
        for (size_t i = 0; i < c.steps.size(); ++i)
            EXPECT_EQ(rx.Apply(c.steps[i].frame), c.steps[i].result) << i;
        const CCanJ1939DmxNode& node = rx.Nodes().at(256 + 0x21);
        const auto it = node.Messages.find(0xFECA);
        if (c.completeBytes == 0) {
            EXPECT_EQ(it, node.Messages.end());
            continue;
        }
        ASSERT_NE(it, node.Messages.end());
        EXPECT_EQ(it->second.BytesReceived, c.completeBytes);
        EXPECT_EQ(it->second.Data[c.completeBytes - 1], c.lastByte);
        EXPECT_EQ(it->second.Data[c.completeBytes], 0);  // nothing past the size
    }
}

// The largest transfer the buffer holds completes exactly, 1024 bytes in 147 packets.
TEST(J1939Collector, LargestTransferFillsTheBuffer) {
    CJ1939DmxCollector rx;
    ASSERT_EQ(rx.Apply(Bam(0x05, 1024, 147, 0xFECB)), R::BamStarted);
    for (uint8_t p = 1; p <= 146; ++p) ASSERT_EQ(rx.Apply(Dt(0x05, p, p)), R::Packet);
    ASSERT_EQ(rx.Apply(Dt(0x05, 147, 0xEE)), R::Completed);
    const tEXT_J1939DMX_DATA& m = rx.Nodes().at(256 + 5).Messages.at(0xFECB);
    EXPECT_EQ(m.BytesReceived, 1024);
    EXPECT_EQ(m.PacketsReceived, 147);
    EXPECT_EQ(m.Data[1021], 146);
    EXPECT_EQ(m.Data[1022], 0xEE);
    EXPECT_EQ(m.Data[1023], 0xEE);
    EXPECT_EQ(m.Dtcs(3).size(), 255u);
}

// A node keeps only the transfer of its last announcement, the only one packets can continue: DMx
// announcements with every data-page byte leave one transfer, and the packets still complete it.
TEST(J1939Collector, OnlyTheLastAnnouncedTransferIsKept) {
    CJ1939DmxCollector rx;
    for (uint32_t page = 0; page < 256; ++page)
        ASSERT_EQ(rx.Apply(Bam(0x05, 14, 2, (page << 16) | 0xFECA)), R::BamStarted);
    EXPECT_EQ(rx.Nodes().at(256 + 5).Transfers.size(), 1u);
    ASSERT_EQ(rx.Apply(Dt(0x05, 1, 0x11)), R::Packet);
    ASSERT_EQ(rx.Apply(Dt(0x05, 2, 0x22)), R::Completed);
    const CCanJ1939DmxNode& node = rx.Nodes().at(256 + 5);
    EXPECT_EQ(node.Transfers.count(0xFFFECA), 1u);
    EXPECT_EQ(node.Messages.at(0xFECA).BytesReceived, 14);
}

tCFG_SET_EXT_J1939DMX_SERVICE TxSettings(uint8_t da) {
    tCFG_SET_EXT_J1939DMX_SERVICE s;
    s.PgnP = 6;
    s.PgnEdp = 0;
    s.PgnDp = 0;
    s.PgnDa = da;
    s.PgnSa = 0x3D;
    s.TxCanChan = 1;
    s.LampStatus = 0x44;
    return s;
}

// The message built from the dialog's settings, and its refusals in order.
TEST(J1939Tx, BuildsTheMessageOrRefuses) {
    tEXT_J1939DMX_TX_DATA tx;
    const tCFG_SET_EXT_J1939DMX_SERVICE set = TxSettings(0x21);
    EXPECT_EQ(BuildJ1939DmxTxData(set, 1, {}, tx), "请添加需要发送的SPN-FMI。");
    EXPECT_EQ(BuildJ1939DmxTxData(set, 5, {{1, 1, 0, 0}}, tx), kJ1939NoVersion);
    EXPECT_EQ(BuildJ1939DmxTxData(set, 1, std::vector<tJ1939_DTC>(256, {1, 1, 0, 0}), tx),
              "发送的SPN-FMI不能超过255个。");
    struct Case {
        size_t codes;
        uint16_t size, packets;
    } cases[] = {{1, 6, 1}, {2, 10, 2}, {3, 14, 2}, {255, 1022, 146}};
    for (const Case& c : cases) {
        ASSERT_EQ(BuildJ1939DmxTxData(set, 3, std::vector<tJ1939_DTC>(c.codes, {1234, 5, 1, 3}), tx), "");
        EXPECT_EQ(tx.TotalSize, c.size);
        EXPECT_EQ(tx.Packets, c.packets);
        EXPECT_EQ(tx.Data[0], 0x44);
        EXPECT_EQ(tx.Data[1], 0xFF);
        EXPECT_EQ(tx.Data[c.size - 4], 0xD2);
    }
}

// One cycle's frames: a single frame for one code; for more, a BAM to the global address whatever the
// configured destination, whose last packet is padded with 0xFF; what is sent reads back on the receive side.
TEST(J1939Tx, CycleFramesAndTheirReception) {
    tEXT_J1939DMX_TX_DATA tx;
    ASSERT_EQ(BuildJ1939DmxTxData(TxSettings(0x21), 2, {{1234, 5, 1, 3}}, tx), "");
    std::vector<tCAN_RAW_MSG> frames = J1939DmxTxFrames(tx);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].Id, 0x18FECA3Du);
    EXPECT_EQ(std::vector<uint8_t>(frames[0].Data, frames[0].Data + 8),
              (std::vector<uint8_t>{0x44, 0xFF, 0x9A, 0x00, 0x45, 0x83, 0xFF, 0xFF}));

    const std::vector<tJ1939_DTC> codes = {{1234, 5, 1, 3}, {520000, 31, 0, 127}};
    ASSERT_EQ(BuildJ1939DmxTxData(TxSettings(0x21), 2, codes, tx), "");
    frames = J1939DmxTxFrames(tx);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].Id, 0x18ECFF3Du);
    EXPECT_EQ(std::vector<uint8_t>(frames[0].Data, frames[0].Data + 8),
              (std::vector<uint8_t>{0x20, 10, 0, 2, 0xFF, 0xCA, 0xFE, 0x00}));
    EXPECT_EQ(frames[1].Id, 0x18EBFF3Du);
    EXPECT_EQ(frames[2].Data[0], 2);
    EXPECT_EQ(std::vector<uint8_t>(frames[2].Data, frames[2].Data + 8),
              (std::vector<uint8_t>{2, 0xFD, 0x1F, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF}));  // bytes 7 to 9 of 10
    for (const tCAN_RAW_MSG& f : frames) {
        EXPECT_EQ(f.Ext, 1);
        EXPECT_EQ(f.Dir, 1);
        EXPECT_EQ(f.Chan, 1);
    }
    CJ1939DmxCollector rx;
    for (const tCAN_RAW_MSG& f : frames) rx.Apply(f);
    EXPECT_EQ(rx.Nodes().at(256 + 0x3D).Messages.at(0xFECA).Dtcs(2), codes);

    tx.Packets = 0;
    EXPECT_TRUE(J1939DmxTxFrames(tx).empty());
}

// A flood of refused transfers is reported once per node while the service runs, however the node mixes
// them with acceptable BAMs (each of which used to re-arm its report) and however the nodes are cleared;
// the counts come in one line when the service stops, the first 20 nodes named; a new running reports
// afresh, and between two runnings nothing is reported.
TEST(J1939Service, RefusedTransfersAreReportedOncePerNodeWithACount) {
    CCanRxThread rx;
    CCanMsgSender sender(rx);
    CExtSerCanJ1939DMx svc(sender);
    std::vector<std::string> reports;
    svc.SetReporter([&reports](const std::string& text) { reports.push_back(text); });
    const auto feed = [&svc](const tCAN_RAW_MSG& m) { svc.OnRxMsg(&m); };
    svc.StartRefusalReports();
    for (int i = 0; i < 10000; ++i) {
        feed(Bam(0x05, 2000, 255, 0xFECA, 0xFF, 0));  // refused
        feed(Bam(0x05, 14, 2, 0xFECA, 0xFF, 0));      // taken
        feed(Bam(0x06, 1025, 147, 0x1234));           // refused, not even a DMx PGN
        feed(Bam(0x06, 20, 3, 0x1111));               // another PGN
    }
    feed(Bam(0x07, 5000, 255, 0xFECB, 0xFF, 0));  // once only: its report says it all
    for (uint8_t sa = 0x10; sa < 0x30; ++sa) {
        feed(Bam(sa, 1100, 158, 0xFECA, 0xFF, 0));
        feed(Bam(sa, 1100, 158, 0xFECA, 0xFF, 0));
    }
    svc.ClearNodes();
    feed(Bam(0x05, 2000, 255, 0xFECA, 0xFF, 0));
    ASSERT_EQ(reports.size(), 3u + 32u);
    EXPECT_EQ(reports[0],
              "Node[05](0) 的BAM传输（PGN FECA）长度为2000字节，超过1024字节，不予接收。"
              "此节点以后被拒收的传输只计数，在服务停止时报告。");
    EXPECT_EQ(reports[1].rfind("Node[06](1) 的BAM传输（PGN 1234）长度为1025字节", 0), 0u);

    reports.clear();
    svc.EndRefusalReports();
    // Ascending by channel and address: 05 (channel 0), 10 to 2F (channel 0), 06 (channel 1); 07 is left out.
    std::string expected = "BAM传输超过1024字节被拒收的次数：Node[05](0) 10001次";
    for (int sa = 0x10; sa < 0x23; ++sa) {
        char node[32];
        std::snprintf(node, sizeof node, "，Node[%02X](0) 2次", sa);
        expected += node;
    }
    expected += "，另有14个节点共10026次。";
    EXPECT_EQ(reports, std::vector<std::string>{expected});

    reports.clear();
    feed(Bam(0x05, 2000, 255, 0xFECA, 0xFF, 0));
    svc.EndRefusalReports();
    EXPECT_TRUE(reports.empty());
    svc.StartRefusalReports();
    feed(Bam(0x05, 2000, 255, 0xFECA, 0xFF, 0));
    svc.EndRefusalReports();
    ASSERT_EQ(reports.size(), 1u);  // once refused: no count to add
    EXPECT_EQ(reports[0].rfind("Node[05](0) 的BAM传输", 0), 0u);
}

namespace {

// Each refused line by its number, with the message the dialog shows for it.
std::vector<std::pair<uint32_t, std::string>> Named(const std::vector<SpnFmiRejected>& rejected) {
    std::vector<std::pair<uint32_t, std::string>> named;
    for (const SpnFmiRejected& r : rejected) named.emplace_back(r.line, SpnFmiRejectedText(r));
    return named;
}

}  // namespace

// The description file: later lines replace earlier ones, short lines are skipped, out-of-range numbers
// are reported with the message's values, the description stops at the next comma and comes from GBK.
TEST(SpnFmiCsv, ParsesDescriptions) {
    const std::string text =
        "1234,5,first\r\n"
        "1234,5,\xC0\xE4\xC8\xB4\xD2\xBA,extra\r\n"  // GBK "冷却液"
        "100,3\n"
        "\n"
        "600000,1,too big\n"
        "-1,2,negative\n"
        "7,288,fmi 288\n"
        "7,31,last";
    SpnFmiDescMap map;
    std::vector<SpnFmiRejected> rejected;
    ParseSpnFmiText(text, map, rejected);
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at(SpnFmiKey(1234, 5)).desc, "冷却液");
    EXPECT_EQ(map.at(SpnFmiKey(7, 31)).desc, "last");
    EXPECT_EQ(Named(rejected), (std::vector<std::pair<uint32_t, std::string>>{
                                   {5, "不合理的SPN(600000)-FMI(1) 的数值\r\n描述为too big"},
                                   {6, "不合理的SPN(-1)-FMI(2) 的数值\r\n描述为negative"},
                                   {7, "不合理的SPN(7)-FMI(288) 的数值\r\n描述为fmi 288"}}));
    // A file that cannot be read leaves the descriptions as they were and says why.
    std::string why;
    EXPECT_FALSE(LoadSpnFmiFile("/nonexistent/spnfmi.csv", map, rejected, &why));
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_FALSE(LoadSpnFmiFile("/dev/zero", map, rejected, &why));
    EXPECT_EQ(why, "Not a regular file");
    EXPECT_EQ(map.size(), 2u);
    // So does a file that describes nothing: empty, binary, another tool's text, only refused lines.
    vextest::TempDir dir;
    for (const std::string& content :
         {std::string(), std::string("\x00\x01\xFF\xFE\r\n", 6),
          std::string("VERSION \"\"\nBO_ 100 A: 8 X\n"), std::string("600000,1,too big\n7,3\n")}) {
        vextest::writeFile(dir / "x.csv", content);
        why.clear();
        EXPECT_FALSE(LoadSpnFmiFile((dir / "x.csv").string(), map, rejected, &why)) << content;
        EXPECT_EQ(why, "文件中没有SPN-FMI描述行（每行为：SPN,FMI,描述）。");
        EXPECT_EQ(map.size(), 2u);
    }
}

// SPN and FMI are checked as written, before any narrowing: an FMI whose low 8 bits fall in 0..31 (256, 287,
// 65536, -256) or an SPN whose low 19 bits would be valid describes no fault and is refused by its line with
// the number as written, while the lines around it and the descriptions loaded before stay.
TEST(SpnFmiCsv, NumbersAreCheckedAsWrittenNotNarrowed) {
    const std::string text =
        "110,0,Coolant temperature\r\n"
        "110,256,fmi 256\r\n"
        "110,287,fmi 287\r\n"
        "111,65536,fmi 65536\r\n"
        "112,-256,fmi -256\r\n"
        "113,4294967296,fmi beyond 32 bits\r\n"
        "524288,1,spn 2^19\r\n"
        "4294967406,1,spn beyond 32 bits\r\n"
        "524287,31,last valid\r\n";
    SpnFmiDescMap map;
    std::vector<SpnFmiRejected> rejected;
    ParseSpnFmiText(text, map, rejected);
    std::vector<uint32_t> keys;
    for (const auto& [key, e] : map) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<uint32_t>{SpnFmiKey(110, 0), SpnFmiKey(524287, 31)}));
    EXPECT_EQ(map.at(SpnFmiKey(110, 0)).desc, "Coolant temperature");
    EXPECT_EQ(Named(rejected),
              (std::vector<std::pair<uint32_t, std::string>>{
                  {2, "不合理的SPN(110)-FMI(256) 的数值\r\n描述为fmi 256"},
                  {3, "不合理的SPN(110)-FMI(287) 的数值\r\n描述为fmi 287"},
                  {4, "不合理的SPN(111)-FMI(65536) 的数值\r\n描述为fmi 65536"},
                  {5, "不合理的SPN(112)-FMI(-256) 的数值\r\n描述为fmi -256"},
                  {6, "不合理的SPN(113)-FMI(2147483647) 的数值\r\n描述为fmi beyond 32 bits"},
                  {7, "不合理的SPN(524288)-FMI(1) 的数值\r\n描述为spn 2^19"},
                  {8, "不合理的SPN(2147483647)-FMI(1) 的数值\r\n描述为spn beyond 32 bits"}}));

    // A file of nothing but such lines describes nothing: the descriptions loaded before stay.
    vextest::TempDir dir;
    vextest::writeFile(dir / "x.csv", "110,256,fmi 256\r\n111,65536,fmi 65536\r\n");
    SpnFmiDescMap loaded{{SpnFmiKey(110, 0), {110, 0, "loaded before"}}};
    rejected.clear();
    std::string why;
    EXPECT_FALSE(LoadSpnFmiFile((dir / "x.csv").string(), loaded, rejected, &why));
    EXPECT_EQ(why, "文件中没有SPN-FMI描述行（每行为：SPN,FMI,描述）。");
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded.at(SpnFmiKey(110, 0)).desc, "loaded before");
    EXPECT_EQ(rejected.size(), 2u);
}

// A line whose SPN or FMI field is no decimal number is not read as SPN 0 / FMI 0: it is refused and named by
// its line with its fields; the good lines around it are kept. A file with no good line is refused.
TEST(SpnFmiCsv, FieldsThatAreNoNumbersAreRefusedByTheirLine) {
    std::string random(4096, '\0');
    std::mt19937 gen(31);
    for (char& c : random) c = static_cast<char>(gen());
    const std::string longField(100, 'x');
    const struct Case {
        const char* name;
        std::string text;
        std::vector<uint32_t> kept;      // keys
        std::vector<std::string> named;  // the messages of the first refused lines
    } cases[] = {
        {"letters", "abc,def,ghi\n", {}, {"第1行的SPN(abc)-FMI(def) 不是十进制数值\r\n描述为ghi"}},
        {"random bytes", random, {}, {}},
        {"a mix",
         "1234,5,Coolant\r\nSPN,FMI,描述\r\n 100 , +3 ,Oil\r\n12x,1,half a number\r\n,,empty\r\n"
         "7,-,dash\r\n" +
             longField + ",1,long\r\n600000,1,too big\r\n",
         {SpnFmiKey(100, 3), SpnFmiKey(1234, 5)},
         {"第2行的SPN(SPN)-FMI(FMI) 不是十进制数值\r\n描述为描述",
          "第4行的SPN(12x)-FMI(1) 不是十进制数值\r\n描述为half a number",
          "第5行的SPN()-FMI() 不是十进制数值\r\n描述为empty",
          "第6行的SPN(7)-FMI(-) 不是十进制数值\r\n描述为dash",
          "第7行的SPN(" + longField.substr(0, 40) + "…)-FMI(1) 不是十进制数值\r\n描述为long",
          "不合理的SPN(600000)-FMI(1) 的数值\r\n描述为too big"}},
    };
    vextest::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vextest::writeFile(dir / "x.csv", vex::Utf8ToGbk(c.text));
        SpnFmiDescMap map{{SpnFmiKey(1, 1), {1, 1, "loaded before"}}};
        std::vector<SpnFmiRejected> rejected;
        std::string why;
        const bool loaded = LoadSpnFmiFile((dir / "x.csv").string(), map, rejected, &why);
        EXPECT_EQ(loaded, !c.kept.empty());
        std::vector<uint32_t> keys;
        for (const auto& [key, e] : map) keys.push_back(key);
        EXPECT_EQ(keys, loaded ? c.kept : std::vector<uint32_t>{SpnFmiKey(1, 1)});
        EXPECT_EQ(why, loaded ? "" : "文件中没有SPN-FMI描述行（每行为：SPN,FMI,描述）。");
        std::vector<std::string> named;
        for (size_t i = 0; i < rejected.size() && i < c.named.size(); ++i)
            named.push_back(SpnFmiRejectedText(rejected[i]));
        EXPECT_EQ(named, c.named);
    }
}
