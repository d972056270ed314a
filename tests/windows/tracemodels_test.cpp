// The trace list and tree models over a data hub's trace: row bookkeeping while the ring wraps and after
// clears, the tree's nodes, signal children and sorting.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "tests/windows/tracetest.h"
#include "windows/tracemodels.h"
#include "windows/tracetext.h"

using hubtest::Frame;

namespace {

constexpr uint32_t kRing = CCanMsgTraceRing::kCapacity;

struct Rig : tracetest::HubRig {
    void Push(uint32_t n) { HubRig::Push(n, 4); }
    int Sync(CTraceListModel& model) {
        std::lock_guard<std::mutex> lock(hub.TraceLock());
        return model.Sync(hub.TraceRing());
    }
    void Refresh(CTraceTreeModel& model, bool online = false) {
        std::lock_guard<std::mutex> lock(hub.TraceLock());
        model.Refresh(hub.LiveTraceMap(), online);
    }
};

// A list model under the model tester.
struct TraceListModel : ::testing::Test {
    Rig rig;
    tCFG_SET_TRACE settings;
    CTraceListModel model{settings};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

// Every row shows the frame of its sequence number: rows are consecutive, the last one the newest.
void ExpectRowsEndAt(const CTraceListModel& model, uint32_t newestSeq, uint32_t count) {
    ASSERT_EQ(model.rowCount(), static_cast<int>(count));
    for (uint32_t r = 0; r < count; ++r) {
        const uint32_t seq = newestSeq - count + 1 + r;
        ASSERT_EQ(model.Row(static_cast<int>(r)).SeqNo, seq) << r;
        ASSERT_EQ(model.Row(static_cast<int>(r)).TimeMs, seq - 1.0) << r;
    }
}

TEST_F(TraceListModel, FollowsTheRingWhileItWraps) {
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    // Batches of a tick's worth: the ring fills, then every batch pushes as many out at the top.
    const uint32_t batches[] = {4200, 1, 10, 73, 514, 3601, 9999};
    for (size_t i = 0; rig.pushed < 3 * kRing; ++i) {
        const uint32_t batch = batches[i % std::size(batches)];
        rig.Push(batch);
        ASSERT_EQ(rig.Sync(model), static_cast<int>(batch));
        ExpectRowsEndAt(model, rig.pushed, std::min(rig.pushed, kRing));
    }
    // One insertion per Sync and one removal per Sync once full; never a reset.
    EXPECT_EQ(reset.count(), 0);
    for (const auto& args : removed) EXPECT_EQ(args.at(1).toInt(), 0);  // always at the top
    const auto lastInsert = inserted.back();
    EXPECT_EQ(lastInsert.at(2).toInt(), kRing - 1);
    EXPECT_EQ(rig.Sync(model), 0);  // nothing new
}

TEST_F(TraceListModel, MoreThanARingSinceTheLastLookReplacesEveryRow) {
    rig.Push(100);
    rig.Sync(model);
    rig.Push(kRing + 5000);
    EXPECT_EQ(rig.Sync(model), static_cast<int>(kRing));
    ExpectRowsEndAt(model, rig.pushed, kRing);
}

TEST_F(TraceListModel, AClearedRingStartsTheRowsAgain) {
    rig.Push(100);
    rig.Sync(model);
    // Cleared elsewhere (going online, a replay page), then more rows than before: none of the old
    // rows may stay, although the sequence counter passed the last one seen.
    rig.hub.ClearTrace();
    rig.pushed = 0;
    rig.Push(150);
    EXPECT_EQ(rig.Sync(model), 150);
    ExpectRowsEndAt(model, 150, 150);

    // Cleared through the model: no rows, and only later frames come back.
    {
        std::lock_guard<std::mutex> lock(rig.hub.TraceLock());
        model.Clear(rig.hub.TraceRing());
    }
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(rig.Sync(model), 0);
    rig.Push(3);
    EXPECT_EQ(rig.Sync(model), 3);
    ExpectRowsEndAt(model, 153, 3);
}

// ---- tree ----

TEST(TraceTreeModel, NodesPerIdentifierAndChannelWithDecodedSignals) {
    Rig rig;
    rig.cfg.CanDatabases.push_back(hubtest::Db(
        "db", 1,
        {hubtest::Msg("发动机", 0x123, 0, {hubtest::Sig("转速", 0, 16), hubtest::Sig("温度", 16, 8)}),
         hubtest::Msg("Empty", 0x200, 0)}));
    rig.hub.Reset();
    tCFG_SET_TRACE settings;
    settings.NumHex = 1;
    settings.DeltaTime = 1;
    CTraceTreeModel model(settings);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    CCanMsgDataHub& hub = rig.hub;
    hub.AddToTraceMap(Frame(0x123, 0, 1, 10.0, {0x34, 0x12, 0x50}));
    hub.AddToTraceMap(Frame(0x18FEF100, 1, 0, 11.0, {1}));
    hub.AddToTraceMap(Frame(0x123, 0, 0, 12.0, {0x01, 0x00, 0x07}));
    rig.Refresh(model);
    // Ascending trace keys: channel 0 before channel 1.
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.NodeKey(0), TraceKey(0, 0x123, 0));
    EXPECT_EQ(model.NodeKey(1), TraceKey(0, 0x18FEF100, 1));
    EXPECT_EQ(model.NodeKey(2), TraceKey(1, 0x123, 0));
    EXPECT_EQ(model.data(model.index(1, trace::kId)).toString(), "0x18FEF100");
    EXPECT_EQ(model.data(model.index(0, trace::kName)).toString(), QString::fromUtf8("发动机"));
    EXPECT_EQ(model.rowCount(model.index(1, 0)), 0);  // unknown: no children

