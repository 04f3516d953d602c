// SPDX-License-Identifier: GPL-2.0-or-later
// The default tune has the properties the demo relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "tools/trace/trace_binary.h"
#include "tools/trace/trace_text.h"
#include "tools/tune/default_tune.h"
#include "tools/tune/trace_recorder.h"

namespace hardsid::tune {
namespace {

struct TimedWrite {
    uint64_t cycle;
    uint8_t reg;
    uint8_t value;
};

std::vector<TimedWrite> Timeline(const trace::Trace& trace) {
    std::vector<TimedWrite> writes;
    uint64_t now = 0;
    for (const trace::TraceRecord& r : trace.records) {
        now += r.cycles;
        writes.push_back({now, r.reg, r.value});
    }
    return writes;
}

/// Sizes of the groups of writes to one register that fall within one window of
/// windowCycles, each group starting at a write that is not part of an earlier group.
std::multiset<int> BurstSizes(const std::vector<TimedWrite>& writes, uint8_t reg, uint64_t windowCycles) {
    std::vector<uint64_t> times;
    for (const TimedWrite& w : writes) {
        if (w.reg == reg) {
            times.push_back(w.cycle);
        }
    }
    std::multiset<int> sizes;
    for (size_t i = 0; i < times.size();) {
        size_t j = i;
        while (j < times.size() && times[j] - times[i] < windowCycles) {
            ++j;
        }
        sizes.insert(static_cast<int>(j - i));
        i = j;
    }
    return sizes;
}

struct RegisterPair {
    uint8_t lo, hi;
    int loMask, hiMask, shift;
};

/// The value a register pair holds at the end of each player call.
std::vector<int> PairPerTick(const std::vector<TimedWrite>& writes, const RegisterPair& pair) {
    std::vector<int> values;
    int lo = 0, hi = 0;
    uint64_t tick = 0;
    for (const TimedWrite& w : writes) {
        for (; w.cycle / kCyclesPerTick > tick; ++tick) {
            values.push_back(hi << pair.shift | lo);
        }
        lo = w.reg == pair.lo ? w.value & pair.loMask : lo;
        hi = w.reg == pair.hi ? w.value & pair.hiMask : hi;
    }
    values.push_back(hi << pair.shift | lo);
    return values;
}

/// Longest run of calls in which the value keeps moving the same way.
int LongestMonotonicRun(const std::vector<int>& values, int direction) {
    int longest = 0, run = 0;
    for (size_t i = 1; i < values.size(); ++i) {
        run = (values[i] - values[i - 1]) * direction > 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

class DefaultTune : public ::testing::Test {
protected:
    const trace::Trace tune = ComposeDefaultTune();
    const std::vector<TimedWrite> writes = Timeline(tune);
};

// About twenty seconds long, ending on a whole player call; every write is a chip register.
TEST_F(DefaultTune, LastsAboutTwentySecondsOfWholeCalls) {
    const uint64_t cycles = trace::NominalCycles(tune);
    EXPECT_GE(cycles, 19'500'000u);
    EXPECT_LE(cycles, 20'500'000u);
    EXPECT_EQ(cycles % kCyclesPerTick, 0u);
    for (const TimedWrite& w : writes) {
        ASSERT_LE(w.reg, 24) << "at cycle " << w.cycle;
    }
}

// The player routine finishes early in every call (each call at least moves the filter), so
// its writes never slip into the next call.
TEST_F(DefaultTune, EveryCallsWritesFitItsFirstThousandCycles) {
    std::set<uint64_t> ticks;
    for (const TimedWrite& w : writes) {
        ASSERT_LT(w.cycle % kCyclesPerTick, 1000u) << "at cycle " << w.cycle;
        ticks.insert(w.cycle / kCyclesPerTick);
    }
    EXPECT_EQ(ticks.size(), trace::NominalCycles(tune) / kCyclesPerTick);
}

// Hard restarts put two and three writes to a control register into one 20 ms frame.
TEST_F(DefaultTune, HardRestartsWriteControlRegistersTwiceAndThriceWithinAFrame) {
    constexpr uint64_t kFrameCycles = 20'000;
    std::map<uint8_t, std::multiset<int>> bursts;
    for (const uint8_t control : {4, 11, 18}) {
        bursts[control] = BurstSizes(writes, control, kFrameCycles);
    }
    EXPECT_GE(bursts[4].count(3), 40u) << "bass: gate off, test bit, gate on";
    EXPECT_GE(bursts[11].count(2), 10u) << "arpeggio: test bit, gate on";
    EXPECT_GE(bursts[18].count(2), 20u) << "melody: gate off, gate on";
}

// The bass pulse width and the filter cutoff sweep up and down over long runs of calls.
TEST_F(DefaultTune, PulseWidthAndFilterCutoffSweep) {
    struct Case {
        const char* what;
        RegisterPair pair;
    };
    const Case cases[] = {{"voice 1 pulse width: 12 bits", {2, 3, 0xFF, 0x0F, 8}},
                          {"filter cutoff: 11 bits", {21, 22, 0x07, 0xFF, 3}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<int> values = PairPerTick(writes, c.pair);
        EXPECT_GE(std::set<int>(values.begin(), values.end()).size(), 100u);
        EXPECT_GE(LongestMonotonicRun(values, +1), 50);
        EXPECT_GE(LongestMonotonicRun(values, -1), 50);
    }
}

// The arpeggio voice changes pitch on most calls, cycling through three notes.
TEST_F(DefaultTune, ArpeggioChangesPitchEveryCall) {
    const std::vector<int> pitch = PairPerTick(writes, {7, 8, 0xFF, 0xFF, 8});
    int changes = 0, periodThree = 0;
    for (size_t i = 3; i < pitch.size(); ++i) {
        changes += pitch[i] != pitch[i - 1];
        periodThree += pitch[i] == pitch[i - 3] && pitch[i] != pitch[i - 1];
    }
    EXPECT_GE(changes, 600);
    EXPECT_GE(periodThree, 500);
}

// Composing twice gives the same trace, and it survives both file forms unchanged.
TEST_F(DefaultTune, IsDeterministicAndSurvivesBothFileForms) {
    EXPECT_EQ(ComposeDefaultTune(), tune);
    EXPECT_EQ(trace::ParseTraceText(trace::FormatTraceText(tune, DefaultTuneDescription())), tune);
    EXPECT_EQ(trace::ParseTraceBinary(trace::FormatTraceBinary(tune)), tune);
}

} // namespace
} // namespace hardsid::tune
