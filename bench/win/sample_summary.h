// SPDX-License-Identifier: GPL-2.0-or-later
// Order statistics of a set of timings.
#pragma once

#include <cstddef>
#include <vector>

namespace hardsid::bench {

struct SampleSummary {
    size_t count = 0;
    double minimum = 0;
    double median = 0;
    double p99 = 0; // nearest rank
    double maximum = 0;
    double mean = 0;
};

/// Summary of the samples; all zero for none.
SampleSummary Summarise(std::vector<double> samples);

} // namespace hardsid::bench
