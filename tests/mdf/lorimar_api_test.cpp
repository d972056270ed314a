// The CLorimar operations through the public interface: state rules, numbering and layout of created
// channels, record assembly in slots, values and conversions read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "tests/mdf/mdftest.h"

using namespace mdftest;
namespace fs = std::filesystem;

namespace {

double phys(const CLorimar& lib, const std::string& name, uint32_t record) {
    double v = std::nan("");
    EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, name), record, v), MDF_OK) << name;
    return v;
}

}  // namespace

TEST(LorimarState, OperationsRefusedOutsideTheirState) {
    vextest::TempDir dir;
    CLorimar lib;
    uint32_t u = 0;
    double d = 0;
    std::string text;
    EXPECT_EQ(save(lib, dir / "x.mdf"), MDF_ERR_NOT_CREATING);
    EXPECT_EQ(lib.CloseMdfFile(), MDF_ERR_CLOSE_NOT_OPEN);
    EXPECT_EQ(lib.GetChannelRawData(0, 0, u), MDF_ERR_NOT_OPEN);
    EXPECT_EQ(lib.GetChannelPhyData(0, 0, d), MDF_ERR_NOT_OPEN);
    EXPECT_EQ(lib.GetChannelPhyData(0, 0, text), MDF_ERR_NOT_OPEN);

    tMDF_FILE desc = singleGroup({channel("a", MDF_UINT, 8)});
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    EXPECT_EQ(lib.CreateMdfFile(desc), MDF_ERR_ALREADY_CREATING);
    EXPECT_EQ(open(lib, dir / "x.mdf"), MDF_ERR_BUSY);
    lib.InputSamplingData(0, 0, 7u);
    ASSERT_EQ(save(lib, dir / "x.mdf"), MDF_OK);
    EXPECT_EQ(save(lib, dir / "x.mdf"), MDF_ERR_NOT_CREATING);
    lib.InputSamplingData(0, 0, 9u);  // ignored: no longer creating

    ASSERT_EQ(open(lib, dir / "x.mdf"), MDF_OK);
    EXPECT_EQ(open(lib, dir / "x.mdf"), MDF_ERR_ALREADY_OPEN);
    EXPECT_EQ(lib.CreateMdfFile(desc), MDF_ERR_BUSY);
    ASSERT_EQ(lib.GetChannelRawData(0, 0, u), MDF_OK);
    EXPECT_EQ(u, 7u);
    EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].recordCount, 1u);
    EXPECT_EQ(lib.CloseMdfFile(), MDF_OK);
    EXPECT_EQ(lib.CloseMdfFile(), MDF_ERR_CLOSE_NOT_OPEN);
    // The description of the file stays after closing.
    EXPECT_EQ(lib.GetMdfFileInfo().dataGroups.size(), 1u);
}

