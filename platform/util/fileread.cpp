#include "platform/util/fileread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "platform/util/filewrite.h"

namespace vex {

std::string ReadInputFile(const std::string& path, size_t maxBytes, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ErrorText(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return ErrorText(errno);
    if (!S_ISREG(st.st_mode)) return "Not a regular file";
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
