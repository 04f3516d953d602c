// SPDX-License-Identifier: GPL-2.0-or-later
// Load and unload: the window object is made, hidden, before the load returns to the player,
// and torn down in order when the library goes.
#include <windows.h>

#include "hardsid/library.h"
#include "settings_frm/win32/settings_form.h"

namespace hardsid {

TAsidEngine* LibraryEngine() noexcept { return frmSettings; }

bool HardSID2Profile() noexcept { return frmSettings != nullptr && frmSettings->HardSID2Profile(); }

} // namespace hardsid

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    using hardsid::frmSettings;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ::DisableThreadLibraryCalls(instance);
        try {
            frmSettings = new hardsid::TfrmSettings();
        } catch (...) {
            frmSettings = nullptr; // the entry points then do nothing; the player goes on
        }
        break;
    case DLL_PROCESS_DETACH:
        if (reserved == nullptr) {
            delete frmSettings;
        } else if (frmSettings != nullptr) {
            // The process is ending and its other threads are gone: no windows, no device,
            // only the log's last entry.
            frmSettings->CloseAtProcessExit();
        }
        frmSettings = nullptr;
        break;
    default:
        break;
    }
    return TRUE;
}
