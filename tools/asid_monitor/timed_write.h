// SPDX-License-Identifier: GPL-2.0-or-later
// A register write with the moment a chip should see it: what the renderer plays.
#pragma once

#include <cstdint>
#include <vector>

namespace hardsid::monitor {

inline constexpr int kMaxRenderedChips = 3; // what the emulator renders at once

struct TimedWrite {
    double seconds = 0; ///< from the start of the rendering
    int chip = 0;       ///< 0 .. kMaxRenderedChips - 1
    uint8_t reg = 0;    ///< 0..31
    uint8_t value = 0;
};

/// Writes in the order a chip must see them (times never decrease) and how long the
/// rendering lasts.
struct WriteSchedule {
    std::vector<TimedWrite> writes;
    double endSeconds = 0;
    int chips = 1;
};

} // namespace hardsid::monitor
