// SPDX-License-Identifier: GPL-2.0-or-later
// Prints what sending ASID frames through the MIDI output port costs, against the scripted
// winmm (run with WINEDLLOVERRIDES=winmm=n,b, the double beside the program):
//   - the time one SendLongMessage of a 40-byte frame takes, median and 99th percentile;
//   - the most long messages in flight while streaming 50 frames per second.
// Usage: midi_send_figures [messages, default 20000] [streaming seconds, default 5]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "midi/midi_out.h"
#include "midi_test_support.h"

namespace {

using hardsid::TMidiOutput;
using hardsid::TMyMidiHdr;

using hardsid::test::Counter;
using hardsid::test::Frequency;

struct Frame {
    uint8_t bytes[40] = {0xF0, 0x2D, 0x4E};
    Frame() { bytes[39] = 0xF7; }
};

void MeasureSendCost(const hardsid::test::WinmmDouble& winmm, int messages) {
    winmm.Configure("device Figures; delay 1000");
    TMidiOutput port(nullptr);
    if (!port.Open()) {
        std::printf("cannot open the double's device\n");
        return;
    }
    const Frame frame;
    std::vector<double> micros;
    micros.reserve(messages);
    const double perTick = 1e6 / static_cast<double>(Frequency());
    for (int i = 0; i < messages; ++i) {
        const int64_t start = Counter();
        port.SendLongMessage(frame.bytes, sizeof frame.bytes);
        micros.push_back(static_cast<double>(Counter() - start) * perTick);
        if (i % 100 == 99) {
            hardsid::test::PumpPending(); // releases, outside the timing
        }
    }
    hardsid::test::PumpUntil([] { return TMyMidiHdr::LiveCount() == 0; });
    port.Close();
    std::sort(micros.begin(), micros.end());
    std::printf("SendLongMessage, 40-byte frame, %d calls: median %.1f us, p99 %.1f us, max %.1f us\n", messages,
                micros[micros.size() / 2], micros[micros.size() * 99 / 100], micros.back());
}

void MeasureInFlight(const hardsid::test::WinmmDouble& winmm, const char* settings, int seconds) {
    winmm.Configure(settings);
    TMidiOutput port(nullptr);
    if (!port.Open()) {
        std::printf("cannot open the double's device\n");
        return;
    }
    const Frame frame;
    const int64_t period = Frequency() / 50;
    int64_t deadline = Counter();
    long most = 0;
    double total = 0;
    const int frames = seconds * 50;
    for (int i = 0; i < frames; ++i) {
        // Dispatch notices until the frame is due, as the library's loading thread would.
        for (int64_t now = Counter(); now < deadline; now = Counter()) {
            hardsid::test::PumpPending();
            const auto waitMs = static_cast<DWORD>((deadline - now) * 1000 / Frequency());
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs, QS_ALLINPUT);
        }
        deadline += period;
        port.SendLongMessage(frame.bytes, sizeof frame.bytes);
        most = std::max(most, TMyMidiHdr::LiveCount());
        total += TMyMidiHdr::LiveCount();
    }
    hardsid::test::PumpUntil([] { return TMyMidiHdr::LiveCount() == 0; });
    port.Close();
    std::printf("streaming 50 frames/s for %d s (%s): at most %ld in flight, %.2f on average right after a send\n",
                seconds, settings, most, total / frames);
}

} // namespace

int main(int argc, char** argv) {
    const int messages = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    const hardsid::test::WinmmDouble winmm;
    if (!winmm.Loaded() || messages <= 0 || seconds <= 0) {
        std::fprintf(stderr, "needs the scripted winmm.dll beside it and WINEDLLOVERRIDES=winmm=n,b;\n"
                             "usage: midi_send_figures [messages] [seconds]\n");
        return 1;
    }
    MeasureSendCost(winmm, messages);
    MeasureInFlight(winmm, "device Figures; delay 1000", seconds);
    MeasureInFlight(winmm, "device Figures; delay 1000; rate 3125", seconds);
    return 0;
}
