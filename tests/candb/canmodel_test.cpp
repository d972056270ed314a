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

// Every holder owns its records: changing a copy never reaches the source, and a copy onto a record that
// held more leaves exactly the source's elements in the source's order.
TEST(CanModel, CopiesAreDeepAndExact) {
    tCAN_DATABASE src;
    src.Author = "作者";
    src.Messages = {message("A", 0x100, 2), message("B", 0x18FF0001, 1)};
    src.FreeSigMsg = message("", 0, 1);
    src.Enums = {{"gear", {{"N", 0}, {"D", 1}}}};

    tCAN_DATABASE copy;
    copy.Messages = {message("X", 1, 5), message("Y", 2, 5), message("Z", 3, 5)};
    copy.Enums = {{"a", {{"1", 1}}}, {"b", {}}, {"c", {}}};
    copy.FreeSigMsg = message("", 0, 4);
    copy = src;
    EXPECT_EQ(copy, src);

    copy.Messages[0].Signals[1].SigEnum.Items[0].txt = "changed";
    copy.Messages[0].Signals[0].BitLen = 3;
    copy.FreeSigMsg.Signals[0].Name = "changed";
    copy.Enums[0].Items.push_back({"R", -1});
    EXPECT_EQ(src.Messages[0].Signals[1].SigEnum.Items[0].txt, "off");
    EXPECT_EQ(src.Messages[0].Signals[0].BitLen, 8);
    EXPECT_EQ(src.FreeSigMsg.Signals[0].Name, "_s0");
    EXPECT_EQ(src.Enums[0].Items.size(), 2u);
}
