// SPDX-License-Identifier: GPL-2.0-or-later
// Reads what a device received: a raw .syx byte stream, or the record that the scripted
// winmm test double writes (one line per call; see tests/winmm_double/README.md).
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "received_message.h"

namespace hardsid::monitor {

/// The file as a whole cannot be used: missing, empty, too large.
class CaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class CaptureFormat { Detect, RawSysEx, WinmmRecord };

/// Captures above this size are refused (an hour of frames is about 5 MB raw).
inline constexpr uintmax_t kMaxCaptureFileSize = 256u << 20;

Capture ReadRawSysEx(std::span<const uint8_t> bytes);

/// Messages are the data of successful midiOutLongMsg lines, stamped with the line's
/// counter over the frequency of the "start" line.
Capture ReadWinmmRecord(std::string_view text);

/// A record begins with a counter stamp (a digit); anything else is read as raw bytes.
Capture ReadCaptureFile(const std::string& path, CaptureFormat format);

} // namespace hardsid::monitor
