// SPDX-License-Identifier: GPL-2.0-or-later
// The wake slot over the standard library, for the engine off Windows (its tests and
// benchmarks): an auto-reset event made of a mutex and a condition variable.
#pragma once

#include <condition_variable>
#include <mutex>

#include "engine_platform.h"

namespace hardsid {

class TStdWakeSlot final : public IWakeSlot {
public:
    void Wait() noexcept override {
        std::unique_lock guard(mutex_);
        woken_.wait(guard, [this] { return set_; });
        set_ = false;
    }
    void Wake() noexcept override {
        {
            std::lock_guard guard(mutex_);
            set_ = true;
        }
        woken_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    bool set_ = false;
};

} // namespace hardsid
