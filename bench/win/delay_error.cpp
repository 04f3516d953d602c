// SPDX-License-Identifier: GPL-2.0-or-later
// Calls follow each other as a player's do. Two views of each row:
//  - each call on its own: counter readings either side, minus the requested time, so a
//    call that makes up for the time spent between calls shows as early;
//  - against the schedule: how late each return lands after the row's first reading plus
//    all the time requested so far (the schedule starts afresh after a gap of more than a
//    frame, as the library's does).
#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "bench_sections.h"
#include "tools/asid_monitor/interval_stats.h"

namespace hardsid::bench {

namespace {

struct DelayPlan {
    WORD cycles;
    int calls; // enough for a p99, few enough for long waits to keep the run short
};

constexpr DelayPlan kPlans[] = {{0, 400}, {10, 400}, {100, 400}, {1000, 400}, {20000, 200}, {65535, 60}};
constexpr int kWarmUpCalls = 20;
constexpr DWORD kPauseBetweenRowsMs = 30; // longer than a frame: each row starts afresh
constexpr double kFrameMicroseconds = 20000;

struct RowFigures {
    std::vector<double> errors;   // measured minus requested, µs
    std::vector<double> lateness; // return after its place in the schedule, µs
};

RowFigures MeasureRow(const HardSidCalls& calls, const DelayPlan& plan) {
    RowFigures row;
    row.errors.reserve(plan.calls);
    row.lateness.reserve(plan.calls);
    const int64_t cycleCounts = CounterFrequency() * plan.cycles; // counts × 10^6
    const int64_t frameCounts = static_cast<int64_t>(kFrameMicroseconds * 1e-6 * CounterFrequency());
    int64_t due = 0;
    int64_t dueFraction = 0; // of due, in counts × 10^-6
    for (int i = 0; i < plan.calls; ++i) {
        const int64_t start = Counter();
        if (i == 0 || start - due > frameCounts) {
            due = start;
            dueFraction = 0;
        }
        dueFraction += cycleCounts;
        due += dueFraction / 1'000'000;
        dueFraction %= 1'000'000;
        calls.HardSID_Delay(0, plan.cycles);
        const int64_t end = Counter();
        row.errors.push_back(CountsToMicroseconds(end - start) - plan.cycles);
        row.lateness.push_back(CountsToMicroseconds(end - due));
    }
    return row;
}

void MeasureMode(BenchContext& context, const char* mode, DWORD aggressive) {
    if (!context.settings.Store(kSettingAggressiveWait, aggressive) || !context.settings.Store(kSettingReopenMidi, 0)) {
        std::printf("%-10s  (cannot store aggressiveWait: the mode is whatever the library finds)\n", mode);
    }
    RestoreNormalPriority();
    const HardSidUnderTest library;
    const HardSidCalls& calls = library.Calls();
    // The first wait after load also sets the thread's priority, once.
    const int64_t firstStart = Counter();
    calls.HardSID_Delay(0, 0);
    const double firstCall = CountsToMicroseconds(Counter() - firstStart);
    for (int i = 0; i < kWarmUpCalls; ++i) {
        calls.HardSID_Delay(0, 100);
    }
    for (const DelayPlan& plan : kPlans) {
        ::Sleep(kPauseBetweenRowsMs);
        RowFigures row = MeasureRow(calls, plan);
        const double endLateness = row.lateness.back();
        const monitor::IntervalStats e = monitor::SummariseIntervals(row.errors);
        const monitor::IntervalStats l = monitor::SummariseIntervals(row.lateness);
        std::printf("%-10s %6u %5zu %8.2f %8.2f %8.2f %8.2f %8.2f | %8.2f %8.2f %8.2f %8.2f\n", mode, plan.cycles,
                    e.count, e.min, e.median, e.p99, e.max, e.mean, l.median, l.p99, l.max, endLateness);
        std::fflush(stdout);
    }
    std::printf("%-10s first HardSID_Delay(0, 0) after load, which sets the priority: %.1f us\n", mode, firstCall);
}

} // namespace

void PrintDelayErrors(BenchContext& context) {
    std::printf("\n== cycle delay: HardSID_Delay(0, cycles) back to back, in microseconds\n");
    std::printf("%-10s %6s %5s %44s | %35s\n", "", "", "", "each call: measured minus requested",
                "late against the schedule");
    std::printf("%-10s %6s %5s %8s %8s %8s %8s %8s | %8s %8s %8s %8s\n", "mode", "cycles", "calls", "min", "median",
                "p99", "max", "mean", "median", "p99", "max", "at end");
    MeasureMode(context, "relaxed", 0);
    MeasureMode(context, "aggressive", 1);
    RestoreNormalPriority();
}

} // namespace hardsid::bench
