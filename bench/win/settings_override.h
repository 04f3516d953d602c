// SPDX-License-Identifier: GPL-2.0-or-later
// The library's stored settings, changed for the bench and put back afterwards, so that a
// run on a player's machine leaves its choices as they were.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace hardsid::bench {

inline constexpr const char* kSettingMidiOut = "midi_Out";
inline constexpr const char* kSettingReopenMidi = "reopen_midi";
inline constexpr const char* kSettingAggressiveWait = "aggressiveWait";

class SettingsOverride {
public:
    SettingsOverride();
    ~SettingsOverride();
    SettingsOverride(const SettingsOverride&) = delete;
    SettingsOverride& operator=(const SettingsOverride&) = delete;

    /// Stores one REG_DWORD value; false when the key cannot be written (no administrator).
    bool Store(const char* name, DWORD value);

private:
    struct Saved {
        std::string name;
        std::optional<DWORD> value; // none: the value did not exist
    };
    std::vector<Saved> saved_;
};

} // namespace hardsid::bench
