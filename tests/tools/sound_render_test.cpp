// SPDX-License-Identifier: GPL-2.0-or-later
// Rendering what a receiver plays and what the player wrote: pitch, timing, silence, refusals,
// the WAV file and the comparison figures. Nothing listens: the tests measure the samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "tools/asid_monitor/capture_analysis.h"
#include "tools/asid_monitor/capture_reader.h"
#include "tools/asid_monitor/receiver_registers.h"
#include "tools/asid_monitor/render_schedules.h"
#include "tools/asid_monitor/sid_render.h"
#include "tools/asid_monitor/sound_compare.h"
#include "tools/asid_monitor/spectrogram_plot.h"
#include "tools/asid_monitor/spectrum.h"
#include "tools/asid_monitor/wav_file.h"
#include "tools/trace/trace.h"
#include "tools/tune/sid_pitch.h"

namespace hardsid::monitor {
namespace {

constexpr double kNoteSeconds = 0.5;

// Magnitude of the Hann-windowed segment's spectrum at one frequency.
double MagnitudeAt(const std::vector<double>& x, int rate, double hz) {
    std::complex<double> sum = 0;
    const double n = static_cast<double>(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / n);
        sum += w * x[i] * std::polar(1.0, -2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
    }
    return std::abs(sum);
}

// The strongest partial between 50 Hz and 5 kHz (a triangle's is its fundamental): the peak
// bin of a 16384-point spectrum, refined by a ternary search to a thousandth of a hertz.
double FundamentalHz(const std::vector<int16_t>& pcm, int channels, int channel, int rate, double from) {
    constexpr size_t kSize = 16384;
    std::vector<double> x;
    std::vector<float> samples;
    for (auto i = static_cast<size_t>(from * rate); x.size() < kSize; ++i) {
        x.push_back(pcm[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)]);
        samples.push_back(static_cast<float>(x.back()));
    }
    const std::vector<double> db = PowerSpectrumDb(samples, 0, kSize);
    const double binHz = static_cast<double>(rate) / kSize;
    const auto first = static_cast<ptrdiff_t>(50 / binHz), last = static_cast<ptrdiff_t>(5000 / binHz);
    const double peakHz = static_cast<double>(std::max_element(db.begin() + first, db.begin() + last) - db.begin()) * binHz;
    double lo = peakHz - binHz, hi = peakHz + binHz;
    while (hi - lo > 1e-3) {
        const double a = lo + (hi - lo) / 3, b = hi - (hi - lo) / 3;
        if (MagnitudeAt(x, rate, a) < MagnitudeAt(x, rate, b)) {
            lo = a;
        } else {
            hi = b;
        }
    }
    return (lo + hi) / 2;
}

double NoteHz(int note) { return tune::SidFrequency(note) * static_cast<double>(tune::kPalClockHz) / (1 << 24); }

double Cents(double measured, double wanted) { return 1200 * std::log2(measured / wanted); }

// First sample where a rendering departs from the same one without the note's gate: the
// chip's volume step, the same in both, drops out.
double OnsetSeconds(const Pcm& pcm, const Pcm& ungated) {
    for (size_t i = 0; i < pcm.samples.size() && i < ungated.samples.size(); ++i) {
        if (std::abs(pcm.samples[i] - ungated.samples[i]) > 100) {
            return static_cast<double>(i / static_cast<size_t>(pcm.channels)) / pcm.rate;
        }
    }
    return -1;
}

WriteSchedule Ungated(WriteSchedule s) {
    for (TimedWrite& w : s.writes) {
        if (w.reg == 4) {
            w.value &= 0xFE;
        }
    }
    return s;
}

// Triangle notes, kNoteSeconds each, starting at 0.5 s: voice 1, instant attack, full sustain.
trace::Trace NotesTrace(const std::vector<int>& notes) {
    trace::Trace t;
    auto write = [&](uint32_t cycles, uint8_t reg, uint8_t value) { t.records.push_back({cycles, reg, value}); };
    write(0, 24, 0x0F);
    write(10, 5, 0x00);
    write(10, 6, 0xF0);
    uint32_t gap = 500000;
    for (const int note : notes) {
        const uint16_t f = tune::SidFrequency(note);
        write(gap, 0, static_cast<uint8_t>(f));
        write(10, 1, static_cast<uint8_t>(f >> 8));
        write(10, 4, 0x11);
        gap = static_cast<uint32_t>(kNoteSeconds * 1e6) - 20;
    }
    t.endCycles = gap;
    return t;
}

// A record line of the scripted winmm carrying one register frame built from writes.
std::string FrameLine(uint64_t micros, const std::vector<std::pair<int, uint8_t>>& writes) {
    uint8_t masks[4] = {}, high[4] = {};
    uint8_t values[28] = {};
    for (const auto& [reg, value] : writes) {
        for (int slot = 0; slot < kFirstSecondSlot; ++slot) {
            if (kRegisterOfSlot[static_cast<size_t>(slot)] == reg) {
                masks[slot / 7] |= static_cast<uint8_t>(1 << (slot % 7));
                high[slot / 7] |= static_cast<uint8_t>((value >> 7) << (slot % 7));
                values[slot] = value & 0x7F;
            }
        }
    }
    std::string hex = "F02D4E";
    char byte[3];
    for (const uint8_t m : masks) { std::snprintf(byte, sizeof byte, "%02X", m); hex += byte; }
    for (const uint8_t h : high) { std::snprintf(byte, sizeof byte, "%02X", h); hex += byte; }
    for (int slot = 0; slot < 28; ++slot) {
        if ((masks[slot / 7] >> (slot % 7)) & 1) { std::snprintf(byte, sizeof byte, "%02X", values[slot]); hex += byte; }
    }
    hex += "F7";
    return std::to_string(micros) + " midiOutLongMsg handle=1 header=0x10 length=" + std::to_string(hex.size() / 2) +
           " result=0 data=" + hex + "\n";
}

// A note's pitch is the oscillator's at the chip's clock, for both chips, in the reference
// and in what a receiver plays from the frames.
TEST(SoundRender, NotesSoundAtTheirPitch) {
    const std::vector<int> notes = {57, 69, 76}; // A3, A4, E5
    const trace::Trace trace = NotesTrace(notes);

    std::string record = "0 start frequency=1000000 process=7\n";
    for (size_t i = 0; i < notes.size(); ++i) {
        const uint16_t f = tune::SidFrequency(notes[i]);
        std::vector<std::pair<int, uint8_t>> writes = {{0, static_cast<uint8_t>(f)}, {1, static_cast<uint8_t>(f >> 8)}, {4, 0x11}};
        if (i == 0) {
            writes.insert(writes.begin(), {{5, 0x00}, {6, 0xF0}, {24, 0x0F}});
            record += FrameLine(1000, {}); // time zero: the first frame's send
        }
        record += FrameLine(1000 + 500000 + static_cast<uint64_t>(i * kNoteSeconds * 1e6), writes);
    }
    record += FrameLine(1000 + 500000 + static_cast<uint64_t>(notes.size() * kNoteSeconds * 1e6), {});
    const Capture capture = ReadWinmmRecord(record);
    const CaptureAnalysis analysis = AnalyseCapture(capture);
    ASSERT_TRUE(analysis.malformed.empty());
    const WriteSchedule received = ScheduleReceivedFrames(capture, analysis).schedule;

    for (const ChipModel chip : {ChipModel::Mos6581, ChipModel::Mos8580}) {
        for (const WriteSchedule& schedule : {ScheduleTrace(trace), received}) {
            SCOPED_TRACE(chip == ChipModel::Mos8580 ? "8580" : "6581");
            SCOPED_TRACE(schedule.writes.size());
            const Rendering r = RenderSchedule(schedule, chip);
            EXPECT_EQ(r.image.droppedWrites, 0u);
            for (size_t i = 0; i < notes.size(); ++i) {
                SCOPED_TRACE(notes[i]);
                const double from = 0.5 + static_cast<double>(i) * kNoteSeconds + 0.05;
                const double hz = FundamentalHz(r.pcm.samples, r.pcm.channels, 0, r.pcm.rate, from);
                EXPECT_NEAR(Cents(hz, NoteHz(notes[i])), 0, 3) << hz << " Hz";
            }
        }
    }
}

// Writes land at their time: a note starts when its write is due, and a frame plays when its
// last byte has crossed the cable, after the frames queued before it.
TEST(SoundRender, WritesLandAtTheirTime) {
    const WriteSchedule trace = ScheduleTrace(NotesTrace({69}));
    const Rendering reference = RenderSchedule(trace, ChipModel::Mos6581);
    EXPECT_NEAR(OnsetSeconds(reference.pcm, RenderSchedule(Ungated(trace), ChipModel::Mos6581).pcm), 0.5, 0.002);
    EXPECT_LT(reference.image.maxErrorUs, 200);

    // Two frames sent at once, 1.2 s after the first: the second waits for the first's bytes.
    const uint16_t f = tune::SidFrequency(69);
    const std::string record = "0 start frequency=1000000 process=7\n" + FrameLine(0, {}) +
                               FrameLine(1200000, {{5, 0x00}, {6, 0xF0}, {24, 0x0F}, {0, static_cast<uint8_t>(f)}}) +
                               FrameLine(1200000, {{1, static_cast<uint8_t>(f >> 8)}, {4, 0x11}});
    const Capture capture = ReadWinmmRecord(record);
    const ReceivedSchedule received = ScheduleReceivedFrames(capture, AnalyseCapture(capture));
    const double cable = (12 + 4 + 12 + 12 + 2) * kCableSecondsPerByte; // all three frames' bytes
    EXPECT_NEAR(received.schedule.writes.back().seconds, 1.2 + cable - 12 * kCableSecondsPerByte, 1e-9);
    EXPECT_NEAR(received.maxCableDelayMs, (4 + 12 + 2 + 12) * kCableSecondsPerByte * 1e3, 1e-6);
    const Rendering heard = RenderSchedule(received.schedule, ChipModel::Mos6581);
    EXPECT_NEAR(OnsetSeconds(heard.pcm, RenderSchedule(Ungated(received.schedule), ChipModel::Mos6581).pcm),
                received.schedule.writes.back().seconds, 0.002);
}

// Without a gate or a volume change the output is silence, sample for sample, as long as the
// trace.
TEST(SoundRender, SilenceRendersSilence) {
    trace::Trace quiet;
    quiet.records = {{0, 5, 0x22}, {1000, 0, 0x40}, {1000, 1, 0x1C}, {1000, 4, 0x40}}; // no gate, volume 0
    quiet.endCycles = 1499000;
    trace::Trace empty;
    empty.endCycles = 1502000;
    for (const trace::Trace& t : {quiet, empty}) {
        SCOPED_TRACE(t.records.size());
        const Rendering r = RenderSchedule(ScheduleTrace(t), ChipModel::Mos6581);
        ASSERT_EQ(r.pcm.Frames(), static_cast<size_t>(std::ceil(1.502 * kRenderRate)));
        EXPECT_EQ(std::count(r.pcm.samples.begin(), r.pcm.samples.end(), 0), static_cast<ptrdiff_t>(r.pcm.samples.size()));
    }
}

// Two chips give stereo: the first on the left, the second on the right.
TEST(SoundRender, SecondChipPlaysOnTheRight) {
    WriteSchedule s;
    s.chips = 2;
    const uint16_t f = tune::SidFrequency(69);
    for (const auto& [reg, value] : std::vector<std::pair<uint8_t, uint8_t>>{
             {24, 0x0F}, {6, 0xF0}, {0, static_cast<uint8_t>(f)}, {1, static_cast<uint8_t>(f >> 8)}, {4, 0x11}}) {
        s.writes.push_back({0.1, 1, reg, value});
    }
    s.endSeconds = 0.6;
    const Rendering r = RenderSchedule(s, ChipModel::Mos8580);
    ASSERT_EQ(r.pcm.channels, 2);
    EXPECT_NEAR(Cents(FundamentalHz(r.pcm.samples, 2, 1, r.pcm.rate, 0.2), NoteHz(69)), 0, 3);
    int left = 0;
    for (size_t i = 0; i < r.pcm.Frames(); ++i) {
        left = std::max(left, std::abs(static_cast<int>(r.pcm.samples[2 * i])));
    }
    EXPECT_LE(left, 2); // the left stays silent
}

// More writes than the emulated machine holds: the rendering stops at the first one left out,
// and says so.
TEST(SoundRender, StopsWhereMemoryRunsOut) {
    WriteSchedule s;
    for (int i = 0; i < 40000; ++i) {
        s.writes.push_back({i * 0.001, 0, static_cast<uint8_t>(i % 24), static_cast<uint8_t>(i)});
    }
    s.endSeconds = 40.5;
    const TuneImage image = BuildTuneImage(s);
    EXPECT_GT(image.placedWrites, 10000u);
    EXPECT_EQ(image.placedWrites + image.droppedWrites, s.writes.size());
    EXPECT_DOUBLE_EQ(image.renderedSeconds, s.writes[image.placedWrites].seconds);
    EXPECT_LE(image.psid.size(), 0x7Cu + 2 + 0x10000 - 0x0800);
}

// A capture a receiver would choke on, or one without a frame, is not rendered.
TEST(SoundRender, RefusesMalformedOrEmptyCaptures) {
    struct Case {
        std::string record;
        const char* reason;
    };
    const Case cases[] = {
        {"0 start frequency=1000000 process=7\n" + FrameLine(0, {{0, 1}}) +
             "20000 midiOutLongMsg handle=1 header=0x10 length=13 result=0 data=F02D4E000000000000000005F7\n",
         "the capture holds 1 malformed message(s) or stray bytes; a receiver's sound cannot be told from it"},
        {"0 start frequency=1000000 process=7\n0 midiOutLongMsg handle=1 header=0x10 length=4 result=0 data=F02D4CF7\n",
         "the capture holds no register frame: nothing to render"}};
    for (const Case& c : cases) {
        const Capture capture = ReadWinmmRecord(c.record);
        try {
            ScheduleReceivedFrames(capture, AnalyseCapture(capture));
            ADD_FAILURE() << "rendered " << c.record;
        } catch (const ScheduleError& e) {
            EXPECT_STREQ(e.what(), c.reason);
        }
    }
}

std::vector<int16_t> Tone(double hz, double amplitude, double seconds, double delay) {
    std::vector<int16_t> x(static_cast<size_t>(seconds * kRenderRate));
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / kRenderRate - delay;
        // Notes switching every quarter second give the envelope something to align.
        const bool on = t >= 0 && static_cast<int>(t * 4) % 2 == 0;
        x[i] = on ? static_cast<int16_t>(amplitude * 32767 * std::sin(2 * std::numbers::pi * hz * t)) : 0;
    }
    return x;
}