    const QModelIndex node = model.index(2, 0);
    ASSERT_EQ(model.rowCount(node), 2);
    auto cell = [&](int parentRow, int row, int column) {
        return model.data(model.index(row, column, model.index(parentRow, 0))).toString();
    };
    EXPECT_EQ(cell(2, 0, 0), QString::fromUtf8("转速"));
    EXPECT_EQ(cell(2, 0, 1), "1234");
    EXPECT_EQ(cell(2, 0, 2), "4660");
    EXPECT_EQ(cell(2, 1, 1), "50");
    EXPECT_EQ(cell(0, 0, 2), "1");

    // A newer frame of a key updates its node and its signals; new keys are appended.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    hub.AddToTraceMap(Frame(0x123, 0, 1, 30.5, {0xFF, 0x00, 0x08}));
    hub.AddToTraceMap(Frame(0x200, 0, 0, 31.0, {}));
    rig.Refresh(model);
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.NodeKey(3), TraceKey(0, 0x200, 0));
    EXPECT_EQ(model.data(model.index(2, trace::kTime)).toString(), "20.5");
    EXPECT_EQ(cell(2, 0, 2), "255");
    EXPECT_EQ(cell(2, 1, 2), "8");
    EXPECT_GE(changed.count(), 2);  // the node and its signal rows
    settings.NumHex = 0;
    model.SettingsChanged();
    EXPECT_EQ(cell(2, 0, 1), "255");

    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    rig.Refresh(model);
    EXPECT_EQ(model.rowCount(), 4);
    // Keys that left the map lose their nodes.
    hub.ClearTrace();
    hub.AddToTraceMap(Frame(0x18FEF100, 1, 0, 50.0, {2}));
    rig.Refresh(model);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.NodeKey(0), TraceKey(0, 0x18FEF100, 1));
}

TEST(TraceTreeModel, AtMost512Nodes) {
    Rig rig;
    tCFG_SET_TRACE settings;
    CTraceTreeModel model(settings);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (uint32_t id = 0; id < 600; ++id) rig.hub.AddToTraceMap(Frame(id, 0, 0, id));
    rig.Refresh(model);
    ASSERT_EQ(model.rowCount(), CTraceTreeModel::kMaxNodes);
    EXPECT_EQ(model.NodeKey(511), 511u);
    rig.Refresh(model);
    EXPECT_EQ(model.rowCount(), CTraceTreeModel::kMaxNodes);
    // While all 600 keys keep coming, every 100 ms for longer than a key takes to be quiet, the nodes
    // stay those of the first 512 keys.
    auto keys = [&model] {
        std::vector<uint64_t> out;
        for (int r = 0; r < model.rowCount(); ++r) out.push_back(model.NodeKey(r));
        return out;
    };
    const std::vector<uint64_t> first512 = keys();
    double t = 600;
    auto tick = [&](uint32_t from, uint32_t to) {
        t += 100;
        for (uint32_t id = from; id < to; ++id) rig.hub.AddToTraceMap(Frame(id, 0, 0, t));
        rig.Refresh(model);
    };
    while (t < 2 * CTraceTreeModel::kQuietMs) tick(0, 600);
    EXPECT_EQ(keys(), first512);
    // Keys that stop coming give way to those without a node once they have been quiet long enough.
    while (t < 3 * CTraceTreeModel::kQuietMs) tick(100, 600);
    ASSERT_EQ(model.rowCount(), CTraceTreeModel::kMaxNodes);
    std::vector<uint64_t> shown = keys();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown.front(), 88u);
    EXPECT_EQ(shown.back(), 599u);
    // Freed slots take the next keys.
    rig.hub.ClearTrace();
    for (uint32_t id = 1000; id < 1003; ++id) rig.hub.AddToTraceMap(Frame(id, 0, 0, id));
    rig.Refresh(model);
    EXPECT_EQ(model.rowCount(), 3);
}

