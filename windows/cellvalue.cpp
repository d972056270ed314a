#include "windows/cellvalue.h"

namespace vex {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Whole-text hexadecimal number no larger than `max`; leading zeros allowed.
std::optional<uint64_t> parseHex(std::string_view text, uint64_t max) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        const int d = hexDigit(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(d);
        if (value > max) return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<uint16_t> ParseU16Cell(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) return uint16_t{0};
    if (text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 0xFFFF) return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

QString validateU16Cell(const QString& text) {
    if (ParseU16Cell(text.toStdString())) return {};
    return QStringLiteral("请输入0~65535之间的整数。");
}

std::optional<uint8_t> ParseHexByteCell(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) return uint8_t{0};
    const std::optional<uint64_t> value = parseHex(text, 0xFF);
    if (!value) return std::nullopt;
    return static_cast<uint8_t>(*value);
}

QString validateHexByteCell(const QString& text) {
    if (ParseHexByteCell(text.toStdString())) return {};
    return QStringLiteral("请输入00~FF之间的十六进制数。");
}

std::optional<uint32_t> ParseHexIdText(std::string_view text) {
    text = trimmed(text);
    if (text.size() > 8) return std::nullopt;
    const std::optional<uint64_t> value = parseHex(text, 0xFFFFFFFFu);
    if (!value) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

}  // namespace vex
