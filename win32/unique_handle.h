// SPDX-License-Identifier: GPL-2.0-or-later
// Move-only owners of Win32 handles: every path releases what it took.
#pragma once

#include <windows.h>

#include <utility>

namespace hardsid::win32 {

/// Owns a value of type T and releases it with Close(T) unless it equals Invalid.
template <typename T, auto Close, T Invalid = T{}>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) noexcept : value_(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Invalid; }
    T release() noexcept { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) noexcept {
        const T old = std::exchange(value_, value);
        if (old != Invalid) {
            Close(old);
        }
    }
    /// For out-parameters: releases the current value and hands out its place.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid;
};

namespace detail {
inline void CloseKernelHandle(HANDLE h) noexcept { ::CloseHandle(h); }
} // namespace detail

/// A kernel object handle (event, thread, semaphore...) whose "none" is nullptr.
using UniqueHandle = UniqueAny<HANDLE, detail::CloseKernelHandle, nullptr>;

/// A kernel object handle whose "none" is INVALID_HANDLE_VALUE (files).
class UniqueFile : public UniqueAny<HANDLE, detail::CloseKernelHandle, nullptr> {
public:
    UniqueFile() = default;
    explicit UniqueFile(HANDLE h) noexcept
        : UniqueAny(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};

} // namespace hardsid::win32
