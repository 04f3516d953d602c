// SPDX-License-Identifier: GPL-2.0-or-later
#include "receiver_registers.h"

#include "asid_check.h"

namespace hardsid::monitor {

namespace {
constexpr size_t kMaskOffset = 3;
constexpr size_t kHighBitsOffset = 7;
constexpr int kSlotsPerByte = 7;
} // namespace

std::vector<RegisterWrite> ReceiverRegisters::Apply(std::span<const uint8_t> frame) {
    std::vector<RegisterWrite> writes;
    if (frame.size() < kEmptyFrameBytes) {
        return writes;
    }
    size_t data = kFrameHeaderBytes;
    for (int slot = 0; slot < static_cast<int>(kRegisterOfSlot.size()); ++slot) {
        const size_t byte = static_cast<size_t>(slot / kSlotsPerByte);
        const uint8_t bit = static_cast<uint8_t>(1u << (slot % kSlotsPerByte));
        // Stop at the F7 if the masks promise more than the frame holds.
        if ((frame[kMaskOffset + byte] & bit) == 0 || data + 1 >= frame.size()) {
            continue;
        }
        // The data byte carries 7 bits; bit 7 travels in the high-bit bytes.
        const uint8_t high = (frame[kHighBitsOffset + byte] & bit) != 0 ? 0x80 : 0x00;
        const uint8_t value = static_cast<uint8_t>(frame[data++] | high);
        const int reg = kRegisterOfSlot[static_cast<size_t>(slot)];
        registers_[static_cast<size_t>(reg)] = value;
        writes.push_back({reg, value, slot >= kFirstSecondSlot});
    }
    return writes;
}

} // namespace hardsid::monitor
