// Send, graph and queue-transmit sections: lists of frames and signals with their database records.
#include "candb/canxml.h"
#include "config/cfgattr.h"
#include "config/cfgsections.h"

using namespace cfgxml;

namespace {

constexpr const char* kTxDataNames[8] = {"TxData0", "TxData1", "TxData2", "TxData3",
                                         "TxData4", "TxData5", "TxData6", "TxData7"};

void writeTxData(CXmlDoc& doc, const uint8_t (&data)[8]) {
    for (int i = 0; i < 8; ++i) writeInt(doc, kTxDataNames[i], data[i]);
}

void readTxData(const CXmlDoc& doc, uint8_t (&data)[8]) {
    for (int i = 0; i < 8; ++i) data[i] = readLow8(doc, kTxDataNames[i]);
}

}  // namespace

// ---- Send ----

bool LoadCfgSetSendMsg(CXmlDoc& doc, tCFG_SET_SEND_MSG& msg) {
    if (!enter(doc, "CFG_SET_SEND_MSG")) return false;
    msg.MsgName = doc.ReadAttr("MsgName");
    msg.MsgID = readUInt(doc, "MsgID");
    msg.Ext = readFlag(doc, "Ext");
    msg.Rmt = readFlag(doc, "Rmt");
    msg.Chan = readLow8(doc, "Chan");
    msg.DL = readLow8(doc, "DL");
    readTxData(doc, msg.TxData);
    msg.CycTxTime = readLow16(doc, "CycTxTime");
    msg.CycTxCount = readLow16(doc, "CycTxCount");
    msg.Parse = readFlag(doc, "Parse");
    msg.CanMsg.Signals.clear();
    LoadXmlCanMsg(doc, msg.CanMsg);
    doc.LeaveElem();
    return true;
}

void SaveCfgSetSendMsg(CXmlDoc& doc, const tCFG_SET_SEND_MSG& msg) {
    create(doc, "CFG_SET_SEND_MSG");
    doc.WriteAttr("MsgName", msg.MsgName);
    writeInt(doc, "MsgID", msg.MsgID);
    writeInt(doc, "Ext", msg.Ext);
    writeInt(doc, "Rmt", msg.Rmt);
    writeInt(doc, "Chan", msg.Chan);
    writeInt(doc, "DL", msg.DL);
    writeTxData(doc, msg.TxData);
    writeInt(doc, "CycTxTime", msg.CycTxTime);
    writeInt(doc, "CycTxCount", msg.CycTxCount);
    writeInt(doc, "Parse", msg.Parse);
    SaveXmlCanMsg(doc, msg.CanMsg);
    doc.LeaveElem();
}

bool LoadCfgSetSend(CXmlDoc& doc, tCFG_SET_SEND& send) {
    if (!enter(doc, "CFG_SET_SEND")) return false;
    send.SigRawValShowHex = readFlag(doc, "SigRawValShowHex");
    send.MsgMap.clear();
    for (tCFG_SET_SEND_MSG msg; LoadCfgSetSendMsg(doc, msg); msg = {})
        send.MsgMap[MsgKey(msg.MsgID, msg.Ext)] = std::move(msg);
    doc.LeaveElem();
    return true;
}

void SaveCfgSetSend(CXmlDoc& doc, const tCFG_SET_SEND& send) {
    create(doc, "CFG_SET_SEND");
    writeInt(doc, "SigRawValShowHex", send.SigRawValShowHex);
    for (const auto& entry : send.MsgMap) SaveCfgSetSendMsg(doc, entry.second);
    doc.LeaveElem();
}

// ---- Graph ----

bool LoadCfgSetGraphSig(CXmlDoc& doc, tCFG_SET_GRAPH_SIG& sig) {
    if (!enter(doc, "CFG_SET_GRAPH_SIG")) return false;
    sig.Color = readUInt(doc, "Color");
    sig.ShowMin = readReal(doc, "ShowMin");
    sig.ShowMax = readReal(doc, "ShowMax");
    sig.PointType = readInt(doc, "PointType");
    LoadXmlCanSignal(doc, sig.CanSig);
    doc.LeaveElem();
    return true;
}

void SaveCfgSetGraphSig(CXmlDoc& doc, const tCFG_SET_GRAPH_SIG& sig) {
    create(doc, "CFG_SET_GRAPH_SIG");
    writeInt(doc, "Color", sig.Color);
    writeReal(doc, "ShowMin", sig.ShowMin);
    writeReal(doc, "ShowMax", sig.ShowMax);
    writeInt(doc, "PointType", sig.PointType);
    SaveXmlCanSignal(doc, sig.CanSig);
    doc.LeaveElem();
}

bool LoadCfgSetGraphMsg(CXmlDoc& doc, tCFG_SET_GRAPH_MSG& msg) {
    if (!enter(doc, "CFG_SET_GRAPH_MSG")) return false;
    msg.MsgAppId = readUInt(doc, "MsgAppId");
    msg.SigArray.clear();
    for (tCFG_SET_GRAPH_SIG sig; LoadCfgSetGraphSig(doc, sig); sig = {})
        msg.SigArray.push_back(std::move(sig));
    doc.LeaveElem();
    return true;
}

