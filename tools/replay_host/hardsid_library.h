// SPDX-License-Identifier: GPL-2.0-or-later
// hardsid.dll loaded from the program's own folder, with the entry points a player uses.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "win32/unique_handle.h"

namespace hardsid::replay {

/// Why the library is unusable; exitCode tells the two cases apart for scripts.
class LibraryError : public std::runtime_error {
public:
    LibraryError(int exitCode, const std::string& what) : std::runtime_error(what), exitCode_(exitCode) {}
    int ExitCode() const noexcept { return exitCode_; }

private:
    int exitCode_;
};

inline constexpr int kExitLibraryNotLoaded = 3;
inline constexpr int kExitEntryPointMissing = 4;

struct HardSidEntryPoints {
    void(WINAPI* InitHardSID_Mapper)() = nullptr;
    WORD(WINAPI* HardSID_Version)() = nullptr;
    BYTE(WINAPI* HardSID_Devices)() = nullptr;
    BYTE(WINAPI* HardSID_Lock)(BYTE device) = nullptr;
    void(WINAPI* HardSID_Flush)(BYTE device) = nullptr;
    void(WINAPI* HardSID_Write)(BYTE device, WORD cycles, BYTE reg, BYTE value) = nullptr;
    void(WINAPI* HardSID_Delay)(BYTE device, WORD cycles) = nullptr;
    void(WINAPI* HardSID_Unlock)(BYTE device) = nullptr;
    BYTE(WINAPI* GetHardSIDCount)() = nullptr;
    void(WINAPI* HardSID_SoftFlush)(BYTE device) = nullptr;
    BYTE(WINAPI* HardSID_Read)(BYTE device, WORD cycles, BYTE reg) = nullptr;
    void(WINAPI* HardSID_Reset2)(BYTE device, BYTE volume) = nullptr;
    void(WINAPI* HardSID_Sync)(BYTE device) = nullptr;
    void(WINAPI* MuteHardSID_Line)(int mute) = nullptr;
};

class HardSidLibrary {
public:
    /// Loads <program folder>\hardsid.dll and resolves every entry point by name; throws
    /// LibraryError naming the path or the missing entry point.
    static HardSidLibrary LoadBesideProgram();

    const std::string& Path() const noexcept { return path_; }
    const HardSidEntryPoints& Calls() const noexcept { return calls_; }
    /// Leaves the library loaded until the process ends, as players that never free it do.
    void KeepLoaded() noexcept { static_cast<void>(module_.release()); }

private:
    static void Free(HMODULE module) noexcept { ::FreeLibrary(module); }

    std::string path_;
    win32::UniqueAny<HMODULE, Free> module_;
    HardSidEntryPoints calls_;
};

} // namespace hardsid::replay
