// SPDX-License-Identifier: GPL-2.0-or-later
// What the player reads back: the last byte written to each register, five devices of 33
// registers in one flat table. A register number above 32 runs on into the next device's row.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace hardsid {

class TShadowRegisters {
public:
    static constexpr size_t kRowLength = 33;
    static constexpr size_t kEntries = 5 * kRowLength;

    /// Stores the value; an index beyond the table is ignored.
    void Write(uint8_t device, uint8_t reg, uint8_t value) noexcept {
        if (const size_t i = IndexOf(device, reg); i < kEntries) {
            entries_[i].store(value, std::memory_order_relaxed);
        }
    }
    /// The last value written, or 0; an index beyond the table reads 0.
    uint8_t Read(uint8_t device, uint8_t reg) const noexcept {
        const size_t i = IndexOf(device, reg);
        return i < kEntries ? entries_[i].load(std::memory_order_relaxed) : 0;
    }

private:
    static size_t IndexOf(uint8_t device, uint8_t reg) noexcept { return device * kRowLength + reg; }

    // Single bytes, so a read from another thread sees a whole value without a lock.
    std::array<std::atomic<uint8_t>, kEntries> entries_{};
};

} // namespace hardsid
