// SPDX-License-Identifier: GPL-2.0-or-later
// Replaying a trace into write and delay calls, and the replay host's command line.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tools/replay_host/replay_options.h"
#include "tools/replay_host/trace_replayer.h"

namespace hardsid::replay {
namespace {

struct Call {
    char kind; // 'W' write, 'D' delay
    uint32_t cycles;
    int reg;
    int value;
    bool operator==(const Call&) const = default;
};

void PrintTo(const Call& call, std::ostream* out) {
    *out << call.kind << '(' << call.cycles;
    if (call.kind == 'W') {
        *out << ", " << call.reg << ", " << call.value;
    }
    *out << ')';
}

class RecordingTarget : public ReplayTarget {
public:
    void Write(uint16_t cycles, uint8_t reg, uint8_t value) override { calls.push_back({'W', cycles, reg, value}); }
    void Delay(uint16_t cycles) override { calls.push_back({'D', cycles, -1, -1}); }
    std::vector<Call> calls;
};

// Gaps above 65535 cycles become 65535-cycle delays before the write; the end becomes delays.
TEST(TraceReplayer, SplitsLongGapsIntoDelaysOfAtMost65535) {
    struct Case {
        const char* rule;
        trace::Trace trace;
        std::vector<Call> calls;
    };
    const Case cases[] = {
        {"a gap that fits goes with the write", {{{65535, 4, 0x41}}, 0}, {{'W', 65535, 4, 0x41}}},
        {"one cycle more needs a delay", {{{65536, 4, 0x41}}, 0}, {{'D', 65535, -1, -1}, {'W', 1, 4, 0x41}}},
        {"several whole delays",
         {{{3 * 65535 + 7, 1, 2}}, 0},
         {{'D', 65535, -1, -1}, {'D', 65535, -1, -1}, {'D', 65535, -1, -1}, {'W', 7, 1, 2}}},
        {"a gap of exactly two calls", {{{2 * 65535, 1, 2}}, 0}, {{'D', 65535, -1, -1}, {'W', 65535, 1, 2}}},
        {"zero-cycle writes stay writes", {{{0, 1, 2}, {0, 3, 4}}, 0}, {{'W', 0, 1, 2}, {'W', 0, 3, 4}}},
        {"the end is waited out after the last write",
         {{{5, 1, 2}}, 65535 + 100},
         {{'W', 5, 1, 2}, {'D', 65535, -1, -1}, {'D', 100, -1, -1}}},
        {"the largest gap", {{{4294967295u, 0, 0}}, 0}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        RecordingTarget target;
        const ReplayOutcome outcome = ReplayTrace(c.trace, target, 1000, {});
        EXPECT_TRUE(outcome.completed);
        EXPECT_EQ(outcome.cycles, trace::NominalCycles(c.trace));
        uint64_t total = 0;
        for (const Call& call : target.calls) {
            total += call.cycles;
            if (call.kind == 'D') {
                EXPECT_GT(call.cycles, 0u) << "no empty delay";
            }
        }
        EXPECT_EQ(total, trace::NominalCycles(c.trace));
        if (!c.calls.empty()) { // the largest gap is checked by its total alone
            EXPECT_EQ(target.calls, c.calls);
        }
    }
}

// Progress is reported as the position moves on, and a false answer stops the replay there.
TEST(TraceReplayer, ReportsProgressAndStopsWhenAsked) {
    const trace::Trace trace{{{100, 0, 1}, {100, 0, 2}, {100, 0, 3}, {100, 0, 4}}, 0};
    std::vector<uint64_t> reported;
    RecordingTarget target;
    const ReplayOutcome outcome = ReplayTrace(trace, target, 100, [&](uint64_t position) {
        reported.push_back(position);
        return position < 300;
    });
    EXPECT_EQ(reported, (std::vector<uint64_t>{100, 200, 300}));
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.cycles, 300u);
    EXPECT_EQ(target.calls.size(), 3u);
}

// The command line takes one trace, --seconds with decimals and --quiet; mistakes are refused.
TEST(ReplayOptions, ParsesTheCommandLine) {
    const ReplayOptions options = ParseReplayOptions({"--quiet", "--seconds", "2.5", "tune.txt"});
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.maxCycles, 2'500'000u);
    EXPECT_EQ(options.tracePath, "tune.txt");
    EXPECT_TRUE(ParseReplayOptions({}).tracePath.empty());
    EXPECT_FALSE(ParseReplayOptions({}).maxCycles.has_value());

    const std::vector<std::vector<std::string>> bad = {
        {"--seconds"}, {"--seconds", "0"}, {"--seconds", "-1"}, {"--seconds", "2s"}, {"--seconds", "nan"},
        {"--seconds", "1e300"}, {"--loud"}, {"a.txt", "b.txt"}};
    for (const auto& args : bad) {
        SCOPED_TRACE(args.back());
        EXPECT_THROW(ParseReplayOptions(args), std::invalid_argument);
    }
}

} // namespace
} // namespace hardsid::replay
