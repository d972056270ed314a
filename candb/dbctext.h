#pragma once
// Pieces of the DBC text form shared by the reader and the writer.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "candb/canmodel.h"
#include "candb/dbcfile.h"

namespace vexdbc {

// The format's pseudo message that holds the signals placed in no message.
constexpr uint32_t kFreeSignalFileId = 0xC0000000u;

struct FileId {
    uint32_t id = 0;
    uint8_t ext = 0;
    // How the number was taken when it is not what the format's marks say: as an extended identifier
    // whose mark is missing, by its low 11 bits, or (marked extended) by its low 29 bits.
    enum Taken : uint8_t { AsWritten, AsExtended, LowBitsOnly, Low29BitsOnly } taken = AsWritten;
};
// The identifier of a BO_ or VAL_ statement: bit 31 marks an extended identifier (low 29 bits kept),
// otherwise a standard one; the free-signal number stays as it is, extended. A number without bit 31 that
// needs more than 11 bits but fits 29 is an extended identifier whose mark is missing (files of 29-bit
// networks are written so); one beyond 29 bits keeps its low 11 bits.
FileId MapFileId(uint32_t value);

// Index of the '"' that closes a quoted text whose content starts at `from`; a backslash escapes the
// character after it. npos when there is none.
size_t ClosingQuote(std::string_view text, size_t from);

// Finds a statement's terminating ';' outside quoted texts, piece by piece (the quote state carries over
// from one piece to the next).
class QuoteScan {
public:
    // Index of the terminator in the piece, or npos.
    size_t findTerminator(std::string_view piece);
    // True while the pieces scanned so far end inside a quoted text.
    bool inQuote() const { return m_inQuote; }
    // The whole scan state as a number 0..3.
    uint8_t state() const { return static_cast<uint8_t>((m_inQuote ? 1 : 0) | (m_escaped ? 2 : 0)); }

private:
    bool m_inQuote = false;
    bool m_escaped = false;
};

// One pair of a value list: the number as written and the text between its quotes.
struct ValueItem {
    std::string_view number;
    std::string_view text;
};
// The pairs `<number> "<text>"` up to the end of the text or a ';', appended to items. A number without
// its quoted text ends the list. Returns where the list ended: at its ';', at the number without its
// text, or at the end of the text.
size_t ReadValueItems(std::string_view text, std::vector<ValueItem>& items);

// The statement keywords the writer lists in the NS_ block.
inline constexpr std::string_view kNsSymbols[] = {
    "NS_DESC_",     "CM_",
    "BA_DEF_",      "BA_",
    "VAL_",         "CAT_DEF_",
    "CAT_",         "FILTER",
    "BA_DEF_DEF_",  "EV_DATA_",
    "ENVVAR_DATA_", "SGTYPE_",
    "SGTYPE_VAL_",  "BA_DEF_SGTYPE_",
    "BA_SGTYPE_",   "SIG_TYPE_REF_",
    "VAL_TABLE_",   "SIG_GROUP_",
    "SIG_VALTYPE_", "SIGTYPE_VALTYPE_",
    "BO_TX_BU_",    "BA_DEF_REL_",
    "BA_REL_",      "BA_DEF_DEF_REL_",
    "BU_SG_REL_",   "BU_EV_REL_",
    "BU_BO_REL_",   "SG_MUL_VAL_",
};
// Whether a word is a statement keyword of the format: one of kNsSymbols or VERSION, NS_, BS_, BU_, BO_,
// SG_, EV_; a ':' right after it ("BU_:") is allowed.
bool IsDbcKeyword(std::string_view word);

// ParseDbcFile reading the file through a window of the given size (which grows for a longer line).
uint32_t ParseDbcFileThrough(tDBC_IMPORT& import, const std::string& path, size_t window);

// The name by which VAL_ statements name a signal: its name without a multiplexer indicator (the part
// before the first white space).
std::string_view ValueDescriptionName(std::string_view signalName);

}  // namespace vexdbc
