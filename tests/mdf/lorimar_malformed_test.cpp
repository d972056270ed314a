// Hostile files: every link, size, chain and count is checked against the file; a malformed file gives an
// error result (or, for data that is short, fewer records), never a read outside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <stdexcept>

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
        // The plain group claims a million records: only the four complete ones before the mixed group's data
        // block are its records.
        std::string b = base;
        set32(b, o.plainCg + 22, 1000000);
        CLorimar lib;
        ASSERT_EQ(openBytes(dir.path(), b, lib), MDF_OK);
        const tMDF_CG_INFO& cg = lib.GetMdfFileInfo().dataGroups[1].channelGroups[0];
        ASSERT_LT(get32(b, o.plainDg + 16), get32(b, o.mixedDg + 16));
        EXPECT_EQ(cg.recordCount, 4u);
        EXPECT_EQ(cg.declaredRecordCount, 1000000u);
        uint32_t v;
        EXPECT_EQ(lib.GetChannelRawData(numberOf(lib, "x"), 4, v), MDF_ERR_RECORD_INDEX);
        EXPECT_EQ(lib.GetChannelRawData(numberOf(lib, "x"), 3, v), MDF_OK);
        EXPECT_EQ(v, 3u);
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

namespace {

// A file of the library's own: data groups "a" (1,320 records) and "b" (700), each one channel group of a
// time channel and a 16-bit value (value of record r: r * 7 + 1 in "a", r * 3 + 2 in "b"). The library
// places the data blocks right after the header, "a"'s first, and the block tree after them.
std::string twoGroups(const std::filesystem::path& dir) {
    tMDF_FILE desc = file();
    desc.dataGroups.resize(2);
    const char* names[2] = {"a", "b"};
    for (size_t d = 0; d < 2; ++d) {
        tMDF_CN_INFO time = channel(std::string("t") + names[d], MDF_UINT, 32);
        time.channelType = 1;
        desc.dataGroups[d].channelGroups.resize(1);
        desc.dataGroups[d].channelGroups[0].channels = {time, channel(names[d], MDF_UINT, 16)};
    }
    CLorimar lib;
    EXPECT_EQ(lib.CreateMdfFile(desc), MDF_OK);
    for (uint32_t r = 0; r < 1320; ++r) {
        const uint8_t slot = static_cast<uint8_t>(r);
        lib.InputSamplingData(0, slot, r * 10);
        lib.InputSamplingData(1, slot, r * 7 + 1);
        if (r < 700) {
            lib.InputSamplingData(2, slot, r * 10);
            lib.InputSamplingData(3, slot, r * 3 + 2);
        }
    }
    EXPECT_EQ(save(lib, dir / "two.mdf"), MDF_OK);
    return vextest::readFile(dir / "two.mdf");
}

// The channel-group block and the data link of each data group, in the order of the data blocks.
std::vector<std::pair<size_t, uint32_t>> groupsOf(const std::string& b) {
    std::vector<std::pair<size_t, uint32_t>> out;
    for (uint32_t dg = get32(b, 68); dg != 0; dg = get32(b, dg + 4))
        out.emplace_back(get32(b, dg + 8), get32(b, dg + 16));
    std::sort(out.begin(), out.end(), [](const auto& x, const auto& y) { return x.second < y.second; });
    return out;
}

// The channel group that holds the channel of that name.
const tMDF_CG_INFO& groupOf(const CLorimar& lib, const std::string& channel) {
    for (const tMDF_DG_INFO& dg : lib.GetMdfFileInfo().dataGroups)
        for (const tMDF_CG_INFO& cg : dg.channelGroups)
            for (const tMDF_CN_INFO& cn : cg.channels)
                if (cn.shortName == channel) return cg;
    throw std::runtime_error("no channel " + channel);
}

}  // namespace

