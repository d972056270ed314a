#pragma once
// The nodes of the emulated bus: the peer and the two emulated interfaces. Inside platform/deviceport only.
#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/deviceport/emubus.h"
#include "platform/deviceport/emupeer.h"
#include "platform/deviceport/twochannel.h"

namespace vex::emu {

class PeerNode final : public Node {
public:
    static constexpr size_t kRecordMax = 1'000'000;

    explicit PeerNode(Bus& bus) : Node(bus) {}
    void OnFrame(int segment, const Frame& frame, Ns endNs, uint32_t bits, const Node* sender) override;
    Ns NextDue() const override;
    void Fire(Ns now) override;
    bool KeepsBusRunning() const override { return !m_bursts.empty(); }

    // With the bus lock held.
    int AddPeriodic(int segment, const Frame& frame, uint32_t periodMs, uint32_t count, bool rolling);
    bool RemovePeriodic(int handle);
    void ClearPeriodic() { m_periodic.Slots().clear(); }
    void Resync(Ns now) { m_periodic.Resync(now); }
    void AddBurst(int segment, uint32_t count, std::function<Frame(uint32_t)> make, Pace pace);
    bool BurstsPending() const { return !m_bursts.empty(); }
    void ClearBursts() { m_bursts.clear(); }
    void SetRecording(bool on) { m_recording = on; }
    std::vector<SeenFrame>& Seen() { return m_seen; }
    uint64_t& RecordDropped() { return m_recordDropped; }

private:
    struct Burst {
        int segment = 0;
        uint32_t count = 0;
        uint32_t next = 0;
        std::function<Frame(uint32_t)> make;
        Pace pace = Pace::BusRate;
        Ns start = 0;
        Ns cursor = 0;  // bus time of a fast burst, which runs ahead of the clock
    };
    Ns BurstDue(const Burst& b) const;

    PeriodicList m_periodic;
    std::deque<Burst> m_bursts;
    int m_nextHandle = 1;
    bool m_recording = false;
    std::vector<SeenFrame> m_seen;
    uint64_t m_recordDropped = 0;
};

// What both emulated interfaces share: being plugged in or not, one open handle at a time (a handle is
// valid while its generation is current; unplugging starts a new one), the controller's periodic list.
class EmuInterface : public Node {
public:
    using Node::Node;
    // Host side; each takes the bus lock itself.
    uint32_t Open(uint64_t& generation);
    void CloseHandle(uint64_t generation);
    // With the bus lock held.
    bool Present() const { return m_present; }
    void Unplug();
    void Replug(Ns now);

protected:
    static constexpr size_t kPeriodicMax = 32;

    bool Valid(uint64_t generation) const { return m_present && generation == m_generation.load(); }
    // The controller stopped and reset: bus closed, lists, buffers and error counters emptied.
    virtual void Idle() = 0;
    // Unplugged: a host waiting on the interface gives up.
    virtual void WakeHost() {}
    // The periodic-list operations, on the entry that `same` finds: add (or replace) `entry`, remove it
    // (an unknown one too), change its data or its period (an unknown one: kErrNotFound).
    uint32_t ApplyPeriodic(PeriodicOp op, const std::function<bool(const PeriodicSlot&)>& same,
                           const PeriodicSlot& entry);

    std::atomic<uint64_t> m_generation{1};
    bool m_present = true;
    bool m_open = false;
    Ns m_boot = 0;
    PeriodicList m_periodic;
};

// The single-channel USB interface: 32-byte records on the bulk pipe in both directions, control calls for
// the bus, identity and its periodic-transmit list, a status record each second.
class Cf51Device final : public EmuInterface {
public:
    static constexpr int kSegment = 1;
    static constexpr size_t kRxRecords = 65536;
    using Record = std::array<uint8_t, 32>;

    explicit Cf51Device(Bus& bus) : EmuInterface(bus), m_rx(kRxRecords) {}
    void OnFrame(int segment, const Frame& frame, Ns endNs, uint32_t bits, const Node* sender) override;
    Ns NextDue() const override;
    void Fire(Ns now) override;
    bool KeepsBusRunning() const override { return m_busOpen; }
    bool CanAccept(int segment) const override;

    static std::string Path() { return "emu:cf51:0"; }
    // Host side; each takes the bus lock itself.
    uint32_t Read(uint64_t generation, const std::atomic<uint64_t>& cancel, uint64_t cancelSeen, uint8_t* buf,
                  size_t capacity, uint32_t timeoutMs, size_t& bytes);
    uint32_t Write(uint64_t generation, const uint8_t* data, size_t length);
    uint32_t Control(uint64_t generation, uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
                     size_t outCapacity, size_t& returned);
    void WakeReaders() { m_rx.WakeWaiters(); }

