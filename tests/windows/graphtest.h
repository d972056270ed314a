#pragma once
// Helpers of the graph window suites: a graph window over a fresh workspace, graphed-signal records and
// samples as the data hub makes them.
#include <memory>
#include <string>
#include <vector>

#include "tests/windows/wndtest.h"
#include "windows/canselectsigdlg.h"
#include "windows/graphwnd.h"

namespace graphtest {

inline tCFG_SET_GRAPH_SIG GraphSig(const std::string& name, uint32_t color = 0x0000FF, double min = 0,
                                   double max = 100, const char* unit = "V") {
    tCFG_SET_GRAPH_SIG s;
    s.CanSig = hubtest::Sig(name, 0, 8);
    s.CanSig.Unit = std::string(unit);
    s.Color = color;
    s.ShowMin = min;
    s.ShowMax = max;
    s.PointType = 0;
    return s;
}

// "<prefix><n>", built without operator+ (GCC 12 warns falsely on it at -O3).
inline std::string Numbered(const char* prefix, int n) {
    std::string name(prefix);
    name.append(std::to_string(n));
    return name;
}

inline void Graph(tCFG_SET_GRAPH& graph, uint32_t key, std::vector<tCFG_SET_GRAPH_SIG> sigs) {
    tCFG_SET_GRAPH_MSG& m = graph.MsgMap[key];
    m.MsgAppId = key;
    for (auto& s : sigs) m.SigArray.push_back(std::move(s));
}

inline tCAN_SIG_SAMPLE_DATA Sample(uint32_t key, const std::string& name, double timeMs, double value) {
    tCAN_SIG_SAMPLE_DATA s;
    s.MsgKey = static_cast<int32_t>(key);
    s.SigName = name;
    s.TimeMs = timeMs;
    s.PhyValue = value;
    s.ValueText = std::to_string(static_cast<int>(value));
    return s;
}

// A graph window on the test's workspace, with the online and replay flags in the test's hands.
class GraphWndTest : public wndtest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        wnd = std::make_unique<CGraphWnd>(GraphWndDeps{ws->Hub(), ws->Cfg().Graph, ws->Colors(),
                                                       [this] { return online; },
                                                       [this] { return replaying; }, clock});
        wnd->SetSignalPicker([this](const std::vector<tCAN_DB_SEL_CAN_SIG>& graphed,
                                    std::vector<tCAN_DB_SEL_CAN_SIG>& out, QWidget*) {
            shownToPicker = graphed;
            out = picks;
            return pickerAccepts;
        });
    }
    void TearDown() override {
        wnd.reset();
        WindowTest::TearDown();
    }
    CGraphCurveView& Curves() { return *wnd->curveView(); }
    CGraphListView& List() { return *wnd->listView(); }
    CGraphPlot& Engine() { return wnd->curveView()->Engine(); }

    vex::ManualClock clock;
    bool online = false;
    bool replaying = false;
    std::vector<tCAN_DB_SEL_CAN_SIG> picks;
    bool pickerAccepts = true;
    std::vector<tCAN_DB_SEL_CAN_SIG> shownToPicker;
    std::unique_ptr<CGraphWnd> wnd;
};

}  // namespace graphtest
