// SPDX-License-Identifier: GPL-2.0-or-later
// Everything the monitor reports about a capture: message counts, rates, frame intervals,
// the receiver's registers and every malformed message.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "interval_stats.h"
#include "received_message.h"
#include "receiver_registers.h"

namespace hardsid::monitor {

inline constexpr double kMidiBaud = 31250;
inline constexpr double kWireBitsPerByte = 10; // start bit, 8 data bits, stop bit

/// Share of a MIDI link's capacity that a byte rate uses (1 = the link is full).
double MidiLinkShare(double bytesPerSecond) noexcept;

struct FrameActivity {
    std::optional<double> seconds; ///< when the frame arrived, if the capture says
    size_t index = 0;              ///< frame number from 0
    std::vector<RegisterWrite> writes;
    bool afterStart = false; ///< a start message came since the previous frame
};

struct CaptureAnalysis {
    size_t starts = 0, stops = 0, frames = 0, displayTexts = 0;
    std::vector<CaptureProblem> malformed; ///< in capture order, stray bytes included
    size_t totalBytes = 0;
    std::optional<double> spanSeconds;     ///< first to last message
    std::optional<double> framesPerSecond; ///< over the span of the frames
    std::optional<double> bytesPerSecond;
    std::vector<double> frameIntervalsMs;
    IntervalStats intervals;
    std::vector<FrameActivity> activity;
    std::array<uint8_t, kReceiverRegisters> finalRegisters{};
    size_t registerWrites = 0;
    size_t secondControlWrites = 0;
};

CaptureAnalysis AnalyseCapture(const Capture& capture);

} // namespace hardsid::monitor
