// SPDX-License-Identifier: GPL-2.0-or-later
#include "trace_replayer.h"

namespace hardsid::replay {

namespace {

class Replay {
public:
    Replay(ReplayTarget& target, uint64_t progressStep, const ProgressCallback& progress)
        : target_(target), step_(progressStep), progress_(progress), nextReport_(progressStep) {}

    // A player waits out long gaps in whole 65535-cycle delays and writes with the rest.
    bool Write(const trace::TraceRecord& record) {
        uint32_t cycles = record.cycles;
        while (cycles > kMaxCallCycles) {
            if (!Delay(kMaxCallCycles)) {
                return false;
            }
            cycles -= kMaxCallCycles;
        }
        target_.Write(static_cast<uint16_t>(cycles), record.reg, record.value);
        return Advance(cycles);
    }

    bool WaitOut(uint32_t cycles) {
        while (cycles > 0) {
            const uint32_t chunk = cycles < kMaxCallCycles ? cycles : kMaxCallCycles;
            if (!Delay(chunk)) {
                return false;
            }
            cycles -= chunk;
        }
        return true;
    }

    ReplayOutcome Outcome(bool completed) const { return {position_, completed}; }

private:
    bool Delay(uint32_t cycles) {
        target_.Delay(static_cast<uint16_t>(cycles));
        return Advance(cycles);
    }

    bool Advance(uint32_t cycles) {
        position_ += cycles;
        if (!progress_ || position_ < nextReport_) {
            return true;
        }
        nextReport_ = position_ + step_;
        return progress_(position_);
    }

    ReplayTarget& target_;
    uint64_t step_;
    const ProgressCallback& progress_;
    uint64_t position_ = 0;
    uint64_t nextReport_;
};

} // namespace

ReplayOutcome ReplayTrace(const trace::Trace& trace, ReplayTarget& target, uint64_t progressStep,
                          const ProgressCallback& progress) {
    Replay replay(target, progressStep, progress);
    for (const trace::TraceRecord& record : trace.records) {
        if (!replay.Write(record)) {
            return replay.Outcome(false);
        }
    }
    return replay.Outcome(replay.WaitOut(trace.endCycles));
}

} // namespace hardsid::replay
