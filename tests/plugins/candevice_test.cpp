// The device interface itself: its records, the base class's operations and the operator-report ring.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "plugins/include/candevice.h"

namespace {

static_assert(!std::is_copy_constructible_v<CCanDevice> && !std::is_copy_assignable_v<CCanDevice>);

struct Probe : CCanDevice {
    using CCanDevice::OperatorReport;
    using CCanDevice::OperatorReportF;
};

std::vector<std::string> Drain(tCAN_DEV_REPORT_RING& ring) {
    std::vector<std::string> out;
    tCAN_DEV_REPORT r;
    while (PopDevReport(ring, r)) out.emplace_back(r.Text);
    return out;
}

TEST(CanDevice, FreshRecordsAndBaseOperations) {
    const tCAN_RAW_MSG m;
    EXPECT_EQ(m.Id, 0u);
    EXPECT_EQ(m.Ext + m.Remote + m.Dir + m.Chan + m.Dlc, 0);
    for (uint8_t b : m.Data) EXPECT_EQ(b, 0xFF);
    EXPECT_EQ(m.TimeMs, 0.0);

    CCanDevice dev;
    EXPECT_EQ(dev.m_ChanCount, 0);
    EXPECT_EQ(dev.m_ChanCfg[0].BitRateCode + dev.m_ChanCfg[1].BitRateCode, 0);
    tCAN_RAW_MSG frames[4];
    int32_t count = 7;
    tCAN_CYCTX_MSG cyc;
    tCAN_DEV_STATUS status;
    status.Chan[1].BusLoad = 12.5;
    const uint32_t results[] = {
        dev.DeviceOpen(),
        dev.DeviceClose(),
        dev.BusOpen(),
        dev.BusClose(),
        dev.Write(m),
        dev.Read(frames, 4, count),
        dev.AddCycTxMsg(cyc),
        dev.RmvCycTxMsg(cyc),
        dev.UpdateCycTxMsgPeriod(cyc),
        dev.UpdateCycTxMsgData(cyc),
        dev.GetBusStatus(status),
    };
    for (uint32_t r : results) EXPECT_EQ(r, 0xFFFFFFFFu);
    EXPECT_EQ(count, 7);  // nothing changed
    EXPECT_EQ(status.Chan[1].BusLoad, 12.5);
    EXPECT_FALSE(dev.m_RcvEvent.IsSet());
    tCAN_DEV_REPORT r;
    EXPECT_FALSE(PopDevReport(dev.m_ReportRing, r));
}

TEST(ReportRing, KeepsTheLastTwentyOldestFirst) {
    Probe dev;
    for (int i = 1; i <= 21; ++i) dev.OperatorReport("report " + std::to_string(i), i % 2 ? 0 : 2);
    EXPECT_EQ(dev.m_ReportRing.Count, 20u);
    const auto texts = Drain(dev.m_ReportRing);
    ASSERT_EQ(texts.size(), 20u);
    EXPECT_EQ(texts.front(), "report 2");  // the first was dropped
    EXPECT_EQ(texts.back(), "report 21");
    EXPECT_EQ(dev.m_ReportRing.Count, 0u);

    dev.OperatorReportF(2, "故障代码：0x%08X", 0x10u);
    tCAN_DEV_REPORT r;
    ASSERT_TRUE(PopDevReport(dev.m_ReportRing, r));
    EXPECT_STREQ(r.Text, "故障代码：0x00000010");
    EXPECT_EQ(r.Severity, 2);
    EXPECT_LT(r.Hour, 24);
    EXPECT_LT(r.Minute, 60);
    EXPECT_LT(r.Second, 61);
}

TEST(ReportRing, TextIsCutTo1023BytesOnACharacterBoundary) {
    struct Case {
        std::string text;
        size_t kept;
    } cases[] = {
        {std::string(1023, 'a'), 1023},
        {std::string(1024, 'b'), 1023},
        {std::string(5000, 'c'), 1023},
        {std::string(1020, 'd') + "中", 1023},  // fits exactly
        {std::string(1021, 'e') + "中", 1021},  // the character would be split: it goes whole
        {"", 0},
    };
    for (const Case& c : cases) {
        Probe dev;
        dev.OperatorReport(c.text, 0);
        tCAN_DEV_REPORT r;
        ASSERT_TRUE(PopDevReport(dev.m_ReportRing, r));
        EXPECT_EQ(std::strlen(r.Text), c.kept);
        EXPECT_EQ(std::string(r.Text), c.text.substr(0, c.kept));
    }
}

TEST(ReportRing, WritersAndTheReaderShareItSafely) {
    Probe dev;
    std::atomic<bool> done{false};
    std::vector<std::string> got;
    std::thread reader([&] {
        tCAN_DEV_REPORT r;
        while (!done) {
            while (PopDevReport(dev.m_ReportRing, r)) got.emplace_back(r.Text);
        }
        while (PopDevReport(dev.m_ReportRing, r)) got.emplace_back(r.Text);
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&dev, t] {
            char text[32];
            for (int i = 0; i < 2000; ++i) {
                std::snprintf(text, sizeof text, "w%d-%d", t, i);
                dev.OperatorReport(text, 0);
            }
        });
    }
    for (auto& w : writers) w.join();
    done = true;
    reader.join();
    EXPECT_LE(got.size(), 8000u);
    EXPECT_GE(got.size(), 20u);
    int last[4] = {-1, -1, -1, -1};
    for (const std::string& s : got) {  // whole texts, each writer's in its order
        ASSERT_EQ(s[0], 'w');
        const int t = s[1] - '0';
        const int i = std::stoi(s.substr(3));
        EXPECT_GT(i, last[t]);
        last[t] = i;
    }
}

}  // namespace
