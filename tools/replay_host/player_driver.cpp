// SPDX-License-Identifier: GPL-2.0-or-later
#include "player_driver.h"

#include <cstdio>
#include <vector>

namespace hardsid::replay {

namespace {

constexpr uint8_t kDevice = 0;
constexpr uint8_t kResetVolume = 0x0F;
constexpr uint32_t kSettleMilliseconds = 300; // the players' pause between the two reset steps
constexpr int kMute = 1;

std::string VersionNote(uint16_t version, uint8_t devices) {
    char text[64];
    std::snprintf(text, sizeof text, "version %u.%02X, %u device(s)", version >> 8, version & 0xFFu, devices);
    return text;
}

/// Runs the callback each time the position has moved progressStep cycles on.
class ProgressReporter {
public:
    ProgressReporter(uint64_t step, const ProgressCallback& progress) : step_(step), progress_(progress), next_(step) {}
    bool At(uint64_t position) {
        if (!progress_ || position < next_) {
            return true;
        }
        next_ = position + step_;
        return progress_(position);
    }

private:
    uint64_t step_;
    const ProgressCallback& progress_;
    uint64_t next_;
};

void DelayInPieces(PlayerCalls& calls, uint8_t device, uint64_t cycles) {
    while (cycles > 0) {
        const uint64_t piece = cycles < kMaxCallCycles ? cycles : kMaxCallCycles;
        calls.HardSID_Delay(device, static_cast<uint16_t>(piece));
        cycles -= piece;
    }
}

/// One call of the tune's player routine: the writes [first, end) of a trace.
struct PlayCall {
    size_t first = 0;
    size_t end = 0;
    uint64_t startCycle = 0; ///< trace time of its first write
};

std::vector<PlayCall> SplitIntoPlayCalls(const trace::Trace& trace) {
    std::vector<PlayCall> playCalls;
    uint64_t now = 0;
    for (size_t i = 0; i < trace.records.size(); ++i) {
        now += trace.records[i].cycles;
        if (playCalls.empty() || trace.records[i].cycles > kIdleCycles) {
            playCalls.push_back({i, i, now});
        }
        playCalls.back().end = i + 1;
    }
    return playCalls;
}

// This program's own way, as it always drove the library.
class ReplayDriver final : public PlayerDriver {
public:
    std::string Start(PlayerCalls& calls) override {
        calls.InitHardSID_Mapper();
        const uint16_t version = calls.HardSID_Version();
        const uint8_t devices = calls.HardSID_Devices();
        const std::string note = VersionNote(version, devices);
        if (devices == 0 || !calls.HardSID_Lock(kDevice)) {
            throw PlayerRefusal(kExitDeviceRefused, note + ": device 0 was not granted");
        }
        calls.HardSID_Flush(kDevice);
        return note;
    }
    ReplayOutcome Play(const trace::Trace& trace, PlayerCalls& calls, uint64_t progressStep,
                       const ProgressCallback& progress) override {
        Target target(calls);
        return ReplayTrace(trace, target, progressStep, progress);
    }
    void Finish(PlayerCalls& calls) override {
        calls.HardSID_Flush(kDevice);
        calls.HardSID_Unlock(kDevice);
    }
    bool FreesLibrary() const noexcept override { return true; }

private:
    class Target final : public ReplayTarget {
    public:
        explicit Target(PlayerCalls& calls) : calls_(calls) {}
        void Write(uint16_t cycles, uint8_t reg, uint8_t value) override {
            calls_.HardSID_Write(kDevice, cycles, reg, value);
        }
        void Delay(uint16_t cycles) override { calls_.HardSID_Delay(kDevice, cycles); }

