#include "logging/canmsgdatalog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>

#include "logging/canmsgfile.h"
#include "platform/clock.h"
#include "platform/util/filewrite.h"

namespace {

// A write past RLIMIT_FSIZE raises SIGXFSZ, whose default ends the process; ignored, the write fails with
// EFBIG and the log ends like on a full disk.
void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string candidatePath(const std::string& folder, const std::string& prefix, const std::tm& t,
                          unsigned index) {
    char stem[64];
    std::snprintf(stem, sizeof stem, "%04d%02d%02d%02d%02d%02d%02X.crm", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, index);
    return folder + "/" + prefix + stem;
}

}  // namespace

bool IsValidLogPrefix(std::string_view prefix) {
    for (const char c : prefix) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

CCanMsgDataLog::CCanMsgDataLog(CInfoMsgRing& info, std::string folder, LocalTime now, const vex::Clock& clock)
    : m_Info(info),
      m_Folder(std::move(folder)),
      m_Now(now ? std::move(now) : LocalTime(vex::NowLocalTm)),
      m_Clock(clock) {}

CCanMsgDataLog::~CCanMsgDataLog() {
    Stop();
}

bool CCanMsgDataLog::MakeFileName(const std::string& prefix, const std::string& folder, const std::tm& local,
                                  std::string& path) {
    for (unsigned index = 0; index <= 0xFE; ++index) {
        std::string candidate = candidatePath(folder, prefix, local, index);
        if (!pathExists(candidate)) {
            path = std::move(candidate);
            return true;
        }
    }
    return false;
}

bool CCanMsgDataLog::Start(const std::string& prefix) {
    if (IsOpen()) {
        m_LastError = "记录已经开始（" + m_FileName + "）。";
        return false;
    }
    if (!IsValidLogPrefix(prefix)) {
        m_LastError = "记录文件名起始标识“" + prefix + "”不能用于文件名（不能包含“/”、“\\”或控制字符）。";
        return false;
    }
    struct stat st {};
    if (::stat(m_Folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (::mkdir(m_Folder.c_str(), 0777) != 0) {
            m_LastError = "无法创建记录文件夹 " + m_Folder + "：" + ErrorText(errno) + "。";
            return false;
        }
    }
    const std::tm local = m_Now();
    // The name is claimed by an exclusive create, so a file made meanwhile by anyone is never opened:
    // the next index is tried.
    std::string path;
    int fd = -1;
    for (unsigned index = 0; index <= 0xFE && fd < 0; ++index) {
        path = candidatePath(m_Folder, prefix, local, index);
        if (pathExists(path)) continue;
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            m_LastError = "无法创建记录文件 " + path + "：" + ErrorText(errno) + "。";
            return false;
        }
    }
    if (fd < 0) {
        m_LastError = "记录文件名 " + candidatePath(m_Folder, prefix, local, 0) + " 至 FE 已全部被占用。";
        return false;
    }
    ignoreFileSizeSignal();
    if (!m_Buffer) m_Buffer = std::make_unique<uint8_t[]>(size_t{kBufferRecords} * kCrmRecordSize);
    m_Fd = fd;
    m_FileName = path;
    m_LastError.clear();
    m_Buffered = 0;
    m_BytesOnDisk = 0;
    return true;
}

void CCanMsgDataLog::WriteMsg(const tCAN_RAW_MSG& msg) {
    if (m_Fd < 0) return;
    if (m_Buffered == 0) m_OldestTicks = m_Clock.Ticks();
    EncodeCrmMsg(msg, m_Buffer.get() + size_t{m_Buffered} * kCrmRecordSize);
    if (++m_Buffered < kBufferRecords) return;
    if (const int error = flush(); error != 0) fail(error);
}

void CCanMsgDataLog::OnDrainTick() {
    if (m_Fd < 0 || m_Buffered == 0) return;
    const double heldMs = static_cast<double>(m_Clock.Ticks() - m_OldestTicks) * 1000.0 /
                          static_cast<double>(m_Clock.Frequency());
    if (heldMs < kFlushAfterMs) return;
    if (const int error = flush(); error != 0) fail(error);
}

int CCanMsgDataLog::flush() {
    const uint8_t* bytes = m_Buffer.get();
    const size_t size = size_t{m_Buffered} * kCrmRecordSize;
    m_Buffered = 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_Fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
        m_BytesOnDisk += static_cast<uint64_t>(n);
    }
    return 0;
}

void CCanMsgDataLog::fail(int error) {
    // A partly written record is cut off, so the file ends on a whole record.
    const uint64_t whole = m_BytesOnDisk - m_BytesOnDisk % kCrmRecordSize;
    if (whole != m_BytesOnDisk && ::ftruncate(m_Fd, static_cast<off_t>(whole)) == 0) m_BytesOnDisk = whole;
    ::close(m_Fd);
    m_Fd = -1;
    m_Buffered = 0;
    m_LastError = "记录文件 " + m_FileName + " 写入失败：" + ErrorText(error) + "。记录已停止，";
    if (whole > 0) {
        m_LastError += "文件保留了此前的" + std::to_string(whole / kCrmRecordSize) + "帧报文。";
    } else if (::unlink(m_FileName.c_str()) == 0) {
        // A log that could not take its first records holds nothing: no empty file is left behind.
        m_LastError += "没有写入任何报文，文件已删除。";
    } else {
        m_LastError += "没有写入任何报文，空文件未能删除：" + ErrorText(errno) + "。";
    }
    PushInfoMsgNow(m_Info, kInfoSource, 2, m_LastError);
}

void CCanMsgDataLog::Stop() {
    if (m_Fd < 0) return;
    if (const int error = flush(); error != 0) {
        fail(error);
        return;
    }
    const int fd = m_Fd;
    m_Fd = -1;
    if (::close(fd) != 0) {
        m_LastError =
            "记录文件 " + m_FileName + " 关闭失败：" + ErrorText(errno) + "。文件中可能缺少最后写入的报文。";
        PushInfoMsgNow(m_Info, kInfoSource, 2, m_LastError);
    }
}
