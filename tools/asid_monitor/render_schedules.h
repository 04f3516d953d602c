// SPDX-License-Identifier: GPL-2.0-or-later
// What the renderer plays: the frames as a receiver gets them, or the trace as the player
// wrote it.
#pragma once

#include <stdexcept>

#include "capture_analysis.h"
#include "received_message.h"
#include "timed_write.h"
#include "tools/trace/trace.h"

namespace hardsid::monitor {

/// A 31250-baud cable takes 320 µs a byte.
inline constexpr double kCableSecondsPerByte = kWireBitsPerByte / kMidiBaud;
/// A capture without time stamps is taken as one frame every 20 ms.
inline constexpr double kUntimedFrameSeconds = 0.020;
/// How long the last notes sound after the last message.
inline constexpr double kTailSeconds = 0.5;

class ScheduleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ReceivedSchedule {
    WriteSchedule schedule;
    double meanCableDelayMs = 0; ///< from the send to the frame's last byte
    double maxCableDelayMs = 0;
};

/// A receiver that plays each frame when its last byte has arrived over a MIDI cable, writing
/// the slots in slot order (the second control slots last). Time zero is the first frame's
/// send. Throws ScheduleError when the capture holds malformed messages or no frame.
ReceivedSchedule ScheduleReceivedFrames(const Capture& capture, const CaptureAnalysis& analysis);

/// The trace's writes at their cycles (1 µs each), the end included.
WriteSchedule ScheduleTrace(const trace::Trace& trace);

} // namespace hardsid::monitor
