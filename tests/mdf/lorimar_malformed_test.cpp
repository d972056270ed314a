// Hostile files: every link, size, chain and count is checked against the file; a malformed file gives an
// error result (or, for data that is short, fewer records), never a read outside the file.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "tests/mdf/mdf3ref.h"
#include "tests/mdf/mdftest.h"

using namespace mdftest;

namespace {

uint32_t get32(const std::string& b, size_t at) {
    return uint32_t{static_cast<uint8_t>(b[at])} | uint32_t{static_cast<uint8_t>(b[at + 1])} << 8 |
           uint32_t{static_cast<uint8_t>(b[at + 2])} << 16 | uint32_t{static_cast<uint8_t>(b[at + 3])} << 24;
}
void set32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void set16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}

// A little-endian file: data group 0 (read first) holds two channel groups with one record identifier; data
// group 1 one group with channels x (linear conversion, comment) and y (CAN extension).
std::string baseFile(const std::filesystem::path& dir) {
    tMDF_FILE desc = file();
    desc.dataGroups.resize(2);
    tMDF_CN_INFO x = channel("x", MDF_UINT, 8);
    x.convPresent = 1;
    x.convType = MDF_CONV_LINEAR;
    x.comment = "comment";
    tMDF_CN_INFO y = channel("y", MDF_UINT, 16);
    y.extPresent = 1;
    y.extType = 19;
    desc.dataGroups[0].channelGroups.resize(1);
    desc.dataGroups[0].channelGroups[0].channels = {x, y};
    desc.dataGroups[1].recordIdCount = 1;
    desc.dataGroups[1].channelGroups.resize(2);
    desc.dataGroups[1].channelGroups[0].channels = {channel("p", MDF_UINT, 8)};
    desc.dataGroups[1].channelGroups[1].channels = {channel("q", MDF_UINT, 8)};
    CLorimar lib;
    EXPECT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    for (uint8_t r = 0; r < 4; ++r) {
        lib.InputSamplingData(0, r, uint32_t{r});
        lib.InputSamplingData(1, r, uint32_t{100u + r});
        lib.InputSamplingData(2, r, uint32_t{r});
        lib.InputSamplingData(3, r, uint32_t{r});
    }
    EXPECT_EQ(save(lib, dir / "base.mdf"), MDF_OK);
    return vextest::readFile(dir / "base.mdf");
}

// Block offsets of the base file, found through its links.
struct Offsets {
    size_t mixedDg, plainDg, plainCg, x, y, xcc, xtx, yce, mixedCg;
};
Offsets offsetsOf(const std::string& b) {
    Offsets o;
    o.mixedDg = get32(b, 68);
    o.plainDg = get32(b, o.mixedDg + 4);
    o.plainCg = get32(b, o.plainDg + 8);
    o.y = get32(b, o.plainCg + 8);
    o.x = get32(b, o.y + 4);
    o.xcc = get32(b, o.x + 8);
    o.xtx = get32(b, o.x + 20);
    o.yce = get32(b, o.y + 12);
    o.mixedCg = get32(b, o.mixedDg + 8);
    return o;
}

uint32_t openBytes(const std::filesystem::path& dir, const std::string& bytes, CLorimar& lib) {
    vextest::writeFile(dir / "m.mdf", bytes);
    return open(lib, dir / "m.mdf");
}

}  // namespace

