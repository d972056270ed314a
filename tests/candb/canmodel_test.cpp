#include <gtest/gtest.h>

#include "candb/canmodel.h"

namespace {

CCanSignal signal(const std::string& name, uint8_t len) {
    CCanSignal s;
    s.Name = name;
    s.BitLen = len;
    s.SigEnum.Name = name + "_vt";
    s.SigEnum.Items = {{"off", 0}, {"on", 1}};
    return s;
}

CCanMsg message(const std::string& name, uint32_t id, int signals) {
    CCanMsg m;
    m.Name = name;
    m.id = id;
    m.DL = 8;
    for (int i = 0; i < signals; ++i) m.Signals.push_back(signal(name + "_s" + std::to_string(i), 8));
    return m;
}

}  // namespace

TEST(CanModel, FreshSignalIsUnusableMotorolaUnsignedWithUnitFactor) {
    const CCanSignal s;
    EXPECT_EQ(s.ValFactor, 1.0);
    EXPECT_EQ(s.ValOffset, 0.0);
    EXPECT_EQ(s.PhyMin, 0.0);
    EXPECT_EQ(s.PhyMax, 0.0);
    EXPECT_EQ(s.ErrValue, 0.0);
    EXPECT_EQ(s.ByteFmtIntel, 0);
    EXPECT_EQ(s.Sign, 0);
    EXPECT_EQ(s.Enum, 0);
    EXPECT_EQ(s.BitLen, 0);
    uint8_t data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    uint32_t raw = 77;
    EXPECT_FALSE(s.GetRawValue(data, raw));  // refused until a length is set
    EXPECT_EQ(raw, 77u);

    const tCAN_DATABASE db;
    EXPECT_TRUE(db.Messages.empty());
    EXPECT_TRUE(db.Enums.empty());
    EXPECT_TRUE(db.FreeSigMsg.Signals.empty());
    EXPECT_EQ(db.FreeSigMsg.id, 0u);
}

TEST(CanModel, CopiesAreDeepAndIndependent) {
    tCAN_DATABASE src;
    src.Author = "作者";
    src.Messages = {message("A", 0x100, 2), message("B", 0x18FF0001, 1)};
    src.FreeSigMsg = message("", 0, 1);
    src.Enums = {{"gear", {{"N", 0}, {"D", 1}}}};

    tCAN_DATABASE copy = src;
    copy.Messages[0].Signals[1].SigEnum.Items[0].txt = "changed";
    copy.Messages[0].Signals[0].BitLen = 3;
    copy.FreeSigMsg.Signals[0].Name = "changed";
    copy.Enums[0].Items.push_back({"R", -1});

    EXPECT_EQ(src.Messages[0].Signals[1].SigEnum.Items[0].txt, "off");
    EXPECT_EQ(src.Messages[0].Signals[0].BitLen, 8);
    EXPECT_EQ(src.FreeSigMsg.Signals[0].Name, "_s0");
    EXPECT_EQ(src.Enums[0].Items.size(), 2u);
    EXPECT_NE(copy, src);
}

TEST(CanModel, CopyOntoLargerRecordLeavesExactlyTheSource) {
    tCAN_DATABASE big;
    big.Messages = {message("X", 1, 5), message("Y", 2, 5), message("Z", 3, 5)};
    big.Enums = {{"a", {{"1", 1}}}, {"b", {}}, {"c", {}}};
    big.FreeSigMsg = message("", 0, 4);

    tCAN_DATABASE small;
    small.Messages = {message("B", 9, 1), message("A", 8, 0)};
    small.Enums = {{"only", {{"x", 2}}}};

    big = small;
    EXPECT_EQ(big, small);
    ASSERT_EQ(big.Messages.size(), 2u);
    EXPECT_EQ(big.Messages[0].Name, "B");
    EXPECT_EQ(big.Messages[1].Name, "A");
    EXPECT_TRUE(big.FreeSigMsg.Signals.empty());

    CCanMsg m = message("M", 5, 6);
    m = message("N", 6, 1);
    ASSERT_EQ(m.Signals.size(), 1u);
    EXPECT_EQ(m.Signals[0].Name, "N_s0");

    tCAN_SIGNAL_ENUM e{"t", {{"a", 1}, {"b", 2}, {"c", 3}}};
    e = tCAN_SIGNAL_ENUM{"u", {{"z", 9}}};
    EXPECT_EQ(e, (tCAN_SIGNAL_ENUM{"u", {{"z", 9}}}));
}
