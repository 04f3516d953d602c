// SPDX-License-Identifier: GPL-2.0-or-later
// The first load also maps the library's system dependencies, so it is shown apart from the
// median of the later ones.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "bench_sections.h"
#include "hardsid/hardsid_api.h"
#include "tools/asid_monitor/interval_stats.h"

namespace hardsid::bench {

namespace {

constexpr int kLoads = 11;
constexpr double kPlayerLoopMilliseconds = 30; // lets the greeting's buffers come back

struct RecordCounts {
    int opened = 0;  // successful opens of device 0
    int greeted = 0; // start messages taken by the device
};

RecordCounts CountInRecord(const std::string& path) {
    RecordCounts counts;
    std::ifstream record(path);
    for (std::string line; std::getline(record, line);) {
        if (line.find(" midiOutOpen device=0 ") != std::string::npos && line.find(" result=0 ") != std::string::npos) {
            ++counts.opened;
        }
        if (line.find(" midiOutLongMsg ") != std::string::npos && line.find(" data=F02D4CF7") != std::string::npos) {
            ++counts.greeted;
        }
    }
    return counts;
}

void PrintSpan(const char* call, double first, const std::vector<double>& later) {
    const monitor::IntervalStats s = monitor::SummariseIntervals(later);
    std::printf("%-12s first %8.2f ms; next %zu: median %8.2f ms, min %8.2f, max %8.2f\n", call, first, s.count,
                s.median, s.min, s.max);
}

} // namespace

void PrintLoadTime(BenchContext& context) {
    const bool scripted = context.winmm.Configure("device Bench; record " + context.recordPath);
    context.settings.Store(kSettingMidiOut, 0);
    context.settings.Store(kSettingAggressiveWait, 0);
    const bool stored = context.settings.Store(kSettingReopenMidi, 1);
    std::printf("\n== load and unload with device 0 %s reopened at load, %d loads\n",
                scripted ? "(the scripted winmm)" : "(the system's winmm)", kLoads);
    if (!stored) {
        std::printf("(cannot store reopen_midi: the library loads with whatever settings it finds)\n");
    }

    const std::string path = HardSidPath();
    std::vector<double> loads;
    std::vector<double> frees;
    std::vector<double> firstWrites; // the first write after load sends a frame at once
    for (int i = 0; i < kLoads; ++i) {
        const int64_t loadStart = Counter();
        const HMODULE module = ::LoadLibraryA(path.c_str());
        const int64_t loadEnd = Counter();
        if (module == nullptr) {
            std::printf("cannot load %s (error %lu)\n", path.c_str(), ::GetLastError());
            return;
        }
        PumpMessagesFor(kPlayerLoopMilliseconds);
        if (const auto write = HARDSID_RESOLVE(module, HardSID_Write)) {
            const int64_t writeStart = Counter();
            write(0, 0, 0, static_cast<BYTE>(i));
            firstWrites.push_back(CountsToMicroseconds(Counter() - writeStart) / 1000);
        }
        const int64_t freeStart = Counter();
        ::FreeLibrary(module);
        const int64_t freeEnd = Counter();
        loads.push_back(CountsToMicroseconds(loadEnd - loadStart) / 1000);
        frees.push_back(CountsToMicroseconds(freeEnd - freeStart) / 1000);
        PumpMessagesFor(1);
    }
    PrintSpan("LoadLibrary", loads.front(), {loads.begin() + 1, loads.end()});
    PrintSpan("FreeLibrary", frees.front(), {frees.begin() + 1, frees.end()});
    if (!firstWrites.empty()) {
        PrintSpan("first write", firstWrites.front(), {firstWrites.begin() + 1, firstWrites.end()});
    }
    if (scripted) {
        const RecordCounts counts = CountInRecord(context.recordPath);
        std::printf("device 0 opened at %d of %d loads, start message taken %d times (%s)\n", counts.opened, kLoads,
                    counts.greeted, context.recordPath.c_str());
    }
}

} // namespace hardsid::bench
