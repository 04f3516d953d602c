// SPDX-License-Identifier: GPL-2.0-or-later
// How far a replay has come: one console line rewritten in place with \r on a terminal, or,
// where a carriage return does not go back (a log file, a pipe), a plain line now and then.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

namespace hardsid::replay {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    enum class Style {
        Redraw,     ///< a terminal: one line, redrawn four times a second
        PlainLines, ///< a log or a pipe: one complete line every five seconds
    };

    ProgressLine(std::FILE* out, Style style, uint64_t totalCycles, Clock::time_point start) noexcept
        : out_(out), style_(style), totalCycles_(totalCycles), start_(start) {}

    /// Prints the position unless the line was printed less than the style's interval ago.
    void Update(uint64_t positionCycles, Clock::time_point now = Clock::now());
    /// Prints the final position and ends the line.
    void Finish(uint64_t positionCycles, Clock::time_point now = Clock::now());

private:
    void Print(uint64_t positionCycles, Clock::time_point now);

    std::FILE* out_;
    Style style_;
    uint64_t totalCycles_;
    Clock::time_point start_;
    bool printed_ = false;
    Clock::time_point lastPrint_{};
};

/// Draws a ProgressLine from a thread of its own: a console can take tens of milliseconds to
/// show a line (Wine's, on a terminal), and the thread that plays must not wait for it.
class ProgressThread {
public:
    explicit ProgressThread(ProgressLine& line);
    ~ProgressThread();
    ProgressThread(const ProgressThread&) = delete;
    ProgressThread& operator=(const ProgressThread&) = delete;

    /// Called by the playing thread; never blocks.
    void Report(uint64_t positionCycles) noexcept { position_.store(positionCycles, std::memory_order_relaxed); }
    /// Stops the drawing thread, then prints the final position and ends the line.
    void Finish(uint64_t positionCycles);

private:
    void Stop();
    void Run();

    ProgressLine& line_;
    std::atomic<uint64_t> position_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace hardsid::replay
