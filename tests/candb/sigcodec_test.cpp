#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "candb/canmodel.h"
#include "tests/candb/printf_value_text.h"

namespace {

using Bytes = std::array<uint8_t, 8>;
constexpr Bytes kSample = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
constexpr bool kIntel = true;
constexpr bool kMotorola = false;

CCanSignal sig(bool intel, int start, int len, bool isSigned = false, double factor = 1.0,
               double offset = 0.0) {
    CCanSignal s;
    s.ByteFmtIntel = intel ? 1 : 0;
    s.BitOffset = static_cast<uint8_t>(start);
    s.BitLen = static_cast<uint8_t>(len);
    s.Sign = isSigned ? 1 : 0;
    s.ValFactor = factor;
    s.ValOffset = offset;
    return s;
}

std::string hex(const Bytes& b) {
    std::string out;
    char buf[4];
    for (uint8_t v : b) {
        std::snprintf(buf, sizeof buf, "%02X ", v);
        out += buf;
    }
    out.pop_back();
    return out;
}

// The bit walk as the byte-order rules state it, one bit at a time: Intel from the least significant value
// bit upward through the bytes, Motorola from the most significant value bit downward, both continuing in the
// next byte. False as soon as a position leaves the eight bytes.
template <class Visit>
bool referenceWalk(bool intel, int start, int len, Visit visit) {
    if (len < 1 || len > 32) return false;
    int byte = start / 8, bit = start % 8;
    for (int i = 0; i < len; ++i) {
        if (byte > 7) return false;
        visit(intel ? i : len - 1 - i, byte, bit);
        if (intel) {
            if (++bit == 8) bit = 0, ++byte;
        } else {
            if (--bit < 0) bit = 7, ++byte;
        }
    }
    return true;
}

}  // namespace

// The worked examples, then start bits 0, 7, 56, 63 with lengths 1, 8, 31, 32 in both orders: the value read
// from the sample bytes, and the bits a signal covers (all ones inserted into zeros; zero inserted into all
// ones gives the complement). An empty mask means the signal leaves the eight bytes and must be refused.
TEST(SigCodec, WorkedExamplesAndEdgePositionsBothOrders) {
    struct Case {
        bool intel;
        int start, len;
        uint32_t raw;
        const char* mask;
    } cases[] = {
        {kIntel, 8, 16, 0x5634, "00 FF FF 00 00 00 00 00"},
        {kIntel, 4, 8, 0x41, "F0 0F 00 00 00 00 00 00"},
        {kMotorola, 7, 16, 0x1234, "FF FF 00 00 00 00 00 00"},
        {kMotorola, 3, 8, 0x23, "0F F0 00 00 00 00 00 00"},
        {kMotorola, 11, 12, 0x456, "00 0F FF 00 00 00 00 00"},
        {kIntel, 0, 1, 0x0, "01 00 00 00 00 00 00 00"},
        {kIntel, 0, 8, 0x12, "FF 00 00 00 00 00 00 00"},
        {kIntel, 0, 31, 0x78563412, "FF FF FF 7F 00 00 00 00"},
        {kIntel, 0, 32, 0x78563412, "FF FF FF FF 00 00 00 00"},
        {kIntel, 7, 1, 0x0, "80 00 00 00 00 00 00 00"},
        {kIntel, 7, 8, 0x68, "80 7F 00 00 00 00 00 00"},
        {kIntel, 7, 31, 0x34F0AC68, "80 FF FF FF 3F 00 00 00"},
        {kIntel, 7, 32, 0x34F0AC68, "80 FF FF FF 7F 00 00 00"},
        {kIntel, 56, 1, 0x0, "00 00 00 00 00 00 00 01"},
        {kIntel, 56, 8, 0xF0, "00 00 00 00 00 00 00 FF"},
        {kIntel, 56, 31, 0, ""},
        {kIntel, 56, 32, 0, ""},
        {kIntel, 63, 1, 0x1, "00 00 00 00 00 00 00 80"},
        {kIntel, 63, 8, 0, ""},
        {kIntel, 63, 31, 0, ""},
        {kIntel, 63, 32, 0, ""},
        {kMotorola, 0, 1, 0x0, "01 00 00 00 00 00 00 00"},
        {kMotorola, 0, 8, 0x1A, "01 FE 00 00 00 00 00 00"},
        {kMotorola, 0, 31, 0x0D159E26, "01 FF FF FF FC 00 00 00"},
        {kMotorola, 0, 32, 0x1A2B3C4D, "01 FF FF FF FE 00 00 00"},
        {kMotorola, 7, 1, 0x0, "80 00 00 00 00 00 00 00"},
        {kMotorola, 7, 8, 0x12, "FF 00 00 00 00 00 00 00"},
        {kMotorola, 7, 31, 0x091A2B3C, "FF FF FF FE 00 00 00 00"},
        {kMotorola, 7, 32, 0x12345678, "FF FF FF FF 00 00 00 00"},
        {kMotorola, 56, 1, 0x0, "00 00 00 00 00 00 00 01"},
        {kMotorola, 56, 8, 0, ""},
        {kMotorola, 56, 31, 0, ""},
        {kMotorola, 56, 32, 0, ""},
        {kMotorola, 63, 1, 0x1, "00 00 00 00 00 00 00 80"},
        {kMotorola, 63, 8, 0xF0, "00 00 00 00 00 00 00 FF"},
        {kMotorola, 63, 31, 0, ""},
        {kMotorola, 63, 32, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.intel ? "Intel " : "Motorola ") + std::to_string(c.start) + "/" +
                     std::to_string(c.len));
        const CCanSignal s = sig(c.intel, c.start, c.len);
        const bool valid = *c.mask != 0;
        uint32_t raw = 0xDEADBEEF;
        Bytes zeros{}, ones;
        ones.fill(0xFF);
        EXPECT_EQ(s.GetRawValue(kSample, raw), valid);
        EXPECT_EQ(s.SetRawValue(zeros, 0xFFFFFFFF), valid);
        EXPECT_EQ(s.SetRawValue(ones, 0), valid);
        if (!valid) {
            EXPECT_EQ(raw, 0xDEADBEEF);
            EXPECT_EQ(hex(zeros), "00 00 00 00 00 00 00 00");
            EXPECT_EQ(hex(ones), "FF FF FF FF FF FF FF FF");
            continue;
        }
        EXPECT_EQ(raw, c.raw);
        EXPECT_EQ(hex(zeros), c.mask);
        Bytes complement;
        for (int i = 0; i < 8; ++i) complement[i] = static_cast<uint8_t>(~zeros[i]);
        EXPECT_EQ(hex(ones), hex(complement));
    }
}

