// SPDX-License-Identifier: GPL-2.0-or-later
// The engine's seam on Linux, for benchmarks: CLOCK_MONOTONIC in nanoseconds stands in for
// the performance counter.
#pragma once

#include <sched.h>
#include <time.h>

#include <memory>
#include <mutex>

#include "settings_frm/engine_platform.h"
#include "settings_frm/std_wake_slot.h"

namespace hardsid::bench {

inline int64_t MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

class NativePlatform final : public IEnginePlatform {
public:
    int64_t frequency = 1'000'000'000;

    int64_t PerformanceCounter() override { return MonotonicNanoseconds(); }
    int64_t PerformanceFrequency() override { return frequency; }
    uint32_t TickCount() override { return static_cast<uint32_t>(MonotonicNanoseconds() / 1'000'000); }
    void SetCurrentThreadPriority(WaitPriority) override {}
    void Sleep(uint32_t) override { sched_yield(); }
    void SleepUntilAbout(int64_t reading) override {
        const timespec until{static_cast<time_t>(reading / 1'000'000'000), static_cast<long>(reading % 1'000'000'000)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    }
    uintptr_t ThreadWord() override { return threadWord_; }
    void SetThreadWord(uintptr_t word) override { threadWord_ = word; }
    std::unique_ptr<IWakeSlot> MakeWakeSlot() override { return std::make_unique<TStdWakeSlot>(); }

private:
    static inline thread_local uintptr_t threadWord_ = 0;
};

class NullSink final : public ISysExSink {
public:
    void SendLongMessage(const uint8_t*, uint16_t) override {}
};

class NullLogFile final : public ILogFile {
public:
    bool Create(const char*) override { return true; }
    bool Write(const void*, size_t) override { return true; }
    void Close() override {}
};

} // namespace hardsid::bench
