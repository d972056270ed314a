#pragma once
// Inside the emulation: the bus with its scheduler thread, the nodes on it, and the building blocks the
// nodes share. Not for use outside platform/deviceport.
//
// Locking: one bus lock guards the bus and every node's state; each receive buffer has its own lock that
// is taken after the bus lock, never before it, so a host can wait on a buffer without holding up the bus.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/deviceport/emuframe.h"
#include "platform/deviceport/emupeer.h"

namespace vex::emu {

using Ns = int64_t;
inline constexpr Ns kNever = std::numeric_limits<Ns>::max();
inline constexpr Ns kNsPerMs = 1'000'000;
inline constexpr Ns kNsPerSec = 1'000'000'000;
inline constexpr int kSegments = 2;

class Bus;

// Something on the bus. Every member runs with the bus lock held.
class Node {
public:
    explicit Node(Bus& bus) : m_bus(bus) {}
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Every frame on every segment, the node's own included (sender == this).
    virtual void OnFrame(int segment, const Frame& frame, Ns endNs, uint32_t bits, const Node* sender) = 0;
    // Bus time of the node's next own event, kNever when it has none.
    virtual Ns NextDue() const = 0;
    // Runs the node's earliest event (its due time has come).
    virtual void Fire(Ns now) = 0;
    // The scheduler thread runs while any node asks for it.
    virtual bool KeepsBusRunning() const = 0;
    // Frames the node wanted to send while its transmit queue on the segment was full (bus lock held).
    uint64_t& Unsent() { return m_unsent; }
    // Room in the node's receive buffer for frames of the segment (fast bursts wait for it).
    virtual bool CanAccept(int segment) const {
        (void)segment;
        return true;
    }

protected:
    Bus& m_bus;

private:
    uint64_t m_unsent = 0;
};

// A device's or the peer's list of periodic frames, timed in bus time.
struct PeriodicSlot {
    int handle = 0;    // the peer's handle
    uint32_t key = 0;  // a device's key of the entry
    int segment = 0;
    Frame frame;
    Ns period = kNsPerMs;
    uint32_t remaining = 0;  // transmissions left; 0 with `endless`
    bool endless = true;
    bool rolling = false;  // data byte 0 counts transmissions
    Ns nextDue = 0;
};

class PeriodicList {
public:
    Ns NextDue() const;
    // The slot due first, or nullptr.
    PeriodicSlot* Earliest();
    // After a transmission: counts it, removes a finished slot, schedules the next one a period later. A
    // scheduler that was held up catches up: in bus time every frame keeps its place, as on hardware.
    void Sent(PeriodicSlot* slot);
    // Entries that wait since before `now` start again at `now` (no burst of missed frames).
    void Resync(Ns now);
    std::vector<PeriodicSlot>& Slots() { return m_slots; }
    const std::vector<PeriodicSlot>& Slots() const { return m_slots; }

private:
    std::vector<PeriodicSlot> m_slots;
};

// Counts bits in one-second windows of bus time, as a controller's bus-load counter does.
class BitWindow {
public:
    void Start(Ns now);
    void Add(Ns t, uint32_t bits);
    void RollTo(Ns t);
    uint32_t LastSecond() const { return m_last; }
    Ns NextBoundary() const { return m_start + kNsPerSec; }

private:
    Ns m_start = 0;
    uint32_t m_current = 0;
    uint32_t m_last = 0;
};

// A bounded receive buffer with its own lock. Full: the newest item is dropped and counted.
template <class T>
class RxBuffer {
public:
    explicit RxBuffer(size_t capacity) : m_items(capacity) {}
    // True when the buffer was empty before.
    bool Push(const T& item, bool& dropped) {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped = m_count == m_items.size();
        if (dropped) {
            ++m_dropped;
            return false;
        }
        m_items[(m_head + m_count) % m_items.size()] = item;
        const bool wasEmpty = m_count++ == 0;
        m_cv.notify_all();
        return wasEmpty;
    }
    // Takes up to max items; waits at most timeoutMs for the first one while keepWaiting() holds.
    template <class Pred>
    size_t Take(T* out, size_t max, uint32_t timeoutMs, Pred keepWaiting) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_count == 0 && timeoutMs > 0) {
            m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return m_count > 0 || !keepWaiting(); });
        }
        size_t n = 0;
        while (n < max && m_count > 0) {
            out[n++] = m_items[m_head];
            m_head = (m_head + 1) % m_items.size();
            --m_count;
        }
        return n;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_head = m_count = 0;
    }
    void WakeWaiters() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cv.notify_all();
    }
    size_t Count() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }
    size_t Capacity() const { return m_items.size(); }
    uint64_t Dropped() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_dropped;
    }
    void ResetDropped() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_dropped = 0;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<T> m_items;
    size_t m_head = 0;
    size_t m_count = 0;
    uint64_t m_dropped = 0;
};

