#include "platform/util/filewrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <system_error>

namespace {

constexpr char kTempPrefix[] = ".vexsave-";
constexpr char kJournalPrefix[] = "vexsave-";
constexpr char kJournalSuffix[] = ".journal";
// A journal larger than this is not one of ours: it is not read.
constexpr off_t kJournalMax = off_t{16} << 20;

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

// Six random letters and digits.
std::string randomName() {
    static std::mutex lock;
    static std::mt19937_64 gen(std::random_device{}() ^ (static_cast<uint64_t>(::getpid()) << 32));
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::lock_guard<std::mutex> guard(lock);
    std::string name(6, 'A');
    for (char& c : name) c = kChars[gen() % (sizeof kChars - 1)];
    return name;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder + (folder.back() == '/' ? "" : "/") + name;
}

// Removes the temporaries a journal lists: only regular files named ".vexsave-...".
void removeListed(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0 || st.st_size > kJournalMax) return;
    std::string text(static_cast<size_t>(st.st_size), '\0');
    const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
    if (n <= 0) return;
    text.resize(static_cast<size_t>(n));
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string path = text.substr(begin, end - begin);
        begin = end + 1;
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos || path.compare(slash + 1, sizeof kTempPrefix - 1, kTempPrefix) != 0)
            continue;
        struct stat entry {};
        if (::lstat(path.c_str(), &entry) == 0 && S_ISREG(entry.st_mode)) ::unlink(path.c_str());
    }
}

// The process's journal of named temporaries: "vexsave-<pid>.journal" in the temporary folder, one path a
// line, locked (flock) for the process's life so that a sweep tells a live owner from one that is gone.
class Journal {
public:
    // Never destroyed: writers may still finish while the process ends.
    static Journal& instance() {
        static Journal* journal = new Journal;
        return *journal;
    }

    bool add(const std::string& temp) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_fd >= 0 && m_owner != ::getpid()) {
            // A forked child keeps a journal of its own: the parent's stays the parent's.
            ::close(m_fd);
            m_fd = -1;
            m_outstanding = 0;
        }
        ++m_outstanding;
        if (!open()) return false;
        const std::string line = temp + "\n";
        return ::write(m_fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    }

    void remove() {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_outstanding > 0 && --m_outstanding == 0 && m_fd >= 0 && ::ftruncate(m_fd, 0) != 0) {
        }
    }

private:
    // A journal that lists nothing goes with its process (not with a forked child that ends).
    void atExit() {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_fd >= 0 && m_outstanding == 0 && ::getpid() == m_owner) ::unlink(m_path.c_str());
    }

    bool open() {
        if (m_fd >= 0) return true;
        const std::string path =
            inFolder(vex::TempFolder(), kJournalPrefix + std::to_string(::getpid()) + kJournalSuffix);
        for (int attempt = 0; attempt < 8; ++attempt) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0) return false;
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                return false;
            }
            // A sweep may have removed the file between the open and the lock: then it is made again.
            struct stat held {
            }, named{};
            if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                held.st_ino == named.st_ino) {
                // A journal left by an ended process of the same number: what it lists goes first.
                removeListed(fd);
                if (::ftruncate(fd, 0) != 0) {
                }
                m_fd = fd;
                m_path = path;
                m_owner = ::getpid();
                std::atexit([] { instance().atExit(); });
                return true;
            }
            ::close(fd);
        }
        return false;
    }

    std::mutex m_lock;
    int m_fd = -1;
    int m_outstanding = 0;
    std::string m_path;
    pid_t m_owner = 0;
};

// Tries `make` (0 or an errno) on fresh ".vexsave-XXXXXX" names in `folder`, each listed in the journal
// before it can exist, until one is not taken: 0 with `name` set, or the first errno other than EEXIST.
template <class Make>
int underFreshName(const std::string& folder, std::string& name, Make make) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = inFolder(folder, kTempPrefix + randomName());
        vex::ListNamedTemporary(name);
        const int error = make(name);
        if (error == 0) return 0;
        vex::UnlistNamedTemporary();
        name.clear();
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

