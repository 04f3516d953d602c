// SPDX-License-Identifier: GPL-2.0-or-later
// The completion thread: hands each queued long message back when its time has come. It
// runs while a message is queued or a device is open, and holds a reference to the library
// so that the library cannot be unloaded under it.
#include <algorithm>

#include "driver.h"
#include "record.h"

namespace winmm_double {
namespace {

const char* NoticeName(UINT message) {
    switch (message) {
    case MOM_OPEN: return "MOM_OPEN";
    case MOM_CLOSE: return "MOM_CLOSE";
    default: return "MOM_DONE";
    }
}

DWORD Milliseconds(int64_t ticks, int64_t frequency) {
    return static_cast<DWORD>(std::clamp<int64_t>((ticks * 1000 + frequency - 1) / frequency, 1, 1000));
}

DWORD WINAPI CompletionThread(void* module) {
    Driver& driver = TheDriver();
    {
        Lock lock(driver);
        while (!driver.queue.empty() || !driver.open.empty()) {
            if (driver.queue.empty()) {
                ::SleepConditionVariableSRW(&driver.changed, &driver.lock, INFINITE, 0);
                continue;
            }
            const auto first = driver.queue.begin();
            const int64_t wait = first->first - Now();
            if (wait > 0) {
                ::SleepConditionVariableSRW(&driver.changed, &driver.lock, Milliseconds(wait, driver.frequency), 0);
                continue;
            }
            const Completion done = first->second;
            driver.queue.erase(first);
            OpenDevice& device = driver.open.at(done.handle);
            MarkDone(done.header);
            --device.queued;
            ++device.delivering;
            const Notify notify = device.notify;
            ::ReleaseSRWLockExclusive(&driver.lock);
            Deliver(notify, done.handle, MOM_DONE, done.header);
            ::AcquireSRWLockExclusive(&driver.lock);
            --device.delivering; // close waits for this, so device is still there
            ::WakeAllConditionVariable(&driver.changed);
        }
        ::CloseHandle(driver.worker);
        driver.worker = nullptr;
    }
    ::FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

} // namespace

int64_t Now() noexcept {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void Deliver(const Notify& notify, uintptr_t handle, UINT message, MIDIHDR* header) noexcept {
    {
        // Written before the program hears of it: a test that has seen the notice's effect
        // must find the notice in the record.
        Line line(NoticeName(message));
        line.Number("handle", static_cast<int64_t>(handle));
        if (header != nullptr) {
            line.Hex("header", reinterpret_cast<uintptr_t>(header));
        }
    }
    const auto device = reinterpret_cast<HMIDIOUT>(handle);
    switch (notify.type) {
    case CALLBACK_FUNCTION:
        reinterpret_cast<LPDRVCALLBACK>(notify.target)(reinterpret_cast<HDRVR>(device), message, notify.instance,
                                                       reinterpret_cast<DWORD_PTR>(header), 0);
        break;
    case CALLBACK_WINDOW:
        ::PostMessageA(reinterpret_cast<HWND>(notify.target), message, reinterpret_cast<WPARAM>(device),
                       reinterpret_cast<LPARAM>(header));
        break;
    default: break;
    }
}

void MarkDone(MIDIHDR* header) noexcept { header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE; }

void StartWorker(Driver& driver) noexcept {
    if (driver.worker != nullptr) {
        return;
    }
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&CompletionThread), &module);
    driver.worker = ::CreateThread(nullptr, 0, CompletionThread, module, 0, nullptr);
    if (driver.worker == nullptr) {
        ::FreeLibrary(module);
    }
}

void WaitForDeliveries(Driver& driver, const OpenDevice& device) noexcept {
    // At process exit the thread may have been ended in the middle of a delivery.
    while (device.delivering > 0 && driver.worker != nullptr &&
           ::WaitForSingleObject(driver.worker, 0) == WAIT_TIMEOUT) {
        ::SleepConditionVariableSRW(&driver.changed, &driver.lock, 50, 0);
    }
}

int ReportLeaks(Driver& driver) noexcept {
    int leaks = 0;
    for (const auto& [header, handle] : driver.prepared) {
        Line("leak").Hex("header", reinterpret_cast<uintptr_t>(header)).Number("handle", static_cast<int64_t>(handle));
        ++leaks;
    }
    for (const auto& [handle, device] : driver.open) {
        Line("leak").Number("handle", static_cast<int64_t>(handle)).Number("device", device.device);
        ++leaks;
    }
    for (const auto& [period, count] : driver.periods) {
        for (int i = 0; i < count; ++i) {
            Line("leak").Number("period", period);
            ++leaks;
        }
    }
    Line("leaks").Number("count", leaks);
    return leaks;
}

} // namespace winmm_double
