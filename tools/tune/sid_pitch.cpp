// SPDX-License-Identifier: GPL-2.0-or-later
#include "sid_pitch.h"

#include <array>
#include <cstddef>

namespace hardsid::tune {

namespace {
// Notes 84..95 (C to B in octave 6) at the PAL clock, equal temperament; lower octaves halve.
constexpr std::array<uint32_t, 12> kTopOctave = {17820, 18880, 20003, 21192, 22452, 23787,
                                                 25202, 26700, 28288, 29970, 31752, 33640};
constexpr int kTopOctaveIndex = 7; // note / 12 for notes 84..95
} // namespace

uint16_t SidFrequency(int note) noexcept {
    if (note < 0) {
        note = 0;
    }
    if (note > kHighestNote) {
        note = kHighestNote;
    }
    const int shift = kTopOctaveIndex - note / 12;
    const uint32_t top = kTopOctave[static_cast<size_t>(note % 12)];
    // Round to nearest rather than truncate, so low octaves stay in tune.
    const uint32_t value = shift == 0 ? top : (top + (1u << (shift - 1))) >> shift;
    return static_cast<uint16_t>(value);
}

} // namespace hardsid::tune
