// SPDX-License-Identifier: GPL-2.0-or-later
// Spectrograms of two renderings, one above the other, in a PNG drawn by gnuplot.
#pragma once

#include <string>

#include "gnuplot_run.h"
#include "sid_render.h"

namespace hardsid::monitor {

struct LabelledSound {
    const Pcm* pcm;
    std::string label;
};

/// The whole gnuplot script, data included: 0 to 8 kHz, dB full scale.
std::string SpectrogramScript(const LabelledSound& upper, const LabelledSound& lower, const std::string& pngPath);

/// Throws PlotError when gnuplot is missing or fails.
void WriteSpectrogram(const LabelledSound& upper, const LabelledSound& lower, const std::string& pngPath);

} // namespace hardsid::monitor
