// SPDX-License-Identifier: GPL-2.0-or-later
// A PNG of the inter-frame interval histogram and the register-activity timeline, drawn by
// gnuplot (Debian's gnuplot-nox, png terminal).
#pragma once

#include <string>

#include "capture_analysis.h"
#include "gnuplot_run.h"

namespace hardsid::monitor {

/// Histogram bin width in ms: a tenth of a millisecond, widened so that no more than 200
/// bins cover the intervals' range.
double IntervalBinWidthMs(const IntervalStats& stats) noexcept;

/// The whole gnuplot script, data included. Without time stamps there is no histogram and
/// the timeline counts frames instead of seconds.
std::string PlotScript(const CaptureAnalysis& analysis, const std::string& title, const std::string& pngPath);

/// Runs gnuplot on the script; throws PlotError when gnuplot is missing or fails.
void WritePlot(const CaptureAnalysis& analysis, const std::string& title, const std::string& pngPath);

} // namespace hardsid::monitor
