#include "logging/canmsgbincrmfile.h"

CCanMsgBinCrmFile::CCanMsgBinCrmFile() = default;

// An object dropped while writing leaves the target as it was (the atomic writer removes its temporary).
CCanMsgBinCrmFile::~CCanMsgBinCrmFile() = default;

bool CCanMsgBinCrmFile::OpenRead(const std::string& path, uint32_t& count, double& durationMs) {
    if (!m_Reader.Open(path, m_LastError)) return false;
    count = m_Reader.Count();
    durationMs = m_Reader.Duration();
    return true;
}

void CCanMsgBinCrmFile::CloseRead() {
    m_Reader.Close();
}

bool CCanMsgBinCrmFile::ReadByTime(double offsetMs, double spanMs, tCAN_RAW_MSG* buffer, uint32_t capacity,
                                   uint32_t& count) {
    return m_Reader.ReadByTime(offsetMs, spanMs, buffer, capacity, count);
}

bool CCanMsgBinCrmFile::ReadByIndex(uint32_t start, uint32_t number, tCAN_RAW_MSG* buffer, uint32_t capacity,
                                    uint32_t& count) {
    return m_Reader.ReadByIndex(start, number, buffer, capacity, count);
}

bool CCanMsgBinCrmFile::OpenWrite(const std::string& path) {
    if (m_Writing) {
        m_LastError = "文件 " + m_WritePath + " 仍在写入，不能同时写入 " + path + "。";
        return false;
    }
    if (const int error = m_File.Open(path); error != 0) {
        m_LastError = "无法创建文件 " + path + "：" + ErrorText(error);
        return false;
    }
    if (!m_Buffer) m_Buffer = std::make_unique<uint8_t[]>(size_t{kWriteBufferRecords} * kCrmRecordSize);
    m_Writing = true;
    m_WritePath = path;
    m_Buffered = 0;
    m_Written = 0;
    return true;
}

void CCanMsgBinCrmFile::WriteMsg(const tCAN_RAW_MSG& msg) {
    if (!m_Writing) return;
    EncodeCrmMsg(msg, m_Buffer.get() + size_t{m_Buffered} * kCrmRecordSize);
    ++m_Written;
    if (++m_Buffered == kWriteBufferRecords) flush();
}

void CCanMsgBinCrmFile::flush() {
    // After a failure the writer drops what comes: the first error sticks and CloseWrite reports it.
    if (m_Buffered > 0 && m_File.Error() == 0)
        m_File.Write(m_Buffer.get(), size_t{m_Buffered} * kCrmRecordSize);
    m_Buffered = 0;
}

bool CCanMsgBinCrmFile::CloseWrite() {
    if (!m_Writing) return true;
    flush();
    m_Writing = false;
    if (const int error = m_File.Commit(); error != 0) {
        m_LastError = "无法写入文件 " + m_WritePath + "：" + ErrorText(error);
        return false;
    }
    return true;
}
