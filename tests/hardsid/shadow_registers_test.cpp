// SPDX-License-Identifier: GPL-2.0-or-later
// The read-back table: index device x 33 + register, rows running on into each other, and
// nothing beyond its 165 entries.
#include <gtest/gtest.h>

#include "hardsid/shadow_registers.h"

namespace hardsid {
namespace {

TEST(ShadowRegisters, ReadsBackTheLastValueOfEachDeviceAndRegister) {
    TShadowRegisters shadow;
    for (int device = 0; device < 5; ++device) {
        for (int reg = 0; reg <= 32; ++reg) {
            EXPECT_EQ(shadow.Read(static_cast<uint8_t>(device), static_cast<uint8_t>(reg)), 0) << "nothing written yet";
            shadow.Write(static_cast<uint8_t>(device), static_cast<uint8_t>(reg), static_cast<uint8_t>(device * 40 + reg));
        }
    }
    for (int device = 0; device < 5; ++device) {
        for (int reg = 0; reg <= 32; ++reg) {
            EXPECT_EQ(shadow.Read(static_cast<uint8_t>(device), static_cast<uint8_t>(reg)), device * 40 + reg);
        }
    }
}

TEST(ShadowRegisters, HighRegisterRunsIntoTheNextRow) {
    TShadowRegisters shadow;
    shadow.Write(0, 40, 0x5A);
    EXPECT_EQ(shadow.Read(1, 7), 0x5A);
    shadow.Write(4, 32, 0x11); // the very last entry
    EXPECT_EQ(shadow.Read(3, 65), 0x11);
}

TEST(ShadowRegisters, IndexBeyondTheTableIsIgnoredAndReadsZero) {
    TShadowRegisters shadow;
    const std::pair<int, int> outside[] = {{5, 0}, {4, 33}, {255, 255}, {0, 165}};
    for (const auto& [device, reg] : outside) {
        shadow.Write(static_cast<uint8_t>(device), static_cast<uint8_t>(reg), 0x77);
        EXPECT_EQ(shadow.Read(static_cast<uint8_t>(device), static_cast<uint8_t>(reg)), 0);
    }
    for (int device = 0; device < 5; ++device) {
        for (int reg = 0; reg <= 32; ++reg) {
            ASSERT_EQ(shadow.Read(static_cast<uint8_t>(device), static_cast<uint8_t>(reg)), 0) << "no stray write";
        }
    }
}

} // namespace
} // namespace hardsid
