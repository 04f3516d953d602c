// SPDX-License-Identifier: GPL-2.0-or-later
// The cycle delay: one SID cycle counts as one microsecond, measured on the performance
// counter. Relaxed mode sleeps through the bulk of a wait on the platform's timer and yields
// through the last stretch; aggressive mode spins at time-critical priority.
#include "asid_engine.h"


namespace hardsid {

namespace {
constexpr int64_t kMicroPerTick = 1000000; // one cycle is a microsecond
constexpr int64_t kEarlyReturnTicks = 5;
// How long before a relaxed wait's end the timer is asked to wake us; the rest is timed on
// the counter, and every microsecond of it is spent yielding. Under Wine the sleep wakes
// 0.10 to 0.16 ms late as a rule and 0.25 ms late at the 90th percentile on a shared
// machine, so 0.5 ms ends most waits on the counter for about 0.35 ms of processor time
// each, some 20 ms per second of music. It is also as far as a short relaxed wait may let
// the player run ahead of its schedule.
constexpr int64_t kRelaxedMarginMicroseconds = 500;

/// The whole ticks nearest to microTicks millionths of a tick, counted on from start: the
/// schedule's end, rounded as a reading of the counter would be, halves to the even end.
int64_t RoundedTicks(int64_t start, int64_t microTicks) noexcept {
    const int64_t whole = microTicks / kMicroPerTick;
    const int64_t twiceRest = 2 * (microTicks % kMicroPerTick);
    const bool up = twiceRest > kMicroPerTick || (twiceRest == kMicroPerTick && ((start + whole) & 1) != 0);
    return whole + (up ? 1 : 0);
}
} // namespace

// Setting a priority is a system call (a server round trip under Wine), too dear to repeat
// on every write: each thread remembers the level it was last given.
void TAsidEngine::HoldPriority(WaitPriority priority) {
    const auto held = static_cast<uintptr_t>(priority) + 1; // 0 means "not set yet"
    if (platform_.ThreadWord() == held) {
        return;
    }
    platform_.SetCurrentThreadPriority(priority);
    platform_.SetThreadWord(held);
}

void TAsidEngine::cycledelay(uint16_t cycles) { DelayFrom(platform_.PerformanceCounter(), cycles); }

void TAsidEngine::DelayFrom(int64_t reading, uint16_t cycles) {
    const bool aggressive = AggressiveWait.load(std::memory_order_relaxed);
    HoldPriority(aggressive ? WaitPriority::TimeCritical : WaitPriority::AboveNormal);
    WaitFrom(reading, cycles, aggressive);
}

void TAsidEngine::WaitFrom(int64_t reading, uint16_t cycles, bool aggressive) {
    // The wait in millionths of a tick, exact: F x cycles / 1000000 ticks. Integer arithmetic
    // throughout, as this runs on every write of the player's.
    const int64_t waitMicroTicks = perfFrequency_ * cycles;
    // A wait that follows promptly carries on from where the previous one was due to end, so
    // that what the player, a frame or a late wake-up took in between is made up instead of
    // slowing the music down. After a pause of more than a frame the schedule starts afresh.
    // A short relaxed wait returns early, at most the margin ahead of its schedule. A relaxed
    // wait sleeps, and a busy machine wakes it up to tens of milliseconds late: that is made
    // up over as many frames as the frame clock catches up after a lag.
    const int64_t margin = perfFrequency_ * kRelaxedMarginMicroseconds / kMicroPerTick;
    const int64_t longestLag = aggressive ? framePeriod_ : kMostCatchUpFrames * framePeriod_;
    int64_t start = reading;
    const int64_t scheduled = scheduleEnd_.load(std::memory_order_relaxed);
    if (scheduled != kNoSchedule) {
        const int64_t lag = reading - scheduled;
        if (lag >= -kEarlyReturnTicks - margin && lag <= longestLag) {
            start = scheduled;
        }
    }
    const int64_t target = start + RoundedTicks(start, waitMicroTicks);
    scheduleEnd_.store(target, std::memory_order_relaxed);

    // The wait ends at the first reading at or past start + wait - 5 ticks: the smallest
    // whole number of ticks not below the exact wait.
    const int64_t waitTicksUp = waitMicroTicks > 0 ? (waitMicroTicks - 1) / kMicroPerTick + 1 : 0;
    const int64_t end = start + waitTicksUp - kEarlyReturnTicks;
    int64_t now = reading;
    if (!aggressive) {
        // What a short wait leaves undone the next wait of the schedule does: a frame carries
        // a whole frame's writes, so within it nobody hears when a write was made.
        if (end - now <= margin) {
            return;
        }
        platform_.SleepUntilAbout(target - margin);
        now = platform_.PerformanceCounter();
    }
    while (now < end) {
        if (!aggressive) {
            platform_.Sleep(0);
        }
        now = platform_.PerformanceCounter();
    }
}

} // namespace hardsid
