#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/deviceport/emubus.h"
#include "platform/deviceport/emunodes.h"

namespace vex::emu {

// ---- periodic lists and bit windows ----

Ns PeriodicList::NextDue() const {
    Ns due = kNever;
    for (const PeriodicSlot& s : m_slots) due = std::min(due, s.nextDue);
    return due;
}

PeriodicSlot* PeriodicList::Earliest() {
    PeriodicSlot* best = nullptr;
    for (PeriodicSlot& s : m_slots) {
        if (!best || s.nextDue < best->nextDue) best = &s;
    }
    return best;
}

void PeriodicList::Sent(PeriodicSlot* slot) {
    if (slot->rolling) ++slot->frame.data[0];
    if (!slot->endless && --slot->remaining == 0) {
        m_slots.erase(m_slots.begin() + (slot - m_slots.data()));
        return;
    }
    slot->nextDue += slot->period;
}

void PeriodicList::Resync(Ns now) {
    for (PeriodicSlot& s : m_slots) s.nextDue = std::max(s.nextDue, now);
}

void BitWindow::Start(Ns now) {
    m_start = now;
    m_current = 0;
    m_last = 0;
}

void BitWindow::RollTo(Ns t) {
    if (t < m_start + kNsPerSec) return;
    const Ns windows = (t - m_start) / kNsPerSec;
    m_last = windows == 1 ? m_current : 0;
    m_current = 0;
    m_start += windows * kNsPerSec;
}

void BitWindow::Add(Ns t, uint32_t bits) {
    RollTo(t);
    m_current += bits;
}

// ---- the bus ----

namespace {

std::atomic<Bus*> g_bus{nullptr};

// Joins the scheduler at exit. Constructed when this library loads, so it is destroyed after the static
// objects of the libraries and programs that use the bus (their devices are closed by then).
struct SchedulerReaper {
    ~SchedulerReaper() { Bus::Shutdown(); }
} g_reaper;

}  // namespace

Bus& Bus::Instance() {
    // Never destroyed: plug-ins and driver libraries may still close their devices during static
    // destruction, after this library's own destructors would have run.
    static Bus* bus = [] {
        Bus* b = new Bus();
        g_bus = b;
        return b;
    }();
    return *bus;
}

void Bus::Shutdown() {
    Bus* bus = g_bus.load();
    if (!bus) return;
    std::thread scheduler;
    {
        std::lock_guard<std::mutex> lock(bus->m_mutex);
        bus->m_shutdown = true;
        bus->m_wake.notify_all();
        scheduler = std::move(bus->m_thread);
    }
    if (scheduler.joinable()) scheduler.join();
}

Bus::Bus() : m_epoch(std::chrono::steady_clock::now()) {
    m_peer = new PeerNode(*this);
    m_cf51 = new Cf51Device(*this);
    m_twoChannel = new TwoChannelDevice(*this);
    m_nodes = {m_peer, m_cf51, m_twoChannel};
    std::lock_guard<std::mutex> lock(m_mutex);
    ApplyEnvironment(*this);
}

Ns Bus::Now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - m_epoch)
        .count();
}

uint32_t Bus::BitRate(int segment) const {
    return m_fixedRate[segment] != 0 ? m_fixedRate[segment] : m_followRate[segment];
}

void Bus::InterfaceBitRate(int segment, uint32_t bitsPerSecond) {
    if (bitsPerSecond != 0) m_followRate[segment] = bitsPerSecond;
}

void Bus::FixBitRate(int segment, uint32_t bitsPerSecond) {
    m_fixedRate[segment] = bitsPerSecond;
}

Ns Bus::Transmit(Node* sender, int segment, const Frame& frame, Ns earliest, bool immediate) {
    const uint32_t bits = FrameBits(frame);
    if (immediate) {  // on a time line of its own, which other traffic does not wait for
        const Ns end = earliest + static_cast<Ns>(bits) * kNsPerSec / BitRate(segment);
        Deliver({segment, frame, end, bits, sender});
        return end;
    }
    if (TxRoom(segment, sender) == 0) {
        ++sender->Unsent();
        return kNever;
    }
    if (m_held[segment]) {  // waits, timed when the segment is let go
        m_inFlight[segment].push_back({segment, frame, kNever, bits, sender});
        return kNever;
    }
    const Ns start = std::max(earliest, m_busyUntil[segment]);
    const Ns end = start + static_cast<Ns>(bits) * kNsPerSec / BitRate(segment);
    m_busyUntil[segment] = end;
    const InFlight f{segment, frame, end, bits, sender};
    m_inFlight[segment].push_back(f);
    if (!m_running) {
        Changed();
    } else if (end + kNsPerMs < m_plannedWake) {
        m_wake.notify_all();  // otherwise the scheduler's next round (within a millisecond) delivers it
    }
    return end;
}

