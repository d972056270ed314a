#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/infomsgring.h"

namespace {

void push(CInfoMsgRing& ring, int n) {
    ring.Push("10:00:00", "SRC", static_cast<uint8_t>(n % 3), "m" + std::to_string(n));
}

TEST(InfoMsgRing, KeepsFieldsAndOrder) {
    CInfoMsgRing ring;
    ring.Push("01:02:03", "导入DBC文件", 2, "文件格式错误");
    ring.Push("23:59:59", "NXP-VYK", 0, "");
    tINFO_MSG m;
    ASSERT_TRUE(ring.Pop(m));
    EXPECT_EQ(m.Source, "导入DBC文件");
    EXPECT_EQ(m.TimeText, "01:02:03");
    EXPECT_EQ(m.Level, 2);
    EXPECT_EQ(m.Text, "文件格式错误");
    ASSERT_TRUE(ring.Pop(m));
    EXPECT_EQ(m.Source, "NXP-VYK");
    // Pop on an empty ring leaves the record as it was.
    EXPECT_FALSE(ring.Pop(m));
    EXPECT_EQ(m.Source, "NXP-VYK");
    EXPECT_EQ(m.TimeText, "23:59:59");
    EXPECT_EQ(ring.Count(), 0u);
}

// A message's detail rows travel in its one entry: 2,000 of them take one place, and the entry the ring
// reuses next does not keep them. The alert of such a message is its head text alone.
TEST(InfoMsgRing, DetailRowsTakeOnePlace) {
    CInfoMsgRing ring;
    std::vector<std::string> details;
    for (int i = 0; i < 2000; ++i) details.push_back("第[" + std::to_string(i + 2) + "]行：r");
    for (int i = 0; i < 199; ++i) push(ring, i);
    ring.Push("02:00:00", "导入DBC文件", 1, "head", details);
    EXPECT_EQ(ring.Count(), 200u);
    EXPECT_EQ(ring.Dropped(), 0u);
    uint64_t serial = 0;
    tINFO_MSG m;
    ASSERT_TRUE(ring.NewerAlert(serial, m));
    EXPECT_EQ(m.Text, "head");
    EXPECT_TRUE(m.Details.empty());

    std::vector<tINFO_MSG> all;
    EXPECT_EQ(ring.PopAll(all), 0u);
    ASSERT_EQ(all.size(), 200u);
    EXPECT_EQ(all.back().Details, details);
    EXPECT_EQ(ring.Count(), 0u);
    for (int i = 0; i < 200; ++i) push(ring, i);  // the last push reuses the detailed message's entry
    all.clear();
    ring.PopAll(all);
    ASSERT_EQ(all.size(), 200u);
    EXPECT_TRUE(all.back().Details.empty());
}

// Pushes and pops interleaved across several wraps of the indices: the ring always yields the newest
// 200 messages still unread, oldest first.
TEST(InfoMsgRing, FullRingDropsOldest) {
    struct Case {
        int pushes;
        int firstPopped;  // number of the first message still held
    } cases[] = {{200, 0}, {201, 1}, {399, 199}, {1000, 800}, {1, 0}};
    for (const Case& c : cases) {
        CInfoMsgRing ring;
        for (int i = 0; i < c.pushes; ++i) push(ring, i);
        EXPECT_EQ(ring.Count(), static_cast<uint32_t>(std::min(c.pushes, 200)));
        EXPECT_EQ(ring.Dropped(), static_cast<uint64_t>(c.firstPopped));
        tINFO_MSG m;
        int expected = c.firstPopped;
        while (ring.Pop(m)) {
            EXPECT_EQ(m.Text, "m" + std::to_string(expected)) << c.pushes;
            ++expected;
        }
        EXPECT_EQ(expected, c.pushes);
    }
    // After partial reads the read index has moved: the overflow still drops exactly the oldest unread.
    CInfoMsgRing ring;
    for (int i = 0; i < 150; ++i) push(ring, i);
    tINFO_MSG m;
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(ring.Pop(m));
    for (int i = 150; i < 420; ++i) push(ring, i);
    ASSERT_TRUE(ring.Pop(m));
    EXPECT_EQ(m.Text, "m220");
    EXPECT_EQ(ring.Count(), 199u);
    EXPECT_EQ(ring.Dropped(), 120u);
}

TEST(InfoMsgRing, TimeText) {
    struct Case {
        int h, m, s;
        const char* text;
    } cases[] = {
        {0, 0, 0, "00:00:00"}, {1, 2, 3, "01:02:03"}, {23, 59, 59, "23:59:59"}, {255, 7, 100, "255:07:100"}};
    for (const Case& c : cases) EXPECT_EQ(InfoTimeText(c.h, c.m, c.s), c.text);
    const std::string now = InfoTimeTextNow();
    ASSERT_EQ(now.size(), 8u);
    EXPECT_EQ(now[2], ':');
    EXPECT_EQ(now[5], ':');
}

// A device report's text buffer need not hold a terminator: at most its 1024 bytes are read.
TEST(InfoMsgRing, DeviceReportTextIsBounded) {
    struct Report {
        uint8_t severity, hour, minute, second;
        char text[1024];
    };
    Report full{};
    full.severity = 2;
    full.hour = 9;
    full.minute = 5;
    full.second = 1;
    std::memset(full.text, 'x', sizeof full.text);  // no NUL anywhere
    Report shortText{};
    std::memcpy(shortText.text, "CAN0 bus off\0garbage", 20);

    CInfoMsgRing ring;
    PushDevReport(ring, "CF51-VYK", full.severity, full.hour, full.minute, full.second, full.text,
                  sizeof full.text);
    PushDevReport(ring, "NXP-VYK", 0, 0, 0, 0, shortText.text, sizeof shortText.text);
    tINFO_MSG m;
    ASSERT_TRUE(ring.Pop(m));
    EXPECT_EQ(m.Source, "CF51-VYK");
    EXPECT_EQ(m.TimeText, "09:05:01");
    EXPECT_EQ(m.Level, 2);
    EXPECT_EQ(m.Text, std::string(1024, 'x'));
    ASSERT_TRUE(ring.Pop(m));
    EXPECT_EQ(m.Text, "CAN0 bus off");
}

// Producers on several threads and a consumer: every message taken is whole (its fields belong together)
// and each producer's messages come out in the order pushed.
TEST(InfoMsgRing, ConcurrentPushAndPop) {
    CInfoMsgRing ring;
    constexpr int kProducers = 4, kEach = 5000;
    std::atomic<int> running{kProducers};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&ring, &running, p] {
            const std::string source = "P" + std::to_string(p);
            for (int i = 0; i < kEach; ++i)
                ring.Push(std::to_string(i), source, static_cast<uint8_t>(p),
                          source + ":" + std::to_string(i));
            --running;
        });
    }
    std::vector<int> last(kProducers, -1);
    int taken = 0;
    tINFO_MSG m;
    auto drain = [&] {
        while (ring.Pop(m)) {
            const int p = m.Level;
            ASSERT_LT(p, kProducers);
            ASSERT_EQ(m.Source, "P" + std::to_string(p));
            ASSERT_EQ(m.Text, m.Source + ":" + m.TimeText);
            const int i = std::stoi(m.TimeText);
            ASSERT_GT(i, last[static_cast<size_t>(p)]);
            last[static_cast<size_t>(p)] = i;
            ++taken;
        }
    };
    while (running > 0) drain();
    drain();
    for (auto& t : producers) t.join();
    drain();
    EXPECT_GT(taken, 0);
    EXPECT_LE(taken, kProducers * kEach);
    EXPECT_EQ(ring.Count(), 0u);
}

