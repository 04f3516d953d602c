// SPDX-License-Identifier: GPL-2.0-or-later
// A slim reader/writer lock taken exclusively, usable with std::lock_guard. MinGW's win32
// thread model has no std::mutex.
#pragma once

#include <windows.h>

namespace hardsid::win32 {

class SrwLock {
public:
    SrwLock() = default;
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;

    void lock() noexcept { ::AcquireSRWLockExclusive(&lock_); }
    void unlock() noexcept { ::ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

} // namespace hardsid::win32
