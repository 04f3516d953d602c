// SPDX-License-Identifier: GPL-2.0-or-later
// One console line that shows how far a replay has come, rewritten in place with \r.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace hardsid::replay {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;

    ProgressLine(std::FILE* out, uint64_t totalCycles, Clock::time_point start) noexcept
        : out_(out), totalCycles_(totalCycles), start_(start) {}

    /// Rewrites the line unless it was rewritten less than a quarter second ago.
    void Update(uint64_t positionCycles);
    /// Rewrites the line one last time and ends it.
    void Finish(uint64_t positionCycles);

private:
    void Print(uint64_t positionCycles, Clock::time_point now);

    std::FILE* out_;
    uint64_t totalCycles_;
    Clock::time_point start_;
    Clock::time_point lastPrint_{};
};

} // namespace hardsid::replay
