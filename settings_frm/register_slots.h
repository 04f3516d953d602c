// SPDX-License-Identifier: GPL-2.0-or-later
// The 28 ASID register slots: the latest value of each slot and a pending mark for the
// next frame. The three voice control registers get a second slot so that two successive
// values (a hard restart, a gate toggle) can travel in one frame.
#pragma once

#include <array>
#include <cstdint>

namespace hardsid {

inline constexpr int kSlotCount = 28;
inline constexpr uint16_t kSlotPending = 0x0100;
inline constexpr uint16_t kSlotValueMask = 0x00FF;
inline constexpr int kFirstControlSlot = 22; // slots 22..24: control registers 4, 11, 18
inline constexpr int kSecondSlotOffset = 3;  // their second slots are 25..27
inline constexpr int kVoiceCount = 3;

/// SID registers 25 to 28 (POTX, POTY, OSC3, ENV3) are read-only on the chip.
inline constexpr uint8_t kFirstReadOnlyRegister = 25;

/// SID register 0..27 -> slot.
inline constexpr std::array<uint8_t, kSlotCount> SlotOfRegister = {
    0, 1, 2, 3, 22, 4, 5, 6, 7, 8, 9, 23, 10, 11, 12, 13, 14, 15, 24, 16, 17, 18, 19, 20, 21, 25, 26, 27};

using SlotWords = std::array<uint16_t, kSlotCount>;

class TRegisterSlots {
public:
    /// Records a write to SID register 0..27 (the caller filters higher numbers). A write to
    /// a read-only register changes nothing: slots 25 to 27 are the control registers'
    /// second slots, which a receiver would apply as a waveform and gate change.
    void Store(uint8_t reg, uint8_t value) noexcept;
    /// Every slot value 0 and pending: the device was just told that a stream starts.
    void MarkAllForGreeting() noexcept;
    /// Every slot pending with the value the device should hold, for a device that was told
    /// to stop: each second slot carries its control register's latest value, so that a
    /// receiver, which applies the second slots last, ends on that value.
    void MarkAllForResume() noexcept;
    /// After a frame was built: remember what the device now holds, clear every mark.
    void EndFrame() noexcept;

    bool AnyPending() const noexcept;
    const SlotWords& Words() const noexcept { return SidSlots; }

private:
    static bool IsPending(uint16_t word) noexcept { return (word & kSlotPending) != 0; }
    static uint8_t ValueOf(uint16_t word) noexcept { return static_cast<uint8_t>(word & kSlotValueMask); }
    void StoreControl(int controlSlot, uint8_t value) noexcept;
    /// The value the control register of a voice ends the coming frame with.
    uint8_t LatestControl(int voice) const noexcept;

    SlotWords SidSlots{};
    // Per voice, the control register's value as the device holds it after the last frame:
    // whichever of its two slots that frame carried last. The control slot's own byte can be
    // stale once a frame carried the second slot, so equal-value checks must not use it.
    std::array<uint8_t, kVoiceCount> deviceControl_{};
};

} // namespace hardsid