// Every start bit a record can hold (0..255) and every length 0..33 in both orders, against the bit-by-bit
// walk: the same acceptance, the same value, the same bytes after an insertion, and nothing touched on
// refusal.
TEST(SigCodec, AgreesWithBitWalkEverywhere) {
    std::mt19937 rng(7);
    for (bool intel : {kIntel, kMotorola}) {
        for (int start = 0; start < 256; ++start) {
            for (int len = 0; len <= 33; ++len) {
                Bytes data;
                for (auto& b : data) b = static_cast<uint8_t>(rng());
                const uint32_t value = static_cast<uint32_t>(rng());

                uint32_t expectRaw = 0;
                Bytes expectData = data;
                const bool ok = referenceWalk(intel, start, len, [&](int vbit, int byte, int bit) {
                    if ((data[byte] >> bit) & 1) expectRaw |= uint32_t{1} << vbit;
                    const uint8_t m = static_cast<uint8_t>(1u << bit);
                    expectData[byte] =
                        ((value >> vbit) & 1) ? (expectData[byte] | m) : (expectData[byte] & ~m);
                });

                const CCanSignal s = sig(intel, start, len);
                uint32_t raw = 0xCAFEF00D;
                Bytes written = data;
                ASSERT_EQ(s.GetRawValue(data, raw), ok) << intel << " " << start << "/" << len;
                ASSERT_EQ(s.SetRawValue(written, value), ok) << intel << " " << start << "/" << len;
                EXPECT_EQ(raw, ok ? expectRaw : 0xCAFEF00D) << intel << " " << start << "/" << len;
                EXPECT_EQ(written, ok ? expectData : data) << intel << " " << start << "/" << len;
            }
        }
    }
}

