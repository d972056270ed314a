#pragma once
// The emulated two-channel interface as its driver library reaches it: present interfaces, open one, then
// a link with the interface's operations. Results are system error codes (deviceport.h), 0 on success;
// kErrDeviceNotConnected once the interface has been unplugged.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/deviceport/emuframe.h"

namespace vex::emu {

struct TwoChannelFrame {
    uint8_t chan = 0;
    Frame frame;
    bool tx = false;      // sent by this interface (an echo of its own transmission)
    uint64_t timeUs = 0;  // interface clock, microseconds since it was plugged in (48 bits used)
};

struct TwoChannelStatus {
    struct Chan {
        uint8_t txErrors = 0;
        uint8_t rxErrors = 0;
        uint8_t status = 0;           // controller status register
        uint32_t bitRate = 0;         // bit/s, 0 while the bus is closed
        uint32_t bitsLastSecond = 0;  // bits counted on the channel in the last whole second of bus time
    } chan[2];
    uint32_t device = 0;  // 0: working
};

struct TwoChannelPeriodic {
    uint8_t chan = 0;
    Frame frame;
    uint32_t periodMs = 0;
    uint16_t count = 0;  // 0: until removed
};

enum class PeriodicOp { Add, Remove, UpdateData, UpdatePeriod };

class TwoChannelLink {
public:
    virtual ~TwoChannelLink() = default;
    // Per channel a rate word (0x2000 + kbit/s) or 0 with a timing word (two bit-timing register bytes of
    // the controller, 16 MHz oscillator): {chan0 word, chan0 timing, chan1 word, chan1 timing}.
    virtual uint32_t OpenBus(const uint16_t words[4]) = 0;
    virtual uint32_t CloseBus() = 0;
    virtual uint32_t Transmit(uint8_t chan, const Frame& frame) = 0;
    // Takes the oldest received frame: kOk, kErrNotFound when none waits.
    virtual uint32_t Receive(TwoChannelFrame& out) = 0;
    // Takes up to `max` of the oldest received frames at once, in order: kOk with their number in `count`
    // (0 when none waits).
    virtual uint32_t ReceiveMany(TwoChannelFrame* out, size_t max, size_t& count) = 0;
    // Called (possibly on the bus thread) each time the receive buffer goes from empty to non-empty, at
    // once when frames already wait, and when the interface is unplugged (every call fails from then on);
    // an empty function stops the calls. After SetNotify returns, the previous function is not called any
    // more.
    virtual void SetNotify(std::function<void()> notify) = 0;
    virtual uint32_t Periodic(PeriodicOp op, const TwoChannelPeriodic& entry) = 0;
    virtual uint32_t Status(TwoChannelStatus& out) = 0;
};

std::vector<std::string> PresentTwoChannelInterfaces();
std::unique_ptr<TwoChannelLink> OpenTwoChannelInterface(std::string_view path, uint32_t& error);

}  // namespace vex::emu
