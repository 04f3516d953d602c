// SPDX-License-Identifier: GPL-2.0-or-later
// Move-only owner of an open MIDI output device.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include "unique_handle.h"

namespace hardsid::win32 {

namespace detail {
// midiOutClose refuses while long messages are queued; a reset hands them back first.
inline void ResetAndCloseMidiOut(HMIDIOUT device) noexcept {
    ::midiOutReset(device);
    ::midiOutClose(device);
}
} // namespace detail

using UniqueMidiOut = UniqueAny<HMIDIOUT, detail::ResetAndCloseMidiOut, nullptr>;

} // namespace hardsid::win32
