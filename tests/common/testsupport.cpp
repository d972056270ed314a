#include "tests/common/testsupport.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vextest {

std::filesystem::path fixture(const std::string& name) { return std::filesystem::path(VEX_FIXTURES_DIR) / name; }

std::filesystem::path testdata(const std::string& sub) {
    const char* env = std::getenv("VEX_TESTDATA");
    std::filesystem::path base = env && *env ? std::filesystem::path(env) : std::filesystem::path(VEX_TESTDATA_DIR);
    std::filesystem::path p = base / sub;
    std::error_code ec;
    return std::filesystem::exists(p, ec) ? p : std::filesystem::path();
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vextest-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

}  // namespace vextest
