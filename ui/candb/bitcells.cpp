#include "ui/candb/bitcells.h"

namespace candbui {

uint32_t SignalColor(size_t index) {
    static constexpr uint32_t kBase[8] = {0xCCCC66, 0x66FFCC, 0xCC99FF, 0x9999FF,
                                          0x6666FF, 0x99CCFF, 0x66FFFF, 0x66CC99};
    const size_t i = index % 64;
    switch (i) {
        case 8:
            return 0x3300FF;
        case 9:
            return 0x9933CC;
        case 10:
            return 0xCC9900;
        default:
            return kBase[i % 8];
    }
}

std::vector<int> SignalWalk(const CCanSignal& signal) {
    std::vector<int> walk;
    walk.reserve(signal.BitLen);
    int p = signal.BitOffset;
    for (int k = 0; k < signal.BitLen; ++k) {
        walk.push_back(p);
        if (signal.ByteFmtIntel != 0)
            ++p;
        else
            p = p % 8 == 0 ? p + 15 : p - 1;
    }
    return walk;
}

BitCells BuildBitCells(const CCanMsg& msg, int32_t selSignal) {
    BitCells cells{};
    for (size_t i = 0; i < msg.Signals.size(); ++i) {
        const CCanSignal& s = msg.Signals[i];
        const std::vector<int> walk = SignalWalk(s);
        const bool intel = s.ByteFmtIntel != 0;
        for (size_t k = 0; k < walk.size(); ++k) {
            if (walk[k] < 0 || walk[k] >= 64) continue;
            const bool first = k == 0;
            const bool last = k + 1 == walk.size();
            uint8_t edge = 2;
            if (intel)
                edge = first ? 0 : last ? 1 : 2;
            else
                edge = first ? 1 : last ? 0 : 2;
            tMSG_BIT_CELL& c = cells[static_cast<size_t>(walk[k])];
            if (c.State == 0) {
                c.State = 1;
                c.Color = SignalColor(i);
                c.SigIndex = static_cast<int32_t>(i);
                c.EdgeKind = edge;
            } else {
                c.State = 2;
                if (static_cast<int32_t>(i) == selSignal) {
                    c.SigIndex = static_cast<int32_t>(i);
                    c.EdgeKind = edge;
                }
            }
        }
    }
    for (tMSG_BIT_CELL& c : cells) c.Marked = selSignal >= 0 && c.SigIndex == selSignal ? 1 : 0;
    return cells;
}

bool HasOverlap(const BitCells& cells) {
    for (const tMSG_BIT_CELL& c : cells)
        if (c.State == 2) return true;
    return false;
}

std::optional<uint8_t> MovedStartBit(const CCanSignal& signal, int dx, int dy) {
    int start = signal.BitOffset;
    if (signal.ByteFmtIntel != 0) {
        start += 8 * dy - dx;
    } else {
        // Right: one bit less significant, from bit 0 to bit 7 of the next byte; left the reverse, so a
        // drag keeps the walk's bit order.
        for (int i = 0; i < dx; ++i) start = start % 8 == 0 ? start + 15 : start - 1;
        for (int i = 0; i > dx; --i) {
            start = start % 8 == 7 ? start - 15 : start + 1;
            if (start < 0) return std::nullopt;
        }
        start += 8 * dy;
    }
    if (start < 0 || start > 255) return std::nullopt;
    CCanSignal moved = signal;
    moved.BitOffset = static_cast<uint8_t>(start);
    for (int p : SignalWalk(moved))
        if (p < 0 || p >= 64) return std::nullopt;
    return static_cast<uint8_t>(start);
}

}  // namespace candbui
