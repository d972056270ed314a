#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/canmsgdatahub.h"
#include "config/appcfg.h"
#include "tests/app/hubtest.h"

using namespace hubtest;

namespace {

class HubTest : public ::testing::Test {
protected:
    HubTest() { hub.SetLogSink(&sink); }

    std::vector<tINFO_MSG> infos() {
        std::vector<tINFO_MSG> out;
        tINFO_MSG m;
        while (info.Pop(m)) out.push_back(m);
        return out;
    }

    CAppCfg cfg;
    CInfoMsgRing info;
    vex::ManualClock clock;
    CCanMsgDataHub hub{cfg, info, clock};
    RecordingSink sink;
};

// Push and pop across wraps, with the reader emptying the ring in between: the newest entries survive,
// oldest first; an empty pop leaves its out-value alone.
TEST(DropOldestRing, KeepsNewestInOrder) {
    struct Case {
        int pushes;
        int popsBetween;  // pops after the first half of the pushes
        std::vector<int> left;
        int drops;
    } cases[] = {
        {0, 0, {}, 0},        {3, 0, {0, 1, 2}, 0}, {4, 0, {1, 2, 3}, 1},
        {8, 0, {5, 6, 7}, 5}, {6, 3, {3, 4, 5}, 0}, {10, 2, {7, 8, 9}, 5},
    };
    for (const Case& c : cases) {
        CDropOldestRing<int> ring(3);
        int drops = 0, out = -1;
        for (int i = 0; i < c.pushes; ++i) {
            if (i == c.pushes / 2) {
                for (int p = 0; p < c.popsBetween; ++p) ASSERT_TRUE(ring.Pop(out));
                ring.RewindIfEmpty();
            }
            drops += ring.Push(i) ? 1 : 0;
        }
        std::vector<int> left;
        while (ring.Pop(out)) left.push_back(out);
        EXPECT_EQ(left, c.left) << c.pushes;
        EXPECT_EQ(drops, c.drops) << c.pushes;
        out = 42;
        EXPECT_FALSE(ring.Pop(out));
        EXPECT_EQ(out, 42);
    }
}

// 20,241 frames before a drain, pushed in blocks as the receive thread does: the first is lost and counted,
// the other 20,240 come out in order.
TEST_F(HubTest, FullQueueDropsOldestFrame) {
    std::vector<tCAN_RAW_MSG> frames;
    for (uint32_t i = 0; i <= CCanRxMsgQueue::kCapacity; ++i) frames.push_back(Frame(i & 0x7FF, 0, 0, i));
    for (size_t i = 0; i < frames.size(); i += 1000) {
        hub.Queue().PushMany(frames.data() + i,
                             static_cast<uint32_t>(std::min<size_t>(1000, frames.size() - i)));
    }
    sink.open = true;
    hub.ProcessRxQueue();
    ASSERT_EQ(sink.frames.size(), CCanRxMsgQueue::kCapacity);
    for (uint32_t i = 0; i < sink.frames.size(); ++i) ASSERT_EQ(sink.frames[i].TimeMs, i + 1.0);
    tCAN_RAW_MSG f = Frame(7);
    EXPECT_FALSE(hub.Queue().Pop(f));
    EXPECT_EQ(f.Id, 7u);
    const auto msgs = infos();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].Source, CCanMsgDataHub::kDropSource);
    EXPECT_NE(msgs[0].Text.find("丢失了1帧"), std::string::npos) << msgs[0].Text;
}

// Drops are reported at most once a second, each report with the number lost since the last one.
TEST_F(HubTest, DropReportsAreRateLimited) {
    auto overflow = [&](uint32_t extra) {
        for (uint32_t i = 0; i < CCanRxMsgQueue::kCapacity + extra; ++i) hub.Queue().Push(Frame(1));
        hub.ProcessRxQueue();
    };
    struct Step {
        double advanceMs;
        uint32_t extra;
        const char* reported;  // nullptr: nothing reported
    } steps[] = {{0, 5, "丢失了5帧"},   {500, 7, nullptr},  {400, 0, nullptr},
                 {100, 0, "丢失了7帧"}, {2000, 0, nullptr}, {0, 1, "丢失了1帧"}};
    for (const Step& s : steps) {
        clock.AdvanceMs(s.advanceMs);
        overflow(s.extra);
        const auto msgs = infos();
        if (s.reported == nullptr) {
            EXPECT_TRUE(msgs.empty()) << msgs[0].Text;
        } else {
            ASSERT_EQ(msgs.size(), 1u) << s.reported;
            EXPECT_NE(msgs[0].Text.find(s.reported), std::string::npos) << msgs[0].Text;
        }
    }
}

