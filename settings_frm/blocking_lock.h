// SPDX-License-Identifier: GPL-2.0-or-later
// The engine's lock: one atomic exchange to take it and one to give it back while nobody
// waits, and a thread that finds it taken sleeps on the platform's wake slot instead of
// spinning, so that a time-critical player never starves a holder that is inside the MIDI
// driver. (Wine's slim reader/writer lock wakes address waiters on every release, which
// costs the player's every write more than the rest of the write path.)
#pragma once

#include <atomic>
#include <memory>

#include "engine_platform.h"

namespace hardsid {

class TBlockingLock {
public:
    explicit TBlockingLock(IEnginePlatform& platform) : wakeSlot_(platform.MakeWakeSlot()) {}
    TBlockingLock(const TBlockingLock&) = delete;
    TBlockingLock& operator=(const TBlockingLock&) = delete;

    void lock() noexcept {
        int expected = kFree;
        if (state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire)) {
            return;
        }
        // From here on the lock is marked as waited for, so that the holder wakes us.
        while (state_.exchange(kWaitedFor, std::memory_order_acquire) != kFree) {
            wakeSlot_->Wait();
        }
    }

    void unlock() noexcept {
        if (state_.exchange(kFree, std::memory_order_release) == kWaitedFor) {
            wakeSlot_->Wake();
        }
    }

private:
    static constexpr int kFree = 0;
    static constexpr int kTaken = 1;
    static constexpr int kWaitedFor = 2; // taken, and a thread may be asleep on the slot

    std::atomic<int> state_{kFree};
    std::unique_ptr<IWakeSlot> wakeSlot_;
};

} // namespace hardsid
