// SPDX-License-Identifier: GPL-2.0-or-later
#include "trace_recorder.h"

#include <utility>

namespace hardsid::tune {

namespace {
constexpr uint32_t kInterruptEntryCycles = 29; // IRQ sequence and register saves
constexpr uint32_t kStoreCycles = 6;           // LDA #imm (2) + STA abs (4)
} // namespace

void TraceRecorder::StartTick(uint32_t tick) noexcept {
    now_ = static_cast<uint64_t>(tick) * kCyclesPerTick + kInterruptEntryCycles;
}

void TraceRecorder::Write(uint8_t reg, uint8_t value) {
    now_ += kStoreCycles;
    trace_.records.push_back({static_cast<uint32_t>(now_ - lastWrite_), reg, value});
    lastWrite_ = now_;
}

trace::Trace TraceRecorder::Finish(uint32_t endTick) {
    trace_.endCycles = static_cast<uint32_t>(static_cast<uint64_t>(endTick) * kCyclesPerTick - lastWrite_);
    return std::move(trace_);
}

} // namespace hardsid::tune
