#pragma once
// Named mutexes between processes of the same user, kept as locks on files named after the mutex in the
// lock folder ($XDG_RUNTIME_DIR, else the temp folder). A mutex exists while some process holds the lock
// on its file: a file left behind by a process that ended is no mutex. Locks are open-file-description
// locks, so two holders in one process exclude each other as two processes do.
#include <string>

namespace vex {

// $XDG_RUNTIME_DIR when it names a folder, else $TMPDIR when it does, else "/tmp".
std::string LockFileDir();
// "<dir>/<name>.lock".
std::string LockFilePath(const std::string& name, const std::string& dir);

// Creates the mutex `name` and holds it until destruction.
class NamedMutex {
public:
    enum class State {
        Held,           // created: this object holds it
        AlreadyExists,  // another holder has it
        Failed,         // the lock file could not be opened or locked
    };

    explicit NamedMutex(const std::string& name, const std::string& dir = LockFileDir());
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    State state() const { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Failed;
};

// Tells whether a named mutex exists; keeps nothing open between calls.
class SiblingProbe {
public:
    virtual ~SiblingProbe() = default;
    virtual bool IsPresent() = 0;
};

// The lock-file probe: present while another holder has the lock, or when the file exists but may not be
// read (it is there, only not accessible); absent when the file is missing, not locked, or on any other
// failure.
class LockFileProbe final : public SiblingProbe {
public:
    explicit LockFileProbe(const std::string& name, const std::string& dir = LockFileDir());
    bool IsPresent() override;

private:
    std::string m_path;
};

// A probe for tests: answers `present` and counts the calls.
class FakeSiblingProbe final : public SiblingProbe {
public:
    bool IsPresent() override {
        ++probes;
        return present;
    }
    bool present = false;
    int probes = 0;
};

}  // namespace vex
