// SPDX-License-Identifier: GPL-2.0-or-later
// The throughput line that goes to the log every 100 frames:
// "<ms per frame> ms/buffer.       Avg. <kB/s> kB/s", each figure 9 characters wide.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hardsid {

inline constexpr size_t kStatValueWidth = 9;

/// Fixed point with 8 decimals and a comma, integer part right-aligned in 3 places, cut
/// (not rounded) to 9 characters. Ends for every double, infinities and NaN included.
std::string FormatStatValue(double value);

/// The statistics message for a window of frames; elapsed in milliseconds.
class TStatisticsLine {
public:
    TStatisticsLine(long double elapsedMs, int32_t frameCount, uint32_t byteTotal) noexcept;
    std::string_view Text() const noexcept { return {text_.data(), length_}; }

private:
    std::array<char, 64> text_{};
    size_t length_ = 0;
};

} // namespace hardsid
