#pragma once
// Signal values of a transmit message as the signal lists show and take them: the raw value as text
// (hexadecimal or decimal), the physical value (or value-table) text, and an edit of either packed back
// into the eight data bytes through the signal codec. Shared by the send and queue-transmit signal lists.
#include <QString>

#include <cstdint>

#include "candb/canmodel.h"

namespace vex {

// Unsigned: "%X" with hex, else "%u". Signed: "+ %X" of the value or "- %X" of its magnitude with hex,
// else "%d". "--" when the codec cannot extract the value.
QString SigRawText(const CCanSignal& sig, const uint8_t (&data)[8], bool hex);

// The codec's physical text (a number, or the value-table text); "--" when it cannot extract the value.
QString SigPhyText(const CCanSignal& sig, const uint8_t (&data)[8]);

// Whether the raw value may be typed in: not for a signed signal while raw values show in hexadecimal.
inline bool SigRawEditable(const CCanSignal& sig, bool hex) {
    return !(sig.Sign && hex);
}

// A typed raw value: unsigned signals read the text in base 16 with hex, else base 10; signed signals
// read it as a decimal integer (nothing is written with hex). A value the codec refuses leaves the bytes
// as they were.
void ApplySigRawText(const CCanSignal& sig, uint8_t (&data)[8], const QString& text, bool hex);

// A typed physical value or a chosen value-table text: the text read as a number, and the text itself for
// the value table, converted and packed by the codec. A value the codec refuses leaves the bytes as they
// were.
void ApplySigPhyText(const CCanSignal& sig, uint8_t (&data)[8], const QString& text);

// The message that refuses a text whose value the signal's bits cannot carry, or an empty string. The
// codec keeps only a value's low bits, so such a value would go on the bus as another one (99999 °C as
// -97 °C). The bounds are what the bits carry (Sign and BitLen, scaled by factor and offset), not the
// signal's informative PhyMin and PhyMax. A text is read by its numeric prefix; one that has none (other
// than a value-table entry's text) is refused the same way, as it would be sent as 0 ("abc", an empty
// cell). A text the Apply function would not write is not refused.
// Raw: "请输入0~255之间的整数。", or "请输入0~FFF之间的十六进制数。" with hex.
QString validateSigRawText(const CCanSignal& sig, const QString& text, bool hex);
// Physical or value-table text: "请输入-40~215之间的数值。".
QString validateSigPhyText(const CCanSignal& sig, const QString& text);

}  // namespace vex
