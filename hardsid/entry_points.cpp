// SPDX-License-Identifier: GPL-2.0-or-later
// The exported entry points that a player calls. Each one forwards to the engine of the
// window object; none lets an exception reach the player.
#include <windows.h>

#include <cstring>
#include <string_view>

#include "hardsid/device_lock.h"
#include "hardsid/hardsid_api.h"
#include "hardsid/library.h"
#include "hardsid/shadow_registers.h"
#include "hardsid/unhandled_calls.h"

namespace {

hardsid::TShadowRegisters ShadowRegisters;
hardsid::TDeviceLock DeviceLock;

template <typename Action>
void WithEngine(Action&& action) noexcept {
    try {
        if (hardsid::TAsidEngine* engine = hardsid::LibraryEngine()) {
            action(*engine);
        }
    } catch (...) {
        // The player must never see our failures.
    }
}

void LogUnhandled(const char* text) noexcept {
    WithEngine([text](hardsid::TAsidEngine& engine) { engine.WriteLogLine(text); });
}

constexpr BYTE kDeviceCount = 1;
constexpr WORD kVersion = 0x0301;
// A HardSID 2 player refuses a driver whose version's high byte is not 2.
constexpr WORD kHardSID2Version = 0x0207;

// The player is done: the synthesiser should not hold its last notes.
void StopTheDevice() noexcept {
    WithEngine([](hardsid::TAsidEngine& engine) { engine.StopUntilNextFrame(); });
}

} // namespace

extern "C" {

void WINAPI InitHardSID_Mapper() { LogUnhandled(hardsid::kUnhandledInitHardSIDMapper); }

BYTE WINAPI ReadFromHardSID(BYTE device, BYTE reg) { return ShadowRegisters.Read(device, reg); }

void WINAPI MuteHardSID_Line(int mute) {
    LogUnhandled(hardsid::kUnhandledMuteHardSIDLine);
    if (mute != 0) {
        StopTheDevice();
    }
}

// Every device reaches the register slots, and nothing waits.
void WINAPI WriteToHardSID(BYTE device, BYTE reg, BYTE value) {
    ShadowRegisters.Write(device, reg, value);
    WithEngine([=](hardsid::TAsidEngine& engine) { engine.updateRegister(reg, value); });
}

BYTE WINAPI GetHardSIDCount() { return kDeviceCount; }

void WINAPI SetDebug(BYTE flag) {
    WithEngine([=](hardsid::TAsidEngine& engine) { engine.DebugFlag = flag; });
}

void WINAPI HardSID_Delay(BYTE, WORD cycles) {
    WithEngine([=](hardsid::TAsidEngine& engine) { engine.PlayerDelay(cycles); });
}

void WINAPI HardSID_SoftFlush(BYTE) {
    WithEngine([](hardsid::TAsidEngine& engine) { engine.SoftFlush(); });
}

void WINAPI HardSID_Flush(BYTE) {
    WithEngine([](hardsid::TAsidEngine& engine) { engine.FlushBuffer(1); });
}

// Only device 0 plays and keeps time; other devices are remembered for reading back.
void WINAPI HardSID_Write(BYTE device, WORD cycles, BYTE reg, BYTE value) {
    ShadowRegisters.Write(device, reg, value);
    if (device != 0) {
        return;
    }
    WithEngine([=](hardsid::TAsidEngine& engine) { engine.WriteAndWait(reg, value, cycles); });
}

BYTE WINAPI HardSID_Devices() { return GetHardSIDCount(); }

void WINAPI HardSID_Filter(BYTE, BOOLEAN) { LogUnhandled(hardsid::kUnhandledFilter); }

void WINAPI HardSID_Mute(BYTE, BOOLEAN) { LogUnhandled(hardsid::kUnhandledMute); }

void WINAPI HardSID_MuteAll(BYTE, BOOLEAN) { LogUnhandled(hardsid::kUnhandledMuteAll); }

WORD WINAPI HardSID_Version() { return hardsid::HardSID2Profile() ? kHardSID2Version : kVersion; }

void WINAPI HardSID_Sync(BYTE) { LogUnhandled(hardsid::kUnhandledSync); }

// A HardSID 2 player passes the cycles since its previous access here as with a write, and
// most of its idle time travels this way: device 0 waits them on the write's schedule.
BYTE WINAPI HardSID_Read(BYTE device, WORD cycles, BYTE reg) {
    if (device == 0 && hardsid::HardSID2Profile()) {
        WithEngine([=](hardsid::TAsidEngine& engine) { engine.PlayerDelay(cycles); });
    }
    return ReadFromHardSID(device, reg);
}

void WINAPI HardSID_Reset(BYTE) { LogUnhandled(hardsid::kUnhandledReset); }

void WINAPI HardSID_Mute2(BYTE, BYTE, BOOLEAN, BOOLEAN) { LogUnhandled(hardsid::kUnhandledMute2); }

void WINAPI HardSID_Reset2(BYTE, BYTE) { LogUnhandled(hardsid::kUnhandledReset2); }

void WINAPI HardSID_Unlock(BYTE device) {
    LogUnhandled(hardsid::kUnhandledUnlock);
    if (device == 0) {
        DeviceLock.Unlock(device);
        StopTheDevice();
    }
}

BOOLEAN WINAPI HardSID_Lock(BYTE device) {
    if (!hardsid::HardSID2Profile()) {
        return TRUE;
    }
    return DeviceLock.Lock(device) ? TRUE : FALSE;
}

void WINAPI setCaption(const char* text) {
    WithEngine([=](hardsid::TAsidEngine& engine) {
        engine.SetDisplayText(text != nullptr ? std::string_view(text) : std::string_view());
        engine.SendGreeting();
    });
}

} // extern "C"
