// SPDX-License-Identifier: GPL-2.0-or-later
// midiOutGetErrorTextA: a text for every code a MIDI output driver returns.
#include <cstring>

#include "driver.h"
#include "record.h"

namespace {

const char* TextOf(MMRESULT code) {
    switch (code) {
    case MMSYSERR_NOERROR: return "The command completed without error.";
    case MMSYSERR_ERROR: return "An undetermined error occurred in the multimedia system.";
    case MMSYSERR_BADDEVICEID: return "The device identifier given is out of range for this system.";
    case MMSYSERR_NOTENABLED: return "The driver could not be enabled.";
    case MMSYSERR_ALLOCATED:
        return "The device is already in use by another program. Wait until it is free, then try again.";
    case MMSYSERR_INVALHANDLE: return "The device handle given is not valid.";
    case MMSYSERR_NODRIVER: return "No driver is installed for this device.";
    case MMSYSERR_NOMEM: return "There is not enough memory available for this task.";
    case MMSYSERR_NOTSUPPORTED: return "The driver does not support this function.";
    case MMSYSERR_BADERRNUM: return "The error number given is not defined in the system.";
    case MMSYSERR_INVALFLAG: return "An invalid flag was passed to a system function.";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to a system function.";
    case MIDIERR_UNPREPARED: return "The header was not prepared. Prepare the header, then try again.";
    case MIDIERR_STILLPLAYING:
        return "The device is still playing data. Reset the device or wait until the data has been sent.";
    case MIDIERR_NOMAP: return "No MIDI map was found.";
    case MIDIERR_NOTREADY: return "The MIDI port is busy sending data. Wait until it is done, then try again.";
    case MIDIERR_NODEVICE: return "The current MIDI setup names a device that is not installed.";
    case MIDIERR_INVALIDSETUP: return "The current MIDI setup is damaged.";
    default: return nullptr;
    }
}

} // namespace

extern "C" MMRESULT WINAPI midiOutGetErrorTextA(MMRESULT code, LPSTR text, UINT size) {
    const char* known = TextOf(code);
    MMRESULT result = MMSYSERR_NOERROR;
    if (text == nullptr || size == 0) {
        result = MMSYSERR_INVALPARAM;
    } else if (known == nullptr) {
        result = MMSYSERR_BADERRNUM;
    } else {
        std::strncpy(text, known, size - 1);
        text[size - 1] = '\0';
    }
    winmm_double::Line("midiOutGetErrorTextA").Number("code", code).Number("result", result);
    return result;
}
