// SPDX-License-Identifier: GPL-2.0-or-later
// The cycle delay holds the caller on the counter: in aggressive mode it returns at the first
// reading at or after start + wait - 5 ticks without yielding, and it keeps the thread raised.
// How relaxed mode splits a wait between the timer and the counter: relaxed_wait_test.cpp.
#include <gtest/gtest.h>

#include <thread>

#include "fakes.h"
#include "frame_decoder.h"

namespace hardsid::test {
namespace {

struct DelayCase {
    const char* rule;
    int64_t frequency;
    uint16_t cycles;
    std::deque<int64_t> readings; // the first is the start
    int readsTaken;
};

TEST(CycleDelay, AggressiveReturnsAtTheFirstReadingPastTheWait) {
    const DelayCase cases[] = {
        {"0 cycles: one reading", 10'000'000, 0, {100, 200}, 1},
        {"5 ticks or less: one reading", 5'000'000, 1, {100, 200}, 1},
        {"1000 cycles at 10 MHz end at start + 9995", 10'000'000, 1000, {100, 5'000, 10'094, 10'095, 10'096}, 4},
        {"the fraction of the wait is kept: 10.74 ticks end past start + 5",
         3'579'545, 3, {0, 5, 6, 7}, 3},
        {"65535 cycles wait 65.535 ms less 5 ticks", 10'000'000, 65535, {0, 655'344, 655'345, 655'346}, 3},
    };
    for (const DelayCase& c : cases) {
        SCOPED_TRACE(c.rule);
        EngineFixture f;
        f.platform.frequency = c.frequency;
        f.engine.ReadPerfFrequency();
        f.engine.AggressiveWait = true;
        f.platform.readings = c.readings;
        f.platform.counterReads = 0;
        f.engine.cycledelay(c.cycles);
        EXPECT_EQ(f.platform.counterReads, c.readsTaken);
        EXPECT_TRUE(f.platform.sleeps.empty()) << "aggressive mode never yields";
        EXPECT_TRUE(f.platform.timerSleeps.empty()) << "nor sleeps on the timer";
    }
}

TEST(CycleDelay, ZeroFrequencyReturnsAtOnce) {
    EngineFixture f;
    f.platform.frequency = 0;
    f.engine.ReadPerfFrequency();
    f.platform.counterReads = 0;
    f.engine.cycledelay(65535);
    EXPECT_EQ(f.platform.counterReads, 1);
}

// The thread ends every call at its mode's priority, set only when it is not there yet.
TEST(CycleDelay, SetsThePriorityOfTheModeOncePerThread) {
    EngineFixture f;
    f.engine.cycledelay(0);
    f.engine.cycledelay(0);
    EXPECT_EQ(f.platform.priorities, std::vector<WaitPriority>{WaitPriority::AboveNormal});

    f.engine.AggressiveWait = true;
    f.engine.cycledelay(0);
    f.engine.cycledelay(0);
    EXPECT_EQ(f.platform.priorities, (std::vector<WaitPriority>{WaitPriority::AboveNormal, WaitPriority::TimeCritical}));

    std::thread other([&] { f.engine.cycledelay(0); });
    other.join();
    EXPECT_EQ(f.platform.priorities.size(), 3u) << "another thread gets its own priority";
    EXPECT_EQ(f.platform.priorities.back(), WaitPriority::TimeCritical);

    f.engine.AggressiveWait = false;
    f.engine.cycledelay(0);
    EXPECT_EQ(f.platform.priorities.back(), WaitPriority::AboveNormal);
}

} // namespace
} // namespace hardsid::test

namespace hardsid::test {
namespace {

/// Two waits of 1000 cycles (10,000 ticks at 10 MHz); the first starts at 0 and wakes late.
struct ScheduleCase {
    const char* rule;
    uint16_t secondCycles;
    std::deque<int64_t> secondReadings; // the first is the second wait's start
    int secondReads;
};

// Waits that follow one another keep the player's time: lateness is made up, and only a
// pause of more than a frame starts the schedule afresh.
TEST(CycleDelay, PromptWaitsCarryOnFromThePreviousTarget) {
    const ScheduleCase cases[] = {
        {"a prompt wait ends at the first target + 9995, not its own start + 9995", 1000, {10'060, 19'994, 19'995}, 3},
        {"a wait that is behind its target returns after one reading", 10, {10'200}, 1},
        {"after a pause of more than a frame the wait counts from its own start",
         1000, {10'000 + 200'001, 10'000 + 200'001 + 9'994, 10'000 + 200'001 + 9'995}, 3},
    };
    for (const ScheduleCase& c : cases) {
        SCOPED_TRACE(c.rule);
        EngineFixture f;
        f.engine.AggressiveWait = true;
        f.platform.readings = {0, 9'994, 10'050}; // 55 ticks late
        f.engine.cycledelay(1000);
        ASSERT_TRUE(f.platform.readings.empty());
        f.platform.readings = c.secondReadings;
        f.platform.counterReads = 0;
        f.platform.stepPerRead = 1'000'000; // a read past the script jumps far ahead
        f.engine.cycledelay(c.secondCycles);
        EXPECT_EQ(f.platform.counterReads, c.secondReads);
        EXPECT_TRUE(f.platform.readings.empty());
    }
}

} // namespace
} // namespace hardsid::test

namespace hardsid::test {
namespace {

// The player's write reads the counter once: the frame clock's reading starts the wait.
TEST(WriteAndWait, OneReadingServesTheClockAndTheWait) {
    const std::pair<uint8_t, int> cases[] = {{0, 1}, {30, 1}}; // a slot register, and one beyond
    for (const auto& [reg, reads] : cases) {
        SCOPED_TRACE(static_cast<int>(reg));
        EngineFixture f;
        f.engine.updateRegister(1, 1); // the clock has started; the next frame is 20 ms away
        f.platform.counterReads = 0;
        f.engine.WriteAndWait(reg, 7, 0);
        EXPECT_EQ(f.platform.counterReads, reads);
    }
    EngineFixture f;
    f.engine.AggressiveWait = true; // a relaxed wait this short returns at once
    f.platform.readings = {0, 9'994, 9'995, 50'000};
    f.platform.counterReads = 0;
    f.engine.WriteAndWait(0, 5, 1000); // the first write: a frame, then 10,000 ticks from reading 0
    EXPECT_EQ(f.platform.counterReads, 3);
    EXPECT_EQ(PendingSlots(f.sink.messages.at(0)), (std::vector<std::pair<int, int>>{{0, 5}}));
}

} // namespace
} // namespace hardsid::test
