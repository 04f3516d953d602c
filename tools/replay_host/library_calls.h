// SPDX-License-Identifier: GPL-2.0-or-later
// A player's calls forwarded to hardsid.dll, and the player's own clock on the
// high-resolution counter.
#pragma once

#include <windows.h>

#include "hardsid_library.h"
#include "player_calls.h"

namespace hardsid::replay {

class LibraryCalls final : public PlayerCalls {
public:
    explicit LibraryCalls(const HardSidEntryPoints& calls);

    void InitHardSID_Mapper() override { calls_.InitHardSID_Mapper(); }
    uint16_t HardSID_Version() override { return calls_.HardSID_Version(); }
    uint8_t HardSID_Devices() override { return calls_.HardSID_Devices(); }
    uint8_t GetHardSIDCount() override { return calls_.GetHardSIDCount(); }
    bool HardSID_Lock(uint8_t device) override { return calls_.HardSID_Lock(device) != 0; }
    void HardSID_Unlock(uint8_t device) override { calls_.HardSID_Unlock(device); }
    void HardSID_Flush(uint8_t device) override { calls_.HardSID_Flush(device); }
    void HardSID_SoftFlush(uint8_t device) override { calls_.HardSID_SoftFlush(device); }
    void HardSID_Write(uint8_t device, uint16_t cycles, uint8_t reg, uint8_t value) override {
        calls_.HardSID_Write(device, cycles, reg, value);
    }
    uint8_t HardSID_Read(uint8_t device, uint16_t cycles, uint8_t reg) override {
        return calls_.HardSID_Read(device, cycles, reg);
    }
    void HardSID_Delay(uint8_t device, uint16_t cycles) override { calls_.HardSID_Delay(device, cycles); }
    void HardSID_Reset2(uint8_t device, uint8_t volume) override { calls_.HardSID_Reset2(device, volume); }
    void HardSID_Sync(uint8_t device) override { calls_.HardSID_Sync(device); }
    void MuteHardSID_Line(int mute) override { calls_.MuteHardSID_Line(mute); }

    void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
    void StartOwnClock() override;
    void WaitOwnClockUntil(uint64_t cycles) override;

private:
    const HardSidEntryPoints& calls_;
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

} // namespace hardsid::replay