size_t Bus::TxRoom(int segment, const Node* sender) const {
    // Frames of a segment end in the order they were queued: the ones still to end are at the back. Frames
    // that ended but wait for the scheduler's next round are sent already and take no room.
    const Ns now = Now();
    size_t queued = 0;
    const auto& q = m_inFlight[segment];
    for (auto it = q.rbegin(); it != q.rend() && it->end > now; ++it) {
        if (it->sender == sender) ++queued;
    }
    return queued >= kTxQueueFrames ? 0 : kTxQueueFrames - queued;
}

size_t Bus::Pending(int segment) const {
    const Ns now = Now();
    const auto& q = m_inFlight[segment];
    return static_cast<size_t>(
        std::count_if(q.rbegin(), q.rend(), [now](const InFlight& f) { return f.end > now; }));
}

void Bus::Deliver(const InFlight& f) {
    for (Node* n : m_nodes) n->OnFrame(f.segment, f.frame, f.end, f.bits, f.sender);
}

bool Bus::AllAccept(int segment) const {
    return std::all_of(m_nodes.begin(), m_nodes.end(), [&](const Node* n) { return n->CanAccept(segment); });
}

bool Bus::Idle() const {
    return m_inFlight[0].empty() && m_inFlight[1].empty() && !m_peer->BurstsPending();
}

bool Bus::Wanted() const {
    if (m_shutdown) return false;
    return !Idle() ||
           std::any_of(m_nodes.begin(), m_nodes.end(), [](const Node* n) { return n->KeepsBusRunning(); });
}

void Bus::Changed() {
    if (m_running) {
        m_wake.notify_all();
        return;
    }
    if (!Wanted()) return;
    // A scheduler that found nothing to do has left its loop and only returns: joining it is immediate.
    if (m_thread.joinable()) m_thread.join();
    m_peer->Resync(Now());
    m_running = true;
    m_thread = std::thread([this] { Run(); });
}

void Bus::DropInFlight() {
    const Ns now = Now();
    for (int s = 0; s < kSegments; ++s) {
        m_inFlight[s].clear();
        m_busyUntil[s] = std::min(m_busyUntil[s], now);
    }
    m_idle.notify_all();
}

void Bus::Hold(int segment, bool hold) {
    if (m_held[segment] == hold) return;
    m_held[segment] = hold;
    if (hold) return;
    // Held frames are the queue's tail, in the order they were queued.
    m_busyUntil[segment] = std::max(Now(), m_busyUntil[segment]);
    for (InFlight& f : m_inFlight[segment]) {
        if (f.end != kNever) continue;
        f.end = m_busyUntil[segment] + static_cast<Ns>(f.bits) * kNsPerSec / BitRate(segment);
        m_busyUntil[segment] = f.end;
    }
    Changed();
}

bool Bus::WaitIdle(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs) {
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return Idle(); });
}

// The scheduler: runs the nodes' events and delivers the frames in bus-time order. It wakes about once a
// millisecond, like a device serving its host once per USB frame; frames keep their exact bus times.
void Bus::Run() {
    pthread_setname_np(pthread_self(), "vex-emu-bus");
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (!Wanted()) {
            m_running = false;
            m_idle.notify_all();
            return;
        }
        Ns now = Now();
        Ns due = kNever;
        int done = 0;
        for (;;) {
            Node* next = nullptr;
            due = kNever;
            for (Node* n : m_nodes) {
                const Ns d = n->NextDue();
                if (d < due) {
                    due = d;
                    next = n;
                }
            }
            int seg = -1;
            for (int s = 0; s < kSegments; ++s) {
                if (!m_inFlight[s].empty() && m_inFlight[s].front().end <= due) {
                    due = m_inFlight[s].front().end;
                    seg = s;
                }
            }
            if (due > now) {
                m_seenUntil = now;
                break;
            }
            if (seg >= 0) {
                const InFlight f = m_inFlight[seg].front();
                m_inFlight[seg].pop_front();
                Deliver(f);
            } else {
                next->Fire(now);
            }
            if (Idle()) m_idle.notify_all();
            if (++done == 4096) {  // let hosts in between long runs of due events
                lock.unlock();
                std::this_thread::yield();
                lock.lock();
                now = Now();
                done = 0;
            }
        }
        m_plannedWake = std::max(std::min(due, now + 50 * kNsPerMs), now + kNsPerMs);
        m_wake.wait_until(lock, m_epoch + std::chrono::nanoseconds(m_plannedWake));
    }
}

