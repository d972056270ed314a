// The text log: byte-exact lines and header, the line parser's accepted and refused lines, reading through
// a private temporary file, checked writes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "logging/canmsgasctxtfile.h"
#include "tests/logging/logtest.h"
#include "tests/mdf/mdftest.h"

namespace {

tCAN_RAW_MSG Frame(uint32_t id, uint8_t ext, uint8_t dir, uint8_t remote, uint8_t chan, uint8_t dlc,
                   double timeMs) {
    tCAN_RAW_MSG m;
    m.Id = id;
    m.Ext = ext;
    m.Dir = dir;
    m.Remote = remote;
    m.Chan = chan;
    m.Dlc = dlc;
    for (int i = 0; i < 8; ++i) m.Data[i] = static_cast<uint8_t>(0xA0 + i);
    m.TimeMs = timeMs;
    return m;
}

std::string Line(const tCAN_RAW_MSG& m) {
    char buf[kAscTxtLineMax];
    return std::string(buf, FormatAscTxtLine(m, buf));
}

std::tm At(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

std::tm FixedNow() {
    return At(2024, 3, 5, 14, 7);
}

size_t Entries(const std::filesystem::path& dir) {
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(dir); it != std::filesystem::directory_iterator();
         ++it)
        ++n;
    return n;
}

class TxtLogTest : public ::testing::Test {
protected:
    std::string Make(const std::string& name, const std::string& text) {
        const std::string path = (dir / name).string();
        vextest::writeFile(path, text);
        return path;
    }
    std::string Header() { return AscTxtHeader(FixedNow()); }

