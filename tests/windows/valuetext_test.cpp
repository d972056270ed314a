// Value-table signals of a real database in every window that shows a value: the trace tree's signal row,
// the send signal list's "Phys Value" and the graph's value column (through the data hub's samples) show
// the file's text for a raw value the table names, and the physical value for one it does not.
#include <gtest/gtest.h>

#include <QApplication>

#include <string>
#include <vector>

#include "app/canmsgdatahub.h"
#include "candb/dbcfile.h"
#include "config/appcfg.h"
#include "platform/clock.h"
#include "tests/app/hubtest.h"
#include "tests/common/testsupport.h"
#include "windows/graphlistview.h"
#include "windows/sigvaluetext.h"
#include "windows/tracetext.h"

namespace {

class NoCurves final : public CGraphListHost {
public:
    void RemoveCurveOf(uint32_t, const std::string&) override {}
    void RemoveGraphSignal(uint32_t, const std::string&) override {}
    void SelectCurve(uint32_t, const std::string&) override {}
    void ShowCurve(uint32_t, const std::string&, bool) override {}
    void UpdateCurveSettings(uint32_t, const tCFG_SET_GRAPH_SIG&) override {}
};

struct Picked {
    const CCanMsg* msg = nullptr;
    const CCanSignal* sig = nullptr;
};

// The first standard-frame signal that the predicate takes.
template <class Pred>
Picked find(const tCAN_DATABASE& db, Pred pred) {
    for (const CCanMsg& m : db.Messages)
        for (const CCanSignal& s : m.Signals)
            if (m.Ext == 0 && pred(s)) return {&m, &s};
    return {};
}

bool named(const CCanSignal& s, uint32_t raw) {
    int32_t val = 0;
    if (!s.RawToEnumValue(raw, val)) return false;
    for (const tCAN_SIGNAL_ENUM_ITEM& item : s.SigEnum.Items)
        if (item.val == val) return true;
    return false;
}

// What the graph's value column shows for a frame: the hub decodes it into a sample, the list takes the
// sample and shows it at its refresh.
std::string graphValue(const tCFG_CAN_DATABASE& db, const CCanMsg& msg, const CCanSignal& sig,
                       const uint8_t (&data)[8]) {
    CAppCfg cfg;
    CInfoMsgRing info;
    vex::ManualClock clock;
    CCanMsgDataHub hub(cfg, info, clock);
    hubtest::RecordingSink sink;
    hub.SetLogSink(&sink);
    cfg.CanDatabases = {db};
    tCFG_SET_GRAPH_MSG g;
    g.MsgAppId = msg.id;
    tCFG_SET_GRAPH_SIG gs;
    gs.CanSig = sig;
    g.SigArray.push_back(gs);
    cfg.Graph.MsgMap[g.MsgAppId] = g;
    hub.Reset();
    tCAN_RAW_MSG frame = hubtest::Frame(msg.id, 0, 0, 1.0);
    std::copy(std::begin(data), std::end(data), frame.Data);
    frame.Dlc = 8;
    hub.Queue().Push(frame);
    hub.ProcessRxQueue();
    tCAN_SIG_SAMPLE_DATA sample;
    if (!hub.SampleFifo().Pop(sample)) return "(no sample)";

    NoCurves host;
    CGraphListView list(cfg.Graph, host, clock);
    list.AddSignalRow(g.MsgAppId, gs);
    list.Start();
    list.UpdateSignalValue(sample, 0.0);
    list.OnTimer(CGraphListView::kRefreshTimerMs);
    return list.model()->Rows().at(0).Value;
}

}  // namespace

TEST(ValueTextRealDbc, EveryWindowShowsTheTextOrTheNumber) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    tDBC_IMPORT import;
    ASSERT_EQ(ParseDbcFile(import, (dir / "ford_lincoln_base_pt.dbc").string()), kDbcOk);
    tCFG_CAN_DATABASE db;
    db.Name = import.Name;
    db.Database = import.Database;

    // A plain table signal of 8 bits or more whose table does not name 0x88, and a scaled one whose file
    // names its raw 511 "Fault" (0.782779 per bit from -200 mm).
    const Picked plain = find(db.Database, [](const CCanSignal& s) {
        return s.Enum && !s.Sign && s.BitLen >= 8 && s.ValFactor == 1.0 && s.ValOffset == 0.0 &&
               !named(s, 0x88);
    });
    const Picked scaled =
        find(db.Database, [](const CCanSignal& s) { return s.Enum && s.Name == "SuspRear_L_Actl"; });
    ASSERT_NE(plain.sig, nullptr);
    ASSERT_NE(scaled.sig, nullptr);
    const tCAN_SIGNAL_ENUM_ITEM& first = plain.sig->SigEnum.Items.at(0);
    struct Case {
        Picked picked;
        uint32_t raw;
        std::string text;
    } cases[] = {
        {plain, 0x88, "136"},
        {plain, static_cast<uint32_t>(first.val), first.txt},
        {scaled, 511, "Fault"},
        {scaled, 136, "-93.542056"},  // 136 * 0.782779 - 200
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picked.sig->Name + " raw " + std::to_string(c.raw));
        uint8_t data[8] = {};
        ASSERT_TRUE(c.picked.sig->SetRawValue(data, c.raw));
        EXPECT_EQ(trace::SignalText(*c.picked.sig, data, 2, true).toStdString(), c.text);
        EXPECT_EQ(vex::SigPhyText(*c.picked.sig, data).toStdString(), c.text);
        EXPECT_EQ(graphValue(db, *c.picked.msg, *c.picked.sig, data), c.text);
    }
}
