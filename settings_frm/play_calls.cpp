// SPDX-License-Identifier: GPL-2.0-or-later
// Frames on the player's beat: each call of the tune's music routine goes out whole in a
// frame of its own, sent when the player's timeline shows that the call has ended.
#include <mutex>

#include "asid_engine.h"

namespace hardsid {

void TAsidEngine::SetBeatFrames(bool on) {
    std::lock_guard guard(lock_);
    clock_.SetBeat(on);
}

bool TAsidEngine::BeatFrames() const {
    std::lock_guard guard(lock_);
    return clock_.Beat();
}

// The frame for what came before goes out before this write is stored and before its wait:
// it leaves when the play call ended, and carries nothing of the next one.
int64_t TAsidEngine::RecordOnBeatLocked(uint8_t reg, uint8_t value, uint16_t cycles) {
    const int64_t now = platform_.PerformanceCounter();
    if (clock_.EndsPlayCall(cycles, now)) {
        EndPlayCallLocked(now);
    }
    slots_.Store(reg, value);
    if (clock_.WriteDueOnBeat(now, cycles, DebugFlag.load(std::memory_order_relaxed) != 0)) {
        SendTimedLocked(now);
    }
    return now;
}

void TAsidEngine::EndPlayCallLocked(int64_t now) {
    if (DebugFlag.load(std::memory_order_relaxed) != 0) {
        return; // no timed frames, and the grid stands still
    }
    // A frame that the cable cannot take yet stays pending and goes with the next call.
    if (clock_.PlayCallEnded(now) && slots_.AnyPending()) {
        SendTimedLocked(now);
    }
}

void TAsidEngine::SendTimedLocked(int64_t now) { clock_.FrameSent(now, FlushLocked(1)); }

void TAsidEngine::PlayerDelay(uint16_t cycles) {
    // One counter reading ends the play call and starts the wait.
    const int64_t reading = platform_.PerformanceCounter();
    if (cycles > kPlayCallGapCycles) {
        {
            std::lock_guard guard(lock_);
            if (clock_.Beat()) {
                EndPlayCallLocked(reading);
            }
        }
        LogDueStatistics();
    }
    DelayFrom(reading, cycles);
}

// VICE soft-flushes right after the first write of each play call, and again after 50 ms
// without writes: only the second shows that a call has ended.
void TAsidEngine::SoftFlush() {
    {
        std::lock_guard guard(lock_);
        if (!clock_.Beat()) {
            FlushLocked(1);
        } else if (const int64_t now = platform_.PerformanceCounter(); clock_.PausedSinceWrite(now)) {
            EndPlayCallLocked(now);
        }
    }
    LogDueStatistics();
}

} // namespace hardsid