// A named temporary in `folder`, listed in the journal before it exists; -1 with errno on failure.
int openNamedTemp(const std::string& folder, std::string& name) {
    int fd = -1;
    const int error = underFreshName(folder, name, [&fd](const std::string& path) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        return fd >= 0 ? 0 : errno;
    });
    if (error == 0) return fd;
    errno = error;
    return -1;
}

// O_TMPFILE is refused with EOPNOTSUPP by a file system without unnamed files, and with EISDIR by a kernel
// that does not know the flag.
bool noUnnamedFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR;
}

}  // namespace

namespace vex {

std::string TempFolder() {
    const char* env = std::getenv("TMPDIR");
    return env != nullptr && *env != '\0' ? env : "/tmp";
}

int OpenUnnamedTempFile(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || !noUnnamedFiles(errno)) return fd;
    std::string name;
    const int named = openNamedTemp(folder, name);
    if (named < 0) return -1;
    ::unlink(name.c_str());
    UnlistNamedTemporary();
    return named;
}

bool ListNamedTemporary(const std::string& path) {
    return Journal::instance().add(path);
}

void UnlistNamedTemporary() {
    Journal::instance().remove();
}

void SweepStaleTemporaries() {
    const std::string folder = TempFolder();
    const std::string own = kJournalPrefix + std::to_string(::getpid()) + kJournalSuffix;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == own || name.rfind(kJournalPrefix, 0) != 0 || name.size() <= sizeof kJournalSuffix ||
            name.compare(name.size() - (sizeof kJournalSuffix - 1), std::string::npos, kJournalSuffix) != 0)
            continue;
        const std::string path = inFolder(folder, name);
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        // A lock that is free means its owner has ended; another user's journals are theirs to sweep.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            removeListed(fd);
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
    ::closedir(dir);
}

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
    m_folder = folderOf(m_target);
    m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0 && noUnnamedFiles(errno)) m_fd = openNamedTemp(m_folder, m_temp);
    if (m_fd < 0) return m_error = errno;
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

int AtomicFile::linkTo(const std::string& name) {
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", m_fd);
    // Linking through /proc needs no privilege; AT_EMPTY_PATH (where /proc is absent) needs
    // CAP_DAC_READ_SEARCH.
    int rc = ::linkat(AT_FDCWD, proc, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
    if (rc != 0 && errno == ENOENT) rc = ::linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
    return rc == 0 ? 0 : errno;
}

int AtomicFile::nameTemporary() {
    return underFreshName(m_folder, m_temp, [this](const std::string& path) { return linkTo(path); });
}

int AtomicFile::Commit() {
    if (m_fd < 0 && m_error == 0) m_error = EBADF;
    if (m_error == 0 && ::fsync(m_fd) != 0) m_error = errno;
    // An unnamed temporary becomes a new target by a link, which fails rather than replace anything;
    // replacing a target takes a name of its own first, and then the rename.
    bool linked = false;
    if (m_error == 0 && m_temp.empty()) {
        struct stat st {};
        if (::lstat(m_target.c_str(), &st) != 0 && errno == ENOENT) {
            const int error = linkTo(m_target);
            linked = error == 0;
            if (error != 0 && error != EEXIST) m_error = error;
        }
        if (!linked && m_error == 0) m_error = nameTemporary();
    }
    if (m_fd >= 0 && ::close(m_fd) != 0 && m_error == 0) m_error = errno;
    m_fd = -1;
    if (m_error == 0 && !linked && ::rename(m_temp.c_str(), m_target.c_str()) != 0) m_error = errno;
    if (m_error == 0) {
        if (!m_temp.empty()) UnlistNamedTemporary();
        m_temp.clear();
        // The rename reaches the disk with the folder; a file system that cannot sync a folder has done so.
        const int folder = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            if (::fsync(folder) != 0) {
            }
            ::close(folder);
        }
    }
    const int error = m_error;
    Discard();
    m_error = error;
    return error;
}

void AtomicFile::Discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        UnlistNamedTemporary();
    }
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
