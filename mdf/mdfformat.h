#pragma once
// Field-level access to MDF 3.x blocks: integers in the file's byte order, REAL fields always
// little-endian IEEE doubles, fixed-width text fields. Every reader here is given a pointer that the caller
// has checked against the file.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "mdf/lorimar.h"

namespace lorimar {

// Block sizes as written, and the least size a block must declare to be read.
inline constexpr uint32_t kIdSize = 64;
inline constexpr uint16_t kHdSize = 164;
inline constexpr uint16_t kHdLongSize = 208;
inline constexpr uint16_t kDgSize = 28;     // with the reserved word at 24, as the public block has it
inline constexpr uint16_t kDgMinSize = 24;  // files of writers that leave the reserved word out
inline constexpr uint16_t kCgSize = 26;
inline constexpr uint16_t kCnSize = 228;
inline constexpr uint16_t kCnMinSize = 218;  // up to the sampling rate
inline constexpr uint16_t kCcMinSize = 46;
inline constexpr uint16_t kCeDimSize = 128;  // written
inline constexpr uint16_t kCeDimMinSize = 124;
inline constexpr uint16_t kCeCanSize = 86;
inline constexpr uint16_t kTextTableEntry = 40;
inline constexpr uint16_t kRangeTableEntry = 20;
inline constexpr uint16_t kValuePairEntry = 16;

// Text fields of fixed width.
inline constexpr size_t kNameField = 32;
inline constexpr size_t kDescField = 128;
inline constexpr size_t kUnitField = 20;
inline constexpr size_t kDateField = 10;
inline constexpr size_t kTimeField = 8;
inline constexpr size_t kIdField = 8;
inline constexpr size_t kCeDescField = 80;
inline constexpr size_t kCanNameField = 36;
// Longest text that the writer puts into a text block.
inline constexpr size_t kMaxBlockText = kMdfMaxBlockText;

inline uint16_t get16(const uint8_t* p, bool big) {
    return big ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t get32(const uint8_t* p, bool big) {
    return big ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
               : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}
inline uint64_t get64(const uint8_t* p, bool big) {
    const uint64_t a = get32(p, big), b = get32(p + 4, big);
    return big ? (a << 32) | b : (b << 32) | a;
}
inline double getReal(const uint8_t* p) {
    const uint64_t bits = get64(p, false);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline void put16(uint8_t* p, uint16_t v, bool big) {
    if (big) {
        p[0] = static_cast<uint8_t>(v >> 8);
        p[1] = static_cast<uint8_t>(v);
    } else {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    }
}
inline void put32(uint8_t* p, uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i) p[big ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put64(uint8_t* p, uint64_t v, bool big) {
    for (int i = 0; i < 8; ++i) p[big ? 7 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putReal(uint8_t* p, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    put64(p, bits, false);
}

// The GBK text of a fixed field up to its first NUL, as UTF-8 (lossless for bytes that are not GBK).
std::string getText(const uint8_t* p, size_t width);

// Writes a UTF-8 text as GBK into a field of `width` bytes, NUL-padded; keeps at most width - 1 bytes (so
// the field stays terminated) unless `terminated` is false, and never splits a double-byte character.
void putText(uint8_t* p, size_t width, std::string_view utf8, bool terminated = true);

// GBK bytes of a UTF-8 text cut to at most `maxBytes` without splitting a character.
std::string toFileText(std::string_view utf8, size_t maxBytes);

}  // namespace lorimar
