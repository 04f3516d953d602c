// SPDX-License-Identifier: GPL-2.0-or-later
// The player drivers against a fake library that records every call: how each family's calls
// carry a trace's cycles, and what it calls before and after the tune.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/replay_host/player_driver.h"
#include "tools/replay_host/replay_options.h"
#include "tools/tune/default_tune.h"

namespace hardsid::replay {
namespace {

struct Call {
    std::string name;
    int device = -1;
    uint64_t cycles = 0; ///< cycles the call carries; for WaitOwnClockUntil the cycles it waited
    int reg = -1;
    int value = -1;
};

/// Records the calls; keeps the position that the library and the player's own clock reached.
class FakeLibrary final : public PlayerCalls {
public:
    uint16_t version = 0x0207;
    uint8_t devices = 1;
    std::vector<bool> grantLock = {true};

    std::vector<Call> calls;
    uint64_t position = 0;
    bool ownClockWentBack = false;

    void InitHardSID_Mapper() override { Add({"InitHardSID_Mapper"}); }
    uint16_t HardSID_Version() override {
        Add({"HardSID_Version"});
        return version;
    }
    uint8_t HardSID_Devices() override {
        Add({"HardSID_Devices"});
        return devices;
    }
    uint8_t GetHardSIDCount() override {
        Add({"GetHardSIDCount"});
        return devices;
    }
    bool HardSID_Lock(uint8_t device) override {
        Add({"HardSID_Lock", device});
        return device < grantLock.size() && grantLock[device];
    }
    void HardSID_Unlock(uint8_t device) override { Add({"HardSID_Unlock", device}); }
    void HardSID_Flush(uint8_t device) override { Add({"HardSID_Flush", device}); }
    void HardSID_SoftFlush(uint8_t device) override { Add({"HardSID_SoftFlush", device}); }
    void HardSID_Write(uint8_t device, uint16_t cycles, uint8_t reg, uint8_t value) override {
        Add({"HardSID_Write", device, cycles, reg, value});
    }
    uint8_t HardSID_Read(uint8_t device, uint16_t cycles, uint8_t reg) override {
        Add({"HardSID_Read", device, cycles, reg});
        return 0;
    }
    void HardSID_Delay(uint8_t device, uint16_t cycles) override { Add({"HardSID_Delay", device, cycles}); }
    void HardSID_Reset2(uint8_t device, uint8_t volume) override { Add({"HardSID_Reset2", device, 0, -1, volume}); }
    void HardSID_Sync(uint8_t device) override { Add({"HardSID_Sync", device}); }
    void MuteHardSID_Line(int mute) override { Add({"MuteHardSID_Line", -1, 0, -1, mute}); }
    void Sleep(uint32_t milliseconds) override { Add({"Sleep", -1, milliseconds * 1000ull}); }
    void StartOwnClock() override {
        position = 0;
        Add({"StartOwnClock"});
    }
    void WaitOwnClockUntil(uint64_t cycles) override {
        ownClockWentBack = ownClockWentBack || cycles < position;
        Add({"WaitOwnClockUntil", -1, cycles > position ? cycles - position : 0});
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Call& call : calls) {
            names.push_back(call.name);
        }
        return names;
    }
    /// Clears the record between the phases of a run.
    void Forget() {
        calls.clear();
        position = 0;
    }

private:
    void Add(const Call& call) {
        if (call.name != "Sleep") {
            position += call.cycles;
        }
        calls.push_back(call);
    }
};

constexpr PlayerFamily kFamilies[] = {PlayerFamily::Replay, PlayerFamily::Sidplayfp, PlayerFamily::GoatTracker,
                                      PlayerFamily::Vice};

trace::Trace ShortTune() { return trace::CutTrace(tune::ComposeDefaultTune(), 2'000'000); }

/// Traces that reach the edges of the accounting: long gaps, a write at cycle 0, a long end.
std::vector<std::pair<const char*, trace::Trace>> Fixtures() {
    return {
        {"two seconds of the default tune", ShortTune()},
        {"a first write at cycle 0 and a long end", {{{0, 4, 0x41}, {7, 5, 9}, {20000, 4, 0x40}}, 150000}},
        {"gaps above 65535 cycles", {{{65536, 1, 2}, {3 * 65535 + 7, 4, 0x11}, {5, 5, 6}, {131070, 0, 1}}, 0}},
        {"a gap of exactly the idle threshold stays in the play call", {{{500, 1, 1}, {kIdleCycles, 2, 2}}, 3}},
        {"no writes at all", {{}, 70000}},
    };
}

std::vector<std::pair<int, int>> PlayedWrites(const FakeLibrary& library) {
    std::vector<std::pair<int, int>> writes;
    for (const Call& call : library.calls) {
        if (call.name == "HardSID_Write") {
            writes.emplace_back(call.reg, call.value);
        }
    }
    return writes;
}

// Whatever the family, every cycle of the trace reaches the library or the player's own clock,
// once, and the trace's writes arrive in order with their values.
TEST(PlayerDriver, EveryFamilyPassesTheTracesCyclesAndWritesExactly) {
    for (const PlayerFamily family : kFamilies) {
        for (const auto& [rule, trace] : Fixtures()) {
            SCOPED_TRACE(std::string(PlayerFamilyName(family)) + ": " + rule);
            FakeLibrary library;
            const auto driver = MakePlayerDriver(family);
            driver->Start(library);
            library.Forget();
            const ReplayOutcome outcome = driver->Play(trace, library, 50'000, {});
            EXPECT_TRUE(outcome.completed);
            EXPECT_EQ(outcome.cycles, trace::NominalCycles(trace));
            EXPECT_EQ(library.position, trace::NominalCycles(trace));
            EXPECT_FALSE(library.ownClockWentBack);
            std::vector<std::pair<int, int>> expected;
            for (const trace::TraceRecord& record : trace.records) {
                expected.emplace_back(record.reg, record.value);
            }
            EXPECT_EQ(PlayedWrites(library), expected);
            for (const Call& call : library.calls) {
                EXPECT_LE(call.device, 0) << call.name << " on another device";
                if (call.name == "HardSID_Delay") {
                    EXPECT_GT(call.cycles, 0u) << "no empty delay";
                }
            }
        }
    }
}

// sidplayfp-style: a read starts each play call and carries the idle time before it, but for
// the routine's few cycles up to its first store; longer gaps go out first as 65535-cycle delays.
TEST(PlayerDriver, SidplayfpCarriesIdleTimeInAReadAtEachPlayCall) {
    FakeLibrary library;
    const auto driver = MakePlayerDriver(PlayerFamily::Sidplayfp);
    driver->Start(library);
    library.Forget();
    driver->Play({{{65535 + 20000, 4, 0x41}, {30, 5, 9}, {19970, 4, 0x40}, {5, 6, 7}}, 0}, library, 1, {});
    const std::vector<std::string> names = {"HardSID_Delay", "HardSID_Read",  "HardSID_Write", "HardSID_Write",
                                            "HardSID_Read",  "HardSID_Write", "HardSID_Write"};
    ASSERT_EQ(library.Names(), names);
    EXPECT_EQ(library.calls[0].cycles, 65535u);
    EXPECT_EQ(library.calls[1].cycles, 20000u - kReadLeadCycles);
    EXPECT_EQ(library.calls[1].reg, kReadRegister);
    EXPECT_EQ(library.calls[2].cycles, kReadLeadCycles);
    EXPECT_EQ(library.calls[3].cycles, 30u);
    EXPECT_EQ(library.calls[4].cycles, 19970u - kReadLeadCycles);
    EXPECT_EQ(library.calls[6].cycles, 5u);

    // In the default tune most cycles travel in the reads: one a frame.
    FakeLibrary tune;
    driver->Play(ShortTune(), tune, 50'000, {});
    uint64_t readCycles = 0;
    size_t reads = 0;
    for (const Call& call : tune.calls) {
        if (call.name == "HardSID_Read") {
            readCycles += call.cycles;
            ++reads;
        }
    }
    EXPECT_EQ(reads, 100u);
    EXPECT_GT(readCycles, tune.position * 9 / 10);
}

// sidplayfp-style start: the version must be 2.x, and one SID takes the first device whose
// lock is granted; then flush, a two-argument reset and sync. The end is an unlock, and the
// library stays loaded.
TEST(PlayerDriver, SidplayfpStartsOnlyWithAVersion2LibraryAndADeviceItCouldLock) {
    {
        FakeLibrary library;
        library.version = 0x0301;
        try {
            MakePlayerDriver(PlayerFamily::Sidplayfp)->Start(library);
            ADD_FAILURE() << "a 3.x library was taken";
        } catch (const PlayerRefusal& e) {
            EXPECT_EQ(e.ExitCode(), kExitLibraryRefused);
            EXPECT_NE(std::string(e.what()).find("version 3.01 is not V2"), std::string::npos) << e.what();
        }
        EXPECT_EQ(library.Names(), (std::vector<std::string>{"InitHardSID_Mapper", "HardSID_Version"}));
    }
    {
        FakeLibrary library;
        library.devices = 2;
        library.grantLock = {false, false};
        try {
            MakePlayerDriver(PlayerFamily::Sidplayfp)->Start(library);
            ADD_FAILURE() << "played without a lock";
        } catch (const PlayerRefusal& e) {
            EXPECT_EQ(e.ExitCode(), kExitDeviceRefused);
        }
    }
    FakeLibrary library;
    library.devices = 3;
    library.grantLock = {false, true, true};
    const auto driver = MakePlayerDriver(PlayerFamily::Sidplayfp);
    EXPECT_EQ(driver->Start(library), "version 2.07, 3 device(s)");
    EXPECT_EQ(library.Names(),
              (std::vector<std::string>{"InitHardSID_Mapper", "HardSID_Version", "HardSID_Devices", "HardSID_Lock",
                                        "HardSID_Lock", "HardSID_Flush", "HardSID_Reset2", "HardSID_Sync"}));
    EXPECT_EQ(library.calls[6].device, 1);
    EXPECT_EQ(library.calls[6].value, 0x0F);
    library.Forget();
    driver->Play({{{100, 1, 2}}, 0}, library, 1, {});
    for (const Call& call : library.calls) {
        EXPECT_EQ(call.device, 1) << call.name;
    }
    library.Forget();
    driver->Finish(library);
    EXPECT_EQ(library.Names(), (std::vector<std::string>{"HardSID_Unlock"}));
    EXPECT_EQ(library.calls[0].device, 1);
    EXPECT_FALSE(driver->FreesLibrary());
}

// GoatTracker-style: every write of a frame counts 9 cycles, one delay run waits out the rest of
// the frame, and a soft flush follows every 400 ms of music.
TEST(PlayerDriver, GoatTrackerWritesNineCyclesApartAndDelaysTheRestOfTheFrame) {
    FakeLibrary library;
    const auto driver = MakePlayerDriver(PlayerFamily::GoatTracker);
    EXPECT_EQ(driver->Start(library), "");
    const std::vector<std::string> start = library.Names();
    ASSERT_EQ(start.size(), 3u + 1 + 1 + 25 + 1);
    EXPECT_EQ(std::vector<std::string>(start.begin(), start.begin() + 5),
              (std::vector<std::string>{"InitHardSID_Mapper", "HardSID_Lock", "HardSID_Flush", "HardSID_Write", "Sleep"}));
    EXPECT_EQ(library.calls[4].cycles, 300'000u);
    EXPECT_EQ(start.back(), "HardSID_SoftFlush");
    for (int reg = 0; reg < 25; ++reg) {
        EXPECT_EQ(library.calls[5 + reg].reg, reg);
        EXPECT_EQ(library.calls[5 + reg].value, 0);
    }

    library.Forget();
    const trace::Trace tune = ShortTune();
    driver->Play(tune, library, 50'000, {});
    EXPECT_EQ(library.calls.front().name, "HardSID_Flush");
    size_t softFlushes = 0;
    bool inDelays = false;
    size_t delayRuns = 0;
    for (const Call& call : library.calls) {
        if (call.name == "HardSID_Write") {
            EXPECT_EQ(call.cycles, kGoatTrackerWriteCycles);
        }
        softFlushes += call.name == "HardSID_SoftFlush";
        delayRuns += call.name == "HardSID_Delay" && !inDelays;
        inDelays = call.name == "HardSID_Delay";
        EXPECT_NE(call.name, "HardSID_Read");
    }
    EXPECT_EQ(delayRuns, 1u + 100) << "one before the first frame's writes, then one after each frame's";
    EXPECT_EQ(softFlushes, 4u) << "at 0.4, 0.8, 1.2 and 1.6 s of a 2 s tune";

    library.Forget();
    driver->Finish(library);
    EXPECT_EQ(library.Names(), (std::vector<std::string>{"HardSID_Flush", "MuteHardSID_Line"}));
    EXPECT_EQ(library.calls[1].value, 1);
    EXPECT_FALSE(driver->FreesLibrary());
}

// VICE-style: short gaps go to the library, longer ones the emulator waits out on its own clock,
// then it writes with 0 cycles and soft-flushes; 50 ms without a write bring its timer's soft
// flush. It signals no end: only that timer follows the last write.
TEST(PlayerDriver, ViceWaitsLongGapsItselfAndPassesShortOnes) {
    FakeLibrary library;
    library.devices = 2;
    const auto driver = MakePlayerDriver(PlayerFamily::Vice);
    driver->Start(library);
    const std::vector<std::string> start = library.Names();
    EXPECT_EQ(std::vector<std::string>(start.begin(), start.begin() + 8),
              (std::vector<std::string>{"GetHardSIDCount", "HardSID_Lock", "HardSID_Lock", "HardSID_Lock",
                                        "HardSID_Lock", "HardSID_Flush", "HardSID_Write", "Sleep"}));
    EXPECT_EQ(library.calls[6].reg, 4);
    EXPECT_EQ(start.size(), 8u + 26 + 1) << "registers 0x00..0x19 written 0, then a soft flush";
    EXPECT_EQ(start.back(), "HardSID_SoftFlush");

    library.Forget();
    driver->Play({{{1000, 1, 1}, {1001, 2, 2}, {70000, 3, 3}, {0, 4, 4}, {50000, 5, 5}}, 500}, library, 1, {});
    const std::vector<std::string> names = {
        "StartOwnClock",     "HardSID_Write",     "WaitOwnClockUntil", "HardSID_Write",     "HardSID_SoftFlush",
        "WaitOwnClockUntil", "HardSID_SoftFlush", "WaitOwnClockUntil", "HardSID_Write",     "HardSID_SoftFlush",
        "HardSID_Write",     "WaitOwnClockUntil", "HardSID_Write",     "HardSID_SoftFlush", "WaitOwnClockUntil"};
    ASSERT_EQ(library.Names(), names);
    EXPECT_EQ(library.calls[1].cycles, 1000u);
    EXPECT_EQ(library.calls[2].cycles, 1001u);
    EXPECT_EQ(library.calls[3].cycles, 0u);
    EXPECT_EQ(library.calls[5].cycles, 50000u) << "the timer flushes 50 ms after the last write";
    EXPECT_EQ(library.calls[7].cycles, 20000u);
    EXPECT_EQ(library.calls[8].cycles, 0u);
    EXPECT_EQ(library.calls[11].cycles, 50000u) << "exactly 50 ms: the write comes first";
    EXPECT_EQ(library.calls[14].cycles, 500u);

    library.Forget();
    driver->Finish(library);
    EXPECT_EQ(library.Names(), (std::vector<std::string>{"WaitOwnClockUntil", "HardSID_SoftFlush"}));
    EXPECT_FALSE(driver->FreesLibrary());
    EXPECT_TRUE(MakePlayerDriver(PlayerFamily::Replay)->FreesLibrary());
}

// A false answer from the progress callback stops every family between two play calls, and
// the cycles reported are those handed over so far.
TEST(PlayerDriver, EveryFamilyStopsWhenProgressSaysSo) {
    const trace::Trace tune = ShortTune();
    for (const PlayerFamily family : kFamilies) {
        SCOPED_TRACE(PlayerFamilyName(family));
        FakeLibrary library;
        const auto driver = MakePlayerDriver(family);
        driver->Start(library);
        library.Forget();
        const ReplayOutcome outcome =
            driver->Play(tune, library, 50'000, [](uint64_t position) { return position < 500'000; });
        EXPECT_FALSE(outcome.completed);
        EXPECT_GE(outcome.cycles, 500'000u);
        EXPECT_LT(outcome.cycles, 600'000u);
        EXPECT_LT(PlayedWrites(library).size(), tune.records.size() / 3);
    }
}

// --as names a family; the default is the replay host's own way; unknown names are refused.
TEST(ReplayOptions, AsNamesThePlayerFamily) {
    EXPECT_EQ(ParseReplayOptions({}).player, PlayerFamily::Replay);
    EXPECT_EQ(ParseReplayOptions({"--as", "sidplayfp"}).player, PlayerFamily::Sidplayfp);
    EXPECT_EQ(ParseReplayOptions({"--as", "goattracker", "t.txt"}).player, PlayerFamily::GoatTracker);
    EXPECT_EQ(ParseReplayOptions({"--as", "vice"}).player, PlayerFamily::Vice);
    EXPECT_EQ(ParseReplayOptions({"--as", "replay"}).player, PlayerFamily::Replay);
    EXPECT_THROW(ParseReplayOptions({"--as"}), std::invalid_argument);
    EXPECT_THROW(ParseReplayOptions({"--as", "winamp"}), std::invalid_argument);
    EXPECT_THROW(ParseReplayOptions({"--as", "VICE"}), std::invalid_argument);
}

} // namespace
} // namespace hardsid::replay
