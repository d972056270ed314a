// Byte layout of created files: every block at its offset with its fields, chains in reverse order,
// both byte orders, and a stored small file that must be reproduced byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "mdf/mdfimage.h"
#include "tests/mdf/mdf3ref.h"
#include "tests/mdf/mdftest.h"

using namespace mdftest;
namespace fs = std::filesystem;

namespace {

struct Bytes {
    std::string b;
    bool big = false;
    uint32_t u(size_t at, int n) const {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= uint32_t{static_cast<uint8_t>(b.at(at + i))} << (8 * (big ? n - 1 - i : i));
        return v;
    }
    uint16_t u16(size_t at) const { return static_cast<uint16_t>(u(at, 2)); }
    uint32_t u32(size_t at) const { return u(at, 4); }
    double real(size_t at) const {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b.at(at + i));
        double d;
        std::memcpy(&d, &v, 8);
        return d;
    }
    std::string id(size_t at) const { return b.substr(at, 2); }
    std::string str(size_t at, size_t n) const { return b.substr(at, n); }
};

// Channels a (8-bit, linear conversion), b (single, CAN extension), c (1 bit, comment); two records.
tMDF_FILE smallFile(bool big) {
    tMDF_CN_INFO a = channel("a", MDF_UINT, 8);
    a.convPresent = 1;
    a.convType = MDF_CONV_LINEAR;
    a.params[0] = 1;
    a.params[1] = 2;
    a.unit = "V";
    tMDF_CN_INFO b = channel("b", MDF_FLOAT, 32);
    b.description = "single";
    b.extPresent = 1;
    b.extType = 19;
    b.canId = 0x123;
    b.canChannel = 1;
    b.messageName = "MSG";
    b.senderName = "ECU";
    tMDF_CN_INFO c = channel("c", MDF_UINT, 1);
    c.comment = "cmt";
    c.channelType = 0;
    tMDF_FILE f = singleGroup({a, b, c}, big);
    f.dataGroups[0].channelGroups[0].comment = "group";
    return f;
}

std::string writeSmall(const fs::path& p, bool big) {
    CLorimar lib;
    tMDF_FILE desc = smallFile(big);
    EXPECT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    for (uint8_t r = 0; r < 2; ++r) {
        lib.InputSamplingData(0, r, uint32_t{10u + r});
        lib.InputSamplingData(1, r, 1.5f + r);
        lib.InputSamplingData(2, r, uint32_t{r});
    }
    EXPECT_EQ(save(lib, p), MDF_OK);
    return vextest::readFile(p);
}

}  // namespace

