#include "ui/logging/replayfields.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "platform/numparse.h"

namespace {

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

template <class T>
bool parseWhole(std::string_view text, T& value) {
    text = trimmed(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseTime(std::string_view text, double& value) {
    return parseWhole(text, value) && std::isfinite(value);
}

}  // namespace

std::optional<std::string> validateReplayFields(const ReplayFieldTexts& t, ReplayFieldValues& out) {
    ReplayFieldValues v;
    if (!parseTime(t.startTime, v.startTime)) return std::string("分页起始时间[ms]：请输入一个数字。");
    if (!parseTime(t.pageSpan, v.pageSpan)) return std::string("单页时间段[ms]：请输入一个数字。");
    if (!parseWhole(t.startIndex, v.startIndex)) return std::string("分页起始位置：请输入一个正整数。");
    if (!parseWhole(t.perPage, v.perPage)) return std::string("单页报文数量：请输入一个正整数。");
    if (!parseWhole(t.currentPage, v.currentPage)) return std::string("当前页：请输入一个整数。");
    out = v;
    return std::nullopt;
}

std::string ReplayTimeText(double ms) {
    return vex::FormatShortest(ms);
}
