#pragma once
// Words and numbers of DBC statements, read from views into a line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "candb/strsplit.h"

namespace vexdbc {

inline size_t findSpace(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (isSpace(text[i])) return i;
    return std::string_view::npos;
}

// The first word (up to white space) and the text after it without leading white space. False when the
// text holds no white space.
inline bool splitWord(std::string_view text, std::string_view& word, std::string_view& rest) {
    const size_t at = findSpace(text);
    if (at == std::string_view::npos) return false;
    word = text.substr(0, at);
    rest = trimLeftSpace(text.substr(at + 1));
    return true;
}

// The first word of the text, after leading white space.
inline std::string_view firstWord(std::string_view text) {
    text = trimLeftSpace(text);
    return text.substr(0, findSpace(text));
}

// Whether a word is the given keyword: a compare of a known length, done in place.
template <size_t N>
bool is(std::string_view word, const char (&keyword)[N]) {
    return word.size() == N - 1 && std::memcmp(word.data(), keyword, N - 1) == 0;
}

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The numbers of a statement, as the C library reads them (leading white space skipped, the numeric prefix
// counts, no number gives 0), with the common forms read here directly to the same result:
// a signed decimal clamped to 32 bits (atoi);
int32_t parseInt(std::string_view text);
// an unsigned decimal, 0xFFFFFFFF beyond 32 bits (strtoul on a 32-bit unsigned long);
uint32_t parseUInt(std::string_view text);
// a floating-point number (atof);
double parseReal(std::string_view text);
// a value-list key: a signed decimal of up to 64 bits (beyond 18 digits the largest magnitude of its sign).
int64_t parseInt64(std::string_view text);

// The pieces of a text joined in one buffer.
std::string cat(std::initializer_list<std::string_view> parts);

}  // namespace vexdbc
