// SPDX-License-Identifier: GPL-2.0-or-later
// Reads register frames back the way an ASID receiver does.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "fakes.h"

namespace hardsid::test {

/// (slot, full 8-bit value) of every pending slot, in slot order.
inline std::vector<std::pair<int, int>> PendingSlots(const Bytes& frame) {
    std::vector<std::pair<int, int>> slots;
    size_t data = 11;
    for (int slot = 0; slot < 28; ++slot) {
        const int byte = slot / 7;
        const int bit = 1 << (slot % 7);
        if ((frame.at(3 + byte) & bit) != 0) {
            const int high = (frame.at(7 + byte) & bit) != 0 ? 0x80 : 0;
            slots.emplace_back(slot, frame.at(data++) | high);
        }
    }
    return slots;
}

/// The SID registers 0..24 as a receiver holds them: slots in slot order, the second slots
/// 25..27 as a second write to the control registers 4, 11 and 18.
class ReceiverModel {
public:
    void Apply(const Bytes& frame) {
        for (const auto& [slot, value] : PendingSlots(frame)) {
            registers[RegisterOfSlot(slot)] = static_cast<uint8_t>(value);
        }
    }
    static int RegisterOfSlot(int slot) {
        static constexpr std::array<int, 28> kRegister = {0,  1,  2,  3,  5,  6,  7,  8,  9,  10, 12, 13, 14, 15,
                                                          16, 17, 19, 20, 21, 22, 23, 24, 4,  11, 18, 4,  11, 18};
        return kRegister[slot];
    }
    std::array<uint8_t, 25> registers{};
};

} // namespace hardsid::test
