// SPDX-License-Identifier: GPL-2.0-or-later
// Relaxed timing sleeps through a wait's bulk on the platform's timer, up to 0.5 ms before its
// end, and yields on the counter from there to the end; a wait no longer than that margin
// returns at once and leaves its cycles to the next wait of the same schedule.
#include <gtest/gtest.h>

#include <optional>

#include "fakes.h"

namespace hardsid::test {
namespace {

constexpr int64_t kMarginTicks = 5'000; // 0.5 ms at the fixture's 10 MHz

/// A relaxed engine whose counter stands at `start` for the first reading and moves 2,500
/// ticks per reading after the timer has woken it.
struct RelaxedFixture : EngineFixture {
    RelaxedFixture() {
        engine.AggressiveWait = false;
        platform.stepPerRead = 2'500;
    }
    void Wait(int64_t start, uint16_t cycles) {
        platform.readings = {start};
        platform.counter = start;
        platform.counterReads = 0;
        platform.sleeps.clear();
        engine.cycledelay(cycles);
    }
};

struct SplitCase {
    const char* rule;
    uint16_t cycles;
    std::optional<int64_t> wakeUp; // where the timer leaves the counter; none: as asked
    int64_t timerAsked;
    int reads;
    size_t yields;
};

TEST(RelaxedWait, SleepsOnTheTimerUpToTheMarginThenYieldsToTheEnd) {
    const SplitCase cases[] = {
        {"20000 cycles: the timer to 0.5 ms before the end, then two yields to 199995", 20000, {}, 195'000, 4, 2},
        {"65535 cycles: the timer to 650350", 65535, {}, 650'350, 4, 2},
        {"a timer that wakes early leaves more to the loop", 20000, 180'000, 195'000, 10, 8},
        {"a timer that wakes past the end returns after one more reading", 20000, 205'000, 195'000, 2, 0},
        {"one tick short of the end is past the end too (5 ticks early)", 20000, 199'995, 195'000, 2, 0},
        {"a wait just over the margin sleeps for the few ticks above it", 501, {}, 10, 4, 2},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.rule);
        RelaxedFixture f;
        if (c.wakeUp) {
            f.platform.timerWakeUps = {*c.wakeUp};
        }
        f.Wait(0, c.cycles);
        EXPECT_EQ(f.platform.timerSleeps, std::vector<int64_t>{c.timerAsked});
        EXPECT_EQ(f.platform.counterReads, c.reads);
        EXPECT_EQ(f.platform.sleeps, std::vector<uint32_t>(c.yields, 0u)) << "the loop yields with Sleep(0)";
    }
}

// The player runs at most the margin ahead of its schedule: the waits that leave cycles
// undone return at once, and the first one that would carry more holds the player.
TEST(RelaxedWait, ShortWaitsReturnAtOnceAndTheScheduleCarriesTheirCycles) {
    RelaxedFixture f;
    f.Wait(0, 150); // ends at 1,500
    f.Wait(10, 150); // 3,000
    f.Wait(20, 150); // 4,500: 4,475 ticks ahead, still within the margin
    EXPECT_TRUE(f.platform.timerSleeps.empty());
    EXPECT_TRUE(f.platform.sleeps.empty());
    EXPECT_EQ(f.platform.counterReads, 1) << "each short wait takes its one reading";

    f.Wait(30, 150); // 6,000 would be 5,965 ahead: the timer to 1,000, then yields to 5,995
    EXPECT_EQ(f.platform.timerSleeps, std::vector<int64_t>{1'000});
    EXPECT_GE(f.platform.counter - f.platform.stepPerRead, 5'995) << "the last reading is at the end";

    // A long wait carries on from the short ones' schedule, not from its own start.
    f.platform.timerSleeps.clear();
    f.Wait(6'100, 20000);
    EXPECT_EQ(f.platform.timerSleeps, std::vector<int64_t>{6'000 + 200'000 - kMarginTicks});
}

TEST(RelaxedWait, ZeroCyclesTakeOneReading) {
    RelaxedFixture f;
    f.Wait(0, 0);
    EXPECT_EQ(f.platform.counterReads, 1);
    EXPECT_TRUE(f.platform.timerSleeps.empty());
    EXPECT_TRUE(f.platform.sleeps.empty());
}

// A timer that wakes late costs the music nothing: the next wait ends where the schedule
// says, so it is shorter by as much as the first was late.
TEST(RelaxedWait, TheNextWaitMakesUpForALateWakeUp) {
    RelaxedFixture f;
    f.platform.timerWakeUps = {203'000}; // 3,000 ticks past the end at 200,000
    f.Wait(0, 20000);
    EXPECT_EQ(f.platform.counterReads, 2) << "past the end: no yield";
    f.Wait(203'050, 20000);
    EXPECT_EQ(f.platform.timerSleeps, (std::vector<int64_t>{200'000 - kMarginTicks, 400'000 - kMarginTicks}));
    EXPECT_GE(f.platform.counter - f.platform.stepPerRead, 399'995);
    EXPECT_LT(f.platform.counter - f.platform.stepPerRead, 400'000 + f.platform.stepPerRead);

    // A busy machine may wake a sleeping wait several frames late: up to 8 frames are made
    // up, and after a longer pause the schedule starts afresh.
    const struct {
        const char* rule;
        int64_t lateBy;
        bool madeUp;
    } lags[] = {
        {"a frame and a tick late: made up", 200'001, true},
        {"8 frames late: made up", 1'600'000, true},
        {"8 frames and a tick late: afresh", 1'600'001, false},
    };
    for (const auto& lag : lags) {
        SCOPED_TRACE(lag.rule);
        RelaxedFixture g;
        g.platform.timerWakeUps = {200'000 + lag.lateBy};
        g.Wait(0, 20000);
        const int64_t next = 200'000 + lag.lateBy;
        g.Wait(next, 20000);
        const int64_t from = lag.madeUp ? 200'000 : next;
        EXPECT_EQ(g.platform.timerSleeps.size(), lag.madeUp ? 1u : 2u) << "a wait already behind needs no timer";
        if (!lag.madeUp) {
            EXPECT_EQ(g.platform.timerSleeps.back(), from + 200'000 - kMarginTicks);
        }
    }
}

// Ticking the box mid-schedule applies from the next wait, which spins as it always did.
TEST(RelaxedWait, AggressiveWaitsNeverSleepOnTheTimer) {
    RelaxedFixture f;
    f.Wait(0, 300);
    f.engine.AggressiveWait = true;
    f.platform.stepPerRead = 1'000;
    f.Wait(10, 20000);
    EXPECT_TRUE(f.platform.timerSleeps.empty());
    EXPECT_TRUE(f.platform.sleeps.empty());
    EXPECT_GE(f.platform.counter - f.platform.stepPerRead, 3'000 + 200'000 - 5) << "on the relaxed wait's schedule";
}

} // namespace
} // namespace hardsid::test
