// Parsing: the scanner that cuts the text into nodes, and the index built from them.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/textcodec.h"
#include "platform/xml/xmldoc.h"

namespace vexxml {

void ElemIndex::Reset(size_t reserve) {
    m_pages.clear();
    m_count = 0;
    reserve = std::max<size_t>(reserve, 1);
    for (size_t left = reserve; left > 0;) {
        const size_t n = std::min(left, kPageSize);
        m_pages.emplace_back().reserve(n);
        left -= n;
    }
    Append();
}

int32_t ElemIndex::Append() {
    const size_t page = m_count >> kPageBits;
    if (page == m_pages.size())
        m_pages.emplace_back().reserve(std::min(kPageSize, std::max<size_t>(8, m_count / 2)));
    std::vector<ElemRecord>& p = m_pages[page];
    // Grows by half, within one page: a growth step copies at most one page of records.
    if (p.size() == p.capacity()) p.reserve(std::min(kPageSize, p.capacity() + p.capacity() / 2 + 8));
    p.emplace_back();
    return static_cast<int32_t>(m_count++);
}

}  // namespace vexxml

using vexxml::ElemRecord;

namespace {

enum class Node { StartTag, EmptyTag, EndTag, Text, Whitespace, Markup, Error, End };

struct Scanned {
    Node kind = Node::End;
    size_t start = 0;
    size_t end = 0;  // one past the node
    std::string_view name;
    std::string message;  // Node::Error
    bool cutOff = false;  // Node::Error: the node runs into the end of the text
};

bool isWs(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : m_t(text) {}

    Scanned Next() {
        Scanned s;
        s.start = m_pos;
        if (m_pos >= m_t.size()) return s;
        if (m_t[m_pos] != '<') return text(s);
        const size_t n = m_t.size();
        if (m_pos + 1 >= n) return unterminated(s, "tag");
        const char c = m_t[m_pos + 1];
        if (isNameStart(c)) return startTag(s);
        if (c == '/') return endTag(s);
        if (c == '?') return until(s, m_pos + 2, "?>", "Processing instruction");
        if (c != '!') return incorrect(s, "tag name character");
        if (m_pos + 2 >= n) return unterminated(s, "tag");
        const char d = m_t[m_pos + 2];
        if (d == '-') {
            if (m_pos + 3 >= n) return unterminated(s, "Comment");
            if (m_t[m_pos + 3] != '-') return incorrect(s, "comment tag");
            return until(s, m_pos + 4, "-->", "Comment");
        }
        if (d == '[') {
            if (m_pos + 3 >= n) return unterminated(s, "tag");
            if (m_t[m_pos + 3] != 'C') return incorrect(s, "tag");
            return until(s, m_pos + 4, "]]>", "CDATA Section");
        }
        if (d == 'D') return doctype(s);
        if (d == 'E' || d == 'A' || d == 'N') return until(s, m_pos + 3, ">", "tag");
        return incorrect(s, "! tag");
    }

private:
    Scanned text(Scanned& s) {
        const size_t lt = m_t.find('<', m_pos);
        const size_t end = lt == std::string_view::npos ? m_t.size() : lt;
        s.kind = Node::Whitespace;
        for (size_t i = m_pos; i < end; ++i) {
            if (!isWs(m_t[i])) {
                s.kind = Node::Text;
                break;
            }
        }
        s.end = m_pos = end;
        return s;
    }

    Scanned startTag(Scanned& s) {
        const size_t nameBegin = m_pos + 1;
        size_t i = nameBegin;
        while (i < m_t.size() && !isWs(m_t[i]) && m_t[i] != '/' && m_t[i] != '>') ++i;
        const size_t nameEnd = i;
        // Quoted text cannot end the tag.
        while (i < m_t.size() && m_t[i] != '>') {
            if (m_t[i] == '"' || m_t[i] == '\'') {
                const size_t q = m_t.find(m_t[i], i + 1);
                if (q == std::string_view::npos) return unterminated(s, "Element tag");
                i = q + 1;
            } else {
                ++i;
            }
        }
        if (i >= m_t.size()) return unterminated(s, "Element tag");
        s.name = m_t.substr(nameBegin, nameEnd - nameBegin);
        const bool slash = m_t[i - 1] == '/';
        const char before = m_t[i - 2];
        s.kind = slash && (i - 1 == nameEnd || isWs(before) || before == '"' || before == '\'')
                     ? Node::EmptyTag
                     : Node::StartTag;
        s.end = m_pos = i + 1;
        return s;
    }

    Scanned endTag(Scanned& s) {
        const size_t gt = m_t.find('>', m_pos + 2);
        if (gt == std::string_view::npos) return unterminated(s, "Element end tag");
        size_t nameEnd = m_pos + 2;
        while (nameEnd < gt && !isWs(m_t[nameEnd])) ++nameEnd;
        s.kind = Node::EndTag;
        s.name = m_t.substr(m_pos + 2, nameEnd - (m_pos + 2));
        s.end = m_pos = gt + 1;
        return s;
    }

    // A document type ends at the first ">" outside quotes and outside its bracketed declarations.
    Scanned doctype(Scanned& s) {
        int brackets = 0;
        for (size_t i = m_pos + 3; i < m_t.size(); ++i) {
            const char c = m_t[i];
            if (c == '"' || c == '\'') {
                const size_t q = m_t.find(c, i + 1);
                if (q == std::string_view::npos) break;
                i = q;
            } else if (c == '[') {
                ++brackets;
            } else if (c == ']') {
                if (brackets > 0) --brackets;
            } else if (c == '>' && brackets == 0) {
                s.kind = Node::Markup;
                s.end = m_pos = i + 1;
                return s;
            }
        }
        return unterminated(s, "Doctype");
    }

    Scanned until(Scanned& s, size_t from, std::string_view terminator, const char* what) {
        const size_t at = m_t.find(terminator, from);
        if (at == std::string_view::npos) return unterminated(s, what);
        s.kind = Node::Markup;
        s.end = m_pos = at + terminator.size();
        return s;
    }

    Scanned unterminated(Scanned& s, const char* what) {
        s.kind = Node::Error;
        s.cutOff = true;
        s.message = std::string(what) + " at offset " + std::to_string(s.start) + " unterminated";
        s.end = m_pos = m_t.size();
        return s;
    }

    // The "<" is passed over; what follows is scanned as text.
    Scanned incorrect(Scanned& s, const char* what) {
        s.kind = Node::Error;
        s.message = std::string("Incorrect ") + what + " at offset " + std::to_string(s.start);
        s.end = m_pos = s.start + 1;
        return s;
    }

    std::string_view m_t;
    size_t m_pos = 0;
};

std::string quoted(std::string_view name) {
    return vexxml::Concat({"'", name, "'"});
}

}  // namespace

