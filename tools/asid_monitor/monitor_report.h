// SPDX-License-Identifier: GPL-2.0-or-later
// The monitor's printed summary.
#pragma once

#include <ostream>
#include <string>

#include "capture_analysis.h"

namespace hardsid::monitor {

/// Malformed messages beyond this many are counted, not listed.
inline constexpr size_t kMaxListedProblems = 50;

/// One figure through a printf format, such as "%.1f".
std::string FormatFigure(const char* format, double value);

void PrintReport(std::ostream& out, const std::string& name, const Capture& capture, const CaptureAnalysis& analysis);

} // namespace hardsid::monitor
