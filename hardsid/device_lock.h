// SPDX-License-Identifier: GPL-2.0-or-later
// The lock that a HardSID 2 player takes on a device before it plays: such a player makes
// one SID per granted lock, so device 0 is granted once until it is given back, and there
// is no other device to grant.
#pragma once

#include <atomic>
#include <cstdint>

namespace hardsid {

class TDeviceLock {
public:
    /// True when device 0 was free and is now locked; false while it is locked and for any
    /// other device.
    bool Lock(uint8_t device) noexcept {
        bool wasLocked = false;
        return device == 0 && locked_.compare_exchange_strong(wasLocked, true);
    }
    /// Gives device 0 back; any other device, or a device that is not locked, is no error.
    void Unlock(uint8_t device) noexcept {
        if (device == 0) {
            locked_.store(false);
        }
    }

private:
    std::atomic<bool> locked_{false};
};

} // namespace hardsid
