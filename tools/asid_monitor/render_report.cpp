// SPDX-License-Identifier: GPL-2.0-or-later
#include "render_report.h"

#include <cstdio>

#include "monitor_report.h"

namespace hardsid::monitor {


const char* ChipName(ChipModel model) noexcept { return model == ChipModel::Mos8580 ? "8580" : "6581"; }

void PrintRendering(std::ostream& out, const std::string& what, const Rendering& r, ChipModel model,
                    const std::string& wavPath) {
    const TuneImage& image = r.image;
    out << what << ": " << image.placedWrites << " writes, placed within " << FormatFigure("%.1f", image.meanErrorUs)
        << " us on average (max " << FormatFigure("%.1f", image.maxErrorUs) << " us) of their time\n";
    if (image.droppedWrites != 0) {
        out << what << ": rendered only the first " << FormatFigure("%.2f", image.renderedSeconds) << " s: the emulated "
            << "machine's memory holds no more (" << image.droppedWrites << " writes left out)\n";
    }
    const double seconds = r.pcm.Seconds();
    out << what << ": " << FormatFigure("%.2f", seconds) << " s of sound in " << FormatFigure("%.2f", r.processorSeconds)
        << " s of processor time (" << FormatFigure("%.1f", seconds > 0 ? 1000 * r.processorSeconds / seconds : 0)
        << " ms per second of music)\n";
    out << "wav: " << wavPath << " (" << r.pcm.rate << " Hz, 16-bit, " << (r.pcm.channels == 2 ? "stereo" : "mono")
        << ", reSIDfp " << ChipName(model) << ")\n";
}

void PrintCableDelay(std::ostream& out, const ReceivedSchedule& received) {
    out << "received: each frame plays when its last byte is in, over a 31250-baud cable: "
        << FormatFigure("%.2f", received.meanCableDelayMs) << " ms after its send on average (max "
        << FormatFigure("%.2f", received.maxCableDelayMs) << " ms)\n";
}

void PrintComparison(std::ostream& out, const SoundComparison& c) {
    out << "received against reference: the received sound comes " << FormatFigure("%.1f", c.lagMs)
        << " ms later; compared with that taken out, per second:\n"
           "  second  received dB  reference dB  level difference dB  spectral distance dB\n";
    for (const SecondComparison& s : c.seconds) {
        char line[128];
        if (s.silent) {
            std::snprintf(line, sizeof line, "  %6d  silent\n", s.second);
        } else {
            std::snprintf(line, sizeof line, "  %6d  %11.1f  %12.1f  %19.2f  %20.2f\n", s.second, s.receivedDb,
                          s.referenceDb, s.levelDifferenceDb, s.spectralDistanceDb);
        }
        out << line;
    }
    out << "level difference: mean " << FormatFigure("%.2f", c.meanAbsLevelDifferenceDb) << " dB, max "
        << FormatFigure("%.2f", c.maxAbsLevelDifferenceDb) << " dB; spectral distance: mean "
        << FormatFigure("%.2f", c.meanSpectralDistanceDb) << " dB, max " << FormatFigure("%.2f", c.maxSpectralDistanceDb)
        << " dB\n";
}

} // namespace hardsid::monitor
