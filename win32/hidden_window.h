// SPDX-License-Identifier: GPL-2.0-or-later
// Hidden windows that receive posted notices (MIDI completions, tray clicks) for an owner
// object, and whose procedure never outlives the library that made them.
#pragma once

#include <windows.h>

namespace hardsid::win32 {

/// The module that holds this code: the DLL when linked into it, never the host program.
HMODULE OwnModule() noexcept;

/// The owner of a hidden window; gets every message after the window's creation.
class IWindowHandler {
public:
    /// Runs on the window's thread; must not throw. Unhandled messages go to DefWindowProcA.
    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept = 0;

protected:
    ~IWindowHandler() = default;
};

/// A never-shown window of the calling thread, move-only.
///
/// The window is of the system's static class, titled with the given name, and subclassed to
/// a procedure of ours that hands each message to the handler kept in GWLP_USERDATA. No class
/// of ours is registered, so nothing is left registered when the library goes.
///
/// Destruction gives the window DefWindowProcA back before anything else, so that no message
/// reaches the handler or this library again. On the window's own thread it then destroys the
/// window; on any other thread, where DestroyWindow fails, it posts WM_CLOSE so that the owning
/// thread destroys it when it next dispatches messages.
class THiddenWindow {
public:
    THiddenWindow() = default;
    /// Throws std::system_error when the window cannot be created.
    THiddenWindow(const char* name, IWindowHandler& handler);
    ~THiddenWindow() { reset(); }
    THiddenWindow(THiddenWindow&& other) noexcept;
    THiddenWindow& operator=(THiddenWindow&& other) noexcept;
    THiddenWindow(const THiddenWindow&) = delete;
    THiddenWindow& operator=(const THiddenWindow&) = delete;

    HWND get() const noexcept { return window_; }
    explicit operator bool() const noexcept { return window_ != nullptr; }
    /// Detaches the handler and destroys the window (see the class comment).
    void reset() noexcept;

private:
    HWND window_ = nullptr;
};

} // namespace hardsid::win32
