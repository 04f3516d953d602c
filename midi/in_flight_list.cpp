// SPDX-License-Identifier: GPL-2.0-or-later
#include "in_flight_list.h"

#include <utility>

namespace hardsid {

void TInFlightList::Add(TMyMidiHdr* message) noexcept {
    Guard guard(lock_);
    message->Previous = nullptr;
    message->Next = head_;
    if (head_ != nullptr) {
        head_->Previous = message;
    }
    head_ = message;
}

void TInFlightList::Remove(TMyMidiHdr* message) noexcept {
    Guard guard(lock_);
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
    Guard guard(lock_);
    return std::exchange(head_, nullptr);
}

} // namespace hardsid
