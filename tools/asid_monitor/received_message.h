// SPDX-License-Identifier: GPL-2.0-or-later
// What a MIDI device received: System Exclusive messages with where they came from and,
// when the capture has them, when.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hardsid::monitor {

/// A place in the capture: a byte offset in a raw file, or a line of a record and the
/// offset inside that line's message bytes.
struct Location {
    size_t line = 0; ///< 0 for a raw file
    size_t offset = 0;
    std::string Text() const;
};

struct ReceivedMessage {
    Location where;
    std::vector<uint8_t> bytes; ///< F0 .. F7 as received
    std::optional<double> seconds; ///< time stamp, from the capture's start
};

/// Something wrong with the capture that is not one whole message: stray bytes, a message
/// cut short, an unreadable record line.
struct CaptureProblem {
    Location where;
    std::string what;
};

struct Capture {
    std::vector<ReceivedMessage> messages;
    std::vector<CaptureProblem> problems;
    size_t totalBytes = 0;     ///< every byte received, stray ones included
    size_t refusedSends = 0;   ///< sends that the device refused: nothing arrived
    bool hasTimeStamps = false;
    std::string kind;          ///< "raw .syx" or "winmm record"
};

} // namespace hardsid::monitor
