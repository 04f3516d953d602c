// SPDX-License-Identifier: GPL-2.0-or-later
// hardsid.log byte for byte: "<16-digit tick>: <message>" and one CR, through a 128-byte
// buffer; a log that fails drops entries and never stops its caller.
#include <gtest/gtest.h>

#include "fakes.h"

namespace hardsid::test {
namespace {

TEST(LogStamp, IsTheUnsignedTickCountInSixteenDigits) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "0000000000000000"}, {5000, "0000000000005000"}, {4294967295u, "0000004294967295"}};
    for (const auto& [tick, stamp] : cases) {
        const auto text = FormatLogStamp(tick);
        EXPECT_EQ(std::string(text.begin(), text.end()), stamp);
    }
}

struct LogFixture {
    ScriptedPlatform platform;
    MemoryLogFile file;
    TDiagnosticLog log{platform, file};
    LogFixture() { log.Open(); }
};

TEST(DiagnosticLog, WritesEntriesByteForByte) {
    LogFixture f;
    EXPECT_EQ(f.file.name, "hardsid.log");
    f.platform.tickCount = 5000;
    f.log.WriteLogLine("log start");
    f.platform.tickCount = 4294967295u;
    f.log.WriteLogLine("");
    f.log.WriteLogLine("a\rb\nc\r\n");
    f.log.Close();
    EXPECT_EQ(f.file.contents,
              "0000000000005000: log start\r"      // 28 bytes
              "0000004294967295: \r"               // an empty message: 19 bytes
              "0000004294967295: a\rb\nc\r\n\r");  // CR and LF inside pass unchanged
}

TEST(DiagnosticLog, StartAndEndAloneAre54Bytes) {
    LogFixture f;
    f.log.WriteLogLine("log start");
    f.log.WriteLogLine("log end");
    f.log.Close();
    EXPECT_EQ(f.file.contents.size(), 54u);
}

TEST(DiagnosticLog, FileLagsByLessThanTheBufferUntilClose) {
    LogFixture f;
    size_t total = 0;
    for (int i = 0; i < 20; ++i) {
        f.log.WriteLogLine("(i) Unhandled call to void HardSID_Sync(deviceID: Byte);");
        total += 16 + 2 + 56 + 1;
        EXPECT_LT(total - f.file.contents.size(), TDiagnosticLog::kBufferSize);
        EXPECT_EQ(f.file.contents.size() % TDiagnosticLog::kBufferSize, 0u);
    }
    for (const size_t size : f.file.writeSizes) {
        EXPECT_EQ(size, TDiagnosticLog::kBufferSize);
    }
    f.log.Close();
    EXPECT_EQ(f.file.contents.size(), total);
    EXPECT_FALSE(f.file.open);
}

TEST(DiagnosticLog, ReopeningStartsAnEmptyFile) {
    LogFixture f;
    f.log.WriteLogLine("first run");
    f.log.Close();
    ASSERT_TRUE(f.log.Open());
    f.log.WriteLogLine("log start");
    f.log.Close();
    EXPECT_EQ(f.file.contents, "0000000000000000: log start\r");
}

// A log that cannot be created or written drops entries; the engine goes on streaming.
TEST(DiagnosticLog, FailuresDropEntriesAndNeverStopTheCaller) {
    EngineFixture f;
    f.logFile.refuseWrites = true;
    for (int i = 0; i < 10; ++i) {
        f.engine.WriteLogLine("(i) Unhandled call to void HardSID_Mute(deviceID: Byte; mute: Boolean);");
    }
    f.engine.FlushBuffer(1);
    EXPECT_EQ(f.sink.messages.size(), 1u);
    f.logFile.refuseWrites = false;
    f.engine.WriteLogLine("log end");
    f.engine.CloseLog();
    EXPECT_EQ(f.logFile.contents, "0000000000000000: log end\r") << "later entries are written again";

    ScriptedPlatform platform;
    MemoryLogFile unwritable;
    unwritable.refuseCreate = true;
    TDiagnosticLog log(platform, unwritable);
    EXPECT_FALSE(log.Open());
    log.WriteLogLine("log start");
    log.Close();
    EXPECT_TRUE(unwritable.contents.empty());
}

} // namespace
} // namespace hardsid::test

namespace hardsid::test {
namespace {

// A process that ends without unloading us still gets its last entry and a flushed file.
TEST(DiagnosticLog, ProcessExitWritesTheLastEntryAndCloses) {
    EngineFixture f;
    f.engine.StreamingEnabled = true;
    f.engine.CloseAtProcessExit("log end");
    EXPECT_FALSE(f.engine.StreamingEnabled);
    EXPECT_FALSE(f.logFile.open);
    EXPECT_EQ(f.logFile.contents, "0000000000000000: log start\r0000000000000000: log end\r");
}

} // namespace
} // namespace hardsid::test
