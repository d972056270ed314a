#pragma once
// Helpers of the suites that run against the emulated bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
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

// The peer's frames make(0), make(1), ... on both segments, back to back at the bus rate, queued in chunks
// while fewer than `window` frames are on their way to the consumer (queued minus consumed). A consumer
// that keeps up sees one unbroken burst; one that stalls, as a loaded machine's threads do, only slows the
// bus down instead of overrunning a queue that is meant to drop when full.
class PacedBursts {
public:
    PacedBursts(uint32_t perChannel, uint32_t window, std::function<vex::emu::Frame(uint32_t)> make,
                uint32_t chunk = 1000)
        : m_perChannel(perChannel), m_window(window), m_chunk(chunk), m_make(std::move(make)) {}

    // Queues chunks while the window allows; `consumed` counts the frames of both segments taken so far.
    // False once nothing more was consumed for 30 s: frames were lost, and the run is to end.
    bool Feed(uint64_t consumed) {
        const auto now = std::chrono::steady_clock::now();
        if (consumed != m_consumed || m_queued == 0) {
            m_consumed = consumed;
            m_progress = now;
        } else if (now - m_progress > std::chrono::seconds(30)) {
            return false;
        }
        while (m_queued < m_perChannel && 2 * uint64_t{m_queued} < consumed + m_window) {
            const uint32_t n = std::min(m_chunk, m_perChannel - m_queued);
            for (int seg = 0; seg < 2; ++seg)
                vex::emu::peer::SendBurst(
                    seg, n, [make = m_make, first = m_queued](uint32_t i) { return make(first + i); });
            m_queued += n;
        }
        return true;
    }
    bool AllQueued() const { return m_queued == m_perChannel; }

private:
    uint32_t m_perChannel;
    uint32_t m_window;
    uint32_t m_chunk;
    std::function<vex::emu::Frame(uint32_t)> m_make;
    uint32_t m_queued = 0;  // per segment
    uint64_t m_consumed = 0;
    std::chrono::steady_clock::time_point m_progress;
};

// True once the process runs `n` threads again (at most 30 s). A joined thread can stay listed for a moment
// while the kernel finishes its exit, so the count is waited for, never read once right after a join.
inline bool ThreadsBackTo(int n) {
    return WaitFor([n] { return ThreadCount() == n; }, 30'000);
}

// Every test starts and ends on a silent bus with both interfaces plugged in and idle.
class EmuTest : public ::testing::Test {
protected:
    void SetUp() override { vex::emu::peer::Reset(); }
    void TearDown() override { vex::emu::peer::Reset(); }
};

}  // namespace emutest
