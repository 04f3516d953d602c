// SPDX-License-Identifier: GPL-2.0-or-later
// The monitor's verdict on play calls: each frame matched to the stretch of the trace it
// carried, a call split when its changes arrive in two frames, lost when a value of it
// never arrives.
#include <gtest/gtest.h>

#include "tools/asid_monitor/play_call_check.h"

namespace hardsid::monitor {
namespace {

// Three play calls (a gap of more than 1000 cycles starts one), each writing registers 0 and 1.
const std::vector<TracedWrite> kWrites = {
    {0, 0, 1},    {30, 1, 1},  // call 0
    {19'000, 0, 2}, {30, 1, 2}, // call 1
    {19'000, 0, 3}, {30, 1, 3}, // call 2
};

ArrivedFrame Frame(std::vector<std::pair<int, uint8_t>> registers, bool afterStart = false) {
    ArrivedFrame frame;
    frame.afterStart = afterStart;
    for (const auto& [reg, value] : registers) {
        frame.writes.push_back({reg, value, false});
    }
    return frame;
}

TEST(PlayCallCheck, CountsSplitAndLostCalls) {
    const struct {
        const char* rule;
        std::vector<ArrivedFrame> frames;
        PlayCallFigures expected;
    } cases[] = {
        {"a frame per call", {Frame({{0, 1}, {1, 1}}), Frame({{0, 2}, {1, 2}}), Frame({{0, 3}, {1, 3}})}, {3, 0, 0, 0}},
        {"the next call's first write rides early: calls 1 and 2 split",
         {Frame({{0, 1}, {1, 1}}), Frame({{0, 2}}), Frame({{1, 2}, {0, 3}}), Frame({{1, 3}})},
         {3, 2, 0, 0}},
        {"two calls in one frame: the first is lost", {Frame({{0, 1}, {1, 1}}), Frame({{0, 3}, {1, 3}})}, {3, 0, 1, 0}},
        {"the last call never sent: lost", {Frame({{0, 1}, {1, 1}}), Frame({{0, 2}, {1, 2}})}, {3, 0, 1, 0}},
        {"empty frames and a greeting's zeros match nothing and everything",
         {Frame({{0, 0}, {1, 0}, {2, 0}}, true), Frame({}), Frame({{0, 1}, {1, 1}}), Frame({{0, 2}, {1, 2}}),
          Frame({{0, 3}, {1, 3}})},
         {3, 0, 0, 0}},
        {"a frame with a value the trace never wrote", {Frame({{0, 9}}), Frame({{0, 1}, {1, 1}})}, {3, 0, 2, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        const PlayCallFigures figures = CheckPlayCalls(kWrites, c.frames);
        EXPECT_EQ(figures.playCalls, c.expected.playCalls);
        EXPECT_EQ(figures.split, c.expected.split);
        EXPECT_EQ(figures.lost, c.expected.lost);
        EXPECT_EQ(figures.unmatched, c.expected.unmatched);
    }
}

// A write that repeats the value the register holds changes nothing, so it splits nothing.
TEST(PlayCallCheck, RepeatedValuesSplitNothing) {
    const std::vector<TracedWrite> writes = {{0, 0, 1}, {30, 1, 1}, {19'000, 0, 1}, {30, 1, 2}};
    const std::vector<ArrivedFrame> frames = {Frame({{0, 1}, {1, 1}}), Frame({{1, 2}})};
    const PlayCallFigures figures = CheckPlayCalls(writes, frames);
    EXPECT_EQ(figures.split, 0u);
    EXPECT_EQ(figures.lost, 0u);
}

} // namespace
} // namespace hardsid::monitor
