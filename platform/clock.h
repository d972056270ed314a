#pragma once
// The program's high-resolution counter: a steady clock read as ticks with a fixed frequency, in place of
// the platform's performance counter. Components that a test must drive take a Clock reference.
#include <atomic>
#include <cstdint>
#include <ctime>

namespace vex {

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t Ticks() const = 0;      // monotonic counter
    virtual int64_t Frequency() const = 0;  // ticks per second
    double NowMs() const { return static_cast<double>(Ticks()) * 1000.0 / static_cast<double>(Frequency()); }
};

// std::chrono::steady_clock in nanoseconds.
class SteadyClock final : public Clock {
public:
    int64_t Ticks() const override;
    int64_t Frequency() const override { return 1'000'000'000; }
};

// A clock that moves only when told to; for tests.
class ManualClock final : public Clock {
public:
    explicit ManualClock(int64_t frequency = 1'000'000'000) : m_frequency(frequency) {}
    int64_t Ticks() const override { return m_ticks.load(); }
    int64_t Frequency() const override { return m_frequency; }
    void Advance(int64_t ticks) { m_ticks += ticks; }
    void AdvanceMs(double ms) {
        m_ticks += static_cast<int64_t>(ms * static_cast<double>(m_frequency) / 1000.0);
    }

private:
    std::atomic<int64_t> m_ticks{0};
    int64_t m_frequency;
};

// The process-wide steady clock.
const Clock& SystemClock();

// Local time of day, thread-safe (localtime_r).
struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
LocalTime NowLocal();
// The same as a calendar record (the fields of std::tm).
std::tm NowLocalTm();

}  // namespace vex
