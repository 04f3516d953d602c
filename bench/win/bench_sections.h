// SPDX-License-Identifier: GPL-2.0-or-later
// The three parts of the timing bench; each loads the library itself with the settings it
// needs and prints its own table.
#pragma once

#include "hardsid_under_test.h"
#include "settings_override.h"

namespace hardsid::bench {

struct BenchContext {
    SettingsOverride& settings;
    const ScriptedWinmm& winmm;
    std::string recordPath; // the double's record for the load figures (Windows path)
};

/// How far HardSID_Delay's wait lands from the requested time, relaxed and aggressive.
void PrintDelayErrors(BenchContext& context);
/// What one HardSID_Write with 0 cycles and no frame due costs beside one counter read.
void PrintWriteCost(BenchContext& context);
/// How long LoadLibrary takes with a stored device reopened at load, and FreeLibrary.
void PrintLoadTime(BenchContext& context);

} // namespace hardsid::bench
