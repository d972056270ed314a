// Value-table signals of real databases in the signal export, read back with the independent MDF 3 reader.
// A signal whose raw and physical values agree keeps its table as a value-to-text table keyed by the raw
// values the channel holds, so a reader shows for every record the text the trace shows for that frame. A
// scaled one is exported with its linear conversion, so a reader shows its physical values, and its texts
// are named in the channel comment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "candb/dbcfile.h"
#include "logging/canmsgbincrmfile.h"
#include "logging/sigmdfexport.h"
#include "platform/textcodec.h"
#include "tests/logging/logtest.h"
#include "tests/mdf/mdf3ref.h"

namespace {

// The text the trace shows for a signal of a frame, its physical value, and whether it is a value-table
// text.
struct Shown {
    std::string text;
    double phy = 0;
    bool named = false;
};
Shown traceText(const CCanSignal& s, const uint8_t (&data)[8]) {
    Shown out;
    int64_t raw = 0;
    if (s.Sign) {
        int32_t r = 0;
        EXPECT_TRUE(s.GetSignedRawValue(data, r) && s.SignedRawToPhyText(r, out.phy, out.text));
        raw = r;
    } else {
        uint32_t r = 0;
        EXPECT_TRUE(s.GetRawValue(data, r) && s.UnsignedRawToPhyText(r, out.phy, out.text));
        raw = r;
    }
    int32_t val = 0;
    if (s.RawToEnumValue(raw, val))
        out.named = std::any_of(s.SigEnum.Items.begin(), s.SigEnum.Items.end(),
                                [val](const tCAN_SIGNAL_ENUM_ITEM& e) { return e.val == val; });
    return out;
}

bool scaled(const CCanSignal& s) {
    return s.ValFactor != 1.0 || s.ValOffset != 0.0;
}

tDBC_IMPORT importDbc(const std::filesystem::path& path) {
    tDBC_IMPORT import;
    EXPECT_EQ(ParseDbcFile(import, path.string()), kDbcOk) << path;
    return import;
}

const CCanMsg* messageOf(const tCAN_DATABASE& db, const std::string& signal) {
    for (const CCanMsg& m : db.Messages)
        for (const CCanSignal& s : m.Signals)
            if (s.Name == signal) return &m;
    return nullptr;
}

uint32_t keyOf(const CCanMsg& m) {
    return m.id + (m.Ext ? 0x40000000u : 0u);
}

// The export list of the value-table signals of `msgs` that `pick` takes.
std::vector<tEXPORT_MSG> tableSignals(const std::vector<const CCanMsg*>& msgs,
                                      bool (*pick)(const CCanSignal&)) {
    std::vector<tEXPORT_MSG> list;
    for (const CCanMsg* m : msgs) {
        tEXPORT_MSG msg;
        msg.MsgKey = keyOf(*m);
        for (const CCanSignal& s : m->Signals)
            if (s.Enum && pick(s) && ExportSignalProblem(s).empty()) msg.Sigs.push_back({s, s.Name, 0});
        if (!msg.Sigs.empty()) list.push_back(std::move(msg));
    }
    return list;
}

tCAN_RAW_MSG frameOf(const CCanMsg& m, const uint8_t (&data)[8], double timeMs) {
    tCAN_RAW_MSG f{};
    f.Id = m.id;
    f.Ext = m.Ext;
    f.Dlc = 8;
    std::copy(std::begin(data), std::end(data), f.Data);
    f.TimeMs = timeMs;
    return f;
}

// Exports the frames as a log through the export job and reads the file back.
mdfref::File exportAndRead(const std::vector<tCAN_RAW_MSG>& frames, std::vector<tEXPORT_MSG> list) {
    vextest::TempDir out;
    vextest::writeFile(out / "in.crm", logtest::CrmBytes(frames));
    CCanMsgBinCrmFile log;
    uint32_t count = 0;
    double duration = 0;
    EXPECT_TRUE(log.OpenRead((out / "in.crm").string(), count, duration));
    CSigMdfExportJob job(log, count, std::move(list), (out / "vtab.mdf").string());
    job.Start();
    job.Join();
    EXPECT_TRUE(job.Succeeded()) << job.Error();
    return mdfref::read(vextest::readFile(out / "vtab.mdf"));
}

// The channel of a signal (names are unique within a message, and cut to 31 bytes in the file).
const mdfref::Channel& channelOf(const mdfref::ChannelGroup& group, const std::string& name) {
    const auto at = std::find_if(group.channels.begin(), group.channels.end(),
                                 [&](const mdfref::Channel& c) { return c.name == name.substr(0, 31); });
    if (at == group.channels.end()) throw std::runtime_error("no channel " + name);
    return *at;
}

// The channel group of an exported message: the one whose channels are the message's signals, and, when
// `records` is given, that holds that many records (the file orders its groups and channels as its block
// chains run, and two messages may have signals of the same names).
const mdfref::ChannelGroup& groupOf(const mdfref::File& file, const tEXPORT_MSG& msg,
                                    size_t records = SIZE_MAX) {
    std::vector<std::string> names;
    for (const tEXPORT_SIG& sig : msg.Sigs) names.push_back(sig.Name.substr(0, 31));
    names.push_back("timestamp");
    std::sort(names.begin(), names.end());
    const mdfref::ChannelGroup* found = nullptr;
    for (const mdfref::DataGroup& dg : file.dataGroups) {
        std::vector<std::string> have;
        for (const mdfref::Channel& c : dg.groups.at(0).channels) have.push_back(c.name);
        std::sort(have.begin(), have.end());
        if (have != names || (records != SIZE_MAX && dg.groups.at(0).records.size() != records)) continue;
        if (found != nullptr) throw std::runtime_error("two groups of the same signals");
        found = &dg.groups.at(0);
    }
    if (found == nullptr) throw std::runtime_error("no group of message " + std::to_string(msg.MsgKey));
    return *found;
}

// The physical value a reader shows for a linear channel's field in a record.
double physical(const mdfref::File& file, const mdfref::Channel& ch, const std::string& record) {
    return mdfref::number(file.bigEndian, ch, record) * ch.conv.params.at(1) + ch.conv.params.at(0);
}

}  // namespace

