#pragma once
// Small utilities shared across the program. Paths are UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

// The program's product version (the build's project version), or "*" when none is known.
std::string GetProductVersion();

// True when the path names an existing directory (a file, or nothing, gives false).
bool DirExists(const std::string& path);

// Creates one directory level; parents are not created. True when the directory was created.
bool CreateDir(const std::string& path);

// printf("%0.15f") in the C locale, then trailing zeros and a trailing point removed: 2.0 -> "2",
// 0.1 -> "0.1", 100.0 -> "100". Independent of the process locale.
std::string DoubleToStr(double value);

// Copies the first min(text length, n) bytes of the text into the buffer, adds no terminator and leaves the
// rest of the buffer as it was; n <= 0 copies nothing. The caller guarantees the buffer holds n bytes.
void CopyStrToBuf(std::string_view text, void* buffer, int32_t n);

// Busy-waits (never sleeps) for ms milliseconds of the given clock, at most 10000 ms; 0 returns at once.
void PreciseWaitMs(uint32_t ms, const vex::Clock& clock = vex::SystemClock());
