// SPDX-License-Identifier: GPL-2.0-or-later
// The engine's lock: mutual exclusion, and a waiter that sleeps on the platform's wake slot
// until the holder lets go, instead of spinning on a processor the holder may need.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "fakes.h"
#include "settings_frm/blocking_lock.h"

namespace hardsid::test {
namespace {

/// A wake slot that counts what the lock does with it.
class CountingWakeSlot final : public IWakeSlot {
public:
    explicit CountingWakeSlot(std::atomic<int>& waits, std::atomic<int>& wakes) : waits_(waits), wakes_(wakes) {}
    void Wait() noexcept override {
        ++waits_;
        slot_.Wait();
    }
    void Wake() noexcept override {
        ++wakes_;
        slot_.Wake();
    }

private:
    std::atomic<int>& waits_;
    std::atomic<int>& wakes_;
    TStdWakeSlot slot_;
};

struct CountingPlatform : ScriptedPlatform {
    std::atomic<int> waits{0};
    std::atomic<int> wakes{0};
    std::unique_ptr<IWakeSlot> MakeWakeSlot() override { return std::make_unique<CountingWakeSlot>(waits, wakes); }
};

TEST(BlockingLock, UncontendedUseTouchesNoWakeSlot) {
    CountingPlatform platform;
    TBlockingLock lock(platform);
    for (int i = 0; i < 1000; ++i) {
        std::lock_guard guard(lock);
    }
    EXPECT_EQ(platform.waits, 0);
    EXPECT_EQ(platform.wakes, 0);
}

TEST(BlockingLock, WaiterSleepsUntilTheHolderLetsGo) {
    CountingPlatform platform;
    TBlockingLock lock(platform);
    lock.lock();
    std::atomic<bool> entered{false};
    std::thread waiter([&] {
        std::lock_guard guard(lock);
        entered = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (platform.waits == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(platform.waits, 1) << "asleep on the slot, not spinning";
    EXPECT_FALSE(entered);
    lock.unlock();
    waiter.join();
    EXPECT_TRUE(entered);
    EXPECT_GE(platform.wakes, 1) << "the holder woke it";
}

TEST(BlockingLock, ExcludesUnderContention) {
    ScriptedPlatform platform;
    TBlockingLock lock(platform);
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    int64_t counter = 0; // a plain integer: a lost update shows as a short count
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                std::lock_guard guard(lock);
                ++counter;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, int64_t{kThreads} * kRounds);
}

} // namespace
} // namespace hardsid::test
