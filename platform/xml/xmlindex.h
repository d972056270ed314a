#pragma once
// The element index of CXmlDoc: one record per element, kept in pages so that growth never copies more
// than one page. Internal to the XML document.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vexxml {

// Offsets and lengths are full width: any document that fits in memory is indexed exactly.
struct ElemRecord {
    size_t start = 0;        // offset of the start tag's "<"
    size_t length = 0;       // whole element: start tag to end tag, or the start tag alone
    size_t startTagLen = 0;  // "<" .. ">" of the start tag
    size_t endTagLen = 0;    // 0 for an empty-element tag and for an element never ended
    uint32_t flags = 0;
    uint32_t depth = 0;  // record 0 and top-level elements 0, their children 1, ...
    int32_t parent = 0;
    int32_t firstChild = 0;  // 0 = none
    int32_t next = 0;        // next sibling, 0 = last
    int32_t prev = 0;        // previous sibling; the first child's holds the last sibling
};

constexpr uint32_t kFirstChild = 0x80000;
constexpr uint32_t kNotEnded = 0x100000;
constexpr uint32_t kErrorInside = 0x200000;
constexpr uint32_t kIllFormed = 0x800000;  // record 0 only

class ElemIndex {
public:
    static constexpr int kPageBits = 16;
    static constexpr size_t kPageSize = size_t{1} << kPageBits;

    // Drops every record and leaves record 0 (zeroed), with room reserved for `reserve` records.
    void Reset(size_t reserve);
    int32_t Size() const { return static_cast<int32_t>(m_count); }
    bool Full() const { return m_count >= static_cast<size_t>(INT32_MAX); }
    // A zeroed record at the end; the caller checks Full() first.
    int32_t Append();

    ElemRecord& operator[](int32_t i) { return m_pages[size_t(i) >> kPageBits][size_t(i) & (kPageSize - 1)]; }
    const ElemRecord& operator[](int32_t i) const {
        return m_pages[size_t(i) >> kPageBits][size_t(i) & (kPageSize - 1)];
    }

private:
    std::vector<std::vector<ElemRecord>> m_pages;
    size_t m_count = 0;
};

// Joins pieces into one string with a single allocation.
inline std::string Concat(std::initializer_list<std::string_view> parts) {
    size_t n = 0;
    for (std::string_view p : parts) n += p.size();
    std::string out;
    out.reserve(n);
    for (std::string_view p : parts) out.append(p);
    return out;
}

}  // namespace vexxml
