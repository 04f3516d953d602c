// SPDX-License-Identifier: GPL-2.0-or-later
#include "asid_messages.h"

namespace hardsid {

namespace {
constexpr int kSlotsPerMaskByte = 7; // MIDI data bytes carry 7 bits
constexpr size_t kMaskOffset = 3;
constexpr size_t kHighBitsOffset = 7;
} // namespace

size_t EncodeRegisterFrame(const SlotWords& slots, FrameBytes& frame) noexcept {
    frame[0] = kSysExStart;
    frame[1] = kAsidId;
    frame[2] = kAsidRegisterFrame;
    for (size_t j = 0; j < 4; ++j) {
        frame[kMaskOffset + j] = 0;
        frame[kHighBitsOffset + j] = 0;
    }
    size_t length = kFrameHeaderLength;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const uint16_t word = slots[slot];
        const size_t byte = static_cast<size_t>(slot / kSlotsPerMaskByte);
        const auto bit = static_cast<uint8_t>(1u << (slot % kSlotsPerMaskByte));
        // High bits travel for every slot, pending or not.
        if ((word & 0x80) != 0) {
            frame[kHighBitsOffset + byte] |= bit;
        }
        if ((word & kSlotPending) != 0) {
            frame[kMaskOffset + byte] |= bit;
            frame[length++] = static_cast<uint8_t>(word & 0x7F);
        }
    }
    frame[length++] = kSysExEnd;
    return length;
}

std::vector<uint8_t> BuildDisplayTextMessage(std::string_view text) {
    if (text.size() > kMaxDisplayTextLength) {
        text = text.substr(0, kMaxDisplayTextLength);
    }
    std::vector<uint8_t> message;
    message.reserve(text.size() + 4);
    message.push_back(kSysExStart);
    message.push_back(kAsidId);
    message.push_back(kAsidDisplayText);
    message.insert(message.end(), text.begin(), text.end());
    message.push_back(kSysExEnd);
    return message;
}

} // namespace hardsid
