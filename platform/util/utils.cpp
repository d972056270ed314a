#include "platform/util/utils.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/numparse.h"
#include "vexarium_version.h"

std::string GetProductVersion() {
    std::string version = VEXARIUM_PRODUCT_VERSION;
    return version.empty() ? std::string("*") : version;
}

bool DirExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

std::string DoubleToStr(double value) {
    std::string text = vex::FormatFixed(value, 15);
    // Only a fixed-point text has a point; "nan" and "inf" stay as they are.
    if (text.find('.') == std::string::npos) return text;
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

void CopyStrToBuf(std::string_view text, void* buffer, int32_t n) {
    if (n <= 0 || buffer == nullptr) return;
    const size_t count = std::min(text.size(), static_cast<size_t>(n));
    if (count > 0) std::memcpy(buffer, text.data(), count);
}

void PreciseWaitMs(uint32_t ms, const vex::Clock& clock) {
    if (ms == 0) return;
    ms = std::min<uint32_t>(ms, 10000);
    const int64_t frequency = clock.Frequency();
    const int64_t start = clock.Ticks();
    if (frequency <= 0) return;
    // frequency x ms / 1000 without overflow for any frequency a clock may report.
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    const __int128 wide = static_cast<__int128>(frequency) * ms / 1000;
    const int64_t span = wide > kMax ? kMax : static_cast<int64_t>(wide);
    const int64_t target = start > kMax - span ? kMax : start + span;
    while (clock.Ticks() < target) {
    }
}
