// Send, graph and queue-transmit sections: lists of frames and signals with their database records.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>
#include <vector>

#include "candb/canxml.h"
#include "config/cfgattr.h"
#include "config/cfgsections.h"

using namespace cfgxml;

namespace {

constexpr const char* kTxDataNames[8] = {"TxData0", "TxData1", "TxData2", "TxData3",
                                         "TxData4", "TxData5", "TxData6", "TxData7"};

void readTxData(const CXmlDoc& doc, uint8_t (&data)[8]) {
    for (int i = 0; i < 8; ++i) data[i] = readLow8(doc, kTxDataNames[i]);
}

}  // namespace

// ---- Send ----

namespace {

// The device with the most channels has two.
constexpr uint32_t kSendChanMax = 1;
constexpr uint32_t kSendLengthMax = 8;

using Attrs = std::vector<std::pair<const char*, std::string>>;
using Numbers = std::initializer_list<std::pair<const char*, int64_t>>;

// The numeric attributes of an entry in the file's order, as the writer makes them: those before the data
// bytes, the eight bytes, those after.
Attrs entryAttrs(Numbers before, const uint8_t (&data)[8], Numbers after) {
    Attrs attrs;
    attrs.reserve(before.size() + 8 + after.size());
    for (const auto& [name, value] : before) attrs.emplace_back(name, vex::FormatInt(value));
    for (int i = 0; i < 8; ++i) attrs.emplace_back(kTxDataNames[i], vex::FormatInt(data[i]));
    for (const auto& [name, value] : after) attrs.emplace_back(name, vex::FormatInt(value));
    return attrs;
}

Attrs sendAttrs(const tCFG_SET_SEND_MSG& msg) {
    return entryAttrs({{"MsgID", static_cast<int32_t>(msg.MsgID)},
                       {"Ext", msg.Ext},
                       {"Rmt", msg.Rmt},
                       {"Chan", msg.Chan},
                       {"DL", msg.DL}},
                      msg.TxData,
                      {{"CycTxTime", msg.CycTxTime}, {"CycTxCount", msg.CycTxCount}, {"Parse", msg.Parse}});
}

// An 8-bit field of a send entry: the low bits, as for every such field, unless the value read is out of
// range and its low bits are not: then 255, so that an entry which cannot be sent never turns into one
// that sends something else (a length of 264 would otherwise go out as 8).
uint8_t sendField(uint32_t value, uint32_t max) {
    const auto low = static_cast<uint8_t>(value);
    return value > max && low <= max ? 0xFF : low;
}

// The frame fields of an entry, send or queued, and the texts its file held.
struct FrameFields {
    uint32_t MsgID;
    uint8_t Ext;
    uint8_t Chan;
    uint8_t DL;
    const std::vector<tCFG_KEPT_ATTR>& Kept;
};

// The one rule by which an entry makes no frame: an identifier beyond its type, a length above 8, a channel
// that no device has; each named with the file's text where it was kept.
void frameFault(const FrameFields& f, std::string& fault) {
    auto add = [&fault](const std::string& text) {
        if (!fault.empty()) fault += "，";
        fault += text;
    };
    const uint32_t idMax = f.Ext ? 0x1FFFFFFFu : 0x7FFu;
    if (f.MsgID > idMax) {
        const std::string read = vex::FormatInt(static_cast<int32_t>(f.MsgID));
        const std::string& file = KeptText(f.Kept, "MsgID", read);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", f.MsgID);
        add(std::string(f.Ext ? "扩展帧ID " : "标准帧ID ") + (&file == &read ? hex : file) + " 超出 " +
            (f.Ext ? "0x1FFFFFFF" : "0x7FF"));
    }
    if (f.DL > kSendLengthMax) add("长度 " + KeptText(f.Kept, "DL", vex::FormatInt(f.DL)) + " 不在 0~8 之内");
    if (f.Chan > kSendChanMax) add("通道 " + KeptText(f.Kept, "Chan", vex::FormatInt(f.Chan)) + " 不存在");
}

// Reading kept the texts of an entry that cannot be sent, so that it is written back as the file had it.
std::vector<tCFG_KEPT_ATTR> keptAttrs(const CXmlDoc& doc, Attrs written) {
    std::vector<tCFG_KEPT_ATTR> kept;
    for (auto& [name, text] : written) {
        std::string file = doc.ReadAttr(name);
        if (!file.empty() && file != text) kept.push_back({name, std::move(text), std::move(file)});
    }
    return kept;
}

void writeAttrs(CXmlDoc& doc, const Attrs& attrs, const std::vector<tCFG_KEPT_ATTR>& kept) {
    for (const auto& [name, text] : attrs) doc.WriteAttr(name, KeptText(kept, name, text));
}

}  // namespace

