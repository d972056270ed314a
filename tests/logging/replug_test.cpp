// A log across a reconnection: the interface is unplugged for 300 ms while the continuous logger runs and
// comes back with its clock started again. The log's times ascend, the replay reader's duration is the
// traffic's, and time paging finds every page.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

#include "logging/canmsgdatalog.h"
#include "logging/canmsgrawreplaylogfile.h"
#include "logging/workspacemembers.h"
#include "tests/app/workspacetest.h"

namespace {

namespace peer = vex::emu::peer;
using Clock = std::chrono::steady_clock;
using vex::emu::Interface;

struct Kind {
    const char* name;
    size_t device;
    Interface iface;
};
void PrintTo(const Kind& kind, std::ostream* os) {
    *os << kind.name;
}

class ReplugLog : public wstest::WorkspaceTest, public ::testing::WithParamInterface<Kind> {
protected:
    // The main frame's tick, every 10 ms, until `until` holds (at most 30 s). It also asks for the bus
    // status (every 1.5 s there). Time beyond 50 ms between two ticks counts as time this process stood still
    // (stalledMs).
    template <class Pred>
    bool TickUntil(Pred until) {
        const auto end = Clock::now() + std::chrono::seconds(30);
        for (;;) {
            const auto now = Clock::now();
            if (m_lastTick) {
                const double gapMs = std::chrono::duration<double, std::milli>(now - *m_lastTick).count();
                stalledMs += std::max(0.0, gapMs - 50.0);
            }
            m_lastTick = now;
            ws->Hub().ProcessRxQueue();
            ws->MoveDeviceReports();
            tCAN_DEV_STATUS status;
            if (CCanDevice* device = ws->RxThread().CurDevice()) device->GetBusStatus(status);
            for (tINFO_MSG& m : Infos()) infos.push_back(std::move(m));
            if (until()) return true;
            if (Clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    bool TickFor(std::chrono::milliseconds span) {
        const auto end = Clock::now() + span;
        return TickUntil([&] { return Clock::now() >= end; });
    }
    std::vector<tINFO_MSG> infos;
    double stalledMs = 0.0;

private:
    std::optional<Clock::time_point> m_lastTick;
};

TEST_P(ReplugLog, TimesAscendAndTheReplayMeasuresTheTraffic) {
    Make();
    Select(GetParam().device, 500);
    CCanMsgDataLog& logger = WorkspaceLogger(*ws);
    ws->Cfg().Log.AutoLogFlag = 1;
    ws->Cfg().Log.LogFileNameId = "REPLUG";
    ASSERT_TRUE(ws->GoOnline());
    ASSERT_TRUE(logger.IsOpen());

    const auto trafficStart = Clock::now();
    const int h1 = peer::AddPeriodic(1, emutest::MakeFrame(0x101, false, {0}), 5, 0, true);
    const int h0 = peer::AddPeriodic(0, emutest::MakeFrame(0x100, false, {0}), 10, 0, true);
    ASSERT_TRUE(TickFor(std::chrono::milliseconds(1000)));
    const auto unplugged = Clock::now();
    peer::Unplug(GetParam().iface);
    ASSERT_TRUE(TickUntil([&] { return Clock::now() >= unplugged + std::chrono::milliseconds(300); }));
    peer::Replug(GetParam().iface);
    ASSERT_TRUE(TickUntil([&] {
        return std::any_of(infos.begin(), infos.end(), [](const tINFO_MSG& m) {
            return m.Text.find("设备已重新连接") != std::string::npos;
        });
    }));
    ASSERT_TRUE(TickFor(std::chrono::milliseconds(1000)));
    peer::RemovePeriodic(h0);
    peer::RemovePeriodic(h1);
    const double trafficMs = std::chrono::duration<double, std::milli>(Clock::now() - trafficStart).count();
    ASSERT_TRUE(peer::WaitIdle(30000));
    ASSERT_TRUE(TickFor(std::chrono::milliseconds(100)));
    ws->GoOffline();

    const auto recovery = std::find_if(infos.begin(), infos.end(), [](const tINFO_MSG& m) {
        return m.Text.find("设备已重新连接") != std::string::npos;
    });
    ASSERT_NE(recovery, infos.end());
    EXPECT_NE(recovery->Text.find("报文时间已按断开时长接续原时间轴"), std::string::npos) << recovery->Text;

    CCanMsgRawReplayLogFile replay;
    uint32_t count = 0;
    double duration = 0;
    ASSERT_TRUE(replay.OpenRead(logger.FileName(), count, duration)) << replay.LastError();
    ASSERT_GT(count, 200u);
    std::vector<tCAN_RAW_MSG> frames(count);
    uint32_t n = 0;
    ASSERT_TRUE(replay.ReadByIndex(0, count, frames.data(), count, n));
    std::vector<double> times;
    for (const tCAN_RAW_MSG& f : frames) times.push_back(f.TimeMs);
    for (size_t i = 1; i < times.size(); ++i) ASSERT_GE(times[i], times[i - 1]) << i << " of " << count;
    // The first frame goes out when the traffic starts, the last one at most a period before it ends; the
    // 300 ms away count as they passed. The time line after the reconnection follows the host clock at the
    // first read, and the traffic's end is the moment it was removed: a stall of this process (a loaded
    // machine) moves either by as long as it lasted, so the margin allows for the stalls the ticks saw.
    EXPECT_GT(duration, trafficMs - 10 - 100 - stalledMs) << stalledMs << " ms stalled";
    EXPECT_LT(duration, trafficMs + 100 + stalledMs) << stalledMs << " ms stalled";

    uint32_t pages = 0;
    replay.ReadPageByTime(0, 100, pages);
    ASSERT_EQ(pages, static_cast<uint32_t>(std::ceil(duration / 100)));
    for (uint32_t p = 0; p < pages; ++p) {
        tREPLAY_PAGE_INFO info;
        ASSERT_TRUE(replay.FindPage(p, info)) << p;
        const double start = times.front() + p * 100.0;
        // Each end of the page is found where a search over ascending times finds it: a record at that
        // very time (two channels may have several), else the first one after it, else the last one.
        const auto found = [&](uint32_t index, double t) {
            const auto it = std::lower_bound(times.begin(), times.end(), t);
            if (it == times.end()) return index == count - 1;
            return index < count && (times[index] == t ? *it == t : index == it - times.begin());
        };
        EXPECT_TRUE(found(info.FirstIndex, start)) << p << ": " << info.FirstIndex;
        EXPECT_TRUE(found(info.LastIndex, start + 100)) << p << ": " << info.LastIndex;
    }
}

const Kind kKinds[] = {
    {"Nxp", CAppCfg::kDevNxp, Interface::TwoChannel},
    {"Cf51", CAppCfg::kDevCf51, Interface::Cf51},
};
INSTANTIATE_TEST_SUITE_P(Devices, ReplugLog, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) { return info.param.name; });

}  // namespace
