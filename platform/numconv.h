#pragma once
// Checked double -> integer conversions. Converting an out-of-range double, NaN or infinity to an integer
// is undefined behaviour in C++; these give a defined result instead.
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace vex {

// True and `out` = the value truncated toward zero when that lies in the range of Int; false and `out`
// unchanged otherwise (NaN, infinity, out of range).
template <class Int>
bool TruncToInt(double value, Int& out) {
    static_assert(std::is_integral_v<Int>);
    if (!std::isfinite(value)) return false;
    const double t = std::trunc(value);
    // The bounds are exact powers of two, so the comparisons below are exact.
    constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double hiExclusive = static_cast<double>(std::numeric_limits<Int>::max() / 2 + 1) * 2.0;
    if (t < lo || t >= hiExclusive) return false;
    out = static_cast<Int>(t);
    return true;
}

// The value truncated toward zero, clamped to the range of Int; NaN gives 0.
template <class Int>
Int SaturateTrunc(double value) {
    Int out{};
    if (TruncToInt(value, out)) return out;
    if (std::isnan(value)) return Int{0};
    return value < 0 ? std::numeric_limits<Int>::min() : std::numeric_limits<Int>::max();
}

// Truncates a quotient toward zero, except that a quotient within a relative 1e-9 of a whole number counts
// as that whole number: 0.3 / 0.1 = 2.9999999999999996 gives 3, 0.35 / 0.1 gives 3. This removes the
// floating-point artefacts of dividing decimal values without moving any genuinely fractional quotient.
inline double TruncTolerant(double quotient) {
    if (!std::isfinite(quotient)) return quotient;
    const double nearest = std::round(quotient);
    if (nearest != 0.0 && std::fabs(quotient - nearest) <= 1e-9 * std::fabs(nearest)) return nearest;
    return std::trunc(quotient);
}

}  // namespace vex
