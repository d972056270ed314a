#pragma once
// What the database list does to the configuration's list, without widgets: names for new databases and
// the import of a DBC file as a new entry.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "candb/cfgcandb.h"
#include "platform/clock.h"

namespace candbui {

// "DB-BLANK-" with the year, month, day, hour, minute and the milliseconds of the second ("%04d%02d%02d
// %02d%02d%02d" without the blank).
std::string MakeBlankDbName(const vex::LocalTime& now);
// "%04d年%02d月%02d日%02d时%02d分%02d秒".
std::string DbStampText(const vex::LocalTime& t);

// A blank database as "新增" makes it: version "0.0", author "Vexarium", the stamp, under the blank name
// (with "-NEW" appended once when an entry has that name), priority 0, first-add flag 1.
tCFG_CAN_DATABASE MakeNewDbEntry(const std::vector<tCFG_CAN_DATABASE>& list, const vex::LocalTime& now,
                                 const vex::LocalTime& utcNow);

// The outcome of importing a file.
struct tDBC_IMPORT_OUTCOME {
    bool added = false;    // a new entry is at the end of the list
    std::string infoText;  // for the info messages (source "导入DBC文件"); empty: none
    uint8_t infoLevel = 0;
    std::vector<std::string> infoDetails;  // the info message's detail rows: every kept remark by line
    bool showBox = false;                  // the info text is also shown in a message box
    std::string boxText;  // the box's text when it differs from the info text (one remark a line)
};
// Remarks of an import that its message box lists by line; the info window has them all.
inline constexpr size_t kImportRemarksShown = 5;
inline constexpr const char* kImportSource = "导入DBC文件";

// Reads the file (the extension must be "dbc" in any letter case; another one does nothing) and appends
// it as a new entry unless an entry has its name. A file that is no DBC file, or cannot be read, is
// refused with the reason; what the import left out or changed is reported with it: a warning that counts
// the remarks, with every kept remark as a detail row (line number first) and, when the import kept fewer
// than it made, a row that counts the others; and a message box listing the first kImportRemarksShown
// remarks by line, pointing to the info window for the rest.
tDBC_IMPORT_OUTCOME ImportDbcIntoList(std::vector<tCFG_CAN_DATABASE>& list, const std::string& path,
                                      const vex::LocalTime& now);

}  // namespace candbui