TEST_F(HubTest, SampleFifoDropsOldest) {
    tCAN_SIG_SAMPLE_DATA s;
    s.SigName = "rpm";
    for (uint32_t i = 0; i <= CCanSigSampleFifo::kCapacity; ++i) {
        s.MsgKey = static_cast<int32_t>(i);
        hub.SampleFifo().Push(s);
    }
    EXPECT_EQ(hub.SampleFifo().Count(), CCanSigSampleFifo::kCapacity);
    tCAN_SIG_SAMPLE_DATA out;
    ASSERT_TRUE(hub.SampleFifo().Pop(out));
    EXPECT_EQ(out.MsgKey, 1);
    EXPECT_EQ(out.SigName, s.SigName);
    hub.SampleFifo().Clear();
    EXPECT_FALSE(hub.SampleFifo().Pop(out));
    EXPECT_EQ(out.MsgKey, 1);
}

// After 20,001 rows the ring holds 20,000, its read index is 1 and its counter 20,001; the maps' rows
// carry sequence number 0.
TEST_F(HubTest, TraceRingKeepsLastRowsNumbered) {
    auto& ring = hub.TraceRing();
    for (uint32_t i = 0; i <= CCanMsgTraceRing::kCapacity; ++i) hub.AddToTraceMap(Frame(i % 5, 0, 0, i));
    EXPECT_EQ(ring.Count(), CCanMsgTraceRing::kCapacity);
    EXPECT_EQ(ring.ReadIndex(), 1u);
    EXPECT_EQ(ring.SeqCounter(), 20001u);
    EXPECT_EQ(ring.Row(0).SeqNo, 2u);
    EXPECT_EQ(ring.Row(0).TimeMs, 1.0);
    EXPECT_EQ(ring.Row(19999).SeqNo, 20001u);
    EXPECT_TRUE(ring.Changed());
    EXPECT_EQ(hub.LiveTraceMap().size(), 5u);
    for (const auto& [key, row] : hub.LiveTraceMap()) EXPECT_EQ(row.SeqNo, 0u);
    hub.SnapshotTraceMap();
    EXPECT_EQ(hub.ViewTraceMap().size(), 5u);
    ring.ClearChanged();
    hub.ClearTrace();
    EXPECT_EQ(ring.Count(), 0u);
    EXPECT_EQ(ring.SeqCounter(), 0u);
    EXPECT_TRUE(ring.Changed());
    EXPECT_TRUE(hub.LiveTraceMap().empty());
    EXPECT_TRUE(hub.ViewTraceMap().empty());
}

