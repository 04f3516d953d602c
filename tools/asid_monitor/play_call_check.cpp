// SPDX-License-Identifier: GPL-2.0-or-later
#include "play_call_check.h"

#include <array>
#include <limits>

namespace hardsid::monitor {

namespace {

constexpr size_t kNoFrame = std::numeric_limits<size_t>::max();
using Registers = std::array<uint8_t, kReceiverRegisters>;

/// The stretch of writes [first, end) that one frame carried.
class FrameMatch {
public:
    FrameMatch(const ArrivedFrame& frame, const Registers& before) : afterStart_(frame.afterStart), run_(before) {
        expected_.fill(-1);
        for (const RegisterWrite& write : frame.writes) {
            if (write.reg >= 0 && write.reg < kReceiverRegisters) {
                expected_[static_cast<size_t>(write.reg)] = write.value; // the last one stays
            }
        }
        for (int reg = 0; reg < kReceiverRegisters; ++reg) {
            misfits_ += Misfit(reg);
        }
    }
    int Misfits() const noexcept { return misfits_; }
    /// A write that leaves its register as it is: it fits before or after a cut alike.
    bool ChangesNothing(const TracedWrite& write) const noexcept { return run_[write.reg] == write.value; }
    void Take(const TracedWrite& write) {
        const int reg = write.reg;
        misfits_ -= Misfit(reg);
        written_[reg] = true;
        if (run_[reg] != write.value) {
            changed_[reg] = true;
            run_[reg] = write.value;
        }
        misfits_ += Misfit(reg);
    }

private:
    // A register the frame holds must end at its value, and must have been written unless a
    // start message marked every register; one the frame lacks must not have changed.
    int Misfit(int reg) const noexcept {
        const auto r = static_cast<size_t>(reg);
        if (expected_[r] >= 0) {
            return run_[r] != expected_[r] || !(written_[r] || afterStart_) ? 1 : 0;
        }
        return changed_[r] ? 1 : 0;
    }

    bool afterStart_;
    Registers run_;
    std::array<int, kReceiverRegisters> expected_{};
    std::array<bool, kReceiverRegisters> written_{};
    std::array<bool, kReceiverRegisters> changed_{};
    int misfits_ = 0;
};

bool Counted(const TracedWrite& write) noexcept { return write.reg < kReceiverRegisters; }

} // namespace

PlayCallFigures CheckPlayCalls(std::span<const TracedWrite> writes, std::span<const ArrivedFrame> frames,
                               uint32_t gapCycles) {
    PlayCallFigures figures;
    const size_t count = writes.size();
    std::vector<size_t> frameOf(count, kNoFrame);
    std::vector<bool> changes(count, false);
    std::vector<bool> carried(count, false);
    Registers held{}; // what the receiver holds after the frames so far
    size_t first = 0;
    for (size_t k = 0; k < frames.size(); ++k) {
        FrameMatch match(frames[k], held);
        size_t end = first;
        size_t bestEnd = first;
        int best = match.Misfits();
        while (match.Misfits() != 0 && end < count) {
            if (Counted(writes[end])) {
                match.Take(writes[end]);
            }
            ++end;
            if (match.Misfits() < best) {
                best = match.Misfits();
                bestEnd = end;
            }
        }
        if (match.Misfits() != 0) {
            ++figures.unmatched;
            end = bestEnd;
        } else {
            // Writes that change nothing go with the stretch before them, as they did in the player.
            while (end < count && (!Counted(writes[end]) || match.ChangesNothing(writes[end]))) {
                ++end;
            }
        }
        bool carries = false;
        for (size_t i = first; i < end; ++i) {
            frameOf[i] = k;
            if (Counted(writes[i])) {
                changes[i] = held[writes[i].reg] != writes[i].value;
                carries = carries || changes[i];
                held[writes[i].reg] = writes[i].value;
            }
        }
        figures.carrying += carries ? 1 : 0;
        for (size_t i = first; i < end; ++i) {
            carried[i] = Counted(writes[i]) && held[writes[i].reg] == writes[i].value;
        }
        first = end;
    }
    for (size_t i = first; i < count; ++i) {
        changes[i] = true; // never sent
    }

    // One call at a time: the frames its changes went into, and its last write of each register.
    size_t callStart = 0;
    while (callStart < count) {
        size_t callEnd = callStart + 1;
        while (callEnd < count && writes[callEnd].cycles <= gapCycles) {
            ++callEnd;
        }
        ++figures.playCalls;
        size_t firstFrame = kNoFrame;
        bool split = false;
        std::array<size_t, kReceiverRegisters> lastWrite;
        lastWrite.fill(kNoFrame);
        for (size_t i = callStart; i < callEnd; ++i) {
            if (!Counted(writes[i])) {
                continue;
            }
            lastWrite[writes[i].reg] = i;
            if (changes[i]) {
                if (firstFrame == kNoFrame) {
                    firstFrame = frameOf[i] == kNoFrame ? kNoFrame - 1 : frameOf[i];
                } else if (firstFrame != (frameOf[i] == kNoFrame ? kNoFrame - 1 : frameOf[i])) {
                    split = true;
                }
            }
        }
        bool lost = false;
        for (const size_t i : lastWrite) {
            lost = lost || (i != kNoFrame && (frameOf[i] == kNoFrame || !carried[i]));
        }
        figures.split += split ? 1 : 0;
        figures.lost += lost ? 1 : 0;
        callStart = callEnd;
    }
    return figures;
}

} // namespace hardsid::monitor
