// SPDX-License-Identifier: GPL-2.0-or-later
// Scripted stand-ins for the engine's seam: a counter the test moves by hand, a sink that
// records every message, and a log file in memory.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "settings_frm/asid_engine.h"
#include "settings_frm/engine_platform.h"
#include "settings_frm/std_wake_slot.h"

namespace hardsid::test {

using Bytes = std::vector<uint8_t>;

class ScriptedPlatform : public IEnginePlatform {
public:
    /// The counter stands at `counter` unless `readings` holds scripted values, which are
    /// taken one per read; `stepPerRead` moves it on after every unscripted read.
    int64_t counter = 1'000'000;
    int64_t stepPerRead = 0;
    std::deque<int64_t> readings;
    int64_t frequency = 10'000'000;
    uint32_t tickCount = 0;

    int counterReads = 0;
    std::vector<WaitPriority> priorities;
    std::vector<uint32_t> sleeps;

    int64_t PerformanceCounter() override {
        ++counterReads;
        if (!readings.empty()) {
            counter = readings.front();
            readings.pop_front();
            return counter;
        }
        const int64_t now = counter;
        counter += stepPerRead;
        return now;
    }
    int64_t PerformanceFrequency() override { return frequency; }
    uint32_t TickCount() override { return tickCount; }
    void SetCurrentThreadPriority(WaitPriority priority) override {
        std::lock_guard guard(mutex_);
        priorities.push_back(priority);
    }
    void Sleep(uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
    /// The timer: each call is recorded, and the counter then stands where the next
    /// scripted wake-up says, or exactly at the reading asked for when none is scripted.
    std::vector<int64_t> timerSleeps;
    std::deque<int64_t> timerWakeUps;
    void SleepUntilAbout(int64_t reading) override {
        timerSleeps.push_back(reading);
        if (!timerWakeUps.empty()) {
            counter = timerWakeUps.front();
            timerWakeUps.pop_front();
        } else if (counter < reading) {
            counter = reading;
        }
    }
    uintptr_t ThreadWord() override {
        std::lock_guard guard(mutex_);
        return threadWords_[std::this_thread::get_id()];
    }
    void SetThreadWord(uintptr_t word) override {
        std::lock_guard guard(mutex_);
        threadWords_[std::this_thread::get_id()] = word;
    }
    std::unique_ptr<IWakeSlot> MakeWakeSlot() override {
        ++wakeSlotsMade;
        return std::make_unique<TStdWakeSlot>();
    }
    int wakeSlotsMade = 0;

private:
    std::mutex mutex_;
    std::map<std::thread::id, uintptr_t> threadWords_;
};

class RecordingSink : public ISysExSink {
public:
    std::vector<Bytes> messages;
    /// Throws on the n-th message (1-based) when set.
    size_t throwOnMessage = 0;

    void SendLongMessage(const uint8_t* data, uint16_t length) override {
        if (throwOnMessage != 0 && messages.size() + 1 == throwOnMessage) {
            throwOnMessage = 0;
            throw std::runtime_error("device refused");
        }
        messages.emplace_back(data, data + length);
    }

    /// Timeouts of the waits for delivery, with the number of messages sent at each; every
    /// wait reports doneInTime.
    std::vector<std::pair<uint32_t, size_t>> waits;
    bool doneInTime = true;
    bool WaitUntilSent(uint32_t timeoutMs) override {
        waits.emplace_back(timeoutMs, messages.size());
        return doneInTime;
    }
};

class MemoryLogFile : public ILogFile {
public:
    std::string name;
    std::string contents;
    std::vector<size_t> writeSizes;
    bool refuseCreate = false;
    bool refuseWrites = false;
    bool open = false;

    bool Create(const char* fileName) override {
        name = fileName;
        if (refuseCreate) {
            return false;
        }
        contents.clear();
        open = true;
        return true;
    }
    bool Write(const void* data, size_t length) override {
        if (!open || refuseWrites) {
            return false;
        }
        writeSizes.push_back(length);
        contents.append(static_cast<const char*>(data), length);
        return true;
    }
    void Close() override { open = false; }
};

/// An engine over the fakes, started as the window object starts it.
struct EngineFixture {
    ScriptedPlatform platform;
    RecordingSink sink;
    MemoryLogFile logFile;
    TAsidEngine engine{platform, sink, logFile};

    explicit EngineFixture(bool streaming = true) {
        engine.ReadPerfFrequency();
        engine.CreateLog();
        engine.ResetStatistics();
        engine.WriteLogLine("log start");
        engine.StreamingEnabled = streaming;
    }

    /// The log's entries, read after closing it.
    std::vector<std::string> LogEntries() {
        engine.CloseLog();
        std::vector<std::string> entries;
        size_t begin = 0;
        for (size_t end; (end = logFile.contents.find('\r', begin)) != std::string::npos; begin = end + 1) {
            entries.push_back(logFile.contents.substr(begin + kLogStampDigits + 2, end - begin - kLogStampDigits - 2));
        }
        return entries;
    }
};

} // namespace hardsid::test
