// The bit grid's cells for Intel and Motorola signals, overlaps, the palette and drags by whole cells.
#include <gtest/gtest.h>

#include "ui/candb/bitcells.h"

using namespace candbui;

namespace {

CCanSignal Sig(uint8_t start, uint8_t len, bool intel) {
    CCanSignal s;
    s.BitOffset = start;
    s.BitLen = len;
    s.ByteFmtIntel = intel ? 1 : 0;
    return s;
}

CCanMsg Msg(std::vector<CCanSignal> sigs) {
    CCanMsg m;
    m.Signals = std::move(sigs);
    return m;
}

// The cells owned by a signal, in cell order.
std::vector<int> Owned(const BitCells& cells, int sig) {
    std::vector<int> out;
    for (int p = 0; p < 64; ++p)
        if (cells[static_cast<size_t>(p)].SigIndex == sig) out.push_back(p);
    return out;
}

}  // namespace

TEST(BitCells, WalksAsTheCodec) {
    const struct {
        CCanSignal s;
        std::vector<int> walk;
    } cases[] = {
        {Sig(6, 4, true), {6, 7, 8, 9}}, {Sig(7, 12, false), {7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12}},
        {Sig(1, 3, false), {1, 0, 15}},  {Sig(62, 4, true), {62, 63, 64, 65}},
        {Sig(0, 0, true), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(SignalWalk(c.s), c.walk);
}

TEST(BitCells, EdgesAndStates) {
    // Intel 4 bits from 6; Motorola 12 bits from 7 of byte 2 (bits 23..16, 31..28).
    const BitCells cells = BuildBitCells(Msg({Sig(6, 4, true), Sig(23, 12, false)}), -1);
    EXPECT_EQ(Owned(cells, 0), (std::vector<int>{6, 7, 8, 9}));
    EXPECT_EQ(cells[6].EdgeKind, 0);  // least significant
    EXPECT_EQ(cells[7].EdgeKind, 2);
    EXPECT_EQ(cells[9].EdgeKind, 1);  // most significant
    EXPECT_EQ(Owned(cells, 1), (std::vector<int>{16, 17, 18, 19, 20, 21, 22, 23, 28, 29, 30, 31}));
    EXPECT_EQ(cells[23].EdgeKind, 1);  // Motorola starts at its most significant bit
    EXPECT_EQ(cells[28].EdgeKind, 0);
    EXPECT_EQ(cells[6].State, 1);
    EXPECT_EQ(cells[6].Color, SignalColor(0));
    EXPECT_EQ(cells[0].State, 0);
    EXPECT_EQ(cells[0].EdgeKind, 3);
    EXPECT_EQ(cells[0].SigIndex, -1);
    EXPECT_FALSE(HasOverlap(cells));
    for (const tMSG_BIT_CELL& c : cells) EXPECT_EQ(c.Marked, 0);
}

TEST(BitCells, OverlapGoesToTheSelectedSignal) {
    const CCanMsg m = Msg({Sig(0, 8, true), Sig(7, 4, true)});
    BitCells cells = BuildBitCells(m, -1);
    EXPECT_TRUE(HasOverlap(cells));
    EXPECT_EQ(cells[7].State, 2);
    EXPECT_EQ(cells[7].SigIndex, 0);  // the first owner keeps it
    EXPECT_EQ(cells[8].State, 1);
    cells = BuildBitCells(m, 1);
    EXPECT_EQ(cells[7].SigIndex, 1);
    EXPECT_EQ(cells[7].EdgeKind, 0);
    EXPECT_EQ(cells[7].Marked, 1);
    EXPECT_EQ(cells[0].Marked, 0);
    EXPECT_EQ(cells[10].Marked, 1);
}

TEST(BitCells, OutsideTheBitsAndManySignals) {
    // A walk that leaves the 64 bits is drawn inside only; start bits up to 255 never index past the cells.
    std::vector<CCanSignal> sigs{Sig(60, 8, true), Sig(255, 32, true), Sig(200, 255, false)};
    for (int i = 0; i < 70; ++i) sigs.push_back(Sig(0, 0, true));
    sigs.push_back(Sig(40, 2, true));  // signal 73
    const BitCells cells = BuildBitCells(Msg(sigs), -1);
    EXPECT_EQ(Owned(cells, 0), (std::vector<int>{60, 61, 62, 63}));
    EXPECT_FALSE(HasOverlap(cells));
    EXPECT_EQ(cells[40].Color, SignalColor(73));
    EXPECT_EQ(SignalColor(73), SignalColor(9));
    EXPECT_EQ(SignalColor(8), 0x3300FFu);
    EXPECT_EQ(SignalColor(10), 0xCC9900u);
    EXPECT_EQ(SignalColor(11), SignalColor(3));
    EXPECT_EQ(SignalColor(64), 0xCCCC66u);
}

TEST(BitCells, DragByCells) {
    const struct {
        CCanSignal s;
        int dx, dy;
        std::optional<uint8_t> start;
    } cases[] = {
        {Sig(8, 8, true), 1, 0, 7},               // one column right: one bit lower
        {Sig(8, 8, true), -1, 1, 17},             // left and down
        {Sig(0, 8, true), 1, 0, std::nullopt},    // negative
        {Sig(56, 8, true), 0, 1, std::nullopt},   // past byte 7
        {Sig(57, 8, true), -1, 0, std::nullopt},  // its last bit would be 65
        {Sig(7, 12, false), 1, 0, 6},
        {Sig(8, 4, false), 1, 0, 23},  // from bit 0 to bit 7 of the next byte
        {Sig(8, 4, false), 2, 1, 30},
        {Sig(23, 4, false), -1, 0, 8},  // from bit 7 back to bit 0 of the byte before
        {Sig(7, 4, false), -1, 0, std::nullopt},
        {Sig(6, 4, false), -1, 0, 7},
        {Sig(56, 8, false), 0, -7, 0},
        {Sig(60, 8, false), 0, 0, std::nullopt},  // its walk already leaves the bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(MovedStartBit(c.s, c.dx, c.dy), c.start)
            << int(c.s.BitOffset) << " " << c.dx << "," << c.dy;
}
