// SPDX-License-Identifier: GPL-2.0-or-later
#include "thread_times.h"

#include <windows.h>

#include <cstdint>

namespace hardsid::replay {

double ThreadProcessorSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user)) {
        return -1;
    }
    const auto ticks = [](const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) * 100e-9; // FILETIME counts 100 ns
}

} // namespace hardsid::replay
