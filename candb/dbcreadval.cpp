// Value lists: value tables (VAL_TABLE_), kept as the database's public tables, and value descriptions of
// signals (VAL_), whose keys are raw values and become the table values the codec shows them through.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "candb/dbcreader.h"
#include "candb/dbcwords.h"

namespace vexdbc {

namespace {

using sv = std::string_view;
constexpr size_t npos = sv::npos;

// A table text without its surrounding blanks. A blank that a backslash takes as it is stays with the
// text: cut off, it would leave the backslash last, and the writer's closing quote would then be taken
// as text, so the export would not read back.
sv trimTableText(sv text) {
    const sv t = trimSpace(text);
    size_t slashes = 0;
    while (slashes < t.size() && t[t.size() - 1 - slashes] == '\\') ++slashes;
    const auto start = static_cast<size_t>(t.data() - text.data());
    if (slashes % 2 == 1 && start + t.size() < text.size()) return text.substr(start, t.size() + 1);
    return t;
}

// "<id> <signal> <pairs>": the identifier (empty when the text holds no blank: identifier 0), the signal's
// name and the text of the pairs. False when a word is missing.
bool splitValHead(sv text, sv& idText, sv& signalName, sv& items) {
    sv after;
    idText = {};
    items = {};
    if (!splitWord(text, idText, after)) after = text;
    if (splitWord(after, signalName, items)) return !idText.empty();
    signalName = after;
    return false;
}

}  // namespace

// "<name> <value> "<text>" ... ;" on one line. False without a blank after the name. A table without its
// ';' is taken up to the end of its line, with a remark.
bool DbcReader::ParseDbcValTable(sv rest) {
    sv name, items;
    if (!splitWord(rest, name, items)) return false;
    if (!readItems(items)) remark(m_import.LineNo, cat({"值表[", name, "]缺少结尾的分号，已读至行尾。"}));
    tCAN_SIGNAL_ENUM& table = m_db.Enums.emplace_back();
    table.Name = name;
    table.Items.reserve(m_items.size());
    for (const ValueItem& item : m_items) {
        tCAN_SIGNAL_ENUM_ITEM& entry = table.Items.emplace_back();
        entry.txt.assign(trimTableText(item.text));
        entry.val = parseInt(item.number);
    }
    return true;
}

// "<id> <signal> <value> "<text>" ... ;", possibly over several lines. Binds the table to the signal of
// that name (without a multiplexer indicator) in the message with that identifier, read before it. A list
// without its ';' is taken as far as the lines that can only continue it (never into the next statement),
// with a remark.
bool DbcReader::ParseDbcVal(sv rest) {
    const int32_t valLine = m_import.LineNo;
    sv idText, signalName, items;
    // Most lists are one line ending in their ';': their pairs are read once, where they stand.
    bool oneLine = false;
    if (splitValHead(rest, idText, signalName, items) && idText.find(';') == npos &&
        signalName.find(';') == npos) {
        m_items.clear();
        const size_t end = ReadValueItems(items, m_items);
        oneLine = end < items.size() && items[end] == ';';
    }
    if (!oneLine) {
        bool terminated = false;
        const sv text = readStatement(rest, terminated);
        splitValHead(text, idText, signalName, items);
        readItems(items);  // the statement's text ends before its ';'
        if (!terminated) {
            const int32_t last = m_import.LineNo;
            remark(valLine,
                   cat({"信号[", signalName, "]的值描述缺少结尾的分号，已读至",
                        last == valLine ? std::string("行尾") : cat({"第[", std::to_string(last), "]行末尾"}),
                        "。"}));
        }
    }
    const FileId id = idText.empty() ? FileId{} : MapFileId(parseUInt(idText));
    CCanSignal* s = findSignal(id, signalName);
    if (s == nullptr) {
        if (!refused(MessageKey(id.id, id.ext), signalName))
            remark(valLine, cat({"值描述所属的信号[", signalName, "]不在文件的报文中，已跳过。"}));
        return true;
    }
    uint32_t beyond = 0;
    int64_t firstBeyond = 0;
    const int64_t span = s->Sign && s->BitLen >= 1 && s->BitLen <= 32 ? int64_t{1} << s->BitLen : 0;
    const bool unscaled = s->ValFactor == 1.0 && s->ValOffset == 0.0;  // most tables: key and value agree
    m_keys.clear();
    for (uint32_t i = 0; i < m_items.size(); ++i) {
        int64_t raw = parseInt64(m_items[i].number);
        // A signed signal's key written as its bit pattern stands for the negative value it is.
        if (span != 0 && raw >= span / 2 && raw < span) raw -= span;
        int32_t val = 0;
        if (!s->RawToEnumValue(raw, val)) {
            if (beyond++ == 0) firstBeyond = raw;
            continue;
        }
        m_keys.push_back({raw, val, i});
    }
    // Distinct keys shown through one value cannot be told apart (the codec would show one key's text
    // for the others): none of them is kept. Unscaled keys are their own values and never share one.
    const std::string shared = unscaled ? std::string() : leaveOutSharedValues();
    tCAN_SIGNAL_ENUM table;
    table.Name = signalName;
    table.Items.reserve(static_cast<size_t>(
        std::count_if(m_keys.begin(), m_keys.end(), [](const Key& key) { return key.index != kLeftOut; })));
    uint32_t inexact = 0;
    int64_t firstInexact = 0;
    for (const Key& key : m_keys) {
        if (key.index == kLeftOut) continue;
        int64_t back = 0;
        if (!unscaled && (!s->EnumValueToRaw(key.val, back) || back != key.raw) && inexact++ == 0)
            firstInexact = key.raw;
        tCAN_SIGNAL_ENUM_ITEM& entry = table.Items.emplace_back();
        entry.txt.assign(m_items[key.index].text);
        entry.val = key.val;
    }
    // A signal shows through a value table only when the table has an entry to show; otherwise the
    // list would offer a choice of nothing where a number can be typed.
    if (table.Items.empty()) {
        s->SigEnum = tCAN_SIGNAL_ENUM();
        s->Enum = 0;
    } else {
        s->SigEnum = std::move(table);
        s->Enum = 1;
    }
    if (beyond != 0)
        remark(valLine, cat({"信号[", s->Name, "]的", std::to_string(beyond), "项值描述（如原始值",
                             std::to_string(firstBeyond), "）换算出的物理值超出32位整数，已跳过。"}));
    if (!shared.empty()) remark(valLine, cat({"信号[", s->Name, "]的", shared}));
    if (inexact != 0)
        remark(valLine, cat({"信号[", s->Name, "]的", std::to_string(inexact), "项值描述（如原始值",
                             std::to_string(firstInexact),
                             "）按因子和偏移换算为物理值后不能精确还原，导出时原始值会改变。"}));
    return true;
}

// Marks (index kLeftOut) every key of m_keys that shares its value with a different key, and returns
// what the remark says of them after the signal's name, or an empty text when no key shares a value.
std::string DbcReader::leaveOutSharedValues() {
    if (m_keys.size() < 2) return {};
    m_byValue.resize(m_keys.size());
    for (uint32_t i = 0; i < m_keys.size(); ++i) m_byValue[i] = i;
    // By value, then in file order: each run of one value lists its keys as the file has them.
    std::sort(m_byValue.begin(), m_byValue.end(), [this](uint32_t a, uint32_t b) {
        return m_keys[a].val != m_keys[b].val ? m_keys[a].val < m_keys[b].val : a < b;
    });
    struct Run {
        uint32_t first, end;  // in m_byValue
    };
    std::vector<Run> runs;
    for (uint32_t from = 0, to = 0; from < m_byValue.size(); from = to) {
        bool distinct = false;
        for (to = from + 1; to < m_byValue.size() && m_keys[m_byValue[to]].val == m_keys[m_byValue[from]].val;
             ++to)
            distinct = distinct || m_keys[m_byValue[to]].raw != m_keys[m_byValue[from]].raw;
        if (distinct) runs.push_back({from, to});
    }
    if (runs.empty()) return {};
    // The runs in the order in which the file first names them.
    std::sort(runs.begin(), runs.end(),
              [this](const Run& a, const Run& b) { return m_byValue[a.first] < m_byValue[b.first]; });
    // The keys are listed up to a bound, so a hostile list cannot make a report of any length.
    constexpr size_t kListed = 24;
    size_t listed = 0, count = 0;
    std::string list;
    for (const Run& run : runs) {
        count += run.end - run.first;
        if (listed > kListed) continue;
        if (listed == kListed) {
            list += "等";
            ++listed;
            continue;
        }
        list += listed == 0 ? "原始值" : "；原始值";
        for (uint32_t i = run.first; i < run.end; ++i) {
            if (listed == kListed) {
                list += "等";
                ++listed;
                break;
            }
            if (i != run.first) list += "、";
            list += std::to_string(m_keys[m_byValue[i]].raw);
            ++listed;
        }
        list += cat({"（物理值", std::to_string(m_keys[m_byValue[run.first]].val), "）"});
    }
    for (const Run& run : runs)
        for (uint32_t i = run.first; i < run.end; ++i) m_keys[m_byValue[i]].index = kLeftOut;
    return cat(
        {std::to_string(count), "项值描述按因子和偏移换算后物理值相同、无法区分，已跳过：", list, "。"});
}

// The pairs of a value list into m_items (kept from list to list, so the table that takes them is
// made to their exact number). False when the list has no ';' after its pairs.
bool DbcReader::readItems(sv text) {
    m_items.clear();
    const size_t end = ReadValueItems(text, m_items);
    if (end < text.size() && text[end] == ';') return true;
    QuoteScan scan;
    return scan.findTerminator(text.substr(end)) != npos;
}

}  // namespace vexdbc
