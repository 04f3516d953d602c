// SPDX-License-Identifier: GPL-2.0-or-later
// Capture files as a whole, and the plot drawn from them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sample_record.h"
#include "tools/asid_monitor/activity_plot.h"
#include "tools/asid_monitor/capture_analysis.h"
#include "tools/asid_monitor/capture_reader.h"

namespace hardsid::monitor {
namespace {

using test::kRecord;

class CaptureFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tools_tests_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& content) {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::filesystem::path dir_;
};

// Files that cannot be a capture are refused as a whole with a reason.
TEST_F(CaptureFile, RefusesMissingEmptyHugeAndOddFiles) {
    const std::string huge = Write("huge.syx", "");
    std::filesystem::resize_file(huge, kMaxCaptureFileSize + 1); // sparse: no disk used
    struct Case {
        std::string path;
        const char* reason;
    };
    const Case cases[] = {{(dir_ / "missing.syx").string(), "cannot open"},
                          {Write("empty.syx", ""), "empty"},
                          {huge, "MiB this tool reads"},
                          {dir_.string(), "not a regular file"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            ReadCaptureFile(c.path, CaptureFormat::Detect);
            ADD_FAILURE() << "accepted";
        } catch (const CaptureError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}

// A file that starts with a digit is a record, anything else raw bytes.
TEST_F(CaptureFile, TellsRecordsFromRawBytes) {
    EXPECT_EQ(ReadCaptureFile(Write("r.txt", kRecord), CaptureFormat::Detect).kind, "winmm record");
    EXPECT_EQ(ReadCaptureFile(Write("r.syx", "\xF0\x2D\x4C\xF7"), CaptureFormat::Detect).kind, "raw .syx");
    EXPECT_EQ(ReadCaptureFile(Write("f.syx", "1\xF0"), CaptureFormat::RawSysEx).messages.size(), 0u);
}

// gnuplot accepts the script and draws a PNG (skipped where gnuplot is not installed).
TEST_F(CaptureFile, PlotComesOutAsAPng) {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "gnuplot is not installed";
    }
    const CaptureAnalysis analysis = AnalyseCapture(ReadWinmmRecord(kRecord));
    for (const bool timed : {true, false}) {
        SCOPED_TRACE(timed ? "with time stamps" : "raw");
        const CaptureAnalysis& input =
            timed ? analysis : AnalyseCapture(ReadRawSysEx(std::vector<uint8_t>{0xF0, 0x2D, 0x4C, 0xF7}));
        const std::string png = (dir_ / (timed ? "it's timed.png" : "raw.png")).string();
        WritePlot(input, "capture 'quoted'", png);
        std::ifstream in(png, std::ios::binary);
        char signature[8] = {};
        in.read(signature, sizeof signature);
        EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    }
}

} // namespace
} // namespace hardsid::monitor
