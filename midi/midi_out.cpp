// SPDX-License-Identifier: GPL-2.0-or-later
// TMidiOutput: construction, device selection, open, close and short messages.
#include "midi_out.h"

#include <array>
#include <cstring>

#include "midi_result.h"

namespace hardsid {
namespace {

constexpr const char* kNotifyWindowClass = "TMidiOutputNotify";

MIDIOUTCAPSA ReadCapabilities(int32_t id) {
    MIDIOUTCAPSA caps{};
    CheckMidiResult(::midiOutGetDevCapsA(static_cast<UINT>(id), &caps, sizeof caps));
    return caps;
}

std::string NameOf(const MIDIOUTCAPSA& caps) {
    return std::string(caps.szPname, ::strnlen(caps.szPname, sizeof caps.szPname));
}

} // namespace

TMidiOutput::TMidiOutput(TComponent* owner)
    : TComponent(owner), notifyWindow_(kNotifyWindowClass, *this),
      deviceCount_(static_cast<uint16_t>(::midiOutGetNumDevs())) {}

TMidiOutput::~TMidiOutput() {
    const bool closed = !IsOpen() || Close();
    // The window goes first: the notices still queued for it name the messages released next.
    notifyWindow_.reset();
    ReleaseInFlight();
    if (!closed) {
        callbackRecord_.release(); // the device may still report through it
    }
}

void TMidiOutput::SetDeviceID(int32_t id) {
    if (IsOpen()) {
        throw EmidioutputError(kDeviceIdChangedWhileOpen);
    }
    // -1, the mapper, passes here; the driver refuses other negative numbers.
    if (id >= static_cast<int32_t>(::midiOutGetNumDevs())) {
        throw EmidioutputError(kInvalidDeviceId);
    }
    deviceId_ = id;
    const MIDIOUTCAPSA caps = ReadCapabilities(id);
    productName_ = NameOf(caps);
    caps_.DriverVersion = caps.vDriverVersion;
    caps_.Technology = static_cast<uint8_t>(caps.wTechnology);
    caps_.Voices = caps.wVoices;
    caps_.Notes = caps.wNotes;
    caps_.ChannelMask = caps.wChannelMask;
    caps_.Support = caps.dwSupport;
}

void TMidiOutput::SetProductName(const std::string& name) {
    if (IsOpen()) {
        throw EmidioutputError(kProductNameChangedWhileOpen);
    }
    if (IsLoading()) {
        return;
    }
    const auto count = static_cast<int32_t>(::midiOutGetNumDevs());
    int32_t id = -1;
    for (; id < count; ++id) {
        if (NameOf(ReadCapabilities(id)) == name) {
            productName_ = name;
            break;
        }
    }
    if (productName_ != name) {
        throw EmidioutputError(DeviceNotInstalledText(name));
    }
    // A name that vanished while ProductName still held it leaves id at count: refused there.
    SetDeviceID(id);
}

bool TMidiOutput::Open() noexcept {
    if (!callbackRecord_) {
        callbackRecord_.reset(CreateCallbackRecord());
        if (!callbackRecord_) {
            return false;
        }
    }
    callbackRecord_.get()->Window = notifyWindow_.get();
    const MMRESULT result =
        ::midiOutOpen(deviceHandle_.put(), static_cast<UINT>(deviceId_), reinterpret_cast<DWORD_PTR>(&DriverCallback),
                      reinterpret_cast<DWORD_PTR>(callbackRecord_.get()), CALLBACK_FUNCTION);
    if (MidiFailed(result)) {
        deviceHandle_.release(); // nothing was opened
        callbackRecord_.reset();
        return false;
    }
    return true;
}

bool TMidiOutput::Close() noexcept {
    if (!IsOpen()) {
        return false;
    }
    // Unprepared with the handle that prepared them; their notices may come after it is gone.
    return !MidiFailed(win32::ResetAndCloseMidiOut(deviceHandle_.release(), [this](HMIDIOUT device) noexcept {
        inFlight_.ForEach(
            [device](TMyMidiHdr& message) { ::midiOutUnprepareHeader(device, message.Header(), sizeof(MIDIHDR)); });
    }));
}

void TMidiOutput::SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2) {
    const DWORD packed = status | static_cast<DWORD>(data1) << 8 | static_cast<DWORD>(data2) << 16;
    CheckMidiResult(::midiOutShortMsg(deviceHandle_.get(), packed));
}

void TMidiOutput::SendEvent(const TMyMidiEvent& event) {
    if (!IsOpen()) {
        throw EmidioutputError(kDeviceNotOpen);
    }
    if (event.Sysex != nullptr) {
        SendLongMessage(event.Sysex, event.SysexLength);
    } else {
        SendShortMessage(event.MidiMessage, event.Data1, event.Data2);
    }
}

std::string TMidiOutput::ErrorText(uint16_t code) {
    std::array<char, 128> text{};
    if (::midiOutGetErrorTextA(code, text.data(), static_cast<UINT>(text.size())) != MMSYSERR_NOERROR) {
        return kErrorNumberOutOfRange;
    }
    return std::string(text.data(), ::strnlen(text.data(), text.size()));
}

} // namespace hardsid
