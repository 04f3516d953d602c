// SPDX-License-Identifier: GPL-2.0-or-later
#include "register_slots.h"

namespace hardsid {

void TRegisterSlots::Store(uint8_t reg, uint8_t value) noexcept {
    if (reg >= kFirstReadOnlyRegister) {
        return;
    }
    const int slot = SlotOfRegister[reg];
    if (slot >= kFirstControlSlot && slot < kFirstControlSlot + kVoiceCount) {
        StoreControl(slot, value);
        return;
    }
    if (ValueOf(SidSlots[slot]) != value) {
        SidSlots[slot] = static_cast<uint16_t>(value | kSlotPending);
    }
}

// A value equal to what the device will end the frame with changes nothing; any other value
// is marked, so the device always ends the frame on the player's last value.
void TRegisterSlots::StoreControl(int controlSlot, uint8_t value) noexcept {
    uint16_t& control = SidSlots[controlSlot];
    uint16_t& second = SidSlots[controlSlot + kSecondSlotOffset];
    if (!IsPending(control)) {
        // First write in this frame: the device keeps what the last frame left it.
        if (value != deviceControl_[controlSlot - kFirstControlSlot]) {
            control = static_cast<uint16_t>(value | kSlotPending);
        }
        return;
    }
    if (IsPending(second)) {
        // Third write or later: the older of the last two values moves to the control slot.
        control = second;
        if (ValueOf(second) != value) {
            second = static_cast<uint16_t>(value | kSlotPending);
        }
        return;
    }
    // Second write: the device ends on the first write's value unless this one differs.
    if (value != ValueOf(control)) {
        second = static_cast<uint16_t>(value | kSlotPending);
    }
}

void TRegisterSlots::MarkAllForGreeting() noexcept {
    SidSlots.fill(kSlotPending);
    deviceControl_.fill(0);
}

uint8_t TRegisterSlots::LatestControl(int voice) const noexcept {
    const uint16_t control = SidSlots[kFirstControlSlot + voice];
    const uint16_t second = SidSlots[kFirstControlSlot + kSecondSlotOffset + voice];
    if (IsPending(second)) {
        return ValueOf(second);
    }
    return IsPending(control) ? ValueOf(control) : deviceControl_[voice];
}

void TRegisterSlots::MarkAllForResume() noexcept {
    for (int voice = 0; voice < kVoiceCount; ++voice) {
        const uint8_t latest = LatestControl(voice);
        uint16_t& control = SidSlots[kFirstControlSlot + voice];
        // A control value written since the last frame keeps its place (a gate toggle still
        // travels); otherwise the control slot's own byte may be stale.
        if (!IsPending(control)) {
            control = latest;
        }
        SidSlots[kFirstControlSlot + kSecondSlotOffset + voice] = latest;
    }
    for (uint16_t& word : SidSlots) {
        word |= kSlotPending;
    }
}

void TRegisterSlots::EndFrame() noexcept {
    for (int voice = 0; voice < kVoiceCount; ++voice) {
        const uint16_t control = SidSlots[kFirstControlSlot + voice];
        const uint16_t second = SidSlots[kFirstControlSlot + kSecondSlotOffset + voice];
        if (IsPending(second)) {
            deviceControl_[voice] = ValueOf(second);
        } else if (IsPending(control)) {
            deviceControl_[voice] = ValueOf(control);
        }
    }
    for (uint16_t& word : SidSlots) {
        word &= kSlotValueMask;
    }
}

bool TRegisterSlots::AnyPending() const noexcept {
    for (const uint16_t word : SidSlots) {
        if (IsPending(word)) {
            return true;
        }
    }
    return false;
}

} // namespace hardsid
