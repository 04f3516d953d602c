// SPDX-License-Identifier: GPL-2.0-or-later
#include "frame_clock.h"

namespace hardsid {

namespace {
constexpr int64_t kMicrosecondsPerSecond = 1'000'000;

// Counter counts in a number of microseconds, in two parts so that no product overflows
// whatever the counter's rate.
int64_t TicksOf(int64_t frequency, int64_t microseconds, bool roundUp) noexcept {
    const int64_t whole = frequency / kMicrosecondsPerSecond * microseconds;
    const int64_t part = frequency % kMicrosecondsPerSecond * microseconds;
    return whole + (part + (roundUp ? kMicrosecondsPerSecond - 1 : 0)) / kMicrosecondsPerSecond;
}
} // namespace

void TFrameClock::SetRate(int64_t perfFrequency, int64_t framePeriod) noexcept {
    frequency_ = perfFrequency;
    period_ = framePeriod;
    gapTicks_ = TicksOf(perfFrequency, kPlayCallGapCycles, false);
}

void TFrameClock::SetBeat(bool on) noexcept {
    if (on && !beat_) {
        restart_ = true;
    }
    beat_ = on;
}

bool TFrameClock::WriteDue(int64_t now, bool held) noexcept {
    if (!started_) {
        deadline_ = now;
        started_ = true;
    }
    return GridPointDue(now, held);
}

bool TFrameClock::WriteDueOnBeat(int64_t now, uint16_t cycles, bool held) noexcept {
    lastWrite_ = now;
    if (!started_ || restart_) {
        // A play call starts: a grid frame is due only if it goes on for a whole period. A
        // player that passes the idle time with the call's first write waits it after.
        deadline_ = now + TicksOf(frequency_, cycles, false) + period_;
        started_ = true;
        restart_ = false;
        return false;
    }
    return now >= cableFree_ && GridPointDue(now, held);
}

bool TFrameClock::GridPointDue(int64_t now, bool held) noexcept {
    if (now < deadline_ || held) {
        return false;
    }
    // The deadlines form a fixed grid from the first write: the clock never drifts with the
    // moments at which writes arrive, and catches up one frame per write after a short lag.
    // After a longer pause it skips to the last grid point at or before now instead, so that
    // no more than kMostCatchUpFrames frames go out back to back.
    if (period_ > 0 && now - deadline_ >= kMostCatchUpFrames * period_) {
        deadline_ += (now - deadline_) / period_ * period_;
    }
    deadline_ += period_;
    return true;
}

bool TFrameClock::PlayCallEnded(int64_t now) noexcept {
    restart_ = true;
    return now >= cableFree_;
}

void TFrameClock::FrameSent(int64_t now, size_t bytes) noexcept {
    // Rounded up, so that the cable is never asked for more than it carries.
    cableFree_ = now + TicksOf(frequency_, static_cast<int64_t>(bytes) * kCableMicrosecondsPerByte, true);
}

} // namespace hardsid