TEST(LorimarState, FailedCreateLeavesTheObjectIdleAndTheDescriptionUntouched) {
    vextest::TempDir dir;
    CLorimar lib;
    tMDF_FILE mixed = file();
    mixed.dataGroups.resize(1);
    mixed.dataGroups[0].channelGroups.resize(2);
    mixed.dataGroups[0].channelGroups[0].channels = {channel("a", MDF_UINT, 8)};
    mixed.dataGroups[0].channelGroups[1].channels = {channel("b", MDF_UINT, 8)};
    mixed.dataGroups[0].channelGroups[1].channels[0].startBit = 77;
    EXPECT_EQ(lib.CreateMdfFile(mixed), MDF_ERR_MIXED_NO_RECORD_ID);
    EXPECT_EQ(mixed.dataGroups[0].channelGroups[1].channels[0].startBit, 77);
    EXPECT_EQ(save(lib, dir / "x.mdf"), MDF_ERR_NOT_CREATING);

    struct Bad {
        const char* what;
        void (*spoil)(tMDF_FILE&);
    };
    const Bad bad[] = {
        {"single of 16 bits",
         [](tMDF_FILE& f) { f.dataGroups[0].channelGroups[0].channels[0] = channel("s", MDF_FLOAT, 16); }},
        {"double of 32 bits",
         [](tMDF_FILE& f) { f.dataGroups[0].channelGroups[0].channels[0] = channel("d", MDF_DOUBLE, 32); }},
        {"integer of 65 bits",
         [](tMDF_FILE& f) { f.dataGroups[0].channelGroups[0].channels[0].bitCount = 65; }},
        {"data type 7", [](tMDF_FILE& f) { f.dataGroups[0].channelGroups[0].channels[0].dataType = 7; }},
        {"three record ids", [](tMDF_FILE& f) { f.dataGroups[0].recordIdCount = 3; }},
        {"extension type 5",
         [](tMDF_FILE& f) {
             f.dataGroups[0].channelGroups[0].channels[0].extPresent = 1;
             f.dataGroups[0].channelGroups[0].channels[0].extType = 5;
         }},
        {"record over 65535 bytes",
         [](tMDF_FILE& f) {
             f.dataGroups[0].channelGroups[0].channels.assign(8200, channel("w", MDF_UINT, 64));
         }},
        {"257 groups with ids",
         [](tMDF_FILE& f) {
             f.dataGroups[0].recordIdCount = 1;
             f.dataGroups[0].channelGroups.resize(257);
         }},
        {"65537 channels",
         [](tMDF_FILE& f) {
             f.dataGroups.resize(2);
             f.dataGroups[0].channelGroups[0].channels.assign(65535, channel("c", MDF_UINT, 1));
             f.dataGroups[1].channelGroups.resize(1);
             f.dataGroups[1].channelGroups[0].channels.assign(2, channel("c", MDF_UINT, 1));
         }},
        {"text table beyond its block",
         [](tMDF_FILE& f) {
             tMDF_CN_INFO& cn = f.dataGroups[0].channelGroups[0].channels[0];
             cn.convPresent = 1;
             cn.convType = MDF_CONV_TEXT_TABLE;
             cn.textTable.resize(1700);
         }},
    };
    for (const Bad& b : bad) {
        tMDF_FILE desc = singleGroup({channel("a", MDF_UINT, 8)});
        b.spoil(desc);
        EXPECT_EQ(lib.CreateMdfFile(desc), MDF_ERR_DESCRIPTION) << b.what;
    }
    tMDF_FILE good = singleGroup({channel("a", MDF_UINT, 8)});
    EXPECT_EQ(lib.CreateMdfFile(good), MDF_OK);
}

TEST(LorimarCreate, AssignsStartBitsNumbersAndRecordSizes) {
    struct Case {
        std::vector<tMDF_CN_INFO> channels;
        bool big;
        std::vector<uint16_t> startBits;
        uint16_t recordSize;
    };
    const Case cases[] = {
        {{channel("u8", MDF_UINT, 8), channel("f", MDF_FLOAT, 32), channel("b", MDF_UINT, 1)},
         false,
         {0, 8, 40},
         6},
        {{channel("i3", MDF_SINT, 3), channel("d", MDF_DOUBLE, 64)}, false, {0, 8}, 9},
        {{channel("a", MDF_UINT, 3), channel("b", MDF_UINT, 10), channel("c", MDF_UINT, 2)},
         false,
         {0, 3, 13},
         2},
        // Big-endian: a value spanning bytes starts and ends on a byte, or its reversed bytes would overlap.
        {{channel("a", MDF_UINT, 3), channel("b", MDF_UINT, 10), channel("c", MDF_UINT, 2)},
         true,
         {0, 8, 24},
         4},
        {{channel("a", MDF_UINT, 3), channel("b", MDF_UINT, 4), channel("c", MDF_UINT, 1)},
         true,
         {0, 3, 7},
         1},
    };
    for (const Case& c : cases) {
        CLorimar lib;
        tMDF_FILE desc = file(c.big);
        desc.dataGroups.resize(2);
        desc.dataGroups[0].channelGroups.resize(1);
        desc.dataGroups[0].channelGroups[0].channels = {channel("first", MDF_UINT, 8)};
        desc.dataGroups[1].channelGroups.resize(1);
        desc.dataGroups[1].channelGroups[0].channels = c.channels;
        for (auto& cn : desc.dataGroups[1].channelGroups[0].channels) cn.byteOffset = 3;
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        const tMDF_CG_INFO& cg = desc.dataGroups[1].channelGroups[0];
        EXPECT_EQ(cg.recordSize, c.recordSize);
        for (size_t i = 0; i < cg.channels.size(); ++i) {
            EXPECT_EQ(cg.channels[i].startBit, c.startBits[i]) << i;
            EXPECT_EQ(cg.channels[i].byteOffset, 0);
            EXPECT_EQ(cg.channels[i].channelNumber, i + 1);
        }
    }
}

