// SPDX-License-Identifier: GPL-2.0-or-later
// Reading captures and the figures the monitor draws from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample_record.h"
#include "tools/asid_monitor/capture_analysis.h"
#include "tools/asid_monitor/capture_reader.h"

namespace hardsid::monitor {
namespace {

using test::kRecord;

// Messages, time stamps, refusals and unreadable lines are all taken from the record.
TEST(CaptureAnalysis, SummarisesASmallRecord) {
    const Capture capture = ReadWinmmRecord(kRecord);
    EXPECT_TRUE(capture.hasTimeStamps);
    EXPECT_EQ(capture.refusedSends, 1u);
    ASSERT_EQ(capture.messages.size(), 6u);
    EXPECT_DOUBLE_EQ(*capture.messages[2].seconds, 0.0205); // counted from the start line

    const CaptureAnalysis a = AnalyseCapture(capture);
    EXPECT_EQ(a.starts, 1u);
    EXPECT_EQ(a.displayTexts, 1u);
    EXPECT_EQ(a.frames, 3u);
    ASSERT_EQ(a.malformed.size(), 3u);
    EXPECT_EQ(a.malformed[0].where.Text() + ": " + a.malformed[0].what, "line 9, byte 0: not a record line (counter, event, fields)");
    EXPECT_EQ(a.malformed[1].where.Text() + ": " + a.malformed[1].what, "line 10, byte 0: message data is missing or not hex");
    EXPECT_EQ(a.malformed[2].where.Text() + ": " + a.malformed[2].what,
              "line 11, byte 0: register frame of 13 bytes, but its masks announce 0 registers (12 bytes)");

    ASSERT_EQ(a.frameIntervalsMs.size(), 2u); // the malformed frame is not a frame
    EXPECT_NEAR(a.frameIntervalsMs[0], 20.0, 1e-9);
    EXPECT_NEAR(a.frameIntervalsMs[1], 21.0, 1e-9);
    EXPECT_NEAR(*a.framesPerSecond, 2 / 0.041, 1e-9);
    EXPECT_NEAR(*a.spanSeconds, 0.080, 1e-12);
    EXPECT_NEAR(*a.bytesPerSecond, (4 + 6 + 13 + 14 + 12 + 13) / 0.080, 1e-6);
    EXPECT_EQ(a.registerWrites, 3u);
    EXPECT_EQ(a.secondControlWrites, 1u);
    EXPECT_EQ(a.finalRegisters[0], 0x94);
    EXPECT_EQ(a.finalRegisters[4], 0x41);
}

// A raw file has no time stamps: no rates and no intervals, but frames are still rebuilt.
TEST(CaptureAnalysis, RawCaptureHasNoRates) {
    const std::vector<uint8_t> raw = {0xF0, 0x2D, 0x4E, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x14, 0xF7,
                                      0xF0, 0x2D, 0x4E, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x15, 0xF7};
    const CaptureAnalysis a = AnalyseCapture(ReadRawSysEx(raw));
    EXPECT_EQ(a.frames, 2u);
    EXPECT_FALSE(a.framesPerSecond.has_value());
    EXPECT_FALSE(a.bytesPerSecond.has_value());
    EXPECT_EQ(a.intervals.count, 0u);
    EXPECT_EQ(a.finalRegisters[0], 0x15);
}

// 31250 baud carries 3125 bytes a second at ten bits a byte.
TEST(CaptureAnalysis, LinkShareCountsTenBitsPerByte) {
    EXPECT_DOUBLE_EQ(MidiLinkShare(3125), 1.0);
    EXPECT_DOUBLE_EQ(MidiLinkShare(1250), 0.4);
}

} // namespace
} // namespace hardsid::monitor
