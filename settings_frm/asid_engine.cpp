// SPDX-License-Identifier: GPL-2.0-or-later
#include "asid_engine.h"

#include <array>
#include <charconv>
#include <cmath>
#include <mutex>

#include "asid_messages.h"
#include "statistics.h"

namespace hardsid {

int64_t FramePeriodOf(int64_t perfFrequency) noexcept {
    constexpr long double kFrameSeconds = 0.02L;
    // llrintl rounds in the current mode, which is to nearest with ties to even.
    return std::llrint(static_cast<long double>(perfFrequency) * kFrameSeconds);
}

TAsidEngine::TAsidEngine(IEnginePlatform& platform, ISysExSink& sink, ILogFile& logFile)
    : platform_(platform), sink_(sink), log_(platform, logFile), lock_(platform) {}

void TAsidEngine::ReadPerfFrequency() {
    const int64_t frequency = platform_.PerformanceFrequency();
    std::lock_guard guard(lock_);
    perfFrequency_ = frequency;
    framePeriod_ = FramePeriodOf(frequency);
    clock_.SetRate(perfFrequency_, framePeriod_);
}

void TAsidEngine::ResetStatistics() {
    std::lock_guard guard(lock_);
    frameCount_ = 0;
    statsStart_ = platform_.PerformanceCounter();
}

int64_t TAsidEngine::updateRegister(uint8_t reg, uint8_t value) { return RecordWrite(reg, value, 0); }

int64_t TAsidEngine::RecordWrite(uint8_t reg, uint8_t value, uint16_t cycles) {
    if (reg >= kSlotCount) {
        return kNoReading;
    }
    int64_t now = 0;
    {
        std::lock_guard guard(lock_);
        now = clock_.Beat() ? RecordOnBeatLocked(reg, value, cycles) : RecordOnGridLocked(reg, value);
    }
    LogDueStatistics();
    return now;
}

int64_t TAsidEngine::RecordOnGridLocked(uint8_t reg, uint8_t value) {
    slots_.Store(reg, value);
    // Read after the store, so that a frame sent now carries this write.
    const int64_t now = platform_.PerformanceCounter();
    if (clock_.WriteDue(now, DebugFlag.load(std::memory_order_relaxed) != 0)) {
        FlushLocked(1);
    }
    return now;
}

void TAsidEngine::WriteAndWait(uint8_t reg, uint8_t value, uint16_t cycles) {
    const int64_t reading = RecordWrite(reg, value, cycles);
    DelayFrom(reading != kNoReading ? reading : platform_.PerformanceCounter(), cycles);
}

void TAsidEngine::FlushBuffer(int32_t force) {
    {
        std::lock_guard guard(lock_);
        const size_t length = FlushLocked(force);
        if (clock_.Beat() && length != 0) {
            clock_.FrameSent(platform_.PerformanceCounter(), length); // it fills the cable all the same
        }
    }
    LogDueStatistics();
}

size_t TAsidEngine::FlushLocked(int32_t force) {
    if (force == 0 && !slots_.AnyPending()) {
        return 0;
    }
    const bool streaming = StreamingEnabled.load(std::memory_order_relaxed) && !sinkPaused_;
    if (streaming && stopped_) {
        ResumeLocked();
    }
    FrameBytes frame;
    const size_t length = EncodeRegisterFrame(slots_.Words(), frame);
    if (streaming) {
        CountAndSend(frame.data(), length);
    }
    // A frame that was not sent is not sent again: its changes count as done.
    slots_.EndFrame();
    return length;
}

void TAsidEngine::CountAndSend(const uint8_t* frame, size_t length) {
    try {
        ++frameCount_;
        byteTotal_ += static_cast<uint32_t>(length);
        if (frameCount_ >= kFramesPerStatisticsLine) {
            CloseStatisticsWindow();
            frameCount_ = 0;
            byteTotal_ = 0;
        }
        sink_.SendLongMessage(frame, static_cast<uint16_t>(length));
    } catch (...) {
        LogDroppedFrame();
    }
}

// The figures are taken with the frame; the line is formatted and written once the lock is
// let go, so that a thread waiting for it does not wait on the file.
void TAsidEngine::CloseStatisticsWindow() noexcept {
    const int64_t now = platform_.PerformanceCounter();
    // Unsigned arithmetic: a counter that jumps backwards gives a silly figure, not UB.
    const auto elapsedCounts = static_cast<int64_t>(1000u * (static_cast<uint64_t>(now) - static_cast<uint64_t>(statsStart_)));
    dueStatistics_.elapsedMs = static_cast<long double>(elapsedCounts) / static_cast<long double>(perfFrequency_);
    dueStatistics_.frameCount = frameCount_;
    dueStatistics_.byteTotal = byteTotal_;
    statsStart_ = platform_.PerformanceCounter();
    statisticsDue_.store(true, std::memory_order_relaxed);
}

void TAsidEngine::LogDueStatistics() noexcept {
    if (!statisticsDue_.load(std::memory_order_relaxed)) {
        return;
    }
    TDueStatistics due;
    {
        std::lock_guard guard(lock_);
        if (!statisticsDue_.exchange(false, std::memory_order_relaxed)) {
            return; // another thread wrote it
        }
        due = dueStatistics_;
    }
    const TStatisticsLine line(due.elapsedMs, due.frameCount, due.byteTotal);
    log_.WriteLogLine(line.Text());
}

void TAsidEngine::LogDroppedFrame() noexcept {
    constexpr std::string_view kPrefix = "/!\\ dropped frame ";
    std::array<char, kPrefix.size() + 16> text{};
    kPrefix.copy(text.data(), kPrefix.size());
    const auto end = std::to_chars(text.data() + kPrefix.size(), text.data() + text.size(), frameCount_).ptr;
    log_.WriteLogLine(std::string_view(text.data(), static_cast<size_t>(end - text.data())));
}

void TAsidEngine::SendGreeting() {
    std::lock_guard guard(lock_);
    GreetLocked();
}

void TAsidEngine::GreetLocked() {
    const std::vector<uint8_t> text = BuildDisplayTextMessage(displayText_);
    slots_.MarkAllForGreeting();
    if (sinkPaused_) {
        return; // the device that is opened next is greeted when the sink resumes
    }
    stopped_ = false;
    sink_.SendLongMessage(AsidStartMessage.data(), static_cast<uint16_t>(AsidStartMessage.size()));
    sink_.SendLongMessage(text.data(), static_cast<uint16_t>(text.size()));
}

void TAsidEngine::PauseSink() {
    std::lock_guard guard(lock_);
    sinkPaused_ = true;
}

void TAsidEngine::ResumeSinkWithGreeting() {
    std::lock_guard guard(lock_);
    sinkPaused_ = false;
    GreetLocked();
}

void TAsidEngine::StopStreaming() {
    StreamingEnabled = false;
    // Frames are sent under the lock: once we hold it, none is in flight any more.
    std::lock_guard guard(lock_);
}

void TAsidEngine::SetDisplayText(std::string_view text) {
    std::string copy(text);
    std::lock_guard guard(lock_);
    displayText_.swap(copy);
}

} // namespace hardsid
