// SPDX-License-Identifier: GPL-2.0-or-later
// What the user's choices in the settings window do.
#include <windows.h>

#include "resources/resource_ids.h"
#include "settings_form.h"

namespace hardsid {

void TfrmSettings::RunUserHandler(void (TfrmSettings::*handler)()) noexcept {
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        ::MessageBoxA(dialog_, error.what(), kSettingsCaption, MB_OK | MB_ICONERROR);
    } catch (...) {
        ::MessageBoxA(dialog_, "Unknown error", kSettingsCaption, MB_OK | MB_ICONERROR);
    }
}

// No frame leaves while the device changes: streaming stops before the old device closes
// and starts again once the new one is open, greeted and saved.
void TfrmSettings::cbMidiOutChange() {
    const auto selected = static_cast<int32_t>(::SendMessageA(Control(IDC_MIDIOUT), CB_GETCURSEL, 0, 0));
    if (selected < 0 || MidiOut == nullptr) {
        return;
    }
    StopStreaming();
    SayGoodbyeToDevice();
    MidiOut->Close();
    MidiOut->SetDeviceID(selected);
    MidiOut->Open(); // a device that cannot be opened is no error: the frames go nowhere
    SendGreeting();
    store_.WriteSetting(win32::kSettingMidiOut, MidiOut->DeviceID());
    StreamingEnabled = true;
}

void TfrmSettings::cbReopenClick() {
    store_.WriteSetting(win32::kSettingReopenMidi, IsChecked(IDC_REOPEN) ? 1 : 0);
}

void TfrmSettings::SetAggressive() {
    const bool aggressive = IsChecked(IDC_AGGRESSIVE);
    AggressiveWait = aggressive;
    store_.WriteSetting(win32::kSettingAggressiveWait, aggressive ? 1 : 0);
}

} // namespace hardsid
