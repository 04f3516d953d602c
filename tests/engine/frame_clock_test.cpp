// SPDX-License-Identifier: GPL-2.0-or-later
// The 20 ms frame clock: a fixed grid of deadlines from the first write, consulted on every
// accepted write.
#include <gtest/gtest.h>

#include "engine_probe.h"
#include "fakes.h"
#include "frame_decoder.h"

namespace hardsid::test {
namespace {

TEST(FramePeriod, IsTwentyMillisecondsRoundedToTheNearestCount) {
    const std::pair<int64_t, int64_t> cases[] = {
        {3'579'545, 71'591}, {10'000'000, 200'000}, {14'318'180, 286'364}, {1'000, 20}, {0, 0}};
    for (const auto& [frequency, period] : cases) {
        EXPECT_EQ(FramePeriodOf(frequency), period) << frequency;
    }
}

struct ClockFixture : EngineFixture {
    static constexpr int64_t kPeriod = 200'000; // 10 MHz

    size_t WriteAt(int64_t counter, uint8_t reg = 0, uint8_t value = 1) {
        platform.counter = counter;
        const size_t before = sink.messages.size();
        engine.updateRegister(reg, value);
        return sink.messages.size() - before;
    }
};

TEST(FrameClock, FirstWriteSendsAFrameAtOnce) {
    ClockFixture f;
    EXPECT_EQ(f.WriteAt(5'000'000, 0, 5), 1u);
    EXPECT_EQ(PendingSlots(f.sink.messages.back()), (std::vector<std::pair<int, int>>{{0, 5}}));
    EXPECT_EQ(EngineProbe(f.engine).NextFrameDeadline(), 5'000'000 + ClockFixture::kPeriod);

    EXPECT_EQ(f.WriteAt(5'000'001, 0, 5), 0u);
    EXPECT_EQ(EngineProbe(f.engine).SidSlots()[0], 5) << "a repeated value marks nothing";
}

TEST(FrameClock, DeadlinesFormAGridFromTheFirstWrite) {
    ClockFixture f;
    const int64_t t0 = 1'000'000;
    const int64_t p = ClockFixture::kPeriod;
    const std::pair<int64_t, size_t> writes[] = {
        {t0, 1},               // first write: due at once
        {t0 + p - 1, 0},       // just before the next deadline
        {t0 + p, 1},           // on it
        {t0 + 2 * p + p / 2, 1}, // late: sent, and the deadline moves by one period only
        {t0 + 2 * p + 9 * p / 10, 0},
        {t0 + 3 * p, 1},
    };
    for (const auto& [counter, frames] : writes) {
        SCOPED_TRACE(counter - t0);
        EXPECT_EQ(f.WriteAt(counter), frames);
    }
}

// After a pause every write sends a frame until the deadline is ahead of the present again.
TEST(FrameClock, CatchesUpOneFramePerWriteAfterAPause) {
    ClockFixture f;
    const int64_t p = ClockFixture::kPeriod;
    f.WriteAt(0);
    const int64_t now = p + 5 * p + p / 2; // 5.5 periods past the deadline
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(f.WriteAt(now, 0, static_cast<uint8_t>(i)), 1u) << "write " << i;
    }
    EXPECT_EQ(f.WriteAt(now, 0, 9), 0u);
    EXPECT_EQ(EngineProbe(f.engine).NextFrameDeadline(), 7 * p);
}

// A lag of 8 periods or more no longer sends one frame per period missed: the deadline
// moves on by whole periods to the last grid point at or before the present, so at most 8
// frames go out back to back, and after a long pause one.
TEST(FrameClock, CatchUpAfterALongPauseIsBounded) {
    const int64_t p = ClockFixture::kPeriod;
    const struct {
        int64_t lagTenths; // periods behind the deadline, in tenths
        size_t frames;
        int64_t gridPointsToNextDeadline; // from the first deadline after the catch-up
    } cases[] = {
        {75, 8, 8},     // short lag: every missed period still sends its frame
        {80, 1, 9},     // on a grid point: that point is due, the next one is ahead
        {90, 1, 10},
        {1500, 1, 151},
        {1505, 1, 151}, // between grid points: the clock stays on its grid
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lagTenths);
        ClockFixture f;
        f.WriteAt(0); // the first deadline is now p
        const int64_t now = p + c.lagTenths * p / 10;
        size_t frames = 0;
        for (int i = 0; i < 200; ++i) {
            const size_t sent = f.WriteAt(now, 0, static_cast<uint8_t>(i));
            if (sent == 0) {
                break;
            }
            frames += sent;
        }
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(EngineProbe(f.engine).NextFrameDeadline(), p + c.gridPointsToNextDeadline * p);
    }
}

