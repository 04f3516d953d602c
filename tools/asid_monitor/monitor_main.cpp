// SPDX-License-Identifier: GPL-2.0-or-later
// Checks and summarises the ASID messages a MIDI device received.
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "activity_plot.h"
#include "capture_analysis.h"
#include "capture_reader.h"
#include "monitor_report.h"
#include "play_call_check.h"
#include "tools/trace/trace_file.h"
#include "tools/tune/default_tune.h"

namespace {

constexpr int kExitMalformed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnreadable = 3;
constexpr int kExitPlotFailed = 4;

constexpr const char* kUsage =
    "usage: asid_monitor [--raw | --record] [--plot FILE.png] [--trace TRACE [--seconds S]] CAPTURE\n"
    "Checks every System Exclusive message in CAPTURE (a raw .syx file, or the record of the\n"
    "scripted winmm; told apart by the first byte unless --raw or --record says), rebuilds the\n"
    "receiver's SID registers and prints a summary.\n"
    "  --plot FILE.png  also draw the frame interval histogram and the register activity\n"
    "  --trace TRACE    the register trace the player played (\"default\": the default tune),\n"
    "                   its first S seconds with --seconds: counts the play calls that\n"
    "                   arrived split across frames or lost\n"
    "Exit status: 0 all well-formed, 1 malformed messages or stray bytes, 2 usage,\n"
    "3 capture unreadable or empty, 4 plot failed.\n";

} // namespace

int main(int argc, char** argv) {
    using namespace hardsid::monitor;
    CaptureFormat format = CaptureFormat::Detect;
    std::string plotPath;
    std::string capturePath;
    std::string tracePath;
    double traceSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--raw") {
            format = CaptureFormat::RawSysEx;
        } else if (arg == "--record") {
            format = CaptureFormat::WinmmRecord;
        } else if (arg == "--plot" && i + 1 < argc) {
            plotPath = argv[++i];
        } else if (arg == "--trace" && i + 1 < argc) {
            tracePath = argv[++i];
        } else if (arg == "--seconds" && i + 1 < argc) {
            traceSeconds = std::strtod(argv[++i], nullptr);
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg.starts_with("-") || !capturePath.empty()) {
            std::cerr << "asid_monitor: unexpected argument '" << arg << "'\n" << kUsage;
            return kExitUsage;
        } else {
            capturePath = arg;
        }
    }
    if (capturePath.empty()) {
        std::cerr << kUsage;
        return kExitUsage;
    }

    Capture capture;
    try {
        capture = ReadCaptureFile(capturePath, format);
    } catch (const CaptureError& e) {
        std::cerr << "asid_monitor: " << e.what() << '\n';
        return kExitUnreadable;
    }
    const CaptureAnalysis analysis = AnalyseCapture(capture);
    PrintReport(std::cout, capturePath, capture, analysis);
    if (!tracePath.empty()) {
        try {
            hardsid::trace::Trace trace =
                tracePath == "default" ? hardsid::tune::ComposeDefaultTune() : hardsid::trace::LoadTraceFile(tracePath);
            if (traceSeconds > 0) {
                trace = hardsid::trace::CutTrace(trace, static_cast<uint64_t>(traceSeconds * 1e6));
            }
            std::vector<TracedWrite> writes;
            for (const hardsid::trace::TraceRecord& record : trace.records) {
                writes.push_back({record.cycles, record.reg, record.value});
            }
            std::vector<ArrivedFrame> frames;
            for (const FrameActivity& frame : analysis.activity) {
                frames.push_back({frame.writes, frame.afterStart});
            }
            const PlayCallFigures calls = CheckPlayCalls(writes, frames);
            std::cout << "play calls: " << calls.playCalls << ", split across frames: " << calls.split
                      << ", lost: " << calls.lost << '\n';
            if (calls.unmatched != 0) {
                std::cout << "frames that match no stretch of the trace: " << calls.unmatched << '\n';
            }
        } catch (const std::exception& e) {
            std::cerr << "asid_monitor: " << tracePath << ": " << e.what() << '\n';
            return kExitUnreadable;
        }
    }

    if (!plotPath.empty()) {
        try {
            WritePlot(analysis, capturePath, plotPath);
            std::cout << "plot: " << plotPath << '\n';
        } catch (const PlotError& e) {
            std::cerr << "asid_monitor: " << e.what() << '\n';
            return kExitPlotFailed;
        }
    }
    if (capture.messages.empty() && analysis.malformed.empty()) {
        std::cerr << "asid_monitor: " << capturePath << ": no System Exclusive message in it\n";
        return kExitMalformed;
    }
    return analysis.malformed.empty() ? 0 : kExitMalformed;
}
