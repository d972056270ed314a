#include <gtest/gtest.h>

#include <functional>

#include "config/cfgsections.h"
#include "platform/qt/settingsstore.h"
#include "tests/common/testsupport.h"
#include "tests/config/cfgtestutil.h"

using vextest::readFile;
using vextest::TempDir;
using vextest::writeFile;

namespace {

// A layout with every field away from zero and from the defaults.
tWND_LAYOUT filled() {
    CAppCfg cfg;
    cfgtest::fillEverySection(cfg);
    return cfg.WndLayout;
}

void setOrders(vex::MemorySettingsStore& store, uint32_t trace, uint32_t graph, uint32_t send,
               uint32_t info) {
    using K = vex::SettingsStore::Kind;
    store.set("dwWndTraceOrder", {K::Dword, trace, {}});
    store.set("dwWndGraphOrder", {K::Dword, graph, {}});
    store.set("dwWndSendOrder", {K::Dword, send, {}});
    store.set("dwWndInfoOrder", {K::Dword, info, {}});
}

std::vector<uint32_t> orders(const vex::MemorySettingsStore& store) {
    std::vector<uint32_t> v;
    for (const char* name : {"dwWndTraceOrder", "dwWndGraphOrder", "dwWndSendOrder", "dwWndInfoOrder"})
        v.push_back(store.readDword(name).value_or(0xDEAD));
    return v;
}

std::vector<uint32_t> orders(const tWND_LAYOUT& w) {
    return {w.Trace.Order, w.Graph.Order, w.Send.Order, w.Info.Order};
}

}  // namespace

