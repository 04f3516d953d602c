// SPDX-License-Identifier: GPL-2.0-or-later
// The settings (midi_Out, reopen_midi, aggressiveWait, hardsid_V2, beatFrames) as REG_DWORD values under
// HKEY_LOCAL_MACHINE\Software\Velmoran\hardsid.dll\, opened afresh for every access.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace hardsid::win32 {

inline constexpr const char* kSettingsKeyPath = "Software\\Velmoran\\hardsid.dll\\";
inline constexpr const char* kSettingMidiOut = "midi_Out";
inline constexpr const char* kSettingReopenMidi = "reopen_midi";
inline constexpr const char* kSettingAggressiveWait = "aggressiveWait";
inline constexpr const char* kSettingHardSID2 = "hardsid_V2";
inline constexpr const char* kSettingBeatFrames = "beatFrames";
inline constexpr int32_t kSettingMissing = -1;

/// A refused write, or a stored value that is not a 4-byte REG_DWORD; the text names it.
class ESettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSettingsStore {
public:
    explicit TSettingsStore(HKEY root = HKEY_LOCAL_MACHINE, const char* path = kSettingsKeyPath)
        : root_(root), path_(path) {}

    /// The stored value, or -1 when it is not stored (or the key cannot be opened at all).
    /// Throws ESettingsError when the value has another type.
    int32_t ReadSetting(const char* name) const;
    /// Stores the value, creating key and value as needed. Throws ESettingsError when refused.
    void WriteSetting(const char* name, int32_t value) const;

private:
    HKEY root_;
    std::string path_;
};

} // namespace hardsid::win32
