#pragma once
// The reference form of a signal's value text, taken from the C library itself: printf "%f", then trailing
// '0' characters and then a trailing '.' removed; "-0" is shown as "0". Shared by the codec tests and fuzzer.
#include <cstdio>
#include <string>

inline std::string printfValueText(double v) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%f", v);
    std::string t = buf;
    while (!t.empty() && t.back() == '0') t.pop_back();
    while (!t.empty() && t.back() == '.') t.pop_back();
    return t == "-0" ? std::string("0") : t;
}
