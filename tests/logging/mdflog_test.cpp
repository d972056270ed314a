// The MDF log: the file's exact size and blocks (checked by the independent MDF 3 reader), round trips,
// the unwrapped time channel, the reading rules, and files of other layouts refused with their reason.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "logging/canmsgmdflogfile.h"
#include "tests/logging/logtest.h"
#include "tests/mdf/mdf3ref.h"
#include "tests/mdf/mdftest.h"

namespace {

std::tm FixedNow() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    return t;
}

tCAN_RAW_MSG Frame(uint32_t id, uint8_t ext, uint8_t dir, uint8_t remote, uint8_t chan, uint8_t dlc,
                   double timeMs, uint8_t first = 0x10) {
    tCAN_RAW_MSG m;
    m.Id = id;
    m.Ext = ext;
    m.Dir = dir;
    m.Remote = remote;
    m.Chan = chan;
    m.Dlc = dlc;
    for (int i = 0; i < 8; ++i) m.Data[i] = static_cast<uint8_t>(first + i);
    m.TimeMs = timeMs;
    return m;
}

// The independent reader lists a group's channels in the file's chain order.
const mdfref::Channel& ByName(const mdfref::ChannelGroup& cg, const std::string& name) {
    for (const mdfref::Channel& ch : cg.channels)
        if (ch.name == name) return ch;
    throw std::runtime_error("no channel " + name);
}

class MdfLogTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<tCAN_RAW_MSG>& frames) {
        const std::string path = (dir / name).string();
        CCanMsgMdfLogFile writer(FixedNow);
        EXPECT_TRUE(writer.OpenWrite(path));
        for (const tCAN_RAW_MSG& m : frames) writer.WriteMsg(m);
        EXPECT_TRUE(writer.CloseWrite()) << writer.LastError();
        return path;
    }
    std::vector<tCAN_RAW_MSG> ReadAll(const std::string& path) {
        CCanMsgMdfLogFile reader;
        uint32_t n = 0;
        EXPECT_TRUE(reader.OpenRead(path, count, duration)) << reader.LastError();
        std::vector<tCAN_RAW_MSG> out(count);
        if (count > 0) {
            EXPECT_TRUE(reader.ReadByIndex(0, count, out.data(), count, n));
        }
        return out;
    }

    vextest::TempDir dir;
    uint32_t count = 0;
    double duration = -1.0;
};

// 23 bytes a frame (a record identifier byte and 22 record bytes) after 4,444 bytes of blocks; the
// independent reader finds the header texts, the channel table and the records.
TEST_F(MdfLogTest, FileSizeAndBlocksAreExact) {
    for (uint32_t n : {0u, 1u, 3u, 300u}) {
        std::vector<tCAN_RAW_MSG> frames;
        for (uint32_t i = 0; i < n; ++i) frames.push_back(Frame(0x100 + i % 5, 0, 0, 0, 1, 8, i * 10.0));
        const std::string path = Write("n" + std::to_string(n) + ".log", frames);
        EXPECT_EQ(std::filesystem::file_size(path), 4444u + 23u * n) << n;
    }
    const std::string bytes = vextest::readFile(dir / "n3.log");
    EXPECT_EQ(bytes.substr(0, 24), std::string("MDF     3.00\0\0\0\0Vexarium", 24));
    const mdfref::File f = mdfref::read(bytes);
    EXPECT_EQ(f.date, "05:03:2024");
    EXPECT_EQ(f.time, "14:07:09");
    EXPECT_EQ(f.author, "Vexarium");
    EXPECT_EQ(f.organisation, "Mdf file create");
    EXPECT_EQ(f.project, "mdf create test project");
    EXPECT_EQ(f.subject, "mdf(ver300) create");
    EXPECT_EQ(f.comment, "Vexar mdf log file.");
    ASSERT_EQ(f.dataGroups.size(), 1u);
    EXPECT_EQ(f.dataGroups[0].idCount, 1);
    ASSERT_EQ(f.dataGroups[0].groups.size(), 1u);
    const mdfref::ChannelGroup& cg = f.dataGroups[0].groups[0];
    EXPECT_EQ(cg.comment, "CAN message");
    EXPECT_EQ(cg.recordSize, 22);
    EXPECT_EQ(cg.recordCount, 3u);
    const char* names[] = {"type",   "can",    "id",     "dir",    "rtr",    "dlc",    "msg[0]", "msg[1]",
                           "msg[2]", "msg[3]", "msg[4]", "msg[5]", "msg[6]", "msg[7]", "msgtime"};
    ASSERT_EQ(cg.channels.size(), 15u);
    const int starts[] = {0, 8, 24, 56, 64, 72, 80, 88, 96, 104, 112, 120, 128, 136, 144};
    for (int c = 0; c < 15; ++c) {
        const mdfref::Channel& ch = ByName(cg, names[c]);
        EXPECT_EQ(ch.channelType, c == 14 ? 1 : 0) << names[c];
        EXPECT_EQ(ch.startBit, starts[c]) << names[c];
        EXPECT_EQ(ch.bitCount, c == 1 ? 16 : c == 2 || c == 14 ? 32 : 8) << names[c];
        EXPECT_EQ(ch.dataType, c == 1 || c == 2 ? 1 : 0) << names[c];
        EXPECT_EQ(ch.conv.type, 0xFFFF) << names[c];
    }
    EXPECT_EQ(mdfref::number(false, ByName(cg, "msgtime"), cg.records[2]), 2000.0);  // 20 ms in 10 us units
    EXPECT_EQ(mdfref::number(false, ByName(cg, "id"), cg.records[1]), 0x101);
}

