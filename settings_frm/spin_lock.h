// SPDX-License-Identifier: GPL-2.0-or-later
// A tiny lock for state that two threads rarely touch at once (the player's writes and a
// greeting from the settings window). Allocation-free, so it can sit on the write path.
#pragma once

#include <atomic>

#include "engine_platform.h"

namespace hardsid {

class SpinLock {
public:
    explicit SpinLock(IEnginePlatform& platform) : platform_(platform) {}
    SpinLock(const SpinLock&) = delete;
    SpinLock& operator=(const SpinLock&) = delete;

    void lock() noexcept {
        unsigned waits = 0;
        while (locked_.exchange(true, std::memory_order_acquire)) {
            while (locked_.load(std::memory_order_relaxed)) {
                // Sleep(0) only yields to equal or higher priorities; a time-critical player
                // waiting on the settings thread must soon let lower priorities run too.
                platform_.Sleep(waits < kYieldsBeforeSleep ? 0 : 1);
                ++waits;
            }
        }
    }

    void unlock() noexcept { locked_.store(false, std::memory_order_release); }

private:
    static constexpr unsigned kYieldsBeforeSleep = 64;
    IEnginePlatform& platform_;
    std::atomic<bool> locked_{false};
};

} // namespace hardsid
