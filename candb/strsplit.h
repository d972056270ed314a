#pragma once
// Tokenizing of line-oriented text: DBC statements and text log lines.
#include <string>
#include <string_view>

// Splits at the first separator. An empty text gives 1 and leaves head and tail unchanged. Otherwise the
// text is trimmed of white space on both ends; when it holds the separator, head = the text before it (not
// trimmed further) and tail = the text after it without leading white space, result 0; when it does not,
// head is empty and tail the trimmed text, result 2. The text is a copy, so tail may be the string split.
int SplitStrAtChar(std::string text, std::string& head, std::string& tail, char separator);

// Remove every leading, respectively trailing, occurrence of the character.
void TrimLeftChar(std::string& text, char c);
void TrimRightChar(std::string& text, char c);

namespace vexdbc {

// White space as the C library's isspace sees it in the C locale.
constexpr bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline std::string_view trimLeftSpace(std::string_view text) {
    size_t b = 0;
    while (b < text.size() && isSpace(text[b])) ++b;
    return text.substr(b);
}
inline std::string_view trimSpace(std::string_view text) {
    text = trimLeftSpace(text);
    size_t e = text.size();
    while (e > 0 && isSpace(text[e - 1])) --e;
    return text.substr(0, e);
}

// SplitStrAtChar on views into the caller's text.
int splitAt(std::string_view text, std::string_view& head, std::string_view& tail, char separator);

}  // namespace vexdbc