// Identifiers, flags, channels, lengths (9..15 kept) and all eight data bytes come back; times are cut to
// 0.01 ms; an extended identifier has bit 31 set in the file; a standard one comes back in 11 bits.
TEST_F(MdfLogTest, RoundTrip) {
    const std::vector<tCAN_RAW_MSG> frames = {
        Frame(0x18FEF100, 1, 0, 0, 1, 8, 1500.0), Frame(0x123, 0, 1, 0, 0, 3, 1500.019),
        Frame(0x7FF, 0, 0, 1, 255, 0, 1600.0, 0xF8), Frame(0x1FFFFFFF, 1, 1, 1, 2, 12, 1700.12345)};
    const std::string path = Write("rt.log", frames);
    const std::vector<tCAN_RAW_MSG> back = ReadAll(path);
    ASSERT_EQ(back.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        tCAN_RAW_MSG expect = frames[i];
        expect.TimeMs = std::floor(frames[i].TimeMs * 100.0) / 100.0;
        EXPECT_TRUE(logtest::SameFrame(back[i], expect)) << i << " time " << back[i].TimeMs;
    }
    EXPECT_DOUBLE_EQ(duration, 1700.12 - 1500.0);
    const mdfref::File f = mdfref::read(vextest::readFile(path));
    const mdfref::ChannelGroup& cg = f.dataGroups[0].groups[0];
    EXPECT_EQ(mdfref::field(false, ByName(cg, "id"), cg.records[0]), 0x98FEF100u);

    // A standard identifier beyond 11 bits reads back masked.
    const std::vector<tCAN_RAW_MSG> wide = ReadAll(Write("wide.log", {Frame(0xFFF, 0, 0, 0, 1, 0, 0.0)}));
    EXPECT_EQ(wide[0].Id, 0x7FFu);
}

