// SPDX-License-Identifier: GPL-2.0-or-later
// One MIDI event as SendEvent takes it: a short message, or System Exclusive bytes.
#pragma once

#include <cstdint>

namespace hardsid {

struct TMyMidiEvent {
    uint8_t MidiMessage = 0; // status byte
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    uint16_t SysexLength = 0;
    const uint8_t* Sysex = nullptr; // none for a short message
};

} // namespace hardsid
