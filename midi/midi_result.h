// SPDX-License-Identifier: GPL-2.0-or-later
// MIDI result codes: a failure is any nonzero low word; its text comes from the system.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

#include "midi_out.h"

namespace hardsid {

inline bool MidiFailed(MMRESULT result) noexcept { return (result & 0xFFFF) != 0; }

/// Throws EmidioutputError with the system's text for a failed result.
inline void CheckMidiResult(MMRESULT result) {
    if (MidiFailed(result)) {
        throw EmidioutputError(TMidiOutput::ErrorText(static_cast<uint16_t>(result)));
    }
}

} // namespace hardsid