class RenderOutput : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tools_tests_render_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

// The header is the canonical 44 bytes, and the file reads back to the same samples.
TEST_F(RenderOutput, WavHeaderIsCanonicalAndReadsBack) {
    Pcm pcm;
    pcm.channels = 2;
    pcm.samples = {1, -1, 0x1234, -32768};
    const std::string path = (dir_ / "a.wav").string();
    WriteWavFile(path, pcm);
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::vector<uint8_t> golden = {
        'R', 'I', 'F', 'F', 44, 0, 0, 0, 'W', 'A', 'V', 'E',      // RIFF, 36 + data bytes
        'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,              // fmt: 16 bytes, PCM, 2 channels
        0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0,          // 44100 Hz, 176400 bytes/s, block 4, 16 bits
        'd', 'a', 't', 'a', 8, 0, 0, 0,                           // data: 8 bytes
        1, 0, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80};                // little-endian samples
    EXPECT_EQ(bytes, golden);
    const Pcm back = ReadWavFile(path);
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.rate, 44100);
    EXPECT_EQ(back.samples, pcm.samples);

    // A header that disagrees with the file is refused, naming what is wrong.
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 2);
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(cut.data()), static_cast<std::streamsize>(cut.size()));
    EXPECT_THROW(ReadWavFile(path), WavError);
}

