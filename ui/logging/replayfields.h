#pragma once
// The editable fields of the replay control as text, and their check: each field must hold its kind of
// number, in full.
#include <cstdint>
#include <optional>
#include <string>

struct ReplayFieldTexts {
    std::string startTime;    // "分页起始时间[ms]："
    std::string pageSpan;     // "单页时间段[ms]："
    std::string startIndex;   // "分页起始位置："
    std::string perPage;      // "单页报文数量："
    std::string currentPage;  // "当前页："
};

struct ReplayFieldValues {
    double startTime = 0.0;
    double pageSpan = 0.0;
    uint32_t startIndex = 0;
    uint32_t perPage = 0;
    int32_t currentPage = 0;
};

// The first field that does not hold its number ("<label>请输入一个数字。" for the times,
// "请输入一个正整数。" for the unsigned fields, "请输入一个整数。" for the page), or none with every value in
// `out`. Blanks around a number are allowed; the times must be finite.
std::optional<std::string> validateReplayFields(const ReplayFieldTexts& texts, ReplayFieldValues& out);

// The text a time field shows: the shortest that reads back as the same value.
std::string ReplayTimeText(double ms);
