// SPDX-License-Identifier: GPL-2.0-or-later
// Cutting a raw byte stream into System Exclusive messages, whatever the stream holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/asid_monitor/capture_reader.h"

namespace hardsid::monitor {
namespace {

using Bytes = std::vector<uint8_t>;

struct Expected {
    std::vector<size_t> messageOffsets;
    std::vector<std::string> problems; // "where: what"
};

std::vector<std::string> Problems(const Capture& capture) {
    std::vector<std::string> texts;
    for (const CaptureProblem& p : capture.problems) {
        texts.push_back(p.where.Text() + ": " + p.what);
    }
    return texts;
}

// Messages are found at their offsets; stray bytes, a missing F7 and a cut end are reported.
TEST(SysExSplitter, FindsMessagesAndReportsDamageWithOffsets) {
    struct Case {
        const char* rule;
        Bytes stream;
        Expected expected;
    };
    const Case cases[] = {
        {"two messages", {0xF0, 0x2D, 0x4C, 0xF7, 0xF0, 0x2D, 0x4F, 0xF7}, {{0, 4}, {}}},
        {"nothing", {}, {{}, {}}},
        {"garbage before, between and after",
         {0x00, 0x41, 0xF0, 0x2D, 0x4C, 0xF7, 0x90, 0xF0, 0x2D, 0x4D, 0xF7, 0xF7},
         {{2, 7},
          {"offset 0: 2 bytes outside any message (first 00)", "offset 6: 1 byte outside any message (first 90)",
           "offset 11: 1 byte outside any message (first F7)"}}},
        {"a message without F7 before the next F0",
         {0xF0, 0x2D, 0x4E, 0x00, 0xF0, 0x2D, 0x4C, 0xF7},
         {{4}, {"offset 0: message without F7: the next F0 comes at offset 4"}}},
        {"cut short at the end",
         {0xF0, 0x2D, 0x4C, 0xF7, 0xF0, 0x2D, 0x4E, 0x01},
         {{0}, {"offset 4: message cut short: 4 bytes and no F7 before the end"}}},
        {"a lone F0", {0xF0}, {{}, {"offset 0: message cut short: 1 byte and no F7 before the end"}}},
        {"high bytes stay inside for the checker", {0xF0, 0x2D, 0x4F, 0xE9, 0x80, 0xF7}, {{0}, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const Capture capture = ReadRawSysEx(c.stream);
        std::vector<size_t> offsets;
        for (const ReceivedMessage& m : capture.messages) {
            offsets.push_back(m.where.offset);
            EXPECT_EQ(m.bytes.front(), 0xF0);
            EXPECT_EQ(m.bytes.back(), 0xF7);
            EXPECT_FALSE(m.seconds.has_value());
        }
        EXPECT_EQ(offsets, c.expected.messageOffsets);
        EXPECT_EQ(Problems(capture), c.expected.problems);
        EXPECT_EQ(capture.totalBytes, c.stream.size());
        EXPECT_FALSE(capture.hasTimeStamps);
    }
}

} // namespace
} // namespace hardsid::monitor