// ---- the peer ----

void PeerNode::OnFrame(int segment, const Frame& frame, Ns endNs, uint32_t, const Node* sender) {
    if (!m_recording || sender == this) return;
    if (m_seen.size() >= kRecordMax) {
        ++m_recordDropped;
        return;
    }
    const Origin origin =
        sender == static_cast<const Node*>(&m_bus.Cf51()) ? Origin::Cf51 : Origin::TwoChannel;
    m_seen.push_back({segment, frame, endNs, origin});
}

Ns PeerNode::BurstDue(const Burst& b) const {
    if (b.pace == Pace::BusRate) return std::max(b.start, m_bus.BusyUntil(b.segment));
    return m_bus.AllAccept(b.segment) ? b.start : m_bus.Now() + kNsPerMs;
}

Ns PeerNode::NextDue() const {
    Ns due = m_periodic.NextDue();
    for (const Burst& b : m_bursts) due = std::min(due, BurstDue(b));
    return due;
}

void PeerNode::Fire(Ns now) {
    auto burst = m_bursts.end();
    Ns burstDue = kNever;
    for (auto it = m_bursts.begin(); it != m_bursts.end(); ++it) {
        const Ns d = BurstDue(*it);
        if (d < burstDue) {
            burstDue = d;
            burst = it;
        }
    }
    PeriodicSlot* slot = m_periodic.Earliest();
    if (slot && slot->nextDue <= burstDue) {
        m_bus.Transmit(this, slot->segment, slot->frame, slot->nextDue);
        m_periodic.Sent(slot);
        return;
    }
    if (burst == m_bursts.end()) return;
    const Frame f = burst->make(burst->next);
    if (burst->pace == Pace::BusRate) {
        m_bus.Transmit(this, burst->segment, f, burstDue);
    } else {
        if (burst->next == 0) burst->cursor = std::max(now, m_bus.BusyUntil(burst->segment));
        burst->cursor = m_bus.Transmit(this, burst->segment, f, burst->cursor, true);
    }
    if (++burst->next == burst->count) m_bursts.erase(burst);
}

int PeerNode::AddPeriodic(int segment, const Frame& frame, uint32_t periodMs, uint32_t count, bool rolling) {
    PeriodicSlot s;
    s.handle = m_nextHandle++;
    s.segment = segment;
    s.frame = frame;
    s.period = std::max<uint32_t>(periodMs, 1) * kNsPerMs;
    s.endless = count == 0;
    s.remaining = count;
    s.rolling = rolling;
    s.nextDue = m_bus.Now();
    m_periodic.Slots().push_back(s);
    return s.handle;
}

bool PeerNode::RemovePeriodic(int handle) {
    auto& slots = m_periodic.Slots();
    const auto it =
        std::find_if(slots.begin(), slots.end(), [&](const PeriodicSlot& s) { return s.handle == handle; });
    if (it == slots.end()) return false;
    slots.erase(it);
    return true;
}

void PeerNode::AddBurst(int segment, uint32_t count, std::function<Frame(uint32_t)> make, Pace pace) {
    if (count == 0) return;
    m_bursts.push_back({segment, count, 0, std::move(make), pace, m_bus.Now()});
}

void AddDefaultTraffic(PeerNode& p) {
    auto frame = [](uint32_t id, bool ext) {
        Frame f;
        f.id = id;
        f.ext = ext;
        f.dlc = 8;
        f.data = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
        return f;
    };
    p.AddPeriodic(0, frame(0x101, false), 100, 0, true);
    p.AddPeriodic(0, frame(0x18FEF100, true), 500, 0, true);
    p.AddPeriodic(1, frame(0x201, false), 100, 0, true);
    p.AddPeriodic(1, frame(0x0CF00400, true), 50, 0, true);
}

// ---- the peer's public face ----