// Each row: the root's content, and how the reader changes a filled layout.
TEST(WndLayout, ReaderTakesWhatStandsInTheWritersOrder) {
    const struct {
        const char* name;
        const char* text;
        bool found;
        std::function<void(tWND_LAYOUT&)> change;
    } cases[] = {
        {"attributes by their own names",
         "<WND_MAIN_FRAME ScreenWidth=\"1280\" ScreenHigh=\"-1\">"
         "<WND_PLACEMENT_MAINFRM length=\"44\" flags=\"1\" showCmd=\"2\" MinPosX=\"-3\" MinPosY=\"-4\" "
         "MaxPosX=\"5\" MaxPosY=\"6\" left=\"10\" right=\"30\" top=\"20\" bottom=\"40\"/>"
         "</WND_MAIN_FRAME>",
         true,
         [](tWND_LAYOUT& w) {
             w.ScreenWidth = 1280;
             w.ScreenHigh = -1;
             w.MainFrame = {44, 1, 2, -3, -4, 5, 6, 10, 20, 30, 40};
         }},
        {"graph without its splitter keeps the splitter; absent attributes read 0",
         "<WND_MAIN_FRAME><WND_CHILD_GRAPH Show=\"0\"><WND_PLACEMENT_GRAPH left=\"7\"/></WND_CHILD_GRAPH>"
         "</WND_MAIN_FRAME>",
         true,
         [](tWND_LAYOUT& w) {
             w.ScreenWidth = w.ScreenHigh = 0;
             w.Graph.Show = 0;
             w.Graph.Placement = {};
             w.Graph.Placement.left = 7;
         }},
        {"the queue window's element has the short name only",
         "<WND_MAIN_FRAME ScreenWidth=\"1\" ScreenHigh=\"2\"><WND_CHILD_EXT_SER_QUEUE_TX_MSG>"
         "<WND_PLACEMENT_EXT_SER_QUEUE_TX_MSG left=\"9\"/><WND_SPLT_EXT_SER_QUEUE_TX_MSG C0=\"9\"/>"
         "</WND_CHILD_EXT_SER_QUEUE_TX_MSG><WND_CHILD_EXT_SER><WND_SPLT_EXT_SER_QUEUE_TX_MSG R1=\"8\"/>"
         "</WND_CHILD_EXT_SER></WND_MAIN_FRAME>",
         true,
         [](tWND_LAYOUT& w) {
             w.ScreenWidth = 1;
             w.ScreenHigh = 2;
             w.QueueTx.Splitter = {};
             w.QueueTx.Splitter.R1 = 8;
         }},
        {"a child before one already read is not read",
         "<WND_MAIN_FRAME ScreenWidth=\"1\"><WND_CHILD_INFO Show=\"0\"/><WND_CHILD_TRACE Show=\"0\"/>"
         "</WND_MAIN_FRAME>",
         true,
         [](tWND_LAYOUT& w) {
             w.ScreenWidth = 1;
             w.ScreenHigh = 0;
             w.Trace.Show = 0;
         }},
        {"no layout element", "<CFG_CAN_DEV_NXP/>", false, [](tWND_LAYOUT&) {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CXmlDoc doc;
        cfgtest::setDoc(doc, std::string("<R>") + c.text + "</R>");
        tWND_LAYOUT layout = filled();
        tWND_LAYOUT expected = layout;
        c.change(expected);
        EXPECT_EQ(LoadWndMainFrame(doc, layout), c.found);
        EXPECT_EQ(layout, expected);
    }
}

TEST(WndLayout, DefaultsLeaveTheQueueWindowAndRowOneMinimums) {
    CAppCfg cfg;
    EXPECT_EQ(cfg.WndLayout.QueueTx, tWND_EXT_SER_LAYOUT{});
    const tWND_LAYOUT defaults = cfg.WndLayout;
    cfgtest::fillEverySection(cfg);
    cfg.SetDefaults();
    tWND_LAYOUT expected = defaults;
    expected.QueueTx = filled().QueueTx;
    expected.Graph.Splitter.R1Min = 12;
    expected.Send.Splitter.R1Min = 4;
    EXPECT_EQ(cfg.WndLayout, expected);

    // A file without the layout leaves the same values; the orders still come from the registry.
    TempDir dir;
    vex::MemorySettingsStore store;
    vex::ScopedSettingsStore use(store);
    setOrders(store, 1, 6, 12, 19);
    const std::string path = (dir / "bare.xml").string();
    writeFile(path, "<VEXAR_CFG_FILE/>");
    cfgtest::fillEverySection(cfg);
    std::string message;
    ASSERT_TRUE(cfg.OpenConfig(path, message)) << message;
    EXPECT_EQ(cfg.WndLayout, expected);
}

TEST(WndLayout, StackingOrdersTravelThroughTheRegistry) {
    TempDir dir;
    vex::MemorySettingsStore store;
    vex::ScopedSettingsStore use(store);
    const std::string path = (dir / "a.xml").string();
    CAppCfg cfg;
    cfgtest::fillEverySection(cfg);
    std::string error, message;
    ASSERT_TRUE(cfg.SaveConfigAs(path, error)) << error;
    EXPECT_EQ(orders(store), (std::vector<uint32_t>{3, 0, 2, 101}));
    EXPECT_EQ(readFile(path).find("Order"), std::string::npos);
    cfg.WndLayout.Info.Order = 0;
    EXPECT_FALSE(cfg.IsModified());  // not part of the file

    setOrders(store, 9, 8, 7, 6);
    CAppCfg other;
    ASSERT_TRUE(other.OpenConfig(path, message));
    EXPECT_EQ(orders(other.WndLayout), (std::vector<uint32_t>{9, 8, 7, 6}));
    // A file that does not open, or a save that fails, exchanges nothing with the registry.
    setOrders(store, 1, 1, 1, 1);
    EXPECT_FALSE(other.OpenConfig((dir / "missing.xml").string(), message));
    EXPECT_EQ(orders(other.WndLayout), (std::vector<uint32_t>{9, 8, 7, 6}));
    writeFile(dir / "plain", "x");
    EXPECT_FALSE(other.SaveConfigAs((dir / "plain/b.xml").string(), error));
    EXPECT_EQ(orders(store), (std::vector<uint32_t>{1, 1, 1, 1}));

    // Writing databases into a new file through a short-lived setup keeps the user's orders.
    setOrders(store, 4, 3, 2, 1);
    {
        CAppCfg temp;
        ASSERT_TRUE(CAppCfg::SaveCanDatabases(temp, cfg, (dir / "new.xml").string(), error)) << error;
        ASSERT_TRUE(CAppCfg::SaveCanDatabases(temp, cfg, path, error)) << error;
    }
    EXPECT_EQ(orders(store), (std::vector<uint32_t>{4, 3, 2, 1}));
}
