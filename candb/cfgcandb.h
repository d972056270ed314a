#pragma once
// The configuration's list of CAN databases: each entry holds a database with its name and bookkeeping,
// stored as one "CFG_CAN_DATABASE" element per entry among the children of the configuration root.
#include <cstdint>
#include <string>
#include <vector>

#include "candb/canmodel.h"

class CXmlDoc;

struct tCFG_CAN_DATABASE {
    std::string Name;            // unique in the list (the dialogs refuse a name another entry has)
    int32_t PriorityLevel = -1;  // the greater value wins when two databases define the same message key
    uint8_t FirstAddFlag = 0;    // 1 once created or imported through the database list; kept and stored
    tCAN_DATABASE Database;

    bool operator==(const tCFG_CAN_DATABASE&) const = default;
};

// Reads the next "CFG_CAN_DATABASE" child of the main element into the entry. Not found: false, entry
// unchanged. Found: the entry is replaced by what the element holds (a missing database gives an empty
// one, never the previous entry's).
bool LoadXmlCfgCanDatabase(CXmlDoc& doc, tCFG_CAN_DATABASE& entry);
void SaveXmlCfgCanDatabase(CXmlDoc& doc, const tCFG_CAN_DATABASE& entry);

// The whole list: every "CFG_CAN_DATABASE" child of the main element after the child position, in order;
// writing adds one element per entry in list order.
std::vector<tCFG_CAN_DATABASE> LoadXmlCfgCanDatabaseList(CXmlDoc& doc);
void SaveXmlCfgCanDatabaseList(CXmlDoc& doc, const std::vector<tCFG_CAN_DATABASE>& list);
