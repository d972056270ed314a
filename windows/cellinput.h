#pragma once
// A number typed into a list cell, taken or refused: the rules of cellvalue.h, with the refusal shown to
// the user over the list. A refused text leaves the value as it was.
#include <QString>

#include <cstdint>

class QWidget;

namespace vex {

// A period, count or delay cell (ParseU16Cell) into `value`. False, after the message, when refused.
bool TakeU16Cell(QWidget* parent, const QString& text, uint16_t& value);
// A data-byte cell (ParseHexByteCell) into `value`. False, after the message, when refused.
bool TakeHexByteCell(QWidget* parent, const QString& text, uint8_t& value);

}  // namespace vex
