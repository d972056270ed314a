// The signal codec of CCanSignal. The bit walk of both byte orders is done on a 64-bit image of the eight
// data bytes: Intel bits run upward through the little-endian image and Motorola bits downward through the
// big-endian image, so a signal is one contiguous field of either image. Every position is checked against
// the image before any byte is read or written.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "candb/canmodel.h"
#include "platform/numconv.h"

namespace {

// Where a signal's bits lie in the 64-bit image of its byte order. False when the bit length is outside
// 1..32 or any bit of the signal would lie outside the eight data bytes.
struct Field {
    unsigned shift;  // position of the value's least significant bit in the image
    uint64_t mask;   // BitLen low bits set
    bool intel;
};

bool locate(const CCanSignal& s, Field& f) {
    const unsigned len = s.BitLen;
    if (len == 0 || len > 32) return false;
    f.intel = s.ByteFmtIntel != 0;
    f.mask = (uint64_t{1} << len) - 1;
    if (f.intel) {
        // Intel: the start bit is the least significant bit, numbered as in the little-endian image.
        if (s.BitOffset + len > 64) return false;
        f.shift = s.BitOffset;
    } else {
        // Motorola: the start bit is the most significant bit. Counted from the top of the big-endian image,
        // bit b of byte i lies at i * 8 + (7 - b), which is BitOffset with its three low bits inverted.
        const unsigned fromTop = s.BitOffset ^ 7u;
        if (fromTop + len > 64) return false;
        f.shift = 64 - fromTop - len;
    }
    return true;
}

uint64_t load(CCanSignal::ConstData d, bool intel) {
    uint64_t w = 0;
    if (intel) {
        for (int i = 7; i >= 0; --i) w = (w << 8) | d[i];
    } else {
        for (int i = 0; i < 8; ++i) w = (w << 8) | d[i];
    }
    return w;
}

void store(CCanSignal::Data d, bool intel, uint64_t w) {
    if (intel) {
        for (int i = 0; i < 8; ++i, w >>= 8) d[i] = static_cast<uint8_t>(w);
    } else {
        for (int i = 7; i >= 0; --i, w >>= 8) d[i] = static_cast<uint8_t>(w);
    }
}

// The text of a value in millionths, n = round(value * 1e6): the digits of "%f" without trailing zeros
// and point. Zero is "0", never "-0".
char* formatMillionths(int64_t n, char* out) {
    if (n < 0) *out++ = '-';
    const uint64_t mag = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    out = std::to_chars(out, out + 20, mag / 1000000).ptr;
    uint32_t frac = static_cast<uint32_t>(mag % 1000000);
    if (frac == 0) return out;
    *out++ = '.';
    for (uint32_t unit = 100000; frac != 0; unit /= 10) {
        *out++ = static_cast<char>('0' + frac / unit);
        frac %= unit;
    }
    return out;
}

// "%f" of the value, then trailing '0' characters and then a trailing '.' removed. A result that reads as
// zero is shown as "0", never "-0".
void formatPhysical(double phy, std::string& text) {
    char buf[400];  // the largest double has 309 integer digits; sign, point and six decimals add 8
    char* end = buf;
    // Fast path, exact: below 1e6 the product phy * 1e6 lies within 2^-13 of the true value, so when it is
    // at most 0.49 from a whole number that number is what "%f" rounds the true value to.
    const double scaled = phy * 1e6;
    const double nearest = std::nearbyint(scaled);
    if (std::fabs(phy) < 1e6 && std::fabs(scaled - nearest) <= 0.49) {
        end = formatMillionths(static_cast<int64_t>(nearest), buf);
    } else {
        auto r = std::to_chars(buf, buf + sizeof buf, phy, std::chars_format::fixed, 6);
        end = r.ec == std::errc() ? r.ptr : buf;
        if (std::find(buf, end, '.') != end) {
            while (end > buf && end[-1] == '0') --end;
            if (end > buf && end[-1] == '.') --end;
        }
    }
    if (end == buf || (end - buf == 2 && buf[0] == '-' && buf[1] == '0')) {
        buf[0] = '0';
        end = buf + 1;
    }
    text.assign(buf, end);
}

// The value-table value of a physical value: the value truncated toward zero, where a value within a
// relative 1e-9 of a whole number counts as that number.
bool enumValueOf(double phy, int32_t& val) {
    return vex::TruncToInt(vex::TruncTolerant(phy), val);
}

// The value-table text for a physical value: the last entry whose value equals the value's table value.
// With no such entry the text is the number itself, as a signal without a table shows it: a value that the
// table does not name is still a value the user needs to read (two blanks, as first designed, told nothing).
void enumText(const tCAN_SIGNAL_ENUM& table, double phy, std::string& text) {
    int32_t key = 0;
    if (enumValueOf(phy, key)) {
        for (auto it = table.Items.rbegin(); it != table.Items.rend(); ++it) {
            if (it->val == key) {
                text = it->txt;
                return;
            }
        }
    }
    formatPhysical(phy, text);
}

// The raw quotient of a physical value, truncated (tolerantly) toward zero; false when the factor is zero.
// The caller's checked conversion refuses NaN, infinity and out-of-range quotients.
bool rawQuotientOf(const CCanSignal& s, double phy, double& quotient) {
    if (s.ValFactor == 0.0) return false;
    quotient = vex::TruncTolerant((phy - s.ValOffset) / s.ValFactor);
    return true;
}

// The raw quotient for a physical value or a value-table text. A text stands for the raw value that is
// shown through its entry, which the truncated quotient of the entry's value need not be: with factor
// 0.782779 and offset -200, raw 511 is shown as 200, but (200 + 200) / 0.782779 truncates to 510.
bool rawQuotient(const CCanSignal& s, std::string_view text, double phy, double& quotient) {
    if (s.Enum != 0) {
        for (auto it = s.SigEnum.Items.rbegin(); it != s.SigEnum.Items.rend(); ++it) {
            if (it->txt == text) {
                int64_t raw = 0;
                if (!s.EnumValueToRaw(it->val, raw)) return false;
                quotient = static_cast<double>(raw);
                return true;
            }
        }
    }
    return rawQuotientOf(s, phy, quotient);
}

void rawToPhyText(const CCanSignal& s, double raw, double& phy, std::string& text) {
    const double value = raw * s.ValFactor + s.ValOffset;
    if (s.Enum != 0) {
        enumText(s.SigEnum, value, text);
    } else {
        formatPhysical(value, text);
    }
    phy = value;
}

}  // namespace

