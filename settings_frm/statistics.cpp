// SPDX-License-Identifier: GPL-2.0-or-later
#include "statistics.h"

#include <charconv>
#include <cstring>

namespace hardsid {

namespace {
constexpr int kStatDecimals = 8;
constexpr size_t kCommaColumn = 4; // the comma stands at position 4 (from 1) or later
// Widest fixed-point double: 309 integer digits, sign, point and 8 decimals.
constexpr size_t kFixedBufferSize = 400;
} // namespace

std::string FormatStatValue(double value) {
    std::array<char, kFixedBufferSize> fixed{};
    // to_chars never follows the locale, so the separator is always the point we replace.
    const auto [end, error] =
        std::to_chars(fixed.data(), fixed.data() + fixed.size(), value, std::chars_format::fixed, kStatDecimals);
    std::string_view text = error == std::errc{} ? std::string_view(fixed.data(), end - fixed.data()) : "?";

    // inf and nan have no separator: they count as all integer part.
    const size_t point = text.find('.');
    const size_t commaPosition = (point == std::string_view::npos ? text.size() : point) + 1;
    const size_t padding = commaPosition < kCommaColumn ? kCommaColumn - commaPosition : 0;

    std::string result(padding, ' ');
    result.append(text.substr(0, kStatValueWidth - (padding < kStatValueWidth ? padding : kStatValueWidth)));
    for (char& c : result) {
        if (c == '.') {
            c = ',';
        }
    }
    return result;
}

TStatisticsLine::TStatisticsLine(long double elapsedMs, int32_t frameCount, uint32_t byteTotal) noexcept {
    const long double perFrame = elapsedMs / frameCount;
    const long double kiloBytesPerSecond = (byteTotal / 1024.0L) / (elapsedMs / 1000.0L);
    const auto append = [this](std::string_view part) {
        std::memcpy(text_.data() + length_, part.data(), part.size());
        length_ += part.size();
    };
    append(FormatStatValue(static_cast<double>(perFrame)));
    append(" ms/buffer.       Avg. ");
    append(FormatStatValue(static_cast<double>(kiloBytesPerSecond)));
    append(" kB/s");
}

} // namespace hardsid
