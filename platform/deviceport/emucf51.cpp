// The emulated single-channel USB interface.
//
// Behaviour chosen where the driver leaves it to the device, after what such hardware does:
// - A status record (flags 0x80) every second of bus time while the bus is open, aligned to the moment the
//   bus was opened; its offset 28 holds the bits counted on the segment in that second. Frame records carry
//   the count of the last whole second too. Bits are counted as the controller sees them on the wire: every
//   frame on the segment, own ones included, with stuff bits and intermission (FrameBits).
// - Controller status (byte 25): transmit level in bits 3-2 and receive level in bits 5-4, each 1 below 96
//   errors, 2 below 128, 3 above; a healthy bus reads 0x14.
// - Time: milliseconds since the interface was plugged in, plus sub-millisecond ticks of a 1.5 MHz counter.
// - Periodic list: up to 32 entries keyed by the identifier word; the first transmission goes out when the
//   entry is added, count 0 repeats until removed, a period below 1 ms counts as 1 ms. Removing an unknown
//   entry succeeds, updating one fails with kErrNotFound; closing the bus empties the list.
// - The device allows one open handle; closing it stops the controller and empties buffer and list.
// - Acceptance code and mask are taken but not applied: the host always asks for every identifier.
// - Receive buffer of 65,536 records; when the host does not read, newer records are dropped and counted.
// - Transmit queue of kTxQueueFrames frames: a pipe write of more records than it has room for is refused
//   whole (busy) and the host sends it again; a periodic transmission that finds it full is skipped and
//   counted.
#include <algorithm>
#include <cstring>

#include "platform/deviceport/byteorder.h"
#include "platform/deviceport/deviceport.h"
#include "platform/deviceport/emunodes.h"

