#include "config/cfgsections.h"

#include <gtest/gtest.h>

#include "tests/config/cfgtestutil.h"

using cfgtest::setDoc;

namespace {

// The text a writer adds under an empty root, without the root's own lines.
template <class Write>
std::string written(Write write) {
    CXmlDoc doc;
    doc.NewElem("R", 0);
    write(doc);
    std::string text = doc.GetText();
    text = text.substr(text.find('\n') + 1);  // "<R>"
    return text.substr(0, text.size() - 6);   // "</R>\r\n"
}

std::string root(const std::string& inner) {
    return "<R>\r\n" + inner + "\r\n</R>\r\n";
}

}  // namespace

TEST(CfgSections, NumbersFlagsAndNarrowFieldsFollowTheConventions) {
    // Each row: an attribute text, what the replay and device readers make of it.
    const struct {
        const char* text;
        uint32_t asUInt;   // PageMsgCount
        uint8_t asFlag;    // PageByTimeLengthFlag
        uint16_t asLow16;  // Baudrate
        uint8_t asLow8;    // Btr1
        double asReal;     // PageTimeLength
    } rows[] = {
        {"250", 250, 1, 250, 250, 250.0},
        {"70000", 70000, 1, 4464, 0x70, 70000.0},
        {"257", 257, 1, 257, 1, 257.0},
        {"-1", 0xFFFFFFFFu, 1, 0xFFFF, 0xFF, -1.0},
        {"-2147483648", 0x80000000u, 1, 0, 0, -2147483648.0},
        {"4294967296", 0xFFFFFFFFu, 1, 0xFFFF, 0xFF, 4294967296.0},
        {"5", 5, 1, 5, 5, 5.0},
        {"0", 0, 0, 0, 0, 0.0},
        {"abc", 0, 0, 0, 0, 0.0},
        {"  12x", 12, 1, 12, 12, 12.0},
        {"1500.75", 1500, 1, 1500, 0xDC, 1500.75},
        {"", 0, 0, 0, 0, 0.0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        const std::string v = r.text;
        CXmlDoc doc;
        setDoc(doc, root("<CFG_SET_REPLAY PageByTimeLengthFlag=\"" + v + "\" PageTimeLength=\"" + v +
                         "\" PageMsgCount=\"" + v +
                         "\"/>\r\n<CFG_CAN_DEV_NXP>\r\n"
                         "<CFG_CAN_DEV_CHAN_PARAM_CHAN0 Baudrate=\"" +
                         v + "\" Btr1=\"" + v +
                         "\"/>\r\n"
                         "</CFG_CAN_DEV_NXP>"));
        tCFG_SET_REPLAY replay{9, 9, 9, 9, 9};
        ASSERT_TRUE(LoadCfgSetReplay(doc, replay));
        EXPECT_EQ(replay.PageMsgCount, r.asUInt);
        EXPECT_EQ(replay.PageByTimeLengthFlag, r.asFlag);
        EXPECT_EQ(replay.PageTimeLength, r.asReal);
        EXPECT_EQ(replay.PageTimeOffset, 0.0);  // absent
        tCFG_CAN_DEV dev{"n", 7, 1, {1, 2, 3}, {4, 5, 6}};
        ASSERT_TRUE(LoadCfgCanDev(doc, dev, "NXP"));
        EXPECT_EQ(dev.Active, 0);  // absent
        EXPECT_EQ(dev.CHAN0, (tCFG_CAN_DEV_CHAN_PARAM{r.asLow16, 0, r.asLow8}));
        EXPECT_EQ(dev.CHAN1, (tCFG_CAN_DEV_CHAN_PARAM{4, 5, 6}));  // absent element: kept
        EXPECT_EQ(dev.Name, "n");
    }
}

TEST(CfgSections, WritersUseSignedDecimalsAndKeepFractions) {
    const struct {
        double value;
        const char* text;
    } reals[] = {
        {1000.0, "1000"},
        {0.0, "0"},
        {-0.0, "0"},
        {0.2, "0.2"},
        {0.8, "0.8"},
        {1500.75, "1500.75"},
        {-0.5, "-0.5"},
        {99.9, "99.9"},
        {-2147483648.0, "-2147483648"},
        {4294967296.0, "4294967296"},
        {1e300, "1e+300"},
        {0.1 + 0.2, "0.30000000000000004"},
    };
    for (const auto& r : reals) {
        SCOPED_TRACE(r.text);
        tCFG_SET_GRAPH_SIG sig;
        sig.ShowMax = r.value;
        const std::string text = written([&](CXmlDoc& d) { SaveCfgSetGraphSig(d, sig); });
        EXPECT_NE(text.find(std::string(" ShowMax=\"") + r.text + "\""), std::string::npos) << text;
        CXmlDoc doc;
        setDoc(doc, root(text));
        tCFG_SET_GRAPH_SIG back;
        ASSERT_TRUE(LoadCfgSetGraphSig(doc, back));
        EXPECT_EQ(back.ShowMax, r.value);
    }
    tCFG_SET_REPLAY replay{1, -0.5, 1500.75, 0x80000000u, 0xFFFFFFFFu};
    EXPECT_EQ(written([&](CXmlDoc& d) { SaveCfgSetReplay(d, replay); }),
              "<CFG_SET_REPLAY PageByTimeLengthFlag=\"1\" PageTimeOffset=\"-0.5\" PageTimeLength=\"1500.75\" "
              "PageMsgIndexOffset=\"-2147483648\" PageMsgCount=\"-1\"/>\r\n");
}

TEST(CfgSections, AbsentSectionsAndAttributesAndFilterElements) {
    CXmlDoc doc;
    setDoc(doc, root("<CFG_SET_TRACE NumHex=\"1\"/>\r\n<CFG_SET_LOG LogFileNameId=\"../../etc/x\"/>"));
    tCFG_SET_TRACE trace;
    trace.TraceDetail = trace.DeltaTime = trace.OnLine = trace.Fellow = 1;
    CCanMsgFilter::Assign(trace.Filter, cfgtest::rangeFilter());
    ASSERT_TRUE(LoadCfgSetTrace(doc, trace));
    EXPECT_EQ(trace.NumHex, 1);
    EXPECT_EQ(trace.TraceDetail + trace.DeltaTime + trace.OnLine + trace.Fellow, 0);
    cfgtest::expectSameFilter(trace.Filter, cfgtest::rangeFilter());  // no filter element: kept
    tCFG_SET_LOG log;
    log.AutoLogFlag = 1;
    ASSERT_TRUE(LoadCfgSetLog(doc, log));
    EXPECT_EQ(log.AutoLogFlag, 0);
    EXPECT_EQ(log.LogFileNameId, "x");  // a prefix from a file stays a bare name
    // Nothing further: every reader reports not found and keeps its record.
    tCFG_SET_SEND send;
    send.MsgMap[1] = {};
    EXPECT_FALSE(LoadCfgSetSend(doc, send));
    EXPECT_EQ(send.MsgMap.size(), 1u);
    EXPECT_FALSE(LoadCfgSetTrace(doc, trace));
    EXPECT_EQ(trace.NumHex, 1);

    for (const auto& [in, out] :
         std::vector<std::pair<std::string, std::string>>{{"LogData", "LogData"},
                                                          {"../", ""},
                                                          {"a\\b", "b"},
                                                          {"记录/数据", "数据"},
                                                          {std::string("a\0b", 3), "ab"}})
        EXPECT_EQ(LogFileNameIdAsName(in), out) << in;
}

TEST(CfgSections, FilterElementKeepsEveryFieldAndTheLastOfARepeatedIdentifier) {
    const CCanMsgFilter filter = cfgtest::listFilter();
    const std::string text = written([&](CXmlDoc& d) { SaveXmlCanMsgFilter(d, "LOG", filter); });
    EXPECT_EQ(
        text,
        "<CAN_MSG_FILTER_LOG Enable=\"1\" Block=\"1\" MsgIDType=\"1\" MsgFrmType=\"0\" MsgIdValType=\"1\" "
        "Chan=\"1\" FltMsgIdMin=\"-2147483648\" FltMsgIdMax=\"-1\">\r\n"
        "<FILTER_CAN_MSG FilterCanMsgId=\"256\" FilterCanMsgDescr=\"发动机\"/>\r\n"
        "<FILTER_CAN_MSG FilterCanMsgId=\"419361024\" "
        "FilterCanMsgDescr=\"a&lt;b&gt;&amp;&quot;&apos;\"/>\r\n"
        "</CAN_MSG_FILTER_LOG>\r\n");
    CXmlDoc doc;
    setDoc(doc, root(text));
    CCanMsgFilter back;
    back.MsgMap[7] = {"old", 7};
    ASSERT_TRUE(LoadXmlCanMsgFilter(doc, "LOG", back));
    cfgtest::expectSameFilter(back, filter);

    setDoc(doc, root("<CAN_MSG_FILTER_TRACE Enable=\"7\" Chan=\"511\">\r\n"
                     "<FILTER_CAN_MSG FilterCanMsgId=\"5\" FilterCanMsgDescr=\"a\"/>\r\n"
                     "<FILTER_CAN_MSG FilterCanMsgId=\"5\" FilterCanMsgDescr=\"b\"/>\r\n"
                     "</CAN_MSG_FILTER_TRACE>"));
    EXPECT_FALSE(LoadXmlCanMsgFilter(doc, "LOG", back));
    ASSERT_TRUE(LoadXmlCanMsgFilter(doc, "TRACE", back));
    EXPECT_EQ(back.Enable, 1);
    EXPECT_EQ(back.Chan, 255);
    EXPECT_EQ(back.MsgIDType, 0);  // absent reads 0
    ASSERT_EQ(back.MsgMap.size(), 1u);
    EXPECT_EQ(back.MsgMap.at(5).Descr, "b");
}

TEST(CfgSections, SendEntriesAreKeyedByIdentifierAndExtendedFlag) {
    CXmlDoc doc;
    setDoc(doc, root("<CFG_SET_SEND SigRawValShowHex=\"0\">\r\n"
                     "<CFG_SET_SEND_MSG MsgName=\"a\" MsgID=\"419361024\" Ext=\"1\" TxData3=\"300\" "
                     "CycTxTime=\"65537\"/>\r\n"
                     "<CFG_SET_SEND_MSG MsgName=\"b\" MsgID=\"291\">\r\n"
                     "<CAN_MSG Name=\"M\" id=\"291\" DL=\"8\">\r\n<CAN_SIGNAL Name=\"S\" "
                     "BitLen=\"8\"/>\r\n</CAN_MSG>\r\n"
                     "</CFG_SET_SEND_MSG>\r\n"
                     "<CFG_SET_SEND_MSG MsgName=\"c\" MsgID=\"291\"/>\r\n"
                     "</CFG_SET_SEND>"));
    tCFG_SET_SEND send;
    send.SigRawValShowHex = 1;
    send.MsgMap[99] = {};
    ASSERT_TRUE(LoadCfgSetSend(doc, send));
    EXPECT_EQ(send.SigRawValShowHex, 0);
    ASSERT_EQ(send.MsgMap.size(), 2u);
    const tCFG_SET_SEND_MSG& ext = send.MsgMap.at(0x18FEF100u + 0x40000000u);
    EXPECT_EQ(ext.MsgName, "a");
    EXPECT_EQ(ext.TxData[3], 44);
    EXPECT_EQ(ext.CycTxTime, 1);
    // The second element with the same key wins, with its own (absent, so empty) message.
    const tCFG_SET_SEND_MSG& std = send.MsgMap.at(0x123);
    EXPECT_EQ(std.MsgName, "c");
    EXPECT_EQ(std.CanMsg, CCanMsg());

    // A present but empty section leaves no messages.
    setDoc(doc, root("<CFG_SET_SEND/>"));
    ASSERT_TRUE(LoadCfgSetSend(doc, send));
    EXPECT_TRUE(send.MsgMap.empty());
}

TEST(CfgSections, GraphMessagesKeepTheirKeyAndSignalsInOrder) {
    CXmlDoc doc;
    setDoc(doc,
           root("<CFG_SET_GRAPH GraphGridShow=\"2\" BackgroundColor=\"-1\" XAxisTimeLength=\"-5\">\r\n"
                "<CFG_SET_GRAPH_MSG MsgAppId=\"1090449664\">\r\n"
                "<CFG_SET_GRAPH_SIG Color=\"255\" ShowMin=\"-0.5\" ShowMax=\"99.9\" PointType=\"-2\"/>\r\n"
                "<CFG_SET_GRAPH_SIG Color=\"1\">\r\n<CAN_SIGNAL Name=\"S\"/>\r\n</CFG_SET_GRAPH_SIG>\r\n"
                "</CFG_SET_GRAPH_MSG>\r\n"
                "<CFG_SET_GRAPH_MSG/>\r\n"
                "</CFG_SET_GRAPH>"));
    tCFG_SET_GRAPH graph;
    graph.MsgMap[1].UpdateCounter = 4;
    ASSERT_TRUE(LoadCfgSetGraph(doc, graph));
    EXPECT_EQ(graph.GraphGridShow, 1);
    EXPECT_EQ(graph.BackgroundColor, 0xFFFFFFFFu);
    EXPECT_EQ(graph.XAxisTimeLength, -5);
    ASSERT_EQ(graph.MsgMap.size(), 2u);
    const tCFG_SET_GRAPH_MSG& m = graph.MsgMap.at(0x40FEF100);
    ASSERT_EQ(m.SigArray.size(), 2u);
    EXPECT_EQ(m.SigArray[0].ShowMin, -0.5);
    EXPECT_EQ(m.SigArray[0].ShowMax, 99.9);
    EXPECT_EQ(m.SigArray[0].PointType, -2);
    EXPECT_EQ(m.SigArray[1].CanSig.Name, "S");
    EXPECT_EQ(m.SigArray[1].PointType, 0);             // absent reads 0
    EXPECT_TRUE(graph.MsgMap.at(0).SigArray.empty());  // no key, no signals
}

TEST(CfgSections, QueueEntriesTakeFreshKeysOnEveryLoad) {
    const std::string text = root(
        "<CFG_SET_EXT_QUEUE_TX_SERVICE SigRawValShowHex=\"0\">\r\n"
        "<CFG_SET_EXT_QUEUE_TX_MSG MsgName=\"a\" MsgTxIndex=\"-1\" BeforeDelayTime=\"65536\" "
        "AfterDelayTime=\"65535\"/>\r\n"
        "<CFG_SET_EXT_QUEUE_TX_MSG MsgName=\"b\" MsgTxIndex=\"4294967295\">\r\n"
        "<CAN_MSG Name=\"M\"/>\r\n</CFG_SET_EXT_QUEUE_TX_MSG>\r\n"
        "<CFG_SET_EXT_QUEUE_TX_MSG MsgName=\"c\" Ext=\"9\"/>\r\n"
        "</CFG_SET_EXT_QUEUE_TX_SERVICE>");
    tCFG_SET_EXT_QUEUE_TX_SERVICE service;
    for (uint32_t first : {0u, 3u}) {
        CXmlDoc doc;
        setDoc(doc, text);
        ASSERT_TRUE(LoadCfgSetExtQueueTxService(doc, service));
        ASSERT_EQ(service.MsgMap.size(), 3u);
        EXPECT_EQ(service.MsgMap.begin()->first, first);
        EXPECT_EQ(service.NextKey, first + 3);
        for (const auto& [key, msg] : service.MsgMap) EXPECT_EQ(msg.Key, key);
    }
    const auto& a = service.MsgMap.at(3);
    EXPECT_EQ(a.MsgTxIndex, -1);
    EXPECT_EQ(a.BeforeDelayTime, 0);
    EXPECT_EQ(a.AfterDelayTime, 65535);
    EXPECT_EQ(service.MsgMap.at(4).MsgTxIndex, 2147483647);
    EXPECT_EQ(service.MsgMap.at(4).CanMsg.Name, "M");
    EXPECT_EQ(service.MsgMap.at(5).Ext, 1);
    EXPECT_TRUE(service.MsgMap.at(5).CanMsg.Signals.empty());
}

// Queue entries are validated as send entries are: one that cannot be sent as the file has it (a delay
// outside 0..65535 included) is named with the file's texts, holds values that keep it refused, and is
// written back as read; a sendable entry is written as the writer makes it.
TEST(CfgSections, QueueEntriesThatCannotBeSentAreNamedAndWrittenBackAsRead) {
    tCFG_SET_EXT_QUEUE_TX_SERVICE base;
    tCFG_SET_EXT_QUEUE_TX_MSG rec;
    rec.MsgName = "e";
    rec.MsgID = 0x100;
    rec.Chan = 1;
    rec.DL = 8;
    rec.BeforeDelayTime = 10;
    rec.AfterDelayTime = 100;
    base.MsgMap[0] = rec;
    const std::string file = written([&](CXmlDoc& doc) { SaveCfgSetExtQueueTxService(doc, base); });
    const auto patch = [&file](std::initializer_list<std::pair<std::string, std::string>> attrs) {
        std::string text = file;
        for (const auto& [name, value] : attrs) {
            const size_t at = text.find(" " + name + "=\"") + name.size() + 3;
            text.replace(at, text.find('"', at) - at, value);
        }
        return text;
    };
    const struct {
        std::string text;
        const char* fault;
        uint32_t id;
        uint8_t chan, dl;
        uint16_t before, after;
    } cases[] = {
        {patch({{"Ext", "1"}, {"MsgID", "4294967295"}}), "扩展帧ID 4294967295 超出 0x1FFFFFFF", 0xFFFFFFFF, 1,
         8, 10, 100},
        {patch({{"MsgID", "2048"}}), "标准帧ID 0x800 超出 0x7FF", 0x800, 1, 8, 10, 100},
        {patch({{"DL", "200"}}), "长度 200 不在 0~8 之内", 0x100, 1, 200, 10, 100},
        {patch({{"DL", "264"}, {"Chan", "9"}}), "长度 264 不在 0~8 之内，通道 9 不存在", 0x100, 9, 255, 10,
         100},
        {patch({{"BeforeDelayTime", "-5"}}), "前延时 -5 不在 0~65535 之内", 0x100, 1, 8, 65531, 100},
        {patch({{"AfterDelayTime", "99999999"}}), "后延时 99999999 不在 0~65535 之内", 0x100, 1, 8, 10,
         57599},
        {patch({{"BeforeDelayTime", "65536"}, {"AfterDelayTime", "-1"}}),
         "前延时 65536 不在 0~65535 之内，后延时 -1 不在 0~65535 之内", 0x100, 1, 8, 0, 65535},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CXmlDoc doc;
        setDoc(doc, root(c.text));
        tCFG_SET_EXT_QUEUE_TX_SERVICE service;
        ASSERT_TRUE(LoadCfgSetExtQueueTxService(doc, service));
        const tCFG_SET_EXT_QUEUE_TX_MSG& m = service.MsgMap.at(0);
        EXPECT_EQ(QueueTxMsgFault(m), c.fault);
        EXPECT_EQ(QueueTxFaultList(service), std::string("“e”：") + c.fault);
        EXPECT_EQ((std::vector<uint32_t>{m.MsgID, m.Chan, m.DL, m.BeforeDelayTime, m.AfterDelayTime}),
                  (std::vector<uint32_t>{c.id, c.chan, c.dl, c.before, c.after}));
        EXPECT_EQ(written([&](CXmlDoc& out) { SaveCfgSetExtQueueTxService(out, service); }), c.text);
    }

    // In range, though not as the writer writes it: sendable, and written as always.
    CXmlDoc doc;
    setDoc(doc, root(patch({{"BeforeDelayTime", "010"}, {"DL", " 8"}})));
    tCFG_SET_EXT_QUEUE_TX_SERVICE service;
    ASSERT_TRUE(LoadCfgSetExtQueueTxService(doc, service));
    EXPECT_EQ(QueueTxFaultList(service), "");
    EXPECT_TRUE(service.MsgMap.at(0).KeptAttrs.empty());
    EXPECT_EQ(written([&](CXmlDoc& out) { SaveCfgSetExtQueueTxService(out, service); }), file);

    // A delay set anew (the list view drops the kept text of a field it sets) is the value set.
    setDoc(doc, root(cases[4].text));
    ASSERT_TRUE(LoadCfgSetExtQueueTxService(doc, service));
    tCFG_SET_EXT_QUEUE_TX_MSG& m = service.MsgMap.begin()->second;
    m.BeforeDelayTime = 10;
    EXPECT_EQ(QueueTxMsgFault(m), "");
    EXPECT_EQ(written([&](CXmlDoc& out) { SaveCfgSetExtQueueTxService(out, service); }), file);
}

TEST(CfgSections, J1939CodesKeepAllFourValues) {
    tCFG_SET_EXT_J1939DMX_SERVICE service;
    service.SpnFmiArray = {{0x80000000u, 31, 1, 127}, {190, 3, 0, 0}};
    const std::string text = written([&](CXmlDoc& d) { SaveXmlJ1939DmxService(d, service); });
    EXPECT_EQ(text,
              "<CFG_SET_EXT_J1939DMX_SERVICE J1939FrameFormatVersion=\"1\" DmxPgnVal=\"65226\" PgnP=\"0\" "
              "PgnEdp=\"0\" PgnDp=\"0\" PgnDa=\"255\" PgnSa=\"0\" TxCanChan=\"1\" LampStatus=\"0\">\r\n"
              "<CFG_SET_EXT_J1939DMX_TX_SPN_FMI Spn=\"-2147483648\" Fmi=\"31\" Cm=\"1\" Oc=\"127\"/>\r\n"
              "<CFG_SET_EXT_J1939DMX_TX_SPN_FMI Spn=\"190\" Fmi=\"3\" Cm=\"0\" Oc=\"0\"/>\r\n"
              "</CFG_SET_EXT_J1939DMX_SERVICE>\r\n");
    CXmlDoc doc;
    setDoc(doc, root(text));
    tCFG_SET_EXT_J1939DMX_SERVICE back;
    back.SpnFmiArray.resize(5);
    ASSERT_TRUE(LoadXmlJ1939DmxService(doc, back));
    EXPECT_EQ(back, service);
    setDoc(doc, root("<CFG_SET_EXT_J1939DMX_SERVICE DmxPgnVal=\"131071\" PgnDa=\"-1\"/>"));
    ASSERT_TRUE(LoadXmlJ1939DmxService(doc, back));
    EXPECT_EQ(back.DmxPgnVal, 0xFFFF);
    EXPECT_EQ(back.PgnDa, 0xFF);
    EXPECT_EQ(back.J1939FrameFormatVersion, 0);
    EXPECT_TRUE(back.SpnFmiArray.empty());
}
