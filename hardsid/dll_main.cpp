// SPDX-License-Identifier: GPL-2.0-or-later
// Load and unload: the window object is made, hidden, before the load returns to the player,
// and torn down in order when the library goes.
#include <windows.h>

#include "hardsid/library.h"
#include "settings_frm/win32/settings_form.h"

namespace hardsid {

TAsidEngine* LibraryEngine() noexcept { return frmSettings.load(std::memory_order_acquire); }

bool HardSID2Profile() noexcept {
    const TfrmSettings* form = frmSettings.load(std::memory_order_acquire);
    return form != nullptr && form->HardSID2Profile();
}

} // namespace hardsid

namespace __gnu_cxx {
// The C++ runtime's own release of its exception-handling reserve.
void __freeres();
} // namespace __gnu_cxx

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    using hardsid::frmSettings;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ::DisableThreadLibraryCalls(instance);
        try {
            frmSettings.store(new hardsid::TfrmSettings(), std::memory_order_release);
        } catch (...) {
            // The entry points then do nothing; the player goes on.
        }
        break;
    case DLL_PROCESS_DETACH: {
        // Cleared before anything is torn down: a call that races the unload finds no engine
        // rather than a half-destroyed one.
        hardsid::TfrmSettings* form = frmSettings.exchange(nullptr, std::memory_order_acq_rel);
        if (reserved == nullptr) {
            delete form;
            // The statically linked C++ runtime sets aside a reserve for throwing exceptions
            // when memory runs out (about 73 kB) at every load and never gives it back itself.
            __gnu_cxx::__freeres();
        } else if (form != nullptr) {
            // The process is ending and its other threads are gone: no windows, no device,
            // only the log's last entry.
            form->CloseAtProcessExit();
        }
        break;
    }
    default:
        break;
    }
    return TRUE;
}
