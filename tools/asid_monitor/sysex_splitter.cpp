// SPDX-License-Identifier: GPL-2.0-or-later
#include "sysex_splitter.h"

#include <cstdio>
#include <string>

namespace hardsid::monitor {

namespace {
constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;

std::string Bytes(size_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

std::string Hex(uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}
} // namespace

void SplitSysEx(std::span<const uint8_t> stream, Location at, std::optional<double> seconds, Capture& capture) {
    const auto where = [&](size_t index) { return Location{at.line, at.offset + index}; };
    size_t index = 0;
    capture.totalBytes += stream.size();
    while (index < stream.size()) {
        if (stream[index] != kStart) {
            const size_t first = index;
            while (index < stream.size() && stream[index] != kStart) {
                ++index;
            }
            capture.problems.push_back(
                {where(first), Bytes(index - first) + " outside any message (first " + Hex(stream[first]) + ")"});
            continue;
        }
        const size_t begin = index++;
        while (index < stream.size() && stream[index] != kEnd && stream[index] != kStart) {
            ++index;
        }
        if (index == stream.size()) {
            capture.problems.push_back(
                {where(begin), "message cut short: " + Bytes(index - begin) + " and no F7 before the end"});
        } else if (stream[index] == kStart) {
            capture.problems.push_back({where(begin), "message without F7: the next F0 comes at " +
                                                          where(index).Text()});
        } else {
            ++index;
            capture.messages.push_back(
                {where(begin), std::vector<uint8_t>(stream.begin() + static_cast<long>(begin),
                                                    stream.begin() + static_cast<long>(index)),
                 seconds});
        }
    }
}

} // namespace hardsid::monitor
