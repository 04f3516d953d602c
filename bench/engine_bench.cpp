// SPDX-License-Identifier: GPL-2.0-or-later
// What the player's write path costs in the engine, beside one read of the counter.
#include <benchmark/benchmark.h>

#include "native_platform.h"
#include "settings_frm/asid_engine.h"
#include "settings_frm/asid_messages.h"

namespace hardsid::bench {
namespace {

struct Engine {
    NativePlatform platform;
    NullSink sink;
    NullLogFile log;
    TAsidEngine engine{platform, sink, log};

    explicit Engine(int64_t frequency) {
        platform.frequency = frequency;
        engine.ReadPerfFrequency();
        engine.CreateLog();
        engine.ResetStatistics();
        engine.StreamingEnabled = true;
    }
};

void CounterRead(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(MonotonicNanoseconds());
    }
}
BENCHMARK(CounterRead);

// A write that finds no frame due: one slot store and one counter read. The counter runs in
// real nanoseconds while the engine believes in a frequency so high that the next frame is
// months away.
void UpdateRegisterNoFrameDue(benchmark::State& state) {
    Engine e(1'000'000'000'000'000'000);
    e.engine.updateRegister(0, 0); // the first write is due and starts the clock
    uint8_t value = 0;
    for (auto _ : state) {
        e.engine.updateRegister(static_cast<uint8_t>(value % 25), value);
        ++value;
    }
}
BENCHMARK(UpdateRegisterNoFrameDue);

// The same with frames on the player's beat: a write that passes no cycles also compares the
// counter with the last write's reading, the dearest check of a write that ends no play call.
void UpdateRegisterNoFrameDueOnTheBeat(benchmark::State& state) {
    Engine e(1'000'000'000'000'000'000);
    e.engine.SetBeatFrames(true);
    e.engine.updateRegister(0, 0);
    uint8_t value = 0;
    for (auto _ : state) {
        e.engine.updateRegister(static_cast<uint8_t>(value % 25), value);
        ++value;
    }
}
BENCHMARK(UpdateRegisterNoFrameDueOnTheBeat);

// A counter frequency of 0 makes every write due: store, encode and send into a null sink.
void UpdateRegisterSendsFrame(benchmark::State& state) {
    Engine e(0);
    uint8_t value = 0;
    for (auto _ : state) {
        e.engine.updateRegister(4, value++);
    }
}
BENCHMARK(UpdateRegisterSendsFrame);

void EncodeFortyByteFrame(benchmark::State& state) {
    SlotWords slots;
    slots.fill(static_cast<uint16_t>(kSlotPending | 0x81));
    FrameBytes frame;
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeRegisterFrame(slots, frame));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(EncodeFortyByteFrame);

// The wait the player asks for with every write: 0 cycles is its fixed cost.
void CycleDelayZero(benchmark::State& state) {
    Engine e(1'000'000'000);
    for (auto _ : state) {
        e.engine.cycledelay(0);
    }
}
BENCHMARK(CycleDelayZero);

} // namespace
} // namespace hardsid::bench

BENCHMARK_MAIN();
