// SPDX-License-Identifier: GPL-2.0-or-later
#include "midi_callback.h"

#include "locked_block.h"

namespace hardsid {

CallbackRecord* CreateCallbackRecord() noexcept {
    HGLOBAL block = nullptr;
    auto* record = static_cast<CallbackRecord*>(AllocLockedBlock(sizeof(CallbackRecord), block));
    if (record != nullptr) {
        record->Block = block;
    }
    return record;
}

void ReleaseCallbackRecord(CallbackRecord* record) noexcept {
    if (record != nullptr) {
        FreeLockedBlock(record->Block);
    }
}

void CALLBACK DriverCallback(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) noexcept {
    if (message == MOM_DONE) {
        const auto* record = reinterpret_cast<const CallbackRecord*>(instance);
        ::PostMessageA(record->Window, MM_MOM_DONE, 0, static_cast<LPARAM>(param1));
    }
}

} // namespace hardsid
