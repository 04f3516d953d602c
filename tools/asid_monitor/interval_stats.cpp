// SPDX-License-Identifier: GPL-2.0-or-later
#include "interval_stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace hardsid::monitor {

IntervalStats SummariseIntervals(std::span<const double> values) {
    IntervalStats stats;
    if (values.empty()) {
        return stats;
    }
    std::vector<double> sorted(values.begin(), values.end());
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    stats.count = n;
    stats.min = sorted.front();
    stats.mean = std::accumulate(sorted.begin(), sorted.end(), 0.0) / static_cast<double>(n);
    stats.median = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    // Rank ceil(0.99 n), counted from 1; integer arithmetic keeps 100 values exact.
    const size_t rank = (99 * n + 99) / 100;
    stats.p99 = sorted[rank - 1];
    stats.max = sorted.back();
    return stats;
}

std::vector<HistogramBin> MakeHistogram(std::span<const double> values, double width) {
    std::vector<HistogramBin> bins;
    if (values.empty() || !(width > 0)) {
        return bins;
    }
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    const double first = std::floor(*lowest / width);
    const auto binCount = static_cast<size_t>(std::floor(*highest / width) - first) + 1;
    bins.reserve(binCount);
    for (size_t i = 0; i < binCount; ++i) {
        bins.push_back({(first + static_cast<double>(i)) * width, 0});
    }
    for (const double value : values) {
        const auto index = static_cast<size_t>(std::floor(value / width) - first);
        ++bins[std::min(index, binCount - 1)].count;
    }
    return bins;
}

} // namespace hardsid::monitor