TEST(LorimarMalformed, BrokenLinksSizesAndChainsAreRefused) {
    vextest::TempDir dir;
    const std::string base = baseFile(dir.path());
    const Offsets o = offsetsOf(base);
    {
        CLorimar lib;
        ASSERT_EQ(openBytes(dir.path(), base, lib), MDF_OK);
        ASSERT_EQ(lib.GetMdfFileInfo().dataGroups.size(), 2u);
    }
    const uint32_t size = static_cast<uint32_t>(base.size());
    struct Case {
        const char* what;
        std::function<void(std::string&)> spoil;
        uint32_t rc;
    };
    const Case cases[] = {
        {"first data group past the end", [&](std::string& b) { set32(b, 68, size + 10); }, MDF_ERR_BLOCK},
        {"first data group at the last bytes", [&](std::string& b) { set32(b, 68, size - 2); },
         MDF_ERR_BLOCK},
        {"link into the identification block", [&](std::string& b) { set32(b, 68, 8); }, MDF_ERR_BLOCK},
        {"header size beyond the file", [&](std::string& b) { set16(b, 66, 0xFFFF); }, MDF_ERR_BLOCK},
        {"header smaller than its fields", [&](std::string& b) { set16(b, 66, 100); }, MDF_ERR_BLOCK},
        {"no HD identifier", [&](std::string& b) { b[64] = 'X'; }, MDF_ERR_BLOCK},
        {"channel group link to a channel", [&](std::string& b) { set32(b, o.plainDg + 8, o.x); },
         MDF_ERR_BLOCK},
        {"text block of size 2", [&](std::string& b) { set16(b, o.xtx + 2, 2); }, MDF_ERR_BLOCK},
        {"text block past the end", [&](std::string& b) { set16(b, o.xtx + 2, 0xFFF0); }, MDF_ERR_BLOCK},
        {"channel chain to itself", [&](std::string& b) { set32(b, o.x + 4, o.x); }, MDF_ERR_BLOCK},
        {"channel chain back to its first", [&](std::string& b) { set32(b, o.x + 4, o.y); }, MDF_ERR_BLOCK},
        {"data-group chain to itself", [&](std::string& b) { set32(b, o.plainDg + 4, o.mixedDg); },
         MDF_ERR_BLOCK},
        {"channel smaller than its fields", [&](std::string& b) { set16(b, o.x + 2, 200); }, MDF_ERR_BLOCK},
        {"linear conversion without its parameters", [&](std::string& b) { set16(b, o.xcc + 2, 50); },
         MDF_ERR_BLOCK},
        {"table larger than its block",
         [&](std::string& b) {
             set16(b, o.xcc + 42, 1);
             set16(b, o.xcc + 44, 5);
         },
         MDF_ERR_BLOCK},
        {"extension of type 5", [&](std::string& b) { set16(b, o.yce + 4, 5); }, MDF_ERR_CHANNEL_GROUP},
        {"CAN extension smaller than its fields", [&](std::string& b) { set16(b, o.yce + 2, 40); },
         MDF_ERR_BLOCK},
        {"three record identifiers", [&](std::string& b) { set16(b, o.mixedDg + 22, 3); }, MDF_ERR_BLOCK},
        {"several groups without identifiers", [&](std::string& b) { set16(b, o.mixedDg + 22, 0); },
         MDF_ERR_MIXED_NO_RECORD_ID},
        {"dependency link to a text", [&](std::string& b) { set32(b, o.x + 16, o.xtx); }, MDF_ERR_BLOCK},
        {"file comment broken: ignored", [&](std::string& b) { set32(b, 72, size + 100); }, MDF_OK},
    };
    for (const Case& c : cases) {
        std::string bytes = base;
        c.spoil(bytes);
        CLorimar lib;
        EXPECT_EQ(openBytes(dir.path(), bytes, lib), c.rc) << c.what;
        // A refused file leaves the object idle: the intact file opens next.
        if (c.rc != MDF_OK) {
            EXPECT_EQ(openBytes(dir.path(), base, lib), MDF_OK) << c.what;
        }
    }
}

TEST(LorimarMalformed, RecordsAndBitsBeyondTheDataAreNotRead) {
    vextest::TempDir dir;
    const std::string base = baseFile(dir.path());
    const Offsets o = offsetsOf(base);
    {
        // The plain group claims a million records: only the four complete ones in the file... and the bytes
        // after them up to the file's end, which the file does hold, count too.
        std::string b = base;
        set32(b, o.plainCg + 22, 1000000);
        CLorimar lib;
        ASSERT_EQ(openBytes(dir.path(), b, lib), MDF_OK);
        const tMDF_CG_INFO& cg = lib.GetMdfFileInfo().dataGroups[1].channelGroups[0];
        const uint32_t available = static_cast<uint32_t>((b.size() - get32(b, o.plainDg + 16)) / 3);
        EXPECT_EQ(cg.recordCount, available);
        uint32_t v;
        EXPECT_EQ(lib.GetChannelRawData(static_cast<uint16_t>(cg.channels[0].channelNumber), available, v),
                  MDF_ERR_RECORD_INDEX);
        EXPECT_EQ(
            lib.GetChannelRawData(static_cast<uint16_t>(cg.channels[0].channelNumber), available - 1, v),
            MDF_OK);
    }
    {
        // Data link past the end: no records.
        std::string b = base;
        set32(b, o.plainDg + 16, static_cast<uint32_t>(b.size()) + 5);
        CLorimar lib;
        ASSERT_EQ(openBytes(dir.path(), b, lib), MDF_OK);
        EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[1].channelGroups[0].recordCount, 0u);
    }
    {
        // The mixed group claims more records than its data holds, and an unknown identifier ends the scan.
        std::string b = base;
        set32(b, o.mixedCg + 22, 50);
        CLorimar lib;
        ASSERT_EQ(openBytes(dir.path(), b, lib), MDF_OK);
        EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].recordCount, 4u);
        std::string c = base;
        c[get32(c, o.mixedDg + 16) + 2 * 2] = 7;  // third record's identifier
        ASSERT_EQ(lib.CloseMdfFile(), MDF_OK);
        ASSERT_EQ(openBytes(dir.path(), c, lib), MDF_OK);
        const auto& groups = lib.GetMdfFileInfo().dataGroups[0].channelGroups;
        EXPECT_EQ(groups[0].recordCount + groups[1].recordCount, 2u);
    }
    {
        // A channel whose bits lie outside its record opens but cannot be read.
        std::string b = base;
        set16(b, o.y + 186, 20);
        CLorimar lib;
        ASSERT_EQ(openBytes(dir.path(), b, lib), MDF_OK);
        double v;
        EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, "y"), 0, v), MDF_ERR_DATA_TYPE);
        EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, "x"), 0, v), MDF_OK);
        set16(b, o.y + 186, 8);
        set16(b, o.y + 226, 1);  // additional byte offset pushes it out
        ASSERT_EQ(lib.CloseMdfFile(), MDF_OK);
        ASSERT_EQ(openBytes(dir.path(), b, lib), MDF_OK);
        EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, "y"), 0, v), MDF_ERR_DATA_TYPE);
    }
}