namespace vex::emu {

using namespace vex::devport;

namespace {

constexpr uint32_t kCtlIdentity = 0x5500201C;
constexpr uint32_t kCtlOpenBus = 0x5500203C;
constexpr uint32_t kCtlCloseBus = 0x55002040;
constexpr uint32_t kCtlAddPeriodic = 0x55002068;
constexpr uint32_t kCtlRemovePeriodic = 0x5500206C;
constexpr uint32_t kCtlUpdatePeriodicData = 0x55002070;
constexpr uint32_t kCtlUpdatePeriodicPeriod = 0x55002074;
constexpr size_t kRecord = 32;
constexpr size_t kControlLog = 64;

uint32_t IdWord(const Frame& f) {
    if (f.ext) {
        return (((f.id >> 18) & 0x7FFu) << 21) | (1u << 20) | (1u << 19) | ((f.id & 0x3FFFFu) << 1) |
               (f.remote ? 1u : 0u);
    }
    return ((f.id & 0x7FFu) << 21) | (f.remote ? (1u << 20) : 0u);
}

Frame FrameFromWord(uint32_t w) {
    Frame f;
    if (w & (1u << 19)) {
        f.ext = true;
        f.id = (((w >> 21) & 0x7FFu) << 18) | ((w >> 1) & 0x3FFFFu);
        f.remote = (w & 1u) != 0;
    } else {
        f.id = w >> 21;
        f.remote = (w & (1u << 20)) != 0;
    }
    return f;
}

// A frame from a host record: identifier word at 0, data at 4, length code in the low nibble of 12.
Frame FrameFromRecord(const uint8_t* r) {
    Frame f = FrameFromWord(GetBe32(r));
    f.dlc = r[12] & 0x0F;
    const size_t n = f.remote ? 0 : std::min<size_t>(f.dlc, 8);
    std::copy(r + 4, r + 4 + n, f.data.begin());
    return f;
}

uint8_t Level(uint8_t errors) {
    return errors < 96 ? 1 : errors < 128 ? 2 : 3;
}

}  // namespace

uint32_t TimingBitRate(uint32_t clockHz, uint8_t btr0, uint8_t btr1) {
    const uint32_t prescaler = (btr0 & 0x3Fu) + 1;
    const uint32_t quanta = 1 + ((btr1 & 0x0Fu) + 1) + (((btr1 >> 4) & 0x07u) + 1);
    return clockHz / (prescaler * quanta);
}

uint8_t Cf51Device::ControllerStatus() const {
    return static_cast<uint8_t>((Level(m_errors.tx) << 2) | (Level(m_errors.rx) << 4));
}

void Cf51Device::PushRecord(Ns t, const Frame* frame, uint8_t flags) {
    Record r{};
    if (frame) {
        PutBe32(r.data(), IdWord(*frame));
        const size_t n = frame->remote ? 0 : std::min<size_t>(frame->dlc, 8);
        std::copy(frame->data.begin(), frame->data.begin() + static_cast<std::ptrdiff_t>(n), r.begin() + 4);
        r[12] = frame->dlc;
    }
    const Ns local = std::max<Ns>(t - m_boot, 0);
    PutBe16(r.data() + 14, static_cast<uint16_t>((local % kNsPerMs) * 3 / 2000));
    PutBe32(r.data() + 16, static_cast<uint32_t>(local / kNsPerMs));
    r[24] = flags;
    r[25] = ControllerStatus();
    PutBe32(r.data() + 28, m_bits.LastSecond());
    bool dropped = false;
    m_rx.Push(r, dropped);
}

void Cf51Device::OnFrame(int segment, const Frame& frame, Ns endNs, uint32_t bits, const Node* sender) {
    if (segment != kSegment || !m_busOpen) return;
    m_bits.Add(endNs, bits);
    if (sender != this) m_errors.Received();
    PushRecord(endNs, &frame, sender == this ? 0x01 : 0x00);
}

Ns Cf51Device::NextDue() const {
    return m_busOpen ? std::min(m_nextStatus, m_periodic.NextDue()) : kNever;
}

void Cf51Device::Fire(Ns) {
    PeriodicSlot* slot = m_periodic.Earliest();
    if (slot && slot->nextDue < m_nextStatus) {
        m_bus.Transmit(this, kSegment, slot->frame, slot->nextDue);
        m_periodic.Sent(slot);
        return;
    }
    m_bits.RollTo(m_nextStatus);
    PushRecord(m_nextStatus, nullptr, 0x80);
    m_nextStatus += kNsPerSec;
}

bool Cf51Device::CanAccept(int segment) const {
    return segment != kSegment || !m_busOpen || m_rx.Count() < m_rx.Capacity() / 2;
}

void Cf51Device::Idle() {
    m_busOpen = false;
    m_nextStatus = kNever;
    m_periodic.Slots().clear();
    m_rx.Clear();
    m_errors = {};
}

void Cf51Device::BusError() {
    if (!m_busOpen) return;
    m_errors.BusError();
    PushRecord(m_bus.Now(), nullptr, 0x20);
}

void Cf51Device::ResetCounters() {
    m_rx.ResetDropped();
    m_controls.clear();
    m_failControls = 0;
    m_queries = 0;
}

uint32_t Cf51Device::Read(uint64_t generation, const std::atomic<uint64_t>& cancel, uint64_t cancelSeen,
                          uint8_t* buf, size_t capacity, uint32_t timeoutMs, size_t& bytes) {
    bytes = 0;
    constexpr size_t kMaxPerTransfer = 128;
    const size_t want = std::min(capacity / kRecord, kMaxPerTransfer);
    if (want == 0) return kErrInsufficientBuffer;
    if (generation != m_generation) return kErrDeviceNotConnected;
    Record got[kMaxPerTransfer];
    const size_t n = m_rx.Take(got, want, timeoutMs,
                               [&] { return generation == m_generation && cancel.load() == cancelSeen; });
    if (generation != m_generation) return kErrDeviceNotConnected;
    if (n == 0) return cancel.load() != cancelSeen ? kErrOperationAborted : kErrTimeout;
    for (size_t i = 0; i < n; ++i) std::memcpy(buf + i * kRecord, got[i].data(), kRecord);
    bytes = n * kRecord;
    return kOk;
}

uint32_t Cf51Device::Write(uint64_t generation, const uint8_t* data, size_t length) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation)) return kErrDeviceNotConnected;
    if (length == 0 || length % kRecord != 0 || length / kRecord > kTxQueueFrames)
        return kErrInvalidParameter;
    if (!m_busOpen) return kOk;  // the controller is in reset: frames are not sent
    // A transfer the transmit queue has no room for is not taken at all; the host tries it again later.
    if (m_bus.TxRoom(kSegment, this) < length / kRecord) return kErrBusy;
    for (size_t off = 0; off < length; off += kRecord) {
        m_bus.Transmit(this, kSegment, FrameFromRecord(data + off), m_bus.Now());
    }
    return kOk;
}

