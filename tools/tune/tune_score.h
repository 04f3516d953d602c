// SPDX-License-Identifier: GPL-2.0-or-later
// The default tune's score: ten bars in A minor at 6 player calls per sixteenth note, then
// a short release and fade. Note numbers: 69 = A 440 Hz.
#pragma once

#include <array>

namespace hardsid::tune {

inline constexpr int kTicksPerStep = 6;
inline constexpr int kStepsPerBar = 16;
inline constexpr int kTicksPerBar = kTicksPerStep * kStepsPerBar;
inline constexpr int kBarCount = 10;
inline constexpr int kEndingTicks = 40;
/// 1000 calls of 20000 cycles: 20 seconds.
inline constexpr int kTickCount = kBarCount * kTicksPerBar + kEndingTicks;

struct Chord {
    int bass;    ///< bass note of the bar
    int arpRoot; ///< lowest note of the arpeggio
    int third;   ///< 3 for minor, 4 for major
};

inline constexpr std::array<Chord, kBarCount> kChords = {{
    {45, 57, 3}, // A minor
    {41, 53, 4}, // F
    {48, 60, 4}, // C
    {43, 55, 4}, // G
    {45, 57, 3}, // A minor
    {41, 53, 4}, // F
    {38, 62, 3}, // D minor
    {40, 52, 4}, // E
    {45, 57, 3}, // A minor
    {45, 57, 3}, // A minor
}};

/// The bass plays eighth notes: root, octave and fifth above the bar's bass note.
inline constexpr int kStepsPerBassNote = 2;
inline constexpr std::array<int, 8> kBassPattern = {0, 0, 12, 0, 7, 0, 12, 7};

/// The arpeggio restarts every half bar and cycles root, third and fifth once per call.
inline constexpr int kTicksPerArpNote = kTicksPerBar / 2;

struct MelodyNote {
    int note;
    int steps;
};

inline constexpr std::array<MelodyNote, 43> kMelody = {{
    {76, 4}, {81, 2}, {79, 2}, {76, 4}, {72, 4},           // A minor
    {77, 4}, {81, 4}, {84, 2}, {81, 2}, {77, 4},           // F
    {79, 4}, {76, 2}, {79, 2}, {84, 6}, {83, 2},           // C
    {86, 4}, {83, 4}, {79, 4}, {74, 4},                    // G
    {76, 2}, {81, 2}, {84, 4}, {83, 2}, {81, 2}, {76, 4},  // A minor
    {77, 4}, {84, 4}, {81, 4}, {77, 4},                    // F
    {74, 2}, {77, 2}, {81, 4}, {79, 2}, {77, 2}, {74, 4},  // D minor
    {76, 4}, {80, 4}, {83, 4}, {86, 4},                    // E
    {84, 6}, {83, 2}, {81, 8},                             // A minor
    {81, 16},                                              // A minor
}};

constexpr int MelodySteps() {
    int steps = 0;
    for (const MelodyNote& n : kMelody) {
        steps += n.steps;
    }
    return steps;
}
static_assert(MelodySteps() == kBarCount * kStepsPerBar, "the melody fills every bar");

} // namespace hardsid::tune
