// SPDX-License-Identifier: GPL-2.0-or-later
// The real library's stored settings, as the tests that load it set them up and clear them.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "win32/unique_reg_key.h"

namespace hardsid::test {

inline constexpr const char* kSettingsKey = "Software\\Velmoran\\hardsid.dll\\";

/// No stored setting: the library starts from its defaults.
inline void ClearSettings() { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKey); }

inline void StoreSetting(const char* name, DWORD value) {
    win32::UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value), ERROR_SUCCESS);
}

} // namespace hardsid::test
