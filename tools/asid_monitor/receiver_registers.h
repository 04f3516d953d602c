// SPDX-License-Identifier: GPL-2.0-or-later
// The SID registers as an ASID receiver holds them, rebuilt frame by frame.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace hardsid::monitor {

inline constexpr int kReceiverRegisters = 25; // 0..24: the chip's write-only registers

struct RegisterWrite {
    int reg;
    uint8_t value;
    bool secondControlWrite; ///< from slots 25..27: a second value of register 4, 11 or 18
    bool operator==(const RegisterWrite&) const = default;
};

/// Register fed by each of the 28 slots; slots 25..27 carry a second write to the voice
/// control registers 4, 11 and 18, after the one in slots 22..24.
inline constexpr std::array<int, 28> kRegisterOfSlot = {0,  1,  2,  3,  5,  6,  7,  8,  9,  10,
                                                        12, 13, 14, 15, 16, 17, 19, 20, 21, 22,
                                                        23, 24, 4,  11, 18, 4,  11, 18};
inline constexpr int kFirstSecondSlot = 25;

class ReceiverRegisters {
public:
    /// Applies a frame that CheckAsidMessage accepted; returns its writes in slot order.
    std::vector<RegisterWrite> Apply(std::span<const uint8_t> frame);

    const std::array<uint8_t, kReceiverRegisters>& Values() const noexcept { return registers_; }

private:
    std::array<uint8_t, kReceiverRegisters> registers_{};
};

} // namespace hardsid::monitor
