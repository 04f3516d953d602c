// SPDX-License-Identifier: GPL-2.0-or-later
#include "win_platform.h"

#include <stdexcept>

namespace hardsid::win32 {

namespace {

class TEventWakeSlot final : public IWakeSlot {
public:
    TEventWakeSlot() : event_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        if (!event_) {
            throw std::runtime_error("CreateEventA failed");
        }
    }
    void Wait() noexcept override { ::WaitForSingleObject(event_.get(), INFINITE); }
    void Wake() noexcept override { ::SetEvent(event_.get()); }

private:
    UniqueHandle event_;
};

} // namespace

TWinPlatform::TWinPlatform(TWaitTimer::Kind timer) noexcept
    : tlsIndex_(::TlsAlloc()), waitTimer_(PerformanceFrequency(), timer) {}

TWinPlatform::TWinPlatform() noexcept : TWinPlatform(TWaitTimer::KindForThisSystem()) {}

TWinPlatform::~TWinPlatform() {
    if (tlsIndex_ != TLS_OUT_OF_INDEXES) {
        ::TlsFree(tlsIndex_);
    }
}

int64_t TWinPlatform::PerformanceCounter() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t TWinPlatform::PerformanceFrequency() {
    LARGE_INTEGER frequency;
    if (!::QueryPerformanceFrequency(&frequency)) {
        return 0;
    }
    return frequency.QuadPart;
}

uint32_t TWinPlatform::TickCount() { return ::GetTickCount(); }

void TWinPlatform::SetCurrentThreadPriority(WaitPriority priority) {
    ::SetThreadPriority(::GetCurrentThread(), static_cast<int>(priority));
}

void TWinPlatform::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

uintptr_t TWinPlatform::ThreadWord() {
    if (tlsIndex_ == TLS_OUT_OF_INDEXES) {
        return 0; // without a slot the priority is simply set on every wait
    }
    return reinterpret_cast<uintptr_t>(::TlsGetValue(tlsIndex_));
}

void TWinPlatform::SetThreadWord(uintptr_t word) {
    if (tlsIndex_ != TLS_OUT_OF_INDEXES) {
        ::TlsSetValue(tlsIndex_, reinterpret_cast<void*>(word));
    }
}

std::unique_ptr<IWakeSlot> TWinPlatform::MakeWakeSlot() { return std::make_unique<TEventWakeSlot>(); }

bool TWinLogFile::Create(const char* name) {
    file_ = UniqueFile(::CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file_);
}

bool TWinLogFile::Write(const void* data, size_t length) {
    if (!file_) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file_.get(), data, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

} // namespace hardsid::win32
