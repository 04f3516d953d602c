// SPDX-License-Identifier: GPL-2.0-or-later
// Summary figures of a set of intervals, and their histogram.
#pragma once

#include <span>
#include <vector>

namespace hardsid::monitor {

struct IntervalStats {
    size_t count = 0;
    double min = 0;
    double mean = 0;
    double median = 0;
    double p99 = 0; ///< nearest rank: the smallest value that at least 99 % do not exceed
    double max = 0;
};

/// All zero for no values.
IntervalStats SummariseIntervals(std::span<const double> values);

struct HistogramBin {
    double low; ///< the bin holds low <= value < low + width
    size_t count;
};

/// Bins of the given width from the bin that holds the smallest value to the one that holds
/// the largest; empty for no values or a width that is not positive.
std::vector<HistogramBin> MakeHistogram(std::span<const double> values, double width);

} // namespace hardsid::monitor
