// Cell texts of the trace list and tree.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/app/hubtest.h"
#include "windows/tracetext.h"

namespace {

tCAN_MSG_TRACE_DATA Row(uint32_t id, uint8_t ext, uint8_t remote, uint8_t dir, uint8_t dlc,
                        const char* name = nullptr) {
    tCAN_MSG_TRACE_DATA r;
    r.MsgId = id;
    r.Ext = ext;
    r.Remote = remote;
    r.Dir = dir;
    r.Chan = 1;
    r.Dlc = dlc;
    r.TimeMs = 1234.5678;
    r.DeltaMs = 25.5;
    const uint8_t data[8] = {0x1F, 0xA0, 0x02, 0x03, 0x04, 0x05, 0x06, 0xFF};
    std::copy(data, data + 8, r.Data);
    r.SeqNo = 42;
    if (name != nullptr) {
        auto msg = std::make_shared<CCanMsg>();
        msg->Name = name;
        r.CanMsg = msg;
        r.Known = 1;
    }
    return r;
}

tCFG_SET_TRACE Settings(uint8_t hex, uint8_t delta, uint8_t online = 1) {
    tCFG_SET_TRACE s;
    s.NumHex = hex;
    s.DeltaTime = delta;
    s.OnLine = online;
    return s;
}

std::string Text(const QString& s) {
    return s.toStdString();
}

struct CellCase {
    const char* what;
    tCAN_MSG_TRACE_DATA row;
    tCFG_SET_TRACE settings;
    int column;
    const char* text;
};

TEST(TraceText, ListColumns) {
    const auto std8 = Row(0x123, 0, 0, 0, 8, "发动机转速");
    const auto ext2 = Row(0x18FEF100, 1, 0, 1, 2);
    const auto rmt = Row(0x7FF, 0, 1, 0, 0);
    const CellCase cases[] = {
        {"seq and name", std8, Settings(1, 1), trace::kName, "42  发动机转速"},
        {"seq, unknown name", ext2, Settings(1, 1), trace::kName, "42  "},
        {"OnLine 0: empty", std8, Settings(1, 1, 0), trace::kName, ""},
        {"hex id", std8, Settings(1, 1), trace::kId, "0x00000123"},
        {"decimal id", std8, Settings(0, 1), trace::kId, "291"},
        {"hex extended id", ext2, Settings(1, 1), trace::kId, "0x18FEF100"},
        {"decimal extended id", ext2, Settings(0, 1), trace::kId, "419361024"},
        {"standard", std8, Settings(1, 1), trace::kIdType, "Standard"},
        {"extended", ext2, Settings(1, 1), trace::kIdType, "Extended"},
        {"data frame", std8, Settings(1, 1), trace::kFrameType, "Data"},
        {"remote frame", rmt, Settings(1, 1), trace::kFrameType, "Remote"},
        {"delta time", std8, Settings(1, 1), trace::kTime, "25.500"},
        {"time stamp", std8, Settings(1, 0), trace::kTime, "1234.568"},
        {"received", std8, Settings(1, 1), trace::kDir, "Rx"},
        {"transmitted", ext2, Settings(1, 1), trace::kDir, "Tx"},
        {"channel", std8, Settings(1, 1), trace::kChan, "1"},
        {"length", ext2, Settings(1, 1), trace::kLen, "2"},
        {"hex byte", std8, Settings(1, 1), trace::kData0, "1F"},
        {"decimal byte", std8, Settings(0, 1), trace::kData0, "31"},
        {"last byte", std8, Settings(0, 1), trace::kData0 + 7, "255"},
        {"byte within length", ext2, Settings(1, 1), trace::kData0 + 1, "A0"},
        {"byte at length", ext2, Settings(1, 1), trace::kData0 + 2, "--"},
        {"byte beyond length", ext2, Settings(1, 1), trace::kData0 + 7, "--"},
        {"remote, no bytes", rmt, Settings(1, 1), trace::kData0, "--"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(Text(trace::ListText(c.row, c.column, c.settings)), c.text) << c.what;
    }
}

TEST(TraceText, TreeColumns) {
    const auto std8 = Row(0x123, 0, 0, 0, 8, "发动机转速");
    const auto ext2 = Row(0x18FEF100, 1, 1, 1, 2);
    auto whole = Row(0x5, 0, 0, 0, 8);
    whole.DeltaMs = 1000.0;
    whole.TimeMs = 0.0;
    const CellCase cases[] = {
        {"name without seq", std8, Settings(1, 1), trace::kName, "发动机转速"},
        {"unknown name", ext2, Settings(1, 1), trace::kName, ""},
        {"standard id, three digits", std8, Settings(1, 1), trace::kId, "0x123"},
        {"small standard id", whole, Settings(1, 1), trace::kId, "0x005"},
        {"extended id, eight digits", ext2, Settings(1, 1), trace::kId, "0x18FEF100"},
        {"decimal id", ext2, Settings(0, 1), trace::kId, "419361024"},
        {"std", std8, Settings(1, 1), trace::kIdType, "std"},
        {"ext", ext2, Settings(1, 1), trace::kIdType, "ext"},
        {"dat", std8, Settings(1, 1), trace::kFrameType, "dat"},
        {"rmt", ext2, Settings(1, 1), trace::kFrameType, "rmt"},
        {"delta, trailing zeros cut", std8, Settings(1, 1), trace::kTime, "25.5"},
        {"stamp, six decimals", std8, Settings(1, 0), trace::kTime, "1234.5678"},
        {"whole delta, point cut", whole, Settings(1, 1), trace::kTime, "1000"},
        {"zero stamp", whole, Settings(1, 0), trace::kTime, "0"},
        {"rx", std8, Settings(1, 1), trace::kDir, "rx"},
        {"tx", ext2, Settings(1, 1), trace::kDir, "tx"},
        {"channel", std8, Settings(1, 1), trace::kChan, "1"},
        {"length", ext2, Settings(1, 1), trace::kLen, "2"},
        {"hex byte", std8, Settings(1, 1), trace::kData0, "1F"},
        {"decimal byte", std8, Settings(0, 1), trace::kData0, "31"},
        {"beyond length", ext2, Settings(1, 1), trace::kData0 + 2, "--"},
    };
    for (const CellCase& c : cases) {
        EXPECT_EQ(Text(trace::TreeText(c.row, c.column, c.settings)), c.text) << c.what;
    }
}

CCanSignal Signal(const char* name, uint8_t offset, uint8_t len, bool intel, bool sign = false,
                  double factor = 1.0, double offsetValue = 0.0) {
    CCanSignal s = hubtest::Sig(name, offset, len, intel, sign, factor, offsetValue);
    s.Unit = "rpm";
    return s;
}

TEST(TraceText, SignalRowsDecodeTheFrame) {
    const uint8_t data[8] = {0x34, 0x12, 0xFE, 0x80, 0x00, 0x00, 0x02, 0x00};
    CCanSignal gear = Signal("档位", 48, 4, 1);
    gear.Enum = 1;
    gear.SigEnum.Items = {{"一档", 1}, {"二档", 2}};
    CCanSignal unmatched = gear;
    unmatched.BitOffset = 0;  // raw 4: no entry
    CCanSignal scaled = unmatched;
    scaled.ValFactor = 0.25;  // 1.0: entry 1
    CCanSignal offset = unmatched;
    offset.ValOffset = 0.5;  // 4.5: no entry
    CCanSignal badLength = Signal("bad", 0, 0, 1);
    struct Case {
        const char* what;
        CCanSignal signal;
        bool hex;
        const char *raw, *phy;
    } cases[] = {
        {"Intel, scaled", Signal("speed", 0, 16, 1, 0, 0.125), true, "1234", "582.5"},
        {"Intel, decimal raw", Signal("speed", 0, 16, 1, 0, 0.125), false, "4660", "582.5"},
        // Motorola: start bit 7 is the most significant bit, the value runs on into byte 1.
        {"Motorola", Signal("m", 7, 16, 0), true, "3412", "13330"},
        {"signed negative", Signal("t", 16, 8, 1, 1, 1.0, -40.0), false, "-2", "-42"},
        {"signed, hex raw", Signal("t", 16, 8, 1, 1), true, "FFFFFFFE", "-2"},
        {"value-table text", gear, false, "2", "二档"},
        {"no table entry: the number", unmatched, false, "4", "4"},
        {"scaled table entry", scaled, false, "4", "一档"},
        {"offset, no table entry", offset, false, "4", "4.5"},
        {"bad bit length", badLength, true, "--", "--"},
        {"beyond the bytes", Signal("x", 60, 8, 1), true, "--", "--"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(trace::SignalText(c.signal, data, 0, c.hex)), c.signal.Name) << c.what;
        EXPECT_EQ(Text(trace::SignalText(c.signal, data, 1, c.hex)), c.raw) << c.what;
        EXPECT_EQ(Text(trace::SignalText(c.signal, data, 2, c.hex)), c.phy) << c.what;
        EXPECT_EQ(Text(trace::SignalText(c.signal, data, 3, c.hex)), "rpm") << c.what;
        EXPECT_EQ(Text(trace::SignalText(c.signal, data, 4, c.hex)), "") << c.what;
    }
}

}  // namespace

// A text longer than a cell buffer holds inline comes out whole, and the buffer serves a short text
// after it.
TEST(TraceText, LongTextsComeOutWhole) {
    const std::string name(300, 'N');
    const auto row = Row(0x123, 0, 0, 0, 8, name.c_str());
    EXPECT_EQ(Text(trace::ListText(row, trace::kName, Settings(1, 1))), "42  " + name);
    trace::CellText text;
    trace::FormTreeCell(row, trace::kName, Settings(1, 1), text);
    EXPECT_EQ(text.View(), name);
    trace::FormTreeCell(row, trace::kId, Settings(1, 1), text);
    EXPECT_EQ(text.View(), "0x123");
    // The longest fixed-point time.
    auto huge = row;
    huge.TimeMs = 1e300;
    const std::string stamp = Text(trace::ListText(huge, trace::kTime, Settings(1, 0)));
    EXPECT_EQ(stamp.size(), 305u);
    EXPECT_EQ(stamp.substr(0, 2), "10");
    EXPECT_EQ(stamp.substr(stamp.size() - 4), ".000");
}