namespace peer {
namespace {

int CheckedSegment(int segment) {
    return segment == 0 ? 0 : 1;
}

}  // namespace

void Reset() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    PeerNode& p = bus.Peer();
    p.ClearPeriodic();
    p.ClearBursts();
    for (int s = 0; s < kSegments; ++s) bus.Hold(s, false);
    bus.DropInFlight();
    p.SetRecording(false);
    p.Seen().clear();
    p.RecordDropped() = 0;
    for (int s = 0; s < kSegments; ++s) bus.FixBitRate(s, 0);
    const Ns now = bus.Now();
    if (!bus.Cf51().Present()) bus.Cf51().Replug(now);
    if (!bus.TwoChannel().Present()) bus.TwoChannel().Replug(now);
    bus.Cf51().ResetCounters();
    bus.TwoChannel().ResetCounters();
    for (Node* n :
         {static_cast<Node*>(&p), static_cast<Node*>(&bus.Cf51()), static_cast<Node*>(&bus.TwoChannel())})
        n->Unsent() = 0;
    bus.Changed();
}

void UseDefaultTraffic() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    AddDefaultTraffic(bus.Peer());
    bus.Changed();
}

void SendOnce(int segment, const Frame& frame) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    bus.Transmit(&bus.Peer(), CheckedSegment(segment), frame, bus.Now());
}

int AddPeriodic(int segment, const Frame& frame, uint32_t periodMs, uint32_t count, bool rollingCounter) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    const int h = bus.Peer().AddPeriodic(CheckedSegment(segment), frame, periodMs, count, rollingCounter);
    bus.Changed();
    return h;
}

bool RemovePeriodic(int handle) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return bus.Peer().RemovePeriodic(handle);
}

void ClearPeriodic() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    bus.Peer().ClearPeriodic();
}

void SendBurst(int segment, uint32_t count, std::function<Frame(uint32_t)> make, Pace pace) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    bus.Peer().AddBurst(CheckedSegment(segment), count, std::move(make), pace);
    bus.Changed();
}

bool WaitIdle(uint32_t timeoutMs) {
    Bus& bus = Bus::Instance();
    std::unique_lock<std::mutex> lock(bus.Mutex());
    return bus.WaitIdle(lock, timeoutMs);
}

void SetRecording(bool on) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    bus.Peer().SetRecording(on);
}

std::vector<SeenFrame> Received() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return bus.Peer().Seen();
}

void ClearReceived() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    bus.Peer().Seen().clear();
    bus.Peer().RecordDropped() = 0;
}

uint64_t RecordDropped() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return bus.Peer().RecordDropped();
}

void Unplug(Interface which) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    if (which == Interface::Cf51) {
        bus.Cf51().Unplug();
    } else {
        bus.TwoChannel().Unplug();
    }
    bus.Changed();
}

void Replug(Interface which) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    if (which == Interface::Cf51) {
        if (!bus.Cf51().Present()) bus.Cf51().Replug(bus.Now());
    } else if (!bus.TwoChannel().Present()) {
        bus.TwoChannel().Replug(bus.Now());
    }
}

bool IsPlugged(Interface which) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return which == Interface::Cf51 ? bus.Cf51().Present() : bus.TwoChannel().Present();
}

void HoldSegment(int segment, bool hold) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    bus.Hold(CheckedSegment(segment), hold);
}

void SetBitRate(int segment, uint32_t bitsPerSecond) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    bus.FixBitRate(CheckedSegment(segment), bitsPerSecond);
}

uint32_t BitRate(int segment) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return bus.BitRate(CheckedSegment(segment));
}

void InjectBusError(int segment) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    if (CheckedSegment(segment) == Cf51Device::kSegment) bus.Cf51().BusError();
    bus.TwoChannel().BusError(CheckedSegment(segment));
}

uint64_t DroppedFrames(Interface which) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return which == Interface::Cf51 ? bus.Cf51().Dropped() : bus.TwoChannel().Dropped();
}

size_t Untaken(Interface which) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return which == Interface::Cf51 ? bus.Cf51().Untaken() : bus.TwoChannel().Untaken();
}

uint64_t UnsentFrames(Origin who) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    switch (who) {
        case Origin::Peer:
            return bus.Peer().Unsent();
        case Origin::Cf51:
            return bus.Cf51().Unsent();
        case Origin::TwoChannel:
            return bus.TwoChannel().Unsent();
    }
    return 0;
}

size_t PendingFrames(int segment) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return bus.Pending(CheckedSegment(segment));
}

std::vector<ControlCall> Cf51ControlCalls() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return bus.Cf51().ControlCalls();
}

void FailCf51ControlCalls(uint32_t count) {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    bus.Cf51().FailControls(count);
}

uint64_t DeviceQueries() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    return bus.Cf51().Queries();
}

int64_t BusTimeNs() {
    return Bus::Instance().Now();
}

}  // namespace peer
}  // namespace vex::emu