void CXmlDoc::note(std::string message) {
    if (m_result.empty()) m_result = std::move(message);
}

void CXmlDoc::linkLastChild(int32_t parent, int32_t elem) {
    ElemRecord& p = m_index[parent];
    ElemRecord& e = m_index[elem];
    e.parent = parent;
    e.next = 0;
    if (p.firstChild == 0) {
        p.firstChild = elem;
        e.flags |= vexxml::kFirstChild;
        e.prev = elem;
    } else {
        ElemRecord& first = m_index[p.firstChild];
        const int32_t last = first.prev;
        e.prev = last;
        m_index[last].next = elem;
        first.prev = elem;
    }
}

// The element keeps only its start tag; its children become its following siblings, in order.
void CXmlDoc::closeNeverEnded(int32_t elem) {
    m_index[0].flags |= vexxml::kIllFormed;
    ElemRecord& e = m_index[elem];
    e.endTagLen = 0;
    e.length = e.startTagLen;
    e.flags |= vexxml::kNotEnded;
    const int32_t first = e.firstChild;
    if (first == 0) return;
    const int32_t parent = e.parent;
    const int32_t last = m_index[first].prev;
    for (int32_t c = first; c != 0; c = m_index[c].next) m_index[c].parent = parent;
    m_index[first].flags &= ~vexxml::kFirstChild;
    const int32_t after = e.next;
    e.firstChild = 0;
    e.next = first;
    m_index[first].prev = elem;
    m_index[last].next = after;
    if (after != 0)
        m_index[after].prev = last;
    else
        m_index[m_index[parent].firstChild].prev = last;
}

std::string CXmlDoc::fileOffsets(const std::string& message) const {
    // The text is the file's GBK bytes decoded losslessly, so a prefix of the text encodes back to exactly
    // the file's bytes before that point.
    static constexpr std::string_view kAt = "at offset ";
    std::string out;
    size_t from = 0;
    for (size_t at = message.find(kAt); at != std::string::npos; at = message.find(kAt, from)) {
        size_t digits = at + kAt.size(), end = digits;
        while (end < message.size() && message[end] >= '0' && message[end] <= '9') ++end;
        out.append(message, from, digits - from);
        from = end;
        if (end == digits) continue;
        size_t offset = std::min<size_t>(std::strtoull(message.c_str() + digits, nullptr, 10), m_text.size());
        while (offset > 0 && offset < m_text.size() &&
               (static_cast<unsigned char>(m_text[offset]) & 0xC0) == 0x80)
            --offset;
        out += std::to_string(vex::Utf8ToGbk(std::string_view(m_text).substr(0, offset)).size());
    }
    out.append(message, from, std::string::npos);
    return out;
}