    vextest::TempDir dir;
    CCanMsgAscTxtFile file{FixedNow};
    uint32_t count = 0;
    double duration = -1.0;
};

TEST_F(TxtLogTest, HeaderIsByteExact) {
    EXPECT_EQ(AscTxtHeader(At(2024, 3, 5, 14, 7)),
              "Talby Varesk Control System Co.,Ltd  Vexar Log File.\r\n"
              "  Date: 2024.3.5    Time: 14:7 \r\n"
              "\r\n" +
                  std::string(74, '-') + "\r\n");
    EXPECT_EQ(AscTxtHeader(At(2023, 12, 31, 0, 0)).substr(54),
              "  Date: 2023.12.31    Time: 0:0 \r\n\r\n" + std::string(74, '-') + "\r\n");
}

// Fixed columns; at most eight data bytes whatever the length code; a remote frame's bytes as for data.
TEST_F(TxtLogTest, FrameLinesAreByteExact) {
    struct Case {
        tCAN_RAW_MSG frame;
        const char* line;
    } cases[] = {
        {Frame(0x18FEF100, 1, 0, 0, 1, 8, 1500.0),
         "   1.500000 1  18FEF100x       Rx   d 8 A0 A1 A2 A3 A4 A5 A6 A7 \r\n"},
        {Frame(0x123, 0, 1, 0, 0, 3, 0.0), "   0.000000 0  123             Tx   d 3 A0 A1 A2 \r\n"},
        {Frame(0x7FF, 0, 0, 1, 255, 0, 12345678.9), "   12345.678900 255  7FF             Rx   r 0 \r\n"},
        {Frame(0x0, 0, 0, 1, 2, 8, 0.25),
         "   0.000250 2  0               Rx   r 8 A0 A1 A2 A3 A4 A5 A6 A7 \r\n"},
        {Frame(0x1, 0, 0, 0, 1, 15, 1.0),
         "   0.001000 1  1               Rx   d 15 A0 A1 A2 A3 A4 A5 A6 A7 \r\n"},
        {Frame(0x1FFFFFFF, 1, 1, 0, 1, 1, -2.5), "   -0.002500 1  1FFFFFFFx       Tx   d 1 A0 \r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Line(c.frame), c.line);
}

// The time column is exactly printf's "%4.6f" of ms / 1000, ties and huge values included.
TEST_F(TxtLogTest, TimeColumnMatchesPrintf) {
    std::mt19937_64 rng(7);
    std::vector<double> times = {0.0,
                                 -0.0,
                                 0.0005,
                                 0.0015,
                                 0.0025,
                                 1e-300,
                                 4503599627370.5,
                                 9.007199254740993e15,
                                 1e20,
                                 1.7976931348623157e308,
                                 -1e-7,
                                 -123.4565,
                                 INFINITY,
                                 -INFINITY};
    for (int i = 0; i < 20000; ++i) {
        times.push_back(std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 60)));
        times.push_back(static_cast<double>(rng() % 100000000) * 0.0005);
    }
    for (double ms : times) {
        tCAN_RAW_MSG m = Frame(1, 0, 0, 0, 1, 0, ms);
        const std::string line = Line(m);
        char expected[400];
        std::snprintf(expected, sizeof expected, "   %4.6f ", ms / 1000.0);
        ASSERT_EQ(line.substr(0, std::strlen(expected)), expected) << ms;
    }
}

// A line is read only when every token is a number of its kind within its range.
TEST_F(TxtLogTest, ParserAcceptsAndRefuses) {
    struct Case {
        const char* line;
        bool accepted;
        uint32_t id = 0;
        uint8_t ext = 0, dir = 0, remote = 0, chan = 0, dlc = 0;
        double timeMs = 0.0;
        int bytes = 0;  // data bytes expected: 0xA0 + i
    } cases[] = {
        {"   1.500000 1  18FEF100x       Rx   d 8 A0 A1 A2 A3 A4 A5 A6 A7 ", true, 0x18FEF100, 1, 0, 0, 1, 8,
         1500.0, 8},
        {"1.5\t1\t18fef100X Tx d 2 a0 A1", true, 0x18FEF100, 1, 1, 0, 1, 2, 1500.0, 2},
        {" 0.000000 1  123             Rx   d 3 A0 A1 A2 Length = 0", true, 0x123, 0, 0, 0, 1, 3, 0.0, 3},
        {"  2 0 7FF Rx r 8", true, 0x7FF, 0, 0, 1, 0, 8, 2000.0, 0},
        {"  2 0 7FF Rx r 8 A0 A1 A2 A3 A4 A5 A6 A7", true, 0x7FF, 0, 0, 1, 0, 8, 2000.0, 8},
        {"0.25 3 0 Rx r 0", true, 0, 0, 0, 1, 3, 0, 250.0, 0},
        {"1e-3 255 1 Rx d 12 A0 A1 A2 A3 A4 A5 A6 A7", true, 1, 0, 0, 0, 255, 12, 1.0, 8},
        {"-0.5 1 1 Rx d 0", true, 1, 0, 0, 0, 1, 0, -500.0, 0},
        {"abc 0 100 Rx d 1 A0", false},
        {"1 1 100 Rx d 1 1FF", false},
        {"1 300 100 Rx d 1 A0", false},
        {"1 1 800 Rx d 0", false},
        {"1 1 20000000x Rx d 0", false},
        {"1 1 12x4 Rx d 0", false},
        {"1 1 100 RX d 0", false},
        {"1 1 100 Rx D 0", false},
        {"1 1 100 Rx d 16", false},
        {"1 1 100 Rx d 2 A0", false},
        {"1 1 100 Rx d 2 A0 G1", false},
        {"1 1 100 Rx r 2 A0", false},
        {"1 -1 100 Rx d 0", false},
        {"nan 1 100 Rx d 0", false},
        {"1e400 1 100 Rx d 0", false},
        {"1 1 100 Rx d", false},
        {"1 1 100 Rx", false},
        {"1 1 ErrorFrame", false},
        {"0.000000 Start of measurement", false},
        {"", false},
        {"   \t ", false},
    };
    for (const Case& c : cases) {
        tCAN_RAW_MSG m;
        ASSERT_EQ(ParseAscTxtLine(c.line, m), c.accepted) << c.line;
        if (!c.accepted) continue;
        EXPECT_EQ(m.Id, c.id) << c.line;
        EXPECT_EQ(m.Ext, c.ext) << c.line;
        EXPECT_EQ(m.Dir, c.dir) << c.line;
        EXPECT_EQ(m.Remote, c.remote) << c.line;
        EXPECT_EQ(m.Chan, c.chan) << c.line;
        EXPECT_EQ(m.Dlc, c.dlc) << c.line;
        EXPECT_DOUBLE_EQ(m.TimeMs, c.timeMs) << c.line;
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(m.Data[i], i < c.bytes ? 0xA0 + i : 0) << c.line << " byte " << i;
    }
}

// Every line the writer makes reads back as its frame, time to the microsecond; length codes 9..15 keep
// their value and eight bytes.
TEST_F(TxtLogTest, WrittenFileReadsBack) {
    std::vector<tCAN_RAW_MSG> frames = {
        Frame(0x18FEF100, 1, 0, 0, 1, 8, 1500.0), Frame(0x123, 0, 1, 0, 0, 3, 1500.25),
        Frame(0x7FF, 0, 0, 1, 2, 8, 1600.0), Frame(0x1, 0, 0, 0, 1, 12, 1700.0),
        Frame(0x2, 0, 0, 1, 1, 0, 1800.0)};
    for (uint8_t dlc = 9; dlc <= 15; ++dlc)
        frames.push_back(Frame(0x300 + dlc, 0, 0, 0, 1, dlc, 2000.0 + dlc));
    const std::string path = (dir / "out.txt").string();
    ASSERT_TRUE(file.OpenWrite(path));
    for (const tCAN_RAW_MSG& m : frames) file.WriteMsg(m);
    ASSERT_TRUE(file.CloseWrite());
    const std::string text = vextest::readFile(path);
    EXPECT_EQ(text.substr(0, Header().size()), Header());

    CCanMsgAscTxtFile reader;
    ASSERT_TRUE(reader.OpenRead(path, count, duration));
    ASSERT_EQ(count, frames.size());
    EXPECT_DOUBLE_EQ(duration, 2015.0 - 1500.0);
    EXPECT_EQ(reader.SkippedLines(), 0u);  // the banner, date and rule are not counted
    std::vector<tCAN_RAW_MSG> back(count);
    uint32_t n = 0;
    ASSERT_TRUE(reader.ReadByIndex(0, count, back.data(), count, n));
    for (size_t i = 0; i < frames.size(); ++i) {
        tCAN_RAW_MSG expect = frames[i];
        for (int b = std::min<int>(expect.Dlc, 8); b < 8; ++b) expect.Data[b] = 0;
        EXPECT_TRUE(logtest::SameFrame(back[i], expect)) << i;
    }
    // Reads behave as on a ".crm" file.
    ASSERT_TRUE(reader.ReadByTime(100.0, 100.0, back.data(), count, n));
    EXPECT_EQ(n, 2u);
    reader.CloseRead();
    EXPECT_FALSE(reader.ReadByIndex(0, 1, back.data(), 1, n));
}

// The writer writes only what its reader reads back: a frame it cannot hold (a time that is not finite, a
// length code above 15, an identifier beyond its 11 or 29 bits) is left out and counted; the frames at the
// edges of the reader's range are written and read back.
TEST_F(TxtLogTest, WriterLeavesOutWhatItsReaderCannotRead) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        tCAN_RAW_MSG frame;
        bool writable;
    } cases[] = {
        {Frame(0x7FF, 0, 0, 0, 255, 15, -1.5), true},
        {Frame(0x1FFFFFFF, 1, 1, 1, 0, 0, 1e300), true},
        {Frame(0x100, 0, 0, 0, 1, 8, std::nan("")), false},
        {Frame(0x100, 0, 0, 0, 1, 8, inf), false},
        {Frame(0x100, 0, 0, 0, 1, 8, -inf), false},
        {Frame(0x100, 0, 0, 0, 1, 8, std::numeric_limits<double>::max()), true},
        {Frame(0x100, 0, 0, 0, 1, 16, 1.0), false},
        {Frame(0x100, 0, 0, 0, 1, 255, 1.0), false},
        {Frame(0x800, 0, 0, 0, 1, 8, 1.0), false},
        {Frame(0x20000000, 1, 0, 0, 1, 8, 1.0), false},
    };
    const std::string path = (dir / "edges.txt").string();
    ASSERT_TRUE(file.OpenWrite(path));
    std::vector<tCAN_RAW_MSG> written;
    for (const auto& c : cases) {
        EXPECT_EQ(AscTxtWritable(c.frame), c.writable) << Line(c.frame);
        if (c.writable) {
            tCAN_RAW_MSG m;
            EXPECT_TRUE(ParseAscTxtLine(Line(c.frame).substr(0, Line(c.frame).size() - 2), m))
                << Line(c.frame);
            written.push_back(c.frame);
        }
        file.WriteMsg(c.frame);
    }
    EXPECT_EQ(file.UnwritableFrames(), 7u);
    ASSERT_TRUE(file.CloseWrite());
    CCanMsgAscTxtFile reader;
    ASSERT_TRUE(reader.OpenRead(path, count, duration));
    EXPECT_EQ(count, written.size());
    EXPECT_EQ(reader.SkippedLines(), 0u);
    ASSERT_TRUE(file.OpenWrite(path));
    EXPECT_EQ(file.UnwritableFrames(), 0u);  // counted afresh for each file
    EXPECT_TRUE(file.CloseWrite());
}

