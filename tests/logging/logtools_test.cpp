// The workers of the log tools: conversion between every pair of formats, the signal export into a
// measurement file (read back through the library and the independent MDF 3 reader), the measurement file
// to CSV, and how each of them fails and stops.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <thread>

#include "logging/canmsgasctxtfile.h"
#include "logging/canmsgbincrmfile.h"
#include "logging/canmsgmdflogfile.h"
#include "logging/logcvtjob.h"
#include "logging/mdftocsv.h"
#include "logging/sigmdfexport.h"
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
    return t;
}

tCAN_RAW_MSG Frame(uint32_t id, uint8_t ext, double timeMs, std::initializer_list<uint8_t> data,
                   uint8_t dlc = 0xFF) {
    tCAN_RAW_MSG m;
    m.Id = id;
    m.Ext = ext;
    m.Chan = 1;
    m.Dlc = dlc == 0xFF ? static_cast<uint8_t>(data.size()) : dlc;
    std::fill(m.Data, m.Data + 8, 0);
    std::copy(data.begin(), data.end(), m.Data);
    m.TimeMs = timeMs;
    return m;
}

void WriteLog(const std::string& path, const std::vector<tCAN_RAW_MSG>& frames) {
    std::unique_ptr<CCanMsgFile> writer = MakeLogFile(LowerExtension(path));
    ASSERT_TRUE(writer->OpenWrite(path));
    for (const tCAN_RAW_MSG& m : frames) writer->WriteMsg(m);
    ASSERT_TRUE(writer->CloseWrite()) << writer->LastError();
}

std::vector<tCAN_RAW_MSG> ReadLog(const std::string& path) {
    std::unique_ptr<CCanMsgFile> reader = MakeLogFile(LowerExtension(path));
    uint32_t count = 0, n = 0;
    double duration = 0;
    EXPECT_TRUE(reader->OpenRead(path, count, duration)) << reader->LastError();
    std::vector<tCAN_RAW_MSG> out(count);
    if (count > 0) {
        EXPECT_TRUE(reader->ReadByIndex(0, count, out.data(), count, n));
    }
    return out;
}

// The independent reader lists groups and channels in the file's chain order.
const mdfref::Channel& ByName(const mdfref::ChannelGroup& cg, const std::string& name) {
    for (const mdfref::Channel& ch : cg.channels)
        if (ch.name == name) return ch;
    throw std::runtime_error("no channel " + name);
}
const mdfref::ChannelGroup& GroupWith(const mdfref::File& f, const std::string& name) {
    for (const mdfref::DataGroup& dg : f.dataGroups)
        for (const mdfref::ChannelGroup& cg : dg.groups)
            for (const mdfref::Channel& ch : cg.channels)
                if (ch.name == name) return cg;
    throw std::runtime_error("no group with " + name);
}

bool RunJob(CLogToolJob& job) {
    job.Start();
    job.Join();
    return job.Succeeded();
}

class LogToolsTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) { return (dir / name).string(); }
    vextest::TempDir dir;
};

// ---- Conversion ----

TEST_F(LogToolsTest, TargetNamesAndFormats) {
    EXPECT_EQ(FileNameOfPath("/data/Trace01.CRM"), "trace01.crm");
    EXPECT_EQ(LogCvtTargetPath("/out", "/data/Trace01.crm", "txt"), "/out/trace01.crm.txt");
    EXPECT_EQ(LogCvtTargetPath("/out/", "A.log", "crm"), "/out/a.log.crm");
    EXPECT_EQ(LowerExtension("/a.b/Name.TXT"), "txt");
    EXPECT_EQ(LowerExtension("/a.b/name"), "");
    EXPECT_EQ(LogTypeExtension("mdf-log"), "log");
    EXPECT_EQ(LogTypeText("txt"), "asc-txt");
    EXPECT_EQ(LogTypeExtension("other"), "");
    EXPECT_TRUE(MakeLogFile("csv") == nullptr);
}

