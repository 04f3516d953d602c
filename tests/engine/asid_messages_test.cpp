// SPDX-License-Identifier: GPL-2.0-or-later
// Byte-exact ASID messages: register frames, start and display text.
#include <gtest/gtest.h>

#include <string>

#include "engine_probe.h"
#include "fakes.h"
#include "settings_frm/asid_messages.h"

namespace hardsid::test {
namespace {

constexpr uint16_t P = kSlotPending;

struct FrameCase {
    const char* rule;
    SlotWords slots;
    Bytes expected;
};

SlotWords With(std::initializer_list<std::pair<int, uint16_t>> words) {
    SlotWords slots{};
    for (const auto& [slot, word] : words) {
        slots[slot] = word;
    }
    return slots;
}

SlotWords AllPending(uint8_t value) {
    SlotWords slots;
    slots.fill(static_cast<uint16_t>(value | P));
    return slots;
}

// Every frame is F0 2D 4E, pending masks, high bits of every slot, data of pending slots, F7.
TEST(RegisterFrame, EncodesPendingSlotsAndHighBits) {
    const FrameCase cases[] = {
        {"nothing pending: 12 bytes, no data",
         With({}),
         {0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7}},
        {"nothing pending still carries the high bits",
         With({{0, 0x80}, {27, 0xFF}}),
         {0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0x01, 0, 0, 0x40, 0xF7}},
        {"slot 0 pending with 9A: mask bit, high bit, data 1A",
         With({{0, 0x9A | P}}),
         {0xF0, 0x2D, 0x4E, 0x01, 0, 0, 0, 0x01, 0, 0, 0, 0x1A, 0xF7}},
        {"slot 22 (register 4) pending with 41",
         With({{22, 0x41 | P}}),
         {0xF0, 0x2D, 0x4E, 0, 0, 0, 0x02, 0, 0, 0, 0, 0x41, 0xF7}},
        {"a non-pending slot sets its high bit and sends no data",
         With({{1, 0x05 | P}, {22, 0x81}}),
         {0xF0, 0x2D, 0x4E, 0x02, 0, 0, 0, 0, 0, 0, 0x02, 0x05, 0xF7}},
        {"slots 6, 7 and 13 sit in bytes 0, 1 and 1",
         With({{6, 0x86 | P}, {7, 0x07 | P}, {13, 0x0D | P}}),
         {0xF0, 0x2D, 0x4E, 0x40, 0x41, 0, 0, 0x40, 0, 0, 0, 0x06, 0x07, 0x0D, 0xF7}},
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.rule);
        FrameBytes frame;
        const size_t length = EncodeRegisterFrame(c.slots, frame);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + static_cast<long>(length)), c.expected);
    }
}

TEST(RegisterFrame, AllSlotsPendingMakeTheLongestFrame) {
    FrameBytes frame;
    ASSERT_EQ(EncodeRegisterFrame(AllPending(0xC3), frame), 40u);
    EXPECT_EQ(Bytes(frame.begin() + 3, frame.begin() + 11), (Bytes{0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F}));
    for (size_t i = 11; i < 39; ++i) {
        EXPECT_EQ(frame[i], 0x43) << "data byte " << i;
    }
    EXPECT_EQ(frame[39], 0xF7);
}

TEST(DisplayTextMessage, CarriesTheTextUnchanged) {
    EXPECT_EQ(BuildDisplayTextMessage(""), (Bytes{0xF0, 0x2D, 0x4F, 0xF7}));
    EXPECT_EQ(BuildDisplayTextMessage("A\x80\xFF"), (Bytes{0xF0, 0x2D, 0x4F, 'A', 0x80, 0xFF, 0xF7}));
}

// The port takes a 16-bit length: a longer text is cut so that the message is 65535 bytes.
TEST(DisplayTextMessage, LongTextIsCutToFitSixteenBits) {
    const std::string text(70000, 'x');
    const Bytes message = BuildDisplayTextMessage(text);
    ASSERT_EQ(message.size(), 65535u);
    EXPECT_EQ(message[65533], 'x');
    EXPECT_EQ(message.back(), 0xF7);
    EXPECT_EQ(BuildDisplayTextMessage(std::string(65531, 'y')).size(), 65535u);
}

// The greeting sends start and text, then the next frame carries every slot as 0.
TEST(Greeting, SendsStartAndTextThenAFullFrame) {
    EngineFixture f;
    f.engine.updateRegister(0, 0x55); // first write: sends a frame, slot 0 then holds 55
    f.sink.messages.clear();

    f.engine.SetDisplayText("");
    f.engine.SendGreeting();
    ASSERT_EQ(f.sink.messages.size(), 2u);
    EXPECT_EQ(f.sink.messages[0], (Bytes{0xF0, 0x2D, 0x4C, 0xF7}));
    EXPECT_EQ(f.sink.messages[1], (Bytes{0xF0, 0x2D, 0x4F, 0xF7}));

    f.engine.FlushBuffer(1);
    Bytes expected = {0xF0, 0x2D, 0x4E, 0x7F, 0x7F, 0x7F, 0x7F, 0, 0, 0, 0};
    expected.resize(39, 0);
    expected.push_back(0xF7);
    EXPECT_EQ(f.sink.messages.back(), expected);
}

TEST(Greeting, IsSentWithStreamingOffAndKeepsTheText) {
    EngineFixture f(false);
    f.engine.SendGreeting();
    ASSERT_EQ(f.sink.messages.size(), 2u);
    EXPECT_EQ(f.sink.messages[1].size(), std::string(kDefaultDisplayText).size() + 4);
    EXPECT_EQ(EngineProbe(f.engine).DisplayText(), kDefaultDisplayText);
    for (const uint16_t word : EngineProbe(f.engine).SidSlots()) {
        EXPECT_EQ(word, kSlotPending);
    }
}

TEST(Flush, WithoutForceAndNothingPendingChangesNothing) {
    EngineFixture f;
    f.engine.FlushBuffer(0);
    EXPECT_TRUE(f.sink.messages.empty());
    EXPECT_EQ(EngineProbe(f.engine).FrameCount(), 0);
    EXPECT_EQ(EngineProbe(f.engine).ByteTotal(), 0u);

    f.engine.FlushBuffer(1);
    ASSERT_EQ(f.sink.messages.size(), 1u);
    EXPECT_EQ(f.sink.messages[0].size(), 12u);
    EXPECT_EQ(EngineProbe(f.engine).ByteTotal(), 12u);
}

// Streaming off: frames are built and their marks cleared, but nothing is sent or counted.
TEST(Flush, WithStreamingOffClearsMarksAndSendsNothing) {
    EngineFixture f(false);
    f.engine.updateRegister(1, 0x22);
    f.engine.FlushBuffer(1);
    EXPECT_TRUE(f.sink.messages.empty());
    EXPECT_EQ(EngineProbe(f.engine).FrameCount(), 0);
    EXPECT_EQ(EngineProbe(f.engine).SidSlots()[1], 0x22);

    f.engine.StreamingEnabled = true;
    f.engine.FlushBuffer(1);
    ASSERT_EQ(f.sink.messages.size(), 1u);
    EXPECT_EQ(f.sink.messages[0].size(), 12u) << "the change of an unsent frame is not sent again";
}

} // namespace
} // namespace hardsid::test
