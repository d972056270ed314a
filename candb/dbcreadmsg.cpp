// Messages (BO_) and their signals (SG_): what each line gives, what the program cannot take of them, and
// finding a message's signal again for the value descriptions that follow.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "candb/dbcreader.h"
#include "candb/dbcwords.h"

namespace vexdbc {

namespace {

using sv = std::string_view;
constexpr size_t npos = sv::npos;

// A start bit, bit length or data length: the model holds 0..255; anything outside reads as 255, so a
// signal placed beyond the first 32 bytes of a long frame never aliases onto the first bytes.
uint8_t saturate8(int64_t value) {
    return value < 0 || value > 255 ? 255 : static_cast<uint8_t>(value);
}

// Why the program cannot take a signal: it could neither decode it from eight data bytes nor show it in
// the signal editor (which refuses a factor of 0 and numbers that are not finite). Empty when it can.
std::string signalProblem(const CCanSignal& s, const SgPlace& place) {
    if (!place.wellFormed) return "信号语句缺少名称或位置（起始位|长度@字节序）";
    if (place.length < 1 || place.length > 32)
        return cat({"位长度为", std::to_string(place.length), "，不在1~32之内"});
    if (place.start < 0 || place.start > 63 || !s.FitsData())
        return cat({"位置（起始位", std::to_string(place.start), "，长度", std::to_string(place.length),
                    "）超出8个数据字节"});
    if (s.ValFactor == 0.0) return "转换因子为0";
    for (double d : {s.ValFactor, s.ValOffset, s.PhyMin, s.PhyMax})
        if (!std::isfinite(d)) return "转换因子、偏移或范围不是有限的数";
    return {};
}

// "<open><first><separator><second><close>" at or after pos; on success pos moves past it.
bool enclosed(sv text, size_t& pos, char open, char separator, char close, sv& first, sv& second) {
    const size_t o = text.find(open, pos);
    const size_t s = o == npos ? npos : text.find(separator, o + 1);
    const size_t c = s == npos ? npos : text.find(close, s + 1);
    if (c == npos) return false;
    first = text.substr(o + 1, s - o - 1);
    second = text.substr(s + 1, c - s - 1);
    pos = c + 1;
    return true;
}

}  // namespace

// A message and the SG_ lines that follow it. The block ends at an empty line or at the first line
// that is a statement of the format, which is then handled as such; any other line is skipped and the
// block goes on. The signals are collected in a list kept from block to block and then moved into a
// list of exactly their number. A message that cannot be taken is read to its end and left out whole.
void DbcReader::readBoBlock(sv rest) {
    const int32_t boLine = m_import.LineNo;
    CCanMsg msg;
    const bool wellFormed = ParseDbcBo(rest, msg);
    const uint64_t key = MessageKey(msg.id, msg.Ext);
    if (wellFormed && (m_idTaken != FileId::AsWritten || m_idBeyond32Bits)) remarkIdentifier(boLine, msg);
    const uint32_t earlier = wellFormed ? m_messageKeys.find(key) : kNone;
    const bool keep = wellFormed && earlier == kNone;
    uint32_t leftOut = 0;
    sv line;
    while (readLine(line)) {
        const sv t = trimSpace(line);
        if (t.empty()) break;
        sv keyword, sgRest;
        if (!splitWord(t, keyword, sgRest)) keyword = t;
        if (is(keyword, "SG_")) {
            if (keep) {
                readSignal(sgRest, msg.Name, key);
            } else {
                ++leftOut;
                const sv name = ValueDescriptionName(trimSpace(sgRest.substr(0, sgRest.find(':'))));
                m_refusedSignals.emplace_back(key, std::string(name));
            }
        } else if (IsDbcKeyword(keyword)) {
            m_pending = line;
            break;
        } else {
            skipUnknownLine();
        }
    }
    if (!keep) {
        const std::string signals = cat({"，已跳过（含", std::to_string(leftOut), "个信号）。"});
        if (!wellFormed) {
            remark(boLine, cat({"报文语句缺少ID或名称", signals}));
        } else {
            remark(boLine, cat({"报文[", msg.Name, "]的ID与第[", std::to_string(m_messageLines[earlier]),
                                "]行的报文[", m_db.Messages[earlier].Name, "]相同", signals}));
        }
        return;
    }
    msg.Signals.reserve(m_signals.size());
    std::move(m_signals.begin(), m_signals.end(), std::back_inserter(msg.Signals));
    m_signals.clear();
    m_messageKeys.add(key, static_cast<uint32_t>(m_db.Messages.size()));
    m_messageLines.push_back(boLine);
    m_db.Messages.push_back(std::move(msg));
}

// Names an identifier the import took otherwise than the file writes it, with what it became.
void DbcReader::remarkIdentifier(int32_t boLine, const CCanMsg& msg) {
    char id[16];
    std::snprintf(id, sizeof id, "0x%X", msg.id);
    const std::string became = cat({msg.Ext ? "扩展帧ID[" : "标准帧ID[", id, "]"});
    std::string why;
    if (m_idBeyond32Bits)
        why = "超出32位";
    else if (m_idTaken == FileId::AsExtended)
        why = "超出11位且未标记为扩展帧";
    else
        why = "超出29位";
    remark(boLine, cat({"报文[", msg.Name, "]的ID[", m_idWritten, "]", why, "，已按", became, "导入。"}));
}

// One SG_ line of a message that is taken: the signal joins the block's list unless the program
// cannot take it or the message has a signal of that name.
void DbcReader::readSignal(sv rest, const std::string& msgName, uint64_t msgKey) {
    CCanSignal& s = m_signals.emplace_back();
    const SgPlace place = ParseDbcSg(rest, s);
    std::string problem = signalProblem(s, place);
    if (problem.empty()) {
        for (size_t i = 0; i + 1 < m_signals.size(); ++i)
            if (m_signals[i].Name == s.Name) {
                problem = "与同一报文中的信号重名";
                break;
            }
    }
    if (problem.empty()) return;
    remark(m_import.LineNo, cat({"报文[", msgName, "]的信号[", s.Name, "]：", problem, "，已跳过。"}));
    m_refusedSignals.emplace_back(msgKey, std::string(ValueDescriptionName(s.Name)));
    m_signals.pop_back();
}

// "<id> <name>: <length> <transmitter>". False without a numeric identifier, a colon or a name.
bool DbcReader::ParseDbcBo(sv text, CCanMsg& msg) {
    sv idText, rest;
    m_idTaken = FileId::AsWritten;
    if (!splitWord(text, idText, rest)) return false;
    m_idWritten.assign(idText);
    const uint32_t value = parseUInt(idText);
    // Digits beyond what 32 bits hold read as 0xFFFFFFFF, as the C library reads them.
    m_idBeyond32Bits = value == 0xFFFFFFFFu &&
                       idText.substr(std::min(idText.find_first_not_of('0'), idText.size())) != "4294967295";
    const FileId id = MapFileId(value);
    msg.id = id.id;
    msg.Ext = id.ext;
    m_idTaken = id.taken;
    const bool numeric = std::all_of(idText.begin(), idText.end(), isDigit);
    const size_t colon = rest.find(':');
    if (colon == npos) return false;
    msg.Name = trimSpace(rest.substr(0, colon));
    const sv length = firstWord(rest.substr(colon + 1));
    if (!length.empty()) msg.DL = saturate8(parseUInt(length));
    return numeric && !msg.Name.empty();
}

// "<name> [<multiplexer>] : <start>|<length>@<order><sign> (<factor>,<offset>) [<min>|<max>]
// "<unit>" <receivers>". Each field is read between its own delimiters; a field whose delimiters are
// missing keeps the fresh signal's default.
SgPlace DbcReader::ParseDbcSg(sv text, CCanSignal& s) {
    SgPlace place;
    size_t pos = 0;
    const size_t colon = text.find(':');
    if (colon != npos) {
        s.Name = trimSpace(text.substr(0, colon));
        pos = colon + 1;
    }
    const size_t bar = text.find('|', pos);
    const size_t at = bar == npos ? npos : text.find('@', bar + 1);
    if (at != npos) {
        place.start = parseInt(text.substr(pos, bar - pos));
        place.length = parseInt(text.substr(bar + 1, at - bar - 1));
        s.BitOffset = saturate8(place.start);
        s.BitLen = saturate8(place.length);
        pos = at + 1;
        // The byte-order digit right after '@', and the sign right after the digit.
        if (pos < text.size() && !isSpace(text[pos])) {
            s.ByteFmtIntel = text[pos] == '1' ? 1 : 0;
            ++pos;
            if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
                s.Sign = text[pos] == '-' ? 1 : 0;
                ++pos;
            }
        }
    }
    place.wellFormed = colon != npos && !s.Name.empty() && at != npos;
    sv first, second;
    if (enclosed(text, pos, '(', ',', ')', first, second)) {
        s.ValFactor = parseReal(first);
        s.ValOffset = parseReal(second);
    }
    if (enclosed(text, pos, '[', '|', ']', first, second)) {
        s.PhyMin = parseReal(first);
        s.PhyMax = parseReal(second);
    }
    if (const size_t open = text.find('"', pos); open != npos) {
        const size_t close = ClosingQuote(text, open + 1);
        s.Unit = text.substr(open + 1, (close == npos ? text.size() : close) - open - 1);
    }
    return place;
}

