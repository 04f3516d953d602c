// SPDX-License-Identifier: GPL-2.0-or-later
// Keeps the library loaded while a thread runs inside it for long (a modal loop), so that an
// unload from another thread cannot take the code from under it.
#pragma once

#include <windows.h>

namespace hardsid::win32 {

/// Takes a reference to the library that holds this code; gives it back once the holding
/// thread has left the library's code.
///
/// The release may be the library's last reference, and the holder's thread is still inside
/// the library when the hold ends. So a thread of its own gives the reference back: it first
/// sends a message to a window of the holding thread, which is answered only once that thread
/// waits for messages again outside the library, and then unloads with FreeLibraryAndExitThread,
/// which returns into no code of ours. Under the loader lock nothing waits for anybody.
class TModuleHold {
public:
    /// window: a window of the calling thread that lives as long as the library.
    explicit TModuleHold(HWND window) noexcept;
    ~TModuleHold();
    TModuleHold(const TModuleHold&) = delete;
    TModuleHold& operator=(const TModuleHold&) = delete;

private:
    HMODULE module_ = nullptr;
    HWND window_;
};

} // namespace hardsid::win32
