// SPDX-License-Identifier: GPL-2.0-or-later
// The compact binary form of register traces.
#include <gtest/gtest.h>

#include <vector>

#include "tools/trace/trace_binary.h"

namespace hardsid::trace {
namespace {

using Bytes = std::vector<uint8_t>;

// Two records: 5 cycles (one LEB128 byte) and 19656 cycles (three bytes), end 300.
const Bytes kGolden = {
    'R', 'T', 'R', 'C', 1, 0, 0, 0, // magic, version, reserved
    2, 0, 0, 0,                     // two records
    0x2C, 0x01, 0, 0,               // end: 300 cycles
    0x05, 4, 0x41,                  // 5 cycles, register 4, 0x41
    0xC8, 0x99, 0x01, 24, 0x1F,     // 19656 = 0x4CC8: 7-bit groups 48, 19, 01, low first
};
const Trace kGoldenTrace{{{5, 4, 0x41}, {19656, 24, 0x1F}}, 300};

// The writer produces exactly the documented layout, and the reader reads it back.
TEST(TraceBinary, MatchesTheDocumentedLayout) {
    EXPECT_EQ(FormatTraceBinary(kGoldenTrace), kGolden);
    EXPECT_EQ(ParseTraceBinary(kGolden), kGoldenTrace);
}

// Cycle counts at every LEB128 length boundary, up to the 32-bit maximum, survive a round trip.
TEST(TraceBinary, RoundTripsEveryCycleLength) {
    Trace trace;
    for (const uint32_t cycles : {0u, 127u, 128u, 16383u, 16384u, 2097151u, 2097152u, 268435455u, 268435456u,
                                  4294967295u}) {
        trace.records.push_back({cycles, static_cast<uint8_t>(cycles % 32), static_cast<uint8_t>(cycles)});
    }
    trace.endCycles = 4294967295u;
    EXPECT_EQ(ParseTraceBinary(FormatTraceBinary(trace)), trace);
}

// Every damaged file is refused with the offset of the damage.
TEST(TraceBinary, RejectsDamageNamingTheOffset) {
    struct Case {
        const char* rule;
        Bytes bytes;
        const char* error;
    };
    const auto changed = [](size_t offset, uint8_t value) {
        Bytes bytes = kGolden;
        bytes[offset] = value;
        return bytes;
    };
    const auto cut = [](size_t length) { return Bytes(kGolden.begin(), kGolden.begin() + static_cast<long>(length)); };
    Bytes longer = kGolden;
    longer.push_back(0);
    const Case cases[] = {
        {"wrong magic", changed(3, 'X'), "offset 0: not a binary register trace (no \"RTRC\")"},
        {"header cut", cut(10), "offset 10: file ends inside the 16-byte header"},
        {"unknown version", changed(4, 2), "offset 4: unknown format version 2"},
        {"reserved byte set", changed(6, 1), "offset 6: reserved header byte is not 0"},
        {"no records at all", cut(16), "offset 16: file ends inside record 0 (cycles)"},
        {"cut after cycles", cut(17), "offset 17: file ends inside record 0 (register)"},
        {"cut inside long cycles", cut(21), "offset 21: file ends inside record 1 (cycles)"},
        {"cut before the last value", cut(23), "offset 23: file ends inside record 1 (value)"},
        {"register 32", changed(17, 32), "offset 17: register 32 of record 0 is out of range (0..31)"},
        {"count too small", changed(8, 1), "offset 19: bytes after the last of 1 records"},
        {"trailing byte", longer, "offset 24: bytes after the last of 2 records"},
        {"cycles above 32 bits",
         Bytes{'R', 'T', 'R', 'C', 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0, 0},
         "offset 16: cycles of record 0 exceed 32 bits"},
        {"cycles longer than 5 bytes",
         Bytes{'R', 'T', 'R', 'C', 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x80, 0x80, 0x80, 0x80, 0, 0, 0},
         "offset 16: cycles of record 0 run longer than 5 bytes"},
        {"a count far beyond the bytes", changed(11, 0xFF), "offset 24: file ends inside record 2 (cycles)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        try {
            ParseTraceBinary(c.bytes);
            ADD_FAILURE() << "accepted";
        } catch (const TraceError& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
}

} // namespace
} // namespace hardsid::trace
