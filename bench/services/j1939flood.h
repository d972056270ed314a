#pragma once
// What the J1939 flood benchmarks share: the random J1939 transport traffic, the run's length, the
// process's resident memory, and the test that memory has stopped growing.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

#include "plugins/include/candevice.h"

namespace floodbench {

// Seconds of flood: VEX_FLOOD_SECONDS, 60 when unset, at least 4 (a first and a second half to compare).
inline int FloodSeconds() {
    const char* env = std::getenv("VEX_FLOOD_SECONDS");
    return env != nullptr ? std::max(4, std::atoi(env)) : 60;
}

// The process's resident memory in MB.
inline double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// How much the resident memory sampled once a second grew over the run's second half, in MB.
inline double SecondHalfGrowthMb(const std::vector<double>& rssMb) {
    if (rssMb.empty()) return 0.0;
    return rssMb.back() - rssMb[rssMb.size() / 2];
}

// Random J1939 traffic, one transfer at a time: a BAM (announcement and its data packets) of a random size
// up to the transport protocol's 1785 bytes (so about two in five exceed the 1024-byte buffer and are
// refused), a DMx or random PGN with a random data-page byte; or, one time in four, a single-frame DM1.
// Every transfer has a random source address, and a random channel unless one is fixed.
class J1939Traffic {
public:
    // channel < 0: each transfer on channel 0 or 1 at random.
    explicit J1939Traffic(uint32_t seed, int channel = -1) : m_rng(seed), m_channel(channel) {}

    // Appends the next transfer's frames.
    void Next(std::vector<tCAN_RAW_MSG>& out) {
        const uint8_t sa = static_cast<uint8_t>(m_rng());
        const uint8_t drawn = static_cast<uint8_t>(m_rng() & 1);
        const uint8_t chan = m_channel < 0 ? drawn : static_cast<uint8_t>(m_channel);
        if (m_rng() % 4 == 0) {
            out.push_back(frame(0x18FECA00u | sa, chan, random8()));
            return;
        }
        const uint16_t size = static_cast<uint16_t>(9 + m_rng() % (1785 - 9 + 1));
        const uint8_t packets = static_cast<uint8_t>(std::min(255, (size + 6) / 7));
        const uint32_t low = m_rng() % 2 == 0 ? (m_rng() % 2 == 0 ? 0xFECAu : 0xFECBu) : (m_rng() & 0xFFFF);
        const uint32_t pgn = low | ((m_rng() & 0xFF) << 16);
        std::array<uint8_t, 8> cm = {0x20,
                                     static_cast<uint8_t>(size),
                                     static_cast<uint8_t>(size >> 8),
                                     packets,
                                     0xFF,
                                     static_cast<uint8_t>(pgn),
                                     static_cast<uint8_t>(pgn >> 8),
                                     static_cast<uint8_t>(pgn >> 16)};
        out.push_back(frame(0x1CECFF00u | sa, chan, cm));
        for (int p = 1; p <= packets; ++p) {
            std::array<uint8_t, 8> dt = random8();
            dt[0] = static_cast<uint8_t>(p);
            out.push_back(frame(0x1CEBFF00u | sa, chan, dt));
        }
    }

private:
    std::array<uint8_t, 8> random8() {
        std::array<uint8_t, 8> d{};
        for (uint8_t& b : d) b = static_cast<uint8_t>(m_rng());
        return d;
    }
    static tCAN_RAW_MSG frame(uint32_t id, uint8_t chan, const std::array<uint8_t, 8>& data) {
        tCAN_RAW_MSG m;
        m.Id = id;
        m.Ext = 1;
        m.Chan = chan;
        m.Dlc = 8;
        std::copy(data.begin(), data.end(), m.Data);
        return m;
    }

    std::mt19937 m_rng;
    int m_channel;
};

}  // namespace floodbench
