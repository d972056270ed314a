// Interoperability with the independent reader and writer of the test tree: the reader reads every file
// the library writes, and the library reads files the writer makes, in both byte orders, with 0, 1 and 2
// record identifiers and with several channel groups in one data group.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "tests/mdf/mdf3ref.h"
#include "tests/mdf/mdftest.h"

using namespace mdftest;

namespace {

struct Config {
    bool big;
    uint16_t ids;
    size_t groups;  // channel groups in the mixed data group
};

const Config kConfigs[] = {{false, 0, 1}, {true, 0, 1},  {false, 1, 1}, {false, 1, 3},
                           {true, 1, 3},  {false, 2, 2}, {true, 2, 2}};

tMDF_CN_INFO randomChannel(std::mt19937& rng, int i) {
    static const uint16_t types[] = {MDF_UINT, MDF_SINT, MDF_FLOAT, MDF_DOUBLE};
    const uint16_t type = types[rng() % 4];
    const uint16_t bits = type == MDF_FLOAT    ? 32
                          : type == MDF_DOUBLE ? 64
                                               : static_cast<uint16_t>(1 + rng() % 32);
    return channel("ch" + std::to_string(i), type, bits);
}

// A value that the channel holds exactly, given through the overload of its type.
double randomValue(std::mt19937& rng, const tMDF_CN_INFO& cn) {
    switch (cn.dataType) {
        case MDF_UINT:
            return static_cast<double>(rng() & ((cn.bitCount >= 32) ? 0xFFFFFFFFu : (1u << cn.bitCount) - 1));
        case MDF_SINT: {
            const int64_t half = int64_t{1} << (cn.bitCount - 1);
            return static_cast<double>(static_cast<int64_t>(rng() % (2 * half)) - half);
        }
        case MDF_FLOAT:
            return static_cast<float>(static_cast<int32_t>(rng())) / 1024.0f;
        default:
            return static_cast<double>(static_cast<int32_t>(rng())) / 3.0;
    }
}

void input(CLorimar& lib, const tMDF_CN_INFO& cn, uint8_t slot, double v) {
    const uint16_t n = static_cast<uint16_t>(cn.channelNumber);
    switch (cn.dataType) {
        case MDF_UINT:
            lib.InputSamplingData(n, slot, static_cast<uint32_t>(v));
            break;
        case MDF_SINT:
            lib.InputSamplingData(n, slot, static_cast<int32_t>(v));
            break;
        case MDF_FLOAT:
            lib.InputSamplingData(n, slot, static_cast<float>(v));
            break;
        default:
            lib.InputSamplingData(n, slot, v);
            break;
    }
}

}  // namespace