// Trace keys separate channels and identifier kinds; each key has its own delta time; names come from
// the global map and are looked up only until found.
TEST_F(HubTest, TraceMapKeysDeltasAndNames) {
    cfg.CanDatabases = {Db("db", 0, {Msg("Std100", 0x100, 0), Msg("Ext100", 0x100, 1)})};
    hub.Reset();
    struct Step {
        uint32_t id;
        uint8_t ext, chan;
        double time, delta;
        const char* name;
    } steps[] = {
        {0x100, 0, 0, 10.0, 0.0, "Std100"},  {0x100, 0, 1, 12.0, 0.0, "Std100"},
        {0x100, 1, 0, 13.0, 0.0, "Ext100"},  {0x100, 0, 0, 35.5, 25.5, "Std100"},
        {0x100, 0, 1, 40.0, 28.0, "Std100"}, {0x200, 0, 0, 41.0, 0.0, ""},
    };
    for (const Step& s : steps) {
        hub.AddToTraceMap(Frame(s.id, s.ext, s.chan, s.time, {1, 2}));
        const auto& row = hub.LiveTraceMap().at(TraceKey(s.chan, s.id, s.ext));
        EXPECT_EQ(row.DeltaMs, s.delta) << s.time;
        EXPECT_EQ(row.MsgName(), s.name) << s.time;
        EXPECT_EQ(row.Known, s.name[0] ? 1 : 0);
        EXPECT_EQ(row.Chan, s.chan);
        EXPECT_EQ(row.Data[1], 2);
    }
    EXPECT_EQ(hub.LiveTraceMap().size(), 4u);

    // Rows share the map's message instead of copying it.
    auto& ring = hub.TraceRing();
    EXPECT_EQ(ring.Row(0).CanMsg.get(), hub.FindGlobalMsg(0x100)->CanMsg.get());
    EXPECT_EQ(ring.Row(3).CanMsg.get(), ring.Row(0).CanMsg.get());

    // A database change while ready reaches neither the maps nor the trace; after going offline (not
    // ready) the next reset picks it up. Rows keep their message when the maps are emptied.
    cfg.CanDatabases[0].Database.Messages.push_back(Msg("Late", 0x200, 0));
    hub.Reset();
    hub.AddToTraceMap(Frame(0x200));
    hub.AddToTraceMap(Frame(0x100));
    EXPECT_EQ(hub.LiveTraceMap().at(0x200).MsgName(), "");
    hub.SetNotReady();
    EXPECT_TRUE(hub.GlobalMsgMap().empty());
    EXPECT_TRUE(hub.GlobalSigMap().empty());
    EXPECT_EQ(ring.Row(1).MsgName(), "Std100");
    hub.Reset();
    hub.AddToTraceMap(Frame(0x200));
    EXPECT_EQ(hub.LiveTraceMap().at(0x200).MsgName(), "Late");
}

// The per-identifier map in isolation, with room for three keys: the key seen longest ago makes room, a
// key seen again moves to the back of the queue; iteration stays in ascending key order, and a copy keeps
// both the rows and the order in which their keys were seen.
TEST(TraceMap, TheKeySeenLongestAgoMakesRoom) {
    CCanMsgTraceMap map(3);
    auto touch = [&map](uint64_t key, double time) {
        bool added = false;
        map.Touch(key, added).TimeMs = time;
        return added;
    };
    auto keys = [](const CCanMsgTraceMap& m) {
        std::vector<uint64_t> out;
        for (const auto& [key, row] : m) out.push_back(key);
        return out;
    };
    auto lastSeenFirst = [](const CCanMsgTraceMap& m) {
        std::vector<uint64_t> out;
        for (const auto* e = m.Newest(); e != nullptr; e = m.Older(*e)) out.push_back(e->Key());
        return out;
    };
    EXPECT_TRUE(touch(30, 1));
    EXPECT_TRUE(touch(10, 2));
    EXPECT_TRUE(touch(20, 3));
    EXPECT_FALSE(touch(30, 4));  // 30 seen again: 10 is now the one seen longest ago
    EXPECT_TRUE(touch(40, 5));
    EXPECT_EQ(keys(map), (std::vector<uint64_t>{20, 30, 40}));
    EXPECT_EQ(lastSeenFirst(map), (std::vector<uint64_t>{40, 30, 20}));
    EXPECT_EQ(map.Evicted(), 1u);
    // The row that made room starts empty under its new key.
    EXPECT_EQ(map.at(40).TimeMs, 5.0);
    EXPECT_TRUE(touch(5, 6));
    EXPECT_EQ(map.at(5).DeltaMs, 0.0);
    EXPECT_EQ(keys(map), (std::vector<uint64_t>{5, 30, 40}));
    EXPECT_EQ(map.size(), 3u);

    CCanMsgTraceMap copy;
    copy = map;
    EXPECT_EQ(keys(copy), keys(map));
    EXPECT_EQ(lastSeenFirst(copy), (std::vector<uint64_t>{5, 40, 30}));
    EXPECT_EQ(copy.at(30).TimeMs, 4.0);
    EXPECT_TRUE(touch(50, 7));  // the copy is not linked to the original
    EXPECT_EQ(lastSeenFirst(copy), (std::vector<uint64_t>{5, 40, 30}));
    bool added = true;
    copy.Touch(30, added);
    EXPECT_FALSE(added);
    EXPECT_EQ(lastSeenFirst(copy), (std::vector<uint64_t>{30, 5, 40}));

    map.clear();
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(map.Newest(), nullptr);
    EXPECT_EQ(map.Evicted(), 0u);
    EXPECT_TRUE(touch(1, 8));
    EXPECT_EQ(lastSeenFirst(map), (std::vector<uint64_t>{1}));
}

