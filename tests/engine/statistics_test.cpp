// SPDX-License-Identifier: GPL-2.0-or-later
// Throughput statistics: the 9-character figures and the line written every 100 frames.
#include <gtest/gtest.h>

#include <limits>

#include "engine_probe.h"
#include "fakes.h"
#include "settings_frm/statistics.h"

namespace hardsid::test {
namespace {

TEST(FormatStatValue, RightAlignsThreeIntegerPlacesAndCutsToNine) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> cases[] = {
        {0.5, "  0,50000"},
        {20, " 20,00000"},
        {1.318359375, "  1,31835"}, // cut, not rounded
        {1234.5, "1234,5000"},
        {123456789.5, "123456789"},
        {0, "  0,00000"},
        {-0.5, " -0,50000"},
        {999.999999999, "1000,0000"}, // the 8 decimals round up first
        {std::numeric_limits<double>::max(), "179769313"},
        {kInf, "inf"},
        {-kInf, "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatStatValue(value), text) << value;
    }
}

TEST(StatisticsLine, ReportsMillisecondsPerFrameAndKilobytesPerSecond) {
    EXPECT_EQ(TStatisticsLine(2000, 100, 2700).Text(), " 20,00000 ms/buffer.       Avg.   1,31835 kB/s");
    // Frames that all went out within one millisecond tick: no hang, no crash.
    EXPECT_EQ(TStatisticsLine(0, 100, 1200).Text(), "  0,00000 ms/buffer.       Avg. inf kB/s");
}

struct StatsFixture : EngineFixture {
    using EngineFixture::EngineFixture;
    static constexpr int64_t kStart = 1'000'000; // ResetStatistics read this

    void SendFrames(int count) {
        for (int i = 0; i < count; ++i) {
            engine.FlushBuffer(1); // 12 bytes each
        }
    }
};

TEST(Statistics, HundredthFrameWritesTheLineAndStartsANewWindow) {
    StatsFixture f;
    ASSERT_EQ(EngineProbe(f.engine).StatsStart(), StatsFixture::kStart);
    f.SendFrames(99);
    EXPECT_EQ(EngineProbe(f.engine).FrameCount(), 99);
    EXPECT_EQ(EngineProbe(f.engine).ByteTotal(), 99u * 12);

    f.platform.readings = {StatsFixture::kStart + 20'000'000, StatsFixture::kStart + 20'000'007}; // 2 s later
    f.SendFrames(1);
    EXPECT_EQ(f.sink.messages.size(), 100u);
    EXPECT_EQ(EngineProbe(f.engine).FrameCount(), 0);
    EXPECT_EQ(EngineProbe(f.engine).ByteTotal(), 0u);
    EXPECT_EQ(EngineProbe(f.engine).StatsStart(), StatsFixture::kStart + 20'000'007) << "the window restarts at a fresh reading";
    EXPECT_EQ(f.LogEntries(), (std::vector<std::string>{"log start", " 20,00000 ms/buffer.       Avg.   0,58593 kB/s"}));
}

TEST(Statistics, FramesWithStreamingOffAreNotCounted) {
    StatsFixture f(false);
    f.SendFrames(150);
    EXPECT_EQ(EngineProbe(f.engine).FrameCount(), 0);
    EXPECT_EQ(f.LogEntries(), std::vector<std::string>{"log start"});
}

TEST(Statistics, FailedSendIsLoggedAsADroppedFrame) {
    StatsFixture f;
    f.sink.throwOnMessage = 5;
    f.SendFrames(5);
    EXPECT_EQ(EngineProbe(f.engine).FrameCount(), 5) << "a dropped frame still counts";
    EXPECT_EQ(f.sink.messages.size(), 4u);
    EXPECT_EQ(f.LogEntries(), (std::vector<std::string>{"log start", "/!\\ dropped frame 5"}));
}

// The 100th frame closes the window before it is sent, so a failed send finds the count
// reset; the line itself is written after the send, outside the engine's lock.
TEST(Statistics, HundredthFrameClosesTheWindowBeforeItsSend) {
    StatsFixture f;
    f.sink.throwOnMessage = 100;
    f.SendFrames(100);
    const auto entries = f.LogEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1], "/!\\ dropped frame 0");
    EXPECT_NE(entries[2].find("ms/buffer."), std::string::npos);
}

} // namespace
} // namespace hardsid::test
