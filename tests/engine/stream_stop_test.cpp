// SPDX-License-Identifier: GPL-2.0-or-later
// The stop message when the player is done, and the stream's restart when it plays on: the
// bytes on the wire, and a receiver that ends every frame on the player's registers.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fakes.h"
#include "frame_decoder.h"
#include "settings_frm/asid_messages.h"

namespace hardsid::test {
namespace {

const Bytes kStop = {0xF0, 0x2D, 0x4D, 0xF7};
const Bytes kStart = {0xF0, 0x2D, 0x4C, 0xF7};

Bytes TextMessage(const std::string& text) {
    Bytes message = {0xF0, 0x2D, 0x4F};
    message.insert(message.end(), text.begin(), text.end());
    message.push_back(0xF7);
    return message;
}

/// Frames end only where the test flushes.
struct StopFixture : EngineFixture {
    explicit StopFixture(bool streaming = true) : EngineFixture(streaming) { engine.DebugFlag = 1; }

    /// Messages sent by the action.
    template <typename Action>
    std::vector<Bytes> Sent(Action&& action) {
        const size_t before = sink.messages.size();
        action();
        return {sink.messages.begin() + static_cast<std::ptrdiff_t>(before), sink.messages.end()};
    }
    void Write(std::initializer_list<std::pair<uint8_t, uint8_t>> writes) {
        for (const auto& [reg, value] : writes) {
            engine.updateRegister(reg, value);
        }
    }
};

TEST(StreamStop, StopIsSentOnceUntilTheNextFrame) {
    StopFixture f;
    f.Write({{0, 1}});
    f.engine.FlushBuffer(1);
    EXPECT_EQ(f.Sent([&] { f.engine.StopUntilNextFrame(); }), std::vector<Bytes>{kStop});
    EXPECT_TRUE(f.Sent([&] { f.engine.StopUntilNextFrame(); }).empty()) << "a second call sends nothing";
    f.Write({{1, 2}});
    EXPECT_TRUE(f.Sent([&] { f.engine.StopUntilNextFrame(); }).empty()) << "a write is no frame";
    f.engine.FlushBuffer(1);
    EXPECT_EQ(f.Sent([&] { f.engine.StopUntilNextFrame(); }), std::vector<Bytes>{kStop}) << "after a frame, again";
}

// The device is closed with a stop message only when it has not heard one since the last
// frame or greeting: a player that unlocks and then unloads sends one stop, not two.
TEST(StreamStop, CloseSendsNoSecondStop) {
    StopFixture f;
    f.Write({{0, 1}});
    f.engine.FlushBuffer(1);
    f.engine.StopUntilNextFrame();
    bool sent = true;
    EXPECT_TRUE(f.Sent([&] { sent = f.engine.SendStopMessage(); }).empty());
    EXPECT_FALSE(sent);
    f.engine.FlushBuffer(1); // plays on: start, text, the frame
    EXPECT_EQ(f.Sent([&] { sent = f.engine.SendStopMessage(); }), std::vector<Bytes>{kStop});
    EXPECT_TRUE(sent);
    EXPECT_TRUE(f.Sent([&] { f.engine.StopUntilNextFrame(); }).empty()) << "the close's stop counts too";
    f.engine.SendGreeting(); // a caption after the stop starts the stream again
    EXPECT_EQ(f.Sent([&] { f.engine.SendStopMessage(); }), std::vector<Bytes>{kStop});
}

// The player's last call returns once the stop has left (console players end the process
// right after it); a stop that takes too long is written down, and the call returns anyway.
TEST(StreamStop, PlayersStopWaitsUntilTheDeviceIsDone) {
    for (const bool doneInTime : {true, false}) {
        SCOPED_TRACE(doneInTime ? "done in time" : "still queued");
        StopFixture f;
        f.sink.doneInTime = doneInTime;
        f.Write({{0, 1}});
        f.engine.FlushBuffer(1);
        EXPECT_TRUE(f.sink.waits.empty()) << "frames are not waited for";
        f.engine.StopUntilNextFrame();
        ASSERT_EQ(f.sink.waits.size(), 1u);
        EXPECT_EQ(f.sink.waits[0], std::make_pair(kStopMessageWaitMs, f.sink.messages.size())) << "after the stop was sent";
        f.engine.StopUntilNextFrame();
        EXPECT_EQ(f.sink.waits.size(), 1u) << "no stop, no wait";
        const auto entries = f.LogEntries();
        const std::vector<std::string> expected =
            doneInTime ? std::vector<std::string>{"log start"}
                       : std::vector<std::string>{"log start", "(!) The stop message was still on its way after 100 ms"};
        EXPECT_EQ(entries, expected);
    }
}

TEST(StreamStop, NothingWithoutStreaming) {
    StopFixture f(false);
    f.Write({{0, 1}});
    EXPECT_TRUE(f.Sent([&] { f.engine.StopUntilNextFrame(); }).empty());
    f.engine.StreamingEnabled = true;
    const auto sent = f.Sent([&] { f.engine.FlushBuffer(1); });
    ASSERT_EQ(sent.size(), 1u) << "no restart for a stop that was never sent";
    EXPECT_EQ(PendingSlots(sent[0]), (std::vector<std::pair<int, int>>{{0, 1}})) << "only what is pending";
}

// After a stop the first frame, timed or flushed, is preceded by the start and display-text
// messages and carries every slot with the value the device should hold.
TEST(StreamStop, FirstFrameAfterAStopRestartsWithEveryRegister) {
    for (const bool timed : {false, true}) {
        SCOPED_TRACE(timed ? "timed frame" : "flush");
        StopFixture f;
        f.engine.SetDisplayText("tune");
        f.Write({{0, 0x9A}, {4, 0x41}, {4, 0x40}, {24, 0x0F}}); // a gate toggle in voice 1
        f.engine.FlushBuffer(1);
        f.Write({{4, 0x11}}); // the second slot 25 still holds the older 0x40
        f.engine.FlushBuffer(1);
        f.engine.StopUntilNextFrame();

        f.Write({{11, 0x21}}); // written while stopped
        std::vector<Bytes> sent;
        if (timed) {
            f.engine.DebugFlag = 0;
            sent = f.Sent([&] { f.Write({{1, 0x05}}); });
        } else {
            sent = f.Sent([&] { f.engine.FlushBuffer(1); });
        }
        ASSERT_EQ(sent.size(), 3u);
        EXPECT_EQ(sent[0], kStart);
        EXPECT_EQ(sent[1], TextMessage("tune"));
        const Bytes expected = {0xF0, 0x2D, 0x4E, 0x7F, 0x7F, 0x7F, 0x7F,
                                0x01, 0x00, 0x00, 0x00, // only slot 0 (0x9A) has its high bit
                                0x1A, timed ? uint8_t{0x05} : uint8_t{0x00}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                0, 0, 0, 0, 0, 0x0F, // slots 0..21
                                0x11, 0x21, 0x00,    // control slots 22..24
                                0x11, 0x21, 0x00,    // second slots: the same, never the older 0x40
                                0xF7};
        EXPECT_EQ(sent[2], expected);
        EXPECT_TRUE(f.Sent([&] { f.engine.FlushBuffer(1); }).size() == 1u) << "then frames as usual";
    }
}

// A control register written twice since the stop keeps both values in that frame; the
// second slot carries the latest.
TEST(StreamStop, ControlWrittenTwiceAfterAStopKeepsItsToggle) {
    StopFixture f;
    f.Write({{18, 0x41}});
    f.engine.FlushBuffer(1);
    f.engine.StopUntilNextFrame();
    f.Write({{18, 0x40}, {18, 0x81}});
    const auto sent = f.Sent([&] { f.engine.FlushBuffer(1); });
    ASSERT_EQ(sent.size(), 3u);
    const auto slots = PendingSlots(sent[2]);
    ASSERT_EQ(slots.size(), 28u);
    EXPECT_EQ(slots[24], (std::pair<int, int>{24, 0x40}));
    EXPECT_EQ(slots[27], (std::pair<int, int>{27, 0x81}));
}

// A greeting after a stop is a new stream: its zeros, and no second start message.
TEST(StreamStop, GreetingAfterAStopStartsAfresh) {
    StopFixture f;
    f.Write({{0, 0x33}});
    f.engine.FlushBuffer(1);
    f.engine.StopUntilNextFrame();
    f.engine.SendGreeting();
    const auto sent = f.Sent([&] { f.engine.FlushBuffer(1); });
    ASSERT_EQ(sent.size(), 1u);
    for (const auto& [slot, value] : PendingSlots(sent[0])) {
        EXPECT_EQ(value, 0) << slot;
    }
    EXPECT_EQ(PendingSlots(sent[0]).size(), 28u);
}

// A device that refuses the start message still gets the full frame.
TEST(StreamStop, RefusedStartMessageStillSendsTheFullFrame) {
    StopFixture f;
    f.Write({{2, 0x22}});
    f.engine.FlushBuffer(1);
    f.engine.StopUntilNextFrame();
    f.sink.throwOnMessage = f.sink.messages.size() + 1;
    const auto sent = f.Sent([&] { f.engine.FlushBuffer(1); });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 40u);
    EXPECT_EQ(PendingSlots(sent[0])[2], (std::pair<int, int>{2, 0x22}));
}

// A receiver that forgets everything at the stop ends every frame on exactly the registers
// the player wrote, through random writes, stops and frames.
TEST(StreamStop, ReceiverThatForgetsAtTheStopPlaysOnWithThePlayersRegisters) {
    StopFixture f;
    std::mt19937 random(12);
    std::array<uint8_t, 25> player{};
    ReceiverModel receiver;
    size_t seen = 0;
    int stops = 0;
    for (int step = 0; step < 20000; ++step) {
        const auto choice = random() % 100;
        if (choice < 3) {
            f.engine.StopUntilNextFrame();
        } else if (choice < 12) {
            f.engine.FlushBuffer(1);
        } else {
            // Mostly the control registers, with few values, so that toggles and repeats abound.
            const uint8_t reg = random() % 2 == 0 ? static_cast<uint8_t>(4 + 7 * (random() % 3)) : static_cast<uint8_t>(random() % 25);
            const auto value = static_cast<uint8_t>(random() % 4 == 0 ? random() : 0x40 + random() % 3);
            f.engine.updateRegister(reg, value);
            player[reg] = value;
        }
        for (; seen < f.sink.messages.size(); ++seen) {
            const Bytes& message = f.sink.messages[seen];
            if (message == kStop) {
                receiver = ReceiverModel{};
                ++stops;
            } else if (message.at(2) == kAsidRegisterFrame) {
                receiver.Apply(message);
                ASSERT_EQ(receiver.registers, player) << "after the frame of step " << step;
            }
        }
    }
    EXPECT_GT(stops, 100);
}

} // namespace
} // namespace hardsid::test
