// SPDX-License-Identifier: GPL-2.0-or-later
// The HardSID 2 lock: device 0 is granted once until it is given back, whatever a player
// calls on which device and in which order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardsid/device_lock.h"

namespace hardsid::test {
namespace {

struct Call {
    bool lock; // else unlock
    uint8_t device;
    bool granted; // what a lock returns
};

struct LockCase {
    const char* rule;
    std::vector<Call> calls;
};

TEST(DeviceLock, GrantsDeviceZeroOnceUntilItIsGivenBack) {
    const LockCase cases[] = {
        {"first lock granted, second refused", {{true, 0, true}, {true, 0, false}, {true, 0, false}}},
        {"unlock gives it back", {{true, 0, true}, {false, 0, false}, {true, 0, true}}},
        {"unlock without a lock is harmless", {{false, 0, false}, {false, 0, false}, {true, 0, true}}},
        {"no other device exists", {{true, 1, false}, {true, 3, false}, {true, 255, false}, {true, 0, true}}},
        {"other devices' unlocks do not release device 0",
         {{true, 0, true}, {false, 1, false}, {false, 255, false}, {true, 0, false}}},
        {"unlocks of other devices before any lock", {{false, 7, false}, {true, 0, true}, {true, 7, false}}},
    };
    for (const LockCase& c : cases) {
        SCOPED_TRACE(c.rule);
        TDeviceLock lock;
        for (size_t i = 0; i < c.calls.size(); ++i) {
            const Call& call = c.calls[i];
            if (call.lock) {
                EXPECT_EQ(lock.Lock(call.device), call.granted) << "call " << i;
            } else {
                lock.Unlock(call.device);
            }
        }
    }
}

} // namespace
} // namespace hardsid::test
