// SPDX-License-Identifier: GPL-2.0-or-later
#include "hidden_window.h"

#include <utility>

#include "win32/window_owner.h"

namespace hardsid::win32 {
namespace {

LRESULT CALLBACK HiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* handler = reinterpret_cast<IWindowHandler*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (handler == nullptr) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    return handler->HandleMessage(window, message, wParam, lParam);
}

// A class of the system: nothing of ours stays registered when a window of another thread
// outlives the library, and its procedure is never ours once the subclass is taken away.
constexpr const char* kSystemClass = "Static";

} // namespace

HMODULE OwnModule() noexcept {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

THiddenWindow::THiddenWindow(const char* name, IWindowHandler& handler) {
    window_ = ::CreateWindowExA(0, kSystemClass, name, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, OwnModule(), nullptr);
    if (window_ == nullptr) {
        ThrowLastError("CreateWindowExA");
    }
    ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handler));
    ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HiddenWindowProc));
}

THiddenWindow::THiddenWindow(THiddenWindow&& other) noexcept : window_(std::exchange(other.window_, nullptr)) {}

THiddenWindow& THiddenWindow::operator=(THiddenWindow&& other) noexcept {
    if (this != &other) {
        reset();
        window_ = std::exchange(other.window_, nullptr);
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
    DestroyFromAnyThread(window);
}

} // namespace hardsid::win32
