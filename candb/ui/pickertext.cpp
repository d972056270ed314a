#include "candb/ui/pickertext.h"

#include <cstdio>

namespace vex {

QString LowerText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toLower();
}

QString LowerHex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return QString::fromLatin1(text);
}

std::vector<size_t> TextSortOrder(const std::vector<std::optional<QString>>& texts, int direction) {
    std::vector<size_t> order(texts.size());
    std::iota(order.begin(), order.end(), size_t{0});
    // A strict weak order: by text in the chosen direction, rows without a text last and equal among
    // themselves.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const std::optional<QString>& ta = texts[a];
        const std::optional<QString>& tb = texts[b];
        if (!ta || !tb) return ta.has_value() && !tb.has_value();
        const int cmp = ta->compare(*tb);
        return direction > 0 ? cmp > 0 : cmp < 0;
    });
    return order;
}

}  // namespace vex
