// SPDX-License-Identifier: GPL-2.0-or-later
// TMidiOutput: long messages, from the send to their release on the port's thread.
#include <cstring>
#include <memory>
#include <utility>

#include "midi_out.h"
#include "midi_result.h"

namespace hardsid {
namespace {

// Called under the in-flight list's lock, as Close unprepares what is still listed: whichever
// comes first, a message is unprepared while its device is still open, and only once.
void Unprepare(TMyMidiHdr& message) noexcept {
    ::midiOutUnprepareHeader(message.Device, message.Header(), sizeof(MIDIHDR));
}

} // namespace

void TMidiOutput::SendLongMessage(const uint8_t* data, uint16_t length) noexcept {
    if (length == 0) {
        return; // nothing to carry: no header
    }
    // A player that never dispatches messages never sees the notices: what the driver has
    // finished with is released here, before each send, so that only a handful stay held.
    ReleaseFinished();
    try {
        auto message = std::make_unique<TMyMidiHdr>(length);
        std::memcpy(message->Data(), data, length);
        MIDIHDR* header = message->Header();
        header->dwUser = reinterpret_cast<DWORD_PTR>(message.get());
        // Listed before the driver sees it: its notice may reach the port's thread first.
        inFlight_.Add(message.get());
        const HMIDIOUT device = deviceHandle_.get();
        message->Device = device;
        if (MidiFailed(::midiOutPrepareHeader(device, header, sizeof(MIDIHDR)))) {
            inFlight_.Remove(message.get());
            return;
        }
        if (MidiFailed(::midiOutLongMsg(device, header, sizeof(MIDIHDR)))) {
            // No notice will come for it: release it now.
            ::midiOutUnprepareHeader(device, header, sizeof(MIDIHDR));
            inFlight_.Remove(message.get());
            return;
        }
        message.release(); // the driver holds it until it marks it done
    } catch (...) {
        // Out of memory: the frame is lost, as a refused one is.
    }
}

LRESULT TMidiOutput::HandleMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return NotifyWndProc(message, wParam, lParam);
}

LRESULT TMidiOutput::NotifyWndProc(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message != MM_MOM_DONE) {
        return ::DefWindowProcA(notifyWindow_.get(), message, wParam, lParam);
    }
    // The notice names a header by its address alone. The sender may have released that
    // message already, and a later message may have been given the same address: only a
    // listed message that the driver has finished with is released here. Either way the
    // message of this notice has been released when the event fires.
    delete inFlight_.TakeFinished(reinterpret_cast<const MIDIHDR*>(lParam), &Unprepare);
    if (Onmidioutput) {
        try {
            Onmidioutput(this);
        } catch (...) {
            // A handler's failure must not cross the window procedure.
        }
    }
    return 0;
}

void TMidiOutput::ReleaseFinished() noexcept {
    TMyMidiHdr* message = inFlight_.TakeFinished(&Unprepare);
    while (message != nullptr) {
        delete std::exchange(message, message->Next);
    }
}

void TMidiOutput::ReleaseInFlight() noexcept {
    TMyMidiHdr* message = inFlight_.TakeAll();
    while (message != nullptr) {
        TMyMidiHdr* next = message->Next;
        // A header still queued belongs to the driver, which may write to it yet.
        if ((message->Flags() & MHDR_INQUEUE) == 0) {
            delete message;
        }
        message = next;
    }
}

bool TMidiOutput::WaitUntilSent(DWORD timeoutMs) noexcept {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        bool sent = true;
        inFlight_.ForEach([&sent](TMyMidiHdr& message) {
            if ((message.Flags() & MHDR_DONE) == 0) {
                sent = false;
            }
        });
        if (sent) {
            return true;
        }
        if (::GetTickCount64() >= deadline) {
            return false;
        }
        ::Sleep(1);
    }
}

} // namespace hardsid
