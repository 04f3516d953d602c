// SPDX-License-Identifier: GPL-2.0-or-later
// One long (System Exclusive) message in flight: its MIDIHDR and a copy of its bytes.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>

#include "locked_block.h"

namespace hardsid {

/// Owns a header block and a data block of exactly the message's length. Made by the sending
/// thread and destroyed on the port's thread, so only thread-safe allocation is used.
class TMyMidiHdr {
public:
    /// Allocates the header and a zero-filled data block of length bytes, with lpData and
    /// dwBufferLength set; a length of 0 allocates nothing. Throws std::bad_alloc.
    explicit TMyMidiHdr(uint16_t length);
    ~TMyMidiHdr();
    TMyMidiHdr(const TMyMidiHdr&) = delete;
    TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

    MIDIHDR* Header() const noexcept { return static_cast<MIDIHDR*>(HeaderBlock.get()); }
    uint8_t* Data() const noexcept { return static_cast<uint8_t*>(DataBlock.get()); }

    /// The header's flags as the driver's thread last set them; what it wrote before them is
    /// visible after.
    DWORD Flags() const noexcept { return std::atomic_ref<DWORD>(Header()->dwFlags).load(std::memory_order_acquire); }
    /// The driver is done with the message and no longer queues it: it may be released.
    bool Finished() const noexcept { return (Flags() & (MHDR_DONE | MHDR_INQUEUE)) == MHDR_DONE; }

    /// Messages allocated and not yet released, in this process: what a leak would leave.
    static long LiveCount() noexcept { return live_.load(); }

    /// The device the header was prepared on: it is unprepared there, even after the port
    /// has moved on to another handle.
    HMIDIOUT Device = nullptr;
    /// Links of the port's list of messages in flight.
    TMyMidiHdr* Previous = nullptr;
    TMyMidiHdr* Next = nullptr;

private:
    TLockedBlock HeaderBlock;
    TLockedBlock DataBlock;
    static inline std::atomic<long> live_{0};
};

} // namespace hardsid
