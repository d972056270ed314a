#pragma once
// Reading a whole input file that the user chose: the one bounded read for files loaded into memory
// (configuration and list XML, service CSV files).
#include <cstddef>
#include <string>

namespace vex {

// Files loaded whole are refused above this size: no setup, list or service file comes near it, and a
// device or a mistaken choice never takes the program's memory.
inline constexpr size_t kMaxInputFileBytes = size_t{256} << 20;

// Reads the whole file into out. Returns "" on success, otherwise the reason the file was refused:
// the system's text for a failed open or read ("No such file or directory"), "Not a regular file" for a
// device, FIFO, socket or folder (their reads may never end), or "File larger than N bytes" when it holds
// more than maxBytes. out is changed only on success.
std::string ReadInputFile(const std::string& path, size_t maxBytes, std::string& out);

}  // namespace vex
