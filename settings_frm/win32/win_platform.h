// SPDX-License-Identifier: GPL-2.0-or-later
// The engine's seam over Win32: performance counter, tick count, thread priority, Sleep and
// the relaxed wait's timer, thread-local storage, the event that a waiter for the engine's
// lock sleeps on, and the log file.
#pragma once

#include <windows.h>

#include "settings_frm/engine_platform.h"
#include "settings_frm/win32/wait_timer.h"
#include "win32/unique_handle.h"

namespace hardsid::win32 {

class TWinPlatform final : public IEnginePlatform {
public:
    /// The wait timer that serves this system best (TWaitTimer::KindForThisSystem).
    TWinPlatform() noexcept;
    explicit TWinPlatform(TWaitTimer::Kind timer) noexcept;
    ~TWinPlatform() override;
    TWinPlatform(const TWinPlatform&) = delete;
    TWinPlatform& operator=(const TWinPlatform&) = delete;

    int64_t PerformanceCounter() override;
    int64_t PerformanceFrequency() override;
    uint32_t TickCount() override;
    void SetCurrentThreadPriority(WaitPriority priority) override;
    void Sleep(uint32_t milliseconds) override;
    void SleepUntilAbout(int64_t counterReading) override { waitTimer_.SleepUntil(counterReading); }
    uintptr_t ThreadWord() override;
    void SetThreadWord(uintptr_t word) override;
    std::unique_ptr<IWakeSlot> MakeWakeSlot() override;

private:
    DWORD tlsIndex_; // freed with the platform, so loading and unloading leaks no slot
    TWaitTimer waitTimer_;
};

/// hardsid.log over CreateFileA: created or truncated, shared for reading only.
class TWinLogFile final : public ILogFile {
public:
    bool Create(const char* name) override;
    bool Write(const void* data, size_t length) override;
    void Close() override { file_.reset(); }

private:
    UniqueFile file_;
};

} // namespace hardsid::win32
