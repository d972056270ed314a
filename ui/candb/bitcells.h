#pragma once
// The message editor's bit grid as data: which signal owns each of the 64 data bits, where signals
// overlap, and how a signal moves when it is dragged by whole cells. Signals are walked bit by bit as the
// signal codec reads them, so the grid shows exactly the bits a frame's decoding uses.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "candb/canmodel.h"

namespace candbui {

struct tMSG_BIT_CELL {
    int32_t SigIndex = -1;      // owning signal's index in the message, -1 for none
    uint8_t State = 0;          // 0 free, 1 one signal, 2 two or more signals (overlap)
    uint8_t Marked = 0;         // nonzero: the cell belongs to the selected signal
    uint32_t Color = 0xE1E1E1;  // the owner's colour, 0x00BBGGRR
    uint8_t EdgeKind = 3;       // 0 least significant bit, 1 most significant bit, 2 between, 3 no signal
};

// Cell p stands for bit p mod 8 of data byte p div 8.
using BitCells = std::array<tMSG_BIT_CELL, 64>;

// The colour of the signal at `index`; the 64-entry palette repeats for later signals.
uint32_t SignalColor(size_t index);

// The bit position of each of the signal's BitLen steps, from the start bit: Intel steps to the next
// higher bit, Motorola to the next lower bit and from bit 0 to bit 7 of the next byte. Positions may lie
// beyond the 64 data bits.
std::vector<int> SignalWalk(const CCanSignal& signal);

// The cells of a message, signals in list order; a position outside the 64 bits is skipped. The selected
// signal (-1: none) takes the cells it shares with others, and its cells are marked.
BitCells BuildBitCells(const CCanMsg& msg, int32_t selSignal);

// Whether any data bit belongs to two or more signals.
bool HasOverlap(const BitCells& cells);

// The start bit after dragging the signal dx columns to the right and dy rows down; none when the new
// start would be negative or any bit of the walk would leave the 64 bits.
std::optional<uint8_t> MovedStartBit(const CCanSignal& signal, int dx, int dy);

}  // namespace candbui