// The spectrogram shows both renderings, each under its own title, as a PNG.
TEST_F(RenderOutput, SpectrogramDrawsBothRenderings) {
    Pcm a, b;
    a.samples = Tone(440, 0.5, 1, 0);
    b.samples = Tone(660, 0.5, 1, 0);
    const std::string path = (dir_ / "s.png").string();
    const std::string script = SpectrogramScript({&a, "upper one"}, {&b, "lower one"}, path);
    EXPECT_NE(script.find("set title 'upper one'"), std::string::npos);
    EXPECT_NE(script.find("set title 'lower one'"), std::string::npos);
    WriteSpectrogram({&a, "upper one"}, {&b, "lower one"}, path);
    std::ifstream png(path, std::ios::binary);
    char magic[8] = {};
    png.read(magic, sizeof magic);
    EXPECT_EQ(std::string(magic, sizeof magic), std::string("\x89PNG\r\n\x1a\n", 8));
}

// The comparison finds the delay, then the level and spectral figures of what remains.
TEST(SoundCompare, FindsTheLagThenComparesLevelAndSpectrum) {
    Pcm reference, late, quiet;
    reference.samples = Tone(440, 0.5, 3, 0);
    late.samples = Tone(440, 0.5, 3, 0.030);
    quiet.samples = Tone(440, 0.25, 3, 0);

    const SoundComparison same = CompareSounds(reference, reference);
    EXPECT_EQ(same.lagMs, 0);
    ASSERT_EQ(same.seconds.size(), 3u);
    EXPECT_EQ(same.maxAbsLevelDifferenceDb, 0);
    EXPECT_EQ(same.maxSpectralDistanceDb, 0);

    const SoundComparison shifted = CompareSounds(late, reference);
    EXPECT_NEAR(shifted.lagMs, 30, 1.0);
    EXPECT_LT(shifted.maxAbsLevelDifferenceDb, 0.1);

    const SoundComparison softer = CompareSounds(quiet, reference);
    EXPECT_NEAR(softer.seconds[0].levelDifferenceDb, -6.02, 0.01);
    // The tone's bins are 6 dB down; bins of the rounding noise alike in both are not.
    EXPECT_GT(softer.meanSpectralDistanceDb, 0.5);
    EXPECT_LT(softer.maxSpectralDistanceDb, 6.1);
}

} // namespace
} // namespace hardsid::monitor
