// SPDX-License-Identifier: GPL-2.0-or-later
// Checks one received System Exclusive message against the ASID message layouts. Written
// apart from the library's encoder on purpose: it judges what a device got.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace hardsid::monitor {

enum class AsidType { Start, Stop, RegisterFrame, DisplayText, Malformed };

inline constexpr uint8_t kAsidManufacturer = 0x2D;
inline constexpr uint8_t kAsidStartType = 0x4C;
inline constexpr uint8_t kAsidStopType = 0x4D;
inline constexpr uint8_t kAsidFrameType = 0x4E;
inline constexpr uint8_t kAsidTextType = 0x4F;

/// F0 2D 4E, 4 mask bytes, 4 high-bit bytes, one data byte per mask bit, F7.
inline constexpr size_t kFrameHeaderBytes = 11;
inline constexpr size_t kEmptyFrameBytes = kFrameHeaderBytes + 1;

struct AsidVerdict {
    AsidType type = AsidType::Malformed;
    std::string problem; ///< empty unless Malformed
    size_t at = 0;       ///< offset of the offending byte inside the message
};

AsidVerdict CheckAsidMessage(std::span<const uint8_t> message);

/// Number of registers a frame's four mask bytes announce (bits 0..6 of each).
int AnnouncedSlots(std::span<const uint8_t> frame) noexcept;

} // namespace hardsid::monitor
