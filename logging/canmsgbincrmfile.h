#pragma once
// CCanMsgBinCrmFile: the ".crm" format as a CCanMsgFile. Reads through CCrmFileReader (read-only; any
// size whose record count fits 32 bits; an empty file has 0 records). Writes through the atomic writer:
// the target appears, complete, at CloseWrite, or stays as it was when a write failed. One object may read
// one file and write another (or the same) at the same time.
#include <memory>
#include <string>

#include "logging/canmsgfile.h"
#include "logging/crmreader.h"
#include "platform/util/filewrite.h"

class CCanMsgBinCrmFile final : public CCanMsgFile {
public:
    // Records encoded before they go to the file at once.
    static constexpr uint32_t kWriteBufferRecords = 2621;

    CCanMsgBinCrmFile();
    ~CCanMsgBinCrmFile() override;
    CCanMsgBinCrmFile(const CCanMsgBinCrmFile&) = delete;
    CCanMsgBinCrmFile& operator=(const CCanMsgBinCrmFile&) = delete;

    bool OpenRead(const std::string& path, uint32_t& count, double& durationMs) override;
    void CloseRead() override;
    bool ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                    uint32_t& count) override;
    bool ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                     uint32_t& count) override;
    // Refused (false) while a file is open for writing: the open one is kept.
    bool OpenWrite(const std::string& path) override;
    void WriteMsg(const tCAN_RAW_MSG& msg) override;
    // True without an open file; otherwise true only when every record reached the target.
    bool CloseWrite() override;

    bool IsWriting() const { return m_Writing; }
    // Records written since OpenWrite.
    uint64_t Written() const { return m_Written; }

private:
    void flush();

    CCrmFileReader m_Reader;
    vex::AtomicFile m_File;
    bool m_Writing = false;
    std::string m_WritePath;
    std::unique_ptr<uint8_t[]> m_Buffer;
    uint32_t m_Buffered = 0;
    uint64_t m_Written = 0;
};
