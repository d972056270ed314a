// Reading DBC text. The bytes are decoded to UTF-8 first, so no byte of a multi-byte character can be
// mistaken for a delimiter; every statement is then parsed from views into that text.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "candb/dbcfile.h"
#include "candb/dbctext.h"
#include "candb/strsplit.h"
#include "platform/numparse.h"
#include "platform/textcodec.h"

using namespace vexdbc;

namespace {

using sv = std::string_view;
constexpr size_t npos = sv::npos;

// A start bit, bit length or data length: the model holds 0..255; anything outside reads as 255, so a
// signal placed beyond the first 32 bytes of a long frame never aliases onto the first bytes.
uint8_t saturate8(int64_t value) {
    return value < 0 || value > 255 ? 255 : static_cast<uint8_t>(value);
}

size_t findSpace(sv text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (isSpace(text[i])) return i;
    return npos;
}

// The first word (up to white space) and the text after it without leading white space. False when the
// text holds no white space.
bool splitWord(sv text, sv& word, sv& rest) {
    const size_t at = findSpace(text);
    if (at == npos) return false;
    word = text.substr(0, at);
    rest = trimLeftSpace(text.substr(at + 1));
    return true;
}

sv firstWord(sv text) {
    text = trimLeftSpace(text);
    return text.substr(0, findSpace(text));
}

// The lines of the text, without their line end.
class LineSource {
public:
    explicit LineSource(sv text) : m_text(text) {}
    bool next(sv& line) {
        if (m_pos >= m_text.size()) return false;
        size_t end = m_text.find('\n', m_pos);
        if (end == npos) end = m_text.size();
        line = m_text.substr(m_pos, end - m_pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        m_pos = end + 1;
        return true;
    }
    size_t position() const { return m_pos; }
    void rewind(size_t pos) { m_pos = pos; }

private:
    sv m_text;
    size_t m_pos = 0;
};

class DbcReader {
public:
    DbcReader(tDBC_IMPORT& import, sv text) : m_import(import), m_db(import.Database), m_lines(text) {}

    uint32_t run() {
        sv line;
        while (nextStatementLine(line)) {
            if (!dispatch(trimSpace(line))) return kDbcFailed;
        }
        takeFreeSignals();
        return kDbcOk;
    }

private:
    bool readLine(sv& line) {
        if (!m_lines.next(line)) return false;
        ++m_import.LineNo;
        return true;
    }

    // A line that ended a block is handled as a statement of its own before the next line is read.
    bool nextStatementLine(sv& line) {
        if (m_pending) {
            line = *m_pending;
            m_pending.reset();
            return true;
        }
        return readLine(line);
    }

    bool dispatch(sv line) {
        sv keyword, rest;
        if (line.empty() || !splitWord(line, keyword, rest)) return true;
        if (keyword == "NS_") {
            ParseDbcNs();
        } else if (keyword == "VAL_TABLE_") {
            return ParseDbcValTable(rest);
        } else if (keyword == "BO_") {
            readBoBlock(rest);
        } else if (keyword == "CM_") {
            ParseDbcCm(rest);
        } else if (keyword == "VAL_") {
            ParseDbcVal(rest);
        }
        // VERSION, BS_:, BU_:, BA_ and every other keyword: nothing is kept.
        return true;
    }

    // The symbol list: one word per line, ended by an empty line or by the first line that holds a blank
    // (a statement, which is then handled as such).
    void ParseDbcNs() {
        sv line;
        while (readLine(line)) {
            const sv t = trimSpace(line);
            if (t.empty()) return;
            if (findSpace(t) != npos) {
                m_pending = line;
                return;
            }
        }
    }