const std::string& KeptText(const std::vector<tCFG_KEPT_ATTR>& kept, std::string_view name,
                            const std::string& text) {
    for (const tCFG_KEPT_ATTR& k : kept)
        if (k.Name == name && k.Read == text) return k.File;
    return text;
}

std::string SendMsgFault(const tCFG_SET_SEND_MSG& msg) {
    std::string fault;
    frameFault({msg.MsgID, msg.Ext, msg.Chan, msg.DL, msg.KeptAttrs}, fault);
    return fault;
}

bool LoadCfgSetSendMsg(CXmlDoc& doc, tCFG_SET_SEND_MSG& msg) {
    if (!enter(doc, "CFG_SET_SEND_MSG")) return false;
    msg.MsgName = doc.ReadAttr("MsgName");
    msg.MsgID = readUInt(doc, "MsgID");
    msg.Ext = readFlag(doc, "Ext");
    msg.Rmt = readFlag(doc, "Rmt");
    msg.Chan = sendField(readUInt(doc, "Chan"), kSendChanMax);
    msg.DL = sendField(readUInt(doc, "DL"), kSendLengthMax);
    readTxData(doc, msg.TxData);
    msg.CycTxTime = readLow16(doc, "CycTxTime");
    msg.CycTxCount = readLow16(doc, "CycTxCount");
    msg.Parse = readFlag(doc, "Parse");
    // An entry that cannot be sent stays in the list (the user sees and can correct it) and in the file
    // as the file wrote it: its texts that reading changed are kept for the next save.
    msg.KeptAttrs.clear();
    if (!SendMsgFault(msg).empty()) msg.KeptAttrs = keptAttrs(doc, sendAttrs(msg));
    msg.CanMsg.Signals.clear();
    LoadXmlCanMsg(doc, msg.CanMsg);
    doc.LeaveElem();
    return true;
}

void SaveCfgSetSendMsg(CXmlDoc& doc, const tCFG_SET_SEND_MSG& msg) {
    create(doc, "CFG_SET_SEND_MSG");
    doc.WriteAttr("MsgName", msg.MsgName);
    writeAttrs(doc, sendAttrs(msg), msg.KeptAttrs);
    SaveXmlCanMsg(doc, msg.CanMsg);
    doc.LeaveElem();
}