void NodesFollowTheBoundedMapThroughAFlood(bool online) {
    Rig rig;
    tCFG_SET_TRACE settings;
    vex::ManualClock clock;
    CTraceTreeModel model(settings, nullptr, clock);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    constexpr uint32_t kBus = 16, kFloodPerTick = 1600;
    double t = 0;
    uint32_t flooded = 0;
    auto shown = [&model](uint64_t key) {
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.NodeKey(r) == key) return true;
        return false;
    };
    auto tick = [&](uint32_t floodFrames) {
        for (uint32_t i = 0; i < floodFrames; ++i, ++flooded)
            rig.hub.AddToTraceMap(Frame((flooded * 0x9E3779B1u) & 0x1FFFFFFFu, 1, 1, t + i / 16.0));
        for (uint32_t id = 0x100; id < 0x100 + kBus; ++id) rig.hub.AddToTraceMap(Frame(id, 0, 0, t + 99));
        t += 100;
        clock.AdvanceMs(100);
        rig.Refresh(model, online);
        ASSERT_LE(model.rowCount(), CTraceTreeModel::kMaxNodes);
        for (uint32_t id = 0x100; id < 0x100 + kBus; ++id) ASSERT_TRUE(shown(id)) << std::hex << id;
    };
    while (flooded < CCanMsgTraceMap::kCapacity + 10 * kFloodPerTick) tick(kFloodPerTick);
    EXPECT_EQ(rig.hub.LiveTraceMap().size(), CCanMsgTraceMap::kCapacity);
    EXPECT_EQ(model.rowCount(), CTraceTreeModel::kMaxNodes);
    EXPECT_GT(removed.count(), 0);  // nodes of evicted keys went

    // After the flood: the bus alone until the flood's keys are quiet, then a new identifier too.
    const uint64_t after = TraceKey(1, 0x1FFFFFFF, 1);
    const double quietFrom = t + CTraceTreeModel::kQuietMs;
    while (t < quietFrom) tick(0);
    rig.hub.AddToTraceMap(Frame(0x1FFFFFFF, 1, 1, t));
    tick(0);
    EXPECT_TRUE(shown(after));
    EXPECT_EQ(model.rowCount(), CTraceTreeModel::kMaxNodes);
}

// A flood of new extended identifiers at 16,000 a second, beyond the bound of the per-identifier map,
// beside a bus of 16 identifiers that send every 100 ms, the tree refreshed every 100 ms: the model stays
// consistent while the nodes of keys that left the map go, the bus keeps its nodes, and an identifier
// that comes after the flood gets a node once the flood's keys have been quiet long enough. Alike in
// replay and online, where the receive clock runs with the frames.
TEST(TraceTreeModel, NodesFollowTheBoundedMapThroughAFlood) {
    for (const bool online : {false, true}) {
        SCOPED_TRACE(online ? "online" : "replay");
        NodesFollowTheBoundedMapThroughAFlood(online);
    }
}

// A burst of random identifiers that takes every node, one more identifier seen once right after it, then
// a silent bus; the tree refreshed every 100 ms of a clock the test moves. Online, frame time goes on with
// the receive clock: the burst's nodes are quiet 10 s after their frames and the lone identifier, seen
// since, takes a node within one tick of that, although it is just as quiet by then. In a replay frame time
// stops with the frames, so the nodes never turn quiet and the lone identifier gets none.
TEST(TraceTreeModel, AFrameSeenOnceAfterABurstGetsANodeWhileOnline) {
    Rig rig;
    tCFG_SET_TRACE settings;
    vex::ManualClock clock;
    CTraceTreeModel online(settings, nullptr, clock), replay(settings, nullptr, clock);
    QAbstractItemModelTester tester(&online, QAbstractItemModelTester::FailureReportingMode::Fatal);
    constexpr double kTickMs = 100.0;
    auto shown = [](const CTraceTreeModel& model, uint64_t key) {
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.NodeKey(r) == key) return true;
        return false;
    };
    auto tick = [&] {
        clock.AdvanceMs(kTickMs);
        rig.Refresh(online, true);
        rig.Refresh(replay, false);
    };
    // A steady identifier, then the burst beside it: 600 identifiers in 38 ms, and the lone one after them
    // (the highest key, so that free nodes, which go to the lowest keys first, never take it).
    double t = 0;
    for (; t < 1000; t += kTickMs) {
        rig.hub.AddToTraceMap(Frame(0x100, 0, 0, t));
        tick();
    }
    for (uint32_t i = 0; i < 600; ++i)
        rig.hub.AddToTraceMap(Frame((i * 0x9E3779B1u) & 0x1FFFFFFFu, 1, 1, t + i / 16.0));
    rig.hub.AddToTraceMap(Frame(0x100, 0, 0, t + 38));
    const uint64_t lone = TraceKey(1, 0x1FFFFFFF, 1);
    rig.hub.AddToTraceMap(Frame(0x1FFFFFFF, 1, 1, t + 38));
    tick();
    ASSERT_EQ(online.rowCount(), CTraceTreeModel::kMaxNodes);
    EXPECT_TRUE(shown(online, TraceKey(0, 0x100, 0)));
    EXPECT_FALSE(shown(online, lone));

    // Silence.
    double silentMs = 0;
    while (!shown(online, lone) && silentMs < 3 * CTraceTreeModel::kQuietMs) {
        tick();
        silentMs += kTickMs;
    }
    EXPECT_TRUE(shown(online, lone));
    EXPECT_LE(silentMs, CTraceTreeModel::kQuietMs + kTickMs);
    EXPECT_EQ(online.rowCount(), CTraceTreeModel::kMaxNodes);
    EXPECT_FALSE(shown(replay, lone));
    EXPECT_EQ(replay.rowCount(), CTraceTreeModel::kMaxNodes);
    // Nothing more changes while the bus stays silent: no key left without a node was seen after one that
    // has a node.
    std::vector<uint64_t> keys;
    for (int r = 0; r < online.rowCount(); ++r) keys.push_back(online.NodeKey(r));
    for (int i = 0; i < 200; ++i) tick();
    for (int r = 0; r < online.rowCount(); ++r) ASSERT_EQ(online.NodeKey(r), keys[static_cast<size_t>(r)]);
}

