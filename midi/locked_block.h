// SPDX-License-Identifier: GPL-2.0-or-later
// Blocks of the global heap that stay locked at one address for their whole life, as the
// MIDI driver reads headers, message bytes and the callback record from another thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

namespace hardsid {

/// GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE.
inline constexpr UINT kLockedBlockFlags = 0x2042;

/// Allocates a zero-filled block of size bytes and locks it. Gives the locked address and
/// stores the block's handle in handle; on failure gives nullptr and a null handle.
void* AllocLockedBlock(uint16_t size, HGLOBAL& handle) noexcept;

/// Unlocks and frees the block; a null handle does nothing.
void FreeLockedBlock(HGLOBAL handle) noexcept;

/// Move-only owner of one locked block.
class TLockedBlock {
public:
    TLockedBlock() = default;
    /// Throws std::bad_alloc when the block cannot be had.
    explicit TLockedBlock(uint16_t size);
    ~TLockedBlock() { reset(); }
    TLockedBlock(TLockedBlock&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)), address_(std::exchange(other.address_, nullptr)) {}
    TLockedBlock& operator=(TLockedBlock&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
            address_ = std::exchange(other.address_, nullptr);
        }
        return *this;
    }
    TLockedBlock(const TLockedBlock&) = delete;
    TLockedBlock& operator=(const TLockedBlock&) = delete;

    HGLOBAL handle() const noexcept { return handle_; }
    void* get() const noexcept { return address_; }
    void reset() noexcept {
        FreeLockedBlock(std::exchange(handle_, nullptr));
        address_ = nullptr;
    }

private:
    HGLOBAL handle_ = nullptr;
    void* address_ = nullptr;
};

} // namespace hardsid
