// SPDX-License-Identifier: GPL-2.0-or-later
#include "render_schedules.h"

#include <algorithm>

#include "asid_check.h"

namespace hardsid::monitor {

namespace {
constexpr double kSecondsPerTraceCycle = 1e-6;
}

ReceivedSchedule ScheduleReceivedFrames(const Capture& capture, const CaptureAnalysis& analysis) {
    if (!analysis.malformed.empty()) {
        throw ScheduleError("the capture holds " + std::to_string(analysis.malformed.size()) +
                            " malformed message(s) or stray bytes; a receiver's sound cannot be told from it");
    }
    if (analysis.activity.empty()) {
        throw ScheduleError("the capture holds no register frame: nothing to render");
    }
    ReceivedSchedule result;
    WriteSchedule& schedule = result.schedule;
    // Every message occupies the cable, in the order sent; a frame plays once all of it is in.
    double cableFree = 0, delaySum = 0, last = 0;
    std::optional<double> zero;
    size_t frame = 0;
    for (const ReceivedMessage& message : capture.messages) {
        const double sent = capture.hasTimeStamps && message.seconds
                                ? *message.seconds
                                : static_cast<double>(frame) * kUntimedFrameSeconds;
        const double arrived = std::max(cableFree, sent) + static_cast<double>(message.bytes.size()) * kCableSecondsPerByte;
        cableFree = arrived;
        last = std::max(last, arrived);
        if (CheckAsidMessage(message.bytes).type != AsidType::RegisterFrame) {
            continue;
        }
        if (!zero) {
            zero = sent;
        }
        const double delayMs = (arrived - sent) * 1e3;
        delaySum += delayMs;
        result.maxCableDelayMs = std::max(result.maxCableDelayMs, delayMs);
        for (const RegisterWrite& w : analysis.activity[frame].writes) {
            schedule.writes.push_back({arrived - *zero, 0, static_cast<uint8_t>(w.reg), w.value});
        }
        ++frame;
    }
    result.meanCableDelayMs = delaySum / static_cast<double>(frame);
    schedule.endSeconds = last - *zero + kTailSeconds;
    return result;
}

WriteSchedule ScheduleTrace(const trace::Trace& trace) {
    WriteSchedule schedule;
    uint64_t cycle = 0;
    for (const trace::TraceRecord& r : trace.records) {
        cycle += r.cycles;
        schedule.writes.push_back({static_cast<double>(cycle) * kSecondsPerTraceCycle, 0, r.reg, r.value});
    }
    schedule.endSeconds = static_cast<double>(trace::NominalCycles(trace)) * kSecondsPerTraceCycle;
    return schedule;
}

} // namespace hardsid::monitor
