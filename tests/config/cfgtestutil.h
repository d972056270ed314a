#pragma once
// Shared by the configuration suites: a setup with every section filled, comparisons, documents from text.
#include <gtest/gtest.h>

#include <string>

#include "config/appcfg.h"
#include "platform/xml/xmldoc.h"
#include "tests/xml/xmldoc_peer.h"

namespace cfgtest {

inline CCanSignal signal(const std::string& name, uint8_t offset, uint8_t len) {
    CCanSignal s;
    s.Name = name;
    s.Unit = "km/h";
    s.ByteFmtIntel = 1;
    s.BitLen = len;
    s.BitOffset = offset;
    s.ValFactor = 0.5;
    s.ValOffset = -40;
    s.PhyMin = -40;
    s.PhyMax = 87.5;
    s.Description = "车速 <描述>";
    return s;
}

inline CCanMsg message(const std::string& name, uint32_t id, uint8_t ext) {
    CCanMsg m;
    m.Name = name;
    m.id = id;
    m.Ext = ext;
    m.DL = 8;
    m.Signals.push_back(signal("车速", 0, 16));
    CCanSignal gear = signal("Gear", 16, 4);
    gear.Enum = 1;
    gear.SigEnum.Name = "档位";
    gear.SigEnum.Items = {{"空挡", 0}, {"一档", 1}};
    m.Signals.push_back(gear);
    return m;
}

inline CCanMsgFilter listFilter() {
    CCanMsgFilter f;
    f.Enable = 1;
    f.Block = 1;
    f.MsgIDType = 1;
    f.MsgFrmType = 0;
    f.MsgIdValType = 1;
    f.Chan = 1;
    f.FltMsgIdMin = 0x80000000u;
    f.FltMsgIdMax = 0xFFFFFFFFu;
    f.MsgMap[0x100] = {"发动机", 0x100};
    f.MsgMap[0x18FEF100] = {"a<b>&\"'", 0x18FEF100};
    return f;
}

inline CCanMsgFilter rangeFilter() {
    CCanMsgFilter f;
    f.Enable = 1;
    f.MsgIDType = 0;
    f.MsgFrmType = 1;
    f.MsgIdValType = 0;
    f.Chan = 0;
    f.FltMsgIdMin = 0x100;
    f.FltMsgIdMax = 0x7FF;
    return f;
}

// Every section away from its defaults: Chinese texts, fractional values, filters with listed identifiers
// and ranges, send and graph maps with messages and signals, queue entries, J1939 codes, databases.
inline void fillEverySection(CAppCfg& cfg) {
    cfg.CanDev[CAppCfg::kDevNxp].Active = 0;
    cfg.CanDev[CAppCfg::kDevNxp].CHAN0 = {500, 0x00, 0x1C};
    cfg.CanDev[CAppCfg::kDevNxp].CHAN1 = {0, 0x31, 0x1C};
    cfg.CanDev[CAppCfg::kDevCf51].Active = 1;
    cfg.CanDev[CAppCfg::kDevCf51].CHAN1 = {125, 0x03, 0x1C};
    cfg.CanDev[CAppCfg::kDevWiFi].CHAN0 = {1000, 0, 0x14};
    // A loaded WiFi record always has kind 2.
    cfg.CanDev[CAppCfg::kDevWiFi].Kind = 2;

    tCFG_CAN_DATABASE db;
    db.Name = "车身网络";
    db.PriorityLevel = 3;
    db.FirstAddFlag = 1;
    db.Database.Author = "张三";
    db.Database.Messages.push_back(message("发动机1", 0x0CF00400, 1));
    db.Database.FreeSigMsg.Signals.push_back(signal("自由信号", 8, 8));
    db.Database.Enums.push_back({"开关", {{"关", 0}, {"开", 1}}});
    cfg.CanDatabases.push_back(db);
    tCFG_CAN_DATABASE second;
    second.Name = "B";
    cfg.CanDatabases.push_back(second);

    tWND_LAYOUT& w = cfg.WndLayout;
    w.ScreenWidth = 1920;
    w.ScreenHigh = 1080;
    w.MainFrame = {44, 2, 3, -32000, -32000, -1, -1, -8, 11, 1928, 1048};
    w.Trace = {3, 1, {44, 0, 1, -1, -1, -1, -1, 10, 20, 30, 40}};
    w.Graph.Order = 0;
    w.Graph.Show = 1;
    w.Graph.Placement = {44, 0, 3, -1, -1, -1, -1, -100, 0, 700, 500};
    w.Graph.Splitter = {7, 200, 10, 700, 11, 300, 12, 300, 12};
    w.Send.Order = 2;
    w.Send.Placement = {44, 0, 1, -1, -1, -1, -1, 25, 25, 1024, 528};
    w.Send.Splitter = {0, 990, 1, 990, 2, 100, 3, 330, 4};
    w.Info = {101, 1, {44, 0, 2, -1, -1, -1, -1, 0, 600, 1017, 900}};
    w.QueueTx.Placement = {44, 0, 1, -1, -1, -1, -1, 5, 6, 7, 8};
    w.QueueTx.Splitter = {1, 2, 3, 4, 5, 6, 7, 8, 9};

    cfg.Replay = {1, 0.2, 1500.75, 12, 0xFFFFFFFFu};

    cfg.Log.AutoLogFlag = 0;
    cfg.Log.LogFileNameId = "记录_A";
    CCanMsgFilter::Assign(cfg.Log.Filter, listFilter());

    cfg.Trace.TraceDetail = 0;
    cfg.Trace.NumHex = 0;
    cfg.Trace.Fellow = 0;
    CCanMsgFilter::Assign(cfg.Trace.Filter, rangeFilter());

    cfg.Send.SigRawValShowHex = 0;
    tCFG_SET_SEND_MSG s1;
    s1.MsgName = "标准帧";
    s1.MsgID = 0x123;
    s1.DL = 2;
    s1.TxData[0] = 0xAB;
    s1.TxData[1] = 0xFF;
    s1.CanMsg = message("M1", 0x123, 0);
    cfg.Send.MsgMap[MsgKey(0x123, 0)] = s1;
    tCFG_SET_SEND_MSG s2;
    s2.MsgName = "扩展帧";
    s2.MsgID = 0x18FEF100;
    s2.Ext = 1;
    s2.Rmt = 1;
    s2.Chan = 1;
    s2.DL = 8;
    for (int i = 0; i < 8; ++i) s2.TxData[i] = static_cast<uint8_t>(0x11 * i);
    s2.CycTxTime = 100;
    s2.CycTxCount = 65535;
    s2.Parse = 1;
    cfg.Send.MsgMap[MsgKey(0x18FEF100, 1)] = s2;

    cfg.Graph.GraphGridShow = 0;
    cfg.Graph.BackgroundColor = 0x000000;
    cfg.Graph.GridColor = 0x808080;
    cfg.Graph.XAxisColor = 0xFF00FF;
    cfg.Graph.XAxisTimeLength = 30000;
    cfg.Graph.YAxisShowMode = 2;
    cfg.Graph.PageTurningMode = 1;
    tCFG_SET_GRAPH_MSG g1;
    g1.MsgAppId = 0x123;
    g1.SigArray.push_back({0x0000FF, -0.5, 99.9, 2, signal("车速", 0, 16)});
    g1.SigArray.push_back({0xFFFFFF, -1e6, 1e10, 0, signal("转速", 16, 16)});
    cfg.Graph.MsgMap[g1.MsgAppId] = g1;
    tCFG_SET_GRAPH_MSG g2;
    g2.MsgAppId = MsgKey(0x18FEF100, 1);
    cfg.Graph.MsgMap[g2.MsgAppId] = g2;

    cfg.QueueTx.SigRawValShowHex = 0;
    for (uint32_t k = 0; k < 3; ++k) {
        tCFG_SET_EXT_QUEUE_TX_MSG q;
        q.MsgName = "队列" + std::to_string(k);
        q.MsgID = 0x700 + k;
        q.Key = k;
        q.Ext = k == 2;
        q.Chan = static_cast<uint8_t>(k % 2);
        q.DL = static_cast<uint8_t>(k);
        q.TxData[k] = 0x55;
        q.BeforeDelayTime = k == 0 ? 65535 : 10;
        q.AfterDelayTime = static_cast<uint16_t>(20 * k);
        q.Parse = k == 1;
        if (k == 1) q.CanMsg = message("Q", 0x701, 0);
        q.MsgTxIndex = static_cast<int32_t>(k) - 1;
        cfg.QueueTx.MsgMap[k] = q;
    }
    cfg.QueueTx.NextKey = 3;

    cfg.J1939.J1939FrameFormatVersion = 2;
    cfg.J1939.DmxPgnVal = 0xFECB;
    cfg.J1939.PgnP = 3;
    cfg.J1939.PgnEdp = 1;
    cfg.J1939.PgnDp = 1;
    cfg.J1939.PgnDa = 0x21;
    cfg.J1939.PgnSa = 0xF9;
    cfg.J1939.TxCanChan = 0;
    cfg.J1939.LampStatus = 0x44;
    cfg.J1939.SpnFmiArray = {{190, 3, 0, 1}, {0x7FFFF, 31, 1, 127}};
}

inline void expectSameFilter(const CCanMsgFilter& a, const CCanMsgFilter& b) {
    EXPECT_EQ(a.Enable, b.Enable);
    EXPECT_EQ(a.Block, b.Block);
    EXPECT_EQ(a.MsgIDType, b.MsgIDType);
    EXPECT_EQ(a.MsgFrmType, b.MsgFrmType);
    EXPECT_EQ(a.MsgIdValType, b.MsgIdValType);
    EXPECT_EQ(a.Chan, b.Chan);
    EXPECT_EQ(a.FltMsgIdMin, b.FltMsgIdMin);
    EXPECT_EQ(a.FltMsgIdMax, b.FltMsgIdMax);
    ASSERT_EQ(a.MsgMap.size(), b.MsgMap.size());
    for (const auto& [id, entry] : a.MsgMap) {
        ASSERT_TRUE(b.MsgMap.contains(id)) << id;
        EXPECT_EQ(entry.Descr, b.MsgMap.at(id).Descr);
        EXPECT_EQ(entry.MsgId, b.MsgMap.at(id).MsgId);
    }
}

inline void expectSameSetup(const CAppCfg& a, const CAppCfg& b) {
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(a.CanDev[i], b.CanDev[i]) << i;
    EXPECT_EQ(a.CanDatabases, b.CanDatabases);
    EXPECT_EQ(a.WndLayout, b.WndLayout);
    EXPECT_EQ(a.Replay, b.Replay);
    EXPECT_EQ(a.Log.AutoLogFlag, b.Log.AutoLogFlag);
    EXPECT_EQ(a.Log.LogFileNameId, b.Log.LogFileNameId);
    expectSameFilter(a.Log.Filter, b.Log.Filter);
    EXPECT_EQ(a.Trace.TraceDetail, b.Trace.TraceDetail);
    EXPECT_EQ(a.Trace.DeltaTime, b.Trace.DeltaTime);
    EXPECT_EQ(a.Trace.NumHex, b.Trace.NumHex);
    EXPECT_EQ(a.Trace.OnLine, b.Trace.OnLine);
    EXPECT_EQ(a.Trace.Fellow, b.Trace.Fellow);
    expectSameFilter(a.Trace.Filter, b.Trace.Filter);
    EXPECT_EQ(a.Send, b.Send);
    EXPECT_EQ(a.Graph, b.Graph);
    EXPECT_EQ(a.QueueTx, b.QueueTx);
    EXPECT_EQ(a.J1939, b.J1939);
}

// A parsed document over the text, its first top-level element current.
inline void setDoc(CXmlDoc& doc, const std::string& text) {
    CXmlDocTestPeer::SetText(doc, text);
    doc.Parse();
    doc.FindNextElem();
}

}  // namespace cfgtest
