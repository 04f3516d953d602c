// SPDX-License-Identifier: GPL-2.0-or-later
// Whether each call of the tune's music routine reached the receiver whole: the trace the
// player played against the frames that arrived, matched by content alone, so that neither
// the player's schedule nor the machine's timing enters the verdict.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "receiver_registers.h"
#include "settings_frm/frame_clock.h"

namespace hardsid::monitor {

struct TracedWrite {
    uint32_t cycles = 0; ///< since the previous write
    uint8_t reg = 0;
    uint8_t value = 0;
};

struct ArrivedFrame {
    std::vector<RegisterWrite> writes; ///< in slot order, as ReceiverRegisters::Apply gives them
    bool afterStart = false;           ///< a start message came since the previous frame
};

struct PlayCallFigures {
    size_t playCalls = 0;
    size_t split = 0;     ///< calls whose changes arrived in more than one frame
    size_t lost = 0;      ///< calls with a register whose last value no frame carried
    size_t unmatched = 0; ///< frames whose content fits no stretch of the trace
    size_t carrying = 0;  ///< frames that carried a change of the trace
};

/// A play call is a run of writes at most gapCycles apart. Each frame is matched to the
/// shortest stretch of writes after the previous frame's that leaves the receiver as the
/// frame does and changes no register the frame lacks.
PlayCallFigures CheckPlayCalls(std::span<const TracedWrite> writes, std::span<const ArrivedFrame> frames,
                               uint32_t gapCycles = kPlayCallGapCycles);

} // namespace hardsid::monitor
