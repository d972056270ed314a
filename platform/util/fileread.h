#pragma once
// Opening and reading input files that the user chose: the one check that an input is a regular file where a
// size is needed, and the one bounded read for files loaded into memory (configuration and list XML, service
// CSV files).
#include <cstddef>
#include <string>

namespace vex {

// Files loaded whole are refused above this size: no setup, list or service file comes near it, and a
// device or a mistaken choice never takes the program's memory.
inline constexpr size_t kMaxInputFileBytes = size_t{256} << 20;

// The reason given for a device, FIFO, socket or folder where a regular file is needed.
inline constexpr const char* kNotRegularFile = "Not a regular file";

// Opens a file for reading without ever blocking in the open (a FIFO nobody writes to), close-on-exec.
// Returns the descriptor, or -1 with the reason: the system's text for a failed open ("No such file or
// directory"), or kNotRegularFile when `regularOnly` and the file is not a regular one (its reads may
// never end, and it has no size). A regular file reads blocking; anything else stays non-blocking, so a
// caller that accepts it polls and can give up.
int OpenInputFile(const std::string& path, std::string& reason, bool regularOnly = true);

// Reads the whole file into out. Returns "" on success, otherwise the reason the file was refused:
// OpenInputFile's reasons, the system's text for a failed read, or "File larger than N bytes" when it holds
// more than maxBytes. out is changed only on success.
std::string ReadInputFile(const std::string& path, size_t maxBytes, std::string& out);

}  // namespace vex
