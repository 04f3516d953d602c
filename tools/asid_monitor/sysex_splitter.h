// SPDX-License-Identifier: GPL-2.0-or-later
// Cuts a byte stream into System Exclusive messages (F0 .. F7) the way a receiver does.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "received_message.h"

namespace hardsid::monitor {

/// Appends the stream's messages and problems to capture. A message begins at F0 and ends at
/// F7; an F0 before the F7 starts the next message and leaves the first one unterminated;
/// bytes outside any message are reported as one problem per run. Other bytes of 80 or more
/// stay inside the message for the checker to report. `at` is where byte 0 of the stream lies.
void SplitSysEx(std::span<const uint8_t> stream, Location at, std::optional<double> seconds, Capture& capture);

} // namespace hardsid::monitor
