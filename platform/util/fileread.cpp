#include "platform/util/fileread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/util/filewrite.h"

namespace vex {

int OpenInputFile(const std::string& path, std::string& reason, bool regularOnly) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = ErrorText(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        reason = ErrorText(errno);
        ::close(fd);
        return -1;
    }
    if (S_ISREG(st.st_mode)) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return fd;
    }
    if (regularOnly || S_ISDIR(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) && !regularOnly ? ErrorText(EISDIR) : kNotRegularFile;
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string ReadInputFile(const std::string& path, size_t maxBytes, std::string& out) {
    std::string reason;
    const int fd = OpenInputFile(path, reason);
    if (fd < 0) return reason;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return ErrorText(errno);
    const std::string tooLarge = "File larger than " + std::to_string(maxBytes) + " bytes";
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) return tooLarge;
    // The size is a hint only: the file may grow or shrink while it is read, so the bound is checked on
    // what is actually read.
    std::string bytes;
    bytes.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ErrorText(errno);
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > maxBytes) return tooLarge;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    out = std::move(bytes);
    return {};
}

}  // namespace vex