    // With the bus lock held.
    void BusError();
    uint64_t Dropped() const { return m_rx.Dropped(); }
    size_t Untaken() const { return m_rx.Count(); }
    void ResetCounters();
    std::vector<ControlCall> ControlCalls() const { return {m_controls.begin(), m_controls.end()}; }
    void FailControls(uint32_t count) { m_failControls = count; }
    uint64_t& Queries() { return m_queries; }

private:
    void Idle() override;
    void WakeHost() override { m_rx.WakeWaiters(); }
    void PushRecord(Ns t, const Frame* frame, uint8_t flags);
    uint32_t OpenBus(const uint8_t* in, size_t inLength, uint8_t* out, size_t outCapacity, size_t& returned);
    uint32_t PeriodicCall(uint32_t code, const uint8_t* in, size_t inLength);
    uint8_t ControllerStatus() const;

    RxBuffer<Record> m_rx;
    bool m_busOpen = false;
    uint32_t m_bitRate = 0;
    Ns m_nextStatus = kNever;
    BitWindow m_bits;
    ErrorCounters m_errors;
    std::deque<ControlCall> m_controls;
    uint32_t m_failControls = 0;
    uint64_t m_queries = 0;
};

// The two-channel interface behind the stand-in driver library.
class TwoChannelDevice final : public EmuInterface {
public:
    static constexpr size_t kRxFrames = 65536;

    explicit TwoChannelDevice(Bus& bus) : EmuInterface(bus), m_rx(kRxFrames) {}
    void OnFrame(int segment, const Frame& frame, Ns endNs, uint32_t bits, const Node* sender) override;
    Ns NextDue() const override { return m_busOpen ? m_periodic.NextDue() : kNever; }
    void Fire(Ns now) override;
    bool KeepsBusRunning() const override { return m_busOpen; }
    bool CanAccept(int segment) const override;

    static std::string Path() { return "emu:twochannel:0"; }
    // Host side; each takes the bus lock itself.
    uint32_t OpenBus(uint64_t generation, const uint16_t words[4]);
    uint32_t CloseBus(uint64_t generation);
    uint32_t Transmit(uint64_t generation, uint8_t chan, const Frame& frame);
    uint32_t Receive(uint64_t generation, TwoChannelFrame& out);
    uint32_t ReceiveMany(uint64_t generation, TwoChannelFrame* out, size_t max, size_t& count);
    void SetNotify(uint64_t generation, std::function<void()> notify);
    uint32_t Periodic(uint64_t generation, PeriodicOp op, const TwoChannelPeriodic& entry);
    uint32_t Status(uint64_t generation, TwoChannelStatus& out);

    // With the bus lock held.
    void BusError(int segment);
    uint64_t Dropped() const { return m_rx.Dropped(); }
    size_t Untaken() const { return m_rx.Count(); }
    void ResetCounters() { m_rx.ResetDropped(); }

private:
    void Idle() override;
    void WakeHost() override {
        if (m_notify) m_notify();
    }
    void Push(const TwoChannelFrame& frame);

    RxBuffer<TwoChannelFrame> m_rx;
    bool m_busOpen = false;
    uint32_t m_bitRate[2] = {0, 0};
    BitWindow m_bits[2];
    ErrorCounters m_errors[2];
    std::function<void()> m_notify;
};

// Bit rate of the controller timing registers: clock / (prescaler x (1 + segment 1 + segment 2)), with
// prescaler = low six bits of `btr0` + 1, segment 1 = low nibble of `btr1` + 1, segment 2 = bits 6-4 + 1.
uint32_t TimingBitRate(uint32_t clockHz, uint8_t btr0, uint8_t btr1);

// The peer's default traffic: a few periodic frames on both segments. Bus lock held.
void AddDefaultTraffic(PeerNode& peer);
// One entry of VEX_EMU_TRAFFIC: "<channel>:<identifier>[x]:<period ms>[:<data hex>]"; false when malformed.
bool ParseTrafficEntry(std::string_view entry, int& segment, Frame& frame, uint32_t& periodMs);
// The environment's choice at start (README): interfaces plugged in and peer traffic. Bus lock held.
void ApplyEnvironment(Bus& bus);

}  // namespace vex::emu
