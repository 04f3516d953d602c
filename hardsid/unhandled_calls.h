// SPDX-License-Identifier: GPL-2.0-or-later
// The log lines of the entry points that the library accepts but does not implement.
#pragma once

namespace hardsid {

inline constexpr const char* kUnhandledInitHardSIDMapper = "(i) Unhandled call to void InitHardSID_Mapper();";
inline constexpr const char* kUnhandledMuteHardSIDLine = "(i) Unhandled call to void MuteHardSID_Line(Mute: Integer);";
inline constexpr const char* kUnhandledFilter = "(i) Unhandled call to void HardSID_Filter(deviceID: Byte; filter: Boolean);";
inline constexpr const char* kUnhandledMute = "(i) Unhandled call to void HardSID_Mute(deviceID: Byte; mute: Boolean);";
inline constexpr const char* kUnhandledMuteAll = "(i) Unhandled call to void HardSID_MuteAll(deviceID: Byte; mute: Boolean);";
inline constexpr const char* kUnhandledSync = "(i) Unhandled call to void HardSID_Sync(deviceID: Byte);";
inline constexpr const char* kUnhandledReset = "(i) Unhandled call to void HardSID_Reset(deviceID: Byte);";
inline constexpr const char* kUnhandledMute2 =
    "(i) Unhandled call to void HardSID_Mute2(deviceID, channel: Byte; mute, manual: Boolean);";
inline constexpr const char* kUnhandledReset2 = "(i) Unhandled call to void HardSID_Reset2(deviceID: Byte);";
inline constexpr const char* kUnhandledUnlock = "(i) Unhandled call to void HardSID_Unlock(deviceID: Byte);";

} // namespace hardsid
