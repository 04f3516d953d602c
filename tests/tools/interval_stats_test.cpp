// SPDX-License-Identifier: GPL-2.0-or-later
// Summary figures and histograms of frame intervals.
#include <gtest/gtest.h>

#include <vector>

#include "tools/asid_monitor/interval_stats.h"

namespace hardsid::monitor {
namespace {

// Median of an even count is the mean of the middle two; p99 is the nearest rank.
TEST(IntervalStats, MedianAndNearestRankPercentile) {
    struct Case {
        std::vector<double> values;
        double mean, median, p99, max;
    };
    std::vector<double> hundred, hundredAndOne;
    for (int i = 1; i <= 100; ++i) {
        hundred.push_back(i);
    }
    hundredAndOne = hundred;
    hundredAndOne.push_back(1000);
    const Case cases[] = {
        {{20}, 20, 20, 20, 20},
        {{21, 19, 20, 24}, 21, 20.5, 24, 24},
        {hundred, 50.5, 50.5, 99, 100},
        {hundredAndOne, (5050 + 1000) / 101.0, 51, 100, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values.size());
        const IntervalStats s = SummariseIntervals(c.values);
        EXPECT_EQ(s.count, c.values.size());
        EXPECT_DOUBLE_EQ(s.mean, c.mean);
        EXPECT_DOUBLE_EQ(s.median, c.median);
        EXPECT_DOUBLE_EQ(s.p99, c.p99);
        EXPECT_DOUBLE_EQ(s.max, c.max);
    }
    EXPECT_EQ(SummariseIntervals({}).count, 0u);
}

// Every value lands in the bin that holds it, empty bins in between included.
TEST(IntervalStats, HistogramCoversTheRangeWithEmptyBins) {
    const std::vector<double> values = {19.0, 19.25, 19.5, 21.0, 19.0};
    const std::vector<HistogramBin> bins = MakeHistogram(values, 0.5);
    ASSERT_EQ(bins.size(), 5u);
    const size_t counts[] = {3, 1, 0, 0, 1};
    for (size_t i = 0; i < bins.size(); ++i) {
        EXPECT_DOUBLE_EQ(bins[i].low, 19.0 + 0.5 * static_cast<double>(i));
        EXPECT_EQ(bins[i].count, counts[i]);
    }
    EXPECT_TRUE(MakeHistogram(values, 0).empty());
}

} // namespace
} // namespace hardsid::monitor