TEST(SigExportValueTables, UnscaledTablesShowTheTextTheTraceShows) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    const tDBC_IMPORT import = importDbc(dir / "ford_lincoln_base_pt.dbc");
    // Its signal that names raw 255 "Faulty" and 254 "NoDataExists" at factor 1, offset 0.
    const CCanMsg* msg = messageOf(import.Database, "SuspClkSync_No_Rq");
    ASSERT_NE(msg, nullptr);
    std::vector<tEXPORT_MSG> list = tableSignals({msg}, [](const CCanSignal& s) { return !scaled(s); });
    ASSERT_EQ(list.size(), 1u);
    std::vector<const CCanSignal*> tables;
    for (const tEXPORT_SIG& sig : list[0].Sigs) tables.push_back(&sig.Signal);

    // Frames with every entry's raw value in turn for each signal, then random bytes.
    std::vector<tCAN_RAW_MSG> frames;
    size_t entries = 0;
    for (const CCanSignal* s : tables) {
        for (const tCAN_SIGNAL_ENUM_ITEM& item : s->SigEnum.Items) {
            int64_t raw = 0;
            ASSERT_TRUE(s->EnumValueToRaw(item.val, raw));
            uint8_t data[8] = {};
            s->SetRawValue(data, static_cast<uint32_t>(raw));
            frames.push_back(frameOf(*msg, data, static_cast<double>(frames.size())));
            ++entries;
        }
    }
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        uint8_t data[8];
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        frames.push_back(frameOf(*msg, data, static_cast<double>(frames.size())));
    }

    const mdfref::File file = exportAndRead(frames, list);
    const mdfref::ChannelGroup& group = file.dataGroups.at(0).groups.at(0);
    ASSERT_EQ(group.records.size(), frames.size());
    ASSERT_EQ(group.channels.size(), tables.size() + 1);
    size_t named = 0, faulty = 0;
    for (const CCanSignal* s : tables) {
        SCOPED_TRACE(s->Name);
        const mdfref::Channel& ch = channelOf(group, s->Name);
        ASSERT_EQ(ch.conv.type, MDF_CONV_TEXT_TABLE);
        for (size_t r = 0; r < frames.size(); ++r) {
            const double raw = mdfref::number(file.bigEndian, ch, group.records[r]);
            const auto entry = std::find_if(ch.conv.texts.begin(), ch.conv.texts.end(),
                                            [raw](const auto& e) { return e.first == raw; });
            const Shown trace = traceText(*s, frames[r].Data);
            if (trace.named) {
                ++named;
                ASSERT_NE(entry, ch.conv.texts.end()) << "raw " << raw << ", the trace shows " << trace.text;
                EXPECT_EQ(entry->second, trace.text.substr(0, 31)) << "raw " << raw;
                faulty += s->Name == "SuspClkSync_No_Rq" && trace.text == "Faulty" && raw == 255.0;
            } else {
                EXPECT_EQ(entry, ch.conv.texts.end()) << "raw " << raw << ", the trace shows " << trace.text;
            }
        }
    }
    EXPECT_GE(named, entries);  // every entry of every table met
    EXPECT_GE(faulty, 1u);
}