    private:
        PlayerCalls& calls_;
    };
};

// The engine asks for a 2.x version and one SID per granted lock; a tune reads a register at
// the start of each play call, so that read carries the frame's idle time.
class SidplayfpDriver final : public PlayerDriver {
public:
    std::string Start(PlayerCalls& calls) override {
        calls.InitHardSID_Mapper();
        const uint16_t version = calls.HardSID_Version();
        if (version >> 8 != 2) {
            char text[120];
            std::snprintf(text, sizeof text,
                          "version %u.%02X is not V2: a player built on libsidplayfp 2.x does not use this library",
                          version >> 8, version & 0xFFu);
            throw PlayerRefusal(kExitLibraryRefused, text);
        }
        const uint8_t devices = calls.HardSID_Devices();
        bool locked = false;
        for (unsigned device = 0; device < devices && !locked; ++device) {
            if (calls.HardSID_Lock(static_cast<uint8_t>(device))) {
                device_ = static_cast<uint8_t>(device);
                locked = true;
            }
        }
        if (!locked) {
            throw PlayerRefusal(kExitDeviceRefused, VersionNote(version, devices) + ": every device is in use");
        }
        calls.HardSID_Flush(device_);
        calls.HardSID_Reset2(device_, kResetVolume);
        calls.HardSID_Sync(device_);
        return VersionNote(version, devices);
    }
    ReplayOutcome Play(const trace::Trace& trace, PlayerCalls& calls, uint64_t progressStep,
                       const ProgressCallback& progress) override {
        ProgressReporter reporter(progressStep, progress);
        uint64_t position = 0;
        bool first = true;
        for (const trace::TraceRecord& record : trace.records) {
            uint64_t gap = record.cycles;
            if (first || gap > kIdleCycles) {
                if (!first && !reporter.At(position)) {
                    return {position, false};
                }
                while (gap > kMaxCallCycles) {
                    calls.HardSID_Delay(device_, static_cast<uint16_t>(kMaxCallCycles));
                    gap -= kMaxCallCycles;
                }
                const uint64_t read = gap > kReadLeadCycles ? gap - kReadLeadCycles : 0;
                calls.HardSID_Read(device_, static_cast<uint16_t>(read), kReadRegister);
                gap -= read;
                first = false;
            }
            calls.HardSID_Write(device_, static_cast<uint16_t>(gap), record.reg, record.value);
            position += record.cycles;
        }
        DelayInPieces(calls, device_, trace.endCycles);
        position += trace.endCycles;
        return {position, true};
    }
    void Finish(PlayerCalls& calls) override { calls.HardSID_Unlock(device_); }
    bool FreesLibrary() const noexcept override { return false; }

private:
    uint8_t device_ = kDevice;
};

// The tracker's player thread has no clock of its own: it writes a frame's registers 9 cycles
// apart and lets one delay block for the rest of the frame.
class GoatTrackerDriver final : public PlayerDriver {
public:
    std::string Start(PlayerCalls& calls) override {
        calls.InitHardSID_Mapper();
        calls.HardSID_Lock(kDevice); // its result is ignored
        calls.HardSID_Flush(kDevice);
        calls.HardSID_Write(kDevice, kGoatTrackerWriteCycles, 0, 0);
        calls.Sleep(kSettleMilliseconds);
        for (uint8_t reg = 0; reg < kWrittenRegisters; ++reg) {
            calls.HardSID_Write(kDevice, kGoatTrackerWriteCycles, reg, 0);
        }
        calls.HardSID_SoftFlush(kDevice);
        return {};
    }
    ReplayOutcome Play(const trace::Trace& trace, PlayerCalls& calls, uint64_t progressStep,
                       const ProgressCallback& progress) override {
        ProgressReporter reporter(progressStep, progress);
        const uint64_t end = trace::NominalCycles(trace);
        const std::vector<PlayCall> playCalls = SplitIntoPlayCalls(trace);
        calls.HardSID_Flush(kDevice); // on play
        uint64_t passed = 0;
        uint64_t lastSoftFlush = 0;
        if (!playCalls.empty() && playCalls.front().startCycle > kGoatTrackerWriteCycles) {
            passed = playCalls.front().startCycle - kGoatTrackerWriteCycles;
            DelayInPieces(calls, kDevice, passed);
        }
        for (size_t c = 0; c < playCalls.size(); ++c) {
            for (size_t i = playCalls[c].first; i < playCalls[c].end; ++i) {
                calls.HardSID_Write(kDevice, kGoatTrackerWriteCycles, trace.records[i].reg, trace.records[i].value);
                passed += kGoatTrackerWriteCycles;
            }
            // The next frame's first write brings its own 9 cycles.
            const uint64_t due = c + 1 < playCalls.size() ? playCalls[c + 1].startCycle - kGoatTrackerWriteCycles : end;
            if (due > passed) {
                DelayInPieces(calls, kDevice, due - passed);
                passed = due;
            }
            if (passed - lastSoftFlush >= kGoatTrackerSoftFlushCycles) {
                calls.HardSID_SoftFlush(kDevice);
                lastSoftFlush = passed;
            }
            if (c + 1 < playCalls.size() && !reporter.At(passed)) {
                return {passed, false};
            }
        }
        if (end > passed) {
            DelayInPieces(calls, kDevice, end - passed);
            passed = end;
        }
        return {passed, true};
    }
    void Finish(PlayerCalls& calls) override {
        calls.HardSID_Flush(kDevice); // on stop
        calls.MuteHardSID_Line(kMute);
    }
    bool FreesLibrary() const noexcept override { return false; }

private:
    static constexpr uint8_t kWrittenRegisters = 25;
};

// The emulator keeps its own time: it passes the cycles since its previous access, and after
// a longer idle time, which it waited itself, passes 0 and soft-flushes. Its 1 ms timer also
// soft-flushes once 50 ms have passed without a write.
class ViceDriver final : public PlayerDriver {
public:
    std::string Start(PlayerCalls& calls) override {
        const uint8_t count = calls.GetHardSIDCount();
        for (uint8_t device = 0; device < kLockedDevices; ++device) {
            calls.HardSID_Lock(device); // results ignored
        }
        calls.HardSID_Flush(kDevice);
        calls.HardSID_Write(kDevice, 0, kVoice1Control, 0);
        calls.Sleep(kSettleMilliseconds);
        for (uint8_t reg = 0; reg <= kLastResetRegister; ++reg) {
            calls.HardSID_Write(kDevice, 0, reg, 0);
        }
        calls.HardSID_SoftFlush(kDevice);
        return std::to_string(count) + " device(s)";
    }
    ReplayOutcome Play(const trace::Trace& trace, PlayerCalls& calls, uint64_t progressStep,
                       const ProgressCallback& progress) override {
        ProgressReporter reporter(progressStep, progress);
        calls.StartOwnClock();
        position_ = 0;
        for (const trace::TraceRecord& record : trace.records) {
            if (record.cycles > kIdleCycles && !reporter.At(position_)) {
                return {position_, false};
            }
            position_ += record.cycles;
            if (record.cycles > kIdleCycles) {
                IdleFlushBefore(calls, position_);
                calls.WaitOwnClockUntil(position_);
                calls.HardSID_Write(kDevice, 0, record.reg, record.value);
                calls.HardSID_SoftFlush(kDevice);
            } else {
                calls.HardSID_Write(kDevice, static_cast<uint16_t>(record.cycles & 0xFFFFu), record.reg, record.value);
            }
            lastWrite_ = position_;
            idleFlushed_ = false;
        }
        position_ += trace.endCycles;
        IdleFlushBefore(calls, position_);
        calls.WaitOwnClockUntil(position_);
        return {position_, true};
    }
    // The emulator signals no end; it runs on, so its timer still sends the last writes.
    void Finish(PlayerCalls& calls) override { IdleFlushBefore(calls, lastWrite_ + kIdleFlushCycles + 1); }
    bool FreesLibrary() const noexcept override { return false; }

private:
    static constexpr uint8_t kLockedDevices = 4;
    static constexpr uint8_t kVoice1Control = 4;
    static constexpr uint8_t kLastResetRegister = 0x19;
    static constexpr uint64_t kIdleFlushCycles = 50'000;

