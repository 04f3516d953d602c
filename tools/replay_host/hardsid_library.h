// SPDX-License-Identifier: GPL-2.0-or-later
// hardsid.dll loaded from the program's own folder, with the entry points a player uses.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "hardsid/hardsid_api.h"
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
    decltype(&::InitHardSID_Mapper) InitHardSID_Mapper = nullptr;
    decltype(&::HardSID_Version) HardSID_Version = nullptr;
    decltype(&::HardSID_Devices) HardSID_Devices = nullptr;
    decltype(&::HardSID_Lock) HardSID_Lock = nullptr;
    decltype(&::HardSID_Flush) HardSID_Flush = nullptr;
    decltype(&::HardSID_Write) HardSID_Write = nullptr;
    decltype(&::HardSID_Delay) HardSID_Delay = nullptr;
    decltype(&::HardSID_Unlock) HardSID_Unlock = nullptr;
    decltype(&::GetHardSIDCount) GetHardSIDCount = nullptr;
    decltype(&::HardSID_SoftFlush) HardSID_SoftFlush = nullptr;
    decltype(&::HardSID_Read) HardSID_Read = nullptr;
    decltype(&::HardSID_Reset2) HardSID_Reset2 = nullptr;
    decltype(&::HardSID_Sync) HardSID_Sync = nullptr;
    decltype(&::MuteHardSID_Line) MuteHardSID_Line = nullptr;
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