// Gearbox oil at raw 140 with offset -60 is 80 degC: a reader shows 80, not 140, for every scaled
// value-table signal the physical value the trace shows as a number, and the comment names the texts.
TEST(SigExportValueTables, ScaledTablesGiveThePhysicalValues) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    const tDBC_IMPORT import = importDbc(dir / "ford_lincoln_base_pt.dbc");
    const CCanMsg* gearbox = messageOf(import.Database, "GboxOil_Te_Actl");
    const CCanMsg* suspension = messageOf(import.Database, "SuspRear_L_Actl");
    ASSERT_NE(gearbox, nullptr);
    ASSERT_NE(suspension, nullptr);
    std::vector<tEXPORT_MSG> list =
        tableSignals({gearbox, suspension}, [](const CCanSignal&) { return true; });
    ASSERT_EQ(list.size(), 2u);

    std::vector<tCAN_RAW_MSG> frames;
    const CCanSignal& oil = std::find_if(list[0].Sigs.begin(), list[0].Sigs.end(), [](const tEXPORT_SIG& s) {
                                return s.Name == "GboxOil_Te_Actl";
                            })->Signal;
    uint8_t warm[8] = {};
    ASSERT_TRUE(oil.SetRawValue(warm, 140));
    frames.push_back(frameOf(*gearbox, warm, 0));
    uint8_t faults[8];
    std::fill(std::begin(faults), std::end(faults), 0xFF);  // raw 511 "Fault" in every 9-bit height
    frames.push_back(frameOf(*suspension, faults, 1));
    std::mt19937 random(11);
    for (int i = 0; i < 200; ++i) {
        uint8_t data[8];
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        frames.push_back(frameOf(i % 2 ? *gearbox : *suspension, data, 2.0 + i));
    }

    const mdfref::File file = exportAndRead(frames, list);
    size_t checked = 0, linear = 0;
    for (size_t g = 0; g < list.size(); ++g) {
        const mdfref::ChannelGroup& group = groupOf(file, list[g]);
        std::vector<const tCAN_RAW_MSG*> own;
        for (const tCAN_RAW_MSG& f : frames)
            if (MsgKeyOf(f) == list[g].MsgKey) own.push_back(&f);
        ASSERT_EQ(group.records.size(), own.size());
        for (size_t c = 0; c < list[g].Sigs.size(); ++c) {
            const CCanSignal& s = list[g].Sigs[c].Signal;
            SCOPED_TRACE(s.Name);
            const mdfref::Channel& ch = channelOf(group, s.Name);
            if (!scaled(s)) {
                EXPECT_EQ(ch.conv.type, MDF_CONV_TEXT_TABLE);
                continue;
            }
            ++linear;
            ASSERT_EQ(ch.conv.type, MDF_CONV_LINEAR);
            EXPECT_EQ(ch.conv.params.at(0), s.ValOffset);
            EXPECT_EQ(ch.conv.params.at(1), s.ValFactor);
            EXPECT_EQ(ch.conv.unit, s.Unit);
            for (size_t r = 0; r < own.size(); ++r, ++checked)
                EXPECT_DOUBLE_EQ(physical(file, ch, group.records[r]), traceText(s, own[r]->Data).phy);
        }
    }
    EXPECT_GE(linear, 7u);
    EXPECT_GE(checked, 700u);

    const mdfref::ChannelGroup& oilGroup = groupOf(file, list[0]);
    const mdfref::Channel& oilChannel = channelOf(oilGroup, "GboxOil_Te_Actl");
    EXPECT_EQ(physical(file, oilChannel, oilGroup.records.at(0)), 80.0);
    EXPECT_EQ(oilChannel.conv.unit, "degC");
    EXPECT_NE(oilChannel.comment.find("195=Faulty"), std::string::npos) << oilChannel.comment;
    EXPECT_NE(oilChannel.comment.find("194=NoDataExists"), std::string::npos) << oilChannel.comment;
    const mdfref::ChannelGroup& suspGroup = groupOf(file, list[1]);
    const mdfref::Channel& rear = channelOf(suspGroup, "SuspRear_L_Actl");
    EXPECT_EQ(rear.comment, "200=Fault");
    EXPECT_NEAR(physical(file, rear, suspGroup.records.at(0)), 511 * 0.782779 - 200, 1e-9);
}

