#pragma once
// The log-file interfaces that every log format implements, and the record of ".crm" files.
//
// A ".crm" file is a plain sequence of 25-byte records: no header, no trailer, no padding. Fields are
// little-endian and unaligned:
//   offset 0  u32  identifier (11 or 29 significant bits, no flag bits)
//          4  u8   extended (nonzero: 29-bit identifier)
//          5  u8   remote (nonzero: remote frame)
//          6  u8   direction (nonzero: sent by this program)
//          7  f64  time stamp in milliseconds, IEEE 754
//         15  u8   channel
//         16  u8   data length code, as the frame carried it (may exceed 8)
//         17  u8[8] data bytes 0 to 7, always all eight
// A file holds size / 25 records; a partial record at the end is never read.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "plugins/include/candevice.h"

inline constexpr size_t kCrmRecordSize = 25;

// One ".crm" record as the file holds it.
struct tCAN_CRM_MSG {
    uint8_t Bytes[kCrmRecordSize];
};
static_assert(sizeof(tCAN_CRM_MSG) == kCrmRecordSize);

// Writes the frame's fields as they stand (flag bytes are not normalised) into exactly 25 bytes.
void EncodeCrmMsg(const tCAN_RAW_MSG& msg, uint8_t* out);
// Reads 25 bytes into the frame: the three flags become 0 or 1; identifier, time, channel, length and the
// eight data bytes are copied unchanged. Nothing else of the frame is touched.
void DecodeCrmMsg(const uint8_t* in, tCAN_RAW_MSG& msg);

// A log file of any format, as the conversion and export tools use it. Reading: OpenRead, any number of
// reads, CloseRead. Writing: OpenWrite, any number of WriteMsg, CloseWrite. Every operation of the base
// fails (or does nothing).
//
// Reads fill a caller's buffer of `capacity` frames and never write past it: they fail (false) when the
// buffer is null, no file is open, or not every requested frame could be delivered, `count` telling how
// many were.
class CCanMsgFile {
public:
    virtual ~CCanMsgFile() = default;

    // Opens a file for reading; gives the record count and the duration (last time stamp minus first, ms).
    virtual bool OpenRead(const std::string& path, uint32_t& count, double& durationMs);
    virtual void CloseRead();
    // Every record from the one the time search finds for first time + offset to the one it finds for
    // first time + offset + span, both included.
    virtual bool ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                            uint32_t& count);
    // Records start, start + 1, ... up to `number` of them; false when start is not below the record count
    // or fewer than `number` could be delivered.
    virtual bool ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                             uint32_t& count);
    virtual bool OpenWrite(const std::string& path);
    virtual void WriteMsg(const tCAN_RAW_MSG& msg);
    // Ends writing; false when any write since OpenWrite failed, so the file is not complete.
    virtual bool CloseWrite();
    // What failed last, as a sentence for the user; empty when nothing did.
    virtual const std::string& LastError() const { return m_LastError; }
    // A flag that, once set, makes a long OpenRead (a text log parsed whole, the time scan of an MDF log)
    // give up and return false; null, the default: nothing stops it. The flag outlives the read.
    void SetStopFlag(const std::atomic<bool>* stop) { m_Stop = stop; }

protected:
    bool stopRequested() const { return m_Stop != nullptr && m_Stop->load(std::memory_order_relaxed); }

    std::string m_LastError;
    const std::atomic<bool>* m_Stop = nullptr;
};

// One page of a replay file: the page's start time, the time stamp of its last record, and its first and
// last record indexes (both included).
struct tREPLAY_PAGE_INFO {
    double PageStartTime = 0.0;
    double PageEndTime = 0.0;
    uint32_t FirstIndex = 0;
    uint32_t LastIndex = 0;
};

// A log file read in pages by the replay engine: the reading operations of CCanMsgFile, and two ways to
// divide the file into pages. The base reads nothing and makes no pages.
class CCanMsgReplayLogFile {
public:
    virtual ~CCanMsgReplayLogFile() = default;

    virtual bool OpenRead(const std::string& path, uint32_t& count, double& durationMs);
    virtual void CloseRead();
    virtual bool ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                            uint32_t& count);
    virtual bool ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                             uint32_t& count);
    // Pages of `span` ms from first time + offset. Invalid arguments leave the page count and the pages
    // as they were.
    virtual void ReadPageByTime(double offsetMs, double spanMs, uint32_t& pageCount);
    // Pages of `perPage` records from record `start`. Invalid arguments leave the page count and the
    // pages as they were.
    virtual void ReadPageByIndex(uint32_t start, uint32_t perPage, uint32_t& pageCount);
    // The page numbered `page` (from 0); false when there is no such page.
    virtual bool FindPage(uint32_t page, tREPLAY_PAGE_INFO& info);

    double Duration() const { return m_Duration; }
    uint32_t RecordCount() const { return m_RecordCount; }
    double FirstTime() const { return m_FirstTime; }

protected:
    double m_Duration = 0.0;
    uint32_t m_RecordCount = 0;
    double m_FirstTime = 0.0;
};
