// SPDX-License-Identifier: GPL-2.0-or-later
// The engine's Win32 seam: the log file's creation, sharing and failures, the counter, the
// thread priority and the per-thread word.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "settings_frm/asid_engine.h"
#include "settings_frm/win32/win_platform.h"

namespace hardsid::win32 {
namespace {

class NullSink : public ISysExSink {
public:
    int messages = 0;
    void SendLongMessage(const uint8_t*, uint16_t) override { ++messages; }
};

std::string ReadFile(const char* name) {
    std::string contents;
    UniqueFile file(::CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return "<missing>";
    }
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        contents.append(buffer, read);
    }
    return contents;
}

/// Each test works in a fresh folder of its own, so that hardsid.log is a plain name.
class LogFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ::GetCurrentDirectoryA(sizeof previous_, previous_);
        folder_ = std::string("logtest-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_TRUE(::SetCurrentDirectoryA(folder_.c_str()));
        ::DeleteFileA(kLogFileName);
    }
    void TearDown() override {
        ::DeleteFileA(kLogFileName);
        ::SetCurrentDirectoryA(previous_);
        ::RemoveDirectoryA(folder_.c_str());
    }

    TWinPlatform platform_;
    TWinLogFile file_;

private:
    char previous_[MAX_PATH] = {};
    std::string folder_;
};

TEST_F(LogFolder, CreatingTruncatesAnEarlierLog) {
    {
        UniqueFile old(::CreateFileA(kLogFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(old);
        const std::string tenKilobytes(10240, 'x');
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(old.get(), tenKilobytes.data(), 10240, &written, nullptr));
    }
    TDiagnosticLog log(platform_, file_);
    ASSERT_TRUE(log.Open());
    log.WriteLogLine("log start");
    log.Close();
    const std::string contents = ReadFile(kLogFileName);
    ASSERT_EQ(contents.size(), 28u);
    EXPECT_EQ(contents.substr(16), ": log start\r");
}

// While the log is open others may read it; nobody else may open it for writing.
TEST_F(LogFolder, OpenLogIsSharedForReadingOnly) {
    TDiagnosticLog log(platform_, file_);
    ASSERT_TRUE(log.Open());
    log.WriteLogLine(std::string(200, 'a')); // more than the buffer: some of it is on disk

    UniqueFile reader(::CreateFileA(kLogFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reader);
    EXPECT_EQ(ReadFile(kLogFileName).size(), TDiagnosticLog::kBufferSize) << "the file lags by the buffer";
    UniqueFile writer(::CreateFileA(kLogFileName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    TWinLogFile second;
    EXPECT_FALSE(second.Create(kLogFileName)) << "a second library instance gets no log";

    log.Close();
    EXPECT_EQ(ReadFile(kLogFileName).size(), 16u + 2 + 200 + 1);
}

TEST_F(LogFolder, LogInAFolderThatCannotHoldItIsDropped) {
    TDiagnosticLog log(platform_, file_);
    EXPECT_FALSE(log.Open("no-such-folder\\hardsid.log"));
    log.WriteLogLine("log start");
    log.Close();

    NullSink sink;
    TWinLogFile unwritable;
    TAsidEngine engine(platform_, sink, unwritable);
    engine.ReadPerfFrequency();
    engine.StreamingEnabled = true;
    engine.updateRegister(0, 1);
    EXPECT_EQ(sink.messages, 1) << "the engine streams without a log";
}

TEST(WinPlatform, CounterRunsForward) {
    TWinPlatform platform;
    EXPECT_GT(platform.PerformanceFrequency(), 0);
    const int64_t first = platform.PerformanceCounter();
    ::Sleep(2);
    EXPECT_GT(platform.PerformanceCounter(), first);
}

TEST(WinPlatform, SetsTheCallingThreadsPriority) {
    TWinPlatform platform;
    std::thread worker([&] {
        platform.SetCurrentThreadPriority(WaitPriority::TimeCritical);
        EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
        platform.SetCurrentThreadPriority(WaitPriority::AboveNormal);
        EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()), THREAD_PRIORITY_ABOVE_NORMAL);
    });
    worker.join();
}

TEST(WinPlatform, ThreadWordIsPerThreadAndPerPlatform) {
    TWinPlatform platform;
    platform.SetThreadWord(7);
    EXPECT_EQ(platform.ThreadWord(), 7u);
    std::thread other([&] { EXPECT_EQ(platform.ThreadWord(), 0u); });
    other.join();
    TWinPlatform another;
    EXPECT_EQ(another.ThreadWord(), 0u);
}

// Waits in a row keep the schedule: together they end up to 5 ticks early, never earlier,
// and the thread is left at its mode's priority.
TEST(WinPlatform, CycleDelaysWaitAtLeastTheRequestedTime) {
    TWinPlatform platform;
    NullSink sink;
    TWinLogFile file;
    TAsidEngine engine(platform, sink, file);
    engine.ReadPerfFrequency();
    const int64_t frequency = engine.PerfFrequency();
    for (const bool aggressive : {false, true}) {
        engine.AggressiveWait = aggressive;
        std::thread host([&] {
            const int64_t start = platform.PerformanceCounter();
            for (int i = 0; i < 5; ++i) {
                engine.cycledelay(2000);
            }
            const int64_t elapsed = platform.PerformanceCounter() - start;
            EXPECT_GE(elapsed, frequency * 5 * 2000 / 1000000 - 5);
            EXPECT_EQ(::GetThreadPriority(::GetCurrentThread()),
                      aggressive ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_ABOVE_NORMAL);
        });
        host.join();
        ::Sleep(50); // a pause: the next round starts its own schedule
    }
}

} // namespace
} // namespace hardsid::win32
