#pragma once
// Replacing a file without ever leaving it half written: the one way this program and its libraries write a
// file that may already exist (configuration, databases, DBC export, lists, logs and measurement files).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vex {

// A file written under a temporary name (mkstemp) in the target's folder and renamed over the target only
// when every byte was written and synced. Until Commit succeeds the target is untouched; a writer dropped
// or failing on the way removes its temporary file. A target that is a symbolic link is written through
// the link. A new file gets 0666 less the process umask; a replaced file keeps its permission bits. A
// target without any write permission bit (a read-only file) is refused with EACCES rather than replaced.
// Writing past the process's file-size limit fails with EFBIG instead of ending the process (SIGXFSZ is
// ignored once a writer opens). Errors are errno values; the first one sticks.
// A large file goes to the disk while it is written (writeback is started every kWritebackBytes), so the
// sync at Commit waits for the last part only.
class AtomicFile {
public:
    static constexpr size_t kWritebackBytes = size_t{8} << 20;

    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    int Open(const std::string& path);
    int Write(const void* data, size_t size);
    int Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
    // The open descriptor, for callers that copy straight from another file; report a failure through Fail.
    int Fd() const { return m_fd; }
    void Fail(int error);
    int Error() const { return m_error; }
    // Syncs, closes and renames over the target; 0 on success. After a failure the target is as it was.
    int Commit();
    // Drops the temporary file; the target stays as it was.
    void Discard();

private:
    int m_fd = -1;
    int m_error = 0;
    uint64_t m_written = 0;      // bytes written through Write
    uint64_t m_writtenBack = 0;  // of which writeback has been started
    std::string m_temp, m_target;
};

}  // namespace vex

// The whole file at once through an AtomicFile: 0 on success, otherwise the errno of the first step that
// failed, the target left as it was.
int WriteFileReplacing(const std::string& path, std::string_view bytes);

// The system's text for an errno value ("No such file or directory").
std::string ErrorText(int error);
