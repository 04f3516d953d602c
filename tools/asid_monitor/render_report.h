// SPDX-License-Identifier: GPL-2.0-or-later
// The monitor's lines about renderings and their comparison.
#pragma once

#include <ostream>
#include <string>

#include "render_schedules.h"
#include "sid_render.h"
#include "sound_compare.h"

namespace hardsid::monitor {

const char* ChipName(ChipModel model) noexcept;

/// Where the writes landed, what the rendering cost, and where the WAV went.
void PrintRendering(std::ostream& out, const std::string& what, const Rendering& r, ChipModel model,
                    const std::string& wavPath);

void PrintCableDelay(std::ostream& out, const ReceivedSchedule& received);

void PrintComparison(std::ostream& out, const SoundComparison& c);

} // namespace hardsid::monitor
