#pragma once
// The CAN database records. They are plain value types: every holder owns its records outright and every
// copy is deep (strings and arrays are copied element by element), so a copy handed to an editor, a window
// or another thread never shares anything with its source. Nothing here holds a pointer into another record.
// The model checks nothing; the editor dialogs validate before they store, and the codec refuses what it
// cannot decode.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One value-table entry: the text shown for a physical value.
struct tCAN_SIGNAL_ENUM_ITEM {
    std::string txt;
    int32_t val = 0;  // the physical value the text stands for (not a raw value)

    bool operator==(const tCAN_SIGNAL_ENUM_ITEM&) const = default;
};

// A named value table.
struct tCAN_SIGNAL_ENUM {
    std::string Name;
    std::vector<tCAN_SIGNAL_ENUM_ITEM> Items;

    bool operator==(const tCAN_SIGNAL_ENUM&) const = default;
};

// One signal and its codec. Data bytes are the eight bytes of a frame; bit b is bit (b mod 8) of byte
// b div 8, bit 0 the least significant. The start bit `BitOffset` is the least significant bit of the value
// in Intel order and the most significant bit in Motorola order. Every codec operation returns false, leaving
// every output and the data bytes as they were, when the signal cannot be used for it: a bit length outside
// 1..32, bits that would lie outside the eight bytes, a signedness that does not match the operation, a zero
// factor (physical to raw), or a raw result that does not fit 32 bits (NaN, infinity, out of range).
class CCanSignal {
public:
    using ConstData = std::span<const uint8_t, 8>;
    using Data = std::span<uint8_t, 8>;

    std::string Name;
    std::string Unit;
    uint8_t Sign = 0;          // nonzero: two's complement raw value
    uint8_t ByteFmtIntel = 0;  // nonzero: Intel order; 0: Motorola order
    uint8_t Enum = 0;          // nonzero: the physical value is shown and entered through SigEnum
    uint8_t BitLen = 0;        // the codec accepts 1..32
    uint8_t BitOffset = 0;     // start bit
    double ValFactor = 1.0;    // physical = raw * ValFactor + ValOffset
    double ValOffset = 0.0;
    double PhyMin = 0.0;  // shown and stored only; the codec does not check against the limits
    double PhyMax = 0.0;
    double ErrValue = 0.0;
    std::string Description;
    tCAN_SIGNAL_ENUM SigEnum;

    bool operator==(const CCanSignal&) const = default;

    // Whether the codec can take the signal at all: a bit length of 1..32, every bit within the eight
    // data bytes.
    bool FitsData() const;
    // Extracts the unsigned raw value.
    bool GetRawValue(ConstData data, uint32_t& raw) const;
    // Inserts the low BitLen bits of raw; data bits outside the signal stay as they are.
    bool SetRawValue(Data data, uint32_t raw) const;
    // Signed signals only: the raw value sign-extended from bit BitLen - 1.
    bool GetSignedRawValue(ConstData data, int32_t& raw) const;
    // Signed signals only: a value >= 0 is stored as its low BitLen bits; a negative one as its low
    // BitLen - 1 bits with the sign bit set.
    bool SetSignedRawValue(int32_t raw, Data data) const;

    // raw * ValFactor + ValOffset, and its text: "%f" without trailing zeros and point, or, with Enum set,
    // the text of the last value-table entry whose value equals the physical value truncated toward zero
    // (the number as without Enum when none does). The signed form refuses an unsigned signal and the
    // unsigned form a signed one.
    bool SignedRawToPhyText(int32_t raw, double& phy, std::string& text) const;
    bool UnsignedRawToPhyText(uint32_t raw, double& phy, std::string& text) const;

    // The value-table value that a raw value (signed, or unsigned up to 2^32 - 1) is shown through:
    // raw * ValFactor + ValOffset truncated as the text lookup truncates it. False when that is no 32-bit
    // integer.
    bool RawToEnumValue(int64_t raw, int32_t& val) const;
    // The raw value that a value-table value stands for: the one nearest to (val - ValOffset) / ValFactor
    // that RawToEnumValue shows through val (the quotient truncated, or the raw value either side of it),
    // moved to the signal's raw limit when it lies beyond it and the limit shows through val too; when none
    // is, the truncated quotient. Before any cut to 32 bits. False for a zero factor or a
    // quotient that is not finite or beyond 64 bits.
    bool EnumValueToRaw(int32_t val, int64_t& raw) const;

    // (phy - ValOffset) / ValFactor truncated toward zero, where a quotient within a relative 1e-9 of a whole
    // number counts as that number. With Enum set, a text equal to an entry's text (the last such entry)
    // gives the raw value EnumValueToRaw gives for that entry's value. The unsigned form keeps the low 32
    // bits of the 64-bit result, so -1 gives all ones.
    bool PhyToSignedRaw(std::string_view text, int32_t& raw, double phy) const;
    bool PhyToUnsignedRaw(std::string_view text, uint32_t& raw, double phy) const;

    // Converts (signed or unsigned as Sign says) and inserts; the data bytes change only on success.
    bool SetPhyValue(Data data, std::string_view text, double phy) const;

    // The raw value that SetPhyValue converts a physical value or a value-table text to, before it is cut
    // to the signal's bits. False for a zero factor or a quotient that is no 64-bit integer.
    bool PhyToRaw(std::string_view text, double phy, int64_t& raw) const;
    // The raw values that BitLen bits carry as the codec reads them back: 0 .. 2^n - 1, or, signed,
    // -2^(n-1) .. 2^(n-1) - 1. False for a bit length outside 1..32.
    bool RawLimits(int64_t& minimum, int64_t& maximum) const;

    // The physical range that BitLen allows: unsigned 0 .. 2^n - 1, signed symmetric -(2^(n-1) - 1) ..
    // 2^(n-1) - 1, each scaled by factor and offset. Not swapped for a negative factor.
    void CalcPhyRange(double& minimum, double& maximum) const;
};

// One message and its signals.
class CCanMsg {
public:
    std::string Name;
    uint32_t id = 0;  // 11 or 29 bits, no flag bits
    uint8_t Ext = 0;  // nonzero: extended identifier
    uint8_t Rmt = 0;  // nonzero: remote frame
    uint8_t DL = 0;   // data length in bytes
    std::vector<CCanSignal> Signals;

    bool operator==(const CCanMsg&) const = default;
};

// One database. It has no name of its own: the name belongs to its configuration entry.
struct tCAN_DATABASE {
    std::string FileVer;
    std::string Author;
    std::string ProDes;
    std::string RightDes;
    std::string LastEditDateTime;
    CCanMsg FreeSigMsg;  // holder of the free signals (those placed in no message); only its Signals are used
    std::vector<CCanMsg> Messages;
    std::vector<tCAN_SIGNAL_ENUM> Enums;  // public value tables

    bool operator==(const tCAN_DATABASE&) const = default;
};
