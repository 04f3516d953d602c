// SPDX-License-Identifier: GPL-2.0-or-later
// Owners of windows and GDI objects, and destruction of a window from any thread.
#pragma once

#include <windows.h>

#include "win32/unique_handle.h"

namespace hardsid::win32 {

/// Throws std::system_error with the calling thread's last error.
[[noreturn]] void ThrowLastError(const char* what);

/// Destroys a window of the calling thread at once. A window of another thread cannot be
/// destroyed from here, and the library may be gone before that thread looks at its messages:
/// the window and its child dialogs lose every procedure of ours (default handling instead,
/// no dialog procedure, no data), and WM_CLOSE is posted so that its own thread destroys it
/// with system code only.
void DestroyFromAnyThread(HWND window) noexcept;

using UniqueWindow = UniqueAny<HWND, DestroyFromAnyThread, nullptr>;

namespace detail {
inline void DeleteFont(HFONT font) noexcept { ::DeleteObject(font); }
} // namespace detail

using UniqueFont = UniqueAny<HFONT, detail::DeleteFont, nullptr>;

} // namespace hardsid::win32
