// SPDX-License-Identifier: GPL-2.0-or-later
// Silence when the player is done, and the stream's restart if it plays on. Players that
// never unload the library leave the synthesiser holding its last notes otherwise.
#include <mutex>

#include "asid_engine.h"
#include "asid_messages.h"

namespace hardsid {

namespace {
constexpr const char* kStopStillQueued = "(!) The stop message was still on its way after 100 ms";
} // namespace

void TAsidEngine::StopUntilNextFrame() {
    {
        std::lock_guard guard(lock_);
        if (stopped_ || !StreamingEnabled.load(std::memory_order_relaxed) || sinkPaused_) {
            return;
        }
        stopped_ = true;
        sink_.SendLongMessage(AsidStopMessage.data(), static_cast<uint16_t>(AsidStopMessage.size()));
    }
    // Console players end their process right after this call, and whether a driver still
    // delivers what an ended process queued is up to the driver: the stop leaves first.
    if (!sink_.WaitUntilSent(kStopMessageWaitMs)) {
        log_.WriteLogLine(kStopStillQueued);
    }
}

bool TAsidEngine::SendStopMessage() {
    std::lock_guard guard(lock_);
    if (stopped_ || sinkPaused_) {
        return false; // the device heard the stop already, and nothing since
    }
    stopped_ = true;
    sink_.SendLongMessage(AsidStopMessage.data(), static_cast<uint16_t>(AsidStopMessage.size()));
    return true;
}

// A stopped receiver may have cleared its registers: it is greeted again and given all of
// them, with the values the player wrote, not the zeros of a new stream.
void TAsidEngine::ResumeLocked() {
    stopped_ = false;
    const std::vector<uint8_t> text = BuildDisplayTextMessage(displayText_);
    slots_.MarkAllForResume();
    try {
        sink_.SendLongMessage(AsidStartMessage.data(), static_cast<uint16_t>(AsidStartMessage.size()));
        sink_.SendLongMessage(text.data(), static_cast<uint16_t>(text.size()));
    } catch (...) {
        // The frame with every register still goes: a receiver that missed the start
        // message gets its registers all the same.
    }
}

} // namespace hardsid
