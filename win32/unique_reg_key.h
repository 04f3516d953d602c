// SPDX-License-Identifier: GPL-2.0-or-later
// Move-only owner of an open registry key.
#pragma once

#include <windows.h>

#include "win32/unique_handle.h"

namespace hardsid::win32 {

namespace detail {
inline void CloseRegKey(HKEY key) noexcept { ::RegCloseKey(key); }
} // namespace detail

using UniqueRegKey = UniqueAny<HKEY, detail::CloseRegKey, nullptr>;

} // namespace hardsid::win32
