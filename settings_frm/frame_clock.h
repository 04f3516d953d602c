// SPDX-License-Identifier: GPL-2.0-or-later
// When the next ASID frame is due. Two ways: the fixed 20 ms grid, or the player's beat,
// where a frame goes out each time a call of the tune's music routine ends, with the grid
// kept for a stream that never pauses and a bound that keeps a MIDI cable from overfilling.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hardsid {

/// Frames that a write may send back to back when the clock catches up after a pause.
inline constexpr int64_t kMostCatchUpFrames = 8;

/// A stretch of more than this many cycles between two writes ends a call of the tune's
/// music routine. Its bursts have gaps of a few hundred cycles at most; a 4x multispeed
/// tune leaves about 3,000 between calls, an 8x one about 1,500; and VICE, which passes 0
/// cycles after more than 1,000, draws its line at the same place.
inline constexpr uint16_t kPlayCallGapCycles = 1000;

/// Microseconds that one byte takes on a 31,250-baud MIDI cable (10 bits).
inline constexpr int64_t kCableMicrosecondsPerByte = 320;

/// A value type: the engine holds one and consults it under its lock.
class TFrameClock {
public:
    /// Sets the counter rate; the frame period is derived from it by the caller.
    void SetRate(int64_t perfFrequency, int64_t framePeriod) noexcept;
    /// On: frames follow the play calls. Off: the fixed grid alone. A change to on starts
    /// the grid afresh at the next write.
    void SetBeat(bool on) noexcept;
    bool Beat() const noexcept { return beat_; }

    /// A write at `now` on the grid alone: whether a timed frame is due; a due frame moves
    /// the deadline on. While `held` (DebugFlag) nothing is due and the deadline stands still.
    bool WriteDue(int64_t now, bool held) noexcept;
    /// The same on the beat, for a write that passes `cycles`: the first write after a play
    /// call ended starts the grid afresh, a period after the wait that it brings, and a
    /// frame is due only once the cable has carried the previous one.
    bool WriteDueOnBeat(int64_t now, uint16_t cycles, bool held) noexcept;

    /// On the beat: whether a call that carries `cycles` and comes at `now` follows the end
    /// of a play call. A call that passes no cycles says nothing of the player's timeline,
    /// so for it the gap since the last write is measured on the counter instead.
    bool EndsPlayCall(uint16_t cycles, int64_t now) const noexcept {
        return cycles > kPlayCallGapCycles || (cycles == 0 && PausedSinceWrite(now));
    }
    /// Whether more than a play call's gap has passed since the last write.
    bool PausedSinceWrite(int64_t now) const noexcept { return now - lastWrite_ > gapTicks_; }
    /// On the beat: a play call ended at `now`; gives whether its frame may go now, which it
    /// may not before the cable has carried the previous frame. The grid starts afresh at
    /// the next write either way.
    bool PlayCallEnded(int64_t now) noexcept;
    /// A frame of `bytes` left at `now`: the cable is busy with it for bytes x 320 us.
    void FrameSent(int64_t now, size_t bytes) noexcept;

    // --- read-only views ---
    bool Started() const noexcept { return started_; }
    int64_t Deadline() const noexcept { return deadline_; }
    /// The counter value from which the cable is free again.
    int64_t CableFree() const noexcept { return cableFree_; }

private:
    bool GridPointDue(int64_t now, bool held) noexcept;

    int64_t frequency_ = 0;
    int64_t period_ = 0;
    int64_t gapTicks_ = 0;
    int64_t deadline_ = 0;
    bool started_ = false;
    bool beat_ = false;
    bool restart_ = false; // a play call ended: the next write starts the grid afresh
    int64_t lastWrite_ = 0;
    int64_t cableFree_ = INT64_MIN;
};

} // namespace hardsid
