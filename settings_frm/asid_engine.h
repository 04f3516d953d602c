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

#include "diagnostic_log.h"
#include "engine_platform.h"
#include "register_slots.h"
#include "spin_lock.h"

namespace hardsid {

inline constexpr const char* kDefaultDisplayText = "Tibbo says you rock! And have a huge LCD!";
inline constexpr int32_t kFramesPerStatisticsLine = 100;

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
    /// Records a SID register write and sends a frame when the 20 ms clock says so.
    void updateRegister(uint8_t reg, uint8_t value);
    /// Builds a frame of the pending slots (with force, even of none) and sends it while
    /// streaming is enabled; clears every pending mark.
    void FlushBuffer(int32_t force);
    /// Sends the start and display-text messages and marks every slot pending with value 0.
    void SendGreeting();
    /// The player's write on device 0: updateRegister, then cycledelay counted from the same
    /// counter reading, so that one reading serves both.
    void WriteAndWait(uint8_t reg, uint8_t value, uint16_t cycles);
    /// Sends the stop message, before the device is closed.
    void SendStopMessage();
    /// The player is done: while streaming, sends the stop message once, so that the device
    /// falls silent. The next frame sent starts the stream again with the start and
    /// display-text messages and every register as the player left it.
    void StopUntilNextFrame();
    /// Holds the calling thread for the given number of SID cycles (microseconds), counted
    /// from the end of the previous wait when the player calls again within a frame.
    void cycledelay(uint16_t cycles);
    /// Appends one entry to hardsid.log.
    void WriteLogLine(std::string_view message) noexcept { log_.WriteLogLine(message); }

    /// Clears StreamingEnabled and returns once no frame is on its way to the sink, so that
    /// the caller may close or change the device.
    void StopStreaming();

    void SetDisplayText(std::string_view text);
    std::string DisplayText() const;

    // --- flags that the settings window and the entry points set (single bytes) ---
    std::atomic<uint8_t> DebugFlag{0};
    std::atomic<bool> StreamingEnabled{false};
    std::atomic<bool> AggressiveWait{false};

    // --- read-only views ---
    int64_t PerfFrequency() const noexcept { return perfFrequency_; }
    int64_t FramePeriod() const noexcept { return framePeriod_; }
    SlotWords SidSlots() const;
    int32_t FrameCount() const;
    uint32_t ByteTotal() const;
    int64_t StatsStart() const;
    bool DeadlineStarted() const;
    int64_t NextFrameDeadline() const;

private:
    static constexpr int64_t kNoReading = INT64_MIN;
    /// updateRegister's work; gives the counter reading it took, or kNoReading.
    int64_t RecordWrite(uint8_t reg, uint8_t value);
    /// The wait of cycledelay, from a reading already taken.
    void WaitFrom(int64_t reading, uint16_t cycles, bool aggressive);
    void FlushLocked(int32_t force);
    /// Before the first frame after a stop: the start and display-text messages, every slot.
    void ResumeLocked();
    void CountAndSend(const uint8_t* frame, size_t length);
    void WriteStatisticsLine();
    void LogDroppedFrame() noexcept;
    void HoldPriority(WaitPriority priority);

    IEnginePlatform& platform_;
    ISysExSink& sink_;
    TDiagnosticLog log_;
    // One lock for slots, clock, statistics and send: a greeting from the settings window
    // must not lose the player's pending marks or interleave with a frame.
    mutable SpinLock lock_;

    int64_t perfFrequency_ = 0;
    int64_t framePeriod_ = 0;
    TRegisterSlots slots_;
    int64_t nextFrameDeadline_ = 0;
    bool deadlineStarted_ = false;
    // Counter value at which the player's last wait was due to end (rounded to a tick).
    static constexpr int64_t kNoSchedule = INT64_MIN;
    std::atomic<int64_t> scheduleEnd_{kNoSchedule};
    int32_t frameCount_ = 0;
    uint32_t byteTotal_ = 0;
    int64_t statsStart_ = 0;
    std::string displayText_ = kDefaultDisplayText;
    bool stopped_ = false; // the device heard the stop message, and no frame since
};

/// PerfFrequency x 0.02 in extended precision, rounded to the nearest count (ties to even).
int64_t FramePeriodOf(int64_t perfFrequency) noexcept;

} // namespace hardsid
