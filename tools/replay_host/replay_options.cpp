// SPDX-License-Identifier: GPL-2.0-or-later
#include "replay_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace hardsid::replay {

namespace {

constexpr double kCyclesPerSecond = 1e6;
constexpr double kMaxSeconds = 1e9; // far beyond any trace; keeps the cycle count in range

uint64_t ParseSeconds(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !std::isfinite(seconds) ||
        seconds <= 0 || seconds > kMaxSeconds) {
        throw std::invalid_argument("--seconds needs a positive number of seconds, not '" + text + "'");
    }
    return static_cast<uint64_t>(std::llround(seconds * kCyclesPerSecond));
}

} // namespace

ReplayOptions ParseReplayOptions(const std::vector<std::string>& args) {
    ReplayOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--seconds") {
            if (i + 1 == args.size()) {
                throw std::invalid_argument("--seconds needs a value");
            }
            options.maxCycles = ParseSeconds(args[++i]);
        } else if (arg == "--as") {
            if (i + 1 == args.size()) {
                throw std::invalid_argument("--as needs a player: sidplayfp, goattracker or vice");
            }
            const std::optional<PlayerFamily> player = ParsePlayerFamily(args[++i]);
            if (!player) {
                throw std::invalid_argument("--as knows sidplayfp, goattracker, vice and replay, not '" + args[i] + "'");
            }
            options.player = *player;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg.starts_with("-")) {
            throw std::invalid_argument("unknown option '" + arg + "'");
        } else if (!options.tracePath.empty()) {
            throw std::invalid_argument("only one trace file, please ('" + arg + "' is the second)");
        } else {
            options.tracePath = arg;
        }
    }
    return options;
}

} // namespace hardsid::replay
