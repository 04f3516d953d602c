// SPDX-License-Identifier: GPL-2.0-or-later
// Players of each family, scripted on a simulated counter, driving the streaming engine
// as the real ones drive the library: the frames it sends, judged play call by play call.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

namespace hardsid::patterns {

enum class Family {
    Sidplayfp,   ///< the idle cycles in a read at the start of each play call
    GoatTracker, ///< 9 cycles a write, one delay for the rest of the frame
    Vice,        ///< 0 cycles and a soft flush after idle time it waited itself
    Replay,      ///< every gap in the write that follows it
};

struct Pattern {
    const char* name;
    Family family;
    uint32_t callCycles;     ///< from one play call to the next
    int writesPerCall;       ///< each to a register of its own
    uint32_t burstCycles;    ///< first to last write of a call (GoatTracker: 9 a write)
    uint32_t longestGap;     ///< one gap inside the burst this long, the others even
    uint32_t seconds = 2;
    bool digi = false;       ///< one stream without gaps: a write every burstCycles
    bool defaultTune = false; ///< the default tune's first `seconds` instead
};

struct Figures {
    size_t playCalls = 0;
    size_t split = 0;
    size_t lost = 0;
    size_t frames = 0;
    double framesPerSecond = 0;
    double longestIntervalMs = 0;
    int mostFramesIn20ms = 0;
    size_t unmatched = 0;     ///< frames whose content fits no stretch of the writes
    size_t cableOverruns = 0; ///< frames that left before the cable had carried the previous one
};

/// The patterns of the players' families and tunes that the library meets.
const std::vector<Pattern>& StandardPatterns();

/// Plays the pattern into an engine with frames on the beat or on the grid alone.
Figures Run(const Pattern& pattern, bool beat);

/// The side-by-side table of every pattern, grid and beat.
void PrintTable(std::ostream& out);

} // namespace hardsid::patterns
