// The ".crm" record and file: byte-exact records, files of any size, the reading rules with a caller's
// capacity, checked writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <limits>

#include "logging/canmsgbincrmfile.h"
#include "tests/logging/logtest.h"

namespace {

using logtest::Frame;
using logtest::FramesAt;

std::string hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02x ", c);
        out += b;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

tCAN_RAW_MSG raw(uint32_t id, uint8_t ext, uint8_t remote, uint8_t dir, uint8_t chan, uint8_t dlc,
                 uint8_t first, double time) {
    tCAN_RAW_MSG m;
    m.Id = id;
    m.Ext = ext;
    m.Remote = remote;
    m.Dir = dir;
    m.Chan = chan;
    m.Dlc = dlc;
    for (int i = 0; i < 8; ++i) m.Data[i] = static_cast<uint8_t>(first + i);
    m.TimeMs = time;
    return m;
}

class CrmFileTest : public ::testing::Test {
protected:
    std::string Make(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        vextest::writeFile(path, bytes);
        return path;
    }
    vextest::TempDir dir;
    CCanMsgBinCrmFile file;
    uint32_t count = 0;
    double duration = -1.0;
};

// Written field by field as the frame stands (flags not normalised, a length above 8 kept, all eight data
// bytes); read back with the flags as 0 or 1 and everything else unchanged.
TEST_F(CrmFileTest, RecordsAreByteExact) {
    struct Case {
        tCAN_RAW_MSG frame;
        const char* bytes;
    } cases[] = {
        {raw(0x123, 0, 0, 0, 1, 3, 0x11, 1.5),
         "23 01 00 00 00 00 00 00 00 00 00 00 00 f8 3f 01 03 11 12 13 14 15 16 17 18"},
        {raw(0x18FEF100, 2, 1, 7, 0, 15, 0x01, -0.25),
         "00 f1 fe 18 02 01 07 00 00 00 00 00 00 d0 bf 00 0f 01 02 03 04 05 06 07 08"},
        {raw(0xFFFFFFFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF8, 1e300),
         "ff ff ff ff ff ff ff 9c 75 00 88 3c e4 37 7e ff ff f8 f9 fa fb fc fd fe ff"},
    };
    const std::string path = (dir / "exact.crm").string();
    ASSERT_TRUE(file.OpenWrite(path));
    for (const Case& c : cases) file.WriteMsg(c.frame);
    ASSERT_TRUE(file.CloseWrite());
    const std::string bytes = vextest::readFile(path);
    ASSERT_EQ(bytes.size(), std::size(cases) * kCrmRecordSize);
    ASSERT_TRUE(file.OpenRead(path, count, duration));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(duration, 1e300 - 1.5);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(hex(bytes.substr(i * kCrmRecordSize, kCrmRecordSize)), cases[i].bytes) << i;
        tCAN_RAW_MSG back[1];
        uint32_t n = 0;
        ASSERT_TRUE(file.ReadByIndex(static_cast<uint32_t>(i), 1, back, 1, n));
        tCAN_RAW_MSG expected = cases[i].frame;
        expected.Ext = expected.Ext != 0;
        expected.Remote = expected.Remote != 0;
        expected.Dir = expected.Dir != 0;
        EXPECT_TRUE(logtest::SameFrame(back[0], expected)) << i;
    }
}

// Any size opens: the record count is size / 25, a partial record is never read, an empty log has 0
// records and a duration of 0.
TEST_F(CrmFileTest, FilesOfAnySizeOpen) {
    const std::string two = logtest::CrmBytes(FramesAt({5.0, 7.5}));
    struct Case {
        std::string bytes;
        uint32_t records;
        double duration;
    } cases[] = {
        {"", 0, 0.0}, {std::string(24, 'x'), 0, 0.0}, {two, 2, 2.5}, {two + std::string(24, 'x'), 2, 2.5}};
    for (const Case& c : cases) {
        const std::string path = Make("f.crm", c.bytes);
        ASSERT_TRUE(file.OpenRead(path, count, duration)) << c.bytes.size();
        EXPECT_EQ(count, c.records);
        EXPECT_EQ(duration, c.duration);
        tCAN_RAW_MSG buf[4];
        uint32_t n = 99;
        EXPECT_EQ(file.ReadByIndex(0, 4, buf, 4, n), false);
        EXPECT_EQ(n, c.records == 0 ? 99u : c.records);
        EXPECT_EQ(file.ReadByTime(0.0, 100.0, buf, 4, n), c.records > 0);
        file.CloseRead();
    }
}

