// SPDX-License-Identifier: GPL-2.0-or-later
// The performance counter that every figure of the timing bench is measured on.
#pragma once

#include <cstdint>

namespace hardsid::bench {

/// One QueryPerformanceCounter reading.
int64_t Counter() noexcept;
/// Counts per second of that counter.
int64_t CounterFrequency() noexcept;
/// A span of counts in microseconds.
double CountsToMicroseconds(int64_t counts) noexcept;
/// Puts the calling thread back to normal priority: the cycle delay leaves it raised.
void RestoreNormalPriority() noexcept;
/// Dispatches this thread's pending window messages, as a player's message loop would.
void PumpMessagesFor(double milliseconds) noexcept;

} // namespace hardsid::bench
