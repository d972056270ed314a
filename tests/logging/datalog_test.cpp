// The continuous logger: file names, refusals, a disk that fills mid-log, and every frame of two channels
// at full bus load reaching the file through the workspace's log filter.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "logging/canmsgbincrmfile.h"
#include "logging/canmsgdatalog.h"
#include "logging/logcvtjob.h"
#include "logging/workspacemembers.h"
#include "tests/app/workspacetest.h"
#include "tests/logging/logtest.h"
#include "tests/mdf/mdftest.h"

namespace {

namespace peer = vex::emu::peer;
using logtest::Frame;

std::tm At(int year, int mon, int day, int h, int m, int s) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = day;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
}

std::vector<tCAN_RAW_MSG> ReadAll(const std::string& path) {
    CCanMsgBinCrmFile file;
    uint32_t count = 0;
    double duration = 0;
    std::vector<tCAN_RAW_MSG> frames;
    if (!file.OpenRead(path, count, duration)) return frames;
    frames.resize(count);
    uint32_t n = 0;
    if (count > 0) file.ReadByIndex(0, count, frames.data(), count, n);
    return frames;
}

class DataLogTest : public ::testing::Test {
protected:
    std::string Folder() const { return (dir / "log").string(); }
    std::vector<tINFO_MSG> Infos() {
        std::vector<tINFO_MSG> out;
        tINFO_MSG m;
        while (info.Pop(m)) out.push_back(m);
        return out;
    }
    vextest::TempDir dir;
    CInfoMsgRing info;
    std::tm now = At(2024, 3, 5, 14, 7, 9);
    CCanMsgDataLog log{info, Folder(), [this] { return now; }};
};

// Names: prefix, local date and time, the first free index in hexadecimal; a start while logging, an
// invalid prefix, a folder that cannot be made, or 255 taken names refuse with the reason and make nothing.
TEST_F(DataLogTest, FileNamesAndRefusals) {
    ASSERT_TRUE(log.Start("LOG"));
    EXPECT_EQ(log.FileName(), Folder() + "/LOG2024030514070900.crm");
    EXPECT_FALSE(log.Start("LOG"));
    EXPECT_NE(log.LastError().find("LOG2024030514070900.crm"), std::string::npos);
    log.Stop();
    ASSERT_TRUE(log.Start("LOG"));
    EXPECT_EQ(log.FileName(), Folder() + "/LOG2024030514070901.crm");
    log.Stop();
    EXPECT_EQ(log.FileName(), Folder() + "/LOG2024030514070901.crm");

    for (const std::string& prefix :
         {std::string("../up"), std::string("a\\b"), std::string("a\nb"), std::string("a\0b", 3)}) {
        EXPECT_FALSE(log.Start(prefix)) << prefix;
        EXPECT_NE(log.LastError().find("不能用于文件名"), std::string::npos);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder()), {}), 2);

    now = At(2031, 12, 31, 23, 59, 58);
    for (unsigned i = 0; i < 0xFF; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/P20311231235958%02X.crm", i);
        if (i != 0xFE) vextest::writeFile(Folder() + name, "");
    }
    std::string path;
    ASSERT_TRUE(CCanMsgDataLog::MakeFileName("P", Folder(), now, path));
    EXPECT_EQ(path, Folder() + "/P20311231235958FE.crm");
    vextest::writeFile(path, "kept");
    EXPECT_FALSE(CCanMsgDataLog::MakeFileName("P", Folder(), now, path));
    EXPECT_FALSE(log.Start("P"));
    EXPECT_EQ(vextest::readFile(Folder() + "/P20311231235958FE.crm"), "kept");

    CCanMsgDataLog blocked(info, (dir / "file" / "log").string());
    vextest::writeFile(dir / "file", "");
    EXPECT_FALSE(blocked.Start("X"));
    EXPECT_NE(blocked.LastError().find("无法创建记录文件夹"), std::string::npos) << blocked.LastError();
    EXPECT_TRUE(Infos().empty());
}