TEST(LorimarMalformed, EveryTruncationAndManyCorruptionsAreHandled) {
    vextest::TempDir dir;
    const std::string base = baseFile(dir.path());
    auto readAll = [](CLorimar& lib) {
        for (const tMDF_DG_INFO& dg : lib.GetMdfFileInfo().dataGroups)
            for (const tMDF_CG_INFO& cg : dg.channelGroups)
                for (const tMDF_CN_INFO& cn : cg.channels)
                    for (uint32_t r = 0; r <= cg.recordCount; ++r) {
                        double v;
                        std::string t;
                        lib.GetChannelPhyData(static_cast<uint16_t>(cn.channelNumber), r, v);
                        lib.GetChannelPhyData(static_cast<uint16_t>(cn.channelNumber), r, t);
                    }
    };
    for (size_t n = 1; n < base.size(); ++n) {
        CLorimar lib;
        const uint32_t rc = openBytes(dir.path(), base.substr(0, n), lib);
        EXPECT_TRUE(rc == MDF_OK || rc == MDF_ERR_BLOCK) << n << " gave " << rc;
        if (rc == MDF_OK) readAll(lib);
    }
    std::mt19937 rng(3);
    for (int i = 0; i < 3000; ++i) {
        std::string b = base;
        for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k)
            b[rng() % b.size()] = static_cast<char>(rng());
        CLorimar lib;
        if (openBytes(dir.path(), b, lib) == MDF_OK) readAll(lib);
    }
}

TEST(LorimarMalformed, MoreChannelsThanNumbersIsTooLarge) {
    vextest::TempDir dir;
    mdfref::File f;
    mdfref::DataGroup& dg = f.dataGroups.emplace_back();
    mdfref::ChannelGroup& cg = dg.groups.emplace_back();
    cg.recordSize = 1;
    cg.channels.resize(65537);
    for (auto& cn : cg.channels) cn.bitCount = 1;
    CLorimar lib;
    EXPECT_EQ(openBytes(dir.path(), mdfref::write(f), lib), MDF_ERR_TOO_LARGE);
    cg.channels.resize(65536);
    ASSERT_EQ(openBytes(dir.path(), mdfref::write(f), lib), MDF_OK);
    EXPECT_EQ(lib.GetMdfFileInfo().dataGroups[0].channelGroups[0].channels.back().channelNumber, 65535u);
}

TEST(LorimarMalformed, SharedBlocksCannotMultiplyIntoAHugeDescription) {
    vextest::TempDir dir;
    mdfref::File f;
    mdfref::ChannelGroup& cg = f.dataGroups.emplace_back().groups.emplace_back();
    cg.channels.resize(5000);
    std::string b = mdfref::write(f);
    // Every channel's comment link points at one text block of 65,000 bytes: 325 MB as separate texts.
    const uint32_t tx = static_cast<uint32_t>(b.size());
    b += "TX";
    b += std::string("\xE8\xFD", 2);  // size 65,000
    b += std::string(65000 - 4, 'c');
    const uint32_t cgAt = get32(b, get32(b, 68) + 8);
    for (uint32_t cn = get32(b, cgAt + 8); cn != 0; cn = get32(b, cn + 4)) set32(b, cn + 20, tx);
    CLorimar lib;
    EXPECT_EQ(openBytes(dir.path(), b, lib), MDF_ERR_TOO_LARGE);
}