TEST(LorimarCreate, ReadBackListsChannelsInChainOrderWithTheirValues) {
    vextest::TempDir dir;
    CLorimar lib;
    tMDF_FILE desc =
        singleGroup({channel("a", MDF_UINT, 16), channel("b", MDF_SINT, 12), channel("c", MDF_DOUBLE, 64)});
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    for (uint8_t r = 0; r < 5; ++r) {
        lib.InputSamplingData(0, r, uint32_t{1000u + r});
        lib.InputSamplingData(1, r, int32_t{-100 * r});
        lib.InputSamplingData(2, r, 0.25 * r);
    }
    ASSERT_EQ(save(lib, dir / "f.mdf"), MDF_OK);
    ASSERT_EQ(open(lib, dir / "f.mdf"), MDF_OK);
    const tMDF_CG_INFO& cg = lib.GetMdfFileInfo().dataGroups[0].channelGroups[0];
    ASSERT_EQ(cg.channels.size(), 3u);
    EXPECT_EQ(cg.channels[0].shortName, "c");
    EXPECT_EQ(cg.channels[1].shortName, "b");
    EXPECT_EQ(cg.channels[2].shortName, "a");
    EXPECT_EQ(cg.channels[0].channelNumber, 0u);
    EXPECT_EQ(cg.channels[2].channelNumber, 2u);
    EXPECT_EQ(cg.recordCount, 5u);
    EXPECT_EQ(cg.recordSize, 12);
    // The range of the values received replaces the description's.
    EXPECT_EQ(cg.channels[1].rangeValid, 1);
    EXPECT_EQ(cg.channels[1].minimum, -400.0);
    EXPECT_EQ(cg.channels[1].maximum, 0.0);
    for (uint32_t r = 0; r < 5; ++r) {
        uint32_t a = 0;
        int32_t b = 0;
        double c = 0;
        ASSERT_EQ(lib.GetChannelRawData(2, r, a), MDF_OK);
        ASSERT_EQ(lib.GetChannelRawData(1, r, b), MDF_OK);
        ASSERT_EQ(lib.GetChannelRawData(0, r, c), MDF_OK);
        EXPECT_EQ(a, 1000 + r);
        EXPECT_EQ(b, -100 * static_cast<int32_t>(r));
        EXPECT_EQ(c, 0.25 * r);
    }
}

// More than 256 data groups (the signal export makes up to 512): each keeps its own channel and values.
TEST(LorimarCreate, DataGroupsBeyond256KeepTheirOwnValues) {
    // Appended rather than "g" + text: GCC 12 reports a false -Wrestrict on the latter at -O3.
    auto name = [](int g) { return std::string("g").append(std::to_string(g)); };
    vextest::TempDir dir;
    CLorimar lib;
    tMDF_FILE desc = file();
    desc.dataGroups.resize(300);
    for (size_t g = 0; g < desc.dataGroups.size(); ++g) {
        desc.dataGroups[g].channelGroups.resize(1);
        desc.dataGroups[g].channelGroups[0].channels = {channel(name(static_cast<int>(g)), MDF_UINT, 16)};
    }
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    for (uint16_t g = 0; g < 300; ++g) lib.InputSamplingData(g, 0, uint32_t{1000u + g});
    ASSERT_EQ(save(lib, dir / "groups.mdf"), MDF_OK);
    ASSERT_EQ(open(lib, dir / "groups.mdf"), MDF_OK);
    ASSERT_EQ(lib.GetMdfFileInfo().dataGroups.size(), 300u);
    for (int g = 0; g < 300; ++g) EXPECT_EQ(phys(lib, name(g), 0), 1000 + g) << g;
}

