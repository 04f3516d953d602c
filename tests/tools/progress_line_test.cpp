// SPDX-License-Identifier: GPL-2.0-or-later
// The replay host's progress line: redrawn in place on a terminal, plain lines in a log, and
// drawn from a thread of its own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/replay_host/progress_line.h"

namespace hardsid::replay {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressLine::Clock;
using Style = ProgressLine::Style;

constexpr uint64_t kTwentySeconds = 20'000'000;

// A file that a second reader sees while the line writes to it.
class OutputFile {
public:
    OutputFile() {
        char name[] = "/tmp/progress_line_test.XXXXXX";
        const int fd = ::mkstemp(name);
        path_ = name;
        out_ = ::fdopen(fd, "w");
    }
    ~OutputFile() {
        std::fclose(out_);
        std::remove(path_.c_str());
    }
    std::FILE* Stream() const { return out_; }
    std::string Text() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::string path_;
    std::FILE* out_ = nullptr;
};

// Updates every 100 ms of wall time with the trace position equal to the wall time.
std::string Play(Style style, Clock::duration length) {
    OutputFile file;
    const Clock::time_point start{1h};
    ProgressLine line(file.Stream(), style, kTwentySeconds, start);
    for (Clock::duration t{}; t < length; t += 100ms) {
        line.Update(std::chrono::duration_cast<std::chrono::microseconds>(t).count(), start + t);
    }
    line.Finish(std::chrono::duration_cast<std::chrono::microseconds>(length).count(), start + length);
    return file.Text();
}

TEST(ProgressLine, RedrawsOnATerminalAndPrintsPlainLinesInALog) {
    struct Case {
        Style style;
        Clock::duration length;
        long redraws;     // carriage returns
        long lineEnds;    // newlines
        std::string last; // what the output ends with
    };
    const std::vector<Case> cases = {
        // Four redraws a second, one line ended at the finish.
        {Style::Redraw, 1s, 4 + 1, 1, "\r   1.00 s / 20.00 s  (wall 1.00 s)\n"},
        // A log: a line at the start, every five seconds, and at the finish; never a \r.
        {Style::PlainLines, 12s, 0, 3 + 1, "\n  12.00 s / 20.00 s  (wall 12.00 s)\n"},
        {Style::PlainLines, 100ms, 0, 1 + 1, "\n   0.10 s / 20.00 s  (wall 0.10 s)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style == Style::Redraw ? "redraw" : "plain lines");
        const std::string text = Play(c.style, c.length);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), c.redraws) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.lineEnds) << text;
        ASSERT_GE(text.size(), c.last.size());
        EXPECT_EQ(text.substr(text.size() - c.last.size()), c.last);
    }
}

// The playing thread only reports; the drawing thread shows the reports and stops at the finish.
TEST(ProgressThread, ShowsReportedPositionsAndEndsTheLineAtTheFinish) {
    OutputFile file;
    ProgressLine line(file.Stream(), Style::Redraw, kTwentySeconds, Clock::now());
    ProgressThread progress(line);
    progress.Report(3'000'000);
    const auto deadline = Clock::now() + 10s;
    while (file.Text().find("   3.00 s / 20.00 s") == std::string::npos && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_NE(file.Text().find("   3.00 s / 20.00 s"), std::string::npos) << file.Text();

    progress.Finish(4'000'000);
    const std::string text = file.Text();
    const std::string last = "\r   4.00 s / 20.00 s  (wall ";
    ASSERT_NE(text.rfind(last), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line, ended once at the finish: " << text;
    // Nothing is drawn after the finish.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(file.Text(), text);
}

} // namespace
} // namespace hardsid::replay
