// The emulated two-channel interface: two controllers with the classic bit-timing registers on a 16 MHz
// oscillator, channel N on bus segment N.
//
// Behaviour chosen where the driver library leaves it to the device, after what such hardware does:
// - Its own transmissions come back as received frames marked `tx` (the host sees what it sent).
// - Time stamps: microseconds since the interface was plugged in, at the end of the frame.
// - Bus load: bits counted per channel in one-second windows of bus time from the moment the bus was opened,
//   as for the single-channel interface (FrameBits).
// - Error counters rise by 8 on a bus error and fall by 1 per frame received; the status register reads
//   0x0C (transmit buffer free, transmission complete) plus 0x40 while a counter is at 96 or more.
// - Periodic list: up to 32 entries keyed by channel and identifier, first transmission when added, count
//   0 repeats until removed; removing an unknown entry succeeds, updating one fails with kErrNotFound.
// - One open handle at a time; closing it stops both controllers. Receive buffer of 65,536 frames.
// - Transmit queue of kTxQueueFrames frames per channel: a send into a full queue is refused (busy), a
//   periodic transmission that finds it full is skipped and counted.
#include <algorithm>

#include "platform/deviceport/deviceport.h"
#include "platform/deviceport/emunodes.h"

namespace vex::emu {

using namespace vex::devport;

namespace {

uint32_t ChannelRate(uint16_t word, uint16_t timing) {
    if (word == 0) {
        return TimingBitRate(8'000'000, static_cast<uint8_t>(timing >> 8), static_cast<uint8_t>(timing));
    }
    if ((word & 0xF000u) != 0x2000u) return 0;
    return (word & 0x0FFFu) * 1000u;
}

bool SameEntry(const PeriodicSlot& s, const TwoChannelPeriodic& e) {
    return s.segment == e.chan && s.frame.id == e.frame.id && s.frame.ext == e.frame.ext;
}

class Link final : public TwoChannelLink {
public:
    Link(TwoChannelDevice& dev, uint64_t generation) : m_dev(dev), m_generation(generation) {}
    ~Link() override { m_dev.CloseHandle(m_generation); }
    uint32_t OpenBus(const uint16_t words[4]) override { return m_dev.OpenBus(m_generation, words); }
    uint32_t CloseBus() override { return m_dev.CloseBus(m_generation); }
    uint32_t Transmit(uint8_t chan, const Frame& frame) override {
        return m_dev.Transmit(m_generation, chan, frame);
    }
    uint32_t Receive(TwoChannelFrame& out) override { return m_dev.Receive(m_generation, out); }
    uint32_t ReceiveMany(TwoChannelFrame* out, size_t max, size_t& count) override {
        return m_dev.ReceiveMany(m_generation, out, max, count);
    }
    void SetNotify(std::function<void()> notify) override {
        m_dev.SetNotify(m_generation, std::move(notify));
    }
    uint32_t Periodic(PeriodicOp op, const TwoChannelPeriodic& entry) override {
        return m_dev.Periodic(m_generation, op, entry);
    }
    uint32_t Status(TwoChannelStatus& out) override { return m_dev.Status(m_generation, out); }

private:
    TwoChannelDevice& m_dev;
    const uint64_t m_generation;
};

}  // namespace

void TwoChannelDevice::Push(const TwoChannelFrame& frame) {
    bool dropped = false;
    if (m_rx.Push(frame, dropped) && m_notify) m_notify();
}

void TwoChannelDevice::OnFrame(int segment, const Frame& frame, Ns endNs, uint32_t bits, const Node* sender) {
    if (!m_busOpen) return;
    m_bits[segment].Add(endNs, bits);
    if (sender != this) m_errors[segment].Received();
    TwoChannelFrame f;
    f.chan = static_cast<uint8_t>(segment);
    f.frame = frame;
    f.tx = sender == this;
    f.timeUs = static_cast<uint64_t>(std::max<Ns>(endNs - m_boot, 0) / 1000) & 0xFFFFFFFFFFFFull;
    Push(f);
}

void TwoChannelDevice::Fire(Ns) {
    PeriodicSlot* slot = m_periodic.Earliest();
    if (!slot) return;
    m_bus.Transmit(this, slot->segment, slot->frame, slot->nextDue);
    m_periodic.Sent(slot);
}

bool TwoChannelDevice::CanAccept(int) const {
    return !m_busOpen || m_rx.Count() < m_rx.Capacity() / 2;
}

void TwoChannelDevice::Idle() {
    m_busOpen = false;
    m_bitRate[0] = m_bitRate[1] = 0;
    m_periodic.Slots().clear();
    m_rx.Clear();
    m_notify = nullptr;
    m_errors[0] = m_errors[1] = {};
}

void TwoChannelDevice::BusError(int segment) {
    if (m_busOpen) m_errors[segment].BusError();
}

uint32_t TwoChannelDevice::OpenBus(uint64_t generation, const uint16_t words[4]) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation)) return kErrDeviceNotConnected;
    uint32_t rate[2];
    for (int c = 0; c < 2; ++c) {
        rate[c] = ChannelRate(words[2 * c], words[2 * c + 1]);
        if (rate[c] < 5'000 || rate[c] > 1'000'000) return kErrInvalidParameter;
    }
    const Ns now = m_bus.Now();
    m_rx.Clear();
    for (int c = 0; c < 2; ++c) {
        m_bitRate[c] = rate[c];
        m_bits[c].Start(now);
        m_errors[c] = {};
        m_bus.InterfaceBitRate(c, rate[c]);
    }
    m_busOpen = true;
    m_bus.Changed();
    return kOk;
}

