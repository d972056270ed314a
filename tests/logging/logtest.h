#pragma once
// Helpers of the log-file suites: frames with a sequence number and a time, and ".crm" files made of them.
#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <vector>

#include "logging/canmsgfile.h"
#include "tests/common/testsupport.h"

namespace logtest {

// Frame `seq` on channel `chan` at `timeMs`: identifier 0x100 + seq % 7, data bytes 0-3 carry seq.
inline tCAN_RAW_MSG Frame(uint32_t seq, double timeMs, uint8_t chan = 0) {
    tCAN_RAW_MSG m;
    m.Id = 0x100 + seq % 7;
    m.Chan = chan;
    m.Dlc = 8;
    for (int i = 0; i < 8; ++i) m.Data[i] = static_cast<uint8_t>(i < 4 ? seq >> (8 * i) : 0xA0 + i);
    m.TimeMs = timeMs;
    return m;
}

inline bool SameFrame(const tCAN_RAW_MSG& a, const tCAN_RAW_MSG& b) {
    return a.Id == b.Id && a.Ext == b.Ext && a.Remote == b.Remote && a.Dir == b.Dir && a.Chan == b.Chan &&
           a.Dlc == b.Dlc && a.TimeMs == b.TimeMs && std::equal(a.Data, a.Data + 8, b.Data);
}

inline std::string CrmBytes(const std::vector<tCAN_RAW_MSG>& frames) {
    std::string bytes(frames.size() * kCrmRecordSize, '\0');
    for (size_t i = 0; i < frames.size(); ++i)
        EncodeCrmMsg(frames[i], reinterpret_cast<uint8_t*>(bytes.data()) + i * kCrmRecordSize);
    return bytes;
}

// Frames 0 ... n-1 at the given times.
inline std::vector<tCAN_RAW_MSG> FramesAt(const std::vector<double>& times) {
    std::vector<tCAN_RAW_MSG> frames;
    for (size_t i = 0; i < times.size(); ++i) frames.push_back(Frame(static_cast<uint32_t>(i), times[i]));
    return frames;
}

// Lowers the process's file-size limit for its lifetime (writes past it fail with EFBIG).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lower = m_old;
        lower.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
};

}  // namespace logtest