// The time channel keeps the low 32 bits of 10 us units (it wraps after about 11.9 hours) and reads back
// unwrapped; out-of-range times have a defined value.
TEST_F(MdfLogTest, TimeChannelWrapsAndUnwraps) {
    struct Case {
        double ms;
        uint32_t units;
    } units[] = {{0.0, 0},
                 {1500.0, 150000},
                 {1500.019, 150001},
                 {42949672.95, 0xFFFFFFFF},
                 {42949672.96, 0},
                 {42949672.97, 1},
                 {-0.01, 0xFFFFFFFF},
                 {NAN, 0},
                 {1e300, 0xFFFFFFFF},
                 {85899345.92, 0}};
    for (const Case& c : units) EXPECT_EQ(MdfLogTimeUnits(c.ms), c.units) << c.ms;

    const double lap = 42949672.96;
    std::vector<tCAN_RAW_MSG> frames;
    const double times[] = {lap - 20.0, lap - 10.0, lap - 10.5,     lap,
                            lap + 10.0, 1.6 * lap,  2 * lap + 30.0, 2 * lap + 29.0};
    for (double t : times) frames.push_back(Frame(0x100, 0, 0, 0, 1, 0, t));
    const std::string path = Write("wrap.log", frames);
    const std::vector<tCAN_RAW_MSG> back = ReadAll(path);
    ASSERT_EQ(back.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_NEAR(back[i].TimeMs, times[i], 0.011) << i;
    EXPECT_NEAR(duration, 2 * lap + 29.0 - (lap - 20.0), 0.011);

    CCanMsgMdfLogFile reader;
    ASSERT_TRUE(reader.OpenRead(path, count, duration));
    tCAN_RAW_MSG buf[8];
    uint32_t n = 0;
    // lap - 5 .. lap + 15: the record at or after each end, both included.
    ASSERT_TRUE(reader.ReadByTime(15.0, 20.0, buf, 8, n));
    ASSERT_EQ(n, 3u);
    EXPECT_NEAR(buf[0].TimeMs, lap, 0.011);
}

// The window rule of ".crm" files: both ends included, each the record at or after its instant.
TEST_F(MdfLogTest, ReadByTimeWindows) {
    const std::string path = Write("win.log", logtest::FramesAt({0.0, 10.0, 20.0, 30.0}));
    CCanMsgMdfLogFile reader;
    ASSERT_TRUE(reader.OpenRead(path, count, duration));
    struct Case {
        double offset, span;
        uint32_t first, n;
    } cases[] = {{0, 30, 0, 4},   {5, 5, 1, 1},    {0, 0, 0, 1}, {10, 15, 1, 3},
                 {-100, 5, 0, 1}, {25, 100, 3, 1}, {31, 5, 3, 1}};
    for (const Case& c : cases) {
        tCAN_RAW_MSG buf[4];
        uint32_t n = 99;
        ASSERT_TRUE(reader.ReadByTime(c.offset, c.span, buf, 4, n)) << c.offset << "+" << c.span;
        ASSERT_EQ(n, c.n) << c.offset << "+" << c.span;
        EXPECT_EQ(buf[0].TimeMs, c.first * 10.0);
    }
    tCAN_RAW_MSG two[2];
    uint32_t n = 0;
    EXPECT_FALSE(reader.ReadByTime(0, 30, two, 2, n));  // the buffer holds only two
    EXPECT_EQ(n, 2u);
}

// Requests beyond the records or the buffer deliver nothing; start + number is computed in 64 bits.
TEST_F(MdfLogTest, ReadByIndexBounds) {
    const std::string path = Write("idx.log", logtest::FramesAt({0.0, 1.0, 2.0}));
    CCanMsgMdfLogFile reader;
    tCAN_RAW_MSG buf[3];
    uint32_t n = 0;
    EXPECT_FALSE(reader.ReadByIndex(0, 1, buf, 3, n));  // not open
    ASSERT_TRUE(reader.OpenRead(path, count, duration));
    struct Case {
        uint32_t start, number, capacity;
        bool ok;
        uint32_t n;
    } cases[] = {{0, 3, 3, true, 3},           {2, 1, 3, true, 1},  {1, 3, 3, false, 0}, {3, 0, 3, false, 0},
                 {1, 0xFFFFFFFF, 3, false, 0}, {0, 3, 2, false, 0}, {1, 0, 3, true, 0}};
    for (const Case& c : cases) {
        n = 99;
        EXPECT_EQ(reader.ReadByIndex(c.start, c.number, buf, c.capacity, n), c.ok)
            << c.start << "," << c.number;
        if (c.start < 3) {
            EXPECT_EQ(n, c.n) << c.start << "," << c.number;
        }
    }
    EXPECT_FALSE(reader.ReadByIndex(0, 1, nullptr, 3, n));
    EXPECT_FALSE(reader.OpenWrite((dir / "other.log").string()));  // reading
    reader.CloseRead();
    EXPECT_FALSE(reader.CloseWrite());
}

// Files of other layouts are refused with their reason, and the reader can open the next file.
TEST_F(MdfLogTest, OtherLayoutsAreRefusedWithTheirReason) {
    auto make = [&](const std::string& name, tMDF_FILE desc) {
        CLorimar lib;
        EXPECT_EQ(lib.CreateMdfFile(desc), 0u);
        EXPECT_EQ(mdftest::save(lib, dir / name), 0u);
        return (dir / name).string();
    };
    tMDF_FILE twoGroups = MdfLogFileDesc(FixedNow());
    twoGroups.dataGroups.push_back(twoGroups.dataGroups[0]);
    tMDF_FILE fourteen = MdfLogFileDesc(FixedNow());
    fourteen.dataGroups[0].channelGroups[0].channels.pop_back();
    tMDF_FILE moved = MdfLogFileDesc(FixedNow());
    std::swap(moved.dataGroups[0].channelGroups[0].channels[0],
              moved.dataGroups[0].channelGroups[0].channels[1]);
    tMDF_FILE scaled = MdfLogFileDesc(FixedNow());
    scaled.dataGroups[0].channelGroups[0].channels[5].convType = MDF_CONV_LINEAR;
    scaled.dataGroups[0].channelGroups[0].channels[5].params[1] = 2.0;

    struct Case {
        std::string path;
        const char* reason;  // empty: opens
    } cases[] = {
        {make("two.log", twoGroups), "文件有2个数据组，应为1个。"},
        {make("fourteen.log", fourteen), "通道组有14个通道，应为15个。"},
        {make("moved.log", moved), "的位置(16,8)不在记录格式中。"},
        {make("scaled.log", scaled), "通道[dlc]的转换不是一对一转换。"},
        {make("empty.log", MdfLogFileDesc(FixedNow())), ""},
    };
    CCanMsgMdfLogFile reader;
    for (const Case& c : cases) {
        const bool ok = reader.OpenRead(c.path, count, duration);
        EXPECT_EQ(ok, std::string(c.reason).empty()) << c.path;
        if (ok) {
            EXPECT_EQ(count, 0u);
            reader.CloseRead();
            continue;
        }
        EXPECT_NE(reader.LastError().find(c.reason), std::string::npos) << reader.LastError();
        EXPECT_NE(reader.LastError().find("不是MDF记录文件"), std::string::npos) << reader.LastError();
    }
    vextest::writeFile(dir / "junk.log", "not a measurement file");
    EXPECT_FALSE(reader.OpenRead((dir / "junk.log").string(), count, duration));
    EXPECT_NE(reader.LastError().find("junk.log"), std::string::npos);
}

// A log whose record count was damaged reads the records it holds, not the bytes of the block tree after its
// data, and says that it is damaged; a whole log says nothing. The text names each group that declares
// more than it holds, at most eight of them.
TEST_F(MdfLogTest, ADamagedRecordCountReadsTheRecordsTheLogHolds) {
    std::vector<tCAN_RAW_MSG> frames;
    for (uint32_t i = 0; i < 50; ++i) frames.push_back(Frame(0x100 + i, 0, 0, 0, 1, 8, i * 10.0, uint8_t(i)));
    const std::string path = Write("damaged.log", frames);
    CCanMsgMdfLogFile reader;
    ASSERT_TRUE(reader.OpenRead(path, count, duration));
    EXPECT_EQ(reader.DamageText(), "");
    reader.CloseRead();

    mdftest::damageRecordCount(path, 0xFFFFFFF0u);
    const std::vector<tCAN_RAW_MSG> read = ReadAll(path);
    ASSERT_EQ(read.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_TRUE(logtest::SameFrame(read[i], frames[i])) << i;
    EXPECT_EQ(duration, 490.0);
    ASSERT_TRUE(reader.OpenRead(path, count, duration));
    EXPECT_EQ(reader.DamageText(),
              "文件 " + path +
                  " 已损坏，只读取文件中完整的记录：\n数据组[0]的通道组[0]声明有4294967280条"
                  "记录，文件中只有50条。");
    reader.CloseRead();

    // Ten groups that hold fewer records than they declare, one whole one: eight named, two counted.
    tMDF_FILE file;
    file.dataGroups.resize(3);
    for (tMDF_DG_INFO& dg : file.dataGroups) dg.channelGroups.resize(4);
    std::string expected = "文件 f.mdf 已损坏，只读取文件中完整的记录：";
    for (size_t d = 0; d < 3; ++d)
        for (size_t g = 0; g < 4; ++g) {
            tMDF_CG_INFO& cg = file.dataGroups[d].channelGroups[g];
            cg.recordCount = 8;
            cg.declaredRecordCount = d == 0 && g < 2 ? 8 : 9;
            if (cg.declaredRecordCount == 9 && d * 4 + g < 10)
                expected += "\n数据组[" + std::to_string(d) + "]的通道组[" + std::to_string(g) +
                            "]声明有9条记录，文件中只有8条。";
        }
    expected += "\n另有2个通道组的记录少于声明的数目。";
    EXPECT_EQ(MdfDamageText(file, "f.mdf"), expected);
    file.dataGroups.resize(1);
    file.dataGroups[0].channelGroups.resize(2);
    EXPECT_EQ(MdfDamageText(file, "f.mdf"), "");
}

// A save that fails is reported and leaves no file; a writer dropped unsaved leaves no file either.
TEST_F(MdfLogTest, FailedSaves) {
    CCanMsgMdfLogFile writer;
    const std::string bad = (dir / "no" / "such.log").string();
    ASSERT_TRUE(writer.OpenWrite(bad));
    writer.WriteMsg(Frame(1, 0, 0, 0, 1, 0, 0.0));
    EXPECT_FALSE(writer.CloseWrite());
    EXPECT_NE(writer.LastError().find("such.log"), std::string::npos);
    {
        CCanMsgMdfLogFile dropped;
        ASSERT_TRUE(dropped.OpenWrite((dir / "dropped.log").string()));
        dropped.WriteMsg(Frame(1, 0, 0, 0, 1, 0, 0.0));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "dropped.log"));
}

}  // namespace
