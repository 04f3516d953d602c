// SPDX-License-Identifier: GPL-2.0-or-later
#include "sample_summary.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace hardsid::bench {

SampleSummary Summarise(std::vector<double> samples) {
    SampleSummary summary;
    if (samples.empty()) {
        return summary;
    }
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    summary.count = n;
    summary.minimum = samples.front();
    summary.maximum = samples.back();
    summary.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    const auto rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
    summary.p99 = samples[std::max<size_t>(rank, 1) - 1];
    summary.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(n);
    return summary;
}

} // namespace hardsid::bench