TEST(SigCodec, SignExtension) {
    struct Case {
        int len;
        uint32_t raw;
        int32_t value;
    } cases[] = {
        {8, 0x80, -128},
        {8, 0x7F, 127},
        {8, 0xFF, -1},
        {8, 0x81, -127},
        {1, 1, -1},
        {1, 0, 0},
        {12, 0x800, -2048},
        {12, 0x7FF, 2047},
        {31, 0x40000000, -1073741824},
        {32, 0xFFFFFFFF, -1},
        {32, 0x80000000, INT32_MIN},
        {32, 0x7FFFFFFF, INT32_MAX},
    };
    for (const auto& c : cases) {
        for (bool intel : {kIntel, kMotorola}) {
            const CCanSignal s = sig(intel, intel ? 0 : 7, c.len, true);
            Bytes data{};
            ASSERT_TRUE(s.SetRawValue(data, c.raw));
            int32_t v = 12345;
            EXPECT_TRUE(s.GetSignedRawValue(data, v));
            EXPECT_EQ(v, c.value) << c.len << " bits, raw " << c.raw;
        }
    }
}

TEST(SigCodec, SignedInsertKeepsSignBitAndCutsToLength) {
    struct Case {
        int len;
        int32_t value;
        uint32_t stored;
        int32_t readBack;
    } cases[] = {
        {8, -1, 0xFF, -1},
        {8, -128, 0x80, -128},
        {8, -200, 0xB8, -72},
        {8, 200, 0xC8, -56},
        {8, 127, 0x7F, 127},
        {1, -5, 1, -1},
        {1, 0, 0, 0},
        {32, INT32_MIN, 0x80000000, INT32_MIN},
        {32, -1, 0xFFFFFFFF, -1},
    };
    for (const auto& c : cases) {
        const CCanSignal s = sig(kIntel, 0, c.len, true);
        Bytes data{};
        ASSERT_TRUE(s.SetSignedRawValue(c.value, data));
        uint32_t raw = 0;
        int32_t back = 0;
        ASSERT_TRUE(s.GetRawValue(data, raw));
        ASSERT_TRUE(s.GetSignedRawValue(data, back));
        EXPECT_EQ(raw, c.stored) << c.len << " bits, " << c.value;
        EXPECT_EQ(back, c.readBack) << c.len << " bits, " << c.value;
    }
}

// Every refusal leaves the outputs and the data bytes exactly as they were.
TEST(SigCodec, RefusalsTouchNothing) {
    const Bytes original = kSample;
    const CCanSignal len0 = sig(kIntel, 0, 0, true);
    const CCanSignal len33 = sig(kMotorola, 7, 33, true);
    const CCanSignal outside = sig(kIntel, 60, 8, true);
    const CCanSignal unsignedSig = sig(kIntel, 0, 8, false);
    const CCanSignal signedSig = sig(kIntel, 0, 8, true);
    const CCanSignal zeroFactorU = sig(kIntel, 0, 8, false, 0.0);
    const CCanSignal zeroFactorS = sig(kIntel, 0, 8, true, 0.0);

    for (const CCanSignal* s : {&len0, &len33, &outside}) {
        Bytes data = original;
        uint32_t u = 11;
        int32_t i = 22;
        EXPECT_FALSE(s->GetRawValue(data, u));
        EXPECT_FALSE(s->GetSignedRawValue(data, i));
        EXPECT_FALSE(s->SetRawValue(data, 0));
        EXPECT_FALSE(s->SetSignedRawValue(-1, data));
        EXPECT_FALSE(s->SetPhyValue(data, "", 1.0));
        EXPECT_EQ(u, 11u);
        EXPECT_EQ(i, 22);
        EXPECT_EQ(data, original);
    }

    Bytes data = original;
    int32_t i = 22;
    uint32_t u = 11;
    double phy = 3.5;
    std::string text = "keep";
    EXPECT_FALSE(unsignedSig.GetSignedRawValue(data, i));
    EXPECT_FALSE(unsignedSig.SetSignedRawValue(-1, data));
    EXPECT_FALSE(unsignedSig.SignedRawToPhyText(1, phy, text));
    EXPECT_FALSE(unsignedSig.PhyToSignedRaw("", i, 1.0));
    EXPECT_FALSE(signedSig.UnsignedRawToPhyText(1, phy, text));
    EXPECT_FALSE(signedSig.PhyToUnsignedRaw("", u, 1.0));
    EXPECT_FALSE(zeroFactorU.PhyToUnsignedRaw("", u, 1.0));
    EXPECT_FALSE(zeroFactorS.PhyToSignedRaw("", i, 1.0));
    EXPECT_FALSE(zeroFactorU.SetPhyValue(data, "", 1.0));
    EXPECT_FALSE(zeroFactorS.SetPhyValue(data, "", 1.0));
    EXPECT_EQ(i, 22);
    EXPECT_EQ(u, 11u);
    EXPECT_EQ(phy, 3.5);
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(data, original);
}

