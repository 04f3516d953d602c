// SPDX-License-Identifier: GPL-2.0-or-later
#include "midi_hdr.h"

namespace hardsid {

TMyMidiHdr::TMyMidiHdr(uint16_t length) {
    if (length != 0) {
        HeaderBlock = TLockedBlock(sizeof(MIDIHDR));
        DataBlock = TLockedBlock(length);
        Header()->lpData = reinterpret_cast<LPSTR>(Data());
        Header()->dwBufferLength = length;
    }
    ++live_;
}

TMyMidiHdr::~TMyMidiHdr() {
    HeaderBlock.reset();
    DataBlock.reset();
    --live_;
}

} // namespace hardsid
