#include "platform/deviceport/emuframe.h"

#include <algorithm>

namespace vex::emu {

namespace {

struct BitSeq {
    uint8_t bits[128];
    int n = 0;
    void put(uint32_t value, int width) {
        for (int i = width - 1; i >= 0; --i) bits[n++] = static_cast<uint8_t>((value >> i) & 1u);
    }
};

uint32_t Crc15(const BitSeq& s) {
    uint32_t crc = 0;
    for (int i = 0; i < s.n; ++i) {
        const uint32_t next = s.bits[i] ^ ((crc >> 14) & 1u);
        crc = (crc << 1) & 0x7FFFu;
        if (next) crc ^= 0x4599u;
    }
    return crc;
}

}  // namespace

uint32_t FrameBits(const Frame& f) {
    BitSeq s;
    s.put(0, 1);  // start of frame
    if (f.ext) {
        s.put((f.id >> 18) & 0x7FFu, 11);
        s.put(1, 1);  // substitute remote request
        s.put(1, 1);  // identifier extension
        s.put(f.id & 0x3FFFFu, 18);
        s.put(f.remote ? 1 : 0, 1);
        s.put(0, 2);  // reserved bits
    } else {
        s.put(f.id & 0x7FFu, 11);
        s.put(f.remote ? 1 : 0, 1);
        s.put(0, 2);  // identifier extension, reserved bit
    }
    s.put(f.dlc & 0x0Fu, 4);
    if (!f.remote) {
        const int bytes = std::min<int>(f.dlc & 0x0F, 8);
        for (int i = 0; i < bytes; ++i) s.put(f.data[static_cast<size_t>(i)], 8);
    }
    s.put(Crc15(s), 15);

    // Stuffing: after five equal bits the transmitter inserts the opposite bit, which starts the next run.
    uint32_t stuffed = 0;
    int run = 1;
    uint8_t last = s.bits[0];
    for (int i = 1; i < s.n; ++i) {
        if (s.bits[i] == last) {
            if (++run == 5) {
                ++stuffed;
                last = static_cast<uint8_t>(!last);
                run = 1;
                continue;
            }
        } else {
            last = s.bits[i];
            run = 1;
        }
    }
    // CRC delimiter, acknowledge slot and delimiter, end of frame (7), intermission (3).
    return static_cast<uint32_t>(s.n) + stuffed + 1 + 2 + 7 + 3;
}

}  // namespace vex::emu