TEST(LorimarValues, StoredFieldsOfEachOverloadAndType) {
    // Value given through each overload into each kind of channel, and the raw field read back. A value is
    // converted to the channel's type rather than stored as the overload's bits, so that a reader gets back
    // the number given whenever the channel holds it (a float's bits in an integer field are another
    // number; sign-and-low-bits would turn an int 200 in an unsigned 8-bit channel into 72).
    struct Case {
        const char* what;
        uint16_t type, bits;
        void (*put)(CLorimar&);
        double expectPhys;
    };
    const Case cases[] = {
        {"signed 8 gets -1", MDF_SINT, 8, [](CLorimar& l) { l.InputSamplingData(1, 0, int32_t{-1}); }, -1},
        {"signed 8 gets -200: low 7 bits and sign", MDF_SINT, 8,
         [](CLorimar& l) { l.InputSamplingData(1, 0, int32_t{-200}); }, -72},
        {"signed 8 gets 0x80 as bits", MDF_SINT, 8,
         [](CLorimar& l) { l.InputSamplingData(1, 0, uint32_t{0x80}); }, -128},
        {"signed 32 gets bit 31 as bits", MDF_SINT, 32,
         [](CLorimar& l) { l.InputSamplingData(1, 0, uint32_t{0x98FEF100}); }, -1728122624.0},
        {"unsigned 8 gets int 200", MDF_UINT, 8, [](CLorimar& l) { l.InputSamplingData(1, 0, int32_t{200}); },
         200},
        {"unsigned 8 gets int -200: two's complement low bits 0x38", MDF_UINT, 8,
         [](CLorimar& l) { l.InputSamplingData(1, 0, int32_t{-200}); }, 0x38},
        {"unsigned 8 gets low bits of 0x1234", MDF_UINT, 8,
         [](CLorimar& l) { l.InputSamplingData(1, 0, uint32_t{0x1234}); }, 0x34},
        {"unsigned 8 gets double 3.9", MDF_UINT, 8, [](CLorimar& l) { l.InputSamplingData(1, 0, 3.9); }, 3},
        {"unsigned 8 gets double 1e9: saturated", MDF_UINT, 8,
         [](CLorimar& l) { l.InputSamplingData(1, 0, 1e9); }, 255},
        {"signed 4 gets double -100: saturated", MDF_SINT, 4,
         [](CLorimar& l) { l.InputSamplingData(1, 0, -100.0); }, -8},
        {"double gets unsigned 7", MDF_DOUBLE, 64, [](CLorimar& l) { l.InputSamplingData(1, 0, 7u); }, 7},
        {"double gets float 0.5", MDF_DOUBLE, 64, [](CLorimar& l) { l.InputSamplingData(1, 0, 0.5f); }, 0.5},
        {"single gets double 0.25", MDF_FLOAT, 32, [](CLorimar& l) { l.InputSamplingData(1, 0, 0.25); },
         0.25},
        {"single gets int -3", MDF_FLOAT, 32, [](CLorimar& l) { l.InputSamplingData(1, 0, int32_t{-3}); },
         -3},
        {"unsigned 64 gets max", MDF_UINT, 64, [](CLorimar& l) { l.InputSamplingData(1, 0, 0xFFFFFFFFu); },
         4294967295.0},
        {"signed 40 gets -5", MDF_SINT, 40, [](CLorimar& l) { l.InputSamplingData(1, 0, int32_t{-5}); }, -5},
    };
    vextest::TempDir dir;
    for (const bool big : {false, true}) {
        for (const Case& c : cases) {
            CLorimar lib;
            // A 3-bit channel first puts every value off a byte boundary (integers) or pads it (floats).
            tMDF_FILE desc = singleGroup({channel("pad", MDF_UINT, 3), channel("v", c.type, c.bits)}, big);
            ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
            lib.InputSamplingData(0, 0, 5u);
            lib.InputSamplingData(1, 0, 0u);  // record 0
            lib.InputSamplingData(0, 0, 5u);
            c.put(lib);  // record 1
            ASSERT_EQ(save(lib, dir / "v.mdf"), MDF_OK);
            ASSERT_EQ(open(lib, dir / "v.mdf"), MDF_OK);
            EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].recordCount, 2u) << c.what;
            EXPECT_EQ(phys(lib, "v", 1), c.expectPhys) << c.what << (big ? " big" : " little");
            EXPECT_EQ(phys(lib, "pad", 1), 5) << c.what;
            lib.CloseMdfFile();
        }
    }
}

