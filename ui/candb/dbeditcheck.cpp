#include "ui/candb/dbeditcheck.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "ui/candb/bitcells.h"

namespace candbui {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && isBlank(t.front())) t.remove_prefix(1);
    while (!t.empty() && isBlank(t.back())) t.remove_suffix(1);
    return t;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whole decimal number with optional sign; the magnitude as 64 bits (none past 2^63).
std::optional<int64_t> readWhole(std::string_view text) {
    std::string_view t = trimmed(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty() || t.size() > 18) return std::nullopt;
    int64_t v = 0;
    for (char c : t) {
        if (!isDigit(c)) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
}

template <class List, class NameOf>
bool nameTaken(const List& list, std::string_view name, NameOf nameOf) {
    for (const auto& e : list)
        if (nameOf(e) == name) return true;
    return false;
}

}  // namespace

std::optional<double> ReadRealField(std::string_view text) {
    std::string_view t = trimmed(text);
    const bool plus = !t.empty() && t.front() == '+';
    if (plus) t.remove_prefix(1);
    if (t.empty() || (plus && (t.front() == '+' || t.front() == '-'))) return std::nullopt;
    // Only the characters of a decimal number: from_chars alone would also take "nan" and "inf".
    for (char c : t)
        if (!isDigit(c) && c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-') return std::nullopt;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<uint8_t> ReadByteField(std::string_view text) {
    const std::optional<int64_t> v = readWhole(text);
    if (!v || *v < 0 || *v > 255) return std::nullopt;
    return static_cast<uint8_t>(*v);
}

std::optional<int32_t> ReadIntField(std::string_view text) {
    const std::optional<int64_t> v = readWhole(text);
    if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*v);
}

std::optional<uint32_t> ReadHexIdField(std::string_view text) {
    std::string_view t = trimmed(text);
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.remove_prefix(2);
    if (t.empty()) return std::nullopt;
    uint32_t v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, 16);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return v;
}

std::optional<std::string> validateDbAttributes(std::string_view name, std::string_view origName,
                                                const std::vector<tCFG_CAN_DATABASE>* list) {
    if (name.empty()) return "数据库名称不能为空。";
    if (name != origName && list != nullptr &&
        nameTaken(*list, name, [](const tCFG_CAN_DATABASE& e) -> const std::string& { return e.Name; }))
        return "与现有的数据库名称相同。";
    return std::nullopt;
}

std::optional<std::string> validateSignalEdit(const tSIGNAL_EDIT_FIELDS& f, std::string_view origName,
                                              const CCanMsg& msg) {
    // Reading the controls, in their order: the bit length, then the four real numbers.
    const std::optional<uint8_t> bitLen = ReadByteField(f.BitLen);
    if (!bitLen) return kNotByte;
    for (const std::string* t : {&f.Factor, &f.Offset, &f.Min, &f.Max})
        if (!ReadRealField(*t)) return kNotNumber;
    if (f.Name.empty()) return "名称不能为空。";
    if (*bitLen == 0) return "位长度不能为0。";
    if (*ReadRealField(f.Factor) == 0.0) return "转换因子不能为0。";
    if (f.Name != origName &&
        nameTaken(msg.Signals, f.Name, [](const CCanSignal& s) -> const std::string& { return s.Name; }))
        return "此信号名称与此报文中其他信号命名冲突。";
    return std::nullopt;
}

void ApplySignalEdit(const tSIGNAL_EDIT_FIELDS& f, CCanSignal& signal) {
    signal.Name = f.Name;
    signal.ValFactor = ReadRealField(f.Factor).value_or(signal.ValFactor);
    signal.ValOffset = ReadRealField(f.Offset).value_or(signal.ValOffset);
    signal.PhyMin = ReadRealField(f.Min).value_or(signal.PhyMin);
    signal.PhyMax = ReadRealField(f.Max).value_or(signal.PhyMax);
    signal.BitLen = ReadByteField(f.BitLen).value_or(signal.BitLen);
    signal.Unit = f.Unit;
    signal.Enum = f.EnumOn ? 1 : 0;
    signal.Sign = f.Signed ? 1 : 0;
    signal.ByteFmtIntel = f.Intel ? 1 : 0;
    signal.SigEnum.Name = f.Name;
}

std::optional<std::pair<double, double>> ComputeSignalRange(const tSIGNAL_EDIT_FIELDS& f,
                                                            std::string* message) {
    auto fail = [message](const char* m) {
        if (message != nullptr) *message = m;
        return std::nullopt;
    };
    const std::optional<uint8_t> bitLen = ReadByteField(f.BitLen);
    if (!bitLen) return fail(kNotByte);
    for (const std::string* t : {&f.Factor, &f.Offset, &f.Min, &f.Max})
        if (!ReadRealField(*t)) return fail(kNotNumber);
    CCanSignal s;
    s.Sign = f.Signed ? 1 : 0;
    s.BitLen = *bitLen;
    s.ValFactor = *ReadRealField(f.Factor);
    s.ValOffset = *ReadRealField(f.Offset);
    std::pair<double, double> range;
    s.CalcPhyRange(range.first, range.second);
    return range;
}

