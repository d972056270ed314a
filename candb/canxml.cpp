#include "candb/canxml.h"

#include <string>

#include "platform/numparse.h"
#include "platform/util/utils.h"
#include "platform/xml/xmldoc.h"

namespace {

constexpr char kDatabase[] = "CAN_DATABASE";
constexpr char kMsg[] = "CAN_MSG";
constexpr char kMsgHotel[] = "CAN_MSG_HOTEL";
constexpr char kSignal[] = "CAN_SIGNAL";
constexpr char kEnum[] = "CAN_SIGNAL_ENUM";
constexpr char kEnumItem[] = "CAN_SIGNAL_ENUM_ITEM";

// Integers are written signed ("%d"): an identifier with bit 31 set comes out negative and reads back
// through the unsigned reader's two's complement rule.
void writeInt(CXmlDoc& doc, const char* name, int64_t value) {
    doc.WriteAttr(name, vex::FormatInt(value));
}
void writeReal(CXmlDoc& doc, const char* name, double value) {
    doc.WriteAttr(name, DoubleToStr(value));
}

uint32_t readUInt(const CXmlDoc& doc, const char* name) {
    return vex::ParseUInt32(doc.ReadAttr(name));
}
uint8_t readLow8(const CXmlDoc& doc, const char* name) {
    return static_cast<uint8_t>(readUInt(doc, name));
}
uint8_t readFlag(const CXmlDoc& doc, const char* name) {
    return vex::ParseInt32(doc.ReadAttr(name)) ? 1 : 0;
}
double readReal(const CXmlDoc& doc, const char* name) {
    return vex::ParseReal(doc.ReadAttr(name));
}

bool enter(CXmlDoc& doc, const char* name) {
    return doc.SeekChildElem(name) && doc.EnterChildElem();
}
void create(CXmlDoc& doc, const char* name) {
    doc.NewElem(name, CXmlDoc::kAsChild);
    doc.EnterChildElem();
}

// Reads every element of a kind into a fresh record each, so nothing carries over from one to the next.
template <class T, class Reader>
std::vector<T> loadAll(CXmlDoc& doc, Reader reader) {
    std::vector<T> items;
    T item;
    while (reader(doc, item)) {
        items.push_back(std::move(item));
        item = T();
    }
    return items;
}

bool loadMsgAs(CXmlDoc& doc, const char* name, CCanMsg& msg) {
    if (!enter(doc, name)) return false;
    CCanMsg m;
    m.Name = doc.ReadAttr("Name");
    m.id = readUInt(doc, "id");
    m.Ext = readFlag(doc, "Ext");
    m.Rmt = readFlag(doc, "Rmt");
    m.DL = readLow8(doc, "DL");
    m.Signals = loadAll<CCanSignal>(doc, LoadXmlCanSignal);
    doc.LeaveElem();
    msg = std::move(m);
    return true;
}

void saveMsgAs(CXmlDoc& doc, const char* name, const CCanMsg& msg) {
    create(doc, name);
    doc.WriteAttr("Name", msg.Name);
    writeInt(doc, "id", msg.id);
    writeInt(doc, "Ext", msg.Ext);
    writeInt(doc, "Rmt", msg.Rmt);
    writeInt(doc, "DL", msg.DL);
    for (const CCanSignal& s : msg.Signals) SaveXmlCanSignal(doc, s);
    doc.LeaveElem();
}

}  // namespace

bool LoadXmlCanDatabase(CXmlDoc& doc, tCAN_DATABASE& database) {
    if (!enter(doc, kDatabase)) return false;
    tCAN_DATABASE db;
    db.FileVer = doc.ReadAttr("FileVer");
    db.Author = doc.ReadAttr("Author");
    db.ProDes = doc.ReadAttr("ProDes");
    db.RightDes = doc.ReadAttr("RightDes");
    db.LastEditDateTime = doc.ReadAttr("LastEditDateTime");
    db.Messages = loadAll<CCanMsg>(doc, LoadXmlCanMsg);
    LoadXmlCanMsgHotel(doc, db.FreeSigMsg);
    db.Enums = loadAll<tCAN_SIGNAL_ENUM>(doc, LoadXmlCanSignalEnum);
    doc.LeaveElem();
    database = std::move(db);
    return true;
}