TEST(LorimarInterop, IndependentReaderReadsEveryFileTheLibraryWrites) {
    vextest::TempDir dir;
    std::mt19937 rng(7);
    for (const Config& cfg : kConfigs) {
        tMDF_FILE desc = file(cfg.big);
        desc.dataGroups.resize(2);  // a plain group, then the configured one
        desc.dataGroups[0].channelGroups.resize(1);
        desc.dataGroups[0].channelGroups[0].channels = {channel("t", MDF_DOUBLE, 64)};
        desc.dataGroups[1].recordIdCount = cfg.ids;
        desc.dataGroups[1].channelGroups.resize(cfg.groups);
        int n = 0;
        for (tMDF_CG_INFO& cg : desc.dataGroups[1].channelGroups)
            for (int c = 0; c < 6; ++c) cg.channels.push_back(randomChannel(rng, n++));
        CLorimar lib;
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        // values[g][r][c], records completed group by group in a shuffled order
        std::vector<std::vector<std::vector<double>>> values(cfg.groups);
        std::vector<size_t> order;
        for (size_t g = 0; g < cfg.groups; ++g)
            for (int r = 0; r < 20; ++r) order.push_back(g);
        std::shuffle(order.begin(), order.end(), rng);
        for (const size_t g : order) {
            const tMDF_CG_INFO& cg = desc.dataGroups[1].channelGroups[g];
            std::vector<double>& rec = values[g].emplace_back();
            for (const tMDF_CN_INFO& cn : cg.channels) rec.push_back(randomValue(rng, cn));
            for (size_t c = 0; c < cg.channels.size(); ++c) input(lib, cg.channels[c], 3, rec[c]);
        }
        lib.InputSamplingData(0, 0, 1.25);
        ASSERT_EQ(save(lib, dir / "w.mdf"), MDF_OK);

        mdfref::File ref;
        ASSERT_NO_THROW(ref = mdfref::read(vextest::readFile(dir / "w.mdf"))) << cfg.big << cfg.ids;
        EXPECT_EQ(ref.bigEndian, cfg.big);
        EXPECT_EQ(ref.comment, "test file");
        ASSERT_EQ(ref.dataGroups.size(), 2u);
        // Chains run last to first: the configured group comes first.
        const mdfref::DataGroup& dg = ref.dataGroups[0];
        EXPECT_EQ(ref.dataGroups[1].groups[0].records.size(), 1u);
        EXPECT_EQ(mdfref::number(cfg.big, ref.dataGroups[1].groups[0].channels[0],
                                 ref.dataGroups[1].groups[0].records[0]),
                  1.25);
        ASSERT_EQ(dg.groups.size(), cfg.groups);
        EXPECT_EQ(dg.idCount, cfg.ids);
        for (size_t g = 0; g < cfg.groups; ++g) {
            const mdfref::ChannelGroup& rg = dg.groups[cfg.groups - 1 - g];
            const tMDF_CG_INFO& cg = desc.dataGroups[1].channelGroups[g];
            EXPECT_EQ(rg.recordId, g);
            ASSERT_EQ(rg.records.size(), 20u);
            ASSERT_EQ(rg.channels.size(), cg.channels.size());
            for (size_t c = 0; c < cg.channels.size(); ++c) {
                const mdfref::Channel& rc = rg.channels[cg.channels.size() - 1 - c];
                EXPECT_EQ(rc.name, cg.channels[c].shortName);
                EXPECT_EQ(rc.startBit, cg.channels[c].startBit);
                for (size_t r = 0; r < 20; ++r)
                    EXPECT_EQ(mdfref::number(cfg.big, rc, rg.records[r]), values[g][r][c])
                        << rc.name << " record " << r << " big " << cfg.big << " ids " << cfg.ids;
            }
        }
    }
}

