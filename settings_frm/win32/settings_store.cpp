// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings_store.h"

#include "win32/unique_reg_key.h"

namespace hardsid::win32 {

namespace {

UniqueRegKey OpenKey(HKEY root, const std::string& path, REGSAM access) {
    UniqueRegKey key;
    ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.put(), nullptr);
    return key;
}

} // namespace

int32_t TSettingsStore::ReadSetting(const char* name) const {
    UniqueRegKey key = OpenKey(root_, path_, KEY_ALL_ACCESS);
    if (!key) {
        // An ordinary user may not open a machine-wide key for writing; settings that an
        // administrator stored still apply.
        ::RegOpenKeyExA(root_, path_.c_str(), 0, KEY_READ, key.put());
    }
    if (!key) {
        return kSettingMissing;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return kSettingMissing;
    }
    DWORD value = 0;
    size = sizeof value;
    if (type != REG_DWORD ||
        ::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        size != sizeof value) {
        throw ESettingsError(std::string("Registry value ") + name + " is not a 32-bit number");
    }
    return static_cast<int32_t>(value);
}

void TSettingsStore::WriteSetting(const char* name, int32_t value) const {
    const UniqueRegKey key = OpenKey(root_, path_, KEY_ALL_ACCESS);
    const auto data = static_cast<DWORD>(value);
    if (!key || ::RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) !=
                    ERROR_SUCCESS) {
        throw ESettingsError(std::string("Could not save the setting ") + name + " in the registry");
    }
}

} // namespace hardsid::win32