// 4 GiB and more open while the record count fits 32 bits (sparse files); one record more is refused.
TEST_F(CrmFileTest, HugeFiles) {
    const std::string path = (dir / "huge.crm").string();
    struct Case {
        uint64_t size;
        bool opens;
    } cases[] = {{(uint64_t{1} << 32) + 7 * kCrmRecordSize + 3, true},
                 {uint64_t{0xFFFFFFFF} * kCrmRecordSize + 24, true},
                 {uint64_t{0x100000000} * kCrmRecordSize, false}};
    for (const Case& c : cases) {
        vextest::writeFile(path, "");
        if (::truncate(path.c_str(), static_cast<off_t>(c.size)) != 0) GTEST_SKIP() << "no sparse files here";
        EXPECT_EQ(file.OpenRead(path, count, duration), c.opens) << c.size;
        if (!c.opens) {
            EXPECT_NE(file.LastError().find("4294967295"), std::string::npos);
            continue;
        }
        EXPECT_EQ(count, c.size / kCrmRecordSize);
        tCAN_RAW_MSG last[1];
        uint32_t n = 0;
        ASSERT_TRUE(file.ReadByIndex(count - 1, 1, last, 1, n));
        EXPECT_EQ(last[0].TimeMs, 0.0);
        file.CloseRead();
    }
}

// By index: a start at or past the end, too few records, or too small a buffer deliver what there is and
// fail; nothing is written past the capacity.
TEST_F(CrmFileTest, ReadByIndexHonoursCapacity) {
    ASSERT_TRUE(file.OpenRead(Make("f.crm", logtest::CrmBytes(FramesAt({0, 1, 2, 3, 4}))), count, duration));
    struct Case {
        uint32_t start, number, capacity;
        bool ok;
        uint32_t delivered;
    } cases[] = {{0, 5, 5, true, 5},  {1, 2, 2, true, 2},  {3, 9, 9, false, 2},
                 {5, 1, 1, false, 0}, {0, 5, 3, false, 3}, {0xFFFFFFFF, 1, 1, false, 0}};
    for (const Case& c : cases) {
        std::vector<tCAN_RAW_MSG> buf(c.capacity + 1, Frame(77, -1.0));
        uint32_t n = 0;
        EXPECT_EQ(file.ReadByIndex(c.start, c.number, buf.data(), c.capacity, n), c.ok) << c.start;
        if (c.start >= 5) continue;
        EXPECT_EQ(n, c.delivered) << c.start;
        for (uint32_t i = 0; i < n; ++i) EXPECT_EQ(buf[i].TimeMs, c.start + i);
        EXPECT_EQ(buf[c.capacity].TimeMs, -1.0) << "written past the capacity";
    }
    uint32_t n = 0;
    EXPECT_FALSE(file.ReadByIndex(0, 1, nullptr, 1, n));
    file.CloseRead();
    tCAN_RAW_MSG one[1];
    EXPECT_FALSE(file.ReadByIndex(0, 1, one, 1, n));
}

// By time, both ends included: an instant before the first record starts at record 0, one between records
// reaches the first record after it, one past the end gives the last record alone.
TEST_F(CrmFileTest, ReadByTimeBoundaries) {
    ASSERT_TRUE(file.OpenRead(Make("f.crm", logtest::CrmBytes(FramesAt({100, 110, 120, 130, 140}))), count,
                              duration));
    struct Case {
        double offset, span;
        uint32_t capacity;
        bool ok;
        std::vector<double> times;
    } cases[] = {{-50, 60, 8, true, {100, 110}}, {10, 20, 8, true, {110, 120, 130}},
                 {12, 5, 8, true, {120}},        {15, 10, 8, true, {120, 130}},
                 {40, 0, 8, true, {140}},        {500, 10, 8, true, {140}},
                 {0, 40, 2, false, {100, 110}}};
    for (const Case& c : cases) {
        std::vector<tCAN_RAW_MSG> buf(c.capacity);
        uint32_t n = 0;
        EXPECT_EQ(file.ReadByTime(c.offset, c.span, buf.data(), c.capacity, n), c.ok) << c.offset;
        std::vector<double> got;
        for (uint32_t i = 0; i < n; ++i) got.push_back(buf[i].TimeMs);
        EXPECT_EQ(got, c.times) << c.offset << " " << c.span;
    }
}

// Opened read-only: a read-only file opens, an open file keeps reading after it is removed; a missing file
// or a folder does not open and says why.
TEST_F(CrmFileTest, OpeningIsReadOnly) {
    const std::string path = Make("ro.crm", logtest::CrmBytes(FramesAt({1, 2, 3})));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_TRUE(file.OpenRead(path, count, duration));
    ASSERT_EQ(::unlink(path.c_str()), 0);
    tCAN_RAW_MSG buf[3];
    uint32_t n = 0;
    EXPECT_TRUE(file.ReadByIndex(0, 3, buf, 3, n));
    EXPECT_EQ(buf[2].TimeMs, 3.0);
    for (const std::string& bad : {path, dir.path().string()}) {
        EXPECT_FALSE(file.OpenRead(bad, count, duration));
        EXPECT_NE(file.LastError().find(bad), std::string::npos) << file.LastError();
    }
}