void SaveXmlCanDatabase(CXmlDoc& doc, const tCAN_DATABASE& database) {
    create(doc, kDatabase);
    doc.WriteAttr("FileVer", database.FileVer);
    doc.WriteAttr("Author", database.Author);
    doc.WriteAttr("ProDes", database.ProDes);
    doc.WriteAttr("RightDes", database.RightDes);
    doc.WriteAttr("LastEditDateTime", database.LastEditDateTime);
    for (const CCanMsg& m : database.Messages) SaveXmlCanMsg(doc, m);
    SaveXmlCanMsgHotel(doc, database.FreeSigMsg);
    for (const tCAN_SIGNAL_ENUM& e : database.Enums) SaveXmlCanSignalEnum(doc, e);
    doc.LeaveElem();
}

bool LoadXmlCanMsg(CXmlDoc& doc, CCanMsg& msg) {
    return loadMsgAs(doc, kMsg, msg);
}
void SaveXmlCanMsg(CXmlDoc& doc, const CCanMsg& msg) {
    saveMsgAs(doc, kMsg, msg);
}
bool LoadXmlCanMsgHotel(CXmlDoc& doc, CCanMsg& msg) {
    return loadMsgAs(doc, kMsgHotel, msg);
}
void SaveXmlCanMsgHotel(CXmlDoc& doc, const CCanMsg& msg) {
    saveMsgAs(doc, kMsgHotel, msg);
}

bool LoadXmlCanSignal(CXmlDoc& doc, CCanSignal& signal) {
    if (!enter(doc, kSignal)) return false;
    CCanSignal s;
    s.Name = doc.ReadAttr("Name");
    s.Unit = doc.ReadAttr("Unit");
    s.Sign = readFlag(doc, "Sign");
    s.ByteFmtIntel = readFlag(doc, "ByteFmtIntel");
    s.Enum = readFlag(doc, "Enum");
    s.BitLen = readLow8(doc, "BitLen");
    s.BitOffset = readLow8(doc, "BitOffset");
    s.ValFactor = readReal(doc, "ValFactor");
    s.ValOffset = readReal(doc, "ValOffset");
    s.PhyMin = readReal(doc, "PhyMin");
    s.PhyMax = readReal(doc, "PhyMax");
    s.ErrValue = readReal(doc, "ErrValue");
    s.Description = doc.ReadAttr("Description");
    LoadXmlCanSignalEnum(doc, s.SigEnum);
    doc.LeaveElem();
    signal = std::move(s);
    return true;
}

void SaveXmlCanSignal(CXmlDoc& doc, const CCanSignal& signal) {
    create(doc, kSignal);
    doc.WriteAttr("Name", signal.Name);
    doc.WriteAttr("Unit", signal.Unit);
    writeInt(doc, "Sign", signal.Sign);
    writeInt(doc, "ByteFmtIntel", signal.ByteFmtIntel);
    writeInt(doc, "Enum", signal.Enum);
    writeInt(doc, "BitLen", signal.BitLen);
    writeInt(doc, "BitOffset", signal.BitOffset);
    writeReal(doc, "ValFactor", signal.ValFactor);
    writeReal(doc, "ValOffset", signal.ValOffset);
    writeReal(doc, "PhyMin", signal.PhyMin);
    writeReal(doc, "PhyMax", signal.PhyMax);
    writeReal(doc, "ErrValue", signal.ErrValue);
    doc.WriteAttr("Description", signal.Description);
    SaveXmlCanSignalEnum(doc, signal.SigEnum);
    doc.LeaveElem();
}

bool LoadXmlCanSignalEnum(CXmlDoc& doc, tCAN_SIGNAL_ENUM& table) {
    if (!enter(doc, kEnum)) return false;
    tCAN_SIGNAL_ENUM t;
    t.Name = doc.ReadAttr("Name");
    while (enter(doc, kEnumItem)) {
        t.Items.push_back({doc.ReadAttr("txt"), vex::ParseInt32(doc.ReadAttr("val"))});
        doc.LeaveElem();
    }
    doc.LeaveElem();
    table = std::move(t);
    return true;
}

void SaveXmlCanSignalEnum(CXmlDoc& doc, const tCAN_SIGNAL_ENUM& table) {
    create(doc, kEnum);
    doc.WriteAttr("Name", table.Name);
    for (const tCAN_SIGNAL_ENUM_ITEM& item : table.Items) {
        create(doc, kEnumItem);
        doc.WriteAttr("txt", item.txt);
        writeInt(doc, "val", item.val);
        doc.LeaveElem();
    }
    doc.LeaveElem();
}
