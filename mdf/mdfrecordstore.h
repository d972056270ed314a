#pragma once
// Temporary storage of the records of a file being created: one spill file in the temporary folder, which has
// no name (so it goes with the process, however it ends), shared by every data group, and per data group a
// buffer whose full chunks are appended to the spill file. Every write is checked; a failed one is
// remembered, with its reason, and fails the save.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lorimar {

// Which side of a copy failed, and the errno.
struct IoFailure {
    bool temporary = false;  // reading the spill file, not writing the target
    int error = 0;
};

class MdfSpillFile {
public:
    MdfSpillFile() = default;
    ~MdfSpillFile();
    MdfSpillFile(const MdfSpillFile&) = delete;
    MdfSpillFile& operator=(const MdfSpillFile&) = delete;

    // Opens an unnamed file in `folder`; false with the errno in error().
    bool open(const std::string& folder);
    const std::string& folder() const { return m_folder; }
    // Appends and returns the offset of the bytes; on a failed write the file is marked failed.
    uint64_t append(const uint8_t* data, size_t size);
    bool failed() const { return m_error != 0; }
    // The errno of the failed open or write; 0 while none failed.
    int error() const { return m_error; }
    // Copies `size` bytes from `offset` to the end of `outFd`.
    bool copyTo(int outFd, uint64_t offset, uint64_t size, IoFailure& failure) const;
    void close();

private:
    int m_fd = -1;
    uint64_t m_size = 0;
    int m_error = 0;
    std::string m_folder;
};

// The records of one data group in completion order.
class MdfRecordStore {
public:
    void append(const uint8_t* data, size_t size, MdfSpillFile& spill);
    uint64_t bytes() const { return m_bytes; }
    // Writes every byte appended so far to the end of `outFd`.
    bool copyTo(int outFd, const MdfSpillFile& spill, IoFailure& failure) const;

private:
    void flush(MdfSpillFile& spill);

    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    std::vector<std::pair<uint64_t, uint64_t>> m_chunks;  // offset and size in the spill file
    uint64_t m_bytes = 0;
};

// Writes all bytes, retrying short writes; false on any error, with errno set.
bool writeAll(int fd, const uint8_t* data, size_t size);

}  // namespace lorimar