TEST(SigCodec, PhysicalToRaw) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        bool isSigned;
        double factor, offset, phy;
        bool ok;
        int64_t raw;  // signed result, or the unsigned 32-bit pattern
    } cases[] = {
        // Truncation toward zero; quotients that miss a whole number only by a division artefact count as it.
        {false, 0.1, 0, 0.3, true, 3},
        {false, 0.1, 0, 0.35, true, 3},
        {false, 0.1, 0, 0.39, true, 3},
        {true, 0.1, 0, -0.3, true, -3},
        {true, 0.5, -10, -12.25, true, -4},
        {false, 0.5, -10, 117.5, true, 255},
        {true, 1, 0, -2.9, true, -2},
        // The unsigned form keeps the low 32 bits of the 64-bit quotient.
        {false, 1, 0, -1, true, 0xFFFFFFFF},
        {false, 1, 0, 5e9, true, 705032704},
        {false, 1, 0, 4294967295.0, true, 0xFFFFFFFF},
        // Quotients that fit no integer of the conversion are refused, never undefined.
        {true, 1, 0, 2147483648.0, false, 0},
        {true, 1, 0, -2147483649.0, false, 0},
        {true, 1e-300, 0, 1.0, false, 0},
        {false, 1, 0, 1e20, false, 0},
        {false, 1, 0, nan, false, 0},
        {true, 1, 0, inf, false, 0},
        {false, 1, 0, -inf, false, 0},
        {true, nan, 0, 1.0, false, 0},
    };
    for (const auto& c : cases) {
        const CCanSignal s = sig(kIntel, 0, 32, c.isSigned, c.factor, c.offset);
        bool ok;
        int64_t got;
        if (c.isSigned) {
            int32_t r = 99;
            ok = s.PhyToSignedRaw("", r, c.phy);
            got = r;
        } else {
            uint32_t r = 99;
            ok = s.PhyToUnsignedRaw("", r, c.phy);
            got = r;
        }
        EXPECT_EQ(ok, c.ok) << c.phy << " / " << c.factor;
        EXPECT_EQ(got, c.ok ? c.raw : 99) << c.phy << " / " << c.factor;
    }
}

TEST(SigCodec, SetPhyValueCutsToBitLength) {
    struct Case {
        bool isSigned;
        int len;
        double factor, offset, phy;
        const char* bytes;
    } cases[] = {
        {false, 8, 1, 0, -1, "FF 00 00 00 00 00 00 00"},     // two's complement of -1, low 8 bits
        {false, 4, 1, 0, 0x1F, "0F 00 00 00 00 00 00 00"},   // only the low 4 bits
        {false, 8, 0.1, 0, 0.3, "03 00 00 00 00 00 00 00"},  // not 2
        {true, 8, 1, 0, -128, "80 00 00 00 00 00 00 00"},
        {true, 8, 0.5, 0, -0.5, "FF 00 00 00 00 00 00 00"},
        {true, 16, 0.01, -100, -100.01, "FF FF 00 00 00 00 00 00"},
    };
    for (const auto& c : cases) {
        const CCanSignal s = sig(kIntel, 0, c.len, c.isSigned, c.factor, c.offset);
        Bytes data{};
        EXPECT_TRUE(s.SetPhyValue(data, "ignored", c.phy));
        EXPECT_EQ(hex(data), c.bytes) << c.phy;
    }
    Bytes data = kSample;
    EXPECT_FALSE(sig(kIntel, 0, 8, true).SetPhyValue(data, "", 1e10));  // no signed 32-bit raw value
    EXPECT_EQ(data, kSample);
}

