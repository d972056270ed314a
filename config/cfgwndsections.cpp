// Window layout section "WND_MAIN_FRAME".
#include "config/cfgattr.h"
#include "config/cfgsections.h"

using namespace cfgxml;

namespace {

// Records whose attributes are all "%d" integers, listed in the file's order.
template <class Rec>
struct IntAttr {
    const char* name;
    int32_t Rec::*field;
};

template <class Rec, size_t N>
bool loadInts(CXmlDoc& doc, std::string_view element, Rec& rec, const IntAttr<Rec> (&attrs)[N]) {
    if (!enter(doc, element)) return false;
    for (const IntAttr<Rec>& a : attrs) rec.*a.field = readInt(doc, a.name);
    doc.LeaveElem();
    return true;
}

template <class Rec, size_t N>
void saveInts(CXmlDoc& doc, std::string_view element, const Rec& rec, const IntAttr<Rec> (&attrs)[N]) {
    create(doc, element);
    for (const IntAttr<Rec>& a : attrs) writeInt(doc, a.name, rec.*a.field);
    doc.LeaveElem();
}

// The file lists "right" before "top"; each attribute still goes to the field of its own name.
constexpr IntAttr<tWND_PLACEMENT> kPlacementAttrs[] = {
    {"length", &tWND_PLACEMENT::length},   {"flags", &tWND_PLACEMENT::flags},
    {"showCmd", &tWND_PLACEMENT::showCmd}, {"MinPosX", &tWND_PLACEMENT::MinPosX},
    {"MinPosY", &tWND_PLACEMENT::MinPosY}, {"MaxPosX", &tWND_PLACEMENT::MaxPosX},
    {"MaxPosY", &tWND_PLACEMENT::MaxPosY}, {"left", &tWND_PLACEMENT::left},
    {"right", &tWND_PLACEMENT::right},     {"top", &tWND_PLACEMENT::top},
    {"bottom", &tWND_PLACEMENT::bottom},
};

constexpr IntAttr<tWND_SPLITTER> kSplitterAttrs[] = {
    {"SpltMode", &tWND_SPLITTER::SpltMode}, {"C0", &tWND_SPLITTER::C0},
    {"C0Min", &tWND_SPLITTER::C0Min},       {"C1", &tWND_SPLITTER::C1},
    {"C1Min", &tWND_SPLITTER::C1Min},       {"R0", &tWND_SPLITTER::R0},
    {"R0Min", &tWND_SPLITTER::R0Min},       {"R1", &tWND_SPLITTER::R1},
    {"R1Min", &tWND_SPLITTER::R1Min},
};

// "WND_CHILD_" + name: Show, its placement and, when given, its splitter. The order is not in the file.
bool loadChild(CXmlDoc& doc, std::string_view name, tWND_CHILD_LAYOUT& child, tWND_SPLITTER* splitter) {
    if (!enter(doc, concat("WND_CHILD_", name))) return false;
    child.Show = readFlag(doc, "Show");
    LoadWndPlacement(doc, child.Placement, name);
    if (splitter) LoadWndSplitter(doc, *splitter, name);
    doc.LeaveElem();
    return true;
}

void saveChild(CXmlDoc& doc, std::string_view name, const tWND_CHILD_LAYOUT& child,
               const tWND_SPLITTER* splitter) {
    create(doc, concat("WND_CHILD_", name));
    writeInt(doc, "Show", child.Show);
    SaveWndPlacement(doc, child.Placement, name);
    if (splitter) SaveWndSplitter(doc, *splitter, name);
    doc.LeaveElem();
}

// The queue-transmit window's element has the short name; its nested elements the full one.
constexpr char kExtSer[] = "EXT_SER";
constexpr char kExtSerFull[] = "EXT_SER_QUEUE_TX_MSG";

}  // namespace

bool LoadWndPlacement(CXmlDoc& doc, tWND_PLACEMENT& placement, std::string_view name) {
    return loadInts(doc, concat("WND_PLACEMENT_", name), placement, kPlacementAttrs);
}

void SaveWndPlacement(CXmlDoc& doc, const tWND_PLACEMENT& placement, std::string_view name) {
    saveInts(doc, concat("WND_PLACEMENT_", name), placement, kPlacementAttrs);
}

bool LoadWndSplitter(CXmlDoc& doc, tWND_SPLITTER& splitter, std::string_view name) {
    return loadInts(doc, concat("WND_SPLT_", name), splitter, kSplitterAttrs);
}

void SaveWndSplitter(CXmlDoc& doc, const tWND_SPLITTER& splitter, std::string_view name) {
    saveInts(doc, concat("WND_SPLT_", name), splitter, kSplitterAttrs);
}

bool LoadWndMainFrame(CXmlDoc& doc, tWND_LAYOUT& layout) {
    if (!enter(doc, "WND_MAIN_FRAME")) return false;
    layout.ScreenWidth = readInt(doc, "ScreenWidth");
    layout.ScreenHigh = readInt(doc, "ScreenHigh");
    LoadWndPlacement(doc, layout.MainFrame, "MAINFRM");
    loadChild(doc, "TRACE", layout.Trace, nullptr);
    loadChild(doc, "GRAPH", layout.Graph, &layout.Graph.Splitter);
    loadChild(doc, "SEND", layout.Send, &layout.Send.Splitter);
    loadChild(doc, "INFO", layout.Info, nullptr);
    if (enter(doc, concat("WND_CHILD_", kExtSer))) {
        LoadWndPlacement(doc, layout.QueueTx.Placement, kExtSerFull);
        LoadWndSplitter(doc, layout.QueueTx.Splitter, kExtSerFull);
        doc.LeaveElem();
    }
    doc.LeaveElem();
    return true;
}

void SaveWndMainFrame(CXmlDoc& doc, const tWND_LAYOUT& layout) {
    create(doc, "WND_MAIN_FRAME");
    writeInt(doc, "ScreenWidth", layout.ScreenWidth);
    writeInt(doc, "ScreenHigh", layout.ScreenHigh);
    SaveWndPlacement(doc, layout.MainFrame, "MAINFRM");
    saveChild(doc, "TRACE", layout.Trace, nullptr);
    saveChild(doc, "GRAPH", layout.Graph, &layout.Graph.Splitter);
    saveChild(doc, "SEND", layout.Send, &layout.Send.Splitter);
    saveChild(doc, "INFO", layout.Info, nullptr);
    create(doc, concat("WND_CHILD_", kExtSer));
    SaveWndPlacement(doc, layout.QueueTx.Placement, kExtSerFull);
    SaveWndSplitter(doc, layout.QueueTx.Splitter, kExtSerFull);
    doc.LeaveElem();
    doc.LeaveElem();
}