bool CCanSignal::FitsData() const {
    Field f;
    return locate(*this, f);
}

bool CCanSignal::GetRawValue(ConstData data, uint32_t& raw) const {
    Field f;
    if (!locate(*this, f)) return false;
    raw = static_cast<uint32_t>((load(data, f.intel) >> f.shift) & f.mask);
    return true;
}

bool CCanSignal::SetRawValue(Data data, uint32_t raw) const {
    Field f;
    if (!locate(*this, f)) return false;
    uint64_t w = load(data, f.intel);
    w = (w & ~(f.mask << f.shift)) | ((uint64_t{raw} & f.mask) << f.shift);
    store(data, f.intel, w);
    return true;
}

bool CCanSignal::GetSignedRawValue(ConstData data, int32_t& raw) const {
    uint32_t u = 0;
    if (Sign == 0 || !GetRawValue(data, u)) return false;
    int64_t v = u;
    if (BitLen < 32 && (u >> (BitLen - 1)) & 1u) v -= int64_t{1} << BitLen;
    raw = static_cast<int32_t>(v);  // in range: BitLen < 32 gives -2^(BitLen-1)..; 32 bits wrap modulo 2^32
    return true;
}

bool CCanSignal::SetSignedRawValue(int32_t raw, Data data) const {
    Field f;
    if (Sign == 0 || !locate(*this, f)) return false;
    uint32_t u = static_cast<uint32_t>(raw);
    if (raw < 0) {
        // A negative value always keeps its sign bit, whatever its magnitude.
        const uint32_t sign = uint32_t{1} << (BitLen - 1);
        u = (u & (sign - 1)) | sign;
    }
    return SetRawValue(data, u);
}

bool CCanSignal::SignedRawToPhyText(int32_t raw, double& phy, std::string& text) const {
    if (Sign == 0) return false;
    rawToPhyText(*this, raw, phy, text);
    return true;
}

