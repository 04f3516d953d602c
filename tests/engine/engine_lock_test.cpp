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

} // namespace
} // namespace hardsid::test
