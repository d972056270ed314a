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
};
// The identifier of a BO_ or VAL_ statement: bit 31 marks an extended identifier (low 29 bits kept),
// otherwise a standard one (low 11 bits kept); the free-signal number stays as it is, extended.
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

// Value-text pairs `<number> "<text>"` up to the end of the text or a ';', appended to items. A number
// without its quoted text ends the list. With trimText the texts lose white space on both ends.
void ReadValueItems(std::string_view text, bool trimText, std::vector<tCAN_SIGNAL_ENUM_ITEM>& items);

// ParseDbcFile reading the file through a window of the given size (which grows for a longer line).
uint32_t ParseDbcFileThrough(tDBC_IMPORT& import, const std::string& path, size_t window);

// The name by which VAL_ statements name a signal: its name without a multiplexer indicator (the part
// before the first white space).
std::string_view ValueDescriptionName(std::string_view signalName);

}  // namespace vexdbc
