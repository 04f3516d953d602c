// SPDX-License-Identifier: GPL-2.0-or-later
#include "hidden_window.h"

#include <system_error>
#include <utility>

namespace hardsid::win32 {
namespace {

LRESULT CALLBACK HiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* handler = reinterpret_cast<IWindowHandler*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (handler == nullptr) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    return handler->HandleMessage(window, message, wParam, lParam);
}

[[noreturn]] void ThrowLastError(const char* what) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

// The class procedure is DefWindowProcA, which lives as long as the process: a class left
// registered (by a window that another thread still had to close) stays harmless after we
// unload, and the next load finds it again.
void RegisterOrFindClass(const char* className) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = OwnModule();
    windowClass.lpszClassName = className;
    if (::RegisterClassExA(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError("RegisterClassExA");
    }
}

} // namespace

HMODULE OwnModule() noexcept {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

THiddenWindow::THiddenWindow(const char* className, IWindowHandler& handler) : className_(className) {
    RegisterOrFindClass(className);
    window_ = ::CreateWindowExA(0, className, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, OwnModule(), nullptr);
    if (window_ == nullptr) {
        const DWORD error = ::GetLastError();
        ::UnregisterClassA(className, OwnModule());
        ::SetLastError(error);
        ThrowLastError("CreateWindowExA");
    }
    ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handler));
    ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HiddenWindowProc));
}

THiddenWindow::THiddenWindow(THiddenWindow&& other) noexcept
    : window_(std::exchange(other.window_, nullptr)), className_(std::move(other.className_)) {}

THiddenWindow& THiddenWindow::operator=(THiddenWindow&& other) noexcept {
    if (this != &other) {
        reset();
        window_ = std::exchange(other.window_, nullptr);
        className_ = std::move(other.className_);
    }
    return *this;
}

void THiddenWindow::reset() noexcept {
    const HWND window = std::exchange(window_, nullptr);
    if (window == nullptr) {
        return;
    }
    ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
        ::DestroyWindow(window);
    } else {
        ::PostMessageA(window, WM_CLOSE, 0, 0); // DefWindowProcA destroys it on its own thread
    }
    // Refused while another window of the class exists: the last one to go unregisters it.
    ::UnregisterClassA(className_.c_str(), OwnModule());
}

} // namespace hardsid::win32
