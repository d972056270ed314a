#include "platform/qt/namedmutex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vex {

namespace {

bool isDir(const char* path) {
    struct stat st {};
    return path != nullptr && *path != '\0' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The whole file, from offset 0 to its end and beyond.
struct flock wholeFile(short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    return fl;
}

}  // namespace

std::string LockFileDir() {
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* dir = std::getenv(var);
        if (isDir(dir)) return dir;
    }
    return "/tmp";
}

std::string LockFilePath(const std::string& name, const std::string& dir) {
    return dir + "/" + name + ".lock";
}

NamedMutex::NamedMutex(const std::string& name, const std::string& dir) {
    const std::string path = LockFilePath(name, dir);
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) return;
    struct flock fl = wholeFile(F_WRLCK);
    if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0) {
        m_state = State::Held;
        return;
    }
    m_state = (errno == EAGAIN || errno == EACCES) ? State::AlreadyExists : State::Failed;
    ::close(m_fd);
    m_fd = -1;
}

NamedMutex::~NamedMutex() {
    // Closing the last descriptor of the description releases the lock; the file stays for the next one.
    if (m_fd >= 0) ::close(m_fd);
}

LockFileProbe::LockFileProbe(const std::string& name, const std::string& dir)
    : m_path(LockFilePath(name, dir)) {}

bool LockFileProbe::IsPresent() {
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES;
    // Asks who would block a read lock, without taking one: the probe never holds the sibling's file.
    struct flock fl = wholeFile(F_RDLCK);
    const bool present = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(fd);
    return present;
}

}  // namespace vex
