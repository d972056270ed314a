#pragma once
// Text-to-number rules of the program's files, exactly as a 32-bit C runtime applied them, and
// locale-independent number writers.
//
// Every parser skips leading blanks (space, tab, line breaks, vertical tab, form feed), takes an optional
// sign and then decimal digits up to the first other character; no digit gives 0.
#include <cstdint>
#include <string>
#include <string_view>

namespace vex {

// Signed 32-bit (atoi/strtol): beyond the range gives INT32_MAX or INT32_MIN.
int32_t ParseInt32(std::string_view text);

// Unsigned 32-bit (strtoul, base 10): a negative text gives the two's complement of its magnitude
// ("-1" gives 0xFFFFFFFF); a magnitude beyond 32 bits gives 0xFFFFFFFF whatever the sign.
uint32_t ParseUInt32(std::string_view text);

// Unsigned 32-bit from hexadecimal (strtoul, base 16): blanks, an optional sign and an optional "0x" or
// "0X" before the digits, reading stops at the first other character, no digit gives 0. Sign and
// clamping as ParseUInt32: a magnitude beyond 32 bits gives 0xFFFFFFFF.
uint32_t ParseHexUInt32(std::string_view text);

// Floating point (atof/strtod in the C locale): fraction, exponent, inf and nan as strtod accepts them;
// out-of-range magnitudes give +-HUGE_VAL or 0 as strtod does. `consumed` (optional) receives the length
// of the numeric prefix.
double ParseReal(std::string_view text, size_t* consumed = nullptr);

// printf("%d") of a value widened to 32 bits.
std::string FormatInt(int64_t value);

// printf("%0.<decimals>f") in the C locale, whatever the process locale.
std::string FormatFixed(double value, int decimals);

// The shortest text that reads back as exactly the same double ("0.2", "1000", "1e+300"); C locale.
std::string FormatShortest(double value);

}  // namespace vex
