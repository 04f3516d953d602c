// SPDX-License-Identifier: GPL-2.0-or-later
// hardsid.dll driven by the replay host the way each family of players calls it, into the
// scripted winmm: tempo, frame rate, the registers a receiver rebuilds, and how the stream
// starts and ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "library_settings.h"
#include "tools/asid_monitor/asid_check.h"
#include "tools/asid_monitor/capture_reader.h"
#include "tools/asid_monitor/play_call_check.h"
#include "tools/asid_monitor/receiver_registers.h"
#include "tools/replay_host/player_driver.h"
#include "tools/tune/default_tune.h"

namespace hardsid::test {
namespace {

using replay::PlayerFamily;
using Registers = std::array<uint8_t, monitor::kReceiverRegisters>;

constexpr uint64_t kTuneCycles = 5'000'000; // 5 s of the default tune
constexpr DWORD kRunLimitMs = 90'000;
// Timing is judged on a shared machine: a run that misses only a timing bound is repeated.
constexpr int kTimingAttempts = 4;
constexpr double kTempoTolerance = 0.005;
constexpr double kFramesPerSecond = 50, kFramesPerSecondTolerance = 1;

/// What the driver hands the library, from a run against this recorder: the register writes
/// in order, and for each flush (which sends a frame of its own) how many writes preceded it.
class CallRecorder final : public replay::PlayerCalls {
public:
    std::vector<std::pair<uint8_t, uint8_t>> writes;
    std::vector<size_t> flushes;

    /// Flushes after the first `writesBefore` writes.
    int FlushesAfter(size_t writesBefore) const {
        int count = 0;
        for (const size_t at : flushes) {
            count += at > writesBefore;
        }
        return count;
    }

