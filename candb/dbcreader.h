#pragma once
// The DBC reader: one pass over the lines of a file that fills a tDBC_IMPORT. Its statement families are
// read in files of their own:
//   dbcread.cpp     the pass itself, statements spread over lines, and everything that is read over
//                   (VERSION, NS_, BU_, CM_, the other keywords of the format, foreign lines);
//   dbcreadmsg.cpp  messages (BO_) and their signals (SG_), and finding them again by identifier and name;
//   dbcreadval.cpp  value lists: value tables (VAL_TABLE_) and value descriptions of signals (VAL_).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "candb/canmodel.h"
#include "candb/dbcfile.h"
#include "candb/dbclines.h"
#include "candb/dbctext.h"

namespace vexdbc {

// Where the codec would take a signal from, as a line of the file gives it.
struct SgPlace {
    bool wellFormed = false;  // a name, a colon and "<start>|<length>@"
    int32_t start = 0;
    int32_t length = 0;
};

class DbcReader {
public:
    DbcReader(tDBC_IMPORT& import, LineSource& lines)
        : m_import(import), m_db(import.Database), m_lines(lines) {}

    // Reads every line: kDbcOk, kDbcCannotRead (a read error) or kDbcNotDbc (no statement at all).
    uint32_t run();

private:
    // ---- The pass (dbcread.cpp) ----
    bool readLine(std::string_view& line);
    // A line that ended a block is handled as a statement of its own before the next line is read.
    bool nextStatementLine(std::string_view& line);
    void remark(int32_t lineNo, std::string text);
    void skipUnknownLine();
    // One statement line; false fails the import at it.
    bool dispatch(std::string_view line);
    void ParseDbcNs();
    void ParseDbcBu();
    void ParseDbcCm(std::string_view rest);
    // The statement text up to its ';' outside quoted texts (terminated), joined with the lines that can
    // only continue it; see dbcread.cpp.
    std::string_view readStatement(std::string_view first, bool& terminated);
    void takeFreeSignals();

    // ---- Messages and signals (dbcreadmsg.cpp) ----
    void readBoBlock(std::string_view rest);
    void remarkIdentifier(int32_t boLine, const CCanMsg& msg);
    void readSignal(std::string_view rest, const std::string& msgName, uint64_t msgKey);
    bool ParseDbcBo(std::string_view text, CCanMsg& msg);
    static SgPlace ParseDbcSg(std::string_view text, CCanSignal& s);
    // The signal of a message read before, by the name VAL_ statements give it; null when none.
    CCanSignal* findSignal(FileId id, std::string_view name);
    // Whether a value description belongs to a signal that was left out with a remark.
    bool refused(uint64_t msgKey, std::string_view name) const;

    static constexpr uint32_t kNone = UINT32_MAX;
    static uint64_t MessageKey(uint32_t id, uint8_t ext) {
        return (uint64_t{id} << 1 | (ext != 0 ? 1 : 0)) + 1;
    }

    // The message of each identifier and format: an open-addressing table from the key to the message.
    class MessageKeys {
    public:
        // A key that is not in the table yet.
        void add(uint64_t key, uint32_t message);
        uint32_t find(uint64_t key) const;

    private:
        struct Slot {
            uint64_t key = 0;  // 0: empty
            uint32_t message = 0;
        };
        size_t slotOf(uint64_t key) const;
        void grow();
        std::vector<Slot> m_slots;
        size_t m_used = 0;
    };

    // ---- Value lists (dbcreadval.cpp) ----
    bool ParseDbcValTable(std::string_view rest);
    bool ParseDbcVal(std::string_view rest);
    // The pairs of a value list into m_items. False when the list has no ';' after its pairs.
    bool readItems(std::string_view text);
    std::string leaveOutSharedValues();

    // ---- State ----
    tDBC_IMPORT& m_import;
    tCAN_DATABASE& m_db;
    LineSource& m_lines;
    std::optional<std::string_view> m_pending;
    bool m_sawStatement = false;
    // Multi-line statements: the first line kept while the next are read, the joined text, and per line
    // number (the line before the one to be read) the scan states, one bit each, from which a quoted text
    // runs to the end of the file.
    std::string m_first;
    std::string m_joined;
    std::vector<uint8_t> m_deadEnds;
    std::vector<std::pair<size_t, uint8_t>> m_visited;

    // The identifier of the BO_ line read last: as written, how it was taken, and whether its digits
    // reach beyond 32 bits.
    std::string m_idWritten;
    FileId::Taken m_idTaken = FileId::AsWritten;
    bool m_idBeyond32Bits = false;
    std::vector<CCanSignal> m_signals;  // the block's signals, kept from block to block
    MessageKeys m_messageKeys;
    std::vector<int32_t> m_messageLines;                             // the BO_ line of each message
    std::vector<std::pair<uint64_t, std::string>> m_refusedSignals;  // message key, name without multiplexer

    std::vector<ValueItem> m_items;  // the pairs of the list read last, kept from list to list
    // The keys of the value list read last that have a 32-bit value; index: the item, or kLeftOut.
    struct Key {
        int64_t raw;
        int32_t val;
        uint32_t index;
    };
    static constexpr uint32_t kLeftOut = UINT32_MAX;
    std::vector<Key> m_keys;
    std::vector<uint32_t> m_byValue;
};

}  // namespace vexdbc
