// SPDX-License-Identifier: GPL-2.0-or-later
#include "tune_voices.h"

#include "sid_pitch.h"
#include "tune_score.h"

namespace hardsid::tune {

namespace {

constexpr uint8_t kGate = 0x01;
constexpr uint8_t kTestBit = 0x08; // holds the oscillator at zero: the restart starts clean
constexpr uint8_t kTriangle = 0x10;
constexpr uint8_t kSawtooth = 0x20;
constexpr uint8_t kPulse = 0x40;

constexpr int kVoiceStride = 7;
constexpr uint8_t kFrequencyLo = 0, kFrequencyHi = 1, kPulseLo = 2, kPulseHi = 3, kControl = 4,
                  kAttackDecay = 5, kSustainRelease = 6;
constexpr uint8_t kCutoffLo = 21, kCutoffHi = 22, kResonanceRouting = 23, kModeVolume = 24;

constexpr int kMusicTicks = kBarCount * kTicksPerBar;
constexpr int kRoutineCycles = 38; // voice bookkeeping before its first store

struct VoiceOut {
    TraceRecorder& out;
    uint8_t base;

    void Write(uint8_t reg, uint8_t value) const { out.Write(static_cast<uint8_t>(base + reg), value); }
    void Frequency(uint16_t value) const {
        Write(kFrequencyLo, static_cast<uint8_t>(value & 0xFF));
        Write(kFrequencyHi, static_cast<uint8_t>(value >> 8));
    }
    void Envelope(uint8_t attackDecay, uint8_t sustainRelease) const {
        Write(kAttackDecay, attackDecay);
        Write(kSustainRelease, sustainRelease);
    }
};

const Chord& ChordAt(int tick) { return kChords[static_cast<size_t>(tick / kTicksPerBar)]; }

} // namespace

int Sweep(int position, int low, int high, int step) noexcept {
    const int span = (high - low) / step;
    const int phase = position % (2 * span);
    return phase < span ? low + phase * step : high - (phase - span) * step;
}

void PlayBass(TraceRecorder& out, int tick) {
    const VoiceOut voice{out, 0};
    out.Spend(kRoutineCycles);
    constexpr int kTicksPerNote = kStepsPerBassNote * kTicksPerStep;
    if (tick < kMusicTicks && tick % kTicksPerNote == 0) {
        const size_t patternIndex = static_cast<size_t>(tick / kTicksPerNote) % kBassPattern.size();
        const int note = ChordAt(tick).bass + kBassPattern[patternIndex];
        voice.Write(kControl, kPulse); // gate off: cut the old note's sustain
        voice.Envelope(0x09, 0x89);
        voice.Write(kControl, kTestBit);
        out.Spend(14);
        voice.Frequency(SidFrequency(note));
        voice.Write(kControl, kPulse | kGate);
    } else if (tick == kMusicTicks) {
        voice.Write(kControl, kPulse);
    }
    const int width = Sweep(tick, 0x180, 0xE80, 0x20);
    voice.Write(kPulseLo, static_cast<uint8_t>(width & 0xFF));
    voice.Write(kPulseHi, static_cast<uint8_t>(width >> 8));
}

void PlayArpeggio(TraceRecorder& out, int tick) {
    const VoiceOut voice{out, kVoiceStride};
    out.Spend(kRoutineCycles);
    if (tick >= kMusicTicks) {
        return;
    }
    const Chord& chord = ChordAt(tick);
    const int tickInNote = tick % kTicksPerArpNote;
    const int offsets[3] = {0, chord.third, 7};
    const uint16_t frequency = SidFrequency(chord.arpRoot + offsets[tickInNote % 3]);
    if (tickInNote == 0) {
        voice.Write(kControl, kTestBit);
        voice.Envelope(0x04, 0x66);
        voice.Frequency(frequency);
        voice.Write(kControl, kSawtooth | kGate);
        return;
    }
    out.Spend(12); // arpeggio table look-up
    voice.Frequency(frequency);
    if (tickInNote == kTicksPerArpNote - kTicksPerStep) {
        voice.Write(kControl, kSawtooth); // release before the next restart
    }
}

void PlayLead(TraceRecorder& out, int tick) {
    const VoiceOut voice{out, 2 * kVoiceStride};
    out.Spend(kRoutineCycles);
    if (tick >= kMusicTicks) {
        if (tick == kMusicTicks) {
            voice.Write(kControl, kTriangle);
        }
        return;
    }
    int start = 0;
    size_t index = 0;
    while (start + kMelody[index].steps * kTicksPerStep <= tick) {
        start += kMelody[index].steps * kTicksPerStep;
        ++index;
    }
    const int tickInNote = tick - start;
    const uint16_t pitch = SidFrequency(kMelody[index].note);
    constexpr int kVibratoDelay = 12;
    if (tickInNote == 0) {
        voice.Write(kControl, kTriangle); // gate off and on again: the envelope restarts
        voice.Envelope(0x26, 0xA9);
        voice.Frequency(pitch);
        voice.Write(kControl, kTriangle | kGate);
    } else if (tickInNote >= kVibratoDelay) {
        // About a sixth of a semitone either way, over eight calls.
        const int depth = pitch / 200;
        const int offset = Sweep(tickInNote - kVibratoDelay + 2, -2, 2, 1) * depth;
        out.Spend(20);
        voice.Frequency(static_cast<uint16_t>(pitch + offset));
    }
}

void PlayFilter(TraceRecorder& out, int tick) {
    out.Spend(24);
    if (tick == 0) {
        out.Write(kResonanceRouting, 0xC1); // resonance 12, voice 1 through the filter
        out.Write(kModeVolume, 0x1F);       // low pass, full volume
    }
    const int cutoff = Sweep(tick, 0x080, 0x680, 6);
    out.Write(kCutoffLo, static_cast<uint8_t>(cutoff & 0x07));
    out.Write(kCutoffHi, static_cast<uint8_t>(cutoff >> 3));
    if (tick >= kMusicTicks && (tick - kMusicTicks) % 4 == 0) {
        const int volume = 15 - (tick - kMusicTicks) / 4;
        out.Write(kModeVolume, static_cast<uint8_t>(0x10 | (volume > 0 ? volume : 0)));
    }
}

} // namespace hardsid::tune