TEST(SigCodec, RawToPhysicalText) {
    struct Case {
        bool isSigned;
        int64_t raw;
        double factor, offset;
        double phy;
        const char* text;
    } cases[] = {
        {false, 125, 0.1, 0, 12.5, "12.5"},
        {false, 100, 1, 0, 100, "100"},
        {true, -1, 0.25, 0, -0.25, "-0.25"},
        {false, 1, 1e-7, 0, 1e-7, "0"},
        {true, -1, 1e-7, 0, -1e-7, "0"},  // not "-0"
        {false, 0, -1, -0.0, -0.0, "0"},
        {false, 10, 0.1, 0, 1.0, "1"},
        {false, 0xFFFFFFFF, 1, 0, 4294967295.0, "4294967295"},
        {true, INT32_MIN, 1, 0, -2147483648.0, "-2147483648"},
        {false, 3, 0.5, -40, -38.5, "-38.5"},
        {false, 16, 1e-7, 0, 1.6e-6, "0.000002"},
        {true, 2, 1e300, 0, 2e300, nullptr},
    };
    for (const auto& c : cases) {
        const CCanSignal s = sig(kIntel, 0, 32, c.isSigned, c.factor, c.offset);
        double phy = 0;
        std::string text;
        const bool ok = c.isSigned ? s.SignedRawToPhyText(static_cast<int32_t>(c.raw), phy, text)
                                   : s.UnsignedRawToPhyText(static_cast<uint32_t>(c.raw), phy, text);
        EXPECT_TRUE(ok);
        EXPECT_DOUBLE_EQ(phy, c.phy);
        if (c.text) {
            EXPECT_EQ(text, c.text) << c.raw;
        } else {
            EXPECT_EQ(text.size(), 301u);  // every integer digit of a huge value, like "%f"
            EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos);
        }
    }
}

TEST(SigCodec, ValueTableTexts) {
    CCanSignal s = sig(kIntel, 0, 8, false);
    s.Enum = 1;
    s.SigEnum.Items = {{"关", 0}, {"开", 1}, {"错误", 1}, {"负", -2}, {"On", 57}};
    struct Case {
        double factor, offset;
        uint32_t raw;
        const char* text;
    } cases[] = {
        {1, 0, 0, "关"},
        {1, 0, 1, "错误"},  // the later of two matching entries
        {1, 0, 3, "3"},     // no entry: the number, as without a table
        {0.25, 0, 10, "2.5"},
        {0.5, 0, 3, "错误"},          // 1.5 truncates to 1
        {0.5, -3, 1, "负"},           // -2.5 truncates toward zero to -2
        {0.57, 0, 100, "On"},         // 56.99999999999999 is 57 but for a floating-point artefact
        {1e10, 0, 1, "10000000000"},  // beyond any 32-bit value
    };
    for (const auto& c : cases) {
        s.ValFactor = c.factor;
        s.ValOffset = c.offset;
        double phy = 0;
        std::string text = "old";
        EXPECT_TRUE(s.UnsignedRawToPhyText(c.raw, phy, text));
        EXPECT_EQ(text, c.text) << c.raw << " * " << c.factor;
        EXPECT_DOUBLE_EQ(phy, c.raw * c.factor + c.offset);
    }
}

// Between raw values and value-table values: a raw value is shown through its physical value truncated;
// a table value stands for the raw value nearest to its quotient that is shown through it (the truncated
// quotient may lie one step beside, toward zero), else for the truncated quotient. A value-table text sets
// that raw value, so the frame shows the text chosen.
TEST(SigCodec, RawValuesAndValueTableValues) {
    struct Case {
        bool isSigned;
        double factor, offset;
        int64_t raw;
        int32_t val;   // the value raw is shown through
        int64_t back;  // the raw value val stands for
    } cases[] = {
        {false, 1, 0, 7, 7, 7},
        {false, 0.782779, -200, 511, 200, 511},  // (200 + 200) / 0.782779 = 510.9999...
        {false, 0.782779, -200, 0, -200, 0},
        {false, 0.1, 0, 65535, 6553, 65530},  // ten raw values show as 6553: the first stands for it
        {false, 0.5, 0, 255, 127, 254},
        {true, 0.1, 0, -32768, -3276, -32760},
        {true, 1, -40, -1, -41, -1},
        {false, -2, 10, 3, 4, 3},
        {false, 3, 0.5, 1, 3, 1},           // 3.5 shows as 3, and 3 stands for raw 1
        {false, 4294967296.0, 0, 1, 0, 0},  // beyond 32 bits: no value (val, back unused)
    };
    for (const Case& c : cases) {
        CCanSignal s = sig(kIntel, 0, 32, c.isSigned, c.factor, c.offset);
        int32_t val = 99;
        if (c.factor == 4294967296.0) {
            EXPECT_FALSE(s.RawToEnumValue(c.raw, val));
            continue;
        }
        ASSERT_TRUE(s.RawToEnumValue(c.raw, val)) << c.raw;
        EXPECT_EQ(val, c.val) << c.raw << " * " << c.factor;
        int64_t back = 0;
        ASSERT_TRUE(s.EnumValueToRaw(val, back));
        EXPECT_EQ(back, c.back) << c.raw << " * " << c.factor;
    }
    // No raw value is shown through 5 when each raw step is 3: the truncated quotient.
    int64_t back = 0;
    ASSERT_TRUE(sig(kIntel, 0, 8, false, 3, 0).EnumValueToRaw(5, back));
    EXPECT_EQ(back, 1);
    EXPECT_FALSE(sig(kIntel, 0, 8, false, 0, 0).EnumValueToRaw(5, back));

    CCanSignal susp = sig(kIntel, 0, 9, false, 0.782779, -200);
    susp.Enum = 1;
    susp.SigEnum.Items = {{"Fault", 200}};
    Bytes data{};
    ASSERT_TRUE(susp.SetPhyValue(data, "Fault", 0));
    uint32_t raw = 0;
    double phy = 0;
    std::string text;
    ASSERT_TRUE(susp.GetRawValue(data, raw));
    EXPECT_EQ(raw, 511u);
    ASSERT_TRUE(susp.UnsignedRawToPhyText(raw, phy, text));
    EXPECT_EQ(text, "Fault");
    ASSERT_TRUE(susp.SetPhyValue(data, "", 200.0));  // a number: truncated as it stands
    ASSERT_TRUE(susp.GetRawValue(data, raw));
    EXPECT_EQ(raw, 510u);
}

