// SPDX-License-Identifier: GPL-2.0-or-later
// What a relaxed wait sleeps on: a high-resolution waitable timer where the system has one,
// else Sleep(1) steps with the system timer's period at 1 ms; under Wine, whose waitable
// timers are served by its server process (0.4 to 0.5 ms late as a rule, and stalled for
// 100 ms and more while the server is busy), the delay that Wine's Sleep itself rests on,
// with 100 ns units and no server round trip. Everything it takes it owns, and gives back
// when it is destroyed, from whatever thread that is; nothing in it runs between two sleeps.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "win32/unique_handle.h"

namespace hardsid::win32 {

class TWaitTimer {
public:
    enum class Kind {
        HighResolution, ///< the waitable timer, with steps when the system has none
        Steps,          ///< Sleep(1) steps only
        WineDelay,      ///< NtDelayExecution under Wine, with steps where it is missing
    };
    /// WineDelay under Wine, HighResolution elsewhere.
    static Kind KindForThisSystem() noexcept;

    /// Takes nothing from the system yet: the timer and the period are set up at first use.
    explicit TWaitTimer(int64_t counterFrequency, Kind kind = Kind::HighResolution) noexcept;
    ~TWaitTimer();
    TWaitTimer(const TWaitTimer&) = delete;
    TWaitTimer& operator=(const TWaitTimer&) = delete;

    /// Sleeps until about the given counter reading; at once for one already passed. One
    /// thread at a time sleeps on the timer; another meanwhile sleeps in steps.
    void SleepUntil(int64_t counterReading) noexcept;

private:
    bool SleepOnTimer(int64_t counterReading) noexcept;
    bool SleepOnWineDelay(int64_t counterReading) noexcept;
    void SleepInSteps(int64_t counterReading) noexcept;
    void BeginPeriod() noexcept;

    const int64_t frequency_;
    const Kind kind_;
    std::atomic_flag timerBusy_ = ATOMIC_FLAG_INIT; // held by the thread that sleeps on it
    bool timerTried_ = false;                       // under timerBusy_
    UniqueHandle timer_;                            // under timerBusy_
    enum PeriodState : int { kNoPeriod, kBeginning, kPeriodBegun, kPeriodRefused };
    std::atomic<int> period_{kNoPeriod};
};

} // namespace hardsid::win32
