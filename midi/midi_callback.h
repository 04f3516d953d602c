// SPDX-License-Identifier: GPL-2.0-or-later
// The driver's way back to the port: a locked record handed to midiOutOpen as instance data,
// and the callback procedure that turns each completion into one posted message.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include "win32/unique_handle.h"

namespace hardsid {

/// Lives in a locked block of its own, since the driver's thread reads it at any time.
struct CallbackRecord {
    HGLOBAL Block; // its own block, so that it can be released from its address alone
    HWND Window;   // receives MM_MOM_DONE; set by Open before every midiOutOpen
};

/// A zero-filled record in a fresh locked block, or nullptr when there is no memory.
CallbackRecord* CreateCallbackRecord() noexcept;
void ReleaseCallbackRecord(CallbackRecord* record) noexcept;

using UniqueCallbackRecord = win32::UniqueAny<CallbackRecord*, ReleaseCallbackRecord, nullptr>;

/// Called by the driver on a thread of its own with a CallbackRecord as instance. For MOM_DONE
/// it posts MM_MOM_DONE (wParam 0, lParam the header) to the record's window; every other
/// message, the open and close notices among them, is ignored. Multimedia calls from here
/// can deadlock the driver, so it touches nothing else.
void CALLBACK DriverCallback(HMIDIOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) noexcept;

} // namespace hardsid
