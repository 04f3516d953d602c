// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture_analysis.h"

#include <algorithm>
#include <tuple>

#include "asid_check.h"

namespace hardsid::monitor {

namespace {

constexpr double kMillisecondsPerSecond = 1000;

void Count(AsidType type, CaptureAnalysis& analysis) {
    switch (type) {
    case AsidType::Start: ++analysis.starts; break;
    case AsidType::Stop: ++analysis.stops; break;
    case AsidType::RegisterFrame: ++analysis.frames; break;
    case AsidType::DisplayText: ++analysis.displayTexts; break;
    case AsidType::Malformed: break;
    }
}

void AddRates(const Capture& capture, CaptureAnalysis& analysis) {
    std::optional<double> first, last, firstFrame, lastFrame;
    for (const ReceivedMessage& message : capture.messages) {
        if (!message.seconds) {
            continue;
        }
        first = first ? std::min(*first, *message.seconds) : *message.seconds;
        last = last ? std::max(*last, *message.seconds) : *message.seconds;
    }
    for (const FrameActivity& frame : analysis.activity) {
        if (frame.seconds) {
            firstFrame = firstFrame ? firstFrame : frame.seconds;
            lastFrame = frame.seconds;
        }
    }
    if (first && *last > *first) {
        analysis.spanSeconds = *last - *first;
        analysis.bytesPerSecond = static_cast<double>(analysis.totalBytes) / *analysis.spanSeconds;
    }
    if (firstFrame && *lastFrame > *firstFrame) {
        analysis.framesPerSecond = static_cast<double>(analysis.frames - 1) / (*lastFrame - *firstFrame);
    }
}

} // namespace

double MidiLinkShare(double bytesPerSecond) noexcept { return bytesPerSecond * kWireBitsPerByte / kMidiBaud; }

CaptureAnalysis AnalyseCapture(const Capture& capture) {
    CaptureAnalysis analysis;
    analysis.totalBytes = capture.totalBytes;
    analysis.malformed = capture.problems;
    ReceiverRegisters receiver;
    std::optional<double> previousFrame;
    bool started = false;
    for (const ReceivedMessage& message : capture.messages) {
        const AsidVerdict verdict = CheckAsidMessage(message.bytes);
        Count(verdict.type, analysis);
        started = started || verdict.type == AsidType::Start;
        if (verdict.type == AsidType::Malformed) {
            analysis.malformed.push_back(
                {Location{message.where.line, message.where.offset + verdict.at}, verdict.problem});
            continue;
        }
        if (verdict.type != AsidType::RegisterFrame) {
            continue;
        }
        FrameActivity frame{message.seconds, analysis.activity.size(), receiver.Apply(message.bytes), started};
        started = false;
        analysis.registerWrites += frame.writes.size();
        analysis.secondControlWrites +=
            static_cast<size_t>(std::count_if(frame.writes.begin(), frame.writes.end(),
                                              [](const RegisterWrite& w) { return w.secondControlWrite; }));
        if (message.seconds && previousFrame) {
            analysis.frameIntervalsMs.push_back((*message.seconds - *previousFrame) * kMillisecondsPerSecond);
        }
        previousFrame = message.seconds;
        analysis.activity.push_back(std::move(frame));
    }
    std::stable_sort(analysis.malformed.begin(), analysis.malformed.end(),
                     [](const CaptureProblem& a, const CaptureProblem& b) {
                         return std::tie(a.where.line, a.where.offset) < std::tie(b.where.line, b.where.offset);
                     });
    analysis.intervals = SummariseIntervals(analysis.frameIntervalsMs);
    analysis.finalRegisters = receiver.Values();
    AddRates(capture, analysis);
    return analysis;
}

} // namespace hardsid::monitor