    // A message and the SG_ lines that follow it. The block ends at an empty line or at the first line
    // that is not an SG_ line, which is then handled as a statement.
    void readBoBlock(sv rest) {
        CCanMsg msg;
        ParseDbcBo(rest, msg);
        sv line;
        while (readLine(line)) {
            const sv t = trimSpace(line);
            if (t.empty()) break;
            sv keyword, sgRest;
            if (!splitWord(t, keyword, sgRest) || keyword != "SG_") {
                m_pending = line;
                break;
            }
            ParseDbcSg(sgRest, msg.Signals.emplace_back());
        }
        const uint32_t msgIndex = static_cast<uint32_t>(m_db.Messages.size());
        for (uint32_t i = 0; i < msg.Signals.size(); ++i)
            m_signalIndex.try_emplace(
                SignalKey{msg.id, msg.Ext, std::string(ValueDescriptionName(msg.Signals[i].Name))}, msgIndex,
                i);
        m_db.Messages.push_back(std::move(msg));
    }

    // "<id> <name>: <length> <transmitter>"
    static void ParseDbcBo(sv text, CCanMsg& msg) {
        sv idText, rest;
        if (splitWord(text, idText, rest)) {
            const FileId id = MapFileId(vex::ParseUInt32(idText));
            msg.id = id.id;
            msg.Ext = id.ext;
            text = rest;
        }
        const size_t colon = text.find(':');
        if (colon == npos) return;
        msg.Name = trimSpace(text.substr(0, colon));
        const sv length = firstWord(text.substr(colon + 1));
        if (!length.empty()) msg.DL = saturate8(vex::ParseUInt32(length));
    }

