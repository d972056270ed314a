#include "windows/plot/plotformat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

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
    char buf[400];  // the largest double has 309 integer digits
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    char* end = r.ec == std::errc() ? r.ptr : buf;
    if (std::find(buf, end, '.') != end) {
        while (end > buf && end[-1] == '0') --end;
        if (end > buf && end[-1] == '.') --end;
    }
    const std::string_view text(buf, static_cast<size_t>(end - buf));
    return text.empty() || text == "-0" ? std::string(1, '0') : std::string(text);
}

std::string IntegerLabel(double value) {
    std::string text("[");
    text.append(std::to_string(vex::SaturateTrunc<int64_t>(value))).append("]");
    return text;
}

std::string ReadoutTimeText(double ms) {
    constexpr double kMinute = 60000.0;
    constexpr double kHour = 3600000.0;
    std::string text("t = ");
    if (!(ms >= 1000.0)) return text.append(fixed(ms, 6)).append("ms");  // also NaN
    if (ms < kMinute) return text.append(fixed(ms / 1000.0, 6)).append("s");
    double rest = ms;
    if (ms > kHour) {
        const double hours = std::trunc(ms / kHour);
        rest -= hours * kHour;
        text.append(std::to_string(vex::SaturateTrunc<int64_t>(hours))).append("h");
    }
    const double minutes = std::trunc(rest / kMinute);
    text.append(std::to_string(vex::SaturateTrunc<int64_t>(minutes))).append("m");
    return text.append(fixed((rest - minutes * kMinute) / 1000.0, 3)).append("s");
}

std::string ReadoutValueText(double value, const std::string& unit) {
    std::string text("v = ");
    return text.append(StrippedFixed(value)).append(" ").append(unit);
}

}  // namespace plot
