// SPDX-License-Identifier: GPL-2.0-or-later
// What the double pretends to have: devices, refusals and timing (syntax in README.md).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winmm_double {

enum class Refused { Open, Caps, Prepare, Send };

struct Refusal {
    Refused what;
    std::optional<int> device; // none: every device
};

struct Config {
    std::string mapperName = "MIDI Mapper";
    std::vector<std::string> devices;
    std::vector<Refusal> refusals;
    int vanishTo = -1; // after the first device count, keep this many; -1: never
    int64_t delayMicroseconds = 1000;
    int64_t bytesPerSecond = 0; // 0: no transmission time
    std::optional<std::string> recordPath;

    bool Refuses(Refused what, int device) const;
};

/// Parses settings separated by new lines or ';'. On error gives the 1-based number of the
/// first bad setting and leaves config as it was.
int ParseConfig(std::string_view text, Config& config);

} // namespace winmm_double
