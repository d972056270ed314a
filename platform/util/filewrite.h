#pragma once
// Writing files without leaving half-written ones or stray temporaries behind: the one way this program and
// its libraries write a file that may already exist (configuration, databases, DBC export, lists, logs and
// measurement files), and the private temporary files of its readers and of Lorimar.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vex {

// A file written as a temporary in the target's folder and renamed over the target only when every byte was
// written and synced. The temporary has no name until Commit (an O_TMPFILE file, linked there), so a process
// that is killed leaves nothing; where the file system has no unnamed files it is a named ".vexsave-XXXXXX"
// listed in the process's journal (see SweepStaleTemporaries). Until Commit succeeds the target is untouched;
// a writer dropped or failing on the way removes its temporary. A target that is a symbolic link is written
// through the link. A new file gets 0666 less the process umask; a replaced file keeps its permission bits. A
// target without any write permission bit (a read-only file) is refused with EACCES rather than replaced.
// Writing past the process's file-size limit fails with EFBIG instead of ending the process (SIGXFSZ is
// ignored once a writer opens). Errors are errno values; the first one sticks.
// A large file goes to the disk while it is written (writeback is started every kWritebackBytes), so the
// sync at Commit waits for the last part only; the folder is synced after the rename.
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
    // Syncs, names and renames over the target; 0 on success. After a failure the target is as it was.
    int Commit();
    // Drops the temporary file; the target stays as it was.
    void Discard();

private:
    // Links the unnamed temporary to `name`; 0 or the errno.
    int linkTo(const std::string& name);
    // Gives the unnamed temporary a name of its own (listed in the journal) for the rename.
    int nameTemporary();

    int m_fd = -1;
    int m_error = 0;
    uint64_t m_written = 0;      // bytes written through Write
    uint64_t m_writtenBack = 0;  // of which writeback has been started
    std::string m_temp;          // the temporary's name while it has one (then it is in the journal)
    std::string m_target, m_folder;
};

// The folder for temporary files: $TMPDIR when it is set and not empty, else "/tmp".
std::string TempFolder();

// A private read-write file in `folder` that has no name, so that it goes with its last descriptor however
// the process ends: O_TMPFILE where the file system has it, else a file made exclusively and unlinked at
// once. The descriptor (close-on-exec), or -1 with errno set.
int OpenUnnamedTempFile(const std::string& folder);

// Temporaries that must have a name (in a folder whose file system has no unnamed files, and for the instant
// between naming a finished file and renaming it over its target) are listed, while they exist, in a journal
// of the process in the temporary folder, which the process holds locked for its life. Removes what the
// journals of processes that have ended list (only files named ".vexsave-..."), and those journals; the
// program calls it once at start.
void SweepStaleTemporaries();
// Lists a temporary's path in the process's journal before it is created; false when no journal can be kept
// (the temporary may still be made, it is only not swept after a crash).
bool ListNamedTemporary(const std::string& path);
// One listed temporary is gone (renamed or removed); the journal empties when none is left.
void UnlistNamedTemporary();

}  // namespace vex

// The whole file at once through an AtomicFile: 0 on success, otherwise the errno of the first step that
// failed, the target left as it was.
int WriteFileReplacing(const std::string& path, std::string_view bytes);

// The system's text for an errno value ("No such file or directory").
std::string ErrorText(int error);
