// SPDX-License-Identifier: GPL-2.0-or-later
// The statically linked C++ runtime makes a semaphore for an internal lock the first time it
// needs one (on 32-bit Windows the unwinder's lock over its frame tables, at every load; the
// emulated thread-local storage at the first exception) and never closes it: a player that
// loads and unloads the library collected two handles per cycle. The runtime's calls to
// CreateSemaphoreW come through this import entry, so the library closes them when it goes.
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "hardsid/runtime_semaphores.h"

namespace {

using CreateSemaphoreWFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);

constexpr int kMostTracked = 32;
std::atomic<HANDLE> tracked[kMostTracked] = {};
std::atomic<int> trackedCount{0};

HANDLE WINAPI TrackedCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
    // Looked up on every call: this runs before the library's own start-up, and a guarded
    // static would want a lock of the runtime's, made here.
    const auto create = reinterpret_cast<CreateSemaphoreWFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CreateSemaphoreW")));
    if (create == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const HANDLE semaphore = create(attributes, initial, maximum, name);
    if (semaphore != nullptr) {
        const int slot = trackedCount.fetch_add(1);
        if (slot < kMostTracked) {
            tracked[slot].store(semaphore);
        }
    }
    return semaphore;
}

} // namespace

// The entry of the import address table that every call of CreateSemaphoreW in this module
// goes through: defined here, the linker takes it instead of kernel32's.
#if defined(_WIN64)
extern "C" CreateSemaphoreWFunction hardsid_CreateSemaphoreW_entry __asm__("__imp_CreateSemaphoreW");
#else
extern "C" CreateSemaphoreWFunction hardsid_CreateSemaphoreW_entry __asm__("__imp__CreateSemaphoreW@16");
#endif
CreateSemaphoreWFunction hardsid_CreateSemaphoreW_entry = &TrackedCreateSemaphoreW;

namespace hardsid {

void CloseRuntimeSemaphores() noexcept {
    const int count = std::min(trackedCount.exchange(0), kMostTracked);
    for (int i = 0; i < count; ++i) {
        if (const HANDLE semaphore = tracked[i].exchange(nullptr)) {
            ::CloseHandle(semaphore);
        }
    }
}

} // namespace hardsid
