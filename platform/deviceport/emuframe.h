#pragma once
// A CAN frame as it travels on the emulated bus, and the number of bits it occupies there.
#include <array>
#include <cstdint>

namespace vex::emu {

struct Frame {
    uint32_t id = 0;  // 11 or 29 bits
    bool ext = false;
    bool remote = false;
    uint8_t dlc = 0;  // 0 to 15; at most 8 data bytes go on the bus
    std::array<uint8_t, 8> data{};
};

// Bits from start of frame to the end of the intermission that follows it: the frame's fields with their
// stuff bits (computed from the actual contents and CRC), delimiters, acknowledge, end of frame and the
// three intermission bits. This is what a controller counts on the wire and what sets a frame's duration.
uint32_t FrameBits(const Frame& frame);

}  // namespace vex::emu
