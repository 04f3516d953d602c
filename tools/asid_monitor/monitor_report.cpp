// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor_report.h"

#include <cstdio>

namespace hardsid::monitor {

std::string FormatFigure(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

namespace {

void PrintRates(std::ostream& out, const Capture& capture, const CaptureAnalysis& a) {
    if (!capture.hasTimeStamps) {
        out << "rates: n/a (a " << capture.kind << " has no time stamps)\n";
        return;
    }
    out << "frames per second: " << (a.framesPerSecond ? FormatFigure("%.3f", *a.framesPerSecond) : "n/a") << '\n';
    if (a.bytesPerSecond) {
        out << "bytes per second: " << FormatFigure("%.1f", *a.bytesPerSecond) << " over "
            << FormatFigure("%.3f", *a.spanSeconds) << " s, "
            << FormatFigure("%.1f", 100 * MidiLinkShare(*a.bytesPerSecond)) << " % of a 31250-baud MIDI link\n";
    } else {
        out << "bytes per second: n/a (all messages at one instant)\n";
    }
    if (a.intervals.count == 0) {
        out << "frame interval: n/a (fewer than two frames)\n";
        return;
    }
    out << "frame interval (ms, " << a.intervals.count << " intervals): mean " << FormatFigure("%.3f", a.intervals.mean)
        << ", median " << FormatFigure("%.3f", a.intervals.median) << ", p99 " << FormatFigure("%.3f", a.intervals.p99)
        << ", max " << FormatFigure("%.3f", a.intervals.max) << '\n';
}

} // namespace

void PrintReport(std::ostream& out, const std::string& name, const Capture& capture, const CaptureAnalysis& a) {
    out << name << " (" << capture.kind << "): " << capture.messages.size() << " messages, " << a.totalBytes
        << " bytes\n";
    out << "messages by type: " << a.frames << " register frame, " << a.starts << " start, " << a.stops << " stop, "
        << a.displayTexts << " display text, " << a.malformed.size() << " malformed\n";
    if (capture.refusedSends != 0) {
        out << "sends refused by the device: " << capture.refusedSends << '\n';
    }
    out << "frames: " << a.frames << ", register writes: " << a.registerWrites
        << " (second control writes: " << a.secondControlWrites << ")\n";
    PrintRates(out, capture, a);
    out << "registers at the end:";
    for (size_t reg = 0; reg < a.finalRegisters.size(); ++reg) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(a.finalRegisters[reg]));
        out << (reg % 7 == 0 ? "\n  " : " ") << hex; // a row per voice, then the filter
    }
    out << '\n';
    if (a.malformed.empty()) {
        out << "malformed: none\n";
        return;
    }
    out << "malformed:\n";
    for (size_t i = 0; i < a.malformed.size() && i < kMaxListedProblems; ++i) {
        out << "  " << a.malformed[i].where.Text() << ": " << a.malformed[i].what << '\n';
    }
    if (a.malformed.size() > kMaxListedProblems) {
        out << "  ... and " << (a.malformed.size() - kMaxListedProblems) << " more\n";
    }
}

} // namespace hardsid::monitor
