// Value-table signals of a real database in the signal export: each channel's value-to-text table is keyed
// by the raw values the channel holds, so that a reader of the file (here the independent MDF 3 reader)
// shows for every record the text the trace shows for that frame, and no text where the trace shows a
// number.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "candb/dbcfile.h"
#include "logging/canmsgbincrmfile.h"
#include "logging/sigmdfexport.h"
#include "tests/logging/logtest.h"
#include "tests/mdf/mdf3ref.h"

namespace {

// The text the trace shows for a signal of a frame, and whether it is a value-table text.
struct Shown {
    std::string text;
    bool named = false;
};
Shown traceText(const CCanSignal& s, const uint8_t (&data)[8]) {
    Shown out;
    double phy = 0;
    int64_t raw = 0;
    if (s.Sign) {
        int32_t r = 0;
        EXPECT_TRUE(s.GetSignedRawValue(data, r) && s.SignedRawToPhyText(r, phy, out.text));
        raw = r;
    } else {
        uint32_t r = 0;
        EXPECT_TRUE(s.GetRawValue(data, r) && s.UnsignedRawToPhyText(r, phy, out.text));
        raw = r;
    }
    int32_t val = 0;
    if (s.RawToEnumValue(raw, val))
        out.named = std::any_of(s.SigEnum.Items.begin(), s.SigEnum.Items.end(),
                                [val](const tCAN_SIGNAL_ENUM_ITEM& e) { return e.val == val; });
    return out;
}

}  // namespace

TEST(SigExportValueTables, ReaderShowsTheTextTheTraceShows) {
    VEX_REQUIRE_TESTDATA(dir, "dbc");
    tDBC_IMPORT import;
    ASSERT_EQ(ParseDbcFile(import, (dir / "ford_lincoln_base_pt.dbc").string()), kDbcOk);
    // The message of a scaled signal whose file names raw 511 "Fault" (0.782779 mm per bit from -200 mm).
    const CCanMsg* msg = nullptr;
    for (const CCanMsg& m : import.Database.Messages)
        for (const CCanSignal& s : m.Signals)
            if (s.Name == "SuspRear_L_Actl") msg = &m;
    ASSERT_NE(msg, nullptr);
    std::vector<tEXPORT_SIG_SEL> selection(kExportSigSelCount);
    const uint32_t key = msg->id + (msg->Ext ? 0x40000000u : 0u);
    std::vector<const CCanSignal*> tables;
    for (const CCanSignal& s : msg->Signals)
        if (s.Enum) {
            selection[tables.size()] = {key, s.Name, 1};
            tables.push_back(&s);
        }
    ASSERT_GE(tables.size(), 2u);

    // Frames with every entry's raw value in turn for each signal, then random bytes.
    std::vector<tCAN_RAW_MSG> frames;
    size_t entries = 0;
    auto add = [&](const uint8_t(&data)[8]) {
        tCAN_RAW_MSG f{};
        f.Id = msg->id;
        f.Ext = msg->Ext;
        f.Dlc = 8;
        std::copy(std::begin(data), std::end(data), f.Data);
        f.TimeMs = static_cast<double>(frames.size());
        frames.push_back(f);
    };
    for (const CCanSignal* s : tables) {
        for (const tCAN_SIGNAL_ENUM_ITEM& item : s->SigEnum.Items) {
            int64_t raw = 0;
            ASSERT_TRUE(s->EnumValueToRaw(item.val, raw));
            uint8_t data[8] = {};
            s->SetRawValue(data, static_cast<uint32_t>(raw));
            add(data);
            ++entries;
        }
    }
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        uint8_t data[8];
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        add(data);
    }

    vextest::TempDir out;
    vextest::writeFile(out / "in.crm", logtest::CrmBytes(frames));
    CCanMsgBinCrmFile log;
    uint32_t count = 0;
    double duration = 0;
    ASSERT_TRUE(log.OpenRead((out / "in.crm").string(), count, duration));
    std::vector<tEXPORT_MSG> list;
    std::string error;
    ASSERT_TRUE(BuildExportList(
        selection, [&](uint32_t k) { return k == key ? msg : nullptr; }, list, error))
        << error;
    CSigMdfExportJob job(log, count, std::move(list), (out / "vtab.mdf").string());
    job.Start();
    job.Join();
    ASSERT_TRUE(job.Succeeded()) << job.Error();

    const mdfref::File file = mdfref::read(vextest::readFile(out / "vtab.mdf"));
    const mdfref::ChannelGroup& group = file.dataGroups.at(0).groups.at(0);
    ASSERT_EQ(group.records.size(), frames.size());
    size_t named = 0, fault = 0;
    for (const CCanSignal* s : tables) {
        SCOPED_TRACE(s->Name);
        const auto ch =
            std::find_if(group.channels.begin(), group.channels.end(),
                         [&](const mdfref::Channel& c) { return c.name == s->Name.substr(0, 31); });
        ASSERT_NE(ch, group.channels.end());
        ASSERT_EQ(ch->conv.type, MDF_CONV_TEXT_TABLE);
        for (size_t r = 0; r < frames.size(); ++r) {
            const double raw = mdfref::number(file.bigEndian, *ch, group.records[r]);
            const auto entry = std::find_if(ch->conv.texts.begin(), ch->conv.texts.end(),
                                            [raw](const auto& e) { return e.first == raw; });
            const Shown trace = traceText(*s, frames[r].Data);
            if (trace.named) {
                ++named;
                ASSERT_NE(entry, ch->conv.texts.end()) << "raw " << raw << ", the trace shows " << trace.text;
                EXPECT_EQ(entry->second, trace.text.substr(0, 31)) << "raw " << raw;
                fault += s->Name == "SuspRear_L_Actl" && trace.text == "Fault" && raw == 511.0;
            } else {
                EXPECT_EQ(entry, ch->conv.texts.end()) << "raw " << raw << ", the trace shows " << trace.text;
            }
        }
    }
    EXPECT_GE(named, entries);  // every entry of every table met
    EXPECT_EQ(fault, 1u);
}