// Every pair of formats carries every frame: identifiers, flags, channels, length codes 0..15 (at most
// eight bytes), data and times (the MDF log keeps 10 us, the text log 1 us: the frames here are on both).
TEST_F(LogToolsTest, ConversionBetweenEveryPairOfFormats) {
    std::vector<tCAN_RAW_MSG> frames;
    for (uint32_t i = 0; i < 5000; ++i) {
        const uint8_t dlc = static_cast<uint8_t>(i % 16);
        tCAN_RAW_MSG m =
            Frame(i % 2 ? 0x18FEF100 + i % 7 : 0x100 + i % 0x700, i % 2, 1000.0 + i * 0.25, {}, dlc);
        for (int b = 0; b < 8; ++b) m.Data[b] = b < dlc ? static_cast<uint8_t>(i + b) : 0;
        m.Remote = i % 11 == 0;
        m.Dir = i % 3 == 0;
        m.Chan = static_cast<uint8_t>(i % 4);
        frames.push_back(m);
    }
    const char* exts[] = {"crm", "log", "txt"};
    for (const char* from : exts) {
        const std::string source = Path(std::string("Src.") + from);
        WriteLog(source, frames);
        for (const char* to : exts) {
            if (std::string(from) == to) continue;
            const std::string target = LogCvtTargetPath(dir.path().string(), source, to);
            CLogCvtJob job(source, from, target, to);
            ASSERT_TRUE(RunJob(job)) << from << "->" << to << ": " << job.Error();
            EXPECT_EQ(job.Progress(), 10000u);
            EXPECT_EQ(job.Index(), frames.size());
            const std::vector<tCAN_RAW_MSG> back = ReadLog(target);
            ASSERT_EQ(back.size(), frames.size()) << from << "->" << to;
            for (size_t i = 0; i < frames.size(); ++i) {
                tCAN_RAW_MSG expect = frames[i];
                expect.TimeMs = back[i].TimeMs;
                ASSERT_TRUE(logtest::SameFrame(back[i], expect)) << from << "->" << to << " frame " << i;
                ASSERT_NEAR(back[i].TimeMs, frames[i].TimeMs, 1e-7) << from << "->" << to << " frame " << i;
            }
        }
    }
}

// A failed or stopped conversion says why (a stop says nothing) and leaves the target as it was.
TEST_F(LogToolsTest, ConversionFailures) {
    vextest::writeFile(Path("empty.crm"), "");
    WriteLog(Path("three.crm"), logtest::FramesAt({0.0, 1.0, 2.0}));
    vextest::writeFile(Path("kept.txt"), "user's file");
    struct Case {
        std::string source, sourceType, target, targetType;
        bool stop;
        const char* reason;
    } cases[] = {
        {Path("empty.crm"), "crm", Path("e.txt"), "txt", false, "源文件中没有报文"},
        {Path("missing.crm"), "crm", Path("m.txt"), "txt", false, "missing.crm"},
        {Path("three.crm"), "crm", Path("no/such/t.txt"), "txt", false, "t.txt"},
        {Path("three.crm"), "crm", Path("kept.txt"), "txt", true, ""},
        {Path("three.crm"), "crm", Path("x.crm"), "crm", false, "格式相同"},
        {Path("three.crm"), "crm", Path("x.csv"), "csv", false, "未知的记录文件格式"},
    };
    for (const Case& c : cases) {
        CLogCvtJob job(c.source, c.sourceType, c.target, c.targetType);
        if (c.stop) job.Stop();
        EXPECT_FALSE(RunJob(job)) << c.target;
        EXPECT_EQ(job.phase(), CLogToolJob::Phase::Failed);
        if (*c.reason == 0)
            EXPECT_EQ(job.Error(), "");
        else
            EXPECT_NE(job.Error().find(c.reason), std::string::npos) << job.Error();
    }
    EXPECT_FALSE(std::filesystem::exists(Path("e.txt")));
    EXPECT_FALSE(std::filesystem::exists(Path("m.txt")));
    EXPECT_EQ(vextest::readFile(Path("kept.txt")), "user's file");

    // A write that fails on the way (the file-size limit) fails the conversion, the old target kept.
    std::vector<tCAN_RAW_MSG> many;
    for (uint32_t i = 0; i < 50000; ++i) many.push_back(logtest::Frame(i, i));
    WriteLog(Path("many.crm"), many);
    for (const char* to : {"txt", "log", "crm"}) {
        const std::string source = std::string(to) == "crm" ? Path("many.txt") : Path("many.crm");
        if (std::string(to) == "crm") WriteLog(source, many);
        const std::string target = Path(std::string("kept.") + to);
        vextest::writeFile(target, "user's file");
        logtest::FileSizeLimit limit(200000);
        CLogCvtJob job(source, LowerExtension(source), target, to);
        EXPECT_FALSE(RunJob(job)) << to;
        EXPECT_FALSE(job.Error().empty()) << to;
        EXPECT_EQ(vextest::readFile(target), "user's file") << to;
    }
}