// A disk that fills mid-log: the logger stops, the file ends on its last whole record, every record in it
// is a frame written before, and the info window says why.
TEST_F(DataLogTest, DiskFillsMidLog) {
    ASSERT_TRUE(log.Start("FULL"));
    uint32_t written = 0;
    {
        logtest::FileSizeLimit limit(100000 + 7);
        for (; log.IsOpen() && written < 100000; ++written) log.WriteMsg(Frame(written, written * 0.5));
    }
    ASSERT_FALSE(log.IsOpen());
    const std::string path = log.FileName();
    const auto size = std::filesystem::file_size(path);
    EXPECT_EQ(size % kCrmRecordSize, 0u);
    EXPECT_EQ(size, 100000 / kCrmRecordSize * kCrmRecordSize);
    const auto frames = ReadAll(path);
    ASSERT_EQ(frames.size(), log.RecordsOnDisk());
    for (uint32_t i = 0; i < frames.size(); ++i)
        ASSERT_TRUE(logtest::SameFrame(frames[i], Frame(i, i * 0.5))) << i;
    const auto msgs = Infos();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].Source, CCanMsgDataLog::kInfoSource);
    EXPECT_EQ(msgs[0].Level, 2);
    EXPECT_NE(msgs[0].Text.find(path), std::string::npos);
    EXPECT_NE(msgs[0].Text.find(std::to_string(frames.size()) + "帧"), std::string::npos) << msgs[0].Text;
    log.WriteMsg(Frame(0, 0));
    log.Stop();
    EXPECT_EQ(std::filesystem::file_size(path), size);
}

// On a file system that is full from the start, no log is left empty without a word: the logger whose first
// records cannot be written (when its buffer fills, or at Stop) removes its file and says so with the file
// and the reason; the tools' log files (binary, text, MDF-based) leave no file and name it with the reason.
TEST_F(DataLogTest, AFullDiskLeavesNoSilentEmptyLog) {
    vextest::TempDir fullDir;
    const mdftest::FailingTmpDir full(fullDir.path());
    // Where no file system can be mounted, the rig's file-size limit lets a first block through.
    std::optional<logtest::FileSizeLimit> noBytes;
    if (full.reason() == "File too large") noBytes.emplace(0);
    const std::string folder = fullDir.path().string();
    auto logs = [&] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().filename() != "filler") names.push_back(e.path().filename().string());
        return names;
    };

    CCanMsgDataLog onFull(info, folder, [this] { return now; });
    const struct {
        const char* name;
        uint32_t frames;
    } ends[] = {{"the buffer fills", CCanMsgDataLog::kBufferRecords}, {"stop", 1}};
    for (const auto& e : ends) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(onFull.Start("FULL")) << onFull.LastError();
        const std::string path = onFull.FileName();
        for (uint32_t i = 0; i < e.frames; ++i) onFull.WriteMsg(Frame(i, i));
        onFull.Stop();
        EXPECT_FALSE(onFull.IsOpen());
        EXPECT_EQ(logs(), std::vector<std::string>{});
        const auto msgs = Infos();
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_EQ(msgs[0].Text, "记录文件 " + path + " 写入失败：" + full.reason() +
                                    "。记录已停止，没有写入任何报文，文件已删除。");
    }

    for (const std::string extension : {"crm", "txt", "log"}) {
        SCOPED_TRACE(extension);
        const std::string path = folder + "/out." + extension;
        std::unique_ptr<CCanMsgFile> file = MakeLogFile(extension);
        ASSERT_TRUE(file->OpenWrite(path)) << file->LastError();
        for (uint32_t i = 0; i < 1000; ++i) file->WriteMsg(Frame(i, i));
        EXPECT_FALSE(file->CloseWrite());
        EXPECT_EQ(file->LastError().rfind("无法写入文件 " + path + "：", 0), 0u) << file->LastError();
        EXPECT_NE(file->LastError().find(full.reason()), std::string::npos) << file->LastError();
        EXPECT_EQ(logs(), std::vector<std::string>{});
    }
}

// Records held for a second reach the file at the next drain tick, so a process that dies loses at most about
// a second of a quiet bus; at full rate the writes stay whole blocks.
TEST_F(DataLogTest, BufferedRecordsReachTheFileAfterAboutASecond) {
    vex::ManualClock clock;
    CCanMsgDataLog timed{info, Folder(), [this] { return now; }, clock};
    ASSERT_TRUE(timed.Start("TICK"));
    for (uint32_t i = 0; i < 10; ++i) timed.WriteMsg(Frame(i, i));
    timed.OnDrainTick();
    clock.AdvanceMs(999);
    timed.OnDrainTick();
    EXPECT_EQ(timed.RecordsOnDisk(), 0u);
    EXPECT_EQ(std::filesystem::file_size(timed.FileName()), 0u);
    clock.AdvanceMs(1);
    timed.OnDrainTick();
    EXPECT_EQ(timed.RecordsOnDisk(), 10u);
    EXPECT_EQ(std::filesystem::file_size(timed.FileName()), 10 * kCrmRecordSize);
    timed.OnDrainTick();  // nothing new: nothing written
    EXPECT_EQ(timed.RecordsOnDisk(), 10u);

    // A full rate within one tick: one block at the 163rd record, none before.
    for (uint32_t i = 10; i < 10 + CCanMsgDataLog::kBufferRecords - 1; ++i) timed.WriteMsg(Frame(i, i));
    EXPECT_EQ(timed.RecordsOnDisk(), 10u);
    timed.WriteMsg(Frame(172, 172));
    EXPECT_EQ(timed.RecordsOnDisk(), 10u + CCanMsgDataLog::kBufferRecords);
    // The age counts from the first record of the buffer, not from the last write.
    timed.WriteMsg(Frame(173, 173));
    clock.AdvanceMs(600);
    timed.WriteMsg(Frame(174, 174));
    clock.AdvanceMs(600);
    timed.OnDrainTick();
    EXPECT_EQ(timed.RecordsOnDisk(), 175u);
    timed.Stop();
    const auto frames = ReadAll(timed.FileName());
    ASSERT_EQ(frames.size(), 175u);
    for (uint32_t i = 0; i < frames.size(); ++i) EXPECT_TRUE(logtest::SameFrame(frames[i], Frame(i, i))) << i;
}

