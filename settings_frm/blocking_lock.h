// SPDX-License-Identifier: GPL-2.0-or-later
// One lock of the platform's kind, owned, and lockable like a mutex.
#pragma once

#include <memory>

#include "engine_platform.h"

namespace hardsid {

class TBlockingLock {
public:
    explicit TBlockingLock(IEnginePlatform& platform) : lock_(platform.MakeLock()) {}
    TBlockingLock(const TBlockingLock&) = delete;
    TBlockingLock& operator=(const TBlockingLock&) = delete;

    void lock() noexcept { lock_->lock(); }
    void unlock() noexcept { lock_->unlock(); }

private:
    std::unique_ptr<IBlockingLock> lock_;
};

} // namespace hardsid
