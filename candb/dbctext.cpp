// The pieces of the DBC text form that the reader and the writer share: identifiers, quoted texts,
// statement terminators, value lists and keywords.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

#include "candb/dbctext.h"
#include "candb/strsplit.h"

namespace vexdbc {

namespace {

using sv = std::string_view;
constexpr size_t npos = sv::npos;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// The next occurrence of a character at or after a position that only moves forward; each stretch of the
// text is searched once.
class NextOf {
public:
    NextOf(std::string_view text, char c) : m_text(text), m_c(c) {}
    size_t at(size_t from) {
        if (!m_known || (m_at != npos && m_at < from)) {
            const void* hit =
                from < m_text.size() ? std::memchr(m_text.data() + from, m_c, m_text.size() - from) : nullptr;
            m_at = hit == nullptr ? npos : static_cast<size_t>(static_cast<const char*>(hit) - m_text.data());
            m_known = true;
        }
        return m_at;
    }

private:
    std::string_view m_text;
    char m_c;
    size_t m_at = npos;
    bool m_known = false;
};

}  // namespace

FileId MapFileId(uint32_t value) {
    if (value == kFreeSignalFileId) return {kFreeSignalFileId, 1};
    if (value & 0x80000000u)
        return {value & 0x1FFFFFFFu, 1,
                (value & 0x60000000u) != 0 ? FileId::Low29BitsOnly : FileId::AsWritten};
    if (value <= 0x7FFu) return {value, 0};
    // Dropping the bits above 11, as first designed, turned every 29-bit identifier written without its
    // mark into some standard one, so distinct messages collided: such a number is taken as extended.
    if (value <= 0x1FFFFFFFu) return {value, 1, FileId::AsExtended};
    return {value & 0x7FFu, 0, FileId::LowBitsOnly};
}

size_t ClosingQuote(std::string_view text, size_t from) {
    const char* p = text.data();
    const size_t n = text.size();
    size_t i = from;
    while (i < n) {
        // Eight bytes at a time up to the first '"' or '\\': the lowest byte the test marks is always one
        // of them (a false mark can only stand above a true one).
        if (std::endian::native == std::endian::little && i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            const uint64_t quote = word ^ 0x2222222222222222ull;
            const uint64_t backslash = word ^ 0x5C5C5C5C5C5C5C5Cull;
            const uint64_t marks = (((quote - 0x0101010101010101ull) & ~quote) |
                                    ((backslash - 0x0101010101010101ull) & ~backslash)) &
                                   kHighBits;
            if (marks == 0) {
                i += 8;
                continue;
            }
            i += static_cast<size_t>(std::countr_zero(marks)) >> 3;
        } else {
            while (i < n && p[i] != '"' && p[i] != '\\') ++i;
            if (i >= n) return npos;
        }
        if (p[i] == '"') return i;
        i += 2;  // past the backslash and the character it takes as it is
    }
    return npos;
}

size_t QuoteScan::findTerminator(std::string_view piece) {
    size_t i = 0;
    if (m_escaped && !piece.empty()) {
        m_escaped = false;
        i = 1;
    }
    NextOf quote(piece, '"'), backslash(piece, '\\'), semicolon(piece, ';');
    while (i < piece.size()) {
        const size_t q = quote.at(i);
        if (m_inQuote) {
            const size_t b = backslash.at(i);
            if (b < q) {  // the character after the backslash is taken as it is
                if (b + 1 >= piece.size()) {
                    m_escaped = true;
                    return npos;
                }
                i = b + 2;
                continue;
            }
            if (q == npos) return npos;
            m_inQuote = false;
        } else {
            const size_t s = semicolon.at(i);
            if (s < q) return s;
            if (q == npos) return npos;
            m_inQuote = true;
        }
        i = q + 1;
    }
    return npos;
}

size_t ReadValueItems(std::string_view text, std::vector<ValueItem>& items) {
    size_t pos = 0;
    for (;;) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos >= text.size() || text[pos] == ';') return pos;
        size_t end = pos;
        while (end < text.size() && !isSpace(text[end]) && text[end] != '"' && text[end] != ';') ++end;
        const sv number = text.substr(pos, end - pos);
        const size_t start = pos;
        pos = end;
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos >= text.size() || text[pos] != '"') return start;  // a value without its text ends the list
        const size_t close = ClosingQuote(text, pos + 1);
        items.push_back({number, text.substr(pos + 1, (close == npos ? text.size() : close) - pos - 1)});
        if (close == npos) return text.size();
        pos = close + 1;
    }
}

bool IsDbcKeyword(std::string_view word) {
    static const auto kSorted = [] {
        std::array<sv, std::size(kNsSymbols) + 7> all{"VERSION", "NS_", "BS_", "BU_", "BO_", "SG_", "EV_"};
        std::copy(std::begin(kNsSymbols), std::end(kNsSymbols), all.begin() + 7);
        std::sort(all.begin(), all.end());
        return all;
    }();
    if (word.ends_with(':')) word.remove_suffix(1);
    return std::binary_search(kSorted.begin(), kSorted.end(), word);
}

std::string_view ValueDescriptionName(std::string_view signalName) {
    for (size_t i = 0; i < signalName.size(); ++i)
        if (isSpace(signalName[i])) return signalName.substr(0, i);
    return signalName;
}

}  // namespace vexdbc