bool CXmlDoc::Parse() {
    const std::string loadMessage = m_loadResult ? std::move(m_result) : std::string();
    m_result.clear();
    m_loadResult = false;
    m_parent = m_main = m_child = 0;
    m_ordered = true;
    m_index.Reset(m_text.size() / 64 + 8);
    m_index[0].length = m_text.size();

    struct Open {
        int32_t elem;
        std::string_view name;
    };
    std::vector<Open> open;
    // How many open start tags carry each name: an end tag with no open match is refused at once, so a
    // hostile text cannot make every end tag search a deep stack.
    std::unordered_map<std::string_view, uint32_t> openNames;
    bool regrouped = false;
    // The text ends inside a node or an element: a file cut short, whatever else that makes of it.
    bool truncated = false;
    bool tooMany = false;  // the index is full: the rest of the text is not looked at
    auto current = [&] { return open.empty() ? 0 : open.back().elem; };
    auto pop = [&](size_t from) {
        for (size_t k = from; k < open.size(); ++k) --openNames[open[k].name];
        open.resize(from);
    };

    if (m_text.empty()) note("Empty document");
    Scanner scanner(m_text);
    for (bool more = !m_text.empty(); more;) {
        Scanned s = scanner.Next();
        switch (s.kind) {
            case Node::StartTag:
            case Node::EmptyTag: {
                if (m_index.Full()) {
                    tooMany = true;
                    m_index[0].flags |= vexxml::kIllFormed;
                    note("Too many elements at offset " + std::to_string(s.start));
                    more = false;
                    break;
                }
                const int32_t elem = m_index.Append();
                linkLastChild(current(), elem);
                ElemRecord& e = m_index[elem];
                e.start = s.start;
                e.startTagLen = e.length = s.end - s.start;
                e.depth = static_cast<uint32_t>(open.size());
                if (s.kind == Node::StartTag) {
                    open.push_back({elem, s.name});
                    ++openNames[s.name];
                }
                break;
            }
            case Node::EndTag: {
                auto it = openNames.find(s.name);
                if (it == openNames.end() || it->second == 0) {
                    m_index[0].flags |= vexxml::kIllFormed;
                    m_index[current()].flags |= vexxml::kErrorInside;
                    note("No start tag for end tag " + quoted(s.name) + " at offset " +
                         std::to_string(s.start));
                    break;
                }
                size_t match = open.size() - 1;
                while (open[match].name != s.name) --match;
                if (match + 1 < open.size()) {
                    const Open& top = open.back();
                    note("End tag " + quoted(s.name) + " at offset " + std::to_string(s.start) +
                         " does not match start tag " + quoted(top.name) + " at offset " +
                         std::to_string(m_index[top.elem].start));
                    // Outermost first: each element then moves its children only once.
                    for (size_t k = match + 1; k < open.size(); ++k) closeNeverEnded(open[k].elem);
                    regrouped = true;
                }
                ElemRecord& e = m_index[open[match].elem];
                e.length = s.end - e.start;
                e.endTagLen = s.end - s.start;
                pop(match);
                break;
            }
            case Node::Error:
                truncated |= s.cutOff;
                m_index[0].flags |= vexxml::kIllFormed;
                m_index[current()].flags |= vexxml::kErrorInside;
                note(std::move(s.message));
                break;
            case Node::End:
                more = false;
                break;
            default:  // text, whitespace, CDATA, comments, processing instructions, document types
                break;
        }
    }
    if (!open.empty()) {
        if (!tooMany) truncated = true;
        for (const Open& o : open)
            note("Element " + quoted(o.name) + " at offset " + std::to_string(m_index[o.elem].start) +
                 " not ended");
        for (const Open& o : open) closeNeverEnded(o.elem);
        regrouped = true;
        pop(0);
    }
    // Regrouped children moved up a level; a parent always has a lower index than its children.
    if (regrouped) {
        for (int32_t i = 1; i < m_index.Size(); ++i) {
            const int32_t p = m_index[i].parent;
            m_index[i].depth = p == 0 ? 0 : m_index[p].depth + 1;
        }
    }

    const int32_t root = m_index[0].firstChild;
    const bool hasSibling = root != 0 && m_index[root].next != 0;
    if (truncated) {
        // Said first: the elements left open by the cut also leave their children beside the root, and
        // "Root element has sibling" would hide that the file is incomplete.
        std::string first = std::move(m_result);
        m_result = "Document ends early (truncated) at offset " + std::to_string(m_text.size());
        if (!first.empty()) m_result += " (" + first + ")";
    } else {
        if (!m_text.empty() && root == 0) m_result = "No root element";
        if (hasSibling) m_result = "Root element has sibling";
    }
    if (!loadMessage.empty()) {
        m_result = fileOffsets(m_result);
        m_result = m_result.empty() ? loadMessage : loadMessage + ", " + m_result;
    }
    return !(m_index[0].flags & vexxml::kIllFormed) && root != 0 && !hasSibling;
}
