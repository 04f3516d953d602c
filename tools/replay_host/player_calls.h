// SPDX-License-Identifier: GPL-2.0-or-later
// The calls a player makes: the library's entry points and the player's own clock. The real
// one forwards to hardsid.dll; tests record the calls.
#pragma once

#include <cstdint>

namespace hardsid::replay {

class PlayerCalls {
public:
    virtual ~PlayerCalls() = default;

    virtual void InitHardSID_Mapper() = 0;
    virtual uint16_t HardSID_Version() = 0;
    virtual uint8_t HardSID_Devices() = 0;
    virtual uint8_t GetHardSIDCount() = 0;
    virtual bool HardSID_Lock(uint8_t device) = 0;
    virtual void HardSID_Unlock(uint8_t device) = 0;
    virtual void HardSID_Flush(uint8_t device) = 0;
    virtual void HardSID_SoftFlush(uint8_t device) = 0;
    virtual void HardSID_Write(uint8_t device, uint16_t cycles, uint8_t reg, uint8_t value) = 0;
    virtual uint8_t HardSID_Read(uint8_t device, uint16_t cycles, uint8_t reg) = 0;
    virtual void HardSID_Delay(uint8_t device, uint16_t cycles) = 0;
    virtual void HardSID_Reset2(uint8_t device, uint8_t volume) = 0;
    virtual void HardSID_Sync(uint8_t device) = 0;
    virtual void MuteHardSID_Line(int mute) = 0;

    /// The player's own sleep, outside the library.
    virtual void Sleep(uint32_t milliseconds) = 0;
    /// The player's own clock, for a player that keeps time itself: starts it at 0 ...
    virtual void StartOwnClock() = 0;
    /// ... and waits until it shows this many cycles (1 cycle = 1 microsecond).
    virtual void WaitOwnClockUntil(uint64_t cycles) = 0;
};

} // namespace hardsid::replay