    void InitHardSID_Mapper() override {}
    uint16_t HardSID_Version() override { return 0x0207; }
    uint8_t HardSID_Devices() override { return 1; }
    uint8_t GetHardSIDCount() override { return 1; }
    bool HardSID_Lock(uint8_t device) override { return device == 0; }
    void HardSID_Unlock(uint8_t) override {}
    void HardSID_Flush(uint8_t) override { flushes.push_back(writes.size()); }
    void HardSID_SoftFlush(uint8_t) override { flushes.push_back(writes.size()); }
    void HardSID_Write(uint8_t, uint16_t, uint8_t reg, uint8_t value) override { writes.emplace_back(reg, value); }
    uint8_t HardSID_Read(uint8_t, uint16_t, uint8_t) override { return 0; }
    void HardSID_Delay(uint8_t, uint16_t) override {}
    void HardSID_Reset2(uint8_t, uint8_t) override {}
    void HardSID_Sync(uint8_t) override {}
    void MuteHardSID_Line(int) override {}
    void Sleep(uint32_t) override {}
    void StartOwnClock() override {}
    void WaitOwnClockUntil(uint64_t) override {}
};

/// The player's registers 0..24 after each of its writes, starting from the library's zeros.
std::vector<Registers> PlayerStates(const CallRecorder& calls) {
    std::vector<Registers> states(1, Registers{});
    for (const auto& [reg, value] : calls.writes) {
        states.push_back(states.back());
        if (reg < monitor::kReceiverRegisters) {
            states.back()[reg] = value;
        }
    }
    return states;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char pair[4];
    for (const uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

/// A number that follows `label` in the replay host's summary line.
std::optional<double> NumberAfter(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

struct PlayerRun {
    std::optional<DWORD> exitCode;
    std::string output;
    monitor::Capture capture;
};

class PlayerDriversTest : public ::testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }

    /// The library reopens the scripted device at load and times aggressively, as a user sets it.
    static void StoreUserSettings(bool profile, bool beat = false) {
        StoreSetting("midi_Out", 0);
        StoreSetting("reopen_midi", 1);
        StoreSetting("aggressiveWait", 1);
        StoreSetting("hardsid_V2", profile ? 1 : 0);
        StoreSetting("beatFrames", beat ? 1 : 0);
    }

    /// One replay host run in a folder of its own, its record read back.
    static PlayerRun Run(const std::string& name, const std::string& arguments) {
        const std::string folder = ProgramFolder() + "players-" + name;
        ::CreateDirectoryA(folder.c_str(), nullptr);
        const std::string record = folder + "\\record.txt";
        ::DeleteFileA(record.c_str());
        const std::string settings = "device ASID receiver; record " + record;
        ::SetEnvironmentVariableA("WINMM_DOUBLE_CONFIG", settings.c_str());
        PlayerRun run;
        {
            ChildProcess child("replay_host.exe", arguments, folder, folder + "\\output.txt");
            ::SetEnvironmentVariableA("WINMM_DOUBLE_CONFIG", nullptr);
            if (!child.Started()) {
                ADD_FAILURE() << "replay_host.exe did not start";
                return run;
            }
            run.exitCode = child.Wait(kRunLimitMs);
        }
        run.output = ReadFileText(folder + "\\output.txt");
        run.capture = monitor::ReadWinmmRecord(ReadFileText(record));
        return run;
    }

    /// Plays 5 s of the default tune as the family does and checks everything the receiver got.
    static void PlayAndCheck(PlayerFamily family, bool profile) {
        const std::string name = std::string(replay::PlayerFamilyName(family)) + (profile ? "-v2" : "");
        const trace::Trace trace = trace::CutTrace(tune::ComposeDefaultTune(), kTuneCycles);
        CallRecorder expected;
        size_t startWrites = 0;
        {
            const auto driver = replay::MakePlayerDriver(family);
            driver->Start(expected);
            startWrites = expected.writes.size();
            driver->Play(trace, expected, 50'000, {});
            driver->Finish(expected);
        }
        const std::vector<Registers> states = PlayerStates(expected);
        const bool endsWithStop = family == PlayerFamily::Sidplayfp || family == PlayerFamily::GoatTracker;

        for (int attempt = 1; attempt <= kTimingAttempts; ++attempt) {
            SCOPED_TRACE(name + ", attempt " + std::to_string(attempt));
            StoreUserSettings(profile);
            const PlayerRun run = Run(name, std::string("--quiet --seconds 5 --as ") + replay::PlayerFamilyName(family));
            ASSERT_EQ(run.exitCode, std::optional<DWORD>(0)) << run.output;
            ASSERT_TRUE(run.capture.problems.empty()) << run.capture.problems.front().what;
            const std::vector<monitor::ReceivedMessage>& messages = run.capture.messages;
            ASSERT_GE(messages.size(), 3u);

            // The greeting first: the start message, then the display text.
            EXPECT_EQ(Hex(messages[0].bytes), "F02D4CF7");
            EXPECT_EQ(monitor::CheckAsidMessage(messages[1].bytes).type, monitor::AsidType::DisplayText);
            if (endsWithStop) {
                EXPECT_EQ(Hex(messages.back().bytes), "F02D4DF7") << "the player's last call stops the synthesiser";
            }

            // After every frame the receiver holds registers that the player held at that point
            // of its writes, never going back; after the last frame, the player's last ones.
            monitor::ReceiverRegisters receiver;
            size_t state = 0, frames = 0, tuneFrames = 0;
            for (const monitor::ReceivedMessage& message : messages) {
                const monitor::AsidVerdict verdict = monitor::CheckAsidMessage(message.bytes);
                ASSERT_NE(verdict.type, monitor::AsidType::Malformed) << message.where.Text() << ": " << verdict.problem;
                if (verdict.type != monitor::AsidType::RegisterFrame) {
                    continue;
                }
                receiver.Apply(message.bytes);
                ++frames;
                while (state < states.size() && states[state] != receiver.Values()) {
                    ++state;
                }
                ASSERT_LT(state, states.size()) << "frame " << frames << " (" << message.where.Text()
                                                << ") leaves the receiver with registers the player never held then";
                tuneFrames += state > startWrites; // after the player's start-up writes
            }
            // A sidplayfp-style player ends with an unlock alone: the stop silences the device
            // before a frame carries its last play call, so only the others end level.
            if (family != PlayerFamily::Sidplayfp) {
                EXPECT_EQ(receiver.Values(), states.back()) << "the receiver ends with the player's registers";
            }

            // Timing: the wall time of the tune over its nominal time, and the frames that the
            // clock sent during the tune (not those the player's flushes forced, nor the clock
            // catching up after the player's start-up pause) per second of it.
            const std::optional<double> wall = NumberAfter(run.output, "wall ");
            const std::optional<double> tempo = NumberAfter(run.output, "ratio ");
            ASSERT_TRUE(wall && tempo) << run.output;
            const int forced = expected.FlushesAfter(startWrites);
            const double framesPerSecond = (static_cast<double>(tuneFrames) - forced) / *wall;
            std::printf("%-16s tempo %.5f (%+.3f %%), %.2f frames/s from the clock (%zu frames in all, %zu in the "
                        "tune, %d of them forced by flushes); receiver matched the player after each frame\n",
                        name.c_str(), *tempo, (*tempo - 1) * 100, framesPerSecond, frames, tuneFrames, forced);
            const bool timely = std::abs(*tempo - 1) <= kTempoTolerance &&
                                std::abs(framesPerSecond - kFramesPerSecond) <= kFramesPerSecondTolerance;
            if (timely || attempt == kTimingAttempts) {
                EXPECT_NEAR(*tempo, 1, kTempoTolerance);
                EXPECT_NEAR(framesPerSecond, kFramesPerSecond, kFramesPerSecondTolerance);
                return;
            }
        }
    }
};

// Every family plays the tune in time, 50 frames a second on the grid, and the receiver follows
// the player's registers frame by frame, in both profiles where the family takes the library.
TEST_F(PlayerDriversTest, EachFamilyPlaysInTimeAndTheReceiverFollows) {
    const std::pair<PlayerFamily, bool> runs[] = {
        {PlayerFamily::Sidplayfp, true}, {PlayerFamily::GoatTracker, false}, {PlayerFamily::GoatTracker, true},
        {PlayerFamily::Vice, false},     {PlayerFamily::Vice, true},         {PlayerFamily::Replay, false},
    };
    for (const auto& [family, profile] : runs) {
        PlayAndCheck(family, profile);
    }
}

struct FrameFigures {
    monitor::PlayCallFigures calls;
    size_t frames = 0;
    double framesPerSecond = 0, longestMs = 0;
    int mostIn20ms = 0;
};

/// The play calls of the trace against the frames of a run, and the frames' timing.
FrameFigures Measure(const trace::Trace& trace, const monitor::Capture& capture) {
    std::vector<monitor::TracedWrite> writes;
    for (const trace::TraceRecord& record : trace.records) {
        writes.push_back({record.cycles, record.reg, record.value});
    }
    std::vector<monitor::ArrivedFrame> frames;
    std::vector<double> times;
    monitor::ReceiverRegisters receiver;
    bool started = false;
    for (const monitor::ReceivedMessage& message : capture.messages) {
        const monitor::AsidType type = monitor::CheckAsidMessage(message.bytes).type;
        started = started || type == monitor::AsidType::Start;
        if (type == monitor::AsidType::RegisterFrame) {
            frames.push_back({receiver.Apply(message.bytes), started});
            started = false;
            times.push_back(message.seconds.value_or(0) * 1000);
        }
    }
    FrameFigures figures;
    figures.calls = monitor::CheckPlayCalls(writes, frames);
    figures.frames = frames.size();
    if (times.size() > 1) {
        figures.framesPerSecond = static_cast<double>(times.size() - 1) / ((times.back() - times.front()) / 1000);
    }
    for (size_t i = 1; i < times.size(); ++i) {
        figures.longestMs = std::max(figures.longestMs, times[i] - times[i - 1]);
    }
    for (size_t i = 0, j = 0; i < times.size(); ++i) {
        while (j < times.size() && times[j] - times[i] < 20) {
            ++j;
        }
        figures.mostIn20ms = std::max(figures.mostIn20ms, static_cast<int>(j - i));
    }
    return figures;
}

// On the beat every family's play calls arrive whole, one frame each, none lost; the grid's
// figures are printed beside them. The counting is by content, so the machine's load moves
// only the timing columns.
TEST_F(PlayerDriversTest, OnTheBeatEachPlayCallArrivesWholeInAFrameOfItsOwn) {
    const std::pair<PlayerFamily, bool> runs[] = {
        {PlayerFamily::Sidplayfp, true}, {PlayerFamily::GoatTracker, false}, {PlayerFamily::Vice, false},
        {PlayerFamily::Replay, false}};
    const trace::Trace trace = trace::CutTrace(tune::ComposeDefaultTune(), kTuneCycles);
    std::printf("%-12s %-5s %6s %6s %5s %8s %9s %12s %10s\n", "family", "mode", "calls", "split", "lost",
                "frames", "frames/s", "longest (ms)", "most/20ms");
    for (const auto& [family, profile] : runs) {
        for (const bool beat : {false, true}) {
            const std::string name = std::string(replay::PlayerFamilyName(family)) + (beat ? "-beat" : "-grid");
            SCOPED_TRACE(name);
            StoreUserSettings(profile, beat);
            const PlayerRun run = Run(name, std::string("--quiet --seconds 5 --as ") + replay::PlayerFamilyName(family));
            ASSERT_EQ(run.exitCode, std::optional<DWORD>(0)) << run.output;
            const FrameFigures f = Measure(trace, run.capture);
            std::printf("%-12s %-5s %6zu %6zu %5zu %8zu %9.2f %12.2f %10d\n", replay::PlayerFamilyName(family),
                        beat ? "beat" : "grid", f.calls.playCalls, f.calls.split, f.calls.lost, f.calls.carrying,
                        f.framesPerSecond, f.longestMs, f.mostIn20ms);
            if (!beat) {
                continue;
            }
            EXPECT_LE(f.frames, f.calls.playCalls + 10) << "one frame per play call, not one per call and flush";
            if (family == PlayerFamily::Vice) {
                // Its reset writes register 25, which lands in the second slot of register 4:
                // the receiver then holds a value the player never wrote there, and the match
                // by content cannot place the frames around it.
                continue;
            }
            EXPECT_EQ(f.calls.split, 0u);
            EXPECT_EQ(f.calls.unmatched, 0u);
            // Two calls around the start-up flush, whose 40-byte frame holds the cable while
            // the first call ends, may share a frame.
            EXPECT_LE(f.calls.lost, 2u);
        }
    }
}

// With the HardSID 2 profile off the library reports 3.x, and a sidplayfp-style player refuses
// it before it writes anything, with a message that says why.
TEST_F(PlayerDriversTest, SidplayfpRefusesTheLibraryWithTheProfileOff) {
    StoreUserSettings(false);
    const PlayerRun run = Run("sidplayfp-refused", "--quiet --seconds 1 --as sidplayfp");
    EXPECT_EQ(run.exitCode, std::optional<DWORD>(replay::kExitLibraryRefused)) << run.output;
    EXPECT_NE(run.output.find("version 3.01 is not V2"), std::string::npos) << run.output;
    for (const monitor::ReceivedMessage& message : run.capture.messages) {
        EXPECT_NE(monitor::CheckAsidMessage(message.bytes).type, monitor::AsidType::RegisterFrame)
            << "a register frame after the player refused the library";
    }
}

} // namespace
} // namespace hardsid::test