TEST(LorimarValues, OverloadMustMatchTheChannelAndOutputStaysOnFailure) {
    vextest::TempDir dir;
    CLorimar lib;
    tMDF_FILE desc =
        singleGroup({channel("u", MDF_UINT, 8), channel("s", MDF_SINT, 8), channel("f", MDF_FLOAT, 32),
                     channel("d", MDF_DOUBLE, 64), channel("w", MDF_UINT, 40)});
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    for (uint16_t c = 0; c < 5; ++c) lib.InputSamplingData(c, 0, 1u);
    ASSERT_EQ(save(lib, dir / "t.mdf"), MDF_OK);
    ASSERT_EQ(open(lib, dir / "t.mdf"), MDF_OK);
    const uint16_t u = numberOf(lib, "u"), s = numberOf(lib, "s"), f = numberOf(lib, "f"),
                   d = numberOf(lib, "d"), w = numberOf(lib, "w");
    uint32_t ou = 99;
    int32_t os = 99;
    float of = 99;
    double od = 99;
    EXPECT_EQ(lib.GetChannelRawData(u, 0, of), MDF_ERR_DATA_TYPE);
    EXPECT_EQ(lib.GetChannelRawData(u, 0, os), MDF_ERR_DATA_TYPE);
    EXPECT_EQ(lib.GetChannelRawData(s, 0, ou), MDF_ERR_DATA_TYPE);
    EXPECT_EQ(lib.GetChannelRawData(f, 0, od), MDF_ERR_DATA_TYPE);
    EXPECT_EQ(lib.GetChannelRawData(d, 0, of), MDF_ERR_DATA_TYPE);
    EXPECT_EQ(lib.GetChannelRawData(w, 0, ou), MDF_ERR_DATA_TYPE);  // wider than the 32-bit output
    EXPECT_EQ(lib.GetChannelRawData(u, 1, ou), MDF_ERR_RECORD_INDEX);
    EXPECT_EQ(lib.GetChannelRawData(5, 0, ou), MDF_ERR_CHANNEL);
    EXPECT_EQ(lib.GetChannelRawData(0xFFFF, 0, ou), MDF_ERR_CHANNEL);
    EXPECT_EQ(ou, 99u);
    EXPECT_EQ(os, 99);
    EXPECT_EQ(of, 99.0f);
    EXPECT_EQ(od, 99.0);
    EXPECT_EQ(lib.GetChannelPhyData(w, 0, od), MDF_OK);  // the physical value holds up to 64 bits
    EXPECT_EQ(od, 1.0);
}

TEST(LorimarSlots, RecordsCompletePerSlotAndStaleSlotsAreDropped) {
    vextest::TempDir dir;
    CLorimar lib;
    tMDF_FILE desc = singleGroup({channel("a", MDF_UINT, 8), channel("b", MDF_UINT, 8)});
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    // Slots 5 and 6 alternate: each completes on its own.
    lib.InputSamplingData(0, 5, 1u);
    lib.InputSamplingData(2, 5, 99u);  // numbers never assigned reach no channel
    lib.InputSamplingData(0xFFFF, 5, 99u);
    lib.InputSamplingData(0, 6, 2u);
    lib.InputSamplingData(1, 6, 20u);  // completes slot 6 first
    lib.InputSamplingData(1, 5, 10u);
    // A slot that waits nine idle calls survives; the tenth drops it.
    lib.InputSamplingData(0, 7, 3u);
    for (int i = 0; i < 9; ++i) lib.OnSamplingTimeIdle();
    lib.InputSamplingData(1, 7, 30u);
    lib.InputSamplingData(0, 8, 4u);
    for (int i = 0; i < 10; ++i) lib.OnSamplingTimeIdle();
    lib.InputSamplingData(1, 8, 40u);  // slot 8 lost channel a: the record stays incomplete
    // A value repeated in a slot overwrites it; the record still needs every channel.
    lib.InputSamplingData(0, 9, 5u);
    lib.InputSamplingData(0, 9, 6u);
    lib.InputSamplingData(1, 9, 60u);
    ASSERT_EQ(save(lib, dir / "s.mdf"), MDF_OK);
    ASSERT_EQ(open(lib, dir / "s.mdf"), MDF_OK);
    ASSERT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].recordCount, 4u);
    const double expectA[] = {2, 1, 3, 6}, expectB[] = {20, 10, 30, 60};
    for (uint32_t r = 0; r < 4; ++r) {
        EXPECT_EQ(phys(lib, "a", r), expectA[r]) << r;
        EXPECT_EQ(phys(lib, "b", r), expectB[r]) << r;
    }
}

