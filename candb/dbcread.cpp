// Reading DBC text. Each line is decoded to UTF-8 before it is parsed, so no byte of a multi-byte character
// can be mistaken for a delimiter; every statement is then parsed from views into its lines. A file is read
// through a window that is reused, and the lists of the database are built to their exact size, so an
// import touches little memory beyond the database it fills: in a fresh process every new page costs a
// page fault, which is most of the time of a first import.
//
// This file holds the pass over the lines, statements spread over several lines, and the statements that
// are read over; messages and signals are read in dbcreadmsg.cpp, value lists in dbcreadval.cpp.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "candb/dbcfile.h"
#include "candb/dbcreader.h"
#include "candb/dbcwords.h"
#include "platform/util/fileread.h"
#include "platform/util/filewrite.h"
#include "platform/util/heapwarm.h"

namespace vexdbc {

namespace {

using sv = std::string_view;
constexpr size_t npos = sv::npos;

bool namesOnly(sv text) {
    for (char c : text)
        if (!isSpace(c) && c != '_' && !isDigit(c) && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) return false;
    return true;
}

// Outside a quoted text, only a quote, ';' or a number can continue a statement on the next line.
bool canContinue(char c) {
    return c == '"' || c == ';' || c == '-' || c == '+' || (c >= '0' && c <= '9');
}

}  // namespace

uint32_t DbcReader::run() {
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

bool DbcReader::readLine(sv& line) {
    if (!m_lines.next(line)) return false;
    ++m_import.LineNo;
    return true;
}

// A line that ended a block is handled as a statement of its own before the next line is read.
bool DbcReader::nextStatementLine(sv& line) {
    if (m_pending) {
        line = *m_pending;
        m_pending.reset();
        return true;
    }
    return readLine(line);
}

void DbcReader::remark(int32_t lineNo, std::string text) {
    ++m_import.RemarkCount;
    if (m_import.Remarks.size() < kDbcRemarksKept) m_import.Remarks.push_back({lineNo, std::move(text)});
}

void DbcReader::skipUnknownLine() {
    remark(m_import.LineNo, "无法识别的语句，已跳过。");
}

bool DbcReader::dispatch(sv line) {
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
void DbcReader::ParseDbcNs() {
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
void DbcReader::ParseDbcBu() {
    sv line;
    while (readLine(line)) {
        const sv t = trimSpace(line);
        if (t.empty() || !namesOnly(t) || IsDbcKeyword(firstWord(t))) {
            m_pending = line;
            return;
        }
    }
}

// A comment, possibly over several lines; not kept.
void DbcReader::ParseDbcCm(sv rest) {
    bool terminated = false;
    readStatement(rest, terminated);
}

// The statement text up to its ';' outside quoted texts (terminated), joined with the following lines
// by a blank when it spans several. A statement without its ';' ends, as it stands, before the first
// following line that cannot continue it (outside a quoted text, only a quote, ';' or a number can)
// and at the end of the file, with its last line that holds text (LineNo is that line's); when the file ends
// inside a quoted text, the statement is its first line alone and the lines after it are read as statements.
// So a missing ';' never swallows the statements after it.
//
// Where a quoted text runs to the end of the file from a line in a given scan state, every later
// scan that reaches that line in that state ends the same way: it is recorded, so no text is scanned
// to its end more than a few times.
sv DbcReader::readStatement(sv first, bool& terminated) {
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
    // Where the statement's last line that holds text ends: empty lines after it are not part of it.
    uint64_t lastPos = afterFirst;
    int32_t lastLineNo = afterFirstLineNo;
    const auto endAtLastText = [&] {
        m_lines.rewind(lastPos);
        m_import.LineNo = lastLineNo;
        return sv(m_joined);
    };
    sv line;
    for (;;) {
        const int32_t lineNo = m_import.LineNo;
        const uint8_t state = scan.state();
        const bool deadEnd = static_cast<size_t>(lineNo) < m_deadEnds.size() &&
                             (m_deadEnds[static_cast<size_t>(lineNo)] & (1u << state));
        // A recorded dead end runs to the end of the file inside a quoted text, whatever the state here.
        const bool atEnd = !deadEnd && !readLine(line);
        if (atEnd && m_lines.error() != 0) return m_joined;
        if (atEnd && !scan.inQuote()) return endAtLastText();
        if (deadEnd || atEnd) {
            for (const auto& [n, st] : m_visited) {
                if (m_deadEnds.size() <= n) m_deadEnds.resize(n + 1);
                m_deadEnds[n] |= static_cast<uint8_t>(1u << st);
            }
            m_lines.rewind(afterFirst);
            m_import.LineNo = afterFirstLineNo;
            return m_first;
        }
        line = trimSpace(line);
        if (!scan.inQuote() && !line.empty() && !canContinue(line.front())) return endAtLastText();
        if (!line.empty()) {
            lastPos = m_lines.position();
            lastLineNo = m_import.LineNo;
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

// The message with the free-signal identifier holds the free signals.
void DbcReader::takeFreeSignals() {
    for (auto it = m_db.Messages.begin(); it != m_db.Messages.end(); ++it) {
        if (it->id != kFreeSignalFileId) continue;
        m_db.FreeSigMsg = std::move(*it);
        m_db.Messages.erase(it);
        return;
    }
}

}  // namespace vexdbc

using namespace vexdbc;

namespace {

// The window through which a file is read.
constexpr size_t kFileWindow = 64 * 1024;

}  // namespace

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