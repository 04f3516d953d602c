// SPDX-License-Identifier: GPL-2.0-or-later
#include "cia_tray.h"

#include <algorithm>
#include <string_view>
#include <cctype>
#include <cstring>

namespace hardsid {

TCiaTray::TCiaTray(TComponent* owner, NotifyIconFunction notifyIcon)
    : TComponent(owner), notifyIcon_(notifyIcon), taskbarCreated_(::RegisterWindowMessageA("TaskbarCreated")),
      window_(kTrayWindowTitle, *this) {}

TCiaTray::~TCiaTray() {
    if (added_) {
        notifyIcon_(NIM_DELETE, &record_);
    }
}

std::string TCiaTray::ApplicationTitle() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return TitleOfProgram(std::string_view(path, length));
}

std::string TCiaTray::TitleOfProgram(std::string_view path) {
    if (const size_t slash = path.find_last_of("\\/"); slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
    }
    std::string title(path.substr(0, path.find('.')));
    for (size_t i = 1; i < title.size(); ++i) {
        title[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(title[i])));
    }
    return title;
}

void TCiaTray::AddIcon() {
    record_ = {};
    record_.cbSize = NOTIFYICONDATAA_V1_SIZE; // the first version's layout: every shell knows it
    record_.hWnd = window_.get();
    record_.uID = kIconId;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = kCallbackMessage;
    record_.hIcon = Icon;
    if (Hint.empty()) {
        Hint = ApplicationTitle();
    }
    const size_t length = std::min(Hint.size(), kMaxHintLength);
    std::memcpy(record_.szTip, Hint.data(), length);
    record_.szTip[length] = '\0';
    wanted_ = true;
    added_ = notifyIcon_(NIM_ADD, &record_) != FALSE;
}

LRESULT TCiaTray::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        // A new shell knows no icon of ours. The record stays as AddIcon made it.
        if (wanted_ && notifyIcon_(NIM_ADD, &record_) != FALSE) {
            added_ = true;
        }
        return 0;
    }
    if (message != kCallbackMessage) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    try {
        switch (static_cast<UINT>(lParam)) {
        case WM_LBUTTONUP:
            if (OnClick) {
                OnClick();
            }
            break;
        case WM_LBUTTONDBLCLK:
            RunDefaultMenuItem();
            break;
        case WM_RBUTTONUP:
            ShowPopupMenu();
            break;
        default:
            break;
        }
    } catch (...) {
        // A handler's failure stays on our side of the window procedure.
    }
    return 0;
}

void TCiaTray::RunDefaultMenuItem() {
    if (PopupMenu == nullptr || ::GetMenuItemCount(PopupMenu) <= 0) {
        return;
    }
    const UINT command = ::GetMenuDefaultItem(PopupMenu, FALSE, GMDI_USEDISABLED);
    if (command != static_cast<UINT>(-1) && OnPopupCommand) {
        OnPopupCommand(command);
    }
}

void TCiaTray::ShowPopupMenu() {
    // The menu closes properly only when our window is in the foreground.
    ::SetForegroundWindow(window_.get());
    POINT cursor{};
    ::GetCursorPos(&cursor);
    if (PopupMenu == nullptr) {
        return;
    }
    const auto command = static_cast<UINT>(
        ::TrackPopupMenu(PopupMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window_.get(), nullptr));
    if (command != 0 && OnPopupCommand) {
        OnPopupCommand(command);
    }
}

} // namespace hardsid
