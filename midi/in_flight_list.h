// SPDX-License-Identifier: GPL-2.0-or-later
// The long messages that a port has handed to the driver and not yet released, so that the
// port can unprepare them before it closes the device and free them when it is destroyed
// from a thread that never sees their completion notices.
#pragma once

#include <mutex>

#include "midi_hdr.h"
#include "win32/srw_lock.h"

namespace hardsid {

/// An intrusive list over TMyMidiHdr's links; the sending thread adds while the port's
/// thread removes, so every operation takes a short lock.
class TInFlightList {
public:
    TInFlightList() = default;
    TInFlightList(const TInFlightList&) = delete;
    TInFlightList& operator=(const TInFlightList&) = delete;

    void Add(TMyMidiHdr* message) noexcept;
    /// The message must be in the list.
    void Remove(TMyMidiHdr* message) noexcept;
    /// Calls action(TMyMidiHdr&) for every message, under the lock.
    template <typename Action>
    void ForEach(Action action) noexcept {
        std::lock_guard guard(lock_);
        for (TMyMidiHdr* message = head_; message != nullptr; message = message->Next) {
            action(*message);
        }
    }
    /// Empties the list and gives its first message; follow Next for the rest.
    TMyMidiHdr* TakeAll() noexcept;
    /// Runs on each message taken, before the lock is let go.
    using TakenAction = void (*)(TMyMidiHdr& message) noexcept;
    /// Takes every message that the driver has finished with out of the list and gives the
    /// first; follow Next for the rest.
    TMyMidiHdr* TakeFinished(TakenAction whileLocked) noexcept;
    /// Takes the listed message whose header is at that address, when the driver has finished
    /// with it; nullptr otherwise (released already, or the address now belongs to a message
    /// still on its way).
    TMyMidiHdr* TakeFinished(const MIDIHDR* header, TakenAction whileLocked) noexcept;

private:
    void Unlink(TMyMidiHdr* message) noexcept;

    win32::SrwLock lock_;
    TMyMidiHdr* head_ = nullptr;
};

} // namespace hardsid