// Whether this process has the file open (as /proc shows its descriptors).
bool OpenHere(const std::string& path) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code link;
        if (std::filesystem::read_symlink(e.path(), link) == path) return true;
    }
    return false;
}

// A text log that never ends (a device, a FIFO a writer holds open) is read until Stop, which ends the
// conversion; a ".crm" or MDF log that is not a regular file is refused at once with the reason.
TEST_F(LogToolsTest, EndlessInputsEndOnStopOrAreRefused) {
    const std::string fifo = Path("fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    for (const std::string& source : {std::string("/dev/zero"), fifo}) {
        CLogCvtJob job(source, "txt", Path("endless.crm"), "crm");
        job.Start();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!OpenHere(source) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        job.Stop();
        while (!job.Ended() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(job.Ended()) << source << " did not end on Stop";
        job.Join();
        EXPECT_EQ(job.phase(), CLogToolJob::Phase::Failed);
        EXPECT_EQ(job.Error(), "") << source;
        EXPECT_FALSE(std::filesystem::exists(Path("endless.crm")));
    }
    for (const auto& [source, type] : {std::pair<std::string, std::string>{fifo, "crm"},
                                       {"/dev/zero", "log"},
                                       {dir.path().string(), "crm"}}) {
        CLogCvtJob job(source, type, Path("refused.txt"), "txt");
        EXPECT_FALSE(RunJob(job));
        EXPECT_EQ(job.Error(), "无法打开文件 " + source + "：Not a regular file") << source;
    }
    ::close(writer);
}

// With the temporary folder full, the MDF targets name the temporary record store and the system's reason,
// as the other writers name their file.
TEST_F(LogToolsTest, MdfTargetsNameAFullTemporaryFolder) {
    vextest::TempDir tmp;
    std::vector<tCAN_RAW_MSG> frames;
    // Enough records of each kind that both record stores spill to the temporary folder.
    for (uint32_t i = 0; i < 20000; ++i) frames.push_back(logtest::Frame(i, i));
    WriteLog(Path("in.crm"), frames);
    const mdftest::FailingTmpDir full(tmp.path());
    const std::string store =
        "临时文件夹 " + tmp.path().string() + " 中的临时记录存储写入失败：" + full.reason();
    CLogCvtJob job(Path("in.crm"), "crm", Path("out.log"), "log");
    EXPECT_FALSE(RunJob(job));
    EXPECT_EQ(job.Error(), "无法写入文件 " + Path("out.log") + "：" + store);

    CCanMsg msg;
    msg.Name = "M";
    msg.Signals.resize(1);
    msg.Signals[0].Name = "B0";
    msg.Signals[0].BitLen = 8;
    msg.Signals[0].ByteFmtIntel = 1;
    std::vector<tEXPORT_SIG_SEL> selection(1, tEXPORT_SIG_SEL{0x100, "B0", 1});
    std::vector<tEXPORT_MSG> list;
    std::string error;
    ASSERT_TRUE(BuildExportList(
        selection, [&](uint32_t) { return &msg; }, list, error))
        << error;
    CCanMsgBinCrmFile log;
    uint32_t count = 0;
    double duration = 0;
    ASSERT_TRUE(log.OpenRead(Path("in.crm"), count, duration));
    CSigMdfExportJob exportJob(log, count, list, Path("out.mdf"));
    EXPECT_FALSE(RunJob(exportJob));
    EXPECT_EQ(exportJob.Error(), "无法写入文件 " + Path("out.mdf") + "：" + store);
    EXPECT_FALSE(std::filesystem::exists(Path("out.mdf")));
    EXPECT_FALSE(std::filesystem::exists(Path("out.log")));
}

// Progress in hundredths of a percent rises monotonically to 10000 for any record count.
TEST_F(LogToolsTest, ProgressNeverOverflows) {
    for (uint64_t count : {1ull, 3ull, 429497ull, 4294967295ull}) {
        uint32_t last = 0;
        for (uint64_t i = 0; i <= count; i += 1 + count / 997) {
            const uint32_t p = ToolProgress(i, count);
            ASSERT_GE(p, last) << i << "/" << count;
            last = p;
        }
        EXPECT_EQ(ToolProgress(count, count), 10000u);
    }
    EXPECT_EQ(ToolProgress(0, 0), 0u);
    EXPECT_EQ(ToolProgress(4294967294ull, 4294967295ull), 9999u);
}

// ---- Signal export ----

class SigExportTest : public LogToolsTest {
protected:
    SigExportTest() {
        CCanMsg& engine = db[0x100];
        engine.Name = "Engine";
        engine.id = 0x100;
        engine.Signals = {Sig("Speed", 0, 8, false, 0.5, -10.0, "rpm"), Sig("S8", 8, 8, true),
                          Sig("S1", 16, 1, true), Sig("Gear", 24, 4, false)};
        engine.Signals[3].Enum = 1;
        engine.Signals[3].SigEnum.Items = {{"P", 0}, {"R", 1}, {"N", -1}};
        CCanMsg& ext = db[0x18FEF100 + 0x40000000];
        ext.Name = "Ext";
        ext.id = 0x18FEF100;
        ext.Ext = 1;
        ext.Signals = {Sig("Wide", 0, 16, false), Sig("Bad", 60, 8, false)};
    }
    static CCanSignal Sig(const char* name, uint8_t offset, uint8_t len, bool sign, double factor = 1.0,
                          double valOffset = 0.0, const char* unit = "") {
        CCanSignal s;
        s.Name = name;
        s.BitOffset = offset;
        s.BitLen = len;
        s.ByteFmtIntel = 1;
        s.Sign = sign;
        s.ValFactor = factor;
        s.ValOffset = valOffset;
        s.Unit = unit;
        return s;
    }
    std::vector<tEXPORT_SIG_SEL> Select(std::vector<std::pair<uint32_t, const char*>> picks) {
        std::vector<tEXPORT_SIG_SEL> table(kExportSigSelCount);
        for (size_t i = 0; i < picks.size(); ++i) table[i] = {picks[i].first, picks[i].second, 1};
        return table;
    }
    ExportMsgLookup Lookup() {
        return [this](uint32_t key) -> const CCanMsg* {
            auto it = db.find(key);
            return it == db.end() ? nullptr : &it->second;
        };
    }
    // Exports the selection from a ".crm" log of the frames; the job's success.
    bool Export(const std::vector<tEXPORT_SIG_SEL>& selection, const std::vector<tCAN_RAW_MSG>& frames,
                const std::string& out) {
        std::vector<tEXPORT_MSG> list;
        std::string error;
        EXPECT_TRUE(BuildExportList(selection, Lookup(), list, error)) << error;
        WriteLog(Path("in.crm"), frames);
        CCanMsgBinCrmFile log;
        uint32_t count = 0;
        double duration = 0;
        EXPECT_TRUE(log.OpenRead(Path("in.crm"), count, duration));
        CSigMdfExportJob job(log, count, std::move(list), out, FixedNow);
        const bool ok = RunJob(job);
        EXPECT_TRUE(ok) << job.Error();
        return ok;
    }

    std::map<uint32_t, CCanMsg> db;
};

// One unsigned 8-bit signal: 894 bytes of blocks and 9 bytes a record (the value and the double time);
// the library and the independent reader give the physical values and the time in seconds. (With a
// 24-byte data-group block the blocks would take 890 bytes; the library writes the full 28 bytes.)
TEST_F(SigExportTest, OneByteSignalFileAndValues) {
    for (uint32_t n : {0u, 1u, 250u, 600u}) {
        std::vector<tCAN_RAW_MSG> frames;
        for (uint32_t i = 0; i < n; ++i) {
            frames.push_back(Frame(0x100, 0, 1500.0 + i, {static_cast<uint8_t>(i), 0x80, 1, 2}));
            frames.push_back(Frame(0x200, 0, 1500.5 + i, {9}));  // not exported
        }
        const std::string out = Path("one" + std::to_string(n) + ".mdf");
        ASSERT_TRUE(Export(Select({{0x100, "Speed"}}), frames, out));
        EXPECT_EQ(std::filesystem::file_size(out), 894u + 9u * n) << n;
    }
    CLorimar lib;
    ASSERT_EQ(mdftest::open(lib, dir / "one250.mdf"), 0u);
    const tMDF_CG_INFO& cg = lib.GetMdfFileInfo().dataGroups.at(0).channelGroups.at(0);
    ASSERT_EQ(cg.channels.size(), 2u);
    EXPECT_EQ(cg.recordCount, 250u);
    const uint16_t speed = mdftest::numberOf(lib, "Speed"), stamp = mdftest::numberOf(lib, "timestamp");
    for (const tMDF_CN_INFO& cn : cg.channels) {
        EXPECT_EQ(cn.unit, cn.shortName == "Speed" ? "rpm" : "s");
        EXPECT_EQ(cn.channelType, cn.shortName == "Speed" ? 0 : 1);
    }
    for (uint32_t r : {0u, 7u, 249u}) {
        double v = 0, t = 0;
        ASSERT_EQ(lib.GetChannelPhyData(speed, r, v), 0u);
        ASSERT_EQ(lib.GetChannelPhyData(stamp, r, t), 0u);
        EXPECT_DOUBLE_EQ(v, r * 0.5 - 10.0);
        EXPECT_DOUBLE_EQ(t, (1500.0 + r) / 1000.0);
    }
    const mdfref::File f = mdfref::read(vextest::readFile(dir / "one250.mdf"));
    EXPECT_EQ(f.programId, "Dolmek 7");
    EXPECT_EQ(f.author, "Vexar2");
    EXPECT_EQ(f.comment, "Vexar mdf file.");
    EXPECT_EQ(f.date, "05:03:2024");
    const mdfref::ChannelGroup& ref = f.dataGroups.at(0).groups.at(0);
    EXPECT_EQ(f.dataGroups[0].idCount, 0);
    EXPECT_EQ(ref.recordSize, 9);
    ASSERT_EQ(ref.records.size(), 250u);
    EXPECT_EQ(ByName(ref, "Speed").conv.type, MDF_CONV_LINEAR);
    EXPECT_EQ(ByName(ref, "Speed").conv.params, (std::vector<double>{-10.0, 0.5}));
    EXPECT_EQ(ByName(ref, "timestamp").conv.params, (std::vector<double>{0.0, 0.001}));
    EXPECT_EQ(mdfref::number(false, ByName(ref, "Speed"), ref.records[200]), 200.0);
    EXPECT_EQ(mdfref::number(false, ByName(ref, "timestamp"), ref.records[200]), 1700.0);
}

// Signed signals sign-extend from their own width; two signals of one message are one group of three
// channels; groups follow the selection; a value table becomes a text table, cut at 128 entries.
TEST_F(SigExportTest, SignedValuesGroupsAndValueTables) {
    db[0x100].Signals[3].SigEnum.Items.clear();
    for (int i = 0; i < 200; ++i)
        db[0x100].Signals[3].SigEnum.Items.push_back({"v" + std::to_string(i), i - 100});
    const std::vector<tCAN_RAW_MSG> frames = {
        Frame(0x100, 0, 10.0, {0, 0x80, 0x01, 0x05}), Frame(0x18FEF100, 1, 11.0, {0x34, 0x12}),
        Frame(0x100, 0, 12.0, {0, 0xFF, 0x00, 0x0F}), Frame(0x100, 0, 13.0, {0, 0x7F, 0x01, 0x00})};
    const std::string out = Path("multi.mdf");
    ASSERT_TRUE(
        Export(Select({{0x18FEF100 + 0x40000000, "Wide"}, {0x100, "S8"}, {0x100, "S1"}, {0x100, "Gear"}}),
               frames, out));
    const mdfref::File f = mdfref::read(vextest::readFile(out));
    ASSERT_EQ(f.dataGroups.size(), 2u);
    const mdfref::ChannelGroup& wide = GroupWith(f, "Wide");
    const mdfref::ChannelGroup& engine = GroupWith(f, "S8");
    ASSERT_EQ(wide.channels.size(), 2u);
    ASSERT_EQ(engine.channels.size(), 4u);
    EXPECT_EQ(mdfref::number(false, ByName(wide, "Wide"), wide.records.at(0)), 0x1234);
    const double s8[] = {-128, -1, 127}, s1[] = {-1, 0, -1}, gear[] = {5, 15, 0};
    ASSERT_EQ(engine.records.size(), 3u);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(mdfref::number(false, ByName(engine, "S8"), engine.records[r]), s8[r]) << r;
        EXPECT_EQ(mdfref::number(false, ByName(engine, "S1"), engine.records[r]), s1[r]) << r;
        EXPECT_EQ(mdfref::number(false, ByName(engine, "Gear"), engine.records[r]), gear[r]) << r;
    }
    EXPECT_EQ(ByName(engine, "S8").dataType, 1);
    EXPECT_EQ(ByName(engine, "Gear").dataType, 0);
    // Groups are described in the order of the selection, signals in table order, the time channel last.
    std::vector<tEXPORT_MSG> list;
    std::string error;
    ASSERT_TRUE(BuildExportList(Select({{0x18FEF100 + 0x40000000, "Wide"}, {0x100, "S8"}, {0x100, "S1"}}),
                                Lookup(), list, error));
    const tMDF_FILE desc = BuildMdfFileDesc(list, FixedNow());
    ASSERT_EQ(desc.dataGroups.size(), 2u);
    EXPECT_EQ(desc.dataGroups[0].channelGroups[0].channels[0].shortName, "Wide");
    const std::vector<tMDF_CN_INFO>& second = desc.dataGroups[1].channelGroups[0].channels;
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].shortName + second[1].shortName + second[2].shortName, "S8S1timestamp");
    const mdfref::Conversion& table = ByName(engine, "Gear").conv;
    EXPECT_EQ(table.type, MDF_CONV_TEXT_TABLE);
    ASSERT_EQ(table.texts.size(), kMaxTextTableItems);
    EXPECT_EQ(table.texts[0], (std::pair<double, std::string>{-100.0, "v0"}));
    EXPECT_EQ(table.texts[127].second, "v127");
}

