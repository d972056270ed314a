#include "windows/cellvalue.h"

#include "platform/numparse.h"

namespace vex {

std::optional<uint16_t> ParseU16Cell(std::string_view text) {
    const int32_t value = ParseInt32(text);
    if (value < 0 || value > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(value);
}

QString validateU16Cell(const QString& text) {
    if (ParseU16Cell(text.toStdString())) return {};
    return QStringLiteral("请输入0~65535之间的整数。");
}

uint8_t ParseHexByteCell(std::string_view text) {
    return static_cast<uint8_t>(ParseHexUInt32(text) & 0xFFu);
}

}  // namespace vex
