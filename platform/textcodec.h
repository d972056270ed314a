#pragma once
// Text at the file boundaries: GBK (code page 936) on disk, UTF-8 in memory.
//
// Decoding is lossless: a byte that does not start a valid GBK character is kept as an escape code point
// (U+10FF00 + byte, from the supplementary private-use plane, which GBK never produces), and encoding turns
// that code point back into the same byte. So any byte string survives GbkToUtf8 followed by Utf8ToGbk.
#include <cstddef>
#include <string>
#include <string_view>

namespace vex {

std::string GbkToUtf8(std::string_view gbk);

// Characters that GBK cannot hold become '?'. Bytes of the input that are not valid UTF-8 are copied as is.
std::string Utf8ToGbk(std::string_view utf8);

bool IsValidUtf8(std::string_view text);
bool IsAscii(std::string_view text);

// Length of the longest prefix of a UTF-8 text that fits in maxBytes without splitting a character.
size_t Utf8PrefixBytes(std::string_view utf8, size_t maxBytes);
// The same for GBK bytes: a double-byte character is never split.
size_t GbkPrefixBytes(std::string_view gbk, size_t maxBytes);

inline std::string Utf8CutToBytes(std::string_view utf8, size_t maxBytes) {
    return std::string(utf8.substr(0, Utf8PrefixBytes(utf8, maxBytes)));
}

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);
// Decodes one UTF-8 sequence at text[i] (i < size); returns its length, or 0 when the bytes there are not
// valid UTF-8 (overlong forms, surrogates and values above U+10FFFF are invalid).
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp);

// Number of characters (code points) of a UTF-8 text; an invalid byte counts as one character.
size_t Utf8Length(std::string_view utf8);

}  // namespace vex