bool CCanSignal::UnsignedRawToPhyText(uint32_t raw, double& phy, std::string& text) const {
    if (Sign != 0) return false;
    rawToPhyText(*this, raw, phy, text);
    return true;
}

bool CCanSignal::PhyToSignedRaw(std::string_view text, int32_t& raw, double phy) const {
    int64_t wide = 0;
    if (Sign == 0 || !PhyToRaw(text, phy, wide) || wide < INT32_MIN || wide > INT32_MAX) return false;
    raw = static_cast<int32_t>(wide);
    return true;
}

bool CCanSignal::PhyToUnsignedRaw(std::string_view text, uint32_t& raw, double phy) const {
    int64_t wide = 0;
    if (Sign != 0 || !PhyToRaw(text, phy, wide)) return false;
    raw = static_cast<uint32_t>(static_cast<uint64_t>(wide));  // low 32 bits: -1 gives all ones
    return true;
}

bool CCanSignal::SetPhyValue(Data data, std::string_view text, double phy) const {
    if (Sign != 0) {
        int32_t raw = 0;
        return PhyToSignedRaw(text, raw, phy) && SetSignedRawValue(raw, data);
    }
    uint32_t raw = 0;
    return PhyToUnsignedRaw(text, raw, phy) && SetRawValue(data, raw);
}

bool CCanSignal::PhyToRaw(std::string_view text, double phy, int64_t& raw) const {
    double q = 0;
    return rawQuotient(*this, text, phy, q) && vex::TruncToInt(q, raw);
}

bool CCanSignal::RawLimits(int64_t& minimum, int64_t& maximum) const {
    if (BitLen == 0 || BitLen > 32) return false;
    if (Sign != 0) {
        minimum = -(int64_t{1} << (BitLen - 1));
        maximum = (int64_t{1} << (BitLen - 1)) - 1;
    } else {
        minimum = 0;
        maximum = (int64_t{1} << BitLen) - 1;
    }
    return true;
}

bool CCanSignal::RawToEnumValue(int64_t raw, int32_t& val) const {
    if (ValFactor == 1.0 && ValOffset == 0.0) {  // most tables: the same number, when it fits
        if (raw < INT32_MIN || raw > INT32_MAX) return false;
        val = static_cast<int32_t>(raw);
        return true;
    }
    return enumValueOf(static_cast<double>(raw) * ValFactor + ValOffset, val);
}

bool CCanSignal::EnumValueToRaw(int32_t val, int64_t& raw) const {
    if (ValFactor == 1.0 && ValOffset == 0.0) {
        raw = val;
        return true;
    }
    double q = 0;
    int64_t truncated = 0;
    if (!rawQuotientOf(*this, val, q) || !vex::TruncToInt(q, truncated)) return false;
    // The raw values shown through val form one run around the quotient; truncation may land one step
    // beside it (toward zero).
    const int64_t step =
        truncated > INT64_MIN ? 1 : 0;  // -2^63 has no lower neighbour; the top is below 2^63 - 1
    auto shows = [&](int64_t r) {
        int32_t shown = 0;
        return RawToEnumValue(r, shown) && shown == val;
    };
    for (int64_t r : {truncated, truncated + step, truncated - step}) {
        if (!shows(r)) continue;
        // The run can reach beyond what the bits carry (the edge of a run ending at the signal's limit): the
        // limit stands for the value then, as a raw value the signal never carries could be neither sent nor
        // seen, and a DBC key written beyond a signed signal's range reads back as another value.
        int64_t lo = 0;
        int64_t hi = 0;
        if (RawLimits(lo, hi) && (r < lo || r > hi) && shows(r < lo ? lo : hi)) r = r < lo ? lo : hi;
        raw = r;
        return true;
    }
    raw = truncated;
    return true;
}

void CCanSignal::CalcPhyRange(double& minimum, double& maximum) const {
    const double span = std::ldexp(1.0, BitLen);  // 2^n
    if (Sign != 0) {
        const double m = (span - 2.0) * 0.5;
        minimum = -m * ValFactor + ValOffset;
        maximum = m * ValFactor + ValOffset;
    } else {
        minimum = ValOffset;
        maximum = (span - 1.0) * ValFactor + ValOffset;
    }
}
