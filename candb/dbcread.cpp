// Reading DBC text. Each line is decoded to UTF-8 before it is parsed, so no byte of a multi-byte character
// can be mistaken for a delimiter; every statement is then parsed from views into its lines. A file is read
// through a window that is reused, and the lists of the database are built to their exact size, so an
// import touches little memory beyond the database it fills: in a fresh process every new page costs a
// page fault, which is most of the time of a first import.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "candb/dbcfile.h"
#include "candb/dbctext.h"
#include "candb/strsplit.h"
#include "platform/numparse.h"
#include "platform/textcodec.h"
#include "platform/util/fileread.h"
#include "platform/util/filewrite.h"
#include "platform/util/heapwarm.h"

using namespace vexdbc;

namespace {

using sv = std::string_view;
constexpr size_t npos = sv::npos;

// A start bit, bit length or data length: the model holds 0..255; anything outside reads as 255, so a
// signal placed beyond the first 32 bytes of a long frame never aliases onto the first bytes.
uint8_t saturate8(int64_t value) {
    return value < 0 || value > 255 ? 255 : static_cast<uint8_t>(value);
}

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

// Whether a word is the given keyword: a compare of a known length, done in place.
template <size_t N>
bool is(sv word, const char (&keyword)[N]) {
    return word.size() == N - 1 && std::memcmp(word.data(), keyword, N - 1) == 0;
}

sv firstWord(sv text) {
    text = trimLeftSpace(text);
    return text.substr(0, findSpace(text));
}

constexpr uint64_t kHighBits = 0x8080808080808080ull;

bool isAscii(sv text) {
    const char* p = text.data();
    size_t n = text.size();
    uint64_t bits = 0;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        bits |= word;
    }
    for (; n > 0; ++p, --n) bits |= static_cast<unsigned char>(*p);
    return (bits & kHighBits) == 0;
}

// The lines of the text, without their line end, from bytes in memory or from a file read through a window
// that is reused, so a file of any size costs the memory of its longest stretch of lines in use, not its
// size. The text is ASCII, UTF-8 (valid UTF-8 holding non-ASCII text; a byte-order mark at the start is
// dropped) or GBK (anything else, decoded line by line). Which one is settled at the first line that is not
// ASCII, by checking the rest of the text: a line break never lies inside a UTF-8 or GBK character, so the
// text is valid UTF-8 exactly when each of its lines is, and a GBK text decodes to its lines decoded one by
// one.
class LineSource {
public:
    explicit LineSource(sv bytes) : m_data(bytes.data()), m_len(bytes.size()), m_eof(true) {}
    LineSource(int fd, size_t window) : m_fd(fd), m_cap(std::max<size_t>(window, 1)) {
        m_buf.reset(new char[m_cap]);
        m_data = m_buf.get();
    }

    // The next line, valid until the next call of next or rewind. False at the end or on a read error.
    bool next(sv& line) {
        const uint64_t start = m_pos;
        if (!rawLine(line)) return false;
        if (m_enc == Enc::Ascii) {
            if (isAscii(line)) return true;
            if (!settleEncoding(start, line)) return false;
        }
        if (m_enc == Enc::Gbk) {
            m_decoded = vex::GbkToUtf8(line);
            line = m_decoded;
        } else if (start == 0 && line.starts_with("\xEF\xBB\xBF")) {
            line.remove_prefix(3);
        }
        return true;
    }

    // Where the next line starts.
    uint64_t position() const { return m_pos; }
    // Reads on from a position that position() gave.
    void rewind(uint64_t pos) {
        if (pos >= m_base && pos - m_base <= m_len) {
            m_pos = pos;
            return;
        }
        m_base = m_pos = pos;
        m_len = 0;
        m_eof = false;
        if (::lseek(m_fd, static_cast<off_t>(pos), SEEK_SET) < 0) {
            m_error = errno;
            m_eof = true;
        }
    }
    // The errno of a failed read, else 0.
    int error() const { return m_error; }
    // Reads the first window: false when the file cannot be read at all.
    bool prime() { return m_fd < 0 || fill(); }

private:
    enum class Enc : uint8_t { Ascii, Utf8, Gbk };  // Ascii: every line so far

