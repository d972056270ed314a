#pragma once
// CCanMsgDataLog: the continuous logger. While a log is open, every frame the data hub hands it is
// appended to a new ".crm" file named "<prefix><YYYYMMDDhhmmss><XX>.crm" in the log folder, XX being the
// first free index 00 ... FE. Files are created exclusively: an existing file is never opened or
// overwritten.
//
// Records go to the file in whole records each time the buffer fills, at Stop, and at the drain tick that
// finds the oldest buffered record held for kFlushAfterMs: at full bus rate the writes stay whole blocks, and
// a process that is killed loses at most about a second of a quiet bus. Every write is checked:
// when one fails (a full disk, the file-size limit), the logger cuts the file back to its last whole
// record, closes it, stops, and says why in the info ring; the file keeps everything written before. A file
// that took no record at all is removed.
//
// GUI thread only (menu commands, going online and offline, the hub's drain).
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/canmsglogsink.h"
#include "app/infomsgring.h"
#include "logging/canmsgfile.h"
#include "platform/clock.h"

// Whether the prefix can begin a file name in the log folder: no path separator ('/' or '\') and no
// control character.
bool IsValidLogPrefix(std::string_view prefix);

class CCanMsgDataLog final : public ICanMsgLogSink {
public:
    // Source of the logger's operator messages.
    static constexpr const char* kInfoSource = "记录";
    // Records per write: 4,075 bytes.
    static constexpr uint32_t kBufferRecords = 163;
    // Buffered records are written out once the oldest has waited this long.
    static constexpr double kFlushAfterMs = 1000.0;

    using LocalTime = std::function<std::tm()>;

    // Logs into `folder` (created, one level, when missing). `now` gives the local time that names the
    // files; empty: the system clock. `clock` measures how long records have been buffered.
    CCanMsgDataLog(CInfoMsgRing& info, std::string folder, LocalTime now = {},
                   const vex::Clock& clock = vex::SystemClock());
    // Stops an open log.
    ~CCanMsgDataLog() override;
    CCanMsgDataLog(const CCanMsgDataLog&) = delete;
    CCanMsgDataLog& operator=(const CCanMsgDataLog&) = delete;

    // False, with the reason in LastError, while a log is open (it goes on), for an invalid prefix, or when
    // the folder or the file cannot be made.
    bool Start(const std::string& prefix) override;
    void WriteMsg(const tCAN_RAW_MSG& msg) override;
    // Writes the buffer once its oldest record has waited kFlushAfterMs.
    void OnDrainTick() override;
    // Writes what is buffered and closes the file; a failure is reported like a failed write.
    void Stop() override;
    bool IsOpen() const override { return m_Fd >= 0; }
    std::string LastError() const override { return m_LastError; }

    // The open file, or the last one after Stop; empty before the first.
    const std::string& FileName() const { return m_FileName; }
    const std::string& Folder() const { return m_Folder; }
    // Whole records in the file so far (buffered records not counted).
    uint64_t RecordsOnDisk() const { return m_BytesOnDisk / kCrmRecordSize; }

    // The first path "<folder>/<prefix><stem><XX>.crm" that names no file or folder, the stem being the
    // local time as YYYYMMDDhhmmss and XX two upper-case hexadecimal digits from 00 to FE; false when all
    // 255 are taken.
    static bool MakeFileName(const std::string& prefix, const std::string& folder, const std::tm& local,
                             std::string& path);

private:
    // Writes the buffer; 0 or the errno of the failed write.
    int flush();
    // Ends the log after a failed write or close and reports it.
    void fail(int error);

    CInfoMsgRing& m_Info;
    std::string m_Folder;
    LocalTime m_Now;
    const vex::Clock& m_Clock;
    int64_t m_OldestTicks = 0;  // when the first buffered record came
    int m_Fd = -1;
    std::string m_FileName;
    std::string m_LastError;
    std::unique_ptr<uint8_t[]> m_Buffer;
    uint32_t m_Buffered = 0;
    uint64_t m_BytesOnDisk = 0;
};