// The export list refuses what cannot be exported before any file exists; a log without the exported
// messages still gives a file, with no records.
TEST_F(SigExportTest, ListRefusalsAndEmptyGroups) {
    struct Case {
        std::vector<std::pair<uint32_t, const char*>> picks;
        const char* reason;
    } cases[] = {
        {{{0x300, "X"}}, "CAN数据库中没有报文[300]"},
        {{{0x100, "Speed"}, {0x100, "Gone"}}, "报文[Engine]中没有信号[Gone]"},
        {{{0x18FEF100 + 0x40000000, "Bad"}}, "信号[Bad]的位置区域(60,8)"},
    };
    for (const Case& c : cases) {
        std::vector<tEXPORT_MSG> list;
        std::string error;
        EXPECT_FALSE(BuildExportList(Select(c.picks), Lookup(), list, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    std::vector<tEXPORT_SIG_SEL> unselected = Select({{0x100, "Speed"}});
    unselected[0].Selected = 0;
    std::vector<tEXPORT_MSG> list;
    std::string error;
    ASSERT_TRUE(BuildExportList(unselected, Lookup(), list, error));
    EXPECT_TRUE(list.empty());

    ASSERT_TRUE(Export(Select({{0x100, "Speed"}}), {Frame(0x200, 0, 1.0, {1})}, Path("none.mdf")));
    CLorimar lib;
    ASSERT_EQ(mdftest::open(lib, dir / "none.mdf"), 0u);
    EXPECT_EQ(lib.GetMdfFileInfo().dataGroups.at(0).channelGroups.at(0).recordCount, 0u);
}

// Keys in the order they first occur; a stopped export writes nothing.
TEST_F(SigExportTest, KeysAndStop) {
    WriteLog(Path("keys.crm"), {Frame(0x300, 0, 0, {}), Frame(0x100, 1, 1, {}), Frame(0x300, 0, 2, {}),
                                Frame(0x100, 0, 3, {}), Frame(0x100, 1, 4, {})});
    CCanMsgBinCrmFile log;
    uint32_t count = 0;
    double duration = 0;
    ASSERT_TRUE(log.OpenRead(Path("keys.crm"), count, duration));
    std::vector<uint32_t> keys;
    CollectMsgKeys(log, count, keys);
    EXPECT_EQ(keys, (std::vector<uint32_t>{0x300, 0x40000100, 0x100}));

    std::vector<tEXPORT_MSG> list;
    std::string error;
    ASSERT_TRUE(BuildExportList(Select({{0x100, "Speed"}}), Lookup(), list, error));
    CSigMdfExportJob job(log, count, list, Path("stopped.mdf"));
    job.Stop();
    EXPECT_FALSE(RunJob(job));
    EXPECT_EQ(job.Error(), "");
    EXPECT_FALSE(std::filesystem::exists(Path("stopped.mdf")));
    CSigMdfExportJob bad(log, count, list, Path("no/such.mdf"));
    EXPECT_FALSE(RunJob(bad));
    EXPECT_NE(bad.Error().find("such.mdf"), std::string::npos);
}

// ---- Measurement file to CSV ----

class MdfCsvTest : public LogToolsTest {
protected:
    // Group 0: time "t" (s) and "a" (UINT8, x0.5, "V"), "b" (SINT16) at 0.1, 0.35, 0.6, 0.9 s; group 1: no
    // time channel; group 2: a time channel and no records.
    void SetUp() override {
        tMDF_FILE desc = mdftest::file();
        desc.dataGroups.resize(3);
        tMDF_CN_INFO t = mdftest::channel("t", MDF_DOUBLE, 64);
        t.channelType = 1;
        t.convPresent = 1;
        t.convType = MDF_CONV_LINEAR;
        t.unit = "s";
        tMDF_CN_INFO a = mdftest::channel("a", MDF_UINT, 8);
        a.convPresent = 1;
        a.convType = MDF_CONV_LINEAR;
        a.params[1] = 0.5;
        a.unit = "V";
        desc.dataGroups[0].channelGroups.resize(1);
        desc.dataGroups[0].channelGroups[0].channels = {t, a, mdftest::channel("b", MDF_SINT, 16)};
        desc.dataGroups[1].channelGroups.resize(1);
        desc.dataGroups[1].channelGroups[0].channels = {mdftest::channel("c", MDF_UINT, 8)};
        desc.dataGroups[2].channelGroups.resize(1);
        desc.dataGroups[2].channelGroups[0].channels = {t, mdftest::channel("d", MDF_UINT, 8)};
        CLorimar writer;
        ASSERT_EQ(writer.CreateMdfFile(desc), 0u);
        const double times[] = {0.1, 0.35, 0.6, 0.9};
        for (uint8_t r = 0; r < 4; ++r) {
            writer.InputSamplingData(0, r, times[r]);
            writer.InputSamplingData(1, r, uint32_t(10 * (r + 1)));
            writer.InputSamplingData(2, r, int32_t(-(r + 1)));
            writer.InputSamplingData(3, r, uint32_t(r));
        }
        ASSERT_EQ(mdftest::save(writer, dir / "in.mdf"), 0u);
        ASSERT_EQ(mdftest::open(mdf, dir / "in.mdf"), 0u);
        listing = ListMdfCsvChannels(mdf);
    }
    std::string Csv(double start, double end, double step, bool absolute) {
        MdfToCsvRequest req{Path("out.csv"), absolute, start, end, step, listing.TimeUnit, listing.Items};
        CMdfToCsvJob job(mdf, req);
        EXPECT_TRUE(RunJob(job)) << job.Error();
        return vextest::readFile(Path("out.csv"));
    }

    CLorimar mdf;
    MdfCsvListing listing;
};

// Groups and channels as the file chains them (the library chains them in reverse order of creation).
TEST_F(MdfCsvTest, ListingSkipsGroupsWithoutTimeOrRecords) {
    ASSERT_EQ(listing.Items.size(), 2u);
    EXPECT_EQ(listing.Rows[0],
              (std::array<std::string, 6>{"b", "(2,0,0)", "SINT16", "", "4", "[0.100000 , 0.900000](s)"}));
    EXPECT_EQ(listing.Rows[1],
              (std::array<std::string, 6>{"a", "(2,0,1)", "UINT8", "V", "4", "[0.100000 , 0.900000](s)"}));
    EXPECT_DOUBLE_EQ(listing.Start, 0.1);
    EXPECT_DOUBLE_EQ(listing.End, 0.9);
    EXPECT_EQ(listing.TimeUnit, "s");
    EXPECT_EQ(MdfChannelTypeText(MDF_FLOAT, 32), "float");
    EXPECT_EQ(MdfChannelTypeText(MDF_DOUBLE, 64), "double");
    EXPECT_EQ(MdfChannelTypeText(9, 8), "UNKNOW");
}

// The sample in force at each grid time, "--" before a group's first sample and at or after its last;
// lines end with CR alone.
TEST_F(MdfCsvTest, ExactLines) {
    EXPECT_EQ(Csv(0.0, 1.0, 0.25, false),
              "timestamp,b,a\rs,,V\r"
              "0.000000,--,--\r"
              "0.250000,-1.000000,5.000000\r"
              "0.500000,-2.000000,10.000000\r"
              "0.750000,-3.000000,15.000000\r"
              "1.000000,--,--\r");
    // t = start + k * step: 0.1, 0.2 and 0.30000000000000004 are all taken, the last one within the end.
    EXPECT_EQ(Csv(0.1, 0.3, 0.1, true),
              "timestamp,b,a\rs,,V\r"
              "0.100000,-1.000000,5.000000\r"
              "0.200000,-1.000000,5.000000\r"
              "0.300000,-1.000000,5.000000\r");
    EXPECT_EQ(Csv(0.1, 0.3, 0.1, false).substr(19, 9), "0.000000,");
}

TEST_F(MdfCsvTest, GridLineCounts) {
    struct Case {
        double start, end, step;
        uint64_t lines;
    } cases[] = {{0, 1, 0.25, 5}, {0, 0.3, 0.1, 4}, {0, 1, 0, 0},      {0, 1, -1, 0},
                 {1, 0, 0.1, 0},  {0, 0, 1, 1},     {0, 0.35, 0.1, 4}, {0, 1e300, 1e-300, UINT64_MAX}};
    for (const Case& c : cases)
        EXPECT_EQ(MdfCsvLineCount(c.start, c.end, c.step), c.lines) << c.end << "/" << c.step;
}

// A stopped export and one whose file cannot be made or written leave no file (an old one as it was); a
// failure names the CSV file and the system's reason.
TEST_F(MdfCsvTest, StopAndFailure) {
    vextest::writeFile(Path("out.csv"), "old");
    CMdfToCsvJob stopped(mdf, MdfToCsvRequest{Path("out.csv"), true, 0.0, 1e6, 1e-3, "s", listing.Items});
    stopped.Stop();
    EXPECT_FALSE(RunJob(stopped));
    EXPECT_EQ(stopped.Error(), "");
    EXPECT_EQ(vextest::readFile(Path("out.csv")), "old");

    vextest::TempDir fullDir;
    const mdftest::FailingTmpDir full(fullDir.path());
    const std::string unwritable = (fullDir / "out.csv").string();
    const struct {
        std::string target;
        std::string error;
    } cases[] = {
        {Path("no/out.csv"), "CSV文件 " + Path("no/out.csv") + " 创建失败：No such file or directory"},
        {unwritable, "CSV文件 " + unwritable + " 写入失败：" + full.reason()},
    };
    for (const auto& c : cases) {
        CMdfToCsvJob failed(mdf, MdfToCsvRequest{c.target, true, 0.0, 1e6, 1e-3, "s", listing.Items});
        EXPECT_FALSE(RunJob(failed));
        EXPECT_EQ(failed.Error(), c.error);
        EXPECT_FALSE(std::filesystem::exists(c.target));
    }
}

}  // namespace
