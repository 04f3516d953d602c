// SPDX-License-Identifier: GPL-2.0-or-later
// Checks and summarises the ASID messages a MIDI device received.
#include <cstdlib>
#include <future>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "activity_plot.h"
#include "capture_analysis.h"
#include "capture_reader.h"
#include "monitor_report.h"
#include "play_call_check.h"
#include "render_report.h"
#include "render_schedules.h"
#include "sid_render.h"
#include "sound_compare.h"
#include "spectrogram_plot.h"
#include "tools/trace/trace_file.h"
#include "tools/tune/default_tune.h"
#include "wav_file.h"

namespace {

constexpr int kExitMalformed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnreadable = 3;
constexpr int kExitPlotFailed = 4;
constexpr int kExitRenderFailed = 5;

constexpr const char* kUsage =
    "usage: asid_monitor [--raw | --record] [--plot FILE.png] [--wav FILE.wav]\n"
    "                    [--trace TRACE | --default-tune] [--seconds S] [--reference-wav FILE.wav]\n"
    "                    [--spectrogram FILE.png] [--chip 6581|8580] CAPTURE\n"
    "Checks every System Exclusive message in CAPTURE (a raw .syx file, or the record of the\n"
    "scripted winmm; told apart by the first byte unless --raw or --record says), rebuilds the\n"
    "receiver's SID registers and prints a summary.\n"
    "  --plot FILE.png         also draw the frame interval histogram and the register activity\n"
    "  --wav FILE.wav          render what a receiver that plays each frame on arrival sounds like\n"
    "  --trace TRACE           the register trace the player played (text or binary; \"default\":\n"
    "                          the default tune): counts the play calls that arrived split\n"
    "                          across frames or lost\n"
    "  --default-tune          the same as --trace default\n"
    "  --seconds S             only the trace's first S seconds count for the play calls\n"
    "  --reference-wav FILE.wav  render that trace at its own cycles\n"
    "  --spectrogram FILE.png  draw both renderings' spectrograms (needs both WAVs)\n"
    "  --chip 6581|8580        the emulated chip (reSIDfp), 6581 unless told\n"
    "With both WAVs it prints their level difference and spectral distance per second.\n"
    "Exit status: 0 all well-formed, 1 malformed messages or stray bytes, 2 usage,\n"
    "3 capture or trace unreadable or empty, 4 plot failed, 5 rendering refused or failed.\n";

struct RenderOptions {
    std::string wav, referenceWav, spectrogram, trace;
    bool defaultTune = false;
    hardsid::monitor::ChipModel chip = hardsid::monitor::ChipModel::Mos6581;
    bool Any() const { return !wav.empty() || !referenceWav.empty() || !spectrogram.empty(); }
};

// Renders what was asked, the two side by side; returns the exit status.
int RenderAndCompare(const RenderOptions& o, const hardsid::monitor::Capture& capture,
                     const hardsid::monitor::CaptureAnalysis& analysis, const std::string& capturePath) {
    using namespace hardsid;
    using namespace hardsid::monitor;
    std::optional<trace::Trace> trace;
    if (!o.referenceWav.empty()) {
        try {
            trace = o.defaultTune ? tune::ComposeDefaultTune() : trace::LoadTraceFile(o.trace);
        } catch (const trace::TraceError& e) {
            std::cerr << "asid_monitor: " << e.what() << '\n';
            return kExitUnreadable;
        }
    }
    std::optional<ReceivedSchedule> received;
    if (!o.wav.empty()) {
        try {
            received = ScheduleReceivedFrames(capture, analysis);
        } catch (const ScheduleError& e) {
            std::cerr << "asid_monitor: " << capturePath << ": not rendered: " << e.what() << '\n';
            return kExitRenderFailed;
        }
    }
    try {
        std::future<Rendering> reference;
        if (trace) {
            reference = std::async(std::launch::async, [&] { return RenderSchedule(ScheduleTrace(*trace), o.chip); });
        }
        std::optional<Rendering> heard;
        if (received) {
            heard = RenderSchedule(received->schedule, o.chip);
            PrintCableDelay(std::cout, *received);
            PrintRendering(std::cout, "received", *heard, o.chip, o.wav);
            WriteWavFile(o.wav, heard->pcm);
        }
        std::optional<Rendering> played;
        if (trace) {
            played = reference.get();
            PrintRendering(std::cout, "reference", *played, o.chip, o.referenceWav);
            WriteWavFile(o.referenceWav, played->pcm);
        }
        if (heard && played) {
            PrintComparison(std::cout, CompareSounds(heard->pcm, played->pcm));
        }
        if (!o.spectrogram.empty()) {
            WriteSpectrogram({&heard->pcm, "received: what a receiver playing frames on arrival gives"},
                             {&played->pcm, "reference: the trace at its cycles"}, o.spectrogram);
            std::cout << "spectrogram: " << o.spectrogram << '\n';
        }
    } catch (const RenderError& e) {
        std::cerr << "asid_monitor: " << e.what() << '\n';
        return kExitRenderFailed;
    } catch (const WavError& e) {
        std::cerr << "asid_monitor: " << e.what() << '\n';
        return kExitRenderFailed;
    } catch (const PlotError& e) {
        std::cerr << "asid_monitor: " << e.what() << '\n';
        return kExitPlotFailed;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    using namespace hardsid::monitor;
    CaptureFormat format = CaptureFormat::Detect;
    std::string plotPath;
    std::string capturePath;
    RenderOptions render;
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
        } else if (arg == "--wav" && i + 1 < argc) {
            render.wav = argv[++i];
        } else if (arg == "--reference-wav" && i + 1 < argc) {
            render.referenceWav = argv[++i];
        } else if (arg == "--spectrogram" && i + 1 < argc) {
            render.spectrogram = argv[++i];
        } else if (arg == "--trace" && i + 1 < argc) {
            tracePath = argv[++i];
            render.trace = tracePath;
            render.defaultTune = tracePath == "default";
        } else if (arg == "--default-tune") {
            tracePath = "default";
            render.defaultTune = true;
        } else if (arg == "--seconds" && i + 1 < argc) {
            traceSeconds = std::strtod(argv[++i], nullptr);
        } else if (arg == "--chip" && i + 1 < argc && (std::string_view(argv[i + 1]) == "6581" || std::string_view(argv[i + 1]) == "8580")) {
            render.chip = std::string_view(argv[++i]) == "8580" ? ChipModel::Mos8580 : ChipModel::Mos6581;
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
    const char* misuse = nullptr;
    if (!render.referenceWav.empty() && render.trace.empty() == !render.defaultTune) {
        misuse = "--reference-wav needs one of --trace TRACE and --default-tune";
    } else if (!render.spectrogram.empty() && (render.wav.empty() || render.referenceWav.empty())) {
        misuse = "--spectrogram needs both --wav and --reference-wav";
    }
    if (misuse != nullptr) {
        std::cerr << "asid_monitor: " << misuse << '\n' << kUsage;
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
    if (render.Any()) {
        if (const int status = RenderAndCompare(render, capture, analysis, capturePath); status != 0) {
            return status;
        }
    }
    if (capture.messages.empty() && analysis.malformed.empty()) {
        std::cerr << "asid_monitor: " << capturePath << ": no System Exclusive message in it\n";
        return kExitMalformed;
    }
    return analysis.malformed.empty() ? 0 : kExitMalformed;
}