// MDF 3 data blocks carry no length: a channel group whose record count was damaged (0xFFFFFFF0 at its
// block's offset 22) reads the complete records that lie before the next block or data block of the file,
// never the bytes of the blocks after it, and tells the count it declares. A smaller count is kept.
TEST(LorimarMalformed, ADamagedRecordCountReadsOnlyTheRecordsBeforeTheNextBlock) {
    vextest::TempDir dir;
    const std::string base = twoGroups(dir.path());
    const auto groups = groupsOf(base);
    ASSERT_EQ(groups.size(), 2u);
    // "a"'s data, then "b"'s, then blocks.
    ASSERT_EQ(groups[1].second - groups[0].second, 1320u * 6u);
    ASSERT_LT(groups[1].second + 700u * 6u, base.size());
    const size_t cgA = groups[0].first, cgB = groups[1].first;
    auto expectGroups = [&](const std::string& bytes, uint32_t declaredA, uint32_t heldA, uint32_t declaredB,
                            uint32_t heldB) {
        CLorimar lib;
        ASSERT_EQ(openBytes(dir.path(), bytes, lib), MDF_OK);
        const tMDF_CG_INFO& a = groupOf(lib, "a");
        const tMDF_CG_INFO& b = groupOf(lib, "b");
        EXPECT_EQ(a.declaredRecordCount, declaredA);
        EXPECT_EQ(a.recordCount, heldA);
        EXPECT_EQ(b.declaredRecordCount, declaredB);
        EXPECT_EQ(b.recordCount, heldB);
        // Every record read is one that was written.
        std::vector<double> values(std::max(heldA, heldB));
        ASSERT_EQ(lib.GetChannelPhyData(numberOf(lib, "a"), 0, heldA, values.data()), MDF_OK);
        for (uint32_t r = 0; r < heldA; ++r) ASSERT_EQ(values[r], r * 7 + 1) << r;
        ASSERT_EQ(lib.GetChannelPhyData(numberOf(lib, "b"), 0, heldB, values.data()), MDF_OK);
        for (uint32_t r = 0; r < heldB; ++r) ASSERT_EQ(values[r], r * 3 + 2) << r;
        double t;
        EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, "ta"), heldA, t), MDF_ERR_RECORD_INDEX);
        EXPECT_EQ(lib.GetChannelPhyData(numberOf(lib, "tb"), heldB, t), MDF_ERR_RECORD_INDEX);
    };
    {
        SCOPED_TRACE("undamaged");
        expectGroups(base, 1320, 1320, 700, 700);
    }
    {
        SCOPED_TRACE("the first group's count damaged: the next data block ends it");
        std::string b = base;
        set32(b, cgA + 22, 0xFFFFFFF0u);
        expectGroups(b, 0xFFFFFFF0u, 1320, 700, 700);
    }
    {
        SCOPED_TRACE("both counts damaged: the block tree ends the second");
        std::string b = base;
        set32(b, cgA + 22, 0xFFFFFFF0u);
        set32(b, cgB + 22, 0xFFFFFFF0u);
        expectGroups(b, 0xFFFFFFF0u, 1320, 0xFFFFFFF0u, 700);
    }
    {
        SCOPED_TRACE("a smaller count is kept");
        std::string b = base;
        set32(b, cgA + 22, 100);
        expectGroups(b, 100, 100, 700, 700);
    }
}

// A file another program wrote with its data block last: a damaged count reads every complete record up to
// the file's end, as a file whose data block is last always did (here bytes follow the records: one record
// and a byte more). A block linked after the data (the file comment, appended) ends them as any block does.
TEST(LorimarMalformed, ADamagedCountInTheLastDataBlockReadsToTheFilesEndOrTheNextBlock) {
    vextest::TempDir dir;
    mdfref::File f;
    mdfref::DataGroup& dg = f.dataGroups.emplace_back();
    mdfref::ChannelGroup& cg = dg.groups.emplace_back();
    cg.recordSize = 2;
    mdfref::Channel v;
    v.name = "v";
    v.bitCount = 16;
    cg.channels.push_back(v);
    for (uint16_t r = 0; r < 50; ++r) {
        std::string record(2, '\0');
        mdfref::putField(false, 0, 16, r + 1000u, record);
        dg.records.emplace_back(0, record);
    }
    cg.recordCount = 50;
    const std::string bytes = mdfref::write(f) + std::string(3, '\xAB');
    const size_t cgAt = get32(bytes, get32(bytes, 68) + 8);
    std::string comment = "TX";
    comment += std::string(2, '\0') + "appended comment" + std::string(1, '\0');
    set16(comment, 2, static_cast<uint16_t>(comment.size()));
    const struct Case {
        const char* what;
        uint32_t count;
        bool commentAfter;
        uint32_t held;
        uint32_t last;  // the last record's value
    } cases[] = {
        {"whole", 50, false, 50, 1049},
        {"damaged", 0xFFFFFFF0u, false, 51, 0xABAB},
        {"damaged, a comment after the data", 0xFFFFFFF0u, true, 51, 0xABAB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string b = bytes;
        set32(b, cgAt + 22, c.count);
        if (c.commentAfter) {
            set32(b, 72, static_cast<uint32_t>(b.size()));
            b += comment;
        }
        CLorimar lib;
        ASSERT_EQ(openBytes(dir.path(), b, lib), MDF_OK);
        const tMDF_CG_INFO& read = lib.GetMdfFileInfo().dataGroups[0].channelGroups[0];
        EXPECT_EQ(read.declaredRecordCount, c.count);
        EXPECT_EQ(read.recordCount, c.held);
        uint32_t value;
        ASSERT_EQ(lib.GetChannelRawData(numberOf(lib, "v"), 49, value), MDF_OK);
        EXPECT_EQ(value, 1049u);
        ASSERT_EQ(lib.GetChannelRawData(numberOf(lib, "v"), read.recordCount - 1, value), MDF_OK);
        EXPECT_EQ(value, c.last);
        if (c.commentAfter) {
            EXPECT_EQ(lib.GetMdfFileInfo().comment, "appended comment");
        }
    }
}
