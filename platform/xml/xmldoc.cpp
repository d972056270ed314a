// CXmlDoc: files, navigation, attributes and in-place edits. Parsing is in xmlparse.cpp.
#include "platform/xml/xmldoc.h"

#include <algorithm>
#include <cstdio>

#include "platform/textcodec.h"
#include "platform/util/fileread.h"
#include "platform/util/filewrite.h"

using vexxml::ElemRecord;

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n";
constexpr std::string_view kLineEnd = "\r\n";

bool isWs(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A name from the text matches when the given name has the same characters and ends there; a blank, "=",
// "/", "[" or "]" in the given name also ends it.
bool nameMatches(std::string_view inText, std::string_view given) {
    if (given.size() < inText.size() || given.compare(0, inText.size(), inText) != 0) return false;
    if (given.size() == inText.size()) return true;
    const char c = given[inText.size()];
    return c == ' ' || c == '=' || c == '/' || c == '[' || c == ']';
}

struct Attr {
    size_t nameEnd = 0;
    size_t valueBegin = 0;
    size_t valueEnd = 0;
    bool hasValue = false;
    bool quoted = false;
};

// Walks the attribute list of a start tag, text[begin, end) being the part after the tag name and before
// the closing ">". Calls visit(name, attr) for each attribute until it returns true; returns the offset just
// after the last attribute seen (or begin).
template <typename Visit>
size_t walkAttrs(std::string_view text, size_t begin, size_t end, Visit visit) {
    size_t after = begin;
    size_t i = begin;
    while (i < end) {
        while (i < end && isWs(text[i])) ++i;
        if (i >= end || text[i] == '>' || text[i] == '/' || text[i] == '?') break;
        const size_t nameBegin = i;
        while (i < end && text[i] != '=' && !isWs(text[i]) && text[i] != '>' && text[i] != '/' &&
               text[i] != '?')
            ++i;
        if (i == nameBegin) {  // a stray "=": pass over it
            ++i;
            continue;
        }
        Attr a;
        a.nameEnd = after = i;
        size_t j = i;
        while (j < end && isWs(text[j])) ++j;
        if (j < end && text[j] == '=') {
            ++j;
            while (j < end && isWs(text[j])) ++j;
            a.hasValue = true;
            if (j < end && (text[j] == '"' || text[j] == '\'')) {
                a.quoted = true;
                a.valueBegin = j + 1;
                const size_t q = text.substr(0, end).find(text[j], j + 1);
                a.valueEnd = q == std::string_view::npos ? end : q;
                i = std::min(end, a.valueEnd + 1);
            } else {
                a.valueBegin = j;
                while (j < end && !isWs(text[j]) && text[j] != '>') ++j;
                a.valueEnd = i = j;
            }
            after = i;
        }
        if (visit(text.substr(nameBegin, a.nameEnd - nameBegin), a)) break;
    }
    return after;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "&#ddd;" or "&#xhh;" at v[i]: at most 7 characters between "&#" and ";". Returns the length of the
// reference and the code point, or 0 when it is not a reference to a valid code point (left as written).
size_t charRef(std::string_view v, size_t i, char32_t& cp) {
    size_t j = i + 2;
    if (j > v.size() || v[i + 1] != '#') return 0;
    const bool hex = j < v.size() && v[j] == 'x';
    if (hex) ++j;
    const size_t digits = j;
    uint32_t value = 0;
    for (; j < v.size() && j - (i + 2) < 7; ++j) {
        const int d = hex ? hexDigit(v[j]) : (v[j] >= '0' && v[j] <= '9' ? v[j] - '0' : -1);
        if (d < 0) break;
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    }
    if (j == digits || j >= v.size() || v[j] != ';') return 0;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    cp = value;
    return j + 1 - i;
}

std::string unescape(std::string_view v) {
    static constexpr struct {
        std::string_view entity;
        char c;
    } kEntities[] = {{"&lt;", '<'}, {"&amp;", '&'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size();) {
        if (v[i] != '&') {
            out.push_back(v[i++]);
            continue;
        }
        size_t used = 0;
        for (const auto& e : kEntities) {
            if (v.compare(i, e.entity.size(), e.entity) == 0) {
                out.push_back(e.c);
                used = e.entity.size();
                break;
            }
        }
        char32_t cp = 0;
        if (used == 0 && (used = charRef(v, i, cp)) != 0) vex::AppendUtf8(out, cp);
        if (used == 0) {
            out.push_back('&');
            used = 1;
        }
        i += used;
    }
    return out;
}

void appendCharRef(std::string& out, char32_t cp) {
    char ref[16];
    std::snprintf(ref, sizeof ref, "&#x%X;", static_cast<unsigned>(cp));
    out += ref;
}

// The five markup characters become entities. Every other character is written as it stands unless its
// GBK bytes would read back as something else: a character that GBK cannot hold, or one whose bytes would
// pair with a kept invalid byte written just before it, becomes a character reference, so that the file
// keeps the value and ReadAttr gives it back unchanged.
std::string escape(std::string_view v) {
    std::string out;
    out.reserve(v.size() + 16);
    std::string lone;  // the GBK byte of a kept invalid byte written last as it stands, else empty
    for (size_t i = 0; i < v.size();) {
        const char c = v[i];
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '"':
                out += "&quot;";
                break;
            default: {
                char32_t cp = static_cast<unsigned char>(c);
                const size_t len = cp < 0x80 ? 1 : vex::DecodeUtf8(v, i, cp);
                if (len == 0 || (cp < 0x80 && lone.empty())) {  // not UTF-8, or plain ASCII: as it is
                    out.push_back(c);
                    lone.clear();
                    break;
                }
                const std::string_view ch = v.substr(i, len);
                const std::string gbk = vex::Utf8ToGbk(ch);
                const bool stands =
                    vex::GbkToUtf8(gbk) == ch &&
                    (lone.empty() || vex::GbkToUtf8(lone + gbk) == vex::GbkToUtf8(lone) + std::string(ch));
                if (stands) {
                    out += ch;
                    lone =
                        gbk.size() == 1 && static_cast<unsigned char>(gbk[0]) >= 0x80 ? gbk : std::string();
                } else {
                    appendCharRef(out, cp);
                    lone.clear();
                }
                i += len;
                continue;
            }
        }
        lone.clear();
        ++i;
    }
    return out;
}

bool validAttrName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (isWs(c) || c == '=' || c == '<' || c == '>' || c == '/' || c == '?' || c == '"' || c == '\'' ||
            c == '&')
            return false;
    return true;
}

}  // namespace

