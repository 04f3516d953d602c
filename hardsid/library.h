// SPDX-License-Identifier: GPL-2.0-or-later
// What the entry points reach: the engine of the window object while the library is loaded.
#pragma once

#include "settings_frm/asid_engine.h"

namespace hardsid {

/// The engine, or none before the load has finished and after the unload has begun.
TAsidEngine* LibraryEngine() noexcept;
/// Whether the library acts as a HardSID 2 driver, as the settings said when it loaded.
bool HardSID2Profile() noexcept;

} // namespace hardsid
