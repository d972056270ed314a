#pragma once
// Helpers of the suites that run against the emulated bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <thread>

#include "platform/deviceport/emupeer.h"

namespace emutest {

// Threads of this process right now.
inline int ThreadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// The thread count to come back to: a sanitizer starts a helper thread with the first thread a process
// makes, so one thread is made and joined first.
inline int ThreadBaseline() {
    std::thread([] {}).join();
    return ThreadCount();
}

// Polls pred every millisecond; true as soon as it holds. The deadline only ends a wait that fails, so it
// is never below 30 s: a loaded machine may take many times the usual time for what surely comes.
template <class Pred>
bool WaitFor(Pred pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 30000));
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline vex::emu::Frame MakeFrame(uint32_t id, bool ext, std::initializer_list<uint8_t> data,
                                 bool remote = false) {
    vex::emu::Frame f;
    f.id = id;
    f.ext = ext;
    f.remote = remote;
    f.dlc = static_cast<uint8_t>(data.size());
    size_t i = 0;
    for (uint8_t b : data) f.data[i++] = b;
    return f;
}

// A frame whose data bytes 0-3 carry `seq` (little end first), for order checks.
inline vex::emu::Frame SeqFrame(uint32_t id, uint32_t seq) {
    return MakeFrame(id, false,
                     {static_cast<uint8_t>(seq), static_cast<uint8_t>(seq >> 8),
                      static_cast<uint8_t>(seq >> 16), static_cast<uint8_t>(seq >> 24)});
}
inline uint32_t SeqOf(const uint8_t* data) {
    return uint32_t{data[0]} | (uint32_t{data[1]} << 8) | (uint32_t{data[2]} << 16) |
           (uint32_t{data[3]} << 24);
}

// Every test starts and ends on a silent bus with both interfaces plugged in and idle.
class EmuTest : public ::testing::Test {
protected:
    void SetUp() override { vex::emu::peer::Reset(); }
    void TearDown() override { vex::emu::peer::Reset(); }
};

}  // namespace emutest