TEST(LorimarSlots, MixedGroupsStoreIdentifiedRecordsInCompletionOrder) {
    vextest::TempDir dir;
    for (const uint16_t ids : {1, 2}) {
        CLorimar lib;
        tMDF_FILE desc = file();
        desc.dataGroups.resize(1);
        desc.dataGroups[0].recordIdCount = ids;
        desc.dataGroups[0].channelGroups.resize(2);
        desc.dataGroups[0].channelGroups[0].channels = {channel("a", MDF_UINT, 16)};
        desc.dataGroups[0].channelGroups[1].channels = {channel("b", MDF_UINT, 8), channel("c", MDF_UINT, 8)};
        ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
        EXPECT_EQ(desc.dataGroups[0].channelGroups[1].recordId, 1);
        lib.InputSamplingData(0, 0, 0x1111u);
        lib.InputSamplingData(1, 0, 0x22u);
        lib.InputSamplingData(0, 1, 0x3333u);
        lib.InputSamplingData(2, 0, 0x44u);
        ASSERT_EQ(save(lib, dir / "m.mdf"), MDF_OK);

        const std::string bytes = vextest::readFile(dir / "m.mdf");
        const std::string expected =
            ids == 1 ? std::string("\x00\x11\x11\x00\x33\x33\x01\x22\x44", 9)
                     : std::string("\x00\x11\x11\x00\x00\x33\x33\x00\x01\x22\x44\x01", 12);
        EXPECT_EQ(bytes.substr(228, expected.size()), expected) << ids;

        ASSERT_EQ(open(lib, dir / "m.mdf"), MDF_OK);
        EXPECT_EQ(phys(lib, "a", 0), 0x1111);
        EXPECT_EQ(phys(lib, "a", 1), 0x3333);
        EXPECT_EQ(phys(lib, "b", 0), 0x22);
        EXPECT_EQ(phys(lib, "c", 0), 0x44);
        double v;
        EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, "c"), 1, v), MDF_ERR_RECORD_INDEX);
        // Closing releases a file of several channel groups too: the next open succeeds.
        EXPECT_EQ(lib.CloseMdfFile(), MDF_OK);
        EXPECT_EQ(open(lib, dir / "m.mdf"), MDF_OK);
    }
}

