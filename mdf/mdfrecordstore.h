#pragma once
// Temporary storage of the records of a file being created: a private folder made with mkdtemp, one spill
// file inside it shared by every data group, and per data group a buffer whose full chunks are appended to
// the spill file. Every write is checked; a failed one is remembered and fails the save.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lorimar {

// A private folder under $TMPDIR (or /tmp); removed with its files when the object goes away.
class MdfTempFolder {
public:
    MdfTempFolder() = default;
    ~MdfTempFolder();
    MdfTempFolder(const MdfTempFolder&) = delete;
    MdfTempFolder& operator=(const MdfTempFolder&) = delete;

    bool create();
    const std::string& path() const { return m_path; }
    void remove();

private:
    std::string m_path;
};

class MdfSpillFile {
public:
    MdfSpillFile() = default;
    ~MdfSpillFile();
    MdfSpillFile(const MdfSpillFile&) = delete;
    MdfSpillFile& operator=(const MdfSpillFile&) = delete;

    bool open(const std::string& path);
    // Appends and returns the offset of the bytes; on a failed write the file is marked failed.
    uint64_t append(const uint8_t* data, size_t size);
    bool failed() const { return m_failed; }
    // Copies `size` bytes from `offset` to the end of `outFd`.
    bool copyTo(int outFd, uint64_t offset, uint64_t size) const;
    void close();

private:
    int m_fd = -1;
    uint64_t m_size = 0;
    bool m_failed = false;
};

// The records of one data group in completion order.
class MdfRecordStore {
public:
    void append(const uint8_t* data, size_t size, MdfSpillFile& spill);
    uint64_t bytes() const { return m_bytes; }
    // Writes every byte appended so far to the end of `outFd`.
    bool copyTo(int outFd, const MdfSpillFile& spill) const;

private:
    void flush(MdfSpillFile& spill);

    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    std::vector<std::pair<uint64_t, uint64_t>> m_chunks;  // offset and size in the spill file
    uint64_t m_bytes = 0;
};

// Writes all bytes, retrying short writes; false on any error.
bool writeAll(int fd, const uint8_t* data, size_t size);

}  // namespace lorimar
