// SPDX-License-Identifier: GPL-2.0-or-later
#include "module_hold.h"

#include <new>

namespace hardsid::win32 {
namespace {

struct Release {
    HMODULE module;
    HWND window;
};

DWORD WINAPI ReleaseWhenTheHolderIsBack(void* context) noexcept {
    const Release release = *static_cast<Release*>(context);
    delete static_cast<Release*>(context);
    // Answered by the holding thread's next wait for messages (or at once when it is gone).
    ::SendMessageA(release.window, WM_NULL, 0, 0);
    ::FreeLibraryAndExitThread(release.module, 0);
}

} // namespace

TModuleHold::TModuleHold(HWND window) noexcept : window_(window) {
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ReleaseWhenTheHolderIsBack),
                              &module_)) {
        module_ = nullptr;
    }
}

TModuleHold::~TModuleHold() {
    if (module_ == nullptr) {
        return;
    }
    auto* release = new (std::nothrow) Release{module_, window_};
    const HANDLE thread =
        release != nullptr ? ::CreateThread(nullptr, 0, &ReleaseWhenTheHolderIsBack, release, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        delete release; // the reference stays: the library stays loaded, which is safe
        return;
    }
    ::CloseHandle(thread);
}

} // namespace hardsid::win32