// A controller's error counters and the levels derived from them.
struct ErrorCounters {
    uint8_t tx = 0;
    uint8_t rx = 0;
    void BusError() { rx = static_cast<uint8_t>(rx > 247 ? 255 : rx + 8); }
    void Received() {
        if (rx > 0) --rx;
    }
};

class PeerNode;
class Cf51Device;
class TwoChannelDevice;

class Bus {
public:
    static Bus& Instance();
    // At process exit: stops the scheduler and joins it; no scheduler starts after that.
    static void Shutdown();
    std::mutex& Mutex() { return m_mutex; }
    Ns Now() const;
    // With the bus lock held: the time up to which every event and frame has been delivered, which is how far
    // the nodes have seen the bus. It trails Now() while the scheduler is late, as on a loaded machine.
    Ns SeenUntil() const { return m_running ? m_seenUntil : Now(); }

    // With the bus lock held: puts the frame on the segment, starting at `earliest` or when the segment is
    // free, and returns its end time. Every node hears it when its last bit has passed, in the order the
    // frames end on all segments. With `immediate` it starts at `earliest` on a time line of its own that
    // may run ahead of the clock, and is heard at once (fast bursts only).
    // A sender's transmit queue on a segment holds kTxQueueFrames frames that have not ended yet, as a
    // controller's does: a frame beyond that is not sent, only counted in the sender's Unsent(), and the
    // result is kNever.
    Ns Transmit(Node* sender, int segment, const Frame& frame, Ns earliest, bool immediate = false);
    // Room left in the sender's transmit queue on the segment.
    size_t TxRoom(int segment, const Node* sender) const;
    // Frames of the segment that wait for the bus or are on it now, all senders.
    size_t Pending(int segment) const;
    Ns BusyUntil(int segment) const { return m_busyUntil[segment]; }
    uint32_t BitRate(int segment) const;
    // An interface opened its bus at this rate on the segment; the segment follows unless its rate is fixed.
    void InterfaceBitRate(int segment, uint32_t bitsPerSecond);
    void FixBitRate(int segment, uint32_t bitsPerSecond);
    bool AllAccept(int segment) const;
    // A node's events or its need for the scheduler changed: wake the scheduler, start it if needed.
    void Changed();
    // Frames in flight are dropped and both segments are free from now on.
    void DropInFlight();
    // While a segment is held, frames queued on it end at kNever; letting it go puts them on the bus back
    // to back from now.
    void Hold(int segment, bool hold);
    // Nothing in flight and no burst pending; waits for it up to timeoutMs (bus lock held by `lock`).
    bool WaitIdle(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs);

    PeerNode& Peer() { return *m_peer; }
    Cf51Device& Cf51() { return *m_cf51; }
    TwoChannelDevice& TwoChannel() { return *m_twoChannel; }

private:
    struct InFlight {
        int segment;
        Frame frame;
        Ns end;
        uint32_t bits;
        const Node* sender;
    };

    Bus();
    void Run();
    bool Wanted() const;
    void Deliver(const InFlight& f);
    bool Idle() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::thread m_thread;
    bool m_running = false;
    bool m_shutdown = false;
    Ns m_plannedWake = 0;
    Ns m_seenUntil = 0;
    const std::chrono::steady_clock::time_point m_epoch;
    Ns m_busyUntil[kSegments] = {0, 0};
    bool m_held[kSegments] = {false, false};
    std::deque<InFlight> m_inFlight[kSegments];  // per segment in end order
    uint32_t m_followRate[kSegments] = {500'000, 500'000};
    uint32_t m_fixedRate[kSegments] = {0, 0};
    PeerNode* m_peer = nullptr;
    Cf51Device* m_cf51 = nullptr;
    TwoChannelDevice* m_twoChannel = nullptr;
    std::vector<Node*> m_nodes;
};

}  // namespace vex::emu
