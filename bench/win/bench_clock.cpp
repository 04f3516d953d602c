// SPDX-License-Identifier: GPL-2.0-or-later
#include "bench_clock.h"

#include <windows.h>

namespace hardsid::bench {

int64_t Counter() noexcept {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t CounterFrequency() noexcept {
    static const int64_t frequency = [] {
        LARGE_INTEGER value;
        ::QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return frequency;
}

double CountsToMicroseconds(int64_t counts) noexcept {
    return static_cast<double>(counts) * 1e6 / static_cast<double>(CounterFrequency());
}

void RestoreNormalPriority() noexcept { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL); }

void PumpMessagesFor(double milliseconds) noexcept {
    const int64_t end = Counter() + static_cast<int64_t>(milliseconds * 1e-3 * static_cast<double>(CounterFrequency()));
    do {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        ::Sleep(1);
    } while (Counter() < end);
}

} // namespace hardsid::bench
