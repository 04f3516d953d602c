// SPDX-License-Identifier: GPL-2.0-or-later
// A greeting sent from the settings window's thread while the player writes neither loses
// the greeting's pending marks nor lets a frame slip between its two messages.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "fakes.h"
#include "settings_frm/asid_messages.h"

namespace hardsid::test {
namespace {

class LockedSink : public ISysExSink {
public:
    void SendLongMessage(const uint8_t* data, uint16_t length) override {
        std::lock_guard guard(mutex_);
        messages_.emplace_back(data, data + length);
    }
    std::vector<Bytes> Messages() {
        std::lock_guard guard(mutex_);
        return messages_;
    }

private:
    std::mutex mutex_;
    std::vector<Bytes> messages_;
};

TEST(EngineLock, GreetingFromAnotherThreadStaysWhole) {
    ScriptedPlatform platform;
    platform.frequency = 0; // every write sends a frame: the most contention
    LockedSink sink;
    MemoryLogFile logFile;
    TAsidEngine engine(platform, sink, logFile);
    engine.ReadPerfFrequency();
    engine.SetDisplayText("hi");
    engine.StreamingEnabled = true;

    std::atomic<bool> done{false};
    std::thread player([&] {
        for (uint8_t value = 0; !done; ++value) {
            engine.updateRegister(static_cast<uint8_t>(value % 25), value);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        engine.SendGreeting();
    }
    engine.updateRegister(0, 0xAA); // a frame after the last greeting
    done = true;
    player.join();

    const std::vector<Bytes> messages = sink.Messages();
    const Bytes start(AsidStartMessage.begin(), AsidStartMessage.end());
    int greetings = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        if (messages[i] != start) {
            continue;
        }
        ++greetings;
        ASSERT_LT(i + 1, messages.size());
        ASSERT_EQ(messages[i + 1][2], kAsidDisplayText) << "nothing between start and text";
        size_t frame = i + 2;
        while (frame < messages.size() && messages[frame][2] != kAsidRegisterFrame) {
            ++frame;
        }
        ASSERT_LT(frame, messages.size());
        EXPECT_EQ(messages[frame].size(), kMaxFrameLength) << "the frame after a greeting carries every slot";
    }
    EXPECT_EQ(greetings, 2000);
}

// What a device change on the settings window's thread sees: between PauseSink and
// ResumeSinkWithGreeting the port's handle is closed and replaced, and no message of the
// player's thread (frames, captions' greetings, the stop message) may reach the sink.
class DeviceSink : public ISysExSink {
public:
    std::atomic<bool> closed{false};
    std::atomic<int> greetingExpected{0}; // messages of a greeting still to come first
    std::atomic<int> callsWhileClosed{0};
    std::atomic<int> outOfOrder{0};
    std::atomic<int> calls{0};

    void SendLongMessage(const uint8_t* data, uint16_t length) override {
        ++calls;
        if (closed) {
            ++callsWhileClosed;
        }
        const int expected = greetingExpected;
        if (expected == 2 && !(length == AsidStartMessage.size() && data[2] == AsidStartMessage[2])) {
            ++outOfOrder;
        } else if (expected == 1 && data[2] != kAsidDisplayText) {
            ++outOfOrder;
        }
        if (expected > 0) {
            greetingExpected = expected - 1;
        }
    }
};

TEST(EngineLock, NothingReachesAPausedSink) {
    ScriptedPlatform platform;
    platform.frequency = 0; // every write sends a frame
    DeviceSink sink;
    MemoryLogFile logFile;
    TAsidEngine engine(platform, sink, logFile);
    engine.ReadPerfFrequency();
    engine.StreamingEnabled = true;

    std::atomic<bool> done{false};
    std::thread player([&] {
        for (uint8_t value = 0; !done; ++value) {
            engine.updateRegister(static_cast<uint8_t>(value % 25), value);
            engine.FlushBuffer(1);
            if (value % 7 == 0) {
                engine.SendGreeting();
            }
            if (value % 11 == 0) {
                engine.SendStopMessage();
            }
            if (value % 13 == 0) {
                engine.StopUntilNextFrame(); // the player is done; its next frame restarts
            }
        }
    });
    // The lock is not fair: without a pause between changes this thread could take it again
    // and again, and the player would send nothing in between.
    auto letThePlayerSend = [&] {
        const int before = sink.calls;
        for (int k = 0; k < 100000 && sink.calls == before; ++k) {
            std::this_thread::yield();
        }
    };
    for (int change = 0; change < 300; ++change) {
        letThePlayerSend();
        engine.PauseSink();
        sink.closed = true;
        for (int k = 0; k < 10; ++k) {
            std::this_thread::yield(); // the player tries to send meanwhile
        }
        sink.closed = false;
        sink.greetingExpected = 2; // still paused: the next message must be the resume's greeting
        engine.ResumeSinkWithGreeting();
        EXPECT_EQ(sink.greetingExpected, 0);
    }
    done = true;
    player.join();
    EXPECT_EQ(sink.callsWhileClosed, 0);
    EXPECT_EQ(sink.outOfOrder, 0) << "a resumed sink hears the greeting before anything else";
    EXPECT_GT(sink.calls, 600);
}

TEST(EngineLock, PausedSinkStillTakesTheGreetingsMarks) {
    EngineFixture f;
    f.engine.updateRegister(0, 5);
    f.engine.PauseSink();
    const size_t before = f.sink.messages.size();
    f.engine.SendGreeting();
    f.engine.SendStopMessage();
    f.engine.updateRegister(1, 6);
    f.engine.FlushBuffer(1);
    EXPECT_EQ(f.sink.messages.size(), before) << "held back";
    f.engine.SendGreeting(); // the marks of this one travel with the next frame
    f.engine.ResumeSinkWithGreeting();
    ASSERT_EQ(f.sink.messages.size(), before + 2);
    EXPECT_EQ(f.sink.messages[before], Bytes(AsidStartMessage.begin(), AsidStartMessage.end()));
    f.engine.FlushBuffer(1);
    EXPECT_EQ(f.sink.messages.back().size(), kMaxFrameLength) << "the frame after the greeting carries every slot";
}

} // namespace
} // namespace hardsid::test
