#include "windows/plot/plotformat.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/numconv.h"

namespace plot {

namespace {

// printf("%0.<decimals>f") in the C locale.
std::string fixed(double value, int decimals) {
    char buf[400];  // the largest double has 309 integer digits
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

}  // namespace

std::string StrippedFixed(double value) {
    std::string text = fixed(value, 6);
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    if (text == "-0" || text.empty()) text = "0";
    return text;
}

std::string IntegerLabel(double value) {
    return "[" + std::to_string(vex::SaturateTrunc<int64_t>(value)) + "]";
}

std::string ReadoutTimeText(double ms) {
    constexpr double kMinute = 60000.0;
    constexpr double kHour = 3600000.0;
    if (!(ms >= 1000.0)) return "t = " + fixed(ms, 6) + "ms";  // also NaN
    if (ms < kMinute) return "t = " + fixed(ms / 1000.0, 6) + "s";
    if (ms <= kHour) {
        const double minutes = std::trunc(ms / kMinute);
        return "t = " + std::to_string(vex::SaturateTrunc<int64_t>(minutes)) + "m" +
               fixed((ms - minutes * kMinute) / 1000.0, 3) + "s";
    }
    const double hours = std::trunc(ms / kHour);
    const double rest = ms - hours * kHour;
    const double minutes = std::trunc(rest / kMinute);
    return "t = " + std::to_string(vex::SaturateTrunc<int64_t>(hours)) + "h" +
           std::to_string(vex::SaturateTrunc<int64_t>(minutes)) + "m" +
           fixed((rest - minutes * kMinute) / 1000.0, 3) + "s";
}

std::string ReadoutValueText(double value, const std::string& unit) {
    return "v = " + StrippedFixed(value) + " " + unit;
}

}  // namespace plot
