// SPDX-License-Identifier: GPL-2.0-or-later
// Relaxed timing through the real library: whatever its waits take from the system (the
// timer's handle, the system timer's period) is given back when the library unloads, from
// whatever thread unloads it. How the timer itself sleeps and gives back: wait_timer_test.cpp.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "library_settings.h"
#include "midi_test_support.h"
#include "program_files.h"

namespace hardsid::test {
namespace {

// The double must be in the process before the library looks for it.
const HMODULE winmmDouble = ::LoadLibraryA("winmm.dll");

using DelayFunction = void(WINAPI*)(BYTE device, WORD cycles);

constexpr int kLoads = 3;
constexpr int kWaitsPerThread = 15;
constexpr WORD kFrameCycles = 20000;

class RelaxedTimingTest : public LibraryFolderTest {
protected:
    RelaxedTimingTest() : LibraryFolderTest("relaxed-") {}
    void SetUp() override {
        LibraryFolderTest::SetUp();
        if (!HasFatalFailure()) {
            StoreSetting("aggressiveWait", 0);
        }
    }

    /// Loads the library, lets two threads wait in it at once, so that one of them finds the
    /// timer taken and sleeps in steps, and unloads it from a third thread.
    void LoadWaitAndUnloadElsewhere() {
        HMODULE module = ::LoadLibraryA((ProgramFolder() + "hardsid.dll").c_str());
        ASSERT_NE(module, nullptr);
        const auto delay = Export<DelayFunction>(module, "HardSID_Delay");
        ASSERT_NE(delay, nullptr);
        const auto player = [delay] {
            for (int i = 0; i < kWaitsPerThread; ++i) {
                delay(0, kFrameCycles);
            }
        };
        std::thread first(player);
        std::thread second(player);
        first.join();
        second.join();
        BOOL freed = FALSE;
        std::thread([&] { freed = ::FreeLibrary(module); }).join();
        EXPECT_TRUE(freed);
    }
};

TEST_F(RelaxedTimingTest, EveryTimerPeriodBegunIsEndedAtUnloadFromAnotherThread) {
    for (int load = 0; load < kLoads; ++load) {
        SCOPED_TRACE(load);
        LoadWaitAndUnloadElsewhere();
    }
    const std::vector<RecordLine> record = Record();
    const std::vector<RecordLine> begun = Only(record, "timeBeginPeriod");
    const std::vector<RecordLine> ended = Only(record, "timeEndPeriod");
    if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
        EXPECT_TRUE(begun.empty()) << "under Wine the library sleeps without the system timer's period";
    } else {
        EXPECT_GE(begun.size(), 1u) << "a thread that found the timer taken slept in steps";
    }
    EXPECT_LE(begun.size(), static_cast<size_t>(kLoads)) << "one period per load at most, not one per wait";
    EXPECT_EQ(ended.size(), begun.size());
    for (const RecordLine& line : begun) {
        EXPECT_EQ(line["period"], "1");
        EXPECT_EQ(line["result"], "0");
    }
    for (const RecordLine& line : ended) {
        EXPECT_EQ(line["period"], "1");
        EXPECT_EQ(line["result"], "0") << "ended as often as begun, never more";
    }
    EXPECT_EQ(double_.ReportLeaks(), 0);
}

// A timer handle kept past unload would add one handle to the process at every load.
TEST_F(RelaxedTimingTest, UnloadLeavesNoHandleOfTheLibrary) {
    LoadWaitAndUnloadElsewhere(); // whatever the first load sets up once for the process
    DWORD before = 0;
    ASSERT_TRUE(::GetProcessHandleCount(::GetCurrentProcess(), &before));
    for (int load = 0; load < kLoads; ++load) {
        LoadWaitAndUnloadElsewhere();
    }
    DWORD after = 0;
    ASSERT_TRUE(::GetProcessHandleCount(::GetCurrentProcess(), &after));
    EXPECT_LT(after, before + kLoads) << before << " handles before, " << after << " after " << kLoads << " loads";
}

} // namespace
} // namespace hardsid::test
