// Device, filter, trace, log, replay and J1939 sections.
#include "config/cfgsections.h"

#include <cmath>

#include "config/cfgattr.h"

using namespace cfgxml;

std::string cfgxml::formatReal(double value) {
    if (std::trunc(value) == value && value >= -2147483648.0 && value <= 2147483647.0)
        return vex::FormatInt(static_cast<int64_t>(value));
    return vex::FormatShortest(value);
}

std::string LogFileNameIdAsName(std::string_view prefix) {
    const size_t slash = prefix.find_last_of("/\\");
    if (slash != std::string_view::npos) prefix.remove_prefix(slash + 1);
    std::string name;
    for (char c : prefix)
        if (c != '\0') name += c;
    return name;
}

// ---- Devices ----

bool LoadCfgCanDevChanParam(CXmlDoc& doc, tCFG_CAN_DEV_CHAN_PARAM& param, std::string_view suffix) {
    if (!enter(doc, concat("CFG_CAN_DEV_CHAN_PARAM_", suffix))) return false;
    param.Baudrate = readLow16(doc, "Baudrate");
    param.Btr0 = readLow8(doc, "Btr0");
    param.Btr1 = readLow8(doc, "Btr1");
    doc.LeaveElem();
    return true;
}

void SaveCfgCanDevChanParam(CXmlDoc& doc, const tCFG_CAN_DEV_CHAN_PARAM& param, std::string_view suffix) {
    create(doc, concat("CFG_CAN_DEV_CHAN_PARAM_", suffix));
    writeInt(doc, "Baudrate", param.Baudrate);
    writeInt(doc, "Btr0", param.Btr0);
    writeInt(doc, "Btr1", param.Btr1);
    doc.LeaveElem();
}

bool LoadCfgCanDev(CXmlDoc& doc, tCFG_CAN_DEV& dev, std::string_view suffix) {
    if (!enter(doc, concat("CFG_CAN_DEV_", suffix))) return false;
    dev.Active = readFlag(doc, "Active");
    LoadCfgCanDevChanParam(doc, dev.CHAN0, "CHAN0");
    LoadCfgCanDevChanParam(doc, dev.CHAN1, "CHAN1");
    doc.LeaveElem();
    return true;
}

void SaveCfgCanDev(CXmlDoc& doc, const tCFG_CAN_DEV& dev, std::string_view suffix) {
    create(doc, concat("CFG_CAN_DEV_", suffix));
    writeInt(doc, "Active", dev.Active);
    SaveCfgCanDevChanParam(doc, dev.CHAN0, "CHAN0");
    SaveCfgCanDevChanParam(doc, dev.CHAN1, "CHAN1");
    doc.LeaveElem();
}

// ---- Identifier filter ----

bool LoadXmlCanMsgFilter(CXmlDoc& doc, std::string_view name, CCanMsgFilter& filter) {
    if (!enter(doc, concat("CAN_MSG_FILTER_", name))) return false;
    filter.Enable = readFlag(doc, "Enable");
    filter.Block = readFlag(doc, "Block");
    filter.MsgIDType = readLow8(doc, "MsgIDType");
    filter.MsgFrmType = readLow8(doc, "MsgFrmType");
    filter.MsgIdValType = readLow8(doc, "MsgIdValType");
    filter.Chan = readLow8(doc, "Chan");
    filter.FltMsgIdMin = readUInt(doc, "FltMsgIdMin");
    filter.FltMsgIdMax = readUInt(doc, "FltMsgIdMax");
    filter.MsgMap.clear();
    while (enter(doc, "FILTER_CAN_MSG")) {
        tFILTER_CAN_MSG entry;
        entry.MsgId = readUInt(doc, "FilterCanMsgId");
        entry.Descr = doc.ReadAttr("FilterCanMsgDescr");
        filter.MsgMap[entry.MsgId] = std::move(entry);
        doc.LeaveElem();
    }
    doc.LeaveElem();
    return true;
}

void SaveXmlCanMsgFilter(CXmlDoc& doc, std::string_view name, const CCanMsgFilter& filter) {
    create(doc, concat("CAN_MSG_FILTER_", name));
    writeInt(doc, "Enable", filter.Enable);
    writeInt(doc, "Block", filter.Block);
    writeInt(doc, "MsgIDType", filter.MsgIDType);
    writeInt(doc, "MsgFrmType", filter.MsgFrmType);
    writeInt(doc, "MsgIdValType", filter.MsgIdValType);
    writeInt(doc, "Chan", filter.Chan);
    writeInt(doc, "FltMsgIdMin", static_cast<int32_t>(filter.FltMsgIdMin));
    writeInt(doc, "FltMsgIdMax", static_cast<int32_t>(filter.FltMsgIdMax));
    for (const auto& [id, entry] : filter.MsgMap) {
        create(doc, "FILTER_CAN_MSG");
        writeInt(doc, "FilterCanMsgId", static_cast<int32_t>(id));
        doc.WriteAttr("FilterCanMsgDescr", entry.Descr);
        doc.LeaveElem();
    }
    doc.LeaveElem();
}

// ---- Trace, log, replay ----

bool LoadCfgSetTrace(CXmlDoc& doc, tCFG_SET_TRACE& trace) {
    if (!enter(doc, "CFG_SET_TRACE")) return false;
    trace.TraceDetail = readFlag(doc, "TraceDetail");
    trace.DeltaTime = readFlag(doc, "DeltaTime");
    trace.NumHex = readFlag(doc, "NumHex");
    trace.OnLine = readFlag(doc, "OnLine");
    trace.Fellow = readFlag(doc, "Fellow");
    LoadXmlCanMsgFilter(doc, "TRACE", trace.Filter);
    doc.LeaveElem();
    return true;
}

