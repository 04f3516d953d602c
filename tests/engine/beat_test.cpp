// SPDX-License-Identifier: GPL-2.0-or-later
// Frames on the player's beat: the frame clock's own rules, the engine sending each play
// call whole when the player's timeline shows its end, and the players' patterns.
#include <gtest/gtest.h>

#include <iostream>

#include "fakes.h"
#include "frame_decoder.h"
#include "settings_frm/frame_clock.h"
#include "tools/player_patterns/player_patterns.h"

namespace hardsid::test {
namespace {

constexpr int64_t kFrequency = 10'000'000;
constexpr int64_t kPeriod = 200'000;   // 20 ms at 10 MHz
constexpr int64_t kTicksPerCycle = 10;

TFrameClock BeatClock() {
    TFrameClock clock;
    clock.SetRate(kFrequency, kPeriod);
    clock.SetBeat(true);
    return clock;
}

// Off, the clock is the grid: the first write is due at once, then one frame per period.
TEST(FrameClockValue, GridAloneIsDueOnTheFixedGrid) {
    TFrameClock clock;
    clock.SetRate(kFrequency, kPeriod);
    const std::pair<int64_t, bool> writes[] = {{0, true}, {kPeriod - 1, false}, {kPeriod, true}, {2 * kPeriod + 7, true},
                                               {3 * kPeriod - 1, false}};
    for (const auto& [at, due] : writes) {
        EXPECT_EQ(clock.WriteDue(at, false), due) << at;
    }
    EXPECT_EQ(clock.Deadline(), 3 * kPeriod);
    EXPECT_FALSE(clock.WriteDue(9 * kPeriod, true)) << "held: nothing due";
    EXPECT_EQ(clock.Deadline(), 3 * kPeriod) << "held: the deadline stands still";
}

// On the beat, a write that passes no cycles ends a play call only after a gap on the counter;
// one that passes cycles ends it by them alone, whatever the counter says.
TEST(FrameClockValue, PlayCallEndsAtALongStretchOfThePlayersCycles) {
    const int64_t gap = kPlayCallGapCycles * kTicksPerCycle;
    const struct {
        const char* rule;
        uint16_t cycles;
        int64_t sinceWrite;
        bool ends;
    } cases[] = {
        {"a burst's gap", 500, gap * 5, false},
        {"the threshold", kPlayCallGapCycles, 0, false},
        {"just past the threshold", kPlayCallGapCycles + 1, 0, true},
        {"a frame's idle time", 19'000, 0, true},
        {"0 cycles right after a write", 0, gap, false},
        {"0 cycles after a gap", 0, gap + 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        TFrameClock clock = BeatClock();
        clock.WriteDueOnBeat(1'000'000, 0, false);
        EXPECT_EQ(clock.EndsPlayCall(c.cycles, 1'000'000 + c.sinceWrite), c.ends);
    }
}

// A play call starts the grid afresh: a period after the wait its first write brings, so a
// stream that never pauses still gets a frame every period, and a call never does.
TEST(FrameClockValue, BeatRestartsTheGridAtEachPlayCall) {
    TFrameClock clock = BeatClock();
    EXPECT_FALSE(clock.WriteDueOnBeat(0, 0, false)) << "the first write waits for its call's end";
    EXPECT_EQ(clock.Deadline(), kPeriod);
    EXPECT_FALSE(clock.WriteDueOnBeat(kPeriod - 1, 0, false));
    EXPECT_TRUE(clock.WriteDueOnBeat(kPeriod, 0, false)) << "a stream without gaps: the grid";
    EXPECT_EQ(clock.Deadline(), 2 * kPeriod);

    EXPECT_TRUE(clock.PlayCallEnded(kPeriod + 10));
    EXPECT_FALSE(clock.WriteDueOnBeat(3 * kPeriod, 18'000, false)) << "the next call's first write";
    EXPECT_EQ(clock.Deadline(), 3 * kPeriod + 18'000 * kTicksPerCycle + kPeriod);
}

// The cable carries 3,125 bytes a second: after a frame of n bytes nothing is due for n x
// 320 us (rounded up to a count), neither at a play call's end nor on the grid.
TEST(FrameClockValue, CableBoundHoldsFramesUntilThePreviousOneIsCarried) {
    TFrameClock clock = BeatClock();
    clock.WriteDueOnBeat(0, 0, false);
    clock.FrameSent(1'000'000, 40);
    EXPECT_EQ(clock.CableFree(), 1'000'000 + 128'000);
    EXPECT_FALSE(clock.PlayCallEnded(1'127'999));
    EXPECT_TRUE(clock.PlayCallEnded(1'128'000));

    clock.WriteDueOnBeat(1'128'000, 0, false); // restarts the grid
    clock.FrameSent(1'128'000 + kPeriod, 40);
    EXPECT_FALSE(clock.WriteDueOnBeat(1'128'000 + kPeriod + 1, 0, false)) << "grid point passed, cable busy";
    EXPECT_TRUE(clock.WriteDueOnBeat(1'128'000 + kPeriod + 128'000, 0, false));

    TFrameClock slow;
    slow.SetRate(3'579'545, FramePeriodOf(3'579'545));
    slow.FrameSent(0, 1);
    EXPECT_EQ(slow.CableFree(), 1146) << "1,145.45 counts, rounded up";
}

// Turning the beat on mid-stream starts the grid afresh at the next write.
TEST(FrameClockValue, SwitchingTheBeatOnRestartsTheGrid) {
    TFrameClock clock;
    clock.SetRate(kFrequency, kPeriod);
    EXPECT_TRUE(clock.WriteDue(0, false));
    clock.SetBeat(true);
    EXPECT_FALSE(clock.WriteDueOnBeat(5 * kPeriod, 0, false));
    EXPECT_EQ(clock.Deadline(), 6 * kPeriod);
}

struct BeatFixture : EngineFixture {
    BeatFixture() {
        engine.SetBeatFrames(true);
        platform.stepPerRead = 1; // waits end after their reading
    }
    /// Frames sent by `call`, with the counter at `at` when it starts.
    template <typename Call>
    std::vector<Bytes> At(int64_t at, Call&& call) {
        platform.counter = at;
        const size_t before = sink.messages.size();
        call();
        return {sink.messages.begin() + static_cast<std::ptrdiff_t>(before), sink.messages.end()};
    }
    /// A play call: registers 0..n-1, a few cycles apart.
    void Burst(int64_t at, uint8_t value, int n = 3) {
        platform.counter = at;
        for (int reg = 0; reg < n; ++reg) {
            engine.WriteAndWait(static_cast<uint8_t>(reg), value, 30);
        }
    }
};

using Slots = std::vector<std::pair<int, int>>;

// The frame of a play call leaves when the next call's long stretch comes: before that
// call's write is stored and before its wait, for a write, a delay and a read alike.
TEST(BeatFrames, LongStretchSendsThePlayCallBeforeItsOwnWriteAndWait) {
    BeatFixture f;
    f.engine.AggressiveWait = true; // waits start afresh after this test's pauses
    f.Burst(1'000'000, 7);
    EXPECT_TRUE(f.sink.messages.empty()) << "no frame within a play call";
    const auto byWrite = f.At(1'500'000, [&] { f.engine.WriteAndWait(0, 8, 18'000); });
    ASSERT_EQ(byWrite.size(), 1u);
    EXPECT_EQ(PendingSlots(byWrite[0]), (Slots{{0, 7}, {1, 7}, {2, 7}}));
    EXPECT_GE(f.platform.counter, 1'500'000 + 18'000 * kTicksPerCycle - 5) << "then it waits";

    f.Burst(f.platform.counter, 9);
    const auto byDelay = f.At(f.platform.counter, [&] { f.engine.PlayerDelay(kPlayCallGapCycles + 1); });
    ASSERT_EQ(byDelay.size(), 1u);
    EXPECT_EQ(PendingSlots(byDelay[0]), (Slots{{0, 9}, {1, 9}, {2, 9}})) << "the write of 8 and the burst";

    const auto idle = f.At(f.platform.counter, [&] { f.engine.PlayerDelay(65'535); });
    EXPECT_TRUE(idle.empty()) << "nothing pending: no frame";
    const auto shortDelay = f.At(f.platform.counter, [&] {
        f.engine.WriteAndWait(5, 1, 30);
        f.engine.PlayerDelay(kPlayCallGapCycles);
    });
    EXPECT_TRUE(shortDelay.empty()) << "a gap inside a burst";
}

// VICE passes 0 cycles after idle time and soft-flushes after that write: the write ends the
// previous call on the counter's gap, and the soft flush adds no frame; its 50 ms timer's
// flush, after a pause, sends the last call.
TEST(BeatFrames, ViceStyleSoftFlushAddsNoFrameOfItsOwn) {
    BeatFixture f;
    f.At(1'000'000, [&] {
        f.engine.WriteAndWait(0, 3, 0);
        f.engine.WriteAndWait(1, 3, 40);
    });
    const auto next = f.At(1'196'000, [&] {
        f.engine.WriteAndWait(0, 4, 0);
        f.engine.SoftFlush();
    });
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(PendingSlots(next[0]), (Slots{{0, 3}, {1, 3}}));
    const auto idleFlush = f.At(1'196'000 + 500'000, [&] { f.engine.SoftFlush(); });
    ASSERT_EQ(idleFlush.size(), 1u);
    EXPECT_EQ(PendingSlots(idleFlush[0]), (Slots{{0, 4}}));
    EXPECT_TRUE(f.At(1'196'000 + 900'000, [&] { f.engine.SoftFlush(); }).empty()) << "nothing pending";
    EXPECT_EQ(f.At(2'500'000, [&] { f.engine.FlushBuffer(1); }).size(), 1u) << "HardSID_Flush sends as ever";
}

// A play call's end within the cable time of the previous frame sends nothing; the call
// rides with the next one, whose end sends both.
TEST(BeatFrames, CallsShareAFrameOnlyWhenTheCableForcesIt) {
    BeatFixture f;
    f.Burst(1'000'000, 1, 20);
    ASSERT_EQ(f.At(1'050'000, [&] { f.engine.PlayerDelay(2000); }).size(), 1u); // 32 bytes: 10.24 ms
    f.Burst(1'060'000, 2, 2);
    EXPECT_TRUE(f.At(1'090'000, [&] { f.engine.PlayerDelay(2000); }).empty());
    f.Burst(1'120'000, 3, 1);
    const auto both = f.At(1'160'000, [&] { f.engine.PlayerDelay(2000); });
    ASSERT_EQ(both.size(), 1u);
    EXPECT_EQ(PendingSlots(both[0]), (Slots{{0, 3}, {1, 2}}));
}

// While DebugFlag is set no play call's end sends a frame; a flush sends them all.
TEST(BeatFrames, DebugFlagHoldsFramesAtPlayCallEnds) {
    BeatFixture f;
    f.engine.DebugFlag = 1;
    f.Burst(1'000'000, 5);
    EXPECT_TRUE(f.At(1'200'000, [&] { f.engine.PlayerDelay(18'000); }).empty());
    EXPECT_TRUE(f.At(1'400'000, [&] { f.engine.WriteAndWait(0, 6, 0); }).empty());
    const auto flushed = f.At(1'500'000, [&] { f.engine.FlushBuffer(1); });
    ASSERT_EQ(flushed.size(), 1u);
    EXPECT_EQ(PendingSlots(flushed[0]), (Slots{{0, 6}, {1, 5}, {2, 5}}));
}

// After the stop message the first play call's frame greets the device again first.
TEST(BeatFrames, FrameAfterAStopGreetsTheDeviceAgain) {
    BeatFixture f;
    f.Burst(1'000'000, 5);
    f.engine.StopUntilNextFrame();
    const auto sent = f.At(1'200'000, [&] { f.engine.PlayerDelay(18'000); });
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], (Bytes{0xF0, 0x2D, 0x4C, 0xF7}));
    EXPECT_EQ(PendingSlots(sent[2]).size(), 28u) << "every register, as the player left it";
}

// Every player family's pattern: on the beat no play call is split or lost, each gets one
// frame, no frame overruns the cable, and a stream without gaps gets the grid's frames;
// the grid's figures are printed beside them.
TEST(BeatFrames, PlayerPatternsGetOneWholeFramePerPlayCall) {
    patterns::PrintTable(std::cout);
    for (const patterns::Pattern& pattern : patterns::StandardPatterns()) {
        SCOPED_TRACE(pattern.name);
        const patterns::Figures beat = patterns::Run(pattern, true);
        EXPECT_EQ(beat.unmatched, 0u);
        EXPECT_EQ(beat.cableOverruns, 0u);
        if (pattern.digi) {
            EXPECT_NEAR(beat.framesPerSecond, 50, 1);
            EXPECT_LE(beat.longestIntervalMs, 20.5);
            EXPECT_LE(beat.mostFramesIn20ms, 2);
            continue;
        }
        EXPECT_EQ(beat.split, 0u);
        EXPECT_EQ(beat.lost, 0u);
        EXPECT_EQ(beat.frames, beat.playCalls);
        // A frame leaves at its call's end: intervals vary by the bursts' lengths, 3 ms at most.
        EXPECT_LE(beat.longestIntervalMs, pattern.callCycles / 1000.0 + 3);
    }
}

} // namespace
} // namespace hardsid::test
