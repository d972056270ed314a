#pragma once
// Attribute and element steps shared by the configuration's section readers and writers (internal).
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml/xmldoc.h"
#include "platform/numparse.h"

namespace cfgxml {

// "%d" of the value widened to 32 bits.
inline void writeInt(CXmlDoc& doc, std::string_view name, int64_t value) {
    doc.WriteAttr(name, vex::FormatInt(value));
}

// A whole value within the 32-bit range as "%d" ("1000", never "-0"); any other value in the shortest
// form that reads back as the same double, so a fraction is never lost.
std::string formatReal(double value);
inline void writeReal(CXmlDoc& doc, std::string_view name, double value) {
    doc.WriteAttr(name, formatReal(value));
}

inline int32_t readInt(const CXmlDoc& doc, std::string_view name) {
    return vex::ParseInt32(doc.ReadAttr(name));
}
inline uint32_t readUInt(const CXmlDoc& doc, std::string_view name) {
    return vex::ParseUInt32(doc.ReadAttr(name));
}
inline uint8_t readLow8(const CXmlDoc& doc, std::string_view name) {
    return static_cast<uint8_t>(readUInt(doc, name));
}
inline uint16_t readLow16(const CXmlDoc& doc, std::string_view name) {
    return static_cast<uint16_t>(readUInt(doc, name));
}
inline uint8_t readFlag(const CXmlDoc& doc, std::string_view name) {
    return readInt(doc, name) != 0 ? 1 : 0;
}
inline double readReal(const CXmlDoc& doc, std::string_view name) {
    return vex::ParseReal(doc.ReadAttr(name));
}

// Finds the next child of that name and makes it the main element.
inline bool enter(CXmlDoc& doc, std::string_view name) {
    return doc.SeekChildElem(name) && doc.EnterChildElem();
}
// Adds the element as the last child and makes it the main element.
inline void create(CXmlDoc& doc, std::string_view name) {
    doc.NewElem(name, CXmlDoc::kAsChild);
    doc.EnterChildElem();
}

inline std::string concat(std::string_view a, std::string_view b) {
    std::string s(a);
    s += b;
    return s;
}

}  // namespace cfgxml
