// SPDX-License-Identifier: GPL-2.0-or-later
// Shared by the MIDI tests: the scripted winmm double's controls, its record, and a bounded
// message loop for the completions that reach the test's thread as window messages.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hardsid::test {

/// One line of the double's record: "<stamp> <event> key=value ...".
struct RecordLine {
    int64_t stamp = 0;
    std::string event;
    std::map<std::string, std::string> fields;

    std::string operator[](const std::string& key) const {
        const auto found = fields.find(key);
        return found == fields.end() ? "<none>" : found->second;
    }
};

std::vector<RecordLine> ReadRecord(const std::string& path);
/// The lines of one event, in order.
std::vector<RecordLine> Only(const std::vector<RecordLine>& lines, const std::string& event);
/// The SysEx messages that the device took (sends it accepted), as hex, in order.
std::vector<std::string> Received(const std::vector<RecordLine>& lines);
/// Bytes as the record writes them: contiguous upper-case hex pairs.
std::string Hex(const void* data, size_t length);

/// A reading of the performance counter, and its counts per second.
int64_t Counter();
int64_t Frequency();

/// Dispatches this thread's messages until done() holds or timeout ends; gives done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
/// Dispatches what is queued now, without waiting.
void PumpPending();

/// A function that a module exports, or nullptr.
template <typename Function>
Function Export(HMODULE module, const char* name) {
    // Through void*: a direct cast between function types draws -Wcast-function-type.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

/// The double's extra exports, found in the winmm.dll that this process loaded.
class WinmmDouble {
public:
    WinmmDouble();
    bool Loaded() const { return configure_ != nullptr && reportLeaks_ != nullptr; }
    /// 0, or the number of the first bad setting.
    int Configure(const std::string& text) const { return configure_(text.c_str()); }
    /// Writes the leak lines into the record and gives their number.
    int ReportLeaks() const { return reportLeaks_(); }

private:
    int(WINAPI* configure_)(const char*) = nullptr;
    int(WINAPI* reportLeaks_)() = nullptr;
};

/// Each test gets the double configured afresh, with a record file of its own.
class DoubleTest : public ::testing::Test {
protected:
    void SetUp() override;
    /// Replaces the double's settings, keeping this test's record.
    void Configure(const std::string& settings);
    std::vector<RecordLine> Record() const { return ReadRecord(recordPath_); }

    WinmmDouble double_;
    std::string recordPath_;
};

/// A test that loads the real library: no stored settings before or after, and a folder of
/// its own, named after the test, as the current folder, where the library writes its log.
class LibraryFolderTest : public DoubleTest {
protected:
    explicit LibraryFolderTest(const char* folderPrefix) : folderPrefix_(folderPrefix) {}
    void SetUp() override;
    void TearDown() override;
    std::string LogPath() const { return folder_ + "\\hardsid.log"; }

    std::string folder_;

private:
    const char* folderPrefix_;
    char previousFolder_[MAX_PATH] = {};
};

} // namespace hardsid::test