TEST(LorimarConversion, WorkedValuesOfEveryType) {
    struct Case {
        const char* what;
        uint16_t type;
        std::vector<double> params;
        std::vector<tMDF_CN_VALUE_PAIR> pairs;
        double raw;
        double expected;
        uint32_t rc;
    };
    const std::vector<tMDF_CN_VALUE_PAIR> table = {{0, 100}, {10, 200}};
    const double e = std::exp(1.0);
    const Case cases[] = {
        {"linear", MDF_CONV_LINEAR, {10, 0.5}, {}, 4, 12, MDF_OK},
        {"interpolated below", MDF_CONV_TAB_INTERP, {}, table, -1, 100, MDF_OK},
        {"interpolated at first", MDF_CONV_TAB_INTERP, {}, table, 0, 100, MDF_OK},
        {"interpolated middle", MDF_CONV_TAB_INTERP, {}, table, 5, 150, MDF_OK},
        {"interpolated above", MDF_CONV_TAB_INTERP, {}, table, 20, 200, MDF_OK},
        {"step below", MDF_CONV_TAB, {}, table, -1, 100, MDF_OK},
        // A raw value equal to a point takes that point's value, the first point included (not the next's).
        {"step at the first point: own", MDF_CONV_TAB, {}, table, 0, 100, MDF_OK},
        {"step middle", MDF_CONV_TAB, {}, table, 5, 200, MDF_OK},
        {"step at last", MDF_CONV_TAB, {}, table, 10, 200, MDF_OK},
        {"step above", MDF_CONV_TAB, {}, table, 11, 200, MDF_OK},
        {"empty table", MDF_CONV_TAB, {}, {}, 7, 7, MDF_OK},
        {"polynomial (3 + 2x) / 1", MDF_CONV_POLYNOMIAL, {-1, 3, 0, -2, 0, 0}, {}, 4, 11, MDF_OK},
        {"polynomial 10 / (x - 3)", MDF_CONV_POLYNOMIAL, {1, 10, 1, 0, 2, 0}, {}, 5, 5, MDF_OK},
        {"exponential 2 ln(x - 1)", MDF_CONV_EXPONENTIAL, {2, 0.5, 0, 0, 0, 2, 1}, {}, 1 + e, 2, MDF_OK},
        {"exponential ln(10 / x)", MDF_CONV_EXPONENTIAL, {0, 0, 10, 1, 1, 0, 0}, {}, 10, 0, MDF_OK},
        {"exponential P1, P4 not 0",
         MDF_CONV_EXPONENTIAL,
         {1, 1, 1, 1, 1, 1, 1},
         {},
         1,
         0,
         MDF_ERR_CONVERSION},
        {"logarithmic exp(x) / 2", MDF_CONV_LOGARITHMIC, {1, 2, 0, 0, 0, 1, 0}, {}, 1, e / 2, MDF_OK},
        {"logarithmic exp(2 / x)", MDF_CONV_LOGARITHMIC, {0, 0, 2, 1, 1, 0, 0}, {}, 2, e, MDF_OK},
        {"logarithmic P1, P4 not 0",
         MDF_CONV_LOGARITHMIC,
         {1, 1, 1, 1, 1, 1, 1},
         {},
         1,
         0,
         MDF_ERR_CONVERSION},
        {"rational x^2", MDF_CONV_RATIONAL, {1, 0, 0, 0, 0, 1}, {}, 3, 9, MDF_OK},
        {"rational x / (x + 1)", MDF_CONV_RATIONAL, {0, 1, 0, 0, 1, 1}, {}, 3, 0.75, MDF_OK},
        {"text formula", MDF_CONV_FORMULA, {}, {}, 3, 0, MDF_ERR_CONVERSION},
        {"value to text: the number", MDF_CONV_TEXT_TABLE, {}, {}, 3, 3, MDF_OK},
        {"identity", MDF_CONV_IDENTITY, {}, {}, 3, 3, MDF_OK},
        {"type MDF 3 does not define", 4, {}, {}, 3, 0, MDF_ERR_CONVERSION},
    };
    vextest::TempDir dir;
    CLorimar lib;
    std::vector<tMDF_CN_INFO> channels;
    for (const Case& c : cases) {
        tMDF_CN_INFO cn = channel(c.what, MDF_DOUBLE, 64);
        cn.convPresent = 1;
        cn.convType = c.type;
        for (size_t i = 0; i < c.params.size(); ++i) cn.params[i] = c.params[i];
        cn.valuePairs = c.pairs;
        channels.push_back(cn);
    }
    channels.push_back(channel("no conversion", MDF_DOUBLE, 64));
    tMDF_FILE desc = singleGroup(channels);
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    for (size_t i = 0; i < std::size(cases); ++i)
        lib.InputSamplingData(static_cast<uint16_t>(i), 0, cases[i].raw);
    lib.InputSamplingData(static_cast<uint16_t>(std::size(cases)), 0, 8.5);
    ASSERT_EQ(save(lib, dir / "c.mdf"), MDF_OK);
    ASSERT_EQ(open(lib, dir / "c.mdf"), MDF_OK);
    for (const Case& c : cases) {
        double v = -12345;
        EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, c.what), 0, v), c.rc) << c.what;
        if (c.rc == MDF_OK)
            EXPECT_NEAR(v, c.expected, 1e-12) << c.what;
        else
            EXPECT_EQ(v, -12345) << c.what;
    }
    EXPECT_EQ(phys(lib, "no conversion", 0), 8.5);
}

