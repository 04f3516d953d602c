// SPDX-License-Identifier: GPL-2.0-or-later
#include "player_patterns.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

#include "settings_frm/asid_engine.h"
#include "settings_frm/std_wake_slot.h"
#include "tools/asid_monitor/play_call_check.h"
#include "tools/asid_monitor/receiver_registers.h"
#include "tools/tune/default_tune.h"

namespace hardsid::patterns {

namespace {

constexpr int64_t kFrequency = 10'000'000; // ticks per second: 10 per cycle
constexpr int64_t kTicksPerCycle = kFrequency / 1'000'000;
constexpr int64_t kTicksPerRead = 1;   // what a counter reading costs
constexpr int64_t kTicksPerYield = 100; // a Sleep(0) gives the processor away for 10 us
constexpr uint16_t kMaxCallCycles = 0xFFFF;
constexpr uint16_t kReadLeadCycles = 12;
constexpr uint16_t kGoatTrackerWriteCycles = 9;
constexpr uint64_t kGoatTrackerSoftFlushCycles = 400'000;
constexpr uint64_t kViceIdleFlushCycles = 50'000;
constexpr uint32_t kTailCycles = 60'000;
constexpr double kWindowMs = 20.0;

class SimulatedPlatform final : public IEnginePlatform {
public:
    int64_t now = 1'000'000;
    int64_t PerformanceCounter() override { return now += kTicksPerRead; }
    int64_t PerformanceFrequency() override { return kFrequency; }
    uint32_t TickCount() override { return static_cast<uint32_t>(now / (kFrequency / 1000)); }
    void SetCurrentThreadPriority(WaitPriority) override {}
    void Sleep(uint32_t milliseconds) override { now += milliseconds == 0 ? kTicksPerYield : milliseconds * (kFrequency / 1000); }
    uintptr_t ThreadWord() override { return word_; }
    void SetThreadWord(uintptr_t word) override { word_ = word; }
    std::unique_ptr<IWakeSlot> MakeWakeSlot() override { return std::make_unique<TStdWakeSlot>(); }
    // A timer that wakes exactly on time: the simulated counter jumps there.
    void SleepUntilAbout(int64_t reading) override { now = std::max(now, reading); }

private:
    uintptr_t word_ = 0;
};

struct SentMessage {
    int64_t at;
    std::vector<uint8_t> bytes;
};

class TimedSink final : public ISysExSink {
public:
    explicit TimedSink(const SimulatedPlatform& platform) : platform_(platform) {}
    std::vector<SentMessage> messages;
    void SendLongMessage(const uint8_t* data, uint16_t length) override {
        messages.push_back({platform_.now, std::vector<uint8_t>(data, data + length)});
    }

private:
    const SimulatedPlatform& platform_;
};

class NoLogFile final : public ILogFile {
public:
    bool Create(const char*) override { return true; }
    bool Write(const void*, size_t) override { return true; }
    void Close() override {}
};

/// The pattern's writes, each with the cycles since the previous one.
std::vector<monitor::TracedWrite> Writes(const Pattern& p) {
    std::vector<monitor::TracedWrite> writes;
    if (p.defaultTune) {
        const trace::Trace tune = trace::CutTrace(tune::ComposeDefaultTune(), uint64_t{p.seconds} * 1'000'000);
        for (const trace::TraceRecord& record : tune.records) {
            writes.push_back({record.cycles, record.reg, record.value});
        }
        return writes;
    }
    if (p.digi) {
        const uint64_t count = uint64_t{p.seconds} * 1'000'000 / p.burstCycles;
        for (uint64_t i = 0; i < count; ++i) {
            writes.push_back({p.burstCycles, 24, static_cast<uint8_t>(1 + i % 15)});
        }
        return writes;
    }
    const uint32_t calls = p.seconds * 1'000'000 / p.callCycles;
    const bool goat = p.family == Family::GoatTracker;
    const int n = p.writesPerCall;
    const uint32_t evenGap = goat ? kGoatTrackerWriteCycles
                             : n > 2 ? (p.burstCycles - p.longestGap) / static_cast<uint32_t>(n - 2)
                                     : p.burstCycles;
    uint32_t burst = 0;
    for (uint32_t c = 0; c < calls; ++c) {
        for (int j = 0; j < n; ++j) {
            uint32_t gap;
            if (j == 0) {
                gap = c == 0 ? p.callCycles : p.callCycles - burst;
                burst = 0;
            } else {
                gap = !goat && j == n / 2 && n > 2 ? p.longestGap : evenGap;
                burst += gap;
            }
            // A value of its own in every call: a frame tells which call it came from.
            const auto value = static_cast<uint8_t>(1 + (c * 13 + static_cast<uint32_t>(j) * 7) % 255);
            writes.push_back({gap, static_cast<uint8_t>(j), value});
        }
    }
    return writes;
}

void DelayInPieces(TAsidEngine& engine, uint64_t cycles) {
    while (cycles > 0) {
        const uint64_t piece = std::min<uint64_t>(cycles, kMaxCallCycles);
        engine.PlayerDelay(static_cast<uint16_t>(piece));
        cycles -= piece;
    }
}

/// Gives the counter reading after the last write: the tune has ended there.
int64_t Play(const Pattern& p, const std::vector<monitor::TracedWrite>& writes, TAsidEngine& engine,
             SimulatedPlatform& platform) {
    int64_t lastWrite = 0;
    const uint32_t idle = kPlayCallGapCycles;
    switch (p.family) {
    case Family::Sidplayfp:
        for (size_t i = 0; i < writes.size(); ++i) {
            uint64_t gap = writes[i].cycles;
            if (i == 0 || gap > idle) {
                while (gap > kMaxCallCycles) {
                    engine.PlayerDelay(kMaxCallCycles);
                    gap -= kMaxCallCycles;
                }
                const uint64_t read = gap > kReadLeadCycles ? gap - kReadLeadCycles : 0;
                engine.PlayerDelay(static_cast<uint16_t>(read)); // HardSID_Read in the HardSID 2 profile
                gap -= read;
            }
            engine.WriteAndWait(writes[i].reg, writes[i].value, static_cast<uint16_t>(gap));
        }
        lastWrite = platform.now;
        DelayInPieces(engine, kTailCycles);
        break;
    case Family::GoatTracker: {
        uint64_t passed = 0;
        uint64_t lastSoftFlush = 0;
        for (size_t i = 0; i < writes.size();) {
            size_t end = i + 1;
            while (end < writes.size() && writes[end].cycles <= idle) {
                ++end;
            }
            const uint64_t count = end - i;
            for (; i < end; ++i) {
                engine.WriteAndWait(writes[i].reg, writes[i].value, kGoatTrackerWriteCycles);
            }
            lastWrite = platform.now;
            const uint64_t rest = p.callCycles - uint64_t{kGoatTrackerWriteCycles} * count;
            DelayInPieces(engine, rest);
            passed += p.callCycles;
            if (passed - lastSoftFlush >= kGoatTrackerSoftFlushCycles) {
                engine.SoftFlush();
                lastSoftFlush = passed;
            }
        }
        break;
    }
    case Family::Vice: {
        // The emulator's own clock: it runs the idle time itself, then writes.
        const int64_t start = platform.now;
        uint64_t position = 0;
        for (const monitor::TracedWrite& write : writes) {
            position += write.cycles;
            if (write.cycles > idle) {
                platform.now = std::max(platform.now, start + static_cast<int64_t>(position) * kTicksPerCycle);
                engine.WriteAndWait(write.reg, write.value, 0);
                engine.SoftFlush();
            } else {
                engine.WriteAndWait(write.reg, write.value, static_cast<uint16_t>(write.cycles));
            }
        }
        lastWrite = platform.now;
        platform.now = std::max(platform.now, start + static_cast<int64_t>(position + kViceIdleFlushCycles) * kTicksPerCycle);
        engine.SoftFlush(); // its timer, after 50 ms without writes
        break;
    }
    case Family::Replay:
        for (const monitor::TracedWrite& write : writes) {
            engine.WriteAndWait(write.reg, write.value, static_cast<uint16_t>(std::min<uint32_t>(write.cycles, kMaxCallCycles)));
        }
        lastWrite = platform.now;
        DelayInPieces(engine, kTailCycles);
        break;
    }
    return lastWrite;
}

bool IsRegisterFrame(const std::vector<uint8_t>& bytes) {
    return bytes.size() > 3 && bytes[0] == 0xF0 && bytes[1] == 0x2D && bytes[2] == 0x4E;
}

const char* FamilyName(Family family) {
    switch (family) {
    case Family::Sidplayfp: return "sidplayfp";
    case Family::GoatTracker: return "goattracker";
    case Family::Vice: return "vice";
    case Family::Replay: return "replay";
    }
    return "?";
}

} // namespace

const std::vector<Pattern>& StandardPatterns() {
    static const std::vector<Pattern> patterns = {
        {"PAL, 0.3 ms burst", Family::Sidplayfp, 19'656, 6, 300, 60},
        {"PAL, 1 ms burst", Family::Sidplayfp, 19'656, 12, 1000, 200},
        {"PAL, 3 ms burst, 500-cycle gap", Family::Sidplayfp, 19'656, 20, 3000, 500},
        {"NTSC, 1 ms burst", Family::Sidplayfp, 17'095, 12, 1000, 200},
        {"PAL 2x, 0.6 ms burst", Family::Sidplayfp, 9'828, 8, 600, 200},
        {"PAL 4x, 0.3 ms burst", Family::Sidplayfp, 4'914, 3, 300, 150},
        {"PAL", Family::GoatTracker, 19'656, 12, 0, 0},
        {"NTSC", Family::GoatTracker, 17'095, 12, 0, 0},
        {"PAL, 1 ms burst", Family::Vice, 19'656, 12, 1000, 200},
        {"NTSC, 3 ms burst, 500-cycle gap", Family::Vice, 17'095, 20, 3000, 500},
        {"PAL 2x, 0.6 ms burst", Family::Vice, 9'828, 8, 600, 200},
        {"PAL 4x, 0.3 ms burst", Family::Vice, 4'914, 3, 300, 150},
        {"PAL, 1 ms burst", Family::Replay, 19'656, 12, 1000, 200},
        {"digi, a write every 125 cycles", Family::Replay, 0, 1, 125, 0, 2, true},
        {"the default tune", Family::Sidplayfp, 20'000, 0, 0, 0, 5, false, true},
        {"the default tune", Family::GoatTracker, 20'000, 0, 0, 0, 5, false, true},
        {"the default tune", Family::Vice, 20'000, 0, 0, 0, 5, false, true},
        {"the default tune", Family::Replay, 20'000, 0, 0, 0, 5, false, true},
    };
    return patterns;
}

Figures Run(const Pattern& pattern, bool beat) {
    SimulatedPlatform platform;
    TimedSink sink(platform);
    NoLogFile log;
    TAsidEngine engine(platform, sink, log);
    engine.ReadPerfFrequency();
    engine.ResetStatistics();
    engine.SetBeatFrames(beat);
    engine.StreamingEnabled = true;

    const std::vector<monitor::TracedWrite> writes = Writes(pattern);
    const int64_t tuneEnd = Play(pattern, writes, engine, platform);

    Figures figures;
    std::vector<monitor::ArrivedFrame> frames;
    std::vector<const SentMessage*> sent;
    monitor::ReceiverRegisters receiver;
    for (const SentMessage& message : sink.messages) {
        if (IsRegisterFrame(message.bytes)) {
            frames.push_back({receiver.Apply(message.bytes), false});
            sent.push_back(&message);
        }
    }
    const monitor::PlayCallFigures calls = monitor::CheckPlayCalls(writes, frames);
    figures.playCalls = calls.playCalls;
    figures.split = calls.split;
    figures.lost = calls.lost;
    figures.unmatched = calls.unmatched;
    figures.frames = frames.size();
    figures.framesPerSecond = static_cast<double>(frames.size()) / pattern.seconds;
    const double msPerTick = 1000.0 / kFrequency;
    for (size_t i = 1; i < sent.size(); ++i) {
        const int64_t interval = sent[i]->at - sent[i - 1]->at;
        if (sent[i]->at <= tuneEnd) { // the frames while the tune plays
            figures.longestIntervalMs = std::max(figures.longestIntervalMs, static_cast<double>(interval) * msPerTick);
        }
        const int64_t cable = static_cast<int64_t>(sent[i - 1]->bytes.size()) * kCableMicrosecondsPerByte * kTicksPerCycle;
        figures.cableOverruns += interval < cable ? 1 : 0;
    }
    for (size_t i = 0, j = 0; i < sent.size(); ++i) {
        while (j < sent.size() && static_cast<double>(sent[j]->at - sent[i]->at) * msPerTick < kWindowMs) {
            ++j;
        }
        figures.mostFramesIn20ms = std::max(figures.mostFramesIn20ms, static_cast<int>(j - i));
    }
    return figures;
}

void PrintTable(std::ostream& out) {
    char line[240];
    const char* columns = "split lost frames/call fps longest most/20ms";
    std::snprintf(line, sizeof line, "%-42s %5s | grid: %-44s | beat: %s\n", "pattern (2 s)", "calls", columns, columns);
    out << line;
    for (const Pattern& p : StandardPatterns()) {
        const Figures grid = Run(p, false);
        const Figures beat = Run(p, true);
        const std::string name = std::string(FamilyName(p.family)) + ": " + p.name;
        auto cells = [](const Figures& f) {
            char text[80];
            std::snprintf(text, sizeof text, "%5zu %4zu %11.2f %5.1f %6.2f ms %3d", f.split, f.lost,
                          static_cast<double>(f.frames) / static_cast<double>(f.playCalls), f.framesPerSecond,
                          f.longestIntervalMs, f.mostFramesIn20ms);
            return std::string(text);
        };
        std::snprintf(line, sizeof line, "%-42s %5zu |       %-44s |       %s\n", name.c_str(), grid.playCalls,
                      cells(grid).c_str(), cells(beat).c_str());
        out << line;
    }
}

} // namespace hardsid::patterns
