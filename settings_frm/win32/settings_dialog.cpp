// SPDX-License-Identifier: GPL-2.0-or-later
// The settings dialog: created hidden at load, shown modally from the tray icon, hidden
// again when closed. Its two pages are child dialogs inside the page control.
#include <windows.h>
#include <commctrl.h>

#include <system_error>
#include <vector>

#include "resources/resource_ids.h"
#include "settings_form.h"
#include "win32/hidden_window.h"

namespace hardsid {

namespace {

constexpr int kTitleFontHeight = 16;
constexpr const char* kPageTitles[] = {"Options", "About"};
constexpr int kPageDialogs[] = {IDD_PAGE_OPTIONS, IDD_PAGE_ABOUT};

int CheckIndex(int id) { return id == IDC_REOPEN ? 0 : id == IDC_AGGRESSIVE ? 1 : 2; }

// The thread's other windows that a modal showing disables, and enables again after.
struct DisabledWindows {
    HWND dialog;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM context) {
    auto* disabled = reinterpret_cast<DisabledWindows*>(context);
    if (window != disabled->dialog && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        disabled->windows.push_back(window);
    }
    return TRUE;
}

[[noreturn]] void ThrowLastError(const char* what) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

// A window of another thread cannot be destroyed from here: take our procedure away and
// let its own thread close it.
void DestroyFromAnyThread(HWND window) noexcept {
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
        ::DestroyWindow(window);
        return;
    }
    ::SetWindowLongPtrA(window, DWLP_DLGPROC, 0);
    ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
    ::PostMessageA(window, WM_CLOSE, 0, 0);
}

} // namespace

HWND TfrmSettings::Control(int id) const noexcept {
    for (const HWND page : pages_) {
        if (page != nullptr) {
            if (const HWND control = ::GetDlgItem(page, id)) {
                return control;
            }
        }
    }
    return dialog_ != nullptr ? ::GetDlgItem(dialog_, id) : nullptr;
}

void TfrmSettings::CreateDialogWindow() {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const HMODULE module = win32::OwnModule();
    dialog_ = ::CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, &DialogProc,
                                   reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) {
        ThrowLastError("CreateDialogParamA");
    }
    const HWND pageControl = ::GetDlgItem(dialog_, IDC_PAGES);
    RECT area{};
    ::GetClientRect(pageControl, &area);
    for (int i = 0; i < 2; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(kPageTitles[i]);
        ::SendMessageA(pageControl, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageA(pageControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    ::MapWindowPoints(pageControl, dialog_, reinterpret_cast<POINT*>(&area), 2);
    for (int i = 0; i < 2; ++i) {
        pages_[i] = ::CreateDialogParamA(module, MAKEINTRESOURCEA(kPageDialogs[i]), dialog_, &DialogProc,
                                         reinterpret_cast<LPARAM>(this));
        if (pages_[i] == nullptr) {
            ThrowLastError("CreateDialogParamA");
        }
        ::SetWindowPos(pages_[i], HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top, 0);
    }
    titleFont_ = ::CreateFontA(-kTitleFontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    ::SendMessageA(Control(IDC_LABEL3), WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_), FALSE);
}

void TfrmSettings::DestroyDialogWindow() noexcept {
    if (dialog_ != nullptr) {
        DestroyFromAnyThread(dialog_); // the pages go with it
        dialog_ = nullptr;
        pages_[0] = pages_[1] = nullptr;
    }
    if (titleFont_ != nullptr) {
        ::DeleteObject(titleFont_);
        titleFont_ = nullptr;
    }
}

INT_PTR CALLBACK TfrmSettings::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
        } else if ((id == IDC_REOPEN || id == IDC_AGGRESSIVE || id == IDC_HARDSID2) && code == BN_CLICKED) {
            checked_[CheckIndex(id)] = ::SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
            RunUserHandler(id == IDC_REOPEN       ? &TfrmSettings::cbReopenClick
                           : id == IDC_AGGRESSIVE ? &TfrmSettings::SetAggressive
                                                  : &TfrmSettings::cbHardSID2Click);
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
        ::ShowWindow(pages_[i], i == index ? SW_SHOW : SW_HIDE);
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
    if (dialog_ == nullptr) {
        return;
    }
    if (!::IsWindowVisible(dialog_)) {
        ShowModal();
    }
    ::SetWindowPos(dialog_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (::IsWindowVisible(dialog_)) {
        ::SetForegroundWindow(dialog_); // a click while the dialog is open raises it
    }
}

void TfrmSettings::ShowModal() {
    DisabledWindows disabled{dialog_, {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), &CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
    for (const HWND window : disabled.windows) {
        ::EnableWindow(window, FALSE);
    }

    if (!shownBefore_) {
        RECT frame{};
        ::GetWindowRect(dialog_, &frame);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        ::SetWindowPos(dialog_, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                       (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        shownBefore_ = true;
    }
    ::ShowWindow(dialog_, SW_SHOW);
    ::SetForegroundWindow(dialog_);

    MSG message{};
    while (::IsWindow(dialog_) && ::IsWindowVisible(dialog_)) {
        const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(message.wParam)); // the host's loop must see it too
            break;
        }
        if (got == -1) {
            break;
        }
        // Key preview: the window sees every key before the control that has the focus.
        if (message.message == WM_KEYDOWN && (message.hwnd == dialog_ || ::IsChild(dialog_, message.hwnd))) {
            FormKeyDown(static_cast<WORD>(message.wParam));
        }
        if (!::IsDialogMessageA(dialog_, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    if (::IsWindow(dialog_)) {
        ::ShowWindow(dialog_, SW_HIDE);
    }
    for (const HWND window : disabled.windows) {
        if (::IsWindow(window)) {
            ::EnableWindow(window, TRUE);
        }
    }
}

bool TfrmSettings::FormCloseQuery() {
    ::ShowWindow(dialog_, SW_HIDE); // ends the modal loop; closing is never refused
    return true;
}

void TfrmSettings::FormKeyDown(WORD key) {
    if (key == VK_ESCAPE) {
        ::SendMessageA(dialog_, WM_CLOSE, 0, 0);
    }
}

} // namespace hardsid
