#include "windows/sigvaluetext.h"

#include <string>

#include "platform/numparse.h"

namespace vex {

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

void ApplySigRawText(const CCanSignal& sig, uint8_t (&data)[8], const QString& text, bool hex) {
    const std::string utf8 = text.toStdString();
    if (sig.Sign) {
        if (!hex) sig.SetSignedRawValue(ParseInt32(utf8), data);
        return;
    }
    sig.SetRawValue(data, hex ? ParseHexUInt32(utf8) : ParseUInt32(utf8));
}

void ApplySigPhyText(const CCanSignal& sig, uint8_t (&data)[8], const QString& text) {
    const std::string utf8 = text.toStdString();
    sig.SetPhyValue(data, utf8, ParseReal(utf8));
}

}  // namespace vex
