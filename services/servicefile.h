#pragma once
// The services' input files are text files read whole (vex::ReadInputFile) and then cut into lines.
#include <cstddef>
#include <string_view>

namespace vex::svc {

// Calls line(text) for every line of `text`: lines end at "\n", a "\r" before it is dropped, and a text
// that ends with a line break has no empty last line.
template <class Fn>
void ForEachLine(std::string_view text, Fn line) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::string_view l = text.substr(pos, end - pos);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (!line(l)) return;
        pos = next;
    }
}

}  // namespace vex::svc
