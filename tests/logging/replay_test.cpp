// The replay reader's pages, and the engine: opening, loading pages into the data hub without losing a
// frame, and replay mode against going online.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "logging/canreplay.h"
#include "logging/workspacemembers.h"
#include "tests/app/hubtest.h"
#include "tests/app/workspacetest.h"
#include "tests/logging/logtest.h"

namespace {

using logtest::FramesAt;
using Pages = std::vector<std::pair<uint32_t, uint32_t>>;  // first and last index of each page

std::vector<double> Times(uint32_t n, double step) {
    std::vector<double> t;
    for (uint32_t i = 0; i < n; ++i) t.push_back(1000.0 + i * step);
    return t;
}

class ReplayFileTest : public ::testing::Test {
protected:
    std::string Make(const std::vector<double>& times, const std::string& name = "r.crm") {
        const std::string path = (dir / name).string();
        vextest::writeFile(path, logtest::CrmBytes(FramesAt(times)));
        return path;
    }
    Pages PagesOf(CCanMsgReplayLogFile& reader, uint32_t count) {
        Pages pages;
        tREPLAY_PAGE_INFO info;
        for (uint32_t p = 0; p < count; ++p) {
            if (!reader.FindPage(p, info)) break;
            pages.emplace_back(info.FirstIndex, info.LastIndex);
        }
        EXPECT_FALSE(reader.FindPage(count, info));
        return pages;
    }
    vextest::TempDir dir;
    CCanMsgRawReplayLogFile reader;
    uint32_t count = 0;
    double duration = 0.0;
};

// By count: a page's last frame is the next page's first; a start at or past the end or 0 per page keeps
// the pages before; counts that overflow 32 bits are worked out in 64.
TEST_F(ReplayFileTest, PagesByCount) {
    ASSERT_TRUE(reader.OpenRead(Make(Times(10, 1.0)), count, duration));
    struct Case {
        uint32_t start, perPage;
        Pages pages;
    } cases[] = {{0, 4, {{0, 4}, {4, 8}, {8, 9}}},
                 {9, 4, {{9, 9}}},
                 {3, 0xFFFFFFFF, {{3, 9}}},
                 {0, 10, {{0, 9}}},
                 {10, 4, {{0, 9}}},  // kept
                 {0, 0, {{0, 9}}}};  // kept
    for (const Case& c : cases) {
        uint32_t pageCount = 1234;
        reader.ReadPageByIndex(c.start, c.perPage, pageCount);
        const bool kept = c.start >= 10 || c.perPage == 0;
        EXPECT_EQ(pageCount, kept ? 1234u : c.pages.size()) << c.start << "/" << c.perPage;
        EXPECT_EQ(PagesOf(reader, reader.PageCount()), c.pages) << c.start << "/" << c.perPage;
    }
    tREPLAY_PAGE_INFO info;
    reader.ReadPageByIndex(0, 4, count);
    ASSERT_TRUE(reader.FindPage(1, info));
    EXPECT_EQ(info.PageStartTime, 1004.0);
    EXPECT_EQ(info.PageEndTime, 1008.0);
}

// By time: ceil((duration - offset) / span) pages, so spans under a millisecond and fractional spans reach
// the last frame; an offset past the end gives no pages; a span that is 0, negative or not a number, a
// file of duration 0, or more pages than 32 bits number keep the pages before.
TEST_F(ReplayFileTest, PagesByTime) {
    struct Case {
        std::vector<double> times;
        double offset, span;
        int pages;  // -1: kept
        Pages expected;
    } cases[] = {
        {Times(11, 250.0), 0, 1000, 3, {{0, 4}, {4, 8}, {8, 10}}},
        {Times(5, 0.25), 0, 0.5, 2, {{0, 2}, {2, 4}}},
        {Times(5, 0.25), 0, 0.3, 4, {{0, 2}, {2, 3}, {3, 4}, {4, 4}}},
        {Times(5, 0.25), 0.5, 0.25, 2, {{2, 3}, {3, 4}}},
        {Times(5, 0.25), 5.0, 1, 0, {}},
        {Times(5, 0.25), 0, 0, -1, {}},
        {Times(5, 0.25), 0, -1, -1, {}},
        {Times(5, 0.25), 0, std::nan(""), -1, {}},
        {Times(5, 0.25), std::numeric_limits<double>::infinity(), 1, -1, {}},
        {Times(5, 0.25), 0, 1e-10, -1, {}},
        {{7.0, 7.0}, 0, 1, -1, {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(reader.OpenRead(Make(c.times), count, duration));
        reader.ReadPageByIndex(0, 1, count);  // pages to keep
        uint32_t pageCount = 1234;
        reader.ReadPageByTime(c.offset, c.span, pageCount);
        if (c.pages < 0) {
            EXPECT_EQ(pageCount, 1234u) << c.span;
            EXPECT_EQ(reader.PageCount(), c.times.size()) << c.span;
            continue;
        }
        EXPECT_EQ(pageCount, static_cast<uint32_t>(c.pages)) << c.offset << "/" << c.span;
        EXPECT_EQ(PagesOf(reader, pageCount), c.expected) << c.offset << "/" << c.span;
    }
}

// Opening forgets the pages of the file before; the engine opens ".crm" files of any case (an empty one
// with 0 frames), and nothing else.
TEST_F(ReplayFileTest, EngineOpens) {
    CCanReplay replay;
    const std::string crm = Make(Times(3, 1.0));
    ASSERT_TRUE(replay.Open(crm, count, duration));
    replay.PageByIndex(0, 1, count);
    EXPECT_EQ(count, 3u);
    struct Case {
        std::string name, bytes;
        bool opens;
        const char* type;
    } cases[] = {{"UP.CRM", logtest::CrmBytes(FramesAt({1, 2})), true, "crm"},
                 {"empty.crm", "", true, "crm"},
                 {"mdf.LOG", "whatever", false, "log"},
                 {"text.txt", "x", false, ""},
                 {"noext", "x", false, ""}};
    for (const Case& c : cases) {
        const std::string path = (dir / c.name).string();
        vextest::writeFile(path, c.bytes);
        count = 99;
        EXPECT_EQ(replay.Open(path, count, duration), c.opens) << c.name;
        EXPECT_EQ(replay.FileType(), c.type) << c.name;
        if (c.opens) {
            EXPECT_EQ(count, c.bytes.size() / kCrmRecordSize) << c.name;
        }
        tREPLAY_PAGE_INFO info;
        EXPECT_FALSE(replay.FindPage(0, info)) << c.name;
    }
    EXPECT_FALSE(replay.Open((dir / "gone.crm").string(), count, duration));
    EXPECT_EQ(replay.Reader(), nullptr);
}

// Pages go into the hub as received: its buffers emptied first, the frames in file order with their
// recorded times. The same page twice is not pushed again, but after paging anew it is; a page longer than
// the frame queue loses nothing; a file cut short meanwhile gives what is left.
class ReplayHubTest : public ReplayFileTest {
protected:
    ReplayHubTest() { hub.SetLogSink(&sink); }
    // Drains as the main frame's tick does, pushing the rest of the page between ticks.
    std::vector<double> Drained() {
        do hub.ProcessRxQueue();
        while (replay.PushPending() || hub.Queue().Count() > 0);
        std::vector<double> times;
        for (const tCAN_RAW_MSG& f : sink.frames) times.push_back(f.TimeMs);
        sink.frames.clear();
        return times;
    }
    CAppCfg cfg;
    CInfoMsgRing info;
    CCanMsgDataHub hub{cfg, info};
    hubtest::RecordingSink sink;
    CCanReplay replay;
};

TEST_F(ReplayHubTest, LoadPage) {
    sink.open = true;
    ASSERT_TRUE(replay.Open(Make(Times(10, 1.0)), count, duration));
    replay.PageByIndex(0, 4, count);
    replay.LoadPage(1);
    EXPECT_TRUE(Drained().empty()) << "no hub";
    replay.SetHub(&hub);
    hub.Queue().Push(hubtest::Frame(0x7FF));
    EXPECT_TRUE(replay.WillLoadPage(1));
    replay.LoadPage(1);
    EXPECT_EQ(replay.PageEndTime(), 1008.0);
    EXPECT_TRUE(hub.IsReady());
    EXPECT_EQ(Drained(), (std::vector<double>{1004, 1005, 1006, 1007, 1008}));
    EXPECT_FALSE(replay.WillLoadPage(1));
    replay.LoadPage(1);
    EXPECT_TRUE(Drained().empty());
    replay.PageByIndex(0, 3, count);
    replay.LoadPage(1);
    EXPECT_EQ(Drained(), (std::vector<double>{1003, 1004, 1005, 1006}));
    replay.LoadPage(7);
    EXPECT_EQ(replay.CurrentPage(), 7);
    EXPECT_TRUE(Drained().empty());

    constexpr uint32_t kLong = 3 * CCanRxMsgQueue::kCapacity + 17;
    ASSERT_TRUE(replay.Open(Make(Times(kLong, 0.1), "long.crm"), count, duration));
    replay.PageByIndex(0, kLong, count);
    replay.LoadPage(0);
    const auto times = Drained();
    ASSERT_EQ(times.size(), kLong);
    for (uint32_t i = 0; i < kLong; ++i) ASSERT_EQ(times[i], 1000.0 + i * 0.1) << i;
    EXPECT_EQ(hub.Queue().TakeDropped(), 0u);

    const std::string cut = Make(Times(100, 1.0), "cut.crm");
    ASSERT_TRUE(replay.Open(cut, count, duration));
    replay.PageByIndex(0, 99, count);
    ASSERT_EQ(::truncate(cut.c_str(), 40 * kCrmRecordSize + 3), 0);
    replay.LoadPage(0);
    EXPECT_EQ(Drained().size(), 40u);
}

// Replay mode only while neither online nor replaying; going online is refused while it lasts; its end
// leaves the hub not ready.
class ReplayModeTest : public wstest::WorkspaceTest {};

TEST_F(ReplayModeTest, AgainstOnline) {
    Make();
    Select(CAppCfg::kDevNxp);
    CCanReplay& replay = WorkspaceReplay(*ws);
    EXPECT_EQ(ws->Replay(), &replay);
    ASSERT_TRUE(ws->GoOnline());
    EXPECT_FALSE(BeginReplay(*ws, replay));
    EXPECT_FALSE(ws->IsReplaying());
    ws->GoOffline();

    ASSERT_TRUE(BeginReplay(*ws, replay));
    EXPECT_TRUE(replay.IsReplayActive());
    EXPECT_EQ(replay.Hub(), &ws->Hub());
    EXPECT_TRUE(ws->Hub().IsReady());
    EXPECT_FALSE(BeginReplay(*ws, replay));
    EXPECT_FALSE(ws->GoOnline());
    EXPECT_FALSE(ws->IsOnline());
    EndReplay(*ws, replay);
    EXPECT_FALSE(replay.IsReplayActive());
    EXPECT_FALSE(ws->IsReplaying());
    EXPECT_FALSE(ws->Hub().IsReady());
    ASSERT_TRUE(ws->GoOnline());
    ws->GoOffline();
}

}  // namespace