// Reading uses a private temporary file that is gone once the file is open, in every path; a user's file
// of the name the temporary once had ("x.crm" beside "X.TXT") is never touched.
TEST_F(TxtLogTest, TemporaryFileIsPrivateAndRemoved) {
    vextest::TempDir tmp;
    mdftest::ScopedTmpDir useTmp(tmp.path());
    const std::string user = Make("x.crm", "user's data");
    const std::string source = Make("X.TXT", Header() + "   1.000000 1  100             Rx   d 0 \r\n");
    ASSERT_TRUE(file.OpenRead(source, count, duration));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(Entries(tmp.path()), 0u);
    file.CloseRead();
    EXPECT_FALSE(file.OpenRead((dir / "missing.txt").string(), count, duration));
    EXPECT_NE(file.LastError().find("missing.txt"), std::string::npos);
    EXPECT_FALSE(file.OpenRead(dir.path().string(), count, duration));  // a folder
    EXPECT_EQ(Entries(tmp.path()), 0u);
    EXPECT_EQ(vextest::readFile(user), "user's data");
    EXPECT_EQ(Entries(dir.path()), 2u);
}

// A log without frame lines opens with 0 frames; corrupted, foreign and over-long lines are skipped; LF
// line ends and a last line without an end are read.
TEST_F(TxtLogTest, EmptyAndDamagedLogs) {
    ASSERT_TRUE(file.OpenRead(Make("empty.txt", Header()), count, duration));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(duration, 0.0);
    file.CloseRead();
    ASSERT_TRUE(file.OpenRead(Make("zero.txt", ""), count, duration));
    EXPECT_EQ(count, 0u);
    file.CloseRead();

    const std::string text = "date Wed Dec 09\n" + std::string(10000, '7') + " 1 100 Rx d 0\n" +
                             "abc 0 100 Rx d 1 01\n1 1 100 Rx d 1 1FF\r\n" + "1 1 100 Rx d 0\n\n" +
                             std::string(5000, ' ') + "\n2 1 101 Tx d 1 05";
    ASSERT_TRUE(file.OpenRead(Make("mixed.txt", text), count, duration));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(file.SkippedLines(), 5u);  // the over-long blank line counts as not a frame line
    tCAN_RAW_MSG m[2];
    uint32_t n = 0;
    ASSERT_TRUE(file.ReadByIndex(0, 2, m, 2, n));
    EXPECT_EQ(m[0].Id, 0x100u);
    EXPECT_EQ(m[1].Id, 0x101u);
    EXPECT_EQ(m[1].Data[0], 5);
    EXPECT_DOUBLE_EQ(duration, 1000.0);
}

