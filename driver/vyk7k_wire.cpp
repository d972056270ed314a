#include "driver/vyk7k_wire.h"

#include <algorithm>
#include <cstring>

#include "platform/deviceport/byteorder.h"

namespace vyk7k {

using vex::devport::GetBe16;
using vex::devport::GetBe32;
using vex::devport::PutBe16;
using vex::devport::PutBe32;

uint32_t ControllerIdWord(uint32_t id, bool ext, bool remote) {
    if (ext) {
        return (((id >> 18) & 0x7FFu) << 21) | (1u << 20) | (1u << 19) | ((id & 0x3FFFFu) << 1) |
               (remote ? 1u : 0u);
    }
    return ((id & 0x7FFu) << 21) | (remote ? (1u << 20) : 0u);
}

uint32_t PlainId(uint32_t word, uint8_t& flags) {
    if (word & (1u << 19)) {
        flags |= kVykFlagExt;
        if (word & 1u) flags |= kVykFlagRemote;
        return (((word >> 21) & 0x7FFu) << 18) | ((word >> 1) & 0x3FFFFu);
    }
    if (word & (1u << 20)) flags |= kVykFlagRemote;
    return word >> 21;
}

namespace {

struct TableRate {
    uint16_t code;
    uint8_t timing0;
    uint8_t timing1;
};
// 12 MHz controller clock.
constexpr TableRate kTable[] = {{1000, 0x80, 0x36}, {500, 0x81, 0x36}, {250, 0x82, 0x3A}, {125, 0x85, 0xBA},
                                {100, 0x8B, 0x96},  {50, 0x97, 0x96},  {20, 0xBB, 0x96},  {10, 0xBB, 0xEB}};

const TableRate* FindRate(uint16_t code) {
    for (const TableRate& r : kTable) {
        if (r.code == code) return &r;
    }
    return nullptr;
}

}  // namespace

uint32_t ConfigBitRate(const tVYK_CAN_CONFIG& c) {
    if (c.BitRateCode != 0) return FindRate(c.BitRateCode) ? c.BitRateCode * 1000u : 0;
    // Each field is masked before its 1 is added, as the controller counts: a prescaler field of 0x3F is 64
    // and a segment field of 0xF is 16 quanta; adding first and masking after would make them 0 and give
    // no rate (or divide by zero) for valid timings.
    const uint32_t clock = c.ClockSel != 0 ? 24'000'000u : 12'000'000u;
    const uint32_t prescaler = (c.Timing0 & 0x3Fu) + 1;
    const uint32_t quanta = 1 + ((c.Timing1 & 0x0Fu) + 1) + (((c.Timing1 >> 4) & 0x07u) + 1);
    return clock / (prescaler * quanta);
}

bool BuildOpenBusRecord(const tVYK_CAN_CONFIG& c, uint8_t out[24]) {
    uint8_t clockSel = 0, t0 = 0, t1 = 0, t2 = 0;
    if (c.BitRateCode == 0) {
        clockSel = c.ClockSel;
        t0 = c.Timing0;
        t1 = c.Timing1;
        t2 = c.Timing2;
    } else if (const TableRate* r = FindRate(c.BitRateCode)) {
        t0 = r->timing0;
        t1 = r->timing1;
    } else {
        return false;
    }
    out[0] = c.AccMode;
    out[1] = clockSel;
    out[2] = t0;
    out[3] = t1;
    out[4] = t2;
    out[5] = c.Reserved5;
    PutBe16(out + 6, c.BitRateCode);
    PutBe32(out + 8, c.AccCode1);
    PutBe32(out + 12, c.AccMask1);
    PutBe32(out + 16, c.AccCode2);
    PutBe32(out + 20, c.AccMask2);
    return true;
}

// Every multi-byte field goes most significant byte first, not only the identifier: the pipe carries all
// its numbers that way, so a number the caller sets reaches the device as that number, never byte-reversed.
// The fields the caller leaves 0 are the same bytes either way.
void EncodeTxRecord(const tVYK_CAN_MSG& m, uint8_t out[kRecordSize]) {
    PutBe32(out, ControllerIdWord(m.Id, (m.Flags & kVykFlagExt) != 0, (m.Flags & kVykFlagRemote) != 0));
    std::memcpy(out + 4, m.Data, 8);
    out[12] = m.Len;
    out[13] = m.Reserved13;
    PutBe16(out + 14, m.TimeUs);
    PutBe32(out + 16, m.TimeMs);
    PutBe32(out + 20, m.Reserved20);
    out[24] = m.Flags;
    out[25] = m.CtrlStatus;
    out[26] = m.Reserved26;
    out[27] = m.Reserved27;
    PutBe32(out + 28, m.BusBits);
}

void EncodeCycTxEntry(const tVYK_CAN_CYCTX_MSG& m, bool clearTail, uint8_t out[28]) {
    PutBe32(out, ControllerIdWord(m.Id, (m.Flags & kVykFlagExt) != 0, (m.Flags & kVykFlagRemote) != 0));
    std::memcpy(out + 4, m.Data, 8);
    out[12] = m.Len;
    out[13] = m.Reserved13;
    out[14] = m.Flags;
    out[15] = m.Reserved15;
    PutBe32(out + 16, m.PeriodMs);
    PutBe16(out + 20, m.Count);
    PutBe16(out + 22, clearTail ? 0 : m.Reserved22);
    PutBe32(out + 24, clearTail ? 0 : m.Reserved24);
}

// Status and error records are converted to host order like frames: the caller's record is a host-order
// structure, and a raw copy would hand it byte-reversed time stamps and bit counts.
void DecodeRxRecord(const uint8_t in[kRecordSize], tVYK_CAN_MSG& m) {
    m.Id = GetBe32(in);
    std::memcpy(m.Data, in + 4, 8);
    m.Len = in[12];
    m.Reserved13 = in[13];
    m.TimeUs = static_cast<uint16_t>(GetBe16(in + 14) * 2u / 3u);  // device ticks of 2/3 us
    m.TimeMs = GetBe32(in + 16);
    m.Reserved20 = GetBe32(in + 20);
    m.Flags = in[24];
    m.CtrlStatus = in[25];
    m.Reserved26 = in[26];
    m.Reserved27 = in[27];
    m.BusBits = GetBe32(in + 28);
    if ((m.Flags & (kVykFlagStatus | kVykFlagStatus2 | kVykFlagError)) == 0) {
        uint8_t flags = m.Flags & kVykFlagDir;
        m.Id = PlainId(m.Id, flags);
        m.Flags = flags;
        m.Len &= 0x0F;
    }
}

uint32_t StatusRecordCode(uint8_t ctrl, bool secondKind) {
    static constexpr uint32_t kTx[4] = {0, 0x800, 0x1000, 0x400};
    static constexpr uint32_t kRx[4] = {0, 0x2000, 0x4000, 0x400};
    const uint32_t tx = kTx[(ctrl >> 2) & 3u];
    if (tx != 0) return tx;
    const uint32_t rx = kRx[(ctrl >> 4) & 3u];
    if (rx != 0) return rx;
    return secondKind ? kVykRxEmpty : kVykFailed;
}

float BusLoad(uint32_t bits, uint32_t bitRate) {
    if (bitRate == 0) return 0.0f;
    const double load = static_cast<double>(bits) * 100.0 / static_cast<double>(bitRate);
    return static_cast<float>(std::clamp(load, 0.0, 100.0));
}

}  // namespace vyk7k