// A flood of distinct extended identifiers, more than the map holds, among a bus's own identifier: the
// map keeps exactly its bound of keys, the flood's first keys leave while the bus's identifier stays with
// its delta time, an identifier after the flood is held, and the info ring hears of it once per trace.
TEST_F(HubTest, TraceMapStaysWithinItsBoundUnderAFlood) {
    const uint32_t bound = CCanMsgTraceMap::kCapacity, extra = 1000;
    // A bijection on 29 bits: every flood identifier is new.
    auto floodId = [](uint32_t i) { return (i * 0x9E3779B1u) & 0x1FFFFFFFu; };
    // One flood frame a millisecond, the bus's own identifier every 100 ms.
    auto flood = [&](uint32_t from, uint32_t to) {
        for (uint32_t i = from; i < to; ++i) {
            if (i % 100 == 0) hub.AddToTraceMap(Frame(0x123, 0, 0, i));
            hub.AddToTraceMap(Frame(floodId(i), 1, 1, i));
        }
    };
    auto notices = [&] {
        int n = 0;
        for (const tINFO_MSG& m : infos()) n += m.Source == CCanMsgDataHub::kTraceKeysSource ? 1 : 0;
        return n;
    };
    flood(0, bound - 1);
    EXPECT_EQ(hub.LiveTraceMap().size(), bound);
    EXPECT_EQ(notices(), 0);
    flood(bound - 1, bound - 1 + extra);
    const CCanMsgTraceMap& map = hub.LiveTraceMap();
    ASSERT_EQ(map.size(), bound);
    for (uint32_t i : {0u, 1u, extra - 1}) EXPECT_EQ(map.count(TraceKey(1, floodId(i), 1)), 0u) << i;
    for (uint32_t i : {extra, bound - 1 + extra - 1})
        EXPECT_EQ(map.count(TraceKey(1, floodId(i), 1)), 1u) << i;
    EXPECT_EQ(map.at(0x123).DeltaMs, 100.0);
    EXPECT_TRUE(std::is_sorted(map.begin(), map.end(),
                               [](const auto& a, const auto& b) { return a.first < b.first; }));
    EXPECT_EQ(notices(), 1);

    hub.AddToTraceMap(Frame(0x7FF, 0, 0, 1e6));
    EXPECT_EQ(map.size(), bound);
    EXPECT_EQ(map.at(0x7FF).TimeMs, 1e6);
    hub.SnapshotTraceMap();
    EXPECT_EQ(hub.ViewTraceMap().size(), bound);
    EXPECT_EQ(hub.ViewTraceMap().at(0x123).DeltaMs, 100.0);
    flood(bound + extra, bound + 2 * extra);
    EXPECT_EQ(notices(), 0);

    // A cleared trace (going online again, the window's clear) may say it again.
    hub.ClearTrace();
    flood(0, bound + 10);
    EXPECT_EQ(hub.LiveTraceMap().size(), bound);
    EXPECT_EQ(notices(), 1);
}

