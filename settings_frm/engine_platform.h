// SPDX-License-Identifier: GPL-2.0-or-later
// The narrow seam between the streaming engine and the operating system: clock, thread,
// SysEx output and log file. The DLL implements it over Win32; the tests script it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace hardsid {

/// Priority that the cycle delay holds the host's thread at (Win32 values).
enum class WaitPriority : int {
    AboveNormal = 1,   // relaxed timing
    TimeCritical = 15, // aggressive timing
};

/// Where a thread that finds the engine's lock taken sleeps until the holder lets it go: an
/// auto-reset event. A Wake with no thread waiting is kept for the next Wait.
class IWakeSlot {
public:
    virtual ~IWakeSlot() = default;
    virtual void Wait() noexcept = 0;
    virtual void Wake() noexcept = 0;
};

/// Clock and scheduling services.
class IEnginePlatform {
public:
    virtual ~IEnginePlatform() = default;
    /// Reading of the high-resolution counter (QueryPerformanceCounter).
    virtual int64_t PerformanceCounter() = 0;
    /// Counts per second of that counter (QueryPerformanceFrequency).
    virtual int64_t PerformanceFrequency() = 0;
    /// Milliseconds since the system started, wrapping at 2^32 (GetTickCount).
    virtual uint32_t TickCount() = 0;
    /// Sets the calling thread's priority.
    virtual void SetCurrentThreadPriority(WaitPriority priority) = 0;
    /// Sleep(0) gives up the rest of the time slice; Sleep(1) lets lower priorities run too.
    virtual void Sleep(uint32_t milliseconds) = 0;
    /// Blocks the calling thread on a timer until about the given counter reading: it may
    /// wake somewhat early or late, and returns at once for a reading already passed.
    virtual void SleepUntilAbout(int64_t counterReading) = 0;
    /// One word of storage per thread and per platform object, 0 until set (TlsGetValue).
    virtual uintptr_t ThreadWord() = 0;
    virtual void SetThreadWord(uintptr_t word) = 0;
    /// A new wake slot, one for each lock of the engine (made at start-up only).
    virtual std::unique_ptr<IWakeSlot> MakeWakeSlot() = 0;
};

/// Where ASID messages go: the MIDI output port's SendLongMessage.
class ISysExSink {
public:
    virtual ~ISysExSink() = default;
    /// Takes a copy of the bytes before it returns; may throw, the engine absorbs it.
    virtual void SendLongMessage(const uint8_t* data, uint16_t length) = 0;
    /// Waits until the device is done with every message sent so far, at most timeoutMs
    /// milliseconds; true when it is. A sink that delivers before it returns is always done.
    virtual bool WaitUntilSent(uint32_t timeoutMs) {
        static_cast<void>(timeoutMs);
        return true;
    }
};

/// The file behind the diagnostic log.
class ILogFile {
public:
    virtual ~ILogFile() = default;
    /// Creates the file or truncates it, writable by us alone, readable by others.
    virtual bool Create(const char* name) = 0;
    /// Writes all bytes or reports false.
    virtual bool Write(const void* data, size_t length) = 0;
    virtual void Close() = 0;
};

} // namespace hardsid
