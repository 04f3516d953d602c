// SPDX-License-Identifier: GPL-2.0-or-later
// Drives the library the way each family of players does: the calls at start, how a trace's
// cycles travel into the library, and the calls at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "player_calls.h"
#include "tools/trace/trace.h"
#include "trace_replayer.h"

namespace hardsid::replay {

enum class PlayerFamily {
    Replay,      ///< this program's own way: every gap in the write that follows it
    Sidplayfp,   ///< libsidplayfp 2.x and libsidplay2: idle time in a read at each play call
    GoatTracker, ///< 9 cycles a write, one delay for the rest of the frame
    Vice,        ///< cycles since the previous access, 0 after idle time it waited itself
};

std::optional<PlayerFamily> ParsePlayerFamily(std::string_view name);
const char* PlayerFamilyName(PlayerFamily family) noexcept;

inline constexpr int kExitDeviceRefused = 5;
inline constexpr int kExitLibraryRefused = 6;

/// The player will not use the library; exitCode tells the cases apart for scripts.
class PlayerRefusal : public std::runtime_error {
public:
    PlayerRefusal(int exitCode, const std::string& what) : std::runtime_error(what), exitCode_(exitCode) {}
    int ExitCode() const noexcept { return exitCode_; }

private:
    int exitCode_;
};

/// A write that follows more idle cycles than this starts a new call of the tune's player
/// routine (and, for VICE, is one the emulator timed itself).
inline constexpr uint32_t kIdleCycles = 1000;
/// The sidplayfp-style read at the start of a play call comes this many cycles before the
/// routine's first store (a load, a compare, a branch).
inline constexpr uint32_t kReadLeadCycles = 12;
/// The register such a tune reads: the third oscillator's output.
inline constexpr uint8_t kReadRegister = 0x1B;
/// GoatTracker counts this many cycles for each write of a frame.
inline constexpr uint16_t kGoatTrackerWriteCycles = 9;
/// GoatTracker's soft flush while playing, in cycles (400 ms).
inline constexpr uint64_t kGoatTrackerSoftFlushCycles = 400'000;

class PlayerDriver {
public:
    virtual ~PlayerDriver() = default;
    /// The calls before the tune; throws PlayerRefusal when the player would not go on.
    /// Returns a line about the library for the user, or nothing when the player asks none.
    virtual std::string Start(PlayerCalls& calls) = 0;
    /// The tune; every cycle of the trace reaches the library or the player's own clock.
    virtual ReplayOutcome Play(const trace::Trace& trace, PlayerCalls& calls, uint64_t progressStep,
                               const ProgressCallback& progress) = 0;
    /// The calls after the tune (or after an interruption).
    virtual void Finish(PlayerCalls& calls) = 0;
    /// Whether the player frees the library when it is done; some just exit.
    virtual bool FreesLibrary() const noexcept = 0;
};

std::unique_ptr<PlayerDriver> MakePlayerDriver(PlayerFamily family);

} // namespace hardsid::replay
