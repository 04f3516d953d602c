// SPDX-License-Identifier: GPL-2.0-or-later
// A small record of the scripted winmm, shared by the monitor's tests.
#pragma once

namespace hardsid::monitor::test {

// A counter of 1 MHz. Start and display text, then register frames 20 and 21 ms apart; a
// refused send, a line that is not a record line, data that is not hex, and a frame longer
// than its masks announce.
inline constexpr const char* kRecord =
    "500 start frequency=1000000 process=7\n"
    "600 midiOutOpen device=0 flags=0x00030000 instance=0x0 result=0 handle=1\n"
    "1000 midiOutLongMsg handle=1 header=0x10 length=4 result=0 data=F02D4CF7\n"
    "1000 midiOutLongMsg handle=1 header=0x20 length=6 result=0 data=F02D4F4869F7\n"
    "21000 midiOutLongMsg handle=1 header=0x30 length=13 result=0 data=F02D4E010000000100000014F7\n"
    "41000 midiOutLongMsg handle=1 header=0x40 length=14 result=0 data=F02D4E00000012000000000841F7\n"
    "62000 midiOutLongMsg handle=1 header=0x50 length=12 result=0 data=F02D4E0000000000000000F7\n"
    "70000 midiOutLongMsg handle=1 header=0x60 length=12 result=11\n"
    "not a line of the record\n"
    "75000 midiOutLongMsg handle=1 header=0x70 length=3 result=0 data=F02DZZ\n"
    "81000 midiOutLongMsg handle=1 header=0x80 length=13 result=0 data=F02D4E000000000000000005F7\n";

} // namespace hardsid::monitor::test