CXmlDoc::CXmlDoc() {
    Parse();
}

void CXmlDoc::resetIndex() {
    m_parent = m_main = m_child = 0;
    m_ordered = true;
    m_index.Reset(8);
    m_index[0].length = m_text.size();
}

bool CXmlDoc::LoadFile(const std::string& path) {
    m_loadResult = true;
    std::string bytes;
    // One bounded read for every file loaded whole: a device, a FIFO or a file beyond the bound is refused
    // with the reason, never read without end.
    if (std::string why = vex::ReadInputFile(path, vex::kMaxInputFileBytes, bytes); !why.empty()) {
        m_result = std::move(why);
        return false;
    }
    m_text = vex::GbkToUtf8(bytes);
    // The old index no longer describes the text; until Parse runs, the document has no elements.
    resetIndex();
    m_result = std::to_string(bytes.size()) + " bytes";
    return true;
}

bool CXmlDoc::SaveWithDeclaration(const std::string& path) {
    const bool hasDeclaration = m_text.compare(0, 6, "<?xml ") == 0;
    std::string bytes = vex::Utf8ToGbk(hasDeclaration ? std::string_view() : kDeclaration);
    bytes += vex::Utf8ToGbk(m_text);
    m_loadResult = false;
    if (const int error = WriteFileReplacing(path, bytes); error != 0) {
        m_result = ErrorText(error);
        return false;
    }
    if (!hasDeclaration) splice(0, 0, kDeclaration, 0);
    m_result = std::to_string(bytes.size()) + " bytes";
    return true;
}

std::string_view CXmlDoc::tagName(int32_t elem) const {
    if (elem == 0) return {};
    const ElemRecord& e = m_index[elem];
    const size_t end = e.start + e.startTagLen;
    size_t i = e.start + 1;
    while (i < end && !isWs(m_text[i]) && m_text[i] != '/' && m_text[i] != '>') ++i;
    return std::string_view(m_text).substr(e.start + 1, i - (e.start + 1));
}

