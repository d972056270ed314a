#pragma once
// How the list views read numbers typed into their cells. Plain functions, so the rules are tested
// without widgets; the list that owns a cell applies them when an in-place edit ends.
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace vex {

// Period, count and delay cells (16-bit milliseconds or counts): the text is read as a decimal number
// (leading blanks, an optional sign, digits up to the first other character; no digit reads as 0) and
// accepted only when that number lies in 0..65535. A larger or negative number gives no value, never its
// low 16 bits.
std::optional<uint16_t> ParseU16Cell(std::string_view text);

// The message that refuses a period, count or delay text, or an empty string when ParseU16Cell accepts it.
QString validateU16Cell(const QString& text);

// Data-byte cells: the text read as a hexadecimal number (as the 32-bit reader reads it), low 8 bits kept.
uint8_t ParseHexByteCell(std::string_view text);

}  // namespace vex
