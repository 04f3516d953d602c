// SPDX-License-Identifier: GPL-2.0-or-later
#include "wait_timer.h"

#include <mmsystem.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace hardsid::win32 {

namespace {

constexpr UINT kPeriodMilliseconds = 1;
constexpr int64_t kHundredNanosecondsPerSecond = 10'000'000;
// A timer that never fires must not hold the player: the wait gives up this long after
// the timer was due.
constexpr DWORD kTimerGraceMilliseconds = 100;

int64_t Counter() noexcept {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

using NtDelayExecution = LONG(NTAPI*)(BOOLEAN alertable, LARGE_INTEGER* interval);

// ntdll stays loaded for the life of every process.
FARPROC NtdllExport(const char* name) noexcept {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr ? ::GetProcAddress(ntdll, name) : nullptr;
}

NtDelayExecution WineDelayCall() noexcept {
    static const auto delay = reinterpret_cast<NtDelayExecution>(reinterpret_cast<void (*)()>(NtdllExport("NtDelayExecution")));
    return delay;
}

/// Relative 100 ns units until the reading, for the system's timer calls (negative: relative).
LONGLONG RelativeDue(int64_t remaining, int64_t frequency) noexcept {
    return -(remaining * kHundredNanosecondsPerSecond / frequency);
}

} // namespace

TWaitTimer::Kind TWaitTimer::KindForThisSystem() noexcept {
    return NtdllExport("wine_get_version") != nullptr ? Kind::WineDelay : Kind::HighResolution;
}

TWaitTimer::TWaitTimer(int64_t counterFrequency, Kind kind) noexcept : frequency_(counterFrequency), kind_(kind) {}

TWaitTimer::~TWaitTimer() {
    if (period_.load() == kPeriodBegun) {
        ::timeEndPeriod(kPeriodMilliseconds);
    }
}

void TWaitTimer::SleepUntil(int64_t counterReading) noexcept {
    if (frequency_ <= 0 || counterReading <= Counter()) {
        return;
    }
    if (kind_ == Kind::WineDelay && SleepOnWineDelay(counterReading)) {
        return;
    }
    if (kind_ == Kind::HighResolution && !timerBusy_.test_and_set(std::memory_order_acquire)) {
        const bool slept = SleepOnTimer(counterReading);
        timerBusy_.clear(std::memory_order_release);
        if (slept) {
            return;
        }
    }
    SleepInSteps(counterReading);
}

bool TWaitTimer::SleepOnTimer(int64_t counterReading) noexcept {
    if (!timerTried_) {
        timerTried_ = true;
        // Older systems refuse the flag; they sleep in steps.
        timer_.reset(::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                              TIMER_MODIFY_STATE | SYNCHRONIZE));
    }
    if (!timer_) {
        return false;
    }
    const int64_t remaining = counterReading - Counter();
    if (remaining <= 0) {
        return true;
    }
    LARGE_INTEGER due;
    due.QuadPart = RelativeDue(remaining, frequency_);
    if (due.QuadPart == 0) {
        return true;
    }
    if (!::SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
        return false;
    }
    const auto timeout = static_cast<DWORD>(remaining * 1000 / frequency_) + kTimerGraceMilliseconds;
    ::WaitForSingleObject(timer_.get(), timeout);
    return true;
}

bool TWaitTimer::SleepOnWineDelay(int64_t counterReading) noexcept {
    const NtDelayExecution delay = WineDelayCall();
    if (delay == nullptr) {
        return false;
    }
    LARGE_INTEGER due;
    due.QuadPart = RelativeDue(counterReading - Counter(), frequency_);
    if (due.QuadPart < 0) {
        delay(FALSE, &due);
    }
    return true;
}

void TWaitTimer::SleepInSteps(int64_t counterReading) noexcept {
    BeginPeriod();
    const int64_t step = frequency_ / 1000;
    while (counterReading - Counter() >= step) {
        ::Sleep(kPeriodMilliseconds);
    }
}

// Once per object: the period stays until the object goes, so that the steps of every wait
// are 1 ms long without a system call per wait.
void TWaitTimer::BeginPeriod() noexcept {
    int expected = kNoPeriod;
    if (period_.compare_exchange_strong(expected, kBeginning)) {
        period_.store(::timeBeginPeriod(kPeriodMilliseconds) == TIMERR_NOERROR ? kPeriodBegun : kPeriodRefused);
    }
}

} // namespace hardsid::win32
