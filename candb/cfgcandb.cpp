#include "candb/cfgcandb.h"

#include "candb/canxml.h"
#include "platform/numparse.h"
#include "platform/xml/xmldoc.h"

namespace {
constexpr char kEntry[] = "CFG_CAN_DATABASE";
}

bool LoadXmlCfgCanDatabase(CXmlDoc& doc, tCFG_CAN_DATABASE& entry) {
    if (!doc.SeekChildElem(kEntry) || !doc.EnterChildElem()) return false;
    tCFG_CAN_DATABASE e;
    e.Name = doc.ReadAttr("Name");
    e.PriorityLevel = vex::ParseInt32(doc.ReadAttr("PriorityLevel"));
    e.FirstAddFlag = vex::ParseInt32(doc.ReadAttr("FirstAddFlag")) ? 1 : 0;
    LoadXmlCanDatabase(doc, e.Database);
    doc.LeaveElem();
    entry = std::move(e);
    return true;
}

void SaveXmlCfgCanDatabase(CXmlDoc& doc, const tCFG_CAN_DATABASE& entry) {
    doc.NewElem(kEntry, CXmlDoc::kAsChild);
    doc.EnterChildElem();
    doc.WriteAttr("Name", entry.Name);
    doc.WriteAttr("PriorityLevel", vex::FormatInt(entry.PriorityLevel));
    doc.WriteAttr("FirstAddFlag", vex::FormatInt(entry.FirstAddFlag));
    SaveXmlCanDatabase(doc, entry.Database);
    doc.LeaveElem();
}

std::vector<tCFG_CAN_DATABASE> LoadXmlCfgCanDatabaseList(CXmlDoc& doc) {
    std::vector<tCFG_CAN_DATABASE> list;
    tCFG_CAN_DATABASE entry;
    while (LoadXmlCfgCanDatabase(doc, entry)) list.push_back(std::move(entry));
    return list;
}

void SaveXmlCfgCanDatabaseList(CXmlDoc& doc, const std::vector<tCFG_CAN_DATABASE>& list) {
    for (const tCFG_CAN_DATABASE& entry : list) SaveXmlCfgCanDatabase(doc, entry);
}
