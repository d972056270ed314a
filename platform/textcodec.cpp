#include "platform/textcodec.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vex {
namespace {

constexpr char32_t kEscapeBase = 0x10FF00;  // U+10FF00 + byte: a byte kept from an invalid GBK sequence
constexpr uint8_t kLeadMin = 0x81, kLeadMax = 0xFE;

// GBK double-byte code (lead, trail) -> code point, and the reverse for the Basic Multilingual Plane.
// Built once from the system's CP936 converter, so conversion needs no iconv state and no locks afterwards.
struct GbkTables {
    std::vector<char32_t> toUnicode;    // index (lead - 0x81) * 256 + trail; 0 = not a character
    std::vector<uint16_t> fromUnicode;  // index code point (BMP); 0 = not representable
    char32_t single80 = 0;              // CP936 maps the single byte 0x80 to the euro sign

    GbkTables() : toUnicode((kLeadMax - kLeadMin + 1) * 256, 0), fromUnicode(0x10000, 0) {
        iconv_t cd = iconv_open("UTF-32LE", "CP936");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        auto convert = [&](const char* in, size_t inLen) -> char32_t {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            char out[8];
            char* inp = const_cast<char*>(in);
            char* outp = out;
            size_t inLeft = inLen, outLeft = sizeof out;
            if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
                outLeft != 4)
                return 0;
            const auto* u = reinterpret_cast<const unsigned char*>(out);
            return static_cast<char32_t>(u[0] | (u[1] << 8) | (u[2] << 16) |
                                         (static_cast<uint32_t>(u[3]) << 24));
        };
        const char b80 = static_cast<char>(0x80);
        single80 = convert(&b80, 1);
        for (int lead = kLeadMin; lead <= kLeadMax; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F) continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                char32_t cp = convert(pair, 2);
                // Only characters that encode back to the same two bytes are decoded; a second code for an
                // already seen character (or for the euro sign of 0x80) stays escaped, so decoding is
                // lossless.
                if (cp == 0 || cp >= 0x10000 || cp == single80 || fromUnicode[cp] != 0) continue;
                fromUnicode[cp] = static_cast<uint16_t>((lead << 8) | trail);
                toUnicode[(lead - kLeadMin) * 256 + trail] = cp;
            }
        }
        iconv_close(cd);
    }
};

const GbkTables& tables() {
    static const GbkTables t;
    return t;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

std::string GbkToUtf8(std::string_view gbk) {
    const GbkTables& t = tables();
    std::string out;
    out.reserve(gbk.size() + gbk.size() / 2);
    for (size_t i = 0; i < gbk.size();) {
        const auto b = static_cast<unsigned char>(gbk[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        if (b >= kLeadMin && b <= kLeadMax && i + 1 < gbk.size()) {
            const auto trail = static_cast<unsigned char>(gbk[i + 1]);
            char32_t cp = t.toUnicode[(b - kLeadMin) * 256 + trail];
            if (cp != 0) {
                AppendUtf8(out, cp);
                i += 2;
                continue;
            }
        }
        if (b == 0x80 && t.single80 != 0) {
            AppendUtf8(out, t.single80);
        } else {
            AppendUtf8(out, kEscapeBase + b);
        }
        ++i;
    }
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    const GbkTables& t = tables();
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        size_t len = DecodeUtf8(utf8, i, cp);
        if (len == 0) {
            out.push_back(utf8[i]);
            ++i;
            continue;
        }
        i += len;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) {
            out.push_back(static_cast<char>(cp - kEscapeBase));
        } else if (cp == t.single80 && t.single80 != 0) {
            out.push_back(static_cast<char>(0x80));
        } else if (cp < 0x10000 && t.fromUnicode[cp] != 0) {
            out.push_back(static_cast<char>(t.fromUnicode[cp] >> 8));
            out.push_back(static_cast<char>(t.fromUnicode[cp] & 0xFF));
        } else {
            out.push_back('?');
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

size_t Utf8PrefixBytes(std::string_view utf8, size_t maxBytes) {
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp;
        size_t len = DecodeUtf8(utf8, i, cp);
        if (len == 0) len = 1;
        if (i + len > maxBytes) break;
        i += len;
    }
    return i;
}

size_t GbkPrefixBytes(std::string_view gbk, size_t maxBytes) {
    const GbkTables& t = tables();
    size_t i = 0;
    while (i < gbk.size()) {
        const auto b = static_cast<unsigned char>(gbk[i]);
        size_t len = 1;
        if (b >= kLeadMin && b <= kLeadMax && i + 1 < gbk.size() &&
            t.toUnicode[(b - kLeadMin) * 256 + static_cast<unsigned char>(gbk[i + 1])] != 0)
            len = 2;
        if (i + len > maxBytes) break;
        i += len;
    }
    return i;
}

size_t Utf8Length(std::string_view utf8) {
    size_t n = 0;
    for (size_t i = 0; i < utf8.size(); ++n) {
        char32_t cp;
        size_t len = DecodeUtf8(utf8, i, cp);
        i += len == 0 ? 1 : len;
    }
    return n;
}

}  // namespace vex
