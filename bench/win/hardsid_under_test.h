// SPDX-License-Identifier: GPL-2.0-or-later
// hardsid.dll loaded by path from the bench's own folder, as a player loads it, and the
// scripted winmm beside it when there is one.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "hardsid/hardsid_api.h"

namespace hardsid::bench {

struct HardSidCalls {
    decltype(&::HardSID_Read) HardSID_Read = nullptr;
    decltype(&::HardSID_Write) HardSID_Write = nullptr;
    decltype(&::HardSID_Delay) HardSID_Delay = nullptr;
    decltype(&::SetDebug) SetDebug = nullptr;
};

/// The folder of this program, with a trailing backslash.
std::string ProgramFolder();
/// Where the bench loads the library from.
std::string HardSidPath();

/// Loaded for the object's lifetime; the constructor throws std::runtime_error when the
/// library or one of its entry points is missing.
class HardSidUnderTest {
public:
    HardSidUnderTest();
    ~HardSidUnderTest();
    HardSidUnderTest(const HardSidUnderTest&) = delete;
    HardSidUnderTest& operator=(const HardSidUnderTest&) = delete;

    const HardSidCalls& Calls() const noexcept { return calls_; }

private:
    HMODULE module_ = nullptr;
    HardSidCalls calls_;
};

/// The scripted winmm, if the loader gives us the double; a real winmm has no such exports.
class ScriptedWinmm {
public:
    ScriptedWinmm();
    bool Present() const noexcept { return configure_ != nullptr; }
    /// Replaces the double's settings; false when absent or refused.
    bool Configure(const std::string& settings) const;

private:
    int(WINAPI* configure_)(const char* settings) = nullptr;
};

} // namespace hardsid::bench
