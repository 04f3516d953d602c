// SPDX-License-Identifier: GPL-2.0-or-later
#include "progress_line.h"

namespace hardsid::replay {

namespace {
constexpr auto kMinInterval = std::chrono::milliseconds(250);
constexpr double kCyclesPerSecond = 1e6;
} // namespace

void ProgressLine::Update(uint64_t positionCycles) {
    const Clock::time_point now = Clock::now();
    if (now - lastPrint_ >= kMinInterval) {
        Print(positionCycles, now);
    }
}

void ProgressLine::Finish(uint64_t positionCycles) {
    Print(positionCycles, Clock::now());
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ProgressLine::Print(uint64_t positionCycles, Clock::time_point now) {
    const double wall = std::chrono::duration<double>(now - start_).count();
    std::fprintf(out_, "\r%7.2f s / %.2f s  (wall %.2f s)", static_cast<double>(positionCycles) / kCyclesPerSecond,
                 static_cast<double>(totalCycles_) / kCyclesPerSecond, wall);
    std::fflush(out_);
    lastPrint_ = now;
}

} // namespace hardsid::replay
