// SPDX-License-Identifier: GPL-2.0-or-later
// The streaming engine of the settings window object: register slots with the 20 ms frame
// clock, ASID frames and greeting, throughput statistics, the cycle delay that paces the
// player, and the log. Portable: the operating system is reached only through the seam.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

#include "blocking_lock.h"
#include "diagnostic_log.h"
#include "engine_platform.h"
#include "frame_clock.h"
#include "register_slots.h"

namespace hardsid {

inline constexpr const char* kDefaultDisplayText = "Tibbo says you rock! And have a huge LCD!";
inline constexpr int32_t kFramesPerStatisticsLine = 100;
/// How long a stop message may take to leave before the caller goes on.
inline constexpr uint32_t kStopMessageWaitMs = 100;

class TAsidEngine {
public:
    TAsidEngine(IEnginePlatform& platform, ISysExSink& sink, ILogFile& logFile);
    TAsidEngine(const TAsidEngine&) = delete;
    TAsidEngine& operator=(const TAsidEngine&) = delete;

    // --- start-up and tear-down steps of the window object ---
    /// Reads PerfFrequency and derives the frame period from it.
    void ReadPerfFrequency();
    /// Creates or truncates hardsid.log; false when it could not be created.
    bool CreateLog() noexcept { return log_.Open(); }
    void CloseLog() noexcept { log_.Close(); }
    /// Stops streaming and closes the log with a last entry, taking no lock: for a process
    /// that is ending, whose other threads are gone.
    void CloseAtProcessExit(std::string_view lastEntry) noexcept {
        StreamingEnabled = false;
        log_.CloseAtProcessExit(lastEntry);
    }
    /// Opens a fresh statistics window.
    void ResetStatistics();

    // --- the engine ---
    /// Records a SID register write and sends a frame when the 20 ms clock says so. Gives
    /// the counter reading that the clock took, or kNoReading for a register it ignores.
    int64_t updateRegister(uint8_t reg, uint8_t value);
    static constexpr int64_t kNoReading = INT64_MIN;
    /// Builds a frame of the pending slots (with force, even of none) and sends it while
    /// streaming is enabled; clears every pending mark.
    void FlushBuffer(int32_t force);
    /// Sends the start and display-text messages and marks every slot pending with value 0.
    void SendGreeting();
    /// The player's write on device 0: updateRegister, then the cycle delay counted from the
    /// same counter reading, so that one reading serves both.
    void WriteAndWait(uint8_t reg, uint8_t value, uint16_t cycles);
    /// Sends the stop message before the device is closed, unless the device heard one
    /// already and nothing since; true when it sent it.
    bool SendStopMessage();
    /// The player is done: while streaming, sends the stop message once, so that the device
    /// falls silent, and returns once the device is done with it (at most
    /// kStopMessageWaitMs). The next frame sent starts the stream again with the start and
    /// display-text messages and every register as the player left it.
    void StopUntilNextFrame();
    /// Holds the calling thread for the given number of SID cycles (microseconds), counted
    /// from the end of the previous wait when the player calls again within a frame.
    void cycledelay(uint16_t cycles);
    /// The player's HardSID_Delay (or HardSID_Read) cycles: on the beat, a long stretch ends
    /// a play call, whose frame goes out before the wait; then cycledelay.
    void PlayerDelay(uint16_t cycles);
    /// The player's soft flush. On the beat it ends a play call only after a pause since the
    /// last write; within a play call it sends nothing, as the call's end will.
    void SoftFlush();
    /// Frames after each play call (on) or on the 20 ms grid alone (off, the default).
    void SetBeatFrames(bool on);
    bool BeatFrames() const;
    /// Appends one entry to hardsid.log.
    void WriteLogLine(std::string_view message) noexcept { log_.WriteLogLine(message); }

    /// Clears StreamingEnabled and returns once no frame is on its way to the sink, so that
    /// the caller may close or change the device.
    void StopStreaming();
    /// Holds every message (frames, greetings, the stop message) back from the sink and
    /// returns once none is on its way, so that the caller may close or replace the device
    /// behind it while the player goes on; a greeting meanwhile only marks the slots.
    void PauseSink();
    /// Lets messages reach the sink again and greets the device there, in one step, so that
    /// a new device hears the start message before anything else.
    void ResumeSinkWithGreeting();

    void SetDisplayText(std::string_view text);

    // --- flags that the settings window and the entry points set (single bytes) ---
    std::atomic<uint8_t> DebugFlag{0};
    std::atomic<bool> StreamingEnabled{false};
    std::atomic<bool> AggressiveWait{false};

    // --- read-only views ---
    int64_t PerfFrequency() const noexcept { return perfFrequency_; }
    int64_t FramePeriod() const noexcept { return framePeriod_; }

private:
    friend class EngineProbe; // the unit tests' view of the state below
    int64_t RecordWrite(uint8_t reg, uint8_t value, uint16_t cycles);
    int64_t RecordOnBeatLocked(uint8_t reg, uint8_t value, uint16_t cycles);
    /// On the 20 ms grid: stores the write, then sends a frame when one is due.
    int64_t RecordOnGridLocked(uint8_t reg, uint8_t value);
    void EndPlayCallLocked(int64_t now);
    void SendTimedLocked(int64_t now);
    /// cycledelay from a counter reading already taken.
    void DelayFrom(int64_t reading, uint16_t cycles);
    void WaitFrom(int64_t reading, uint16_t cycles, bool aggressive);
    /// Gives the length of the frame built, 0 when none was.
    size_t FlushLocked(int32_t force);
    void GreetLocked();
    /// Before the first frame after a stop: the start and display-text messages, every slot.
    void ResumeLocked();
    void CountAndSend(const uint8_t* frame, size_t length);
    /// Takes the figures of the statistics window that ends with this frame.
    void CloseStatisticsWindow() noexcept;
    /// Writes the statistics line of a window that ended, outside the lock.
    void LogDueStatistics() noexcept;
    void LogDroppedFrame() noexcept;
    void HoldPriority(WaitPriority priority);

    IEnginePlatform& platform_;
    ISysExSink& sink_;
    TDiagnosticLog log_;
    // One lock for slots, clock, statistics and send: a greeting from the settings window
    // must not lose the player's pending marks or interleave with a frame.
    mutable TBlockingLock lock_;

    int64_t perfFrequency_ = 0;
    int64_t framePeriod_ = 0;
    TRegisterSlots slots_;
    TFrameClock clock_;
    bool sinkPaused_ = false; // while the device behind the sink changes
    // Counter value at which the player's last wait was due to end (rounded to a tick).
    static constexpr int64_t kNoSchedule = INT64_MIN;
    std::atomic<int64_t> scheduleEnd_{kNoSchedule};
    int32_t frameCount_ = 0;
    uint32_t byteTotal_ = 0;
    int64_t statsStart_ = 0;
    struct TDueStatistics {
        long double elapsedMs = 0;
        int32_t frameCount = 0;
        uint32_t byteTotal = 0;
    };
    TDueStatistics dueStatistics_; // set under the lock with statisticsDue_
    std::atomic<bool> statisticsDue_{false};
    std::string displayText_ = kDefaultDisplayText;
    bool stopped_ = false; // the device heard the stop message, and no frame since
};

/// PerfFrequency x 0.02 in extended precision, rounded to the nearest count (ties to even).
int64_t FramePeriodOf(int64_t perfFrequency) noexcept;

} // namespace hardsid