uint32_t TwoChannelDevice::CloseBus(uint64_t generation) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation)) return kErrDeviceNotConnected;
    m_busOpen = false;
    m_bitRate[0] = m_bitRate[1] = 0;
    m_periodic.Slots().clear();
    m_bus.Changed();
    return kOk;
}

uint32_t TwoChannelDevice::Transmit(uint64_t generation, uint8_t chan, const Frame& frame) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation)) return kErrDeviceNotConnected;
    if (chan > 1) return kErrInvalidParameter;
    if (!m_busOpen) return kErrNotReady;
    if (m_bus.TxRoom(chan, this) == 0) return kErrBusy;  // the host is told: not counted as unsent
    m_bus.Transmit(this, chan, frame, m_bus.Now());
    return kOk;
}

uint32_t TwoChannelDevice::Receive(uint64_t generation, TwoChannelFrame& out) {
    if (generation != m_generation) return kErrDeviceNotConnected;
    return m_rx.Take(&out, 1, 0, [] { return false; }) == 1 ? kOk : kErrNotFound;
}

uint32_t TwoChannelDevice::ReceiveMany(uint64_t generation, TwoChannelFrame* out, size_t max, size_t& count) {
    count = 0;
    if (generation != m_generation) return kErrDeviceNotConnected;
    count = m_rx.Take(out, max, 0, [] { return false; });
    return kOk;
}

void TwoChannelDevice::SetNotify(uint64_t generation, std::function<void()> notify) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation)) return;
    m_notify = std::move(notify);
    if (m_notify && m_rx.Count() > 0) m_notify();
}

uint32_t TwoChannelDevice::Periodic(uint64_t generation, PeriodicOp op, const TwoChannelPeriodic& e) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation)) return kErrDeviceNotConnected;
    if (e.chan > 1) return kErrInvalidParameter;
    PeriodicSlot slot;
    slot.segment = e.chan;
    slot.frame = e.frame;
    slot.period = std::max<Ns>(e.periodMs, 1) * kNsPerMs;
    slot.remaining = e.count;
    slot.endless = e.count == 0;
    return ApplyPeriodic(
        op, [&e](const PeriodicSlot& s) { return SameEntry(s, e); }, slot);
}

uint32_t TwoChannelDevice::Status(uint64_t generation, TwoChannelStatus& out) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation)) return kErrDeviceNotConnected;
    // The last whole second the interface has seen, so a late scheduler never leaves a second short.
    const Ns now = m_bus.SeenUntil();
    out = {};
    for (int c = 0; c < 2; ++c) {
        auto& ch = out.chan[c];
        ch.txErrors = m_errors[c].tx;
        ch.rxErrors = m_errors[c].rx;
        if (m_busOpen) {
            m_bits[c].RollTo(now);
            ch.status = static_cast<uint8_t>(0x0C | (std::max(ch.txErrors, ch.rxErrors) >= 96 ? 0x40 : 0));
            ch.bitRate = m_bitRate[c];
            ch.bitsLastSecond = m_bits[c].LastSecond();
        }
    }
    return kOk;
}

std::vector<std::string> PresentTwoChannelInterfaces() {
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    if (!bus.TwoChannel().Present()) return {};
    return {TwoChannelDevice::Path()};
}

std::unique_ptr<TwoChannelLink> OpenTwoChannelInterface(std::string_view path, uint32_t& error) {
    TwoChannelDevice& dev = Bus::Instance().TwoChannel();
    if (path != TwoChannelDevice::Path()) {
        error = kErrFileNotFound;
        return nullptr;
    }
    uint64_t generation = 0;
    error = dev.Open(generation);
    if (error != kOk) return nullptr;
    return std::make_unique<Link>(dev, generation);
}

}  // namespace vex::emu