std::vector<uint32_t> Ids(const CTraceTreeModel& model) {
    std::vector<uint32_t> ids;
    for (int r = 0; r < model.rowCount(); ++r) ids.push_back(model.NodeRow(r).MsgId);
    return ids;
}

TEST(TraceTreeModel, SortIsStableAndAlternates) {
    Rig rig;
    rig.cfg.CanDatabases.push_back(hubtest::Db("db", 1,
                                               {hubtest::Msg("B", 0x10, 0, {hubtest::Sig("s", 0, 8)}),
                                                hubtest::Msg("A", 0x20, 0), hubtest::Msg("B", 0x30, 0)}));
    rig.hub.Reset();
    tCFG_SET_TRACE settings;
    settings.DeltaTime = 0;
    CTraceTreeModel model(settings);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    // Keys in ascending order: 0x10, 0x20, 0x30, 0x40 (unknown, empty name), 0x10 on channel 1.
    rig.hub.AddToTraceMap(Frame(0x30, 0, 0, 5.0));
    rig.hub.AddToTraceMap(Frame(0x10, 0, 1, 1.0));
    rig.hub.AddToTraceMap(Frame(0x40, 1, 0, 3.0));
    rig.hub.AddToTraceMap(Frame(0x20, 0, 0, 4.0));
    rig.hub.AddToTraceMap(Frame(0x10, 0, 0, 2.0, {7}));
    rig.Refresh(model);
    ASSERT_EQ(Ids(model), (std::vector<uint32_t>{0x10, 0x20, 0x30, 0x40, 0x10}));

    // A selected signal row stays with its node.
    const QPersistentModelIndex child = model.index(0, 0, model.index(0, 0));
    const QPersistentModelIndex top = model.index(2, 3);
    struct Step {
        int column;
        std::vector<uint32_t> ids;
    } steps[] = {
        // Names ascending: "" (0x40), "A", then the two "B" (0x10 ch 0, 0x30) and 0x10 ch 1 in their order.
        {trace::kName, {0x40, 0x20, 0x10, 0x30, 0x10}},
        // Descending: equal names keep their order.
        {trace::kName, {0x10, 0x30, 0x10, 0x20, 0x40}},
        {trace::kId, {0x10, 0x10, 0x20, 0x30, 0x40}},
        {trace::kId, {0x40, 0x30, 0x20, 0x10, 0x10}},
        {trace::kIdType, {0x30, 0x20, 0x10, 0x10, 0x40}},
        {trace::kTime, {0x30, 0x20, 0x40, 0x10, 0x10}},  // descending time stamps
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(model.SortByColumn(s.column));
        EXPECT_EQ(Ids(model), s.ids) << "column " << s.column;
    }
    EXPECT_EQ(model.data(child).toString(), "s");
    EXPECT_EQ(model.NodeRow(child.parent().row()).TimeMs, 2.0);
    EXPECT_EQ(model.NodeRow(top.row()).MsgId, 0x30u);
    EXPECT_EQ(top.column(), 3);
    // Columns that do not sort.
    for (int column : {3, 5, 6, 7, 8, 15}) EXPECT_FALSE(model.SortByColumn(column));
    // New keys are appended after a sort.
    rig.hub.AddToTraceMap(Frame(0x01, 0, 0, 9.0));
    rig.Refresh(model);
    EXPECT_EQ(model.NodeRow(model.rowCount() - 1).MsgId, 0x01u);
}

}  // namespace
