#include "ui/candb/dblistops.h"

#include <algorithm>
#include <cstdio>

#include "candb/dbcfile.h"

namespace candbui {

std::string MakeBlankDbName(const vex::LocalTime& now) {
    char text[64];
    std::snprintf(text, sizeof text, "DB-BLANK-%04d%02d%02d%02d%02d%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.millisecond);
    return text;
}

std::string DbStampText(const vex::LocalTime& t) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d年%02d月%02d日%02d时%02d分%02d秒", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

tCFG_CAN_DATABASE MakeNewDbEntry(const std::vector<tCFG_CAN_DATABASE>& list, const vex::LocalTime& now,
                                 const vex::LocalTime& utcNow) {
    tCFG_CAN_DATABASE entry;
    entry.Database.FileVer = "0.0";
    entry.Database.Author = "Vexarium";
    entry.Database.LastEditDateTime = DbStampText(utcNow);
    entry.Name = MakeBlankDbName(now);
    for (const tCFG_CAN_DATABASE& e : list)
        if (e.Name == entry.Name) {
            entry.Name += "-NEW";
            break;
        }
    entry.PriorityLevel = 0;
    entry.FirstAddFlag = 1;
    return entry;
}

tDBC_IMPORT_OUTCOME ImportDbcIntoList(std::vector<tCFG_CAN_DATABASE>& list, const std::string& path,
                                      const vex::LocalTime& now) {
    tDBC_IMPORT_OUTCOME out;
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    std::string ext =
        dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (ext != "dbc") return out;

    tDBC_IMPORT import;
    if (const uint32_t result = ParseDbcFile(import, path); result != kDbcOk) {
        if (result == kDbcNotDbc) {
            out.infoText = "文件[" + path + "]中没有一条DBC语句，不是DBC文件，导入失败。";
        } else if (result == kDbcCannotRead) {
            // A file that cannot be read has no line to name (the parse report would say "line -1").
            out.infoText = "无法读取文件[" + path + "]，导入失败。（" + import.Reason + "）";
        } else {
            out.infoText = "解析文件[" + path + "]在第[" + std::to_string(import.LineNo) +
                           "]行时遇到异常返回，导入失败。";
            if (!import.Reason.empty()) out.infoText += "（" + import.Reason + "）";
        }
        out.infoLevel = 1;
        out.showBox = true;
        return out;
    }
    import.Database.FileVer = "0.0";
    import.Database.Author = "dbc文件导入";
    import.Database.LastEditDateTime = DbStampText(now);
    import.Database.ProDes.clear();
    for (const tCFG_CAN_DATABASE& e : list)
        if (e.Name == import.Name) {
            out.infoText = "数据库与现有数据库名称相同[" + import.Name + "]，添加数据库失败。";
            out.infoLevel = 1;
            out.showBox = true;
            return out;
        }
    tCFG_CAN_DATABASE entry;
    entry.Name = import.Name;
    entry.PriorityLevel = 0;
    entry.FirstAddFlag = 1;
    entry.Database = std::move(import.Database);
    list.push_back(std::move(entry));
    out.added = true;
    out.infoText = "导入数据库文件[" + path + "]完成。";
    out.infoLevel = 0;
    if (import.RemarkCount == 0) return out;
    // What the file holds but the database does not (or holds otherwise) reaches the user with the import:
    // all of it in the info window, the first few in the box.
    const std::string head = out.infoText + "其中" + std::to_string(import.RemarkCount) + "处未导入或有改变";
    out.infoText = head + "，各处见信息窗口。";
    const size_t shown = std::min(import.Remarks.size(), kImportRemarksShown);
    out.boxText = head + (import.RemarkCount > shown ? "，前" + std::to_string(shown) + "处：" : "：");
    out.infoDetails.reserve(import.Remarks.size() + 1);
    for (const tDBC_REMARK& remark : import.Remarks) {
        out.infoDetails.push_back("第[" + std::to_string(remark.LineNo) + "]行：" + remark.Text);
        if (out.infoDetails.size() <= shown) out.boxText += "\n" + out.infoDetails.back();
    }
    if (import.RemarkCount > import.Remarks.size())
        out.infoDetails.push_back("另有" + std::to_string(import.RemarkCount - import.Remarks.size()) +
                                  "处未列出（只保留前" + std::to_string(import.Remarks.size()) + "处）。");
    if (import.RemarkCount > shown) out.boxText += "\n其余各处见信息窗口。";
    out.infoLevel = 1;
    out.showBox = true;
    return out;
}

}  // namespace candbui
