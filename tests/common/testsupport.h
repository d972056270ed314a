#pragma once
// Helpers shared by the test suites: fixture and real-world data paths, private temporary folders,
// whole-file reads and writes.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vextest {

// tests/fixtures/<name>
std::filesystem::path fixture(const std::string& name);

// The real-world data folder (../shared/testdata/<sub>), or an empty path when it is absent.
// Override with the environment variable VEX_TESTDATA.
std::filesystem::path testdata(const std::string& sub);

std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& bytes);

// A fresh private folder, removed with everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

}  // namespace vextest

// Skips the current test with a message when the real-world data folder is absent.
#define VEX_REQUIRE_TESTDATA(var, sub)                                                   \
    const std::filesystem::path var = ::vextest::testdata(sub);                          \
    if (var.empty()) GTEST_SKIP() << "real-world test data not present: " << (sub)
