// SPDX-License-Identifier: GPL-2.0-or-later
// Move-only owner of an open MIDI output device.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include "unique_handle.h"

namespace hardsid::win32 {

/// Closes a device that may still have long messages queued: midiOutClose refuses while any
/// is, so a reset hands them all back first. beforeClose(device) runs between the two, while
/// the handle still works (to unprepare the headers handed back). Gives midiOutClose's result.
template <typename BeforeClose>
MMRESULT ResetAndCloseMidiOut(HMIDIOUT device, BeforeClose&& beforeClose) noexcept {
    ::midiOutReset(device);
    beforeClose(device);
    return ::midiOutClose(device);
}

namespace detail {
inline void CloseMidiOut(HMIDIOUT device) noexcept {
    ResetAndCloseMidiOut(device, [](HMIDIOUT) noexcept {});
}
} // namespace detail

using UniqueMidiOut = UniqueAny<HMIDIOUT, detail::CloseMidiOut, nullptr>;

} // namespace hardsid::win32
