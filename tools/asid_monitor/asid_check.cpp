// SPDX-License-Identifier: GPL-2.0-or-later
#include "asid_check.h"

#include <bit>
#include <cstdio>

namespace hardsid::monitor {

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;
constexpr size_t kShortMessageBytes = 4; // F0 2D type F7
constexpr size_t kMaskOffset = 3;
constexpr size_t kMaskBytes = 4;

std::string Hex(uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

AsidVerdict Bad(size_t at, std::string problem) { return {AsidType::Malformed, std::move(problem), at}; }

} // namespace

int AnnouncedSlots(std::span<const uint8_t> frame) noexcept {
    int slots = 0;
    for (size_t i = kMaskOffset; i < kMaskOffset + kMaskBytes && i < frame.size(); ++i) {
        slots += std::popcount(static_cast<unsigned>(frame[i] & 0x7F));
    }
    return slots;
}

AsidVerdict CheckAsidMessage(std::span<const uint8_t> message) {
    const size_t n = message.size();
    if (n < kShortMessageBytes) {
        return Bad(0, "message of " + std::to_string(n) + " bytes is too short for ASID (at least 4)");
    }
    if (message[0] != kSysExStart) {
        return Bad(0, "message starts with " + Hex(message[0]) + ", not F0");
    }
    if (message[n - 1] != kSysExEnd) {
        return Bad(n - 1, "message ends with " + Hex(message[n - 1]) + ", not F7");
    }
    for (size_t i = 1; i + 1 < n; ++i) {
        if (message[i] >= 0x80) {
            return Bad(i, "byte " + Hex(message[i]) + " at +" + std::to_string(i) + " is not a 7-bit data byte");
        }
    }
    if (message[1] != kAsidManufacturer) {
        return Bad(1, "not an ASID message: manufacturer byte " + Hex(message[1]) + ", not 2D");
    }
    const uint8_t type = message[2];
    switch (type) {
    case kAsidStartType:
    case kAsidStopType:
        if (n != kShortMessageBytes) {
            return Bad(0, std::string(type == kAsidStartType ? "start" : "stop") + " message of " +
                              std::to_string(n) + " bytes, not 4");
        }
        return {type == kAsidStartType ? AsidType::Start : AsidType::Stop, {}, 0};
    case kAsidTextType:
        return {AsidType::DisplayText, {}, 0};
    case kAsidFrameType: {
        if (n < kEmptyFrameBytes) {
            return Bad(0, "register frame of " + std::to_string(n) + " bytes is shorter than 12");
        }
        const size_t expected = kEmptyFrameBytes + static_cast<size_t>(AnnouncedSlots(message));
        if (n != expected) {
            const size_t announced = expected - kEmptyFrameBytes;
            return Bad(0, "register frame of " + std::to_string(n) + " bytes, but its masks announce " +
                              std::to_string(announced) + (announced == 1 ? " register (" : " registers (") +
                              std::to_string(expected) + " bytes)");
        }
        return {AsidType::RegisterFrame, {}, 0};
    }
    default:
        return Bad(2, "unknown ASID message type " + Hex(type));
    }
}

} // namespace hardsid::monitor