    bool rawLine(sv& line) {
        for (;;) {
            const size_t rel = static_cast<size_t>(m_pos - m_base);
            const char* begin = m_data + rel;
            const size_t avail = m_len - rel;
            const void* nl = avail == 0 ? nullptr : std::memchr(begin, '\n', avail);
            size_t n;
            if (nl != nullptr) {
                n = static_cast<size_t>(static_cast<const char*>(nl) - begin);
                m_pos += n + 1;
            } else if (m_eof) {
                if (avail == 0) return false;
                n = avail;
                m_pos += n;
            } else {
                if (!fill()) return false;
                continue;
            }
            if (n > 0 && begin[n - 1] == '\r') --n;
            line = sv(begin, n);
            return true;
        }
    }

    // Keeps the bytes from the current position on and reads more after them.
    bool fill() {
        const size_t rel = static_cast<size_t>(m_pos - m_base);
        if (rel > 0) {
            std::memmove(m_buf.get(), m_buf.get() + rel, m_len - rel);
            m_base += rel;
            m_len -= rel;
        }
        if (m_len == m_cap) {  // a line longer than the window
            std::unique_ptr<char[]> bigger(new char[m_cap * 2]);
            std::memcpy(bigger.get(), m_buf.get(), m_len);
            m_buf = std::move(bigger);
            m_cap *= 2;
            m_data = m_buf.get();
        }
        ssize_t n;
        do {
            n = ::read(m_fd, m_buf.get() + m_len, m_cap - m_len);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            m_error = errno;
            m_eof = true;
            return false;
        }
        if (n == 0) m_eof = true;
        m_len += static_cast<size_t>(n);
        return true;
    }

    // At the first line that is not ASCII, starting at `start`: UTF-8 when this line and every later one is
    // valid UTF-8, else GBK. The line is read again.
    bool settleEncoding(uint64_t start, sv& line) {
        bool utf8 = true;
        for (sv l = line; utf8;) {
            if (!isAscii(l) && !vex::IsValidUtf8(l)) utf8 = false;
            if (utf8 && !rawLine(l)) break;
        }
        if (m_error != 0) return false;
        m_enc = utf8 ? Enc::Utf8 : Enc::Gbk;
        rewind(start);
        return rawLine(line);
    }

    int m_fd = -1;
    std::unique_ptr<char[]> m_buf;
    size_t m_cap = 0;
    const char* m_data = nullptr;  // the window: the bytes from file offset m_base on
    size_t m_len = 0;
    uint64_t m_base = 0;
    uint64_t m_pos = 0;  // file offset of the next line
    bool m_eof = false;  // nothing after the window
    int m_error = 0;
    Enc m_enc = Enc::Ascii;
    std::string m_decoded;
};

// vex::ParseInt32, ParseUInt32 and ParseReal, with the common forms read here directly to the same result.
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A sign and decimal digits from the start of the text; false when no digit follows the sign. Beyond 18
// digits the value is the largest magnitude of its sign.
bool leadingInt(sv t, int64_t& value) {
    size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative || (!t.empty() && t[0] == '+')) i = 1;
    const size_t first = i;
    int64_t v = 0;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        if (i - first == 18) {
            value = negative ? INT64_MIN : INT64_MAX;
            return true;
        }
        v = v * 10 + (t[i] - '0');
    }
    value = negative ? -v : v;
    return i > first;
}

int32_t parseInt(sv t) {
    while (!t.empty() && isSpace(t.front())) t.remove_prefix(1);
    int64_t v = 0;
    if (!leadingInt(t, v)) return vex::ParseInt32(t);  // no number
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

uint32_t parseUInt(sv t) {
    size_t i = 0;
    uint64_t v = 0;
    while (i < t.size() && isDigit(t[i]) && i < 19) v = v * 10 + static_cast<uint64_t>(t[i++] - '0');
    if (i == 0 || (i < t.size() && isDigit(t[i]))) return vex::ParseUInt32(t);
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

// A decimal with at most 15 digits and no exponent is its digits divided by a power of ten: both exact, so
// the one rounding of the division gives the correctly rounded value that strtod gives.
double parseReal(sv t) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative || (!t.empty() && t[0] == '+')) i = 1;
    if (i >= t.size() || !isDigit(t[i])) return vex::ParseReal(t);
    uint64_t m = 0;
    int digits = 0, fraction = 0;
    for (; i < t.size() && isDigit(t[i]); ++i, ++digits) m = m * 10 + static_cast<uint64_t>(t[i] - '0');
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && isDigit(t[i]); ++i, ++digits, ++fraction)
            m = m * 10 + static_cast<uint64_t>(t[i] - '0');
    }
    if (digits > 15) return vex::ParseReal(t);
    if (i < t.size()) {
        const char c = t[i];
        if (c == 'e' || c == 'E' || c == 'x' || c == 'X' || c == 'p' || c == 'P' || c == '.')
            return vex::ParseReal(t);
    }
    const double v = static_cast<double>(m) / kPow10[fraction];
    return negative ? -v : v;
}

