// SPDX-License-Identifier: GPL-2.0-or-later
// Trace files: the form is told by the first bytes, and errors name the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tools/trace/trace_file.h"

namespace hardsid::trace {
namespace {

class TraceFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("trace_file_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

// A trace saved in either form loads back unchanged, whatever the file is called.
TEST_F(TraceFile, SavesAndLoadsBothForms) {
    const Trace trace{{{19656, 4, 0x41}, {6, 24, 0x1F}, {70000, 0, 0}}, 123};
    SaveTraceFile(Path("t.bin"), trace, TraceFormat::Text, "header");
    SaveTraceFile(Path("t.txt"), trace, TraceFormat::Binary);
    EXPECT_EQ(LoadTraceFile(Path("t.bin")), trace);
    EXPECT_EQ(LoadTraceFile(Path("t.txt")), trace);
}

// Errors start with the path, then say what went wrong and where.
TEST_F(TraceFile, ErrorsNameTheFile) {
    {
        std::ofstream(Path("bad.txt")) << "1 2 3\n1 2 999\n";
    }
    struct Case {
        std::string path;
        std::string error;
    };
    const Case cases[] = {
        {Path("bad.txt"), Path("bad.txt") + ": line 2: value '999' is out of range (0..255)"},
        {Path("missing.txt"), Path("missing.txt") + ": cannot open"},
        {dir_.string(), dir_.string() + ": not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            LoadTraceFile(c.path);
            ADD_FAILURE() << "accepted";
        } catch (const TraceError& e) {
            EXPECT_EQ(e.what(), c.error);
        }
    }
    EXPECT_THROW(SaveTraceFile((dir_ / "no" / "such" / "dir").string(), Trace{}, TraceFormat::Text), TraceError);
}

} // namespace
} // namespace hardsid::trace
