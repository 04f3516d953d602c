// SPDX-License-Identifier: GPL-2.0-or-later
// The hand-written text form of register traces.
#include <gtest/gtest.h>

#include <string>

#include "tools/trace/trace_text.h"

namespace hardsid::trace {
namespace {

// Comments, blank lines, hex and decimal, and waits before a write or at the end all parse.
TEST(TraceText, ParsesWritesWaitsAndComments) {
    const Trace trace = ParseTraceText(
        "# a hand-written trace\r\n"
        "\n"
        "  100 4 0x41   # gate on\n"
        "wait 70000\n"
        "0x10\t0x18\t255\n"
        "wait 5\n"
        "wait 6\n");
    const Trace expected{{{100, 4, 0x41}, {70016, 24, 255}}, 11};
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(NominalCycles(trace), 100u + 70016u + 11u);
}

// What the writer produces reads back as the same trace, end and comments included.
TEST(TraceText, RoundTripsThroughTheWriter) {
    const Trace original{{{0, 0, 0}, {4294967295u, 31, 0xFF}, {19656, 4, 0x08}, {6, 25, 0x80}}, 19465};
    const std::string text = FormatTraceText(original, "first line\nsecond line");
    EXPECT_EQ(text.rfind("# first line\n# second line\n", 0), 0u) << text;
    EXPECT_EQ(ParseTraceText(text), original);
}

// Each mistake is reported with its line number and what is wrong.
TEST(TraceText, RejectsMistakesNamingTheLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"1 2 3\n1 2\n", "line 2: expected 'cycles register value' or 'wait cycles', got '1 2'"},
        {"1 2 3 4\n", "line 1: expected 'cycles register value' or 'wait cycles', got '1 2 3 4'"},
        {"# ok\n1 32 0\n", "line 2: register '32' is out of range (0..31)"},
        {"1 2 256\n", "line 1: value '256' is out of range (0..255)"},
        {"4294967296 2 3\n", "line 1: cycles '4294967296' is out of range (0..4294967295)"},
        {"99999999999999999999999 2 3\n", "line 1: cycles '99999999999999999999999' is out of range (0..4294967295)"},
        {"-1 2 3\n", "line 1: cycles '-1' is not a number"},
        {"1 0x 3\n", "line 1: register '0x' is not a number"},
        {"1 4 0x4g\n", "line 1: value '0x4g' is not a number"},
        {"\n\nwait\n", "line 3: expected 'wait cycles'"},
        {"wait 1 2\n", "line 1: expected 'wait cycles'"},
        {"wait 4294967295\nwait 1\n", "line 2: waits add up to more than 4294967295 cycles before one write"},
        {"wait 4294967295\n1 2 3\n", "line 2: waits and cycles add up to more than 4294967295 cycles"},
        {"\x01\x02\xff 2 3\n", "line 1: cycles '...' is not a number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ParseTraceText(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const TraceError& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
}

// A record that no file form can hold is refused by the writer instead of written badly.
TEST(TraceText, WriterRefusesRegistersAbove31) {
    EXPECT_THROW(FormatTraceText(Trace{{{1, 32, 0}}, 0}), TraceError);
}

// Cutting keeps the writes up to the cut and ends the trace exactly there.
TEST(TraceCut, KeepsWritesUpToTheCutAndEndsThere) {
    const Trace trace{{{10, 0, 1}, {20, 1, 2}, {30, 2, 3}}, 40}; // writes at 10, 30, 60; end at 100
    struct Case {
        uint64_t cut;
        size_t writes;
        uint32_t end;
    };
    const Case cases[] = {{0, 0, 0}, {9, 0, 9}, {10, 1, 0}, {45, 2, 15}, {60, 3, 0}, {99, 3, 39}, {100, 3, 40}, {500, 3, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cut);
        const Trace cut = CutTrace(trace, c.cut);
        EXPECT_EQ(cut.records.size(), c.writes);
        EXPECT_EQ(cut.endCycles, c.end);
        EXPECT_EQ(NominalCycles(cut), std::min<uint64_t>(c.cut, 100));
    }
}

} // namespace
} // namespace hardsid::trace