// Registers 25 to 27 are read-only on the chip: a write there changes no slot, yet it is
// a write of the player's and keeps the clock going; 28 and above are not looked at at all.
TEST(FrameClock, IgnoresRegistersAbove27) {
    ClockFixture f;
    f.WriteAt(0);
    EXPECT_EQ(f.WriteAt(10 * ClockFixture::kPeriod, 28), 0u);
    EXPECT_EQ(EngineProbe(f.engine).NextFrameDeadline(), ClockFixture::kPeriod);
    f.engine.DebugFlag = 1;
    f.WriteAt(10 * ClockFixture::kPeriod, 5, 0x77);
    f.engine.DebugFlag = 0;
    for (const uint8_t reg : {25, 26, 27}) {
        SCOPED_TRACE(static_cast<int>(reg));
        ASSERT_EQ(f.WriteAt((reg - 15) * ClockFixture::kPeriod, reg, 0x10), 1u) << "a due frame goes out";
        const auto carried = PendingSlots(f.sink.messages.back());
        EXPECT_EQ(carried, (reg == 25 ? std::vector<std::pair<int, int>>{{4, 0x77}} : std::vector<std::pair<int, int>>{}))
            << "it carries what was pending before, nothing of this write";
    }

    ClockFixture fresh;
    fresh.WriteAt(0, 30);
    EXPECT_FALSE(EngineProbe(fresh.engine).DeadlineStarted()) << "an ignored register does not start the clock";
}

TEST(FrameClock, DebugFlagHoldsTimedFramesAndTheDeadline) {
    ClockFixture f;
    const int64_t p = ClockFixture::kPeriod;
    f.engine.DebugFlag = 1;
    EXPECT_EQ(f.WriteAt(0, 0, 1), 0u);
    EXPECT_TRUE(EngineProbe(f.engine).DeadlineStarted()) << "the first write starts the clock all the same";
    EXPECT_EQ(f.WriteAt(3 * p, 1, 2), 0u);
    EXPECT_EQ(EngineProbe(f.engine).NextFrameDeadline(), 0);

    f.engine.FlushBuffer(1);
    EXPECT_EQ(PendingSlots(f.sink.messages.back()), (std::vector<std::pair<int, int>>{{0, 1}, {1, 2}}));

    f.engine.DebugFlag = 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f.WriteAt(3 * p, 2, static_cast<uint8_t>(i)), 1u) << "catch-up write " << i;
    }
    EXPECT_EQ(f.WriteAt(3 * p, 2, 9), 0u);
}

TEST(FrameClock, FlushAndGreetingLeaveTheDeadlineAlone) {
    ClockFixture f;
    f.WriteAt(0);
    f.engine.FlushBuffer(1);
    f.engine.SendGreeting();
    EXPECT_EQ(EngineProbe(f.engine).NextFrameDeadline(), ClockFixture::kPeriod);
    EXPECT_EQ(f.WriteAt(ClockFixture::kPeriod - 1), 0u);
}

TEST(FrameClock, ZeroFrequencySendsAFrameOnEveryWrite) {
    ClockFixture f;
    f.platform.frequency = 0;
    f.engine.ReadPerfFrequency();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f.WriteAt(42, 0, static_cast<uint8_t>(i)), 1u);
    }
}

} // namespace
} // namespace hardsid::test
