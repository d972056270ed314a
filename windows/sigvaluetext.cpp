#include "windows/sigvaluetext.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>

#include "platform/numparse.h"

namespace vex {

namespace {

// The number a raw value shows as, as the signal's codec formats it (without its value table).
QString numberText(const CCanSignal& sig, int64_t raw) {
    CCanSignal plain;
    plain.Sign = sig.Sign;
    plain.ValFactor = sig.ValFactor;
    plain.ValOffset = sig.ValOffset;
    double phy = 0.0;
    std::string text;
    if (plain.Sign)
        plain.SignedRawToPhyText(static_cast<int32_t>(raw), phy, text);
    else
        plain.UnsignedRawToPhyText(static_cast<uint32_t>(raw), phy, text);
    return QString::fromStdString(text);
}

// The raw value a typed text stands for, as ApplySigRawText reads it. False when nothing is written
// (a signed signal while raw values show in hexadecimal).
bool rawOfText(const CCanSignal& sig, const std::string& text, bool hex, int64_t& raw) {
    if (sig.Sign) {
        if (hex) return false;
        raw = ParseInt32(text);
        return true;
    }
    raw = hex ? ParseHexUInt32(text) : ParseUInt32(text);
    return true;
}

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Whether a text begins with a number (after blanks), as the Apply functions read it by its numeric prefix
// ("1A" in decimal is 1). A text without one would be read as 0: "abc" or an empty cell would go on the bus
// as 0 without a word.
bool hasPhysicalNumber(const std::string& text) {
    size_t consumed = 0;
    ParseReal(text, &consumed);
    return consumed > 0;
}
bool hasRawNumber(const std::string& text, bool hex) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (hex && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2])))
        i += 2;
    const auto c = static_cast<unsigned char>(i < text.size() ? text[i] : '\0');
    return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
}

// Whether the text is one of a value-table signal's entry texts, which the codec sets through its entry.
bool isEntryText(const CCanSignal& sig, const std::string& text) {
    return sig.Enum != 0 && std::any_of(sig.SigEnum.Items.begin(), sig.SigEnum.Items.end(),
                                        [&](const tCAN_SIGNAL_ENUM_ITEM& item) { return item.txt == text; });
}

}  // namespace

QString SigRawText(const CCanSignal& sig, const uint8_t (&data)[8], bool hex) {
    if (sig.Sign) {
        int32_t raw = 0;
        if (!sig.GetSignedRawValue(data, raw)) return QStringLiteral("--");
        if (!hex) return QString::number(raw);
        const uint32_t magnitude = raw < 0 ? 0u - static_cast<uint32_t>(raw) : static_cast<uint32_t>(raw);
        return QString::fromLatin1(raw < 0 ? "- " : "+ ") + QString::number(magnitude, 16).toUpper();
    }
    uint32_t raw = 0;
    if (!sig.GetRawValue(data, raw)) return QStringLiteral("--");
    return hex ? QString::number(raw, 16).toUpper() : QString::number(raw);
}

QString SigPhyText(const CCanSignal& sig, const uint8_t (&data)[8]) {
    double phy = 0.0;
    std::string text;
    bool ok = false;
    if (sig.Sign) {
        int32_t raw = 0;
        ok = sig.GetSignedRawValue(data, raw) && sig.SignedRawToPhyText(raw, phy, text);
    } else {
        uint32_t raw = 0;
        ok = sig.GetRawValue(data, raw) && sig.UnsignedRawToPhyText(raw, phy, text);
    }
    return ok ? QString::fromStdString(text) : QStringLiteral("--");
}

QString validateSigRawText(const CCanSignal& sig, const QString& text, bool hex) {
    int64_t raw = 0, lo = 0, hi = 0;
    const std::string utf8 = text.toStdString();
    if (!sig.RawLimits(lo, hi) || !SigRawEditable(sig, hex)) return {};
    if (hasRawNumber(utf8, hex) && rawOfText(sig, utf8, hex, raw) && raw >= lo && raw <= hi) return {};
    if (hex) return QStringLiteral("请输入0~%1之间的十六进制数。").arg(QString::number(hi, 16).toUpper());
    return QStringLiteral("请输入%1~%2之间的整数。").arg(lo).arg(hi);
}

QString validateSigPhyText(const CCanSignal& sig, const QString& text) {
    int64_t lo = 0, hi = 0, raw = 0;
    // A signal the codec cannot take at all is refused by the codec, as before: nothing is written.
    if (!sig.RawLimits(lo, hi) || sig.ValFactor == 0.0) return {};
    const std::string utf8 = text.toStdString();
    if ((isEntryText(sig, utf8) || hasPhysicalNumber(utf8)) && sig.PhyToRaw(utf8, ParseReal(utf8), raw) &&
        raw >= lo && raw <= hi)
        return {};
    QString low = numberText(sig, lo), high = numberText(sig, hi);
    if (sig.ValFactor < 0) std::swap(low, high);
    return QStringLiteral("请输入%1~%2之间的数值。").arg(low, high);
}

void ApplySigRawText(const CCanSignal& sig, uint8_t (&data)[8], const QString& text, bool hex) {
    int64_t raw = 0;
    if (!rawOfText(sig, text.toStdString(), hex, raw)) return;
    if (sig.Sign)
        sig.SetSignedRawValue(static_cast<int32_t>(raw), data);
    else
        sig.SetRawValue(data, static_cast<uint32_t>(raw));
}

void ApplySigPhyText(const CCanSignal& sig, uint8_t (&data)[8], const QString& text) {
    const std::string utf8 = text.toStdString();
    sig.SetPhyValue(data, utf8, ParseReal(utf8));
}

}  // namespace vex
