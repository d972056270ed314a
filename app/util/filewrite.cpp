#include "app/util/filewrite.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
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

int writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

int WriteFileReplacing(const std::string& path, std::string_view bytes) {
    if (path.empty()) return ENOENT;
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;
    }
    const size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    std::string temp = folder + (folder.back() == '/' ? "" : "/") + ".vexsave-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return errno;

    mode_t mode = 0666 & ~currentUmask();
    if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
    // Permission bits are best effort: some file systems (FAT) refuse them and still hold the file.
    if (::fchmod(fd, mode) != 0) {
    }
    int error = writeAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temp.c_str());
    return error;
}