TEST(LorimarInterop, LibraryReadsFilesOfTheIndependentWriter) {
    vextest::TempDir dir;
    std::mt19937 rng(11);
    for (const Config& cfg : kConfigs) {
        for (const uint16_t headerSize : {164, 208}) {
            mdfref::File f;
            f.bigEndian = cfg.big;
            f.headerSize = headerSize;
            f.version = headerSize == 208 ? 330 : 300;
            f.comment = "from the independent writer";
            f.author = "\xB2\xE2\xCA\xD4";  // 测试 in GBK
            mdfref::DataGroup& dg = f.dataGroups.emplace_back();
            dg.idCount = cfg.ids;
            // Per group: an unaligned 5-bit field and a 3-bit field in byte 0, a 16-bit field with a table
            // conversion, a signed 12-bit field, a double with a linear conversion, a field reached through
            // the additional byte offset.
            for (size_t g = 0; g < cfg.groups; ++g) {
                mdfref::ChannelGroup& cg = dg.groups.emplace_back();
                cg.recordId = static_cast<uint16_t>(10 + g);
                cg.recordSize = 16;
                cg.comment = "group " + std::to_string(g);
                auto add = [&](const char* name, uint16_t type, uint16_t start,
                               uint16_t bits) -> mdfref::Channel& {
                    mdfref::Channel& cn = cg.channels.emplace_back();
                    cn.name = name;
                    cn.dataType = type;
                    cn.startBit = start;
                    cn.bitCount = bits;
                    return cn;
                };
                add("lo5", 0, 0, 5);
                add("hi3", 0, 5, 3);
                mdfref::Channel& tab = add("tab", 0, 8, 16);
                tab.hasConversion = true;
                tab.conv.type = 1;
                tab.conv.table = {{0, 0}, {65535, 655.35}};
                tab.conv.unit = "km/h";
                add("s12", 1, 24, 12).comment = "signed";
                mdfref::Channel& dbl = add("dbl", 3, 40, 64);
                dbl.hasConversion = true;
                dbl.conv.type = 0;
                dbl.conv.params = {-1, 2};
                mdfref::Channel& off = add("off", 0, 0, 8);
                off.byteOffset = 15;
                off.longName = "reached through the byte offset";
            }
            std::vector<std::vector<std::vector<uint64_t>>> fields(cfg.groups);
            for (int r = 0; r < 30; ++r) {
                const size_t g = rng() % cfg.groups;
                const mdfref::ChannelGroup& cg = dg.groups[g];
                std::string rec(cg.recordSize, '\0');
                std::vector<uint64_t>& v = fields[g].emplace_back();
                for (const mdfref::Channel& cn : cg.channels) {
                    uint64_t x = (uint64_t{rng()} << 32) | rng();
                    if (cn.bitCount < 64) x &= (uint64_t{1} << cn.bitCount) - 1;
                    if (cn.dataType == 3) {
                        const double d = static_cast<int32_t>(rng()) / 8.0;
                        std::memcpy(&x, &d, 8);
                    }
                    v.push_back(x);
                    mdfref::putField(f.bigEndian, cn.startBit + 8 * cn.byteOffset, cn.bitCount, x, rec);
                }
                dg.records.emplace_back(g, rec);
            }
            vextest::writeFile(dir / "r.mdf", mdfref::write(f));

            CLorimar lib;
            ASSERT_EQ(open(lib, dir / "r.mdf"), MDF_OK) << cfg.big << cfg.ids << headerSize;
            const tMDF_FILE& info = lib.GetMdfFileInfo();
            EXPECT_EQ(info.version, f.version);
            EXPECT_EQ(info.comment, f.comment);
            EXPECT_EQ(info.author, "测试");
            ASSERT_EQ(info.dataGroups.size(), 1u);
            ASSERT_EQ(info.dataGroups[0].channelGroups.size(), cfg.groups);
            for (size_t g = 0; g < cfg.groups; ++g) {
                const tMDF_CG_INFO& cg = info.dataGroups[0].channelGroups[g];
                EXPECT_EQ(cg.comment, "group " + std::to_string(g));
                ASSERT_EQ(cg.recordCount, fields[g].size());
                ASSERT_EQ(cg.channels.size(), 6u);
                EXPECT_EQ(cg.channels[2].unit, "km/h");
                EXPECT_EQ(cg.channels[3].comment, "signed");
                EXPECT_EQ(cg.channels[5].longName, "reached through the byte offset");
                for (uint32_t r = 0; r < cg.recordCount; ++r) {
                    const std::vector<uint64_t>& v = fields[g][r];
                    for (size_t c = 0; c < 6; ++c) {
                        const uint16_t n = static_cast<uint16_t>(cg.channels[c].channelNumber);
                        double phys = 0;
                        ASSERT_EQ(lib.GetChannelPhyData(n, r, phys), MDF_OK);
                        double expected = static_cast<double>(v[c]);
                        if (c == 2) expected = v[c] / 100.0;
                        if (c == 3) expected = static_cast<double>(static_cast<int64_t>(v[c] << 52) >> 52);
                        if (c == 4) {
                            double d;
                            std::memcpy(&d, &v[c], 8);
                            expected = 2 * d - 1;
                        }
                        EXPECT_NEAR(phys, expected, 1e-9) << cg.channels[c].shortName << " record " << r;
                    }
                    uint32_t raw = 0;
                    ASSERT_EQ(
                        lib.GetChannelRawData(static_cast<uint16_t>(cg.channels[0].channelNumber), r, raw),
                        MDF_OK);
                    EXPECT_EQ(raw, v[0]);
                }
            }
        }
    }
}

