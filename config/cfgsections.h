#pragma once
// Readers and writers of the configuration file's sections. Every one works at the document's main
// element (the parent of the section) and leaves it the main element again.
//
// Writers add the section as the last child of the main element, with its attributes in the file's order.
// Integers are written as signed 32-bit decimals ("%d"), flags as 0 or 1, and floating-point values as
// whole numbers when they are whole, else in the shortest form that reads back exactly.
//
// Readers take the next child of the section's name after the child position, so sections are read only
// in the order the writers put them. Not found: false and the record unchanged. Found: every attribute is
// read (an absent one reads as 0 or empty text), a list or map is emptied and refilled from the nested
// elements, an absent nested record keeps its values; true. Numbers follow vex::ParseInt32 / ParseUInt32 /
// ParseReal; a flag is 1 when its number is nonzero; 8- and 16-bit fields keep the low bits.
#include <string>
#include <string_view>
#include <vector>

#include "config/cfgrecords.h"

class CXmlDoc;

// "WND_PLACEMENT_" + name and "WND_SPLT_" + name.
bool LoadWndPlacement(CXmlDoc& doc, tWND_PLACEMENT& placement, std::string_view name);
void SaveWndPlacement(CXmlDoc& doc, const tWND_PLACEMENT& placement, std::string_view name);
bool LoadWndSplitter(CXmlDoc& doc, tWND_SPLITTER& splitter, std::string_view name);
void SaveWndSplitter(CXmlDoc& doc, const tWND_SPLITTER& splitter, std::string_view name);

// "WND_MAIN_FRAME": the screen size, the main frame's placement ("MAINFRM"), then one "WND_CHILD_" element
// each for "TRACE", "GRAPH", "SEND", "INFO" (Show, placement, the splitter of graph and send) and
// "EXT_SER" (placement and splitter named "EXT_SER_QUEUE_TX_MSG"). The stacking orders are not in the file.
bool LoadWndMainFrame(CXmlDoc& doc, tWND_LAYOUT& layout);
void SaveWndMainFrame(CXmlDoc& doc, const tWND_LAYOUT& layout);

// "CFG_CAN_DEV_CHAN_PARAM_" + suffix ("CHAN0", "CHAN1").
bool LoadCfgCanDevChanParam(CXmlDoc& doc, tCFG_CAN_DEV_CHAN_PARAM& param, std::string_view suffix);
void SaveCfgCanDevChanParam(CXmlDoc& doc, const tCFG_CAN_DEV_CHAN_PARAM& param, std::string_view suffix);

// "CFG_CAN_DEV_" + suffix ("NXP", "CF51", "WiFi"): Active and both channels; Name and Kind untouched.
bool LoadCfgCanDev(CXmlDoc& doc, tCFG_CAN_DEV& dev, std::string_view suffix);
void SaveCfgCanDev(CXmlDoc& doc, const tCFG_CAN_DEV& dev, std::string_view suffix);

// "CAN_MSG_FILTER_" + name ("TRACE", "LOG") with one "FILTER_CAN_MSG" per listed identifier; a repeated
// identifier replaces the earlier entry.
bool LoadXmlCanMsgFilter(CXmlDoc& doc, std::string_view name, CCanMsgFilter& filter);
void SaveXmlCanMsgFilter(CXmlDoc& doc, std::string_view name, const CCanMsgFilter& filter);

// "CFG_SET_TRACE", "CFG_SET_LOG" (the prefix read is made a bare name), "CFG_SET_REPLAY".
bool LoadCfgSetTrace(CXmlDoc& doc, tCFG_SET_TRACE& trace);
void SaveCfgSetTrace(CXmlDoc& doc, const tCFG_SET_TRACE& trace);
bool LoadCfgSetLog(CXmlDoc& doc, tCFG_SET_LOG& log);
void SaveCfgSetLog(CXmlDoc& doc, const tCFG_SET_LOG& log);
bool LoadCfgSetReplay(CXmlDoc& doc, tCFG_SET_REPLAY& replay);
void SaveCfgSetReplay(CXmlDoc& doc, const tCFG_SET_REPLAY& replay);

// The text the file held for an attribute of an entry that was read unsendable, while the record still has
// the value read (text is what the writer makes of it); otherwise text itself.
const std::string& KeptText(const std::vector<tCFG_KEPT_ATTR>& kept, std::string_view name,
                            const std::string& text);

