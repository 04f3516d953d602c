// SPDX-License-Identifier: GPL-2.0-or-later
// Replays a register trace through hardsid.dll as a SID player would, and reports how well
// the library kept time.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "hardsid_library.h"
#include "library_calls.h"
#include "player_driver.h"
#include "progress_line.h"
#include "replay_options.h"
#include "thread_times.h"
#include "tools/trace/trace_file.h"
#include "tools/tune/default_tune.h"
#include "trace_replayer.h"

namespace {

using namespace hardsid;

constexpr int kExitTraceUnreadable = 1;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;
constexpr uint64_t kProgressStepCycles = 50'000; // how often Ctrl+C and the line are looked at
constexpr double kCyclesPerSecond = 1e6;

// The console handler runs on a thread of its own and can reach nothing else.
std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        interrupted = true;
        return TRUE; // stop between two calls, then end as the player does
    }
    return FALSE;
}

// A console or a terminal is a character device; a log file or a pipe is not, and there a
// carriage return would only pile the updates onto one endless line.
replay::ProgressLine::Style ProgressStyleOfStdout() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const bool terminal = out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) == FILE_TYPE_CHAR;
    return terminal ? replay::ProgressLine::Style::Redraw : replay::ProgressLine::Style::PlainLines;
}

struct Timing {
    uint64_t cycles = 0;
    double wallSeconds = 0;
    double processorSeconds = -1; ///< of the replaying thread; negative when unknown
    bool completed = false;
};

// Everything between load and free of the library; the library is freed when this returns,
// unless the player is one that never frees it.
Timing Replay(const trace::Trace& trace, replay::PlayerFamily family, bool quiet) {
    replay::HardSidLibrary library = replay::HardSidLibrary::LoadBesideProgram();
    replay::LibraryCalls calls(library.Calls());
    const std::unique_ptr<replay::PlayerDriver> player = replay::MakePlayerDriver(family);
    try {
        const std::string note = player->Start(calls);
        std::printf("%s: %s\n", library.Path().c_str(), note.empty() ? "loaded" : note.c_str());
    } catch (const replay::PlayerRefusal& e) {
        throw replay::PlayerRefusal(e.ExitCode(), library.Path() + ": " + e.what());
    }

    const auto start = replay::ProgressLine::Clock::now();
    replay::ProgressLine line(stdout, ProgressStyleOfStdout(), trace::NominalCycles(trace), start);
    std::optional<replay::ProgressThread> progress;
    if (!quiet) {
        progress.emplace(line);
    }
    const double processorAtStart = replay::ThreadProcessorSeconds();
    const replay::ReplayOutcome outcome =
        player->Play(trace, calls, kProgressStepCycles, [&](uint64_t position) {
            if (progress) {
                progress->Report(position);
            }
            return !interrupted;
        });
    const auto end = replay::ProgressLine::Clock::now();
    const double processorAtEnd = replay::ThreadProcessorSeconds();
    if (progress) {
        progress->Finish(outcome.cycles);
    }
    player->Finish(calls);
    if (!player->FreesLibrary()) {
        library.KeepLoaded();
    }
    const double processor = processorAtStart >= 0 && processorAtEnd >= 0 ? processorAtEnd - processorAtStart : -1;
    return {outcome.cycles, std::chrono::duration<double>(end - start).count(), processor, outcome.completed};
}

} // namespace

int main(int argc, char** argv) {
    replay::ReplayOptions options;
    try {
        options = replay::ParseReplayOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "replay_host: %s\n%s", e.what(), replay::kReplayUsage);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(replay::kReplayUsage, stdout);
        return 0;
    }

    trace::Trace trace;
    try {
        trace = options.tracePath.empty() ? tune::ComposeDefaultTune() : trace::LoadTraceFile(options.tracePath);
    } catch (const trace::TraceError& e) {
        std::fprintf(stderr, "replay_host: %s\n", e.what());
        return kExitTraceUnreadable;
    }
    if (options.maxCycles) {
        trace = trace::CutTrace(trace, *options.maxCycles);
    }
    const double nominal = static_cast<double>(trace::NominalCycles(trace)) / kCyclesPerSecond;
    std::printf("trace: %s, %zu writes, %.3f s\n",
                options.tracePath.empty() ? "default tune" : options.tracePath.c_str(), trace.records.size(),
                nominal);
    if (options.player != replay::PlayerFamily::Replay) {
        std::printf("player: %s-style calls\n", replay::PlayerFamilyName(options.player));
    }

    // A library that fails to load must give an error code, not a system dialog box.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    Timing timing;
    try {
        timing = Replay(trace, options.player, options.quiet);
    } catch (const replay::LibraryError& e) {
        std::fprintf(stderr, "replay_host: %s\n", e.what());
        return e.ExitCode();
    } catch (const replay::PlayerRefusal& e) {
        std::fprintf(stderr, "replay_host: %s\n", e.what());
        return e.ExitCode();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "replay_host: %s\n", e.what());
        return kExitFailed;
    }

    const double played = static_cast<double>(timing.cycles) / kCyclesPerSecond;
    if (played > 0) {
        const double ratio = timing.wallSeconds / played;
        std::printf("wall %.3f s for %.3f s of trace: ratio %.5f (%+.3f %%)\n", timing.wallSeconds, played, ratio,
                    (ratio - 1) * 100);
        if (timing.processorSeconds >= 0) {
            std::printf("processor time of the replaying thread: %.3f s for %.3f s of trace: %.1f ms per second\n",
                        timing.processorSeconds, played, timing.processorSeconds / played * 1000);
        }
    }
    if (!timing.completed) {
        std::printf("interrupted\n");
        return kExitInterrupted;
    }
    return 0;
}
