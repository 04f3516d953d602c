// SPDX-License-Identifier: GPL-2.0-or-later
// The settings dialog: created hidden at load, shown modally from the tray icon, hidden
// again when closed. Its two pages are child dialogs inside the page control.
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "resources/resource_ids.h"
#include "settings_form.h"
#include "win32/hidden_window.h"
#include "win32/module_hold.h"
#include "win32/window_owner.h"

namespace hardsid {

namespace {

constexpr int kTitleFontHeight = 16;
constexpr const char* kPageTitles[] = {"Options", "About"};
constexpr int kPageDialogs[] = {IDD_PAGE_OPTIONS, IDD_PAGE_ABOUT};

int CheckIndex(int id) { return id == IDC_REOPEN ? 0 : id == IDC_AGGRESSIVE ? 1 : id == IDC_HARDSID2 ? 2 : 3; }

// The thread's other windows that a modal showing disables, and enables again after.
struct DisabledWindows {
    HWND dialog;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM context) noexcept {
    auto* disabled = reinterpret_cast<DisabledWindows*>(context);
    if (window != disabled->dialog && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        try {
            disabled->windows.push_back(window);
        } catch (...) {
            return FALSE; // out of memory: the windows collected so far are disabled
        }
    }
    return TRUE;
}

// The dialog's controls have their procedures in the common controls library. When another
// thread has to destroy them after we are gone, that library must still be there, even if we
// were the last to use it.
void KeepCommonControlsLoaded() noexcept {
    HMODULE commonControls = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                         reinterpret_cast<LPCSTR>(&::InitCommonControlsEx), &commonControls);
}

} // namespace

HWND TfrmSettings::Control(int id) const noexcept {
    for (const win32::UniqueWindow& page : pages_) {
        if (page) {
            if (const HWND control = ::GetDlgItem(page.get(), id)) {
                return control;
            }
        }
    }
    return dialog_ ? ::GetDlgItem(dialog_.get(), id) : nullptr;
}

void TfrmSettings::CreateDialogWindow() {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const HMODULE module = win32::OwnModule();
    dialog_.reset(::CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, &DialogProc,
                                       reinterpret_cast<LPARAM>(this)));
    if (!dialog_) {
        win32::ThrowLastError("CreateDialogParamA");
    }
    const HWND pageControl = ::GetDlgItem(dialog_.get(), IDC_PAGES);
    RECT area{};
    ::GetClientRect(pageControl, &area);
    for (int i = 0; i < 2; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(kPageTitles[i]);
        ::SendMessageA(pageControl, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageA(pageControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    ::MapWindowPoints(pageControl, dialog_.get(), reinterpret_cast<POINT*>(&area), 2);
    for (int i = 0; i < 2; ++i) {
        pages_[i].reset(::CreateDialogParamA(module, MAKEINTRESOURCEA(kPageDialogs[i]), dialog_.get(), &DialogProc,
                                             reinterpret_cast<LPARAM>(this)));
        if (!pages_[i]) {
            win32::ThrowLastError("CreateDialogParamA");
        }
        ::SetWindowPos(pages_[i].get(), HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top, 0);
    }
    titleFont_.reset(::CreateFontA(-kTitleFontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                   "Arial"));
    ::SendMessageA(Control(IDC_LABEL3), WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.get()), FALSE);
}

void TfrmSettings::DestroyDialogWindow() noexcept {
    if (dialog_ && ::GetWindowThreadProcessId(dialog_.get(), nullptr) != ::GetCurrentThreadId()) {
        KeepCommonControlsLoaded();
    }
    for (win32::UniqueWindow& page : pages_) {
        page.reset();
    }
    dialog_.reset();
    titleFont_.reset(); // a dialog left to another thread is hidden and never paints again
}

INT_PTR CALLBACK TfrmSettings::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<TfrmSettings*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    try {
        return self->HandleDialogMessage(message, wParam, lParam);
    } catch (...) {
        return FALSE; // nothing crosses the dialog procedure
    }
}

