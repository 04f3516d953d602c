// SPDX-License-Identifier: GPL-2.0-or-later
// Start and stop of the window object: FormCreate and FormDestroy.
#include "settings_form.h"

#include "resources/resource_ids.h"
#include "win32/hidden_window.h"

namespace hardsid {

std::atomic<TfrmSettings*> frmSettings{nullptr};

namespace {
constexpr const char* kStartupProblemPrefix = "(!) Skipped at start-up: ";
} // namespace

TfrmSettings::TfrmSettings(win32::TSettingsStore store, TCiaTray::NotifyIconFunction notifyIcon)
    : TAsidEngine(winPlatform_, portSink_, winLogFile_), TComponent(nullptr), store_(store) {
    // The components first, as the form description makes them; then the creation handler.
    RunStartupStep([&] {
        tray = new TCiaTray(this, notifyIcon);
        tray->OnClick = [this] { RunUserHandler(&TfrmSettings::trayClick); };
    });
    RunStartupStep([&] {
        MidiOut = new TMidiOutput(this);
        portSink_.port = MidiOut;
    });
    RunStartupStep([&] { CreateDialogWindow(); });
    FormCreate();
}

TfrmSettings::~TfrmSettings() {
    // Reached from the system's unload notification: nothing may escape it.
    try {
        FormDestroy();
    } catch (...) {
        CloseLog();
    }
    DestroyDialogWindow();
}

template <typename Step>
void TfrmSettings::RunStartupStep(Step&& step) noexcept {
    // The library is loading: a message box here would hold the player's start under the
    // loader lock. Whatever fails is written down, and the next step runs.
    try {
        step();
    } catch (const std::exception& error) {
        ReportStartupProblem(error.what());
    } catch (...) {
        ReportStartupProblem("unknown error");
    }
}

void TfrmSettings::ReportStartupProblem(const char* what) noexcept {
    try {
        std::string line = std::string(kStartupProblemPrefix) + what;
        if (logStarted_) {
            WriteLogLine(line);
        } else {
            startupProblems_.push_back(std::move(line)); // written right after "log start"
        }
    } catch (...) {
    }
}

int32_t TfrmSettings::ReadStartupSetting(const char* name) {
    try {
        return store_.ReadSetting(name);
    } catch (const win32::ESettingsError& error) {
        ReportStartupProblem(error.what()); // a value of another type counts as missing
        return win32::kSettingMissing;
    }
}

void TfrmSettings::FormCreate() {
    RunStartupStep([&] {
        SetChecked(IDC_AGGRESSIVE, ReadStartupSetting(win32::kSettingAggressiveWait) != 0, &TfrmSettings::SetAggressive);
    });
    ReadPerfFrequency();
    CreateLog();
    ResetStatistics();
    WriteLogLine("log start");
    logStarted_ = true;
    for (const std::string& problem : startupProblems_) {
        WriteLogLine(problem);
    }
    startupProblems_.clear();
    SetDisplayText(kDefaultDisplayText);
    RunStartupStep([&] {
        SetChecked(IDC_REOPEN, ReadStartupSetting(win32::kSettingReopenMidi) == 1, &TfrmSettings::cbReopenClick);
    });
    RunStartupStep([&] {
        hardSID2Profile_ = ReadStartupSetting(win32::kSettingHardSID2) == 1;
        SetChecked(IDC_HARDSID2, hardSID2Profile_, &TfrmSettings::cbHardSID2Click);
    });
    // Frames follow the play calls unless the user chose the fixed grid: every receiver
    // known plays a frame on arrival, so whole play calls on time are what it should get.
    RunStartupStep([&] {
        const bool beat = ReadStartupSetting(win32::kSettingBeatFrames) != 0;
        SetBeatFrames(beat); // the box's handler runs only when the box changes
        SetChecked(IDC_BEATFRAMES, beat, &TfrmSettings::cbBeatFramesClick);
    });
    StopStreaming();
    RunStartupStep([&] {
        if (MidiOut == nullptr) {
            return;
        }
        // A list position is a device number.
        for (uint16_t device = 0; device < MidiOut->DeviceCount(); ++device) {
            MidiOut->SetDeviceID(device);
            ::SendMessageA(Control(IDC_MIDIOUT), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(MidiOut->ProductName().c_str()));
        }
    });
    RunStartupStep([&] {
        const int32_t stored = ReadStartupSetting(win32::kSettingMidiOut);
        if (stored == win32::kSettingMissing) {
            return;
        }
        ::SendMessageA(Control(IDC_MIDIOUT), CB_SETCURSEL, static_cast<WPARAM>(stored), 0);
        if (ReadStartupSetting(win32::kSettingReopenMidi) == 1) {
            cbMidiOutChange();
        }
    });
    RunStartupStep([&] {
        if (dialog_) {
            ::SendMessageA(dialog_.get(), WM_SETICON, ICON_BIG, 0);
            ::SendMessageA(dialog_.get(), WM_SETICON, ICON_SMALL, 0);
        }
        if (tray != nullptr) {
            tray->Icon = ::LoadIconA(win32::OwnModule(), "MAINICON");
            tray->AddIcon();
        }
    });
    RunStartupStep([&] { ShowPage(0); });
    startingUp_ = false;
}

void TfrmSettings::SayGoodbyeToDevice() noexcept {
    try {
        if (MidiOut != nullptr && MidiOut->IsOpen() && SendStopMessage()) {
            MidiOut->WaitUntilSent(kStopMessageWaitMs);
        }
    } catch (...) {
        // The device closes all the same.
    }
}

void TfrmSettings::FormDestroy() {
    StopStreaming();
    SayGoodbyeToDevice();
    PauseSink(); // the player's thread may still set a caption
    portSink_.port = nullptr;
    delete MidiOut; // closes the device
    MidiOut = nullptr;
    WriteLogLine("log end");
    CloseLog();
}

} // namespace hardsid
