// SPDX-License-Identifier: GPL-2.0-or-later
#include "progress_line.h"

namespace hardsid::replay {

namespace {
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
constexpr auto kPlainLineInterval = std::chrono::seconds(5);
constexpr auto kThreadPoll = std::chrono::milliseconds(50);
constexpr double kCyclesPerSecond = 1e6;
} // namespace

void ProgressLine::Update(uint64_t positionCycles, Clock::time_point now) {
    const Clock::duration interval = style_ == Style::Redraw ? Clock::duration(kRedrawInterval)
                                                             : Clock::duration(kPlainLineInterval);
    if (!printed_ || now - lastPrint_ >= interval) {
        Print(positionCycles, now);
    }
}

void ProgressLine::Finish(uint64_t positionCycles, Clock::time_point now) {
    Print(positionCycles, now);
    if (style_ == Style::Redraw) {
        std::fputc('\n', out_);
    }
    std::fflush(out_);
}

void ProgressLine::Print(uint64_t positionCycles, Clock::time_point now) {
    const double wall = std::chrono::duration<double>(now - start_).count();
    const bool redraw = style_ == Style::Redraw;
    std::fprintf(out_, "%s%7.2f s / %.2f s  (wall %.2f s)%s", redraw ? "\r" : "",
                 static_cast<double>(positionCycles) / kCyclesPerSecond,
                 static_cast<double>(totalCycles_) / kCyclesPerSecond, wall, redraw ? "" : "\n");
    std::fflush(out_);
    printed_ = true;
    lastPrint_ = now;
}

ProgressThread::ProgressThread(ProgressLine& line) : line_(line), thread_([this] { Run(); }) {}

ProgressThread::~ProgressThread() { Stop(); }

void ProgressThread::Finish(uint64_t positionCycles) {
    Stop();
    line_.Finish(positionCycles);
}

void ProgressThread::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ProgressThread::Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        lock.unlock();
        line_.Update(position_.load(std::memory_order_relaxed));
        lock.lock();
        wake_.wait_for(lock, kThreadPoll, [this] { return stop_; });
    }
}

} // namespace hardsid::replay
