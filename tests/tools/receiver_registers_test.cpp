// SPDX-License-Identifier: GPL-2.0-or-later
// The receiver's view of the SID registers, rebuilt from frames.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "settings_frm/asid_messages.h"
#include "tools/asid_monitor/asid_check.h"
#include "tools/asid_monitor/receiver_registers.h"

namespace hardsid::monitor {
namespace {

using Bytes = std::vector<uint8_t>;

// Slot s carries s + 1: each register must end up with the value of the slot that feeds it,
// and registers 4, 11 and 18 with their second slots' values, which come later.
TEST(ReceiverRegisters, MapsEverySlotToItsRegister) {
    Bytes frame = {0xF0, 0x2D, 0x4E, 0x7F, 0x7F, 0x7F, 0x7F, 0, 0, 0, 0};
    for (uint8_t slot = 0; slot < 28; ++slot) {
        frame.push_back(static_cast<uint8_t>(slot + 1));
    }
    frame.push_back(0xF7);
    ReceiverRegisters receiver;
    EXPECT_EQ(receiver.Apply(frame).size(), 28u);
    const std::array<uint8_t, 25> expected = {1,  2,  3,  4,  26, 5,  6,  7,  8,  9,  10, 27, 11,
                                              12, 13, 14, 15, 16, 28, 17, 18, 19, 20, 21, 22};
    EXPECT_EQ(receiver.Values(), expected);
}

// Writes come out in slot order with bit 7 restored; a control register's second slot comes
// after its first, and slots not in the mask keep their old values.
TEST(ReceiverRegisters, AppliesPendingSlotsInOrderAndKeepsTheRest) {
    ReceiverRegisters receiver;
    // Slot 0 = 9A (high bit set), slot 22 = 08 and slot 25 = C1: register 4 twice.
    const Bytes first = {0xF0, 0x2D, 0x4E, 0x01, 0, 0, 0x12, 0x01, 0, 0, 0x10, 0x1A, 0x08, 0x41, 0xF7};
    ASSERT_EQ(CheckAsidMessage(first).type, AsidType::RegisterFrame);
    EXPECT_EQ(receiver.Apply(first),
              (std::vector<RegisterWrite>{{0, 0x9A, false}, {4, 0x08, false}, {4, 0xC1, true}}));
    // Only slot 1 = 05; the high bit of the idle slot 0 is set but sends nothing.
    const Bytes second = {0xF0, 0x2D, 0x4E, 0x02, 0, 0, 0, 0x01, 0, 0, 0, 0x05, 0xF7};
    EXPECT_EQ(receiver.Apply(second), (std::vector<RegisterWrite>{{1, 0x05, false}}));
    EXPECT_EQ(receiver.Values()[0], 0x9A);
    EXPECT_EQ(receiver.Values()[1], 0x05);
    EXPECT_EQ(receiver.Values()[4], 0xC1);
}

// A frame whose masks promise more data than it holds is read up to its F7, never beyond.
TEST(ReceiverRegisters, StopsAtTheEndOfAShortFrame) {
    ReceiverRegisters receiver;
    const Bytes frame = {0xF0, 0x2D, 0x4E, 0x7F, 0x7F, 0x7F, 0x7F, 0, 0, 0, 0, 0x33, 0xF7};
    EXPECT_EQ(receiver.Apply(frame), (std::vector<RegisterWrite>{{0, 0x33, false}}));
    EXPECT_TRUE(receiver.Apply(Bytes{0xF0, 0xF7}).empty());
}

// The library's encoder and this decoder agree: after every frame, each register the host
// wrote reads back its last value, hard restarts included.
TEST(ReceiverRegisters, AgreesWithTheEncoderOnLastValues) {
    struct Write {
        uint8_t reg, value;
    };
    const std::vector<std::vector<Write>> frames = {
        {{0, 0x12}, {4, 0x41}, {24, 0x1F}},
        {{4, 0x40}, {4, 0x08}, {4, 0x41}, {11, 0x21}},
        {{11, 0x20}, {11, 0x21}, {2, 0xFF}, {3, 0x0F}},
        {{18, 0x10}, {18, 0x11}, {4, 0x41}},
        {{21, 0x07}, {22, 0x80}, {4, 0x41}},
    };
    TRegisterSlots slots;
    ReceiverRegisters receiver;
    std::array<int, 25> lastWritten;
    lastWritten.fill(-1);
    for (size_t f = 0; f < frames.size(); ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        for (const Write& w : frames[f]) {
            slots.Store(w.reg, w.value);
            lastWritten[w.reg] = w.value;
        }
        FrameBytes bytes;
        const size_t length = EncodeRegisterFrame(slots.Words(), bytes);
        slots.EndFrame();
        const Bytes frame(bytes.begin(), bytes.begin() + static_cast<long>(length));
        ASSERT_EQ(CheckAsidMessage(frame).type, AsidType::RegisterFrame);
        receiver.Apply(frame);
        for (size_t reg = 0; reg < 25; ++reg) {
            if (lastWritten[reg] >= 0) {
                EXPECT_EQ(receiver.Values()[reg], lastWritten[reg]) << "register " << reg;
            }
        }
    }
}

} // namespace
} // namespace hardsid::monitor
