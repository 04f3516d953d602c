// SPDX-License-Identifier: GPL-2.0-or-later
// Register slots: where each write goes, the second slots of the voice control registers,
// and which writes count as changes.
#include <gtest/gtest.h>

#include <random>

#include "fakes.h"
#include "frame_decoder.h"

namespace hardsid::test {
namespace {

using Write = std::pair<uint8_t, uint8_t>; // register, value
using Frame = std::vector<Write>;

/// Engine with the timed frames held back, so that each test decides where frames end.
struct SlotFixture : EngineFixture {
    SlotFixture() { engine.DebugFlag = 1; }

    /// Plays the writes, then ends the frame; returns what it carried.
    std::vector<std::pair<int, int>> PlayFrame(const Frame& writes) {
        for (const auto& [reg, value] : writes) {
            engine.updateRegister(reg, value);
        }
        engine.FlushBuffer(1);
        return PendingSlots(sink.messages.back());
    }
};

TEST(SlotOfRegister, MapsControlRegistersToSlots22To24) {
    for (int reg = 0; reg < 28; ++reg) {
        SCOPED_TRACE(reg);
        const int expected = reg == 4 ? 22 : reg == 11 ? 23 : reg == 18 ? 24 : reg >= 25 ? reg : reg - (reg > 4) - (reg > 11) - (reg > 18);
        EXPECT_EQ(SlotOfRegister[reg], expected);
    }
}

struct SlotCase {
    const char* rule;
    std::vector<Frame> history; // frames played before
    Frame writes;               // the frame under test
    std::vector<std::pair<int, int>> carried;
};

TEST(RegisterSlots, FrameCarriesWhatTheDeviceMustEndOn) {
    const SlotCase cases[] = {
        {"a plain register travels in its slot", {}, {{5, 0x12}}, {{4, 0x12}}},
        {"a write equal to the stored value marks nothing", {{{5, 0x12}}}, {{5, 0x12}}, {}},
        {"one control write goes to the control slot alone", {}, {{11, 0x21}}, {{23, 0x21}}},
        {"two control writes use both slots", {}, {{4, 0x11}, {4, 0x41}}, {{22, 0x11}, {25, 0x41}}},
        {"three writes keep the last two, the first is lost",
         {{{4, 0x77}, {4, 0x66}}},
         {{4, 0x11}, {4, 0x10}, {4, 0x41}},
         {{22, 0x10}, {25, 0x41}}},
        // POTX, POTY, OSC3 and ENV3 are read-only on the chip; slots 25 to 27 belong to the
        // control registers alone, and a receiver applies them last.
        {"a write to register 25 does not switch voice 1 off", {}, {{4, 0x41}, {25, 0x00}}, {{22, 0x41}}},
        {"a write to register 26 does not switch voice 2 off", {}, {{11, 0x41}, {26, 0x00}}, {{23, 0x41}}},
        {"a write to register 27 does not switch voice 3 off", {}, {{18, 0x41}, {27, 0x00}}, {{24, 0x41}}},
        {"register 28 reaches nothing", {}, {{28, 0x41}}, {}},
        {"a read-only write between two control writes leaves both slots to the control register",
         {},
         {{4, 0x11}, {25, 0x33}, {4, 0x41}},
         {{22, 0x11}, {25, 0x41}}},
        {"a repeated write between two others does not count as a new value",
         {},
         {{18, 0x41}, {18, 0x41}, {18, 0x40}},
         {{24, 0x41}, {27, 0x40}}},
        // The equal-value checks compare with what the device will hold, never a stale byte.
        {"41 41 81 41 ends on 41 even when both slots hold a stale 41",
         {{{11, 0x41}}, {{11, 0x10}, {11, 0x41}}},
         {{11, 0x41}, {11, 0x41}, {11, 0x81}, {11, 0x41}},
         {{23, 0x81}, {26, 0x41}}},
        {"after a frame that carried both slots, the control slot's old byte is a change",
         {{{11, 0x11}, {11, 0x41}}},
         {{11, 0x11}},
         {{23, 0x11}}},
        {"a second write equal to the second slot's stale byte is still carried",
         {{{11, 0x10}, {11, 0x41}}},
         {{11, 0x20}, {11, 0x41}},
         {{23, 0x20}, {26, 0x41}}},
        {"a first write equal to what the device holds marks nothing",
         {{{11, 0x10}, {11, 0x41}}},
         {{11, 0x41}},
         {}},
        {"a second write equal to the first adds nothing", {}, {{4, 0x20}, {4, 0x20}}, {{22, 0x20}}},
    };
    for (const SlotCase& c : cases) {
        SCOPED_TRACE(c.rule);
        SlotFixture f;
        for (const Frame& frame : c.history) {
            f.PlayFrame(frame);
        }
        EXPECT_EQ(f.PlayFrame(c.writes), c.carried);
    }
}

TEST(RegisterSlots, RegistersAbove27ChangeNoSlot) {
    SlotFixture f;
    for (int reg : {28, 32, 255}) {
        f.engine.updateRegister(static_cast<uint8_t>(reg), 0x99);
    }
    f.engine.FlushBuffer(1);
    EXPECT_TRUE(PendingSlots(f.sink.messages.back()).empty());
}

// Whatever the player writes, after each frame the receiver holds the last value written to
// every register: no frame leaves the device in a state the player never set.
TEST(RegisterSlots, ReceiverEndsEveryFrameOnThePlayersLastValues) {
    SlotFixture f;
    ReceiverModel receiver;
    std::array<uint8_t, 25> written{};
    std::mt19937 random(20261210);
    // Few distinct values, so that equal values and stale bytes meet often.
    const uint8_t values[] = {0x00, 0x10, 0x11, 0x40, 0x41, 0x80, 0x81};
    const uint8_t registers[] = {4, 11, 18, 4, 11, 18, 0, 5, 24};
    for (int frame = 0; frame < 5000; ++frame) {
        if (frame % 997 == 0) {
            f.engine.SendGreeting(); // the device is told a stream starts: it will get all 0
            written.fill(0);
        }
        const int writes = static_cast<int>(random() % 7);
        for (int i = 0; i < writes; ++i) {
            const uint8_t reg = registers[random() % std::size(registers)];
            const uint8_t value = values[random() % std::size(values)];
            f.engine.updateRegister(reg, value);
            written[reg] = value;
        }
        f.engine.FlushBuffer(1);
        receiver.Apply(f.sink.messages.back());
        ASSERT_EQ(receiver.registers, written) << "after frame " << frame;
    }
}

} // namespace
} // namespace hardsid::test
