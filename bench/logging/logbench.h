#pragma once
// What the log benchmarks share: nearest-rank percentiles of wall times, and one scratch folder on disk per
// process (not a memory file system, so cold reads are real), removed at exit.
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace logbench {

// The p-th fraction (0..1) of the values by nearest rank; 0 without values.
inline double Percentile(const std::vector<double>& v, double p) {
    if (v.empty()) return 0.0;
    std::vector<double> s(v);
    std::sort(s.begin(), s.end());
    const size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(s.size()))) - 1;
    return s[std::min(i, s.size() - 1)];
}
inline double P50(const std::vector<double>& v) {
    return Percentile(v, 0.50);
}
inline double P95(const std::vector<double>& v) {
    return Percentile(v, 0.95);
}

// The process's scratch folder under the temporary folder, named after `prefix`; made on first use.
inline const std::string& Folder(const char* prefix) {
    static const std::string dir = [prefix] {
        std::string d = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (!::mkdtemp(d.data())) std::abort();
        // By the time the exit handler runs the folder is made, so its call only reads it.
        std::atexit([] { std::filesystem::remove_all(Folder(nullptr)); });
        return d;
    }();
    return dir;
}

}  // namespace logbench