// Writing: the target appears only complete; a failed write is reported and leaves the old file.
TEST_F(TxtLogTest, WritesAreChecked) {
    const std::string path = Make("old.txt", "old");
    ASSERT_TRUE(file.OpenWrite(path));
    EXPECT_FALSE(file.OpenWrite(path));
    EXPECT_FALSE(file.OpenRead(path, count, duration));
    {
        logtest::FileSizeLimit limit(1000);
        for (int i = 0; i < 20000; ++i) file.WriteMsg(Frame(0x100, 0, 0, 0, 1, 8, i));
        EXPECT_FALSE(file.CloseWrite());
    }
    EXPECT_NE(file.LastError().find("old.txt"), std::string::npos);
    EXPECT_EQ(vextest::readFile(path), "old");
    EXPECT_FALSE(file.OpenWrite((dir / "no" / "such.txt").string()));
    EXPECT_TRUE(file.CloseWrite());  // nothing open
}

// Lines across the reader's 1 MiB blocks, and a junk line longer than a block, are read as lines.
TEST_F(TxtLogTest, LargeFileAcrossReadBlocks) {
    std::string text = Header() + std::string(3u << 20, 'z') + "\r\n";
    char line[kAscTxtLineMax];
    for (uint32_t i = 0; i < 100000; ++i) {
        tCAN_RAW_MSG m = logtest::Frame(i, i * 0.5);
        text.append(line, FormatAscTxtLine(m, line));
    }
    ASSERT_TRUE(file.OpenRead(Make("large.txt", text), count, duration));
    ASSERT_EQ(count, 100000u);
    EXPECT_EQ(file.SkippedLines(), 1u);
    std::vector<tCAN_RAW_MSG> back(count);
    uint32_t n = 0;
    ASSERT_TRUE(file.ReadByIndex(0, count, back.data(), count, n));
    for (uint32_t i = 0; i < count; ++i)
        ASSERT_TRUE(logtest::SameFrame(back[i], logtest::Frame(i, i * 0.5))) << i;
}

}  // namespace