// A table value whose run of raw values reaches beyond the signal's bits stands for the run's raw value at
// the signal's limit: the text sets a raw value the frame carries, and a DBC export writes a key that reads
// back as the same value (8 in a signed 4-bit signal reads back as -8).
TEST(SigCodec, ValueTableValuesStandForRawValuesTheBitsCarry) {
    CCanSignal gear = sig(kIntel, 0, 4, true, 0.125, -40);  // raw 1..8 show as -39
    int64_t back = 0;
    ASSERT_TRUE(gear.EnumValueToRaw(-39, back));
    EXPECT_EQ(back, 7);
    CCanSignal fine = sig(kIntel, 0, 4, true, 0.01, -40);  // raw 1..100 show as -39
    ASSERT_TRUE(fine.EnumValueToRaw(-39, back));
    EXPECT_EQ(back, 7);
    CCanSignal wide = sig(kIntel, 0, 8, true, 0.125, -40);  // the bits carry 8: nothing moves
    ASSERT_TRUE(wide.EnumValueToRaw(-39, back));
    EXPECT_EQ(back, 8);

    gear.Enum = 1;
    gear.SigEnum.Items = {{"D", -39}};
    Bytes data{};
    ASSERT_TRUE(gear.SetPhyValue(data, "D", 0));
    int32_t raw = 0;
    double phy = 0;
    std::string text;
    ASSERT_TRUE(gear.GetSignedRawValue(data, raw));
    EXPECT_EQ(raw, 7);
    ASSERT_TRUE(gear.SignedRawToPhyText(raw, phy, text));
    EXPECT_EQ(text, "D");
}

TEST(SigCodec, ValueTableTextToRaw) {
    CCanSignal s = sig(kMotorola, 7, 8, true, 0.5, 10);
    s.Enum = 1;
    s.SigEnum.Items = {{"On", 11}, {"Off", 10}, {"On", 12}, {"低", 9}};
    struct Case {
        const char* text;
        double phy;
        int32_t raw;
    } cases[] = {
        {"On", 0, 4},  // (12 - 10) / 0.5, the later of two matching entries
        {"Off", 0, 0}, {"低", 0, -2},
        {"on", 13, 6},  // case-sensitive: no match, the given physical value is used
        {"", 11.9, 3},
    };
    for (const auto& c : cases) {
        int32_t raw = 99;
        EXPECT_TRUE(s.PhyToSignedRaw(c.text, raw, c.phy));
        EXPECT_EQ(raw, c.raw) << c.text;
    }
    Bytes data{};
    EXPECT_TRUE(s.SetPhyValue(data, "低", 0));
    EXPECT_EQ(hex(data), "FE 00 00 00 00 00 00 00");

    s.Enum = 0;  // without value-table display the text is ignored
    int32_t raw = 99;
    EXPECT_TRUE(s.PhyToSignedRaw("On", raw, 13));
    EXPECT_EQ(raw, 6);
}

