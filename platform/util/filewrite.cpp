#include "platform/util/filewrite.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <system_error>

namespace {

// The process umask without changing it (umask() itself would, racing other threads that create files).
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

// A write past RLIMIT_FSIZE raises SIGXFSZ, whose default ends the process; ignored, the write fails with
// EFBIG and is reported like any other failed write.
void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

}  // namespace

namespace vex {

AtomicFile::~AtomicFile() {
    Discard();
}

int AtomicFile::Open(const std::string& path) {
    Discard();
    m_error = 0;
    m_written = m_writtenBack = 0;
    ignoreFileSizeSignal();
    if (path.empty()) return m_error = ENOENT;
    m_target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) m_target = resolved;
    }
    mode_t mode = 0666 & ~currentUmask();
    if (::stat(m_target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return m_error = EISDIR;
        // access() lets root write anything; a file without a write bit is read-only for this program too.
        if ((st.st_mode & 0222) == 0 || ::access(m_target.c_str(), W_OK) != 0) return m_error = EACCES;
        mode = st.st_mode & 07777;
    }
    const size_t slash = m_target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : m_target.substr(0, slash));
    m_temp = folder + (folder.back() == '/' ? "" : "/") + ".vexsave-XXXXXX";
    m_fd = ::mkstemp(m_temp.data());
    if (m_fd < 0) {
        m_error = errno;
        m_temp.clear();
        return m_error;
    }
    // Permission bits are best effort: some file systems (FAT) refuse them and still hold the file.
    if (::fchmod(m_fd, mode) != 0) {
    }
    return 0;
}

int AtomicFile::Write(const void* data, size_t size) {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (m_error == 0 && done < size) {
        const ssize_t n = ::write(m_fd, bytes + done, size - done);
        if (n < 0) {
            if (errno != EINTR) m_error = errno;
            continue;
        }
        if (n == 0) m_error = EIO;
        done += static_cast<size_t>(n);
    }
    m_written += done;
    if (m_error == 0 && m_written - m_writtenBack >= kWritebackBytes) {
        // Starts the disk writing what is complete, without waiting for it, so the sync at Commit waits for
        // the tail only. The data's safety still rests on that sync: a refusal here changes nothing.
        ::sync_file_range(m_fd, static_cast<off_t>(m_writtenBack),
                          static_cast<off_t>(m_written - m_writtenBack), SYNC_FILE_RANGE_WRITE);
        m_writtenBack = m_written;
    }
    return m_error;
}

void AtomicFile::Fail(int error) {
    if (m_error == 0) m_error = error != 0 ? error : EIO;
}

int AtomicFile::Commit() {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    if (m_error == 0 && ::fsync(m_fd) != 0) m_error = errno;
    if (m_fd >= 0 && ::close(m_fd) != 0 && m_error == 0) m_error = errno;
    m_fd = -1;
    if (m_error == 0 && ::rename(m_temp.c_str(), m_target.c_str()) != 0) m_error = errno;
    if (m_error == 0) m_temp.clear();
    const int error = m_error;
    Discard();
    m_error = error;
    return error;
}

void AtomicFile::Discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    m_temp.clear();
}

}  // namespace vex

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

int WriteFileReplacing(const std::string& path, std::string_view bytes) {
    vex::AtomicFile file;
    if (const int error = file.Open(path); error != 0) return error;
    file.Write(bytes);
    return file.Commit();
}