TEST(LorimarConversion, ValueToTextTablesForUnsignedAndSignedChannels) {
    vextest::TempDir dir;
    CLorimar lib;
    tMDF_CN_INFO u = channel("u", MDF_UINT, 8), s = channel("s", MDF_SINT, 8);
    for (tMDF_CN_INFO* cn : {&u, &s}) {
        cn->convPresent = 1;
        cn->convType = MDF_CONV_TEXT_TABLE;
        cn->textTable = {{0, "关"}, {1, "开"}, {-1, "故障"}, {2, "a text of exactly thirty-one ch"}};
    }
    tMDF_FILE desc = singleGroup({u, s, channel("plain", MDF_UINT, 8)});
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    const int32_t values[][2] = {{1, -1}, {2, 0}, {7, 7}};
    for (uint8_t r = 0; r < 3; ++r) {
        lib.InputSamplingData(0, r, values[r][0]);
        lib.InputSamplingData(1, r, values[r][1]);
        lib.InputSamplingData(2, r, 1u);
    }
    ASSERT_EQ(save(lib, dir / "t.mdf"), MDF_OK);
    ASSERT_EQ(open(lib, dir / "t.mdf"), MDF_OK);
    const char* expected[][2] = {{"开", "故障"}, {"a text of exactly thirty-one ch", "关"}, {"-", "-"}};
    for (uint32_t r = 0; r < 3; ++r) {
        for (int c = 0; c < 2; ++c) {
            std::string text = "-";
            EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, c == 0 ? "u" : "s"), r, text), MDF_OK);
            EXPECT_EQ(text, expected[r][c]) << r << c;
        }
    }
    std::string text = "unchanged";
    EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, "plain"), 0, text), MDF_OK);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].channels[2].textTable.size(), 4u);
}

TEST(LorimarOpen, RefusesWhatCannotBeOpened) {
    vextest::TempDir dir;
    vextest::writeFile(dir / "empty.mdf", "");
    fs::create_directory(dir / "folder");
    CLorimar lib;
    EXPECT_EQ(open(lib, dir / "missing.mdf"), MDF_ERR_FILE);
    EXPECT_EQ(open(lib, dir / "empty.mdf"), MDF_ERR_FILE);
    EXPECT_EQ(open(lib, dir / "folder"), MDF_ERR_FILE);
    EXPECT_EQ(lib.OpenMdfFile(nullptr, 5), MDF_ERR_FILE);
    EXPECT_EQ(lib.OpenMdfFile("x", -1), MDF_ERR_FILE);
    // A file of 65,535 x 64 KiB or more is too large (a sparse file: nothing is read).
    {
        const fs::path big = dir / "big.mdf";
        vextest::writeFile(big, "MDF     ");
        fs::resize_file(big, 65535ull * 65536ull);
        EXPECT_EQ(open(lib, big), MDF_ERR_TOO_LARGE);
        fs::resize_file(big, 65535ull * 65536ull - 1);
        EXPECT_EQ(open(lib, big), MDF_ERR_BLOCK);  // mapped, but holds no header
    }
}

// Reading needs no write access: a read-only file opens, and so does a write-sealed in-memory file, which
// refuses every writable mapping whoever asks (the tests run as root, for whom permission bits refuse
// nothing). The path is taken by its length and needs no terminator.
TEST(LorimarOpen, FilesThatRefuseWritingOpenAndThePathNeedsNoTerminator) {
    vextest::TempDir dir;
    CLorimar lib;
    tMDF_FILE desc = singleGroup({channel("a", MDF_UINT, 8)});
    ASSERT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    lib.InputSamplingData(0, 0, 42u);
    const std::string path = (dir / "ro.mdf").string();
    const std::string padded = path + "garbage";
    ASSERT_EQ(lib.SaveMdfFile(padded.data(), static_cast<int32_t>(path.size())), MDF_OK);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(lib.OpenMdfFile(padded.data(), static_cast<int32_t>(path.size())), MDF_OK);
    EXPECT_EQ(phys(lib, "a", 0), 42);
    ASSERT_EQ(lib.CloseMdfFile(), MDF_OK);

    const std::string bytes = vextest::readFile(path);
    const int fd = ::memfd_create("sealed", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ASSERT_EQ(::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW), 0);
    EXPECT_EQ(::mmap(nullptr, bytes.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0), MAP_FAILED);
    ASSERT_EQ(open(lib, "/proc/self/fd/" + std::to_string(fd)), MDF_OK);
    EXPECT_EQ(phys(lib, "a", 0), 42);
    ::close(fd);
}