    // "<name> [<multiplexer>] : <start>|<length>@<order><sign> (<factor>,<offset>) [<min>|<max>]
    // "<unit>" <receivers>". Each field is read between its own delimiters; a field whose delimiters are
    // missing keeps the fresh signal's default.
    static void ParseDbcSg(sv text, CCanSignal& s) {
        size_t pos = 0;
        if (const size_t colon = text.find(':'); colon != npos) {
            s.Name = trimSpace(text.substr(0, colon));
            pos = colon + 1;
        }
        const size_t bar = text.find('|', pos);
        const size_t at = bar == npos ? npos : text.find('@', bar + 1);
        if (at != npos) {
            s.BitOffset = saturate8(vex::ParseInt32(text.substr(pos, bar - pos)));
            s.BitLen = saturate8(vex::ParseInt32(text.substr(bar + 1, at - bar - 1)));
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
        sv first, second;
        if (enclosed(text, pos, '(', ',', ')', first, second)) {
            s.ValFactor = vex::ParseReal(first);
            s.ValOffset = vex::ParseReal(second);
        }
        if (enclosed(text, pos, '[', '|', ']', first, second)) {
            s.PhyMin = vex::ParseReal(first);
            s.PhyMax = vex::ParseReal(second);
        }
        if (const size_t open = text.find('"', pos); open != npos) {
            const size_t close = ClosingQuote(text, open + 1);
            s.Unit = text.substr(open + 1, (close == npos ? text.size() : close) - open - 1);
        }
    }

    // "<open><first><separator><second><close>" at or after pos; on success pos moves past it.
    static bool enclosed(sv text, size_t& pos, char open, char separator, char close, sv& first, sv& second) {
        const size_t o = text.find(open, pos);
        const size_t s = o == npos ? npos : text.find(separator, o + 1);
        const size_t c = s == npos ? npos : text.find(close, s + 1);
        if (c == npos) return false;
        first = text.substr(o + 1, s - o - 1);
        second = text.substr(s + 1, c - s - 1);
        pos = c + 1;
        return true;
    }

    // "<name> <value> "<text>" ... ;" on one line.
    bool ParseDbcValTable(sv rest) {
        sv name, items;
        if (!splitWord(rest, name, items)) return false;
        tCAN_SIGNAL_ENUM& table = m_db.Enums.emplace_back();
        table.Name = name;
        ReadValueItems(items, true, table.Items);
        return true;
    }

    // A comment, possibly over several lines; not kept.
    void ParseDbcCm(sv rest) { readStatement(rest); }

    // "<id> <signal> <value> "<text>" ... ;", possibly over several lines. Binds the table to the first
    // signal of that name (without a multiplexer indicator) in the first message with that identifier
    // that has one, among the messages read so far.
    void ParseDbcVal(sv rest) {
        const sv text = readStatement(rest);
        sv idText, after, signalName, items;
        if (!splitWord(text, idText, after)) after = text;  // no blank: identifier 0
        if (!splitWord(after, signalName, items)) signalName = after;
        tCAN_SIGNAL_ENUM table;
        table.Name = signalName;
        ReadValueItems(items, false, table.Items);

        const FileId id = idText.empty() ? FileId{} : MapFileId(vex::ParseUInt32(idText));
        const auto found = m_signalIndex.find(SignalKey{id.id, id.ext, std::string(signalName)});
        if (found == m_signalIndex.end()) return;
        CCanSignal& s = m_db.Messages[found->second.first].Signals[found->second.second];
        s.SigEnum = std::move(table);
        s.Enum = 1;
    }

    // The statement text up to its ';' outside quoted texts, joined with the following lines by a blank
    // when it spans several. A statement without its ';' ends, as it stands, before the first following
    // line that cannot continue it (outside a quoted text, only a quote, ';' or a number can) and at the
    // end of the file; when the file ends inside a quoted text, the statement is its first line alone and
    // the lines after it are read as statements. So a missing ';' never swallows the statements after it.
    //
    // Where a quoted text runs to the end of the file from a line in a given scan state, every later
    // scan that reaches that line in that state ends the same way: it is recorded, so no text is scanned
    // to its end more than a few times.
    sv readStatement(sv first) {
        QuoteScan scan;
        size_t end = scan.findTerminator(first);
        if (end != npos) return first.substr(0, end);
        const size_t afterFirst = m_lines.position();
        const int32_t afterFirstLineNo = m_import.LineNo;
        m_joined.assign(first);
        m_visited.clear();
        sv line;
        for (;;) {
            const size_t pos = m_lines.position();
            const int32_t lineNo = m_import.LineNo;
            const uint8_t state = scan.state();
            const bool deadEnd = static_cast<size_t>(lineNo) < m_deadEnds.size() &&
                                 (m_deadEnds[static_cast<size_t>(lineNo)] & (1u << state));
            if (deadEnd || !readLine(line)) {
                if (!scan.inQuote()) return m_joined;
                for (const auto& [n, st] : m_visited) {
                    if (m_deadEnds.size() <= n) m_deadEnds.resize(n + 1);
                    m_deadEnds[n] |= static_cast<uint8_t>(1u << st);
                }
                m_lines.rewind(afterFirst);
                m_import.LineNo = afterFirstLineNo;
                return first;
            }
            line = trimSpace(line);
            if (!scan.inQuote() && !line.empty() && !canContinue(line.front())) {
                m_lines.rewind(pos);
                m_import.LineNo = lineNo;
                return m_joined;
            }
            m_visited.emplace_back(static_cast<size_t>(lineNo), state);
            m_joined += ' ';
            scan.findTerminator(" ");
            end = scan.findTerminator(line);
            if (end != npos) {
                m_joined.append(line.substr(0, end));
                return m_joined;
            }
            m_joined.append(line);
        }
    }

    static bool canContinue(char c) {
        return c == '"' || c == ';' || c == '-' || c == '+' || (c >= '0' && c <= '9');
    }

    // The first message with the free-signal identifier holds the free signals.
    void takeFreeSignals() {
        for (auto it = m_db.Messages.begin(); it != m_db.Messages.end(); ++it) {
            if (it->id != kFreeSignalFileId) continue;
            m_db.FreeSigMsg = std::move(*it);
            m_db.Messages.erase(it);
            return;
        }
    }

    // Identifier, format and signal name without multiplexer indicator.
    struct SignalKey {
        uint32_t id;
        uint8_t ext;
        std::string name;
        bool operator==(const SignalKey&) const = default;
    };
    struct SignalKeyHash {
        size_t operator()(const SignalKey& k) const {
            return std::hash<std::string>()(k.name) ^
                   (static_cast<size_t>(k.id) * 2 + k.ext) * 0x9E3779B97F4A7C15u;
        }
    };

    tDBC_IMPORT& m_import;
    tCAN_DATABASE& m_db;
    LineSource m_lines;
    std::optional<sv> m_pending;
    std::string m_joined;
    // The first signal of each key: message index and signal index, in reading order.
    std::unordered_map<SignalKey, std::pair<uint32_t, uint32_t>, SignalKeyHash> m_signalIndex;
    // Per line number (the line before the one to be read): the scan states, one bit each, from which a
    // quoted text runs to the end of the file.
    std::vector<uint8_t> m_deadEnds;
    std::vector<std::pair<size_t, uint8_t>> m_visited;
};

// The whole file; false with errno set when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return false;
    char buffer[65536];
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    return !std::ferror(file.get());
}

}  // namespace

namespace vexdbc {

FileId MapFileId(uint32_t value) {
    if (value == kFreeSignalFileId) return {kFreeSignalFileId, 1};
    if (value & 0x80000000u) return {value & 0x1FFFFFFFu, 1};
    return {value & 0x7FFu, 0};
}

size_t ClosingQuote(std::string_view text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i;
        }
    }
    return npos;
}

