#pragma once
// Builders shared by the measurement-file tests.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "mdf/lorimar.h"
#include "tests/common/testsupport.h"

namespace mdftest {

inline tMDF_CN_INFO channel(const std::string& name, uint16_t dataType, uint16_t bits) {
    tMDF_CN_INFO cn;
    cn.shortName = name;
    cn.dataType = dataType;
    cn.bitCount = bits;
    return cn;
}

inline tMDF_FILE file(bool bigEndian = false) {
    tMDF_FILE f;
    f.formatId = "3.00";
    f.programId = "Vexarium";
    f.byteOrder = bigEndian ? 1 : 0;
    f.comment = "test file";
    f.date = "05:06:2024";
    f.time = "07:08:09";
    f.author = "author";
    f.organisation = "organisation";
    f.project = "project";
    f.subject = "subject";
    return f;
}

// One data group with one channel group of the given channels.
inline tMDF_FILE singleGroup(std::vector<tMDF_CN_INFO> channels, bool bigEndian = false) {
    tMDF_FILE f = file(bigEndian);
    f.dataGroups.resize(1);
    f.dataGroups[0].channelGroups.resize(1);
    f.dataGroups[0].channelGroups[0].channels = std::move(channels);
    return f;
}

inline uint32_t save(CLorimar& lib, const std::filesystem::path& p) {
    const std::string s = p.string();
    return lib.SaveMdfFile(s.data(), static_cast<int32_t>(s.size()));
}

inline uint32_t open(CLorimar& lib, const std::filesystem::path& p) {
    const std::string s = p.string();
    return lib.OpenMdfFile(s.data(), static_cast<int32_t>(s.size()));
}

// Points TMPDIR at a folder of the test for the lifetime of the object.
class ScopedTmpDir {
public:
    explicit ScopedTmpDir(const std::filesystem::path& dir) {
        if (const char* old = std::getenv("TMPDIR")) m_old = old, m_had = true;
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    ~ScopedTmpDir() {
        if (m_had)
            ::setenv("TMPDIR", m_old.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

private:
    std::string m_old;
    bool m_had = false;
};

// A temporary folder whose writes fail, for the lifetime of the object: a full 64 KiB tmpfs where the
// process may mount one (writes fail with "No space left on device"), else the folder under a file-size limit
// of 16 KiB for the whole process ("File too large"). TMPDIR points at it meanwhile.
class FailingTmpDir {
public:
    explicit FailingTmpDir(const std::filesystem::path& dir) : m_dir(dir), m_tmp(dir) {
        if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0) {
            m_mounted = true;
            m_reason = "No space left on device";
            // Filled to the last byte, so the first write of a temporary file fails.
            const int fd = ::open((dir / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            const std::string block(4096, 'f');
            while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
            }
            if (fd >= 0) ::close(fd);
            return;
        }
        m_reason = "File too large";
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &m_oldSignal);
        ::getrlimit(RLIMIT_FSIZE, &m_oldLimit);
        rlimit limit = m_oldLimit;
        limit.rlim_cur = 16 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FailingTmpDir() {
        if (m_mounted) {
            ::umount2(m_dir.c_str(), MNT_DETACH);
        } else {
            ::setrlimit(RLIMIT_FSIZE, &m_oldLimit);
            ::sigaction(SIGXFSZ, &m_oldSignal, nullptr);
        }
    }
    FailingTmpDir(const FailingTmpDir&) = delete;
    FailingTmpDir& operator=(const FailingTmpDir&) = delete;
    // The system's text for the writes that fail there.
    const std::string& reason() const { return m_reason; }

private:
    std::filesystem::path m_dir;
    ScopedTmpDir m_tmp;
    bool m_mounted = false;
    std::string m_reason;
    rlimit m_oldLimit{};
    struct sigaction m_oldSignal {};
};

// The number of the opened file's channel with that short name; 0xFFFF when none has it.
inline uint16_t numberOf(const CLorimar& lib, const std::string& name) {
    for (const tMDF_DG_INFO& dg : lib.GetMdfFileInfo().dataGroups)
        for (const tMDF_CG_INFO& cg : dg.channelGroups)
            for (const tMDF_CN_INFO& cn : cg.channels)
                if (cn.shortName == name) return static_cast<uint16_t>(cn.channelNumber);
    return 0xFFFF;
}

// Overwrites the record count of the first channel group of the first data group of a little-endian file
// (offset 22 of its block), as a damaged file holds it.
inline void damageRecordCount(const std::filesystem::path& p, uint32_t count) {
    std::string b = vextest::readFile(p);
    auto get32 = [&b](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
        return v;
    };
    const size_t cg = get32(get32(68) + 8);
    for (int i = 0; i < 4; ++i) b[cg + 22 + static_cast<size_t>(i)] = static_cast<char>(count >> (8 * i));
    vextest::writeFile(p, b);
}

inline bool isEmptyDir(const std::filesystem::path& dir) {
    return std::filesystem::is_empty(dir);
}

}  // namespace mdftest
