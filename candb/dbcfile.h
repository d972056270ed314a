#pragma once
// DBC text files. Messages (BO_), their signals (SG_), value tables (VAL_TABLE_) and value descriptions
// of signals (VAL_) are read and written; every other statement is read over and dropped.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "candb/canmodel.h"

// One thing of the file that the import skipped, left out or could not keep exactly.
struct tDBC_REMARK {
    int32_t LineNo = 0;  // the line of the statement
    std::string Text;    // what happened to it, for the user

    bool operator==(const tDBC_REMARK&) const = default;
};

// Remarks kept in an import; the ones after them are only counted.
constexpr size_t kDbcRemarksKept = 2000;

// One import in progress.
struct tDBC_IMPORT {
    std::string Name;                  // database name: the file name without folder and last extension
    tCAN_DATABASE Database;            // FileVer and LastEditDateTime are "--" until the caller sets them
    int32_t LineNo = -1;               // lines read so far; -1 until the file is open
    uint32_t RemarkCount = 0;          // every remark of the import
    std::vector<tDBC_REMARK> Remarks;  // the first kDbcRemarksKept of them, in line order
    std::string Reason;                // why the file cannot be read (kDbcCannotRead); else empty

    tDBC_IMPORT();
};

// Results of ParseDbcFile and ParseDbcText.
constexpr uint32_t kDbcOk = 0;
constexpr uint32_t kDbcFailed = 1;      // empty path, or a statement that failed (LineNo says where)
constexpr uint32_t kDbcCannotRead = 2;  // the file cannot be opened or read (Reason says why); LineNo -1
constexpr uint32_t kDbcNotDbc = 3;      // not one line of the bytes is a DBC statement

// Reads a DBC file into import.Database and sets import.Name from the path. The bytes are taken as GBK,
// or as UTF-8 when they are valid UTF-8 holding non-ASCII text; CR LF and LF line ends.
//
// Identifiers: a number with bit 31 set is an extended identifier (its low 29 bits); 3221225472 marks
// the message of free signals, which ends up in FreeSigMsg; any other number is a standard identifier
// (its low 11 bits), or, when it needs more than 11 bits but fits 29, the extended identifier whose mark
// is missing. A multiplexer indicator stays in the signal name after a blank; VAL_ statements name the
// signal without it.
//
// Only what the program can show, edit and decode is imported; everything else is left out with a
// remark that names it and its line (Remarks, RemarkCount), and the import goes on:
// - lines that are no DBC statement, and SG_ lines outside a message block (a foreign line inside a
//   block is skipped and the block goes on);
// - a BO_ or SG_ line without its identifier, name or position, a message whose identifier and format an
//   earlier message has, a signal whose name its message already holds (each with what it holds);
// - an identifier taken otherwise than written (bits dropped, the extended mark supplied), with what it
//   became;
// - a signal the codec cannot decode from eight data bytes: a bit length outside 1..32, bits beyond the
//   eight bytes, a factor of 0, or a factor, offset or limit that is not a finite number;
// - a value list (VAL_TABLE_ or VAL_) without its ';': it is taken as far as its line and the lines that
//   can only continue it, never into the statement after it;
// - a value description whose signal is not in the file.
// VAL_ keys are raw values; each is stored as the value-table value the codec shows that raw value
// through (raw * factor + offset, truncated). A key at or above 2^(n-1) of an n-bit signed signal is its
// bit pattern and read as the negative value it is. A key that does not come back from its stored value
// exactly (the export converts back) gives a remark naming the signal; one with no 32-bit value is left out.
// Different keys of one signal that come to the same value cannot be told apart through it (the codec
// would show one key's text for the others): all of them are left out, named with their keys. A signal
// whose value description keeps no entry has no value table (Enum 0) and shows its values as numbers.
//
// One thing fails the import (kDbcFailed, LineNo its line): a VAL_TABLE_ without a blank after its name.
// A CM_ statement whose ';' is missing ends before the next line that cannot continue it, so it never
// swallows the statements that follow. Bytes of which not one line is a DBC statement (an empty file, a
// binary one) give kDbcNotDbc.
uint32_t ParseDbcFile(tDBC_IMPORT& import, const std::string& path);

// The same over the file's bytes; import.Name is left as it is.
uint32_t ParseDbcText(tDBC_IMPORT& import, std::string_view bytes);

// The file name of a path (after its last '/' or '\') without its last extension.
std::string DbcNameFromPath(std::string_view path);

// The DBC text of a database with CR LF line ends: GBK when every text of the database can be written in
// GBK and the bytes cannot pass for UTF-8, otherwise UTF-8 (which ParseDbcText recognises), so the texts
// always read back unchanged. Extended identifiers are written with bit 31 over their 29 bits. The free
// signals, when there are any, are written as the pseudo message 3221225472 so that they read back as free
// signals. A value description gives each entry as the raw value it stands for ((val - offset) / factor,
// truncated as the codec converts a physical value; the value itself when the factor is 0). ErrValue,
// Description, Rmt, a signal's value-table name and the database's descriptive texts are not written.
std::string FormatDbcFile(const tCAN_DATABASE& database);

// Writes FormatDbcFile's text, replacing the file only once it is completely written. On failure:
// false, the system's error text in *error (when given), an existing file unchanged.
bool WriteDbcFile(const tCAN_DATABASE& database, const std::string& path, std::string* error = nullptr);