void SaveCfgSetGraphMsg(CXmlDoc& doc, const tCFG_SET_GRAPH_MSG& msg) {
    create(doc, "CFG_SET_GRAPH_MSG");
    writeInt(doc, "MsgAppId", msg.MsgAppId);
    for (const tCFG_SET_GRAPH_SIG& sig : msg.SigArray) SaveCfgSetGraphSig(doc, sig);
    doc.LeaveElem();
}

bool LoadCfgSetGraph(CXmlDoc& doc, tCFG_SET_GRAPH& graph) {
    if (!enter(doc, "CFG_SET_GRAPH")) return false;
    graph.GraphGridShow = readFlag(doc, "GraphGridShow");
    graph.BackgroundColor = readUInt(doc, "BackgroundColor");
    graph.GridColor = readUInt(doc, "GridColor");
    graph.XAxisColor = readUInt(doc, "XAxisColor");
    graph.XAxisTimeLength = readInt(doc, "XAxisTimeLength");
    graph.YAxisShowMode = readInt(doc, "YAxisShowMode");
    graph.PageTurningMode = readFlag(doc, "PageTurningMode");
    graph.MsgMap.clear();
    for (tCFG_SET_GRAPH_MSG msg; LoadCfgSetGraphMsg(doc, msg); msg = {}) {
        const uint32_t key = msg.MsgAppId;
        graph.MsgMap[key] = std::move(msg);
    }
    doc.LeaveElem();
    return true;
}

void SaveCfgSetGraph(CXmlDoc& doc, const tCFG_SET_GRAPH& graph) {
    create(doc, "CFG_SET_GRAPH");
    writeInt(doc, "GraphGridShow", graph.GraphGridShow);
    writeInt(doc, "BackgroundColor", graph.BackgroundColor);
    writeInt(doc, "GridColor", graph.GridColor);
    writeInt(doc, "XAxisColor", graph.XAxisColor);
    writeInt(doc, "XAxisTimeLength", graph.XAxisTimeLength);
    writeInt(doc, "YAxisShowMode", graph.YAxisShowMode);
    writeInt(doc, "PageTurningMode", graph.PageTurningMode);
    for (const auto& entry : graph.MsgMap) SaveCfgSetGraphMsg(doc, entry.second);
    doc.LeaveElem();
}

// ---- Queue transmit ----

bool LoadCfgSetExtQueueTxMsg(CXmlDoc& doc, tCFG_SET_EXT_QUEUE_TX_MSG& msg) {
    if (!enter(doc, "CFG_SET_EXT_QUEUE_TX_MSG")) return false;
    msg.MsgName = doc.ReadAttr("MsgName");
    msg.MsgID = readUInt(doc, "MsgID");
    msg.Ext = readFlag(doc, "Ext");
    msg.Chan = readLow8(doc, "Chan");
    msg.DL = readLow8(doc, "DL");
    readTxData(doc, msg.TxData);
    msg.BeforeDelayTime = readLow16(doc, "BeforeDelayTime");
    msg.AfterDelayTime = readLow16(doc, "AfterDelayTime");
    msg.Parse = readFlag(doc, "Parse");
    msg.MsgTxIndex = readInt(doc, "MsgTxIndex");
    msg.CanMsg.Signals.clear();
    LoadXmlCanMsg(doc, msg.CanMsg);
    doc.LeaveElem();
    return true;
}

void SaveCfgSetExtQueueTxMsg(CXmlDoc& doc, const tCFG_SET_EXT_QUEUE_TX_MSG& msg) {
    create(doc, "CFG_SET_EXT_QUEUE_TX_MSG");
    doc.WriteAttr("MsgName", msg.MsgName);
    writeInt(doc, "MsgID", msg.MsgID);
    writeInt(doc, "Ext", msg.Ext);
    writeInt(doc, "Chan", msg.Chan);
    writeInt(doc, "DL", msg.DL);
    writeTxData(doc, msg.TxData);
    writeInt(doc, "BeforeDelayTime", msg.BeforeDelayTime);
    writeInt(doc, "AfterDelayTime", msg.AfterDelayTime);
    writeInt(doc, "Parse", msg.Parse);
    writeInt(doc, "MsgTxIndex", msg.MsgTxIndex);
    SaveXmlCanMsg(doc, msg.CanMsg);
    doc.LeaveElem();
}

bool LoadCfgSetExtQueueTxService(CXmlDoc& doc, tCFG_SET_EXT_QUEUE_TX_SERVICE& service) {
    if (!enter(doc, "CFG_SET_EXT_QUEUE_TX_SERVICE")) return false;
    service.SigRawValShowHex = readFlag(doc, "SigRawValShowHex");
    service.MsgMap.clear();
    for (tCFG_SET_EXT_QUEUE_TX_MSG msg; LoadCfgSetExtQueueTxMsg(doc, msg); msg = {}) {
        msg.Key = service.NextKey;
        service.MsgMap[service.NextKey++] = std::move(msg);
    }
    doc.LeaveElem();
    return true;
}

void SaveCfgSetExtQueueTxService(CXmlDoc& doc, const tCFG_SET_EXT_QUEUE_TX_SERVICE& service) {
    create(doc, "CFG_SET_EXT_QUEUE_TX_SERVICE");
    writeInt(doc, "SigRawValShowHex", service.SigRawValShowHex);
    for (const auto& entry : service.MsgMap) SaveCfgSetExtQueueTxMsg(doc, entry.second);
    doc.LeaveElem();
}