// A file whose first record can be no frame (an identifier beyond 29 bits, a length code beyond 15, a time
// that is no finite number: random bytes, a text, another tool's file) is refused as a log, named. Flag
// bytes are no such sign: writers store them as they stand, so a first record with flag bytes 2 or 0xFF is
// a log whose flags read as 1. The records after the first are not looked at.
TEST_F(CrmFileTest, OnlyFirstRecordsThatCanBeNoFrameAreRefused) {
    using Change = void (*)(tCAN_RAW_MSG&, std::string&);
    const struct Case {
        const char* name;
        Change change;
        bool opens;
    } cases[] = {
        {"identifier beyond 29 bits", [](tCAN_RAW_MSG& m, std::string&) { m.Id = 0x20000000; }, false},
        {"length code 16", [](tCAN_RAW_MSG& m, std::string&) { m.Dlc = 16; }, false},
        {"NaN time",
         [](tCAN_RAW_MSG& m, std::string&) { m.TimeMs = std::numeric_limits<double>::quiet_NaN(); }, false},
        {"infinite time",
         [](tCAN_RAW_MSG& m, std::string&) { m.TimeMs = -std::numeric_limits<double>::infinity(); }, false},
        {"a DBC text",
         [](tCAN_RAW_MSG&, std::string& b) { b = "VERSION \"\"\n\nNS_ :\n\tCM_\nBS_:\nBU_: A B\n"; }, false},
        {"extended byte 2", [](tCAN_RAW_MSG& m, std::string&) { m.Ext = 2; }, true},
        {"direction byte 0xFF", [](tCAN_RAW_MSG& m, std::string&) { m.Dir = 0xFF; }, true},
        {"every flag byte 0xFF", [](tCAN_RAW_MSG& m, std::string&) { m.Ext = m.Remote = m.Dir = 0xFF; },
         true},
        {"the extremes a frame may have",
         [](tCAN_RAW_MSG& m, std::string&) {
             m.Id = 0x1FFFFFFF;
             m.Ext = m.Remote = m.Dir = 1;
             m.Chan = 0xFF;
             m.Dlc = 15;
             m.TimeMs = -1e300;
         },
         true},
        {"an odd second record",
         [](tCAN_RAW_MSG&, std::string& b) { b.replace(kCrmRecordSize, 4, "\xFF\xFF\xFF\xFF"); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<tCAN_RAW_MSG> frames = FramesAt({1, 2});
        std::string bytes = logtest::CrmBytes(frames);
        c.change(frames[0], bytes);
        if (bytes.size() == 2 * kCrmRecordSize) {
            const std::string first = logtest::CrmBytes({frames[0]});
            bytes.replace(0, first.size(), first);
        }
        const std::string path = Make("x.crm", bytes);
        ASSERT_EQ(file.OpenRead(path, count, duration), c.opens);
        if (!c.opens) {
            EXPECT_EQ(file.LastError(), "文件 " + path + " 不是CAN报文记录文件：第1条记录不是CAN报文。");
            continue;
        }
        EXPECT_EQ(count, 2u);
        tCAN_RAW_MSG first;
        uint32_t n = 0;
        ASSERT_TRUE(file.ReadByIndex(0, 1, &first, 1, n));
        EXPECT_EQ(first.Ext, frames[0].Ext != 0 ? 1 : 0);
        EXPECT_EQ(first.Remote, frames[0].Remote != 0 ? 1 : 0);
        EXPECT_EQ(first.Dir, frames[0].Dir != 0 ? 1 : 0);
        EXPECT_EQ(first.Id, frames[0].Id);
        file.CloseRead();
    }
}

// Writing: a second OpenWrite is refused and the first file completes; closing without a file succeeds; a
// write that fails (the file-size limit) makes CloseWrite fail and leaves the target as it was.
TEST_F(CrmFileTest, WritesAreChecked) {
    EXPECT_TRUE(file.CloseWrite());
    file.WriteMsg(Frame(0, 0));
    const std::string a = (dir / "a.crm").string(), b = (dir / "b.crm").string();
    ASSERT_TRUE(file.OpenWrite(a));
    file.WriteMsg(Frame(1, 1));
    EXPECT_FALSE(file.OpenWrite(b));
    file.WriteMsg(Frame(2, 2));
    ASSERT_TRUE(file.CloseWrite());
    EXPECT_EQ(vextest::readFile(a), logtest::CrmBytes({Frame(1, 1), Frame(2, 2)}));
    EXPECT_FALSE(std::filesystem::exists(b));

    const std::string kept = vextest::readFile(a);
    {
        logtest::FileSizeLimit limit(100000);
        ASSERT_TRUE(file.OpenWrite(a));
        for (uint32_t i = 0; i < 20000; ++i) file.WriteMsg(Frame(i, i));
        EXPECT_FALSE(file.CloseWrite());
    }
    EXPECT_NE(file.LastError().find(a), std::string::npos) << file.LastError();
    EXPECT_EQ(vextest::readFile(a), kept);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
