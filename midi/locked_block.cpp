// SPDX-License-Identifier: GPL-2.0-or-later
#include "locked_block.h"

#include <new>

namespace hardsid {

void* AllocLockedBlock(uint16_t size, HGLOBAL& handle) noexcept {
    handle = ::GlobalAlloc(kLockedBlockFlags, size);
    if (handle == nullptr) {
        return nullptr;
    }
    void* address = ::GlobalLock(handle);
    if (address == nullptr) {
        ::GlobalFree(handle);
        handle = nullptr; // forgotten, so that nothing frees it twice
    }
    return address;
}

void FreeLockedBlock(HGLOBAL handle) noexcept {
    if (handle != nullptr) {
        ::GlobalUnlock(handle);
        ::GlobalFree(handle);
    }
}

TLockedBlock::TLockedBlock(uint16_t size) {
    address_ = AllocLockedBlock(size, handle_);
    if (address_ == nullptr) {
        throw std::bad_alloc();
    }
}

} // namespace hardsid
