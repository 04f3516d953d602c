// SPDX-License-Identifier: GPL-2.0-or-later
// The relaxed wait's timer: it sleeps until about the reading asked for, sleeps in steps
// under a 1 ms system timer period when the waitable timer cannot serve, begins that period
// once and ends it when it goes; under Wine it needs no period at all.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "midi_test_support.h"
#include "settings_frm/win32/wait_timer.h"

namespace hardsid::win32 {
namespace {

using test::Only;

using test::Counter;
using test::Frequency;

class WaitTimerTest : public test::DoubleTest {
protected:
    /// Sleeps for about `ms` and gives how early it returned, in counts (negative: late).
    static int64_t SleepFor(TWaitTimer& timer, int ms) {
        const int64_t until = Counter() + Frequency() * ms / 1000;
        timer.SleepUntil(until);
        return until - Counter();
    }
};

TEST_F(WaitTimerTest, StepsBeginThePeriodOnceAndEndItWhenTheTimerGoes) {
    ASSERT_TRUE(double_.Loaded()) << "run with WINEDLLOVERRIDES=winmm=n,b and the double beside";
    {
        TWaitTimer timer(Frequency(), TWaitTimer::Kind::Steps);
        timer.SleepUntil(Counter() - 1);
        EXPECT_TRUE(Only(Record(), "timeBeginPeriod").empty()) << "a reading already passed takes nothing";
        for (int i = 0; i < 3; ++i) {
            EXPECT_LT(SleepFor(timer, 5), Frequency() / 1000) << "never more than one step early";
        }
        EXPECT_EQ(Only(Record(), "timeBeginPeriod").size(), 1u);
        EXPECT_TRUE(Only(Record(), "timeEndPeriod").empty()) << "kept between waits";
    }
    const auto ended = Only(Record(), "timeEndPeriod");
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0]["period"], "1");
    EXPECT_EQ(ended[0]["result"], "0");
}

TEST_F(WaitTimerTest, TheWaitableTimerNeedsNoPeriodAndAnotherThreadMeanwhileSleepsInSteps) {
    ASSERT_TRUE(double_.Loaded());
    {
        TWaitTimer timer(Frequency());
        EXPECT_LE(SleepFor(timer, 5), Frequency() / 1000);
        EXPECT_TRUE(Only(Record(), "timeBeginPeriod").empty()) << "the system has a high-resolution timer";

        // The first thread holds the timer for a second; the second asks well within it.
        std::atomic<bool> holding{false};
        std::thread holder([&] {
            holding = true;
            SleepFor(timer, 1000);
        });
        while (!holding) {
            ::Sleep(1);
        }
        ::Sleep(200);
        EXPECT_LT(SleepFor(timer, 5), Frequency() / 1000);
        holder.join();
        EXPECT_EQ(Only(Record(), "timeBeginPeriod").size(), 1u);
    }
    EXPECT_EQ(Only(Record(), "timeEndPeriod").size(), 1u);
}

TEST_F(WaitTimerTest, UnderWineTheDelayNeedsNoPeriodFromAnyThread) {
    ASSERT_TRUE(double_.Loaded());
    ASSERT_EQ(TWaitTimer::KindForThisSystem(), TWaitTimer::Kind::WineDelay) << "these tests run under Wine";
    {
        TWaitTimer timer(Frequency(), TWaitTimer::Kind::WineDelay);
        EXPECT_LE(SleepFor(timer, 5), 0) << "the delay never wakes early";
        std::thread other([&] { EXPECT_LE(SleepFor(timer, 20), 0); });
        EXPECT_LE(SleepFor(timer, 20), 0) << "two threads at once";
        other.join();
    }
    EXPECT_TRUE(Only(Record(), "timeBeginPeriod").empty());
    EXPECT_TRUE(Only(Record(), "timeEndPeriod").empty());
}

} // namespace
} // namespace hardsid::win32
