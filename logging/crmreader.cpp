#include "logging/crmreader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/util/fileread.h"
#include "platform/util/filewrite.h"

namespace {

// pread until `size` bytes or the end of the file; the bytes read, or -1 on an error.
ssize_t readAt(int fd, uint8_t* out, size_t size, uint64_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

bool PlausibleCrmRecord(const uint8_t* record) {
    tCAN_RAW_MSG msg;
    DecodeCrmMsg(record, msg);
    return msg.Id <= 0x1FFFFFFFu && msg.Dlc <= 15 && std::isfinite(msg.TimeMs);
}

bool CCrmFileReader::Open(const std::string& path, std::string& error) {
    Close();
    std::string reason;
    const int fd = vex::OpenInputFile(path, reason);
    if (fd < 0) {
        error = "无法打开文件 " + path + "：" + reason;
        return false;
    }
    return Adopt(fd, path, error);
}

bool CCrmFileReader::Adopt(int fd, const std::string& path, std::string& error) {
    Close();
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = "无法打开文件 " + path + "：" + ErrorText(errno);
        ::close(fd);
        return false;
    }
    const uint64_t records = static_cast<uint64_t>(st.st_size) / kCrmRecordSize;
    if (records > UINT32_MAX) {
        error = "文件 " + path + " 的记录超过4294967295条，不能打开。";
        ::close(fd);
        return false;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_fd = fd;
    m_count = static_cast<uint32_t>(records);
    if (!m_block) m_block = std::make_unique<uint8_t[]>(size_t{kBlockRecords} * kCrmRecordSize);
    if (m_count > 0) {
        // The records have no header to tell a log from other bytes; a file whose first record can be no
        // frame (random bytes, a text, another tool's file) would be shown as frames of absurd identifiers
        // and times, so it is refused as the file it is not.
        uint8_t first[kCrmRecordSize];
        if (readAt(fd, first, kCrmRecordSize, 0) != static_cast<ssize_t>(kCrmRecordSize) ||
            !PlausibleCrmRecord(first)) {
            Close();
            error = "文件 " + path + " 不是CAN报文记录文件：第1条记录不是CAN报文。";
            return false;
        }
        m_firstTime = RecordTime(0);
        m_duration = RecordTime(m_count - 1) - m_firstTime;
    }
    return true;
}

void CCrmFileReader::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_count = 0;
    m_firstTime = m_duration = 0.0;
    m_blockFirst = 0;
    m_blockRecords = 0;
}

const uint8_t* CCrmFileReader::record(uint32_t index) {
    if (m_fd < 0 || index >= m_count) return nullptr;
    if (index >= m_blockFirst && index - m_blockFirst < m_blockRecords)
        return m_block.get() + (index - m_blockFirst) * kCrmRecordSize;
    const uint32_t want = std::min<uint32_t>(kBlockRecords, m_count - index);
    const ssize_t got =
        readAt(m_fd, m_block.get(), size_t{want} * kCrmRecordSize, uint64_t{index} * kCrmRecordSize);
    m_blockFirst = index;
    m_blockRecords = got > 0 ? static_cast<uint32_t>(static_cast<size_t>(got) / kCrmRecordSize) : 0;
    return m_blockRecords > 0 ? m_block.get() : nullptr;
}

bool CCrmFileReader::Decode(uint32_t index, tCAN_RAW_MSG& msg) {
    const uint8_t* bytes = record(index);
    if (bytes == nullptr) return false;
    DecodeCrmMsg(bytes, msg);
    return true;
}

double CCrmFileReader::RecordTime(uint32_t index) {
    if (m_fd < 0 || index >= m_count) return 0.0;
    uint8_t bytes[kCrmRecordSize];
    const uint8_t* rec = nullptr;
    if (index >= m_blockFirst && index - m_blockFirst < m_blockRecords) {
        rec = m_block.get() + (index - m_blockFirst) * kCrmRecordSize;
    } else {
        // A probe of the time search reads only its own record and leaves the block for sequential reads.
        if (readAt(m_fd, bytes, kCrmRecordSize, uint64_t{index} * kCrmRecordSize) !=
            static_cast<ssize_t>(kCrmRecordSize))
            return 0.0;
        rec = bytes;
    }
    tCAN_RAW_MSG msg;
    DecodeCrmMsg(rec, msg);
    return msg.TimeMs;
}

bool CCrmFileReader::FindByTime(double instant, uint32_t& index) {
    if (m_fd < 0 || m_count == 0) return false;
    uint32_t low = 0, high = m_count - 1;
    const double t0 = RecordTime(0);
    const double tN = RecordTime(high);
    if (instant <= t0) {
        index = 0;
        return true;
    }
    if (instant >= tN || high <= 1) {
        index = high;
        return true;
    }
    // At most 32 halvings; comparisons with a NaN time move `low` up, so the loop ends on any file.
    while (high - low > 1) {
        const uint32_t mid = low + (high - low) / 2;
        const double tm = RecordTime(mid);
        if (instant < tm) {
            high = mid;
        } else if (instant == tm) {
            index = mid;
            return true;
        } else {
            low = mid;
        }
    }
    index = high;
    return true;
}

bool CCrmFileReader::ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                                 uint32_t& count) {
    if (buffer == nullptr || m_fd < 0 || start >= m_count) return false;
    count = 0;
    const uint64_t end = uint64_t{start} + number;
    for (uint64_t i = start; i < end; ++i) {
        if (count == capacity || !Decode(static_cast<uint32_t>(i), buffer[count])) return false;
        ++count;
    }
    return true;
}

bool CCrmFileReader::ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                                uint32_t& count) {
    if (buffer == nullptr || m_fd < 0) return false;
    uint32_t a = 0, b = 0;
    if (!FindByTime(m_firstTime + offsetMs, a) || !FindByTime(m_firstTime + offsetMs + spanMs, b))
        return false;
    count = 0;
    // On a file out of time order the end may come before the start: nothing lies between them.
    for (uint64_t i = a; i <= b; ++i) {
        if (count == capacity || !Decode(static_cast<uint32_t>(i), buffer[count])) return false;
        ++count;
    }
    return true;
}
