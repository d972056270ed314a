#pragma once
// How the list views and the add dialogs read numbers typed into their cells. Plain functions, so the
// rules are tested without widgets; the list that owns a cell applies them when an in-place edit ends.
//
// A number is taken only when the whole text is one (blanks around it allowed) and it lies in the cell's
// range; anything else is refused with a message and the record keeps its value. Reading the leading
// digits or keeping the low bits, as a plain C conversion would, puts a different value on the bus than
// the one typed (a period of 70000 would become 4464 ms, data "1FF" would become FF).
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace vex {

// Period, count and delay cells (16-bit milliseconds or counts): decimal digits with an optional '+',
// 0..65535; an empty text is 0.
std::optional<uint16_t> ParseU16Cell(std::string_view text);
// The message that refuses a period, count or delay text, or an empty string when ParseU16Cell accepts it.
QString validateU16Cell(const QString& text);

// Data-byte cells: hexadecimal digits, 00..FF; an empty text is 0.
std::optional<uint8_t> ParseHexByteCell(std::string_view text);
QString validateHexByteCell(const QString& text);

// An identifier text: 1 to 8 hexadecimal digits (the caller checks the range of the identifier type).
std::optional<uint32_t> ParseHexIdText(std::string_view text);

}  // namespace vex