// A value-list key: a raw value of up to 64 bits (no number gives 0).
int64_t parseInt64(sv t) {
    int64_t v = 0;
    leadingInt(t, v);
    return v;
}

// The pieces of a text joined in one buffer.
std::string cat(std::initializer_list<sv> parts) {
    size_t size = 0;
    for (sv p : parts) size += p.size();
    std::string out;
    out.reserve(size);
    for (sv p : parts) out += p;
    return out;
}

// Where the codec would take a signal from, as a line of the file gives it.
struct SgPlace {
    bool wellFormed = false;  // a name, a colon and "<start>|<length>@"
    int32_t start = 0;
    int32_t length = 0;
};

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

class DbcReader {
public:
    DbcReader(tDBC_IMPORT& import, LineSource& lines)
        : m_import(import), m_db(import.Database), m_lines(lines) {}

    uint32_t run() {
        sv line;
        while (nextStatementLine(line)) {
            if (!dispatch(trimSpace(line))) return kDbcFailed;
        }
        if (m_lines.error() != 0) return kDbcCannotRead;
        if (!m_sawStatement) return kDbcNotDbc;
        takeFreeSignals();
        // A message's remark is made at the end of its block, after those of the lines inside it.
        std::stable_sort(m_import.Remarks.begin(), m_import.Remarks.end(),
                         [](const tDBC_REMARK& a, const tDBC_REMARK& b) { return a.LineNo < b.LineNo; });
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

    void remark(int32_t lineNo, std::string text) {
        ++m_import.RemarkCount;
        if (m_import.Remarks.size() < kDbcRemarksKept) m_import.Remarks.push_back({lineNo, std::move(text)});
    }

    void skipUnknownLine() { remark(m_import.LineNo, "无法识别的语句，已跳过。"); }

    bool dispatch(sv line) {
        if (line.empty()) return true;
        sv keyword, rest;
        const bool hasRest = splitWord(line, keyword, rest);
        if (!hasRest) keyword = line;
        // The statements that are read, the most frequent first (BA_ by far, and nothing is kept of it).
        if (hasRest && (is(keyword, "BA_") || is(keyword, "BO_") || is(keyword, "VAL_") ||
                        is(keyword, "VAL_TABLE_") || is(keyword, "CM_"))) {
            m_sawStatement = true;
            // Each handler may read on, so the line (and the keyword in it) is not looked at after it.
            if (is(keyword, "VAL_")) return ParseDbcVal(rest);
            if (is(keyword, "VAL_TABLE_")) return ParseDbcValTable(rest);
            if (is(keyword, "BO_"))
                readBoBlock(rest);
            else if (is(keyword, "CM_"))
                ParseDbcCm(rest);
            return true;
        }
        if (!IsDbcKeyword(keyword)) {
            skipUnknownLine();
            return true;
        }
        m_sawStatement = true;
        if (is(keyword, "NS_") || is(keyword, "NS_:")) {
            ParseDbcNs();
        } else if (is(keyword, "BU_") || is(keyword, "BU_:")) {
            ParseDbcBu();
        } else if (!hasRest) {
            // "BS_:" and the like stand alone; a statement that needs more has none.
            if (is(keyword, "BO_") || is(keyword, "SG_") || is(keyword, "VAL_") || is(keyword, "VAL_TABLE_"))
                remark(m_import.LineNo, "语句不完整，已跳过。");
        } else if (is(keyword, "SG_")) {
            remark(m_import.LineNo, cat({"信号[", trimSpace(rest.substr(0, rest.find(':'))),
                                         "]不在报文中（报文块已由空行结束），已跳过。"}));
        }
        // VERSION, BS_: and every other keyword of the format: nothing is kept.
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

    // The node list: its names, on the statement's line and on the lines after it that hold names only.
    void ParseDbcBu() {
        sv line;
        while (readLine(line)) {
            const sv t = trimSpace(line);
            if (t.empty() || !namesOnly(t) || IsDbcKeyword(firstWord(t))) {
                m_pending = line;
                return;
            }
        }
    }

    static bool namesOnly(sv text) {
        for (char c : text)
            if (!isSpace(c) && c != '_' && !isDigit(c) && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z'))
                return false;
        return true;
    }

    // A message and the SG_ lines that follow it. The block ends at an empty line or at the first line
    // that is a statement of the format, which is then handled as such; any other line is skipped and the
    // block goes on. The signals are collected in a list kept from block to block and then moved into a
    // list of exactly their number. A message that cannot be taken is read to its end and left out whole.
    void readBoBlock(sv rest) {
        const int32_t boLine = m_import.LineNo;
        CCanMsg msg;
        const bool wellFormed = ParseDbcBo(rest, msg);
        const uint64_t key = MessageKey(msg.id, msg.Ext);
        if (wellFormed && m_idTaken != FileId::AsWritten)
            remark(boLine,
                   cat({"报文[", msg.Name, "]的ID[", std::to_string(m_idWritten),
                        m_idTaken == FileId::AsExtended ? "]超出11位且未标记为扩展帧，已按扩展帧导入。"
                                                        : "]超出29位，已按其低11位导入。"}));
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

    // One SG_ line of a message that is taken: the signal joins the block's list unless the program
    // cannot take it or the message has a signal of that name.
    void readSignal(sv rest, const std::string& msgName, uint64_t msgKey) {
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
    bool ParseDbcBo(sv text, CCanMsg& msg) {
        sv idText, rest;
        m_idTaken = FileId::AsWritten;
        if (!splitWord(text, idText, rest)) return false;
        m_idWritten = parseUInt(idText);
        const FileId id = MapFileId(m_idWritten);
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
    static SgPlace ParseDbcSg(sv text, CCanSignal& s) {
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

    // "<name> <value> "<text>" ... ;" on one line. False without a blank after the name or without the ';'.
    bool ParseDbcValTable(sv rest) {
        sv name, items;
        if (!splitWord(rest, name, items) || !readItems(items)) return false;
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

    // A comment, possibly over several lines; not kept.
    void ParseDbcCm(sv rest) {
        bool terminated = false;
        readStatement(rest, terminated);
    }

    // "<id> <signal> <value> "<text>" ... ;", possibly over several lines. Binds the table to the signal of
    // that name (without a multiplexer indicator) in the message with that identifier, read before it.
    // False without the ';'.
    bool ParseDbcVal(sv rest) {
        const int32_t valLine = m_import.LineNo;
        bool terminated = false;
        const sv text = readStatement(rest, terminated);
        if (!terminated) {
            m_import.LineNo = valLine;
            return false;
        }
        sv idText, after, signalName, items;
        if (!splitWord(text, idText, after)) after = text;  // no blank: identifier 0
        if (!splitWord(after, signalName, items)) signalName = after;
        const FileId id = idText.empty() ? FileId{} : MapFileId(parseUInt(idText));
        CCanSignal* s = findSignal(id, signalName);
        if (s == nullptr) {
            if (!refused(MessageKey(id.id, id.ext), signalName))
                remark(valLine, cat({"值描述所属的信号[", signalName, "]不在文件的报文中，已跳过。"}));
            return true;
        }
        readItems(items);  // the statement's text ends before its ';'
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
        table.Items.reserve(static_cast<size_t>(std::count_if(
            m_keys.begin(), m_keys.end(), [](const Key& key) { return key.index != kLeftOut; })));
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
    std::string leaveOutSharedValues() {
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
            for (to = from + 1;
                 to < m_byValue.size() && m_keys[m_byValue[to]].val == m_keys[m_byValue[from]].val; ++to)
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

    // The signal whose name without multiplexer indicator is `name` (a word: it holds no white space).
    CCanSignal* findSignal(FileId id, sv name) {
        const uint32_t m = m_messageKeys.find(MessageKey(id.id, id.ext));
        if (m == kNone) return nullptr;
        for (CCanSignal& s : m_db.Messages[m].Signals) {
            const sv full = s.Name;
            if (full.starts_with(name) && (full.size() == name.size() || isSpace(full[name.size()])))
                return &s;
        }
        return nullptr;
    }

    // Whether a value description belongs to a signal that was left out with a remark.
    bool refused(uint64_t msgKey, sv name) const {
        for (const auto& [key, signal] : m_refusedSignals)
            if (key == msgKey && signal == name) return true;
        return false;
    }

    // The pairs of a value list into m_items (kept from list to list, so the table that takes them is
    // made to their exact number). False when the list has no ';' after its pairs.
    bool readItems(sv text) {
        m_items.clear();
        const size_t end = ReadValueItems(text, m_items);
        if (end < text.size() && text[end] == ';') return true;
        QuoteScan scan;
        return scan.findTerminator(text.substr(end)) != npos;
    }

    // The statement text up to its ';' outside quoted texts (terminated), joined with the following lines
    // by a blank when it spans several. A statement without its ';' ends, as it stands, before the first
    // following line that cannot continue it (outside a quoted text, only a quote, ';' or a number can)
    // and at the end of the file; when the file ends inside a quoted text, the statement is its first line
    // alone and the lines after it are read as statements. So a missing ';' never swallows the statements
    // after it.
    //
    // Where a quoted text runs to the end of the file from a line in a given scan state, every later
    // scan that reaches that line in that state ends the same way: it is recorded, so no text is scanned
    // to its end more than a few times.
    sv readStatement(sv first, bool& terminated) {
        terminated = false;
        QuoteScan scan;
        size_t end = scan.findTerminator(first);
        if (end != npos) {
            terminated = true;
            return first.substr(0, end);
        }
        // The lines read next may replace the one that `first` lies in.
        m_first.assign(first);
        const uint64_t afterFirst = m_lines.position();
        const int32_t afterFirstLineNo = m_import.LineNo;
        m_joined.assign(first);
        m_visited.clear();
        sv line;
        for (;;) {
            const uint64_t pos = m_lines.position();
            const int32_t lineNo = m_import.LineNo;
            const uint8_t state = scan.state();
            const bool deadEnd = static_cast<size_t>(lineNo) < m_deadEnds.size() &&
                                 (m_deadEnds[static_cast<size_t>(lineNo)] & (1u << state));
            if (deadEnd || !readLine(line)) {
                if (!scan.inQuote() || m_lines.error() != 0) return m_joined;
                for (const auto& [n, st] : m_visited) {
                    if (m_deadEnds.size() <= n) m_deadEnds.resize(n + 1);
                    m_deadEnds[n] |= static_cast<uint8_t>(1u << st);
                }
                m_lines.rewind(afterFirst);
                m_import.LineNo = afterFirstLineNo;
                return m_first;
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
                terminated = true;
                return m_joined;
            }
            m_joined.append(line);
        }
    }

    static bool canContinue(char c) {
        return c == '"' || c == ';' || c == '-' || c == '+' || (c >= '0' && c <= '9');
    }

    // The message with the free-signal identifier holds the free signals.
    void takeFreeSignals() {
        for (auto it = m_db.Messages.begin(); it != m_db.Messages.end(); ++it) {
            if (it->id != kFreeSignalFileId) continue;
            m_db.FreeSigMsg = std::move(*it);
            m_db.Messages.erase(it);
            return;
        }
    }

    static constexpr uint32_t kNone = UINT32_MAX;

    static uint64_t MessageKey(uint32_t id, uint8_t ext) {
        return (uint64_t{id} << 1 | (ext != 0 ? 1 : 0)) + 1;
    }

    // The message of each identifier and format: an open-addressing table from the key to the message.
    class MessageKeys {
    public:
        // A key that is not in the table yet.
        void add(uint64_t key, uint32_t message) {
            if ((m_used + 1) * 2 > m_slots.size()) grow();
            slot(key) = {key, message};
            ++m_used;
        }
        uint32_t find(uint64_t key) const {
            if (m_slots.empty()) return kNone;
            const Slot& s = const_cast<MessageKeys*>(this)->slot(key);
            return s.key == 0 ? kNone : s.message;
        }

    private:
        struct Slot {
            uint64_t key = 0;  // 0: empty
            uint32_t message = 0;
        };
        Slot& slot(uint64_t key) {
            const size_t mask = m_slots.size() - 1;
            for (size_t i = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;;
                 i = (i + 1) & mask)
                if (m_slots[i].key == key || m_slots[i].key == 0) return m_slots[i];
        }
        void grow() {
            std::vector<Slot> old = std::move(m_slots);
            m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
            for (const Slot& s : old)
                if (s.key != 0) slot(s.key) = s;
        }
        std::vector<Slot> m_slots;
        size_t m_used = 0;
    };

    tDBC_IMPORT& m_import;
    tCAN_DATABASE& m_db;
    LineSource& m_lines;
    std::optional<sv> m_pending;
    bool m_sawStatement = false;
    uint32_t m_idWritten = 0;  // the identifier of the BO_ line read last, as written
    FileId::Taken m_idTaken = FileId::AsWritten;
    std::string m_first;
    std::string m_joined;
    std::vector<CCanSignal> m_signals;
    std::vector<ValueItem> m_items;
    // The keys of the value list read last that have a 32-bit value; index: the item, or kLeftOut.
    struct Key {
        int64_t raw;
        int32_t val;
        uint32_t index;
    };
    static constexpr uint32_t kLeftOut = UINT32_MAX;
    std::vector<Key> m_keys;
    std::vector<uint32_t> m_byValue;
    MessageKeys m_messageKeys;
    std::vector<int32_t> m_messageLines;                             // the BO_ line of each message
    std::vector<std::pair<uint64_t, std::string>> m_refusedSignals;  // message key, name without multiplexer
    // Per line number (the line before the one to be read): the scan states, one bit each, from which a
    // quoted text runs to the end of the file.
    std::vector<uint8_t> m_deadEnds;
    std::vector<std::pair<size_t, uint8_t>> m_visited;
};

// The window through which a file is read.
constexpr size_t kFileWindow = 64 * 1024;

}  // namespace

namespace vexdbc {

FileId MapFileId(uint32_t value) {
    if (value == kFreeSignalFileId) return {kFreeSignalFileId, 1};
    if (value & 0x80000000u) return {value & 0x1FFFFFFFu, 1};
    if (value <= 0x7FFu) return {value, 0};
    // Dropping the bits above 11, as first designed, turned every 29-bit identifier written without its
    // mark into some standard one, so distinct messages collided: such a number is taken as extended.
    if (value <= 0x1FFFFFFFu) return {value, 1, FileId::AsExtended};
    return {value & 0x7FFu, 0, FileId::LowBitsOnly};
}

size_t ClosingQuote(std::string_view text, size_t from) {
    const char* p = text.data();
    const size_t n = text.size();
    size_t i = from;
    for (;;) {
        // Eight bytes at a time up to the first '"' or '\\'.
        while (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            const uint64_t quote = word ^ 0x2222222222222222ull;
            const uint64_t backslash = word ^ 0x5C5C5C5C5C5C5C5Cull;
            const uint64_t zero = ((quote - 0x0101010101010101ull) & ~quote) |
                                  ((backslash - 0x0101010101010101ull) & ~backslash);
            if ((zero & kHighBits) != 0) break;
            i += 8;
        }
        for (; i < n; ++i) {
            if (p[i] == '"') return i;
            if (p[i] == '\\') break;
        }
        if (i >= n) return npos;
        i += 2;  // past the backslash and the character it takes as it is
    }
}

namespace {

// The next occurrence of a character at or after a position that only moves forward; each stretch of the
// text is searched once.
class NextOf {
public:
    NextOf(std::string_view text, char c) : m_text(text), m_c(c) {}
    size_t at(size_t from) {
        if (!m_known || (m_at != npos && m_at < from)) {
            const void* hit =
                from < m_text.size() ? std::memchr(m_text.data() + from, m_c, m_text.size() - from) : nullptr;
            m_at = hit == nullptr ? npos : static_cast<size_t>(static_cast<const char*>(hit) - m_text.data());
            m_known = true;
        }
        return m_at;
    }

private:
    std::string_view m_text;
    char m_c;
    size_t m_at = npos;
    bool m_known = false;
};

}  // namespace

size_t QuoteScan::findTerminator(std::string_view piece) {
    size_t i = 0;
    if (m_escaped && !piece.empty()) {
        m_escaped = false;
        i = 1;
    }
    NextOf quote(piece, '"'), backslash(piece, '\\'), semicolon(piece, ';');
    while (i < piece.size()) {
        const size_t q = quote.at(i);
        if (m_inQuote) {
            const size_t b = backslash.at(i);
            if (b < q) {  // the character after the backslash is taken as it is
                if (b + 1 >= piece.size()) {
                    m_escaped = true;
                    return npos;
                }
                i = b + 2;
                continue;
            }
            if (q == npos) return npos;
            m_inQuote = false;
        } else {
            const size_t s = semicolon.at(i);
            if (s < q) return s;
            if (q == npos) return npos;
            m_inQuote = true;
        }
        i = q + 1;
    }
    return npos;
}

size_t ReadValueItems(std::string_view text, std::vector<ValueItem>& items) {
    size_t pos = 0;
    for (;;) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos >= text.size() || text[pos] == ';') return pos;
        size_t end = pos;
        while (end < text.size() && !isSpace(text[end]) && text[end] != '"' && text[end] != ';') ++end;
        const sv number = text.substr(pos, end - pos);
        const size_t start = pos;
        pos = end;
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos >= text.size() || text[pos] != '"') return start;  // a value without its text ends the list
        const size_t close = ClosingQuote(text, pos + 1);
        items.push_back({number, text.substr(pos + 1, (close == npos ? text.size() : close) - pos - 1)});
        if (close == npos) return text.size();
        pos = close + 1;
    }
}

bool IsDbcKeyword(std::string_view word) {
    static const auto kSorted = [] {
        std::array<sv, std::size(kNsSymbols) + 7> all{"VERSION", "NS_", "BS_", "BU_", "BO_", "SG_", "EV_"};
        std::copy(std::begin(kNsSymbols), std::end(kNsSymbols), all.begin() + 7);
        std::sort(all.begin(), all.end());
        return all;
    }();
    if (word.ends_with(':')) word.remove_suffix(1);
    return std::binary_search(kSorted.begin(), kSorted.end(), word);
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

namespace {

void startImport(tDBC_IMPORT& import) {
    import.LineNo = -1;
    import.RemarkCount = 0;
    import.Remarks.clear();
    import.Reason.clear();
}

uint32_t cannotRead(tDBC_IMPORT& import, std::string reason) {
    import.Reason = std::move(reason);
    return kDbcCannotRead;
}

uint32_t parseLines(tDBC_IMPORT& import, LineSource& lines) {
    import.LineNo = 0;
    import.Database.Messages.clear();
    import.Database.Enums.clear();
    import.Database.FreeSigMsg = CCanMsg();
    const uint32_t result = DbcReader(import, lines).run();
    if (result == kDbcCannotRead) {
        import.LineNo = -1;
        import.Reason = ErrorText(lines.error());
    }
    return result;
}

}  // namespace

uint32_t ParseDbcText(tDBC_IMPORT& import, std::string_view bytes) {
    startImport(import);
    LineSource lines(bytes);
    return parseLines(import, lines);
}

uint32_t vexdbc::ParseDbcFileThrough(tDBC_IMPORT& import, const std::string& path, size_t window) {
    startImport(import);
    if (path.empty()) return kDbcFailed;
    import.Name = DbcNameFromPath(path);
    // Only a regular file: a device, FIFO or folder may never end (or never begin).
    std::string reason;
    const int fd = vex::OpenInputFile(path, reason);
    if (fd < 0) return cannotRead(import, reason);
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    // A file beyond the bound of input files is no DBC file and would only take the program's memory.
    struct stat st {};
    if (::fstat(fd, &st) != 0) return cannotRead(import, ErrorText(errno));
    if (static_cast<unsigned long long>(st.st_size) > vex::kMaxInputFileBytes)
        return cannotRead(import, "File larger than " + std::to_string(vex::kMaxInputFileBytes) + " bytes");
    // The database takes about twice the file's size in small blocks; warm that much of the heap first.
    if (st.st_size > 0) vex::WarmHeap(static_cast<size_t>(st.st_size) * 2);
    LineSource lines(fd, window);
    if (!lines.prime()) return cannotRead(import, ErrorText(lines.error()));
    return parseLines(import, lines);
}

uint32_t ParseDbcFile(tDBC_IMPORT& import, const std::string& path) {
    return vexdbc::ParseDbcFileThrough(import, path, kFileWindow);
}