    /// The timer's flush, when the own clock passes 50 ms after the last write before `until`.
    void IdleFlushBefore(PlayerCalls& calls, uint64_t until) {
        if (idleFlushed_ || until - lastWrite_ <= kIdleFlushCycles) {
            return;
        }
        calls.WaitOwnClockUntil(lastWrite_ + kIdleFlushCycles);
        calls.HardSID_SoftFlush(kDevice);
        idleFlushed_ = true;
    }

    uint64_t position_ = 0;
    uint64_t lastWrite_ = 0;
    bool idleFlushed_ = true; // nothing written yet: nothing to flush
};

} // namespace

std::optional<PlayerFamily> ParsePlayerFamily(std::string_view name) {
    for (const PlayerFamily family :
         {PlayerFamily::Replay, PlayerFamily::Sidplayfp, PlayerFamily::GoatTracker, PlayerFamily::Vice}) {
        if (name == PlayerFamilyName(family)) {
            return family;
        }
    }
    return std::nullopt;
}

const char* PlayerFamilyName(PlayerFamily family) noexcept {
    switch (family) {
    case PlayerFamily::Replay: return "replay";
    case PlayerFamily::Sidplayfp: return "sidplayfp";
    case PlayerFamily::GoatTracker: return "goattracker";
    case PlayerFamily::Vice: return "vice";
    }
    return "?";
}

std::unique_ptr<PlayerDriver> MakePlayerDriver(PlayerFamily family) {
    switch (family) {
    case PlayerFamily::Sidplayfp: return std::make_unique<SidplayfpDriver>();
    case PlayerFamily::GoatTracker: return std::make_unique<GoatTrackerDriver>();
    case PlayerFamily::Vice: return std::make_unique<ViceDriver>();
    case PlayerFamily::Replay: break;
    }
    return std::make_unique<ReplayDriver>();
}

} // namespace hardsid::replay
