#pragma once
// Test access to CXmlDoc's text and index: set a text without a file, read positions, and check that the
// index describes the text.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/xml/xmldoc.h"

class CXmlDocTestPeer {
public:
    static void SetText(CXmlDoc& doc, std::string text) {
        doc.m_text = std::move(text);
        doc.resetIndex();
    }
    static std::string MainName(const CXmlDoc& doc) { return std::string(doc.tagName(doc.m_main)); }
    static std::string ChildName(const CXmlDoc& doc) { return std::string(doc.tagName(doc.m_child)); }
    static uint32_t MainDepth(const CXmlDoc& doc) { return doc.m_index[doc.m_main].depth; }
    static int32_t Count(const CXmlDoc& doc) { return doc.m_index.Size(); }
    static size_t TextSize(const CXmlDoc& doc) { return doc.m_text.size(); }

    // One line per element in text order: start, length, start-tag and end-tag length, depth, parent's
    // start, never-ended flag. Equal for an edited document and a fresh parse of its text.
    using Row = std::tuple<size_t, size_t, size_t, size_t, uint32_t, size_t, bool>;
    static std::vector<Row> Signature(const CXmlDoc& doc) {
        std::vector<Row> rows;
        for (int32_t i = 1; i < doc.m_index.Size(); ++i) {
            const auto& r = doc.m_index[i];
            rows.emplace_back(r.start, r.length, r.startTagLen, r.endTagLen, r.depth,
                              r.parent == 0 ? size_t(-1) : doc.m_index[r.parent].start,
                              (r.flags & vexxml::kNotEnded) != 0);
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // Empty when the index is consistent with the text and with itself; otherwise what is wrong.
    static std::string Check(const CXmlDoc& doc) {
        const std::string& t = doc.m_text;
        const auto& ix = doc.m_index;
        const int32_t n = ix.Size();
        if (ix[0].length != t.size()) return "record 0 length";
        std::vector<int> seen(static_cast<size_t>(n), 0);
        std::vector<int32_t> todo{0};
        while (!todo.empty()) {
            const int32_t p = todo.back();
            todo.pop_back();
            const auto& pr = ix[p];
            size_t lo = p == 0 ? 0 : pr.start + pr.startTagLen;
            const size_t hi = p == 0 ? t.size() : pr.start + pr.length - pr.endTagLen;
            if (pr.firstChild == 0) continue;
            if (p != 0 && (pr.flags & vexxml::kNotEnded)) return "never-ended element has children";
            int32_t prev = ix[pr.firstChild].prev;
            for (int32_t c = pr.firstChild; c != 0; c = ix[c].next) {
                if (c <= 0 || c >= n || seen[c]++) return "bad or repeated link " + std::to_string(c);
                const auto& r = ix[c];
                const std::string at = " at record " + std::to_string(c);
                if (r.parent != p) return "parent" + at;
                if (r.prev != prev) return "prev" + at;
                if (((r.flags & vexxml::kFirstChild) != 0) != (c == pr.firstChild)) return "first flag" + at;
                if (r.depth != (p == 0 ? 0 : pr.depth + 1)) return "depth" + at;
                if (r.start < lo || r.start + r.length > hi) return "outside parent" + at;
                if (r.startTagLen < 3 || r.startTagLen > r.length || t[r.start] != '<' ||
                    t[r.start + r.startTagLen - 1] != '>')
                    return "start tag" + at;
                if (r.endTagLen > 0) {
                    if (r.startTagLen + r.endTagLen > r.length ||
                        t.compare(r.start + r.length - r.endTagLen, 2, "</") ||
                        t[r.start + r.length - 1] != '>')
                        return "end tag" + at;
                } else if (r.length != r.startTagLen) {
                    return "length" + at;
                }
                lo = r.start + r.length;
                prev = c;
                todo.push_back(c);
            }
            if (ix[pr.firstChild].prev != prev) return "last sibling of " + std::to_string(p);
        }
        for (int32_t i = 1; i < n; ++i)
            if (!seen[i]) return "unlinked record " + std::to_string(i);
        return {};
    }
};
