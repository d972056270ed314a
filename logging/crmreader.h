#pragma once
// The reading side of ".crm" files, shared by the log file class and the replay reader: records are read
// by index through a block cache, never by mapping the file, so a file that another program shortens or
// removes while it is open makes reads fail instead of ending the program. Opened read-only.
#include <cstdint>
#include <memory>
#include <string>

#include "logging/canmsgfile.h"

// Whether 25 record bytes can hold a frame: an identifier of at most 29 bits, a length code of at most 15
// and a finite time. Flag bytes may hold any value: writers store them as they stand and readers take any
// nonzero byte as 1.
bool PlausibleCrmRecord(const uint8_t* record);

class CCrmFileReader {
public:
    // Records read from the file at once: 65,525 bytes.
    static constexpr uint32_t kBlockRecords = 2621;

    CCrmFileReader() = default;
    ~CCrmFileReader() { Close(); }
    CCrmFileReader(const CCrmFileReader&) = delete;
    CCrmFileReader& operator=(const CCrmFileReader&) = delete;

    // Opens a regular file of any size whose record count fits 32 bits (an empty file has 0 records) and
    // whose first record is a plausible frame (PlausibleCrmRecord). False, with the reason in `error`,
    // otherwise; a file open before is closed either way.
    bool Open(const std::string& path, std::string& error);
    // The same over a descriptor of a regular file that the reader takes over (closed on failure too);
    // `path` names it in the reason.
    bool Adopt(int fd, const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    uint32_t Count() const { return m_count; }
    // Time stamp of record 0, and of the last record minus that; 0.0 without records.
    double FirstTime() const { return m_firstTime; }
    double Duration() const { return m_duration; }

    // Record `index` into msg (flags as 0 or 1, the rest of msg untouched); false when the index is not
    // below the count or the record cannot be read.
    bool Decode(uint32_t index, tCAN_RAW_MSG& msg);
    // Time stamp of record `index`; 0.0 when it cannot be read.
    double RecordTime(uint32_t index);
    // The index of a record whose time equals the instant, else the first one after it, clamped to the
    // first and the last record. Records are taken to be in ascending time order; on a file that is not,
    // the result is some index within the file. False without records.
    bool FindByTime(double instant, uint32_t& index);

    // The common reading rules of the log files (CCanMsgFile::ReadByIndex and ReadByTime).
    bool ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                     uint32_t& count);
    bool ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity, uint32_t& count);

private:
    // The 25 bytes of record `index` from the block cache, loading the block that starts there on a miss;
    // null when they cannot be read.
    const uint8_t* record(uint32_t index);

    int m_fd = -1;
    uint32_t m_count = 0;
    double m_firstTime = 0.0;
    double m_duration = 0.0;
    std::unique_ptr<uint8_t[]> m_block;
    uint64_t m_blockFirst = 0;
    uint32_t m_blockRecords = 0;
};
