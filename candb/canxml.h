#pragma once
// The CAN database records in the configuration XML. Every operation works at the document's current
// main element and leaves it the main element again.
//
// Writers add the element as the last child of the main element; their output depends on the record
// alone, so two writes of equal records give the same text.
//
// Readers take the next child of that name after the child position (elements are read in the order the
// writer puts them). Not found: false and the record unchanged. Found: the record is replaced by what the
// element holds, so an absent attribute reads as empty text or 0 and an absent child element as an empty
// record, never as the value of an earlier read.
#include "candb/canmodel.h"

class CXmlDoc;

bool LoadXmlCanDatabase(CXmlDoc& doc, tCAN_DATABASE& database);
void SaveXmlCanDatabase(CXmlDoc& doc, const tCAN_DATABASE& database);

bool LoadXmlCanMsg(CXmlDoc& doc, CCanMsg& msg);
void SaveXmlCanMsg(CXmlDoc& doc, const CCanMsg& msg);

// The database's free-signal holder ("CAN_MSG_HOTEL"), in the form of a message.
bool LoadXmlCanMsgHotel(CXmlDoc& doc, CCanMsg& msg);
void SaveXmlCanMsgHotel(CXmlDoc& doc, const CCanMsg& msg);

bool LoadXmlCanSignal(CXmlDoc& doc, CCanSignal& signal);
void SaveXmlCanSignal(CXmlDoc& doc, const CCanSignal& signal);

bool LoadXmlCanSignalEnum(CXmlDoc& doc, tCAN_SIGNAL_ENUM& table);
void SaveXmlCanSignalEnum(CXmlDoc& doc, const tCAN_SIGNAL_ENUM& table);
