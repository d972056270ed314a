#pragma once
// CXmlDoc: an XML document kept as one UTF-8 text with an index of its elements. Callers walk elements,
// read and write attributes and add elements in place; files are GBK on disk.
//
// Positions: the main element is the current one; the child position is the current child of the main
// element; the parent position is the main element's parent (0 = the document). Readers find elements with
// SeekChildElem, whose search continues after the child found last, so elements are read in document order.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml/xmlindex.h"

class CXmlDoc {
public:
    // NewElem flags.
    static constexpr uint32_t kNoLineBreak = 2;     // no CR LF after the new element
    static constexpr uint32_t kBlankBeforeEnd = 4;  // "<name />" in place of "<name/>"
    static constexpr uint32_t kStartTagOnly = 16;   // "<name>", left not ended
    static constexpr uint32_t kAsChild = 0x4000;    // last child of the main element

    // An empty document (result "Empty document").
    CXmlDoc();

    // Reads the whole file (GBK) into the text as UTF-8 and sets the result to "<n> bytes". Does not
    // parse: the caller calls Parse. Failure: false, text unchanged, the result is the reason: the system's
    // error text, "Not a regular file" (a device or FIFO may never end) or "File larger than N bytes"
    // (vex::kMaxInputFileBytes).
    bool LoadFile(const std::string& path);

    // Rebuilds the index from the text and clears the positions. True when the document is well formed
    // with exactly one top-level element. Errors never stop the parse: the first one is kept in the result
    // (after the LoadFile message and ", " when there was one) and everything parsed stays navigable. A
    // text that ends inside a tag or an element is reported as "Document ends early (truncated) at offset
    // <text length> (<first error>)", in place of what the cut leaves ("Root element has sibling"). After
    // LoadFile the offsets are those of the file's bytes, not of the UTF-8 text.
    bool Parse();

    // Writes the declaration line <?xml version="1.0" encoding="GBK"?> CR LF and the text, in GBK, by
    // writing a temporary file beside the target and renaming it over the target. On success the text
    // keeps the declaration (a text that already starts with one is written as it is) and the result is
    // "<n> bytes". On failure: false, the result is the system's error text, the target file and the
    // document are unchanged.
    bool SaveWithDeclaration(const std::string& path);

    // Among the children of the parent position: the next element after the main element (or the first
    // one) whose name matches; it becomes the main element and the child position is cleared. An empty
    // name matches any element. Not found: false, nothing changes.
    bool FindNextElem(std::string_view name = {});
    // Without a main element, first FindNextElem(). Then among the children of the main element: the next
    // one after the child position (or the first) whose name matches becomes the child position.
    bool SeekChildElem(std::string_view name = {});
    // The child position becomes the main element, the main element the parent. False without a child.
    bool EnterChildElem();
    // The parent becomes the main element, the former main element the child position. False at the top.
    bool LeaveElem();

    // The unescaped value of the main element's attribute; empty when the element or attribute is absent.
    std::string ReadAttr(std::string_view name) const;
    // Sets the attribute of the main element: an existing value is replaced, else the attribute is appended
    // after the last one. The value is escaped so that ReadAttr gives it back unchanged, including
    // characters that GBK cannot hold. False without a main element or for an invalid attribute name.
    bool WriteAttr(std::string_view name, std::string_view value);

    // Inserts an element. With kAsChild: as the last child of the main element, which the new element
    // becomes the child position of. Otherwise after the main element at its level (with no main element:
    // as the last child of the parent position); it becomes the main element. False for an empty name,
    // without a main element for kAsChild, or under an element that was never ended.
    bool NewElem(std::string_view name, uint32_t flags);

    std::string GetText() const { return m_text; }
    // The tag name of the element at the child position; empty without one.
    std::string GetChildName() const { return std::string(tagName(m_child)); }
    // The message of the last load, save or parse.
    const std::string& GetResult() const { return m_result; }

private:
    friend class CXmlDocTestPeer;

    std::string_view tagName(int32_t elem) const;
    size_t attrListEnd(int32_t elem) const;
    int32_t findChild(int32_t parent, int32_t after, std::string_view name) const;
    void resetIndex();
    void note(std::string message);
    // A parse message with every "at offset N" of the text turned into the file's byte offset (the file is
    // GBK, the text UTF-8).
    std::string fileOffsets(const std::string& message) const;
    void closeNeverEnded(int32_t elem);
    void splice(size_t pos, size_t oldLen, std::string_view text, int32_t growFrom);
    void linkLastChild(int32_t parent, int32_t elem);
    int32_t insertChild(int32_t parent, std::string_view tag, std::string_view lineEnd);
    int32_t insertAfter(int32_t elem, std::string_view tag, std::string_view lineEnd);

    std::string m_text;
    std::string m_result;
    int32_t m_parent = 0;
    int32_t m_main = 0;
    int32_t m_child = 0;
    // The result holds LoadFile's message, which the next Parse keeps in front of its own.
    bool m_loadResult = false;
    // True while records 1..n-1 stand in text order, so edits shift only the records that follow them.
    bool m_ordered = true;
    vexxml::ElemIndex m_index;
};