bool LoadCfgSetSend(CXmlDoc& doc, tCFG_SET_SEND& send, std::vector<tCFG_SET_SEND_MSG>* replaced) {
    if (!enter(doc, "CFG_SET_SEND")) return false;
    send.SigRawValShowHex = readFlag(doc, "SigRawValShowHex");
    send.MsgMap.clear();
    for (tCFG_SET_SEND_MSG msg; LoadCfgSetSendMsg(doc, msg); msg = {}) {
        auto [it, added] = send.MsgMap.try_emplace(MsgKey(msg.MsgID, msg.Ext));
        // A later entry of the same identifier replaces the earlier one; one of another identifier
        // lands on the same key only through an identifier beyond its type, and is named to the caller.
        if (!added && replaced != nullptr && (it->second.MsgID != msg.MsgID || it->second.Ext != msg.Ext))
            replaced->push_back(std::move(it->second));
        it->second = std::move(msg);
    }
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

namespace {

constexpr int32_t kDelayMax = 0xFFFF;
constexpr const char* kDelayNames[2] = {"BeforeDelayTime", "AfterDelayTime"};

Attrs queueAttrs(const tCFG_SET_EXT_QUEUE_TX_MSG& msg) {
    return entryAttrs(
        {{"MsgID", static_cast<int32_t>(msg.MsgID)}, {"Ext", msg.Ext}, {"Chan", msg.Chan}, {"DL", msg.DL}},
        msg.TxData,
        {{kDelayNames[0], msg.BeforeDelayTime},
         {kDelayNames[1], msg.AfterDelayTime},
         {"Parse", msg.Parse},
         {"MsgTxIndex", msg.MsgTxIndex}});
}

// A delay's file text as a number, for the range check: the 16 bits read would wait another time.
bool delayOutOfRange(std::string_view text) {
    const int32_t value = vex::ParseInt32(text);
    return value < 0 || value > kDelayMax;
}

}  // namespace

std::string QueueTxMsgFault(const tCFG_SET_EXT_QUEUE_TX_MSG& msg) {
    std::string fault;
    frameFault({msg.MsgID, msg.Ext, msg.Chan, msg.DL, msg.KeptAttrs}, fault);
    // A delay whose file text is out of range holds only that text's low 16 bits: it stays refused until
    // the delay is set anew.
    const uint16_t delays[2] = {msg.BeforeDelayTime, msg.AfterDelayTime};
    for (int i = 0; i < 2; ++i) {
        const std::string read = vex::FormatInt(delays[i]);
        const std::string& file = KeptText(msg.KeptAttrs, kDelayNames[i], read);
        if (&file == &read || !delayOutOfRange(file)) continue;
        if (!fault.empty()) fault += "，";
        fault += std::string(i == 0 ? "前延时 " : "后延时 ") + file + " 不在 0~65535 之内";
    }
    return fault;
}

std::string QueueTxFaultList(const tCFG_SET_EXT_QUEUE_TX_SERVICE& service) {
    std::vector<std::pair<int32_t, const tCFG_SET_EXT_QUEUE_TX_MSG*>> order;
    for (const auto& [key, msg] : service.MsgMap) order.emplace_back(msg.MsgTxIndex, &msg);
    // The map gives ascending keys; equal indexes keep them, as the list view orders its rows.
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string list;
    for (const auto& [index, msg] : order) {
        const std::string fault = QueueTxMsgFault(*msg);
        if (fault.empty()) continue;
        list += (list.empty() ? "“" : "；“") + msg->MsgName + "”：" + fault;
    }
    return list;
}

bool LoadCfgSetExtQueueTxMsg(CXmlDoc& doc, tCFG_SET_EXT_QUEUE_TX_MSG& msg) {
    if (!enter(doc, "CFG_SET_EXT_QUEUE_TX_MSG")) return false;
    msg.MsgName = doc.ReadAttr("MsgName");
    msg.MsgID = readUInt(doc, "MsgID");
    msg.Ext = readFlag(doc, "Ext");
    msg.Chan = sendField(readUInt(doc, "Chan"), kSendChanMax);
    msg.DL = sendField(readUInt(doc, "DL"), kSendLengthMax);
    readTxData(doc, msg.TxData);
    msg.BeforeDelayTime = readLow16(doc, kDelayNames[0]);
    msg.AfterDelayTime = readLow16(doc, kDelayNames[1]);
    msg.Parse = readFlag(doc, "Parse");
    msg.MsgTxIndex = readInt(doc, "MsgTxIndex");
    // Validated as a send entry is, and its delays too: an entry that cannot be sent as the file has it
    // stays in the list, refused when sending, and is written back as the file wrote it.
    msg.KeptAttrs.clear();
    if (!QueueTxMsgFault(msg).empty() || delayOutOfRange(doc.ReadAttr(kDelayNames[0])) ||
        delayOutOfRange(doc.ReadAttr(kDelayNames[1])))
        msg.KeptAttrs = keptAttrs(doc, queueAttrs(msg));
    msg.CanMsg.Signals.clear();
    LoadXmlCanMsg(doc, msg.CanMsg);
    doc.LeaveElem();
    return true;
}

void SaveCfgSetExtQueueTxMsg(CXmlDoc& doc, const tCFG_SET_EXT_QUEUE_TX_MSG& msg) {
    create(doc, "CFG_SET_EXT_QUEUE_TX_MSG");
    doc.WriteAttr("MsgName", msg.MsgName);
    writeAttrs(doc, queueAttrs(msg), msg.KeptAttrs);
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
