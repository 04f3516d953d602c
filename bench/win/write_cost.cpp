// SPDX-License-Identifier: GPL-2.0-or-later
// Batches of calls timed as a whole, the variants taking turns so that a busy moment of the
// machine falls on all of them alike; the figure is the median over the batches.
#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "bench_sections.h"
#include "tools/asid_monitor/interval_stats.h"

namespace hardsid::bench {

namespace {

constexpr int kBatches = 21;
constexpr int kCallsPerBatch = 20000;
constexpr BYTE kSlotRegisters = 25; // registers 0 to 24 reach the slots
constexpr BYTE kRegisterWithoutSlot = 30;

struct Variant {
    const char* name;
    double (*batchNanoseconds)(const HardSidCalls& calls);
    std::vector<double> samples;
};

template <typename Call>
double TimeBatch(Call&& call) {
    const int64_t start = Counter();
    for (int i = 0; i < kCallsPerBatch; ++i) {
        call(i);
    }
    return CountsToMicroseconds(Counter() - start) * 1000.0 / kCallsPerBatch;
}

double CounterBatch(const HardSidCalls&) {
    return TimeBatch([](int) {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
    });
}

double WriteBatch(const HardSidCalls& calls) {
    return TimeBatch([&](int i) {
        calls.HardSID_Write(0, 0, static_cast<BYTE>(i % kSlotRegisters), static_cast<BYTE>(i));
    });
}

double WriteWithoutSlotBatch(const HardSidCalls& calls) {
    return TimeBatch([&](int i) { calls.HardSID_Write(0, 0, kRegisterWithoutSlot, static_cast<BYTE>(i)); });
}

double DelayBatch(const HardSidCalls& calls) {
    return TimeBatch([&](int) { calls.HardSID_Delay(0, 0); });
}

double ReadBatch(const HardSidCalls& calls) {
    return TimeBatch([&](int i) { calls.HardSID_Read(0, 0, static_cast<BYTE>(i % kSlotRegisters)); });
}

} // namespace

void PrintWriteCost(BenchContext& context) {
    context.settings.Store(kSettingAggressiveWait, 0);
    context.settings.Store(kSettingReopenMidi, 0);
    RestoreNormalPriority();
    const HardSidUnderTest library;
    const HardSidCalls& calls = library.Calls();
    // The frame clock stays still while the debug flag is set, so no frame falls due; the
    // first write starts the clock and leaves the thread at its waiting priority.
    calls.SetDebug(1);
    calls.HardSID_Write(0, 0, 0, 0);

    std::vector<Variant> variants = {
        {"QueryPerformanceCounter", CounterBatch, {}},
        {"HardSID_Write(0, 0, reg 0-24, value)", WriteBatch, {}},
        {"HardSID_Write(0, 0, reg 30, value)", WriteWithoutSlotBatch, {}},
        {"HardSID_Delay(0, 0)", DelayBatch, {}},
        {"HardSID_Read(0, 0, reg)", ReadBatch, {}},
    };
    for (Variant& variant : variants) {
        variant.batchNanoseconds(calls); // warm-up, not counted
    }
    for (int batch = 0; batch < kBatches; ++batch) {
        for (Variant& variant : variants) {
            variant.samples.push_back(variant.batchNanoseconds(calls));
        }
    }
    calls.SetDebug(0);

    std::printf("\n== write cost: ns per call, %d batches of %d calls (relaxed, no device open, SetDebug(1): "
                "no frame due)\n",
                kBatches, kCallsPerBatch);
    std::printf("%-38s %9s %9s %9s %9s\n", "call", "median", "min", "max", "x QPC");
    const double counterNs = monitor::SummariseIntervals(variants.front().samples).median;
    double writeRatio = 0;
    for (const Variant& variant : variants) {
        const monitor::IntervalStats s = monitor::SummariseIntervals(variant.samples);
        const double ratio = s.median / counterNs;
        if (variant.batchNanoseconds == WriteBatch) {
            writeRatio = ratio;
        }
        std::printf("%-38s %9.1f %9.1f %9.1f %9.2f\n", variant.name, s.median, s.min, s.max, ratio);
    }
    std::printf("HardSID_Write with 0 cycles, no frame due: %.2f x one QueryPerformanceCounter call "
                "(goal at most 1.25: %s)\n",
                writeRatio, writeRatio <= 1.25 ? "met" : "missed");
    RestoreNormalPriority();
}

} // namespace hardsid::bench
