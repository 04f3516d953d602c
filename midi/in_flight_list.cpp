// SPDX-License-Identifier: GPL-2.0-or-later
#include "in_flight_list.h"

#include <mutex>
#include <utility>

namespace hardsid {

void TInFlightList::Add(TMyMidiHdr* message) noexcept {
    std::lock_guard guard(lock_);
    message->Previous = nullptr;
    message->Next = head_;
    if (head_ != nullptr) {
        head_->Previous = message;
    }
    head_ = message;
}

void TInFlightList::Remove(TMyMidiHdr* message) noexcept {
    std::lock_guard guard(lock_);
    Unlink(message);
}

void TInFlightList::Unlink(TMyMidiHdr* message) noexcept {
    if (message->Previous != nullptr) {
        message->Previous->Next = message->Next;
    } else {
        head_ = message->Next;
    }
    if (message->Next != nullptr) {
        message->Next->Previous = message->Previous;
    }
    message->Previous = message->Next = nullptr;
}

TMyMidiHdr* TInFlightList::TakeAll() noexcept {
    std::lock_guard guard(lock_);
    return std::exchange(head_, nullptr);
}

TMyMidiHdr* TInFlightList::TakeFinished(TakenAction whileLocked) noexcept {
    std::lock_guard guard(lock_);
    TMyMidiHdr* taken = nullptr;
    for (TMyMidiHdr* message = head_; message != nullptr;) {
        TMyMidiHdr* next = message->Next;
        if (message->Finished()) {
            Unlink(message);
            whileLocked(*message);
            message->Next = taken;
            taken = message;
        }
        message = next;
    }
    return taken;
}

TMyMidiHdr* TInFlightList::TakeFinished(const MIDIHDR* header, TakenAction whileLocked) noexcept {
    std::lock_guard guard(lock_);
    for (TMyMidiHdr* message = head_; message != nullptr; message = message->Next) {
        if (message->Header() == header) {
            if (!message->Finished()) {
                return nullptr;
            }
            Unlink(message);
            whileLocked(*message);
            return message;
        }
    }
    return nullptr;
}

} // namespace hardsid
