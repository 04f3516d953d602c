// SPDX-License-Identifier: GPL-2.0-or-later
// A schedule of register writes as a C64 tune in memory (PSID), for an emulator whose public
// interface plays tunes, not register writes. The tune's own code runs with interrupts off and
// polls a free-running CIA timer whose latch it reloads for each burst of writes, so the bursts
// land on the emulated clock's cycles and timing errors never add up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "timed_write.h"

namespace hardsid::monitor {

/// The emulated machine's clock (PAL), the cycles in which the image places writes.
inline constexpr double kEmulatedClockHz = 985248.0;

/// Where the second and third chip sit: one page, so one index register picks chip and register.
inline constexpr uint16_t kChipAddress[kMaxRenderedChips] = {0xD400, 0xD420, 0xD440};

/// The image's first write, to a register the chip ignores, lands this many cycles after
/// time zero: where the renderer sees it, it knows where time zero lies in the output.
inline constexpr int64_t kMarkerCycle = 285;
inline constexpr uint8_t kMarkerRegisterValue = 0xA5;

/// The schedule's time zero lies this long after the image's time zero: by then the step of
/// the emulated chips' output at power-up has died away.
inline constexpr double kSettleSeconds = 1.0;

struct TuneImage {
    std::vector<uint8_t> psid;  ///< the whole tune file
    size_t placedWrites = 0;    ///< writes in the image
    size_t droppedWrites = 0;   ///< after the point where memory ran out
    double renderedSeconds = 0; ///< the schedule's end, or where memory ran out
    double meanErrorUs = 0;     ///< |placed - wanted|, over the placed writes
    double maxErrorUs = 0;
};

/// Builds the image; writes past the emulated machine's memory are dropped and the rendering
/// ends at the last one that fits (renderedSeconds says where).
TuneImage BuildTuneImage(const WriteSchedule& schedule);

} // namespace hardsid::monitor