// The end of a start tag's attribute list: its closing ">", or the "/" of an empty-element tag's "/>", so
// that an unquoted value never swallows the slash and turns the element into an unended one.
size_t CXmlDoc::attrListEnd(int32_t elem) const {
    const ElemRecord& e = m_index[elem];
    size_t end = e.start + e.startTagLen - 1;
    if (e.endTagLen == 0 && !(e.flags & vexxml::kNotEnded) && end > e.start && m_text[end - 1] == '/') --end;
    return end;
}

int32_t CXmlDoc::findChild(int32_t parent, int32_t after, std::string_view name) const {
    for (int32_t c = after != 0 ? m_index[after].next : m_index[parent].firstChild; c != 0;
         c = m_index[c].next)
        if (name.empty() || nameMatches(tagName(c), name)) return c;
    return 0;
}

bool CXmlDoc::FindNextElem(std::string_view name) {
    const int32_t found = findChild(m_parent, m_main, name);
    if (found == 0) return false;
    m_main = found;
    m_child = 0;
    return true;
}

bool CXmlDoc::SeekChildElem(std::string_view name) {
    if (m_main == 0 && !FindNextElem()) return false;
    const int32_t found = findChild(m_main, m_child, name);
    if (found == 0) return false;
    m_child = found;
    return true;
}

bool CXmlDoc::EnterChildElem() {
    if (m_main == 0 || m_child == 0) return false;
    m_parent = m_main;
    m_main = m_child;
    m_child = 0;
    return true;
}

bool CXmlDoc::LeaveElem() {
    if (m_parent == 0) return false;
    m_child = m_main;
    m_main = m_parent;
    m_parent = m_index[m_main].parent;
    return true;
}

std::string CXmlDoc::ReadAttr(std::string_view name) const {
    if (m_main == 0) return {};
    const size_t begin = m_index[m_main].start + 1 + tagName(m_main).size();
    std::string value;
    walkAttrs(m_text, begin, attrListEnd(m_main), [&](std::string_view attrName, const Attr& a) {
        if (!nameMatches(attrName, name)) return false;
        if (a.hasValue)
            value = unescape(std::string_view(m_text).substr(a.valueBegin, a.valueEnd - a.valueBegin));
        return true;
    });
    return value;
}

bool CXmlDoc::WriteAttr(std::string_view name, std::string_view value) {
    if (m_main == 0 || !validAttrName(name)) return false;
    const size_t begin = m_index[m_main].start + 1 + tagName(m_main).size();
    bool found = false;
    Attr attr;
    const size_t listEnd =
        walkAttrs(m_text, begin, attrListEnd(m_main), [&](std::string_view attrName, const Attr& a) {
            if (!nameMatches(attrName, name)) return false;
            found = true;
            attr = a;
            return true;
        });
    const std::string escaped = escape(value);
    const size_t before = m_text.size();
    if (!found)
        splice(listEnd, 0, vexxml::Concat({" ", name, "=\"", escaped, "\""}), m_main);
    else if (!attr.hasValue)
        splice(attr.nameEnd, 0, vexxml::Concat({"=\"", escaped, "\""}), m_main);
    else if (attr.quoted)
        splice(attr.valueBegin, attr.valueEnd - attr.valueBegin, escaped, m_main);
    else
        splice(attr.valueBegin, attr.valueEnd - attr.valueBegin, vexxml::Concat({"\"", escaped, "\""}),
               m_main);
    ElemRecord& changed = m_index[m_main];
    changed.startTagLen = changed.startTagLen + m_text.size() - before;
    return true;
}

// Replaces text[pos, pos + oldLen) (inside a start tag, or an insertion point between nodes): records that
// start at or after pos move, and growFrom with all its ancestors change length by the difference.
void CXmlDoc::splice(size_t pos, size_t oldLen, std::string_view text, int32_t growFrom) {
    m_text.replace(pos, oldLen, text);
    const size_t added = text.size();
    auto shift = [&](ElemRecord& r) { r.start = r.start + added - oldLen; };
    const int32_t n = m_index.Size();
    if (m_ordered) {
        int32_t lo = 1, hi = n;  // first record that starts at or after pos
        while (lo < hi) {
            const int32_t mid = lo + (hi - lo) / 2;
            if (m_index[mid].start < pos)
                lo = mid + 1;
            else
                hi = mid;
        }
        for (int32_t i = lo; i < n; ++i) shift(m_index[i]);
    } else {
        for (int32_t i = 1; i < n; ++i)
            if (m_index[i].start >= pos) shift(m_index[i]);
    }
    for (int32_t a = growFrom; a != 0; a = m_index[a].parent)
        m_index[a].length = m_index[a].length + added - oldLen;
    m_index[0].length = m_text.size();
}

