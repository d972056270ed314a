#pragma once
// DBC text files. Messages (BO_), their signals (SG_), value tables (VAL_TABLE_) and value descriptions
// of signals (VAL_) are read and written; every other statement is read over and dropped.
#include <cstdint>
#include <string>
#include <string_view>

#include "candb/canmodel.h"

// One import in progress.
struct tDBC_IMPORT {
    std::string Name;        // database name: the file name without folder and last extension
    tCAN_DATABASE Database;  // FileVer and LastEditDateTime are "--" until the caller sets them
    int32_t LineNo = -1;     // lines read so far; -1 until the file is open

    tDBC_IMPORT();
};

// Results of ParseDbcFile and ParseDbcText.
constexpr uint32_t kDbcOk = 0;
constexpr uint32_t kDbcFailed = 1;      // empty path, or a statement that failed (LineNo says where)
constexpr uint32_t kDbcCannotRead = 2;  // the file cannot be opened or read; LineNo stays -1

// Reads a DBC file into import.Database and sets import.Name from the path. The bytes are taken as GBK,
// or as UTF-8 when they are valid UTF-8 holding non-ASCII text; CR LF and LF line ends.
//
// Identifiers: a number with bit 31 set is an extended identifier (its low 29 bits); 3221225472 marks
// the message of free signals, which ends up in FreeSigMsg; any other number is a standard identifier
// (its low 11 bits). Start bits, bit lengths and data lengths outside 0..255 read as 255, which the
// codec refuses. A multiplexer indicator stays in the signal name after a blank; VAL_ statements name
// the signal without it.
//
// The one statement that fails is VAL_TABLE_ without a blank after the table name. Everything else that
// does not parse is dropped: unknown keywords, one-word lines, missing fields (which keep their
// defaults), non-numbers (0). A CM_ or VAL_ statement whose ';' is missing ends before the next line
// that cannot continue it, so it never swallows the statements that follow.
uint32_t ParseDbcFile(tDBC_IMPORT& import, const std::string& path);

// The same over the file's bytes; import.Name is left as it is.
uint32_t ParseDbcText(tDBC_IMPORT& import, std::string_view bytes);

// The file name of a path (after its last '/' or '\') without its last extension.
std::string DbcNameFromPath(std::string_view path);

// The DBC text of a database with CR LF line ends: GBK when every text of the database can be written
// in GBK and the bytes cannot pass for UTF-8, otherwise UTF-8 (which ParseDbcText recognises), so the
// texts always read back unchanged. Extended identifiers are written with bit 31 over their 29 bits. The
// free signals, when there are any, are written as the pseudo message 3221225472 so that they read back
// as free signals. ErrValue, Description, Rmt, a signal's value-table name and the database's
// descriptive texts are not written.
std::string FormatDbcFile(const tCAN_DATABASE& database);

// Writes FormatDbcFile's text, replacing the file only once it is completely written. On failure:
// false, the system's error text in *error (when given), an existing file unchanged.
bool WriteDbcFile(const tCAN_DATABASE& database, const std::string& path, std::string* error = nullptr);