INT_PTR TfrmSettings::HandleDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDC_MIDIOUT && code == CBN_SELCHANGE) {
            RunUserHandler(&TfrmSettings::cbMidiOutChange);
        } else if ((id == IDC_REOPEN || id == IDC_AGGRESSIVE || id == IDC_HARDSID2 || id == IDC_BEATFRAMES) &&
                   code == BN_CLICKED) {
            checked_[CheckIndex(id)] = ::SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
            RunUserHandler(id == IDC_REOPEN       ? &TfrmSettings::cbReopenClick
                           : id == IDC_AGGRESSIVE ? &TfrmSettings::SetAggressive
                           : id == IDC_HARDSID2   ? &TfrmSettings::cbHardSID2Click
                                                  : &TfrmSettings::cbBeatFramesClick);
        } else if (id == IDCANCEL) {
            FormCloseQuery(); // Escape, or the close command
        } else {
            return FALSE;
        }
        return TRUE;
    }
    case WM_CLOSE:
        FormCloseQuery();
        return TRUE;
    case WM_NOTIFY: {
        const auto* notice = reinterpret_cast<const NMHDR*>(lParam);
        if (notice->idFrom == IDC_PAGES && notice->code == TCN_SELCHANGE) {
            ShowPage(static_cast<int>(::SendMessageA(notice->hwndFrom, TCM_GETCURSEL, 0, 0)));
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void TfrmSettings::ShowPage(int index) {
    ::SendMessageA(Control(IDC_PAGES), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (int i = 0; i < 2; ++i) {
        ::ShowWindow(pages_[i].get(), i == index ? SW_SHOW : SW_HIDE);
    }
}

bool TfrmSettings::IsChecked(int id) const { return checked_[CheckIndex(id)]; }

void TfrmSettings::SetChecked(int id, bool checked, void (TfrmSettings::*handler)()) {
    if (checked_[CheckIndex(id)] == checked) {
        return;
    }
    checked_[CheckIndex(id)] = checked;
    ::SendMessageA(Control(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    (this->*handler)(); // a changed box runs its handler, however it changed
}

void TfrmSettings::trayClick() {
    if (!dialog_) {
        return;
    }
    if (::IsWindowVisible(dialog_.get())) {
        ::SetWindowPos(dialog_.get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ::SetForegroundWindow(dialog_.get()); // a click while the dialog is open raises it
        return;
    }
    // The player may unload us from another thread, or from a message that the modal loop
    // dispatches, while this thread runs the loop in our code: the library stays until this
    // thread is back in the player's loop, and only then goes (the hold's last act).
    const win32::TModuleHold hold(dialog_.get());
    ShowModal();
    ::SetWindowPos(dialog_.get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TfrmSettings::ShowModal() {
    DisabledWindows disabled{dialog_.get(), {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), &CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
    for (const HWND window : disabled.windows) {
        ::EnableWindow(window, FALSE);
    }

    if (!shownBefore_) {
        RECT frame{};
        ::GetWindowRect(dialog_.get(), &frame);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        ::SetWindowPos(dialog_.get(), nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                       (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        shownBefore_ = true;
    }
    ::ShowWindow(dialog_.get(), SW_SHOW);
    ::SetForegroundWindow(dialog_.get());

    MSG message{};
    while (::IsWindow(dialog_.get()) && ::IsWindowVisible(dialog_.get())) {
        const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(message.wParam)); // the host's loop must see it too
            break;
        }
        if (got == -1) {
            break;
        }
        // Key preview: the window sees every key before the control that has the focus.
        if (message.message == WM_KEYDOWN && (message.hwnd == dialog_.get() || ::IsChild(dialog_.get(), message.hwnd))) {
            FormKeyDown(static_cast<WORD>(message.wParam));
        }
        if (!::IsDialogMessageA(dialog_.get(), &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    if (::IsWindow(dialog_.get())) {
        ::ShowWindow(dialog_.get(), SW_HIDE);
    }
    for (const HWND window : disabled.windows) {
        if (::IsWindow(window)) {
            ::EnableWindow(window, TRUE);
        }
    }
}

bool TfrmSettings::FormCloseQuery() {
    ::ShowWindow(dialog_.get(), SW_HIDE); // ends the modal loop; closing is never refused
    return true;
}

void TfrmSettings::FormKeyDown(WORD key) {
    if (key == VK_ESCAPE) {
        ::SendMessageA(dialog_.get(), WM_CLOSE, 0, 0);
    }
}

} // namespace hardsid
