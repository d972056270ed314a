#pragma once
#include <algorithm>
#include <vector>

namespace svcbench {

// The p-th percentile (0 to 100) of the values, nearest rank.
inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(p / 100.0 * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(rank, values.size() - 1)];
}

}  // namespace svcbench
