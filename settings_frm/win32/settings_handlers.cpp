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
        ::MessageBoxA(dialog_.get(), error.what(), kSettingsCaption, MB_OK | MB_ICONERROR);
    } catch (...) {
        ::MessageBoxA(dialog_.get(), "Unknown error", kSettingsCaption, MB_OK | MB_ICONERROR);
    }
}

// A refused save stops what the user started, with a message box; during start-up it is
// only logged, and the start-up goes on (an ordinary user may not write the machine's key).
void TfrmSettings::SaveSetting(const char* name, int32_t value) {
    if (!startingUp_) {
        store_.WriteSetting(name, value);
        return;
    }
    try {
        store_.WriteSetting(name, value);
    } catch (const win32::ESettingsError& error) {
        ReportStartupProblem(error.what());
    }
}

// No frame leaves while the device changes: streaming stops before the old device closes
// and starts again once the new one is open, greeted and saved. The player's thread may be
// sending meanwhile (a caption's greeting): the engine holds every message back from the
// port while its handle is closed and replaced.
void TfrmSettings::cbMidiOutChange() {
    const auto selected = static_cast<int32_t>(::SendMessageA(Control(IDC_MIDIOUT), CB_GETCURSEL, 0, 0));
    if (selected < 0 || MidiOut == nullptr) {
        return;
    }
    StopStreaming();
    SayGoodbyeToDevice();
    PauseSink();
    MidiOut->Close();
    MidiOut->SetDeviceID(selected); // on failure the sink stays paused: no device, no messages
    MidiOut->Open(); // a device that cannot be opened is no error: the frames go nowhere
    ResumeSinkWithGreeting();
    SaveSetting(win32::kSettingMidiOut, MidiOut->DeviceID());
    StreamingEnabled = true;
}

void TfrmSettings::cbReopenClick() {
    SaveSetting(win32::kSettingReopenMidi, IsChecked(IDC_REOPEN) ? 1 : 0);
}

void TfrmSettings::SetAggressive() {
    const bool aggressive = IsChecked(IDC_AGGRESSIVE);
    AggressiveWait = aggressive;
    SaveSetting(win32::kSettingAggressiveWait, aggressive ? 1 : 0);
}

void TfrmSettings::cbHardSID2Click() {
    SaveSetting(win32::kSettingHardSID2, IsChecked(IDC_HARDSID2) ? 1 : 0);
}

void TfrmSettings::cbBeatFramesClick() {
    const bool beat = IsChecked(IDC_BEATFRAMES);
    SetBeatFrames(beat);
    SaveSetting(win32::kSettingBeatFrames, beat ? 1 : 0);
}

} // namespace hardsid
