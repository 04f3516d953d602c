// SPDX-License-Identifier: GPL-2.0-or-later
// The double's driver state, shared by the exported calls and the completion thread. One
// lock guards it; notices are delivered with the lock released, as a real driver must.
#pragma once

#define _WINMM_ // we define the winmm functions: no dllimport on their declarations
#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <map>

#include "config.h"

namespace winmm_double {

/// How an open device reports back (midiOutOpen's callback and flags).
struct Notify {
    DWORD type = CALLBACK_NULL;
    DWORD_PTR target = 0;
    DWORD_PTR instance = 0;
};

struct OpenDevice {
    int device = 0;
    Notify notify;
    int queued = 0;        // long messages not yet done
    int delivering = 0;    // MOM_DONE notices being delivered by the completion thread
    int64_t busyUntil = 0; // counter reading when the last queued message is sent
};

struct Completion {
    uintptr_t handle;
    MIDIHDR* header;
};

struct Driver {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    Config config;
    std::map<uintptr_t, OpenDevice> open;
    uintptr_t lastHandle = 0;
    std::map<const MIDIHDR*, uintptr_t> prepared; // header -> handle that prepared it
    std::multimap<int64_t, Completion> queue;     // by due counter reading, then FIFO
    HANDLE worker = nullptr;                      // the completion thread, while it runs
    std::map<UINT, int> periods;                  // timer periods begun and not ended
    int64_t frequency = 1;
};

Driver& TheDriver() noexcept;

/// Holds the driver lock for a scope.
class Lock {
public:
    explicit Lock(Driver& driver) : driver_(driver) { ::AcquireSRWLockExclusive(&driver_.lock); }
    ~Lock() { ::ReleaseSRWLockExclusive(&driver_.lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    Driver& driver_;
};

int64_t Now() noexcept;

/// Calls or posts one notice; call without the lock. Writes its record line.
void Deliver(const Notify& notify, uintptr_t handle, UINT message, MIDIHDR* header) noexcept;

/// Marks a header done and out of the queue, as the driver hands it back.
void MarkDone(MIDIHDR* header) noexcept;

/// Starts the completion thread unless it runs; with the lock held.
void StartWorker(Driver& driver) noexcept;

/// Waits, with the lock held, until the completion thread delivers nothing for device.
void WaitForDeliveries(Driver& driver, const OpenDevice& device) noexcept;

/// Writes the leak lines and gives the number of leaks; with the lock held.
int ReportLeaks(Driver& driver) noexcept;

} // namespace winmm_double
