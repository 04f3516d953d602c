// SPDX-License-Identifier: GPL-2.0-or-later
// The library's contract with players: the 24 exported entry points, stdcall, undecorated
// names. The library defines them; programs that load it by path (the replay host, the
// benchmarks, the tests) take their pointer types from here, so both sides agree on every
// argument's width.
#pragma once

#include <windows.h>

extern "C" {
void WINAPI InitHardSID_Mapper();
BYTE WINAPI ReadFromHardSID(BYTE device, BYTE reg);
void WINAPI MuteHardSID_Line(int mute);
void WINAPI WriteToHardSID(BYTE device, BYTE reg, BYTE value);
BYTE WINAPI GetHardSIDCount();
void WINAPI SetDebug(BYTE flag);
void WINAPI HardSID_Delay(BYTE device, WORD cycles);
void WINAPI HardSID_SoftFlush(BYTE device);
void WINAPI HardSID_Flush(BYTE device);
void WINAPI HardSID_Write(BYTE device, WORD cycles, BYTE reg, BYTE value);
BYTE WINAPI HardSID_Devices();
void WINAPI HardSID_Filter(BYTE device, BOOLEAN filter);
void WINAPI HardSID_Mute(BYTE device, BOOLEAN mute);
void WINAPI HardSID_MuteAll(BYTE device, BOOLEAN mute);
WORD WINAPI HardSID_Version();
void WINAPI HardSID_Sync(BYTE device);
/// cycles: what a HardSID 2 player passes, the clocks since its previous access.
BYTE WINAPI HardSID_Read(BYTE device, WORD cycles, BYTE reg);
void WINAPI HardSID_Reset(BYTE device);
void WINAPI HardSID_Mute2(BYTE device, BYTE channel, BOOLEAN mute, BOOLEAN manual);
/// Players pass (device, volume).
void WINAPI HardSID_Reset2(BYTE device, BYTE volume);
void WINAPI HardSID_Unlock(BYTE device);
BOOLEAN WINAPI HardSID_Lock(BYTE device);
void WINAPI setCaption(const char* text);
}

namespace hardsid::api {

/// An export of a loaded library by name, typed as declared above; nullptr when missing.
template <typename Function>
Function* Resolve(HMODULE module, const char* name) noexcept {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace hardsid::api

/// Resolves the export of that name with its declared type: HARDSID_RESOLVE(module, HardSID_Write).
#define HARDSID_RESOLVE(module, name) ::hardsid::api::Resolve<decltype(::name)>((module), #name)