// The display filter decides the trace, the log filter the log, each on its own.
TEST_F(HubTest, DisplayAndLogFiltersActIndependently) {
    const tCAN_RAW_MSG frames[] = {Frame(0x100, 0, 0), Frame(0x200, 0, 1), Frame(0x100, 1, 0),
                                   Frame(0x7FF, 0, 1, 0, {}, 1)};
    auto filter = [](uint8_t enable, uint8_t block, uint8_t idType, uint8_t chan, uint8_t valType) {
        CCanMsgFilter f;
        f.Enable = enable;
        f.Block = block;
        f.MsgIDType = idType;
        f.Chan = chan;
        f.MsgIdValType = valType;
        f.FltMsgIdMin = 0x100;
        f.FltMsgIdMax = 0x1FF;
        return f;
    };
    struct Case {
        CCanMsgFilter display, log;
        std::vector<uint32_t> traced, logged;  // indexes into frames
    } cases[] = {
        // Enable 0 passes everything, whatever else is set.
        {filter(0, 1, 0, 0, 0), filter(0, 0, 1, 1, 0), {0, 1, 2, 3}, {0, 1, 2, 3}},
        // Pass mode: only matches; block mode: all but matches.
        {filter(1, 0, 2, 255, 0), filter(0, 0, 2, 255, 2), {0, 2}, {0, 1, 2, 3}},
        {filter(0, 0, 2, 255, 2), filter(1, 1, 2, 1, 2), {0, 1, 2, 3}, {0, 2}},
        {filter(1, 1, 1, 255, 2), filter(1, 0, 0, 255, 0), {0, 1, 3}, {0}},
    };
    for (const Case& c : cases) {
        CCanMsgFilter::Assign(cfg.Trace.Filter, c.display);
        CCanMsgFilter::Assign(cfg.Log.Filter, c.log);
        hub.Reset();
        sink.frames.clear();
        sink.open = true;
        for (const auto& f : frames) hub.Queue().Push(f);
        hub.ProcessRxQueue();
        std::vector<uint32_t> traced, logged;
        auto index = [&](uint32_t id, uint8_t ext, uint8_t chan) {
            for (uint32_t i = 0; i < 4; ++i)
                if (frames[i].Id == id && frames[i].Ext == ext && frames[i].Chan == chan) return i;
            return 99u;
        };
        for (uint32_t n = 0; n < hub.TraceRing().Count(); ++n) {
            const auto& r = hub.TraceRing().Row(n);
            traced.push_back(index(r.MsgId, r.Ext, r.Chan));
        }
        for (const auto& f : sink.frames) logged.push_back(index(f.Id, f.Ext, f.Chan));
        EXPECT_EQ(traced, c.traced);
        EXPECT_EQ(logged, c.logged);
    }
}