// The small file equals the stored image byte for byte; the fields are spelled out block by block so that a
// change of the image is checked against the format, not only against itself.
TEST(LorimarLayout, SmallFileBlockByBlock) {
    vextest::TempDir dir;
    for (const bool big : {false, true}) {
        const Bytes f{writeSmall(dir / "small.mdf", big), big};
        EXPECT_EQ(f.b, vextest::readFile(vextest::fixture(big ? "mdf/small_be.mdf" : "mdf/small_le.mdf")));
        ASSERT_EQ(f.b.size(), 1170u);
        // Identification block.
        EXPECT_EQ(f.str(0, 8), "MDF     ");
        EXPECT_EQ(f.str(8, 8), std::string("3.00\0\0\0\0", 8));
        EXPECT_EQ(f.str(16, 8), "Vexarium");
        EXPECT_EQ(f.b[24], 0);
        EXPECT_EQ(f.b[25], big ? 1 : 0);
        EXPECT_EQ(f.u16(26), 0);
        EXPECT_EQ(f.u16(28), 300);
        EXPECT_EQ(f.str(30, 34), std::string(34, '\0'));
        // Header at 64.
        EXPECT_EQ(f.id(64), "HD");
        EXPECT_EQ(f.u16(66), 164);
        EXPECT_EQ(f.u32(68), 240u);   // first data group
        EXPECT_EQ(f.u32(72), 1144u);  // file comment
        EXPECT_EQ(f.u32(76), 1158u);  // program block
        EXPECT_EQ(f.u16(80), 1);
        EXPECT_EQ(f.str(82, 10), "05:06:2024");
        EXPECT_EQ(f.str(92, 8), "07:08:09");
        EXPECT_EQ(f.str(100, 32), std::string("author") + std::string(26, '\0'));
        EXPECT_EQ(f.str(196, 32), std::string("subject") + std::string(25, '\0'));
        // Data block right after the header: a, b (single from bit 8), c at bit 40.
        Bytes rec{f.str(228, 12), big};
        EXPECT_EQ(rec.u(0, 1), 10u);
        EXPECT_EQ(rec.u(6, 1), 11u);
        EXPECT_EQ(static_cast<uint8_t>(f.b[228 + 5]), 0u);
        EXPECT_EQ(static_cast<uint8_t>(f.b[234 + 5]), 1u);
        float single;
        const uint32_t bits = rec.u32(1);
        std::memcpy(&single, &bits, 4);
        EXPECT_EQ(single, 1.5f);
        // Data group, channel group.
        EXPECT_EQ(f.id(240), "DG");
        EXPECT_EQ(f.u16(242), 28);  // the reserved word at 24 included
        EXPECT_EQ(f.u32(244), 0u);
        EXPECT_EQ(f.u32(248), 268u);
        EXPECT_EQ(f.u32(252), 0u);
        EXPECT_EQ(f.u32(256), 228u);
        EXPECT_EQ(f.u16(260), 1);
        EXPECT_EQ(f.u16(262), 0);
        EXPECT_EQ(f.u32(264), 0u);
        EXPECT_EQ(f.id(268), "CG");
        EXPECT_EQ(f.u16(270), 26);
        EXPECT_EQ(f.u32(272), 0u);
        EXPECT_EQ(f.u32(276), 898u);  // first channel link: the last channel, c
        EXPECT_EQ(f.u32(280), 1134u);
        EXPECT_EQ(f.u16(284), 0);
        EXPECT_EQ(f.u16(286), 3);
        EXPECT_EQ(f.u16(288), 6);
        EXPECT_EQ(f.u32(290), 2u);
        // Channel a with its 62-byte linear conversion; chain a <- b <- c.
        EXPECT_EQ(f.id(294), "CN");
        EXPECT_EQ(f.u16(296), 228);
        EXPECT_EQ(f.u32(298), 0u);
        EXPECT_EQ(f.u32(302), 522u);
        EXPECT_EQ(f.u32(306), 0u);
        EXPECT_EQ(f.str(320, 2), std::string("a\0", 2));
        EXPECT_EQ(f.u16(294 + 186), 0);
        EXPECT_EQ(f.u16(294 + 188), 8);
        EXPECT_EQ(f.u16(294 + 190), 0);
        EXPECT_EQ(f.u16(294 + 192), 1);  // range of the values received
        EXPECT_EQ(f.real(294 + 194), 10.0);
        EXPECT_EQ(f.real(294 + 202), 11.0);
        EXPECT_EQ(f.u16(294 + 226), 0);
        EXPECT_EQ(f.id(522), "CC");
        EXPECT_EQ(f.u16(524), 62);
        EXPECT_EQ(f.str(544, 2), std::string("V\0", 2));
        EXPECT_EQ(f.u16(564), 0);
        EXPECT_EQ(f.u16(566), 2);
        EXPECT_EQ(f.real(568), 1.0);
        EXPECT_EQ(f.real(576), 2.0);
        EXPECT_EQ(f.id(584), "CN");
        EXPECT_EQ(f.u32(588), 294u);
        EXPECT_EQ(f.u32(596), 812u);
        EXPECT_EQ(f.u16(584 + 186), 8);
        EXPECT_EQ(f.str(584 + 58, 7), std::string("single\0", 7));
        EXPECT_EQ(f.id(812), "CE");
        EXPECT_EQ(f.u16(814), 86);
        EXPECT_EQ(f.u16(816), 19);
        EXPECT_EQ(f.u32(818), 0x123u);
        EXPECT_EQ(f.u32(822), 1u);
        EXPECT_EQ(f.str(826, 4), std::string("MSG\0", 4));
        EXPECT_EQ(f.str(862, 4), std::string("ECU\0", 4));
        EXPECT_EQ(f.id(898), "CN");
        EXPECT_EQ(f.u32(902), 584u);
        EXPECT_EQ(f.u32(918), 1126u);
        EXPECT_EQ(f.u16(898 + 186), 40);
        EXPECT_EQ(f.u16(898 + 188), 1);
        // Text blocks: size = length + 5, text and NUL.
        const struct {
            size_t at;
            std::string text;
        } texts[] = {{1126, "cmt"}, {1134, "group"}, {1144, "test file"}};
        for (const auto& t : texts) {
            EXPECT_EQ(f.id(t.at), "TX");
            EXPECT_EQ(f.u16(t.at + 2), t.text.size() + 5);
            EXPECT_EQ(f.str(t.at + 4, t.text.size() + 1), t.text + '\0');
        }
        EXPECT_EQ(f.id(1158), "PR");
        EXPECT_EQ(f.u16(1160), 12);
        EXPECT_EQ(f.str(1162, 8), "Vexarium");
    }
}

