// SPDX-License-Identifier: GPL-2.0-or-later
#include "window_owner.h"

#include <cstring>
#include <system_error>

namespace hardsid::win32 {
namespace {

bool IsDialog(HWND window) noexcept {
    char name[8] = {};
    return ::GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0;
}

void TakeDialogProcedureAway(HWND window) noexcept {
    if (IsDialog(window)) {
        ::SetWindowLongPtrA(window, DWLP_DLGPROC, 0);
        ::SetWindowLongPtrA(window, DWLP_USER, 0);
    }
}

BOOL CALLBACK TakeChildDialogProcedureAway(HWND window, LPARAM) noexcept {
    TakeDialogProcedureAway(window);
    return TRUE;
}

} // namespace

void ThrowLastError(const char* what) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

void DestroyFromAnyThread(HWND window) noexcept {
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
        ::DestroyWindow(window);
        return;
    }
    ::EnumChildWindows(window, &TakeChildDialogProcedureAway, 0);
    TakeDialogProcedureAway(window);
    // A dialog's own window procedure would only turn WM_CLOSE into a cancel command.
    ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    ::PostMessageA(window, WM_CLOSE, 0, 0);
}

} // namespace hardsid::win32
