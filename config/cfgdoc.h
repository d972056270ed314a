#pragma once
// Reading an XML file of the configuration family (internal): the configuration file and the
// queue-transmit list file share how a file is read, parsed and judged.
#include <string>

#include "platform/xml/xmldoc.h"

namespace cfgdoc {

enum class DocLoad {
    Ok,          // well formed with one top-level element; positions cleared
    Missing,     // no file of that name
    Unreadable,  // the file exists but could not be read
    NoElement,   // read, but holds no element at all
    IllFormed,   // read, but not well-formed XML
};

// Reads and parses the file. text receives the whole content (UTF-8) when the file was read, else it is
// emptied; detail receives the system's error text or the parser's first message.
DocLoad loadDoc(const std::string& path, CXmlDoc& doc, std::string& text, std::string& detail);

// Messages for the operator.
std::string readFailed(const std::string& path, const std::string& detail);   // cannot be read
std::string illFormed(const std::string& path, const std::string& detail);    // not well formed
std::string writeFailed(const std::string& path, const std::string& detail);  // cannot be written

}  // namespace cfgdoc
