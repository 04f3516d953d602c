// SPDX-License-Identifier: GPL-2.0-or-later
// The notification-area icon: added once, removed when the component goes. A left-button
// release raises OnClick; a double click runs the popup menu's default item; a right click
// opens the popup menu. When the shell restarts (its "TaskbarCreated" broadcast), the icon is
// added again.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <string_view>

#include "resources/window_contract.h"
#include "win32/component.h"
#include "win32/hidden_window.h"

namespace hardsid {

class TCiaTray final : public TComponent, private win32::IWindowHandler {
public:
    static constexpr UINT kIconId = kTrayIconId;
    static constexpr UINT kCallbackMessage = kTrayCallbackMessage;
    static constexpr size_t kMaxHintLength = 63;   // szTip holds 64 characters with the NUL

    using NotifyIconFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);

    /// Creates the hidden window that receives the notification area's messages.
    explicit TCiaTray(TComponent* owner, NotifyIconFunction notifyIcon = ::Shell_NotifyIconA);
    /// Takes the icon out of the notification area.
    ~TCiaTray() override;
    TCiaTray(const TCiaTray&) = delete;
    TCiaTray& operator=(const TCiaTray&) = delete;

    // Plain fields: changing one changes nothing on screen by itself.
    std::string Hint;
    HICON Icon = nullptr;
    HMENU PopupMenu = nullptr;
    std::function<void()> OnClick;
    /// Runs the command of a popup menu item that the user chose (or the default item).
    std::function<void(UINT command)> OnPopupCommand;

    /// Puts the icon into the notification area; an empty Hint becomes the application title.
    void AddIcon();

    /// The window that receives the icon's messages.
    HWND Window() const noexcept { return window_.get(); }

    /// The host program's file name without folder and extension, lower case after the first
    /// character: MYPLAYER.EXE gives "Myplayer".
    static std::string ApplicationTitle();
    /// The same rule for any program path.
    static std::string TitleOfProgram(std::string_view path);

private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept override;
    void RunDefaultMenuItem();
    void ShowPopupMenu();

    NotifyIconFunction notifyIcon_;
    const UINT taskbarCreated_; // the shell's broadcast after it (re)starts
    NOTIFYICONDATAA record_{};
    bool wanted_ = false; // AddIcon was called: the icon belongs in the notification area
    bool added_ = false;
    win32::THiddenWindow window_;
};

} // namespace hardsid