// Why no frame can be built from the entry as it stands, naming each fault with the file's text where it
// was kept ("标准帧ID 0x7FFFFFFF 超出 0x7FF", "长度 -5 不在 0~8 之内", "通道 7 不存在"); empty when it can.
std::string SendMsgFault(const tCFG_SET_SEND_MSG& msg);

// "CFG_SET_SEND_MSG" (its message as a "CAN_MSG" child; absent: an empty message) and "CFG_SET_SEND"
// (entries stored under their message key; a repeated key replaces the earlier entry).
bool LoadCfgSetSendMsg(CXmlDoc& doc, tCFG_SET_SEND_MSG& msg);
void SaveCfgSetSendMsg(CXmlDoc& doc, const tCFG_SET_SEND_MSG& msg);
// An entry that no frame can be built from as it stands (an identifier beyond its type, a length above 8,
// a channel that no device has) keeps the attribute texts that reading changed and is written back with
// them while those values stand; its 8-bit fields never read as an in-range value. With replaced given,
// an entry displaced by a later one of another identifier on the same key is handed out there.
bool LoadCfgSetSend(CXmlDoc& doc, tCFG_SET_SEND& send, std::vector<tCFG_SET_SEND_MSG>* replaced = nullptr);
void SaveCfgSetSend(CXmlDoc& doc, const tCFG_SET_SEND& send);

// "CFG_SET_GRAPH_SIG" (its signal as a "CAN_SIGNAL" child), "CFG_SET_GRAPH_MSG" (key and signals; the
// counter is not stored) and "CFG_SET_GRAPH" (messages stored under the key they hold).
bool LoadCfgSetGraphSig(CXmlDoc& doc, tCFG_SET_GRAPH_SIG& sig);
void SaveCfgSetGraphSig(CXmlDoc& doc, const tCFG_SET_GRAPH_SIG& sig);
bool LoadCfgSetGraphMsg(CXmlDoc& doc, tCFG_SET_GRAPH_MSG& msg);
void SaveCfgSetGraphMsg(CXmlDoc& doc, const tCFG_SET_GRAPH_MSG& msg);
bool LoadCfgSetGraph(CXmlDoc& doc, tCFG_SET_GRAPH& graph);
void SaveCfgSetGraph(CXmlDoc& doc, const tCFG_SET_GRAPH& graph);

// Why a queue entry cannot be sent as it stands: SendMsgFault's rule for its frame, and a delay whose file
// text was outside 0..65535 ("前延时 -5 不在 0~65535 之内"); empty when it can.
std::string QueueTxMsgFault(const tCFG_SET_EXT_QUEUE_TX_MSG& msg);
// The entries that cannot be sent, in the list's order (MsgTxIndex, then key): "“name”：fault" joined by
// "；"; empty when every entry can.
std::string QueueTxFaultList(const tCFG_SET_EXT_QUEUE_TX_SERVICE& service);

// "CFG_SET_EXT_QUEUE_TX_MSG" (the entry key is neither read nor written) and
// "CFG_SET_EXT_QUEUE_TX_SERVICE": each entry read is stored under the next key, which then goes up by one.
// Entries are read and kept as send entries are (LoadCfgSetSend): one that cannot be sent as it stands
// keeps the texts reading changed and is written back with them; its 8-bit fields never read as an
// in-range value, and its delays keep their low 16 bits with the file's text.
bool LoadCfgSetExtQueueTxMsg(CXmlDoc& doc, tCFG_SET_EXT_QUEUE_TX_MSG& msg);
void SaveCfgSetExtQueueTxMsg(CXmlDoc& doc, const tCFG_SET_EXT_QUEUE_TX_MSG& msg);
bool LoadCfgSetExtQueueTxService(CXmlDoc& doc, tCFG_SET_EXT_QUEUE_TX_SERVICE& service);
void SaveCfgSetExtQueueTxService(CXmlDoc& doc, const tCFG_SET_EXT_QUEUE_TX_SERVICE& service);

// "CFG_SET_EXT_J1939DMX_SERVICE" with one "CFG_SET_EXT_J1939DMX_TX_SPN_FMI" per trouble code.
bool LoadXmlJ1939DmxService(CXmlDoc& doc, tCFG_SET_EXT_J1939DMX_SERVICE& service);
void SaveXmlJ1939DmxService(CXmlDoc& doc, const tCFG_SET_EXT_J1939DMX_SERVICE& service);
