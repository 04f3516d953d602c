// SPDX-License-Identifier: GPL-2.0-or-later
#include "default_tune.h"

#include "trace_recorder.h"
#include "tune_score.h"
#include "tune_voices.h"

namespace hardsid::tune {

trace::Trace ComposeDefaultTune() {
    TraceRecorder out;
    for (int tick = 0; tick < kTickCount; ++tick) {
        out.StartTick(static_cast<uint32_t>(tick));
        PlayBass(out, tick);
        PlayArpeggio(out, tick);
        PlayLead(out, tick);
        PlayFilter(out, tick);
    }
    return out.Finish(kTickCount);
}

std::string DefaultTuneDescription() {
    return "The default tune: " + std::to_string(kTickCount) + " player calls of " +
           std::to_string(kCyclesPerTick) + " cycles (1 cycle = 1 microsecond).\n"
           "Voice 1 pulse bass with a pulse-width sweep through a filter sweep, voice 2 arpeggios,\n"
           "voice 3 melody; hard restarts store a control register two or three times per call.";
}

} // namespace hardsid::tune