// The signal whose name without multiplexer indicator is `name` (a word: it holds no white space).
CCanSignal* DbcReader::findSignal(FileId id, sv name) {
    const uint32_t m = m_messageKeys.find(MessageKey(id.id, id.ext));
    if (m == kNone) return nullptr;
    for (CCanSignal& s : m_db.Messages[m].Signals) {
        const sv full = s.Name;
        if (full.starts_with(name) && (full.size() == name.size() || isSpace(full[name.size()]))) return &s;
    }
    return nullptr;
}

// Whether a value description belongs to a signal that was left out with a remark.
bool DbcReader::refused(uint64_t msgKey, sv name) const {
    for (const auto& [key, signal] : m_refusedSignals)
        if (key == msgKey && signal == name) return true;
    return false;
}

void DbcReader::MessageKeys::add(uint64_t key, uint32_t message) {
    if ((m_used + 1) * 2 > m_slots.size()) grow();
    m_slots[slotOf(key)] = {key, message};
    ++m_used;
}

uint32_t DbcReader::MessageKeys::find(uint64_t key) const {
    if (m_slots.empty()) return kNone;
    const Slot& s = m_slots[slotOf(key)];
    return s.key == 0 ? kNone : s.message;
}

size_t DbcReader::MessageKeys::slotOf(uint64_t key) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t i = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;; i = (i + 1) & mask)
        if (m_slots[i].key == key || m_slots[i].key == 0) return i;
}

void DbcReader::MessageKeys::grow() {
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    for (const Slot& s : old)
        if (s.key != 0) m_slots[slotOf(s.key)] = s;
}

}  // namespace vexdbc
