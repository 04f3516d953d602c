// SPDX-License-Identifier: GPL-2.0-or-later
// The replay host's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "player_driver.h"

namespace hardsid::replay {

inline constexpr const char* kReplayUsage =
    "usage: replay_host [--as PLAYER] [--seconds N] [--quiet] [TRACE]\n"
    "Loads hardsid.dll from this program's folder and replays a register trace on device 0:\n"
    "the default tune unless a text or binary TRACE file is named.\n"
    "  --seconds N  stop after N seconds of the trace (N may have decimals)\n"
    "  --as PLAYER  call the library as that family of players does: sidplayfp,\n"
    "               goattracker or vice (default: replay, this program's own way)\n"
    "  --quiet      no progress line, only the summary\n";

struct ReplayOptions {
    std::string tracePath;                 ///< empty: the default tune
    std::optional<uint64_t> maxCycles;     ///< from --seconds
    PlayerFamily player = PlayerFamily::Replay;
    bool quiet = false;
    bool help = false;
};

/// Throws std::invalid_argument with a message for the user.
ReplayOptions ParseReplayOptions(const std::vector<std::string>& args);

} // namespace hardsid::replay
