#include "candb/strsplit.h"

namespace vexdbc {

int splitAt(std::string_view text, std::string_view& head, std::string_view& tail, char separator) {
    if (text.empty()) return 1;
    text = trimSpace(text);
    const size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        head = {};
        tail = text;
        return 2;
    }
    head = text.substr(0, at);
    tail = trimLeftSpace(text.substr(at + 1));
    return 0;
}

}  // namespace vexdbc

int SplitStrAtChar(std::string text, std::string& head, std::string& tail, char separator) {
    std::string_view h, t;
    const int result = vexdbc::splitAt(text, h, t, separator);
    if (result == 1) return 1;
    head.assign(h);
    tail.assign(t);
    return result;
}

void TrimLeftChar(std::string& text, char c) {
    text.erase(0, text.find_first_not_of(c));
}

void TrimRightChar(std::string& text, char c) {
    const size_t last = text.find_last_not_of(c);
    text.erase(last == std::string::npos ? 0 : last + 1);
}
