// SPDX-License-Identifier: GPL-2.0-or-later
// Writes the default tune as a register trace, so people can read it, edit it and replay it.
#include <iostream>
#include <string>
#include <string_view>

#include "default_tune.h"
#include "tools/trace/trace_file.h"
#include "tools/trace/trace_text.h"

namespace {

constexpr const char* kUsage =
    "usage: tune_tool [--binary] [--output FILE]\n"
    "Writes the default tune as a register trace: text to standard output unless told\n"
    "otherwise; --binary writes the compact form and needs --output.\n";

} // namespace

int main(int argc, char** argv) {
    using namespace hardsid;
    bool binary = false;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--binary") {
            binary = true;
        } else if ((arg == "--output" || arg == "-o") && i + 1 < argc) {
            output = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "tune_tool: unknown argument '" << arg << "'\n" << kUsage;
            return 2;
        }
    }
    if (binary && output.empty()) {
        std::cerr << "tune_tool: --binary needs --output FILE\n";
        return 2;
    }
    const trace::Trace tune = tune::ComposeDefaultTune();
    try {
        if (output.empty()) {
            std::cout << trace::FormatTraceText(tune, tune::DefaultTuneDescription());
            return std::cout.flush() ? 0 : 1;
        }
        trace::SaveTraceFile(output, tune, binary ? trace::TraceFormat::Binary : trace::TraceFormat::Text,
                             tune::DefaultTuneDescription());
    } catch (const trace::TraceError& e) {
        std::cerr << "tune_tool: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
