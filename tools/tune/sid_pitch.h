// SPDX-License-Identifier: GPL-2.0-or-later
// Note numbers (69 = A 440 Hz, semitones) to the chip's 16-bit oscillator frequency value.
#pragma once

#include <cstdint>

namespace hardsid::tune {

/// The chip's clock on a PAL machine; the oscillator adds the frequency value to a 24-bit
/// accumulator every cycle, so value = hertz × 2^24 / clock.
inline constexpr uint32_t kPalClockHz = 985248;

/// Notes 0..95 (C in octave -1 up to B in octave 6); higher notes overflow 16 bits.
inline constexpr int kHighestNote = 95;

/// Integer-only, so every build composes exactly the same tune.
uint16_t SidFrequency(int note) noexcept;

} // namespace hardsid::tune