// The highest PriorityLevel wins a key, the earlier database on equal levels; standard and extended
// identifiers are different keys.
TEST_F(HubTest, GlobalMapPriorities) {
    struct Case {
        std::vector<tCFG_CAN_DATABASE> dbs;
        const char* std100;
        const char* ext100;
    } cases[] = {
        {{Db("a", 1, {Msg("A", 0x100, 0)}), Db("b", 2, {Msg("B", 0x100, 0)})}, "B", nullptr},
        {{Db("b", 2, {Msg("B", 0x100, 0)}), Db("a", 1, {Msg("A", 0x100, 0)})}, "B", nullptr},
        {{Db("a", 3, {Msg("A", 0x100, 0)}), Db("b", 3, {Msg("B", 0x100, 0)})}, "A", nullptr},
        {{Db("a", -1, {Msg("A", 0x100, 0)}), Db("b", -1, {Msg("B", 0x100, 1)})}, "A", "B"},
        {{Db("a", 0, {}), Db("b", 0, {})}, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        cfg.CanDatabases = c.dbs;
        hub.SetNotReady();
        hub.BuildGlobalMaps();
        for (auto [key, want] : {std::pair{0x100u, c.std100}, std::pair{0x40000100u, c.ext100}}) {
            tCAN_MSG_GLOBAL_DATA g;
            ASSERT_EQ(hub.LookupGlobalMsg(key, g), want != nullptr) << key;
            if (want == nullptr) continue;
            EXPECT_EQ(g.MsgKey, key);
            EXPECT_EQ(g.CanMsg->Name, want);
        }
    }
}

// Signals are numbered from 0 without gaps in ascending message-key order; a rebuild while ready does
// nothing.
TEST_F(HubTest, GlobalSignalNumbering) {
    cfg.CanDatabases = {
        Db("db", 0,
           {Msg("M300", 0x300, 0, {Sig("c", 0, 8), Sig("d", 8, 8)}), Msg("M100", 0x100, 0, {Sig("a", 0, 8)}),
            Msg("M200", 0x200, 0), Msg("X050", 0x50, 1, {Sig("e", 0, 4)})})};
    hub.Reset();
    const auto& sigs = hub.GlobalSigMap();
    const std::vector<std::tuple<std::string, uint32_t, std::string>> want = {
        {"M100", 0x100, "a"}, {"M300", 0x300, "c"}, {"M300", 0x300, "d"}, {"X050", 0x40000050, "e"}};
    ASSERT_EQ(sigs.size(), want.size());
    for (uint32_t n = 0; n < sigs.size(); ++n) {
        EXPECT_EQ(sigs[n].SigNo, n);
        EXPECT_EQ(std::tie(sigs[n].MsgName, sigs[n].MsgKey, sigs[n].CanSig.Name),
                  std::tie(std::get<0>(want[n]), std::get<1>(want[n]), std::get<2>(want[n])));
    }
    cfg.CanDatabases.clear();
    hub.BuildGlobalMaps();
    EXPECT_EQ(hub.GlobalSigMap().size(), 4u);
    EXPECT_EQ(hub.GlobalMsgMap().size(), 4u);
}

// Each graphed signal that decodes gives one sample; the message's counter advances once per frame and
// wraps at 256; a reset refreshes the graphed definitions from the databases.
TEST_F(HubTest, GraphSamples) {
    cfg.CanDatabases = {
        Db("db", 0, {Msg("M", 0x123, 1, {Sig("speed", 0, 16), Sig("temp", 16, 8, true, true)})})};
    tCFG_SET_GRAPH_MSG g;
    g.MsgAppId = MsgKey(0x123, 1);
    for (CCanSignal s :
         {Sig("speed", 8, 4), Sig("broken", 0, 0), Sig("temp", 0, 8, true, true), Sig("nodef", 24, 8)}) {
        tCFG_SET_GRAPH_SIG gs;
        gs.CanSig = s;
        g.SigArray.push_back(gs);
    }
    cfg.Graph.MsgMap[g.MsgAppId] = g;
    hub.Reset();
    // "speed" and "temp" now carry the database's definitions; the others keep theirs.
    const auto& arr = cfg.Graph.MsgMap.at(g.MsgAppId).SigArray;
    EXPECT_EQ(arr[0].CanSig.BitLen, 16);
    EXPECT_EQ(arr[2].CanSig.BitOffset, 16);
    EXPECT_EQ(arr[3].CanSig.BitOffset, 24);

    for (uint32_t i = 0; i < 257; ++i) {
        hub.Queue().Push(Frame(0x123, 1, 0, i, {0x34, 0x12, 0xFE, 9}));
        hub.Queue().Push(Frame(0x123, 0, 0, i, {1, 2, 3, 4}));  // standard: not graphed
    }
    hub.ProcessRxQueue();
    ASSERT_EQ(hub.SampleFifo().Count(), 257u * 3);
    tCAN_SIG_SAMPLE_DATA s;
    for (uint32_t i = 0; i < 257; ++i) {
        struct Want {
            const char* name;
            double value;
            const char* text;
        } wants[] = {{"speed", 0x1234, "4660"}, {"temp", -2, "-2"}, {"nodef", 9, "9"}};
        for (const Want& w : wants) {
            ASSERT_TRUE(hub.SampleFifo().Pop(s));
            EXPECT_EQ(s.MsgKey, 0x40000123);
            EXPECT_EQ(s.SigName, w.name);
            EXPECT_EQ(s.PhyValue, w.value);
            EXPECT_EQ(s.ValueText, w.text);
            EXPECT_EQ(s.TimeMs, i);
            ASSERT_EQ(s.UpdateCount, i % 256) << i;
        }
    }
    EXPECT_EQ(cfg.Graph.MsgMap.at(g.MsgAppId).UpdateCounter, 1);
}

}  // namespace
