#include "candb/dbcwords.h"

#include <algorithm>
#include <cstdint>

#include "platform/numparse.h"

namespace vexdbc {

using sv = std::string_view;

namespace {

// A sign and decimal digits from the start of the text; false when no digit follows the sign. Beyond 18
// digits the value is the largest magnitude of its sign.
bool leadingInt(sv t, int64_t& value) {
    size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative || (!t.empty() && t[0] == '+')) i = 1;
    const size_t first = i;
    int64_t v = 0;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        if (i - first == 18) {
            value = negative ? INT64_MIN : INT64_MAX;
            return true;
        }
        v = v * 10 + (t[i] - '0');
    }
    value = negative ? -v : v;
    return i > first;
}

}  // namespace

int32_t parseInt(sv t) {
    while (!t.empty() && isSpace(t.front())) t.remove_prefix(1);
    int64_t v = 0;
    if (!leadingInt(t, v)) return vex::ParseInt32(t);  // no number
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

uint32_t parseUInt(sv t) {
    size_t i = 0;
    uint64_t v = 0;
    while (i < t.size() && isDigit(t[i]) && i < 19) v = v * 10 + static_cast<uint64_t>(t[i++] - '0');
    if (i == 0 || (i < t.size() && isDigit(t[i]))) return vex::ParseUInt32(t);
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

// A decimal with at most 15 digits and no exponent is its digits divided by a power of ten: both exact, so
// the one rounding of the division gives the correctly rounded value that strtod gives.
double parseReal(sv t) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative || (!t.empty() && t[0] == '+')) i = 1;
    if (i >= t.size() || !isDigit(t[i])) return vex::ParseReal(t);
    uint64_t m = 0;
    int digits = 0, fraction = 0;
    for (; i < t.size() && isDigit(t[i]); ++i, ++digits) m = m * 10 + static_cast<uint64_t>(t[i] - '0');
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && isDigit(t[i]); ++i, ++digits, ++fraction)
            m = m * 10 + static_cast<uint64_t>(t[i] - '0');
    }
    if (digits > 15) return vex::ParseReal(t);
    if (i < t.size()) {
        const char c = t[i];
        if (c == 'e' || c == 'E' || c == 'x' || c == 'X' || c == 'p' || c == 'P' || c == '.')
            return vex::ParseReal(t);
    }
    const double v = static_cast<double>(m) / kPow10[fraction];
    return negative ? -v : v;
}

int64_t parseInt64(sv t) {
    int64_t v = 0;
    leadingInt(t, v);
    return v;
}

std::string cat(std::initializer_list<sv> parts) {
    size_t size = 0;
    for (sv p : parts) size += p.size();
    std::string out;
    out.reserve(size);
    for (sv p : parts) out += p;
    return out;
}
}  // namespace vexdbc
