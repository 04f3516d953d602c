// SPDX-License-Identifier: GPL-2.0-or-later
// The monitor's judgement of single ASID messages, on hand-made byte arrays.
#include <gtest/gtest.h>

#include <vector>

#include "tools/asid_monitor/asid_check.h"

namespace hardsid::monitor {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FullFrame() {
    Bytes frame = {0xF0, 0x2D, 0x4E, 0x7F, 0x7F, 0x7F, 0x7F, 0x00, 0x00, 0x00, 0x00}; // all 28 slots
    frame.insert(frame.end(), 28, 0x11);
    frame.push_back(0xF7);
    return frame;
}

// Well-formed messages of every known type are recognised as that type.
TEST(AsidCheck, RecognisesEveryKnownType) {
    struct Case {
        const char* rule;
        Bytes message;
        AsidType type;
    };
    const Case cases[] = {
        {"start", {0xF0, 0x2D, 0x4C, 0xF7}, AsidType::Start},
        {"stop", {0xF0, 0x2D, 0x4D, 0xF7}, AsidType::Stop},
        {"empty frame: 12 bytes", {0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7}, AsidType::RegisterFrame},
        {"empty frame still carries high bits", {0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0x01, 0, 0, 0x40, 0xF7},
         AsidType::RegisterFrame},
        {"slot 0 with 9A", {0xF0, 0x2D, 0x4E, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x1A, 0xF7}, AsidType::RegisterFrame},
        {"slots 22 and 25 (a control register twice)",
         {0xF0, 0x2D, 0x4E, 0, 0, 0, 0x12, 0, 0, 0, 0, 0x08, 0x41, 0xF7}, AsidType::RegisterFrame},
        {"all 28 slots: 40 bytes", FullFrame(), AsidType::RegisterFrame},
        {"empty display text", {0xF0, 0x2D, 0x4F, 0xF7}, AsidType::DisplayText},
        {"display text", {0xF0, 0x2D, 0x4F, 'H', 'i', 0xF7}, AsidType::DisplayText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const AsidVerdict verdict = CheckAsidMessage(c.message);
        EXPECT_EQ(verdict.type, c.type) << verdict.problem;
        EXPECT_TRUE(verdict.problem.empty());
    }
}

// Every kind of malformed message is refused with the offending byte's place and the reason.
TEST(AsidCheck, RefusesMalformedMessages) {
    struct Case {
        const char* rule;
        Bytes message;
        size_t at;
        const char* problem;
    };
    Bytes frameMissingByte = FullFrame();
    frameMissingByte.erase(frameMissingByte.begin() + 20);
    const Case cases[] = {
        {"too short", {0xF0, 0xF7}, 0, "message of 2 bytes is too short for ASID (at least 4)"},
        {"no F0", {0x90, 0x2D, 0x4C, 0xF7}, 0, "message starts with 90, not F0"},
        {"no F7", {0xF0, 0x2D, 0x4C, 0x00}, 3, "message ends with 00, not F7"},
        {"high byte in a frame", {0xF0, 0x2D, 0x4E, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x9A, 0xF7}, 11,
         "byte 9A at +11 is not a 7-bit data byte"},
        {"high byte in a mask", {0xF0, 0x2D, 0x4E, 0x80, 0, 0, 0, 0, 0, 0, 0, 0xF7}, 3,
         "byte 80 at +3 is not a 7-bit data byte"},
        {"high byte in a display text", {0xF0, 0x2D, 0x4F, 'A', 0xE9, 0xF7}, 4,
         "byte E9 at +4 is not a 7-bit data byte"},
        {"another manufacturer", {0xF0, 0x7E, 0x4C, 0xF7}, 1, "not an ASID message: manufacturer byte 7E, not 2D"},
        {"unknown type", {0xF0, 0x2D, 0x50, 0xF7}, 2, "unknown ASID message type 50"},
        {"long start", {0xF0, 0x2D, 0x4C, 0x00, 0xF7}, 0, "start message of 5 bytes, not 4"},
        {"long stop", {0xF0, 0x2D, 0x4D, 0x01, 0x02, 0xF7}, 0, "stop message of 6 bytes, not 4"},
        {"frame shorter than its header", {0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0, 0, 0xF7}, 0,
         "register frame of 10 bytes is shorter than 12"},
        {"frame with a data byte too many", {0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0xF7}, 0,
         "register frame of 13 bytes, but its masks announce 0 registers (12 bytes)"},
        {"frame with a data byte missing", frameMissingByte, 0,
         "register frame of 39 bytes, but its masks announce 28 registers (40 bytes)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const AsidVerdict verdict = CheckAsidMessage(c.message);
        EXPECT_EQ(verdict.type, AsidType::Malformed);
        EXPECT_EQ(verdict.at, c.at);
        EXPECT_EQ(verdict.problem, c.problem);
    }
}

} // namespace
} // namespace hardsid::monitor