TEST(LorimarLayout, BlockSizesOfConversionsExtensionsAndTexts) {
    vextest::TempDir dir;
    tMDF_CN_INFO tab = channel("tab", MDF_UINT, 8);
    tab.convPresent = 1;
    tab.convType = MDF_CONV_TAB;
    for (int i = 0; i < 10; ++i) tab.valuePairs.push_back({double(i), double(10 * i)});
    tMDF_CN_INFO dim = channel("dim", MDF_UINT, 8);
    dim.extPresent = 1;
    dim.extType = 2;
    dim.moduleNumber = 7;
    dim.address = 0xABCDEF;
    dim.ecuId = "ecu";
    tMDF_CN_INFO can = channel("can", MDF_UINT, 8);
    can.extPresent = 1;
    can.extType = 19;
    can.senderName =
        std::string(40, 's');  // cut to 35 bytes and the terminator: ends at the block's last byte
    tMDF_CN_INFO range = channel("range", MDF_UINT, 8);
    range.convPresent = 1;
    range.convType = MDF_CONV_TEXT_RANGE;
    range.rangeTable = {{0, 9, "low"}, {10, 255, "high"}};
    tMDF_CN_INFO poly = channel("poly", MDF_UINT, 8);
    poly.convPresent = 1;
    poly.convType = MDF_CONV_POLYNOMIAL;
    tMDF_CN_INFO expo = channel("expo", MDF_UINT, 8);
    expo.convPresent = 1;
    expo.convType = MDF_CONV_EXPONENTIAL;
    tMDF_CN_INFO ident = channel("ident", MDF_UINT, 8);
    ident.convPresent = 1;
    tMDF_FILE desc = singleGroup({tab, dim, can, range, poly, expo, ident});
    desc.comment.clear();
    desc.programId.clear();
    CLorimar lib;
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    ASSERT_EQ(save(lib, dir / "b.mdf"), MDF_OK);
    const Bytes f{vextest::readFile(dir / "b.mdf")};
    EXPECT_EQ(f.u32(72), 0u);  // no file comment
    EXPECT_EQ(f.u32(76), 0u);  // no program block
    // Walk the channels through the reference reader's view of the links.
    const size_t cg = f.u32(f.u32(68) + 8);
    std::map<std::string, size_t> at;
    for (size_t cn = f.u32(cg + 8); cn != 0; cn = f.u32(cn + 4))
        at[f.str(cn + 26, f.b.find('\0', cn + 26) - cn - 26)] = cn;
    ASSERT_EQ(at.size(), 7u);
    auto cc = [&](const char* n) { return f.u32(at[n] + 8); };
    auto ce = [&](const char* n) { return f.u32(at[n] + 12); };
    EXPECT_EQ(f.u16(cc("tab") + 2), 206);
    EXPECT_EQ(f.u16(cc("tab") + 44), 10);
    EXPECT_EQ(f.u16(ce("dim") + 2), 128);
    EXPECT_EQ(f.u32(ce("dim") + 8), 0xABCDEFu);
    EXPECT_EQ(f.u16(ce("can") + 2), 86);
    EXPECT_EQ(f.str(ce("can") + 50, 36), std::string(35, 's') + '\0');
    EXPECT_EQ(f.u16(cc("poly") + 2), 94);
    EXPECT_EQ(f.u16(cc("expo") + 2), 102);
    EXPECT_EQ(f.u16(cc("ident") + 2), 46);
    EXPECT_EQ(f.u16(cc("ident") + 42), 65535);
    // Value ranges to text: 20-byte entries, each text a block of its own.
    const size_t r = cc("range");
    EXPECT_EQ(f.u16(r + 2), 86);
    EXPECT_EQ(f.real(r + 46 + 20), 10.0);
    EXPECT_EQ(f.real(r + 46 + 28), 255.0);
    EXPECT_EQ(f.str(f.u32(r + 46 + 36), 9), std::string("TX\x09\0high\0", 9));
    ASSERT_EQ(open(lib, dir / "b.mdf"), MDF_OK);
    for (const tMDF_CN_INFO& cn : lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].channels) {
        if (cn.shortName != "range") continue;
        ASSERT_EQ(cn.rangeTable.size(), 2u);
        EXPECT_EQ(cn.rangeTable[1].text, "high");
        EXPECT_EQ(cn.rangeTable[1].upper, 255.0);
    }
}

