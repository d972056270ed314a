// Writing DBC text.
#include <string>
#include <string_view>

#include "candb/dbcfile.h"
#include "candb/dbctext.h"
#include "platform/numparse.h"
#include "platform/textcodec.h"
#include "platform/util/filewrite.h"
#include "platform/util/utils.h"

namespace {

constexpr std::string_view kEol = "\r\n";

// The free-signal message's name when the database gives it none: the format's conventional one.
constexpr std::string_view kFreeSignalName = "VECTOR__INDEPENDENT_SIG_MSG";

// The pairs of a value list and its ';'. A signal's entries are written as the raw values they stand for
// (DBC value descriptions are keyed on raw values, the program's tables on physical ones); a public table
// belongs to no signal and keeps its values.
void appendItems(std::string& out, const std::vector<tCAN_SIGNAL_ENUM_ITEM>& items,
                 const CCanSignal* signal = nullptr) {
    for (const tCAN_SIGNAL_ENUM_ITEM& item : items) {
        int64_t raw = item.val;
        if (signal != nullptr && !signal->EnumValueToRaw(item.val, raw)) raw = item.val;
        out += std::to_string(raw);
        out += " \"";
        out += item.txt;
        out += "\" ";
    }
    out += ';';
    out += kEol;
}

// One BO_ block and its blank line; the VAL_ lines of its signals are appended to vals.
void appendMessage(std::string& out, std::string& vals, const CCanMsg& msg, uint32_t fileId,
                   std::string_view name) {
    const std::string id = std::to_string(fileId);
    out += "BO_ " + id + ' ';
    out += name;
    out += ": " + vex::FormatInt(msg.DL) + " Vector__XXX";
    out += kEol;
    for (const CCanSignal& s : msg.Signals) {
        out += " SG_ " + s.Name + " : " + vex::FormatInt(s.BitOffset) + '|' + vex::FormatInt(s.BitLen) + '@';
        out += s.ByteFmtIntel ? '1' : '0';
        out += s.Sign ? "- (" : "+ (";
        out += DoubleToStr(s.ValFactor) + ',' + DoubleToStr(s.ValOffset) + ") [";
        out += DoubleToStr(s.PhyMin) + '|' + DoubleToStr(s.PhyMax) + "] \"" + s.Unit + "\" Vector__XXX";
        out += kEol;
        if (s.Enum) {
            vals += "VAL_ " + id + ' ';
            vals += vexdbc::ValueDescriptionName(s.Name);
            vals += ' ';
            appendItems(vals, s.SigEnum.Items, &s);
        }
    }
    out += kEol;
}

}  // namespace

std::string FormatDbcFile(const tCAN_DATABASE& database) {
    std::string out;
    out += "VERSION \"\"\r\n\r\n\r\nNS_ :\r\n";
    for (std::string_view symbol : vexdbc::kNsSymbols) {
        out += '\t';
        out += symbol;
        out += kEol;
    }
    out += "\r\nBS_:\r\n\r\nBU_:\r\n";
    for (const tCAN_SIGNAL_ENUM& table : database.Enums) {
        out += "VAL_TABLE_ " + table.Name + ' ';
        appendItems(out, table.Items);
    }
    out += "\r\n\r\n";

    std::string vals;
    for (const CCanMsg& msg : database.Messages) {
        // Extended identifiers carry bit 31; only the 29 identifier bits are kept beside it.
        const uint32_t fileId = msg.Ext ? ((msg.id & 0x1FFFFFFFu) | 0x80000000u) : msg.id;
        appendMessage(out, vals, msg, fileId, msg.Name);
    }
    // Free signals go into the format's pseudo message, which the reader turns back into free signals.
    // Without free signals there is no such message.
    const CCanMsg& free = database.FreeSigMsg;
    if (!free.Signals.empty()) {
        appendMessage(out, vals, free, vexdbc::kFreeSignalFileId,
                      free.Name.empty() ? kFreeSignalName : std::string_view(free.Name));
        out += kEol;
    }
    out += vals;

    if (vex::IsAscii(out)) return out;
    // GBK, unless a text cannot be held in GBK or the GBK bytes would pass for UTF-8 when read back;
    // then the whole file is UTF-8, which the reader recognises.
    std::string gbk = vex::Utf8ToGbk(out);
    if (!vex::IsValidUtf8(gbk) && vex::GbkToUtf8(gbk) == out) return gbk;
    return out;
}

bool WriteDbcFile(const tCAN_DATABASE& database, const std::string& path, std::string* error) {
    const int result = WriteFileReplacing(path, FormatDbcFile(database));
    if (result != 0 && error) *error = ErrorText(result);
    return result == 0;
}