// A long table's comment stays within what the file keeps of a text block: whole entries, then "...".
TEST(SigExportValueTables, CommentsKeepWholeEntriesWithinTheTextBlock) {
    CCanMsg m;
    m.id = 0x123;
    m.Signals.resize(1);
    CCanSignal& s = m.Signals[0];
    s.Name = "Gear";
    s.BitLen = 16;
    s.ByteFmtIntel = 1;
    s.ValFactor = 0.5;
    s.Enum = 1;
    for (int v = 0; v < 300; ++v) s.SigEnum.Items.push_back({"档位" + std::to_string(v), v});
    uint8_t data[8] = {};
    const mdfref::File file = exportAndRead({frameOf(m, data, 0)}, tableSignals({&m}, scaled));
    const std::string comment = vex::GbkToUtf8(channelOf(file.dataGroups.at(0).groups.at(0), "Gear").comment);
    EXPECT_LE(vex::Utf8ToGbk(comment).size(), kMdfMaxBlockText);
    // Entries from the first on, each whole, then the mark of those left out (the writer cut nothing).
    ASSERT_TRUE(comment.ends_with("; ...")) << comment << " (" << comment.size() << " bytes)";
    const std::string kept = comment.substr(0, comment.size() - 5);
    std::string whole;
    int entries = 0;
    for (; whole.size() < kept.size(); ++entries)
        whole += (entries ? "; " : "") + std::to_string(entries) + "=档位" + std::to_string(entries);
    EXPECT_EQ(kept, whole);
    EXPECT_GT(entries, 20);
}

// Over the largest real database, every scaled value-table signal exports with its linear conversion and
// every unscaled one with its text table.
TEST(SigExportValueTables, EveryScaledTableOfTheLargestDatabaseIsLinear) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    const tDBC_IMPORT import = importDbc(dir / "ford_lincoln_base_pt.dbc");
    std::vector<const CCanMsg*> msgs;
    for (const CCanMsg& m : import.Database.Messages) msgs.push_back(&m);
    std::vector<tEXPORT_MSG> list = tableSignals(msgs, [](const CCanSignal&) { return true; });
    // Message g has g + 1 frames, which tells its group from another one of the same signal names.
    std::vector<tCAN_RAW_MSG> frames;
    const uint8_t zeros[8] = {};
    for (size_t g = 0; g < list.size(); ++g)
        for (const CCanMsg* m : msgs)
            if (keyOf(*m) == list[g].MsgKey)
                for (size_t n = 0; n <= g; ++n)
                    frames.push_back(frameOf(*m, zeros, static_cast<double>(frames.size())));

    const mdfref::File file = exportAndRead(frames, list);
    ASSERT_EQ(file.dataGroups.size(), list.size());
    size_t linear = 0, texts = 0;
    for (size_t g = 0; g < list.size(); ++g) {
        const mdfref::ChannelGroup& group = groupOf(file, list[g], g + 1);
        for (size_t c = 0; c < list[g].Sigs.size(); ++c) {
            const CCanSignal& s = list[g].Sigs[c].Signal;
            SCOPED_TRACE(s.Name);
            const mdfref::Channel& ch = channelOf(group, s.Name);
            if (scaled(s)) {
                ++linear;
                EXPECT_EQ(ch.conv.type, MDF_CONV_LINEAR);
                EXPECT_EQ(ch.conv.params.at(0), s.ValOffset);
                EXPECT_EQ(ch.conv.params.at(1), s.ValFactor);
            } else {
                ++texts;
                EXPECT_EQ(ch.conv.type, MDF_CONV_TEXT_TABLE);
            }
        }
    }
    EXPECT_GE(linear, 50u);
    EXPECT_GE(texts, 1000u);
    std::printf("value-table signals: %zu scaled (linear), %zu unscaled (text table)\n", linear, texts);
}