TEST(LorimarLayout, TextsAreGbkAndCutWithoutSplittingCharacters) {
    vextest::TempDir dir;
    // 16 Chinese characters: 32 GBK bytes, of which a 32-byte field keeps 15 characters (30 bytes).
    const std::string name = "发动机转速发动机转速发动机转速发";
    tMDF_CN_INFO cn = channel(name, MDF_UINT, 8);
    cn.unit = "摄氏度";
    tMDF_FILE desc = singleGroup({cn});
    desc.author = "作者";
    CLorimar lib;
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    ASSERT_EQ(save(lib, dir / "g.mdf"), MDF_OK);
    const mdfref::File ref = mdfref::read(vextest::readFile(dir / "g.mdf"));
    EXPECT_EQ(ref.author, "\xD7\xF7\xD5\xDF");  // 作者 in GBK
    EXPECT_EQ(ref.dataGroups[0].groups[0].channels[0].name.size(), 30u);
    ASSERT_EQ(open(lib, dir / "g.mdf"), MDF_OK);
    EXPECT_EQ(lib.GetMdfFileInfo().author, "作者");
    EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].channels[0].shortName,
              "发动机转速发动机转速发动机转速");
}

// A created file carries the identification fields, reserved bytes, header size and long-header fields of the
// file the object opened before. A header declared shorter than 208 bytes is written with 164: its
// long-header fields (164..207) would run past its end into the data.
TEST(LorimarLayout, CreatedFileTakesOverTheIdentityOfTheFileOpenedBefore) {
    const struct { uint16_t opened, written; } cases[] = {{164, 164}, {208, 208}, {240, 240}, {180, 164}};
    vextest::TempDir dir;
    for (const auto& c : cases) {
        mdfref::File old;
        old.version = 330;
        old.headerSize = c.opened;
        std::string bytes = mdfref::write(old);
        for (size_t i = 32; i < 64; ++i) bytes[i] = static_cast<char>(i);  // reserved bytes
        if (c.opened >= 208) bytes[64 + 164] = 0x5A;                       // time stamp, low byte
        vextest::writeFile(dir / "old.mdf", bytes);
        CLorimar lib;
        ASSERT_EQ(open(lib, dir / "old.mdf"), MDF_OK);
        EXPECT_EQ(lib.GetMdfFileInfo().version, 330);
        ASSERT_EQ(lib.CloseMdfFile(), MDF_OK);
        tMDF_FILE desc = singleGroup({channel("a", MDF_UINT, 8)});
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        lib.InputSamplingData(0, 0, 5u);
        ASSERT_EQ(save(lib, dir / "new.mdf"), MDF_OK);
        const Bytes f{vextest::readFile(dir / "new.mdf")};
        EXPECT_EQ(f.u16(28), 330) << c.opened;
        EXPECT_EQ(f.str(32, 32), bytes.substr(32, 32)) << c.opened;
        EXPECT_EQ(f.u16(66), c.written) << c.opened;
        EXPECT_EQ(f.u32(f.u32(68) + 16), 64u + c.written) << c.opened;  // data right after the header
        if (c.written >= 208) {
            EXPECT_EQ(f.u32(64 + 164), 0x5Au) << c.opened;
        }
        ASSERT_NO_THROW(mdfref::read(f.b)) << c.opened;
    }
}

TEST(LorimarLayout, FilesBeyondFourGibibytesArePlannedAsRefused) {
    lorimar::MdfIdentity id;
    tMDF_FILE desc = singleGroup({channel("a", MDF_UINT, 8)});
    lorimar::MdfFilePlan plan;
    ASSERT_TRUE(lorimar::planFile(id, desc, {1000}, plan));
    EXPECT_EQ(plan.total, 64u + 164u + 1000u + plan.tree.size());
    const uint64_t room = 0xFFFFFFFFull - 64 - 164 - plan.tree.size();
    EXPECT_TRUE(lorimar::planFile(id, desc, {room}, plan));
    EXPECT_FALSE(lorimar::planFile(id, desc, {room + 1}, plan));
}