// The newest warning or error stays readable after the ring dropped or handed it out; normal messages of
// other sources and other levels do not replace it, and each one is reported once. A later normal message
// of the alert's own source ends it; after that only a new warning or error is reported.
TEST(InfoMsgRing, NewestAlert) {
    CInfoMsgRing ring;
    uint64_t serial = 0;
    tINFO_MSG alert;
    // The alert reported now, as "<level> <source> <time> <text>", or "-" when none is newer.
    auto newer = [&]() -> std::string {
        if (!ring.NewerAlert(serial, alert)) return "-";
        return std::to_string(alert.Level) + " " + alert.Source + " " + alert.TimeText + " " + alert.Text;
    };
    EXPECT_EQ(newer(), "-");
    ring.Push("01:00:00", "A", 2, "error");
    ring.Push("01:00:01", "B", 0, "normal");
    ring.Push("01:00:02", "C", 3, "odd level");
    EXPECT_EQ(newer(), "2 A 01:00:00 error");
    EXPECT_EQ(newer(), "-");
    ring.Push("01:00:03", "D", 1, "warning");
    for (int i = 0; i < 300; ++i) ring.Push("01:00:04", "E", 0, "flood");
    tINFO_MSG m;
    while (ring.Pop(m)) {
    }
    EXPECT_EQ(newer(), "1 D 01:00:03 warning");
    EXPECT_EQ(newer(), "-");

    // A device that reconnects after reporting its loss.
    ring.Push("01:00:05", "CF51-VYK", 2, "lost");
    ring.Push("01:00:06", "NXP-VYK", 0, "other device");
    EXPECT_EQ(newer(), "2 CF51-VYK 01:00:05 lost");
    ring.Push("01:00:07", "CF51-VYK", 0, "reconnected");
    ring.Push("01:00:08", "CF51-VYK", 0, "later news");
    ring.Push("01:00:09", "CF51-VYK", 3, "odd level");
    EXPECT_EQ(newer(), "0 CF51-VYK 01:00:07 reconnected");
    EXPECT_EQ(newer(), "-");
    ring.Push("01:00:10", "NXP-VYK", 1, "warned");
    ring.Push("01:00:11", "CF51-VYK", 0, "not its source");
    EXPECT_EQ(newer(), "1 NXP-VYK 01:00:10 warned");
}

}  // namespace
