#pragma once
// Builders shared by the measurement-file tests.
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

// The number of the opened file's channel with that short name; 0xFFFF when none has it.
inline uint16_t numberOf(const CLorimar& lib, const std::string& name) {
    for (const tMDF_DG_INFO& dg : lib.GetMdfFileInfo().dataGroups)
        for (const tMDF_CG_INFO& cg : dg.channelGroups)
            for (const tMDF_CN_INFO& cn : cg.channels)
                if (cn.shortName == name) return static_cast<uint16_t>(cn.channelNumber);
    return 0xFFFF;
}

inline bool isEmptyDir(const std::filesystem::path& dir) {
    return std::filesystem::is_empty(dir);
}

}  // namespace mdftest
