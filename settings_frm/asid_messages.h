// SPDX-License-Identifier: GPL-2.0-or-later
// ASID System Exclusive messages: register frame (F0 2D 4E), start (F0 2D 4C F7) and
// display text (F0 2D 4F).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "register_slots.h"

namespace hardsid {

inline constexpr uint8_t kSysExStart = 0xF0;
inline constexpr uint8_t kSysExEnd = 0xF7;
inline constexpr uint8_t kAsidId = 0x2D;
inline constexpr uint8_t kAsidRegisterFrame = 0x4E;
inline constexpr uint8_t kAsidDisplayText = 0x4F;

inline constexpr std::array<uint8_t, 4> AsidStartMessage = {kSysExStart, kAsidId, 0x4C, kSysExEnd};
/// Tells the device that the stream ends, so that it falls silent instead of holding notes.
inline constexpr std::array<uint8_t, 4> AsidStopMessage = {kSysExStart, kAsidId, 0x4D, kSysExEnd};

/// F0 2D 4E, 4 pending-mask bytes, 4 high-bit bytes, one byte per pending slot, F7.
inline constexpr size_t kFrameHeaderLength = 11;
inline constexpr size_t kMinFrameLength = kFrameHeaderLength + 1;
inline constexpr size_t kMaxFrameLength = kMinFrameLength + kSlotCount;
using FrameBytes = std::array<uint8_t, kMaxFrameLength>;

/// Encodes the pending slots as one register frame; returns its length (12 to 40).
size_t EncodeRegisterFrame(const SlotWords& slots, FrameBytes& frame) noexcept;

/// The longest text whose message (text + 4 bytes) still fits a 16-bit length.
inline constexpr size_t kMaxDisplayTextLength = 0xFFFF - 4;

/// F0 2D 4F, the text's bytes unchanged (cut to kMaxDisplayTextLength), F7.
std::vector<uint8_t> BuildDisplayTextMessage(std::string_view text);

} // namespace hardsid
