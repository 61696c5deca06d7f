// The middle of a benchmark's repeated measurements.
#pragma once

#include <algorithm>
#include <vector>

namespace bench {

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace bench