// The public data-group block is 28 bytes; files whose writers left out the reserved word (24 bytes) still
// open in the library, while the independent reader refuses them, as strict readers do.
TEST(LorimarInterop, DataGroupsOf24BytesOpenThoughStrictReadersRefuseThem) {
    vextest::TempDir dir;
    mdfref::File f;
    f.dataGroupSize = 24;
    mdfref::DataGroup& dg = f.dataGroups.emplace_back();
    mdfref::ChannelGroup& cg = dg.groups.emplace_back();
    cg.recordSize = 1;
    mdfref::Channel& cn = cg.channels.emplace_back();
    cn.name = "u8";
    cn.bitCount = 8;
    for (const char v : {'\x07', '\x2A'}) dg.records.emplace_back(0, std::string(1, v));
    const std::string bytes = mdfref::write(f);
    EXPECT_THROW(mdfref::read(bytes), std::runtime_error);
    vextest::writeFile(dir / "dg24.mdf", bytes);
    CLorimar lib;
    ASSERT_EQ(open(lib, dir / "dg24.mdf"), MDF_OK);
    uint32_t v = 0;
    ASSERT_EQ(lib.GetChannelRawData(0, 1, v), MDF_OK);
    EXPECT_EQ(v, 0x2Au);
}

// A channel's range is that of the values its stored records hold, as stored: a value whose record was
// dropped, or never completed, leaves it alone, and a value cut to the channel's width counts as stored.
TEST(LorimarInterop, ChannelRangeCoversStoredRecordsOnly) {
    vextest::TempDir dir;
    tMDF_FILE desc = file();
    desc.dataGroups.resize(2);
    desc.dataGroups[0].channelGroups.resize(1);
    desc.dataGroups[0].channelGroups[0].channels = {channel("a", MDF_SINT, 8), channel("b", MDF_UINT, 8)};
    desc.dataGroups[1].channelGroups.resize(1);
    desc.dataGroups[1].channelGroups[0].channels = {channel("c", MDF_UINT, 8), channel("d", MDF_UINT, 8)};
    CLorimar lib;
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    lib.InputSamplingData(0, 0, int32_t{-5});
    lib.InputSamplingData(1, 0, uint32_t{0x1234});  // stored as 0x34
    lib.InputSamplingData(0, 1, int32_t{100});      // dropped after ten idle calls
    for (int i = 0; i < 10; ++i) lib.OnSamplingTimeIdle();
    lib.InputSamplingData(0, 1, int32_t{7});
    lib.InputSamplingData(1, 1, uint32_t{3});
    lib.InputSamplingData(0, 2, int32_t{-100});  // never completed
    lib.InputSamplingData(2, 0, uint32_t{9});    // c's group stores no record
    ASSERT_EQ(save(lib, dir / "range.mdf"), MDF_OK);

    const mdfref::File ref = mdfref::read(vextest::readFile(dir / "range.mdf"));
    ASSERT_EQ(ref.dataGroups.size(), 2u);
    const mdfref::ChannelGroup& stored = ref.dataGroups[1].groups[0];  // chains run last to first
    ASSERT_EQ(stored.records.size(), 2u);
    const struct {
        const mdfref::Channel& cn;
        uint16_t valid;
        double min, max;
    } expected[] = {{stored.channels[1], 1, -5, 7},
                    {stored.channels[0], 1, 3, 0x34},
                    {ref.dataGroups[0].groups[0].channels[1], 0, 0, 0}};
    for (const auto& e : expected) {
        EXPECT_EQ(e.cn.rangeValid, e.valid) << e.cn.name;
        EXPECT_EQ(e.cn.minimum, e.min) << e.cn.name;
        EXPECT_EQ(e.cn.maximum, e.max) << e.cn.name;
    }
}
