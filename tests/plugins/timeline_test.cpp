// The time line both plug-ins put their frames on: a reconnected device starts its clock again, and the
// frames after it follow the frames before by the time that passed on the host.
#include <gtest/gtest.h>

#include <vector>

#include "plugins/common/frametimeline.h"

namespace {

// One read: the device's times of its frames, the connection they come from, the host time of the read.
struct Read {
    std::vector<double> device;
    uint32_t connection;
    double hostMs;
};

std::vector<double> Place(CFrameTimeLine& line, const std::vector<Read>& reads) {
    std::vector<double> out;
    for (const Read& r : reads) {
        std::vector<tCAN_RAW_MSG> msgs(r.device.size());
        for (size_t i = 0; i < msgs.size(); ++i) msgs[i].TimeMs = r.device[i];
        line.Apply(msgs.data(), static_cast<int32_t>(msgs.size()), r.connection, r.hostMs);
        for (const tCAN_RAW_MSG& m : msgs) out.push_back(m.TimeMs);
    }
    return out;
}

TEST(FrameTimeLine, ReconnectionsContinueTheTimeLineByTheHostTime) {
    struct Case {
        const char* what;
        std::vector<Read> reads;
        std::vector<double> want;
    } cases[] = {
        {"one connection: the device's times stand",
         {{{100, 105}, 3, 1000}, {{110}, 3, 1012}},
         {100, 105, 110}},
        // Reads lag 2 ms behind the device; away for about 400 ms of host time, the new clock at 8 ms.
        {"the first read after a reconnection stands where the host says",
         {{{5000, 5005}, 3, 2007}, {{5010}, 3, 2012}, {{3, 8}, 4, 2420}},
         {5000, 5005, 5010, 5413, 5418}},
        {"the least lag of the recent reads counts, not a late one",
         {{{5000}, 3, 2002}, {{5005}, 3, 2050}, {{8}, 4, 2420}},
         {5000, 5005, 5418}},
        // The last frame before the loss was read late, just before a read of a long run after it.
        {"frames after a reconnection never come before those handed on",
         {{{5000}, 3, 2002}, {{5010}, 3, 2400}, {{3, 500}, 4, 2401}},
         {5000, 5010, 5010, 5507}},
        {"connections without frames between count as one gap",
         {{{5000}, 3, 2000}, {{1}, 6, 3001}},
         {5000, 6001}},
        {"frames of the same later connection keep their distance",
         {{{5000}, 3, 2000}, {{8}, 4, 2420}, {{20, 30}, 4, 2433}},
         {5000, 5420, 5432, 5442}},
        {"nothing handed on before: nothing to follow", {{{3, 8}, 4, 2420}}, {3, 8}},
    };
    for (const Case& c : cases) {
        CFrameTimeLine line;
        line.Start(3);
        EXPECT_EQ(Place(line, c.reads), c.want) << c.what;
    }
}

// A device whose clock runs slow against the host's: the lag of reads long past no longer counts.
TEST(FrameTimeLine, OnlyRecentReadsSayWhereTheTimeLineStands) {
    CFrameTimeLine line;
    line.Start(0);
    std::vector<Read> reads;
    for (int i = 0; i <= 50; ++i) {
        // 10 s: the lag grows from 1 ms to 6 ms (0.05 % slow).
        reads.push_back({{i * 200.0}, 0, i * 200.0 + 1 + i * 0.1});
    }
    reads.push_back({{4}, 1, 10000 + 6 + 300});
    const std::vector<double> times = Place(line, reads);
    EXPECT_NEAR(times.back(), 10000 + 300, 1.0);  // the lag of the first reads would give 10305

    line.Start(1);  // a new bus session: its connection keeps the device's times
    EXPECT_EQ(Place(line, {{{7}, 1, 20000}}), std::vector<double>{7});
}

}  // namespace
