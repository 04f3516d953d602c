// SPDX-License-Identifier: GPL-2.0-or-later
// The window object: the settings dialog that the tray icon opens, the owner of the MIDI
// port and the tray icon, and the streaming engine that every entry point reaches.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "resources/window_contract.h"
#include "midi/midi_out.h"
#include "settings_frm/asid_engine.h"
#include "settings_frm/win32/settings_store.h"
#include "settings_frm/win32/win_platform.h"
#include "uCiaTrayIcon/cia_tray.h"
#include "win32/component.h"
#include "win32/window_owner.h"

namespace hardsid {

/// What the engine stands on; built before the engine, torn down after it.
class TfrmSettingsServices {
protected:
    /// Hands frames to the port while there is one.
    class TPortSink final : public ISysExSink {
    public:
        TMidiOutput* port = nullptr;
        void SendLongMessage(const uint8_t* data, uint16_t length) override {
            if (port != nullptr) {
                port->SendLongMessage(data, length);
            }
        }
        bool WaitUntilSent(uint32_t timeoutMs) override {
            return port == nullptr || port->WaitUntilSent(timeoutMs);
        }
    };

    win32::TWinPlatform winPlatform_;
    win32::TWinLogFile winLogFile_;
    TPortSink portSink_;
};

class TfrmSettings final : private TfrmSettingsServices, public TAsidEngine, public TComponent {
public:
    /// Creates the components and the hidden dialog, then runs FormCreate. Never throws:
    /// whatever fails is logged, and the rest of the start-up goes on.
    explicit TfrmSettings(win32::TSettingsStore store = win32::TSettingsStore(),
                          TCiaTray::NotifyIconFunction notifyIcon = ::Shell_NotifyIconA);
    /// Runs FormDestroy, then the remaining components go.
    ~TfrmSettings() override;
    /// For a process that ends without unloading us: the log gets its last entry, nothing
    /// else is touched (windows and devices go with the process).
    void CloseAtProcessExit() noexcept { TAsidEngine::CloseAtProcessExit("log end"); }

    // Components, owned by the window object.
    TCiaTray* tray = nullptr;
    TMidiOutput* MidiOut = nullptr;

    // Handlers.
    void FormCreate();
    void FormDestroy();
    void cbMidiOutChange();
    void cbReopenClick();
    void SetAggressive();
    void cbHardSID2Click();
    void cbBeatFramesClick();
    void trayClick();
    bool FormCloseQuery();
    void FormKeyDown(WORD key);

    /// Whether the library acts as a HardSID 2 driver: the stored choice at load. A player
    /// asks for the version once, so a change of the box applies at the next load.
    bool HardSID2Profile() const noexcept { return hardSID2Profile_; }

    /// The dialog window and its controls (by resource identifier).
    HWND Handle() const noexcept { return dialog_.get(); }
    HWND Control(int id) const noexcept;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    INT_PTR HandleDialogMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateDialogWindow();
    void DestroyDialogWindow() noexcept;
    /// Before the open device is closed: the stop message, given a moment to arrive.
    void SayGoodbyeToDevice() noexcept;
    void ShowPage(int index);
    void ShowModal();
    bool IsChecked(int id) const;
    /// Sets a check box; a change runs its handler, as a click would.
    void SetChecked(int id, bool checked, void (TfrmSettings::*handler)());
    /// Runs a handler that the user started: an error is shown in an error box.
    void RunUserHandler(void (TfrmSettings::*handler)()) noexcept;
    /// Runs one start-up step: an error is logged (or kept until the log is open), never shown.
    template <typename Step>
    void RunStartupStep(Step&& step) noexcept;
    void ReportStartupProblem(const char* what) noexcept;
    int32_t ReadStartupSetting(const char* name);
    void SaveSetting(const char* name, int32_t value);

    win32::TSettingsStore store_;
    win32::UniqueFont titleFont_;  // outlives the windows that use it
    win32::UniqueWindow dialog_;
    win32::UniqueWindow pages_[2]; // children of the dialog, destroyed before it
    bool checked_[4] = {}; // reopen, aggressive, HardSID 2, beat: kept here too, so they work without a dialog
    bool hardSID2Profile_ = false;
    bool shownBefore_ = false;
    bool logStarted_ = false;
    bool startingUp_ = true; // until FormCreate has run
    std::vector<std::string> startupProblems_; // met before the log was open
};

/// The one window object of the library, while it is loaded.
extern std::atomic<TfrmSettings*> frmSettings;

} // namespace hardsid
