// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings_override.h"

#include "win32/unique_reg_key.h"

namespace hardsid::bench {

namespace {

constexpr const char* kSettingsKey = "Software\\Velmoran\\hardsid.dll\\";

std::optional<DWORD> ReadSetting(const char* name) {
    win32::UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

} // namespace

SettingsOverride::SettingsOverride() {
    for (const char* name : {kSettingMidiOut, kSettingReopenMidi, kSettingAggressiveWait}) {
        saved_.push_back({name, ReadSetting(name)});
    }
}

SettingsOverride::~SettingsOverride() {
    win32::UniqueRegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
        return;
    }
    for (const Saved& setting : saved_) {
        if (setting.value) {
            ::RegSetValueExA(key.get(), setting.name.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&*setting.value), sizeof(DWORD));
        } else {
            ::RegDeleteValueA(key.get(), setting.name.c_str());
        }
    }
}

bool SettingsOverride::Store(const char* name, DWORD value) {
    win32::UniqueRegKey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return ::RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

} // namespace hardsid::bench
