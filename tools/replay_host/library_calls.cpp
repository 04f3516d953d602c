// SPDX-License-Identifier: GPL-2.0-or-later
#include "library_calls.h"

namespace hardsid::replay {

namespace {
constexpr uint64_t kCyclesPerSecond = 1'000'000;
constexpr int64_t kSpinMicroseconds = 2000; // below this the scheduler's tick is too coarse to sleep
} // namespace

LibraryCalls::LibraryCalls(const HardSidEntryPoints& calls) : calls_(calls) {
    ::QueryPerformanceFrequency(&frequency_);
    ::QueryPerformanceCounter(&start_);
}

void LibraryCalls::StartOwnClock() { ::QueryPerformanceCounter(&start_); }

void LibraryCalls::WaitOwnClockUntil(uint64_t cycles) {
    // Deadlines are counted from the clock's start, so a late wake-up is not carried forward.
    const int64_t due = start_.QuadPart + static_cast<int64_t>(cycles / kCyclesPerSecond) * frequency_.QuadPart +
                        static_cast<int64_t>(cycles % kCyclesPerSecond) * frequency_.QuadPart /
                            static_cast<int64_t>(kCyclesPerSecond);
    for (;;) {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        const int64_t left = due - now.QuadPart;
        if (left <= 0) {
            return;
        }
        if (left * static_cast<int64_t>(kCyclesPerSecond) / frequency_.QuadPart > kSpinMicroseconds) {
            ::Sleep(1);
        } else {
            YieldProcessor(); // a macro on i686
        }
    }
}

} // namespace hardsid::replay
