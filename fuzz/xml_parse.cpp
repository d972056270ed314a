// Any text: parsing never fails hard, every element is reachable by navigation, and edits keep the index
// describing the text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/xml/xmldoc.h"
#include "tests/xml/xmldoc_peer.h"

namespace {

void expectConsistent(const CXmlDoc& doc, const char* step) {
    const std::string problem = CXmlDocTestPeer::Check(doc);
    if (!problem.empty()) {
        std::fprintf(stderr, "index broken after %s: %s\n", step, problem.c_str());
        std::abort();
    }
}

// Depth first over every element: into the next child, else up a level (LeaveElem leaves the child
// position on the element left, so the search goes on after it), else to the next top-level element.
void walk(CXmlDoc& doc, size_t limit) {
    if (!doc.FindNextElem()) return;
    for (size_t steps = 0; steps < limit; ++steps) {
        (void)doc.ReadAttr("a");
        (void)doc.ReadAttr("v ");
        if (doc.SeekChildElem()) {
            doc.EnterChildElem();
        } else if (!doc.LeaveElem() && !doc.FindNextElem()) {
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CXmlDoc doc;
    CXmlDocTestPeer::SetText(doc, std::string(reinterpret_cast<const char*>(data), size));
    doc.Parse();
    expectConsistent(doc, "parse");
    walk(doc, 4 * size + 16);

    // Edits where the walk left off and at the top.
    const uint8_t pick = size > 0 ? data[0] : 0;
    doc.WriteAttr("a", std::string(pick % 7, '&') + "<\"'>");
    expectConsistent(doc, "WriteAttr");
    doc.NewElem("n", (pick & 1) ? CXmlDoc::kAsChild : 0);
    expectConsistent(doc, "NewElem");
    doc.WriteAttr("v", "\xC2\xB5");
    doc.WriteAttr("a", "");
    expectConsistent(doc, "WriteAttr again");
    while (doc.LeaveElem()) {
    }
    doc.NewElem("top", pick & 0x16);
    doc.NewElem("inner", CXmlDoc::kAsChild);
    expectConsistent(doc, "NewElem at the top");
    if (doc.ReadAttr("a") != "") std::abort();
    walk(doc, 4 * size + 64);
    return 0;
}