uint32_t Cf51Device::OpenBus(const uint8_t* in, size_t inLength, uint8_t* out, size_t outCapacity,
                             size_t& returned) {
    if (inLength != 24) return kErrInvalidParameter;
    if (outCapacity < 16) return kErrInsufficientBuffer;
    const uint32_t rate = TimingBitRate(in[1] != 0 ? 24'000'000 : 12'000'000, in[2], in[3]);
    std::fill(out, out + 16, 0);
    out[0] = 0x42;
    returned = 16;
    if (rate < 5'000 || rate > 1'000'000) return kOk;  // the controller refuses: a reply without "done"
    out[1] = 0x02;
    const Ns now = m_bus.Now();
    m_rx.Clear();
    m_errors = {};
    m_bitRate = rate;
    m_bits.Start(now);
    m_nextStatus = now + kNsPerSec;
    m_busOpen = true;
    m_bus.InterfaceBitRate(kSegment, rate);
    m_bus.Changed();
    return kOk;
}

uint32_t Cf51Device::PeriodicCall(uint32_t code, const uint8_t* in, size_t inLength) {
    if (inLength != 28) return kErrInvalidParameter;
    const uint32_t word = GetBe32(in);
    PeriodicSlot e;
    e.key = word;
    e.segment = kSegment;
    e.frame = FrameFromRecord(in);
    e.period = std::max<Ns>(GetBe32(in + 16), 1) * kNsPerMs;
    e.remaining = GetBe16(in + 20);
    e.endless = e.remaining == 0;
    const PeriodicOp op = code == kCtlAddPeriodic          ? PeriodicOp::Add
                          : code == kCtlRemovePeriodic     ? PeriodicOp::Remove
                          : code == kCtlUpdatePeriodicData ? PeriodicOp::UpdateData
                                                           : PeriodicOp::UpdatePeriod;
    return ApplyPeriodic(
        op, [word](const PeriodicSlot& s) { return s.key == word; }, e);
}

uint32_t Cf51Device::Control(uint64_t generation, uint32_t code, const uint8_t* in, size_t inLength,
                             uint8_t* out, size_t outCapacity, size_t& returned) {
    returned = 0;
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation)) return kErrDeviceNotConnected;
    m_controls.push_back({code, std::vector<uint8_t>(in, in + inLength)});
    if (m_controls.size() > kControlLog) m_controls.pop_front();
    if (m_failControls > 0) {
        --m_failControls;
        return kErrGenFailure;
    }
    switch (code) {
        case kCtlIdentity: {
            if (outCapacity < 48) return kErrInsufficientBuffer;
            std::fill(out, out + 48, 0);
            PutBe32(out, 0x00C5F051);  // serial number
            PutBe16(out + 4, 0x0100);  // hardware version
            PutBe16(out + 6, 0x0203);  // firmware version
            PutBe16(out + 8, 1);       // channels
            std::memcpy(out + 12, "VYK CF51", 8);
            std::memcpy(out + 28, "CF51-000001", 11);
            returned = 48;
            return kOk;
        }
        case kCtlOpenBus:
            return OpenBus(in, inLength, out, outCapacity, returned);
        case kCtlCloseBus:
            if (outCapacity < 2) return kErrInsufficientBuffer;
            m_busOpen = false;
            m_nextStatus = kNever;
            m_periodic.Slots().clear();
            m_bus.Changed();
            out[0] = 0x47;
            out[1] = 0x07;
            returned = 2;
            return kOk;
        case kCtlAddPeriodic:
        case kCtlRemovePeriodic:
        case kCtlUpdatePeriodicData:
        case kCtlUpdatePeriodicPeriod: {
            const uint32_t rc = PeriodicCall(code, in, inLength);
            if (rc == kOk && outCapacity >= 28) {
                std::memcpy(out, in, 28);  // the device echoes the entry
                returned = 28;
            }
            return rc;
        }
        default:
            return kErrInvalidFunction;
    }
}

}  // namespace vex::emu
