// SPDX-License-Identifier: GPL-2.0-or-later
// Turns a player routine's register stores, at known cycle positions, into a trace.
#pragma once

#include <cstdint>

#include "tools/trace/trace.h"

namespace hardsid::tune {

/// One player call per 20 ms frame: the library counts a cycle as a microsecond, so the calls
/// (and the frames they fill) fall on the library's 50 Hz frame grid.
inline constexpr uint32_t kCyclesPerTick = 20000;

class TraceRecorder {
public:
    /// The routine starts a little after the frame's interrupt, as on the machine.
    void StartTick(uint32_t tick) noexcept;
    /// Cycles the routine spends between stores (loads, table look-ups, branches).
    void Spend(uint32_t cycles) noexcept { now_ += cycles; }
    /// One store: a load and a store of an absolute address.
    void Write(uint8_t reg, uint8_t value);
    /// The trace so far, ending when tick number endTick would begin.
    trace::Trace Finish(uint32_t endTick);

private:
    trace::Trace trace_;
    uint64_t now_ = 0;       // absolute cycle of the routine's progress
    uint64_t lastWrite_ = 0; // absolute cycle of the previous store
};

} // namespace hardsid::tune