class WorkspaceLogTest : public wstest::WorkspaceTest {};

// Two channels at full bus load through the emulated two-channel interface, the log filter blocking one
// identifier: the file holds every other frame, in order, counted frame by frame. Automatic logging opens
// the file on going online; going offline closes it and the next going online opens another.
TEST_F(WorkspaceLogTest, FullLoadTwoChannelsNothingLost) {
    constexpr uint32_t kPerChannel = 25000;
    Make();
    Select(CAppCfg::kDevNxp);
    CCanMsgDataLog& logger = WorkspaceLogger(*ws);
    CAppCfg& cfg = ws->Cfg();
    cfg.Log.AutoLogFlag = 1;
    cfg.Log.LogFileNameId = "BUS";
    cfg.Log.Filter.Enable = 1;
    cfg.Log.Filter.Block = 1;
    cfg.Log.Filter.MsgIdValType = 1;
    cfg.Log.Filter.MsgMap[0x202] = {"blocked", 0x202};
    ASSERT_TRUE(ws->GoOnline());
    ASSERT_TRUE(logger.IsOpen());
    const std::string path = logger.FileName();
    EXPECT_EQ(path.rfind(ws->AppFolder() + "/log/BUS", 0), 0u) << path;
    emutest::PacedBursts bursts(kPerChannel, CCanRxMsgQueue::kCapacity / 2,
                                [](uint32_t i) { return emutest::SeqFrame(0x200 + i % 3, i); });
    // The main frame's tick, which paces the peer.
    do {
        ASSERT_TRUE(bursts.Feed(ws->Hub().TraceRing().SeqCounter())) << "frames lost";
        ws->Hub().ProcessRxQueue();
    } while (!peer::WaitIdle(10) || !bursts.AllQueued());
    ws->GoOffline();
    EXPECT_FALSE(logger.IsOpen());

    const auto frames = ReadAll(path);
    std::map<uint8_t, uint32_t> next;
    for (size_t i = 0; i < frames.size(); ++i) {
        const tCAN_RAW_MSG& f = frames[i];
        ASSERT_LT(f.Chan, 2);
        uint32_t& seq = next[f.Chan];
        if (seq % 3 == 2) ++seq;  // 0x202 is not logged
        ASSERT_EQ(emutest::SeqOf(f.Data), seq) << i;
        ASSERT_EQ(f.Id, 0x200 + seq % 3);
        ++seq;
        if (i > 0) {
            ASSERT_GE(f.TimeMs, frames[i - 1].TimeMs) << i;
        }
    }
    EXPECT_EQ(frames.size(), 2 * (kPerChannel - kPerChannel / 3));
    for (const tINFO_MSG& m : Infos()) {
        EXPECT_NE(m.Source, std::string(CCanMsgDataHub::kDropSource)) << m.Text;
        EXPECT_NE(m.Source, std::string(CCanMsgDataLog::kInfoSource)) << m.Text;
    }

    ASSERT_TRUE(ws->GoOnline());
    EXPECT_TRUE(logger.IsOpen());
    EXPECT_NE(logger.FileName(), path);
    // A few frames, far fewer than a block: the drain ticks write them out within about a second.
    peer::SendBurst(0, 5, [](uint32_t i) { return emutest::SeqFrame(0x200, i); });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (logger.RecordsOnDisk() < 5 && std::chrono::steady_clock::now() < until) {
        ws->Hub().ProcessRxQueue();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(logger.RecordsOnDisk(), 5u);
    EXPECT_EQ(ReadAll(logger.FileName()).size(), 5u);
    ws->GoOffline();
}

}  // namespace
