#pragma once
// Waits and thread set-up shared by the services' worker threads.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/clock.h"

namespace vex::svc {

// The longest single wait a service makes, as the program's precise wait caps it.
inline constexpr uint32_t kMaxWaitMs = 10000;

// Clock ticks of ms milliseconds (ms at most kMaxWaitMs).
inline int64_t MsToTicks(const Clock& clock, uint32_t ms) {
    return static_cast<int64_t>(static_cast<__int128>(clock.Frequency()) * std::min(ms, kMaxWaitMs) / 1000);
}

// Busy-waits (never sleeps) until the clock reaches `target`, the precise wait of the program, but returns
// false as soon as keepGoing() turns false, so a stop never waits out a long delay. True when the target
// was reached.
template <class KeepGoing>
bool BusyWaitUntil(const Clock& clock, int64_t target, KeepGoing keepGoing) {
    while (clock.Ticks() < target) {
        if (!keepGoing()) return false;
    }
    return true;
}

// BusyWaitUntil for ms milliseconds from now (at most kMaxWaitMs).
template <class KeepGoing>
bool BusyWaitMs(const Clock& clock, uint32_t ms, KeepGoing keepGoing) {
    if (ms == 0) return keepGoing();
    const int64_t start = clock.Ticks();
    const int64_t span = MsToTicks(clock, ms);
    const int64_t target = start > std::numeric_limits<int64_t>::max() - span
                               ? std::numeric_limits<int64_t>::max()
                               : start + span;
    return BusyWaitUntil(clock, target, keepGoing);
}

// Names the calling thread (at most 15 characters) and raises its priority where the system allows it;
// neither failing is an error.
void PrepareWorkerThread(const char* name, bool raisePriority);

}  // namespace vex::svc
