#include "platform/numparse.h"

#include <locale.h>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <system_error>

namespace vex {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Sign and magnitude of the leading decimal integer; the magnitude saturates at UINT64_MAX.
struct Scanned {
    bool negative = false;
    bool any = false;
    uint64_t magnitude = 0;
};

// Value of a digit in the given base, or -1.
int digitValue(char c, unsigned base) {
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'z')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        d = c - 'A' + 10;
    return d >= 0 && static_cast<unsigned>(d) < base ? d : -1;
}

Scanned scanInteger(std::string_view text, unsigned base = 10) {
    Scanned s;
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) s.negative = text[i++] == '-';
    // strtoul takes a "0x" prefix in base 16 only when a hexadecimal digit follows it.
    if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digitValue(text[i + 2], 16) >= 0)
        i += 2;
    for (int d; i < text.size() && (d = digitValue(text[i], base)) >= 0; ++i) {
        s.any = true;
        const auto ud = static_cast<uint64_t>(d);
        if (s.magnitude > (UINT64_MAX - ud) / base)
            s.magnitude = UINT64_MAX;
        else
            s.magnitude = s.magnitude * base + ud;
    }
    return s;
}

uint32_t toUInt32(const Scanned& s) {
    if (!s.any) return 0;
    if (s.magnitude > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    const auto m = static_cast<uint32_t>(s.magnitude);
    return s.negative ? static_cast<uint32_t>(0u - m) : m;
}

locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

}  // namespace

int32_t ParseInt32(std::string_view text) {
    const Scanned s = scanInteger(text);
    if (!s.any) return 0;
    if (s.negative) return s.magnitude >= 0x80000000ull ? INT32_MIN : -static_cast<int32_t>(s.magnitude);
    return s.magnitude > 0x7FFFFFFFull ? INT32_MAX : static_cast<int32_t>(s.magnitude);
}

uint32_t ParseUInt32(std::string_view text) {
    return toUInt32(scanInteger(text));
}

uint32_t ParseHexUInt32(std::string_view text) {
    return toUInt32(scanInteger(text, 16));
}

double ParseReal(std::string_view text, size_t* consumed) {
    // strtod needs a terminated string; the numeric prefix of any sane number is short.
    std::string buf(text.substr(0, 512));
    char* end = nullptr;
    const double v = strtod_l(buf.c_str(), &end, cLocale());
    if (consumed) *consumed = static_cast<size_t>(end - buf.c_str());
    return v;
}

std::string FormatInt(int64_t value) {
    return std::to_string(static_cast<int32_t>(value));
}

std::string FormatFixed(double value, int decimals) {
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

std::string FormatShortest(double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

}  // namespace vex