int32_t CXmlDoc::insertChild(int32_t parent, std::string_view tag, std::string_view lineEnd) {
    const ElemRecord p = m_index[parent];
    if (parent != 0 && (p.flags & vexxml::kNotEnded)) return 0;
    std::string text = vexxml::Concat({tag, lineEnd});
    size_t at;
    if (p.firstChild != 0) {
        // After the last child, on a line of its own before whatever follows.
        const ElemRecord& last = m_index[m_index[p.firstChild].prev];
        at = last.start + last.length;
        while (at < m_text.size() && isWs(m_text[at])) ++at;
        splice(at, 0, text, parent);
    } else if (parent == 0) {
        at = m_text.size();
        splice(at, 0, text, 0);
    } else if (p.endTagLen == 0) {
        // An empty-element tag opens up: "/>" becomes ">", the new line, and an end tag.
        const size_t slash = p.start + p.startTagLen - 2;
        if (p.startTagLen < 3 || m_text.compare(slash, 2, "/>") != 0) return 0;
        const std::string name(tagName(parent));
        const std::string replacement = vexxml::Concat({">", kLineEnd, text, "</", name, ">"});
        splice(slash, 2, replacement, p.parent);
        ElemRecord& q = m_index[parent];
        q.startTagLen -= 1;
        q.endTagLen = name.size() + 3;
        q.length = q.startTagLen + replacement.size() - 1;
        at = slash + 1 + kLineEnd.size();
    } else {
        at = p.start + p.length - p.endTagLen;
        if (at == p.start + p.startTagLen) {
            text = vexxml::Concat({kLineEnd, text});
            splice(at, 0, text, parent);
            at += kLineEnd.size();
        } else {
            splice(at, 0, text, parent);
        }
    }
    const bool inOrder = m_ordered && (m_index.Size() == 1 || m_index[m_index.Size() - 1].start < at);
    const int32_t elem = m_index.Append();
    linkLastChild(parent, elem);
    ElemRecord& e = m_index[elem];
    e.start = at;
    e.startTagLen = e.length = tag.size();
    e.depth = parent == 0 ? 0 : m_index[parent].depth + 1;
    m_ordered = inOrder;
    return elem;
}

int32_t CXmlDoc::insertAfter(int32_t elem, std::string_view tag, std::string_view lineEnd) {
    const ElemRecord m = m_index[elem];
    size_t at = m.start + m.length;
    while (at < m_text.size() && isWs(m_text[at])) ++at;
    splice(at, 0, vexxml::Concat({tag, lineEnd}), m.parent);
    const bool inOrder = m_ordered && m_index[m_index.Size() - 1].start < at;
    const int32_t added = m_index.Append();
    ElemRecord& e = m_index[added];
    e.start = at;
    e.startTagLen = e.length = tag.size();
    e.depth = m.depth;
    e.parent = m.parent;
    e.prev = elem;
    e.next = m.next;
    m_index[elem].next = added;
    if (m.next != 0)
        m_index[m.next].prev = added;
    else
        m_index[m_index[m.parent].firstChild].prev = added;
    m_ordered = inOrder;
    return added;
}

bool CXmlDoc::NewElem(std::string_view name, uint32_t flags) {
    if (name.empty() || m_index.Full()) return false;
    if ((flags & kAsChild) && m_main == 0) return false;
    const std::string tag = vexxml::Concat({"<", name,
                                            (flags & kStartTagOnly)     ? ">"
                                            : (flags & kBlankBeforeEnd) ? " />"
                                                                        : "/>"});
    const std::string_view lineEnd = (flags & kNoLineBreak) ? std::string_view() : kLineEnd;
    int32_t elem;
    if (flags & kAsChild)
        elem = insertChild(m_main, tag, lineEnd);
    else if (m_main != 0)
        elem = insertAfter(m_main, tag, lineEnd);
    else
        elem = insertChild(m_parent, tag, lineEnd);
    if (elem == 0) return false;
    if (flags & kStartTagOnly) m_index[elem].flags |= vexxml::kNotEnded;
    if (flags & kAsChild) {
        m_child = elem;
    } else {
        m_main = elem;
        m_child = 0;
    }
    return true;
}