size_t QuoteScan::findTerminator(std::string_view piece) {
    for (size_t i = 0; i < piece.size(); ++i) {
        const char c = piece[i];
        if (m_escaped) {
            m_escaped = false;
        } else if (m_inQuote) {
            if (c == '\\') m_escaped = true;
            if (c == '"') m_inQuote = false;
        } else if (c == '"') {
            m_inQuote = true;
        } else if (c == ';') {
            return i;
        }
    }
    return npos;
}

void ReadValueItems(std::string_view text, bool trimText, std::vector<tCAN_SIGNAL_ENUM_ITEM>& items) {
    size_t pos = 0;
    for (;;) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos >= text.size() || text[pos] == ';') return;
        size_t end = pos;
        while (end < text.size() && !isSpace(text[end]) && text[end] != '"' && text[end] != ';') ++end;
        const int32_t value = vex::ParseInt32(text.substr(pos, end - pos));
        pos = end;
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos >= text.size() || text[pos] != '"') return;  // a value without its text ends the list
        const size_t close = ClosingQuote(text, pos + 1);
        const sv itemText = text.substr(pos + 1, (close == npos ? text.size() : close) - pos - 1);
        items.push_back({std::string(trimText ? trimSpace(itemText) : itemText), value});
        if (close == npos) return;
        pos = close + 1;
    }
}

std::string_view ValueDescriptionName(std::string_view signalName) {
    for (size_t i = 0; i < signalName.size(); ++i)
        if (isSpace(signalName[i])) return signalName.substr(0, i);
    return signalName;
}

}  // namespace vexdbc

tDBC_IMPORT::tDBC_IMPORT() {
    Database.FileVer = "--";
    Database.LastEditDateTime = "--";
}

std::string DbcNameFromPath(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    const std::string_view file = slash == npos ? path : path.substr(slash + 1);
    return std::string(file.substr(0, file.rfind('.')));
}

uint32_t ParseDbcText(tDBC_IMPORT& import, std::string_view bytes) {
    import.LineNo = 0;
    import.Database.Messages.clear();
    import.Database.Enums.clear();
    import.Database.FreeSigMsg = CCanMsg();

    std::string decoded;
    std::string_view text = bytes;
    if (!vex::IsAscii(bytes)) {
        if (vex::IsValidUtf8(bytes)) {
            if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
        } else {
            decoded = vex::GbkToUtf8(bytes);
            text = decoded;
        }
    }
    return DbcReader(import, text).run();
}

uint32_t ParseDbcFile(tDBC_IMPORT& import, const std::string& path) {
    import.LineNo = -1;
    if (path.empty()) return kDbcFailed;
    import.Name = DbcNameFromPath(path);
    std::string bytes;
    if (!readWholeFile(path, bytes)) return kDbcCannotRead;
    return ParseDbcText(import, bytes);
}
