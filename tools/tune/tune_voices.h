// SPDX-License-Identifier: GPL-2.0-or-later
// The default tune's instruments: what each voice of the player routine writes per call.
#pragma once

#include <cstdint>

#include "trace_recorder.h"

namespace hardsid::tune {

/// Voice 1: pulse bass through the filter, with a sweeping pulse width and a three-store
/// hard restart (gate off, test bit, gate on) on every note.
void PlayBass(TraceRecorder& out, int tick);

/// Voice 2: sawtooth arpeggio over the bar's chord, with a two-store hard restart (test bit,
/// gate on) every half bar.
void PlayArpeggio(TraceRecorder& out, int tick);

/// Voice 3: triangle melody with delayed vibrato; a new note toggles the gate off and on.
void PlayLead(TraceRecorder& out, int tick);

/// Filter cutoff sweep, routing and volume, with the fade at the end.
void PlayFilter(TraceRecorder& out, int tick);

/// A value that climbs from low to high by step per call and falls back the same way.
int Sweep(int position, int low, int high, int step) noexcept;

} // namespace hardsid::tune
