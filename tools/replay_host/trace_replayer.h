// SPDX-License-Identifier: GPL-2.0-or-later
// Plays a register trace into a device's write and delay calls, the way a player does.
#pragma once

#include <cstdint>
#include <functional>

#include "tools/trace/trace.h"

namespace hardsid::replay {

/// The most cycles one write or delay call can carry (a 16-bit argument).
inline constexpr uint32_t kMaxCallCycles = 0xFFFF;

/// The two calls a replay needs; the real one forwards to the library's entry points.
class ReplayTarget {
public:
    virtual ~ReplayTarget() = default;
    virtual void Write(uint16_t cycles, uint8_t reg, uint8_t value) = 0;
    virtual void Delay(uint16_t cycles) = 0;
};

/// Told the trace position in cycles; returns false to stop the replay there.
using ProgressCallback = std::function<bool(uint64_t position)>;

struct ReplayOutcome {
    uint64_t cycles = 0;    ///< trace cycles handed to the target
    bool completed = false; ///< false when the callback stopped it
};

/// Hands every record to Write; a gap above 65535 cycles first goes out as Delay calls of
/// 65535, and the trace's end as Delay calls after the last write. The callback runs each
/// time the position has moved at least progressStep cycles since it last ran.
ReplayOutcome ReplayTrace(const trace::Trace& trace, ReplayTarget& target, uint64_t progressStep,
                          const ProgressCallback& progress);

} // namespace hardsid::replay
