#include "platform/event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace vex;

TEST(AutoResetEvent, TimesOutWhenNotSetAndResetsAfterAWait) {
    AutoResetEvent ev;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(ev.Wait(30));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(25));
    ev.Set();
    EXPECT_TRUE(ev.IsSet());
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.IsSet());
    EXPECT_FALSE(ev.Wait(0));
}

TEST(AutoResetEvent, WakesAWaiterOnAnotherThread) {
    AutoResetEvent ev;
    bool woke = false;
    std::thread t([&] { woke = ev.Wait(30000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ev.Set();
    t.join();
    EXPECT_TRUE(woke);
}