TEST(SigCodec, PhysicalRange) {
    struct Case {
        bool isSigned;
        int len;
        double factor, offset, lo, hi;
    } cases[] = {
        {false, 8, 0.5, -10, -10, 117.5},
        {true, 8, 1, 0, -127, 127},
        {true, 8, -1, 0, 127, -127},  // not swapped for a negative factor
        {false, 32, 1, 0, 0, 4294967295.0},
        {true, 32, 1, 0, -2147483647.0, 2147483647.0},
        {true, 1, 2, 5, 5, 5},
        {false, 1, 2, 5, 5, 7},
    };
    for (const auto& c : cases) {
        double lo = 0, hi = 0;
        sig(kIntel, 0, c.len, c.isSigned, c.factor, c.offset).CalcPhyRange(lo, hi);
        EXPECT_EQ(lo, c.lo) << c.len << (c.isSigned ? " signed" : " unsigned");
        EXPECT_EQ(hi, c.hi) << c.len << (c.isSigned ? " signed" : " unsigned");
    }
}

// Decoding as every decoder does it, after encoding as every encoder does it, gives the value back.
TEST(SigCodec, EncodeDecodeRoundTrip) {
    struct Case {
        bool intel, isSigned;
        int start, len;
        double factor, offset, phy;
        const char* text;
    } cases[] = {
        {kIntel, true, 12, 16, 0.1, 0, -273.4, "-273.4"},
        {kMotorola, false, 23, 12, 0.25, -40, 215.75, "215.75"},
        {kMotorola, true, 39, 32, 0.001, 0, -2000000.5, "-2000000.5"},
        {kIntel, false, 33, 31, 1, 0, 123456789, "123456789"},
        {kMotorola, false, 0, 1, 1, 0, 1, "1"},
    };
    for (const auto& c : cases) {
        const CCanSignal s = sig(c.intel, c.start, c.len, c.isSigned, c.factor, c.offset);
        Bytes data = kSample;
        ASSERT_TRUE(s.SetPhyValue(data, "", c.phy)) << c.text;
        double phy = 0;
        std::string text;
        if (c.isSigned) {
            int32_t raw = 0;
            ASSERT_TRUE(s.GetSignedRawValue(data, raw));
            ASSERT_TRUE(s.SignedRawToPhyText(raw, phy, text));
        } else {
            uint32_t raw = 0;
            ASSERT_TRUE(s.GetRawValue(data, raw));
            ASSERT_TRUE(s.UnsignedRawToPhyText(raw, phy, text));
        }
        EXPECT_EQ(text, c.text);
    }
}

// The value text is "%f" with trailing zeros and point removed, whatever the magnitude, including values that
// lie right at a rounding boundary of the sixth decimal; only "-0" is shown as "0".
TEST(SigCodec, ValueTextMatchesPrintfEverywhere) {
    std::mt19937_64 rng(11);
    std::vector<double> values = {0.0000005, -0.0000005, 0.0000015, 0.0000025, 1.0000005, 999999.9999995,
                                  1e6,       -1e6,       999999.5,  0.1,       0.7,       123456.654321,
                                  1e-300,    -5e-324,    4e15,      1e22,      -1e300};
    for (int i = 0; i < 200000; ++i) {
        const int scale = static_cast<int>(rng() % 16) - 8;
        const double mant = static_cast<double>(static_cast<int64_t>(rng() % 2000001) - 1000000);
        values.push_back(mant * std::pow(10.0, scale));  // decimal-looking values
        values.push_back((static_cast<double>(rng() % 4000000) - 2000000) / 2e6 +
                         static_cast<double>(rng() % 3));
        values.push_back(std::bit_cast<double>(rng()));  // anything, NaN included
    }
    CCanSignal s = sig(kIntel, 0, 8, false, 1.0, 0.0);
    for (double v : values) {
        s.ValOffset = v;  // physical = 0 * 1 + v
        double phy = 0;
        std::string text;
        ASSERT_TRUE(s.UnsignedRawToPhyText(0, phy, text));
        if (std::isnan(v)) {
            EXPECT_TRUE(text == "nan" || text == "-nan") << text;
            continue;
        }
        ASSERT_EQ(text, printfValueText(v)) << std::hexfloat << v;
    }
}
