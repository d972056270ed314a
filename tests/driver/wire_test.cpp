// The driver's record formats, byte for byte.
#include <gtest/gtest.h>

#include <vector>

#include "driver/vyk7k_wire.h"

using namespace vyk7k;

namespace {

std::vector<uint8_t> Bytes(const uint8_t* p, size_t n) {
    return {p, p + n};
}

TEST(Wire, OpenBusRecordForEveryTableRate) {
    struct Case {
        uint16_t code;
        uint8_t t0, t1;
    } cases[] = {{1000, 0x80, 0x36}, {500, 0x81, 0x36}, {250, 0x82, 0x3A}, {125, 0x85, 0xBA},
                 {100, 0x8B, 0x96},  {50, 0x97, 0x96},  {20, 0xBB, 0x96},  {10, 0xBB, 0xEB}};
    for (const Case& c : cases) {
        tVYK_CAN_CONFIG cfg;
        cfg.AccMode = 0x01;
        cfg.ClockSel = 0xA0;  // only custom timing uses these
        cfg.Timing0 = 11;
        cfg.Timing1 = 4;
        cfg.Timing2 = 0x77;
        cfg.Reserved5 = 0x5E;
        cfg.BitRateCode = c.code;
        cfg.AccCode1 = 0x11223344;
        cfg.AccMask1 = 0xFFFFFFFF;
        cfg.AccCode2 = 0x01020304;
        cfg.AccMask2 = 0xA0B0C0D0;
        uint8_t out[24];
        ASSERT_TRUE(BuildOpenBusRecord(cfg, out)) << c.code;
        // The rate's timing and code, then the acceptance codes and masks as given, high byte first.
        const auto hi = static_cast<uint8_t>(c.code >> 8), lo = static_cast<uint8_t>(c.code);
        std::vector<uint8_t> want = {0x01, 0x00, c.t0, c.t1, 0x00, 0x5E, hi, lo};
        want.insert(want.end(), {0x11, 0x22, 0x33, 0x44, 0xFF, 0xFF, 0xFF, 0xFF});
        want.insert(want.end(), {0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0});
        EXPECT_EQ(Bytes(out, 24), want) << c.code;
        EXPECT_EQ(ConfigBitRate(cfg), c.code * 1000u);
    }
}

TEST(Wire, OpenBusRecordForCustomTimingAndUnknownCodes) {
    tVYK_CAN_CONFIG cfg;
    cfg.ClockSel = 0xA0;
    cfg.Timing0 = 0x81;
    cfg.Timing1 = 0x36;
    cfg.Timing2 = 0x09;
    uint8_t out[24];
    ASSERT_TRUE(BuildOpenBusRecord(cfg, out));
    EXPECT_EQ(Bytes(out, 8), (std::vector<uint8_t>{0x00, 0xA0, 0x81, 0x36, 0x09, 0x00, 0x00, 0x00}));
    EXPECT_EQ(ConfigBitRate(cfg), 1'000'000u);  // 24 MHz / 2 / 12
    cfg.ClockSel = 0;
    EXPECT_EQ(ConfigBitRate(cfg), 500'000u);
    // Fields are masked before their 1 is added: prescaler 64 and a 16-quanta segment are real timings
    // (adding first and masking after would give 0 and no rate).
    cfg.Timing0 = 0x3F;  // prescaler 64, the largest
    cfg.Timing1 = 0x0F;  // segment 1 of 16 quanta, segment 2 of 1: 18 quanta
    EXPECT_EQ(ConfigBitRate(cfg), 12'000'000u / 64 / 18);

    for (uint16_t code : {300, 1, 800, 0xFFFF}) {
        cfg.BitRateCode = code;
        EXPECT_FALSE(BuildOpenBusRecord(cfg, out)) << code;
        EXPECT_EQ(ConfigBitRate(cfg), 0u) << code;
    }
}

TEST(Wire, IdentifierWordInControllerLayout) {
    struct Case {
        uint32_t id;
        bool ext, remote;
        uint32_t word;
    } cases[] = {
        {0x123, false, false, 0x24600000},     {0x123, false, true, 0x24700000},
        {0x7FF, false, false, 0xFFE00000},     {0x000, false, false, 0x00000000},
        {0x18FEF100, true, false, 0xC7FDE200}, {0x18FEF100, true, true, 0xC7FDE201},
        {0x1FFFFFFF, true, true, 0xFFFFFFFF},  {0x00000000, true, false, 0x00180000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ControllerIdWord(c.id, c.ext, c.remote), c.word) << std::hex << c.id;
        uint8_t flags = 0;
        EXPECT_EQ(PlainId(c.word, flags), c.id);
        EXPECT_EQ(flags, (c.ext ? kVykFlagExt : 0) | (c.remote ? kVykFlagRemote : 0));
    }
}

// Every number goes most significant byte first, the time too (not only the identifier word): a number
// the caller sets reaches the device as that number.
TEST(Wire, TransmitRecordIsMostSignificantByteFirstThroughout) {
    tVYK_CAN_MSG m;
    m.Id = 0x18FEF100;
    m.Flags = kVykFlagExt | kVykFlagDir;
    for (uint8_t i = 0; i < 8; ++i) m.Data[i] = static_cast<uint8_t>(0x10 + i);
    m.Len = 8;
    m.Reserved13 = 0;
    m.TimeUs = 0;
    m.TimeMs = 0x01020304;
    uint8_t out[32];
    EncodeTxRecord(m, out);
    const std::vector<uint8_t> want = {0xC7, 0xFD, 0xE2, 0x00, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16,
                                       0x17, 0x08, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x00, 0x00,
                                       0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(out, 32), want);
}

TEST(Wire, ReceivedRecordDecodesIntoAPlainFrame) {
    const uint8_t rec[32] = {0xC7, 0xFD, 0xE2, 0x01,                      // extended 0x18FEF100, remote
                             1,    2,    3,    4,    5,    6,    7,   8,  // data
                             0xF3,                                        // length 3 in the low nibble
                             0x00, 0x05, 0xDB,                            // 1499 ticks: 999 us
                             0x00, 0x01, 0xE2, 0x40,                      // 123,456 ms
                             0,    0,    0,    0,
                             0x01,  // sent by this device
                             0x14, 0,    0,    0x00, 0x03, 0xD0, 0x90};
    tVYK_CAN_MSG m;
    DecodeRxRecord(rec, m);
    EXPECT_EQ(m.Id, 0x18FEF100u);
    EXPECT_EQ(m.Flags, kVykFlagExt | kVykFlagRemote | kVykFlagDir);
    EXPECT_EQ(m.Len, 3);
    EXPECT_EQ(m.TimeMs, 123456u);
    EXPECT_EQ(m.TimeUs, 999);
    EXPECT_EQ(m.Data[7], 8);
    EXPECT_EQ(m.CtrlStatus, 0x14);
    EXPECT_EQ(m.BusBits, 250'000u);

    uint8_t status[32] = {};
    status[24] = kVykFlagStatus;
    status[25] = 0x08;
    status[31] = 0x10;
    DecodeRxRecord(status, m);
    EXPECT_EQ(m.Flags, kVykFlagStatus);  // flags of a status record stay as they are
    EXPECT_EQ(m.BusBits, 0x10u);         // converted like a frame's: the caller's record is host order
}

TEST(Wire, PeriodicEntryOfTwentyEightBytes) {
    tVYK_CAN_CYCTX_MSG m;
    m.Id = 0x18FEF100;
    m.Flags = kVykFlagExt | kVykFlagDir;
    for (uint8_t i = 0; i < 8; ++i) m.Data[i] = i;
    m.Len = 8;
    m.PeriodMs = 100;
    m.Count = 0x0102;
    m.Reserved22 = 0xAAAA;
    m.Reserved24 = 0xBBBBBBBB;
    uint8_t out[28];
    EncodeCycTxEntry(m, true, out);
    const std::vector<uint8_t> want = {0xC7, 0xFD, 0xE2, 0x00, 0,    1,    2,    3,    4, 5, 6, 7, 0x08, 0x00,
                                       0x05, 0x00, 0x00, 0x00, 0x00, 0x64, 0x01, 0x02, 0, 0, 0, 0, 0,    0};
    EXPECT_EQ(Bytes(out, 28), want);
    EncodeCycTxEntry(m, false, out);  // removal passes the tail as given
    EXPECT_EQ(Bytes(out + 22, 6), (std::vector<uint8_t>{0xAA, 0xAA, 0xBB, 0xBB, 0xBB, 0xBB}));
    EXPECT_EQ(m.Id, 0x18FEF100u);  // the caller's record is left as it was

    // A record built from another takes the entry and leaves the reserved words 0, so that a removal
    // sends no leftovers either.
    tVYK_CAN_CYCTX_MSG copy = m;
    tVYK_CAN_CYCTX_MSG assigned;
    assigned.Reserved22 = 0x1111;
    assigned = m;
    for (const tVYK_CAN_CYCTX_MSG* c : {&copy, &assigned}) {
        EncodeCycTxEntry(*c, false, out);
        EXPECT_EQ(Bytes(out, 22), Bytes(want.data(), 22));
        EXPECT_EQ(Bytes(out + 22, 6), (std::vector<uint8_t>(6, 0)));
    }
}

TEST(Wire, StatusRecordCodesByControllerLevels) {
    struct Case {
        uint8_t ctrl;
        uint32_t first, second;
    } cases[] = {
        {0x04, 0x800, 0x800},
        {0x08, 0x1000, 0x1000},
        {0x0C, 0x400, 0x400},
        {0x10, 0x2000, 0x2000},
        {0x20, 0x4000, 0x4000},
        {0x30, 0x400, 0x400},
        {0x14, 0x800, 0x800},  // the transmitter's level
                               // comes first
        {0x00, 0xFFFFFFFF, 128},
        {0xC3, 0xFFFFFFFF, 128},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StatusRecordCode(c.ctrl, false), c.first) << int(c.ctrl);
        EXPECT_EQ(StatusRecordCode(c.ctrl, true), c.second) << int(c.ctrl);
    }
}

TEST(Wire, BusLoadFromCountedBits) {
    EXPECT_FLOAT_EQ(BusLoad(250'000, 500'000), 50.0f);
    EXPECT_FLOAT_EQ(BusLoad(600'000, 500'000), 100.0f);
    EXPECT_FLOAT_EQ(BusLoad(0, 500'000), 0.0f);
    EXPECT_FLOAT_EQ(BusLoad(1000, 0), 0.0f);
    EXPECT_NEAR(BusLoad(142'857, 285'714), 50.0f, 0.001f);  // custom timing: the real rate, not a code
}

}  // namespace
