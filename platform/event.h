#pragma once
// Auto-reset event: Set wakes one waiter (or the next one to wait) and the event resets as that waiter
// returns. Waits are bounded by a time-out in milliseconds; kInfinite waits without limit.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vex {

class AutoResetEvent {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    void Reset();
    // True when the event was set (and is now reset), false on time-out.
    bool Wait(uint32_t timeoutMs);
    bool IsSet() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled = false;
};

}  // namespace vex