std::optional<std::string> validateEnumEdit(std::string_view name, std::string_view origName,
                                            const tCAN_DATABASE* db) {
    if (name.empty()) return "枚举名称不能为空。";
    if (name != origName && db != nullptr &&
        nameTaken(db->Enums, name, [](const tCAN_SIGNAL_ENUM& e) -> const std::string& { return e.Name; }))
        return "枚举名称与现有数据库中枚举名称冲突。";
    return std::nullopt;
}

std::optional<std::string> validateEnumItem(uint8_t mode, std::string_view text, std::string_view valText,
                                            std::string_view origText, int32_t origVal,
                                            const tCAN_SIGNAL_ENUM& table, int32_t* value) {
    const std::optional<int32_t> val = ReadIntField(valText);
    if (!val) return kNotInteger;
    if (text.empty()) return "描述内容不能为空。";
    static constexpr const char* kClash = "数值描述与已有的枚举项冲突。";
    if (mode == kEnumItemNew) {
        for (const tCAN_SIGNAL_ENUM_ITEM& e : table.Items)
            if (e.txt == text || e.val == *val) return kClash;
    } else {
        if (text != origText)
            for (const tCAN_SIGNAL_ENUM_ITEM& e : table.Items)
                if (e.txt == text) return kClash;
        if (*val != origVal)
            for (const tCAN_SIGNAL_ENUM_ITEM& e : table.Items)
                if (e.val == *val) return kClash;
    }
    if (value != nullptr) *value = *val;
    return std::nullopt;
}

int32_t ProposedEnumItemValue(uint32_t lastAdded) {
    return static_cast<int32_t>(lastAdded + 1u);
}

std::optional<std::string> validateMsgEdit(const tCAN_DATABASE* db, const tMSG_EDIT_FIELDS& f, uint8_t mode,
                                           uint32_t origId, const CCanMsg& msg) {
    if (db == nullptr) return "数据设置存在错误。";
    const std::optional<uint8_t> dl = ReadByteField(f.DlText);
    if (!dl) return kNotByte;
    if (f.Name.empty()) return "报文名称不能为空。";
    const std::optional<uint32_t> id = ReadHexIdField(f.IdText);
    if (!id || *id > (f.Ext ? 0x1FFFFFFFu : 0x7FFu)) return "不合法的报文ID。";
    if (*dl == 0) return "报文的数据域长度不能为0。";
    if (*dl > 8) return "报文的数据域长度不能超过8。";
    if (HasOverlap(BuildBitCells(msg, -1))) return "报文的信号有重叠区域。";
    if (mode == kMsgNew || *id != origId)
        for (const CCanMsg& m : db->Messages)
            if (m.id == *id) return "所添加的报文ID与现有报文ID冲突。";
    return std::nullopt;
}

namespace {

// The first row whose tick reads as a nonzero decimal number.
const tPICK_ROW* tickedRow(const std::vector<tPICK_ROW>& rows) {
    for (const tPICK_ROW& r : rows) {
        const std::optional<int64_t> v = readWhole(r.Tick);
        if (v && *v != 0) return &r;
    }
    return nullptr;
}

}  // namespace

PickOutcome checkFreeSignalPick(const tCAN_DATABASE* db, const CCanMsg& msg,
                                const std::vector<tPICK_ROW>& rows, CCanSignal& signal,
                                std::string& message) {
    const tPICK_ROW* row = tickedRow(rows);
    const CCanSignal* taken = nullptr;
    if (row != nullptr && db != nullptr)
        for (const CCanSignal& s : db->FreeSigMsg.Signals)
            if (s.Name == row->Name) {
                taken = &s;
                break;
            }
    if (taken == nullptr) {
        if (rows.empty()) return PickOutcome::Empty;
        message = "请选择其中一项。";
        return PickOutcome::Refused;
    }
    for (const CCanSignal& s : msg.Signals)
        if (s.Name == taken->Name) {
            message = "所选信号与现有信号名称相同。";
            return PickOutcome::Refused;
        }
    signal = *taken;
    return PickOutcome::Taken;
}

PickOutcome checkPublicEnumPick(const tCAN_DATABASE* db, const std::vector<tPICK_ROW>& rows,
                                tCAN_SIGNAL_ENUM& table, std::string& message) {
    const tPICK_ROW* row = tickedRow(rows);
    if (row != nullptr && db != nullptr)
        for (const tCAN_SIGNAL_ENUM& e : db->Enums)
            if (e.Name == row->Name) {
                table = e;
                return PickOutcome::Taken;
            }
    if (rows.empty()) return PickOutcome::Empty;
    message = "请选择其中一项。";
    return PickOutcome::Refused;
}

std::string MsgNodeText(const CCanMsg& msg) {
    char id[16];
    std::snprintf(id, sizeof id, msg.Ext != 0 ? "%08X" : "%03X", msg.id);
    return msg.Name + " [ 0x" + id + " ]";
}

std::string EnumItemText(const tCAN_SIGNAL_ENUM_ITEM& item) {
    return item.txt + " [" + std::to_string(item.val) + "]";
}

std::string SignalPlaceText(const CCanSignal& signal) {
    char text[16];
    std::snprintf(text, sizeof text, "{%d-%d}", signal.BitOffset, signal.BitLen);
    return text;
}

}  // namespace candbui
