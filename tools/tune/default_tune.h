// SPDX-License-Identifier: GPL-2.0-or-later
// The tune played when no trace is named: three voices, about 20 seconds, composed here by a
// 50 Hz player routine. It exercises arpeggios, a pulse-width sweep, a filter sweep and hard
// restarts that write a voice's control register two or three times within one call.
#pragma once

#include <string>

#include "tools/trace/trace.h"

namespace hardsid::tune {

/// The same trace on every call and every build.
trace::Trace ComposeDefaultTune();

/// A few comment lines that say what the trace is, for its text form.
std::string DefaultTuneDescription();

} // namespace hardsid::tune