void SaveCfgSetTrace(CXmlDoc& doc, const tCFG_SET_TRACE& trace) {
    create(doc, "CFG_SET_TRACE");
    writeInt(doc, "TraceDetail", trace.TraceDetail);
    writeInt(doc, "DeltaTime", trace.DeltaTime);
    writeInt(doc, "NumHex", trace.NumHex);
    writeInt(doc, "OnLine", trace.OnLine);
    writeInt(doc, "Fellow", trace.Fellow);
    SaveXmlCanMsgFilter(doc, "TRACE", trace.Filter);
    doc.LeaveElem();
}

bool LoadCfgSetLog(CXmlDoc& doc, tCFG_SET_LOG& log) {
    if (!enter(doc, "CFG_SET_LOG")) return false;
    log.AutoLogFlag = readFlag(doc, "AutoLogFlag");
    log.LogFileNameId = LogFileNameIdAsName(doc.ReadAttr("LogFileNameId"));
    LoadXmlCanMsgFilter(doc, "LOG", log.Filter);
    doc.LeaveElem();
    return true;
}

void SaveCfgSetLog(CXmlDoc& doc, const tCFG_SET_LOG& log) {
    create(doc, "CFG_SET_LOG");
    writeInt(doc, "AutoLogFlag", log.AutoLogFlag);
    doc.WriteAttr("LogFileNameId", log.LogFileNameId);
    SaveXmlCanMsgFilter(doc, "LOG", log.Filter);
    doc.LeaveElem();
}

bool LoadCfgSetReplay(CXmlDoc& doc, tCFG_SET_REPLAY& replay) {
    if (!enter(doc, "CFG_SET_REPLAY")) return false;
    replay.PageByTimeLengthFlag = readFlag(doc, "PageByTimeLengthFlag");
    replay.PageTimeOffset = readReal(doc, "PageTimeOffset");
    replay.PageTimeLength = readReal(doc, "PageTimeLength");
    replay.PageMsgIndexOffset = readUInt(doc, "PageMsgIndexOffset");
    replay.PageMsgCount = readUInt(doc, "PageMsgCount");
    doc.LeaveElem();
    return true;
}

void SaveCfgSetReplay(CXmlDoc& doc, const tCFG_SET_REPLAY& replay) {
    create(doc, "CFG_SET_REPLAY");
    writeInt(doc, "PageByTimeLengthFlag", replay.PageByTimeLengthFlag);
    writeReal(doc, "PageTimeOffset", replay.PageTimeOffset);
    writeReal(doc, "PageTimeLength", replay.PageTimeLength);
    writeInt(doc, "PageMsgIndexOffset", static_cast<int32_t>(replay.PageMsgIndexOffset));
    writeInt(doc, "PageMsgCount", static_cast<int32_t>(replay.PageMsgCount));
    doc.LeaveElem();
}

// ---- J1939 DMx service ----

bool LoadXmlJ1939DmxService(CXmlDoc& doc, tCFG_SET_EXT_J1939DMX_SERVICE& service) {
    if (!enter(doc, "CFG_SET_EXT_J1939DMX_SERVICE")) return false;
    service.J1939FrameFormatVersion = readLow8(doc, "J1939FrameFormatVersion");
    service.DmxPgnVal = readLow16(doc, "DmxPgnVal");
    service.PgnP = readLow8(doc, "PgnP");
    service.PgnEdp = readLow8(doc, "PgnEdp");
    service.PgnDp = readLow8(doc, "PgnDp");
    service.PgnDa = readLow8(doc, "PgnDa");
    service.PgnSa = readLow8(doc, "PgnSa");
    service.TxCanChan = readLow8(doc, "TxCanChan");
    service.LampStatus = readLow8(doc, "LampStatus");
    service.SpnFmiArray.clear();
    while (enter(doc, "CFG_SET_EXT_J1939DMX_TX_SPN_FMI")) {
        tCFG_SET_EXT_J1939DMX_TX_SPN_FMI code;
        code.Spn = readUInt(doc, "Spn");
        code.Fmi = readLow8(doc, "Fmi");
        code.Cm = readLow8(doc, "Cm");
        code.Oc = readLow8(doc, "Oc");
        service.SpnFmiArray.push_back(code);
        doc.LeaveElem();
    }
    doc.LeaveElem();
    return true;
}

void SaveXmlJ1939DmxService(CXmlDoc& doc, const tCFG_SET_EXT_J1939DMX_SERVICE& service) {
    create(doc, "CFG_SET_EXT_J1939DMX_SERVICE");
    writeInt(doc, "J1939FrameFormatVersion", service.J1939FrameFormatVersion);
    writeInt(doc, "DmxPgnVal", service.DmxPgnVal);
    writeInt(doc, "PgnP", service.PgnP);
    writeInt(doc, "PgnEdp", service.PgnEdp);
    writeInt(doc, "PgnDp", service.PgnDp);
    writeInt(doc, "PgnDa", service.PgnDa);
    writeInt(doc, "PgnSa", service.PgnSa);
    writeInt(doc, "TxCanChan", service.TxCanChan);
    writeInt(doc, "LampStatus", service.LampStatus);
    for (const tCFG_SET_EXT_J1939DMX_TX_SPN_FMI& code : service.SpnFmiArray) {
        create(doc, "CFG_SET_EXT_J1939DMX_TX_SPN_FMI");
        writeInt(doc, "Spn", static_cast<int32_t>(code.Spn));
        writeInt(doc, "Fmi", code.Fmi);
        writeInt(doc, "Cm", code.Cm);
        writeInt(doc, "Oc", code.Oc);
        doc.LeaveElem();
    }
    doc.LeaveElem();
}
